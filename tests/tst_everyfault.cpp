// Every file operation the program makes fails once, and the process is
// killed at each one: a whole scripted session is played again and again,
// and after each every output file holds whole records only and no typed
// text is lost.

#include "session.h"

#include "platform/oscalls.h"

#include <QProcess>
#include <QTest>

namespace {

struct Call
{
    oscalls::Io operation;
    QString file;
    int step;
};

const char *operationName(oscalls::Io operation)
{
    switch (operation) {
    case oscalls::Io::Open:
        return "open";
    case oscalls::Io::Write:
        return "write";
    case oscalls::Io::Sync:
        return "sync";
    case oscalls::Io::Truncate:
        return "truncate";
    case oscalls::Io::Rename:
        return "rename";
    case oscalls::Io::Remove:
        return "remove";
    case oscalls::Io::MakeFolder:
        return "make folder";
    }
    return "?";
}

const char *stepNames[] = {"start-up", "first answer", "self-critique", "note", "display notes",
                           "display SEND", "second answer", "Next to the end"};

/// The file operations of one whole session without a fault, in order.
const std::vector<Call> &sessionCalls()
{
    static std::vector<Call> calls;
    if (calls.empty()) {
        QTemporaryDir base;
        oscalls::setFaultInjector([](oscalls::Io operation, const QString &path) {
            calls.push_back({operation, QFileInfo(path).fileName(), session::step});
            return false;
        });
        auto run = std::make_unique<SessionRun>(base.path());
        session::play(run);
        run.reset();
        oscalls::setFaultInjector(nullptr);
        const QString problem = session::checkFiles(base.path(), session::texts);
        if (!problem.isEmpty())
            qFatal("the session without a fault leaves: %s", qPrintable(problem));
    }
    return calls;
}

/// The typed text a step records, if any.
QString textOfStep(int step)
{
    switch (step) {
    case 1:
        return session::texts[0];
    case 2:
        return session::texts[1];
    case 3:
        return session::texts[2];
    case 6:
        return session::texts[3];
    default:
        return QString();
    }
}

QString rowName(int index, const Call &call)
{
    return QStringLiteral("#%1 %2 %3 in %4")
        .arg(index)
        .arg(QLatin1String(operationName(call.operation)), call.file.startsWith(QLatin1String("answer-"))
                                                                ? QStringLiteral("the recovery file")
                                                                : call.file,
             QLatin1String(stepNames[call.step]));
}

} // namespace

class EveryFaultTest : public QObject
{
    Q_OBJECT
private slots:
    void eachOperationFailsOnce_data();
    void eachOperationFailsOnce();
    void killedAtEachOperation_data();
    void killedAtEachOperation();
};

void EveryFaultTest::eachOperationFailsOnce_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("andItsTakeBack"); // the first cut of an output file after it fails too
    const std::vector<Call> &calls = sessionCalls();
    for (int i = 0; i < int(calls.size()); ++i) {
        QTest::newRow(qPrintable(rowName(i + 1, calls[size_t(i)]))) << i + 1 << false;
        // A take-back comes only after a failed write or sync: its cut fails too.
        if (calls[size_t(i)].operation == oscalls::Io::Write || calls[size_t(i)].operation == oscalls::Io::Sync)
            QTest::newRow(qPrintable(rowName(i + 1, calls[size_t(i)]) + QStringLiteral(", then the take-back's cut")))
                << i + 1 << true;
    }
}

void EveryFaultTest::eachOperationFailsOnce()
{
    QFETCH(int, index);
    QFETCH(bool, andItsTakeBack);
    QTemporaryDir base;
    int seen = 0;
    bool cutFailed = false;
    oscalls::setFaultInjector([&](oscalls::Io operation, const QString &path) {
        ++seen;
        if (seen == index)
            return true;
        if (andItsTakeBack && seen > index && !cutFailed && operation == oscalls::Io::Truncate
            && !path.endsWith(QLatin1String(".journal"))) {
            cutFailed = true;
            return true;
        }
        return false;
    });
    auto run = std::make_unique<SessionRun>(base.path());
    session::play(run);
    oscalls::setFaultInjector(nullptr);
    QVERIFY(seen >= index);
    // A student who read each message and tried once more recorded everything.
    const QString problem = session::checkFiles(base.path(), session::texts);
    QVERIFY2(problem.isEmpty(), qPrintable(problem + QStringLiteral("\nmessages:\n")
                                           + run->platform.messages.join(QLatin1Char('\n'))));
}

void EveryFaultTest::killedAtEachOperation_data()
{
#ifdef Q_OS_WIN
    QSKIP("kills itself with SIGKILL");
#endif
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("step");
    QTest::addColumn<bool>("mustSurvive"); // the step's text must be recorded or given back
    const std::vector<Call> &calls = sessionCalls();
    for (int i = 0; i < int(calls.size()); ++i) {
        const Call &call = calls[size_t(i)];
        // Once the record's first byte is written, its text must come back:
        // only a kill before that may take the last typing with it.
        bool begun = false;
        for (int j = 0; j < i; ++j)
            begun = begun
                    || (calls[size_t(j)].step == call.step && calls[size_t(j)].operation == oscalls::Io::Write
                        && !calls[size_t(j)].file.startsWith(QLatin1String("answer-"))
                        && !calls[size_t(j)].file.endsWith(QLatin1String(".journal")));
        QTest::newRow(qPrintable(rowName(i + 1, call))) << i + 1 << call.step << begun;
    }
}

void EveryFaultTest::killedAtEachOperation()
{
    QFETCH(int, index);
    QFETCH(int, step);
    QFETCH(bool, mustSurvive);
    QTemporaryDir base;
    QProcess child;
    child.setProgram(QCoreApplication::applicationDirPath() + QStringLiteral("/session_child"));
    child.setArguments({base.path(), QString::number(index)});
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start();
    QVERIFY(child.waitForFinished(30000));
    QCOMPARE(child.exitStatus(), QProcess::CrashExit); // killed at that operation, before the end

    // The next start: unfinished records cut off, the typing given back.
    SessionRun next(base.path());
    QVERIFY(next.start());
    next.form->restoreUnrecordedAnswer();
    QStringList recorded;
    for (int s = 1; s < step; ++s)
        if (!textOfStep(s).isEmpty())
            recorded << textOfStep(s);
    const QString problem = session::checkFiles(base.path(), recorded, textOfStep(step), next.boxAnswer(), !mustSurvive);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

QTEST_MAIN(EveryFaultTest)
#include "tst_everyfault.moc"
