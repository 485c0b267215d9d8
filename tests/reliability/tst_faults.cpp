#include "reliability.h"

#include "records/cp1252.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

#include <map>
#include <memory>

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
};

enum Command { EnterResponse, SaveAsNotes, DisplayNotes, DisplaySend };

const QByteArray closing(49, '.');
const QStringList allFiles = {masterName, sendName, notesName};

bool needsMount(int fault)
{
    return fault == DiskFull || fault == FolderReadOnly || fault == MasterReadOnly || fault == SendReadOnly
           || fault == NotesReadOnly;
}

void perform(FolderRun &run, int command)
{
    switch (command) {
    case EnterResponse:
        run.form->cmdEnterResponseClick();
        break;
    case SaveAsNotes:
        run.form->cmdSaveAsNotesClick();
        break;
    case DisplayNotes:
        run.form->cmdDisplayNoteFileClick();
        break;
    case DisplaySend:
        run.form->cmdDisplaySendFileClick();
        break;
    }
}

/// Records made before any fault: the header, a rated response and a note.
std::map<QString, QByteArray> earlierRecords(FolderRun &run)
{
    run.form->cmdNextQuestionClick();
    run.typeAnswer(QStringLiteral("first answer"));
    run.platform.answers = {QStringLiteral("2")};
    run.form->cmdEnterResponseClick();
    run.typeAnswer(QStringLiteral("first note"));
    run.form->cmdSaveAsNotesClick();
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
void checkToldAndKept(FolderRun &run, const QString &named, const QString &reason, const QString &typed)
{
    QVERIFY(!run.form->runEnded());
    QCOMPARE(run.platform.messages.size(), 1);
    const QString message = run.platform.messages.first();
    QVERIFY2(message.contains(QDir::toNativeSeparators(run.at(named))), qPrintable(message));
    QVERIFY2(message.contains(reason, Qt::CaseInsensitive), qPrintable(message));
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

    QTest::newRow("disk full: Enter Response") << int(DiskFull) << int(EnterResponse) << masterName
                                               << systemReason(ENOSPC);
    QTest::newRow("disk full: Save as Notes") << int(DiskFull) << int(SaveAsNotes) << masterName
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
    run.form->cmdNextQuestionClick(); // the given answer: a self-critique rating comes next
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
    case FolderReadOnly:
        MOUNT_OR_SKIP(mounts.readOnly(folder()));
        break;
    default: // one read-only file
        MOUNT_OR_SKIP(mounts.readOnly(run.at(named)));
        break;
    }

    perform(run, command);

    QCOMPARE(run.platform.exits, 0);
    checkToldAndKept(run, named, reason, typed);
    if (QTest::currentTestFailed())
        return;

    // Every record written before the fault, still whole wherever it is now.
    const QString keptIn = fault == FolderRenamed ? moved : folder();
    for (const QString &name : allFiles) {
        const bool gone = fault == FolderRemoved || fault == FolderIsFile
                          || (name == named && (fault == NotesIsFolder || fault == SendIsFolder))
                          || (name == sendName && fault == SendDeleted);
        if (gone)
            continue;
        const QByteArray now = bytesOf(keptIn + QLatin1Char('/') + name);
        if (fault == DiskFull) // what fitted of the failed record may follow
            QVERIFY2(now.startsWith(before.at(name)), qPrintable(name));
        else
            QCOMPARE(now, before.at(name));
    }
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
    default:
        QVERIFY(mounts.unmountLast());
        break;
    }
    run.platform.answers = {QStringLiteral("3")};
    run.form->cmdEnterResponseClick();
    QCOMPARE(run.platform.messages.size(), 1);
    QCOMPARE(run.boxAnswer(), QString());
    const QByteArray ending = Cp1252::encode(typed) + "\r\nself critique assessment: 3\r\n" + closing + "\r\n";
    QVERIFY(run.bytes(masterName).endsWith(ending));
    QVERIFY(run.bytes(sendName).endsWith(ending));
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
        probe.form->cmdNextQuestionClick();
        probe.form->cmdNextQuestionClick(); // the second question
        probe.typeAnswer(QString());
        probe.form->cmdEnterResponseClick();
        QVERIFY(waiting > earlier);
        const qint64 page = 4096;
        const qint64 rest = (page - waiting % page) % page;
        typed = QString(int(rest == 0 ? page : rest), QLatin1Char('y'));
        MOUNT_OR_SKIP(mounts.tmpfs(folder(), 512 * 1024));
    }

    FolderRun run(folder());
    QVERIFY(run.start());
    const auto before = earlierRecords(run);
    run.form->cmdNextQuestionClick();
    run.form->cmdNextQuestionClick(); // the second question: a confidence rating comes next
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
    run.form->cmdEnterResponseClick();
    QVERIFY(injected);
    if (fault == DiskFull)
        QCOMPARE(masterWhileWaiting % 4096, 0);

    checkToldAndKept(run, named, reason, typed);
    if (QTest::currentTestFailed())
        return;

    const QString keptIn = fault == FolderRenamed ? moved : folder();
    for (const QString &name : allFiles) {
        if (fault == FolderRemoved || (name == sendName && (fault == SendDeleted || fault == SendIsFolder)))
            continue;
        const QByteArray now = bytesOf(keptIn + QLatin1Char('/') + name);
        QVERIFY2(now.startsWith(before.at(name)), qPrintable(name));
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
        run.form->cmdNextQuestionClick();
    run.typeAnswer(typed);
    QByteArray masterSeen, sendSeen;
    int boxes = 0;
    run.platform.onInput = [&](const QString &) {
        ++boxes;
        masterSeen = run.bytes(masterName).mid(before.at(masterName).size());
        sendSeen = run.bytes(sendName).mid(before.at(sendName).size());
        return QStringLiteral("1");
    };
    run.form->cmdEnterResponseClick();
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
    }

    FolderRun run(target);
    QVERIFY(!run.start());
    QCOMPARE(run.platform.exits, 1);
    QCOMPARE(run.platform.messages.size(), 1);
    const QString message = run.platform.messages.first();
    QVERIFY2(message.contains(QDir::toNativeSeparators(run.at(named))), qPrintable(message));
    QVERIFY2(message.contains(reason, Qt::CaseInsensitive), qPrintable(message));
    for (const auto &[name, bytes] : before)
        QCOMPARE(run.bytes(name), bytes);
    if (fault == FolderRemoved)
        QVERIFY(!QFileInfo::exists(target));
    if (fault == FolderIsFile)
        QCOMPARE(bytesOf(folder()), QByteArray("a file where the folder was"));
}

QTEST_MAIN(FaultsTest)
#include "tst_faults.moc"
