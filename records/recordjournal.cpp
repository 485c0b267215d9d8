#include "records/recordjournal.h"

#include "platform/platform.h"

#include <QDir>
#include <QFileInfo>

#include <utility>

namespace {

const QByteArray magic = "calculus-study journal 1\n";
const QByteArray recordedMark = "recorded ";

/// The end line carries the count and a sum of the lines before it, so that
/// a note the system wrote only in part is never taken for a whole one.
QByteArray endLine(const QByteArray &body, int count)
{
    return "end " + QByteArray::number(count) + ' ' + QByteArray::number(qChecksum(body)) + '\n';
}

} // namespace

bool RecordJournal::note(const std::vector<Entry> &entries, QString &reason, const QByteArray &recorded)
{
    // The name goes first: the clear of a whole record cuts the note off
    // after it in one step, so no end finds the note gone and the name not
    // yet there.
    const QByteArray name = recorded.isEmpty() ? QByteArray() : recordedMark + recorded + '\n';
    QByteArray body = magic;
    for (const Entry &e : entries)
        body += QByteArray::number(e.length) + ' ' + QByteArray::number(e.identity.device) + ' '
                + QByteArray::number(e.identity.file) + ' ' + e.path.toUtf8().toPercentEncoding() + '\n';
    const QByteArray bytes = name + body + endLine(body, int(entries.size()));
    const bool made = !QFileInfo::exists(m_path);
    oscalls::PathFile file;
    if (!oscalls::openRegularFile(file, m_path, QIODevice::WriteOnly | QIODevice::Append, false, reason))
        return false;
    // Between commands the journal holds nothing or the last whole record's
    // name; that, or whatever an interrupted clear left, goes first.
    if (file.size() > 0 && !oscalls::truncate(file, 0, reason))
        return false;
    if (!oscalls::writeAll(file, bytes, reason))
        return false;
    if (!syncToDisk(file, reason))
        return false;
    m_pending = 1;
    m_nameLength = name.size();
    // A journal made just now is found after a power cut only once its name is on the disk too.
    if (made && !syncFolderToDisk(QFileInfo(m_path).absolutePath())) {
        reason = QStringLiteral("its folder could not be written to the disk");
        return false;
    }
    return true;
}

bool RecordJournal::pending() const
{
    if (m_pending < 0)
        m_pending = entries().empty() ? 0 : 1;
    return m_pending == 1;
}

bool RecordJournal::clear(QString &reason, bool whole)
{
    if (!QFileInfo::exists(m_path)) {
        m_pending = 0;
        return true;
    }
    oscalls::PathFile file;
    if (!oscalls::openRegularFile(file, m_path, QIODevice::WriteOnly | QIODevice::Append, false, reason))
        return false;
    const qint64 keep = whole ? m_nameLength : 0;
    m_nameLength = 0;
    if (file.size() == keep) {
        m_pending = 0;
        return true;
    }
    if (!oscalls::truncate(file, keep, reason))
        return false;
    if (!syncToDisk(file, reason))
        return false;
    m_pending = 0;
    return true;
}

QByteArray RecordJournal::leadingName() const
{
    oscalls::PathFile file;
    QString reason;
    if (!oscalls::openRegularFile(file, m_path, QIODevice::ReadOnly, false, reason))
        return QByteArray();
    const QByteArray bytes = file.read(recordedMark.size() + 128);
    const qsizetype end = bytes.indexOf('\n');
    if (!bytes.startsWith(recordedMark) || end < 0)
        return QByteArray();
    return bytes.mid(recordedMark.size(), end - recordedMark.size());
}

QByteArray RecordJournal::recorded() const
{
    // Only a mark standing alone: one with a note after it names a record
    // that was never made whole.
    const QByteArray name = leadingName();
    if (name.isEmpty() || QFileInfo(m_path).size() != recordedMark.size() + name.size() + 1)
        return QByteArray();
    return name;
}

std::vector<RecordJournal::Entry> RecordJournal::entries() const
{
    oscalls::PathFile file;
    QString reason;
    if (!oscalls::openRegularFile(file, m_path, QIODevice::ReadOnly, false, reason))
        return {};
    QByteArray bytes = file.read(1 << 20);
    if (bytes.startsWith(recordedMark))
        bytes.remove(0, bytes.indexOf('\n') + 1);
    if (!bytes.startsWith(magic) || !bytes.endsWith('\n'))
        return {};
    const qsizetype endAt = bytes.lastIndexOf("\nend ", bytes.size() - 2);
    if (endAt < 0)
        return {};
    const QByteArray body = bytes.left(endAt + 1);
    const QList<QByteArray> lines = body.mid(magic.size()).split('\n');
    std::vector<Entry> found;
    for (const QByteArray &line : lines) {
        if (line.isEmpty())
            continue;
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() != 4)
            return {};
        Entry e;
        bool okLength = false, okDevice = false, okFile = false;
        e.length = fields[0].toLongLong(&okLength);
        e.identity.device = fields[1].toULongLong(&okDevice);
        e.identity.file = fields[2].toULongLong(&okFile);
        e.identity.known = true;
        e.path = QString::fromUtf8(QByteArray::fromPercentEncoding(fields[3]));
        if (!okLength || !okDevice || !okFile || e.length < 0)
            return {};
        found.push_back(e);
    }
    if (bytes.mid(endAt + 1) != endLine(body, int(found.size())))
        return {};
    return found;
}

bool RecordJournal::rollBack(QString &reason)
{
    const std::vector<Entry> noted = entries();
    bool allCut = true;
    for (const Entry &e : noted) {
        // Only the very file noted, and only what was added after the note:
        // a file replaced or cut by something else since is left as it is.
        // Its file number says which file it is: another computer on a
        // shared home, or a stick plugged in again, sees another device.
        const oscalls::Identity now = oscalls::identityAt(e.path);
        const auto sameFile = [&e](const oscalls::Identity &id) { return id.known && id.file == e.identity.file; };
        if (!sameFile(now)) {
            if (now.known && QFileInfo(e.path).size() > e.length)
                m_leftUncut.append(e.path);
            continue;
        }
        oscalls::PathFile file;
        QString why;
        if (!oscalls::openRegularFile(file, e.path, QIODevice::WriteOnly | QIODevice::Append, false, why)) {
            allCut = false;
            reason = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(e.path), why);
            continue;
        }
        qint64 length = -1;
        if (!sameFile(oscalls::identityOf(file, &length)) || length <= e.length)
            continue;
        if (!oscalls::truncate(file, e.length, why) || !syncToDisk(file, why)) {
            allCut = false;
            reason = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(e.path), why);
        }
    }
    if (!allCut)
        return false;
    return clear(reason);
}

QStringList RecordJournal::takeLeftUncut()
{
    return std::exchange(m_leftUncut, QStringList());
}
