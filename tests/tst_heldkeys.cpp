// Command keys held down on a real X server, as a student holds them a
// moment too long. The test starts its own Xvfb with the keyboard's
// auto-repeat on, shows a run of the program on it and holds each key down
// through XTEST (xdotool), so the window gets whatever the X server and Qt
// make of a held key: pairs of a release and a press, some of them marked
// as repeats and some not.
#include "platform/platform.h"
#include "scriptedplatform.h"
#include "tests/formaccess.h"

#include <QApplication>
#include <QDialog>
#include <QEventLoop>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QTextCursor>
#include <QWindow>

#include <map>
#include <set>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

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

/// Holds up a box as it is shown, before it can ask for the focus, as a
/// window manager that takes its time.
class FocusLag : public QObject
{
public:
    explicit FocusLag(int ms) : m_ms(ms)
    {
        if (ms > 0)
            qApp->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show && qobject_cast<QDialog *>(watched))
            QThread::msleep(m_ms);
        return false;
    }

private:
    int m_ms;
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
    void typedQuickly_data();
    void typedQuickly();
    void focusTakenMidHold_data();
    void focusTakenMidHold();

private:
    /// Shows the run's window with the focus in the answer box.
    bool showWithAnswerFocus(TestRun &run);
    /// Runs xdotool with `args` while the window takes each event as it comes.
    bool xdotool(const QStringList &args);
    /// How often each command button was clicked from now on.
    std::map<QString, int> &countClicks(TestRun &run);

    const XServer &m_server;
    QString m_xdotool;
    std::map<QString, int> m_clicks;
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

bool HeldKeysTest::showWithAnswerFocus(TestRun &run)
{
    run.form->show();
    run.form->activateWindow();
    if (!QTest::qWaitForWindowActive(run.form.get()))
        return false;
    inside(*run.form).txt_answer->setFocus();
    return QTest::qWaitFor([&] { return QApplication::focusWidget() == inside(*run.form).txt_answer; });
}

bool HeldKeysTest::xdotool(const QStringList &args)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    // The window's own loop runs meanwhile, as the program's does: polling
    // now and then would let keys pile up, which is not what a student's
    // window sees.
    QEventLoop typing;
    connect(&process, &QProcess::finished, &typing, &QEventLoop::quit);
    QTimer::singleShot(20000, &typing, &QEventLoop::quit);
    process.start(m_xdotool, args);
    if (!process.waitForStarted())
        return false;
    typing.exec();
    return process.state() == QProcess::NotRunning && process.exitCode() == 0;
}

std::map<QString, int> &HeldKeysTest::countClicks(TestRun &run)
{
    m_clicks.clear();
    for (const char *name : commandButtons) {
        auto *b = run.form->findChild<QPushButton *>(QLatin1String(name));
        if (b)
            connect(b, &QPushButton::clicked, this, [this, name] { ++m_clicks[QLatin1String(name)]; });
    }
    return m_clicks;
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
    QTest::qWait(300); // the last repeats are in
    qInfo("%d presses from the X server, %d of them marked as repeats", counter.presses(), counter.marked());

    for (const char *name : commandButtons)
        QCOMPARE(clicks[QLatin1String(name)], QLatin1String(name) == button ? 1 : 0);
    // At once, as the key went down: the first press, not a repeat, nor
    // the release.
    QCOMPARE(pressesBeforeClick, 1);
    // The X server did repeat the key to the window: the test holds what a
    // student holds.
    // (Quitting ends the window at the first press.)
    QVERIFY2(effect == QLatin1String("ended") || counter.presses() >= 20,
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

void HeldKeysTest::typedQuickly_data()
{
    QTest::addColumn<QStringList>("keys");   // xdotool's commands
    QTest::addColumn<QString>("clicks");     // each button clicked, "name=count" joined by blanks
    QTest::addColumn<QByteArray>("record");  // what the master file then ends with
    QTest::addColumn<int>("syncMs");         // how long each sync to disk takes (0: as the disk is)
    QTest::addColumn<int>("focusLagMs");     // how long a shown box waits for the focus (0: no wait)
    QTest::addColumn<int>("busyMs");         // how long the window is busy as the keys come (0: not)
    const QByteArray rated = "RESPONSE -->  \r\nmy answer\r\nconfidence assessment:  2\r\n"
                             ".................................................\r\n";
    const auto rate = [](const char *delay) {
        return QStringList{"key", "--delay", delay, "ctrl+Return", "2", "Return"};
    };
    // A fast typist: the command key, the rating and Return, as one gesture.
    QTest::newRow("rating 1 ms after Ctrl+Return") << rate("1") << "cmd_enter_response=1" << rated << 0 << 0 << 0;
    QTest::newRow("rating 10 ms after Ctrl+Return") << rate("10") << "cmd_enter_response=1" << rated << 0 << 0 << 0;
    QTest::newRow("rating 20 ms after Ctrl+Return") << rate("20") << "cmd_enter_response=1" << rated << 0 << 0 << 0;
    QTest::newRow("rating 60 ms after Ctrl+Return") << rate("60") << "cmd_enter_response=1" << rated << 0 << 0 << 0;
    QTest::newRow("rating 150 ms after Ctrl+Return") << rate("150") << "cmd_enter_response=1" << rated << 0 << 0 << 0;
    QTest::newRow("rating 10 ms after Alt+E")
        << QStringList{"key", "--delay", "10", "alt+e", "2", "Return"} << "cmd_enter_response=1" << rated << 0 << 0 << 0;
    // The record's syncs slow, as on a USB stick or a network home: the
    // keys come while it is written, and the box still takes them.
    QTest::newRow("rating 10 ms after Ctrl+Return, syncs of 30 ms") << rate("10") << "cmd_enter_response=1" << rated
                                                                       << 30 << 0 << 0;
    QTest::newRow("rating 1 ms after Ctrl+Return, syncs of 30 ms") << rate("1") << "cmd_enter_response=1" << rated
                                                                      << 30 << 0 << 0;
    // A window manager gives the box the focus a while after it is shown:
    // the keys typed meanwhile come to the window, which the box blocks.
    QTest::newRow("rating 10 ms after Ctrl+Return, focus 80 ms late") << rate("10") << "cmd_enter_response=1"
                                                                        << rated << 0 << 80 << 0;
    QTest::newRow("rating 1 ms after Alt+E, focus 80 ms late")
        << QStringList{"key", "--delay", "1", "alt+e", "2", "Return"} << "cmd_enter_response=1" << rated << 0 << 80 << 0;
    // The window busy elsewhere while all of it is typed: the keys after
    // the command key are in when it runs.
    QTest::newRow("rating 1 ms after Ctrl+Return, window busy") << rate("1") << "cmd_enter_response=1" << rated
                                                                  << 0 << 0 << 300;
    // Roll-over: the 2 goes down before Return comes up.
    QTest::newRow("rating rolled over Ctrl+Return")
        << QStringList{"keydown", "ctrl+Return", "sleep", "0.01", "keyup", "ctrl", "sleep", "0.01", "keydown", "2",
                       "sleep", "0.01", "keyup", "Return", "sleep", "0.01", "keyup", "2", "sleep", "0.01", "key",
                       "Return"}
        << "cmd_enter_response=1" << rated << 0 << 0 << 0;
    // Held a moment too long: the box the key opened never takes its
    // repeats for the rating.
    QTest::newRow("Alt+E held 1.5 s, then the rating")
        << QStringList{"keydown", "alt+e", "sleep", "1.5", "keyup", "e", "keyup", "alt", "key", "2", "Return"}
        << "cmd_enter_response=1" << rated << 0 << 0 << 0;
    QTest::newRow("Ctrl+Return held 1.5 s, then the rating")
        << QStringList{"keydown", "ctrl+Return", "sleep", "1.5", "keyup", "Return", "keyup", "ctrl", "key", "2",
                       "Return"}
        << "cmd_enter_response=1" << rated << 0 << 0 << 0;
    // Two command keys in quick succession: each acts once.
    QTest::newRow("Ctrl+S then Ctrl+N, 10 ms apart")
        << QStringList{"key", "--delay", "10", "ctrl+s", "ctrl+n"} << "cmd_save_as_notes=1 cmdNextQuestion=1"
        << QByteArray("NOTES -------> my answer\r\n.................................................\r\n") << 0 << 0 << 0;
    QTest::newRow("Ctrl+S rolled over Ctrl+N")
        << QStringList{"keydown", "ctrl+s", "sleep", "0.01", "keydown", "n", "sleep", "0.01", "keyup", "s", "keyup",
                       "n", "keyup", "ctrl"}
        << "cmd_save_as_notes=1 cmdNextQuestion=1"
        << QByteArray("NOTES -------> my answer\r\n.................................................\r\n") << 0 << 0 << 0;
    QTest::newRow("Ctrl+N twice, 10 ms apart")
        << QStringList{"key", "--delay", "10", "ctrl+n", "ctrl+n"} << "cmdNextQuestion=2" << QByteArray() << 0 << 0 << 0;
    QTest::newRow("Ctrl+Return, rating, then Ctrl+S, 10 ms apart")
        << QStringList{"key", "--delay", "10", "ctrl+Return", "2", "Return", "ctrl+s"}
        << "cmd_enter_response=1 cmd_save_as_notes=1"
        << QByteArray("NOTES -------> \r\n.................................................\r\n") << 0 << 0 << 0;
}

void HeldKeysTest::typedQuickly()
{
    QFETCH(QStringList, keys);
    QFETCH(QString, clicks);
    QFETCH(QByteArray, record);
    QFETCH(int, syncMs);
    QFETCH(int, focusLagMs);
    QFETCH(int, busyMs);
    TestRun run(bank);
    QVERIFY(run.start());
    if (syncMs > 0)
        setSyncObserver([syncMs](const QString &) { QThread::msleep(syncMs); });
    inside(*run.form).cmdNextQuestionClick(); // the first question: a response asks for a confidence rating
    run.typeAnswer(QStringLiteral("my answer"));
    // The rating box is the real one, typed into with real keys.
    run.platform.onInput = [&run](const QString &prompt) {
        QtPlatform real(run.form.get());
        return real.inputBox(prompt);
    };
    std::map<QString, int> &clicked = countClicks(run);
    QVERIFY(showWithAnswerFocus(run));
    // A box the keys never reached is given up, so that the row fails
    // rather than waits for ever.
    QTimer giveUp;
    giveUp.setSingleShot(true);
    connect(&giveUp, &QTimer::timeout, this, [] {
        if (auto *box = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
            box->reject();
    });
    giveUp.start(4000);
    FocusLag lag(focusLagMs);
    if (busyMs > 0)
        QTimer::singleShot(0, this, [busyMs] { QThread::msleep(busyMs); });
    QVERIFY(xdotool(keys));
    QTRY_VERIFY(!QApplication::activeModalWidget());
    QTest::qWait(200); // any key sent on is in

    std::map<QString, int> expected;
    for (const QString &c : clicks.split(QLatin1Char(' ')))
        expected[c.section(QLatin1Char('='), 0, 0)] = c.section(QLatin1Char('='), 1).toInt();
    QCOMPARE(clicked, expected);
    if (!record.isEmpty())
        QVERIFY2(run.file(QStringLiteral("masterFile.txt")).endsWith(record),
                 run.file(QStringLiteral("masterFile.txt")).right(300).toPercentEncoding(" ").constData());
    // Nothing typed after the command lands in the answer box.
    const bool recorded = clicked.count(QStringLiteral("cmd_enter_response")) || clicked.count(QStringLiteral("cmd_save_as_notes"));
    QCOMPARE(run.boxAnswer(), recorded ? QString() : QStringLiteral("my answer"));
    QVERIFY(!run.form->runEnded());
}

namespace {

/// A window of another program that takes the focus, as a notification
/// does: a client of its own on the X server, which this process never hears from.
class OtherClient
{
public:
    explicit OtherClient(const QString &display)
    {
        m_connection = xcb_connect(display.toLocal8Bit().constData(), nullptr);
        if (xcb_connection_has_error(m_connection))
            return;
        xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
        m_window = xcb_generate_id(m_connection);
        xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, m_window, screen->root, 500, 10, 200, 80, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
        xcb_map_window(m_connection, m_window);
        xcb_flush(m_connection);
    }
    ~OtherClient()
    {
        if (m_connection)
            xcb_disconnect(m_connection);
    }
    OtherClient(const OtherClient &) = delete;
    OtherClient &operator=(const OtherClient &) = delete;

    /// Takes the keyboard's focus, and waits until the server has done it.
    bool takeFocus() { return focus(m_window); }
    /// Gives the focus to `window`, as a window manager does when the
    /// student clicks it (a request of the window's own would come with an
    /// older time than this client's, and the server would ignore it).
    bool giveFocusTo(xcb_window_t window) { return focus(window); }

private:
    bool focus(xcb_window_t window)
    {
        if (!m_window || !window)
            return false;
        // Mapped windows only can take the focus: retried until it is.
        for (int tries = 0; tries < 100; ++tries) {
            xcb_void_cookie_t set = xcb_set_input_focus_checked(m_connection, XCB_INPUT_FOCUS_POINTER_ROOT,
                                                                window, XCB_CURRENT_TIME);
            xcb_generic_error_t *error = xcb_request_check(m_connection, set);
            if (!error)
                return true;
            free(error);
            QThread::msleep(10);
        }
        return false;
    }

    xcb_connection_t *m_connection = nullptr;
    xcb_window_t m_window = 0;
};

} // namespace

void HeldKeysTest::focusTakenMidHold_data()
{
    QTest::addColumn<QString>("key");     // held down in the answer box, let go in the other window
    QTest::addColumn<QString>("button");  // what its press clicked, once
    QTest::addColumn<QStringList>("typed"); // xdotool's commands afterwards, back in the window
    QTest::addColumn<QString>("answer");  // the answer box then
    const auto type = [](const char *text) { return QStringList{"type", "--delay", "40", text}; };
    QTest::newRow("Ctrl+S, then \" yes\"") << "ctrl+s" << "cmd_save_as_notes" << type(" yes") << " yes";
    QTest::newRow("Alt+N, then \" no\"") << "alt+n" << "cmdNextQuestion" << type(" no") << "draft no";
    QTest::newRow("Alt+C, then \"cdq\"") << "alt+c" << "cmd_clr_answer" << type("cdq") << "cdq";
    QTest::newRow("Ctrl+Return, then r and Return")
        << "ctrl+Return" << "cmd_enter_response" << QStringList{"key", "--delay", "40", "r", "Return", "s"}
        << "r\r\ns";
}

void HeldKeysTest::focusTakenMidHold()
{
    QFETCH(QString, key);
    QFETCH(QString, button);
    QFETCH(QStringList, typed);
    QFETCH(QString, answer);
    TestRun run(bank);
    QVERIFY(run.start());
    inside(*run.form).cmdNextQuestionClick();
    run.typeAnswer(QStringLiteral("draft"));
    inside(*run.form).txt_answer->moveCursor(QTextCursor::End);
    run.platform.answers = {QStringLiteral("2")};
    std::map<QString, int> &clicked = countClicks(run);
    QVERIFY(showWithAnswerFocus(run));
    OtherClient other(m_server.display);

    QVERIFY(xdotool({"keydown", key}));
    QTRY_COMPARE(clicked[button], 1);
    // The other window takes the focus while the key is down; the key and
    // its modifier come up there.
    QVERIFY(other.takeFocus());
    QTRY_VERIFY(!run.form->isActiveWindow());
    QVERIFY(xdotool({"sleep", "0.3", "keyup", key}));
    QVERIFY(other.giveFocusTo(xcb_window_t(run.form->winId())));
    QTRY_VERIFY(run.form->isActiveWindow());
    QTRY_COMPARE(QApplication::focusWidget(), inside(*run.form).txt_answer);
    QVERIFY(xdotool(typed));
    QTest::qWait(200);

    // Every letter typed, nothing run again.
    const std::map<QString, int> once = {{button, 1}};
    QCOMPARE(clicked, once);
    QCOMPARE(run.boxAnswer(), answer);
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
