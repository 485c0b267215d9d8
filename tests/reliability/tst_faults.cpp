#include "mounts.h"
#include "reliability.h"
#include "tests/formaccess.h"

#include "records/cp1252.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

#include <map>
#include <memory>

#include <sys/stat.h>

using namespace reliability;

namespace {

enum Fault {
    DiskFull,
    FolderRemoved,
    FolderRenamed,
    FolderIsFile,
    NotesIsFolder,
    SendIsFolder,
    SendDeleted,
    FolderReadOnly,
    MasterReadOnly,
    SendReadOnly,
    NotesReadOnly,
    MasterIsFolder,
    SendIsFifo,
    NotesIsFifo,
    MasterIsFifo,
    SendIsDevice,
};

enum Command { EnterResponse, SaveAsNotes, DisplayNotes, DisplaySend };

const QByteArray opening = "......!!!!!!!!...................................";
const QByteArray closing(49, '.');
const QStringList allFiles = {masterName, sendName, notesName};

/// The response record as it must stand in the master or SEND file.
QByteArray responseRecord(bool master, const QByteArray &lastLine, const QString &typed, const QByteArray &rating)
{
    QByteArray r = opening + "\r\n" + QByteArray(36, ' ') + "14:05:09\r\n";
    if (master)
        r += "\r\n\r\n`questionNumber 10000 \r\n";
    return r + lastLine + "\r\n" + opening + "\r\nRESPONSE -->  \r\n" + Cp1252::encode(typed) + "\r\n" + rating
           + "\r\n" + closing + "\r\n";
}

/// The header record of the test bank's run, after its code line.
const QByteArray headerAfterCodeLine = "assignment #001\r\n001.  `Query 1\r\nApplied Calculus I\r\n03-06-2026\r\n";

/// What a file that was missing must hold after one record: the run's
/// header (with the code line of `earlierMaster`'s header), then the record.
QByteArray headedRecord(const QByteArray &earlierMaster, const QByteArray &record)
{
    return earlierMaster.left(earlierMaster.indexOf("\r\n") + 2) + headerAfterCodeLine + record;
}

/// The message a failed command gives, up to the file's path.
QString failurePrefix(int command)
{
    switch (command) {
    case EnterResponse:
        return QStringLiteral("Your response was not saved.\n\n");
    case SaveAsNotes:
        return QStringLiteral("Your note was not saved.\n\n");
    case DisplayNotes:
        return QStringLiteral("The notes file cannot be shown.\n\n");
    default:
        return QStringLiteral("The SEND file cannot be shown.\n\n");
    }
}

bool makeFifo(const QString &path)
{
    return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
}

bool needsMount(int fault)
{
    return fault == DiskFull || fault == FolderReadOnly || fault == MasterReadOnly || fault == SendReadOnly
           || fault == NotesReadOnly;
}

void perform(FolderRun &run, int command)
{
    switch (command) {
    case EnterResponse:
        inside(*run.form).cmdEnterResponseClick();
        break;
    case SaveAsNotes:
        inside(*run.form).cmdSaveAsNotesClick();
        break;
    case DisplayNotes:
        inside(*run.form).cmdDisplayNoteFileClick();
        break;
    case DisplaySend:
        inside(*run.form).cmdDisplaySendFileClick();
        break;
    }
}

/// Records made before any fault: the header, a rated response and a note.
std::map<QString, QByteArray> earlierRecords(FolderRun &run)
{
    inside(*run.form).cmdNextQuestionClick();
    run.typeAnswer(QStringLiteral("first answer"));
    run.platform.answers = {QStringLiteral("2")};
    inside(*run.form).cmdEnterResponseClick();
    run.typeAnswer(QStringLiteral("first note"));
    inside(*run.form).cmdSaveAsNotesClick();
    std::map<QString, QByteArray> files;
    for (const QString &name : allFiles)
        files[name] = run.bytes(name);
    return files;
}

/// A long answer, so that a full disk cannot take it in the room left at
/// the end of a file's last page.
QString longAnswer()
{
    QString text;
    for (int i = 0; text.size() < 64 * 1024; ++i)
        text += QStringLiteral("line %1 of a long and careful answer\r\n").arg(i);
    return text + QStringLiteral("the end");
}

/// The run goes on after one message naming the file and the reason, and
/// the student's typed text is still in the answer box.
void checkToldAndKept(FolderRun &run, int command, const QString &named, const QString &reason,
                      const QString &typed)
{
    QVERIFY(!run.form->runEnded());
    QCOMPARE(run.platform.messages.size(), 1);
    const QString message = run.platform.messages.first();
    const QString told = failurePrefix(command) + QDir::toNativeSeparators(run.at(named)) + QStringLiteral(": ");
    QVERIFY2(message.startsWith(told), qPrintable(message));
    QVERIFY2(message.contains(reason, Qt::CaseInsensitive), qPrintable(message));
    if (command == EnterResponse || command == SaveAsNotes)
        QVERIFY2(message.endsWith(QStringLiteral("\n\nYour text is still in the answer box.")), qPrintable(message));
    QCOMPARE(run.boxAnswer(), typed);
}

} // namespace

class FaultsTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> scratch;
    Mounts mounts;

    QString folder() const { return scratch->filePath(QStringLiteral("out")); }

private slots:
    void init();
    void cleanup();
    void faultAfterStartup_data();
    void faultAfterStartup();
    void faultWhileRatingWaits_data();
    void faultWhileRatingWaits();
    void recordOnDiskWhileRatingWaits_data();
    void recordOnDiskWhileRatingWaits();
    void faultAtStartup_data();
    void faultAtStartup();
    void missingFileGetsHeader_data();
    void missingFileGetsHeader();
    void anotherWriterAddsDuringTheWrite_data();
    void anotherWriterAddsDuringTheWrite();
    void normalEndsExitWithZero_data();
    void normalEndsExitWithZero();
    void copyPictureWithNothingStoredKeepsClipboard();
    void bindMountIsTheSameFolder();
};

void FaultsTest::init()
{
    scratch = std::make_unique<QTemporaryDir>();
    QVERIFY(scratch->isValid());
    QVERIFY(QDir(scratch->path()).mkdir(QStringLiteral("out")));
}

void FaultsTest::cleanup()
{
    // Mounts go before the folders that hold them, failed check or not.
    mounts.unmountAll();
    scratch.reset();
}

void FaultsTest::faultAfterStartup_data()
{
    QTest::addColumn<int>("fault");
    QTest::addColumn<int>("command");
    QTest::addColumn<QString>("named"); // the file the message must name
    QTest::addColumn<QString>("reason");

    // The journal's note, which holds every byte to come, is what the full disk refuses first.
    QTest::newRow("disk full: Enter Response") << int(DiskFull) << int(EnterResponse) << journalName
                                               << systemReason(ENOSPC);
    QTest::newRow("disk full: Save as Notes") << int(DiskFull) << int(SaveAsNotes) << journalName
                                              << systemReason(ENOSPC);
    const std::pair<Command, QString> all[] = {{EnterResponse, QStringLiteral("Enter Response")},
                                               {SaveAsNotes, QStringLiteral("Save as Notes")},
                                               {DisplayNotes, QStringLiteral("display notes")},
                                               {DisplaySend, QStringLiteral("display SEND file")}};
    for (const auto &[command, label] : all) {
        const QString named = command == DisplayNotes ? notesName : command == DisplaySend ? sendName : masterName;
        QTest::addRow("folder removed: %s", qPrintable(label))
            << int(FolderRemoved) << int(command) << named << systemReason(ENOENT);
        QTest::addRow("folder renamed: %s", qPrintable(label))
            << int(FolderRenamed) << int(command) << named << systemReason(ENOENT);
        QTest::addRow("folder replaced by a file: %s", qPrintable(label))
            << int(FolderIsFile) << int(command) << named << systemReason(ENOTDIR);
    }
    QTest::newRow("notes file replaced by a folder: Save as Notes")
        << int(NotesIsFolder) << int(SaveAsNotes) << notesName << "folder";
    QTest::newRow("notes file replaced by a folder: display notes")
        << int(NotesIsFolder) << int(DisplayNotes) << notesName << "folder";
    QTest::newRow("SEND file replaced by a folder: Enter Response")
        << int(SendIsFolder) << int(EnterResponse) << sendName << "folder";
    QTest::newRow("SEND file replaced by a folder: Save as Notes")
        << int(SendIsFolder) << int(SaveAsNotes) << sendName << "folder";
    QTest::newRow("SEND file replaced by a folder: display SEND file")
        << int(SendIsFolder) << int(DisplaySend) << sendName << "folder";
    QTest::newRow("SEND file deleted: display SEND file")
        << int(SendDeleted) << int(DisplaySend) << sendName << systemReason(ENOENT);
    const QString notRegular = QStringLiteral("it is not a regular file");
    QTest::newRow("SEND file replaced by a FIFO: Enter Response")
        << int(SendIsFifo) << int(EnterResponse) << sendName << notRegular;
    QTest::newRow("SEND file replaced by a FIFO: display SEND file")
        << int(SendIsFifo) << int(DisplaySend) << sendName << notRegular;
    QTest::newRow("notes file replaced by a FIFO: Save as Notes")
        << int(NotesIsFifo) << int(SaveAsNotes) << notesName << notRegular;
    QTest::newRow("notes file replaced by a FIFO: display notes")
        << int(NotesIsFifo) << int(DisplayNotes) << notesName << notRegular;
    // A link in a file's place is never followed, wherever it leads.
    QTest::newRow("SEND file replaced by a link to a device: Save as Notes")
        << int(SendIsDevice) << int(SaveAsNotes) << sendName << QStringLiteral("it is a symbolic link");
    QTest::newRow("read-only folder: Enter Response") << int(FolderReadOnly) << int(EnterResponse) << masterName
                                                      << systemReason(EROFS);
    QTest::newRow("read-only folder: Save as Notes") << int(FolderReadOnly) << int(SaveAsNotes) << masterName
                                                     << systemReason(EROFS);
    QTest::newRow("read-only master file: Enter Response")
        << int(MasterReadOnly) << int(EnterResponse) << masterName << systemReason(EROFS);
    QTest::newRow("read-only SEND file: Enter Response")
        << int(SendReadOnly) << int(EnterResponse) << sendName << systemReason(EROFS);
    QTest::newRow("read-only SEND file: Save as Notes")
        << int(SendReadOnly) << int(SaveAsNotes) << sendName << systemReason(EROFS);
    QTest::newRow("read-only notes file: Save as Notes")
        << int(NotesReadOnly) << int(SaveAsNotes) << notesName << systemReason(EROFS);
}

void FaultsTest::faultAfterStartup()
{
    QFETCH(int, fault);
    QFETCH(int, command);
    QFETCH(QString, named);
    QFETCH(QString, reason);
    if (needsMount(fault) && !Mounts::unavailable().isEmpty())
        QSKIP(qPrintable(Mounts::unavailable()));
    if (fault == DiskFull)
        MOUNT_OR_SKIP(mounts.tmpfs(folder(), 512 * 1024));

    FolderRun run(folder());
    QVERIFY(run.start());
    const auto before = earlierRecords(run);
    QCOMPARE(run.platform.messages, QStringList());
    inside(*run.form).cmdNextQuestionClick(); // the given answer: a self-critique rating comes next
    const QString typed = fault == DiskFull ? longAnswer() : QStringLiteral("second answer,\r\nlong and careful");
    run.typeAnswer(typed);

    const QString moved = scratch->filePath(QStringLiteral("moved"));
    QString filler;
    switch (fault) {
    case DiskFull:
        filler = fillDisk(folder());
        QVERIFY(!filler.isEmpty());
        break;
    case FolderRemoved:
        QVERIFY(QDir(folder()).removeRecursively());
        break;
    case FolderRenamed:
        QVERIFY(QDir().rename(folder(), moved));
        break;
    case FolderIsFile:
        QVERIFY(QDir(folder()).removeRecursively());
        QVERIFY(writeBytes(folder(), "a file where the folder was"));
        break;
    case NotesIsFolder:
    case SendIsFolder:
        QVERIFY(QFile::remove(run.at(named)));
        QVERIFY(QDir().mkdir(run.at(named)));
        break;
    case SendDeleted:
        QVERIFY(QFile::remove(run.at(sendName)));
        break;
    case SendIsFifo:
    case NotesIsFifo:
        QVERIFY(QFile::remove(run.at(named)));
        QVERIFY(makeFifo(run.at(named)));
        break;
    case SendIsDevice:
        QVERIFY(QFile::remove(run.at(named)));
        if (QFileInfo(QStringLiteral("/dev/zero")).isFile() || !QFileInfo::exists(QStringLiteral("/dev/zero")))
            QSKIP("/dev/zero is not a device here");
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), run.at(named)));
        break;
    case FolderReadOnly:
        MOUNT_OR_SKIP(mounts.readOnly(folder()));
        break;
    default: // one read-only file
        MOUNT_OR_SKIP(mounts.readOnly(run.at(named)));
        break;
    }

    perform(run, command); // a FIFO opened to wait for a reader would hang here

    QCOMPARE(run.platform.exits, 0);
    checkToldAndKept(run, command, named, reason, typed);
    if (QTest::currentTestFailed())
        return;

    // Every record written before the fault, still whole wherever it is now.
    const QString keptIn = fault == FolderRenamed ? moved : folder();
    // Nothing of the failed record is left in any file, a full disk included.
    auto replaced = [&](const QString &name) {
        return fault == FolderRemoved || fault == FolderIsFile
               || (name == named
                   && (fault == NotesIsFolder || fault == SendIsFolder || fault == SendIsFifo
                       || fault == NotesIsFifo || fault == SendIsDevice))
               || (name == sendName && fault == SendDeleted);
    };
    for (const QString &name : allFiles)
        if (!replaced(name))
            QCOMPARE(bytesOf(keptIn + QLatin1Char('/') + name), before.at(name));
    if (fault == FolderRemoved || fault == FolderRenamed)
        QVERIFY(!QFileInfo::exists(folder())); // nothing made in its place
    if (fault == FolderIsFile)
        QCOMPARE(bytesOf(folder()), QByteArray("a file where the folder was"));
    if (fault == SendDeleted)
        QVERIFY(!QFileInfo::exists(run.at(sendName)));

    // Once the fault is put right, the same run records the same text.
    switch (fault) {
    case DiskFull:
        QVERIFY(QFile::remove(filler));
        break;
    case FolderRemoved:
        QVERIFY(QDir().mkdir(folder()));
        break;
    case FolderRenamed:
        QVERIFY(QDir().rename(moved, folder()));
        break;
    case FolderIsFile:
        QVERIFY(QFile::remove(folder()));
        QVERIFY(QDir().mkdir(folder()));
        break;
    case NotesIsFolder:
    case SendIsFolder:
        QVERIFY(QDir().rmdir(run.at(named)));
        break;
    case SendDeleted:
        break;
    case SendIsFifo:
    case NotesIsFifo:
    case SendIsDevice:
        QVERIFY(QFile::remove(run.at(named)));
        break;
    default:
        QVERIFY(mounts.unmountLast());
        break;
    }
    run.platform.answers = {QStringLiteral("3")};
    inside(*run.form).cmdEnterResponseClick();
    if ((command == DisplayNotes || command == DisplaySend) && (fault == FolderRemoved || fault == FolderIsFile)) {
        // The display told of one file; the master, gone with the folder, is
        // told of when the record finds it changed, and the retry heads it.
        QCOMPARE(run.platform.messages.size(), 2);
        QCOMPARE(run.platform.messages.last(),
                 QStringLiteral("Your response was not saved.\n\n") + QDir::toNativeSeparators(run.at(masterName))
                     + QStringLiteral(": the file changed since this window last wrote it (it was emptied or deleted)"
                                      "\n\nYour text is still in the answer box."));
        run.platform.messages.removeLast();
        run.platform.answers = {QStringLiteral("3")};
        inside(*run.form).cmdEnterResponseClick();
    }
    QCOMPARE(run.platform.messages.size(), 1);
    QCOMPARE(run.boxAnswer(), QString());
    // Exactly one whole record; a file that was gone starts with the run's header.
    for (const QString &name : {masterName, sendName}) {
        const QByteArray record = responseRecord(name == masterName, " First answer.**", typed,
                                                 "self critique assessment: 3");
        const QByteArray expected = replaced(name) ? headedRecord(before.at(masterName), record)
                                                   : before.at(name) + record;
        QCOMPARE(run.bytes(name), expected);
    }
}

void FaultsTest::faultWhileRatingWaits_data()
{
    QTest::addColumn<int>("fault");
    QTest::addColumn<QString>("named");
    QTest::addColumn<QString>("reason");
    QTest::newRow("SEND file deleted") << int(SendDeleted) << sendName << "moved or deleted";
    QTest::newRow("SEND file replaced by a folder") << int(SendIsFolder) << sendName << "moved or deleted";
    QTest::newRow("output folder removed") << int(FolderRemoved) << masterName << "moved or deleted";
    QTest::newRow("output folder renamed") << int(FolderRenamed) << masterName << "moved or deleted";
    QTest::newRow("disk full") << int(DiskFull) << masterName << systemReason(ENOSPC);
}

void FaultsTest::faultWhileRatingWaits()
{
    QFETCH(int, fault);
    QFETCH(QString, named);
    QFETCH(QString, reason);
    QString typed = QStringLiteral("my answer");
    if (fault == DiskFull) {
        if (!Mounts::unavailable().isEmpty())
            QSKIP(qPrintable(Mounts::unavailable()));
        // A full tmpfs still takes writes into the unused end of a file's
        // last page, so the answer is sized for the lines before the rating
        // to end the master file exactly on a page: the rating line then
        // needs a page that is not there. A run on the ordinary disk tells
        // how long those lines are without the answer.
        const QString calibration = scratch->filePath(QStringLiteral("calibration"));
        QVERIFY(QDir().mkdir(calibration));
        FolderRun probe(calibration);
        QVERIFY(probe.start());
        earlierRecords(probe);
        const qint64 earlier = probe.bytes(masterName).size();
        qint64 waiting = 0;
        probe.platform.onInput = [&](const QString &) {
            waiting = probe.bytes(masterName).size();
            return QStringLiteral("2");
        };
        inside(*probe.form).cmdNextQuestionClick();
        inside(*probe.form).cmdNextQuestionClick(); // the second question
        probe.typeAnswer(QString());
        inside(*probe.form).cmdEnterResponseClick();
        QVERIFY(waiting > earlier);
        const qint64 page = 4096;
        const qint64 rest = (page - waiting % page) % page;
        typed = QString(int(rest == 0 ? page : rest), QLatin1Char('y'));
        MOUNT_OR_SKIP(mounts.tmpfs(folder(), 512 * 1024));
    }

    FolderRun run(folder());
    QVERIFY(run.start());
    const auto before = earlierRecords(run);
    inside(*run.form).cmdNextQuestionClick();
    inside(*run.form).cmdNextQuestionClick(); // the second question: a confidence rating comes next
    run.typeAnswer(typed);
    const QString moved = scratch->filePath(QStringLiteral("moved"));
    qint64 masterWhileWaiting = 0;
    bool injected = false;
    run.platform.onInput = [&](const QString &) {
        masterWhileWaiting = run.bytes(masterName).size();
        switch (fault) {
        case SendDeleted:
            injected = QFile::remove(run.at(sendName));
            break;
        case SendIsFolder:
            injected = QFile::remove(run.at(sendName)) && QDir().mkdir(run.at(sendName));
            break;
        case FolderRemoved:
            injected = QDir(folder()).removeRecursively();
            break;
        case FolderRenamed:
            injected = QDir().rename(folder(), moved);
            break;
        case DiskFull:
            injected = !fillDisk(folder()).isEmpty();
            break;
        }
        return QStringLiteral("2");
    };
    inside(*run.form).cmdEnterResponseClick();
    QVERIFY(injected);
    if (fault == DiskFull)
        QCOMPARE(masterWhileWaiting % 4096, 0);

    checkToldAndKept(run, EnterResponse, named, reason, typed);
    if (QTest::currentTestFailed())
        return;

    // What went in before the box is taken back from every file it reached.
    const QString keptIn = fault == FolderRenamed ? moved : folder();
    auto replaced = [&](const QString &name) {
        return fault == FolderRemoved || (name == sendName && (fault == SendDeleted || fault == SendIsFolder));
    };
    for (const QString &name : allFiles)
        if (!replaced(name))
            QCOMPARE(bytesOf(keptIn + QLatin1Char('/') + name), before.at(name));

    // Put right, the retry leaves one whole record, and a SEND file that was
    // deleted starts again with the run's header.
    switch (fault) {
    case SendIsFolder:
        QVERIFY(QDir().rmdir(run.at(sendName)));
        break;
    case FolderRemoved:
        QVERIFY(QDir().mkdir(folder()));
        break;
    case FolderRenamed:
        QVERIFY(QDir().rename(moved, folder()));
        break;
    case DiskFull:
        QVERIFY(QFile::remove(run.at(QStringLiteral("filler"))));
        break;
    }
    run.platform.onInput = nullptr;
    run.platform.answers = {QStringLiteral("3")};
    inside(*run.form).cmdEnterResponseClick();
    QCOMPARE(run.platform.messages.size(), 1);
    for (const QString &name : {masterName, sendName}) {
        const QByteArray record = responseRecord(name == masterName, "Second question", typed,
                                                 "confidence assessment:  3");
        QCOMPARE(run.bytes(name), replaced(name) ? headedRecord(before.at(masterName), record)
                                                 : before.at(name) + record);
    }
}

void FaultsTest::recordOnDiskWhileRatingWaits_data()
{
    QTest::addColumn<int>("clicks");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QByteArray>("rating");
    QTest::newRow("after a question") << 3 << "x > 30" << QByteArray("confidence assessment:  ");
    QTest::newRow("after a given answer") << 4 << "I forgot the sign." << QByteArray("self critique assessment: ");
    QTest::newRow("answer of several lines") << 3 << "line one\r\n\r\nline three"
                                             << QByteArray("confidence assessment:  ");
    QTest::newRow("characters beyond the code page")
        << 4 << QString::fromUtf8("\xcf\x80r\xc2\xb2 \xe2\x89\xa4 1") << QByteArray("self critique assessment: ");
}

void FaultsTest::recordOnDiskWhileRatingWaits()
{
    QFETCH(int, clicks);
    QFETCH(QString, typed);
    QFETCH(QByteArray, rating);
    FolderRun run(folder());
    QVERIFY(run.start());
    const auto before = earlierRecords(run);
    for (int i = 1; i < clicks; ++i) // earlierRecords made the first click
        inside(*run.form).cmdNextQuestionClick();
    run.typeAnswer(typed);
    QByteArray masterSeen, sendSeen;
    int boxes = 0;
    run.platform.onInput = [&](const QString &) {
        ++boxes;
        masterSeen = run.bytes(masterName).mid(before.at(masterName).size());
        sendSeen = run.bytes(sendName).mid(before.at(sendName).size());
        return QStringLiteral("1");
    };
    inside(*run.form).cmdEnterResponseClick();
    QCOMPARE(boxes, 1);
    QCOMPARE(run.platform.messages, QStringList());

    const QByteArray answerLine = "RESPONSE -->  \r\n" + Cp1252::encode(typed) + "\r\n";
    const std::pair<QByteArray, QByteArray> files[] = {
        {masterSeen, run.bytes(masterName).mid(before.at(masterName).size())},
        {sendSeen, run.bytes(sendName).mid(before.at(sendName).size())}};
    for (const auto &[seen, record] : files) {
        // While the box waits, the record is on the disk up to the rating,
        // in whole lines: the same bytes the finished record begins with.
        QVERIFY(seen.endsWith(answerLine));
        QVERIFY(!seen.contains(rating));
        QCOMPARE(record, seen + rating + "1\r\n" + closing + "\r\n");
    }
}

void FaultsTest::faultAtStartup_data()
{
    QTest::addColumn<int>("fault");
    QTest::addColumn<bool>("earlierRun"); // files of an earlier run are in the folder
    QTest::addColumn<QString>("named");
    QTest::addColumn<QString>("reason");
    QTest::newRow("folder path names a file") << int(FolderIsFile) << false << masterName << systemReason(ENOTDIR);
    QTest::newRow("folder missing") << int(FolderRemoved) << false << masterName << systemReason(ENOENT);
    QTest::newRow("master file is a folder") << int(MasterIsFolder) << false << masterName << "folder";
    QTest::newRow("SEND file is a folder") << int(SendIsFolder) << true << sendName << "folder";
    QTest::newRow("read-only folder") << int(FolderReadOnly) << true << masterName << systemReason(EROFS);
    QTest::newRow("read-only SEND file") << int(SendReadOnly) << true << sendName << systemReason(EROFS);
    QTest::newRow("disk full") << int(DiskFull) << false << masterName << systemReason(ENOSPC);
    QTest::newRow("master file is a FIFO") << int(MasterIsFifo) << false << masterName << "it is not a regular file";
    QTest::newRow("SEND file is a FIFO") << int(SendIsFifo) << true << sendName << "it is not a regular file";
}

void FaultsTest::faultAtStartup()
{
    QFETCH(int, fault);
    QFETCH(bool, earlierRun);
    QFETCH(QString, named);
    QFETCH(QString, reason);
    if (needsMount(fault) && !Mounts::unavailable().isEmpty())
        QSKIP(qPrintable(Mounts::unavailable()));
    if (fault == DiskFull)
        MOUNT_OR_SKIP(mounts.tmpfs(folder(), 256 * 1024));

    std::map<QString, QByteArray> before;
    if (earlierRun) {
        FolderRun earlier(folder());
        QVERIFY(earlier.start());
        before = earlierRecords(earlier);
    }
    const QString target = fault == FolderRemoved ? scratch->filePath(QStringLiteral("missing")) : folder();
    switch (fault) {
    case FolderIsFile:
        QVERIFY(QDir(folder()).removeRecursively());
        QVERIFY(writeBytes(folder(), "a file where the folder was"));
        break;
    case SendIsFolder:
        QVERIFY(QFile::remove(folder() + QLatin1Char('/') + sendName));
        QVERIFY(QDir().mkdir(folder() + QLatin1Char('/') + sendName));
        before.erase(sendName);
        break;
    case FolderReadOnly:
        MOUNT_OR_SKIP(mounts.readOnly(folder()));
        break;
    case SendReadOnly:
        MOUNT_OR_SKIP(mounts.readOnly(folder() + QLatin1Char('/') + sendName));
        break;
    case DiskFull:
        QVERIFY(!fillDisk(folder()).isEmpty());
        break;
    case FolderRemoved:
        break;
    case MasterIsFolder:
        QVERIFY(QDir().mkdir(folder() + QLatin1Char('/') + masterName));
        break;
    case MasterIsFifo:
        QVERIFY(makeFifo(folder() + QLatin1Char('/') + masterName));
        break;
    case SendIsFifo:
        QVERIFY(QFile::remove(folder() + QLatin1Char('/') + sendName));
        QVERIFY(makeFifo(folder() + QLatin1Char('/') + sendName));
        before.erase(sendName);
        break;
    }

    FolderRun run(target);
    QVERIFY(!run.start()); // and at once: a FIFO opened to wait would hang here
    QCOMPARE(run.platform.exits, 1);
    QCOMPARE(run.platform.exitStatus(), 1);
    QCOMPARE(run.platform.messages.size(), 1);
    const QString message = run.platform.messages.first();
    QVERIFY2(message.startsWith(QDir::toNativeSeparators(run.at(named)) + QStringLiteral(": ")), qPrintable(message));
    QVERIFY2(message.contains(reason, Qt::CaseInsensitive), qPrintable(message));
    // The header record is in both files or in neither.
    for (const auto &[name, bytes] : before)
        QCOMPARE(run.bytes(name), bytes);
    if (fault == FolderRemoved)
        QVERIFY(!QFileInfo::exists(target));
    if (fault == FolderIsFile)
        QCOMPARE(bytesOf(folder()), QByteArray("a file where the folder was"));
}


void FaultsTest::missingFileGetsHeader_data()
{
    // A file changed under the window between two commands is told about and
    // left as it is; the retry writes the record, after a header where the
    // file is now empty.
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("change");
    QTest::addColumn<int>("command");
    QTest::addColumn<QString>("told");
    for (const auto &[command, label] : {std::pair{EnterResponse, "Enter Response"}, std::pair{SaveAsNotes, "Save as Notes"}}) {
        QTest::addRow("SEND file deleted: %s", label) << sendName << "deleted" << int(command) << "it was emptied or deleted";
        QTest::addRow("master file deleted: %s", label) << masterName << "deleted" << int(command) << "it was emptied or deleted";
        QTest::addRow("SEND file emptied: %s", label) << sendName << "emptied" << int(command) << "it was emptied or deleted";
    }
    QTest::addRow("SEND file cut short: Enter Response") << sendName << "cut" << int(EnterResponse) << "it was cut short";
    QTest::addRow("another writer added to the master: Save as Notes")
        << masterName << "added" << int(SaveAsNotes) << "something else added to it";
}

void FaultsTest::missingFileGetsHeader()
{
    QFETCH(QString, name);
    QFETCH(QString, change);
    QFETCH(int, command);
    QFETCH(QString, told);
    FolderRun run(folder());
    QVERIFY(run.start());
    auto before = earlierRecords(run);
    const QByteArray foreign = "a line another program wrote\r\n";
    if (change == QLatin1String("emptied"))
        QVERIFY(writeBytes(run.at(name), QByteArray()));
    else if (change == QLatin1String("deleted"))
        QVERIFY(QFile::remove(run.at(name)));
    else if (change == QLatin1String("cut"))
        QVERIFY(QFile(run.at(name)).resize(before.at(name).size() - 10));
    else
        QVERIFY(writeBytes(run.at(name), before.at(name) + foreign));
    const QByteArray changed = run.bytes(name);
    run.typeAnswer(QStringLiteral("after the change"));
    run.platform.answers = {QStringLiteral("2"), QStringLiteral("2")};
    perform(run, command);
    QCOMPARE(run.platform.messages,
             QStringList{(command == EnterResponse ? QStringLiteral("Your response was not saved.\n\n")
                                                   : QStringLiteral("Your note was not saved.\n\n"))
                         + QDir::toNativeSeparators(run.at(name))
                         + QStringLiteral(": the file changed since this window last wrote it (%1)\n\n"
                                          "Your text is still in the answer box.")
                               .arg(told)});
    QCOMPARE(run.boxAnswer(), QStringLiteral("after the change"));
    for (const QString &file : allFiles) // nothing written, nothing cut
        QCOMPARE(run.bytes(file), file == name ? changed : before.at(file));

    run.platform.messages.clear();
    perform(run, command);
    QCOMPARE(run.platform.messages, QStringList());
    const QByteArray time = QByteArray(36, ' ') + "14:05:09";
    for (const QString &file : {masterName, sendName}) {
        const bool master = file == masterName;
        const QByteArray record =
            command == EnterResponse
                ? responseRecord(master, "First question", QStringLiteral("after the change"),
                                 "confidence assessment:  2")
                : opening + "\r\n" + time + "\r\n" + QByteArray(36, ' ') + "03-06-202614:05:09\r\nFirst question\r\n"
                      + opening + "\r\nNOTES -------> after the change\r\n" + closing
                      + (master ? QByteArray("\r\n") : QByteArray(7, ' '));
        // A file cut inside a line gets a line break first: the record is
        // never glued onto the broken line.
        const QByteArray expected = file != name ? before.at(file) + record
                                    : changed.isEmpty() ? headedRecord(before.at(masterName), record)
                                    : change == QLatin1String("cut") ? changed + "\r\n" + record
                                                                     : changed + record;
        QCOMPARE(run.bytes(file), expected);
    }
}

void FaultsTest::anotherWriterAddsDuringTheWrite_data()
{
    // Between the window's length check and its write another program appends
    // to the file (the system's append puts the window's bytes after them).
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("write"); // which of the record's writes to that file
    QTest::newRow("SEND file, at the record's first line") << sendName << 0;
    QTest::newRow("master file, as the rating goes in") << masterName << 1;
}

void FaultsTest::anotherWriterAddsDuringTheWrite()
{
    QFETCH(QString, name);
    QFETCH(int, write);
    FolderRun run(folder());
    QVERIFY(run.start());
    const auto before = earlierRecords(run);
    const QByteArray foreign = "a line another program wrote\r\n";
    const QString path = run.at(name);
    int writes = 0;
    oscalls::setFaultInjector([&](oscalls::Io operation, const QString &at) {
        if (operation == oscalls::Io::Write && at == path && writes++ == write) {
            QFile other(path);
            if (other.open(QIODevice::WriteOnly | QIODevice::Append))
                other.write(foreign);
        }
        return false;
    });
    run.typeAnswer(QStringLiteral("while another wrote"));
    run.platform.answers = {QStringLiteral("2")};
    inside(*run.form).cmdEnterResponseClick();
    oscalls::setFaultInjector(nullptr);
    // What of this window's stays beside the other's is named, to the byte.
    const qint64 left = run.bytes(name).size() - before.at(name).size() - foreign.size();
    QCOMPARE(run.platform.messages,
             QStringList{QStringLiteral("Your response was not saved.\n\n") + QDir::toNativeSeparators(path)
                         + QStringLiteral(": the file changed since this window last wrote it (something else added "
                                          "to it)\n(%1: %2 bytes this window wrote are left in it, beside another "
                                          "program's)\n\nYour text is still in the answer box.")
                               .arg(QDir::toNativeSeparators(path))
                               .arg(left)});
    QVERIFY(left > 0);
    QCOMPARE(run.boxAnswer(), QStringLiteral("while another wrote"));
    for (const QString &file : {masterName, sendName}) {
        if (file == name) // another's bytes are in it: never cut
            QVERIFY(run.bytes(file).contains(foreign));
        else
            QCOMPARE(run.bytes(file), before.at(file)); // taken back
    }
}

void FaultsTest::normalEndsExitWithZero_data()
{
    QTest::addColumn<QString>("end");
    QTest::newRow("quit program") << "quit";
    QTest::newRow("end of the assignment") << "end";
    QTest::newRow("window closed") << "close";
    QTest::newRow("unknown routine") << "routine";
}

void FaultsTest::normalEndsExitWithZero()
{
    QFETCH(QString, end);
    FolderRun run(folder(), end == QLatin1String("routine") ? bankOfAssignmentOne({"`routine nosuchfigure"}) : smallBank);
    QVERIFY(run.start());
    if (end == QLatin1String("quit"))
        inside(*run.form).cmdQuitClick();
    else if (end == QLatin1String("close"))
        run.form->close();
    else
        for (int i = 0; i < 10 && !run.form->runEnded(); ++i)
            inside(*run.form).cmdNextQuestionClick();
    QVERIFY(run.form->runEnded());
    QCOMPARE(run.platform.exits, 1);
    QCOMPARE(run.platform.exitStatus(), 0);
}

void FaultsTest::copyPictureWithNothingStoredKeepsClipboard()
{
    FolderRun run(folder());
    QVERIFY(run.start());
    QImage held(3, 2, QImage::Format_RGB32);
    held.fill(Qt::red);
    run.platform.clipboard = held;
    inside(*run.form).cmdCopyPictureClick(); // nothing drawn, nothing stored
    QCOMPARE(run.platform.clipboard, held);
}

void FaultsTest::bindMountIsTheSameFolder()
{
    // The folder's lock goes by what the folder is, not by the path to it.
    const QString elsewhere = scratch->filePath(QStringLiteral("elsewhere"));
    QVERIFY(QDir().mkdir(elsewhere));
    MOUNT_OR_SKIP(mounts.bind(folder(), elsewhere));
    FolderRun first(folder());
    QVERIFY(first.start());
    FolderRun second(elsewhere);
    second.platform.answers[3] = QString(); // told the folder is taken: the student gives up
    QVERIFY(!second.start());
    QCOMPARE(second.platform.messages.size(), 1);
    QVERIFY2(second.platform.messages.first().startsWith(
                 QStringLiteral("Another Calculus Study window is writing its files to %1 (").arg(elsewhere)),
             qPrintable(second.platform.messages.first()));
}

QTEST_MAIN(FaultsTest)
#include "tst_faults.moc"
