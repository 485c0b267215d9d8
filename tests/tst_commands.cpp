#include "scriptedplatform.h"
#include "tests/formaccess.h"

#include "records/cp1252.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <map>
#include <memory>

namespace {

const QString bank = QStringLiteral("@@\n001.  `Query 1\n@@\n`qFirst question\n@@\n`a First answer.**\n"
                                    "@@\n`qSecond question\n@@\n002.  `Query 2\n");
const QByteArray opening = "......!!!!!!!!...................................";
const QByteArray closing = ".................................................";
const QByteArray timeLine = QByteArray(36, ' ') + "14:05:09";
const QString master = QStringLiteral("masterFile.txt");
const QString send = QStringLiteral("send_0306.txt");
const QString notes = QStringLiteral("notes_.txt");
const QString confidence = QStringLiteral(
    "Assess your level of confidence in your answer on a scale from 0 to 3, where 0 means you have no confidence "
    "in your answer, 1 means you have some confidence, 2 means you are pretty confident and 3 means you are "
    "certain of your answer:");
const QString critique = QStringLiteral(
    "Rate the quality of your self-critique on a 0-3 scale, where 0 indicates that self-critique was necessary "
    "on this question but was not given, 1 indicates that self-critique was necessary but the given self-critique "
    "was not adequate, 2 indicates that self-critique was necessary and was mostly adequate, and 3 indicates that "
    "either self-critique was not necessary or that after reading the solution everything was completely obvious "
    "so you skipped the self-critique.");

/// A started run with the given number of Next clicks made.
struct Started : TestRun
{
    QByteArray masterHeader, sendHeader;
    explicit Started(int clicks) : TestRun(bank)
    {
        start();
        masterHeader = file(master);
        sendHeader = file(send);
        for (int i = 0; i < clicks; ++i)
            inside(*form).cmdNextQuestionClick();
    }
    QByteArray masterAdded() const { return file(master).mid(masterHeader.size()); }
    QByteArray sendAdded() const { return file(send).mid(sendHeader.size()); }
};

QByteArray expectedRecord(bool keyBlock, const QByteArray &lastLine, const QByteArray &answer,
                          const QByteArray &assessment)
{
    QByteArray r = opening + "\r\n" + timeLine + "\r\n";
    if (keyBlock)
        r += "\r\n\r\n`questionNumber 10000 \r\n";
    r += lastLine + "\r\n" + opening + "\r\nRESPONSE -->  \r\n" + answer + "\r\n";
    if (!assessment.isNull())
        r += assessment + "\r\n";
    return r + closing + "\r\n";
}

} // namespace

class CommandsTest : public QObject
{
    Q_OBJECT
private slots:
    void responseRecord_data();
    void responseRecord();
    void instructionTextRecordsNothing_data();
    void instructionTextRecordsNothing();
    void recordIsOnDiskWhileRatingWaits();
    void sameQuestionTwice();
    void notesRecord();
    void sendLineContinuesAfterNote();
    void displaySendFileTwice();
    void displayNotesWithoutNotesFile();
    void displayNotesShowsLinesOnce();
    void clearAnswerOnlyClearsAnswer();
    void quitEndsAtOnce();
    void consoleEndEndsTheRun_data();
    void consoleEndEndsTheRun();
    void failedResponseKeepsTypedText();
    void failedNoteKeepsTypedText();
    void syncedBeforeReturn_data();
    void syncedBeforeReturn();
};

void CommandsTest::responseRecord_data()
{
    QTest::addColumn<int>("clicks");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("ratings");
    QTest::addColumn<QByteArray>("lastLine");
    QTest::addColumn<QByteArray>("assessment");
    QTest::addColumn<QString>("prompt");
    QTest::newRow("after a question") << 1 << "x > 30" << QStringList{"2"} << QByteArray("First question")
                                      << QByteArray("confidence assessment:  2") << confidence;
    QTest::newRow("after an answer") << 2 << "I forgot the sign." << QStringList{"3"}
                                     << QByteArray(" First answer.**") << QByteArray("self critique assessment: 3")
                                     << critique;
    QTest::newRow("Cancel on the rating box") << 1 << "x" << QStringList{""} << QByteArray("First question")
                                              << QByteArray("confidence assessment:  ") << confidence;
    QTest::newRow("rating outside 0 to 3 kept") << 1 << "x" << QStringList{"five!"} << QByteArray("First question")
                                                << QByteArray("confidence assessment:  five!") << confidence;
    QTest::newRow("before the first entry: no rating") << 0 << "early" << QStringList{} << QByteArray("")
                                                        << QByteArray() << "";
    QTest::newRow("emptied box records an empty line") << 1 << "" << QStringList{"1"} << QByteArray("First question")
                                                       << QByteArray("confidence assessment:  1") << confidence;
    QTest::newRow("several lines keep CR LF") << 1 << "line one\r\nline two" << QStringList{"0"}
                                              << QByteArray("First question") << QByteArray("confidence assessment:  0")
                                              << confidence;
    QTest::newRow("characters beyond the code page") << 1 << QString::fromUtf8("2\xcf\x80r \xe2\x89\xa4 3\xc2\xb7x")
                                                     << QStringList{"2"} << QByteArray("First question")
                                                     << QByteArray("confidence assessment:  2") << confidence;
}

void CommandsTest::responseRecord()
{
    QFETCH(int, clicks);
    QFETCH(QString, typed);
    QFETCH(QStringList, ratings);
    QFETCH(QByteArray, lastLine);
    QFETCH(QByteArray, assessment);
    QFETCH(QString, prompt);
    Started run(clicks);
    run.typeAnswer(typed);
    run.platform.answers = ratings;
    run.platform.prompts.clear();
    inside(*run.form).cmdEnterResponseClick();
    QByteArray answer = typed.contains(QChar(0x03c0)) ? QByteArray("2&#960;r &#8804; 3\xb7x") : typed.toUtf8();
    QCOMPARE(run.masterAdded(), expectedRecord(true, lastLine, answer, assessment));
    QCOMPARE(run.sendAdded(), expectedRecord(false, lastLine, answer, assessment));
    QCOMPARE(run.platform.prompts, prompt.isEmpty() ? QStringList() : QStringList{prompt});
    if (clicks == 2)
        QCOMPARE(inside(*run.form).selfCritiqueRating, ratings.first());
    QCOMPARE(run.boxAnswer(), QString());
    QCOMPARE(run.boxQuestion(), QString());
    QVERIFY(!inside(*run.form).resetAnswerBox);
    QVERIFY(!QFileInfo::exists(run.outputPath(notes)));
}

void CommandsTest::instructionTextRecordsNothing_data()
{
    QTest::addColumn<bool>("notesCommand");
    QTest::newRow("Enter Response") << false;
    QTest::newRow("Save as Notes") << true;
}

void CommandsTest::instructionTextRecordsNothing()
{
    QFETCH(bool, notesCommand);
    Started run(2); // the second click refilled the answer box with the instructions
    QCOMPARE(run.boxAnswer(), instructionsShown);
    notesCommand ? inside(*run.form).cmdSaveAsNotesClick() : inside(*run.form).cmdEnterResponseClick();
    QCOMPARE(run.masterAdded(), QByteArray());
    QCOMPARE(run.sendAdded(), QByteArray());
    QVERIFY(run.platform.prompts.size() == 4);
    QCOMPARE(run.boxAnswer(), QString());
    QCOMPARE(run.boxQuestion(), QString());
    QVERIFY(inside(*run.form).resetAnswerBox); // unchanged
    // One character changed is an answer like any other.
    run.typeAnswer(inside(*run.form).instructionText.left(inside(*run.form).instructionText.size() - 1));
    run.platform.answers = {QStringLiteral("3")};
    notesCommand ? inside(*run.form).cmdSaveAsNotesClick() : inside(*run.form).cmdEnterResponseClick();
    QVERIFY(run.masterAdded().contains("just an OK."));
}

void CommandsTest::recordIsOnDiskWhileRatingWaits()
{
    Started run(1);
    run.typeAnswer(QStringLiteral("typed"));
    QByteArray masterSeen, sendSeen;
    run.platform.onInput = [&](const QString &) {
        masterSeen = run.masterAdded();
        sendSeen = run.sendAdded();
        return QStringLiteral("2");
    };
    inside(*run.form).cmdEnterResponseClick();
    const QByteArray masterFull = expectedRecord(true, "First question", "typed", "confidence assessment:  2");
    const QByteArray sendFull = expectedRecord(false, "First question", "typed", "confidence assessment:  2");
    QCOMPARE(masterSeen, masterFull.left(masterFull.indexOf("confidence")));
    QCOMPARE(sendSeen, sendFull.left(sendFull.indexOf("confidence")));
}

void CommandsTest::sameQuestionTwice()
{
    Started run(1);
    for (int i = 0; i < 2; ++i) {
        run.typeAnswer(QStringLiteral("try %1").arg(i));
        run.platform.answers = {QStringLiteral("1")};
        inside(*run.form).cmdEnterResponseClick();
    }
    QCOMPARE(run.sendAdded(), expectedRecord(false, "First question", "try 0", "confidence assessment:  1")
                                  + expectedRecord(false, "First question", "try 1", "confidence assessment:  1"));
}

void CommandsTest::notesRecord()
{
    Started run(1);
    run.typeAnswer(QStringLiteral("abc"));
    inside(*run.form).cmdSaveAsNotesClick();
    const QByteArray body = opening + "\r\n" + timeLine + "\r\n" + QByteArray(36, ' ') + "03-06-202614:05:09\r\n"
                            + "First question\r\n" + opening + "\r\nNOTES -------> abc\r\n" + closing;
    QCOMPARE(run.masterAdded(), body + "\r\n");
    QCOMPARE(run.sendAdded(), body + "       ");
    QCOMPARE(run.file(notes), body + "       ");
    QCOMPARE(inside(*run.form).questionText, QStringLiteral("NOTES -------> abc"));
    QCOMPARE(run.platform.prompts.size(), 4); // no rating box
    QCOMPARE(run.boxAnswer(), QString());
}

void CommandsTest::sendLineContinuesAfterNote()
{
    Started run(1);
    run.typeAnswer(QStringLiteral("note"));
    inside(*run.form).cmdSaveAsNotesClick();
    run.typeAnswer(QStringLiteral("answer"));
    run.platform.answers = {QStringLiteral("2")};
    inside(*run.form).cmdEnterResponseClick();
    QVERIFY(run.sendAdded().contains(closing + "       " + opening + "\r\n"));
    QVERIFY(run.masterAdded().contains(closing + "\r\n" + opening + "\r\n"));
}

void CommandsTest::displaySendFileTwice()
{
    Started run(1);
    const QString before = run.boxQuestion();
    inside(*run.form).cmdDisplaySendFileClick();
    inside(*run.form).cmdDisplaySendFileClick();
    const QStringList lines = Cp1252::decode(run.file(send)).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    QString expected = before;
    for (int i = 0; i < 2; ++i)
        for (const QString &line : lines)
            expected += QStringLiteral("\r\n") + line;
    QCOMPARE(run.boxQuestion(), expected);
    QCOMPARE(run.sendAdded(), QByteArray());
}

void CommandsTest::displayNotesWithoutNotesFile()
{
    Started run(1);
    const QString before = run.boxQuestion();
    inside(*run.form).cmdDisplayNoteFileClick();
    QVERIFY(!run.form->runEnded());
    QCOMPARE(run.platform.messages, QStringList{"No notes have been saved yet in " + run.outputFolder() + "."});
    QCOMPARE(run.boxQuestion(), before);
    QVERIFY(!QFileInfo::exists(run.outputPath(notes)));
}

void CommandsTest::displayNotesShowsLinesOnce()
{
    Started run(1);
    run.typeAnswer(QStringLiteral("first note"));
    inside(*run.form).cmdSaveAsNotesClick();
    inside(*run.form).cmdNextQuestionClick();
    const QString shown = run.boxQuestion();
    const QString questionText = inside(*run.form).questionText;
    inside(*run.form).cmdDisplayNoteFileClick();
    inside(*run.form).cmdDisplayNoteFileClick();
    const QString notesText = Cp1252::decode(run.file(notes));
    const QString once = QStringLiteral("\r\n\r\n") + notesText;
    QCOMPARE(run.boxQuestion(), shown + once + once);
    QCOMPARE(inside(*run.form).questionText, questionText);
    QCOMPARE(run.boxQuestion().count(QLatin1String("NOTES -------> first note")), 2);
}

void CommandsTest::clearAnswerOnlyClearsAnswer()
{
    Started run(1);
    run.typeAnswer(QStringLiteral("typed"));
    const QString question = run.boxQuestion();
    inside(*run.form).cmdClearAnswerClick();
    QCOMPARE(run.boxAnswer(), QString());
    QCOMPARE(run.boxQuestion(), question);
    QCOMPARE(run.masterAdded(), QByteArray());
}

void CommandsTest::quitEndsAtOnce()
{
    Started run(1);
    run.typeAnswer(QStringLiteral("unsaved"));
    inside(*run.form).cmdQuitClick();
    QVERIFY(run.form->runEnded());
    QVERIFY(!run.form->isEnabled()); // no control takes a click or a key any more
    QCOMPARE(run.platform.exits, 1);
    inside(*run.form).cmdEnterResponseClick();
    QCOMPARE(run.masterAdded(), QByteArray());
    QCOMPARE(run.platform.prompts.size(), 4);
}

void CommandsTest::consoleEndEndsTheRun_data()
{
    QTest::addColumn<int>("event");
#ifdef Q_OS_WIN
    QTest::newRow("the console window closed") << int(ConsoleEvent::Close);
    QTest::newRow("log-off") << int(ConsoleEvent::LogOff);
    QTest::newRow("shut-down") << int(ConsoleEvent::ShutDown);
#else
    QSKIP("a console's end events are Windows' own; tst_recovery sends the POSIX end signals");
#endif
}

void CommandsTest::consoleEndEndsTheRun()
{
    QFETCH(int, event);
    Started run(1);
    run.form->keepWorkAtEveryEnd();
    run.typeAnswer(QStringLiteral("typed before the console closed"));
    // A handler that does not take the event leaves it to the system's
    // default one, which ends the process, and this test with it.
    if (!sendConsoleEvent(ConsoleEvent(event)))
        QSKIP("this system's kernelbase has no CtrlRoutine");
    QTRY_VERIFY_WITH_TIMEOUT(run.form->runEnded(), 5000);
    QCOMPARE(run.platform.exits, 1);
    QCOMPARE(run.platform.exitStatus(), 0); // ended as the student's quit ends it
    QCOMPARE(run.masterAdded(), QByteArray());
}

void CommandsTest::failedResponseKeepsTypedText()
{
    Started run(1);
    run.typeAnswer(QStringLiteral("first"));
    run.platform.answers = {QStringLiteral("2")};
    inside(*run.form).cmdEnterResponseClick();
    const QByteArray masterBefore = run.file(master);
    // The output folder disappears (a USB stick pulled out, say).
    const QString moved = run.dir.filePath(QStringLiteral("moved"));
    QVERIFY(QDir().rename(run.outputFolder(), moved));
    inside(*run.form).cmdNextQuestionClick();
    run.typeAnswer(QStringLiteral("second, long and careful"));
    inside(*run.form).cmdEnterResponseClick();
    QVERIFY(!run.form->runEnded());
    QCOMPARE(run.platform.messages, QStringList{"Your response was not saved.\n\n"
                                                + QDir::toNativeSeparators(run.outputPath(master)) + ": "
                                                + openFailureReason(run.outputPath(master))
                                                + "\n\nYour text is still in the answer box."});
    QCOMPARE(run.boxAnswer(), QStringLiteral("second, long and careful"));
    QVERIFY(!QFileInfo::exists(run.outputFolder())); // nothing created in its place
    QFile kept(moved + QStringLiteral("/masterFile.txt"));
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), masterBefore);
}

void CommandsTest::failedNoteKeepsTypedText()
{
    Started run(1);
    // The notes file's place is taken by a folder.
    QVERIFY(QDir().mkdir(run.outputPath(notes)));
    run.typeAnswer(QStringLiteral("a note"));
    inside(*run.form).cmdSaveAsNotesClick();
    QCOMPARE(run.platform.messages, QStringList{"Your note was not saved.\n\n"
                                                + QDir::toNativeSeparators(run.outputPath(notes))
                                                + ": it is a folder, not a file\n\nYour text is still in the answer box."});
    QCOMPARE(run.boxAnswer(), QStringLiteral("a note"));
    QVERIFY(!run.form->runEnded());
}

void CommandsTest::syncedBeforeReturn_data()
{
    // Every sync the program makes, in order, each once: removing any one of
    // them, or moving it after the command's return, fails a row.
    QTest::addColumn<int>("command");
    QTest::addColumn<QStringList>("synced");
    const QString journal = QStringLiteral("journal");
#ifdef Q_OS_WIN
    // NTFS journals a new file's name with the file itself; folders are not synced.
    const QStringList named;
#else
    const QStringList named{QStringLiteral("out")};
#endif
    // The journal's name before any record's byte, the new files' names after theirs.
    QTest::newRow("start-up: journal made and named on the disk, header record, new files named")
        << 0 << named + QStringList{journal, master, send} + named;
    // The typing goes with the journal's note: no sync of its own.
    QTest::newRow("Enter Response: the note with the typing, the two files") << 1 << QStringList{journal, master, send};
    QTest::newRow("Save as Notes, the notes file new") << 2 << QStringList{journal, master, send, notes} + named;
    QTest::newRow("display SEND file writes nothing") << 3 << QStringList();
    QTest::newRow("Next Question writes nothing") << 4 << QStringList();
    QTest::newRow("with a recovery file: still no sync of its own") << 5 << QStringList{journal, master, send};
    QTest::newRow("take-back: SEND emptied while the box waits, master cut") << 6 << QStringList{journal, master};
    QTest::newRow("next start: an unfinished record cut off, then the header")
        << 7 << QStringList{master, send, journal, master, send};
}

void CommandsTest::syncedBeforeReturn()
{
    QFETCH(int, command);
    QFETCH(QStringList, synced);
    QTemporaryDir recovery;
    auto run = std::make_unique<TestRun>(bank);
    if (command == 5)
        run->form->enableAnswerRecovery(recovery.path());
    run->platform.answers << QStringLiteral("2");
    QVERIFY(run->start());
    std::map<QString, QByteArray> atTheBox; // the output files and journals while the rating box waited
    if (command > 0) {
        inside(*run->form).cmdNextQuestionClick();
        run->typeAnswer(QStringLiteral("typed"));
        run->platform.syncs.clear();
        run->platform.syncedSizes.clear();
        if (command >= 6) {
            run->platform.onInput = [&](const QString &) {
                for (const QString &folder : {run->outputFolder()})
                    for (const QFileInfo &f : QDir(folder).entryInfoList(QDir::Files | QDir::Hidden))
                        atTheBox[f.absoluteFilePath()] = bytesOf(f.absoluteFilePath());
                if (command == 6)
                    QFile(run->outputPath(send)).resize(0);
                return QStringLiteral("2");
            };
        }
        void (FormAccess::*const commands[])() = {nullptr,
                                                  &FormAccess::cmdEnterResponseClick,
                                                  &FormAccess::cmdSaveAsNotesClick,
                                                  &FormAccess::cmdDisplaySendFileClick,
                                                  &FormAccess::cmdNextQuestionClick,
                                                  &FormAccess::cmdEnterResponseClick,
                                                  &FormAccess::cmdEnterResponseClick,
                                                  &FormAccess::cmdEnterResponseClick};
        FormAccess form = inside(*run->form);
        (form.*commands[command])();
    }
    std::unique_ptr<TestRun> next;
    if (command == 7) {
        // As a kill while the box waited would have left them: the record's
        // first lines in the files and its note in the journal.
        inside(*run->form).dropWithoutEnd();
        for (const auto &[path, bytes] : atTheBox)
            QVERIFY(writeBytes(path, bytes));
        next = std::make_unique<TestRun>(bank);
        next->platform.answers[2] = run->outputFolder();
        QVERIFY(next->start());
        // Cut back to the header, then headed again: two headers, no record.
        QCOMPARE(run->file(master).count("RESPONSE"), 0);
        QCOMPARE(run->file(master).count("assignment #001"), 2);
        run->platform.syncs = next->platform.syncs;
    }
    // Counted as the command returns, before any event runs: a sync left for later does not count.
    QStringList names;
    for (const QString &name : run->platform.syncs)
        names << (name.endsWith(QLatin1String(".journal")) ? QStringLiteral("journal")
                  : name.startsWith(QLatin1String("answer-")) ? QStringLiteral("recovery")
                  : name == QFileInfo(recovery.path()).fileName() ? QStringLiteral("recovery folder")
                                                               : name);
    QCOMPARE(names, synced);
    if (command == 1 || command == 2) // each file synced after its last byte
        for (int i = 1; i < synced.size(); ++i)
            if (synced.at(i) != QLatin1String("out"))
                QCOMPARE(run->platform.syncedSizes.at(i), qint64(run->file(synced.at(i)).size()));
}

QTEST_MAIN(CommandsTest)
#include "tst_commands.moc"
