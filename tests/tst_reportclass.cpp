// A class counted by hand: its files are written here as the student
// program lays them out, and every number, flag, guard and chart the
// instructor reads is checked against the counts written in the test.

#include "bank/entrygrammar.h"
#include "report/charts.h"
#include "report/classmodel.h"
#include "report/classreader.h"
#include "report/coursetext.h"
#include "report/gradebook.h"
#include "report/htmlpages.h"
#include "report/lookfirst.h"
#include "report/roster.h"
#include "report/site.h"
#include "report/tableexport.h"

#include "csvrows.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

namespace {

const QString question1 = QStringLiteral("Section 0.1.28 solve x/2-x/3>5");
const QString question2 = QStringLiteral("Section 0.1 solve 2x^2+1<9x-3");
const QString prompt7 = QStringLiteral("Add comments on any surprises or insights you experienced as a result of this assignment.");

/// The course's entry that starts with `start`, without its marker.
QString courseEntry(const QString &start)
{
    for (const QString &entry : courseEntries())
        if (entry.startsWith(start))
            return entry.mid(2);
    return QString();
}

const QByteArray openLine = "......!!!!!!!!...................................\r\n";
const QByteArray closeLine = ".................................................\r\n";

QByteArray header(const QByteArray &assignment = "001")
{
    return "\xfa\x81\xe9\xb1\r\nassignment #" + assignment + "\r\n" + assignment + ".  `Query\r\nApplied Calculus I\r\n03-06-2026\r\n";
}

/// A response as the SEND file holds it; `label` picks the rating line.
QByteArray response(int minute, const QString &bank, const QString &text, const char *label, const QString &rating)
{
    const QByteArray time = QStringLiteral("10:%1:00").arg(minute % 60, 2, 10, QLatin1Char('0')).toLatin1();
    QByteArray r = openLine + QByteArray(36, ' ') + time + "\r\n" + bank.toLatin1() + "\r\n" + openLine + "RESPONSE -->  \r\n"
                   + text.toLatin1() + "\r\n";
    if (label)
        r += QByteArray(label) + rating.toLatin1() + "\r\n";
    return r + closeLine;
}

QByteArray confidence(int minute, const QString &rating, const QString &bank = question1)
{
    return response(minute, bank, QStringLiteral("my answer"), "confidence assessment:  ", rating);
}

QByteArray selfCritique(int minute, const QString &rating)
{
    return response(minute, courseEntry(QStringLiteral("`a It's easiest")), QStringLiteral("my critique"),
                    "self critique assessment: ", rating);
}

/// A question of the course whose worked answer is two or more entries of
/// Latin-1 text: the question and the entries, without markers, their
/// lines joined with CR LF as the program writes them.
QStringList steppedQuestion()
{
    const QStringList entries = courseEntries();
    const auto plain = [](const QString &t) {
        return std::all_of(t.begin(), t.end(), [](QChar c) { return c.unicode() < 0x80; });
    };
    const auto written = [](QString t) { return t.mid(2).replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\n'), QLatin1String("\r\n")); };
    for (int i = 1; i + 2 < entries.size(); ++i) {
        QStringList found;
        for (int j = i + 1; j < entries.size() && entries[j].startsWith(entrygrammar::answerMarker); ++j)
            found.append(written(entries[j]));
        if (entries[i].startsWith(entrygrammar::questionMarker) && found.size() >= 2 && plain(entries[i])
            && std::all_of(found.begin(), found.end(), plain))
            return QStringList{written(entries[i])} + found;
    }
    return {};
}

bool writeTo(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(path.section(QLatin1Char('/'), 0, -2));
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}


/// A question of the course with its worked answer, as the bank holds them.
struct CourseQuestion
{
    QByteArray assignment;
    QString question, answer;
};

/// The course's questions whose text and worked answer are one line of
/// Latin-1 each (as response() writes them), in course order.
std::vector<CourseQuestion> plainQuestions()
{
    std::vector<CourseQuestion> out;
    QByteArray assignment;
    const QStringList entries = courseEntries();
    const auto plain = [](const QString &t) {
        return !t.contains(QLatin1Char('\n')) && !t.contains(QLatin1Char('\r'))
               && std::all_of(t.begin(), t.end(), [](QChar c) { return c.unicode() < 0x80; });
    };
    for (int i = 1; i + 1 < entries.size(); ++i) {
        if (entrygrammar::isHeading(entries[i]))
            assignment = entries[i].left(3).toLatin1();
        else if (entries[i].startsWith(entrygrammar::questionMarker) && entries[i + 1].startsWith(entrygrammar::answerMarker)
                 && plain(entries[i]) && plain(entries[i + 1]))
            out.push_back({assignment, entries[i].mid(2), entries[i + 1].mid(2)});
    }
    return out;
}

/// The element names, attributes asked for and texts of an SVG, in order,
/// as "rect fill=#e66101 width=32" and "text:label"; empty when it is not
/// well-formed XML.
QStringList svgParts(const QString &svg, const QStringList &attributes)
{
    QXmlStreamReader xml(svg);
    QStringList parts;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            QString part = xml.name().toString();
            for (const QString &a : attributes)
                if (xml.attributes().hasAttribute(a))
                    part += QLatin1Char(' ') + a + QLatin1Char('=') + xml.attributes().value(a).toString();
            parts.append(part);
        } else if (xml.isCharacters() && !xml.isWhitespace()) {
            parts.last() += QLatin1Char(':') + xml.text().toString();
        }
    }
    return xml.hasError() ? QStringList{QStringLiteral("not XML: ") + xml.errorString()} : parts;
}

/// A class written as SEND files into `root`: for each "count*tokens"
/// entry, `count` students (s01, s02, ...) answering question 1 of
/// assignment 1: "c2" a confidence of 2, "s1" a self-critique of 1 after
/// the worked answer, "e3" an empty self-critique rated 3.
bool writeClass(const QString &root, const QStringList &plan)
{
    int student = 0;
    for (const QString &entry : plan) {
        const int count = entry.section(QLatin1Char('*'), 0, 0).toInt();
        const QStringList tokens = entry.section(QLatin1Char('*'), 1).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        for (int i = 0; i < count; ++i) {
            QByteArray bytes = header();
            int minute = 0;
            for (const QString &t : tokens) {
                const QString rating = t.mid(1);
                if (t.startsWith(QLatin1Char('c')))
                    bytes += confidence(++minute, rating);
                else if (t.startsWith(QLatin1Char('s')))
                    bytes += selfCritique(++minute, rating);
                else
                    bytes += response(++minute, courseEntry(QStringLiteral("`a It's easiest")), QString(),
                                      "self critique assessment: ", rating);
            }
            if (!writeTo(QStringLiteral("%1/s%2/send_0306.txt").arg(root).arg(++student, 2, 10, QLatin1Char('0')), bytes))
                return false;
        }
    }
    return true;
}

} // namespace

class ReportClassTest : public QObject
{
    Q_OBJECT
private slots:
    void flagsAndCounts_data();
    void flagsAndCounts();
    void flagsRelativeToTheClass_data();
    void flagsRelativeToTheClass();
    void csvGuards_data();
    void csvGuards();
    void csvInASpreadsheet_data();
    void csvInASpreadsheet();
    void copiesMatched_data();
    void copiesMatched();
    void attemptsOfAWorkedAnswerInSteps_data();
    void attemptsOfAWorkedAnswerInSteps();
    void charts_data();
    void charts();
    void rightToLeftTextsIsolated_data();
    void rightToLeftTextsIsolated();
    void siteOfSmallClass();
    void rosterRows_data();
    void rosterRows();
    void studentsToLookAt_data();
    void studentsToLookAt();
    void sameAnswersAsTyped_data();
    void sameAnswersAsTyped();
    void gradebookFields_data();
    void gradebookFields();
};

void ReportClassTest::flagsAndCounts_data()
{
    QTest::addColumn<QList<QStringList>>("ratings"); // per student, on question 1
    QTest::addColumn<bool>("onAnswer");               // self-critiques of the given answer, not confidences
    QTest::addColumn<bool>("flagged");
    QTest::addColumn<int>("struggled");
    QTest::addColumn<QString>("counts");

    auto many = [](int n, const QString &r) { return QList<QStringList>(n, QStringList{r}); };
    QTest::newRow("five of six students rated 0 or 1")
        << QList<QStringList>{{"0"}, {"1"}, {"0"}, {"1"}, {"0"}, {"3"}} << false << true << 5
        << "0: 3 \u00b7 1: 2 \u00b7 2: 0 \u00b7 3: 1 (n = 6, 0 or 1: 83%)";
    QTest::newRow("one student's single 0 flags nothing") << QList<QStringList>{{"0"}, {"3"}, {"3"}} << false << false << 1
                                                          << "0: 1 \u00b7 1: 0 \u00b7 2: 0 \u00b7 3: 2 (n = 3, 0 or 1: 33%)";
    QTest::newRow("four students are too few") << QList<QStringList>{{"0"}, {"0"}, {"1"}, {"1"}} << false << false << 4
                                               << "0: 2 \u00b7 1: 2 \u00b7 2: 0 \u00b7 3: 0 (n = 4, 0 or 1: 100%)";
    QTest::newRow("five of sixteen: the class's only question is its top one")
        << many(5, "0") + many(11, "2") << false << true << 5 << "0: 5 \u00b7 1: 0 \u00b7 2: 11 \u00b7 3: 0 (n = 16, 0 or 1: 31%)";
    QTest::newRow("fifteen students, none rated 0 or 1") << many(15, "2") << false << false << 0
                                                         << "0: 0 \u00b7 1: 0 \u00b7 2: 15 \u00b7 3: 0 (n = 15, 0 or 1: 0%)";
    QTest::newRow("one student's five 0s are one student")
        << QList<QStringList>{{"0", "0", "0", "0", "0"}} << false << false << 1
        << "0: 5 \u00b7 1: 0 \u00b7 2: 0 \u00b7 3: 0 (n = 5, 0 or 1: 100%)";
    QTest::newRow("blanks around a rating count, other typing is grouped apart")
        << QList<QStringList>{{" 0 "}, {"1\t"}, {"not sure"}, {""}, {"not sure"}, {"4"}, {"01"}, {"<b>"}} << false << true << 2
        << "0: 1 \u00b7 1: 1 \u00b7 2: 0 \u00b7 3: 0 (n = 2, 0 or 1: 100%) \u00b7 <span class=\"apart\">other 6: \u201cnot sure\u201d "
           "\u00d72, (empty) \u00d71, \u201c01\u201d \u00d71, \u201c4\u201d \u00d71, \u201c&lt;b&gt;\u201d \u00d71</span>";
    QTest::newRow("ratings typed as formats are shown as typed, never filled in")
        << QList<QStringList>{{"%2"}, {"%1"}, {"%1%2"}} << false << false << 0
        << "0: 0 \u00b7 1: 0 \u00b7 2: 0 \u00b7 3: 0 \u00b7 <span class=\"apart\">other 3: \u201c%1\u201d \u00d71, \u201c%1%2\u201d \u00d71, "
           "\u201c%2\u201d \u00d71</span>";
    QTest::newRow("weak self-critiques flag the question too") << many(5, "1") + many(1, "3") << true << true << 5
                                                               << "0: 0 \u00b7 1: 5 \u00b7 2: 0 \u00b7 3: 1 (n = 6, 0 or 1: 83%)";
}

void ReportClassTest::flagsAndCounts()
{
    QFETCH(QList<QStringList>, ratings);
    QFETCH(bool, onAnswer);
    QFETCH(bool, flagged);
    QFETCH(int, struggled);
    QFETCH(QString, counts);

    QTemporaryDir dir;
    for (int s = 0; s < ratings.size(); ++s) {
        QByteArray bytes = header();
        for (int k = 0; k < ratings[s].size(); ++k)
            bytes += onAnswer ? selfCritique(k, ratings[s][k]) : confidence(k, ratings[s][k]);
        QVERIFY(writeTo(dir.filePath(QStringLiteral("s%1/send_0306.txt").arg(s)), bytes));
    }
    const CourseIndex course(courseEntries());
    const ClassData data = ClassReader(course).read({dir.path()});
    QVERIFY(!data.hasWarnings());
    const ClassSummary sum = summarize(data, course);
    QCOMPARE(int(sum.questions.size()), 1);
    const QuestionSummary &q = sum.questions.front();
    QCOMPARE(q.item, QStringLiteral("q1"));
    QCOMPARE(q.flagged, flagged);
    QCOMPARE(int(sum.flagged.size()), flagged ? 1 : 0);
    QCOMPARE(q.struggled, struggled);
    QCOMPARE(q.studentsAnswered, int(ratings.size()));
    QCOMPARE(Html::countsText(onAnswer ? q.selfCritique : q.confidence), counts);
}

void ReportClassTest::flagsRelativeToTheClass_data()
{
    // Per question (the course's first one-line questions, in order):
    // {students who answered, of them rating it 0, then confidently wrong
    // (3, then a self-critique of 2, "self-critique was necessary")}; the
    // others answer 3 and critique 3.
    QTest::addColumn<QList<QList<int>>>("questions");
    QTest::addColumn<int>("promptLow");  // students who rated assignment 7's prompt 0
    QTest::addColumn<QStringList>("flags"); // question (1 = the first of the list): share of n

    const QList<int> none{5, 0, 0};
    QTest::newRow("the highest share first, ties by more students; a fifth of ten is two")
        << QList<QList<int>>{{5, 5, 0}, {6, 6, 0}, {12, 6, 0}, none, none, none, none, none, none, none} << 0
        << QStringList{"2: 100% of 6", "1: 100% of 5"};
    QTest::newRow("a confident error counts as a low rating")
        << QList<QList<int>>{{5, 0, 3}, {5, 2, 0}, none, none, none} << 0 << QStringList{"1: 60% of 5"};
    QTest::newRow("only the questions at the upper quartile, though the cap allows three")
        << QList<QList<int>>{{5, 1, 0}, {5, 2, 0}, {5, 3, 0}, {5, 4, 0}, {4, 4, 0}, {4, 4, 0}, {4, 4, 0}, {4, 4, 0},
                             {4, 4, 0}, {4, 4, 0}, {4, 4, 0}}
        << 0 << QStringList{"4: 80% of 5", "3: 60% of 5"};
    QTest::newRow("four students are too few, whatever their share")
        << QList<QList<int>>{{4, 4, 0}, none} << 0 << QStringList();
    QTest::newRow("no one rated low: nothing flagged") << QList<QList<int>>{none, none} << 0 << QStringList();
    QTest::newRow("a prompt is never flagged, however rated")
        << QList<QList<int>>{{5, 1, 0}} << 5 << QStringList{"1: 20% of 5"};
}

void ReportClassTest::flagsRelativeToTheClass()
{
    QFETCH(QList<QList<int>>, questions);
    QFETCH(int, promptLow);
    QFETCH(QStringList, flags);
    const std::vector<CourseQuestion> course = plainQuestions();
    QVERIFY2(course.size() >= size_t(questions.size()), qPrintable(QString::number(course.size())));

    QTemporaryDir dir;
    int students = promptLow;
    for (const QList<int> &q : questions)
        students = std::max(students, q[0]);
    for (int s = 0; s < students; ++s) {
        QByteArray bytes, assignment;
        int minute = 0;
        for (int k = 0; k < questions.size(); ++k) {
            const QList<int> &q = questions[k];
            if (s >= q[0])
                continue;
            if (course[size_t(k)].assignment != assignment)
                bytes += header(assignment = course[size_t(k)].assignment);
            const bool low = s < q[1], wrong = !low && s < q[1] + q[2];
            bytes += confidence(++minute, low ? QStringLiteral("0") : QStringLiteral("3"), course[size_t(k)].question);
            bytes += response(++minute, course[size_t(k)].answer, QStringLiteral("my critique"), "self critique assessment: ",
                              wrong ? QStringLiteral("2") : QStringLiteral("3"));
        }
        if (s < promptLow)
            bytes += header("007") + response(++minute, prompt7, QStringLiteral("a comment"), "confidence assessment:  ",
                                              QStringLiteral("0"));
        QVERIFY(writeTo(dir.filePath(QStringLiteral("s%1/send_0306.txt").arg(s, 2, 10, QLatin1Char('0'))), bytes));
    }
    const CourseIndex index(courseEntries());
    const ClassData data = ClassReader(index).read({dir.path()});
    QVERIFY(!data.hasWarnings());
    const ClassSummary sum = summarize(data, index);
    QCOMPARE(int(sum.questions.size()), questions.size() + (promptLow > 0));
    QStringList got;
    for (int i : sum.flagged) {
        const QuestionSummary &q = sum.questions[size_t(i)];
        int k = 0;
        while (k < questions.size() && course[size_t(k)].question != q.bankText)
            ++k;
        got.append(QStringLiteral("%1: %2% of %3").arg(k + 1).arg(qRound(q.flagShare() * 100)).arg(q.studentsAnswered));
    }
    QCOMPARE(got, flags);
    int marked = 0;
    for (const QuestionSummary &q : sum.questions)
        marked += q.flagged;
    QCOMPARE(marked, flags.size());
}

void ReportClassTest::csvGuards_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("field");
    QTest::newRow("equals sign") << "=1+1" << "'=1+1";
    QTest::newRow("plus sign") << "+41 555" << "'+41 555";
    QTest::newRow("minus sign") << "-x" << "'-x";
    QTest::newRow("at sign") << "@SUM(A1)" << "'@SUM(A1)";
    QTest::newRow("tab") << "\tindented" << "'\tindented";
    QTest::newRow("an empty first line starts with CR") << "\r\nsecond line" << "'\r\nsecond line";
    QTest::newRow("blanks before a formula, which an import may trim") << "  =1+1" << "'  =1+1";
    QTest::newRow("a no-break space before a formula") << "\u00a0=1+1" << "'\u00a0=1+1";
    QTest::newRow("a NUL first, which an import may drop") << QString(QChar(0)) + "=1+1" << "'" + QString(QChar(0)) + "=1+1";
    QTest::newRow("a formula after a semicolon, where a spreadsheet may split") << "a;=2+2" << "a;'=2+2";
    QTest::newRow("a formula after a tab and blanks") << "x\t =5+5" << "x\t' =5+5";
    QTest::newRow("a line that starts like a formula") << "first\r\n-3 is it" << "first\r\n'-3 is it";
    QTest::newRow("a comma inside, which the quotes keep in the field") << "a,=2+2" << "a,=2+2";
    QTest::newRow("a formula sign inside is left alone") << "x=1" << "x=1";
    QTest::newRow("an apostrophe is left alone") << "'quoted" << "'quoted";
    QTest::newRow("a digit is left alone") << "1-2" << "1-2";
}

void ReportClassTest::csvGuards()
{
    QFETCH(QString, typed);
    QFETCH(QString, field);
    QTemporaryDir dir;
    QVERIFY(writeTo(dir.filePath(QStringLiteral("ann/send_0306.txt")),
                    header() + response(1, question1, typed, "confidence assessment:  ", QStringLiteral("2"))));
    const CourseIndex course(courseEntries());
    const ClassData data = ClassReader(course).read({dir.path()});
    const QByteArray csv = csvTable(data);
    const QList<QStringList> rows = parseCsv(QString::fromUtf8(csv.mid(3)));
    QCOMPARE(rows.size(), 3);
    QCOMPARE(rows.at(2).at(14), field);
    // Quoted whatever it holds: a semicolon or tab a spreadsheet splits at stays inside.
    QVERIFY2(csv.contains(",\"" + field.toUtf8() + "\","), csv.constData());
    // The JSON keeps the text as typed.
    const QJsonArray json = QJsonDocument::fromJson(jsonTable(data)).array();
    QCOMPARE(json.at(1).toObject().value(QLatin1String("text")).toString(), typed);
}

void ReportClassTest::csvInASpreadsheet_data()
{
    // LibreOffice's CSV import as an instructor opens the file: the
    // separator ticked, blanks trimmed, quoted fields not forced to text.
    QTest::addColumn<int>("separator"); // the character, as LibreOffice's filter names it
    QTest::newRow("comma") << int(',');
    QTest::newRow("semicolon") << int(';');
    QTest::newRow("tab") << int('\t');
}

void ReportClassTest::csvInASpreadsheet()
{
    QFETCH(int, separator);
    const QString office = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (office.isEmpty())
        QSKIP("LibreOffice is not installed (Debian: libreoffice-calc-nogui)");
    // Each formula a student might type, and the text that must come out of
    // the spreadsheet unrun (a run formula leaves its value, or Err:).
    const QStringList typed{"=1+1", "  =1+2", "a;=1+3", "x\t=1+4", "+1+5", "-1+6", QString(QChar(0)) + "=1+8", "=HYPERLINK(\"x\")"};
    const QStringList kept{"=1+1", "=1+2", "=1+3", "=1+4", "+1+5", "-1+6", "=1+8", "=HYPERLINK("};
    QByteArray bytes = header();
    for (int i = 0; i < typed.size(); ++i)
        bytes += response(i, question1, typed[i], "confidence assessment:  ", QStringLiteral("2"));
    QTemporaryDir dir;
    QVERIFY(writeTo(dir.filePath(QStringLiteral("ann/send_0306.txt")), bytes));
    const CourseIndex course(courseEntries());
    QVERIFY(writeTo(dir.filePath(QStringLiteral("class.csv")), csvTable(ClassReader(course).read({dir.filePath(QStringLiteral("ann"))}))));

    QProcess p;
    const QString filter = QStringLiteral("CSV:%1,34,76,1,,0,false,true,false,false,true").arg(separator);
    p.start(office, {QStringLiteral("-env:UserInstallation=file://") + dir.filePath(QStringLiteral("profile")), QStringLiteral("--headless"),
                     QStringLiteral("--infilter=") + filter, QStringLiteral("--convert-to"),
                     QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76,1"), QStringLiteral("--outdir"),
                     dir.filePath(QStringLiteral("out")), dir.filePath(QStringLiteral("class.csv"))});
    QVERIFY2(p.waitForFinished(180000), "LibreOffice did not end");
    QFile out(dir.filePath(QStringLiteral("out/class.csv")));
    QVERIFY2(out.open(QIODevice::ReadOnly), qPrintable(QString::fromLocal8Bit(p.readAllStandardError())));
    const QString cells = QString::fromUtf8(out.readAll());
    QVERIFY2(!cells.contains(QLatin1String("Err:")), qPrintable(cells));
    for (const QString &text : kept)
        QVERIFY2(cells.contains(text), qPrintable(text + QLatin1String(" was run in: ") + cells.left(2000)));
}

void ReportClassTest::copiesMatched_data()
{
    QTest::addColumn<QList<int>>("masterMinutes"); // one identical record at each minute
    QTest::addColumn<int>("sendShift");             // seconds the SEND file's clock ran behind
    QTest::addColumn<int>("sendExtra");             // identical records only the SEND file holds
    QTest::addColumn<int>("records");               // rows by default, header and responses
    QTest::addColumn<QStringList>("copyOf");        // with every copy, the SEND rows' copy_of
    QTest::addColumn<int>("sendFiles");             // SEND files holding the same copy

    QTest::newRow("identical records each matched once") << QList<int>{1, 1, 1} << 0 << 0 << 4
                                                         << QStringList{"masterFile.txt", "masterFile.txt", "masterFile.txt", "masterFile.txt"} << 1;
    QTest::newRow("one identical record more in the SEND file is a record")
        << QList<int>{1, 1, 1} << 0 << 1 << 5
        << QStringList{"masterFile.txt", "masterFile.txt", "masterFile.txt", "masterFile.txt", ""} << 1;
    QTest::newRow("a copy two seconds apart is the same record") << QList<int>{1, 2} << 2 << 0 << 3
                                                                 << QStringList{"masterFile.txt", "masterFile.txt", "masterFile.txt"} << 1;
    QTest::newRow("three seconds apart is another record") << QList<int>{1, 2} << 3 << 0 << 5
                                                           << QStringList{"masterFile.txt", "", ""} << 1;
    QTest::newRow("the same records in forty SEND files are the master file's")
        << QList<int>{1} << 0 << 0 << 2 << QStringList(80, QStringLiteral("masterFile.txt")) << 40;
}

void ReportClassTest::attemptsOfAWorkedAnswerInSteps_data()
{
    // What the student did: "run" (a header), "q 3" (the question, confidence
    // 3), "a1 2" (the worked answer's first entry, self-critique 2), "a2 …".
    QTest::addColumn<QStringList>("did");
    QTest::addColumn<QList<int>>("attempts");  // of each response, in order
    QTest::addColumn<QList<int>>("critiques"); // the self-critique standing for each attempt
    QTest::newRow("both entries critiqued in one pass: one attempt, the lower critique stands")
        << QStringList{"run", "q 3", "a1 3", "a2 1"} << QList<int>{1, 1, 1} << QList<int>{1};
    QTest::newRow("an entry critiqued twice in one pass: the student came round again")
        << QStringList{"run", "q 3", "a1 3", "a1 2"} << QList<int>{1, 1, 2} << QList<int>{3, 2};
    QTest::newRow("the next run critiques an entry alone: a new attempt")
        << QStringList{"run", "q 3", "a1 3", "run", "a2 1"} << QList<int>{1, 1, 2} << QList<int>{3, 1};
    QTest::newRow("the next run answers the question again")
        << QStringList{"run", "q 2", "a1 0", "a2 1", "run", "q 3", "a1 3", "a2 3"} << QList<int>{1, 1, 1, 2, 2, 2}
        << QList<int>{0, 3};
    QTest::newRow("a rating typed as a word gives way to a number")
        << QStringList{"run", "q 2", "a1 sure", "a2 3"} << QList<int>{1, 1, 1} << QList<int>{3};
}

void ReportClassTest::attemptsOfAWorkedAnswerInSteps()
{
    QFETCH(QStringList, did);
    QFETCH(QList<int>, attempts);
    QFETCH(QList<int>, critiques);
    const QStringList stepped = steppedQuestion();
    QVERIFY(stepped.size() >= 3);
    QByteArray master;
    int minute = 0, runs = 0;
    for (const QString &step : did) {
        const QString rating = step.section(QLatin1Char(' '), 1);
        if (step == QLatin1String("run")) // each run with a code line of its own, as the program draws it
            master += header("002").replace(0, 4, QByteArray::number(1000 + ++runs));
        else if (step.startsWith(QLatin1Char('q')))
            master += confidence(++minute, rating, stepped.at(0));
        else
            master += response(++minute, stepped.at(step.mid(1, 1).toInt()), QStringLiteral("my critique"),
                               "self critique assessment: ", rating);
    }
    QTemporaryDir dir;
    QVERIFY(writeTo(dir.filePath(QStringLiteral("ann/masterFile.txt")), master));
    const CourseIndex course(courseEntries());
    const ClassData data = ClassReader(course).read({dir.path()});
    QList<int> numbers;
    for (int ri : data.students.at(0).records)
        if (data.records[size_t(ri)].record.kind == FileRecord::Response)
            numbers.append(data.records[size_t(ri)].attempt);
    QCOMPARE(numbers, attempts);
    const ClassSummary sum = summarize(data, course);
    QCOMPARE(sum.perStudent.at(0).attempts.size(), size_t(1));
    QList<int> standing;
    for (const AttemptPair &a : sum.perStudent.at(0).attempts.begin()->second)
        standing.append(a.selfCritique);
    QCOMPARE(standing, critiques);
}

void ReportClassTest::rightToLeftTextsIsolated_data()
{
    QTest::addColumn<QString>("markup");
    // Each holds a right-to-left override (U+202E) from a file: it must stand
    // inside a <bdi>, which keeps it from turning the page's own words around.
    const QChar rlo(0x202E);
    ClassData data;
    data.warn({QStringLiteral("class/s") + rlo + QStringLiteral("1/masterFile.txt"), 3,
               QStringLiteral("folder \u201c") + rlo + QStringLiteral("x\u201d is not on the roster")});
    QTest::newRow("a warning's file and message") << Html::warningList(data);
    ClassRecord c;
    c.record.ratingKind = FileRecord::Confidence;
    c.record.rating = rlo + QStringLiteral("two");
    c.sharedWith = QStringLiteral("b") + rlo + QStringLiteral("ob");
    QTest::newRow("a rating typed as a word, and who shares the file") << Html::recordBlock(c, QStringLiteral("ann"), QString());
}

void ReportClassTest::rightToLeftTextsIsolated()
{
    QFETCH(QString, markup);
    QXmlStreamReader xml(QStringLiteral("<div>") + markup + QStringLiteral("</div>"));
    int inBdi = 0, overrides = 0;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == QLatin1String("bdi"))
            ++inBdi;
        else if (xml.isEndElement() && xml.name() == QLatin1String("bdi"))
            --inBdi;
        else if (xml.isCharacters() && xml.text().contains(QChar(0x202E))) {
            QVERIFY2(inBdi > 0, qPrintable(xml.text().toString()));
            ++overrides;
        }
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    QCOMPARE(overrides, 2);
}

void ReportClassTest::copiesMatched()
{
    QFETCH(QList<int>, masterMinutes);
    QFETCH(int, sendShift);
    QFETCH(int, sendExtra);
    QFETCH(int, records);
    QFETCH(QStringList, copyOf);
    QFETCH(int, sendFiles);

    QByteArray master = header(), sendCopy = header();
    for (int minute : masterMinutes) {
        master += confidence(minute, QStringLiteral("2"));
        QByteArray copy = confidence(minute, QStringLiteral("2"));
        copy.replace(QStringLiteral("10:%1:00").arg(minute, 2, 10, QLatin1Char('0')).toLatin1(),
                     QStringLiteral("10:%1:%2").arg(minute - 1, 2, 10, QLatin1Char('0')).arg(60 - sendShift, 2, 10, QLatin1Char('0')).toLatin1());
        sendCopy += sendShift == 0 ? confidence(minute, QStringLiteral("2")) : copy;
    }
    for (int i = 0; i < sendExtra; ++i)
        sendCopy += confidence(masterMinutes.last(), QStringLiteral("2"));
    QTemporaryDir dir;
    QVERIFY(writeTo(dir.filePath(QStringLiteral("ann/masterFile.txt")), master));
    for (int f = 0; f < sendFiles; ++f)
        QVERIFY(writeTo(dir.filePath(QStringLiteral("ann/send_%1.txt").arg(306 + f, 4, 10, QLatin1Char('0'))), sendCopy));
    const CourseIndex course(courseEntries());
    QCOMPARE(int(ClassReader(course).read({dir.path()}).records.size()), records);
    ClassReader all(course);
    all.setKeepCopies(true);
    QStringList seen;
    for (const QStringList &row : parseCsv(QString::fromUtf8(csvTable(all.read({dir.path()})).mid(3))).mid(1))
        if (row.at(1).startsWith(QLatin1String("send_")))
            seen.append(row.at(16));
    QCOMPARE(seen, copyOf);
}

void ReportClassTest::charts_data()
{
    QTest::addColumn<QString>("svg");
    QTest::addColumn<QStringList>("attributes");
    QTest::addColumn<QStringList>("parts");

    Spread spread;
    for (const char *r : {"0", "1", "1", "3", "maybe"})
        spread.add(QLatin1String(r));
    QTest::newRow("a spread bar: a segment per rating, orange to blue, others grey")
        << Charts::spreadBar(spread) << QStringList{"fill", "width"}
        << QStringList{"svg width=160", "title:0: 1, 1: 2, 2: 0, 3: 1, other: 1", "rect fill=#eeeeee width=160",
                       "rect fill=#e66101 width=32", "rect fill=#fdb863 width=64", "rect fill=#0571b0 width=32",
                       "rect fill=#bbbbbb width=32"};

    std::map<QString, AssignmentCounts> assignments;
    assignments[QStringLiteral("001")].confidence.add(QStringLiteral("2"));
    assignments[QStringLiteral("007")].confidence.add(QStringLiteral("0"));
    assignments[QStringLiteral("007")].confidence.add(QStringLiteral("0"));
    QTest::newRow("ratings per assignment: bars, axis titles, assignment numbers, a key")
        << Charts::ratingsByAssignment(assignments, true, QStringLiteral("Confidence & <more>")) << QStringList{"fill", "height"}
        << QStringList{"svg height=180",
                       "title:Confidence & <more>",
                       "text:Confidence & <more>",
                       "line",
                       "line",
                       "text:2",
                       "text:0",
                       "text:ratings",
                       "text:assignment",
                       "rect fill=#92c5de height=63",
                       "text:1",
                       "rect fill=#e66101 height=126",
                       "text:7",
                       "rect fill=#e66101 height=10",
                       "text:0",
                       "rect fill=#fdb863 height=10",
                       "text:1",
                       "rect fill=#92c5de height=10",
                       "text:2",
                       "rect fill=#0571b0 height=10",
                       "text:3",
                       "rect fill=#bbbbbb height=10",
                       "text:other"};

    int pairs[4][4] = {};
    pairs[1][0] = 1;
    pairs[3][3] = 4;
    QStringList calibration{"svg", "title:a\uFFFDb", "text:a\uFFFDb"};
    for (int c = 0; c < 4; ++c)
        for (int s = 0; s < 4; ++s) {
            calibration.append(QStringLiteral("rect"));
            if (pairs[c][s])
                calibration += QStringList{QStringLiteral("circle r=%1").arg(pairs[c][s] == 4 ? 17 : 8.5),
                                           QStringLiteral("text:%1").arg(pairs[c][s])};
        }
    for (int i = 0; i < 4; ++i)
        calibration += QStringList{QStringLiteral("text:%1").arg(i), QStringLiteral("text:%1").arg(i)};
    calibration += QStringList{"text:confidence", "text:self-critique"};
    QTest::newRow("calibration: a circle per pair count, its area the count, a control character made safe")
        << Charts::calibration(pairs, QStringLiteral("a\x01" "b")) << QStringList{"r"} << calibration;

    // Assignment 1: 1 confident error in 4 sure pairs, nothing unsure;
    // assignment 2: both sure pairs wrong, 1 of 2 unsure ones right.
    std::map<QString, calibration::Grid> grids;
    grids[QStringLiteral("001")].add(3, 1);
    for (int i = 0; i < 3; ++i)
        grids[QStringLiteral("001")].add(3, 3);
    grids[QStringLiteral("002")].add(0, 3);
    grids[QStringLiteral("002")].add(1, 0);
    grids[QStringLiteral("002")].add(2, 0);
    grids[QStringLiteral("002")].add(2, 0);
    QTest::newRow("calibration per assignment: a point per rate with its n, a line through two, none without pairs")
        << Charts::calibrationTrend(grids, QStringLiteral("Calibration & <trend>")) << QStringList{"fill", "points", "r", "width"}
        << QStringList{"svg width=300", "title:Calibration & <trend>", "text:Calibration & <trend>", "line", "line",
                       "text:100%", "text:0%", "text:share", "text:assignment", "polyline fill=none points=55,114.5 77,20",
                       "circle fill=#e66101 r=4", "title:over-confidence, assignment 1: 25% (n = 4)",
                       "circle fill=#e66101 r=4", "title:over-confidence, assignment 2: 100% (n = 2)",
                       "rect fill=#0571b0 width=7", "title:under-confidence, assignment 2: 50% (n = 2)", "text:1", "text:2",
                       "circle fill=#e66101 r=4", "title:over-confidence", "text:over-confidence",
                       "rect fill=#0571b0 width=7", "title:under-confidence", "text:under-confidence"};
}

void ReportClassTest::charts()
{
    QFETCH(QString, svg);
    QFETCH(QStringList, attributes);
    QFETCH(QStringList, parts);
    QCOMPARE(svgParts(svg, attributes), parts);
}

void ReportClassTest::siteOfSmallClass()
{
    // Downloaded as class/Name/crsfiles/: the students are named by the
    // folder above the program's default one.
    QTemporaryDir dir;
    const QString classDir = dir.filePath(QStringLiteral("class"));
    QVERIFY(writeTo(classDir + QStringLiteral("/Ann_12/crsfiles/send_0306.txt"),
                    header() + confidence(1, QStringLiteral("1")) + selfCritique(2, QStringLiteral("0")) + header("007")
                        + response(3, prompt7, QStringLiteral("it was <new> to me"), nullptr, QString())
                        + openLine + QByteArray(36, ' ') + "10:04:00\r\n" + QByteArray(36, ' ') + "03-06-202610:04:00\r\n"
                        + prompt7.toLatin1() + "\r\n" + openLine + "NOTES -------> why &#916;x?\r\n" + closeLine));
    QVERIFY(writeTo(classDir + QStringLiteral("/Ben_34/crsfiles/send_0306.txt"), header() + confidence(1, QStringLiteral("3"))));
    const QString site = dir.filePath(QStringLiteral("site"));
    QProcess p;
    p.start(QStringLiteral(REPORT_PROGRAM), {QStringLiteral("--site"), site, QStringLiteral("--csv"),
                                             dir.filePath(QStringLiteral("class.csv")), classDir});
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitCode(), 0);

    QCOMPARE(QDir(site).entryList(QDir::Files, QDir::Name),
             (QStringList{"001-q1.html", "007-p1.html", "ann-12-1396fd2b.html", "ben-34-0b8f1340.html", "index.html", "notes.html",
                          "style.css"}));
    QMap<QString, QString> pages;
    for (const QString &name : QDir(site).entryList({"*.html"}, QDir::Files)) {
        QFile f(site + QLatin1Char('/') + name);
        QVERIFY(f.open(QIODevice::ReadOnly));
        pages[name] = QString::fromUtf8(f.readAll());
        QXmlStreamReader xml(pages[name]);
        int links = 0, scripts = 0, styles = 0;
        while (!xml.atEnd()) {
            xml.readNext();
            links += xml.isStartElement() && xml.name() == QLatin1String("a");
            scripts += xml.isStartElement() && xml.name() == QLatin1String("script");
            styles += xml.isStartElement() && xml.name() == QLatin1String("style");
        }
        QVERIFY2(!xml.hasError(), qPrintable(name + QLatin1String(": ") + xml.errorString()));
        // The index sorts its roster with a script, a question's page filters and sorts its responses with one of its own; the others need none.
        QCOMPARE(scripts, name == QLatin1String("index.html")
                                  || QRegularExpression(QStringLiteral("^\\d{3}-[qp]\\d+\\.html$")).match(name).hasMatch() ? 1 : 0);
        if (name == QLatin1String("ann-12-1396fd2b.html") || name == QLatin1String("ben-34-0b8f1340.html")) {
            // Sent to the student alone: its own stylesheet, no way to other pages.
            QCOMPARE(links, 0);
            QCOMPARE(styles, 1);
        }
    }
    // The roster: a row per student, named past "crsfiles", linked to the
    // page; each cell with the value it sorts by. Ann: no assignment done,
    // 1 and 7 partly; 3 responses; her one pair (confidence 1, critique 0)
    // no confident error; her one confidence unsure; never sure, so no
    // over-confidence.
    QVERIFY2(pages["index.html"].contains(QStringLiteral(
        "<tr><td class=\"n\" data-sort=\"0\"></td><td class=\"name\" data-sort=\"ann_12\"><a href=\"ann-12-1396fd2b.html\">Ann_12</a>"
        "</td><td data-sort=\"0.002\">0 of 2<br/><span class=\"marks\" title=\"partly: 1, 7\">\u25d0\u25d0</span></td>"
        "<td class=\"n\" data-sort=\"3\">3</td><td class=\"n\" data-sort=\"0.0000\">0 of 1 (0%)</td>"
        "<td class=\"n\" data-sort=\"1.0000\">1 of 1 (100%)</td><td class=\"n\" data-sort=\"-1\">\u2013</td>"
        "<td data-sort=\"2026-03-06\">2026-03-06</td></tr>")), qPrintable(pages["index.html"]));
    QVERIFY(pages["index.html"].contains(QStringLiteral("<a href=\"ben-34-0b8f1340.html\">Ben_34</a>")));
    QVERIFY(pages["index.html"].contains(QStringLiteral("<a href=\"007-p1.html\">prompt 1</a>")));
    // A question's page: the worked answer and a row per student.
    const QString &q1 = pages["001-q1.html"];
    QVERIFY(q1.contains(QStringLiteral("<h2>The worked answer</h2>\n<pre class=\"course\"> It's easiest to avoid denominators")));
    QCOMPARE(q1.count(QStringLiteral("<tr data-kind=")), 2);
    QVERIFY(q1.contains(QStringLiteral("<th scope=\"row\" data-v=\"Ben_34\"><a href=\"ben-34-0b8f1340.html\">Ben_34</a></th>")));
    QVERIFY(pages["007-p1.html"].contains(QStringLiteral("it was &lt;new&gt; to me")));
    // The stand-in the program wrote for a character Windows-1252 lacks, shown as that character.
    QVERIFY(pages["notes.html"].contains(QStringLiteral("<pre>why \u0394x?</pre>")));
    QVERIFY(pages["ann-12-1396fd2b.html"].contains(QStringLiteral("<h1>Ann_12</h1>")));

    // The prompt is keyed the same way in the CSV.
    QFile csv(dir.filePath(QStringLiteral("class.csv")));
    QVERIFY(csv.open(QIODevice::ReadOnly));
    QStringList keys;
    for (const QStringList &row : parseCsv(QString::fromUtf8(csv.readAll().mid(3))).mid(1))
        keys.append(row.at(0) + QLatin1Char(' ') + row.at(5) + QLatin1Char('-') + row.at(6) + QLatin1Char(' ') + row.at(8)
                    + QLatin1Char(' ') + row.at(12));
    QCOMPARE(keys, (QStringList{"Ann_12 001-  ", "Ann_12 001-q1 question 1", "Ann_12 001-q1 answer 0", "Ann_12 007-  ",
                                "Ann_12 007-p1 prompt ", "Ann_12 007-p1 note ", "Ben_34 001-  ", "Ben_34 001-q1 question 3"}));
}

void ReportClassTest::rosterRows_data()
{
    QTest::addColumn<QByteArray>("csv");
    QTest::addColumn<QStringList>("entries");  // "folder|name|id|email @line"
    QTest::addColumn<QStringList>("warnings"); // "line: message"
    QTest::addColumn<QString>("error");

    QTest::newRow("an LMS export: BOM, CR LF, columns in another order and case, others ignored")
        << QByteArray("\xEF\xBB\xBF" "Email,Name,Section,FOLDER,Id\r\nann@x.edu,Ann Lee,A,Ann_12,00123\r\nben@x.edu,Ben Ode,B,Ben_34,456\r\n")
        << QStringList{"Ann_12|Ann Lee|00123|ann@x.edu @2", "Ben_34|Ben Ode|456|ben@x.edu @3"} << QStringList{} << QString();
    QTest::newRow("quotes holding a comma, a doubled quote and a line end; LF alone")
        << QByteArray("folder,name\n\"Lee, Ann_12\",\"Lee, Ann \"\"Annie\"\"\"\n\"x\",\"two\nlines\"\nlast,Last One")
        << QStringList{"Lee, Ann_12|Lee, Ann \"Annie\"|| @2", "x|two\nlines|| @3", "last|Last One|| @5"} << QStringList{}
        << QString();
    QTest::newRow("Excel in a comma-decimal locale: semicolons, commas kept in names")
        << QByteArray("Folder;Name;ID\r\nAnn_12;Lee, Ann;0012\r\n") << QStringList{"Ann_12|Lee, Ann|0012| @2"} << QStringList{}
        << QString();
    QTest::newRow("tab separated") << QByteArray("name\tfolder\nAnn\tAnn_12\n") << QStringList{"Ann_12|Ann|| @2"}
                                   << QStringList{} << QString();
    QTest::newRow("empty rows and blank fields skipped, blanks trimmed")
        << QByteArray("\r\nfolder,name\r\n,\r\n\r\n  Ann_12 , Ann \r\n") << QStringList{"Ann_12|Ann|| @5"} << QStringList{}
        << QString();
    QTest::newRow("a folder twice: the first row kept")
        << QByteArray("folder,name\nAnn_12,Ann\nBen_34,Ben\nAnn_12,Anna\n") << QStringList{"Ann_12|Ann|| @2", "Ben_34|Ben|| @3"}
        << QStringList{"4: folder \u201cAnn_12\u201d is on line 2 already; this row is left out"} << QString();
    QTest::newRow("a row without a folder, one without a name")
        << QByteArray("folder,name\n,Ann\nBen_34,\n") << QStringList{"Ben_34|Ben_34|| @3"}
        << QStringList{"2: a row without a folder; left out", "3: no name; the folder name stands for it"} << QString();
    QTest::newRow("Windows-1252 from an older Excel") << QByteArray("folder,name\nJos\xe9_1,Jos\xe9\n")
                                                     << QStringList{"Jos\u00e9_1|Jos\u00e9|| @2"}
                                                     << QStringList{"0: not UTF-8: read as Windows-1252"} << QString();
    QTest::newRow("no name column") << QByteArray("folder,id\nAnn_12,1\n") << QStringList{} << QStringList{}
                                    << "the header row (line 1) has no column name; it needs folder and name";
    QTest::newRow("neither column: a list without a header")
        << QByteArray("Ann_12,Ann Lee\n") << QStringList{} << QStringList{}
        << "the header row (line 1) has no column folder or name; it needs folder and name";
    QTest::newRow("an empty file") << QByteArray("\xEF\xBB\xBF\r\n") << QStringList{} << QStringList{} << "no header row";
    QByteArray many = "folder,name\n";
    for (int i = 0; i <= rosterMaxRows; ++i)
        many += QByteArray::number(i) + ",n\n";
    QTest::newRow("a row more than 20000") << many << QStringList{} << QStringList{} << "more than 20000 rows";
    QTest::newRow("larger than 4 MiB") << QByteArray("folder,name\n") + QByteArray(4 << 20, 'x') << QStringList{} << QStringList{}
                                       << "larger than 4 MiB, far more than a class's list; not read";
    QTest::newRow("a quote never closed") << QByteArray("folder,name\nAnn_12,\"Ann\n") << QStringList{} << QStringList{}
                                          << "a quote opened on line 2 is never closed";
}

void ReportClassTest::rosterRows()
{
    QFETCH(QByteArray, csv);
    QFETCH(QStringList, entries);
    QFETCH(QStringList, warnings);
    QFETCH(QString, error);
    // Through the file, as --roster reads it.
    QTemporaryDir dir;
    QVERIFY(writeTo(dir.filePath(QStringLiteral("roster.csv")), csv));
    Roster roster;
    QString reason;
    QCOMPARE(readRoster(dir.filePath(QStringLiteral("roster.csv")), roster, reason), error.isEmpty());
    QCOMPARE(reason, error);
    QStringList got, said;
    for (const RosterEntry &e : roster.entries)
        got.append(QStringLiteral("%1|%2|%3|%4 @%5").arg(e.folder, e.name, e.id, e.email).arg(e.line));
    for (const ReadWarning &w : roster.warnings)
        said.append(QStringLiteral("%1: %2").arg(w.line).arg(w.message));
    QCOMPARE(got, entries);
    QCOMPARE(said, warnings);
}

void ReportClassTest::studentsToLookAt_data()
{
    QTest::addColumn<QStringList>("plan");
    QTest::addColumn<QStringList>("lines");

    const QString sure = QStringLiteral("c3 s3 c3 s3 c3 s3 c3 s3");
    // Ten students: 4 of the 40 pairs are confident errors (10%), all s01's;
    // 4 of the 40 confidence ratings unsure (10%), all s10's.
    QTest::newRow("the top of the class, far above its share")
        << QStringList{"1*c3 s1 c3 s1 c3 s1 c3 s1", "8*" + sure, "1*c0 s3 c0 s3 c0 s3 c0 s3"}
        << QStringList{"Students to look at first:", "  s01: confident errors: 4 of 4 pairs (100%; class 10%)",
                       "  s10: unsure answers: 4 of 4 confidence ratings (100%; class 10%)"};
    // s01 has 3 of 4, the top; but the class's share is 24 of 40 (60%): 75% is
    // not 1.5 times it. Everyone is alike: nobody is named.
    QTest::newRow("a hard question for everyone names nobody")
        << QStringList{"1*c3 s1 c3 s1 c3 s1 c3 s3", "9*c3 s1 c3 s1 c3 s3 c3 s3"}
        << QStringList{"Students to look at first: none meets the rule."};
    // Three answers are too few to tell.
    QTest::newRow("fewer than 4 behind a share") << QStringList{"1*c3 s1 c3 s1 c3 s1", "9*" + sure}
                                                 << QStringList{"Students to look at first: none meets the rule."};
    // ...nor do they count for the top tenth: s02 is the top of those with enough.
    QTest::newRow("the top tenth among those with 4 or more")
        << QStringList{"1*c3 s1 c3 s1 c3 s1", "1*c3 s1 c3 s1 c3 s1 c3 s1 c3 s3 c3 s3", "8*" + sure}
        << QStringList{"Students to look at first:", "  s02: confident errors: 4 of 6 pairs (67%; class 17%)"};
    // Two students share the top; the tenth of ten is one, ties kept.
    QTest::newRow("missing and empty self-critiques, ties at the top")
        << QStringList{"1*c2 c2 c2 c2", "1*c2 e3 c2 e3 c2 e3 c2 e3", "8*" + sure}
        << QStringList{"Students to look at first:",
                       "  s01: missing or empty self-critiques: 4 of 4 answered questions (100%; class 20%)",
                       "  s02: missing or empty self-critiques: 4 of 4 answered questions (100%; class 20%)"};
    // Forty students, five of them unsure in every answer (20 of 160, 13%):
    // a tenth of forty is four, the fifth is counted.
    QTest::newRow("at most a tenth of the class")
        << QStringList{"5*c1 s3 c1 s3 c1 s3 c1 s3", "35*" + sure}
        << QStringList{"Students to look at first:",
                       "  s01: unsure answers: 4 of 4 confidence ratings (100%; class 13%)",
                       "  s02: unsure answers: 4 of 4 confidence ratings (100%; class 13%)",
                       "  s03: unsure answers: 4 of 4 confidence ratings (100%; class 13%)",
                       "  s04: unsure answers: 4 of 4 confidence ratings (100%; class 13%)",
                       "  1 more meet the rule; the list stops at 4."};
    // Two reasons come before one: both are wrong whenever sure (8 of 40
    // pairs in the class, 20%); s02 also left a worked answer unread (1 of 41, 2%).
    QTest::newRow("most reasons first")
        << QStringList{"1*c3 s1 c3 s1 c3 s1 c3 s1", "1*c3 s1 c3 s1 c3 s1 c3 s1 c3", "8*" + sure}
        << QStringList{"Students to look at first:",
                       "  s02: confident errors: 4 of 4 pairs (100%; class 20%); missing or empty self-critiques: 1 of 5 "
                       "answered questions (20%; class 2%)",
                       "  s01: confident errors: 4 of 4 pairs (100%; class 20%)"};
}

void ReportClassTest::studentsToLookAt()
{
    QFETCH(QStringList, plan);
    QFETCH(QStringList, lines);
    QTemporaryDir dir;
    QVERIFY(writeClass(dir.filePath(QStringLiteral("class")), plan));
    const CourseIndex course(courseEntries());
    const ClassData data = ClassReader(course).read({dir.filePath(QStringLiteral("class"))});
    QVERIFY(!data.hasWarnings());
    QCOMPARE(lookFirstLines(data, summarize(data, course)), lines);
}

void ReportClassTest::sameAnswersAsTyped_data()
{
    QTest::addColumn<QStringList>("answers"); // a student each, on question 1
    QTest::addColumn<QString>("rows");        // the question page's answers given more than once

    const auto row = [](const char *answer, int count) {
        return QStringLiteral("<tr><td><pre>") + QLatin1String(answer) + QStringLiteral("</pre></td><td class=\"n\">\u00d7")
               + QString::number(count) + QStringLiteral("</td></tr>\n");
    };
    QTest::newRow("plain answers, most often first") << QStringList{"7", "38.5", "38.5", "7", "38.5"} << row("38.5", 3) + row("7", 2);
    QTest::newRow("answers that look like formats stay as typed, the count beside them")
        << QStringList{"%1", "%1", "50%2", "50%2", "50%2"} << row("50%2", 3) + row("%1", 2);
    QTest::newRow("markup in an answer is text") << QStringList{"<b>&amp;", "<b>&amp;"} << row("&lt;b&gt;&amp;amp;", 2);
}

void ReportClassTest::sameAnswersAsTyped()
{
    QFETCH(QStringList, answers);
    QFETCH(QString, rows);
    QTemporaryDir dir;
    for (int s = 0; s < answers.size(); ++s)
        QVERIFY(writeTo(dir.filePath(QStringLiteral("class/s%1/send_0306.txt").arg(s)),
                        header() + response(1, question1, answers[s], "confidence assessment:  ", QStringLiteral("2"))));
    const CourseIndex course(courseEntries());
    const ClassData data = ClassReader(course).read({dir.filePath(QStringLiteral("class"))});
    OutputSet outputs;
    QString reason;
    const QString site = dir.filePath(QStringLiteral("site"));
    QVERIFY2(SiteWriter(data, summarize(data, course), course, QDateTime::currentDateTime()).write(site, outputs, reason)
                 && outputs.replaceAll(reason), qPrintable(reason));
    QFile page(site + QStringLiteral("/001-q1.html"));
    QVERIFY(page.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(page.readAll());
    const qsizetype body = text.indexOf(QLatin1String("<tbody>\n"), text.indexOf(QLatin1String("<table class=\"same\">")));
    QVERIFY(body > 0);
    QCOMPARE(text.mid(body + 8, rows.size()), rows);
    QCOMPARE(text.mid(body + 8 + rows.size(), 16), QStringLiteral("</tbody></table>"));
}

void ReportClassTest::gradebookFields_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QByteArray>("roster"); // empty for none
    QTest::addColumn<QByteArray>("lms");    // the student's row
    QTest::addColumn<QByteArray>("excel");

    const QByteArray rosterHead = "folder,name,id,email\n";
    QTest::newRow("Canvas download folder: name and Canvas's own ID split")
        << "Ann Lee_12345" << QByteArray() << QByteArray("Ann Lee,12345,,,,0.5,1,2.0,0") << QByteArray("Ann Lee;\"=\"\"12345\"\"\";;;;0,5;1;2,0;0");
    QTest::newRow("Moodle download folder: its suffix dropped, the comma quoted")
        << "Lee, Ann_0042_assignsubmission_file_" << QByteArray() << QByteArray("\"Lee, Ann\",0042,,,,0.5,1,2.0,0")
        << QByteArray("Lee, Ann;\"=\"\"0042\"\"\";;;;0,5;1;2,0;0");
    QTest::newRow("a folder name a spreadsheet would run, in either dialect")
        << "+cmd_123" << QByteArray() << QByteArray("'+cmd,123,,,,0.5,1,2.0,0") << QByteArray("'+cmd;\"=\"\"123\"\"\";;;;0,5;1;2,0;0");
    QTest::newRow("a folder without a number: no ID") << "ann" << QByteArray() << QByteArray("ann,,,,,0.5,1,2.0,0")
                                                     << QByteArray("ann;;;;;0,5;1;2,0;0");
    QTest::newRow("roster: leading zeros, quotes, e-mail")
        << "a1" << QByteArray(rosterHead + "a1,\"Ann \"\"Annie\"\" Lee\",000789,ann@x.edu\n")
        << QByteArray("\"Ann \"\"Annie\"\" Lee\",,000789,ann@x.edu,,0.5,1,2.0,0")
        << QByteArray("\"Ann \"\"Annie\"\" Lee\";;\"=\"\"000789\"\"\";ann@x.edu;;0,5;1;2,0;0");
    // For import the ID stays as the LMS holds it, the name never runs.
    QTest::newRow("roster: a name a spreadsheet would run, an ID of letters")
        << "a1" << QByteArray(rosterHead + "a1,\"=HYPERLINK(\"\"http://x\"\")\",@id-7,\n")
        << QByteArray("\"'=HYPERLINK(\"\"http://x\"\")\",,@id-7,,,0.5,1,2.0,0")
        << QByteArray("\"'=HYPERLINK(\"\"http://x\"\")\";;'@id-7;;;0,5;1;2,0;0");
}

void ReportClassTest::gradebookFields()
{
    QFETCH(QString, folder);
    QFETCH(QByteArray, roster);
    QFETCH(QByteArray, lms);
    QFETCH(QByteArray, excel);
    // One student, question 1 of assignment 1 rated 2 (assignment 1 has two questions: partly).
    QTemporaryDir dir;
    QVERIFY(writeTo(dir.filePath(QStringLiteral("class/") + folder + QStringLiteral("/send_0306.txt")),
                    header() + confidence(1, QStringLiteral("2"))));
    const CourseIndex course(courseEntries());
    ClassData data = ClassReader(course).read({dir.filePath(QStringLiteral("class"))});
    if (!roster.isEmpty()) {
        Roster r;
        QString error;
        QVERIFY(parseRoster(roster, r, error));
        applyRoster(data, r);
    }
    const ClassSummary sum = summarize(data, course);
    const QByteArray head = "Student,ID,SIS User ID,SIS Login ID,Section,Assignment 1 done,Assignment 1 responses,"
                            "Assignment 1 mean confidence,Assignment 1 confident errors\r\n";
    QCOMPARE(gradebookTable(data, sum, GradebookDialect::Lms), head + lms + "\r\n");
    QCOMPARE(gradebookTable(data, sum, GradebookDialect::Excel),
             "\xEF\xBB\xBF" + QByteArray(head).replace(',', ';') + excel + "\r\n");
}

QTEST_GUILESS_MAIN(ReportClassTest)
#include "tst_reportclass.moc"
