#include "scriptedplatform.h"

#include "figures/picturearea.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

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
};

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
        QCOMPARE(b->text(), caption);
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
    for (QPlainTextEdit *box : {form.txt_question, form.txt_answer}) {
        const QFont f = box->font();
        QCOMPARE(f.family(), QStringLiteral("Arial"));
        QCOMPARE(f.pointSizeF(), 9.75);
        QCOMPARE(f.weight(), QFont::Normal);
        QVERIFY(!f.bold() && !f.italic() && !f.underline() && !f.strikeOut());
    }
    QCOMPARE(form.txt_parameter[2]->objectName(), QStringLiteral("txt_parameter_2"));
    QCOMPARE(form.lbl_parameter[3]->text(), QStringLiteral("Parameter 4"));
    QVERIFY(form.txt_parameter[0]->font() != form.txt_question->font());
}

void WindowTest::initialState()
{
    ScriptedPlatform platform;
    QueryForm form(platform);
    QCOMPARE(QueryForm::boxText(form.txt_question), QString());
    QCOMPARE(QueryForm::boxText(form.txt_answer), QStringLiteral(" "));
    QCOMPARE(form.findChild<QListWidget *>(QStringLiteral("List1"))->count(), 0);
    QVERIFY(!form.tmr_pend_exp->isActive());
    QCOMPARE(form.tmr_pend_exp->interval(), 15);
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    QCOMPARE(QApplication::focusWidget(), form.txt_question);
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
    QVERIFY(!run.form->tmr_pend_exp->isActive());
    QTest::keyClicks(run.form->txt_parameter[1], QStringLiteral("42"));
    QCOMPARE(run.form->txt_parameter[1]->text(), QStringLiteral("142"));
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
    run.form->txt_answer->clear();
    QTest::keyClicks(run.form->txt_answer, QStringLiteral("four"));
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
    QCOMPARE(QApplication::focusWidget(), run.form->txt_answer);
    QTest::keyClick(run.form->txt_answer, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(run.form->txt_answer, QStringLiteral("7"));
    QTest::keyClick(run.form->txt_answer, Qt::Key_Return);
    QTest::keyClicks(run.form->txt_answer, QStringLiteral("and 11"));
    key(Qt::Key_Tab);
    key(Qt::Key_Tab); // Enter Response
    QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("cmd_enter_response"));
    run.platform.answers = {QStringLiteral("2")};
    key(Qt::Key_Space);
    QVERIFY(run.file(QStringLiteral("masterFile.txt")).contains("RESPONSE -->  \r\n7\r\nand 11\r\nconfidence assessment:  2\r\n"));
}

QTEST_MAIN(WindowTest)
#include "tst_window.moc"
