#include "records/recordfiles.h"

#include "records/cp1252.h"
#include "records/recordjournal.h"
#include "platform/oscalls.h"
#include "platform/platform.h"

#include <QDir>
#include <QFileInfo>

RecordLedger::RecordLedger() = default;
RecordLedger::~RecordLedger() = default;

namespace {

/// What became of a file that is not as this window left it.
QString changeSince(const oscalls::Identity &expected, qint64 expectedLength, const oscalls::Identity &now,
                    qint64 length)
{
    // A file deleted and made again may get the number the old one had, so
    // an empty file is told as either.
    QString what;
    if (length == 0)
        what = QStringLiteral("it was emptied or deleted");
    else if (expected != now)
        what = QStringLiteral("it was replaced");
    else if (length < expectedLength)
        what = QStringLiteral("it was cut short");
    else
        what = QStringLiteral("something else added to it");
    return QStringLiteral("the file changed since this window last wrote it (%1)").arg(what);
}

} // namespace

RecordFiles::RecordFiles(const QStringList &paths, RecordLedger *ledger) : m_ledger(ledger)
{
    // A take-back that could not be finished is finished first, so that the
    // files are as the ledger says before anything is compared with it.
    if (m_ledger && m_ledger->journal && m_ledger->journal->pending()) {
        QString reason;
        if (!m_ledger->journal->rollBack(reason))
            fail(m_ledger->journal->path(), reason);
    }
    for (const QString &path : paths) {
        auto target = std::make_unique<Target>();
        target->path = path;
        if (!failed()) {
            QString reason;
            if (oscalls::openRegularFile(target->file, path, QIODevice::WriteOnly | QIODevice::Append, true, reason)) {
                target->identity = oscalls::identityOf(target->file, &target->start);
                if (m_ledger) {
                    const auto known = m_ledger->left.find(path);
                    if (known != m_ledger->left.end()
                        && (known->second.identity != target->identity || known->second.length != target->start)) {
                        fail(path, changeSince(known->second.identity, known->second.length, target->identity,
                                               target->start));
                        target->changed = true;
                    }
                    // What is there now is what the next command compares with.
                    m_ledger->left[path] = {target->identity, target->start};
                }
            } else {
                fail(path, reason);
            }
        }
        // A file that could not be opened, or was not tried after one that
        // could not, is in question and the student is told: the next
        // command takes it as it finds it.
        if (m_ledger && !target->file.isOpen())
            m_ledger->left.erase(path);
        m_files.push_back(std::move(target));
    }
}

RecordFiles::~RecordFiles()
{
    close();
}

bool RecordFiles::startedEmpty(int index) const
{
    return m_files[size_t(index)]->start == 0;
}

void RecordFiles::fail(const QString &path, const QString &reason)
{
    if (m_error.isEmpty())
        m_error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), reason);
}

QString RecordFiles::contentChangeOf(Target &target)
{
    // Exactly as long as this command left it: nothing else wrote or cut it.
    qint64 length = -1;
    const oscalls::Identity now = oscalls::identityOf(target.file, &length);
    const qint64 expected = target.start + target.written;
    if (now == target.identity && length == expected)
        return QString();
    target.changed = true; // another's bytes may be in it: never cut
    return changeSince(target.identity, expected, now, length);
}

QString RecordFiles::changeOf(Target &target)
{
    // The same file at its path, and exactly as long as this command left it.
    const QString change = contentChangeOf(target);
    if (!change.isEmpty())
        return change;
    if (oscalls::identityAt(target.path) != target.identity) {
        // Still only this window's bytes, so they can be taken back; but
        // they are not where the student's files are.
        target.moved = true;
        return QStringLiteral("the file was moved or deleted while it was being written");
    }
    return QString();
}

bool RecordFiles::noteInJournal()
{
    m_noted = true;
    if (!m_ledger || !m_ledger->journal)
        return true;
    std::vector<RecordJournal::Entry> entries;
    for (const auto &target : m_files)
        if (target->file.isOpen())
            entries.push_back({target->path, target->identity, target->start});
    QString reason;
    if (m_ledger->journal->note(entries, reason, m_recorded))
        return true;
    fail(m_ledger->journal->path(), reason);
    return false;
}

void RecordFiles::write(int index, const QByteArray &bytes)
{
    if (failed() || (!m_noted && !noteInJournal()))
        return;
    Target &target = *m_files[size_t(index)];
    const QString change = changeOf(target);
    if (!change.isEmpty()) {
        fail(target.path, change);
        return;
    }
    QString reason;
    const qint64 expected = target.start + target.written + bytes.size();
    const bool whole = oscalls::writeAll(target.file, bytes, reason);
    // A part of the bytes may be in even when the write failed: the length
    // check and the take-back go by what the file holds, not by the request.
    qint64 length = -1;
    oscalls::identityOf(target.file, &length);
    if (whole && length != expected) {
        // Another writer appended (or cut) between the check and the write:
        // what the file holds is not this window's to count, nor ever to cut.
        target.changed = true;
        fail(target.path, changeSince(target.identity, expected, target.identity, length));
        return;
    }
    target.written = length >= target.start ? length - target.start : target.written;
    if (!whole)
        fail(target.path, reason);
}

void RecordFiles::line(const QString &text)
{
    const QByteArray bytes = Cp1252::encode(text) + "\r\n";
    for (int i = 0; i < int(m_files.size()); ++i)
        write(i, bytes);
}

void RecordFiles::lineTo(int index, const QString &text)
{
    write(index, Cp1252::encode(text) + "\r\n");
}

void RecordFiles::textTo(int index, const QString &text)
{
    write(index, Cp1252::encode(text));
}

void RecordFiles::takeBack()
{
    // Cutting each file back to its length before the command leaves the
    // records before it byte for byte, and a retry writes the record once.
    // A file that changed under the window holds another's bytes: it is
    // never cut.
    std::vector<RecordJournal::Entry> uncut;
    for (auto &target : m_files) {
        if (!target->file.isOpen() || target->written == 0 || target->changed)
            continue;
        QString reason;
        const QString change = contentChangeOf(*target);
        if (!change.isEmpty()) {
            m_error += QStringLiteral("\n(%1: %2; what this window wrote into it was left there)")
                           .arg(QDir::toNativeSeparators(target->path), change);
            continue;
        }
        if (!oscalls::truncate(target->file, target->start, reason) || !syncToDisk(target->file, reason)) {
            m_error += QStringLiteral("\n(What was written of it in %1 could not be taken back: %2)")
                           .arg(QDir::toNativeSeparators(target->path), reason);
            uncut.push_back({target->path, target->identity, target->start});
            continue;
        }
        target->written = 0;
    }
    if (m_ledger) {
        for (auto &target : m_files) {
            if (!target->file.isOpen())
                continue;
            // A changed file was told about once; the next command takes it
            // as it finds it (and heads it when it is empty). A file left
            // uncut is compared with its length before the command: the
            // journal cuts it back at the next chance.
            if (target->changed || target->moved || oscalls::identityAt(target->path) != target->identity)
                m_ledger->left.erase(target->path);
            else
                m_ledger->left[target->path] = {target->identity, target->start};
        }
        if (m_noted && m_ledger->journal) {
            QString reason;
            // Only what still needs cutting stays noted: a changed file never does.
            if (uncut.empty() ? !m_ledger->journal->clear(reason) : !m_ledger->journal->note(uncut, reason))
                m_error += QStringLiteral("\n(%1: %2)").arg(QDir::toNativeSeparators(m_ledger->journal->path()), reason);
        }
    }
}

bool RecordFiles::close()
{
    // Once: a second close (the destructor's) must not take back again,
    // nor clear a note a failed take-back left for the next command.
    if (m_closed)
        return !failed();
    m_closed = true;
    for (auto &target : m_files) {
        if (!target->file.isOpen() || failed())
            continue;
        const QString change = changeOf(*target);
        if (!change.isEmpty())
            fail(target->path, change);
        else if (QString reason; !syncToDisk(target->file, reason))
            fail(target->path, reason);
    }
    // The record is whole on the disk: the journal's note goes, and only then
    // is the command done (a note left would cut the record at the next start).
    if (!failed() && m_noted && m_ledger && m_ledger->journal) {
        QString reason;
        if (!m_ledger->journal->clear(reason, true))
            fail(m_ledger->journal->path(), reason);
    }
    if (failed()) {
        takeBack();
    } else if (m_ledger) {
        for (auto &target : m_files)
            if (target->file.isOpen())
                m_ledger->left[target->path] = {target->identity, target->start + target->written};
    }
    for (auto &target : m_files)
        target->file.close();
    return !failed();
}

void RecordFiles::abandon()
{
    if (m_closed)
        return;
    m_closed = true;
    if (m_error.isEmpty())
        m_error = QStringLiteral("the record was not finished");
    takeBack();
    for (auto &target : m_files)
        target->file.close();
}

bool readWholeFile(const QString &path, QString &text, QString &error)
{
    oscalls::PathFile file;
    QString reason;
    if (!oscalls::openRegularFile(file, path, QIODevice::ReadOnly, true, reason)) {
        error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), reason);
        return false;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFile::NoError) {
        error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), file.errorString());
        return false;
    }
    text = Cp1252::decode(bytes);
    return true;
}

QStringList splitFileLines(const QString &text)
{
    QStringList lines;
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (text.at(i) != QLatin1Char('\r'))
            continue;
        lines.append(text.mid(start, i - start));
        if (i + 1 < n && text.at(i + 1) == QLatin1Char('\n'))
            ++i;
        start = i + 1;
    }
    if (start < n)
        lines.append(text.mid(start));
    return lines;
}
