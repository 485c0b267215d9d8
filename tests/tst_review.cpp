// The review walk of a student's own weak questions: what it offers from a
// master file of known rating pairs, in which order, what it writes through
// the real window, and the calibration card, counted by hand.
#include "scriptedplatform.h"
#include "tests/formaccess.h"

#include "records/recordformat.h"
#include "review/reviewwalk.h"

#include <QDir>
#include <QTest>

using namespace recordformat;

namespace {

/// A course of three assignments of three questions each, as the bank
/// loader gives its entries (entry 0 unused).
QStringList course()
{
    QStringList entries{QString()};
    for (int a = 1; a <= 3; ++a) {
        entries << QStringLiteral("00%1.  `Query %1").arg(a);
        for (int q = 1; q <= 3; ++q)
            entries << QStringLiteral("`qQuestion %1.%2").arg(a).arg(q) << QStringLiteral("`aAnswer %1.%2.**").arg(a).arg(q);
    }
    entries << QStringLiteral("004.  `Query 4");
    // A worked answer in two entries, each taking a self-critique.
    entries << QStringLiteral("005.  `Query 5") << QStringLiteral("`qQuestion 5.1") << QStringLiteral("`aStep 5.1.1")
            << QStringLiteral("`aStep 5.1.2.**");
    return entries;
}

QString question(int a, int q)
{
    return QStringLiteral("Question %1.%2").arg(a).arg(q);
}

QString answer(int a, int q)
{
    return QStringLiteral("Answer %1.%2.**").arg(a).arg(q);
}

/// A master file as the program writes it: a run of assignment `a` on day
/// `day` of March 2026 answering `pairs` (question, confidence, critique;
/// a critique of "" means none was recorded).
struct MasterFile
{
    QByteArray bytes;

    void run(int a, int day, const QList<std::tuple<int, QString, QString>> &pairs)
    {
        const QString date = QStringLiteral("03-%1-2026").arg(day, 2, 10, QLatin1Char('0'));
        bytes += headerBytes({QStringLiteral("code"), assignmentLabel + QStringLiteral("00%1").arg(a),
                              QStringLiteral("00%1.  `Query %1").arg(a), date});
        int minute = 0;
        for (const auto &[q, confidence, critique] : pairs) {
            const QString time = QString(timeIndent, QLatin1Char(' ')) + QStringLiteral("10:%1:00").arg(++minute, 2, 10, QLatin1Char('0'));
            const QString key = questionKeyLine(a * 10000);
            bytes += responseOpening(FileKind::Master, {time, key, question(a, q), QStringLiteral("my answer %1.%2").arg(a).arg(q)})
                     + responseClosing(Rating::Confidence, confidence);
            if (critique.isNull())
                continue;
            bytes += responseOpening(FileKind::Master, {time, key, answer(a, q), QStringLiteral("my critique %1.%2").arg(a).arg(q)})
                     + responseClosing(Rating::SelfCritique, critique);
        }
    }
};

/// Three assignments with every kind of pair: assignment 1 on 1 March,
/// 2 on 2 March, 3 on 3 March, and assignment 1's question 2 again on 4 March.
MasterFile known()
{
    MasterFile m;
    m.run(1, 1, {{1, "3", "1"}, {2, "2", "2"}, {3, "3", "3"}});    // errors, error, sound
    m.run(2, 2, {{1, "1", "3"}, {2, "3", "0"}, {3, "sure", "1"}}); // unsure, error, weak
    m.run(3, 3, {{1, "0", "0"}, {2, "2", "1"}, {3, "3", QString()}}); // unsure, error, no critique yet
    m.run(1, 4, {{2, "3", "3"}});                                   // 1.2 tried again, and right
    return m;
}

} // namespace

class ReviewTest : public QObject
{
    Q_OBJECT
private slots:
    void offersTheWeakQuestionsInOrder_data();
    void offersTheWeakQuestionsInOrder();
    void walkRecordsAsARunDoes();
    void cardCountsTheFilesRatings();
    void badMasterFiles_data();
    void badMasterFiles();
    void steppedAnswerIsOneAttempt_data();
    void steppedAnswerIsOneAttempt();
};

void ReviewTest::offersTheWeakQuestionsInOrder_data()
{
    QTest::addColumn<QString>("typed");   // the answer to the offer
    QTest::addColumn<QStringList>("order"); // the questions walked, as "a.q"
    // Confident errors (1.1 on the 1st, 2.2 on the 2nd, 3.2 on the 3rd),
    // unsure answers (2.1 on the 2nd, 3.1 on the 3rd), the weak
    // self-critique (2.3); 1.2 was a confident error but its later attempt
    // was right; 1.3 was sure and right, 3.3 has no self-critique yet.
    QTest::newRow("all") << "" << QStringList{"1.1", "2.2", "3.2", "2.1", "3.1", "2.3"};
    QTest::newRow("assignment 2, typed as 2") << "2" << QStringList{"2.2", "2.1", "2.3"};
    QTest::newRow("assignment 3, typed as 003") << "003" << QStringList{"3.2", "3.1"};
}

void ReviewTest::offersTheWeakQuestionsInOrder()
{
    QFETCH(QString, typed);
    QFETCH(QStringList, order);
    QTemporaryDir dir;
    const QString master = writeFile(dir, QStringLiteral("masterFile.txt"), known().bytes);
    ReviewWalk walk(course());
    QString nothing, again;
    QCOMPARE(walk.offer(master, nothing),
             QStringLiteral("Your master file holds 6 questions to review: 3 confident errors (you were sure, and "
                            "your self-critique said you needed to correct yourself), 2 unsure answers and 1 weak "
                            "self-critique, in assignments 001, 002 and 003.  Enter an assignment number to review "
                            "only that one, or just hit the Enter key to review them all."));
    QVERIFY(walk.choose(typed, again));
    QStringList walked;
    WalkSource::Entry entry;
    while (walk.next(entry))
        if (entry.kind == QLatin1String("question"))
            walked << entry.bankText.mid(QStringLiteral("Question ").size());
    QCOMPARE(walked, order);
    // A number with nothing to review there is asked again.
    ReviewWalk other(course());
    other.offer(master, nothing);
    QVERIFY(!other.choose(QStringLiteral("4"), again));
    QCOMPARE(again, QStringLiteral("There is nothing to review in assignment 4. Enter one of 001, 002 and 003, or "
                                   "just hit the Enter key to review them all."));
}

void ReviewTest::walkRecordsAsARunDoes()
{
    // The same answer and ratings recorded by a run of assignment 1 and by
    // the walk: the walk's records are a header and the same response
    // records, byte for byte but for the code line.
    MasterFile m;
    m.run(1, 1, {{1, "3", "1"}});
    TestRun run(bankOfAssignmentOne({}));
    QDir(run.outputFolder()).mkpath(QStringLiteral("."));
    QVERIFY(writeBytes(run.outputPath(QStringLiteral("masterFile.txt")), m.bytes));
    ReviewWalk walk(course());
    run.platform.answers = {QStringLiteral("A Student"), QStringLiteral("1"), run.outputFolder(), QString(),
                            QStringLiteral("2"), QStringLiteral("3")};
    QVERIFY(run.form->startWalk(walk));
    run.form->show();
    QCOMPARE(run.form->accessibleName(), QStringLiteral("Calculus Study review of your weak questions, Applied Calculus I"));
    if (!qEnvironmentVariableIsEmpty("REVIEW_SCREENSHOT")) // docs/review.png
        run.form->grab().save(qEnvironmentVariable("REVIEW_SCREENSHOT"));
    QVERIFY(run.boxQuestion().endsWith(QStringLiteral("Review 1 of 1, a confident error (assignment 001, question 1):\r\n"
                                                      "Question 1.1")));
    run.typeAnswer(QStringLiteral("a new answer"));
    inside(*run.form).cmdEnterResponseClick();
    inside(*run.form).cmdNextQuestionClick(); // the last attempt
    QVERIFY(run.boxQuestion().contains(QStringLiteral("Your last attempt at it, on 03-01-2026 at 10:01:00:\r\nyou "
                                                      "answered\r\nmy answer 1.1\r\nwith confidence \"3\".\r\nYour "
                                                      "self-critique:\r\nmy critique 1.1\r\nrated \"1\".")));
    inside(*run.form).cmdNextQuestionClick(); // the worked answer
    QVERIFY(run.boxQuestion().endsWith(QStringLiteral("Answer 1.1.**")));
    run.typeAnswer(QStringLiteral("now I see it"));
    inside(*run.form).cmdEnterResponseClick();
    QCOMPARE(run.boxQuestion(), QStringLiteral("This question leaves your review list: you were pretty confident "
                                               "and your self-critique says you needed no correction."));
    const QByteArray written = run.file(QStringLiteral("masterFile.txt")).mid(m.bytes.size());
    const QString time = QString(timeIndent, QLatin1Char(' ')) + QStringLiteral("14:05:09");
    const QByteArray expected =
        "assignment #001\r\n001.  `Query 1\r\nApplied Calculus I\r\n03-06-2026\r\n"
        + responseOpening(FileKind::Master, {time, questionKeyLine(10000), question(1, 1), QStringLiteral("a new answer")})
        + responseClosing(Rating::Confidence, QStringLiteral("2"))
        + responseOpening(FileKind::Master, {time, questionKeyLine(10000), answer(1, 1), QStringLiteral("now I see it")})
        + responseClosing(Rating::SelfCritique, QStringLiteral("3"));
    QCOMPARE(written.mid(written.indexOf("\r\n") + 2), expected);
    QVERIFY(run.file(QStringLiteral("send_0306.txt")).contains("confidence assessment:  2\r\n"));
    // The walk's end: the card, then the end of the run.
    inside(*run.form).cmdNextQuestionClick();
    QVERIFY(run.boxQuestion().contains(QStringLiteral("Your calibration card")));
    QVERIFY(!run.form->runEnded());
    inside(*run.form).cmdNextQuestionClick();
    QVERIFY(run.form->runEnded());
    QCOMPARE(run.platform.exitStatus(), 0);
}

void ReviewTest::cardCountsTheFilesRatings()
{
    // By hand, from known(): first attempts 1.1 (3,1), 1.2 (2,2), 1.3 (3,3),
    // 2.1 (1,3), 2.2 (3,0), 3.1 (0,0), 3.2 (2,1); apart: 2.3 ("sure",1);
    // 3.3 has no self-critique. Later attempts: 1.2 (3,3).
    QTemporaryDir dir;
    const QString master = writeFile(dir, QStringLiteral("masterFile.txt"), known().bytes);
    ReviewWalk walk(course());
    QCOMPARE(walk.card(master),
             QStringLiteral("Your calibration card\r\n\r\nIt is based on your own self-critique ratings in %1: a "
                            "self-critique of 3 says you needed no correction, 0 to 2 that you did.\r\n\r\n"
                            "First attempts:\r\n"
                            "When you were certain, your self-critique said you needed to correct yourself 2 times in 3.\r\n"
                            "When you were pretty confident, your self-critique said you needed to correct yourself 2 times in 2.\r\n"
                            "When you had some confidence, your self-critique said you needed to correct yourself 0 times in 1.\r\n"
                            "When you had no confidence, your self-critique said you needed to correct yourself 1 time in 1.\r\n"
                            "\r\nLater attempts (reviews and runs again):\r\n"
                            "When you were certain, your self-critique said you needed to correct yourself 0 times in 1.\r\n"
                            "When you were pretty confident: no answers yet with a self-critique after them.\r\n"
                            "When you had some confidence: no answers yet with a self-critique after them.\r\n"
                            "When you had no confidence: no answers yet with a self-critique after them.\r\n"
                            "\r\nSure but needing correction: 80% of first attempts, 0% of later ones.\r\n"
                            "1 pair with a rating that is not 0 to 3 is counted apart.\r\n"
                            "\r\nThat is the end of this review: Next Question / Answer ends it.")
                 .arg(QDir::toNativeSeparators(master)));
}

void ReviewTest::badMasterFiles_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("offer"); // what the offer begins with, or the nothing-message
    const QByteArray whole = known().bytes;
    QTest::newRow("no master file") << QByteArray() << "There is nothing to review in ";
    QTest::newRow("cut in its last record") << whole.left(whole.size() - 20)
                                            << "Your master file holds 6 questions to review";
    QTest::newRow("a record the course lacks, and junk")
        << whole + responseOpening(FileKind::Master, {QStringLiteral("   10:00:00"), questionKeyLine(10000),
                                                      QStringLiteral("not in the course"), QStringLiteral("x")})
                       + responseClosing(Rating::Confidence, QStringLiteral("3")) + "\x01\x02junk\r\n"
        << "Your master file holds 6 questions to review";
    QTest::newRow("ratings typed as words only") << [] {
        MasterFile m;
        m.run(1, 1, {{1, "three", "one"}, {2, "sure", "fine"}});
        return m.bytes;
    }() << "There is nothing to review in ";
}

void ReviewTest::badMasterFiles()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, offer);
    QTemporaryDir dir;
    const QString master = dir.filePath(QStringLiteral("masterFile.txt"));
    if (!bytes.isEmpty())
        QVERIFY(writeBytes(master, bytes));
    ReviewWalk walk(course());
    QString nothing;
    const QString offered = walk.offer(master, nothing);
    QVERIFY2((offered.isEmpty() ? nothing : offered).startsWith(offer), qPrintable(offered + nothing));
    if (!offered.isEmpty()) {
        QString again;
        QVERIFY(walk.choose(QString(), again));
        WalkSource::Entry entry;
        int steps = 0;
        while (walk.next(entry))
            ++steps;
        QVERIFY(steps > 0);
    }
    QCOMPARE(bytesOf(master), bytes.isEmpty() ? QByteArray() : bytes); // read, never written
}

void ReviewTest::steppedAnswerIsOneAttempt_data()
{
    QTest::addColumn<QString>("confidence");
    QTest::addColumn<QStringList>("critiques"); // at each entry of the worked answer, in one run
    QTest::addColumn<QString>("offer");
    QTest::newRow("sure, the second entry needing correction: a confident error")
        << "3" << QStringList{"3", "1"}
        << "Your master file holds 1 question to review: 1 confident error (you were sure, and your self-critique said "
           "you needed to correct yourself), 0 unsure answers and 0 weak self-critiques, in assignment 005.";
    QTest::newRow("sure, and both entries right: nothing to review")
        << "2" << QStringList{"3", "3"} << "";
}

void ReviewTest::steppedAnswerIsOneAttempt()
{
    QFETCH(QString, confidence);
    QFETCH(QStringList, critiques);
    QFETCH(QString, offer);
    const QString time = QString(timeIndent, QLatin1Char(' ')) + QStringLiteral("10:01:00");
    const QString key = questionKeyLine(50000);
    QByteArray bytes = headerBytes({QStringLiteral("code"), assignmentLabel + QStringLiteral("005"),
                                    QStringLiteral("005.  `Query 5"), QStringLiteral("03-05-2026")})
                       + responseOpening(FileKind::Master, {time, key, QStringLiteral("Question 5.1"), QStringLiteral("my answer")})
                       + responseClosing(Rating::Confidence, confidence);
    for (int i = 0; i < critiques.size(); ++i)
        bytes += responseOpening(FileKind::Master, {time, key, i == 0 ? QStringLiteral("Step 5.1.1") : QStringLiteral("Step 5.1.2.**"),
                                                    QStringLiteral("my critique")})
                 + responseClosing(Rating::SelfCritique, critiques.at(i));
    QTemporaryDir dir;
    const QString master = writeFile(dir, QStringLiteral("masterFile.txt"), bytes);
    ReviewWalk walk(course());
    QString nothing;
    QCOMPARE(walk.offer(master, nothing).section(QLatin1String("  "), 0, 0), offer);
    // One attempt, whatever the number of entries: the card counts one answer.
    QVERIFY(walk.card(master).contains(QStringLiteral("When you were %1, your self-critique said you needed to correct yourself %2 in 1.")
                                           .arg(confidence == QLatin1String("3") ? "certain" : "pretty confident",
                                                offer.isEmpty() ? "0 times" : "1 time")));
}

QTEST_MAIN(ReviewTest)
#include "tst_review.moc"
