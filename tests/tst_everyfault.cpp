// Every file operation the program makes fails once, and the process is
// killed at each one: a whole scripted session is played again and again,
// and after each every output file holds whole records only and no typed
// text is lost. A shorter session is then cut by a power loss at each of
// its operations, in every state the disk may be left in under POSIX rules.

#include "session.h"

#include "platform/oscalls.h"
#include "platform/platform.h"
#include "tests/formaccess.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

#include <map>
#include <optional>
#include <set>
#include <tuple>

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

/// The files of a folder by name, as they stand.
using Files = std::map<QString, QByteArray>;

Files filesIn(const QString &folder)
{
    Files files;
    for (const QFileInfo &info : QDir(folder).entryInfoList(QDir::Files | QDir::Hidden | QDir::System))
        files[info.fileName()] = bytesOf(info.absoluteFilePath());
    return files;
}

QString cleanPath(const QString &path)
{
    return QDir::cleanPath(QDir::fromNativeSeparators(path));
}

/// A short session as its output folder saw it: every file operation, and
/// the folder's files before each (so after the one before).
struct Trace
{
    struct Operation
    {
        oscalls::Io io;
        QString path;
        bool synced = false; // a sync that the system said was done
    };
    /// A command and the operations it made, [begin, end).
    struct Command
    {
        QString text; // what it records; empty for start-up and quit
        int begin = 0;
        int end = 0;
        int noted = -1; // its journal note's sync
    };
    QString folder;
    QStringList earlier; // recorded in the folder before the session, and on the disk
    std::vector<Operation> operations;
    std::vector<Files> before; // one more than operations: the folder at the end
    std::vector<Command> commands;
};

/// Start-up, an Enter Response with its rating, a Save as Notes, another
/// Enter Response, and quit; in a new folder, or (`onEarlierFiles`) in one
/// where an earlier run left its files, its lock and journal gone: then no
/// output file is made and the journal is the one new name.
const Trace &shortSession(bool onEarlierFiles)
{
    static Trace traces[2];
    Trace &trace = traces[onEarlierFiles];
    if (!trace.operations.empty())
        return trace;
    QTemporaryDir base;
    if (onEarlierFiles) {
        SessionRun earlier(base.path());
        earlier.start();
        inside(*earlier.form).cmdNextQuestionClick();
        earlier.typeAnswer(session::texts[1]);
        inside(*earlier.form).cmdEnterResponseClick();
        inside(*earlier.form).cmdQuitClick();
        trace.earlier = QStringList{session::texts[1]};
    }
    auto run = std::make_unique<SessionRun>(base.path());
    trace.folder = cleanPath(base.filePath(QStringLiteral("out")));
    oscalls::setFaultInjector([&trace](oscalls::Io io, const QString &path) {
        trace.before.push_back(filesIn(trace.folder));
        trace.operations.push_back({io, cleanPath(path)});
        return false;
    });
    setSyncObserver([&trace](const QString &path) {
        if (!trace.operations.empty() && trace.operations.back().io == oscalls::Io::Sync
            && trace.operations.back().path == cleanPath(path))
            trace.operations.back().synced = true;
    });
    const auto command = [&trace](const QString &text, const std::function<void()> &click) {
        Trace::Command c{text, int(trace.operations.size())};
        click();
        c.end = int(trace.operations.size());
        for (int i = c.begin; i < c.end && c.noted < 0; ++i)
            if (trace.operations[size_t(i)].synced && trace.operations[size_t(i)].path.endsWith(QLatin1String(".journal")))
                c.noted = i;
        trace.commands.push_back(c);
    };
    command(QString(), [&] { run->start(); });
    FormAccess form = inside(*run->form);
    form.cmdNextQuestionClick();
    run->typeAnswer(session::texts[0]);
    command(session::texts[0], [&] { form.cmdEnterResponseClick(); });
    run->typeAnswer(session::texts[2]);
    command(session::texts[2], [&] { form.cmdSaveAsNotesClick(); });
    form.cmdNextQuestionClick();
    run->typeAnswer(session::texts[3]);
    command(session::texts[3], [&] { form.cmdEnterResponseClick(); });
    command(QString(), [&] { form.cmdQuitClick(); });
    trace.before.push_back(filesIn(trace.folder));
    oscalls::setFaultInjector(nullptr);
    setSyncObserver(nullptr);
    const QString problem = session::checkFiles(
        base.path(), trace.earlier + QStringList{session::texts[0], session::texts[2], session::texts[3]});
    if (!problem.isEmpty() || run->platform.messages.size() != 0)
        qFatal("the short session without a fault leaves: %s", qPrintable(problem + run->platform.messages.join(u'\n')));
    return trace;
}

/// Every state the output folder may be found in after a power loss when
/// the first `crash` operations of the session were done: each file holds
/// what it held at its last sync or anything it held since, and a file
/// made or removed since the folder's last sync may be there or not.
std::set<Files> crashStates(const Trace &trace, int crash)
{
    int folderSynced = 0;
    std::map<QString, int> fileSynced;
    for (int i = 0; i < crash; ++i) {
        const Trace::Operation &op = trace.operations[size_t(i)];
        if (op.io != oscalls::Io::Sync || !op.synced)
            continue;
        if (op.path == trace.folder)
            folderSynced = i;
        else if (QFileInfo(op.path).absolutePath() == trace.folder)
            fileSynced[QFileInfo(op.path).fileName()] = i;
    }
    const Files &named = trace.before[size_t(folderSynced)];
    std::set<QString> names;
    for (int j = folderSynced; j <= crash; ++j)
        for (const auto &file : trace.before[size_t(j)])
            names.insert(file.first);
    std::vector<std::vector<std::optional<QByteArray>>> choices;
    std::vector<QString> order;
    for (const QString &name : names) {
        const auto synced = fileSynced.find(name);
        const int from = synced == fileSynced.end() ? 0 : synced->second;
        std::set<QByteArray> contents;
        // Made in the session and never synced: nothing of it on the disk yet.
        if (synced == fileSynced.end() && !trace.before.front().count(name))
            contents.insert(QByteArray());
        bool changed = false;
        for (int j = from; j <= crash; ++j) {
            const auto there = trace.before[size_t(j)].find(name);
            if (there != trace.before[size_t(j)].end())
                contents.insert(there->second);
            changed = changed || (j >= folderSynced && (there != trace.before[size_t(j)].end()) != named.count(name));
        }
        std::vector<std::optional<QByteArray>> options(contents.begin(), contents.end());
        if (changed)
            options.push_back(std::nullopt);
        choices.push_back(options);
        order.push_back(name);
    }
    std::set<Files> states;
    std::vector<size_t> pick(choices.size(), 0);
    for (;;) {
        Files state;
        for (size_t i = 0; i < choices.size(); ++i)
            if (choices[i][pick[i]])
                state[order[i]] = *choices[i][pick[i]];
        states.insert(state);
        size_t i = 0;
        while (i < pick.size() && ++pick[i] == choices[i].size())
            pick[i++] = 0;
        if (i == pick.size())
            return states;
    }
}

/// What a new window on a crash state must find: the texts of the commands
/// that returned recorded once, the one in flight recorded once or given
/// back (or gone, if its journal note was not on the disk yet).
struct Expected
{
    QStringList recorded;
    QString inFlight;
    bool mayBeLost = false;
    bool operator<(const Expected &o) const
    {
        return std::tie(recorded, inFlight, mayBeLost) < std::tie(o.recorded, o.inFlight, o.mayBeLost);
    }
};

Expected expectedAt(const Trace &trace, int crash)
{
    Expected e;
    e.recorded = trace.earlier;
    for (const Trace::Command &c : trace.commands) {
        if (c.end <= crash && !c.text.isEmpty())
            e.recorded << c.text;
        if (c.begin <= crash && crash < c.end && !c.text.isEmpty()) {
            e.inFlight = c.text;
            e.mayBeLost = c.noted < 0 || c.noted >= crash;
        }
    }
    return e;
}

/// A new window on `state`; empty when it finds what `expected` says, else what is wrong.
QString checkCrashState(const Files &state, const Expected &expected)
{
    QTemporaryDir base;
    for (const auto &[name, bytes] : state)
        writeBytes(base.filePath(QStringLiteral("out/") + name), bytes);
    QDir().mkpath(base.filePath(QStringLiteral("out")));
    SessionRun next(base.path());
    if (!next.start())
        return QStringLiteral("the next start failed: ") + next.platform.messages.join(u'\n');
    next.form->restoreUnrecordedAnswer();
    QStringList problems;
    for (const QString &message : next.platform.messages)
        if (!message.startsWith(QLatin1String("The answer below was typed on ")))
            problems << QStringLiteral("told: ") + message;
    const QString files = session::checkFiles(base.path(), expected.recorded, expected.inFlight, next.boxAnswer(),
                                              expected.mayBeLost);
    if (!files.isEmpty())
        problems << files;
    return problems.join(u'\n');
}

/// The states checked so far, so that a state the disk may be left in at
/// several crash points (with the same commands returned) is started once.
std::set<std::pair<Expected, Files>> &checkedStates()
{
    static std::set<std::pair<Expected, Files>> checked;
    return checked;
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
    void powerLossUnderPosixRules_data();
    void powerLossUnderPosixRules();
    void cleanupTestCase();
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

void EveryFaultTest::powerLossUnderPosixRules_data()
{
#ifdef Q_OS_WIN
    QSKIP("POSIX rules for a folder's names: NTFS journals them itself, and the program syncs no folder there");
#endif
    QTest::addColumn<bool>("onEarlierFiles");
    QTest::addColumn<int>("crash"); // how many of the session's operations were done
    const char *names[] = {"start-up", "Enter Response", "Save as Notes", "Enter Response again", "quit"};
    for (const bool earlier : {false, true}) {
        const Trace &trace = shortSession(earlier);
        const char *where = earlier ? "an earlier run's folder" : "a new folder";
        QTest::addRow("%s: #0 before the first operation", where) << earlier << 0;
        for (int i = 1; i <= int(trace.operations.size()); ++i) {
            const Trace::Operation &op = trace.operations[size_t(i - 1)];
            int command = 0;
            while (command + 1 < int(trace.commands.size()) && trace.commands[size_t(command)].end < i)
                ++command;
            QTest::addRow("%s: #%d after %s %s in %s", where, i, operationName(op.io),
                          qPrintable(QFileInfo(op.path).fileName()), names[command])
                << earlier << i;
        }
    }
}

void EveryFaultTest::powerLossUnderPosixRules()
{
    QFETCH(bool, onEarlierFiles);
    QFETCH(int, crash);
    const Trace &trace = shortSession(onEarlierFiles);
    const Expected expected = expectedAt(trace, crash);
    for (const Files &state : crashStates(trace, crash)) {
        if (!checkedStates().insert({expected, state}).second)
            continue;
        const QString problem = checkCrashState(state, expected);
        if (problem.isEmpty())
            continue;
        QStringList files;
        for (const auto &[name, bytes] : state)
            files << QStringLiteral("%1 (%2 bytes)").arg(name).arg(bytes.size());
        QFAIL(qPrintable(problem + QStringLiteral("\nin the state: ") + files.join(QStringLiteral(", "))));
    }
}

void EveryFaultTest::cleanupTestCase()
{
    if (!checkedStates().empty())
        qInfo("power loss: %d states of the folder checked, at %d crash points", int(checkedStates().size()),
              int(shortSession(false).operations.size() + shortSession(true).operations.size()) + 2);
}

QTEST_MAIN(EveryFaultTest)
#include "tst_everyfault.moc"
