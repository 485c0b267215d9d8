// A window that types and waits to be ended from outside. The recovery test
// starts it, ends it (a signal) and starts again to see what came back.
// Modes: "wait" types the text at once; "steady" types it one character
// every 100 ms, printing how many are typed; "rating" types it, presses Enter
// Response after a question and waits in the rating box; "logoff" does the
// same, then the session ends as the toolkit tells a windowed program on
// Windows (its work kept on the session's request, then the application
// quits); "startup" waits in the first start-up box; "commands" takes one
// command a line from its input ("type TEXT", "respond", "respond-wait",
// "note", "box", "quit") and answers each with the messages it gave and
// "done". A recovery folder of "default" is the account's own (from HOME).
#include "scriptedplatform.h"
#include "tests/formaccess.h"
#include "ui/recovery.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {
void say(const QByteArray &line)
{
    std::fputs(line.constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

/// Runs one line of the "commands" mode and says what came of it.
void runCommand(TestRun &run, const QByteArray &line, int &told)
{
    if (line.startsWith("type "))
        run.typeAnswer(QString::fromUtf8(line.mid(5)));
    else if (line == "respond" || line == "respond-wait") {
        const bool wait = line == "respond-wait";
        run.platform.onInput = [wait](const QString &) {
            if (!wait)
                return QStringLiteral("2");
            say("waiting");
            QEventLoop waitHere;
            waitHere.exec();
            return QString();
        };
        inside(*run.form).cmdEnterResponseClick();
    } else if (line == "note")
        inside(*run.form).cmdSaveAsNotesClick();
    else if (line == "box")
        say("box " + run.boxAnswer().toUtf8().toPercentEncoding());
    else if (line == "quit")
        inside(*run.form).cmdQuitClick();
    for (; told < run.platform.messages.size(); ++told)
        say("message " + run.platform.messages.at(told).toUtf8().toPercentEncoding());
    say("done");
}
} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc < 5)
        return 2;
    const QString mode = QString::fromLocal8Bit(argv[1]);
    const QString recoveryFolder = QByteArray(argv[2]) == "default" ? AnswerRecovery::defaultFolder()
                                                                    : QString::fromLocal8Bit(argv[2]);
    const QString outputFolder = QString::fromLocal8Bit(argv[3]);
    const QString typed = QString::fromUtf8(argv[4]);
    TestRun run(QStringLiteral("@@\n001.  `Query 1\n@@\n`qFirst question\n@@\n`a First answer.**\n"
                               "@@\n002.  `Query 2\n"));
    run.platform.answers[2] = outputFolder;
    run.form->enableAnswerRecovery(recoveryFolder);
    // std::exit leaves this window's folder lock behind: keep it in the test's folder.
    run.form->keepWorkAtEveryEnd();

    // The scripted platform does not end the process; this does, with the
    // status the run ended with.
    QTimer ended;
    QObject::connect(&ended, &QTimer::timeout, [&] {
        if (run.form->runEnded())
            std::exit(run.platform.exitStatus());
    });
    ended.start(10);

    if (mode == QLatin1String("startup")) {
        run.platform.onInput = [&](const QString &) {
            say("asking");
            QEventLoop waitHere;
            waitHere.exec();
            return QString();
        };
    }
    if (!run.start())
        return 3;
    run.form->show();
    run.form->restoreUnrecordedAnswer();
    inside(*run.form).cmdNextQuestionClick();

    QTimer keys;
    int count = 0;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    input.setEnabled(mode == QLatin1String("commands"));
    QByteArray pending;
    if (mode == QLatin1String("commands")) {
        int told = 0;
        QObject::connect(&input, &QSocketNotifier::activated, [&] {
            char buffer[4096];
            const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (n <= 0) {
                input.setEnabled(false);
                return;
            }
            pending.append(buffer, qsizetype(n));
            for (qsizetype end; (end = pending.indexOf('\n')) >= 0;) {
                const QByteArray line = pending.left(end);
                pending.remove(0, end + 1);
                runCommand(run, line, told);
            }
        });
        runCommand(run, "started", told);
    } else if (mode == QLatin1String("steady")) {
        QObject::connect(&keys, &QTimer::timeout, [&] {
            ++count;
            run.typeAnswer(typed.left(count));
            say(QByteArray::number(count));
        });
        keys.start(100);
    } else if (mode == QLatin1String("rating") || mode == QLatin1String("logoff")) {
        run.typeAnswer(typed);
        run.platform.onInput = [&](const QString &) {
            say("waiting");
            if (mode == QLatin1String("logoff")) {
                run.form->keepWorkBeforeSuddenEnd(); // what the session's commit request does
                QTimer::singleShot(0, &QCoreApplication::quit);
            }
            QEventLoop waitHere;
            waitHere.exec();
            return QString();
        };
        QTimer::singleShot(0, [&] { inside(*run.form).cmdEnterResponseClick(); });
    } else {
        run.typeAnswer(typed);
        QObject::connect(&keys, &QTimer::timeout, [&] {
            if (!QDir(recoveryFolder).entryList({QStringLiteral("answer-*.txt")}).isEmpty()) {
                say("kept");
                keys.stop();
            }
        });
        keys.start(20);
        say("typed");
    }
    const int status = app.exec();
    return run.form->runEnded() ? run.platform.exitStatus() : status;
}
