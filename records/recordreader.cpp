#include "records/recordreader.h"

#include "records/cp1252.h"
#include "records/recordformat.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QTime>

#include <array>

namespace {

using namespace recordformat;

const QLatin1String courseTitle("Applied Calculus I");
const qsizetype trailerSize = closingSeparator.size() + noteTrailerBlanks; // a note's open line in SEND and notes

struct Line
{
    QStringView text;
    int number = 0;
    bool suspect = false; ///< holds a character no record line of the program holds
};

bool isDigits(QStringView s, qsizetype from, qsizetype count)
{
    for (qsizetype i = from; i < from + count; ++i)
        if (s.at(i) < QLatin1Char('0') || s.at(i) > QLatin1Char('9'))
            return false;
    return true;
}

/// hh:mm:ss at `from`.
bool isTimeAt(QStringView s, qsizetype from)
{
    return s.size() >= from + 8 && isDigits(s, from, 2) && s.at(from + 2) == QLatin1Char(':')
           && isDigits(s, from + 3, 2) && s.at(from + 5) == QLatin1Char(':') && isDigits(s, from + 6, 2);
}

/// mm-dd-yyyy at `from`.
bool isDateAt(QStringView s, qsizetype from)
{
    return s.size() >= from + 10 && isDigits(s, from, 2) && s.at(from + 2) == QLatin1Char('-')
           && isDigits(s, from + 3, 2) && s.at(from + 5) == QLatin1Char('-') && isDigits(s, from + 6, 4);
}

bool isBlanks(QStringView s, qsizetype count)
{
    if (s.size() < count)
        return false;
    for (qsizetype i = 0; i < count; ++i)
        if (s.at(i) != QLatin1Char(' '))
            return false;
    return true;
}

/// The indent and the time.
bool isTimeLine(QStringView s)
{
    return s.size() == timeIndent + 8 && isBlanks(s, timeIndent) && isTimeAt(s, timeIndent);
}

/// The indent, the date and the time directly after it.
bool isDateTimeLine(QStringView s)
{
    return s.size() == timeIndent + 18 && isBlanks(s, timeIndent) && isDateAt(s, timeIndent)
           && isTimeAt(s, timeIndent + 10);
}

/// Strict check of UTF-8; stops at the first fault, which in a file of the
/// program comes within the first line (the code line).
bool isUtf8WithNonAscii(const QByteArray &bytes)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.constData());
    const auto *end = p + bytes.size();
    bool nonAscii = false;
    while (p < end) {
        const unsigned char c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        nonAscii = true;
        int more;
        if (c >= 0xC2 && c <= 0xDF)
            more = 1;
        else if (c >= 0xE0 && c <= 0xEF)
            more = 2;
        else if (c >= 0xF0 && c <= 0xF4)
            more = 3;
        else
            return false;
        if (end - p <= more)
            return false;
        for (int k = 1; k <= more; ++k)
            if ((p[k] & 0xC0) != 0x80)
                return false;
        p += more + 1;
    }
    return nonAscii;
}

class Parser
{
public:
    Parser(std::vector<Line> lines, const QString &path, RecordFileContents &out)
        : m_lines(std::move(lines)), m_path(path), m_out(out)
    {
    }

    void run();

private:
    bool isHeaderStart(size_t i) const;
    bool isRecordStart(size_t i) const;
    bool isAnyStart(size_t i) const { return isRecordStart(i) || isHeaderStart(i); }
    QStringView at(size_t i) const { return i < m_lines.size() ? m_lines[i].text : QStringView(); }
    QString join(size_t from, size_t to) const;
    void warn(size_t i, const QString &message);
    size_t readHeader(size_t i);
    size_t readEntry(size_t i);

    std::vector<Line> m_lines;
    QString m_path;
    RecordFileContents &m_out;
    // The run the records being read belong to.
    QString m_runDate, m_runAssignment, m_lastTime;
    int m_daysPassed = 0;
};

void Parser::warn(size_t i, const QString &message)
{
    m_out.warnings.push_back({m_path, i < m_lines.size() ? m_lines[i].number : (m_lines.empty() ? 1 : m_lines.back().number), message});
}

QString Parser::join(size_t from, size_t to) const
{
    QString s;
    qsizetype size = 0;
    for (size_t k = from; k < to; ++k)
        size += m_lines[k].text.size() + 2;
    s.reserve(size);
    for (size_t k = from; k < to; ++k) {
        if (k > from)
            s.append(QLatin1String("\r\n"));
        s.append(m_lines[k].text);
    }
    return s;
}

bool Parser::isHeaderStart(size_t i) const
{
    // A text a student typed may hold a line "assignment #...", so the
    // course title or the date must stand where the header has them.
    return at(i + 1).startsWith(assignmentLabel) && i + 1 < m_lines.size()
           && (at(i + 3) == courseTitle || (at(i + 4).size() == 10 && isDateAt(at(i + 4), 0)));
}

bool Parser::isRecordStart(size_t i) const
{
    return at(i) == openingSeparator && isTimeLine(at(i + 1));
}

size_t Parser::readHeader(size_t i)
{
    FileRecord r;
    r.kind = FileRecord::Header;
    r.line = m_lines[i].number;
    r.codeLine = at(i).toString();
    r.assignment = at(i + 1).mid(assignmentLabel.size()).toString();
    size_t end = i + 2;
    while (end < i + 5 && end < m_lines.size() && !isAnyStart(end))
        ++end;
    if (end > i + 2)
        r.heading = at(i + 2).toString();
    if (end == i + 5 && isDateAt(at(i + 4), 0) && at(i + 4).size() == 10)
        r.date = at(i + 4).toString();
    else {
        r.complete = false;
        warn(i, QStringLiteral("header record cut short or without its date"));
    }
    m_runDate = r.date;
    m_runAssignment = r.assignment;
    m_lastTime.clear();
    m_daysPassed = 0;
    m_out.records.push_back(std::move(r));
    return end;
}

size_t Parser::readEntry(size_t i)
{
    FileRecord r;
    r.line = m_lines[i].number;
    r.time = at(i + 1).mid(timeIndent).toString();
    size_t j = i + 2;
    const bool note = isDateTimeLine(at(j));
    if (note) {
        r.kind = FileRecord::Note;
        r.assignment = m_runAssignment;
        r.date = at(j).mid(timeIndent, 10).toString();
        ++j;
    } else {
        r.kind = FileRecord::Response;
        r.assignment = m_runAssignment;
        if (at(j).isEmpty() && at(j + 1).isEmpty() && at(j + 2).startsWith(questionKeyLabel) && j + 2 < m_lines.size()) {
            r.questionKey = at(j + 2).mid(questionKeyLabel.size()).trimmed().toString();
            if (r.assignment.isEmpty()) {
                bool ok = false;
                const qlonglong key = r.questionKey.toLongLong(&ok);
                if (ok && key >= 0)
                    r.assignment = QStringLiteral("%1").arg(key / 10000, 3, 10, QLatin1Char('0'));
            }
            j += 3;
        }
        // A run that passes midnight keeps writing times of the next day
        // under the header of the day it started.
        if (!m_lastTime.isEmpty() && r.time < m_lastTime)
            ++m_daysPassed;
        m_lastTime = r.time;
        r.date = m_runDate;
        if (m_daysPassed > 0 && !r.date.isEmpty())
            r.date = QDate::fromString(r.date, dateFormat)
                         .addDays(m_daysPassed)
                         .toString(dateFormat);
    }

    // The bank text runs up to the opening separator before the student's text.
    size_t k = j;
    while (k < m_lines.size() && !(at(k) == openingSeparator && !isRecordStart(k)) && !isAnyStart(k))
        ++k;
    r.bankText = join(j, k);
    if (k >= m_lines.size() || at(k) != openingSeparator || isRecordStart(k)) {
        r.complete = false;
        warn(i, QStringLiteral("%1 cut short before its text").arg(note ? QStringLiteral("note") : QStringLiteral("response")));
        m_out.records.push_back(std::move(r));
        return k;
    }
    size_t t = k + 1;
    if (!note) {
        if (at(t) == responseLabel)
            ++t;
        else
            warn(t, QStringLiteral("response without the line \"%1\"").arg(responseLabel));
    }

    // The text ends at the first closing separator that is followed by the
    // end of the file or by another record: a separator line the student
    // typed is part of the text.
    size_t e = t;
    bool closed = false;
    for (; e < m_lines.size(); ++e) {
        if (at(e) == closingSeparator && (e + 1 == m_lines.size() || isAnyStart(e + 1))) {
            closed = true;
            break;
        }
        if (e > t && isAnyStart(e))
            break;
    }
    size_t textEnd = e;
    if (!note && textEnd > t) {
        const QStringView last = at(textEnd - 1);
        if (last.startsWith(confidenceLabel)) {
            r.ratingKind = FileRecord::Confidence;
            r.rating = last.mid(confidenceLabel.size()).toString();
            --textEnd;
        } else if (last.startsWith(selfCritiqueLabel)) {
            r.ratingKind = FileRecord::SelfCritique;
            r.rating = last.mid(selfCritiqueLabel.size()).toString();
            --textEnd;
        }
    }
    r.text = join(t, textEnd);
    if (note) {
        if (r.text.startsWith(notesLabel))
            r.text.remove(0, notesLabel.size());
        else
            warn(t, QStringLiteral("note without \"%1\"").arg(notesLabel));
    }
    if (!closed) {
        r.complete = false;
        warn(i, QStringLiteral("%1 cut short (no closing line)").arg(note ? QStringLiteral("note") : QStringLiteral("response")));
    }
    m_out.records.push_back(std::move(r));
    return closed ? e + 1 : e;
}

void Parser::run()
{
    size_t i = 0;
    size_t suspectLine = m_lines.size();
    int suspectCount = 0;
    while (i < m_lines.size()) {
        const size_t from = i;
        if (isHeaderStart(i))
            i = readHeader(i);
        else if (isRecordStart(i))
            i = readEntry(i);
        else {
            while (i < m_lines.size() && !isAnyStart(i))
                ++i;
            // The trailer of a note at the very end of a SEND file leaves
            // nothing after it; an empty last line is not a stray one.
            if (!(i == from + 1 && at(from).isEmpty()))
                warn(from, QStringLiteral("%1 line(s) that belong to no record").arg(i - from));
        }
        for (size_t k = from; k < i; ++k) {
            // The code line of a header is made of noise characters on purpose.
            if (m_lines[k].suspect && !(k == from && m_out.records.size() && m_out.records.back().kind == FileRecord::Header
                                        && m_out.records.back().line == m_lines[k].number)) {
                if (suspectCount++ == 0)
                    suspectLine = k;
            }
        }
    }
    if (suspectCount > 0)
        warn(suspectLine, QStringLiteral("bytes that are not Windows-1252 text (%1 line(s)); shown as read").arg(suspectCount));
}

} // namespace

RecordFileContents parseRecordBytes(const QByteArray &bytes, const QString &path)
{
    RecordFileContents out;
    out.bytes = bytes.size();
    if (bytes.isEmpty()) {
        out.warnings.push_back({path, 0, QStringLiteral("empty file")});
        return out;
    }
    // One pass decodes the bytes and finds the lines: a line ends at CR or
    // CR LF, as the program's own readers see it.
    QString text;
    const bool utf8 = isUtf8WithNonAscii(bytes);
    if (utf8) {
        // An editor or a mail program may have re-saved the file as UTF-8.
        text = QStringDecoder(QStringDecoder::Utf8).decode(bytes);
        if (text.startsWith(QChar(0xFEFF)))
            text.remove(0, 1);
        out.warnings.push_back({path, 1, QStringLiteral("UTF-8 text, not Windows-1252; read as UTF-8")});
    } else {
        text.resize(bytes.size());
    }
    static const std::array<char16_t, 256> table = [] {
        std::array<char16_t, 256> t{};
        for (int b = 0; b < 256; ++b)
            t[size_t(b)] = Cp1252::charOf(b).unicode();
        return t;
    }();

    std::vector<Line> lines;
    lines.reserve(size_t(bytes.size() / 40 + 16));
    char16_t *begin = reinterpret_cast<char16_t *>(text.data());
    const char16_t *end = begin + text.size();
    const char16_t *start = begin;
    bool suspect = false;
    int number = 1;
    auto add = [&](const char16_t *to) {
        QStringView line(start, to - start);
        // A note leaves the SEND and notes files' line open after its
        // closing separator and 7 blanks; the next record continues it.
        if (line.size() >= trailerSize && line.startsWith(closingSeparator)
            && isBlanks(line.mid(closingSeparator.size()), 7)) {
            lines.push_back({line.left(closingSeparator.size()), number, false});
            line = line.mid(trailerSize);
            if (line.isEmpty())
                return;
        }
        lines.push_back({line, number, suspect});
    };
    const auto *in = reinterpret_cast<const unsigned char *>(bytes.constData());
    for (char16_t *p = begin; p < end; ++p) {
        const char16_t c = utf8 ? *p : (*p = table[*in++]);
        if (c == u'\r') {
            add(p);
            if (p + 1 < end && (utf8 ? p[1] : table[*in]) == u'\n') {
                ++p;
                if (!utf8)
                    *p = table[*in++];
            }
            start = p + 1;
            suspect = false;
            ++number;
        } else if ((c < 0x20 && c != u'\t' && c != u'\n') || (c >= 0x7F && c < 0xA0)) {
            suspect = true;
        }
    }
    if (start < end)
        add(end);

    Parser(std::move(lines), path, out).run();
    if (out.records.empty())
        out.warnings.push_back({path, 0, QStringLiteral("no records found")});
    return out;
}

RecordFileContents readRecordFile(const QString &path)
{
    QFile file(path);
    if (QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly)) {
        RecordFileContents out;
        out.warnings.push_back({path, 0, QFileInfo(path).isDir() ? QStringLiteral("a folder, not a file") : file.errorString()});
        return out;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFile::NoError) {
        RecordFileContents out;
        out.warnings.push_back({path, 0, file.errorString()});
        return out;
    }
    return parseRecordBytes(bytes, path);
}
