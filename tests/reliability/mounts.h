#pragma once

// Faults made with Linux's own means: file systems mounted small or
// read-only (root only), and the system's words for an error number.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>

#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace reliability {

/// The system's own words for an error number, as the messages quote it.
inline QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

/// Mounts made by a test, undone in reverse order by unmountAll() (called
/// from cleanup(), so a failed check does not leave a mount behind).
class Mounts
{
public:
    ~Mounts() { unmountAll(); }

    /// Why mounting cannot work here; empty when it can be tried.
    static QString unavailable()
    {
        if (::geteuid() != 0)
            return QStringLiteral("mounting a file system needs root (CI runs as root)");
        return QString();
    }

    /// A tmpfs of `bytes` at the existing folder `at`; empty or the reason it failed.
    QString tmpfs(const QString &at, qint64 bytes)
    {
        const QByteArray options = "size=" + QByteArray::number(bytes);
        if (::mount("tmpfs", QFile::encodeName(at).constData(), "tmpfs", 0, options.constData()) != 0)
            return reason("tmpfs", at);
        m_points.append(at);
        return QString();
    }

    /// Makes the file or folder at `path` read-only for everyone, root
    /// included, by binding it onto itself read-only.
    QString readOnly(const QString &path)
    {
        const QByteArray p = QFile::encodeName(path);
        if (::mount(p.constData(), p.constData(), nullptr, MS_BIND, nullptr) != 0)
            return reason("bind", path);
        m_points.append(path);
        if (::mount(nullptr, p.constData(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0)
            return reason("read-only remount", path);
        return QString();
    }

    /// Binds the folder `from` at the existing folder `at`: one folder, two paths.
    QString bind(const QString &from, const QString &at)
    {
        if (::mount(QFile::encodeName(from).constData(), QFile::encodeName(at).constData(), nullptr, MS_BIND,
                    nullptr)
            != 0)
            return reason("bind", at);
        m_points.append(at);
        return QString();
    }

    /// Undoes the last mount; false when there was none or it would not go.
    bool unmountLast()
    {
        if (m_points.isEmpty())
            return false;
        const QString point = m_points.takeLast();
        return ::umount2(QFile::encodeName(point).constData(), MNT_DETACH) == 0;
    }

    void unmountAll()
    {
        while (!m_points.isEmpty())
            unmountLast();
    }

private:
    static QString reason(const char *what, const QString &at)
    {
        return QStringLiteral("%1 mount at %2 failed: %3").arg(QLatin1String(what), at,
                                                             QString::fromLocal8Bit(std::strerror(errno)));
    }

    QStringList m_points;
};

/// Runs a Mounts call and skips the test, with the reason, when the mount
/// cannot be made here (not root, or no right to mount).
#define MOUNT_OR_SKIP(call)                                                                        \
    do {                                                                                           \
        const QString why = (call);                                                                \
        if (!why.isEmpty())                                                                        \
            QSKIP(qPrintable(why));                                                                \
    } while (false)

/// Fills the file system holding `folder` until it has no room left; the
/// filler's path, or empty when the disk never filled.
inline QString fillDisk(const QString &folder)
{
    const QString path = folder + QStringLiteral("/filler");
    QFile filler(path);
    if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return QString();
    const QByteArray block(4096, 'f');
    for (int i = 0; i < 1 << 20; ++i)
        if (filler.write(block) != block.size())
            break;
    // Whatever a partial block left, single bytes take.
    while (filler.write("f", 1) == 1) {
    }
    return path;
}

} // namespace reliability
