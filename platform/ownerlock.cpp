#include "platform/ownerlock.h"

#include "platform/oscalls.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

namespace {

const QByteArray magic = "calculus-study lock 1\n";

/// The locks this process holds now: a lock naming this process's id that
/// is not among them was left by an earlier process that had the same id.
QSet<QString> &heldHere()
{
    static QSet<QString> held;
    return held;
}

QString key(const QString &path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

QByteArray contents(const QString &host, qint64 pid, const QDateTime &since, const QString &guards)
{
    QString oneLine = guards;
    oneLine.replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\r'), QLatin1Char(' '));
    return magic + "host " + host.toUtf8() + "\npid " + QByteArray::number(pid) + "\nsince "
           + since.toString(Qt::ISODateWithMs).toUtf8() + "\nfor " + oneLine.toUtf8() + '\n';
}

} // namespace

OwnerLock::OwnerLock(const QString &path, const QString &guards) : m_path(path), m_guards(guards) {}

OwnerLock::~OwnerLock()
{
    unlock();
}

std::optional<OwnerLock::Owner> OwnerLock::read(const QString &path)
{
    oscalls::PathFile file;
    QString reason;
    if (!oscalls::openRegularFile(file, path, QIODevice::ReadOnly, false, reason)) {
        if (!QFileInfo(path).exists() && !QFileInfo(path).isSymLink())
            return std::nullopt;
        return Owner(); // something is there that no window wrote: unreadable, judged by nothing but age
    }
    Owner owner;
    owner.refreshed = QFileInfo(path).lastModified().toUTC();
    const QByteArray bytes = file.read(4096);
    if (!bytes.startsWith(magic))
        return owner;
    for (const QByteArray &line : bytes.mid(magic.size()).split('\n')) {
        const qsizetype space = line.indexOf(' ');
        const QByteArray field = line.left(space);
        const QString value = QString::fromUtf8(space < 0 ? QByteArray() : line.mid(space + 1));
        if (field == "host")
            owner.host = value;
        else if (field == "pid")
            owner.pid = value.toLongLong();
        else if (field == "since")
            owner.since = QDateTime::fromString(value, Qt::ISODateWithMs);
        else if (field == "for")
            owner.guards = value;
    }
    owner.readable = !owner.host.isEmpty() && owner.pid > 0;
    return owner;
}

bool OwnerLock::isStale(const QString &path, const Owner &owner)
{
    // A lock nobody refreshed is stale on any computer: its owner stopped,
    // or the computer it ran on did, or it is not this program's at all.
    const QDateTime now = QDateTime::currentDateTimeUtc();
    if (!owner.refreshed.isValid() || owner.refreshed.secsTo(now) > staleSeconds)
        return true;
    if (!owner.readable || owner.host != oscalls::hostName())
        return false;
    if (owner.pid == QCoreApplication::applicationPid())
        return !heldHere().contains(key(path));
    return !oscalls::isProcessRunning(owner.pid);
}

OwnerLock::Result OwnerLock::tryLock()
{
    if (m_locked)
        return Locked;
    m_error.clear();
    for (int attempt = 0; attempt < 3; ++attempt) {
        QFile file(m_path);
        QString reason;
        // NewOnly creates the file only when there is none (O_EXCL): of two
        // windows trying at once, one makes it and the other finds it.
        if (!oscalls::injectedFault(oscalls::Io::Open, m_path, reason)
            && file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            m_since = QDateTime::currentDateTimeUtc();
            const QByteArray bytes =
                contents(oscalls::hostName(), QCoreApplication::applicationPid(), m_since, m_guards);
            const bool written = file.write(bytes) == bytes.size() && file.flush();
            file.close();
            if (!written) {
                m_error = file.errorString();
                oscalls::remove(m_path, reason);
                return Failed;
            }
            m_locked = true;
            heldHere().insert(key(m_path));
            return Locked;
        }
        if (reason.isEmpty())
            reason = file.errorString();
        const std::optional<Owner> found = read(m_path);
        if (!found) {
            if (QFileInfo(m_path).exists())
                continue;
            m_error = reason; // no file there, and none can be made: the folder refuses
            return Failed;
        }
        if (!isStale(m_path, *found)) {
            m_owner = *found;
            return Held;
        }
        // Taken over only if it is still the lock judged stale, so that a
        // lock another window has just made in its place stays.
        const std::optional<Owner> again = read(m_path);
        if (!again || again->refreshed != found->refreshed || again->pid != found->pid || again->host != found->host)
            continue;
        if (!oscalls::remove(m_path, reason)) {
            m_error = reason;
            return Failed;
        }
    }
    m_error = QStringLiteral("it keeps changing while it is made");
    return Failed;
}

bool OwnerLock::refresh()
{
    if (!m_locked)
        return false;
    const std::optional<Owner> now = read(m_path);
    if (!now || now->pid != QCoreApplication::applicationPid() || now->host != oscalls::hostName()
        || now->since != m_since) {
        return false; // taken over while this process did not refresh it
    }
    QFile file(m_path);
    return file.open(QIODevice::ReadWrite)
           && file.setFileTime(QDateTime::currentDateTimeUtc(), QFileDevice::FileModificationTime);
}

void OwnerLock::unlock()
{
    if (!m_locked)
        return;
    m_locked = false;
    heldHere().remove(key(m_path));
    const std::optional<Owner> now = read(m_path);
    QString reason;
    if (now && now->pid == QCoreApplication::applicationPid() && now->since == m_since)
        oscalls::remove(m_path, reason);
}
