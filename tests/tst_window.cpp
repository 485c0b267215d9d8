#include "scriptedplatform.h"
#include "tests/formaccess.h"

#include "figures/pictureaccessible.h"
#include "figures/picturearea.h"

#include <QAccessible>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

class WindowTest : public QObject
{
    Q_OBJECT
private slots:
    void controls_data();
    void controls();
    void windowAndFonts();
    void initialState();
    void tabOrder();
    void inertControls();
    void workAnAssignmentWithTheMouse();
    void recordAResponseFromTheKeyboard();
    void accessibleControls_data();
    void accessibleControls();
    void pictureDescriptions_data();
    void pictureDescriptions();
    void workWithTheNewKeysOnly();
    void oneCommandPerPress_data();
    void oneCommandPerPress();
    void keyNames_data();
    void keyNames();
    void textSize_data();
    void textSize();
    void busyCursorWhileShowingAFile_data();
    void busyCursorWhileShowingAFile();
};

namespace {

QString described(QWidget *w)
{
    return QAccessible::queryAccessibleInterface(w)->text(QAccessible::Description);
}

} // namespace

void WindowTest::controls_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("twips"); // left, top, width, height
    const struct
    {
        const char *name, *kind, *caption;
        int l, t, w, h;
    } rows[] = {
        {"cmdNextQuestion", "QPushButton", "Next Question / Answer", 240, 0, 975, 735},
        {"cmd_display_note_file", "QPushButton", "display notes", 2400, 240, 135, 495},
        {"cmd_displayCumulativeText", "QPushButton", "display SEND file", 4440, 240, 915, 495},
        {"cmd_enter_response", "QPushButton", "Enter Response", 5640, 240, 855, 495},
        {"cmd_save_as_notes", "QPushButton", "Save as Notes", 6480, 240, 855, 495},
        {"cmd_clr_answer", "QPushButton", "clear answer", 8880, 240, 735, 495},
        {"cmd_quit", "QPushButton", "quit program", 10200, 0, 735, 495},
        {"txt_question", "QPlainTextEdit", "", 240, 720, 5175, 3255},
        {"txt_answer", "QPlainTextEdit", " ", 5640, 720, 5055, 3255},
        {"Picture1", "PictureArea", "", 240, 4080, 5175, 3375},
        {"Picture2", "PictureArea", "", 5640, 4080, 5055, 3375},
        {"lbl_only_if_prompted", "QLabel", "click only if prompted", 240, 7560, 855, 495},
        {"cmd_next_picture", "QPushButton", "next picture", 1200, 7560, 855, 495},
        {"cmd_copy_picture", "QPushButton", "copy picture", 1200, 8160, 855, 495},
        {"cmd_timerTrigger", "QPushButton", "Trigger Timer", 2400, 7560, 735, 495},
        {"List1", "QListWidget", "", 3120, 7680, 1695, 840},
        {"lbl_parameter_0", "QLabel", "Parameter 1", 5640, 7680, 900, 195},
        {"lbl_parameter_1", "QLabel", "Parameter 2", 5640, 8160, 855, 195},
        {"txt_parameter_0", "QLineEdit", "1", 6720, 7680, 300, 285},
        {"txt_parameter_1", "QLineEdit", "1", 6720, 8160, 300, 285},
        {"lbl_parameter_2", "QLabel", "Parameter 3", 7200, 7680, 1005, 195},
        {"lbl_parameter_3", "QLabel", "Parameter 4", 7200, 8160, 900, 195},
        {"txt_parameter_2", "QLineEdit", "1", 8205, 7680, 300, 285},
        {"txt_parameter_3", "QLineEdit", "1", 8205, 8160, 300, 285},
        {"cmd_pend_exp", "QPushButton", "pend exp", 8640, 7560, 495, 375},
    };
    for (const auto &r : rows)
        QTest::newRow(r.name) << r.name << r.kind << r.caption << QRect(r.l, r.t, r.w, r.h);
}

void WindowTest::controls()
{
    QFETCH(QString, name);
    QFETCH(QString, kind);
    QFETCH(QString, caption);
    QFETCH(QRect, twips);
    ScriptedPlatform platform;
    QueryForm form(platform);
    QWidget *w = form.findChild<QWidget *>(name);
    QVERIFY(w);
    QVERIFY(w->inherits(qPrintable(kind)));
    QCOMPARE(w->geometry(), QRect(twips.x() / 15, twips.y() / 15, twips.width() / 15, twips.height() / 15));
    if (auto *b = qobject_cast<QPushButton *>(w)) {
        QCOMPARE(b->text().remove(QLatin1Char('&')), caption); // a mnemonic's mark is not shown
        QVERIFY(!b->isDefault() && !b->autoDefault());
    } else if (auto *l = qobject_cast<QLabel *>(w)) {
        QCOMPARE(l->text(), caption);
    } else if (auto *e = qobject_cast<QLineEdit *>(w)) {
        QCOMPARE(e->text(), caption);
    } else if (auto *t = qobject_cast<QPlainTextEdit *>(w)) {
        QCOMPARE(QueryForm::boxText(t), caption);
        QCOMPARE(t->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    }
    QVERIFY(w->isEnabled());
    // A screen reader says what each control is for.
    QVERIFY(w->accessibleName().size() > caption.size() / 2);
}

void WindowTest::windowAndFonts()
{
    ScriptedPlatform platform;
    QueryForm form(platform);
    QCOMPARE(form.windowTitle(), QStringLiteral("Form1"));
    QCOMPARE(form.size(), QSize(725, 573));
    for (QPlainTextEdit *box : {inside(form).txt_question, inside(form).txt_answer}) {
        const QFont f = box->font();
        QCOMPARE(f.family(), QStringLiteral("Arial"));
        QCOMPARE(f.pointSizeF(), 9.75);
        QCOMPARE(f.weight(), QFont::Normal);
        QVERIFY(!f.bold() && !f.italic() && !f.underline() && !f.strikeOut());
    }
    QCOMPARE(inside(form).txt_parameter[2]->objectName(), QStringLiteral("txt_parameter_2"));
    QCOMPARE(inside(form).lbl_parameter[3]->text(), QStringLiteral("Parameter 4"));
    QVERIFY(inside(form).txt_parameter[0]->font() != inside(form).txt_question->font());
}

void WindowTest::initialState()
{
    ScriptedPlatform platform;
    QueryForm form(platform);
    QCOMPARE(QueryForm::boxText(inside(form).txt_question), QString());
    QCOMPARE(QueryForm::boxText(inside(form).txt_answer), QStringLiteral(" "));
    QCOMPARE(form.findChild<QListWidget *>(QStringLiteral("List1"))->count(), 0);
    QVERIFY(!inside(form).tmr_pend_exp->isActive());
    QCOMPARE(inside(form).tmr_pend_exp->interval(), 15);
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    QCOMPARE(QApplication::focusWidget(), inside(form).txt_question);
}

void WindowTest::tabOrder()
{
    ScriptedPlatform platform;
    QueryForm form(platform);
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    const QStringList expected = {"txt_question", "txt_answer", "cmdNextQuestion", "cmd_enter_response",
                                  "Picture1", "Picture2", "cmd_save_as_notes", "cmd_timerTrigger", "List1",
                                  "txt_parameter_0", "txt_parameter_1", "txt_parameter_2", "txt_parameter_3",
                                  "cmd_displayCumulativeText", "cmd_display_note_file", "cmd_quit", "cmd_pend_exp",
                                  "cmd_next_picture", "cmd_copy_picture", "cmd_clr_answer", "txt_question"};
    QStringList seen = {QApplication::focusWidget()->objectName()};
    for (int i = 1; i < expected.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        seen << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(seen, expected);
}

void WindowTest::inertControls()
{
    TestRun run(QStringLiteral("@@\n001.  `Query 1\n@@\n`qq\n"));
    QVERIFY(run.start());
    const QByteArray master = run.file(QStringLiteral("masterFile.txt"));
    QTest::mouseClick(run.form->findChild<QPushButton *>(QStringLiteral("cmd_timerTrigger")), Qt::LeftButton);
    QVERIFY(!inside(*run.form).tmr_pend_exp->isActive());
    QTest::keyClicks(inside(*run.form).txt_parameter[1], QStringLiteral("42"));
    QCOMPARE(inside(*run.form).txt_parameter[1]->text(), QStringLiteral("142"));
    QCOMPARE(run.file(QStringLiteral("masterFile.txt")), master);
    QVERIFY(!run.form->runEnded());
}

void WindowTest::workAnAssignmentWithTheMouse()
{
    TestRun run(QStringLiteral("@@\n001.  `Query 1\n@@\n`qWhat is 2+2?\n@@\n`a 4.**\n@@\n002.  `Query 2\n"));
    QVERIFY(run.start());
    run.form->show();
    auto click = [&](const char *name) {
        QTest::mouseClick(run.form->findChild<QPushButton *>(QLatin1String(name)), Qt::LeftButton);
    };
    click("cmdNextQuestion");
    QCOMPARE(run.boxQuestion(), QStringLiteral("\r\n\r\nWhat is 2+2?"));
    inside(*run.form).txt_answer->clear();
    QTest::keyClicks(inside(*run.form).txt_answer, QStringLiteral("four"));
    run.platform.answers = {QStringLiteral("3")};
    click("cmd_enter_response");
    QVERIFY(run.file(QStringLiteral("send_0306.txt")).contains("RESPONSE -->  \r\nfour\r\nconfidence assessment:  3\r\n"));
    // The display notes sliver is clickable although it is 9 pixels wide.
    click("cmd_display_note_file");
    QCOMPARE(run.platform.messages.size(), 1);
    click("cmdNextQuestion");
    QCOMPARE(run.boxQuestion(), QStringLiteral("\r\n\r\n 4.**"));
    click("cmdNextQuestion");
    QVERIFY(run.form->runEnded());
}

void WindowTest::recordAResponseFromTheKeyboard()
{
    TestRun run(QStringLiteral("@@\n001.  `Query 1\n@@\n`qName a prime.\n@@\n002.  `Query 2\n"));
    QVERIFY(run.start());
    run.form->show();
    QVERIFY(QTest::qWaitForWindowActive(run.form.get()));
    auto key = [](int k) { QTest::keyClick(QApplication::focusWidget(), Qt::Key(k)); };
    key(Qt::Key_Tab); // txt_answer
    key(Qt::Key_Tab); // Next
    QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("cmdNextQuestion"));
    key(Qt::Key_Space);
    QCOMPARE(run.boxQuestion(), QStringLiteral("\r\n\r\nName a prime."));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ShiftModifier); // back to txt_answer
    QCOMPARE(QApplication::focusWidget(), inside(*run.form).txt_answer);
    QTest::keyClick(inside(*run.form).txt_answer, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(inside(*run.form).txt_answer, QStringLiteral("7"));
    QTest::keyClick(inside(*run.form).txt_answer, Qt::Key_Return);
    QTest::keyClicks(inside(*run.form).txt_answer, QStringLiteral("and 11"));
    key(Qt::Key_Tab);
    key(Qt::Key_Tab); // Enter Response
    QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("cmd_enter_response"));
    run.platform.answers = {QStringLiteral("2")};
    key(Qt::Key_Space);
    QVERIFY(run.file(QStringLiteral("masterFile.txt")).contains("RESPONSE -->  \r\n7\r\nand 11\r\nconfidence assessment:  2\r\n"));
}

void WindowTest::accessibleControls_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("role");
    QTest::addColumn<QString>("accessibleName");
    QTest::addColumn<QString>("keys"); // the mnemonic a screen reader announces
    QTest::addColumn<QString>("describes"); // a part of the description
    const struct
    {
        const char *name;
        QAccessible::Role role;
        const char *accessibleName, *keys, *describes;
    } rows[] = {
        {"cmdNextQuestion", QAccessible::Button, "Next Question / Answer", "Alt+N", "(Ctrl+N, Alt+N)"},
        {"cmd_enter_response", QAccessible::Button, "Enter Response", "Alt+E", "(Ctrl+Return, Alt+E)"},
        {"cmd_save_as_notes", QAccessible::Button, "Save as Notes", "Alt+S", "(Ctrl+S, Alt+S)"},
        {"cmd_quit", QAccessible::Button, "quit program", "Alt+q", "(Ctrl+Q, Alt+Q)"},
        {"cmd_display_note_file", QAccessible::Button, "display notes", "Alt+o", "notes file"},
        {"cmd_pend_exp", QAccessible::Button, "pend exp", "", "random circles"},
        {"cmd_timerTrigger", QAccessible::Button, "Trigger Timer (not used)", "", "Not used"},
        {"txt_question", QAccessible::EditableText, "Questions and answers", "", "Ctrl+plus"},
        {"txt_answer", QAccessible::EditableText, "Your answer", "", "Ctrl+Return records it"},
        {"Picture1", QAccessible::Graphic, "Figure", "", "empty"},
        {"Picture2", QAccessible::Graphic, "Copied picture", "", "empty"},
        {"List1", QAccessible::List, "List (not used)", "", "Not used"},
        {"txt_parameter_3", QAccessible::EditableText, "Parameter 4 (not used)", "", "Not used"},
    };
    for (const auto &r : rows)
        QTest::newRow(r.name) << r.name << int(r.role) << r.accessibleName << r.keys << r.describes;
}

void WindowTest::accessibleControls()
{
    QFETCH(QString, name);
    QFETCH(int, role);
    QFETCH(QString, accessibleName);
    QFETCH(QString, keys);
    QFETCH(QString, describes);
    ScriptedPlatform platform;
    QueryForm form(platform);
    QAccessibleInterface *control = QAccessible::queryAccessibleInterface(form.findChild<QWidget *>(name));
    QVERIFY(control);
    QCOMPARE(int(control->role()), role);
    QCOMPARE(control->text(QAccessible::Name), accessibleName);
    QVERIFY2(control->text(QAccessible::Description).contains(describes),
             qPrintable(control->text(QAccessible::Description)));
    if (auto *button = qobject_cast<QPushButton *>(form.findChild<QWidget *>(name))) {
        QCOMPARE(control->text(QAccessible::Accelerator), keys);
        QCOMPARE(button->toolTip(), control->text(QAccessible::Description));
    }
}

void WindowTest::pictureDescriptions_data()
{
    const QString graph1 = QStringLiteral("graph of velocity v against clock time t (a straight line from t 0, v 0 to "
                                          "t 6, v 4; the point t 3, v 2 marked by a cross)");
    const QString venn1 = QStringLiteral("Venn diagram of two overlapping circles (regions I in both, II in the "
                                         "first only, III in the second only, IV outside both)");
    const QString graph2 = QStringLiteral("graph of value y in dollars against clock time t in months (two segments: "
                                          "from 5000 dollars at month 3 to 5300 at month 7, run 4, rise 300, slope 75; "
                                          "then to 5500 at month 12, run 5, rise 200, slope 40)");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("picture1");
    QTest::addColumn<QString>("picture2");
    QTest::addColumn<int>("events"); // description changes announced
    QTest::newRow("nothing drawn") << QStringList() << "empty" << "empty" << 0;
    QTest::newRow("one graph") << QStringList{"graph1"} << graph1 << "empty" << 1;
    QTest::newRow("a Venn diagram over a graph")
        << QStringList{"graph1", "venn1"} << graph1 + ", then " + venn1 << "empty" << 2;
    QTest::newRow("a graph that wipes the area first")
        << QStringList{"graph1", "venn1", "graph2"} << graph2 << "empty" << 3;
    QTest::newRow("timer circles, announced at most once a second")
        << QStringList(20, "tick") << "20 circles drawn by the timer" << "empty" << 2;
    QTest::newRow("one timer circle") << QStringList{"tick"} << "1 circle drawn by the timer" << "empty" << 1;
    QTest::newRow("a graph over timer circles")
        << QStringList{"tick", "tick", "graph1"} << "2 circles drawn by the timer, then " + graph1 << "empty" << 2;
    QTest::newRow("timer circles over a graph, then a graph")
        << QStringList{"graph2", "tick", "graph1"}
        << graph2 + ", then 1 circle drawn by the timer, then " + graph1 << "empty" << 3;
    QTest::newRow("a wiping Venn diagram over timer circles")
        << QStringList{"tick", "venn3"}
        << "Venn diagram of two overlapping circles with counts (8 in both, 12 in the first only, 7 in the second "
           "only, 8 outside both; first circle total 20, second circle total 15)"
        << "empty" << 2;
    QTest::newRow("copy of a stored picture") << QStringList{"stored", "copy"} << "empty" << "copy of the figure" << 1;
    QTest::newRow("copy of no picture") << QStringList{"copy"} << "empty" << "empty" << 0;
}

void WindowTest::pictureDescriptions()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, picture1);
    QFETCH(QString, picture2);
    QFETCH(int, events);
    ScriptedPlatform platform;
    QueryForm form(platform);
    QStringList announced; // what a screen reader reads when told of a change
    for (PictureArea *area : {inside(form).Picture1, inside(form).Picture2})
        connect(PictureDescription::of(area), &PictureDescription::announced, this,
                [&announced, area] { announced << described(area); });
    for (const QString &step : steps) {
        if (step == QLatin1String("graph1"))
            form.graph1();
        else if (step == QLatin1String("graph2"))
            form.graph2();
        else if (step == QLatin1String("venn1"))
            form.venn1();
        else if (step == QLatin1String("venn3"))
            form.venn3();
        else if (step == QLatin1String("tick"))
            inside(form).tmrPendExpTick();
        else if (step == QLatin1String("stored"))
            inside(form).Picture1->setStoredPicture(QImage(8, 8, QImage::Format_RGB32));
        else if (step == QLatin1String("copy"))
            inside(form).cmdCopyPictureClick();
    }
    QCOMPARE(described(inside(form).Picture1), picture1);
    QCOMPARE(described(inside(form).Picture2), picture2);
    // The last announcement says what the area shows now.
    if (events > 0)
        QTRY_COMPARE(announced.value(announced.size() - 1), picture1 == QLatin1String("empty") ? picture2 : picture1);
    if (steps.value(steps.size() - 1) == QLatin1String("tick"))
        QTest::qWait(1100); // the timer's last count is not announced twice
    QCOMPARE(announced.size(), events);
}

void WindowTest::workWithTheNewKeysOnly()
{
    TestRun run(QStringLiteral("@@\n001.  `Query 1\n@@\n`qName a prime.\n@@\n`a 7 is prime.\n"
                               "@@\n`qName another.\n@@\n002.  `Query 2\n"));
    QVERIFY(run.start());
    run.form->show();
    QVERIFY(QTest::qWaitForWindowActive(run.form.get()));
    QCOMPARE(run.form->windowTitle(), QStringLiteral("Form1"));
    QCOMPARE(QAccessible::queryAccessibleInterface(run.form.get())->text(QAccessible::Name),
             QStringLiteral("Calculus Study, Applied Calculus I, assignment 1"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab); // into the answer box, where the student stays
    QCOMPARE(QApplication::focusWidget(), inside(*run.form).txt_answer);
    auto keys = [&](Qt::Key key, Qt::KeyboardModifiers modifiers) {
        QTest::keyClick(inside(*run.form).txt_answer, key, modifiers);
        QCOMPARE(QApplication::focusWidget(), inside(*run.form).txt_answer);
    };
    auto type = [&](const char *text) {
        keys(Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(inside(*run.form).txt_answer, QLatin1String(text));
    };

    keys(Qt::Key_N, Qt::ControlModifier);
    QCOMPARE(run.boxQuestion(), QStringLiteral("\r\n\r\nName a prime."));
    type("7");
    run.platform.answers = {QStringLiteral("3")};
    keys(Qt::Key_Return, Qt::ControlModifier);
    QVERIFY(run.file(QStringLiteral("send_0306.txt")).contains("RESPONSE -->  \r\n7\r\nconfidence assessment:  3\r\n"));
    QCOMPARE(run.boxAnswer(), QString());

    keys(Qt::Key_N, Qt::AltModifier); // the mnemonic of the same button, at once
    QCOMPARE(run.boxQuestion(), QStringLiteral("\r\n\r\n 7 is prime."));
    type("right");
    run.platform.answers = {QStringLiteral("2")};
    keys(Qt::Key_Enter, Qt::ControlModifier | Qt::KeypadModifier);
    QVERIFY(run.file(QStringLiteral("masterFile.txt")).contains("RESPONSE -->  \r\nright\r\nself critique assessment: 2\r\n"));

    keys(Qt::Key_N, Qt::ControlModifier);
    type("primes are odd, but for 2");
    keys(Qt::Key_S, Qt::ControlModifier);
    QVERIFY(run.file(QStringLiteral("notes_.txt")).contains("NOTES -------> primes are odd, but for 2\r\n"));
    // A command runs when its key goes down, as a click does, and not again when it is let go.
    QTest::keyPress(inside(*run.form).txt_answer, Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(run.file(QStringLiteral("notes_.txt")).count("NOTES"), 2);
    QTest::keyRelease(inside(*run.form).txt_answer, Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(run.file(QStringLiteral("notes_.txt")).count("NOTES"), 2);
    QCOMPARE(run.platform.prompts.size(), 6); // the four of start-up and the two ratings

    QTest::keyClick(inside(*run.form).txt_answer, Qt::Key_Q, Qt::ControlModifier);
    QVERIFY(run.form->runEnded());
    QCOMPARE(run.platform.exits, 1);
}

void WindowTest::oneCommandPerPress_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("focus");  // the control the key goes to: the answer box when empty
    QTest::addColumn<QString>("button"); // the one button it clicks; none when empty
    const struct
    {
        const char *row;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        const char *focus, *button;
    } rows[] = {
        {"Ctrl+N", Qt::Key_N, Qt::ControlModifier, "", "cmdNextQuestion"},
        {"Ctrl+Return", Qt::Key_Return, Qt::ControlModifier, "", "cmd_enter_response"},
        {"keypad Ctrl+Enter", Qt::Key_Enter, Qt::ControlModifier | Qt::KeypadModifier, "", "cmd_enter_response"},
        {"Ctrl+S", Qt::Key_S, Qt::ControlModifier, "", "cmd_save_as_notes"},
        {"Ctrl+Q", Qt::Key_Q, Qt::ControlModifier, "", "cmd_quit"},
        {"Alt+N", Qt::Key_N, Qt::AltModifier, "", "cmdNextQuestion"},
        {"Alt+E", Qt::Key_E, Qt::AltModifier, "", "cmd_enter_response"},
        {"Alt+S", Qt::Key_S, Qt::AltModifier, "", "cmd_save_as_notes"},
        {"Alt+Q", Qt::Key_Q, Qt::AltModifier, "", "cmd_quit"},
        {"Alt+D", Qt::Key_D, Qt::AltModifier, "", "cmd_displayCumulativeText"},
        {"Alt+O", Qt::Key_O, Qt::AltModifier, "", "cmd_display_note_file"},
        {"Alt+C", Qt::Key_C, Qt::AltModifier, "", "cmd_clr_answer"},
        {"Alt+C from the question box", Qt::Key_C, Qt::AltModifier, "txt_question", "cmd_clr_answer"},
        {"Space on Save as Notes", Qt::Key_Space, Qt::NoModifier, "cmd_save_as_notes", "cmd_save_as_notes"},
        {"Space on next picture", Qt::Key_Space, Qt::NoModifier, "cmd_next_picture", "cmd_next_picture"},
        {"Space in the answer box types", Qt::Key_Space, Qt::NoModifier, "", ""},
        {"Ctrl+Shift+S is no command", Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier, "", ""},
        {"Ctrl+S in another window", Qt::Key_S, Qt::ControlModifier, "another window", ""},
    };
    for (const auto &r : rows)
        QTest::newRow(r.row) << int(r.key) << int(r.modifiers) << r.focus << r.button;
}

void WindowTest::oneCommandPerPress()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, focus);
    QFETCH(QString, button);
    TestRun run(QStringLiteral("@@\n001.  `Query 1\n@@\n`qq\n@@\n`aa\n@@\n002.  `Query 2\n"));
    QVERIFY(run.start());
    run.platform.answers = {QStringLiteral("1"), QStringLiteral("1"), QStringLiteral("1")};
    run.form->show();
    QVERIFY(QTest::qWaitForWindowActive(run.form.get()));
    QMap<QString, int> clicks;
    for (QPushButton *b : run.form->findChildren<QPushButton *>())
        connect(b, &QPushButton::clicked, this, [&clicks, b] { ++clicks[b->objectName()]; });
    QLineEdit box; // a window of its own, as an input box is
    QWidget *target = focus == QLatin1String("another window") ? &box
                      : focus.isEmpty()                        ? inside(*run.form).txt_answer
                                                               : run.form->findChild<QWidget *>(focus);
    QVERIFY(target);
    target->setFocus();
    const Qt::Key k = Qt::Key(key);
    const auto mods = Qt::KeyboardModifiers(modifiers);
    QMap<QString, int> once, twice;
    if (!button.isEmpty()) {
        once[button] = 1;
        twice[button] = 2;
    }
    // The repeat of a press this window never saw (it went to a box closed
    // since) runs nothing.
    QTest::simulateEvent(target, true, k, mods, QString(), true);
    QTest::simulateEvent(target, false, k, mods, QString(), true);
    QCOMPARE(clicks, (QMap<QString, int>()));
    // Down, and down again twice with no release and no repeat flag (how
    // Windows repeats a held key): the command runs at once, and once.
    for (int press = 0; press < 3; ++press) {
        QTest::keyPress(target, k, mods);
        QCOMPARE(clicks, once);
    }
    QTest::keyRelease(target, k, mods);
    QTest::qWait(150);
    QCOMPARE(clicks, once);
    if (button.isEmpty() || button == QLatin1String("cmd_quit"))
        return;
    // Down again, and let go while another program had the focus, so the
    // release never came here: back here, a press of the same key is a new one.
    QTest::keyPress(target, k, mods);
    QCOMPARE(clicks, twice);
    box.show();
    box.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&box));
    run.form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(run.form.get()));
    target->setFocus();
    QTest::keyPress(target, k, mods);
    QTest::keyRelease(target, k, mods);
    twice[button] = 3;
    QCOMPARE(clicks, twice);
}

void WindowTest::keyNames_data()
{
    QTest::addColumn<QString>("name"); // the control; the window when empty
    QTest::addColumn<bool>("mnemonics"); // false: a system that has none, as macOS
    QTest::addColumn<QString>("text"); // a button's tooltip, else the accessible description
    const QString window = QStringLiteral(
        "Keys: Ctrl+N next question or answer, Ctrl+Return enter response, Ctrl+S save as notes, "
        "Ctrl+Q quit, Ctrl+plus and Ctrl+minus text size, Ctrl+0 normal text size");
    const QString answer = QStringLiteral(
        "Type an answer, a critique of your answer, an insight or a note; Ctrl+Return records it, Ctrl+S saves "
        "it as a note, Ctrl+N shows the next question or answer");
    const QString question = QStringLiteral("The assignment's questions and given answers, and the files shown; "
                                            "Ctrl+plus, Ctrl+minus and Ctrl+0 change the text size");
    for (const bool mnemonics : {true, false}) {
        const char *system = mnemonics ? "" : ", no mnemonics";
        auto row = [&](const char *name, const QString &text) {
            QTest::addRow("%s%s", *name ? name : "window", system) << name << mnemonics << text;
        };
        auto alt = [mnemonics](const char *keys) { return mnemonics ? QLatin1String(keys) : QLatin1String(); };
        row("cmdNextQuestion",
            QStringLiteral("Shows the next question or given answer below the text above (Ctrl+N%1)").arg(alt(", Alt+N")));
        row("cmd_enter_response", QStringLiteral("Records the text of the answer box, then asks for a rating "
                                                 "(Ctrl+Return%1)").arg(alt(", Alt+E")));
        row("cmd_save_as_notes",
            QStringLiteral("Records the text of the answer box as a note (Ctrl+S%1)").arg(alt(", Alt+S")));
        row("cmd_quit", QStringLiteral("Ends the run at once (Ctrl+Q%1)").arg(alt(", Alt+Q")));
        row("cmd_display_note_file",
            QStringLiteral("Shows the notes file below the question text%1").arg(alt(" (Alt+O)")));
        row("cmd_displayCumulativeText",
            QStringLiteral("Shows today's SEND file below the question text%1").arg(alt(" (Alt+D)")));
        row("cmd_clr_answer", QStringLiteral("Empties the answer box%1").arg(alt(" (Alt+C)")));
        row("cmd_next_picture", QStringLiteral("Draws the figure of the assignment just ahead, if there is one"));
        row("txt_answer", answer);
        row("txt_question", question);
        row("", window);
    }
}

void qt_set_sequence_auto_mnemonic(bool b); // Qt's own switch: off on macOS

void WindowTest::keyNames()
{
    QFETCH(QString, name);
    QFETCH(bool, mnemonics);
    QFETCH(QString, text);
    qt_set_sequence_auto_mnemonic(mnemonics);
    TestRun run(QStringLiteral("@@\n001.  `Query 1\n@@\n`qq\n@@\n002.  `Query 2\n"));
    qt_set_sequence_auto_mnemonic(true);
    QWidget *w = name.isEmpty() ? run.form.get() : run.form->findChild<QWidget *>(name);
    QVERIFY(w);
    QCOMPARE(qobject_cast<QPushButton *>(w) ? w->toolTip() : w->accessibleDescription(), text);
    // Where the system has no mnemonics, Alt with the underlined letter does nothing.
    if (!mnemonics && qobject_cast<QPushButton *>(w) && w->objectName() == QLatin1String("cmd_save_as_notes")) {
        QVERIFY(run.start());
        run.form->show();
        QVERIFY(QTest::qWaitForWindowActive(run.form.get()));
        int clicked = 0;
        connect(qobject_cast<QPushButton *>(w), &QPushButton::clicked, this, [&clicked] { ++clicked; });
        QTest::keyClick(inside(*run.form).txt_answer, Qt::Key_S, Qt::AltModifier);
        QTest::qWait(150);
        QCOMPARE(clicked, 0);
    }
}

void WindowTest::textSize_data()
{
    QTest::addColumn<double>("desktop"); // the desktop's font size, points
    QTest::addColumn<QString>("keys");   // + - 0 = Ctrl with the key; u d: Ctrl+wheel up and down one notch
    QTest::addColumn<double>("size");    // the boxes' size afterwards
    QTest::newRow("start at 9.75 on a small desktop font") << 8.0 << "" << 9.75;
    QTest::newRow("start at a larger desktop font") << 16.0 << "" << 16.0;
    QTest::newRow("Ctrl+plus twice") << 8.0 << "++" << 11.75;
    QTest::newRow("Ctrl+= as Ctrl+plus") << 8.0 << "=" << 10.75;
    QTest::newRow("Ctrl+minus") << 8.0 << "-" << 8.75;
    QTest::newRow("Ctrl+0 back to the start") << 16.0 << "+++-0" << 16.0;
    QTest::newRow("Ctrl+wheel") << 8.0 << "uuud" << 11.75;
    QTest::newRow("no larger than 36 points") << 16.0 << QString(30, '+') << 36.0;
}

void WindowTest::textSize()
{
    QFETCH(double, desktop);
    QFETCH(QString, keys);
    QFETCH(double, size);
    const QFont desktopFont = QApplication::font();
    QFont font = desktopFont;
    font.setPointSizeF(desktop);
    QApplication::setFont(font);
    ScriptedPlatform platform;
    QueryForm form(platform);
    QApplication::setFont(desktopFont);
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    const QRect answerBox = inside(form).txt_answer->geometry();
    for (const QChar k : keys) {
        if (k == QLatin1Char('u') || k == QLatin1Char('d')) {
            QWidget *viewport = inside(form).txt_question->viewport();
            const QPointF at(20, 20);
            QWheelEvent wheel(at, viewport->mapToGlobal(at), QPoint(), QPoint(0, k == QLatin1Char('u') ? 120 : -120),
                              Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(viewport, &wheel);
        } else {
            const Qt::Key key = k == QLatin1Char('+')   ? Qt::Key_Plus
                                : k == QLatin1Char('-') ? Qt::Key_Minus
                                : k == QLatin1Char('=') ? Qt::Key_Equal
                                                        : Qt::Key_0;
            QTest::keyClick(inside(form).txt_answer, key, Qt::ControlModifier);
        }
    }
    QCOMPARE(inside(form).txt_question->font().pointSizeF(), size);
    QCOMPARE(inside(form).txt_answer->font().pointSizeF(), size);
    QCOMPARE(inside(form).txt_answer->geometry(), answerBox);
    QCOMPARE(form.size(), QSize(725, 573));
}

void WindowTest::busyCursorWhileShowingAFile_data()
{
    QTest::addColumn<QString>("button");
    QTest::newRow("display notes") << "cmd_display_note_file";
    QTest::newRow("display SEND file") << "cmd_displayCumulativeText";
}

void WindowTest::busyCursorWhileShowingAFile()
{
    QFETCH(QString, button);
    TestRun run(QStringLiteral("@@\n001.  `Query 1\n@@\n`qq\n"));
    QVERIFY(run.start());
    QFile notes(run.outputPath(QStringLiteral("notes_.txt")));
    QVERIFY(notes.open(QIODevice::WriteOnly));
    notes.write("a note\r\n");
    notes.close();
    QList<int> cursors; // the cursor while the text is set; -1 for none
    connect(inside(*run.form).txt_question, &QPlainTextEdit::textChanged, this, [&cursors] {
        cursors << (QGuiApplication::overrideCursor() ? int(QGuiApplication::overrideCursor()->shape()) : -1);
    });
    run.form->findChild<QPushButton *>(button)->click();
    QCOMPARE(cursors, QList<int>{Qt::WaitCursor});
    QVERIFY(!QGuiApplication::overrideCursor());
}

QTEST_MAIN(WindowTest)
#include "tst_window.moc"
