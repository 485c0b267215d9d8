#include "platform/oscalls.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace oscalls {

namespace {

const QString notRegular = QStringLiteral("it is not a regular file");
const QString isFolder = QStringLiteral("it is a folder, not a file");

#ifndef Q_OS_WIN
QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QString kindReason(mode_t mode)
{
    return S_ISDIR(mode) ? isFolder : notRegular;
}
#endif

} // namespace

bool openRegularFile(PathFile &file, const QString &path, QIODevice::OpenMode mode, bool followLinks,
                     QString &reason)
{
    const bool append = mode & QIODevice::Append;
#ifdef Q_OS_WIN
    Q_UNUSED(followLinks);
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        reason = info.isDir() ? isFolder : notRegular;
        return false;
    }
    file.setFileName(path);
    if (!file.open(append ? QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered
                          : QIODevice::ReadOnly)) {
        reason = file.errorString();
        return false;
    }
    return true;
#else
    const QByteArray name = QFile::encodeName(path);
    struct stat before;
    const int statted = followLinks ? ::stat(name.constData(), &before) : ::lstat(name.constData(), &before);
    if (statted == 0 && !S_ISREG(before.st_mode)) {
        reason = S_ISLNK(before.st_mode) ? QStringLiteral("it is a symbolic link") : kindReason(before.st_mode);
        return false;
    }
    // Non-blocking, so that something put in the file's place after the
    // check (a FIFO) cannot stop the program; the check after opening
    // looks at what was really opened.
    int flags = O_CLOEXEC | O_NONBLOCK | (append ? O_WRONLY | O_APPEND | O_CREAT : O_RDONLY);
    if (!followLinks)
        flags |= O_NOFOLLOW;
    const int fd = ::open(name.constData(), flags, 0666);
    if (fd < 0) {
        const int error = errno;
        reason = error == ENXIO || error == ELOOP ? notRegular : systemReason(error);
        return false;
    }
    struct stat opened;
    if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
        reason = kindReason(opened.st_mode);
        ::close(fd);
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    file.setPath(path);
    const QIODevice::OpenMode qtMode = append ? QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered
                                              : QIODevice::ReadOnly;
    if (!file.open(fd, qtMode, QFileDevice::AutoCloseHandle)) {
        reason = file.errorString();
        ::close(fd);
        return false;
    }
    return true;
#endif
}

bool makeFolders(const QString &path, QString &reason)
{
#ifdef Q_OS_WIN
    if (QFileInfo(path).isDir() || QDir().mkpath(path))
        return true;
    reason = QStringLiteral("the folder cannot be created");
    return false;
#else
    const QString absolute = QDir::cleanPath(QDir(path).absolutePath());
    QString made;
    for (const QString &part : absolute.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        made += QLatin1Char('/') + part;
        const QByteArray name = QFile::encodeName(made);
        if (::mkdir(name.constData(), 0700) == 0)
            continue;
        const int error = errno;
        struct stat st;
        if (::stat(name.constData(), &st) == 0 && S_ISDIR(st.st_mode))
            continue; // already there (EEXIST, or EROFS/EACCES for a folder that exists)
        reason = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(made),
                                               error == EEXIST ? QStringLiteral("it is a file, not a folder")
                                                               : systemReason(error));
        return false;
    }
    return true;
#endif
}

bool isUnsafeToReplace(const QString &path)
{
#ifdef Q_OS_WIN
    const QFileInfo info(path);
    return info.isSymLink() || (info.exists() && !info.isFile());
#else
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && !S_ISREG(st.st_mode);
#endif
}

} // namespace oscalls
