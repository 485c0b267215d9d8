#include "records/recordreader.h"

#include "records/cp1252.h"
#include "records/recordformat.h"

#include "platform/oscalls.h"

#include <QDate>
#include <QHash>

#include <array>
#ifdef __SSE2__
#include <emmintrin.h>
#endif
#include <cstring>
#include <limits>
#include <optional>

namespace {

using namespace recordformat;

// The shortcuts below look at a line's first byte for what begins a record:
// the separators (a response or a note) and the header's second line (its
// assignment label). They are these constants' own bytes, and the checks
// fail the build if a change to the layout makes them stand for something else.
constexpr char separatorByte = openingSeparator.front().toLatin1();
constexpr char headerSecondLineByte = assignmentLabel.front().toLatin1();
static_assert(closingSeparator.front().toLatin1() == separatorByte,
              "the opening and closing separators must begin alike: the reader stops at either by its first byte");
static_assert(separatorByte != headerSecondLineByte,
              "a separator and a header's assignment line must be told apart by their first bytes");
static_assert(closingSeparator.size() > noteTrailerBlanks,
              "a note's open closing line is the closing separator and its blanks");

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
    static constexpr char blanks[] = "                                                                ";
    static_assert(sizeof blanks - 1 >= timeIndent && sizeof blanks - 1 >= noteTrailerBlanks);
    return s.size() >= count && std::memcmp(s.data(), blanks, size_t(count)) == 0;
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

// Every line is tried against a label or two: the lengths tell most apart
// before a byte is compared.
inline bool startsWith(QByteArrayView line, QLatin1String label)
{
    return line.size() >= label.size() && std::memcmp(line.data(), label.data(), size_t(label.size())) == 0;
}

inline bool is(QByteArrayView line, QLatin1String label)
{
    return line.size() == label.size() && std::memcmp(line.data(), label.data(), size_t(label.size())) == 0;
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
        // The second byte's range rules out overlong forms, surrogates and
        // code points past U+10FFFF, which no UTF-8 editor writes.
        const unsigned char low = c == 0xE0 ? 0xA0 : c == 0xF0 ? 0x90 : 0x80;
        const unsigned char high = c == 0xED ? 0x9F : c == 0xF4 ? 0x8F : 0xBF;
        if (p[1] < low || p[1] > high)
            return false;
        for (int k = 2; k <= more; ++k)
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

#ifdef __SSE2__
/// One bit for each of the sixteen bytes at `p` the line splitter must look
/// at: below 0x20 (line ends, controls, the tab), 0x7F, and in Windows-1252
/// 0x80 to 0x9F, in UTF-8 the lead byte 0xC2 of a C1 control.
template <bool Utf8>
inline unsigned stopsIn16(const char *p)
{
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    const __m128i zero = _mm_setzero_si128();
    // Bits 5 and 6 clear: 0x00 to 0x1F and 0x80 to 0x9F.
    const __m128i low = Utf8 ? _mm_cmpeq_epi8(_mm_and_si128(v, _mm_set1_epi8(char(0xE0))), zero)
                             : _mm_cmpeq_epi8(_mm_and_si128(v, _mm_set1_epi8(0x60)), zero);
    __m128i stops = _mm_or_si128(low, _mm_cmpeq_epi8(v, _mm_set1_epi8(0x7F)));
    if (Utf8)
        stops = _mm_or_si128(stops, _mm_cmpeq_epi8(v, _mm_set1_epi8(char(0xC2))));
    return unsigned(_mm_movemask_epi8(stops));
}
#else
// Eight bytes at a time where sixteen are not: plain text is passed over a
// word at a time; a word that holds anything else is looked at bytewise.
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
bool isPrintableAscii(quint64 w)
{
    return (w & highs) == 0 && ((w - ones * 0x20) & highs) == 0 && !hasZeroByte(w ^ (ones * 0x7F));
}

/// True when no byte of `w` is below 0x20, 0x7F or 0x80 to 0x9F: in
/// Windows-1252, a word of characters that end no line and are no control.
bool isPlainCp1252(quint64 w)
{
    return ((w - ones * 0x20) & ~w & highs) == 0 && !hasZeroByte(w ^ (ones * 0x7F))
           && !hasZeroByte((w & (ones * 0xE0)) ^ highs);
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
        : m_data(bytes.constData()), m_size(bytes.size()), m_pos(from), m_utf8(utf8), m_kinds(byteKinds(utf8)),
          m_ring(16)
    {
    }

    /// True when line `i` exists (made now if needed).
    bool has(size_t i)
    {
        // The parser asks for lines it holds far more often than for new ones.
        return i - m_base < m_count /* unsigned: false below m_base too */ || (i >= m_base && makeLines(i));
    }
    const Line &line(size_t i) { return has(i) ? m_ring[i & m_mask] : m_none; }
    QByteArrayView text(size_t i)
    {
        const Line &l = line(i);
        return QByteArrayView(m_data + l.begin, l.end - l.begin);
    }
    /// The parser will not look before line `i` again; the suspect lines
    /// among those dropped are counted.
    void dropBefore(size_t i)
    {
        while (m_base < i && m_count > 0) {
            const Line &l = m_ring[m_base & m_mask];
            if (l.suspect && m_suspectLines++ == 0)
                m_firstSuspect = l.number;
            ++m_base;
            --m_count;
        }
    }
    /// Passes over the lines from `k` on that no loop of the parser stops
    /// at, as the loops would (each one's end after `last`, whose value
    /// before goes to `beforeLast`; the lines before it dropped), and gives
    /// the first line a loop must look at. A record, a header or a
    /// separator shows in the first byte of a line (separatorByte) or of the
    /// next (headerSecondLineByte), so most lines of a text are passed here.
    size_t passPlain(size_t k, qsizetype &last, qsizetype &beforeLast)
    {
        while (has(k) && !startsLike(k, separatorByte) && !(has(k + 1) && startsLike(k + 1, headerSecondLineByte))) {
            beforeLast = last;
            last = m_ring[k & m_mask].end;
            dropBefore(k);
            ++k;
        }
        return k;
    }
    void clearSuspect(size_t i)
    {
        if (has(i))
            m_ring[i & m_mask].suspect = false;
    }
    int lastNumber() const { return m_number - 1; }
    int suspectLines() const { return m_suspectLines; }
    int firstSuspect() const { return m_firstSuspect; }

private:
    /// Line `i`, which the window holds, begins with `c`.
    bool startsLike(size_t i, char c) const
    {
        const Line &l = m_ring[i & m_mask];
        return l.begin < l.end && m_data[l.begin] == c;
    }
    bool makeLines(size_t i)
    {
        while (i >= m_base + m_count)
            if (!makeLine())
                return false;
        return true;
    }
    bool makeLine();
    /// Where the line from `p` on ends (its line end, or the end of the
    /// bytes); `suspect` is set when it holds a byte no line of the program holds.
    template <bool Utf8>
    qsizetype lineEnd(qsizetype p, bool &suspect) const;
    /// Line m_base + m_count, after the others.
    void push(const Line &line)
    {
        if (m_count == m_ring.size()) {
            // The parser holds a record's few lines at a time; the ring
            // grows only for a record of very many lines before its text.
            std::vector<Line> bigger(m_ring.size() * 2);
            const size_t mask = bigger.size() - 1;
            for (size_t k = m_base; k < m_base + m_count; ++k)
                bigger[k & mask] = m_ring[k & m_mask];
            m_ring.swap(bigger);
            m_mask = mask;
        }
        m_ring[(m_base + m_count) & m_mask] = line;
        ++m_count;
    }

    const char *m_data;
    qsizetype m_size;
    qsizetype m_pos;
    bool m_utf8;
    const std::array<unsigned char, 256> &m_kinds;
    std::vector<Line> m_ring; ///< line i at i & m_mask, for i from m_base on
    size_t m_mask = 15;
    size_t m_base = 0, m_count = 0;
    int m_number = 1;
    int m_suspectLines = 0, m_firstSuspect = 0;
    Line m_none;
};

template <bool Utf8>
qsizetype LineWindow::lineEnd(qsizetype p, bool &suspect) const
{
    const auto *data = reinterpret_cast<const unsigned char *>(m_data);
    const qsizetype size = m_size;
    // Only a byte the splitter must look at stops the scan: plain text is
    // passed over thirty-two (or eight) bytes at a time.
    for (;;) {
#ifdef __SSE2__
        if (p + 32 <= size) {
            const unsigned stops = stopsIn16<Utf8>(m_data + p) | stopsIn16<Utf8>(m_data + p + 16) << 16;
            if (stops == 0) {
                p += 32;
                continue;
            }
            p += __builtin_ctz(stops);
        } else if (p + 16 <= size) {
            const unsigned stops = stopsIn16<Utf8>(m_data + p);
            if (stops == 0) {
                p += 16;
                continue;
            }
            p += __builtin_ctz(stops);
        }
#else
        if (p + 8 <= size && (Utf8 ? isPrintableAscii(wordAt(m_data + p)) : isPlainCp1252(wordAt(m_data + p)))) {
            p += 8;
            continue;
        }
#endif
        if (p >= size)
            return p;
        const unsigned char kind = m_kinds[data[p]];
        if (kind == LineEnd)
            return p;
        if (kind != Ordinary && (kind == Suspect || (p + 1 < size && data[p + 1] >= 0x80 && data[p + 1] < 0xA0)))
            suspect = true;
        ++p;
    }
}

Q_NEVER_INLINE bool LineWindow::makeLine()
{
    const auto *data = reinterpret_cast<const unsigned char *>(m_data);
    const qsizetype size = m_size;
    if (m_pos >= size)
        return false;
    bool suspect = false;
    const qsizetype p = m_utf8 ? lineEnd<true>(m_pos, suspect) : lineEnd<false>(m_pos, suspect);
    Line line{m_pos, p, m_number++, suspect};
    m_pos = p + 1;
    if (p < size && data[p] == '\r' && p + 1 < size && data[p + 1] == '\n')
        ++m_pos;
    // A note leaves the SEND and notes files' line open after its closing
    // separator and 7 blanks; the next record continues it.
    const QByteArrayView text(m_data + line.begin, line.end - line.begin);
    if (text.size() >= trailerSize && startsWith(text, closingSeparator)
        && isBlanks(text.sliced(closingSeparator.size()), noteTrailerBlanks)) {
        push({line.begin, line.begin + closingSeparator.size(), line.number, false});
        line.begin += trailerSize;
        if (line.begin == line.end)
            return true;
    }
    push(line);
    return true;
}

/// Short texts that come back again and again (ratings, question keys,
/// assignments): each is decoded once and kept in a table of recent ones, so
/// that a record costs no allocation for them.
class ShortTexts
{
public:
    static constexpr qsizetype longest = 16;

    /// The text of bytes [p, p + n), n at most `longest`, as `make` gives it;
    /// `kind` tells apart what differs for the same bytes (the encoding, trimming).
    template <typename Make>
    const QString &get(const char *p, qsizetype n, unsigned kind, Make make)
    {
        quint64 a = 0, b = 0;
        std::memcpy(&a, p, size_t(std::min<qsizetype>(n, 8)));
        if (n > 8)
            std::memcpy(&b, p + 8, size_t(n - 8));
        const quint64 tag = quint64(n) | quint64(kind) << 8 | quint64(1) << 16;
        const quint64 h = a * 0x9E3779B97F4A7C15ULL ^ b * 0xC2B2AE3D27D4EB4FULL ^ tag * 0x165667B19E3779F9ULL;
        Entry &e = m_entries[size_t(h >> 55)];
        if (e.a != a || e.b != b || e.tag != tag) {
            e.text = make();
            e.a = a;
            e.b = b;
            e.tag = tag;
        }
        return e.text;
    }

private:
    struct Entry
    {
        quint64 a = 0, b = 0, tag = 0; ///< the bytes and what else the text depends on; tag 0: empty
        QString text;
    };
    std::array<Entry, 512> m_entries; ///< small enough to stay in the nearest cache
};

} // namespace

struct ParseCaches::Data
{
    ShortTexts shortTexts;
    // The same bytes read as UTF-8 are other characters.
    QHash<QByteArray, QString> bankTexts[2];
    qsizetype bankBytes = 0;
};

ParseCaches::ParseCaches() : m_data(std::make_unique<Data>()) {}
ParseCaches::~ParseCaches() = default;

namespace {

class Parser
{
public:
    Parser(const QByteArray &bytes, qsizetype from, bool utf8, const QString &path, RecordFileContents &out,
           ParseCaches::Data &caches, const ReadLimits &limits)
        : m_bytes(bytes), m_utf8(utf8), m_lines(bytes, from, utf8), m_path(path), m_out(out), m_caches(caches),
          m_limits(limits)
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
    /// Bytes [begin, end) of a field that is short as a rule; `trimmed`
    /// trims the text.
    QString shortTextOf(qsizetype begin, qsizetype end, bool trimmed = false) const;
    /// Line `i` from its character `from` on, a short field.
    QString shortLineOf(size_t i, qsizetype from, bool trimmed = false)
    {
        const Line &l = m_lines.line(i);
        return shortTextOf(std::min(l.begin + from, l.end), l.end, trimmed);
    }
    QString bankTextOf(qsizetype begin, qsizetype end) const;
    void warn(int line, const QString &message)
    {
        // A file made of broken records would give a warning per record.
        if (int(m_out.warnings.size()) < m_limits.warnings)
            m_out.warnings.push_back({m_path, line, message});
        else
            ++m_unlistedWarnings;
    }
    size_t readHeader(size_t i);
    size_t readEntry(size_t i);
    /// The date of a note's or header's date text (mm-dd-yyyy), warned
    /// about when no calendar has it; empty then.
    QString checkedDate(int line, const QString &date);
    /// Whether `time` is a time of day; warned about when not.
    bool checkTime(int line, const QString &time);
    /// The date of a response `time` of the run after `lastTime`.
    QString responseDate(const QString &time);
    /// Keeps the record just read within the limits.
    void keepWithinLimits();
    void warnOfLimits();
    /// Where the line ending at `end` begins (not before `floor`); `before`
    /// is set to where the line before it ends (`floor` when there is none).
    qsizetype lineStartBefore(qsizetype end, qsizetype floor, qsizetype &before) const;

    const QByteArray &m_bytes;
    bool m_utf8;
    LineWindow m_lines;
    QString m_path;
    RecordFileContents &m_out;
    ParseCaches::Data &m_caches;
    ReadLimits m_limits;
    int m_unlistedWarnings = 0, m_unkeptRecords = 0;
    // The run the records being read belong to: the last date it showed
    // (its header's, or a note's since) and the days its times passed since.
    QString m_runDate, m_runAssignment, m_lastTime;
    int m_daysPassed = 0;
};

/// Windows-1252 bytes as characters into `out`, one for each byte, in one
/// pass; false when a line ending other than CR LF stands among them (it
/// becomes two characters, so the caller takes the general way).
bool decodeCrLfText(const unsigned char *in, qsizetype n, char16_t *out)
{
    const auto &table = cp1252Table();
    bool afterCr = false; // the byte before was CR: this one must be LF
    qsizetype k = 0;
    while (k < n) {
#ifdef __SSE2__
        // Sixteen bytes at once when none is 0x80 to 0x9F and every CR in
        // them is followed by LF: they stand for themselves, widened.
        if (k + 16 <= n) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + k));
            const unsigned c1 = unsigned(_mm_movemask_epi8(
                _mm_cmpeq_epi8(_mm_and_si128(v, _mm_set1_epi8(char(0xE0))), _mm_set1_epi8(char(0x80)))));
            const unsigned cr = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8('\r'))));
            const unsigned lf = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8('\n'))));
            if (c1 == 0 && (((cr << 1) | unsigned(afterCr)) & 0xFFFF) == lf) {
                const __m128i zero = _mm_setzero_si128();
                _mm_storeu_si128(reinterpret_cast<__m128i *>(out + k), _mm_unpacklo_epi8(v, zero));
                _mm_storeu_si128(reinterpret_cast<__m128i *>(out + k + 8), _mm_unpackhi_epi8(v, zero));
                afterCr = (cr >> 15) != 0;
                k += 16;
                continue;
            }
        }
#endif
        for (const qsizetype stop = std::min(n, k + 16); k < stop; ++k) {
            const unsigned char b = in[k];
            if (afterCr != (b == '\n'))
                return false;
            if (b == '\r' && k + 1 == n)
                return false;
            afterCr = b == '\r';
            out[k] = table[b];
        }
    }
    return !afterCr;
}

/// The characters of bytes [begin, end), every line ending made CR LF as
/// the program writes it.
QString Parser::decode(qsizetype begin, qsizetype end) const
{
    if (end <= begin)
        return QString();
    if (!m_utf8) {
        QString plain(end - begin, Qt::Uninitialized);
        if (decodeCrLfText(reinterpret_cast<const unsigned char *>(m_bytes.constData()) + begin, end - begin,
                           reinterpret_cast<char16_t *>(plain.data())))
            return plain;
    }
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

QString Parser::shortTextOf(qsizetype begin, qsizetype end, bool trimmed) const
{
    auto make = [&] { return trimmed ? decode(begin, end).trimmed() : decode(begin, end); };
    if (end - begin > ShortTexts::longest)
        return make();
    return m_caches.shortTexts.get(m_bytes.constData() + begin, std::max<qsizetype>(0, end - begin), unsigned(m_utf8) | unsigned(trimmed) << 1,
                     make);
}

/// A class answers the same few hundred bank texts again and again: each
/// is decoded once per thread and shared by every record that holds it.
QString Parser::bankTextOf(qsizetype begin, qsizetype end) const
{
    constexpr qsizetype largestKept = 64 * 1024, cacheBytes = 8 * 1024 * 1024;
    QHash<QByteArray, QString> (&caches)[2] = m_caches.bankTexts;
    qsizetype &cached = m_caches.bankBytes;
    QHash<QByteArray, QString> &cache = caches[m_utf8];
    if (end - begin > largestKept)
        return decode(begin, end);
    const QByteArray key = QByteArray::fromRawData(m_bytes.constData() + begin, end - begin);
    const auto it = cache.constFind(key);
    if (it != cache.cend())
        return *it;
    if (cached > cacheBytes) {
        caches[0].clear();
        caches[1].clear();
        cached = 0;
    }
    const QString text = decode(begin, end);
    cache.insert(QByteArray(key.constData(), key.size()), text);
    cached += key.size() * 3;
    return text;
}

/// The start of a closing line the file ends inside (or the next record
/// begins in): some full stops, fewer than the line has.
bool isCutClosingLine(QByteArrayView line)
{
    if (line.isEmpty() || line.size() >= closingSeparator.size())
        return false;
    for (qsizetype i = 0; i < line.size(); ++i)
        if (line[i] != closingSeparator[i].toLatin1())
            return false;
    return true;
}

int twoDigits(const QString &s, qsizetype at)
{
    const char16_t a = s.at(at).unicode(), b = s.at(at + 1).unicode();
    return a >= u'0' && a <= u'9' && b >= u'0' && b <= u'9' ? (a - u'0') * 10 + (b - u'0') : -1;
}

/// Seconds since midnight of hh:mm:ss, or -1 when it is no time of day.
int secondsOfDay(const QString &time)
{
    if (time.size() != 8)
        return -1;
    const int h = twoDigits(time, 0), m = twoDigits(time, 3), sec = twoDigits(time, 6);
    return h < 0 || h > 23 || m < 0 || m > 59 || sec < 0 || sec > 59 ? -1 : h * 3600 + m * 60 + sec;
}

QString Parser::checkedDate(int line, const QString &date)
{
    // isDateAt has seen the digits and hyphens.
    const int year = twoDigits(date, 6) * 100 + twoDigits(date, 8);
    if (QDate(year, twoDigits(date, 0), twoDigits(date, 3)).isValid())
        return date;
    warn(line, QStringLiteral("the date %1 is on no calendar; the record is kept without it").arg(date));
    return QString();
}

bool Parser::checkTime(int line, const QString &time)
{
    if (secondsOfDay(time) >= 0)
        return true;
    warn(line, QStringLiteral("the time %1 is no time of day").arg(time));
    return false;
}

QString Parser::responseDate(const QString &time)
{
    // A run that passes midnight keeps writing times of the next day under
    // the header of the day it started; a clock set back (by hand, by the
    // network, at the end of summer time) goes back too, but by far less
    // than the half day a time must fall to have passed midnight.
    const int now = secondsOfDay(time), last = secondsOfDay(m_lastTime);
    if (last >= 0 && now + 12 * 3600 < last)
        ++m_daysPassed;
    m_lastTime = time;
    if (m_daysPassed == 0 || m_runDate.isEmpty())
        return m_runDate;
    return QDate::fromString(m_runDate, dateFormat).addDays(m_daysPassed).toString(dateFormat);
}

qsizetype Parser::lineStartBefore(qsizetype end, qsizetype floor, qsizetype &before) const
{
    const char *data = m_bytes.constData();
    qsizetype start = end;
    while (start > floor && data[start - 1] != '\r' && data[start - 1] != '\n')
        --start;
    before = start;
    if (before > floor)
        --before;
    if (before > floor && data[before] == '\n' && data[before - 1] == '\r')
        --before;
    return start;
}

void Parser::keepWithinLimits()
{
    // The record is made before its count is known; past the limit it is
    // dropped again at once, so a file of millions costs the limit.
    if (int(m_out.records.size()) <= m_limits.records)
        return;
    m_out.records.pop_back();
    ++m_unkeptRecords;
}

void Parser::warnOfLimits()
{
    if (m_unkeptRecords > 0)
        m_out.warnings.push_back({m_path, 0, QStringLiteral("%1 more record(s) after the first %2 not kept: far more than "
                                                            "the program writes in a file")
                                                 .arg(m_unkeptRecords)
                                                 .arg(m_limits.records)});
    if (m_unlistedWarnings > 0)
        m_out.warnings.push_back({m_path, 0, QStringLiteral("%1 more warning(s) about this file not listed").arg(m_unlistedWarnings)});
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
    // Made in place: a record is some hundreds of bytes to move.
    FileRecord &r = m_out.records.emplace_back();
    r.kind = FileRecord::Header;
    r.line = numberOf(i);
    r.codeLine = textOf(i);
    r.assignment = shortLineOf(i + 1, assignmentLabel.size());
    size_t end = i + 2;
    while (end < i + 5 && m_lines.has(end) && !isAnyStart(end))
        ++end;
    if (end > i + 2)
        r.heading = textOf(i + 2);
    if (end == i + 5 && isDateAt(at(i + 4), 0) && at(i + 4).size() == 10)
        r.date = checkedDate(numberOf(i + 4), shortLineOf(i + 4, 0));
    else {
        r.complete = false;
        warn(r.line, QStringLiteral("header record cut short or without its date"));
    }
    m_runDate = r.date;
    m_runAssignment = r.assignment;
    m_lastTime.clear();
    m_daysPassed = 0;
    return end;
}

size_t Parser::readEntry(size_t i)
{
    FileRecord &r = m_out.records.emplace_back();
    r.line = numberOf(i);
    r.time = textOf(i + 1, timeIndent);
    const bool timeOfDay = checkTime(numberOf(i + 1), r.time);
    size_t j = i + 2;
    const bool note = isDateTimeLine(at(j));
    if (note) {
        r.kind = FileRecord::Note;
        r.assignment = m_runAssignment;
        r.date = checkedDate(numberOf(j), shortTextOf(m_lines.line(j).begin + timeIndent, m_lines.line(j).begin + timeIndent + 10));
        // A note names its day: the run's later responses count from it.
        if (!r.date.isEmpty() && timeOfDay) {
            m_runDate = r.date;
            m_daysPassed = 0;
            m_lastTime = r.time;
        }
        ++j;
    } else {
        r.kind = FileRecord::Response;
        r.assignment = m_runAssignment;
        if (at(j).isEmpty() && at(j + 1).isEmpty() && m_lines.has(j + 2) && startsWith(at(j + 2), questionKeyLabel)) {
            r.questionKey = shortLineOf(j + 2, questionKeyLabel.size(), true);
            if (r.assignment.isEmpty()) {
                bool ok = false;
                const qlonglong key = r.questionKey.toLongLong(&ok);
                if (ok && key >= 0)
                    r.assignment = QStringLiteral("%1").arg(key / 10000, 3, 10, QLatin1Char('0'));
            }
            j += 3;
        }
        r.date = timeOfDay ? responseDate(r.time) : m_runDate;
    }

    // The bank text runs up to the opening separator before the student's
    // text. Lines behind are dropped as the scan passes them; the text is
    // taken from the bytes between its first and last line.
    const qsizetype bankBegin = m_lines.line(j).begin;
    qsizetype bankEnd = bankBegin;
    size_t k = j;
    qsizetype unused = 0;
    while ((k = m_lines.passPlain(k, bankEnd, unused), m_lines.has(k)) && !(is(at(k), openingSeparator) && !isRecordStart(k))
           && !isAnyStart(k)) {
        bankEnd = m_lines.line(k).end;
        m_lines.dropBefore(k);
        ++k;
    }
    r.bankText = bankTextOf(bankBegin, bankEnd);
    if (!m_lines.has(k) || !is(at(k), openingSeparator) || isRecordStart(k)) {
        r.complete = false;
        warn(r.line, QStringLiteral("%1 cut short before its text").arg(note ? QStringLiteral("note") : QStringLiteral("response")));
        return k;
    }
    size_t t = k + 1;
    if (!note) {
        if (is(at(t), responseLabel))
            ++t;
        else
            warn(numberOf(t), QStringLiteral("response without the line \"%1\"").arg(responseLabel));
    }
    const int textLine = numberOf(t); // the scan below drops the line

    // The text ends at the first closing separator that is followed by the
    // end of the file or by another record: a separator line the student
    // typed is part of the text.
    size_t e = t;
    bool closed = false;
    const qsizetype textBegin = m_lines.line(t).begin;
    qsizetype textEnd = textBegin, beforeLast = textBegin;
    for (; (e = m_lines.passPlain(e, textEnd, beforeLast), m_lines.has(e)); ++e) {
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
    // The text's last line: where it begins and ends, and where the line
    // before it ends. A record cut inside its closing line leaves part of
    // that line last: it is no text of the student's, and the rating
    // stands before it.
    qsizetype lastBegin = e > t ? m_lines.line(e - 1).begin : textBegin, lastEnd = textEnd;
    if (!closed && e > t && isCutClosingLine(at(e - 1))) {
        lastEnd = textEnd = beforeLast;
        lastBegin = lineStartBefore(lastEnd, textBegin, beforeLast);
    }
    if (!note && lastEnd > textBegin) {
        const QByteArrayView last(m_bytes.constData() + lastBegin, lastEnd - lastBegin);
        const QLatin1String label = startsWith(last, confidenceLabel)     ? confidenceLabel
                                    : startsWith(last, selfCritiqueLabel) ? selfCritiqueLabel
                                                                          : QLatin1String();
        if (!label.isEmpty()) {
            r.ratingKind = label == confidenceLabel ? FileRecord::Confidence : FileRecord::SelfCritique;
            r.rating = shortTextOf(lastBegin + label.size(), lastEnd);
            textEnd = beforeLast;
        }
    }
    r.text = decode(textBegin, textEnd);
    if (note) {
        if (r.text.startsWith(notesLabel))
            r.text.remove(0, notesLabel.size());
        else
            warn(textLine, QStringLiteral("note without \"%1\"").arg(notesLabel));
    }
    if (!closed) {
        r.complete = false;
        warn(r.line, QStringLiteral("%1 cut short (no closing line)").arg(note ? QStringLiteral("note") : QStringLiteral("response")));
    }
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
            keepWithinLimits();
        } else if (isRecordStart(i)) {
            i = readEntry(i);
            keepWithinLimits();
        } else {
            const int number = numberOf(from);
            const bool empty = at(from).isEmpty();
            qsizetype unused = 0, unusedBefore = 0;
            while ((i = m_lines.passPlain(i, unused, unusedBefore), m_lines.has(i)) && !isAnyStart(i)) {
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
    warnOfLimits();
}

} // namespace

RecordFileContents parseRecordBytes(const QByteArray &bytes, const QString &path, ParseCaches *caches,
                                    const ReadLimits &limits)
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
    // A record of the program's takes some hundreds of bytes at least.
    out.records.reserve(size_t(std::min<qsizetype>(bytes.size() / 512, 16384)));
    std::optional<ParseCaches> own;
    if (!caches)
        caches = &own.emplace();
    Parser(bytes, from, utf8, path, out, caches->data(), limits).run();
    if (out.records.empty())
        out.warnings.push_back({path, 0, QStringLiteral("no records found")});
    return out;
}

RecordFileContents readRecordFile(const QString &path)
{
    const oscalls::FileBytes file = oscalls::readRegularFile(oscalls::NativePath::fromText(path), largestRecordFile);
    if (!file.ok) {
        RecordFileContents out;
        out.warnings.push_back({path, 0, file.reason});
        return out;
    }
    return parseRecordBytes(file.bytes, path);
}
