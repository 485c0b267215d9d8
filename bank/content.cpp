#include "bank/content.h"

namespace {

QString where(const QString &fileName, int line)
{
    return QStringLiteral("%1:%2: ").arg(fileName).arg(line);
}

/// Undoes the escapes of one text line; false with `error` set on a bad one.
bool unescapeLine(const QString &line, QString &out, QString &error)
{
    out.clear();
    out.reserve(line.size());
    // Characters are copied in runs, and printable ASCII skips the control
    // check: the whole course passes through here at every build.
    qsizetype run = 0;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (c.unicode() >= 32 && c.unicode() < 127 && c != QLatin1Char('\\'))
            continue;
        if (c == QLatin1Char('\\')) {
            out.append(line.constData() + run, i - run);
            const QChar next = i + 1 < line.size() ? line.at(i + 1) : QChar();
            if (next == QLatin1Char('\\') || next == QLatin1Char('@'))
                out.append(next);
            else if (next != QLatin1Char('e')) {
                error = QStringLiteral("unknown escape (write \\\\, \\e or \\@)");
                return false;
            }
            ++i;
            run = i + 1;
            continue;
        }
        // The C1 controls (U+0080 to U+009F) as well: invisible in the boxes,
        // they are mostly Windows-1252 text mis-read, never course text.
        if (c.category() == QChar::Other_Control) {
            error = QStringLiteral("control character U+%1 (tabs included)")
                        .arg(c.unicode(), 4, 16, QLatin1Char('0'));
            return false;
        }
    }
    out.append(line.constData() + run, line.size() - run);
    return true;
}

} // namespace

ParsedContent parseContent(const QString &text, const QString &fileName)
{
    ParsedContent result;
    QStringList lines = text.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();

    // Each text line of a step, and whether it was empty as written (a line
    // holding only \e is kept even where empty lines are dropped).
    std::vector<std::vector<std::pair<QString, bool>>> stepLines;
    QString unescaped, error;
    for (int n = 0; n < lines.size(); ++n) {
        QString line = lines.at(n);
        const int lineNumber = n + 1;
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1); // a checkout with Windows line endings reads the same
        if (line.startsWith(QLatin1Char('@'))) {
            const bool isNew = line.startsWith(QLatin1String("@@"));
            const bool isAppend = line.startsWith(QLatin1String("@+"));
            if ((!isNew && !isAppend) || (line.size() > 2 && line.at(2) != QLatin1Char(' '))) {
                result.error = where(fileName, lineNumber)
                               + QStringLiteral("a line starting with @ must be @@ or @+ (write \\@ for text)");
                return result;
            }
            if (isAppend && result.steps.empty()) {
                result.error = where(fileName, lineNumber) + QStringLiteral("@+ before any entry");
                return result;
            }
            result.steps.push_back(ContentStep{isAppend, QString(), lineNumber});
            stepLines.emplace_back();
            continue;
        }
        if (result.steps.empty()) {
            if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
                continue;
            result.error = where(fileName, lineNumber) + QStringLiteral("text before the first @@");
            return result;
        }
        if (line.endsWith(QLatin1Char(' '))) {
            result.error = where(fileName, lineNumber)
                           + QStringLiteral("trailing blank (end the line with \\e to keep it)");
            return result;
        }
        if (!unescapeLine(line, unescaped, error)) {
            result.error = where(fileName, lineNumber) + error;
            return result;
        }
        stepLines.back().emplace_back(unescaped, line.isEmpty());
    }

    for (size_t i = 0; i < result.steps.size(); ++i) {
        const auto &body = stepLines[i];
        size_t begin = 0, end = body.size();
        while (begin < end && body[begin].second)
            ++begin;
        while (end > begin && body[end - 1].second)
            --end;
        QString &joined = result.steps[i].text;
        for (size_t k = begin; k < end; ++k) {
            if (k > begin)
                joined += QLatin1String("\r\n");
            joined += body[k].first;
        }
    }
    return result;
}
