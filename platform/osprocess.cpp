// The calls by which a lock knows its owner and changes hands: which process
// a process id now names, a rename that never replaces, and the hidden mark.
#include "platform/oscalls.h"

#include <QDir>
#include <QFile>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#else
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <fcntl.h>
#endif
#ifdef Q_OS_MACOS
#include <sys/sysctl.h>
#include <sys/types.h>
#endif

namespace oscalls {

namespace {

#ifndef Q_OS_WIN
QString reasonOf(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}
#endif

#ifdef Q_OS_LINUX
QByteArray firstLineOf(const char *path)
{
    QFile file(QString::fromLatin1(path));
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readLine(256).trimmed();
}
#endif

} // namespace

QString processStartToken(qint64 pid)
{
    if (pid <= 0)
        return QString();
#if defined(Q_OS_WIN)
    const HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(pid));
    if (!process)
        return QString();
    FILETIME created, exited, kernel, user;
    const bool known = ::GetProcessTimes(process, &created, &exited, &kernel, &user);
    ::CloseHandle(process);
    if (!known)
        return QString();
    return QStringLiteral("created %1").arg((quint64(created.dwHighDateTime) << 32) | created.dwLowDateTime);
#elif defined(Q_OS_LINUX)
    // The start in clock ticks since boot (the 22nd field, after the name in
    // parentheses, which may hold blanks), and which boot: after a restart
    // the same id and ticks come round again.
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return QString();
    const QByteArray line = stat.readAll();
    const qsizetype name = line.lastIndexOf(')');
    if (name < 0)
        return QString();
    const QList<QByteArray> fields = line.mid(name + 2).split(' ');
    if (fields.size() < 20)
        return QString();
    return QStringLiteral("boot %1 start %2")
        .arg(QString::fromLatin1(firstLineOf("/proc/sys/kernel/random/boot_id")), QString::fromLatin1(fields[19]));
#elif defined(Q_OS_MACOS)
    int query[] = {CTL_KERN, KERN_PROC, KERN_PROC_PID, int(pid)};
    struct kinfo_proc info;
    size_t size = sizeof info;
    if (::sysctl(query, 4, &info, &size, nullptr, 0) != 0 || size == 0)
        return QString();
    return QStringLiteral("start %1.%2")
        .arg(qint64(info.kp_proc.p_starttime.tv_sec))
        .arg(qint64(info.kp_proc.p_starttime.tv_usec), 6, 10, QLatin1Char('0'));
#else
    return QString(); // another system: the process id alone says who runs
#endif
}

bool renameNoReplace(const QString &from, const QString &to, QString &reason)
{
    if (injectedFault(Io::Rename, to, reason))
        return false;
#if defined(Q_OS_WIN)
    // Without MOVEFILE_REPLACE_EXISTING the move fails when `to` exists.
    if (::MoveFileExW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(from).utf16()),
                      reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(to).utf16()), 0))
        return true;
    reason = qt_error_string(int(::GetLastError()));
    return false;
#else
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
#if defined(Q_OS_LINUX)
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS) {
        reason = reasonOf(errno);
        return false;
    }
    // A file system without it: a hard link is made only where no name is.
#elif defined(Q_OS_MACOS)
    if (::renamex_np(source.constData(), target.constData(), RENAME_EXCL) == 0)
        return true;
    if (errno != ENOTSUP) {
        reason = reasonOf(errno);
        return false;
    }
#endif
    if (::link(source.constData(), target.constData()) != 0) {
        reason = reasonOf(errno);
        return false;
    }
    ::unlink(source.constData());
    return true;
#endif
}

void hideFile(const QString &path)
{
#ifdef Q_OS_WIN
    const auto *name = reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(path).utf16());
    const DWORD attributes = ::GetFileAttributesW(name);
    if (attributes != INVALID_FILE_ATTRIBUTES)
        ::SetFileAttributesW(name, attributes | FILE_ATTRIBUTE_HIDDEN);
#else
    Q_UNUSED(path); // its name begins with a full stop
#endif
}

} // namespace oscalls
