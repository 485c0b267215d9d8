#include "flow/queryform.h"

#include "records/recordfiles.h"
#include "ui/platform.h"

#include <cmath>

QString QueryForm::timeLine()
{
    return QString(36, QLatin1Char(' ')) + platform.now().toString(QStringLiteral("HH:mm:ss"));
}

QString QueryForm::dateTimeLine()
{
    const QDateTime now = platform.now();
    return QString(36, QLatin1Char(' ')) + now.toString(QStringLiteral("MM-dd-yyyy"))
           + now.toString(QStringLiteral("HH:mm:ss"));
}

QString QueryForm::questionKeyLine() const
{
    const double key = leadingValue(assignmentNumber) * 10000 + leadingValue(questionNumber);
    // A number printed as an item: its sign position (a space or a minus),
    // the digits, and one space after.
    const QString digits = plainNumber(std::abs(key));
    return QStringLiteral("`questionNumber") + (key < 0 ? QStringLiteral("-") : QStringLiteral(" "))
           + digits + QLatin1Char(' ');
}

bool QueryForm::writeHeaderRecord(const QString &heading)
{
    // Opening the master file first makes sure it exists, and a master file
    // that cannot be opened stops the record before the SEND file is touched;
    // a separate open and close before would only add one more sync to disk.
    RecordFiles files({masterFilePath, sendFilePath});
    const QString codeLine = makeCodeLine(codeKey);
    for (int i = 0; i < 2; ++i) {
        files.lineTo(i, codeLine);
        files.lineTo(i, code(QStringLiteral("assignment #") + assignmentNumber, codeKey));
        files.lineTo(i, code(heading, codeKey));
        files.lineTo(i, courseTitle);
        files.lineTo(i, platform.now().toString(QStringLiteral("MM-dd-yyyy")));
    }
    if (!files.close()) {
        platform.message(files.error());
        return false;
    }
    return true;
}
