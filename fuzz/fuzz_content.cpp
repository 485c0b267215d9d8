// Feeds arbitrary bytes, read as UTF-8 as the bank loader reads them, to the
// content-file parser. Beyond not crashing, whatever it accepts must be text
// the program can show and write: line breaks only as CR LF pairs and no
// control characters, and writing the steps back out in the content format
// must read back as the same steps.

#include "bank/content.h"

#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void failure(const char *what, const QString &detail)
{
    std::fprintf(stderr, "fuzz_content: %s: %s\n", what, qPrintable(detail.left(200)));
    std::abort();
}

void checkStepText(const QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\r')) {
            if (i + 1 >= text.size() || text.at(i + 1) != QLatin1Char('\n'))
                failure("lone CR in a step", text);
            ++i;
            continue;
        }
        if (c == QLatin1Char('\n'))
            failure("lone LF in a step", text);
        if (c.category() == QChar::Other_Control)
            failure("control character in a step", QString::number(c.unicode(), 16));
    }
}

/// One step text in the content format, every line escaped so that it reads
/// back unchanged.
QString written(const QString &text)
{
    QString out;
    const QStringList lines = text.split(QStringLiteral("\r\n"));
    for (const QString &line : lines) {
        QString escaped;
        for (const QChar c : line) {
            if (c == QLatin1Char('\\'))
                escaped += QLatin1String("\\\\");
            else if (c == QLatin1Char('@') && escaped.isEmpty())
                escaped += QLatin1String("\\@");
            else
                escaped += c;
        }
        if (escaped.isEmpty() || escaped.endsWith(QLatin1Char(' ')))
            escaped += QLatin1String("\\e");
        out += escaped + QLatin1Char('\n');
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const ParsedContent parsed = parseContent(text, QStringLiteral("f.txt"));
    if (!parsed.error.isEmpty()) {
        if (!parsed.error.startsWith(QLatin1String("f.txt:")))
            failure("error without the file name", parsed.error);
        return 0;
    }
    int lastLine = 0;
    QString again;
    for (const ContentStep &step : parsed.steps) {
        checkStepText(step.text);
        if (step.line <= lastLine)
            failure("step lines not increasing", QString::number(step.line));
        lastLine = step.line;
        again += QLatin1String(step.append ? "@+\n" : "@@\n");
        if (!step.text.isEmpty())
            again += written(step.text);
    }
    if (parsed.steps.empty() && text.startsWith(QLatin1Char('@')))
        failure("a text starting with an entry gave no steps", text);

    const ParsedContent reread = parseContent(again, QStringLiteral("again.txt"));
    if (!reread.error.isEmpty())
        failure("written steps refused", reread.error);
    if (reread.steps.size() != parsed.steps.size())
        failure("written steps read back as another count", again);
    for (size_t i = 0; i < parsed.steps.size(); ++i) {
        if (reread.steps[i].append != parsed.steps[i].append || reread.steps[i].text != parsed.steps[i].text)
            failure("written step read back differently", parsed.steps[i].text);
    }
    return 0;
}
