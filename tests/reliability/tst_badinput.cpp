#include "reliability.h"
#include "tests/formaccess.h"

#include "records/cp1252.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

using namespace reliability;

namespace {

const QByteArray opening = "......!!!!!!!!...................................";
const QByteArray closing(49, '.');
const QByteArray timeLine = QByteArray(36, ' ') + "14:05:09";

/// The response record as both files must hold it.
QByteArray expectedRecord(bool master, const QByteArray &lastLine, const QByteArray &answer,
                          const QByteArray &ratingLine)
{
    QByteArray r = opening + "\r\n" + timeLine + "\r\n";
    if (master)
        r += "\r\n\r\n`questionNumber 10000 \r\n";
    return r + lastLine + "\r\n" + opening + "\r\nRESPONSE -->  \r\n" + answer + "\r\n" + ratingLine + "\r\n"
           + closing + "\r\n";
}

/// The files in `folder` but the window's own lock and journal, hidden beside them.
QStringList filesIn(const QString &folder)
{
    QStringList files = QDir(folder).entryList(QDir::Files | QDir::Hidden);
    files.removeAll(QStringLiteral(".calculus-study.lock"));
    files.removeAll(QStringLiteral(".calculus-study.journal"));
    return files;
}

/// Ten megabytes of pasted text with line breaks.
QString pasted()
{
    QString text;
    text.reserve(10 * 1024 * 1024 + 100);
    const QString line = QStringLiteral("0123456789 pasted text, line after line, until there are ten megabytes of it");
    while (text.size() < 10 * 1024 * 1024)
        text += line + QStringLiteral("\r\n");
    return text;
}

/// Starts the run and records one response to the first question, so that
/// every case has earlier records that must survive it.
bool startWithOneResponse(FolderRun &run)
{
    if (!run.start())
        return false;
    inside(*run.form).cmdNextQuestionClick();
    run.typeAnswer(QStringLiteral("an earlier answer"));
    run.platform.answers = {QStringLiteral("1")};
    inside(*run.form).cmdEnterResponseClick();
    return run.platform.messages.isEmpty();
}

} // namespace

class BadInputTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> scratch;

private slots:
    void init();
    void cleanup();
    void assignmentAnswer_data();
    void assignmentAnswer();
    void folderAnswer_data();
    void folderAnswer();
    void typedAnswer_data();
    void typedAnswer();
    void ratingAnswer_data();
    void ratingAnswer();
};

void BadInputTest::init()
{
    scratch = std::make_unique<QTemporaryDir>();
    QVERIFY(scratch->isValid());
    QVERIFY(QDir(scratch->path()).mkdir(QStringLiteral("out")));
}

void BadInputTest::cleanup()
{
    scratch.reset();
}

void BadInputTest::assignmentAnswer_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("padded"); // as the message quotes it
    QTest::addColumn<QString>("then");   // the answer when asked again
    const std::pair<const char *, std::pair<QString, QString>> answers[] = {
        {"empty", {QString(), QString()}},
        {"one blank", {QStringLiteral(" "), QStringLiteral("00 ")}},
        {"blanks", {QStringLiteral("   "), QStringLiteral("   ")}},
        {"a digit after a blank", {QStringLiteral(" 3"), QStringLiteral("0 3")}},
        {"letters", {QStringLiteral("abc"), QStringLiteral("abc")}},
        {"digit and letter", {QStringLiteral("7a"), QStringLiteral("07a")}},
        {"four digits with zeros", {QStringLiteral("0007"), QStringLiteral("0007")}},
        {"four digits", {QStringLiteral("1234"), QStringLiteral("1234")}},
        {"10,000 digits", {QString(10000, QLatin1Char('9')), QString(10000, QLatin1Char('9'))}},
        {"control characters", {QStringLiteral("\x01\x02"), QStringLiteral("0\x01\x02")}},
        {"tab and digit", {QStringLiteral("\t3"), QStringLiteral("0\t3")}},
        {"line break after a digit", {QStringLiteral("3\r\n"), QStringLiteral("3\r\n")}},
        {"non-ASCII digit", {QStringLiteral("\u0663"), QStringLiteral("00\u0663")}},
        {"full-width digits", {QStringLiteral("\uff10\uff13"), QStringLiteral("0\uff10\uff13")}},
        {"non-ASCII letter", {QStringLiteral("\u00fc"), QStringLiteral("00\u00fc")}},
        {"a number past the last assignment", {QStringLiteral("30"), QStringLiteral("030")}},
        {"zero", {QStringLiteral("0"), QStringLiteral("000")}},
    };
    for (const auto &[label, values] : answers) {
        QTest::addRow("%s, then empty ends the run", label) << values.first << values.second << QString();
        QTest::addRow("%s, then 3 starts assignment 003", label) << values.first << values.second << "3";
    }
}

void BadInputTest::assignmentAnswer()
{
    QFETCH(QString, typed);
    QFETCH(QString, padded);
    QFETCH(QString, then);
    const QString folder = scratch->filePath(QStringLiteral("out"));
    FolderRun run(folder, QString(), typed); // the compiled-in course
    run.platform.answers.append(then);
    QCOMPARE(run.start(), !then.isEmpty());
    QCOMPARE(run.platform.messages.size(), 1);
    const QString message = run.platform.messages.first();
    QVERIFY2(message.contains(QLatin1Char('"') + padded + QLatin1Char('"')), qPrintable(message.left(200)));
    QVERIFY2(message.contains(QLatin1String("001 to 029")), qPrintable(message.left(200)));
    QCOMPARE(run.platform.prompts.filter(QStringLiteral("Assignment Number")).size(), 2);
    QVERIFY(run.platform.answers.isEmpty());
    if (then.isEmpty()) {
        QCOMPARE(run.platform.exits, 1);
        QCOMPARE(run.platform.exitStatus(), 1); // the run never started
        QCOMPARE(filesIn(folder), QStringList()); // nothing written
        return;
    }
    QCOMPARE(run.platform.exits, 0);
    QCOMPARE(inside(*run.form).assignmentNumber, QStringLiteral("003"));
    QCOMPARE(inside(*run.form).nextAssignmentNumber, QStringLiteral("004"));
    // The same files as a run that was answered 3 at once.
    const QString direct = scratch->filePath(QStringLiteral("direct"));
    QVERIFY(QDir().mkdir(direct));
    FolderRun reference(direct, QString(), QStringLiteral("3"));
    QVERIFY(reference.start());
    QCOMPARE(inside(*run.form).bankIndex, inside(*reference.form).bankIndex);
    QCOMPARE(run.bytes(masterName), reference.bytes(masterName));
    QCOMPARE(run.bytes(sendName), reference.bytes(sendName));
    QVERIFY(run.bytes(masterName).contains("assignment #003"));
}

void BadInputTest::folderAnswer_data()
{
    QTest::addColumn<QString>("choice");
    QTest::addColumn<bool>("pathAsked");
    QTest::addColumn<QString>("path");   // "<s>" stands for a scratch folder, "<long>" for a deep one in it
    QTest::addColumn<QString>("folder"); // where the files go, "<default>" for the default; empty when none
    QTest::addColumn<bool>("refused"); // the run cannot start: the system's reason is told

    QTest::newRow("1 with blanks around it") << " 1 " << false << "" << "<default>" << false;
    QTest::newRow("1 and a blank") << "1 " << false << "" << "<default>" << false;
    QTest::newRow("01") << "01" << false << "" << "<default>" << false;
    QTest::newRow("yes") << "yes" << false << "" << "<default>" << false;
    QTest::newRow("1 then nothing keeps the default") << "1" << true << "" << "<default>" << false;
    QTest::newRow("1 then a folder") << "1" << true << "<s>/out" << "<s>/out" << false;
    QTest::newRow("1 then a trailing separator") << "1" << true << "<s>/out/" << "<s>/out" << false;
    QTest::newRow("1 then a missing folder") << "1" << true << "<s>/missing" << "" << true;
    QTest::newRow("1 then a missing folder inside a missing one") << "1" << true << "<s>/missing/too" << "" << true;
    QTest::newRow("1 then a long path") << "1" << true << "<long>" << "<long>" << false;
    QTest::newRow("1 then a path longer than the system takes") << "1" << true << "<too long>" << "" << true;
    QTest::newRow("1 then a folder name longer than the system takes")
        << "1" << true << "<s>/" + QString(300, QLatin1Char('n')) << "" << true;
    QTest::newRow("1 then non-ASCII characters") << "1" << true << "<s>/\u00dcbungen \u03c0 \u6570\u5b66"
                                                 << "<s>/\u00dcbungen \u03c0 \u6570\u5b66" << false;
    QTest::newRow("1 then a missing non-ASCII folder") << "1" << true << "<s>/Aufgaben \u00fc" << "" << true;
    QTest::newRow("1 then a path naming a file") << "1" << true << "<s>/a file" << "" << true;
}

void BadInputTest::folderAnswer()
{
    QFETCH(QString, choice);
    QFETCH(bool, pathAsked);
    QFETCH(QString, path);
    QFETCH(QString, folder);
    QFETCH(bool, refused);

    if (path == QLatin1String("<too long>") && underWine())
        QSKIP("Wine cuts a path of over 32,767 characters short and opens that; Windows refuses it");
    // Paths of up to 4,095 bytes on Linux, 1,023 on macOS, 32,767 characters on Windows.
    const auto deepIn = [&](int length) {
        QString deep = scratch->path();
        while (deep.size() < length)
            deep += QLatin1Char('/') + QString(200, QLatin1Char('d'));
        return deep;
    };
#ifdef Q_OS_MACOS
    const QString deep = deepIn(900);
#else
    const QString deep = deepIn(3000);
#endif
    const auto expand = [&](QString text) {
        return text.replace(QLatin1String("<too long>"), deepIn(33000))
            .replace(QLatin1String("<long>"), deep)
            .replace(QLatin1String("<s>"), scratch->path());
    };
    QVERIFY(QDir().mkpath(deep));
    QVERIFY(QDir().mkpath(expand(QStringLiteral("<s>/\u00dcbungen \u03c0 \u6570\u5b66"))));
    QVERIFY(writeBytes(expand(QStringLiteral("<s>/a file")), "just a file"));

    TestRun run(smallBank);
    const QString defaultFolder = run.dir.filePath(QStringLiteral("default"));
    run.platform.answers = {QStringLiteral("A Student"), choice};
    if (pathAsked)
        run.platform.answers.append(expand(path));
    run.platform.answers.append(QStringLiteral("1"));
    const bool started = run.start();
    QCOMPARE(run.platform.prompts.size(), pathAsked ? 4 : 3);
    QCOMPARE(started, !refused);
    QCOMPARE(run.platform.exits, started ? 0 : 1);
    QCOMPARE(run.platform.exitStatus(), started ? 0 : 1);
    const QString used = pathAsked && !path.isEmpty() ? expand(path) : defaultFolder;
    QCOMPARE(inside(*run.form).outputFolder, used); // unchanged, separators and all
    QCOMPARE(inside(*run.form).masterFilePath, used + fileSeparator + masterName);

    if (!started) {
        QCOMPARE(run.platform.messages.size(), 1);
        const QString message = run.platform.messages.first();
        const QString master = used + QLatin1Char('/') + masterName;
        QVERIFY2(message.contains(QDir::toNativeSeparators(master)), qPrintable(message.left(300)));
        const QString reason = openFailureReason(master);
        QVERIFY2(message.endsWith(QStringLiteral(": ") + reason), qPrintable(message.right(300) + " / " + reason));
        if (path.contains(QLatin1String("missing")) || path.contains(QLatin1String("Aufgaben")))
            QVERIFY(!QFileInfo::exists(used)); // never created
        QCOMPARE(bytesOf(expand(QStringLiteral("<s>/a file"))), QByteArray("just a file"));
        QCOMPARE(filesIn(defaultFolder), QStringList());
        return;
    }
    QCOMPARE(run.platform.messages, QStringList());
    const QString filesFolder = folder == QLatin1String("<default>") ? defaultFolder : expand(folder);
    // The header, byte for byte as a run in the test's usual folder writes it.
    TestRun reference(smallBank);
    QVERIFY(reference.start());
    QCOMPARE(filesIn(filesFolder), QStringList({masterName, sendName}));
    QCOMPARE(bytesOf(filesFolder + QLatin1Char('/') + masterName), reference.file(masterName));
    QCOMPARE(bytesOf(filesFolder + QLatin1Char('/') + sendName), reference.file(sendName));
    if (filesFolder != defaultFolder)
        QCOMPARE(filesIn(defaultFolder), QStringList());
}

void BadInputTest::typedAnswer_data()
{
    QTest::addColumn<QString>("typed"); // "<instructions>" stands for the instruction text
    QTest::addColumn<bool>("recorded");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty") << "" << true << QByteArray("");
    QTest::newRow("the instruction text exactly") << "<instructions>" << false << QByteArray();
    QTest::newRow("the instruction text with LF breaks") << "<instructions LF>" << false << QByteArray();
    QTest::newRow("the instruction text with one character changed")
        << "<instructions changed>" << true << QByteArray("<instructions changed>");
    QTest::newRow("a paste of 10 MB") << "<pasted>" << true << QByteArray("<pasted>");
    QTest::newRow("lone CR line breaks") << "a\rb\rc" << true << QByteArray("a\r\nb\r\nc");
    QTest::newRow("lone LF line breaks") << "a\nb\nc" << true << QByteArray("a\r\nb\r\nc");
    QTest::newRow("mixed line breaks") << "a\r\n\rb\n\nc" << true << QByteArray("a\r\n\r\nb\r\n\r\nc");
    QTest::newRow("line and paragraph separators") << "a\u2028b\u2029c" << true << QByteArray("a\r\nb\r\nc");
    QTest::newRow("characters Windows-1252 cannot hold")
        << QString::fromUtf8("\xcf\x80 \xe2\x89\xa4 \xf0\x9f\x98\x80 \xe2\x88\xab") << true
        << QByteArray("&#960; &#8804; &#128512; &#8747;");
    QTest::newRow("characters Windows-1252 holds beyond ASCII")
        << QString::fromUtf8("\xe2\x82\xac \xc2\xb7 \xe2\x80\x93 \xe2\x80\x9c \xc3\xa9") << true
        << QByteArray("\x80 \xb7 \x96 \x93 \xe9");
    QTest::newRow("a lone surrogate") << QString(QChar(0xd83d)) << true << QByteArray("&#55357;");
    QTest::newRow("a NUL character") << QString::fromLatin1("a\0b", 3) << true << QByteArray("a\0b", 3);
    QTest::newRow("tab and other control characters") << "a\tb\x01\x1b" << true << QByteArray("a\tb\x01\x1b");
    QTest::newRow("text that looks like a reference") << "&#960;" << true << QByteArray("&#960;");
}

void BadInputTest::typedAnswer()
{
    QFETCH(QString, typed);
    QFETCH(bool, recorded);
    QFETCH(QByteArray, bytes);
    FolderRun run(scratch->filePath(QStringLiteral("out")));
    QVERIFY(startWithOneResponse(run));
    const QByteArray masterBefore = run.bytes(masterName), sendBefore = run.bytes(sendName);

    const QString instructions = inside(*run.form).instructionText;
    if (typed == QLatin1String("<instructions>")) {
        typed = instructions;
    } else if (typed == QLatin1String("<instructions LF>")) {
        typed = QString(instructions).replace(QLatin1String("\r\n"), QLatin1String("\n"));
    } else if (typed == QLatin1String("<instructions changed>")) {
        typed = instructions;
        typed[typed.size() - 1] = QLatin1Char('!');
        bytes = Cp1252::encode(typed);
    } else if (typed == QLatin1String("<pasted>")) {
        typed = pasted();
        bytes = typed.toLatin1();
    }
    run.typeAnswer(typed);
    run.platform.answers = {QStringLiteral("2")};
    inside(*run.form).cmdEnterResponseClick();

    QCOMPARE(run.platform.messages, QStringList());
    QVERIFY(!run.form->runEnded());
    QCOMPARE(run.boxAnswer(), QString());
    const QByteArray masterAdded = run.bytes(masterName).mid(masterBefore.size());
    const QByteArray sendAdded = run.bytes(sendName).mid(sendBefore.size());
    QVERIFY(run.bytes(masterName).startsWith(masterBefore));
    QVERIFY(run.bytes(sendName).startsWith(sendBefore));
    if (!recorded) {
        QCOMPARE(masterAdded, QByteArray());
        QCOMPARE(sendAdded, QByteArray());
        QVERIFY(!run.platform.answers.isEmpty()); // no rating asked
        return;
    }
    QVERIFY(run.platform.answers.isEmpty());
    const QByteArray rating = "confidence assessment:  2";
    QCOMPARE(masterAdded, expectedRecord(true, "First question", bytes, rating));
    QCOMPARE(sendAdded, expectedRecord(false, "First question", bytes, rating));
}

void BadInputTest::ratingAnswer_data()
{
    QTest::addColumn<bool>("afterAnswer");
    QTest::addColumn<QString>("rating");
    QTest::addColumn<QByteArray>("bytes");
    const std::pair<const char *, std::pair<QString, QByteArray>> ratings[] = {
        {"Cancel", {QString(), QByteArray("")}},
        {"0", {QStringLiteral("0"), QByteArray("0")}},
        {"3", {QStringLiteral("3"), QByteArray("3")}},
        {"4, out of range", {QStringLiteral("4"), QByteArray("4")}},
        {"-1", {QStringLiteral("-1"), QByteArray("-1")}},
        {"2.5", {QStringLiteral("2.5"), QByteArray("2.5")}},
        {"a word", {QStringLiteral("two"), QByteArray("two")}},
        {"blanks around", {QStringLiteral(" 2 "), QByteArray(" 2 ")}},
        {"10,000 characters", {QString(10000, QLatin1Char('3')), QByteArray(10000, '3')}},
        {"beyond the code page", {QStringLiteral("\u03c0"), QByteArray("&#960;")}},
        {"in the code page beyond ASCII", {QStringLiteral("\u00b2"), QByteArray("\xb2")}},
        {"NUL", {QString(QChar(0)), QByteArray(1, '\0')}},
        {"control characters", {QStringLiteral("\t\x1b[1m"), QByteArray("\t\x1b[1m")}},
    };
    for (const auto &[label, values] : ratings) {
        QTest::addRow("confidence: %s", label) << false << values.first << values.second;
        QTest::addRow("self-critique: %s", label) << true << values.first << values.second;
    }
}

void BadInputTest::ratingAnswer()
{
    QFETCH(bool, afterAnswer);
    QFETCH(QString, rating);
    QFETCH(QByteArray, bytes);
    FolderRun run(scratch->filePath(QStringLiteral("out")));
    QVERIFY(startWithOneResponse(run));
    const QByteArray masterBefore = run.bytes(masterName), sendBefore = run.bytes(sendName);
    if (afterAnswer)
        inside(*run.form).cmdNextQuestionClick();

    run.typeAnswer(QStringLiteral("x"));
    run.platform.answers = {rating};
    inside(*run.form).cmdEnterResponseClick();
    QVERIFY(run.platform.answers.isEmpty());
    QCOMPARE(run.platform.messages, QStringList());
    const QByteArray lastLine = afterAnswer ? QByteArray(" First answer.**") : QByteArray("First question");
    const QByteArray line = (afterAnswer ? "self critique assessment: " : "confidence assessment:  ") + bytes;
    QCOMPARE(run.bytes(masterName), masterBefore + expectedRecord(true, lastLine, "x", line));
    QCOMPARE(run.bytes(sendName), sendBefore + expectedRecord(false, lastLine, "x", line));
    if (afterAnswer)
        QCOMPARE(inside(*run.form).selfCritiqueRating, rating);
}

QTEST_MAIN(BadInputTest)
#include "tst_badinput.moc"
