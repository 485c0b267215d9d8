#include "records/recordfolder.h"

#include "platform/oscalls.h"
#include "platform/platform.h"

#include <QDir>
#include <QFileInfo>

using namespace recordformat;

namespace {

enum { masterFile, sendFile, notesFile };

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

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

/// True when a record appended to the file at `path` would begin on a line
/// of its own: the file ends a line, or ends with a note's open closing line,
/// which the next record continues by design.
bool endsOnALine(const QString &path, qint64 length)
{
    if (length == 0)
        return true;
    oscalls::PathFile file;
    QString reason;
    const QByteArray open = (closingSeparator + QString(noteTrailerBlanks, QLatin1Char(' '))).toLatin1();
    if (!oscalls::openRegularFile(file, path, QIODevice::ReadOnly, false, reason)
        || !file.seek(std::max<qint64>(0, length - open.size())))
        return true; // the append that follows says what is wrong
    const QByteArray tail = file.read(open.size());
    return tail.endsWith('\n') || tail == open;
}

} // namespace

/// The appends of one record to its files, as one: the files opened and
/// checked, the journal's note, the bytes, the syncs, or the take-back.
class RecordFolder::Append
{
public:
    explicit Append(RecordFolder &folder) : m_folder(folder) {}
    ~Append() { close(); }
    Append(const Append &) = delete;
    Append &operator=(const Append &) = delete;

    /// Opens and checks the files, notes the record and appends its bytes.
    bool begin(const Planned &planned, bool heads, const Typing &typing, bool closingFollows, Rating rating);
    /// More bytes to every file.
    void more(const QByteArray &bytes);
    /// Syncs every file; false (everything appended taken back) when anything failed.
    bool close();
    /// Takes back what was appended: the record is not to be finished.
    void abandon();
    /// Closes the files and nothing else, as a killed process does.
    void drop();
    bool failed() const { return !m_error.isEmpty(); }
    QString error() const { return m_error; }

private:
    struct Target
    {
        QString path;
        int file = 0;
        oscalls::PathFile handle;
        oscalls::Identity identity;
        qint64 start = -1; // the file's length before this record; -1 when not opened
        qint64 written = 0;
        bool created = false;
        bool known = false;   // the file is as this window left it after its last record
        bool changed = false; // changed under this window: never written to or cut
        bool moved = false;   // no longer at its path (the folder renamed or removed)
    };

    bool open(Target &target);
    void write(Target &target, const QByteArray &bytes);
    void fail(const QString &path, const QString &reason);
    QString changeOf(Target &target);
    QString contentChangeOf(Target &target);
    void takeBack();
    void updateLedger(bool whole);

    RecordFolder &m_folder;
    std::vector<std::unique_ptr<Target>> m_targets;
    bool m_closed = false;
    bool m_noted = false;
    QString m_error;
};

void RecordFolder::Append::fail(const QString &path, const QString &reason)
{
    if (m_error.isEmpty())
        m_error = QStringLiteral("%1: %2").arg(shown(path), reason);
}

bool RecordFolder::Append::open(Target &target)
{
    QString reason;
    // A link in a file's place is not followed: the record would go
    // wherever it leads.
    if (!oscalls::openRegularFile(target.handle, target.path, QIODevice::WriteOnly | QIODevice::Append, false,
                                  reason)) {
        fail(target.path, reason);
        return false;
    }
    target.identity = oscalls::identityOf(target.handle, &target.start);
    // Made now, or empty: either way its name is synced with the folder
    // after the record (an empty file is rare; a name lost, a record lost).
    target.created = target.start == 0;
    const auto left = m_folder.m_left.find(target.path);
    if (left != m_folder.m_left.end()) {
        if (left->second.identity != target.identity || left->second.length != target.start) {
            fail(target.path, changeSince(left->second.identity, left->second.length, target.identity, target.start));
            target.changed = true;
        } else {
            target.known = true;
        }
    }
    // What is there now is what the next record compares with.
    m_folder.m_left[target.path] = {target.identity, target.start};
    return !target.changed;
}

bool RecordFolder::Append::begin(const Planned &planned, bool heads, const Typing &typing, bool closingFollows,
                                 Rating rating)
{
    RecordJournal &journal = *m_folder.m_journal;
    // A take-back that could not be finished is finished first, so that the
    // files are as the ledger says before anything is compared with it.
    if (journal.pending()) {
        const RecordJournal::RolledBack rolled = journal.rollBack();
        if (!rolled.problem.isEmpty()) {
            m_error = rolled.problem;
            return false;
        }
        m_folder.m_left.clear();
        // The note of a window that is gone, which the start could not cut
        // off: its typing is the student's to have back, and the journal
        // keeps it (and the names of whole records) under the notes to come.
        if (!m_folder.m_recovered.problem.isEmpty()) {
            m_folder.m_recovered.typing = rolled.typing;
            m_folder.m_recovered.recorded = rolled.recorded;
            m_folder.m_recovered.problem.clear();
            QString reason;
            if (!journal.create(rolled.recorded, rolled.typing, reason)) {
                fail(journal.path(), reason);
                return false;
            }
        }
    }
    if (!m_folder.stillHeld()) {
        m_error = m_folder.lostMessage();
        return false;
    }
    for (int file : planned.files) {
        auto target = std::make_unique<Target>();
        target->file = file;
        target->path = m_folder.m_paths[file];
        // A file that could not be opened, or was not tried after one that
        // could not, is in question and the student is told: the next record
        // takes it as it finds it.
        if (failed() || !open(*target))
            m_folder.m_left.erase(target->path);
        m_targets.push_back(std::move(target));
    }
    if (failed())
        return false;
    RecordJournal::Note note{typing, {}, closingFollows, rating};
    for (size_t i = 0; i < m_targets.size(); ++i) {
        Target &t = *m_targets[i];
        QByteArray bytes = planned.bytes[i];
        // A master or SEND file deleted or emptied during the run would
        // otherwise start in the middle of a record, with no assignment or
        // date for the instructor; one that ends inside a line (another
        // program's, or a record cut where it could not be taken back) gets
        // a line break first, so that the record is not glued to it.
        if (heads && t.start == 0 && t.file != notesFile && m_folder.m_header)
            bytes.prepend(headerBytes(*m_folder.m_header));
        else if (!t.known && !endsOnALine(t.path, t.start))
            bytes.prepend("\r\n");
        note.entries.push_back({QFileInfo(t.path).fileName(), t.start, bytes});
    }
    QString reason;
    if (!journal.note(note, reason)) {
        fail(journal.path(), reason);
        return false;
    }
    m_noted = true;
    for (size_t i = 0; i < m_targets.size(); ++i)
        write(*m_targets[i], note.entries[i].bytes);
    return !failed();
}

QString RecordFolder::Append::contentChangeOf(Target &target)
{
    // Exactly as long as this record left it: nothing else wrote or cut it.
    qint64 length = -1;
    const oscalls::Identity now = oscalls::identityOf(target.handle, &length);
    const qint64 expected = target.start + target.written;
    if (now == target.identity && length == expected)
        return QString();
    target.changed = true; // another's bytes may be in it: never cut
    return changeSince(target.identity, expected, now, length);
}

QString RecordFolder::Append::changeOf(Target &target)
{
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

void RecordFolder::Append::write(Target &target, const QByteArray &bytes)
{
    if (failed() || bytes.isEmpty())
        return;
    const QString change = changeOf(target);
    if (!change.isEmpty()) {
        fail(target.path, change);
        return;
    }
    QString reason;
    const qint64 expected = target.start + target.written + bytes.size();
    const bool whole = oscalls::writeAll(target.handle, bytes, reason);
    // A part of the bytes may be in even when the write failed: the length
    // check and the take-back go by what the file holds, not by the request.
    qint64 length = -1;
    oscalls::identityOf(target.handle, &length);
    if (whole && length != expected) {
        // Another writer appended (or cut) between the check and the write:
        // the file is not this window's to cut any more, and the student
        // hears that its bytes are in there beside the other's.
        target.changed = true;
        target.written += bytes.size();
        fail(target.path, changeSince(target.identity, expected, target.identity, length));
        return;
    }
    target.written = length >= target.start ? length - target.start : target.written;
    if (!whole)
        fail(target.path, reason);
}

void RecordFolder::Append::more(const QByteArray &bytes)
{
    if (!m_folder.stillHeld()) {
        if (m_error.isEmpty())
            m_error = m_folder.lostMessage();
        return;
    }
    for (auto &target : m_targets)
        write(*target, bytes);
}

void RecordFolder::Append::takeBack()
{
    // Cutting each file back to its length before the record leaves the
    // records before it byte for byte, and a retry writes the record once.
    // A file that changed under the window holds another's bytes: it is
    // never cut, and the student hears what of this window's is left in it.
    bool allCut = true;
    for (auto &target : m_targets) {
        if (!target->handle.isOpen() || target->written == 0)
            continue;
        QString reason;
        const QString change = target->changed ? QString() : contentChangeOf(*target);
        if (target->changed || !change.isEmpty()) {
            m_error += QStringLiteral("\n(%1: %2 bytes this window wrote are left in it, beside another "
                                      "program's)")
                           .arg(shown(target->path))
                           .arg(target->written);
            continue;
        }
        if (!oscalls::truncate(target->handle, target->start, reason) || !syncToDisk(target->handle, reason)) {
            m_error += QStringLiteral("\n(What was written of it in %1 could not be taken back: %2)")
                           .arg(shown(target->path), reason);
            allCut = false;
            continue;
        }
        target->written = 0;
    }
    updateLedger(false);
    // A cut that failed leaves the note, and the next record finishes it.
    QString reason;
    if (m_noted && allCut && !m_folder.m_journal->clearTakenBack(reason))
        m_error += QStringLiteral("\n(%1: %2)").arg(shown(m_folder.m_journal->path()), reason);
}

void RecordFolder::Append::updateLedger(bool whole)
{
    for (auto &target : m_targets) {
        if (!target->handle.isOpen())
            continue;
        // A changed file was told about once; the next record takes it as
        // it finds it (and heads it when it is empty).
        if (!whole && (target->changed || target->moved || target->written > 0
                       || oscalls::identityAt(target->path) != target->identity))
            m_folder.m_left.erase(target->path);
        else
            m_folder.m_left[target->path] = {target->identity, target->start + target->written};
    }
}

bool RecordFolder::Append::close()
{
    // Once: a second close (the destructor's) must not take back again.
    if (m_closed)
        return !failed();
    m_closed = true;
    bool created = false;
    for (auto &target : m_targets) {
        if (!target->handle.isOpen() || failed())
            continue;
        const QString change = changeOf(*target);
        if (!change.isEmpty())
            fail(target->path, change);
        else if (QString reason; !syncToDisk(target->handle, reason))
            fail(target->path, reason);
        created = created || target->created;
    }
    // A file made now is found after a power cut only once its name is on the disk too.
    if (!failed() && created && !syncFolderToDisk(m_folder.m_folder))
        fail(m_folder.m_folder, QStringLiteral("the folder could not be written to the disk"));
    if (failed()) {
        takeBack();
    } else {
        // Whole on the disk: the note goes, unsynced; a start that still
        // finds it sees the record whole in the files.
        QString reason;
        if (m_noted)
            m_folder.m_journal->clearWhole(reason);
        updateLedger(true);
    }
    for (auto &target : m_targets)
        target->handle.close();
    return !failed();
}

void RecordFolder::Append::abandon()
{
    if (m_closed)
        return;
    m_closed = true;
    if (m_error.isEmpty())
        m_error = QStringLiteral("the record was not finished");
    takeBack();
    for (auto &target : m_targets)
        target->handle.close();
}

void RecordFolder::Append::drop()
{
    m_closed = true;
    for (auto &target : m_targets)
        target->handle.close();
}

RecordFolder::RecordFolder(const QString &folder, const QString &monthDay)
{
    // Absolute from here on: the journal and every message name the folder
    // the student meant, whatever the working folder later.
    m_folder = QDir::toNativeSeparators(QDir::cleanPath(QDir(folder).absolutePath()));
    const QString base = m_folder + QDir::separator();
    m_paths[masterFile] = base + masterFileName;
    m_paths[sendFile] = base + sendFilePrefix + monthDay + sendFileSuffix;
    m_paths[notesFile] = base + notesFileName;
}

RecordFolder::~RecordFolder()
{
    release();
}

RecordFolder::Opened RecordFolder::open()
{
    const QString base = m_folder + QDir::separator();
    m_lock = std::make_unique<OwnerLock>(base + lockName, m_folder);
    switch (m_lock->tryLock()) {
    case OwnerLock::Held:
        m_holder = m_lock->owner();
        m_lock.reset();
        return Opened::Held;
    case OwnerLock::Failed:
        // The folder refuses any file (missing, read-only): said of the
        // file the student knows, as the first record would fail on it.
        m_error = QStringLiteral("%1: %2").arg(m_paths[masterFile], m_lock->error());
        m_lock.reset();
        return Opened::Failed;
    case OwnerLock::Locked:
        break;
    }
    // A window that ended without its end running (a kill, a power cut, a
    // lost display), here or on another computer, may have left a record
    // unfinished.
    m_journal = std::make_unique<RecordJournal>(base + journalName);
    const RecordJournal::RolledBack rolled = m_journal->rollBack();
    m_recovered = {rolled.typing, rolled.recorded, rolled.leftUncut, rolled.problem};
    QString reason;
    if (rolled.problem.isEmpty() && !m_journal->create(rolled.recorded, rolled.typing, reason)) {
        m_error = QStringLiteral("%1: %2").arg(shown(m_journal->path()), reason);
        m_journal.reset();
        m_lock->unlock();
        m_lock.reset();
        return Opened::Failed;
    }
    return Opened::Ready;
}

bool RecordFolder::write(const Planned &planned, const Typing &typing, Rating closing, QString &error, bool waits)
{
    if (!m_journal) {
        error = m_error; // the folder could not be taken
        return false;
    }
    if (m_lost) {
        error = lostMessage();
        return false;
    }
    auto append = std::make_unique<Append>(*this);
    if (!append->begin(planned, m_header.has_value(), typing, waits, closing)) {
        append->close();
        error = append->error();
        return false;
    }
    if (waits) {
        m_waiting = std::move(append);
        m_waitingRating = closing;
        return true;
    }
    const bool whole = append->close();
    error = append->error();
    return whole;
}

bool RecordFolder::writeHeader(const Header &header, QString &error)
{
    const QByteArray bytes = headerBytes(header);
    // The header itself heads nothing: it is what a new file gets first.
    m_header.reset();
    const bool whole = write({{masterFile, sendFile}, {bytes, bytes}}, Typing(), Rating::None, error, false);
    m_header = header;
    return whole;
}

bool RecordFolder::beginResponse(const Response &response, Rating rating, const Typing &typing, QString &error)
{
    return write({{masterFile, sendFile},
                  {responseOpening(FileKind::Master, response), responseOpening(FileKind::Send, response)}},
                 typing, rating, error, true);
}

bool RecordFolder::finishResponse(const QString &typed, QString &error)
{
    if (!m_waiting) {
        error = QStringLiteral("the record was not finished");
        return false;
    }
    std::unique_ptr<Append> append = std::move(m_waiting);
    append->more(responseClosing(m_waitingRating, typed));
    const bool whole = append->close();
    error = append->error();
    return whole;
}

void RecordFolder::abandonResponse()
{
    if (std::unique_ptr<Append> append = std::move(m_waiting))
        append->abandon();
}

bool RecordFolder::writeNote(const Note &note, const Typing &typing, QString &error)
{
    return write({{masterFile, sendFile, notesFile},
                  {noteBytes(FileKind::Master, note), noteBytes(FileKind::Send, note), noteBytes(FileKind::Notes, note)}},
                 typing, Rating::None, error, false);
}

void RecordFolder::forget(const QString &path)
{
    m_left.erase(QDir::toNativeSeparators(QDir::cleanPath(QDir(path).absolutePath())));
}

void RecordFolder::typingTaken()
{
    QString ignored;
    if (m_journal && !m_journal->pending())
        m_journal->dropLeftTyping(ignored);
    m_recovered.typing.reset();
}

bool RecordFolder::stillHeld()
{
    if (m_lost || !m_lock)
        return false;
    // A lock gone with its folder (a stick pulled out, a folder renamed) is
    // made again where the folder is back; where it is not, the record's own
    // files say what is wrong.
    if (m_lock->hold() == OwnerLock::Hold::Missing)
        m_lock->remake();
    m_lost = m_lock->hold() == OwnerLock::Hold::Taken;
    return !m_lost;
}

bool RecordFolder::refresh()
{
    if (!stillHeld())
        return false;
    // A refresh that cannot be written is no loss yet: before each record
    // the lock is read again, and another window's in its place is seen.
    m_lock->refresh();
    return true;
}

QString RecordFolder::lostMessage() const
{
    const std::optional<OwnerLock::Owner> now = OwnerLock::read(m_folder + QDir::separator() + lockName);
    QString who;
    if (now && now->readable) {
        const QDateTime since = now->since.toLocalTime();
        who = QStringLiteral(" (on the computer %1, since %2 at %3)")
                  .arg(now->host, since.toString(QStringLiteral("MM-dd-yyyy")), since.toString(QStringLiteral("HH:mm")));
    }
    return QStringLiteral("This window no longer holds the folder %1: another Calculus Study window%2 took it over "
                          "while this one was stopped, asleep or cut off, so nothing more is recorded here. End this "
                          "window and go on in the other.")
        .arg(m_folder, who);
}

void RecordFolder::release()
{
    abandonResponse();
    // The journal is empty at a normal end; one that still notes a file (a
    // take-back that failed) stays for the next start to finish.
    if (m_journal)
        m_journal->close();
    if (m_journal && !m_journal->pending() && m_lock && m_lock->hold() == OwnerLock::Hold::Ours) {
        QString ignored;
        oscalls::remove(m_journal->path(), ignored);
    }
    m_journal.reset();
    if (m_lock)
        m_lock->unlock();
    m_lock.reset();
}

void RecordFolder::abandon()
{
    if (m_waiting)
        m_waiting->drop();
    m_waiting.reset();
    m_journal.reset();
    if (m_lock)
        m_lock->abandon();
    m_lock.reset();
}
