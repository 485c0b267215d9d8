#include "flow/queryform.h"

#include "records/recordfiles.h"
#include "records/recordjournal.h"
#include "records/recordformat.h"
#include "platform/oscalls.h"
#include "platform/platform.h"

#include <QDir>

#include <cmath>

using namespace recordformat;

QString QueryForm::timeLine()
{
    return QString(timeIndent, QLatin1Char(' ')) + platform.now().toString(timeFormat);
}

QString QueryForm::dateTimeLine()
{
    const QDateTime now = platform.now();
    return QString(timeIndent, QLatin1Char(' ')) + now.toString(dateFormat) + now.toString(timeFormat);
}

QString QueryForm::questionKeyLine() const
{
    const double key = leadingValue(assignmentNumber) * 10000 + leadingValue(questionNumber);
    // A number printed as an item: its sign position (a space or a minus),
    // the digits, and one space after.
    const QString digits = plainNumber(std::abs(key));
    return questionKeyLabel + (key < 0 ? QStringLiteral("-") : QStringLiteral(" "))
           + digits + QLatin1Char(' ');
}

void QueryForm::openRecordLedger(const QString &journalPath, const QStringList &orphanJournals)
{
    recordLedger = std::make_unique<RecordLedger>();
    QStringList problems;
    QStringList leftUncut;
    for (const QString &orphan : orphanJournals) {
        RecordJournal journal(orphan);
        if (const QByteArray kept = journal.recorded(); !kept.isEmpty())
            recordLedger->recorded.append(kept);
        QString reason;
        if (journal.rollBack(reason))
            oscalls::remove(orphan, reason);
        else
            problems.append(reason);
        leftUncut += journal.takeLeftUncut();
    }
    tellLeftUncut(leftUncut);
    // The folder's own journal is rolled back by the first record files
    // opened (the header record), before anything is appended.
    if (!journalPath.isEmpty()) {
        recordLedger->journal = std::make_unique<RecordJournal>(journalPath);
        if (const QByteArray kept = recordLedger->journal->recorded(); !kept.isEmpty())
            recordLedger->recorded.append(kept);
    }
    if (!problems.isEmpty())
        platform.message(QStringLiteral("A record that an earlier window left unfinished could not be cut off, "
                                        "so a file may hold part of a record:\n\n%1")
                             .arg(problems.join(QLatin1Char('\n'))));
}

void QueryForm::closeRecordLedger()
{
    // The journal is empty at a normal end; one that still notes a file (a
    // take-back that failed) stays for the next start to finish.
    if (recordLedger && recordLedger->journal && !recordLedger->journal->pending()) {
        QString ignored;
        oscalls::remove(recordLedger->journal->path(), ignored);
    }
    recordLedger.reset();
}

void QueryForm::setOutputFilePaths()
{
    const QString sep = pathSeparator();
    const QString date = platform.now().toString(dateFormat);
    sendMonthDay = date.left(2) + date.mid(3, 2);
    masterFilePath = outputFolder + sep + masterFileName;
    sendFilePath = outputFolder + sep + sendFilePrefix + sendMonthDay + sendFileSuffix;
    notesFilePath = outputFolder + sep + notesFileName;
}

bool QueryForm::writeHeaderRecord(const QString &heading)
{
    // Opening the master file first makes sure it exists, and a master file
    // that cannot be opened stops the record before the SEND file is touched;
    // a separate open and close before would only add one more sync to disk.
    headingEntry = heading;
    headerCodeLine = makeCodeLine(codeKey);
    RecordFiles files({masterFilePath, sendFilePath}, recordLedger.get());
    writeHeaderLines(files, 0);
    writeHeaderLines(files, 1);
    if (!files.close()) {
        platform.message(files.error());
        return false;
    }
    // The folder's own journal was rolled back as the header's files opened.
    if (recordLedger->journal)
        tellLeftUncut(recordLedger->journal->takeLeftUncut());
    return true;
}

void QueryForm::tellLeftUncut(const QStringList &paths)
{
    if (paths.isEmpty())
        return;
    QStringList shown;
    for (const QString &path : paths)
        shown.append(QDir::toNativeSeparators(path));
    platform.message(QStringLiteral("A record that an earlier window left unfinished may be in these files, which "
                                    "were replaced since, so they were left as they are:\n\n%1")
                         .arg(shown.join(QLatin1Char('\n'))));
}

void QueryForm::writeHeaderLines(RecordFiles &files, int index)
{
    files.lineTo(index, headerCodeLine);
    files.lineTo(index, code(assignmentLabel + assignmentNumber, codeKey));
    files.lineTo(index, code(headingEntry, codeKey));
    files.lineTo(index, courseTitle);
    files.lineTo(index, platform.now().toString(dateFormat));
}

void QueryForm::headNewFiles(RecordFiles &files)
{
    // A master or SEND file deleted during the run would otherwise start in
    // the middle of a record, with no assignment or date for the instructor.
    for (int i = 0; i < 2; ++i)
        if (files.startedEmpty(i))
            writeHeaderLines(files, i);
}
