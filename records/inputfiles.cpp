#include "records/inputfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

#ifdef Q_OS_WIN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace inputfiles {

namespace {

const QString folderReason = QStringLiteral("a folder, not a file");

QString tooLarge(qint64 limit)
{
    return QStringLiteral("larger than %1 MiB, far more than the program writes; not read").arg(limit >> 20);
}

#ifndef Q_OS_WIN
QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QString kindReason(mode_t mode)
{
    if (S_ISDIR(mode))
        return folderReason;
    if (S_ISFIFO(mode))
        return QStringLiteral("a FIFO, not a regular file");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("a device, not a regular file");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket, not a regular file");
    return QStringLiteral("not a regular file");
}

Kind kindOf(mode_t mode)
{
    return S_ISREG(mode) ? Kind::Regular : S_ISDIR(mode) ? Kind::Folder : Kind::Other;
}
#endif

} // namespace

#ifndef Q_OS_WIN

NativePath NativePath::fromText(const QString &path)
{
    return fromBytes(QFile::encodeName(path));
}

NativePath NativePath::fromBytes(const QByteArray &bytes)
{
    NativePath p;
    p.m_native = bytes;
    return p;
}

QString NativePath::shown() const
{
    return QFile::decodeName(m_native);
}

QString NativePath::name() const
{
    // A last part that is a plain name stays the last part once cleaned;
    // only ".", ".." or a trailing separator need the whole path cleaned.
    const QByteArray last = m_native.mid(m_native.lastIndexOf('/') + 1);
    if (!last.isEmpty() && last != "." && last != "..")
        return QFile::decodeName(last);
    const QByteArray c = cleaned().m_native;
    return QFile::decodeName(c.mid(c.lastIndexOf('/') + 1));
}

NativePath NativePath::operator/(const NativePath &child) const
{
    if (m_native.isEmpty() || m_native.endsWith('/'))
        return fromBytes(m_native + child.m_native);
    return fromBytes(m_native + '/' + child.m_native);
}

NativePath NativePath::absolute() const
{
    if (m_native.startsWith('/'))
        return *this;
    return fromText(QDir::currentPath()) / *this;
}

NativePath NativePath::cleaned() const
{
    const bool rooted = m_native.startsWith('/');
    std::vector<QByteArray> parts;
    for (const QByteArray &part : m_native.split('/')) {
        if (part.isEmpty() || part == ".")
            continue;
        if (part == ".." && !parts.empty() && parts.back() != "..")
            parts.pop_back();
        else if (!(part == ".." && rooted))
            parts.push_back(part);
    }
    QByteArray out = rooted ? QByteArray("/") : QByteArray();
    for (size_t i = 0; i < parts.size(); ++i)
        out += (i ? "/" : "") + parts[i];
    if (out.isEmpty())
        out = ".";
    return fromBytes(out);
}

NativePath NativePath::parent() const
{
    const QByteArray c = absolute().cleaned().m_native;
    const qsizetype slash = c.lastIndexOf('/');
    return fromBytes(slash <= 0 ? QByteArray("/") : c.left(slash));
}

PathInfo inspect(const NativePath &path)
{
    PathInfo info;
    struct stat st;
    if (::stat(path.bytes().constData(), &st) != 0) {
        const int error = errno;
        info.kind = error == ENOENT || error == ENOTDIR ? Kind::Missing : Kind::Unreadable;
        info.reason = info.kind == Kind::Missing ? QStringLiteral("no such file or folder") : systemReason(error);
        return info;
    }
    info.kind = kindOf(st.st_mode);
    info.id = {quint64(st.st_dev), quint64(st.st_ino)};
    info.size = qint64(st.st_size);
    if (info.kind == Kind::Other)
        info.reason = kindReason(st.st_mode);
    return info;
}

bool listFolder(const NativePath &folder, std::vector<NativePath> &names, QString &reason)
{
    DIR *dir = ::opendir(folder.bytes().constData());
    if (!dir) {
        reason = systemReason(errno);
        return false;
    }
    std::vector<QByteArray> found;
    errno = 0;
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..")
            found.push_back(name);
    }
    const int error = errno;
    ::closedir(dir);
    if (error != 0) {
        reason = systemReason(error);
        return false;
    }
    std::sort(found.begin(), found.end());
    for (const QByteArray &name : found)
        names.push_back(NativePath::fromBytes(name));
    return true;
}

FileBytes readRegularFile(const NativePath &path, qint64 limit)
{
    FileBytes out;
    // Non-blocking: a FIFO in the file's place gives no writer to wait for;
    // what was opened is checked before a byte is read.
    const int fd = ::open(path.bytes().constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        out.reason = error == EISDIR ? folderReason : systemReason(error);
        return out;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        out.reason = kindReason(st.st_mode);
        ::close(fd);
        return out;
    }
    out.id = {quint64(st.st_dev), quint64(st.st_ino)};
    if (qint64(st.st_size) > limit) {
        out.reason = tooLarge(limit);
        ::close(fd);
        return out;
    }
    // The file may grow while it is read (a student still working): what is
    // there up to the limit is read.
    out.bytes.resize(qsizetype(st.st_size) + 1);
    qsizetype got = 0;
    for (;;) {
        if (got == out.bytes.size()) {
            if (got > limit) {
                out.reason = tooLarge(limit);
                ::close(fd);
                out.bytes.clear();
                return out;
            }
            out.bytes.resize(std::min<qsizetype>(limit + 1, got * 2));
        }
        const ssize_t n = ::read(fd, out.bytes.data() + got, size_t(out.bytes.size() - got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            out.reason = systemReason(errno);
            ::close(fd);
            out.bytes.clear();
            return out;
        }
        if (n == 0)
            break;
        got += n;
        // A read that stops short of the room given, past the size the
        // file had, found its end: asking again would only be told so. A
        // size of 0 says nothing (files the kernel makes up as they are
        // read), so those are read until a read gives nothing.
        if (st.st_size > 0 && got < out.bytes.size() && got >= qsizetype(st.st_size))
            break;
    }
    ::close(fd);
    out.bytes.truncate(got);
    out.ok = true;
    return out;
}

#else // Q_OS_WIN

NativePath NativePath::fromText(const QString &path)
{
    NativePath p;
    p.m_native = QDir::fromNativeSeparators(path);
    return p;
}

QString NativePath::shown() const
{
    return QDir::toNativeSeparators(m_native);
}

QString NativePath::name() const
{
    return QFileInfo(cleaned().m_native).fileName();
}

NativePath NativePath::operator/(const NativePath &child) const
{
    if (m_native.isEmpty() || m_native.endsWith(QLatin1Char('/')))
        return fromText(m_native + child.m_native);
    return fromText(m_native + QLatin1Char('/') + child.m_native);
}

NativePath NativePath::absolute() const
{
    return fromText(QFileInfo(m_native).absoluteFilePath());
}

NativePath NativePath::cleaned() const
{
    return fromText(QDir::cleanPath(m_native));
}

NativePath NativePath::parent() const
{
    return fromText(QFileInfo(absolute().cleaned().m_native).absolutePath());
}

namespace {

/// The volume and file index Windows gives an open file: its identity.
bool fileIdOf(const QString &path, FileId &id)
{
    const HANDLE h = CreateFileW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(path).utf16()), 0,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION info;
    const bool ok = GetFileInformationByHandle(h, &info);
    CloseHandle(h);
    if (ok)
        id = {quint64(info.dwVolumeSerialNumber), (quint64(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
    return ok;
}

} // namespace

PathInfo inspect(const NativePath &path)
{
    PathInfo info;
    const QFileInfo fi(path.shown());
    if (!fi.exists()) {
        info.reason = QStringLiteral("no such file or folder");
        return info;
    }
    info.kind = fi.isFile() ? Kind::Regular : fi.isDir() ? Kind::Folder : Kind::Other;
    info.size = fi.size();
    if (info.kind == Kind::Other)
        info.reason = QStringLiteral("not a regular file");
    if (!fileIdOf(path.shown(), info.id) && info.kind != Kind::Other) {
        info.kind = Kind::Unreadable;
        info.reason = QStringLiteral("cannot be opened");
    }
    return info;
}

bool listFolder(const NativePath &folder, std::vector<NativePath> &names, QString &reason)
{
    const QDir dir(folder.shown());
    if (!dir.isReadable()) {
        reason = QStringLiteral("the folder cannot be read");
        return false;
    }
    QStringList found = dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    std::sort(found.begin(), found.end());
    for (const QString &name : found)
        names.push_back(NativePath::fromText(name));
    return true;
}

FileBytes readRegularFile(const NativePath &path, qint64 limit)
{
    FileBytes out;
    // Windows keeps pipes and devices out of folders: what is not a plain
    // file after links is refused before it is opened.
    const QFileInfo fi(path.shown());
    if (fi.isDir() || !fi.isFile()) {
        out.reason = fi.isDir() ? folderReason : fi.exists() ? QStringLiteral("not a regular file")
                                                             : QStringLiteral("no such file or folder");
        return out;
    }
    QFile file(fi.filePath());
    if (!file.open(QIODevice::ReadOnly)) {
        out.reason = file.errorString();
        return out;
    }
    if (file.size() > limit) {
        out.reason = tooLarge(limit);
        return out;
    }
    fileIdOf(fi.filePath(), out.id);
    out.bytes = file.read(limit + 1);
    if (out.bytes.size() > limit || file.error() != QFile::NoError) {
        out.reason = out.bytes.size() > limit ? tooLarge(limit) : file.errorString();
        out.bytes.clear();
        return out;
    }
    out.ok = true;
    return out;
}

#endif

} // namespace inputfiles
