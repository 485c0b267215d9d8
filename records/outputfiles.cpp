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
    headingEntry = heading;
    headerCodeLine = makeCodeLine(codeKey);
    RecordFiles files({masterFilePath, sendFilePath});
    writeHeaderLines(files, 0);
    writeHeaderLines(files, 1);
    if (!files.close()) {
        platform.message(files.error());
        return false;
    }
    return true;
}

void QueryForm::writeHeaderLines(RecordFiles &files, int index)
{
    files.lineTo(index, headerCodeLine);
    files.lineTo(index, code(QStringLiteral("assignment #") + assignmentNumber, codeKey));
    files.lineTo(index, code(headingEntry, codeKey));
    files.lineTo(index, courseTitle);
    files.lineTo(index, platform.now().toString(QStringLiteral("MM-dd-yyyy")));
}

void QueryForm::headNewFiles(RecordFiles &files)
{
    // A master or SEND file deleted during the run would otherwise start in
    // the middle of a record, with no assignment or date for the instructor.
    for (int i = 0; i < 2; ++i)
        if (files.startedEmpty(i))
            writeHeaderLines(files, i);
}
