// The build step of the course text: reads the content files with the same
// parser the tests use, checks them and writes a C++ source holding the
// finished entries, so that a malformed course file fails the build (with
// file and line) instead of a student's start-up.
//
//   compile-course OUTPUT.cpp CAPACITY FILE...
//
// The files are joined in the order given. On any error nothing is written,
// the error goes to standard error as "file:line: error: reason" and the
// exit status is 1.

#include "bank/content.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStringDecoder>

#include <cstdio>

namespace {

int failWith(const QString &text)
{
    std::fprintf(stderr, "%s\n", qPrintable(text));
    return 1;
}

/// Inserts "error: " after "file:line: ", the form compilers use, so that
/// build logs and editors point at the line.
QString asCompilerError(const QString &parserError)
{
    const QRegularExpression where(QStringLiteral("^(.*?:\\d+: )"));
    const QRegularExpressionMatch m = where.match(parserError);
    return m.hasMatch() ? m.captured(1) + QStringLiteral("error: ") + parserError.mid(m.capturedLength(1))
                        : parserError;
}

/// The line of the first byte sequence that is not UTF-8, or 0 when all is.
int firstBadUtf8Line(const QByteArray &bytes)
{
    const QList<QByteArray> lines = bytes.split('\n');
    for (int n = 0; n < lines.size(); ++n) {
        QStringDecoder utf8(QStringDecoder::Utf8);
        const QString decoded = utf8.decode(lines.at(n)); // decoding happens on conversion
        Q_UNUSED(decoded);
        if (utf8.hasError())
            return n + 1;
    }
    return 0;
}

/// One entry as a C++ UTF-16 literal, broken after each line break of the
/// entry so that the generated file reads like the course text.
QByteArray literal(const QString &text)
{
    QByteArray out = "u\"";
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c == u'\\' || c == u'"')
            out += '\\', out += char(c);
        else if (c == u'\r')
            out += "\\r";
        else if (c == u'\n')
            out += i + 1 < text.size() ? "\\n\"\n    u\"" : "\\n";
        else if (c == u'?')
            out += "\\?"; // never part of a trigraph, whatever the compiler
        else if (c >= 32 && c < 127)
            out += char(c);
        else if (c < 0xA0)
            // A universal character name below U+00A0 is ill-formed; an octal
            // escape never takes in the digits after it.
            out += '\\' + QByteArray::number(c, 8).rightJustified(3, '0');
        else if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            // A surrogate half is no character of its own: the pair is written as one.
            const char32_t pair = QChar::surrogateToUcs4(c, text.at(i + 1).unicode());
            out += QByteArray("\\U") + QByteArray::number(uint(pair), 16).rightJustified(8, '0');
            ++i;
        } else
            out += QByteArray("\\u") + QByteArray::number(c, 16).rightJustified(4, '0');
    }
    out += '"';
    return out;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    bool capacityOk = false;
    const int capacity = args.size() >= 2 ? args.at(1).toInt(&capacityOk) : 0;
    if (args.size() < 3 || !capacityOk || capacity < 1)
        return failWith(QStringLiteral("usage: compile-course OUTPUT.cpp CAPACITY FILE..."));

    QStringList entries, sources;
    for (const QString &path : args.mid(2)) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return failWith(QStringLiteral("%1: error: %2").arg(path, file.errorString()));
        const QByteArray bytes = file.readAll();
        QStringDecoder utf8(QStringDecoder::Utf8);
        const QString text = utf8.decode(bytes);
        if (utf8.hasError())
            return failWith(QStringLiteral("%1:%2: error: not UTF-8 text").arg(path).arg(firstBadUtf8Line(bytes)));
        const ParsedContent content = parseContent(text, path);
        if (!content.error.isEmpty())
            return failWith(asCompilerError(content.error));
        for (const ContentStep &step : content.steps) {
            if (step.append) {
                entries.last() += step.text;
                continue;
            }
            if (entries.size() >= capacity)
                return failWith(QStringLiteral("%1:%2: error: the course text holds more than %3 entries; "
                                               "the question bank cannot hold it")
                                    .arg(path)
                                    .arg(step.line)
                                    .arg(capacity));
            entries.append(step.text);
            sources.append(QStringLiteral("%1:%2").arg(QFileInfo(path).fileName()).arg(step.line));
        }
    }

    QByteArray out = "// Generated by compile-course from the course text (bank/content/*.txt).\n"
                     "// Do not edit: edit the course text and build again.\n\n"
                     "#include \"bank/compiledcourse.h\"\n\n"
                     "namespace {\n\n"
                     "constexpr QStringView entries[] = {\n";
    for (int i = 0; i < entries.size(); ++i) {
        out += "    // entry " + QByteArray::number(i + 1) + ", " + sources.at(i).toUtf8() + "\n";
        out += "    QStringView(" + literal(entries.at(i)) + ", " + QByteArray::number(entries.at(i).size())
               + "),\n";
    }
    if (entries.isEmpty())
        out += "    QStringView(),\n"; // an array may not be empty; the count below says 0
    out += "};\n\n} // namespace\n\n"
           "QStringList compiledCourseEntries()\n{\n"
           "    constexpr qsizetype count = "
           + QByteArray::number(entries.size())
           + ";\n"
             "    QStringList list;\n"
             "    list.reserve(count);\n"
             "    for (qsizetype i = 0; i < count; ++i)\n"
             "        list.append(entries[i].isEmpty() ? QString() : QString::fromRawData(entries[i].data(), entries[i].size()));\n"
             "    return list;\n}\n";

    QSaveFile output(args.at(0));
    if (!output.open(QIODevice::WriteOnly) || output.write(out) != out.size() || !output.commit())
        return failWith(QStringLiteral("%1: error: %2").arg(args.at(0), output.errorString()));
    return 0;
}
