#include "platform/oscalls.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>

#include <algorithm>

#ifdef Q_OS_WIN
#include <io.h>
#include <qt_windows.h>
#else
#include <cerrno>
#include <cstring>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace oscalls {

namespace {

std::function<bool(Io, const QString &)> &faultInjector()
{
    static std::function<bool(Io, const QString &)> injector;
    return injector;
}

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

#ifndef Q_OS_WIN
namespace {

/// The one way a file is opened on POSIX: only a regular file, never
/// waiting on it; the descriptor (what was opened described in `opened`),
/// or -1 with the reason.
int openRegularDescriptor(const QByteArray &name, int access, bool followLinks, struct stat &opened, QString &reason)
{
    struct stat before;
    const int statted = followLinks ? ::stat(name.constData(), &before) : ::lstat(name.constData(), &before);
    if (statted == 0 && !S_ISREG(before.st_mode)) {
        reason = S_ISLNK(before.st_mode) ? QStringLiteral("it is a symbolic link") : kindReason(before.st_mode);
        return -1;
    }
    // Non-blocking, so that something put in the file's place after the
    // check (a FIFO) cannot stop the program; the check after opening
    // looks at what was really opened.
    int flags = O_CLOEXEC | O_NONBLOCK | access;
    if (!followLinks)
        flags |= O_NOFOLLOW;
    const int fd = ::open(name.constData(), flags, 0666);
    if (fd < 0) {
        const int error = errno;
        reason = error == ENXIO || error == ELOOP ? notRegular : systemReason(error);
        return -1;
    }
    if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
        reason = kindReason(opened.st_mode);
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace
#endif

bool openRegularFile(PathFile &file, const QString &path, QIODevice::OpenMode mode, bool followLinks,
                     QString &reason)
{
    return openRegularFile(file, NativePath::fromText(path), mode, followLinks, reason);
}

bool openRegularFile(PathFile &file, const NativePath &native, QIODevice::OpenMode mode, bool followLinks,
                     QString &reason)
{
    const bool append = mode & QIODevice::Append;
    // Written in place (a journal over its own bytes): neither appended nor cut.
    const bool inPlace = !append && (mode & QIODevice::WriteOnly);
    const QString path = native.shown();
    if (injectedFault(Io::Open, path, reason))
        return false;
#ifdef Q_OS_WIN
    Q_UNUSED(followLinks);
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        reason = info.isDir() ? isFolder : notRegular;
        return false;
    }
    file.setFileName(path);
    if (!file.open(append    ? QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered
                   : inPlace ? QIODevice::ReadWrite | QIODevice::Unbuffered
                             : QIODevice::ReadOnly)) {
        reason = file.errorString();
        return false;
    }
    return true;
#else
    struct stat opened;
    const int access = append ? O_WRONLY | O_APPEND | O_CREAT : inPlace ? O_RDWR | O_CREAT : O_RDONLY;
    const int fd = openRegularDescriptor(native.bytes(), access, followLinks, opened, reason);
    if (fd < 0)
        return false;
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    file.setPath(path);
    const QIODevice::OpenMode qtMode = append    ? QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered
                                       : inPlace ? QIODevice::ReadWrite | QIODevice::Unbuffered
                                                 : QIODevice::ReadOnly;
    if (!file.open(fd, qtMode, QFileDevice::AutoCloseHandle)) {
        reason = file.errorString();
        ::close(fd);
        return false;
    }
    return true;
#endif
}

namespace {

const QString changedReason = QStringLiteral("replaced by something else while the report read the class; not read");

QString tooLarge(qint64 limit)
{
    return QStringLiteral("larger than %1 MiB, far more than the program writes; not read").arg(limit >> 20);
}

/// Reads what `readSome` gives into `out` up to `limit` bytes, for a file of `size` bytes.
template <typename Read>
bool readUpTo(FileBytes &out, qint64 size, qint64 limit, Read readSome)
{
    // The file may grow while it is read (a student still working): what is
    // there up to the limit is read.
    out.bytes.resize(qsizetype(size) + 1);
    qsizetype got = 0;
    for (;;) {
        if (got == out.bytes.size()) {
            if (got > limit) {
                out.reason = tooLarge(limit);
                out.bytes.clear();
                return false;
            }
            out.bytes.resize(std::min<qsizetype>(limit + 1, got * 2));
        }
        const qint64 n = readSome(out.bytes.data() + got, out.bytes.size() - got);
        if (n < 0) {
            out.bytes.clear();
            return false;
        }
        if (n == 0)
            break;
        got += qsizetype(n);
        // A read that stops short of the room given, past the size the
        // file had, found its end: asking again would only be told so. A
        // size of 0 says nothing (files the kernel makes up as they are
        // read), so those are read until a read gives nothing.
        if (size > 0 && got < out.bytes.size() && got >= size)
            break;
    }
    out.bytes.truncate(got);
    return true;
}

/// How a reader of handed-in files names what stood in a file's place.
QString refusedReason(const NativePath &path, const QString &reason)
{
    // The open never waits; what stands there is worded from a look at it.
    const PathInfo info = inspect(path);
    if (info.kind == Kind::Folder)
        return QStringLiteral("a folder, not a file");
    return info.kind == Kind::Other || info.kind == Kind::Missing ? info.reason : reason;
}

#ifdef Q_OS_WIN
FileBytes readOpened(const NativePath &path, qint64 limit, const Identity &found)
{
    FileBytes out;
    PathFile file;
    if (!openRegularFile(file, path, QIODevice::ReadOnly, true, out.reason)) {
        out.reason = refusedReason(path, out.reason);
        return out;
    }
    qint64 size = 0;
    out.id = identityOf(file, &size);
    if (found.known && out.id != found) {
        out.reason = changedReason;
        return out;
    }
    if (size > limit) {
        out.reason = tooLarge(limit);
        return out;
    }
    out.ok = readUpTo(out, size, limit, [&](char *to, qint64 room) {
        const qint64 n = file.read(to, room);
        if (n < 0)
            out.reason = file.errorString();
        return n;
    });
    return out;
}
#else
FileBytes readOpened(const NativePath &path, qint64 limit, const Identity &found)
{
    FileBytes out;
    if (faultInjector() && injectedFault(Io::Open, path.shown(), out.reason))
        return out;
    // Straight on the descriptor: a class is thousands of small files, and
    // each system call a file costs shows. A file inspected a moment ago
    // needs no look before it is opened: what is opened is looked at, and
    // must be that file.
    struct stat st;
    const int fd = found.known ? ::open(path.bytes().constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)
                               : openRegularDescriptor(path.bytes(), O_RDONLY, true, st, out.reason);
    if (fd < 0) {
        out.reason = refusedReason(path, found.known ? systemReason(errno) : out.reason);
        return out;
    }
    if (found.known && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || quint64(st.st_dev) != found.device
                        || quint64(st.st_ino) != found.file)) {
        ::close(fd);
        out.reason = changedReason;
        return out;
    }
    out.id.device = quint64(st.st_dev);
    out.id.file = quint64(st.st_ino);
    out.id.known = true;
    if (qint64(st.st_size) > limit)
        out.reason = tooLarge(limit);
    else
        out.ok = readUpTo(out, qint64(st.st_size), limit, [&](char *to, qint64 room) {
            for (;;) {
                const ssize_t n = ::read(fd, to, size_t(room));
                if (n >= 0 || errno != EINTR) {
                    if (n < 0)
                        out.reason = systemReason(errno);
                    return qint64(n);
                }
            }
        });
    ::close(fd);
    return out;
}
#endif

} // namespace

FileBytes readRegularFile(const NativePath &path, qint64 limit, const Identity &found)
{
    return readOpened(path, limit, found);
}

bool makeFolders(const QString &path, QString &reason)
{
    if (injectedFault(Io::MakeFolder, path, reason))
        return false;
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

void setFaultInjector(std::function<bool(Io, const QString &)> injector)
{
    faultInjector() = std::move(injector);
}

bool injectedFault(Io operation, const QString &path, QString &reason)
{
    if (!faultInjector() || !faultInjector()(operation, path))
        return false;
    reason = QStringLiteral("input/output error (a fault made by a test)");
    return true;
}

bool writeAll(QFile &file, const QByteArray &bytes, QString &reason)
{
    if (injectedFault(Io::Write, file.fileName(), reason))
        return false;
#ifdef Q_OS_WIN
    // Windows has no append mode under Qt's files: a write goes where the
    // file's position is, over bytes another program appended since the
    // last one. Going to the end first makes them count as added, not lost.
    if ((file.openMode() & QIODevice::Append) && !file.seek(file.size())) {
        reason = file.errorString();
        return false;
    }
#endif
    // A write cut short (a disk that fills up) reports no reason; writing
    // the rest gets the system's reason for the message.
    qint64 done = 0;
    while (done < bytes.size()) {
        const qint64 n = file.write(bytes.constData() + done, bytes.size() - done);
        if (n <= 0) {
            reason = file.errorString();
            return false;
        }
        done += n;
    }
    return true;
}

bool truncate(QFile &file, qint64 length, QString &reason)
{
    if (injectedFault(Io::Truncate, file.fileName(), reason))
        return false;
    if (file.resize(length))
        return true;
    reason = file.errorString();
    return false;
}

bool rename(const QString &from, const QString &to, QString &reason)
{
    if (injectedFault(Io::Rename, to, reason))
        return false;
#ifdef Q_OS_WIN
    // MoveFileEx replaces the target in one step, as rename() does on POSIX.
    if (::MoveFileExW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(from).utf16()),
                      reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(to).utf16()),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    reason = qt_error_string(int(::GetLastError()));
    return false;
#else
    if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0)
        return true;
    reason = systemReason(errno);
    return false;
#endif
}

bool remove(const QString &path, QString &reason)
{
    if (injectedFault(Io::Remove, path, reason))
        return false;
#ifdef Q_OS_WIN
    if (::DeleteFileW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(path).utf16()))
        || ::GetLastError() == ERROR_FILE_NOT_FOUND)
        return true;
    reason = qt_error_string(int(::GetLastError()));
    return false;
#else
    if (::unlink(QFile::encodeName(path).constData()) == 0 || errno == ENOENT)
        return true;
    reason = systemReason(errno);
    return false;
#endif
}

#ifdef Q_OS_WIN
namespace {
Identity identityOfHandle(HANDLE handle)
{
    Identity id;
    BY_HANDLE_FILE_INFORMATION info;
    if (handle != INVALID_HANDLE_VALUE && ::GetFileInformationByHandle(handle, &info)) {
        id.device = info.dwVolumeSerialNumber;
        id.file = (quint64(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
        id.known = true;
    }
    return id;
}
} // namespace
#endif

Identity identityAt(const QString &path)
{
#ifdef Q_OS_WIN
    // Backup semantics open folders too; no access right is asked for.
    const HANDLE handle = ::CreateFileW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(path).utf16()), 0,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    const Identity id = identityOfHandle(handle);
    if (handle != INVALID_HANDLE_VALUE)
        ::CloseHandle(handle);
    return id;
#else
    Identity id;
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) == 0) {
        id.device = quint64(st.st_dev);
        id.file = quint64(st.st_ino);
        id.known = true;
    }
    return id;
#endif
}

Identity identityOf(QFile &file, qint64 *length)
{
    if (length)
        *length = -1;
#ifdef Q_OS_WIN
    const Identity id = identityOfHandle(reinterpret_cast<HANDLE>(::_get_osfhandle(file.handle())));
    if (id.known && length)
        *length = file.size();
    return id;
#else
    Identity id;
    struct stat st;
    if (file.handle() >= 0 && ::fstat(file.handle(), &st) == 0) {
        id.device = quint64(st.st_dev);
        id.file = quint64(st.st_ino);
        id.known = true;
        if (length)
            *length = qint64(st.st_size);
    }
    return id;
#endif
}

bool isProcessRunning(qint64 pid)
{
    if (pid <= 0)
        return false;
#ifdef Q_OS_WIN
    const HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(pid));
    if (!process)
        return ::GetLastError() == ERROR_ACCESS_DENIED; // there, but another user's
    DWORD code = 0;
    const bool running = ::GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
    ::CloseHandle(process);
    return running;
#else
    // Signal 0 only asks whether the process exists; EPERM: it does, another user's.
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
#endif
}

QString hostName()
{
    return QSysInfo::machineHostName();
}

} // namespace oscalls
