#include "records/cp1252.h"

#include <QStringDecoder>

#include <array>

namespace {

struct Table
{
    std::array<char16_t, 256> toUnicode{};
    std::array<qint16, 0x2200> fromUnicode{}; // the highest cp1252 character is U+2122

    Table()
    {
        // Windows-1252 from 0x80 to 0x9F, for a Qt built without ICU.
        static const char16_t high[32] = {
            0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
            0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
            0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
            0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
        for (int b = 0; b < 256; ++b)
            toUnicode[b] = (b >= 0x80 && b < 0xA0) ? high[b - 0x80] : char16_t(b);

        QStringDecoder toolkit("windows-1252");
        if (toolkit.isValid()) {
            QByteArray all(256, Qt::Uninitialized);
            for (int b = 0; b < 256; ++b)
                all[b] = char(b);
            const QString chars = toolkit.decode(all);
            if (!toolkit.hasError() && chars.size() == 256) {
                for (int b = 0; b < 256; ++b)
                    toUnicode[b] = chars.at(b).unicode();
            }
        }
        fromUnicode.fill(-1);
        for (int b = 0; b < 256; ++b)
            if (toUnicode[b] < fromUnicode.size())
                fromUnicode[toUnicode[b]] = qint16(b);
    }
};

const Table &table()
{
    static const Table t;
    return t;
}

} // namespace

namespace Cp1252 {

QChar charOf(int byte)
{
    return QChar(table().toUnicode[byte & 0xFF]);
}

int byteOf(QChar c)
{
    const char16_t u = c.unicode();
    return u < table().fromUnicode.size() ? table().fromUnicode[u] : -1;
}

QByteArray encode(const QString &text)
{
    const Table &t = table();
    QByteArray out;
    out.reserve(text.size());
    const char16_t *p = reinterpret_cast<const char16_t *>(text.constData());
    const char16_t *end = p + text.size();
    for (; p < end; ++p) {
        const char16_t u = *p;
        if (u < 0x80) {
            out.append(char(u));
            continue;
        }
        if (u < t.fromUnicode.size() && t.fromUnicode[u] >= 0) {
            out.append(char(t.fromUnicode[u]));
            continue;
        }
        char32_t codePoint = u;
        if (QChar::isHighSurrogate(u) && p + 1 < end && QChar::isLowSurrogate(p[1])) {
            codePoint = QChar::surrogateToUcs4(u, p[1]);
            ++p;
        }
        out.append("&#").append(QByteArray::number(quint32(codePoint))).append(';');
    }
    return out;
}

QString decode(const QByteArray &bytes)
{
    const Table &t = table();
    QString out(bytes.size(), Qt::Uninitialized);
    char16_t *q = reinterpret_cast<char16_t *>(out.data());
    for (const char b : bytes)
        *q++ = t.toUnicode[uchar(b)];
    return out;
}

} // namespace Cp1252
