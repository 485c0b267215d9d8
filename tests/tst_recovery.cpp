#include "scriptedplatform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

namespace {

const QString bank = QStringLiteral("@@\n001.  `Query 1\n@@\n`qFirst question\n@@\n`a First answer.**\n"
                                    "@@\n002.  `Query 2\n");

/// A run of the test bank with recovery kept in `path`.
struct RecoveringRun : TestRun
{
    explicit RecoveringRun(const QString &path) : TestRun(bank)
    {
        form->enableAnswerRecovery(path);
    }
};

} // namespace

class RecoveryTest : public QObject
{
    Q_OBJECT
private slots:
    void killedRunGivesTheAnswerBack();
    void recordedTextLeavesNothing_data();
    void recordedTextLeavesNothing();
    void instructionsAndBlankAreNeverKept_data();
    void instructionsAndBlankAreNeverKept();
    void outputFilesUnchangedByRecovery();
    void unreadableFileIsSetAside_data();
    void unreadableFileIsSetAside();
    void unwritableRecoveryWarnsOnce();
    void quitKeepsPendingTyping();

private:
    QTemporaryDir data;
    QString path() const { return data.filePath(QStringLiteral("recovery/answer.txt")); }
};

void RecoveryTest::killedRunGivesTheAnswerBack()
{
    const QString typed = QStringLiteral("A long self-critique: I divided by a negative number\nand kept the <.");
    QProcess child;
    child.setProgram(QCoreApplication::applicationDirPath() + QStringLiteral("/recovery_child"));
    child.setArguments({path(), typed});
    child.start();
    QVERIFY(child.waitForStarted());
    QVERIFY(child.waitForReadyRead(15000));
    QCOMPARE(child.readAllStandardOutput(), QByteArray("kept\n"));
    child.kill(); // SIGKILL: no handler of the program runs
    QVERIFY(child.waitForFinished());
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);

    RecoveringRun next(path());
    QVERIFY(next.start());
    next.form->restoreUnrecordedAnswer();
    QCOMPARE(next.boxAnswer(), QString(typed).replace(QLatin1String("\n"), QLatin1String("\r\n")));
    QCOMPARE(next.platform.messages.size(), 1);
    QVERIFY(next.platform.messages.first().contains(QLatin1String("was not recorded yet")));
    // Once recorded it is gone for good.
    next.platform.answers = {QStringLiteral("2")};
    next.form->cmdEnterResponseClick();
    QVERIFY(!QFileInfo::exists(path()));
}

void RecoveryTest::recordedTextLeavesNothing_data()
{
    QTest::addColumn<int>("command");
    QTest::newRow("Enter Response") << 0;
    QTest::newRow("Save as Notes") << 1;
    QTest::newRow("clear answer") << 2;
}

void RecoveryTest::recordedTextLeavesNothing()
{
    QFETCH(int, command);
    {
        RecoveringRun run(path());
        QVERIFY(run.start());
        run.form->cmdNextQuestionClick();
        run.typeAnswer(QStringLiteral("typed"));
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(path()), 5000);
        run.platform.answers = {QStringLiteral("1")};
        if (command == 0)
            run.form->cmdEnterResponseClick();
        else if (command == 1)
            run.form->cmdSaveAsNotesClick();
        else
            run.form->cmdClearAnswerClick();
        QTest::qWait(1200);
        QVERIFY(!QFileInfo::exists(path()));
    }
    RecoveringRun next(path());
    QVERIFY(next.start());
    next.form->restoreUnrecordedAnswer();
    QCOMPARE(next.boxAnswer(), QStringLiteral(" "));
    QVERIFY(next.platform.messages.isEmpty());
}

void RecoveryTest::instructionsAndBlankAreNeverKept_data()
{
    QTest::addColumn<bool>("instructions");
    QTest::newRow("the instruction text") << true;
    QTest::newRow("the box's first blank") << false;
}

void RecoveryTest::instructionsAndBlankAreNeverKept()
{
    QFETCH(bool, instructions);
    RecoveringRun run(path());
    QVERIFY(run.start());
    run.form->restoreUnrecordedAnswer();
    run.typeAnswer(instructions ? run.form->instructionText : QStringLiteral(" "));
    QTest::qWait(1300);
    QVERIFY(!QFileInfo::exists(path()));
}

void RecoveryTest::outputFilesUnchangedByRecovery()
{
    QByteArray files[2];
    for (int withRecovery = 0; withRecovery < 2; ++withRecovery) {
        TestRun run(bank);
        if (withRecovery)
            run.form->enableAnswerRecovery(path());
        QVERIFY(run.start());
        run.form->restoreUnrecordedAnswer();
        run.form->cmdNextQuestionClick();
        run.typeAnswer(QStringLiteral("an answer"));
        QTest::qWait(1200);
        run.platform.answers = {QStringLiteral("3")};
        run.form->cmdEnterResponseClick();
        run.typeAnswer(QStringLiteral("a note"));
        run.form->cmdSaveAsNotesClick();
        for (const char *name : {"masterFile.txt", "send_0306.txt", "notes_.txt"})
            files[withRecovery] += run.file(QLatin1String(name)) + '|';
        QCOMPARE(QDir(run.outputFolder()).entryList(QDir::Files).size(), 3);
    }
    QCOMPARE(files[1], files[0]);
}

void RecoveryTest::unreadableFileIsSetAside_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("not a recovery file") << QByteArray("some other program's file\n");
    QTest::newRow("cut short after the header") << QByteArray("calculus-study unrecorded answer 1\n2026-03");
    QTest::newRow("not UTF-8") << QByteArray("calculus-study unrecorded answer 1\n2026-03-06T10:00:00\n\xff\xfe");
}

void RecoveryTest::unreadableFileIsSetAside()
{
    QFETCH(QByteArray, content);
    QDir().mkpath(QFileInfo(path()).absolutePath());
    QFile f(path());
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(content);
    f.close();
    RecoveringRun run(path());
    QVERIFY(run.start());
    run.form->restoreUnrecordedAnswer();
    QCOMPARE(run.boxAnswer(), QStringLiteral(" "));
    QVERIFY(!QFileInfo::exists(path()));
    const QStringList aside = QFileInfo(path()).dir().entryList({QStringLiteral("answer.txt.unreadable-*")});
    QCOMPARE(aside.size(), 1);
    QFile kept(QFileInfo(path()).dir().filePath(aside.first()));
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), content);
    QVERIFY(kept.remove());
}

void RecoveryTest::unwritableRecoveryWarnsOnce()
{
    // The recovery folder's place is taken by a file.
    QFile blocker(data.filePath(QStringLiteral("blocked")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    RecoveringRun run(data.filePath(QStringLiteral("blocked/answer.txt")));
    QVERIFY(run.start());
    run.form->restoreUnrecordedAnswer();
    for (int i = 0; i < 3; ++i) {
        run.typeAnswer(QStringLiteral("typing %1").arg(i));
        QTest::qWait(1200);
    }
    QCOMPARE(run.platform.messages.size(), 1);
    QVERIFY(run.platform.messages.first().contains(QLatin1String("blocked")));
    // The run goes on and records as usual.
    run.form->cmdNextQuestionClick();
    run.platform.answers = {QStringLiteral("1")};
    run.form->cmdEnterResponseClick();
    QVERIFY(run.file(QStringLiteral("send_0306.txt")).contains("typing 2"));
    QCOMPARE(run.platform.messages.size(), 1);
}

void RecoveryTest::quitKeepsPendingTyping()
{
    {
        RecoveringRun run(path());
        QVERIFY(run.start());
        run.typeAnswer(QStringLiteral("typed just before quitting"));
        run.form->cmdQuitClick(); // inside the debounce second
    }
    RecoveringRun next(path());
    QVERIFY(next.start());
    next.form->restoreUnrecordedAnswer();
    QCOMPARE(next.boxAnswer(), QStringLiteral("typed just before quitting"));
    next.form->cmdClearAnswerClick();
}

QTEST_MAIN(RecoveryTest)
#include "tst_recovery.moc"
