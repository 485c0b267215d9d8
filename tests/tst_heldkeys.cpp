// Command keys held down on a real X server, as a student holds them a
// moment too long. The test starts its own Xvfb with the keyboard's
// auto-repeat on, shows a run of the program on it and holds each key down
// through XTEST (xdotool), so the window gets whatever the X server and Qt
// make of a held key: pairs of a release and a press, some of them marked
// as repeats and some not.
#include "scriptedplatform.h"
#include "tests/formaccess.h"

#include <QApplication>
#include <QEventLoop>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <map>
#include <set>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

/// An X server of the test's own. It takes the first free display number
/// itself (-displayfd), and repeats a held key after 250 ms every 30 ms,
/// so that a hold of 1.5 s brings some forty repeats.
class XServer
{
public:
    XServer()
    {
        const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        if (xvfb.isEmpty()) {
            problem = QStringLiteral("no Xvfb to run a real display on");
            return;
        }
        int ready[2];
        if (pipe(ready) != 0) {
            problem = QStringLiteral("no pipe for Xvfb's display number");
            return;
        }
        const QList<QByteArray> args = {xvfb.toLocal8Bit(), "-displayfd", QByteArray::number(ready[1]),
                                        "-nolisten", "tcp", "-screen", "0", "800x600x24",
                                        "r", "-ardelay", "250", "-arinterval", "30"};
        std::vector<char *> argv;
        for (const QByteArray &a : args)
            argv.push_back(const_cast<char *>(a.constData()));
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addclose(&actions, ready[0]);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        const int spawned = posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(ready[1]);
        if (spawned != 0) {
            m_pid = -1;
            close(ready[0]);
            problem = QStringLiteral("Xvfb did not start");
            return;
        }
        QByteArray number;
        pollfd wait = {ready[0], POLLIN, 0};
        char c = 0;
        while (poll(&wait, 1, 10000) > 0 && read(ready[0], &c, 1) == 1 && c != '\n')
            number += c;
        close(ready[0]);
        if (number.isEmpty())
            problem = QStringLiteral("Xvfb gave no display number");
        else
            display = QStringLiteral(":") + QString::fromLatin1(number);
    }
    ~XServer()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
    }
    XServer(const XServer &) = delete;
    XServer &operator=(const XServer &) = delete;

    QString display; ///< ":N" once it accepts connections
    QString problem; ///< why there is none

private:
    pid_t m_pid = -1;
};

const QString bank = QStringLiteral("@@\n001.  `Query 1\n@@\n`qFirst question\n@@\n`a First answer.**\n"
                                    "@@\n`qSecond question\n@@\n`a Second answer.**\n@@\n`qThird question\n"
                                    "@@\n`a Third answer.**\n@@\n002.  `Query 2\n");

const char *const commandButtons[] = {"cmdNextQuestion", "cmd_enter_response", "cmd_save_as_notes", "cmd_quit",
                                      "cmd_displayCumulativeText", "cmd_display_note_file", "cmd_clr_answer"};

/// Every press of one key the window is sent (a ShortcutOverride and the
/// press it may become share a time stamp), and how many Qt marked as repeats.
class PressCounter : public QObject
{
public:
    /// Counts the presses of `key`; with `stall` the window stops that many
    /// ms after a release, as on a machine busy elsewhere.
    PressCounter(int key, int stall) : m_key(key), m_stall(stall) { qApp->installEventFilter(this); }
    int presses() const { return int(m_stamps.size()); }
    int marked() const { return int(m_marked.size()); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        const QEvent::Type type = event->type();
        if ((type != QEvent::ShortcutOverride && type != QEvent::KeyPress && type != QEvent::KeyRelease)
            || !watched->isWidgetType())
            return false;
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() != m_key)
            return false;
        if (type == QEvent::KeyRelease) {
            // Right after the window has taken a release that Qt did not
            // know for a repeat's, before the press of the repeat comes.
            if (m_stall > 0 && !key->isAutoRepeat() && m_released.insert(key->timestamp()).second)
                QTimer::singleShot(0, this, [this] { QThread::msleep(m_stall); });
            return false;
        }
        m_stamps.insert(key->timestamp());
        if (key->isAutoRepeat())
            m_marked.insert(key->timestamp());
        return false;
    }

private:
    int m_key;
    int m_stall;
    std::set<quint64> m_stamps, m_marked, m_released;
};

} // namespace

class HeldKeysTest : public QObject
{
    Q_OBJECT
public:
    explicit HeldKeysTest(const XServer &server) : m_server(server) {}

private slots:
    void initTestCase();
    void oneCommandPerHold_data();
    void oneCommandPerHold();

private:
    const XServer &m_server;
    QString m_xdotool;
};

void HeldKeysTest::initTestCase()
{
    if (!m_server.problem.isEmpty())
        QSKIP(qPrintable(m_server.problem));
    m_xdotool = QStandardPaths::findExecutable(QStringLiteral("xdotool"));
    if (m_xdotool.isEmpty())
        QSKIP("no xdotool to hold keys down with (Debian package xdotool)");
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
}

void HeldKeysTest::oneCommandPerHold_data()
{
    QTest::addColumn<QStringList>("hold"); // xdotool's commands
    QTest::addColumn<int>("key");          // the key that repeats
    QTest::addColumn<QString>("focus");    // the control with the focus; the answer box when empty
    QTest::addColumn<QString>("button");   // the one button clicked
    QTest::addColumn<QString>("effect");   // what the one command leaves
    QTest::addColumn<int>("stall");        // ms the window stops after a release
    const struct
    {
        const char *row, *keys;
        Qt::Key key;
        const char *focus, *button, *effect;
        int stall = 0;
    } rows[] = {
        {"Ctrl+N", "ctrl+n", Qt::Key_N, "", "cmdNextQuestion", "one step"},
        {"Ctrl+N, Ctrl let go first", "", Qt::Key_N, "", "cmdNextQuestion", "one step"},
        {"Alt+N", "alt+n", Qt::Key_N, "", "cmdNextQuestion", "one step"},
        {"Space on Next", "space", Qt::Key_Space, "cmdNextQuestion", "cmdNextQuestion", "one step"},
        {"Ctrl+Return", "ctrl+Return", Qt::Key_Return, "", "cmd_enter_response", "one response"},
        {"keypad Ctrl+Enter", "ctrl+KP_Enter", Qt::Key_Enter, "", "cmd_enter_response", "one response"},
        {"Alt+E", "alt+e", Qt::Key_E, "", "cmd_enter_response", "one response"},
        {"Space on Enter Response", "space", Qt::Key_Space, "cmd_enter_response", "cmd_enter_response",
         "one response"},
        {"Ctrl+S", "ctrl+s", Qt::Key_S, "", "cmd_save_as_notes", "one note"},
        {"Ctrl+S, window too busy to wait", "ctrl+s", Qt::Key_S, "", "cmd_save_as_notes", "one note", 60},
        {"Alt+S", "alt+s", Qt::Key_S, "", "cmd_save_as_notes", "one note"},
        {"Space on Save as Notes", "space", Qt::Key_Space, "cmd_save_as_notes", "cmd_save_as_notes", "one note"},
        {"Ctrl+Q", "ctrl+q", Qt::Key_Q, "", "cmd_quit", "ended"},
        {"Alt+Q", "alt+q", Qt::Key_Q, "", "cmd_quit", "ended"},
        {"Alt+D", "alt+d", Qt::Key_D, "", "cmd_displayCumulativeText", ""},
        {"Alt+O", "alt+o", Qt::Key_O, "", "cmd_display_note_file", ""},
        {"Alt+C", "alt+c", Qt::Key_C, "", "cmd_clr_answer", ""},
    };
    for (const auto &r : rows) {
        // Down 1.5 s, up; or Ctrl up first, the N a moment later.
        const QStringList hold = *r.keys ? QStringList{"keydown", r.keys, "sleep", "1.5", "keyup", r.keys}
                                         : QStringList{"keydown", "ctrl+n", "sleep", "1.5", "keyup", "ctrl",
                                                       "sleep", "0.3", "keyup", "n"};
        QTest::newRow(r.row) << hold << int(r.key) << r.focus << r.button << r.effect << r.stall;
    }
}

void HeldKeysTest::oneCommandPerHold()
{
    QFETCH(QStringList, hold);
    QFETCH(int, key);
    QFETCH(QString, focus);
    QFETCH(QString, button);
    QFETCH(QString, effect);
    QFETCH(int, stall);
    TestRun run(bank);
    QVERIFY(run.start());
    inside(*run.form).cmdNextQuestionClick(); // the first question, so that a response asks for a rating
    run.typeAnswer(QStringLiteral("typed before the key"));
    std::map<QString, int> clicks;
    PressCounter counter(key, stall);
    int pressesBeforeClick = -1;
    for (const char *name : commandButtons) {
        auto *b = run.form->findChild<QPushButton *>(QLatin1String(name));
        QVERIFY(b);
        connect(b, &QPushButton::clicked, this, [&, name] {
            ++clicks[QLatin1String(name)];
            pressesBeforeClick = counter.presses();
        });
    }
    run.form->show();
    run.form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(run.form.get()));
    QWidget *target = focus.isEmpty() ? inside(*run.form).txt_answer : run.form->findChild<QWidget *>(focus);
    QVERIFY(target);
    target->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), target);
    const qsizetype prompts = run.platform.prompts.size();
    run.platform.answers = {QStringLiteral("2")}; // the rating of a response

    QProcess xdotool;
    xdotool.setProcessChannelMode(QProcess::ForwardedChannels);
    // While the key is down the window takes each event as it comes, as the
    // program's own loop does: polling now and then would let the halves of
    // a repeat pile up, and Qt marks the repeats it finds waiting.
    QEventLoop holding;
    connect(&xdotool, &QProcess::finished, &holding, &QEventLoop::quit);
    QTimer::singleShot(10000, &holding, &QEventLoop::quit);
    xdotool.start(m_xdotool, hold);
    QVERIFY(xdotool.waitForStarted());
    holding.exec();
    QCOMPARE(xdotool.state(), QProcess::NotRunning);
    QCOMPARE(xdotool.exitCode(), 0);
    QTest::qWait(500); // a release's wait and a mnemonic's flash are over
    qInfo("%d presses from the X server, %d of them marked as repeats", counter.presses(), counter.marked());

    for (const char *name : commandButtons)
        QCOMPARE(clicks[QLatin1String(name)], QLatin1String(name) == button ? 1 : 0);
    // Only once the key was let go; a window too busy to wait for the press
    // of a repeat may run it at a repeat, but once all the same.
    if (stall == 0)
        QCOMPARE(pressesBeforeClick, counter.presses());
    // The X server did repeat the key to the window: the test holds what a
    // student holds.
    QVERIFY2(counter.presses() >= 20,
             qPrintable(QStringLiteral("the window got %1 presses: too few repeats, or the window was gone "
                                       "before the key was let go")
                            .arg(counter.presses())));
    auto records = [&](const char *file, const char *label) {
        return run.file(QLatin1String(file)).count(label);
    };
    if (effect == QLatin1String("one step")) {
        QCOMPARE(inside(*run.form).bankIndex, 3);
        QVERIFY(run.boxQuestion().endsWith(QLatin1String("First answer.**")));
    } else if (effect == QLatin1String("one response")) {
        QCOMPARE(records("masterFile.txt", "RESPONSE -->  "), 1);
        QCOMPARE(records("send_0306.txt", "RESPONSE -->  "), 1);
        QCOMPARE(run.platform.prompts.size(), prompts + 1); // one rating
    } else if (effect == QLatin1String("one note")) {
        QCOMPARE(records("masterFile.txt", "NOTES -------> "), 1);
        QCOMPARE(records("send_0306.txt", "NOTES -------> "), 1);
        QCOMPARE(records("notes_.txt", "NOTES -------> "), 1);
    } else if (effect == QLatin1String("ended")) {
        QVERIFY(run.form->runEnded());
        QCOMPARE(run.platform.exits, 1);
    }
    if (effect != QLatin1String("ended"))
        QVERIFY(!run.form->runEnded());
}

int main(int argc, char *argv[])
{
    // The display is chosen before the application exists.
    XServer server;
    if (!server.display.isEmpty()) {
        qputenv("QT_QPA_PLATFORM", "xcb");
        qputenv("DISPLAY", server.display.toLocal8Bit());
    }
    QApplication app(argc, argv);
    HeldKeysTest test(server);
    return QTest::qExec(&test, argc, argv);
}

#include "tst_heldkeys.moc"
