#include "flow/queryform.h"

#include "platform/oscalls.h"
#include "platform/platform.h"
#include "records/recordfolder.h"
#include "records/recordformat.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QTimer>

#include <cmath>

using namespace recordformat;

namespace {

/// The folder's identity (device and file number), not how it was spelled,
/// so that a link or another spelling of one folder finds the same typing
/// to give back; its cleaned path while it does not exist.
QString folderKeyOf(const QString &folder)
{
    const oscalls::Identity id = oscalls::identityAt(folder);
    QString key = id.known ? QStringLiteral("id %1 %2").arg(id.device).arg(id.file)
                           : QDir::cleanPath(QDir(folder).absolutePath());
#ifdef Q_OS_WIN
    key = key.toLower();
#endif
    return QString::fromLatin1(QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha1).toHex());
}

/// The folder as recovery files name it, whatever way it was typed.
QString folderName(const QString &folder)
{
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    return QDir::toNativeSeparators(canonical.isEmpty() ? QDir::cleanPath(QDir(folder).absolutePath()) : canonical);
}

} // namespace

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
    return recordformat::questionKeyLine(leadingValue(assignmentNumber) * 10000 + leadingValue(questionNumber));
}

bool QueryForm::lockOutputFolder()
{
    // Two windows writing one folder would interleave their records and
    // glue one window's line onto the other's open SEND line: the folder's
    // lock, in the folder itself, keeps them apart on any account or computer.
    const QString date = platform.now().toString(dateFormat);
    sendMonthDay = date.left(2) + date.mid(3, 2);
    for (;;) {
        records = std::make_unique<RecordFolder>(outputFolder, sendMonthDay);
        outputFolderKey = folderKeyOf(outputFolder);
        outputFolderName = folderName(outputFolder);
        const RecordFolder::Opened opened = records->open();
        if (opened == RecordFolder::Opened::Ready) {
            lockRefresh->start();
            tellRecovered();
            return true;
        }
        // A folder that refuses its files is told of as the header record
        // fails, after the assignment is asked, as ever.
        if (opened == RecordFolder::Opened::Failed)
            return true;
        const OwnerLock::Owner holder = records->holder();
        records.reset();
        const QDateTime since = holder.since.toLocalTime();
        platform.message(QStringLiteral("Another Calculus Study window is writing its files to %1%2. "
                                        "Each window needs a folder of its own.")
                             .arg(QDir::toNativeSeparators(outputFolder),
                                  holder.readable ? QStringLiteral(" (on the computer %1, since %2 at %3)")
                                                        .arg(holder.host, since.toString(QStringLiteral("MM-dd-yyyy")),
                                                             since.toString(QStringLiteral("HH:mm")))
                                                  : QString()));
        const QString typed = platform.inputBox(QStringLiteral(
            "Enter the path to another folder for your files, or just hit the Enter key to end the program."));
        if (typed.isEmpty())
            return false;
        outputFolder = typed;
    }
}

void QueryForm::tellRecovered()
{
    const RecordFolder::Recovered &found = records->recovered();
    if (!found.problem.isEmpty())
        platform.message(QStringLiteral("A record that an earlier window left unfinished could not be cut off, "
                                        "so a file may hold part of a record:\n\n%1")
                             .arg(found.problem));
    if (!found.leftUncut.isEmpty())
        platform.message(QStringLiteral("A record that an earlier window left unfinished may be in these files, "
                                        "which something else changed since, so they were left as they are:\n\n%1")
                             .arg(found.leftUncut.join(QLatin1Char('\n'))));
}

void QueryForm::setOutputFilePaths()
{
    // As typed, a trailing separator doubled: the records themselves go
    // through the folder's absolute paths.
    const QString sep = pathSeparator();
    masterFilePath = outputFolder + sep + masterFileName;
    sendFilePath = outputFolder + sep + sendFilePrefix + sendMonthDay + sendFileSuffix;
    notesFilePath = outputFolder + sep + notesFileName;
}

bool QueryForm::writeHeaderRecord(const QString &heading)
{
    Header header;
    header.codeLine = makeCodeLine(codeKey);
    header.assignment = code(assignmentLabel + assignmentNumber, codeKey);
    header.heading = code(heading, codeKey);
    header.date = platform.now().toString(dateFormat);
    QString error;
    if (!records->writeHeader(header, error)) {
        platform.message(error);
        return false;
    }
    return true;
}
