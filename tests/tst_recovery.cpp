#include "scriptedplatform.h"
#include "tests/formaccess.h"

#include "platform/oscalls.h"
#include "platform/ownerlock.h"
#include "records/recordjournal.h"
#include "ui/recovery.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTest>

#include <csignal>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef Q_OS_LINUX
#include "tests/reliability/mounts.h"

#include <sched.h>
#endif

namespace {

const QString bank = QStringLiteral("@@\n001.  `Query 1\n@@\n`qFirst question\n@@\n`a First answer.**\n"
                                    "@@\n002.  `Query 2\n");

const QString restoredTail = QStringLiteral(
    " and was not recorded yet. It is back in the answer box: record it with Enter Response or "
    "Save as Notes, or clear it.");
/// The end of the message that gives back the typing of a record cut off at a start.
const QString cutOffTail = QStringLiteral(
    " and was not recorded yet: the window it was typed in ended while it was being recorded. It is back in the "
    "answer box: record it with Enter Response or Save as Notes, or clear it.");

/// A response's end after a confidence rating of 2, as a whole record holds it.
const QByteArray ratedTwo = "confidence assessment:  2\r\n" + QByteArray(49, '.') + "\r\n";

/// The group two accounts of one computer share a folder through (as root only).
constexpr gid_t sharedGroup = 61000;

/// Where and as whom a child window runs.
struct Placing
{
    QString recovery;      // its recovery folder; empty: the test's, "default": its account's own
    QString home;          // its HOME; empty: the test's
    uid_t account = 0;     // the account it runs as (the test as root only); 0: the test's
    QString workingFolder; // empty: the test's
    QByteArray computer;   // a computer name of its own (root only, a UTS namespace); empty: this one's
};

/// A run of the test bank with recovery kept in `folder`.
struct RecoveringRun : TestRun
{
    explicit RecoveringRun(const QString &folder, const QString &output = QString(),
                           const QString &bankText = bank)
        : TestRun(bankText)
    {
        if (!output.isEmpty())
            platform.answers[2] = output;
        form->enableAnswerRecovery(folder);
        // The folder locks and journals beside the recovery folder, where the child keeps them.
    }
};

} // namespace

class RecoveryTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void killedRunGivesTheAnswerBack();
    void steadyTypingIsKeptEverySecond();
    void politeEndKeepsEverything();
    void lostDisplayKeepsEverything();
    void endWhileRatingWaits_data();
    void endWhileRatingWaits();
    void signalDuringStartUpGivesUp();
    void sessionEndCalledOffWhileRatingWaits();
    void recordedTextLeavesNothing_data();
    void recordedTextLeavesNothing();
    void nextKeepsTypedText_data();
    void nextKeepsTypedText();
    void instructionsAndBlankAreNeverKept_data();
    void instructionsAndBlankAreNeverKept();
    void outputFilesUnchangedByRecovery();
    void leftOverFromElsewhere_data();
    void leftOverFromElsewhere();
    void unreadableFileIsOfferedAndKept_data();
    void unreadableFileIsOfferedAndKept();
    void onlyRegularFilesAreRead_data();
    void onlyRegularFilesAreRead();
    void fileIsPrivate();
    void unwritableRecoveryWarnsAtNextCommand_data();
    void unwritableRecoveryWarnsAtNextCommand();
    void twoWindowsKeepTheirTypingApart();
    void twoWindowsNeverShareAnOutputFolder_data();
    void twoWindowsNeverShareAnOutputFolder();
    void quitKeepsPendingTyping();
    void locksLeftBehind_data();
    void locksLeftBehind();
    void lockIsRefreshed();
    void lostFolderStopsRecording();
    void stoppedWindow_data();
    void stoppedWindow();
    void rollBackAtTheNextStart_data();
    void rollBackAtTheNextStart();
    void twoAccountsOnOneFolder();
    void relativeFolderFromElsewhere_data();
    void relativeFolderFromElsewhere();
    void dataFolderReadOnlyOrFull_data();
    void dataFolderReadOnlyOrFull();
    void restoreNamesTheQuestionShort_data();
    void restoreNamesTheQuestionShort();

private:
    std::unique_ptr<QTemporaryDir> data;
    QString folder() const { return data->filePath(QStringLiteral("recovery")); }
    QString childOut() const { return data->filePath(QStringLiteral("child-out")); }
    QStringList keptFiles() const
    {
        return QDir(folder()).entryList({QStringLiteral("answer-*.txt")}, QDir::Files | QDir::System);
    }
    QProcess *startChild(const QString &mode, const QString &output, const QString &typed,
                         const Placing &placing = Placing());
#ifdef Q_OS_LINUX
    reliability::Mounts mounts;
#endif
};

void RecoveryTest::init()
{
    data = std::make_unique<QTemporaryDir>();
    QVERIFY(data->isValid());
    QVERIFY(QDir(data->path()).mkdir(QStringLiteral("child-out")));
}

void RecoveryTest::cleanup()
{
    // A child a failed check left running (stopped, or waiting in its box) goes with its test.
    for (QProcess *child : findChildren<QProcess *>()) {
        if (child->state() != QProcess::NotRunning) {
            ::kill(pid_t(child->processId()), SIGCONT);
            child->kill();
            child->waitForFinished();
        }
        delete child;
    }
#ifdef Q_OS_LINUX
    mounts.unmountAll();
#endif
    data.reset();
}

QProcess *RecoveryTest::startChild(const QString &mode, const QString &output, const QString &typed,
                                   const Placing &placing)
{
    auto *child = new QProcess(this);
    child->setProgram(QCoreApplication::applicationDirPath() + QStringLiteral("/recovery_child"));
    child->setArguments({mode, placing.recovery.isEmpty() ? folder() : placing.recovery, output, typed});
    child->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    if (!placing.workingFolder.isEmpty())
        child->setWorkingDirectory(placing.workingFolder);
    if (!placing.home.isEmpty()) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), placing.home);
        for (const char *derived : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"})
            env.remove(QLatin1String(derived));
        // Its own, in its home: an account without a name would otherwise share /tmp/runtime-.
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), placing.home + QStringLiteral("/runtime"));
        child->setProcessEnvironment(env);
    }
    const uid_t account = placing.account;
    const QByteArray computer = placing.computer;
    child->setChildProcessModifier([account, computer] {
        // Between the fork and the program: system calls only, a failure ends it.
#ifdef Q_OS_LINUX
        if (!computer.isEmpty()
            && (::unshare(CLONE_NEWUTS) != 0 || ::sethostname(computer.constData(), size_t(computer.size())) != 0))
            ::_exit(120);
#else
        if (!computer.isEmpty())
            ::_exit(120);
#endif
        if (account && (::setgroups(0, nullptr) != 0 || ::setgid(sharedGroup) != 0 || ::setuid(account) != 0))
            ::_exit(121);
        if (account)
            ::umask(002); // the group's folder: what one account writes there, the other may append to
    });
    child->start();
    return child;
}

/// Reads lines of a child's output until one is `wanted`; false on a timeout.
static bool waitForLine(QProcess &child, const QByteArray &wanted, QByteArray *last = nullptr)
{
    for (int tries = 0; tries < 300; ++tries) {
        while (child.canReadLine()) {
            const QByteArray line = child.readLine().trimmed();
            if (last)
                *last = line;
            if (line == wanted)
                return true;
        }
        if (!child.waitForReadyRead(100) && child.state() == QProcess::NotRunning)
            return false;
    }
    return false;
}

/// Reads a "commands" child's answer up to its "done": the messages it
/// showed, added to `told`, and the answer box when it was asked for; false
/// on a timeout or when the child ended.
static bool readAnswer(QProcess &child, QStringList &told, QString *box = nullptr)
{
    for (int tries = 0; tries < 300; ++tries) {
        while (child.canReadLine()) {
            const QByteArray line = child.readLine().trimmed();
            if (line == "done")
                return true;
            const QString text = QString::fromUtf8(QByteArray::fromPercentEncoding(line.mid(line.indexOf(' ') + 1)));
            if (line.startsWith("message "))
                told << text;
            else if (line.startsWith("box ") && box)
                *box = text;
        }
        if (!child.waitForReadyRead(100) && child.state() == QProcess::NotRunning)
            return false;
    }
    return false;
}

/// Gives a "commands" child one command and reads its answer.
static bool tell(QProcess &child, const QByteArray &command, QStringList &told, QString *box = nullptr)
{
    child.write(command + '\n');
    return readAnswer(child, told, box);
}

void RecoveryTest::killedRunGivesTheAnswerBack()
{
    const QString typed = QStringLiteral("A long self-critique: I divided by a negative number\nand kept the <.");
    QProcess *child = startChild(QStringLiteral("wait"), data->filePath(QStringLiteral("child-out")), typed);
    QVERIFY(child->waitForStarted());
    QVERIFY(waitForLine(*child, "kept"));

    // A window opened meanwhile leaves the live window's typing alone.
    {
        RecoveringRun other(folder());
        QVERIFY(other.start());
        other.form->restoreUnrecordedAnswer();
        QCOMPARE(other.boxAnswer(), QStringLiteral(" "));
        QCOMPARE(other.platform.messages, QStringList());
    }
    QCOMPARE(keptFiles().size(), 1);

    child->kill(); // SIGKILL: no handler of the program runs
    QVERIFY(child->waitForFinished());
    QCOMPARE(child->exitStatus(), QProcess::CrashExit);

    RecoveringRun next(folder(), childOut());
    QVERIFY(next.start());
    next.form->restoreUnrecordedAnswer();
    QCOMPARE(next.boxAnswer(), QString(typed).replace(QLatin1String("\n"), QLatin1String("\r\n")));
    QCOMPARE(next.platform.messages.size(), 1);
    const QRegularExpression said(QStringLiteral(
        "^The answer below was typed on \\d\\d-\\d\\d-\\d{4} at \\d\\d:\\d\\d:\\d\\d \\(UTC[+-]\\d\\d:\\d\\d\\)"
        " in assignment 001 under \"First question\" for the files in (.*)$"));
    const QString message = next.platform.messages.first();
    QVERIFY2(message.endsWith(restoredTail), qPrintable(message));
    const QRegularExpressionMatch match = said.match(message.chopped(restoredTail.size()));
    QVERIFY2(match.hasMatch(), qPrintable(message));
    QCOMPARE(match.captured(1), QDir::toNativeSeparators(QFileInfo(childOut()).canonicalFilePath()));
    // Taken over by the new window: one file, its own.
    QCOMPARE(keptFiles().size(), 1);
    // Once recorded it is gone for good.
    next.platform.answers = {QStringLiteral("2")};
    inside(*next.form).cmdEnterResponseClick();
    QCOMPARE(keptFiles(), QStringList());
}

void RecoveryTest::steadyTypingIsKeptEverySecond()
{
    QString text;
    for (int i = 0; text.size() < 200; ++i)
        text += QStringLiteral("word%1 ").arg(i);
    QProcess *child = startChild(QStringLiteral("steady"), data->filePath(QStringLiteral("child-out")), text);
    QVERIFY(child->waitForStarted());
    QVERIFY(waitForLine(*child, "30")); // three seconds of steady typing, a key every 100 ms
    ::kill(pid_t(child->processId()), SIGKILL);
    QVERIFY(child->waitForFinished());
    QByteArray last = "30";
    waitForLine(*child, "never", &last);
    const int typedCount = last.toInt();
    QVERIFY(typedCount >= 30);

    RecoveringRun next(folder(), childOut());
    QVERIFY(next.start());
    next.form->restoreUnrecordedAnswer();
    const QString back = next.boxAnswer();
    QVERIFY2(text.startsWith(back), qPrintable(back));
    qInfo("kept %d of %d keys typed before the kill", int(back.size()), typedCount);
    // All but the last second (ten keys), and half a second for a loaded machine.
    QVERIFY2(back.size() >= typedCount - 15, qPrintable(QStringLiteral("%1 of %2").arg(back.size()).arg(typedCount)));
}

void RecoveryTest::politeEndKeepsEverything()
{
    const QString typed = QStringLiteral("typed a moment before the session ended");
    QProcess *child = startChild(QStringLiteral("wait"), data->filePath(QStringLiteral("child-out")), typed);
    QVERIFY(child->waitForStarted());
    QVERIFY(waitForLine(*child, "typed"));
    child->terminate(); // SIGTERM, well inside the second before the typing is kept
    QVERIFY(child->waitForFinished());
    QCOMPARE(child->exitStatus(), QProcess::NormalExit);
    QCOMPARE(child->exitCode(), 0);

    RecoveringRun next(folder(), childOut());
    QVERIFY(next.start());
    next.form->restoreUnrecordedAnswer();
    QCOMPARE(next.boxAnswer(), typed);
}

void RecoveryTest::lostDisplayKeepsEverything()
{
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (xvfb.isEmpty())
        QSKIP("no Xvfb to run a real display on");
    // A display number no one else uses: the first free one from 90 on.
    int number = 90;
    while (QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number)) && number < 140)
        ++number;
    QProcess server;
    server.start(xvfb, {QStringLiteral(":%1").arg(number), QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    QVERIFY(server.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number)), 10000);

    const QString typed = QStringLiteral("typed just before the session's display went away");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("DISPLAY"), QStringLiteral(":%1").arg(number));
    QProcess child;
    child.setProcessEnvironment(env);
    child.setProgram(QCoreApplication::applicationDirPath() + QStringLiteral("/recovery_child"));
    child.setArguments({QStringLiteral("wait"), folder(), data->filePath(QStringLiteral("child-out")), typed});
    child.start();
    QVERIFY(child.waitForStarted());
    QVERIFY(waitForLine(child, "typed"));
    server.kill(); // the display is gone at once, as when an X server dies at logout
    QVERIFY(server.waitForFinished());
    QVERIFY(child.waitForFinished(10000));
    // Its end gave the folder up: no lock for a later start, on this computer or another, to wait out.
    QCOMPARE(QDir(data->filePath(QStringLiteral("locks"))).entryList({QStringLiteral("*.lock")}), QStringList());
    QCOMPARE(QDir(folder()).entryList({QStringLiteral("*.lock")}), QStringList());

    RecoveringRun next(folder(), childOut());
    QVERIFY(next.start());
    next.form->restoreUnrecordedAnswer();
    QCOMPARE(next.boxAnswer(), typed);
}

void RecoveryTest::endWhileRatingWaits_data()
{
    // Every end the program handles, and the one it cannot: the record is
    // whole or absent afterwards, and the typing comes back. A signal no
    // longer caught fails its row (the default action ends the process with
    // the half record in the files and no exit status 0).
    QTest::addColumn<int>("end"); // a signal number, or 0 for the session's end
    QTest::newRow("SIGTERM (log-out, kill)") << int(SIGTERM);
    QTest::newRow("SIGHUP (the terminal closed)") << int(SIGHUP);
    QTest::newRow("SIGINT (Ctrl+C in the terminal)") << int(SIGINT);
    QTest::newRow("SIGQUIT (Ctrl+\\ in the terminal)") << int(SIGQUIT);
    QTest::newRow("the session ends as Windows tells a window (commit request, quit)") << 0;
    QTest::newRow("SIGKILL: the next start cuts the half record off") << int(SIGKILL);
}

void RecoveryTest::endWhileRatingWaits()
{
    QFETCH(int, end);
    const QString out = childOut();
    const QString typed = QStringLiteral("my answer, waiting for its rating");
    QProcess *child = startChild(end == 0 ? QStringLiteral("logoff") : QStringLiteral("rating"), out, typed);
    QVERIFY(child->waitForStarted());
    QVERIFY(waitForLine(*child, "waiting"));
    if (end != 0)
        QCOMPARE(::kill(pid_t(child->processId()), end), 0);
    QVERIFY(child->waitForFinished());
    const QStringList files = {QStringLiteral("/masterFile.txt"), QStringLiteral("/send_0306.txt")};
    if (end == SIGKILL) {
        QCOMPARE(child->exitStatus(), QProcess::CrashExit);
        // Lines 1 to 7 went in before the box, and nothing of the program ran since.
        for (const QString &name : files)
            QVERIFY(bytesOf(out + name).contains("RESPONSE -->  \r\n"));
    } else {
        QCOMPARE(child->exitStatus(), QProcess::NormalExit);
        QCOMPARE(child->exitCode(), 0);
        for (const QString &name : files) // taken back by the process itself
            QVERIFY2(!bytesOf(out + name).contains("RESPONSE"), qPrintable(name));
    }

    RecoveringRun next(folder(), out);
    QVERIFY(next.start());
    next.form->restoreUnrecordedAnswer();
    QCOMPARE(next.boxAnswer(), typed);
    // Each file: the child's header, no part of the record, the next run's header.
    for (const QString &name : files) {
        const QByteArray bytes = bytesOf(out + name);
        QVERIFY2(!bytes.contains("RESPONSE") && !bytes.contains("......!!!!"), bytes.constData());
        QCOMPARE(bytes.count("Applied Calculus I\r\n03-06-2026\r\n"), 2);
        QVERIFY(bytes.endsWith("Applied Calculus I\r\n03-06-2026\r\n"));
    }
}

void RecoveryTest::sessionEndCalledOffWhileRatingWaits()
{
    // Windows asks a window to keep its work at log-off or shut-down; the
    // user may then cancel, and the student answers the box and goes on.
    const QString out = childOut();
    RecoveringRun run(folder(), out);
    QVERIFY(run.start());
    run.form->keepWorkAtEveryEnd();
    while (inside(*run.form).lastLineKind != QLatin1String("question") && !run.form->runEnded())
        inside(*run.form).cmdNextQuestionClick();
    const QString typed = QStringLiteral("my answer, rated after a shut-down was cancelled");
    run.typeAnswer(typed);
    int asked = 0;
    run.platform.onInput = [&](const QString &) {
        if (asked++ == 0)
            run.form->keepWorkBeforeSuddenEnd(); // what the session's commit request does
        return QStringLiteral("2");
    };
    inside(*run.form).cmdEnterResponseClick();
    QVERIFY(!run.form->runEnded());
    QCOMPARE(run.platform.messages,
             QStringList{QStringLiteral("Your response was not saved.\n\nThe computer began to end the session "
                                        "while the rating box waited, so the record was taken back.\n\n"
                                        "Your text is still in the answer box.")});
    QCOMPARE(run.boxAnswer(), typed);
    const QString master = out + QStringLiteral("/masterFile.txt");
    QVERIFY(!bytesOf(master).contains("RESPONSE"));

    run.platform.messages.clear();
    inside(*run.form).cmdEnterResponseClick(); // the retry records it once
    QCOMPARE(run.platform.messages, QStringList());
    QCOMPARE(bytesOf(master).count(typed.toLatin1()), 1);
}

void RecoveryTest::signalDuringStartUpGivesUp()
{
    QProcess *child = startChild(QStringLiteral("startup"), childOut(), QStringLiteral("x"));
    QVERIFY(child->waitForStarted());
    QVERIFY(waitForLine(*child, "asking"));
    child->terminate();
    QVERIFY(child->waitForFinished());
    QCOMPARE(child->exitStatus(), QProcess::NormalExit);
    QCOMPARE(child->exitCode(), 1); // start-up given up, not a run ended
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
        RecoveringRun run(folder(), childOut());
        QVERIFY(run.start());
        inside(*run.form).cmdNextQuestionClick();
        run.typeAnswer(QStringLiteral("typed"));
        QTRY_COMPARE_WITH_TIMEOUT(keptFiles().size(), 1, 5000);
        run.platform.answers = {QStringLiteral("1")};
        if (command == 0)
            inside(*run.form).cmdEnterResponseClick();
        else if (command == 1)
            inside(*run.form).cmdSaveAsNotesClick();
        else
            inside(*run.form).cmdClearAnswerClick();
        QTest::qWait(1200);
        QCOMPARE(keptFiles(), QStringList());
    }
    RecoveringRun next(folder(), childOut());
    QVERIFY(next.start());
    next.form->restoreUnrecordedAnswer();
    QCOMPARE(next.boxAnswer(), QStringLiteral(" "));
    QVERIFY(next.platform.messages.isEmpty());
}

void RecoveryTest::nextKeepsTypedText_data()
{
    QTest::addColumn<QString>("inBox");
    QTest::addColumn<bool>("refilled");
    QTest::newRow("typed answer not recorded") << "x = 3, since 2x = 6" << false;
    QTest::newRow("typed text with blanks around") << "  my note  " << false;
    QTest::newRow("empty box") << "" << true;
    QTest::newRow("blanks and line breaks only") << "  \r\n " << true;
}

void RecoveryTest::nextKeepsTypedText()
{
    QFETCH(QString, inBox);
    QFETCH(bool, refilled);
    RecoveringRun run(folder());
    QVERIFY(run.start());
    inside(*run.form).cmdNextQuestionClick();
    run.typeAnswer(inBox);
    inside(*run.form).cmdNextQuestionClick(); // the given answer, nothing recorded since the question
    QTest::qWait(1200);
    if (refilled) {
        QVERIFY(run.boxAnswer().startsWith(QLatin1String("Enter, as appropriate, an answer to the question")));
        QCOMPARE(keptFiles(), QStringList());
    } else {
        QCOMPARE(run.boxAnswer(), inBox);
        QCOMPARE(keptFiles().size(), 1);
        QVERIFY(bytesOf(QDir(folder()).filePath(keptFiles().first())).endsWith("\n\n" + inBox.toUtf8()));
    }
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
    RecoveringRun run(folder());
    QVERIFY(run.start());
    run.form->restoreUnrecordedAnswer();
    run.typeAnswer(instructions ? inside(*run.form).instructionText : QStringLiteral(" "));
    QTest::qWait(1300);
    QCOMPARE(keptFiles(), QStringList());
}

void RecoveryTest::outputFilesUnchangedByRecovery()
{
    QByteArray files[2];
    for (int withRecovery = 0; withRecovery < 2; ++withRecovery) {
        TestRun run(bank);
        if (withRecovery)
            run.form->enableAnswerRecovery(folder());
        QVERIFY(run.start());
        run.form->restoreUnrecordedAnswer();
        inside(*run.form).cmdNextQuestionClick();
        run.typeAnswer(QStringLiteral("an answer"));
        QTest::qWait(1200);
        run.platform.answers = {QStringLiteral("3")};
        inside(*run.form).cmdEnterResponseClick();
        run.typeAnswer(QStringLiteral("a note"));
        inside(*run.form).cmdSaveAsNotesClick();
        for (const char *name : {"masterFile.txt", "send_0306.txt", "notes_.txt"})
            files[withRecovery] += run.file(QLatin1String(name)) + '|';
        // Only the three files, and while the window lives its lock and journal, hidden beside them.
        QCOMPARE(QDir(run.outputFolder()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 (QStringList{".calculus-study.journal", ".calculus-study.lock", "masterFile.txt", "notes_.txt",
                              "send_0306.txt"}));
        run.form->close();
        QCOMPARE(QDir(run.outputFolder()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).size(), 3);
    }
    QCOMPARE(files[1], files[0]);
}

void RecoveryTest::leftOverFromElsewhere_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("said");
    QTest::newRow("typed in another time zone")
        << QByteArray("calculus-study unrecorded answer 2\ntyped 2026-03-06T10:00:00+09:00\nassignment 003\n"
                      "under What is the rate of change?\n\nmy answer\nin two lines")
        << "The answer below was typed on 03-06-2026 at 10:00:00 (UTC+09:00) in assignment 003 under "
           "\"What is the rate of change?\"";
    QTest::newRow("typed west of Greenwich")
        << QByteArray("calculus-study unrecorded answer 2\ntyped 2026-11-30T23:59:59-05:30\nassignment 012\n"
                      "under \n\nmy answer\nin two lines")
        << "The answer below was typed on 11-30-2026 at 23:59:59 (UTC-05:30) in assignment 012";
    QTest::newRow("written by the earlier version")
        << QByteArray("calculus-study unrecorded answer 1\n2026-03-06T10:00:00\nmy answer\nin two lines")
        << "The answer below was typed on 03-06-2026 at 10:00:00";
}

void RecoveryTest::leftOverFromElsewhere()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, said);
    QVERIFY(writeBytes(QDir(folder()).filePath(QStringLiteral("answer-1-0.txt")), content));
    const QByteArray typedLine = content.startsWith("calculus-study unrecorded answer 2")
                                     ? content.split('\n').at(1)
                                     : "typed " + content.split('\n').at(1);
    RecoveringRun run(folder());
    QVERIFY(run.start());
    run.form->restoreUnrecordedAnswer();
    QCOMPARE(run.boxAnswer(), QStringLiteral("my answer\r\nin two lines"));
    QCOMPARE(run.platform.messages, QStringList{said + restoredTail});
    // Edited further, the text keeps the time it was first typed.
    run.typeAnswer(QStringLiteral("my answer\nin two lines, and a third"));
    QTest::qWait(1200);
    QCOMPARE(keptFiles().size(), 1);
    const QByteArray kept = bytesOf(QDir(folder()).filePath(keptFiles().first()));
    QVERIFY2(kept.contains("\n" + typedLine + "\n"), kept.constData());
    QVERIFY(kept.endsWith("\n\nmy answer\r\nin two lines, and a third"));
}

void RecoveryTest::unreadableFileIsOfferedAndKept_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("offered");
    QTest::newRow("not a recovery file") << QByteArray("some other program's file\n") << "some other program's file\r\n";
    QTest::newRow("cut short after the header")
        << QByteArray("calculus-study unrecorded answer 2\ntyped 2026-03") << "calculus-study unrecorded answer 2\r\ntyped 2026-03";
    QTest::newRow("time it cannot read")
        << QByteArray("calculus-study unrecorded answer 2\ntyped yesterday\nassignment 001\nunder q\n\nthe text")
        << "calculus-study unrecorded answer 2\r\ntyped yesterday\r\nassignment 001\r\nunder q\r\n\r\nthe text";
    QTest::newRow("not UTF-8") << QByteArray("calculus-study unrecorded answer 1\n2026-03-06T10:00:00\n\xe9t\xe9")
                               << QString::fromUtf8("calculus-study unrecorded answer 1\r\n2026-03-06T10:00:00\r\n\xc3\xa9t\xc3\xa9");
}

void RecoveryTest::unreadableFileIsOfferedAndKept()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, offered);
    const QString path = QDir(folder()).filePath(QStringLiteral("answer-1-0.txt"));
    QVERIFY(writeBytes(path, content));
    RecoveringRun run(folder());
    QVERIFY(run.start());
    run.form->restoreUnrecordedAnswer();
    QCOMPARE(run.boxAnswer(), offered);
    const QStringList aside = QDir(folder()).entryList({QStringLiteral("answer-1-0.txt.unreadable-*")});
    QCOMPARE(aside.size(), 1);
    QCOMPARE(bytesOf(QDir(folder()).filePath(aside.first())), content);
    QCOMPARE(run.platform.messages,
             QStringList{QStringLiteral("Typing that was not recorded was found in a file this program cannot read "
                                        "as usual (kept as %1). What it holds is back in the answer box as it "
                                        "stands: record it with Enter Response or Save as Notes, or clear it.")
                             .arg(QDir(folder()).filePath(aside.first()))});
}

void RecoveryTest::onlyRegularFilesAreRead_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    QTest::newRow("a planted symbolic link") << "link" << "it is a symbolic link";
    QTest::newRow("a FIFO") << "fifo" << "it is not a regular file";
}

void RecoveryTest::onlyRegularFilesAreRead()
{
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    const QString planted = QDir(folder()).filePath(QStringLiteral("answer-1-0.txt"));
    QVERIFY(QDir().mkpath(folder()));
    const QString secret = data->filePath(QStringLiteral("secret.txt"));
    QVERIFY(writeBytes(secret, "calculus-study unrecorded answer 1\n2026-03-06T10:00:00\nsomeone else's"));
    if (kind == QLatin1String("link"))
        QVERIFY(QFile::link(secret, planted));
    else
        QCOMPARE(::mkfifo(QFile::encodeName(planted).constData(), 0600), 0);
    RecoveringRun run(folder());
    QVERIFY(run.start());
    run.form->restoreUnrecordedAnswer(); // a FIFO would hang here if it were opened to wait
    QCOMPARE(run.boxAnswer(), QStringLiteral(" "));
    QCOMPARE(run.platform.messages, QStringList());
    inside(*run.form).cmdNextQuestionClick(); // told at the first command
    QCOMPARE(run.platform.messages,
             QStringList{QStringLiteral("What you type cannot be kept safe against a crash this time:\n\n%1: %2\n\n"
                                        "Your answers are still recorded as usual.")
                             .arg(planted, reason)});
    QVERIFY(QFileInfo(planted).isSymLink() || QFileInfo::exists(planted)); // left as it was
}

void RecoveryTest::fileIsPrivate()
{
    RecoveringRun run(folder());
    QVERIFY(run.start());
    inside(*run.form).cmdNextQuestionClick();
    run.typeAnswer(QStringLiteral("private"));
    QTRY_COMPARE_WITH_TIMEOUT(keptFiles().size(), 1, 5000);
    struct stat st;
    QCOMPARE(::stat(QFile::encodeName(QDir(folder()).filePath(keptFiles().first())).constData(), &st), 0);
    QCOMPARE(int(st.st_mode & 0777), 0600);
}

void RecoveryTest::unwritableRecoveryWarnsAtNextCommand_data()
{
    QTest::addColumn<QString>("blocker");
    QTest::addColumn<QString>("reason");
    QTest::newRow("the folder's place is taken by a file") << "recovery" << "it is a file, not a folder";
    QTest::newRow("a folder above is a file") << "above" << "it is a file, not a folder";
}

void RecoveryTest::unwritableRecoveryWarnsAtNextCommand()
{
    QFETCH(QString, blocker);
    QFETCH(QString, reason);
    QVERIFY(writeBytes(data->filePath(blocker), "a file"));
    const QString where = blocker == QLatin1String("above") ? data->filePath(QStringLiteral("above/recovery"))
                                                            : folder();
    RecoveringRun run(where);
    QVERIFY(run.start());
    run.form->restoreUnrecordedAnswer();
    const QStringList told = {QStringLiteral("What you type cannot be kept safe against a crash this time:\n\n%1: %2\n\n"
                                             "Your answers are still recorded as usual.")
                                  .arg(data->filePath(blocker), reason)};
    // Found at start, told at the first command: never as the window opens,
    // never from the timer's button.
    QCOMPARE(run.platform.messages, QStringList());
    run.form->findChild<QPushButton *>(QStringLiteral("cmd_timerTrigger"))->click();
    inside(*run.form).tmrPendExpTick();
    QCOMPARE(run.platform.messages, QStringList());
    inside(*run.form).cmdNextQuestionClick();
    QCOMPARE(run.platform.messages, told);
    run.platform.messages.clear();

    // A problem found while typing waits for the next command.
    RecoveringRun second(data->filePath(QStringLiteral("later")), data->filePath(QStringLiteral("out2")));
    QVERIFY(QDir().mkdir(data->filePath(QStringLiteral("out2"))));
    QVERIFY(second.start());
    second.form->restoreUnrecordedAnswer();
    inside(*second.form).cmdNextQuestionClick();
    QVERIFY(QDir(data->filePath(QStringLiteral("later"))).removeRecursively());
    QVERIFY(writeBytes(data->filePath(QStringLiteral("later")), "a file"));
    for (int i = 0; i < 3; ++i) {
        second.typeAnswer(QStringLiteral("typing %1").arg(i));
        QTest::qWait(1200);
    }
    QCOMPARE(second.platform.messages, QStringList());
    second.form->findChild<QPushButton *>(QStringLiteral("cmd_clr_answer"))->click();
    QCOMPARE(second.platform.messages.size(), 1);
    QVERIFY2(second.platform.messages.first().startsWith(QStringLiteral(
                 "What you type cannot be kept safe against a crash this time:\n\n%1")
                                                               .arg(data->filePath(QStringLiteral("later")))),
             qPrintable(second.platform.messages.first()));
    // Once only; the run goes on and records as usual.
    second.form->findChild<QPushButton *>(QStringLiteral("cmd_clr_answer"))->click();
    second.typeAnswer(QStringLiteral("recorded anyway"));
    second.platform.answers = {QStringLiteral("1")};
    inside(*second.form).cmdEnterResponseClick();
    QVERIFY(bytesOf(data->filePath(QStringLiteral("out2/send_0306.txt"))).contains("recorded anyway"));
    QCOMPARE(second.platform.messages.size(), 1);
}

void RecoveryTest::twoWindowsKeepTheirTypingApart()
{
    const QString outA = data->filePath(QStringLiteral("a")), outB = data->filePath(QStringLiteral("b"));
    QVERIFY(QDir().mkdir(outA) && QDir().mkdir(outB));
    auto first = std::make_unique<RecoveringRun>(folder(), outA);
    QVERIFY(first->start());
    first->form->restoreUnrecordedAnswer();
    inside(*first->form).cmdNextQuestionClick();
    first->typeAnswer(QStringLiteral("the first window's answer"));
    QTRY_COMPARE_WITH_TIMEOUT(keptFiles().size(), 1, 5000);

    RecoveringRun second(folder(), outB);
    QVERIFY(second.start());
    second.form->restoreUnrecordedAnswer();
    QCOMPARE(second.boxAnswer(), QStringLiteral(" ")); // not the first window's typing
    QCOMPARE(second.platform.messages, QStringList());
    inside(*second.form).cmdNextQuestionClick();
    second.typeAnswer(QStringLiteral("the second window's answer"));
    QTRY_COMPARE_WITH_TIMEOUT(keptFiles().size(), 2, 5000);
    inside(*second.form).cmdClearAnswerClick(); // leaves the first window's file alone
    QCOMPARE(keptFiles().size(), 1);
    QVERIFY(bytesOf(QDir(folder()).filePath(keptFiles().first())).endsWith("the first window's answer"));

    // The first window goes without recording. Its typing belongs to its
    // folder: a window on another folder neither shows it nor removes it; the
    // next window on that folder gets it, with the folder named.
    first.reset();
    QVERIFY(QDir().mkdir(data->filePath(QStringLiteral("c"))));
    {
        RecoveringRun third(folder(), data->filePath(QStringLiteral("c")));
        QVERIFY(third.start());
        third.form->restoreUnrecordedAnswer();
        QCOMPARE(third.boxAnswer(), QStringLiteral(" "));
        QCOMPARE(third.platform.messages, QStringList());
        inside(*third.form).cmdClearAnswerClick();
    }
    QCOMPARE(keptFiles().size(), 1); // the first window's, untouched
    QVERIFY(bytesOf(QDir(folder()).filePath(keptFiles().first())).endsWith("the first window's answer"));
    RecoveringRun fourth(folder(), outA);
    QVERIFY(fourth.start());
    fourth.form->restoreUnrecordedAnswer();
    QCOMPARE(fourth.boxAnswer(), QStringLiteral("the first window's answer"));
    QCOMPARE(fourth.platform.messages.size(), 1);
    QVERIFY2(fourth.platform.messages.first().contains(
                 QStringLiteral(" in assignment 001 under \"First question\" for the files in %1 and was not")
                     .arg(QDir::toNativeSeparators(QFileInfo(outA).canonicalFilePath()))),
             qPrintable(fourth.platform.messages.first()));
    QCOMPARE(second.boxAnswer(), QString());
}

void RecoveryTest::twoWindowsNeverShareAnOutputFolder_data()
{
    QTest::addColumn<bool>("givesUp");
    QTest::addColumn<bool>("link"); // the folder reached through a link, not spelled another way
    QTest::newRow("another folder is given") << false << false;
    QTest::newRow("the student gives up") << true << false;
    QTest::newRow("the same folder through a link") << false << true;
}

void RecoveryTest::twoWindowsNeverShareAnOutputFolder()
{
    QFETCH(bool, givesUp);
    QFETCH(bool, link);
    TestRun first(bank);
    QVERIFY(first.start());
    const QByteArray master = first.file(QStringLiteral("masterFile.txt"));

    TestRun second(bank);
    const QString other = second.outputFolder();
    // The same folder, written another way.
    QString spelled = first.outputFolder() + QStringLiteral("/.");
    if (link) {
        spelled = data->filePath(QStringLiteral("link-to-out"));
        QVERIFY(QFile::link(first.outputFolder(), spelled));
    }
    second.platform.answers = {QStringLiteral("Name"), QStringLiteral("1"), spelled,
                               givesUp ? QString() : other, QStringLiteral("1")};
    QCOMPARE(second.start(), !givesUp);
    // The window that holds it is named by its computer and when it started.
    QCOMPARE(second.platform.messages.size(), 1);
    const QRegularExpression held(QStringLiteral("^Another Calculus Study window is writing its files to (.*) "
                                                 "\\(on the computer (.*), since (\\d\\d-\\d\\d-\\d{4}) at "
                                                 "\\d\\d:\\d\\d\\)\\. Each window needs a folder of its own\\.$"));
    const QRegularExpressionMatch match = held.match(second.platform.messages.first());
    QVERIFY2(match.hasMatch(), qPrintable(second.platform.messages.first()));
    QCOMPARE(match.captured(1), spelled);
    QCOMPARE(match.captured(2), QSysInfo::machineHostName());
    QCOMPARE(match.captured(3), QDate::currentDate().toString(QStringLiteral("MM-dd-yyyy")));
    QCOMPARE(second.platform.prompts.at(3),
             QStringLiteral("Enter the path to another folder for your files, or just hit the Enter key to end "
                            "the program."));
    QCOMPARE(first.file(QStringLiteral("masterFile.txt")), master);
    if (givesUp) {
        QCOMPARE(second.platform.exits, 1);
        QCOMPARE(second.platform.exitStatus(), 1);
    } else {
        QVERIFY(second.file(QStringLiteral("masterFile.txt")).contains("assignment #001"));
        QCOMPARE(inside(*second.form).masterFilePath, other + QStringLiteral("/masterFile.txt"));
    }
}

void RecoveryTest::quitKeepsPendingTyping()
{
    {
        RecoveringRun run(folder(), childOut());
        QVERIFY(run.start());
        run.typeAnswer(QStringLiteral("typed just before quitting"));
        inside(*run.form).cmdQuitClick(); // inside the second before it is kept
        QCOMPARE(run.platform.exitStatus(), 0);
    }
    RecoveringRun next(folder(), childOut());
    QVERIFY(next.start());
    next.form->restoreUnrecordedAnswer();
    QCOMPARE(next.boxAnswer(), QStringLiteral("typed just before quitting"));
    inside(*next.form).cmdClearAnswerClick();
}

namespace {

/// A lock file in `folder` as a window on `host` with process `pid`
/// (started as `started` says) leaves it, last refreshed `age` seconds ago.
bool plantLock(const QString &folder, const QString &host, qint64 pid, const QString &started, int age)
{
    const QString path = folder + QStringLiteral("/.calculus-study.lock");
    const QDateTime since = QDateTime::currentDateTimeUtc().addSecs(-age - 60);
    if (!writeBytes(path, "calculus-study lock 1\nhost " + host.toUtf8() + "\npid " + QByteArray::number(pid)
                              + "\nstarted " + started.toUtf8() + "\nsince " + since.toString(Qt::ISODateWithMs).toUtf8()
                              + "\nfor " + folder.toUtf8() + "\n"))
        return false;
    QFile file(path);
    return file.open(QIODevice::ReadWrite)
           && file.setFileTime(QDateTime::currentDateTimeUtc().addSecs(-age), QFileDevice::FileModificationTime);
}

/// The id of a process that has just ended.
qint64 goneProcess()
{
    QProcess gone;
    gone.start(QStringLiteral("true"));
    gone.waitForFinished();
    return gone.processId() > 0 ? gone.processId() : 999999;
}

} // namespace

void RecoveryTest::locksLeftBehind_data()
{
    QTest::addColumn<QString>("host");    // "" for this computer
    QTest::addColumn<QString>("pid");     // "gone", "own", "alive" or a number
    QTest::addColumn<QString>("started"); // "" as the process started, "earlier" for another process's start
    QTest::addColumn<int>("age");         // seconds since the last refresh; -1: an empty lock
    QTest::addColumn<bool>("taken");
    QTest::newRow("another computer's lock, refreshed just now, holds") << "lab-pc-7" << "4242" << "" << 5 << false;
    QTest::newRow("another computer's lock, 3 minutes old, is taken over")
        << "lab-pc-7" << "4242" << "" << 180 << true;
    QTest::newRow("a process gone from this computer") << "" << "gone" << "" << 5 << true;
    QTest::newRow("this process's own id, left by an earlier one") << "" << "own" << "" << 5 << true;
    QTest::newRow("a process alive on this computer holds") << "" << "alive" << "" << 5 << false;
    QTest::newRow("... however long it was stopped or asleep") << "" << "alive" << "" << 600 << false;
    QTest::newRow("an id a later process was given (a restart since) is taken over")
        << "" << "alive" << "earlier" << 5 << true;
    QTest::newRow("an empty lock (a kill as it was made) is taken over at once") << "" << "alive" << "" << -1 << true;
}

void RecoveryTest::locksLeftBehind()
{
    QFETCH(QString, host);
    QFETCH(QString, pid);
    QFETCH(QString, started);
    QFETCH(int, age);
    QFETCH(bool, taken);
    const QString out = childOut();
    QProcess alive;
    qint64 owner = pid.toLongLong();
    if (pid == QLatin1String("gone"))
        owner = goneProcess();
    else if (pid == QLatin1String("own"))
        owner = QCoreApplication::applicationPid();
    else if (pid == QLatin1String("alive")) {
        alive.start(QStringLiteral("sleep"), {QStringLiteral("30")});
        QVERIFY(alive.waitForStarted());
        owner = alive.processId();
    }
    const QString token = started.isEmpty() ? oscalls::processStartToken(owner) : QStringLiteral("boot x start 1");
    if (age < 0)
        QVERIFY(writeBytes(out + QStringLiteral("/.calculus-study.lock"), QByteArray()));
    else
        QVERIFY(plantLock(out, host.isEmpty() ? QSysInfo::machineHostName() : host, owner, token, age));

    RecoveringRun next(folder(), out);
    if (!taken)
        next.platform.answers[3] = QString(); // refused: the student gives up
    QCOMPARE(next.start(), taken);
    if (taken) {
        QCOMPARE(next.platform.messages, QStringList());
        const std::optional<OwnerLock::Owner> now = OwnerLock::read(out + QStringLiteral("/.calculus-study.lock"));
        QVERIFY(now && now->pid == QCoreApplication::applicationPid());
        // Gone with the window's end.
        next.form->close();
        QVERIFY(!QFileInfo::exists(out + QStringLiteral("/.calculus-study.lock")));
        QVERIFY(!QFileInfo::exists(out + QStringLiteral("/.calculus-study.journal")));
    } else {
        QCOMPARE(next.platform.messages.size(), 1);
        QVERIFY2(next.platform.messages.first().contains(
                     QStringLiteral("(on the computer %1, since ").arg(host.isEmpty() ? QSysInfo::machineHostName() : host)),
                 qPrintable(next.platform.messages.first()));
        QCOMPARE(next.platform.exitStatus(), 1);
        QVERIFY(bytesOf(out + QStringLiteral("/masterFile.txt")).isEmpty()); // nothing written there
    }
    alive.kill();
    alive.waitForFinished();
}

void RecoveryTest::lockIsRefreshed()
{
    RecoveringRun first(folder(), childOut());
    QVERIFY(first.start());
    QVERIFY(inside(*first.form).lockRefreshing());
    // As if two minutes had passed since the lock was made: a window on
    // another computer may take it over, until the window refreshes it,
    // and the refresh is stamped by the file system, not by a clock that may be slow.
    const QString lock = childOut() + QStringLiteral("/.calculus-study.lock");
    QFile file(lock);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(QDateTime::currentDateTimeUtc().addSecs(-150), QFileDevice::FileModificationTime));
    file.close();
    inside(*first.form).refreshLocks();
    QVERIFY(QFileInfo(lock).lastModified().secsTo(QDateTime::currentDateTime()) < 10);
    RecoveringRun second(folder(), childOut());
    second.platform.answers[3] = QString();
    QVERIFY(!second.start());
    QCOMPARE(second.platform.messages.size(), 1);
    QVERIFY2(second.platform.messages.first().startsWith(QStringLiteral("Another Calculus Study window is writing")),
             qPrintable(second.platform.messages.first()));
}

void RecoveryTest::lostFolderStopsRecording()
{
    // A window whose folder was taken over while it was stopped or asleep
    // (a window on another computer judged its lock stale) writes nothing
    // more there, keeps the typing and says why; the new owner's lock stays.
    const QString out = childOut();
    RecoveringRun first(folder(), out);
    QVERIFY(first.start());
    inside(*first.form).cmdNextQuestionClick();
    const QString lock = out + QStringLiteral("/.calculus-study.lock");
    QVERIFY(QFile::remove(lock));
    QVERIFY(plantLock(out, QStringLiteral("lab-pc-7"), 4242, QString(), 0));
    const QByteArray before = bytesOf(out + QStringLiteral("/masterFile.txt"));
    first.typeAnswer(QStringLiteral("typed after the suspend"));
    first.platform.answers = {QStringLiteral("2")};
    inside(*first.form).refreshLocks();
    inside(*first.form).cmdEnterResponseClick();
    QCOMPARE(first.platform.messages.size(), 1);
    QVERIFY2(first.platform.messages.first().startsWith(QStringLiteral(
                 "Your response was not saved.\n\nThis window no longer holds the folder ")),
             qPrintable(first.platform.messages.first()));
    QVERIFY(first.platform.messages.first().contains(QStringLiteral("(on the computer lab-pc-7, since ")));
    QCOMPARE(bytesOf(out + QStringLiteral("/masterFile.txt")), before);
    QCOMPARE(first.boxAnswer(), QStringLiteral("typed after the suspend"));
    QCOMPARE(keptFiles().size(), 1);
    first.form->close();
    const std::optional<OwnerLock::Owner> still = OwnerLock::read(lock);
    QVERIFY(still && still->host == QLatin1String("lab-pc-7"));
}

namespace {

/// The state /proc gives a process: 'T' once it is stopped.
char processState(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return '?';
    const QByteArray line = stat.readAll();
    const qsizetype name = line.lastIndexOf(')');
    return name > 0 && name + 2 < line.size() ? line.at(name + 2) : '?';
}

/// Sets the lock file's last change `seconds` back, as the lock of a window
/// stopped that long looks to another.
bool ageLock(const QString &folder, int seconds)
{
    QFile lock(folder + QStringLiteral("/.calculus-study.lock"));
    return lock.open(QIODevice::ReadWrite)
           && lock.setFileTime(QDateTime::currentDateTimeUtc().addSecs(-seconds), QFileDevice::FileModificationTime);
}

} // namespace

void RecoveryTest::stoppedWindow_data()
{
    // A real SIGSTOP (a suspended laptop, a paused machine), its lock made to
    // look unrefreshed for longer than the 2 minutes a lock from elsewhere is
    // trusted; a second window then comes to the folder.
    QTest::addColumn<QByteArray>("computer"); // the stopped window's computer; empty: this one
    QTest::newRow("on this computer its process is there: the second window is refused, the first records on")
        << QByteArray();
    QTest::newRow("on another computer: taken over; the first, woken, records nothing more and leaves the lock")
        << QByteArray("lab-pc-7");
}

void RecoveryTest::stoppedWindow()
{
    QFETCH(QByteArray, computer);
#ifndef Q_OS_LINUX
    QSKIP("reads the process's state from /proc");
#endif
    if (!computer.isEmpty() && ::geteuid() != 0)
        QSKIP("a computer name of the child's own (a UTS namespace) needs root");
    const QString out = childOut(), master = out + QStringLiteral("/masterFile.txt");
    QProcess *first = startChild(QStringLiteral("commands"), out, QString(),
                                 {data->filePath(QStringLiteral("first-recovery")), {}, 0, {}, computer});
    QStringList told;
    QVERIFY(readAnswer(*first, told));
    QCOMPARE(told, QStringList());
    const QString here = QSysInfo::machineHostName();
    const std::optional<OwnerLock::Owner> made = OwnerLock::read(out + QStringLiteral("/.calculus-study.lock"));
    QVERIFY(made && made->pid == first->processId());
    QCOMPARE(made->host, computer.isEmpty() ? here : QString::fromLatin1(computer));

    QCOMPARE(::kill(pid_t(first->processId()), SIGSTOP), 0);
    QTRY_COMPARE_WITH_TIMEOUT(processState(first->processId()), 'T', 5000);
    QVERIFY(ageLock(out, 200));
    const QByteArray before = bytesOf(master);
    RecoveringRun second(folder(), out);
    if (computer.isEmpty())
        second.platform.answers[3] = QString(); // refused: the student gives up
    QCOMPARE(second.start(), !computer.isEmpty());
    QCOMPARE(::kill(pid_t(first->processId()), SIGCONT), 0);

    const QString typed = QStringLiteral("typed after the window woke");
    QVERIFY(tell(*first, "type " + typed.toUtf8(), told));
    QVERIFY(tell(*first, "respond", told));
    if (computer.isEmpty()) {
        QCOMPARE(second.platform.messages.size(), 1);
        QVERIFY2(second.platform.messages.first().startsWith(
                     QStringLiteral("Another Calculus Study window is writing its files to %1 (on the computer %2, since ")
                         .arg(out, here)),
                 qPrintable(second.platform.messages.first()));
        QCOMPARE(told, QStringList());
        QVERIFY(bytesOf(master).startsWith(before));
        QCOMPARE(bytesOf(master).mid(before.size()).count("RESPONSE -->  \r\n" + typed.toUtf8() + "\r\n" + ratedTwo), 1);
        QVERIFY(tell(*first, "quit", told));
        QVERIFY(first->waitForFinished());
        QCOMPARE(first->exitCode(), 0);
        return;
    }
    // Taken over: the second window's header is the folder's last record,
    // and stays so whatever the first window tries.
    QCOMPARE(second.platform.messages, QStringList());
    const QByteArray taken = bytesOf(master);
    QVERIFY(taken.size() > before.size());
    QString box;
    QVERIFY(tell(*first, "box", told, &box));
    QCOMPARE(told.size(), 1);
    QVERIFY2(told.first().startsWith(QStringLiteral("Your response was not saved.\n\nThis window no longer holds the "
                                                    "folder %1: another Calculus Study window (on the computer %2, "
                                                    "since ")
                                         .arg(QDir::toNativeSeparators(out), here)),
             qPrintable(told.first()));
    QVERIFY(told.first().endsWith(QStringLiteral("\n\nYour text is still in the answer box.")));
    QCOMPARE(box, typed);
    QCOMPARE(bytesOf(master), taken);
    QVERIFY(tell(*first, "quit", told));
    QVERIFY(first->waitForFinished());
    const std::optional<OwnerLock::Owner> now = OwnerLock::read(out + QStringLiteral("/.calculus-study.lock"));
    QVERIFY(now && now->pid == QCoreApplication::applicationPid() && now->host == here);
    QVERIFY(QFileInfo::exists(out + QStringLiteral("/.calculus-study.journal")));
    QCOMPARE(bytesOf(master), taken);
    // The folder is the second window's to record in.
    second.typeAnswer(QStringLiteral("the second window's answer"));
    second.platform.answers = {QStringLiteral("2")};
    inside(*second.form).cmdNextQuestionClick();
    inside(*second.form).cmdEnterResponseClick();
    QCOMPARE(second.platform.messages, QStringList());
    QVERIFY(bytesOf(master).startsWith(taken));
    QVERIFY(bytesOf(master).endsWith("RESPONSE -->  \r\nthe second window's answer\r\n" + ratedTwo));
}

void RecoveryTest::rollBackAtTheNextStart_data()
{
    // A window killed while its rating box waits leaves its journal's note
    // and the record's first lines in both files; then, before the next
    // start, this happens to the files.
    QTest::addColumn<QString>("since");
    QTest::newRow("nothing: the half record is cut off, the typing given back") << "nothing";
    QTest::newRow("the rating and closing line went in: whole, kept, the typing not offered again") << "rated";
    QTest::newRow("the master file ends inside the rating line: cut off") << "rating cut";
    QTest::newRow("the master file ends inside the closing line: cut off") << "closing cut";
    QTest::newRow("another program appended to the master file: it is left as it is and named") << "appended";
    QTest::newRow("the master file cut shorter since: never padded or written again") << "shorter";
    QTest::newRow("its cut fails: told, the note kept, and the next start cuts it") << "cut fails";
    QTest::newRow("its cut fails once: the start's header tries again, and the typing still comes back")
        << "cut fails once";
}

void RecoveryTest::rollBackAtTheNextStart()
{
    QFETCH(QString, since);
    const QString out = childOut();
    const QString master = out + QStringLiteral("/masterFile.txt"), send = out + QStringLiteral("/send_0306.txt");
    const QString typed = QStringLiteral("the answer a kill caught in the rating box");
    QByteArray header;
    {
        RecoveringRun first(folder(), out);
        QVERIFY(first.start());
        header = bytesOf(master);
        QCOMPARE(bytesOf(send), header);
        inside(*first.form).cmdNextQuestionClick();
        // An earlier draft of the same typing is in the recovery file.
        first.typeAnswer(QStringLiteral("a first draft"));
        QTRY_COMPARE_WITH_TIMEOUT(keptFiles().size(), 1, 5000);
        first.typeAnswer(typed);
        first.platform.onInput = [&](const QString &) {
            inside(*first.form).dropWithoutEnd(); // killed while the box waits
            return QStringLiteral("2");
        };
        inside(*first.form).cmdEnterResponseClick();
    }
    const QByteArray halfMaster = bytesOf(master), halfSend = bytesOf(send);
    QVERIFY(halfMaster.endsWith("RESPONSE -->  \r\n" + typed.toUtf8() + "\r\n"));
    QVERIFY(halfSend.endsWith("RESPONSE -->  \r\n" + typed.toUtf8() + "\r\n"));
    const QByteArray foreign = "a line another program wrote\r\n";
    QFile file(master);
    QVERIFY(file.open(QIODevice::ReadWrite | QIODevice::Append));
    if (since == QLatin1String("rated"))
        QVERIFY(file.write(ratedTwo) == ratedTwo.size() && writeBytes(send, halfSend + ratedTwo));
    else if (since == QLatin1String("rating cut")) // SEND whole, the master not
        QVERIFY(file.write("confidence assess") > 0 && writeBytes(send, halfSend + ratedTwo));
    else if (since == QLatin1String("closing cut"))
        QVERIFY(file.write(ratedTwo.chopped(20)) > 0);
    else if (since == QLatin1String("appended"))
        QVERIFY(file.write(foreign) == foreign.size());
    else if (since == QLatin1String("shorter"))
        QVERIFY(file.resize(header.size() - 10));
    file.close();
    const QByteArray masterBefore = bytesOf(master), sendBefore = bytesOf(send);

    int refused = 0;
    if (since.startsWith(QLatin1String("cut fails")))
        oscalls::setFaultInjector([&](oscalls::Io operation, const QString &path) {
            return operation == oscalls::Io::Truncate && path.endsWith(QLatin1String("masterFile.txt"))
                   && (since == QLatin1String("cut fails") || refused++ == 0);
        });
    auto next = std::make_unique<RecoveringRun>(folder(), out);
    const bool started = next->start();
    oscalls::setFaultInjector(nullptr);
    const QString notCut = QStringLiteral("A record that an earlier window left unfinished could not be cut off, so "
                                          "a file may hold part of a record:\n\n%1: input/output error (a fault made "
                                          "by a test)")
                               .arg(QDir::toNativeSeparators(master));
    QStringList toldFirst;
    if (since == QLatin1String("cut fails")) {
        // The start's header tries the cut again and fails on it: the run ends
        // with nothing written, the note kept; the next start cuts it.
        QVERIFY(!started);
        QCOMPARE(next->platform.messages,
                 (QStringList{notCut, notCut.mid(notCut.indexOf(QLatin1String("\n\n")) + 2)}));
        QCOMPARE(bytesOf(master), masterBefore);
        QVERIFY(QFileInfo::exists(out + QStringLiteral("/.calculus-study.journal")));
        next = std::make_unique<RecoveringRun>(folder(), out);
        QVERIFY(next->start());
    } else {
        QVERIFY(started);
        if (since == QLatin1String("cut fails once"))
            toldFirst << notCut;
    }
    next->form->restoreUnrecordedAnswer();
    const QStringList &told = next->platform.messages;
    if (since == QLatin1String("rated")) {
        QCOMPARE(told, QStringList());
        QCOMPARE(next->boxAnswer(), QStringLiteral(" "));
        QCOMPARE(keptFiles(), QStringList()); // the draft went with the record
        QCOMPARE(bytesOf(master), masterBefore + header);
        QCOMPARE(bytesOf(send), sendBefore + header);
        return;
    }
    if (since == QLatin1String("appended") || since == QLatin1String("shorter"))
        toldFirst << QStringLiteral("A record that an earlier window left unfinished may be in these files, which "
                                    "something else changed since, so they were left as they are:\n\n")
                             + QDir::toNativeSeparators(master);
    QCOMPARE(told.size(), toldFirst.size() + 1);
    QCOMPARE(told.mid(0, toldFirst.size()), toldFirst);
    QVERIFY2(told.last().startsWith(QStringLiteral("The answer below was typed on ")) && told.last().endsWith(cutOffTail),
             qPrintable(told.last()));
    QCOMPARE(next->boxAnswer(), typed); // the journal's, newer than the draft
    QCOMPARE(bytesOf(send), header + header);
    if (since == QLatin1String("appended"))
        QCOMPARE(bytesOf(master), masterBefore + header);
    else if (since == QLatin1String("shorter")) // a record never glued onto a broken line
        QCOMPARE(bytesOf(master), masterBefore + "\r\n" + header);
    else
        QCOMPARE(bytesOf(master), header + header);
}

void RecoveryTest::twoAccountsOnOneFolder()
{
    // One output folder, two accounts with homes of their own (a group's
    // folder; c:\crsfiles on a shared PC; a stick taken from one to the
    // other): they meet the same lock and journal. As root the two are real
    // accounts of their own, sharing the folder through a group.
    const bool root = ::geteuid() == 0;
    const uid_t accountA = root ? 61001 : 0, accountB = root ? 61002 : 0;
    const QString out = data->filePath(QStringLiteral("shared"));
    const QString homeA = data->filePath(QStringLiteral("home-a")), homeB = data->filePath(QStringLiteral("home-b"));
    QVERIFY(QDir().mkdir(out) && QDir().mkdir(homeA) && QDir().mkdir(homeB));
    if (root) {
        QCOMPARE(::chmod(QFile::encodeName(data->path()).constData(), 0755), 0);
        QCOMPARE(::chown(QFile::encodeName(out).constData(), 0, sharedGroup), 0);
        QCOMPARE(::chmod(QFile::encodeName(out).constData(), 02775), 0);
    }
    for (const auto &[home, account] : {std::pair{homeA, accountA}, std::pair{homeB, accountB}}) {
        QVERIFY(QDir().mkdir(home + QStringLiteral("/runtime")));
        QCOMPARE(::chmod(QFile::encodeName(home + QStringLiteral("/runtime")).constData(), 0700), 0);
        for (const QString &path : {home, home + QStringLiteral("/runtime")})
            QCOMPARE(::chown(QFile::encodeName(path).constData(), root ? account : ::getuid(), root ? sharedGroup : ::getgid()), 0);
    }
    const QString master = out + QStringLiteral("/masterFile.txt"), send = out + QStringLiteral("/send_0306.txt");
    const QString recoveryA = homeA + QStringLiteral("/.local/share/calculus-study/unrecorded");
    const Placing asA{QStringLiteral("default"), homeA, accountA, {}, {}};
    const Placing asB{QStringLiteral("default"), homeB, accountB, {}, {}};

    // A is killed while its rating box waits, its typing kept in its own home.
    const QString typedA = QStringLiteral("account A's answer, cut off by the kill");
    QProcess *a = startChild(QStringLiteral("rating"), out, typedA, asA);
    QVERIFY(waitForLine(*a, "waiting"));
    QTRY_VERIFY_WITH_TIMEOUT(!QDir(recoveryA).entryList({QStringLiteral("answer-*.txt")}).isEmpty(), 5000);
    QCOMPARE(::kill(pid_t(a->processId()), SIGKILL), 0);
    QVERIFY(a->waitForFinished());
    const QByteArray halfA = bytesOf(master);
    QVERIFY(halfA.endsWith("RESPONSE -->  \r\n" + typedA.toUtf8() + "\r\n"));
    const QByteArray header = halfA.left(halfA.indexOf("......!!!!"));
    if (root) {
        struct stat st;
        QCOMPARE(::stat(QFile::encodeName(master).constData(), &st), 0);
        QCOMPARE(st.st_uid, accountA);
    }

    // B comes to the folder: A's half record is cut off, and its typing
    // comes back there; B writes its header and a whole rated response.
    QProcess *b = startChild(QStringLiteral("commands"), out, QString(), asB);
    QStringList toldB;
    QString box;
    QVERIFY(readAnswer(*b, toldB));
    QVERIFY(tell(*b, "box", toldB, &box));
    QCOMPARE(box, typedA);
    QCOMPARE(toldB.size(), 1);
    QVERIFY2(toldB.first().endsWith(cutOffTail), qPrintable(toldB.first()));
    const QString typedB = QStringLiteral("account B's answer");
    QVERIFY(tell(*b, "type " + typedB.toUtf8(), toldB));
    QVERIFY(tell(*b, "respond", toldB));
    QVERIFY(tell(*b, "quit", toldB));
    QVERIFY(b->waitForFinished());
    QCOMPARE(b->exitCode(), 0);
    QCOMPARE(toldB.size(), 1);
    const QByteArray responseB = "RESPONSE -->  \r\n" + typedB.toUtf8() + "\r\n" + ratedTwo;
    const QByteArray masterB = bytesOf(master), sendB = bytesOf(send);
    for (const QByteArray &bytes : {masterB, sendB}) {
        QVERIFY(bytes.startsWith(header + header + "......!!!!"));
        QVERIFY(bytes.endsWith(responseB));
        QVERIFY(!bytes.contains(typedA.toUtf8()));
        QCOMPARE(bytes.count("RESPONSE"), 1);
    }

    // A comes back: B's records stay byte for byte; A's typing is back from its home.
    QProcess *again = startChild(QStringLiteral("commands"), out, QString(), asA);
    QStringList toldA;
    QVERIFY(readAnswer(*again, toldA));
    QVERIFY(tell(*again, "box", toldA, &box));
    QCOMPARE(box, typedA);
    QCOMPARE(toldA.size(), 1);
    QVERIFY2(toldA.first().endsWith(restoredTail), qPrintable(toldA.first()));
    QVERIFY(tell(*again, "quit", toldA));
    QVERIFY(again->waitForFinished());
    QCOMPARE(bytesOf(master), masterB + header);
    QCOMPARE(bytesOf(send), sendB + header);
}

void RecoveryTest::relativeFolderFromElsewhere_data()
{
    // A window given the output folder "out", relative to its working folder,
    // is killed while its rating box waits; the next start comes from elsewhere.
    QTest::addColumn<bool>("fromAbove");
    QTest::newRow("the next start names the folder by its whole path, from another working folder") << false;
    QTest::newRow("the next start names it relative to the folder above") << true;
}

void RecoveryTest::relativeFolderFromElsewhere()
{
    QFETCH(bool, fromAbove);
    const QString work = data->filePath(QStringLiteral("work")), out = work + QStringLiteral("/out");
    QVERIFY(QDir().mkpath(out));
    QVERIFY(QDir::currentPath() != work);
    const QString typed = QStringLiteral("typed for the folder out");
    QProcess *child = startChild(QStringLiteral("rating"), QStringLiteral("out"), typed, {{}, {}, 0, work, {}});
    QVERIFY(waitForLine(*child, "waiting"));
    QCOMPARE(::kill(pid_t(child->processId()), SIGKILL), 0);
    QVERIFY(child->waitForFinished());
    const QStringList files = {out + QStringLiteral("/masterFile.txt"), out + QStringLiteral("/send_0306.txt")};
    for (const QString &file : files)
        QVERIFY(bytesOf(file).endsWith("RESPONSE -->  \r\n" + typed.toUtf8() + "\r\n"));

    QStringList told;
    QString box;
    if (fromAbove) {
        QProcess *next = startChild(QStringLiteral("commands"), QStringLiteral("work/out"), QString(),
                                    {{}, {}, 0, data->path(), {}});
        QVERIFY(readAnswer(*next, told));
        QVERIFY(tell(*next, "box", told, &box));
        QVERIFY(tell(*next, "quit", told));
        QVERIFY(next->waitForFinished());
    } else {
        RecoveringRun next(folder(), out);
        QVERIFY(next.start());
        next.form->restoreUnrecordedAnswer();
        told = next.platform.messages;
        box = next.boxAnswer();
    }
    QCOMPARE(box, typed);
    QCOMPARE(told.size(), 1);
    QVERIFY2(told.first().endsWith(cutOffTail), qPrintable(told.first()));
    for (const QString &file : files) {
        const QByteArray bytes = bytesOf(file);
        QVERIFY2(!bytes.contains("RESPONSE") && !bytes.contains("......!!!!"), bytes.constData());
        QCOMPARE(bytes.count("Applied Calculus I\r\n03-06-2026\r\n"), 2);
    }
}

void RecoveryTest::dataFolderReadOnlyOrFull_data()
{
    // The account's data folder, where the typing is kept, fails; the
    // output folder does not. Records are whole, and a kill while the rating
    // box waits still gives the typing back, from the output folder's journal.
    QTest::addColumn<bool>("full"); // full after start-up (a small tmpfs); else read-only from the start
    QTest::newRow("read-only data folder (a read-only bind mount)") << false;
    QTest::newRow("data folder full after start-up (a small tmpfs, filled)") << true;
}

void RecoveryTest::dataFolderReadOnlyOrFull()
{
    QFETCH(bool, full);
#ifndef Q_OS_LINUX
    QSKIP("mounts file systems the Linux way");
#else
    if (!reliability::Mounts::unavailable().isEmpty())
        QSKIP(qPrintable(reliability::Mounts::unavailable()));
    QVERIFY(QDir().mkpath(folder()));
    MOUNT_OR_SKIP(full ? mounts.tmpfs(folder(), 64 * 1024) : mounts.readOnly(folder()));
    const QString out = childOut(), master = out + QStringLiteral("/masterFile.txt");
    const QString cannotKeep = QStringLiteral("What you type cannot be kept safe against a crash this time:\n\n");
    QProcess *child = startChild(QStringLiteral("commands"), out, QString());
    QStringList told;
    QVERIFY(readAnswer(*child, told));
    if (full)
        QVERIFY(!reliability::fillDisk(folder()).isEmpty());
    QVERIFY(tell(*child, "type recorded with the data folder failing", told));
    if (full) // the box's kept copy is tried a second after the typing, and fails (its new file stays empty)
        QTRY_VERIFY_WITH_TIMEOUT(!QDir(folder()).entryList({QStringLiteral("answer-*.txt.new")}).isEmpty(), 10000);
    QVERIFY(tell(*child, "respond", told));
    QCOMPARE(told.size(), 1);
    QVERIFY2(told.first().startsWith(cannotKeep), qPrintable(told.first()));
    QVERIFY(bytesOf(master).endsWith("RESPONSE -->  \r\nrecorded with the data folder failing\r\n" + ratedTwo));

    QVERIFY(tell(*child, "type caught in the rating box", told));
    child->write("respond-wait\n");
    QVERIFY(waitForLine(*child, "waiting"));
    QCOMPARE(::kill(pid_t(child->processId()), SIGKILL), 0);
    QVERIFY(child->waitForFinished());

    QProcess *next = startChild(QStringLiteral("commands"), out, QString());
    told.clear();
    QString box;
    QVERIFY(readAnswer(*next, told));
    QVERIFY(tell(*next, "box", told, &box));
    QCOMPARE(box, QStringLiteral("caught in the rating box"));
    QCOMPARE(told.size(), 2);
    QVERIFY2(told.first().endsWith(cutOffTail), qPrintable(told.first()));
    QVERIFY2(told.last().startsWith(cannotKeep), qPrintable(told.last()));
    QVERIFY(tell(*next, "respond", told));
    QVERIFY(tell(*next, "quit", told));
    QVERIFY(next->waitForFinished());
    QCOMPARE(told.size(), 2);
    const QByteArray bytes = bytesOf(master);
    QCOMPARE(bytes.count("RESPONSE"), 2);
    QCOMPARE(bytes.count("RESPONSE -->  \r\nrecorded with the data folder failing\r\n" + ratedTwo), 1);
    QCOMPARE(bytes.count("RESPONSE -->  \r\ncaught in the rating box\r\n" + ratedTwo), 1);
#endif
}

void RecoveryTest::restoreNamesTheQuestionShort_data()
{
    QTest::addColumn<QString>("question");
    QTest::addColumn<QString>("named"); // as the restore message quotes it
    QTest::newRow("short: whole") << "What is 2 + 2?" << "What is 2 + 2?";
    QTest::newRow("long: cut after a word, with an ellipsis")
        << "A tank holds 500 gallons of water when full and drains through a valve at the bottom at a rate "
           "that falls as the depth falls; find the rate at t = 3."
        << QString::fromUtf8("A tank holds 500 gallons of water when full and drains through a valve at the bottom "
                             "at a rate that\u2026");
    QTest::newRow("long: the word the cut falls in goes")
        << "A tank holds 500 gallons of water when full and drains through a valve at the bottom at a rate "
           "which falls as the depth falls."
        << QString::fromUtf8("A tank holds 500 gallons of water when full and drains through a valve at the bottom "
                             "at a rate\u2026");
    QTest::newRow("one long word: cut inside it")
        << QString(130, QLatin1Char('x')) << QString(99, QLatin1Char('x')) + QChar(0x2026);
}

void RecoveryTest::restoreNamesTheQuestionShort()
{
    QFETCH(QString, question);
    QFETCH(QString, named);
    const QString longBank = QStringLiteral("@@\n001.  `Query 1\n@@\n`q") + question + QStringLiteral("\n@@\n002.  `Query 2\n");
    {
        RecoveringRun first(folder(), childOut(), longBank);
        QVERIFY(first.start());
        inside(*first.form).cmdNextQuestionClick();
        first.typeAnswer(QStringLiteral("my answer"));
        QTRY_COMPARE_WITH_TIMEOUT(keptFiles().size(), 1, 5000);
    }
    RecoveringRun next(folder(), childOut(), longBank);
    QVERIFY(next.start());
    next.form->restoreUnrecordedAnswer();
    QCOMPARE(next.platform.messages.size(), 1);
    QVERIFY2(next.platform.messages.first().contains(QStringLiteral(" under \"%1\" for the files in ").arg(named)),
             qPrintable(next.platform.messages.first()));
}

QTEST_MAIN(RecoveryTest)
#include "tst_recovery.moc"
