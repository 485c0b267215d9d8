#include "flow/queryform.h"

#include "records/cp1252.h"
#include "records/recordfiles.h"
#include "platform/platform.h"

#include <cmath>

namespace {

/// Round to the nearest whole number, a half going to the even neighbour.
int roundHalfEven(double value)
{
    return int(std::nearbyint(value));
}

} // namespace

QString QueryForm::code(const QString &text, float)
{
    return text;
}

QString QueryForm::makeCodeLine(float count)
{
    QString line;
    for (int step = 1; step <= count; ++step) {
        const float r1 = platform.random();
        if (r1 < 0.1f) {
            const float r2 = platform.random();
            line.append(Cp1252::charOf(roundHalfEven(double(r2) * 50 + 66)));
        }
        const float r3 = platform.random();
        line.append(Cp1252::charOf(roundHalfEven(double(r3) * 137 + 118)));
    }
    return line;
}

QString QueryForm::decode(const QString &text, float key)
{
    QString out;
    out.reserve(text.size());
    for (const QChar ch : text) {
        int c = Cp1252::byteOf(ch);
        if (c < 0)
            c = ch.unicode();
        int mapped;
        if (c == 32)
            mapped = 32;
        else if (c < 66)
            mapped = roundHalfEven(double(c) + 209 - double(key));
        else if (c <= 118)
            continue;
        else
            mapped = roundHalfEven(double(c) - double(key) - 100);
        // A code outside the code page, which keys and characters near 119
        // produce, stands for nothing a line could hold: it is left out.
        if (mapped >= 0 && mapped <= 255)
            out.append(Cp1252::charOf(mapped));
    }
    return out;
}

void QueryForm::codeFile()
{
    const QString source = outputFolder + pathSeparator() + QStringLiteral("query") + queryFileTag
                           + QStringLiteral(".txt");
    const QString target = outputFolder + pathSeparator() + QStringLiteral("queri") + queryFileTag
                           + QStringLiteral(".txt");
    QString text, error;
    if (!readWholeFile(source, text, error)) {
        platform.message(error);
        return;
    }
    const QStringList lines = splitFileLines(text);
    if (lines.isEmpty()) {
        platform.message(QStringLiteral("%1: the file is empty").arg(source));
        return;
    }
    codeKey = float(lines.first().size());

    QFile::remove(target);
    RecordFiles out({target});
    for (const QString &line : lines) {
        const QString head = line.left(6).toLower();
        if (head == QLatin1String("assign"))
            out.line(line);
        else if (head == QLatin1String("query "))
            out.line(QStringLiteral("query") + code(line.mid(7), codeKey));
        else
            out.line(code(line, codeKey));
    }
    if (!out.close())
        platform.message(out.error());
}
