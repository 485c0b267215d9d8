// Feeds arbitrary bytes to the output-file readers: Windows-1252 decoding,
// encoding and the line splitter used to show the notes and SEND files.
// Every byte must come back unchanged, lines must hold no CR and, joined
// again, give back the text; and text of any kind must survive encoding
// with nothing lost (a character the code page lacks as "&#N;").

#include "records/cp1252.h"
#include "records/recordfiles.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

[[noreturn]] void failure(const char *what)
{
    std::fprintf(stderr, "fuzz_filelines: %s\n", what);
    std::abort();
}

/// The text as a reader of the file sees its lines: every line ending one
/// CR LF, and the ending of the last line not part of any line.
QString linesExpected(const QString &text)
{
    QString t = text;
    t.replace(QLatin1String("\r\n"), QLatin1String("\r"));
    t.replace(QLatin1Char('\r'), QLatin1String("\r\n"));
    if (t.endsWith(QLatin1String("\r\n")))
        t.chop(2);
    return t;
}

/// Characters back from their "&#N;" references.
QString unreferenced(const QString &text)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == QLatin1Char('&') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('#')) {
            const qsizetype end = text.indexOf(QLatin1Char(';'), i);
            bool ok = false;
            const uint code = end > i ? text.mid(i + 2, end - i - 2).toUInt(&ok) : 0;
            if (!ok)
                failure("a reference that is not a number");
            if (code < 0x10000)
                out += QChar(char16_t(code));
            else
                out += QString::fromUcs4(reinterpret_cast<const char32_t *>(&code), 1);
            i = end;
            continue;
        }
        out += text.at(i);
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));

    const QString text = Cp1252::decode(bytes);
    if (text.size() != bytes.size())
        failure("decode is not one character per byte");
    if (Cp1252::encode(text) != bytes)
        failure("encode(decode(bytes)) differs from the bytes");

    const QStringList lines = splitFileLines(text);
    for (const QString &line : lines)
        if (line.contains(QLatin1Char('\r')))
            failure("a line holds a CR");
    if (lines.join(QStringLiteral("\r\n")) != linesExpected(text))
        failure("the lines joined again differ from the text");

    // The same bytes read as UTF-16 text typed by a student: all of it must
    // be recoverable from what is written.
    QString typed(qsizetype(size / 2), Qt::Uninitialized);
    std::memcpy(typed.data(), data, (size / 2) * 2);
    if (!typed.contains(QLatin1Char('&'))) {
        const QByteArray written = Cp1252::encode(typed);
        if (unreferenced(Cp1252::decode(written)) != typed)
            failure("a typed character was lost in encoding");
    }
    return 0;
}
