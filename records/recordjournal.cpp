#include "records/recordjournal.h"

#include "platform/oscalls.h"
#include "platform/platform.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>

namespace {

const QByteArray magic = "calculus-study journal 2\n";
const QByteArray recordedMark = "recorded ";
const QByteArray leftMark = "left ";
/// The most a response's rating as typed may add to its noted bytes, and
/// so the most read back after them.
constexpr qint64 longestRating = 1 << 20;

QByteArray field(const QString &text)
{
    return text.isEmpty() ? QByteArray("-") : text.toUtf8().toPercentEncoding();
}

QString fromField(const QByteArray &bytes)
{
    return bytes == "-" ? QString() : QString::fromUtf8(QByteArray::fromPercentEncoding(bytes));
}

QByteArray ratingName(recordformat::Rating rating)
{
    switch (rating) {
    case recordformat::Rating::Confidence:
        return "confidence";
    case recordformat::Rating::SelfCritique:
        return "self-critique";
    case recordformat::Rating::None:
        break;
    }
    return "none";
}

QByteArray digest(const QByteArray &body)
{
    return QCryptographicHash::hash(body, QCryptographicHash::Sha1).toHex();
}

QByteArray leftLine(const RecordJournal::Typing &t)
{
    return leftMark + t.session + ' ' + field(t.typed) + ' ' + field(t.assignment) + ' ' + field(t.under) + ' '
           + field(t.text) + '\n';
}

std::optional<RecordJournal::Typing> typingOfLeftLine(const QByteArray &line)
{
    const QList<QByteArray> w = line.mid(leftMark.size()).split(' ');
    if (w.size() != 5 || w[0].isEmpty())
        return std::nullopt;
    return RecordJournal::Typing{w[0], fromField(w[1]), fromField(w[2]), fromField(w[3]), fromField(w[4])};
}

QByteArray bodyOf(const RecordJournal::Note &note)
{
    const RecordJournal::Typing &t = note.typing;
    QByteArray body = magic + "typing " + (t.session.isEmpty() ? QByteArray("-") : t.session) + ' ' + field(t.typed)
                      + ' ' + field(t.assignment) + ' ' + field(t.under) + ' ';
    const QByteArray text = t.text.toUtf8();
    body += QByteArray::number(text.size()) + '\n' + text + '\n';
    body += "closing " + (note.closingFollows ? ratingName(note.rating) : QByteArray("-")) + '\n';
    for (const RecordJournal::Entry &e : note.entries)
        body += "file " + field(e.name) + ' ' + QByteArray::number(e.start) + ' ' + QByteArray::number(e.bytes.size())
                + '\n' + e.bytes + '\n';
    return body + "end " + QByteArray::number(qsizetype(note.entries.size())) + ' ' + digest(body) + '\n';
}

/// Reads the body of a note back; nothing unless it is whole (its end line's
/// sum matches: a note the system wrote only in part was never followed by
/// an append).
class NoteReader
{
public:
    explicit NoteReader(const QByteArray &bytes) : m_bytes(bytes) {}

    std::optional<RecordJournal::Note> read()
    {
        if (!m_bytes.startsWith(magic))
            return std::nullopt;
        m_at = magic.size();
        RecordJournal::Note note;
        const QList<QByteArray> typing = words();
        if (typing.size() != 6 || typing[0] != "typing")
            return std::nullopt;
        note.typing.session = typing[1] == "-" ? QByteArray() : typing[1];
        note.typing.typed = fromField(typing[2]);
        note.typing.assignment = fromField(typing[3]);
        note.typing.under = fromField(typing[4]);
        QByteArray text;
        if (!take(typing[5], text))
            return std::nullopt;
        note.typing.text = QString::fromUtf8(text);
        const QList<QByteArray> closing = words();
        if (closing.size() != 2 || closing[0] != "closing")
            return std::nullopt;
        note.closingFollows = closing[1] != "-";
        note.rating = closing[1] == "confidence"      ? recordformat::Rating::Confidence
                      : closing[1] == "self-critique" ? recordformat::Rating::SelfCritique
                                                      : recordformat::Rating::None;
        for (;;) {
            const qsizetype lineStart = m_at;
            const QList<QByteArray> w = words();
            if (w.size() == 3 && w[0] == "end")
                return w[1].toLongLong() == qsizetype(note.entries.size()) && w[2] == digest(m_bytes.left(lineStart))
                               && m_at == m_bytes.size()
                           ? std::optional<RecordJournal::Note>(note)
                           : std::nullopt;
            bool okStart = false;
            if (w.size() != 4 || w[0] != "file")
                return std::nullopt;
            RecordJournal::Entry e;
            e.name = fromField(w[1]);
            e.start = w[2].toLongLong(&okStart);
            if (!okStart || e.start < 0 || e.name.isEmpty() || e.name.contains(QLatin1Char('/'))
                || e.name.contains(QLatin1Char('\\')) || !take(w[3], e.bytes))
                return std::nullopt;
            note.entries.push_back(e);
        }
    }

private:
    QList<QByteArray> words()
    {
        const qsizetype end = m_bytes.indexOf('\n', m_at);
        if (end < 0)
            return {};
        const QByteArray line = m_bytes.mid(m_at, end - m_at);
        m_at = end + 1;
        return line.split(' ');
    }
    bool take(const QByteArray &length, QByteArray &into)
    {
        bool ok = false;
        const qint64 n = length.toLongLong(&ok);
        if (!ok || n < 0 || n + 1 > m_bytes.size() - m_at || m_bytes.at(m_at + n) != '\n')
            return false;
        into = m_bytes.mid(m_at, n);
        m_at += n + 1;
        return true;
    }

    const QByteArray &m_bytes;
    qsizetype m_at = 0;
};

enum class FileState { Untouched, Whole, Cut, Foreign };

/// What a noted file holds now where the record was to go.
FileState stateOf(const QString &path, const RecordJournal::Entry &e, const RecordJournal::Note &note)
{
    oscalls::PathFile file;
    QString reason;
    if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink())
        return e.start == 0 ? FileState::Untouched : FileState::Foreign;
    if (!oscalls::openRegularFile(file, path, QIODevice::ReadOnly, false, reason))
        return FileState::Foreign;
    const qint64 length = file.size();
    if (length == e.start)
        return FileState::Untouched;
    // Cut short since: never padded or written again, whoever did it.
    if (length < e.start || length - e.start > e.bytes.size() + (note.closingFollows ? longestRating : 0))
        return FileState::Foreign;
    if (!file.seek(e.start))
        return FileState::Foreign;
    const QByteArray tail = file.read(length - e.start);
    if (tail.size() != length - e.start)
        return FileState::Foreign;
    if (tail.size() <= e.bytes.size()) {
        if (e.bytes.left(tail.size()) != tail)
            return FileState::Foreign;
        return tail.size() == e.bytes.size() && !note.closingFollows ? FileState::Whole : FileState::Cut;
    }
    if (!note.closingFollows || !tail.startsWith(e.bytes))
        return FileState::Foreign;
    const QByteArray rest = tail.mid(e.bytes.size());
    if (recordformat::isResponseClosing(note.rating, rest, false))
        return FileState::Whole;
    return recordformat::isResponseClosing(note.rating, rest, true) ? FileState::Cut : FileState::Foreign;
}

/// Cuts `path` back to `length`, synced; false with the reason.
bool cutBack(const QString &path, qint64 length, QString &reason)
{
    oscalls::PathFile file;
    if (!oscalls::openRegularFile(file, path, QIODevice::WriteOnly | QIODevice::Append, false, reason))
        return false;
    return oscalls::truncate(file, length, reason) && syncToDisk(file, reason);
}

} // namespace

RecordJournal::Contents RecordJournal::read() const
{
    Contents found;
    oscalls::PathFile file;
    QString reason;
    if (!oscalls::openRegularFile(file, m_path, QIODevice::ReadOnly, false, reason))
        return found;
    // The largest a note can be: a 10 MB answer and its bytes in three files.
    QByteArray bytes = file.read(qint64(256) << 20);
    qsizetype at = 0;
    if (bytes.startsWith(leftMark)) {
        const qsizetype end = bytes.indexOf('\n');
        if (end > 0) {
            found.left = typingOfLeftLine(bytes.left(end));
            at = end + 1;
        }
    }
    while (bytes.mid(at, recordedMark.size()) == recordedMark) {
        const qsizetype end = bytes.indexOf('\n', at);
        if (end < 0)
            break;
        found.names.append(bytes.mid(at + recordedMark.size(), end - at - recordedMark.size()));
        at = end + 1;
    }
    bytes.remove(0, at);
    found.note = NoteReader(bytes).read();
    return found;
}

bool RecordJournal::create(const QList<QByteArray> &recorded, const std::optional<Typing> &left, QString &reason)
{
    const bool made = !QFileInfo::exists(m_path);
    m_left = left ? leftLine(*left) : QByteArray();
    m_kept.clear();
    m_ownName.clear();
    m_pending = false;
    // Only the newest name is needed: a window keeps one typing at a time.
    if (!recorded.isEmpty())
        m_kept = recordedMark + recorded.last() + '\n';
    oscalls::PathFile file;
    if (!oscalls::openRegularFile(file, m_path, QIODevice::WriteOnly | QIODevice::Append, false, reason))
        return false;
    // Not synced: the first note, synced, follows before any record's byte.
    if ((file.size() > 0 && !oscalls::truncate(file, 0, reason)) || !oscalls::writeAll(file, m_left + m_kept, reason))
        return false;
    if (made)
        oscalls::hideFile(m_path);
    // Found after a power cut only once its name is on the disk too (and
    // the lock's, made just before it, with it).
    if (made && !syncFolderToDisk(QFileInfo(m_path).absolutePath())) {
        reason = QStringLiteral("its folder could not be written to the disk");
        return false;
    }
    return true;
}

bool RecordJournal::note(const Note &note, QString &reason)
{
    m_ownName = note.typing.session.isEmpty() ? QByteArray() : recordedMark + note.typing.session + '\n';
    const QByteArray bytes = m_left + m_kept + m_ownName + bodyOf(note);
    oscalls::PathFile file;
    if (!oscalls::openRegularFile(file, m_path, QIODevice::WriteOnly | QIODevice::Append, false, reason))
        return false;
    if ((file.size() > 0 && !oscalls::truncate(file, 0, reason)) || !oscalls::writeAll(file, bytes, reason)
        || !syncToDisk(file, reason))
        return false;
    m_pending = true;
    return true;
}

bool RecordJournal::cutTo(qint64 length, QString &reason)
{
    oscalls::PathFile file;
    if (!oscalls::openRegularFile(file, m_path, QIODevice::WriteOnly | QIODevice::Append, false, reason))
        return false;
    return file.size() == length || oscalls::truncate(file, length, reason);
}

bool RecordJournal::clearWhole(QString &reason)
{
    if (!cutTo(m_left.size() + m_kept.size() + m_ownName.size(), reason))
        return false;
    // Only the newest name is needed: a window keeps one typing at a time.
    if (!m_ownName.isEmpty())
        m_kept = m_ownName;
    m_ownName.clear();
    m_pending = false;
    return true;
}

bool RecordJournal::clearTakenBack(QString &reason)
{
    if (!cutTo(m_left.size() + m_kept.size(), reason))
        return false;
    m_ownName.clear();
    m_pending = false;
    return true;
}

bool RecordJournal::dropLeftTyping(QString &reason)
{
    if (m_left.isEmpty())
        return true;
    m_left.clear();
    // Between records the journal holds its head alone.
    oscalls::PathFile file;
    return oscalls::openRegularFile(file, m_path, QIODevice::WriteOnly | QIODevice::Append, false, reason)
           && oscalls::truncate(file, 0, reason) && oscalls::writeAll(file, m_kept, reason);
}

RecordJournal::RolledBack RecordJournal::rollBack()
{
    RolledBack result;
    const Contents found = read();
    result.recorded = found.names;
    result.typing = found.left;
    if (!found.note)
        return result;
    const Note &note = *found.note;
    result.found = true;
    // Its own name heads the note, last: recorded only if the record is whole.
    const bool named = !note.typing.session.isEmpty() && !result.recorded.isEmpty()
                       && result.recorded.last() == note.typing.session;
    if (named)
        result.recorded.removeLast();
    const QString folder = QFileInfo(m_path).absolutePath();
    std::vector<FileState> states;
    bool whole = false, cut = false;
    for (const Entry &e : note.entries) {
        states.push_back(stateOf(folder + QLatin1Char('/') + e.name, e, note));
        whole = whole || states.back() == FileState::Whole;
        cut = cut || states.back() == FileState::Cut || states.back() == FileState::Untouched;
        if (states.back() == FileState::Foreign)
            result.leftUncut.append(QDir::toNativeSeparators(folder + QLatin1Char('/') + e.name));
    }
    // Whole where it is not another's, or cut off everywhere it is this folder's.
    result.whole = whole && !cut;
    for (size_t i = 0; !result.whole && i < note.entries.size(); ++i) {
        if (states[i] != FileState::Whole && states[i] != FileState::Cut)
            continue;
        QString reason;
        const QString path = folder + QLatin1Char('/') + note.entries[i].name;
        if (!cutBack(path, note.entries[i].start, reason))
            result.problem = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), reason);
    }
    if (!result.problem.isEmpty()) {
        m_pending = true; // the note stays for the next try
        return result;
    }
    if (result.whole && !note.typing.session.isEmpty())
        result.recorded.append(note.typing.session);
    else if (!note.typing.session.isEmpty() && !note.typing.text.isEmpty())
        result.typing = note.typing;
    // Only the typing given back and names of whole records stay, until
    // the window's own first note.
    QByteArray names = result.typing ? leftLine(*result.typing) : QByteArray();
    for (const QByteArray &name : result.recorded)
        names += recordedMark + name + '\n';
    QString reason;
    oscalls::PathFile file;
    if (oscalls::openRegularFile(file, m_path, QIODevice::WriteOnly | QIODevice::Append, false, reason)
        && oscalls::truncate(file, 0, reason))
        oscalls::writeAll(file, names, reason);
    m_pending = false;
    return result;
}
