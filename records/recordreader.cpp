#include "records/recordreader.h"

#include "records/cp1252.h"
#include "records/recordformat.h"

#include "records/inputfiles.h"

#include <QDate>
#include <QHash>

#include <array>
#ifdef __SSE2__
#include <emmintrin.h>
#endif
#include <cstring>
#include <deque>
#include <limits>

namespace {

using namespace recordformat;

const QLatin1String courseTitle("Applied Calculus I");
const qsizetype trailerSize = closingSeparator.size() + noteTrailerBlanks; // a note's open line in SEND and notes

/// A line of the file as a range of its bytes; nothing is decoded until a
/// record keeps it.
struct Line
{
    qsizetype begin = 0, end = 0;
    int number = 0;
    bool suspect = false; ///< holds a character no record line of the program holds
};

bool isDigits(QByteArrayView s, qsizetype from, qsizetype count)
{
    for (qsizetype i = from; i < from + count; ++i)
        if (s.at(i) < '0' || s.at(i) > '9')
            return false;
    return true;
}

/// hh:mm:ss at `from`.
bool isTimeAt(QByteArrayView s, qsizetype from)
{
    return s.size() >= from + 8 && isDigits(s, from, 2) && s.at(from + 2) == ':' && isDigits(s, from + 3, 2)
           && s.at(from + 5) == ':' && isDigits(s, from + 6, 2);
}

/// mm-dd-yyyy at `from`.
bool isDateAt(QByteArrayView s, qsizetype from)
{
    return s.size() >= from + 10 && isDigits(s, from, 2) && s.at(from + 2) == '-' && isDigits(s, from + 3, 2)
           && s.at(from + 5) == '-' && isDigits(s, from + 6, 4);
}

bool isBlanks(QByteArrayView s, qsizetype count)
{
    if (s.size() < count)
        return false;
    for (qsizetype i = 0; i < count; ++i)
        if (s.at(i) != ' ')
            return false;
    return true;
}

/// The indent and the time.
bool isTimeLine(QByteArrayView s)
{
    return s.size() == timeIndent + 8 && isBlanks(s, timeIndent) && isTimeAt(s, timeIndent);
}

/// The indent, the date and the time directly after it.
bool isDateTimeLine(QByteArrayView s)
{
    return s.size() == timeIndent + 18 && isBlanks(s, timeIndent) && isDateAt(s, timeIndent)
           && isTimeAt(s, timeIndent + 10);
}

QByteArrayView bytesOf(QLatin1String s)
{
    return QByteArrayView(s.data(), s.size());
}

bool startsWith(QByteArrayView line, QLatin1String label)
{
    return line.startsWith(bytesOf(label));
}

bool is(QByteArrayView line, QLatin1String label)
{
    return line == bytesOf(label);
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

const std::array<char16_t, 256> &cp1252Table()
{
    static const std::array<char16_t, 256> table = [] {
        std::array<char16_t, 256> t{};
        for (int b = 0; b < 256; ++b)
            t[size_t(b)] = Cp1252::charOf(b).unicode();
        return t;
    }();
    return table;
}

enum ByteKind : unsigned char { Ordinary, LineEnd, Suspect, C1Lead };

/// What each byte means to the line splitter: a line end, a byte that makes
/// the line suspect (controls other than the tab, the code page's C1
/// positions), or in UTF-8 the lead byte of a C1 control. One look-up a byte.
const std::array<unsigned char, 256> &byteKinds(bool utf8)
{
    static const auto make = [](bool forUtf8) {
        std::array<unsigned char, 256> t{};
        for (int b = 0; b < 256; ++b) {
            const char16_t c = forUtf8 ? char16_t(b) : cp1252Table()[size_t(b)];
            if (b == '\r' || b == '\n')
                t[size_t(b)] = LineEnd;
            else if ((c < 0x20 && c != u'\t') || c == 0x7F || (!forUtf8 && c >= 0x80 && c < 0xA0))
                t[size_t(b)] = Suspect;
            else if (forUtf8 && b == 0xC2)
                t[size_t(b)] = C1Lead;
        }
        return t;
    };
    static const std::array<unsigned char, 256> cp = make(false), u8 = make(true);
    return utf8 ? u8 : cp;
}

// Eight bytes at a time: the common case, plain ASCII text, is passed over
// a word at a time; a word that holds anything else is looked at bytewise.
constexpr quint64 ones = 0x0101010101010101ULL, highs = 0x8080808080808080ULL;

quint64 wordAt(const char *p)
{
    quint64 w;
    std::memcpy(&w, p, sizeof w);
    return w;
}

bool hasZeroByte(quint64 w)
{
    return ((w - ones) & ~w & highs) != 0;
}

/// True when every byte of `w` is printable ASCII (0x20 to 0x7E).
inline bool isPrintableAscii(quint64 w)
{
    return (w & highs) == 0 && ((w - ones * 0x20) & highs) == 0 && !hasZeroByte(w ^ (ones * 0x7F));
}

/// True when no byte of `w` is below 0x20, 0x7F or 0x80 to 0x9F: in
/// Windows-1252, a word of characters that end no line and are no control.
inline bool isPlainCp1252(quint64 w)
{
    return ((w - ones * 0x20) & ~w & highs) == 0 && !hasZeroByte(w ^ (ones * 0x7F))
           && !hasZeroByte((w & (ones * 0xE0)) ^ highs);
}

#ifdef __SSE2__
/// isPlainCp1252 for sixteen bytes at once.
inline bool isPlainCp1252x16(const char *p)
{
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    const __m128i below = _mm_cmpeq_epi8(_mm_min_epu8(v, _mm_set1_epi8(0x1F)), v);
    const __m128i del = _mm_cmpeq_epi8(v, _mm_set1_epi8(0x7F));
    const __m128i c1 = _mm_cmpeq_epi8(_mm_and_si128(v, _mm_set1_epi8(char(0xE0))), _mm_set1_epi8(char(0x80)));
    return _mm_movemask_epi8(_mm_or_si128(_mm_or_si128(below, del), c1)) == 0;
}
#endif

/// The file's lines, made as the parser reaches them and dropped once it
/// has passed them, so that a file of millions of lines costs a few of them.
/// A line ends at CR LF, CR or LF: the program writes CR LF, and an editor or
/// a mail program may have changed that.
class LineWindow
{
public:
    LineWindow(const QByteArray &bytes, qsizetype from, bool utf8)
        : m_bytes(bytes), m_pos(from), m_utf8(utf8), m_kinds(byteKinds(utf8))
    {
    }

    /// True when line `i` exists (made now if needed).
    bool has(size_t i)
    {
        if (i < m_base)
            return false; // dropped: the parser never looks back there
        while (i >= m_base + m_lines.size())
            if (!makeLine())
                return false;
        return true;
    }
    const Line &line(size_t i) { return has(i) ? m_lines[i - m_base] : m_none; }
    QByteArrayView text(size_t i)
    {
        const Line &l = line(i);
        return QByteArrayView(m_bytes.constData() + l.begin, l.end - l.begin);
    }
    /// The parser will not look before line `i` again; the suspect lines
    /// among those dropped are counted.
    void dropBefore(size_t i)
    {
        while (m_base < i && !m_lines.empty()) {
            const Line &l = m_lines.front();
            if (l.suspect && m_suspectLines++ == 0)
                m_firstSuspect = l.number;
            m_lines.pop_front();
            ++m_base;
        }
    }
    void clearSuspect(size_t i)
    {
        if (has(i))
            m_lines[i - m_base].suspect = false;
    }
    int lastNumber() const { return m_number - 1; }
    int suspectLines() const { return m_suspectLines; }
    int firstSuspect() const { return m_firstSuspect; }

private:
    bool makeLine();

    const QByteArray &m_bytes;
    qsizetype m_pos;
    bool m_utf8;
    const std::array<unsigned char, 256> &m_kinds;
    std::deque<Line> m_lines;
    size_t m_base = 0;
    int m_number = 1;
    int m_suspectLines = 0, m_firstSuspect = 0;
    Line m_none;
};

bool LineWindow::makeLine()
{
    const auto *data = reinterpret_cast<const unsigned char *>(m_bytes.constData());
    const qsizetype size = m_bytes.size();
    if (m_pos >= size)
        return false;
    qsizetype p = m_pos;
    bool suspect = false;
    const char *bytes = m_bytes.constData();
    bool ended = false;
    while (p < size && !ended) {
#ifdef __SSE2__
        if (!m_utf8) {
            while (p + 16 <= size && isPlainCp1252x16(bytes + p))
                p += 16;
        }
#endif
        if (p + 8 <= size && (m_utf8 ? isPrintableAscii(wordAt(bytes + p)) : isPlainCp1252(wordAt(bytes + p)))) {
            p += 8;
            continue;
        }
        for (const qsizetype stop = std::min(size, p + 8); p < stop; ++p) {
            const unsigned char kind = m_kinds[data[p]];
            if (kind == Ordinary)
                continue;
            if (kind == LineEnd) {
                ended = true;
                break;
            }
            if (kind == Suspect || (p + 1 < size && data[p + 1] >= 0x80 && data[p + 1] < 0xA0))
                suspect = true;
        }
    }
    Line line{m_pos, p, m_number++, suspect};
    m_pos = p + 1;
    if (p < size && data[p] == '\r' && p + 1 < size && data[p + 1] == '\n')
        ++m_pos;
    // A note leaves the SEND and notes files' line open after its closing
    // separator and 7 blanks; the next record continues it.
    const QByteArrayView text(m_bytes.constData() + line.begin, line.end - line.begin);
    if (text.size() >= trailerSize && startsWith(text, closingSeparator)
        && isBlanks(text.sliced(closingSeparator.size()), noteTrailerBlanks)) {
        m_lines.push_back({line.begin, line.begin + closingSeparator.size(), line.number, false});
        line.begin += trailerSize;
        if (line.begin == line.end)
            return true;
    }
    m_lines.push_back(line);
    return true;
}

class Parser
{
public:
    Parser(const QByteArray &bytes, qsizetype from, bool utf8, const QString &path, RecordFileContents &out,
           BankTextCache *cache)
        : m_bytes(bytes), m_utf8(utf8), m_lines(bytes, from, utf8), m_path(path), m_out(out), m_cache(cache)
    {
    }

    void run();

private:
    bool isHeaderStart(size_t i);
    bool isRecordStart(size_t i) { return is(at(i), openingSeparator) && isTimeLine(at(i + 1)); }
    bool isAnyStart(size_t i) { return isRecordStart(i) || isHeaderStart(i); }
    QByteArrayView at(size_t i) { return m_lines.text(i); }
    int numberOf(size_t i) { return m_lines.has(i) ? m_lines.line(i).number : std::max(1, m_lines.lastNumber()); }
    QString decode(qsizetype begin, qsizetype end) const;
    /// Line `i` from its character `from` on.
    QString textOf(size_t i, qsizetype from = 0)
    {
        const Line &l = m_lines.line(i);
        return decode(std::min(l.begin + from, l.end), l.end);
    }
    QString bankTextOf(qsizetype begin, qsizetype end) const;
    void warn(int line, const QString &message) { m_out.warnings.push_back({m_path, line, message}); }
    size_t readHeader(size_t i);
    size_t readEntry(size_t i);

    const QByteArray &m_bytes;
    bool m_utf8;
    LineWindow m_lines;
    QString m_path;
    RecordFileContents &m_out;
    BankTextCache *m_cache;
    // The run the records being read belong to.
    QString m_runDate, m_runAssignment, m_lastTime;
    int m_daysPassed = 0;
};

/// The characters of bytes [begin, end), every line ending made CR LF as
/// the program writes it.
/// True when bytes [p, p + n) read the same in Latin-1 as in Windows-1252
/// (no byte 0x80 to 0x9F) and every line ending in them is CR LF already.
bool isPlainLatin1(const char *p, qsizetype n)
{
    qsizetype i = 0;
    while (i < n) {
        if (i + 8 <= n) {
            const quint64 w = wordAt(p + i);
            if (hasZeroByte((w & (ones * 0xE0)) ^ highs))
                return false;
            if (!hasZeroByte(w ^ (ones * '\r')) && !hasZeroByte(w ^ (ones * '\n'))) {
                i += 8;
                continue;
            }
        }
        for (const qsizetype stop = std::min(n, i + 8); i < stop; ++i) {
            const unsigned char c = static_cast<unsigned char>(p[i]);
            if ((c & 0xE0) == 0x80)
                return false;
            if (c == '\r') {
                if (i + 1 >= n || p[i + 1] != '\n')
                    return false;
                ++i;
            } else if (c == '\n') {
                return false;
            }
        }
    }
    return true;
}

QString Parser::decode(qsizetype begin, qsizetype end) const
{
    if (end <= begin)
        return QString();
    if (!m_utf8 && isPlainLatin1(m_bytes.constData() + begin, end - begin))
        return QString::fromLatin1(m_bytes.constData() + begin, end - begin);
    QString raw;
    if (m_utf8)
        raw = QString::fromUtf8(m_bytes.constData() + begin, end - begin);
    const qsizetype n = m_utf8 ? raw.size() : end - begin;
    const auto *in = reinterpret_cast<const unsigned char *>(m_bytes.constData()) + begin;
    const auto &table = cp1252Table();
    auto charAt = [&](qsizetype k) -> char16_t { return m_utf8 ? raw.at(k).unicode() : table[in[k]]; };
    QString out(n, Qt::Uninitialized);
    char16_t *o = reinterpret_cast<char16_t *>(out.data());
    qsizetype w = 0;
    for (qsizetype k = 0; k < n; ++k) {
        const char16_t c = charAt(k);
        if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && k + 1 < n && charAt(k + 1) == u'\n')
                ++k;
            if (w + 2 > out.size()) {
                out.resize(out.size() + (n - k) + 16);
                o = reinterpret_cast<char16_t *>(out.data());
            }
            o[w++] = u'\r';
            o[w++] = u'\n';
        } else {
            if (w + 1 > out.size()) {
                out.resize(out.size() + (n - k) + 16);
                o = reinterpret_cast<char16_t *>(out.data());
            }
            o[w++] = c;
        }
    }
    out.truncate(w);
    return out;
}

QString Parser::bankTextOf(qsizetype begin, qsizetype end) const
{
    constexpr qsizetype largestKept = 64 * 1024;
    if (!m_cache || end - begin > largestKept)
        return decode(begin, end);
    const QByteArray key = QByteArray::fromRawData(m_bytes.constData() + begin, end - begin);
    if (const QString *known = m_cache->find(key))
        return *known;
    const QString text = decode(begin, end);
    m_cache->keep(QByteArray(key.constData(), key.size()), text);
    return text;
}

bool Parser::isHeaderStart(size_t i)
{
    // A text a student typed may hold a line "assignment #...", so the
    // course title or the date must stand where the header has them.
    if (!startsWith(at(i + 1), assignmentLabel))
        return false;
    const QByteArrayView date = at(i + 4);
    return is(at(i + 3), courseTitle) || (date.size() == 10 && isDateAt(date, 0));
}

size_t Parser::readHeader(size_t i)
{
    FileRecord r;
    r.kind = FileRecord::Header;
    r.line = numberOf(i);
    r.codeLine = textOf(i);
    r.assignment = textOf(i + 1, assignmentLabel.size());
    size_t end = i + 2;
    while (end < i + 5 && m_lines.has(end) && !isAnyStart(end))
        ++end;
    if (end > i + 2)
        r.heading = textOf(i + 2);
    if (end == i + 5 && isDateAt(at(i + 4), 0) && at(i + 4).size() == 10)
        r.date = textOf(i + 4);
    else {
        r.complete = false;
        warn(r.line, QStringLiteral("header record cut short or without its date"));
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
    r.line = numberOf(i);
    r.time = textOf(i + 1, timeIndent);
    size_t j = i + 2;
    const bool note = isDateTimeLine(at(j));
    if (note) {
        r.kind = FileRecord::Note;
        r.assignment = m_runAssignment;
        r.date = decode(m_lines.line(j).begin + timeIndent, m_lines.line(j).begin + timeIndent + 10);
        ++j;
    } else {
        r.kind = FileRecord::Response;
        r.assignment = m_runAssignment;
        if (at(j).isEmpty() && at(j + 1).isEmpty() && m_lines.has(j + 2) && startsWith(at(j + 2), questionKeyLabel)) {
            r.questionKey = textOf(j + 2, questionKeyLabel.size()).trimmed();
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
            r.date = QDate::fromString(r.date, dateFormat).addDays(m_daysPassed).toString(dateFormat);
    }

    // The bank text runs up to the opening separator before the student's
    // text. Lines behind are dropped as the scan passes them; the text is
    // taken from the bytes between its first and last line.
    const qsizetype bankBegin = m_lines.line(j).begin;
    qsizetype bankEnd = bankBegin;
    size_t k = j;
    while (m_lines.has(k) && !(is(at(k), openingSeparator) && !isRecordStart(k)) && !isAnyStart(k)) {
        bankEnd = m_lines.line(k).end;
        m_lines.dropBefore(k);
        ++k;
    }
    r.bankText = bankTextOf(bankBegin, bankEnd);
    if (!m_lines.has(k) || !is(at(k), openingSeparator) || isRecordStart(k)) {
        r.complete = false;
        warn(r.line, QStringLiteral("%1 cut short before its text").arg(note ? QStringLiteral("note") : QStringLiteral("response")));
        m_out.records.push_back(std::move(r));
        return k;
    }
    size_t t = k + 1;
    if (!note) {
        if (is(at(t), responseLabel))
            ++t;
        else
            warn(numberOf(t), QStringLiteral("response without the line \"%1\"").arg(responseLabel));
    }

    // The text ends at the first closing separator that is followed by the
    // end of the file or by another record: a separator line the student
    // typed is part of the text.
    size_t e = t;
    bool closed = false;
    const qsizetype textBegin = m_lines.line(t).begin;
    qsizetype textEnd = textBegin, beforeLast = textBegin;
    for (; m_lines.has(e); ++e) {
        if (is(at(e), closingSeparator) && (!m_lines.has(e + 1) || isAnyStart(e + 1))) {
            closed = true;
            break;
        }
        if (e > t && isAnyStart(e))
            break;
        beforeLast = textEnd;
        textEnd = m_lines.line(e).end;
        m_lines.dropBefore(e);
    }
    if (!note && e > t) {
        const QByteArrayView last = at(e - 1);
        const QLatin1String label = startsWith(last, confidenceLabel)     ? confidenceLabel
                                    : startsWith(last, selfCritiqueLabel) ? selfCritiqueLabel
                                                                          : QLatin1String();
        if (!label.isEmpty()) {
            r.ratingKind = label == confidenceLabel ? FileRecord::Confidence : FileRecord::SelfCritique;
            r.rating = textOf(e - 1, label.size());
            textEnd = beforeLast;
        }
    }
    r.text = decode(textBegin, textEnd);
    if (note) {
        if (r.text.startsWith(notesLabel))
            r.text.remove(0, notesLabel.size());
        else
            warn(numberOf(t), QStringLiteral("note without \"%1\"").arg(notesLabel));
    }
    if (!closed) {
        r.complete = false;
        warn(r.line, QStringLiteral("%1 cut short (no closing line)").arg(note ? QStringLiteral("note") : QStringLiteral("response")));
    }
    m_out.records.push_back(std::move(r));
    return closed ? e + 1 : e;
}

void Parser::run()
{
    size_t i = 0;
    while (m_lines.has(i)) {
        const size_t from = i;
        if (isHeaderStart(i)) {
            // The code line of a header is made of noise characters on purpose.
            m_lines.clearSuspect(i);
            i = readHeader(i);
        } else if (isRecordStart(i)) {
            i = readEntry(i);
        } else {
            const int number = numberOf(from);
            const bool empty = at(from).isEmpty();
            while (m_lines.has(i) && !isAnyStart(i)) {
                m_lines.dropBefore(i);
                ++i;
            }
            // The trailer of a note at the very end of a SEND file leaves
            // nothing after it; an empty last line is not a stray one.
            if (!(i == from + 1 && empty))
                warn(number, QStringLiteral("%1 line(s) that belong to no record").arg(i - from));
        }
        m_lines.dropBefore(i);
    }
    m_lines.dropBefore(std::numeric_limits<size_t>::max());
    if (m_lines.suspectLines() > 0)
        warn(m_lines.firstSuspect(),
             QStringLiteral("bytes that are not Windows-1252 text (%1 line(s)); shown as read").arg(m_lines.suspectLines()));
}

} // namespace

const QString *BankTextCache::find(const QByteArray &bytes) const
{
    const auto it = m_texts.constFind(bytes);
    return it == m_texts.cend() ? nullptr : &*it;
}

void BankTextCache::keep(const QByteArray &bytes, const QString &text)
{
    constexpr qsizetype cacheBytes = 8 * 1024 * 1024;
    if (m_bytes > cacheBytes) {
        m_texts.clear();
        m_bytes = 0;
    }
    m_texts.insert(bytes, text);
    m_bytes += bytes.size() * 3;
}

RecordFileContents parseRecordBytes(const QByteArray &bytes, const QString &path, BankTextCache *cache)
{
    RecordFileContents out;
    out.bytes = bytes.size();
    if (bytes.isEmpty()) {
        out.warnings.push_back({path, 0, QStringLiteral("empty file")});
        return out;
    }
    const bool utf8 = isUtf8WithNonAscii(bytes);
    qsizetype from = 0;
    if (utf8) {
        // An editor or a mail program may have re-saved the file as UTF-8.
        if (bytes.startsWith("\xEF\xBB\xBF"))
            from = 3;
        out.warnings.push_back({path, 1, QStringLiteral("UTF-8 text, not Windows-1252; read as UTF-8")});
    }
    Parser(bytes, from, utf8, path, out, cache).run();
    if (out.records.empty())
        out.warnings.push_back({path, 0, QStringLiteral("no records found")});
    return out;
}

RecordFileContents readRecordFile(const QString &path)
{
    const inputfiles::FileBytes file = inputfiles::readRegularFile(inputfiles::NativePath::fromText(path), largestRecordFile);
    if (!file.ok) {
        RecordFileContents out;
        out.warnings.push_back({path, 0, file.reason});
        return out;
    }
    return parseRecordBytes(file.bytes, path);
}
