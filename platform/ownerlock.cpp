#include "platform/ownerlock.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSet>

namespace {

const QByteArray magic = "calculus-study lock 1\n";

/// The locks this process holds now: a lock naming this process that is
/// not among them was left by a window of it that is gone (the tests' way
/// of a kill), or by an earlier process that had the same id.
QSet<QString> &heldHere()
{
    static QSet<QString> held;
    return held;
}

/// A lock file by what it is, not by how it was reached (a link to its folder).
QString key(const oscalls::Identity &id)
{
    return QStringLiteral("%1 %2").arg(id.device).arg(id.file);
}

QString oneLine(QString text)
{
    return text.replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\r'), QLatin1Char(' '));
}

QByteArray contents(const QString &host, qint64 pid, const QString &started, const QDateTime &since,
                    const QString &guards)
{
    return magic + "host " + oneLine(host).toUtf8() + "\npid " + QByteArray::number(pid) + "\nstarted "
           + oneLine(started).toUtf8() + "\nsince " + since.toString(Qt::ISODateWithMs).toUtf8() + "\nfor "
           + oneLine(guards).toUtf8() + '\n';
}

bool sameLock(const OwnerLock::Owner &a, const OwnerLock::Owner &b)
{
    return a.identity == b.identity && a.refreshed == b.refreshed && a.pid == b.pid && a.host == b.host
           && a.since == b.since;
}

} // namespace

OwnerLock::OwnerLock(const QString &path, const QString &guards) : m_path(path), m_guards(guards)
{
}

OwnerLock::~OwnerLock()
{
    unlock();
}

std::optional<OwnerLock::Owner> OwnerLock::read(const QString &path)
{
    oscalls::PathFile file;
    QString reason;
    Owner owner;
    if (!oscalls::openRegularFile(file, path, QIODevice::ReadOnly, false, reason)) {
        if (!QFileInfo(path).exists() && !QFileInfo(path).isSymLink())
            return std::nullopt;
        return owner; // something is there that no window wrote whole: stale
    }
    owner.identity = oscalls::identityOf(file);
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
        else if (field == "started")
            owner.started = value;
        else if (field == "since")
            owner.since = QDateTime::fromString(value, Qt::ISODateWithMs);
        else if (field == "for")
            owner.guards = value;
    }
    owner.readable = !owner.host.isEmpty() && owner.pid > 0 && owner.since.isValid();
    return owner;
}

bool OwnerLock::isStale(const Owner &owner)
{
    if (!owner.readable)
        return true; // empty or cut short: a window killed as it made it, or none of ours
    if (owner.host != oscalls::hostName()) {
        // Another computer's process cannot be asked after: a lock nobody
        // refreshed for a while is a computer that went down or lost its way.
        return !owner.refreshed.isValid()
               || owner.refreshed.secsTo(QDateTime::currentDateTimeUtc()) > staleSeconds;
    }
    // On this computer the process says it: stopped, asleep or busy, a
    // window that is there holds its folder however long it was quiet.
    if (owner.pid == QCoreApplication::applicationPid() && !heldHere().contains(key(owner.identity)))
        return true;
    if (!oscalls::isProcessRunning(owner.pid))
        return true;
    const QString started = oscalls::processStartToken(owner.pid);
    return !owner.started.isEmpty() && !started.isEmpty() && started != owner.started;
}

OwnerLock::Made OwnerLock::make(QString &reason)
{
    QFile file(m_path);
    // NewOnly creates the file only when there is none (O_EXCL): of two
    // windows trying at once, one makes it and the other finds it.
    if (oscalls::injectedFault(oscalls::Io::Open, m_path, reason))
        return Made::No;
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        reason = file.errorString();
        return Made::No;
    }
    const QDateTime since = QDateTime::currentDateTimeUtc();
    const qint64 pid = QCoreApplication::applicationPid();
    m_contents = contents(oscalls::hostName(), pid, oscalls::processStartToken(pid), since, m_guards);
    m_identity = oscalls::identityOf(file);
    // Not synced: after a power cut a lock cut short is stale at once, and
    // its owner is gone anyway.
    bool written = oscalls::writeAll(file, m_contents, reason);
    if (written && !file.flush()) {
        written = false;
        reason = file.errorString();
    }
    file.close();
    if (!written) {
        QString ignored;
        if (oscalls::identityAt(m_path) == m_identity)
            oscalls::remove(m_path, ignored);
        return Made::No;
    }
    // Taken over while it was still empty: another window has it now.
    if (oscalls::identityAt(m_path) != m_identity)
        return Made::Taken;
    oscalls::hideFile(m_path);
    return Made::Yes;
}

bool OwnerLock::takeOver(const Owner &found, QString &reason)
{
    // Whatever is at the path now moves aside in one step; only if it is
    // the lock judged stale does it go. Another window's fresh lock, made
    // there in the meantime, is put back where it was.
    const QString aside = QStringLiteral("%1.stale-%2").arg(m_path).arg(QRandomGenerator::system()->generate64(), 16, 16,
                                                                       QLatin1Char('0'));
    if (!oscalls::rename(m_path, aside, reason))
        return !QFileInfo::exists(m_path); // gone already: taken or given up by another
    const std::optional<Owner> moved = read(aside);
    QString ignored;
    if (moved && sameLock(*moved, found)) {
        oscalls::remove(aside, ignored);
        return true;
    }
    if (!oscalls::renameNoReplace(aside, m_path, ignored))
        oscalls::remove(aside, ignored);
    return true;
}

OwnerLock::Result OwnerLock::tryLock()
{
    if (m_locked)
        return Locked;
    m_error.clear();
    for (int attempt = 0; attempt < 4; ++attempt) {
        QString reason;
        const Made made = make(reason);
        if (made == Made::Yes) {
            m_locked = true;
            heldHere().insert(key(m_identity));
            return Locked;
        }
        if (made == Made::Taken)
            continue;
        const std::optional<Owner> found = read(m_path);
        if (!found) {
            if (QFileInfo(m_path).exists())
                continue;
            m_error = reason; // no file there, and none can be made: the folder refuses
            return Failed;
        }
        if (!isStale(*found)) {
            m_owner = *found;
            return Held;
        }
        if (!takeOver(*found, reason)) {
            m_error = reason;
            return Failed;
        }
    }
    m_error = QStringLiteral("it keeps changing while it is made");
    return Failed;
}

OwnerLock::Hold OwnerLock::hold() const
{
    if (!m_locked)
        return Hold::Taken;
    // By what it says, not by its file number: a stick plugged in again may
    // give the same file another number.
    oscalls::PathFile file;
    QString reason;
    if (!oscalls::openRegularFile(file, m_path, QIODevice::ReadOnly, false, reason)) {
        const QFileInfo there(m_path);
        if (there.isSymLink() || (there.exists() && !there.isFile()))
            return Hold::Taken; // something no window of ours puts there
        return there.exists() ? Hold::Unknown : Hold::Missing;
    }
    const QByteArray bytes = file.read(m_contents.size() + 1);
    if (file.error() != QFile::NoError)
        return Hold::Unknown;
    return bytes == m_contents ? Hold::Ours : Hold::Taken;
}

bool OwnerLock::remake()
{
    if (!m_locked || hold() != Hold::Missing)
        return isHeld();
    QString reason;
    QFile file(m_path);
    if (oscalls::injectedFault(oscalls::Io::Open, m_path, reason) || !file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return false;
    const bool written = oscalls::writeAll(file, m_contents, reason) && file.flush();
    file.close();
    oscalls::hideFile(m_path);
    return written && isHeld();
}

bool OwnerLock::refresh()
{
    if (hold() == Hold::Missing && !remake())
        return false;
    if (!isHeld())
        return false; // taken over while this process did not refresh it
    // Written again rather than given a time: the file system stamps it
    // with its own clock, which a window whose clock is slow cannot set
    // back. The same bytes over the same bytes: never empty, never longer.
    QFile file(m_path);
    QString reason;
    if (oscalls::injectedFault(oscalls::Io::Write, m_path, reason)
        || !file.open(QIODevice::ReadWrite | QIODevice::ExistingOnly))
        return false;
    return file.write(m_contents) == m_contents.size() && file.flush();
}

void OwnerLock::unlock()
{
    if (!m_locked)
        return;
    const bool ours = isHeld();
    abandon();
    QString reason;
    if (ours)
        oscalls::remove(m_path, reason);
}

void OwnerLock::abandon()
{
    m_locked = false;
    heldHere().remove(key(m_identity));
}
