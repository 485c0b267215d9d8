#include "platform/ossync.h"

#include "platform/oscalls.h"

#include <QFile>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {
std::function<void(const QString &)> &syncObserver()
{
    static std::function<void(const QString &)> observer;
    return observer;
}
} // namespace

void setSyncObserver(std::function<void(const QString &path)> observer)
{
    syncObserver() = std::move(observer);
}

bool syncToDisk(QFile &file)
{
    QString reason;
    return syncToDisk(file, reason);
}

namespace {

bool sync(QFile &file, QString &reason, bool dataOnly)
{
    if (oscalls::injectedFault(oscalls::Io::Sync, file.fileName(), reason))
        return false;
    if (!file.flush()) {
        reason = file.errorString();
        return false;
    }
#if defined(Q_OS_WIN)
    Q_UNUSED(dataOnly);
    const bool synced = _commit(file.handle()) == 0;
#elif defined(Q_OS_MACOS)
    Q_UNUSED(dataOnly);
    // fsync on macOS leaves the data in the drive's cache; F_FULLFSYNC asks
    // the drive to write it out. File systems without it take fsync.
    const bool synced = ::fcntl(file.handle(), F_FULLFSYNC) == 0 || ::fsync(file.handle()) == 0;
#elif defined(Q_OS_LINUX)
    const bool synced = (dataOnly ? ::fdatasync(file.handle()) : ::fsync(file.handle())) == 0;
#else
    Q_UNUSED(dataOnly);
    const bool synced = ::fsync(file.handle()) == 0;
#endif
    if (!synced) {
        reason = file.errorString().isEmpty() ? QStringLiteral("could not be written to the disk") : file.errorString();
        return false;
    }
    if (syncObserver())
        syncObserver()(file.fileName());
    return true;
}

} // namespace

bool syncToDisk(QFile &file, QString &reason)
{
    return sync(file, reason, false);
}

bool syncDataToDisk(QFile &file, QString &reason)
{
    return sync(file, reason, true);
}

bool syncFolderToDisk(const QString &path)
{
    QString reason;
    if (oscalls::injectedFault(oscalls::Io::Sync, path, reason))
        return false;
#ifdef Q_OS_WIN
    Q_UNUSED(path);
    return true; // NTFS journals its folders itself; a folder cannot be opened for a sync
#else
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    if (synced && syncObserver())
        syncObserver()(path);
    return synced;
#endif
}
