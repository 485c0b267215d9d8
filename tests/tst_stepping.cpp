#include "scriptedplatform.h"
#include "tests/formaccess.h"

#include "figures/picturearea.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTest>

class SteppingTest : public QObject
{
    Q_OBJECT
private slots:
    void classification_data();
    void classification();
    void routineAtFirstRead();
    void routineAtSecondReadShownAsText();
    void routineNamedWithNothingEndsRun();
    void expandLineBreaks_data();
    void expandLineBreaks();
    void answerBoxRefill();
    void endsAtNextHeading_data();
    void endsAtNextHeading();
    void endsAtEndOfBank();
    void keepsWhatTheStudentTyped();
    void newEntryIsNotUndoable();
    void scrollsToNewEntry();
};

void SteppingTest::classification_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("lastLine");
    QTest::addColumn<QString>("kind");
    QTest::newRow("question marker removed") << QStringList{"`qWhat is your function model?"}
                                             << "What is your function model?" << "What is your function model?"
                                             << "question";
    QTest::newRow("blank after an answer marker stays")
        << QStringList{"`a It's easiest to avoid denominators where possible."}
        << " It's easiest to avoid denominators where possible."
        << " It's easiest to avoid denominators where possible." << "answer";
    QTest::newRow("empty entries skipped in one click") << QStringList{"", "", "", "", "", "`qQ"} << "Q" << "Q"
                                                        << "question";
    QTest::newRow("capital marker letter is text") << QStringList{"`QBig"} << "`QBig" << "`QBig" << "";
    QTest::newRow("marker after a blank is text") << QStringList{" `qx"} << " `qx" << " `qx" << "";
    QTest::newRow("marker alone changes the kind and is skipped")
        << QStringList{"`a", "plain"} << "plain" << "plain" << "answer";
    QTest::newRow("untagged entry keeps the kind") << QStringList{"assignment # 15 \\e"} << "assignment # 15 "
                                                   << "assignment # 15 " << "";
    QTest::newRow("exactly `routine is shown as text") << QStringList{"`routine"} << "`routine" << "`routine"
                                                       << "";
    QTest::newRow("blank-only entry shown") << QStringList{"\\e \\e"} << " " << " " << "";
}

void SteppingTest::classification()
{
    QFETCH(QStringList, entries);
    QFETCH(QString, shown);
    QFETCH(QString, lastLine);
    QFETCH(QString, kind);
    TestRun run(bankOfAssignmentOne(entries));
    QVERIFY(run.start());
    inside(*run.form).cmdNextQuestionClick();
    QVERIFY(!run.form->runEnded());
    QCOMPARE(run.boxQuestion(), QStringLiteral("\r\n\r\n") + shown);
    QCOMPARE(inside(*run.form).questionText, run.boxQuestion());
    QCOMPARE(inside(*run.form).lastLine, lastLine);
    QCOMPARE(inside(*run.form).lastLineKind, kind);
    QCOMPARE(inside(*run.form).pendingLine, QString());
    QCOMPARE(inside(*run.form).resetAnswerBox, shown != QLatin1String("`routine"));
}

void SteppingTest::routineAtFirstRead()
{
    TestRun run(bankOfAssignmentOne({"`Routine Graph-1", "`qAfter the figure"}));
    QVERIFY(run.start());
    const QImage before = inside(*run.form).Picture1->rendered();
    inside(*run.form).cmdNextQuestionClick();
    QVERIFY(!run.form->runEnded());
    QCOMPARE(run.boxQuestion(), QStringLiteral("\r\n\r\nAfter the figure"));
    QVERIFY(inside(*run.form).Picture1->rendered() != before);
    QCOMPARE(inside(*run.form).bankIndex, 3);
    QVERIFY(inside(*run.form).resetAnswerBox);
}

void SteppingTest::routineAtSecondReadShownAsText()
{
    TestRun run(bankOfAssignmentOne({"`routine graph2", "`routine graph1"}));
    QVERIFY(run.start());
    inside(*run.form).cmdNextQuestionClick();
    QVERIFY(!run.form->runEnded());
    QCOMPARE(run.boxQuestion(), QStringLiteral("\r\n\r\n`routine graph1"));
    // The second routine entry leaves the flag false, as after any routine entry.
    QVERIFY(!inside(*run.form).resetAnswerBox);
}

void SteppingTest::routineNamedWithNothingEndsRun()
{
    TestRun run(bankOfAssignmentOne({"`routine \\e", "`qnever shown"}));
    QVERIFY(run.start());
    inside(*run.form).cmdNextQuestionClick();
    QVERIFY(run.form->runEnded());
    QCOMPARE(run.platform.exits, 1);
    QCOMPARE(run.boxQuestion(), QString());
    QVERIFY(run.platform.messages.isEmpty());
}

void SteppingTest::expandLineBreaks_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expanded");
    QTest::newRow("empty") << "" << "";
    QTest::newRow("one character") << "{" << "{";
    QTest::newRow("between sentences") << "One.{}{}Two." << "One.\r\n\r\nTwo.";
    QTest::newRow("at the very end") << "end{}" << "end\r\n";
    QTest::newRow("no overlap from the left") << "{{}}" << "{\r\n}";
    QTest::newRow("closing brace first is copied") << "}{" << "}{";
    QTest::newRow("three braces") << "{}}" << "\r\n}";
}

void SteppingTest::expandLineBreaks()
{
    QFETCH(QString, text);
    QFETCH(QString, expanded);
    QCOMPARE(QueryForm::expandLineBreaks(text), expanded);
}

void SteppingTest::answerBoxRefill()
{
    TestRun run(bankOfAssignmentOne({"`qOne", "`aTwo", "`qThree"}));
    QVERIFY(run.start());
    inside(*run.form).cmdNextQuestionClick();
    QCOMPARE(run.boxAnswer(), QStringLiteral(" ")); // the first click leaves the box alone
    inside(*run.form).cmdNextQuestionClick();
    QCOMPARE(run.boxAnswer(), instructionsShown); // nothing recorded since: refilled
    run.typeAnswer(QStringLiteral("my answer"));
    run.platform.answers = {QStringLiteral("2")};
    inside(*run.form).cmdEnterResponseClick();
    inside(*run.form).cmdNextQuestionClick();
    QCOMPARE(run.boxAnswer(), QString()); // recorded: not refilled
}

void SteppingTest::endsAtNextHeading_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<int>("clicksShown");
    QTest::newRow("the next heading") << QStringList{"`qOne", ""} << 1;
    QTest::newRow("a question starting with the next number") << QStringList{"`qOne", "`q002 is next"} << 1;
    QTest::newRow("an answer starting with the next number") << QStringList{"`a002"} << 0;
}

void SteppingTest::endsAtNextHeading()
{
    QFETCH(QStringList, entries);
    QFETCH(int, clicksShown);
    TestRun run(bankOfAssignmentOne(entries));
    QVERIFY(run.start());
    for (int i = 0; i < clicksShown; ++i)
        inside(*run.form).cmdNextQuestionClick();
    QVERIFY(!run.form->runEnded());
    const QString before = run.boxQuestion();
    inside(*run.form).cmdNextQuestionClick();
    QVERIFY(run.form->runEnded());
    QCOMPARE(run.platform.exits, 1);
    QCOMPARE(run.boxQuestion(), before);
    inside(*run.form).cmdNextQuestionClick(); // nothing happens after the end
    QCOMPARE(run.platform.exits, 1);
}

void SteppingTest::endsAtEndOfBank()
{
    TestRun run(QStringLiteral("@@\n001.  `Query 1\n@@\n`qLast\n@@\n@@\n"));
    QVERIFY(run.start());
    inside(*run.form).cmdNextQuestionClick();
    QVERIFY(!run.form->runEnded());
    inside(*run.form).cmdNextQuestionClick();
    QVERIFY(run.form->runEnded());
    QCOMPARE(inside(*run.form).bankIndex, QueryForm::bankSize - 1);
}

void SteppingTest::keepsWhatTheStudentTyped()
{
    TestRun run(bankOfAssignmentOne({"`qOne", "`aTwo"}));
    QVERIFY(run.start());
    inside(*run.form).cmdNextQuestionClick();
    QueryForm::setBoxText(inside(*run.form).txt_question, run.boxQuestion() + QStringLiteral(" typed"));
    inside(*run.form).cmdNextQuestionClick();
    QCOMPARE(run.boxQuestion(), QStringLiteral("\r\n\r\nOne typed\r\n\r\nTwo"));
}

void SteppingTest::newEntryIsNotUndoable()
{
    // The box is added to, not set anew, on each click; like setting it, a
    // click must leave nothing that undo could take out of the box.
    TestRun run(bankOfAssignmentOne({"`qOne", "`aTwo"}));
    QVERIFY(run.start());
    inside(*run.form).cmdNextQuestionClick();
    inside(*run.form).txt_question->moveCursor(QTextCursor::End);
    QTest::keyClicks(inside(*run.form).txt_question, QStringLiteral(" typed"));
    QVERIFY(inside(*run.form).txt_question->document()->isUndoAvailable());
    inside(*run.form).cmdNextQuestionClick();
    QVERIFY(!inside(*run.form).txt_question->document()->isUndoAvailable());
    inside(*run.form).txt_question->undo();
    QCOMPARE(run.boxQuestion(), QStringLiteral("\r\n\r\nOne typed\r\n\r\nTwo"));
}

void SteppingTest::scrollsToNewEntry()
{
    QString longAnswer = QStringLiteral("`a first line of the answer");
    for (int i = 0; i < 80; ++i)
        longAnswer += QStringLiteral("\nline %1").arg(i);
    QString question = QStringLiteral("`q question");
    for (int i = 0; i < 80; ++i)
        question += QStringLiteral("\nq line %1").arg(i);
    TestRun run(bankOfAssignmentOne({question, longAnswer}));
    QVERIFY(run.start());
    run.form->show();
    inside(*run.form).cmdNextQuestionClick();
    inside(*run.form).cmdNextQuestionClick();
    QPlainTextEdit *box = inside(*run.form).txt_question;
    // The first visible line is the answer's first line, not the end of the text.
    const QTextBlock first = box->cursorForPosition(QPoint(4, 4)).block();
    QCOMPARE(first.text(), QStringLiteral(" first line of the answer"));
    QVERIFY(box->verticalScrollBar()->value() < box->verticalScrollBar()->maximum());
}

QTEST_MAIN(SteppingTest)
#include "tst_stepping.moc"
