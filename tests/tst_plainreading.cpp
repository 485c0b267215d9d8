// The readers' shortcuts held against a plain reading of the same bytes,
// written here from what the files mean: lines split byte by byte, every
// label compared whole, every text decoded a character at a time, copies
// matched by comparing whole records. The record reader runs as built (SSE2
// on x86) and again built without SSE2, so that its eight-bytes-at-a-time
// scan is held too; the class reader runs on a class of real folders. The
// inputs are files the study program writes, the fuzz corpus and the course
// text, then every cut and every one-byte change of the program's files,
// each in a buffer of exactly its size (a read past it is one past the
// allocation, which the sanitizer run of scripts/test.sh stops at) and at
// every alignment to 16 bytes.

#include "scriptedplatform.h"
#include "tests/formaccess.h"

#include "records/cp1252.h"
#include "records/recordformat.h"
#include "records/recordreader.h"
#include "report/classreader.h"
#include "report/coursetext.h"

#include <QDate>
#include <QTime>
#include <QDir>
#include <QFile>
#include <QStringDecoder>
#include <QTest>

#include <map>
#include <memory>
#include <tuple>

// The same reader built without SSE2 (tests/CMakeLists.txt renames it).
class ParseCachesWordwise;
RecordFileContents parseRecordBytesWordwise(const QByteArray &bytes, const QString &path, ParseCachesWordwise *caches,
                                            const ReadLimits &limits = ReadLimits());

namespace {

using namespace recordformat;

// ---------------------------------------------------------------------------
// The plain reading of one file.

/// Whether `text` matches `pattern`, where '9' stands for any digit.
bool matches(QByteArrayView text, const char *pattern)
{
    const QByteArrayView p(pattern);
    if (text.size() != p.size())
        return false;
    for (qsizetype i = 0; i < p.size(); ++i) {
        const char c = text[i];
        if (p[i] == '9' ? (c < '0' || c > '9') : c != p[i])
            return false;
    }
    return true;
}

const QByteArray indent(timeIndent, ' ');

bool isTimeLine(QByteArrayView v)
{
    return v.startsWith(indent) && matches(v.sliced(qMin(v.size(), qsizetype(timeIndent))), "99:99:99");
}

bool isDateTimeLine(QByteArrayView v)
{
    return v.startsWith(indent) && matches(v.sliced(qMin(v.size(), qsizetype(timeIndent))), "99-99-999999:99:99");
}

bool isDateLine(QByteArrayView v)
{
    return matches(v, "99-99-9999");
}

/// A character no line the program writes holds: a control other than the
/// tab, DEL, or a C1 control.
bool isSuspect(QChar c)
{
    const char16_t u = c.unicode();
    return (u < 0x20 && u != u'\t') || u == 0x7F || (u >= 0x80 && u < 0xA0);
}

/// Valid UTF-8 with at least one byte past ASCII.
bool isUtf8Text(const QByteArray &bytes)
{
    bool nonAscii = false;
    for (const char c : bytes)
        nonAscii = nonAscii || (uchar(c) >= 0x80);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless); // a sequence cut off at the end is a fault too
    const QString decoded = utf8(bytes);
    return nonAscii && !utf8.hasError();
}

class PlainReading
{
public:
    PlainReading(const QByteArray &bytes, const QString &path) : m_bytes(bytes), m_path(path) {}

    RecordFileContents read()
    {
        m_out.bytes = m_bytes.size();
        if (m_bytes.isEmpty()) {
            warn(0, QStringLiteral("empty file"));
            return m_out;
        }
        m_utf8 = isUtf8Text(m_bytes);
        if (m_utf8)
            warn(1, QStringLiteral("UTF-8 text, not Windows-1252; read as UTF-8"));
        split(m_utf8 && m_bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0);
        run();
        if (m_out.records.empty())
            warn(0, QStringLiteral("no records found"));
        return m_out;
    }

private:
    struct Line
    {
        qsizetype begin = 0, end = 0;
        int number = 0;
        bool suspect = false;
    };

    /// Lines end at CR LF, CR or LF. A note's closing line in a SEND or
    /// notes file is left open after 7 blanks, and the next record goes on
    /// in it: that line is two, the separator and what follows the blanks.
    void split(qsizetype from)
    {
        const QByteArray trailer = closingSeparator.latin1() + QByteArray(noteTrailerBlanks, ' ');
        int number = 0;
        for (qsizetype p = from; p < m_bytes.size();) {
            qsizetype e = p;
            while (e < m_bytes.size() && m_bytes[e] != '\r' && m_bytes[e] != '\n')
                ++e;
            ++number;
            if (QByteArrayView(m_bytes).sliced(p, e - p).startsWith(trailer)) {
                m_lines.push_back({p, p + closingSeparator.size(), number, false});
                if (p + trailer.size() < e)
                    add(p + trailer.size(), e, number);
            } else {
                add(p, e, number);
            }
            p = e + (e + 1 < m_bytes.size() && m_bytes[e] == '\r' && m_bytes[e + 1] == '\n' ? 2 : 1);
        }
        m_physicalLines = number;
    }
    void add(qsizetype begin, qsizetype end, int number)
    {
        bool suspect = false;
        for (const QChar c : characters(begin, end))
            suspect = suspect || isSuspect(c);
        m_lines.push_back({begin, end, number, suspect});
    }

    /// The characters of bytes [begin, end), as read.
    QString characters(qsizetype begin, qsizetype end) const
    {
        if (m_utf8)
            return QString::fromUtf8(m_bytes.mid(begin, end - begin));
        QString text(end - begin, Qt::Uninitialized);
        for (qsizetype i = begin; i < end; ++i)
            text[i - begin] = Cp1252::charOf(uchar(m_bytes[i]));
        return text;
    }
    /// The same with every line ending (CR LF, CR, LF) made CR LF.
    QString decode(qsizetype begin, qsizetype end) const
    {
        const QString raw = characters(begin, end);
        QString text;
        text.reserve(raw.size() + 16);
        for (qsizetype i = 0; i < raw.size(); ++i) {
            if (raw[i] == u'\r' || raw[i] == u'\n') {
                if (raw[i] == u'\r' && i + 1 < raw.size() && raw[i + 1] == u'\n')
                    ++i;
                text += QStringLiteral("\r\n");
            } else {
                text += raw[i];
            }
        }
        return text;
    }

    bool has(size_t i) const { return i < m_lines.size(); }
    QByteArrayView at(size_t i) const
    {
        return has(i) ? QByteArrayView(m_bytes).sliced(m_lines[i].begin, m_lines[i].end - m_lines[i].begin)
                      : QByteArrayView();
    }
    /// The line's number; past the end, the file's last.
    int numberOf(size_t i) const { return has(i) ? m_lines[i].number : std::max(1, m_physicalLines); }
    qsizetype beginOf(size_t i) const { return has(i) ? m_lines[i].begin : 0; }
    qsizetype endOf(size_t i) const { return has(i) ? m_lines[i].end : 0; }
    /// Line `i` from its byte `from` on.
    QString textOf(size_t i, qsizetype from = 0) const
    {
        return has(i) ? decode(std::min(beginOf(i) + from, endOf(i)), endOf(i)) : QString();
    }

    bool isHeaderStart(size_t i) const
    {
        // A typed line "assignment #..." is no header: the title or the date must stand where a header has them.
        return at(i + 1).startsWith(assignmentLabel.latin1())
               && (at(i + 3) == QByteArrayView("Applied Calculus I") || isDateLine(at(i + 4)));
    }
    bool isRecordStart(size_t i) const { return at(i) == openingSeparator.latin1() && isTimeLine(at(i + 1)); }
    bool isAnyStart(size_t i) const { return isRecordStart(i) || isHeaderStart(i); }
    void warn(int line, const QString &message) { m_out.warnings.push_back({m_path, line, message}); }

    void run()
    {
        size_t i = 0;
        while (has(i)) {
            const size_t from = i;
            if (isHeaderStart(i)) {
                m_codeLines.push_back(i); // noise characters on purpose
                i = readHeader(i);
            } else if (isRecordStart(i)) {
                i = readEntry(i);
            } else {
                do
                    ++i;
                while (has(i) && !isAnyStart(i));
                // The trailer of a note that ends a SEND file leaves one empty line.
                if (!(i == from + 1 && at(from).isEmpty()))
                    warn(numberOf(from), QStringLiteral("%1 line(s) that belong to no record").arg(i - from));
            }
        }
        int suspect = 0, first = 0;
        for (size_t k = 0; k < m_lines.size(); ++k) {
            if (!m_lines[k].suspect || std::find(m_codeLines.begin(), m_codeLines.end(), k) != m_codeLines.end())
                continue;
            if (suspect++ == 0)
                first = m_lines[k].number;
        }
        if (suspect > 0)
            warn(first, QStringLiteral("bytes that are not Windows-1252 text (%1 line(s)); shown as read").arg(suspect));
    }

    size_t readHeader(size_t i)
    {
        FileRecord r;
        r.kind = FileRecord::Header;
        r.line = numberOf(i);
        r.codeLine = textOf(i);
        r.assignment = textOf(i + 1, assignmentLabel.size());
        size_t end = i + 2;
        while (end < i + 5 && has(end) && !isAnyStart(end))
            ++end;
        if (end > i + 2)
            r.heading = textOf(i + 2);
        if (end == i + 5 && isDateLine(at(i + 4))) {
            r.date = calendarDate(numberOf(i + 4), textOf(i + 4));
        } else {
            r.complete = false;
            warn(r.line, QStringLiteral("header record cut short or without its date"));
        }
        m_runDate = r.date;
        m_runAssignment = r.assignment;
        m_lastTime.clear();
        m_daysPassed = 0;
        m_out.records.push_back(r);
        return end;
    }

    /// The response's or note's lines before its bank text; where that starts.
    size_t readEntryHead(size_t i, FileRecord &r)
    {
        r.line = numberOf(i);
        r.time = textOf(i + 1, timeIndent);
        const bool clock = QTime::fromString(r.time, timeFormat).isValid();
        if (!clock)
            warn(numberOf(i + 1), QStringLiteral("the time %1 is no time of day").arg(r.time));
        r.assignment = m_runAssignment;
        size_t j = i + 2;
        if (isDateTimeLine(at(j))) {
            r.kind = FileRecord::Note;
            r.date = calendarDate(numberOf(j), textOf(j, timeIndent).left(10));
            // A note names its day: the responses after it count from there.
            if (!r.date.isEmpty() && clock) {
                m_runDate = r.date;
                m_daysPassed = 0;
                m_lastTime = r.time;
            }
            return j + 1;
        }
        r.kind = FileRecord::Response;
        if (at(j).isEmpty() && at(j + 1).isEmpty() && has(j + 2) && at(j + 2).startsWith(questionKeyLabel.latin1())) {
            r.questionKey = textOf(j + 2, questionKeyLabel.size()).trimmed();
            bool ok = false;
            const qlonglong key = r.questionKey.toLongLong(&ok);
            if (r.assignment.isEmpty() && ok && key >= 0)
                r.assignment = QString::number(key / 10000).rightJustified(3, QLatin1Char('0'));
            j += 3;
        }
        // A run that passes midnight goes on writing under the header of the
        // day it began; a clock set back falls by less than half a day.
        r.date = m_runDate;
        if (!clock)
            return j;
        const QTime now = QTime::fromString(r.time, timeFormat), last = QTime::fromString(m_lastTime, timeFormat);
        if (last.isValid() && now.secsTo(last) > 12 * 3600)
            ++m_daysPassed;
        m_lastTime = r.time;
        if (m_daysPassed > 0 && !r.date.isEmpty())
            r.date = QDate::fromString(r.date, dateFormat).addDays(m_daysPassed).toString(dateFormat);
        return j;
    }

    /// `date`, or empty (and a warning) when no calendar has it.
    QString calendarDate(int line, const QString &date)
    {
        if (QDate::fromString(date, dateFormat).isValid())
            return date;
        warn(line, QStringLiteral("the date %1 is on no calendar; the record is kept without it").arg(date));
        return QString();
    }

    size_t readEntry(size_t i)
    {
        FileRecord r;
        const size_t j = readEntryHead(i, r);
        const bool note = r.kind == FileRecord::Note;
        const QString what = note ? QStringLiteral("note") : QStringLiteral("response");
        // The bank text: up to the separator that opens the student's text.
        size_t k = j;
        while (has(k) && !(at(k) == openingSeparator.latin1() && !isRecordStart(k)) && !isAnyStart(k))
            ++k;
        r.bankText = k > j ? decode(beginOf(j), endOf(k - 1)) : QString();
        if (!has(k) || at(k) != openingSeparator.latin1() || isRecordStart(k)) {
            r.complete = false;
            warn(r.line, QStringLiteral("%1 cut short before its text").arg(what));
            m_out.records.push_back(r);
            return k;
        }
        size_t t = k + 1;
        if (!note) {
            if (at(t) == responseLabel.latin1())
                ++t;
            else
                warn(numberOf(t), QStringLiteral("response without the line \"%1\"").arg(responseLabel));
        }
        // The text ends at the first closing separator followed by the end
        // of the file or another record; one the student typed is text.
        size_t e = t;
        bool closed = false;
        for (; has(e); ++e) {
            if (at(e) == closingSeparator.latin1() && (!has(e + 1) || isAnyStart(e + 1))) {
                closed = true;
                break;
            }
            if (e > t && isAnyStart(e))
                break;
        }
        size_t textEnd = e; // the text is lines [t, textEnd)
        // Cut inside its closing line: the full stops written of it are no text.
        const QByteArrayView last = e > t ? at(e - 1) : QByteArrayView();
        if (!closed && !last.isEmpty() && last.size() < closingSeparator.size() && std::count(last.begin(), last.end(), '.') == last.size())
            --textEnd;
        if (!note && textEnd > t) {
            for (const QLatin1String label : {confidenceLabel, selfCritiqueLabel}) {
                if (at(textEnd - 1).startsWith(label.latin1())) {
                    r.ratingKind = label == confidenceLabel ? FileRecord::Confidence : FileRecord::SelfCritique;
                    r.rating = textOf(textEnd - 1, label.size());
                    --textEnd;
                    break;
                }
            }
        }
        r.text = textEnd > t ? decode(beginOf(t), endOf(textEnd - 1)) : QString();
        if (note) {
            if (r.text.startsWith(notesLabel))
                r.text.remove(0, notesLabel.size());
            else
                warn(numberOf(t), QStringLiteral("note without \"%1\"").arg(notesLabel));
        }
        if (!closed) {
            r.complete = false;
            warn(r.line, QStringLiteral("%1 cut short (no closing line)").arg(what));
        }
        m_out.records.push_back(r);
        return closed ? e + 1 : e;
    }

    const QByteArray &m_bytes;
    QString m_path;
    bool m_utf8 = false;
    std::vector<Line> m_lines;
    int m_physicalLines = 0;
    std::vector<size_t> m_codeLines;
    RecordFileContents m_out;
    QString m_runDate, m_runAssignment, m_lastTime;
    int m_daysPassed = 0;
};

RecordFileContents plainRead(const QByteArray &bytes, const QString &path)
{
    return PlainReading(bytes, path).read();
}

// ---------------------------------------------------------------------------
// Comparing readings.

QString shown(const QString &text)
{
    QString s = text.left(80);
    s.replace(QLatin1String("\r\n"), QLatin1String("\\r\\n"));
    return QLatin1Char('"') + s + (text.size() > 80 ? QStringLiteral("...\"") : QStringLiteral("\""));
}

/// The first field in which two records differ, as "name: fast against plain"; empty when none.
QString recordDifference(const FileRecord &a, const FileRecord &b)
{
    const std::pair<const char *, std::pair<QString, QString>> fields[] = {
        {"kind", {QString::number(a.kind), QString::number(b.kind)}},
        {"line", {QString::number(a.line), QString::number(b.line)}},
        {"date", {a.date, b.date}},
        {"time", {a.time, b.time}},
        {"assignment", {a.assignment, b.assignment}},
        {"heading", {a.heading, b.heading}},
        {"code line", {a.codeLine, b.codeLine}},
        {"question key", {a.questionKey, b.questionKey}},
        {"bank text", {a.bankText, b.bankText}},
        {"text", {a.text, b.text}},
        {"rating kind", {QString::number(a.ratingKind), QString::number(b.ratingKind)}},
        {"rating", {a.rating, b.rating}},
        {"complete", {QString::number(a.complete), QString::number(b.complete)}},
    };
    for (const auto &[name, values] : fields)
        if (values.first != values.second)
            return QStringLiteral("%1: %2 against %3").arg(QLatin1String(name), shown(values.first), shown(values.second));
    return QString();
}

QString warningText(const ReadWarning &w)
{
    return QStringLiteral("%1:%2: %3").arg(w.file).arg(w.line).arg(w.message);
}

/// Where the fast reading `a` differs from the plain one `b`; empty when they agree.
QString difference(const RecordFileContents &a, const RecordFileContents &b)
{
    if (a.bytes != b.bytes)
        return QStringLiteral("bytes: %1 against %2").arg(a.bytes).arg(b.bytes);
    for (size_t i = 0; i < std::max(a.records.size(), b.records.size()); ++i) {
        if (i >= a.records.size() || i >= b.records.size())
            return QStringLiteral("%1 records against %2").arg(a.records.size()).arg(b.records.size());
        const QString d = recordDifference(a.records[i], b.records[i]);
        if (!d.isEmpty())
            return QStringLiteral("record %1 (line %2), %3").arg(i).arg(b.records[i].line).arg(d);
    }
    QStringList fast, plain;
    for (const ReadWarning &w : a.warnings)
        fast.append(warningText(w));
    for (const ReadWarning &w : b.warnings)
        plain.append(warningText(w));
    if (fast != plain)
        return QStringLiteral("warnings: [%1] against [%2]").arg(fast.join(QLatin1String("; ")), plain.join(QLatin1String("; ")));
    return QString();
}

/// Bytes in a buffer of their own that ends where they end, their first
/// byte `shift` bytes past an allocation's start (so at each alignment).
class ExactBuffer
{
public:
    ExactBuffer(QByteArrayView bytes, int shift)
        : m_memory(std::make_unique<char[]>(size_t(bytes.size() + shift)))
    {
        std::copy(bytes.begin(), bytes.end(), m_memory.get() + shift);
        m_bytes = QByteArray::fromRawData(m_memory.get() + shift, bytes.size());
    }
    const QByteArray &bytes() const { return m_bytes; }

private:
    std::unique_ptr<char[]> m_memory;
    QByteArray m_bytes;
};

/// The bytes read by every build of the record reader, against the plain
/// reading; empty when all agree. `caches` is shared by every input of a
/// row, as a reading thread of the class reader shares its own.
QString readingsDiffer(QByteArrayView bytes, int shift, ParseCaches &caches)
{
    const ExactBuffer buffer(bytes, shift);
    const QString path = QStringLiteral("send_0306.txt");
    const RecordFileContents plain = plainRead(buffer.bytes(), path);
    const std::pair<const char *, RecordFileContents> fast[] = {
        {"SSE2", parseRecordBytes(buffer.bytes(), path, &caches)},
        {"word-wise", parseRecordBytesWordwise(buffer.bytes(), path, nullptr)},
    };
    for (const auto &[build, read] : fast) {
        const QString d = difference(read, plain);
        if (!d.isEmpty())
            return QStringLiteral("%1 reader: %2").arg(QLatin1String(build), d);
    }
    return QString();
}

// ---------------------------------------------------------------------------
// The files the study program writes.

struct Step
{
    int clicks; ///< on Next first
    QTime at;
    QString typed, rating; ///< a null rating: a note
};
using Day = std::pair<QDate, std::vector<Step>>;

/// The files of a student's days (assignment 1, then 2) with the
/// compiled-in course or `bank`, written by the program's own commands.
std::map<QString, QByteArray> writtenFiles(const QString &folder, const std::vector<Day> &days, const QString &bank = QString())
{
    for (size_t d = 0; d < days.size(); ++d) {
        const auto &[day, steps] = days[d];
        TestRun run(bank, QString::number(d + 1));
        run.platform.answers[2] = folder;
        run.platform.clock = QDateTime(day, steps.front().at);
        if (!run.start())
            return {};
        for (const Step &s : steps) {
            // Past midnight the clock's day moves on.
            const QDateTime now(run.platform.clock.date(), s.at);
            run.platform.clock = now < run.platform.clock ? now.addDays(1) : now;
            for (int c = 0; c < s.clicks; ++c)
                inside(*run.form).cmdNextQuestionClick();
            run.typeAnswer(s.typed);
            if (s.rating.isNull()) {
                inside(*run.form).cmdSaveAsNotesClick();
            } else {
                run.platform.answers = {s.rating};
                inside(*run.form).cmdEnterResponseClick();
            }
        }
        inside(*run.form).cmdQuitClick();
    }
    std::map<QString, QByteArray> files;
    for (const QString &name : QDir(folder).entryList(QDir::Files))
        files[name] = bytesOf(folder + QLatin1Char('/') + name);
    return files;
}

/// Two days: answers of many lines, a line of the separator and one like a
/// header typed into them, characters the code page lacks, ratings typed as
/// words or not given, notes, a run past midnight, the same record twice.
std::vector<Day> twoDays()
{
    QStringList lines;
    for (int i = 1; i <= 40; ++i)
        lines.append(QStringLiteral("line %1 of a long answer").arg(i));
    return {
        {QDate(2026, 3, 6),
         {{1, QTime(23, 58, 50), QStringLiteral("x > 30"), QStringLiteral("2")},
          {1, QTime(23, 59, 20), QStringLiteral("first\r\n") + closingSeparator + QStringLiteral("\r\nassignment #001\r\nlast"),
           QStringLiteral("3")},
          {0, QTime(23, 59, 58), lines.join(QStringLiteral("\r\n")), QStringLiteral("pretty good, maybe even three")},
          {1, QTime(0, 0, 4), QStringLiteral("why \u0394x and \u03c0 and \u20ac?"), QString()},
          {0, QTime(0, 0, 9), QStringLiteral("a note\r\nof two lines"), QString()},
          {1, QTime(0, 1, 0), QStringLiteral("&#233; and &#960; typed as they stand"), QStringLiteral("")}}},
        {QDate(2026, 3, 7),
         {{1, QTime(9, 0, 0), QStringLiteral("the same twice"), QStringLiteral("1")},
          {0, QTime(9, 0, 1), QStringLiteral("the same twice"), QStringLiteral("1")},
          {1, QTime(9, 5, 0), QString(), QStringLiteral("0")},
          {0, QTime(9, 6, 0), QStringLiteral("the last note"), QString()}}},
    };
}

/// A short sitting, small enough to change at every byte: a response, a
/// note the next record's line continues, a text holding the separator. Its
/// question holds letters past ASCII, so that its bank text's bytes read as
/// UTF-8 in some changes and as Windows-1252 in others.
std::vector<Day> shortSitting()
{
    return {{QDate(2026, 3, 6),
             {{1, QTime(10, 0, 0), QStringLiteral("x > 30"), QStringLiteral("2")},
              {0, QTime(10, 1, 0), QStringLiteral("why \u0394x?"), QString()},
              {0, QTime(10, 2, 0), QStringLiteral("first\r\n") + closingSeparator + QStringLiteral("\r\nlast"),
               QStringLiteral("1")}}}};
}

QByteArray asUtf8(const QByteArray &cp1252)
{
    return Cp1252::decode(cp1252).toUtf8();
}

/// The bytes every one-byte change puts in: line ends, the first bytes of
/// separators and labels, blanks, controls, the code page's C1 and undefined
/// bytes, UTF-8 lead bytes (of a C1 control, of three and four bytes), and
/// the byte with its case bit turned.
QByteArray changedBytes(char was)
{
    return QByteArray("\r\n.a !#:0\t\x00\x1f\x7f\x80\x81\x9f\xa0\xc2\xe0\xf4\xff", 21) + char(was ^ 0x20);
}

} // namespace

class PlainReadingTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void recordReader_data();
    void recordReader();
    void classReader_data();
    void classReader();

private:
    QTemporaryDir m_dir;
    std::map<QString, QByteArray> m_written, m_short;
};

void PlainReadingTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    const QString folder = m_dir.filePath(QStringLiteral("written"));
    QVERIFY(QDir().mkpath(folder));
    m_written = writtenFiles(folder, twoDays());
    QCOMPARE(m_written.size(), size_t(4)); // master, two SEND files, notes
    const QString shortFolder = m_dir.filePath(QStringLiteral("short"));
    QVERIFY(QDir().mkpath(shortFolder));
    m_short = writtenFiles(shortFolder, shortSitting(),
                           bankOfAssignmentOne({QStringLiteral("`qIs caf\u00e9 \u00b1 x > 30 na\u00efve?"), QStringLiteral("`aYes.**")}));
    QCOMPARE(m_short.size(), size_t(3));
    std::map<QString, QByteArray> all = m_written;
    for (const auto &[name, bytes] : m_short)
        all[QStringLiteral("short ") + name] = bytes;
    for (const auto &[name, bytes] : all) {
        const RecordFileContents read = parseRecordBytes(bytes, name);
        for (const ReadWarning &w : read.warnings)
            QFAIL(qPrintable(warningText(w)));
    }
}

void PlainReadingTest::recordReader_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("sweep"); // the whole file only, every cut too, or every one-byte change as well
    enum { Whole, Cuts, Changes };

    const QByteArray master = m_written.at(QStringLiteral("masterFile.txt"));
    const QByteArray send = m_written.at(QStringLiteral("send_0306.txt"));
    QTest::newRow("written: master file") << master << int(Cuts);
    QTest::newRow("written: SEND file, its notes' lines left open") << send << int(Cuts);
    QTest::newRow("written: notes file") << m_written.at(QStringLiteral("notes_.txt")) << int(Cuts);
    QTest::newRow("written: second day's SEND file") << m_written.at(QStringLiteral("send_0307.txt")) << int(Cuts);
    QTest::newRow("written: master file with LF endings") << QByteArray(master).replace("\r\n", "\n") << int(Cuts);
    QTest::newRow("written: SEND file with CR endings") << QByteArray(send).replace("\r\n", "\r") << int(Cuts);
    QTest::newRow("written: master file re-saved as UTF-8") << asUtf8(master) << int(Cuts);
    QTest::newRow("written: the two files run together") << master + send << int(Whole);
    for (const auto &[name, bytes] : m_short)
        QTest::addRow("written, short: %s", qPrintable(name)) << bytes << int(Changes);
    QTest::newRow("written, short: SEND file re-saved as UTF-8, with a byte-order mark")
        << "\xEF\xBB\xBF" + asUtf8(m_short.at(QStringLiteral("send_0306.txt"))) << int(Changes);

    for (const QString &name : QDir(QStringLiteral(FUZZ_CORPUS)).entryList(QDir::Files)) {
        QFile f(QStringLiteral(FUZZ_CORPUS "/") + name);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QTest::addRow("fuzz corpus: %s", qPrintable(name)) << f.readAll() << int(Cuts);
    }
    // No record file at all, and large: the reader must only say so.
    QByteArray course;
    for (const QString &name : QDir(QStringLiteral(COURSE_TEXT_DIR)).entryList({QStringLiteral("0*.txt")})) {
        QFile f(QStringLiteral(COURSE_TEXT_DIR "/") + name);
        QVERIFY(f.open(QIODevice::ReadOnly));
        course += f.readAll();
    }
    QTest::newRow("the course text, its 29 files run together (UTF-8)") << course << int(Whole);
}

void PlainReadingTest::recordReader()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, sweep);
    ParseCaches caches;
    int inputs = 0;
    // Every cut: a file the program was writing when it stopped, ending at each byte.
    for (qsizetype cut = sweep > 0 ? 0 : bytes.size(); cut <= bytes.size(); ++cut, ++inputs) {
        const QString d = readingsDiffer(QByteArrayView(bytes).first(cut), int(cut % 16), caches);
        if (!d.isEmpty())
            QFAIL(qPrintable(QStringLiteral("cut after %1 bytes: %2").arg(cut).arg(d)));
    }
    if (sweep < 2) {
        qInfo("%d inputs read alike", inputs);
        return;
    }
    QByteArray changed = bytes;
    for (qsizetype at = 0; at < bytes.size(); ++at) {
        for (const char b : changedBytes(bytes[at])) {
            if (b == bytes[at])
                continue;
            changed[at] = b;
            ++inputs;
            const QString d = readingsDiffer(changed, int((at + inputs) % 16), caches);
            if (!d.isEmpty())
                QFAIL(qPrintable(QStringLiteral("byte %1 made 0x%2: %3").arg(at).arg(uchar(b), 2, 16, QLatin1Char('0')).arg(d)));
        }
        changed[at] = bytes[at];
    }
    qInfo("%d inputs read alike", inputs);
}

// ---------------------------------------------------------------------------
// The class reader against a plain reading of the same folders.

namespace {

/// A text with the "&#N;" the program writes for a character the code page
/// lacks made that character again: digits only, a code point past 0x7F
/// that the code page cannot hold.
QString plainResolved(const QString &text)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.mid(i, 2) == QLatin1String("&#")) {
            qsizetype end = i + 2;
            while (end < text.size() && end < i + 9 && text[end] >= u'0' && text[end] <= u'9')
                ++end;
            const uint code = text.mid(i + 2, end - i - 2).toUInt();
            const bool held = code < 0x10000 && Cp1252::byteOf(QChar(char16_t(code))) >= 0;
            if (end > i + 2 && end < text.size() && text[end] == u';' && code >= 0x80 && code <= 0x10FFFF
                && !(code >= 0xD800 && code < 0xE000) && code != 0xFFFE && code != 0xFFFF && !held) {
                const char32_t c = code;
                out += QString::fromUcs4(&c, 1);
                i = end;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

/// Seconds of hh:mm:ss, or -1.
int plainSeconds(const QString &time)
{
    if (!matches(time.toLatin1(), "99:99:99"))
        return -1;
    return time.left(2).toInt() * 3600 + time.mid(3, 2).toInt() * 60 + time.mid(6, 2).toInt();
}

/// The moment of a record for ordering: date (a part that is no number
/// counts 0), then the time.
qint64 plainStamp(const FileRecord &r)
{
    qint64 day = 0;
    if (r.date.size() == 10)
        day = qMax(0, r.date.mid(6, 4).toInt()) * 10000LL + qMax(0, r.date.left(2).toInt()) * 100 + qMax(0, r.date.mid(3, 2).toInt());
    return day * 1000000 + qMax(0, plainSeconds(r.time));
}

/// What a record is apart from its moment and its file: the same record in
/// two files (the master and a SEND file, a note also in the notes file).
using Content = std::tuple<int, int, QString, QString, QString, QString, QString>;

Content contentOf(const FileRecord &r)
{
    return {r.kind, r.ratingKind, r.bankText, r.date, r.codeLine, r.text, r.rating};
}

struct PlainStudent
{
    std::vector<ClassRecord> records; // reading order
    std::vector<int> order;           // first copies, oldest first
    std::vector<ReadWarning> warnings;
    qint64 bytes = 0;
};

/// One student's files read plainly: each record is a copy of the first
/// record of the same content in another file whose time is at most 2 s
/// off, taken in order, each first record matched once per file.
PlainStudent plainStudent(const Student &student, int index, const CourseIndex &course, bool keepCopies)
{
    PlainStudent out;
    std::map<Content, std::vector<size_t>> firsts;       // indices into out.records
    std::map<std::pair<Content, int>, size_t> matched;   // firsts matched by each file so far
    std::vector<std::pair<qint64, int>> order;
    for (size_t f = 0; f < student.files.size(); ++f) {
        QFile file(student.files[f].path.shown());
        const QString shownPath = student.files[f].path.shown();
        if (!file.open(QIODevice::ReadOnly)) {
            out.warnings.push_back({shownPath, 0, file.errorString()});
            continue;
        }
        RecordFileContents contents = plainRead(file.readAll(), shownPath);
        out.warnings.insert(out.warnings.end(), contents.warnings.begin(), contents.warnings.end());
        out.bytes += contents.bytes;
        const QString name = student.files[f].path.name();
        for (FileRecord &r : contents.records) {
            r.text = plainResolved(r.text);
            ClassRecord c;
            c.student = index;
            c.file = name;
            c.place = r.kind == FileRecord::Header ? nullptr : course.find(r.bankText, r.assignment);
            const Content key = contentOf(r);
            std::vector<size_t> &same = firsts[key];
            size_t &next = matched[{key, int(f)}];
            const int time = plainSeconds(r.time);
            while (next < same.size()
                   && (out.records[same[next]].file == name || plainSeconds(out.records[same[next]].record.time) < time - 2))
                ++next;
            if (next < same.size() && std::abs(plainSeconds(out.records[same[next]].record.time) - time) <= 2) {
                c.repeats = out.records[same[next]].file;
                ++next;
                if (keepCopies) {
                    c.record = r;
                    out.records.push_back(c);
                }
                continue;
            }
            same.push_back(out.records.size());
            order.emplace_back(plainStamp(r), int(out.records.size()));
            c.record = r;
            out.records.push_back(c);
        }
    }
    std::stable_sort(order.begin(), order.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    for (const auto &o : order)
        out.order.push_back(o.second);
    return out;
}

QString classRecordDifference(const ClassRecord &a, const ClassRecord &b)
{
    const QString d = recordDifference(a.record, b.record);
    if (!d.isEmpty())
        return d;
    if (a.student != b.student || a.file != b.file || a.repeats != b.repeats)
        return QStringLiteral("student, file or copy: %1 %2 %3 against %4 %5 %6")
            .arg(a.student).arg(a.file, a.repeats).arg(b.student).arg(b.file, b.repeats);
    if (a.place != b.place)
        return QStringLiteral("place in the course: %1 against %2")
            .arg(a.place ? a.place->assignment + QString::number(a.place->question) : QStringLiteral("none"),
                 b.place ? b.place->assignment + QString::number(b.place->question) : QStringLiteral("none"));
    return QString();
}

/// Where the class reader's reading of `found` differs from the plain one.
QString classDifference(const ClassData &read, const ClassData &found, const CourseIndex &course, bool keepCopies)
{
    std::vector<ReadWarning> warnings = found.warnings;
    size_t at = 0;
    qint64 bytes = 0;
    for (size_t s = 0; s < found.students.size(); ++s) {
        const PlainStudent plain = plainStudent(found.students[s], int(s), course, keepCopies);
        warnings.insert(warnings.end(), plain.warnings.begin(), plain.warnings.end());
        bytes += plain.bytes;
        const QString who = found.students[s].name + QLatin1String(": ");
        for (size_t i = 0; i < plain.records.size(); ++i, ++at) {
            if (at >= read.records.size())
                return who + QStringLiteral("%1 records in all").arg(read.records.size());
            const QString d = classRecordDifference(read.records[at], plain.records[i]);
            if (!d.isEmpty())
                return who + QStringLiteral("record %1 (%2 line %3): %4").arg(i).arg(plain.records[i].file).arg(plain.records[i].record.line).arg(d);
        }
        std::vector<int> order;
        for (const int i : plain.order)
            order.push_back(int(at - plain.records.size()) + i);
        if (read.students[s].records != order)
            return who + QStringLiteral("another order, oldest first");
    }
    if (at != read.records.size())
        return QStringLiteral("%1 records against %2").arg(read.records.size()).arg(at);
    QStringList fast, plain;
    for (const ReadWarning &w : read.warnings)
        fast.append(warningText(w));
    for (const ReadWarning &w : warnings)
        plain.append(warningText(w));
    if (fast != plain)
        return QStringLiteral("warnings: [%1] against [%2]").arg(fast.join(QLatin1String("; ")), plain.join(QLatin1String("; ")));
    if (read.bytesRead != bytes)
        return QStringLiteral("bytes read: %1 against %2").arg(read.bytesRead).arg(bytes);
    return QString();
}

bool writeInto(const QString &path, const QByteArray &bytes)
{
    return writeBytes(path, bytes);
}

/// The master file's records again in the SEND file, each time line a
/// second or three later; records the SEND file holds twice.
QByteArray shiftedTimes(const QByteArray &file, int seconds)
{
    QByteArray out = file;
    for (qsizetype at = out.indexOf(QByteArray(timeIndent, ' ')); at >= 0; at = out.indexOf(QByteArray(timeIndent, ' '), at + 1)) {
        const QByteArray time = out.mid(at + timeIndent, 8);
        const QTime t = QTime::fromString(QString::fromLatin1(time), timeFormat);
        if (t.isValid())
            out.replace(at + timeIndent, 8, t.addSecs(seconds).toString(timeFormat).toLatin1());
    }
    return out;
}

} // namespace

void PlainReadingTest::classReader_data()
{
    QTest::addColumn<bool>("keepCopies");
    QTest::newRow("copies matched and kept once") << false;
    QTest::newRow("every copy kept, naming its first") << true;
}

void PlainReadingTest::classReader()
{
    QFETCH(bool, keepCopies);
    // A class: the written student; the same files with LF endings, as
    // UTF-8, with the SEND file's clock a second to three behind and its
    // records twice; the fuzz corpus; and students whose master file is
    // cut or changed at places spread over it.
    const QString root = m_dir.filePath(keepCopies ? QStringLiteral("class-all") : QStringLiteral("class"));
    const QByteArray master = m_written.at(QStringLiteral("masterFile.txt"));
    for (const auto &[name, bytes] : m_written) {
        QVERIFY(writeInto(root + QStringLiteral("/written/crsfiles/") + name, bytes));
        QVERIFY(writeInto(root + QStringLiteral("/lf/") + name, QByteArray(bytes).replace("\r\n", "\n")));
        QVERIFY(writeInto(root + QStringLiteral("/utf8/") + name, asUtf8(bytes)));
    }
    for (const int shift : {-3, -2, -1, 1, 2, 3}) {
        const QString s = root + QStringLiteral("/shifted%1/").arg(shift + 3);
        QVERIFY(writeInto(s + QStringLiteral("masterFile.txt"), master));
        const QByteArray send = shiftedTimes(m_written.at(QStringLiteral("send_0306.txt")), shift);
        QVERIFY(writeInto(s + QStringLiteral("send_0306.txt"), shift > 0 ? send + send : send));
        QVERIFY(writeInto(s + QStringLiteral("notes_.txt"), shiftedTimes(m_written.at(QStringLiteral("notes_.txt")), -shift)));
    }
    QVERIFY(QDir().mkpath(root + QStringLiteral("/corpus")));
    for (const QString &name : QDir(QStringLiteral(FUZZ_CORPUS)).entryList(QDir::Files))
        QVERIFY(QFile::copy(QStringLiteral(FUZZ_CORPUS "/") + name, root + QStringLiteral("/corpus/") + name));
    for (qsizetype at = 7; at < master.size(); at += 173) {
        const QString s = root + QStringLiteral("/at%1/").arg(at, 5, 10, QLatin1Char('0'));
        QVERIFY(writeInto(s + QStringLiteral("masterFile.txt"), master.left(at)));
        QVERIFY(writeInto(s + QStringLiteral("send_0306.txt"), m_written.at(QStringLiteral("send_0306.txt"))));
        QByteArray changed = master;
        changed[at] = changedBytes(master[at]).at(int(at % 22));
        QVERIFY(writeInto(root + QStringLiteral("/changed%1/masterFile.txt").arg(at, 5, 10, QLatin1Char('0')), changed));
        QVERIFY(writeInto(root + QStringLiteral("/changed%1/notes_.txt").arg(at, 5, 10, QLatin1Char('0')),
                          m_written.at(QStringLiteral("notes_.txt"))));
    }

    const CourseIndex course(courseEntries());
    ClassReader reader(course);
    reader.setKeepCopies(keepCopies);
    const ClassData found = reader.find({oscalls::NativePath::fromText(root)});
    QVERIFY(found.students.size() > 20);
    ClassData read = found;
    reader.read(read);
    QVERIFY(read.records.size() > 1000);
    qInfo("%d students, %d records", int(read.students.size()), int(read.records.size()));
    const QString d = classDifference(read, found, course, keepCopies);
    QVERIFY2(d.isEmpty(), qPrintable(d));
}

QTEST_MAIN(PlainReadingTest)
#include "tst_plainreading.moc"
