#include "scriptedplatform.h"
#include "tests/formaccess.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

namespace {
const QString namePrompt = QStringLiteral("Your full name:  ");
const QString assignmentPrompt = QStringLiteral("Assignment Number:  ");
const QString choicePrompt = QStringLiteral(
    "Enter 1 if you want to change the folder to which your files will be written.  The current default folder "
    "is <default>.  If you wish to use this folder, just hit the Enter key");
const QString pathPrompt = QStringLiteral(
    "You have chosen to change the folder to which your files will be written on your hard drive from the "
    "default <default>.  Enter the path to the folder you wish to use.  You may just hit the Enter key to retain "
    "the default path.");
const QString twoAssignments = QStringLiteral(
    "@@\n001.  `Query 1\n@@\n@@\n`qFirst question\n@@\n`a First answer.**\n"
    "@@\n002.  `Query 2\n@@\n`qSecond question\n");
}

class StartupTest : public QObject
{
    Q_OBJECT
private slots:
    void assignmentNumbers_data();
    void assignmentNumbers();
    void folderChoice_data();
    void folderChoice();
    void codeKeyRange_data();
    void codeKeyRange();
    void headingSearch_data();
    void headingSearch();
    void unknownAssignmentAsksAgain();
    void emptyAnswerAfterUnknownEndsRun();
    void missingFolderEndsStartup();
};

void StartupTest::assignmentNumbers_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("next");
    QTest::newRow("one digit padded to three") << "7" << "007" << "008";
    QTest::newRow("two digits padded to three") << "12" << "012" << "013";
    QTest::newRow("carry into the hundreds") << "099" << "099" << "100";
    QTest::newRow("three digits unchanged") << "123" << "123" << "124";
    QTest::newRow("empty answer") << "" << "" << "001";
    QTest::newRow("letters count as zero") << "abc" << "abc" << "001";
    QTest::newRow("digit then letter") << "7a" << "07a" << "008";
    QTest::newRow("four digits unchanged") << "1234" << "1234" << "1235";
    QTest::newRow("999 gives four digits") << "999" << "999" << "1000";
    QTest::newRow("blanks inside the number") << "1 2" << "1 2" << "013";
    QTest::newRow("a minus after a digit ends the number") << "-1" << "0-1" << "001";
    QTest::newRow("d is an exponent letter, as in 1d1 (10)") << "1d1" << "1d1" << "011";
    QTest::newRow("so is D: 2D1 is 20") << "2D1" << "2D1" << "021";
}

void StartupTest::assignmentNumbers()
{
    QFETCH(QString, typed);
    QFETCH(QString, number);
    QFETCH(QString, next);
    const QString padded = QueryForm::padAssignmentNumber(typed);
    QCOMPARE(padded, number);
    QCOMPARE(QueryForm::nextNumberAfter(padded), next);
}

void StartupTest::folderChoice_data()
{
    QTest::addColumn<QString>("choice");
    QTest::addColumn<bool>("pathAsked");
    QTest::addColumn<QString>("typedPath"); // "<out>" stands for the test's output folder
    // "<default>" and "<out>" as above, "<sep>" the system's separator
    QTest::addColumn<QString>("expectedMaster");
    QTest::newRow("1 and a path") << "1" << true << "<out>" << "<out><sep>masterFile.txt";
    QTest::newRow("1 and an empty path keeps the default") << "1" << true << "" << "<default><sep>masterFile.txt";
    QTest::newRow("01 is not 1") << "01" << false << "" << "<default><sep>masterFile.txt";
    QTest::newRow("1 with blanks is not 1") << " 1 " << false << "" << "<default><sep>masterFile.txt";
    QTest::newRow("yes is not 1") << "yes" << false << "" << "<default><sep>masterFile.txt";
    QTest::newRow("empty keeps the default") << "" << false << "" << "<default><sep>masterFile.txt";
    QTest::newRow("trailing separator doubles") << "1" << true << "<out>/" << "<out>/<sep>masterFile.txt";
}

void StartupTest::folderChoice()
{
    QFETCH(QString, choice);
    QFETCH(bool, pathAsked);
    QFETCH(QString, typedPath);
    QFETCH(QString, expectedMaster);
    TestRun run(twoAssignments);
    const QString out = run.outputFolder();
    const QString def = run.dir.filePath(QStringLiteral("default"));
    run.platform.answers = {QStringLiteral("A Student"), choice};
    if (pathAsked)
        run.platform.answers.append(QString(typedPath).replace(QLatin1String("<out>"), out));
    run.platform.answers.append(QStringLiteral("1"));
    QVERIFY(run.start());
    QStringList prompts = {namePrompt, choicePrompt};
    if (pathAsked)
        prompts << pathPrompt;
    prompts << assignmentPrompt;
    QCOMPARE(run.platform.prompts, prompts.replaceInStrings(QLatin1String("<default>"), def));
    QCOMPARE(inside(*run.form).masterFilePath,
             QString(expectedMaster)
                 .replace(QLatin1String("<out>"), out)
                 .replace(QLatin1String("<default>"), def)
                 .replace(QLatin1String("<sep>"), fileSeparator));
    QVERIFY(inside(*run.form).sendFilePath.endsWith(QLatin1String("send_0306.txt")));
    QVERIFY(inside(*run.form).notesFilePath.endsWith(QLatin1String("notes_.txt")));
    // The default folder is created even when another one is chosen.
    QVERIFY(QFileInfo(def).isDir());
    // The name is asked but written nowhere.
    QVERIFY(!run.file(QStringLiteral("masterFile.txt")).contains("A Student"));
}

void StartupTest::codeKeyRange_data()
{
    QTest::addColumn<float>("draw");
    QTest::addColumn<float>("key");
    QTest::newRow("zero gives 19") << 0.0f << 19.0f;
    QTest::newRow("a half gives 24") << 0.5f << 24.0f;
    QTest::newRow("just under 0.1 stays 19") << 0.099999994f << 19.0f;
    QTest::newRow("largest float below one gives 28, not 29") << 0.99999994f << 28.0f;
}

void StartupTest::codeKeyRange()
{
    QFETCH(float, draw);
    QFETCH(float, key);
    TestRun run(twoAssignments);
    run.platform.randoms = {draw};
    QVERIFY(run.start());
    QCOMPARE(inside(*run.form).codeKey, key);
}

void StartupTest::headingSearch_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("index");
    QTest::newRow("7 finds 007") << "7" << 3;
    QTest::newRow("07 finds 007") << "07" << 3;
    QTest::newRow("007 finds 007") << "007" << 3;
    QTest::newRow("the first heading") << "1" << 1;
}

void StartupTest::headingSearch()
{
    QFETCH(QString, typed);
    QFETCH(int, index);
    TestRun run(QStringLiteral("@@\n001.  `Query 1\n@@\n`qQ\n@@\n007.  `query 7\n@@\n`qQ7\n"), typed);
    QVERIFY(run.start());
    QCOMPARE(inside(*run.form).bankIndex, index);
    QCOMPARE(run.platform.messages, QStringList());
}

void StartupTest::unknownAssignmentAsksAgain()
{
    TestRun run(twoAssignments, QStringLiteral("30"));
    run.platform.answers.append(QStringLiteral("2"));
    QVERIFY(run.start());
    QCOMPARE(run.platform.messages,
             QStringList{"There is no assignment \"030\" in the question bank. It holds assignments 001 to 002."});
    QCOMPARE(run.platform.prompts.mid(3), QStringList({assignmentPrompt, assignmentPrompt}));
    QCOMPARE(inside(*run.form).assignmentNumber, QStringLiteral("002"));
    QCOMPARE(inside(*run.form).nextAssignmentNumber, QStringLiteral("003"));
    QCOMPARE(inside(*run.form).bankIndex, 5);
}

void StartupTest::emptyAnswerAfterUnknownEndsRun()
{
    TestRun run(twoAssignments, QStringLiteral("0007"));
    run.platform.answers.append(QString());
    QVERIFY(!run.start());
    QCOMPARE(run.platform.exits, 1);
    QCOMPARE(run.platform.messages,
             QStringList{"There is no assignment \"0007\" in the question bank. It holds assignments 001 to 002."});
    QVERIFY(!QFileInfo::exists(run.outputPath(QStringLiteral("masterFile.txt"))));
    QVERIFY(!QFileInfo::exists(run.outputPath(QStringLiteral("send_0306.txt"))));
}

void StartupTest::missingFolderEndsStartup()
{
    TestRun run(twoAssignments);
    const QString missing = run.dir.filePath(QStringLiteral("no/such/folder"));
    run.platform.answers = {QStringLiteral("n"), QStringLiteral("1"), missing, QStringLiteral("1")};
    QVERIFY(!run.start());
    const QString master = missing + "/masterFile.txt";
    QCOMPARE(run.platform.messages,
             QStringList{QDir::toNativeSeparators(master) + ": " + openFailureReason(master)});
    QVERIFY(!QFileInfo::exists(run.dir.filePath(QStringLiteral("no"))));
    QCOMPARE(run.platform.exits, 1);
}

QTEST_MAIN(StartupTest)
#include "tst_startup.moc"
