#include "scriptedplatform.h"
#include "tests/formaccess.h"

#include "records/recordreader.h"
#include "report/classmodel.h"
#include "report/classreader.h"
#include "report/coursetext.h"
#include "report/htmlreport.h"
#include "report/tableexport.h"

#include "csvrows.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>
#include <QXmlStreamReader>

namespace {

const QString master = QStringLiteral("masterFile.txt");
const QString send = QStringLiteral("send_0306.txt");
const QString notes = QStringLiteral("notes_.txt");
const QString firstQuestion = QStringLiteral("Section 0.1.28 solve x/2-x/3>5");

/// A student working through assignment 1 of the compiled-in course with
/// the program's own commands.
struct StudentRun : TestRun
{
    explicit StudentRun(QDate day = QDate(2026, 3, 6)) : TestRun(QString(), QStringLiteral("1"))
    {
        platform.clock = QDateTime(day, QTime(14, 5, 9));
        start();
    }
    void at(int h, int m, int s) { platform.clock.setTime(QTime(h, m, s)); }
    void next() { inside(*form).cmdNextQuestionClick(); }
    void respond(const QString &text, const QString &rating)
    {
        typeAnswer(text);
        platform.answers = {rating};
        inside(*form).cmdEnterResponseClick();
    }
    void note(const QString &text)
    {
        typeAnswer(text);
        inside(*form).cmdSaveAsNotesClick();
    }
    /// Copies the output files into `folder` (a class's student folder).
    void copyTo(const QString &folder) const
    {
        QDir().mkpath(folder);
        for (const QString &name : QDir(outputFolder()).entryList(QDir::Files))
            QFile::copy(outputPath(name), folder + QLatin1Char('/') + name);
    }
};

const FileRecord &lastOfKind(const RecordFileContents &c, FileRecord::Kind kind)
{
    for (auto it = c.records.rbegin(); it != c.records.rend(); ++it)
        if (it->kind == kind)
            return *it;
    static const FileRecord none;
    return none;
}

QStringList warningTexts(const RecordFileContents &c)
{
    QStringList out;
    for (const ReadWarning &w : c.warnings)
        out.append(QStringLiteral("%1: %2").arg(w.line).arg(w.message));
    return out;
}


} // namespace

class ReportTest : public QObject
{
    Q_OBJECT
private slots:
    void writtenRecordsReadBack_data();
    void writtenRecordsReadBack();
    void damagedFiles_data();
    void damagedFiles();
    void sameBytesInEitherEncoding_data();
    void sameBytesInEitherEncoding();
    void folderWithoutFiles();
    void htmlOfSmallClass();
    void csvAndJsonHoldEveryRecord();
    void exitStatus_data();
    void exitStatus();
};

void ReportTest::writtenRecordsReadBack_data()
{
    QTest::addColumn<int>("clicks");
    QTest::addColumn<bool>("isNote");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("rating");
    QTest::addColumn<int>("ratingKind");
    QTest::addColumn<QString>("bankStart");

    const QString answerStart = QStringLiteral(" It's easiest to avoid denominators");
    QTest::newRow("confidence after a question") << 1 << false << "x > 30" << "2" << int(FileRecord::Confidence) << firstQuestion;
    QTest::newRow("self-critique after the given answer")
        << 2 << false << "I forgot to flip nothing" << "3" << int(FileRecord::SelfCritique) << answerStart;
    QTest::newRow("multi-line text with a separator line of its own")
        << 1 << false << "first\r\n.................................................\r\nlast" << "1"
        << int(FileRecord::Confidence) << firstQuestion;
    QTest::newRow("text holding a rating label and an opening separator")
        << 1 << false << "......!!!!!!!!...................................\r\nconfidence assessment:  9" << "0"
        << int(FileRecord::Confidence) << firstQuestion;
    QTest::newRow("rating box cancelled") << 1 << false << "x" << "" << int(FileRecord::Confidence) << firstQuestion;
    QTest::newRow("rating typed as words") << 2 << false << "ok" << "pretty good" << int(FileRecord::SelfCritique) << answerStart;
    QTest::newRow("note with a typed character outside the code page")
        << 1 << true << "why \u00e9 and \u20ac and \u0394" << "" << int(FileRecord::NoRating) << firstQuestion;
}

void ReportTest::writtenRecordsReadBack()
{
    QFETCH(int, clicks);
    QFETCH(bool, isNote);
    QFETCH(QString, typed);
    QFETCH(QString, rating);
    QFETCH(int, ratingKind);
    QFETCH(QString, bankStart);

    StudentRun s;
    for (int i = 0; i < clicks; ++i)
        s.next();
    s.at(23, 59, 58);
    if (isNote)
        s.note(typed);
    else
        s.respond(typed, rating);
    // The record after it, so that the reader must find the end of the text.
    s.at(23, 59, 59);
    s.next();
    s.respond(QStringLiteral("after"), QStringLiteral("1"));

    // The note keeps the characters the code page holds and writes the rest as references.
    const QString stored = isNote ? QStringLiteral("why \u00e9 and \u20ac and &#916;") : typed;
    const QStringList files = isNote ? QStringList{master, send, notes} : QStringList{master, send};
    for (const QString &name : files) {
        const RecordFileContents c = readRecordFile(s.outputPath(name));
        QVERIFY2(c.warnings.empty(), qPrintable(name + QLatin1String(": ") + warningTexts(c).join(QLatin1String("; "))));
        const FileRecord &r = lastOfKind(c, isNote ? FileRecord::Note : FileRecord::Response);
        const FileRecord &rec = isNote ? r : c.records.at(c.records.size() - 2);
        QCOMPARE(rec.kind, isNote ? FileRecord::Note : FileRecord::Response);
        QCOMPARE(rec.text, stored);
        QVERIFY2(rec.bankText.startsWith(bankStart), qPrintable(rec.bankText.left(60)));
        QCOMPARE(int(rec.ratingKind), ratingKind);
        QCOMPARE(rec.rating, rating);
        QCOMPARE(rec.time, QStringLiteral("23:59:58"));
        QCOMPARE(rec.date, QStringLiteral("03-06-2026"));
        QVERIFY(rec.complete);
        if (name != notes)
            QCOMPARE(rec.assignment, QStringLiteral("001"));
        QCOMPARE(rec.questionKey, (!isNote && name == master) ? QStringLiteral("10000") : QString());
        if (name != notes) {
            const FileRecord &header = c.records.front();
            QCOMPARE(header.kind, FileRecord::Header);
            QCOMPARE(header.heading, QStringLiteral("001.  `Query 1"));
            QCOMPARE(header.date, QStringLiteral("03-06-2026"));
            QCOMPARE(c.records.back().text, QStringLiteral("after"));
        }
    }
}

void ReportTest::damagedFiles_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("records");
    QTest::addColumn<QStringList>("warnings");
    QTest::addColumn<QString>("lastText");
    QTest::addColumn<QString>("lastRating"); // the last record's, as typed
    QTest::addColumn<QString>("lastDate");   // the last record's day

    const QByteArray open = "......!!!!!!!!...................................\r\n";
    const QByteArray close = ".................................................\r\n";
    const QByteArray time = QByteArray(36, ' ') + "10:00:00\r\n";
    const QByteArray header = "\xe9\xb1\xfa\x81\xc3\r\nassignment #001\r\n001.  `Query 1\r\nApplied Calculus I\r\n03-06-2026\r\n";
    const QByteArray whole = open + time + "`qQ?\r\n" + open + "RESPONSE -->  \r\nmine\r\nconfidence assessment:  2\r\n" + close;
    const QByteArray cut = open + time + "`qQ?\r\n" + open + "RESPONSE -->  \r\nhalf an ans";
    const auto at = [&](const char *clock, const char *text) {
        return QByteArray(whole).replace("10:00:00", clock).replace("mine", text);
    };
    const QString day = QStringLiteral("03-06-2026");

    QTest::newRow("whole file, undefined code-page bytes in the code line") << header + whole << 2 << QStringList() << "mine" << "2" << day;
    QTest::newRow("record cut after its text at the end") << header + cut << 2
                                                          << QStringList{"6: response cut short (no closing line)"} << "half an ans" << "" << day;
    QTest::newRow("cut record followed by the next run") << header + cut + "\r\n" + header + whole << 4
                                                         << QStringList{"6: response cut short (no closing line)"} << "mine" << "2" << day;
    QTest::newRow("cut before the text") << header + open + time + "`qQ?" << 2
                                         << QStringList{"6: response cut short before its text"} << "" << "" << day;
    QTest::newRow("cut inside the closing line: the rating is kept, not put in the text")
        << header + whole.left(whole.size() - 30) << 2 << QStringList{"6: response cut short (no closing line)"} << "mine" << "2" << day;
    QTest::newRow("cut after the closing line's first full stop") << header + whole.left(whole.size() - 50) << 2
                                                                  << QStringList{"6: response cut short (no closing line)"} << "mine" << "2" << day;
    QTest::newRow("cut inside the closing line of a note: its text is whole")
        << header + open + time + QByteArray(36, ' ') + "03-06-202610:00:00\r\n`qQ?\r\n" + open + "NOTES -------> my note\r\n......" << 2
        << QStringList{"6: note cut short (no closing line)"} << "my note" << "" << day;
    QTest::newRow("lone CR line endings") << QByteArray(header + whole).replace("\r\n", "\r") << 2 << QStringList() << "mine" << "2" << day;
    QTest::newRow("LF line endings, as an editor re-saves the file")
        << QByteArray(header + whole).replace("\r\n", "\n") << 2 << QStringList() << "mine" << "2" << day;
    QTest::newRow("mixed endings: a text's lines come back joined by CR LF")
        << header + open + time + "`qQ?\n" + open + "RESPONSE -->  \nline one\nline two\rline three\r\nconfidence assessment:  2\n"
               + close
        << 2 << QStringList() << "line one\r\nline two\r\nline three" << "2" << day;
    QTest::newRow("NUL bytes in a response") << header + open + time + "`qQ?\r\n" + open + "RESPONSE -->  \r\n" + QByteArray("bad\0byte\r\n", 10) + close
                                             << 2 << QStringList{"11: bytes that are not Windows-1252 text (1 line(s)); shown as read"}
                                             << QString::fromLatin1("bad\0byte", 8) << "" << day;
    QTest::newRow("re-saved as UTF-8") << QByteArray("assignment #001\r\n").prepend("\xc3\xa9\xc2\xb1\r\n") + "001.  `Query 1\r\nApplied Calculus I\r\n03-06-2026\r\n" + whole
                                       << 2 << QStringList{"1: UTF-8 text, not Windows-1252; read as UTF-8"} << "mine" << "2" << day;
    QTest::newRow("lines outside any record") << header + "stray\r\nlines\r\n" + whole << 2
                                              << QStringList{"6: 2 line(s) that belong to no record"} << "mine" << "2" << day;
    QTest::newRow("empty file") << QByteArray() << 0 << QStringList{"0: empty file"} << "" << "" << "";
    QTest::newRow("not a record file") << QByteArray("just some text\r\n") << 0
                                       << QStringList{"1: 1 line(s) that belong to no record", "0: no records found"} << "" << "" << "";
    QTest::newRow("a date no calendar has is a warning, and no date")
        << QByteArray(header).replace("03-06-2026", "13-45-2026") + whole << 2
        << QStringList{"5: the date 13-45-2026 is on no calendar; the record is kept without it"} << "mine" << "2" << "";
    QTest::newRow("a time no clock shows is a warning") << header + at("25:61:00", "late") << 2
                                                        << QStringList{"7: the time 25:61:00 is no time of day"} << "late" << "2" << day;
    QTest::newRow("midnight passed during the run: the next day")
        << header + at("23:59:58", "before") + at("00:00:05", "after") << 3 << QStringList() << "after" << "2" << "03-07-2026";
    QTest::newRow("a clock set back two seconds: the same day")
        << header + at("10:00:02", "before") + at("10:00:00", "after") << 3 << QStringList() << "after" << "2" << day;
    QTest::newRow("the clock's hour back at the end of summer time: the same day")
        << header + at("02:59:00", "before") + at("02:01:00", "after") << 3 << QStringList() << "after" << "2" << day;
    QTest::newRow("a note names its day: responses after it count from there")
        << header + open + QByteArray(36, ' ') + "10:00:00\r\n" + QByteArray(36, ' ') + "03-08-202610:00:00\r\n`qQ?\r\n" + open
               + "NOTES -------> two days on\r\n" + close + at("10:05:00", "after")
        << 3 << QStringList() << "after" << "2" << "03-08-2026";
    QTest::newRow("a rating line typed as a format stays as typed") << header + QByteArray(whole).replace(":  2", ":  %2") << 2
                                                                     << QStringList() << "mine" << "%2" << day;
}

void ReportTest::damagedFiles()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, records);
    QFETCH(QStringList, warnings);
    QFETCH(QString, lastText);
    QFETCH(QString, lastRating);
    QFETCH(QString, lastDate);

    const RecordFileContents c = parseRecordBytes(bytes, QStringLiteral("send_0306.txt"));
    QCOMPARE(warningTexts(c), warnings);
    for (const ReadWarning &w : c.warnings)
        QCOMPARE(w.file, QStringLiteral("send_0306.txt"));
    QCOMPARE(int(c.records.size()), records);
    if (records > 0) {
        QCOMPARE(c.records.back().text, lastText);
        QCOMPARE(c.records.back().rating, lastRating);
        QCOMPARE(c.records.back().date, lastDate);
    }
}

void ReportTest::sameBytesInEitherEncoding_data()
{
    // Two files one after the other, a question and a rating of the same
    // bytes in each: a file re-saved as UTF-8 reads them as other characters.
    QTest::addColumn<QList<bool>>("utf8");
    QTest::addColumn<QStringList>("banks");
    QTest::addColumn<QStringList>("ratings");
    const QString latin = QStringLiteral("caf\u00c3\u00a9 question"), utf = QStringLiteral("caf\u00e9 question");
    QTest::newRow("Windows-1252, then UTF-8") << QList<bool>{false, true} << QStringList{latin, utf}
                                              << QStringList{"\u00c3\u00a9", "\u00e9"};
    QTest::newRow("UTF-8, then Windows-1252") << QList<bool>{true, false} << QStringList{utf, latin}
                                              << QStringList{"\u00e9", "\u00c3\u00a9"};
}

void ReportTest::sameBytesInEitherEncoding()
{
    QFETCH(QList<bool>, utf8);
    QFETCH(QStringList, banks);
    QFETCH(QStringList, ratings);
    const QByteArray open = "......!!!!!!!!...................................\r\n";
    const QByteArray body = "assignment #001\r\n001.  `Query 1\r\nApplied Calculus I\r\n03-06-2026\r\n" + open + QByteArray(36, ' ')
                            + "10:00:00\r\ncaf\xc3\xa9 question\r\n" + open + "RESPONSE -->  \r\nmine\r\nconfidence assessment:  \xc3\xa9\r\n"
                            + QByteArray(49, '.') + "\r\n";
    QStringList readBanks, readRatings;
    for (const bool u : utf8) {
        // The code line decides: \xfa\x81 is no UTF-8, \xc3\xa9 is.
        const RecordFileContents c = parseRecordBytes((u ? "\xc3\xa9\r\n" : "\xfa\x81\r\n") + body, send);
        QCOMPARE(int(c.records.size()), 2);
        readBanks.append(c.records.back().bankText);
        readRatings.append(c.records.back().rating);
    }
    QCOMPARE(readBanks, banks);
    QCOMPARE(readRatings, ratings);
}

void ReportTest::folderWithoutFiles()
{
    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("class/anna"));
    QDir(dir.path()).mkpath(QStringLiteral("class/ben"));
    QFile f(dir.filePath(QStringLiteral("class/ben/notes_.txt")));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    const CourseIndex course(courseEntries());
    const ClassData data = ClassReader(course).read({dir.filePath(QStringLiteral("class")), dir.filePath(QStringLiteral("gone"))});
    QStringList seen;
    for (const ReadWarning &w : data.warnings)
        seen.append(QDir(dir.path()).relativeFilePath(w.file) + QLatin1String(": ") + w.message);
    QCOMPARE(seen, (QStringList{"class/anna: a folder without masterFile.txt, send_*.txt or notes_.txt",
                                "gone: no such file or folder", "class/ben/notes_.txt: empty file"}));
    QCOMPARE(int(data.students.size()), 1);
}

void ReportTest::htmlOfSmallClass()
{
    QTemporaryDir classDir;
    {
        StudentRun anna; // both questions, a weak self-critique, a note
        anna.at(9, 0, 0);
        anna.next();
        anna.respond(QStringLiteral("x > 30"), QStringLiteral("1"));
        anna.next();
        anna.respond(QStringLiteral("I got it"), QStringLiteral("0"));
        anna.next();
        anna.respond(QStringLiteral("x between 1/2 and 4"), QStringLiteral("3"));
        anna.note(QStringLiteral("ask about <b> & \"quotes\""));
        anna.copyTo(classDir.filePath(QStringLiteral("anna")));
    }
    {
        StudentRun ben(QDate(2026, 3, 7)); // the first question only, a rating typed as words
        ben.next();
        ben.respond(QStringLiteral("30"), QStringLiteral("2 or 3"));
        ben.next();
        ben.respond(QStringLiteral("fine"), QStringLiteral("1"));
        ben.copyTo(classDir.filePath(QStringLiteral("ben")));
    }
    const CourseIndex course(courseEntries());
    const ClassData data = ClassReader(course).read({classDir.path()});
    QVERIFY(!data.hasWarnings());
    const QString html = htmlReport(data, summarize(data, course), QDateTime(QDate(2026, 3, 8), QTime(8, 0)));

    QXmlStreamReader xml(html);
    QMap<QString, QString> byId;
    QList<QStringList> questionRows;
    QStringList row;
    int svgs = 0, records = 0, scripts = 0, details = 0;
    QString cellText;
    int depth = 0;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            const QString name = xml.name().toString();
            svgs += name == QLatin1String("svg");
            scripts += name == QLatin1String("script");
            details += name == QLatin1String("details");
            records += name == QLatin1String("div") && xml.attributes().value(QLatin1String("class")).startsWith(QLatin1String("record"));
            const QString id = xml.attributes().value(QLatin1String("id")).toString();
            if (name == QLatin1String("td") && !id.isEmpty())
                byId.insert(id, xml.readElementText(QXmlStreamReader::IncludeChildElements));
            else if (name == QLatin1String("tr"))
                row.clear();
            else if (name == QLatin1String("td")) {
                cellText.clear();
                depth = 1;
            }
        } else if (xml.isCharacters() && depth) {
            cellText += xml.text();
        } else if (xml.isEndElement()) {
            if (xml.name() == QLatin1String("td") && depth) {
                row.append(cellText.trimmed());
                depth = 0;
            } else if (xml.name() == QLatin1String("tr") && row.size() >= 6) {
                questionRows.append(row);
            }
        }
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString() + QStringLiteral(" at line %1").arg(xml.lineNumber())));
    QCOMPARE(scripts, 0);
    QCOMPARE(byId.value(QStringLiteral("students")), QStringLiteral("2"));
    QCOMPARE(byId.value(QStringLiteral("days")), QStringLiteral("2"));
    QCOMPARE(byId.value(QStringLiteral("responses")), QStringLiteral("5"));
    QCOMPARE(byId.value(QStringLiteral("notes")), QStringLiteral("1"));
    // Three charts per student and a bar per rated cell.
    QVERIFY2(svgs >= 6, qPrintable(QString::number(svgs)));
    // Every response and note open, for print too: none folded away.
    QCOMPARE(records, 6);
    QCOMPARE(details, 0);

    // Two students are too few to flag a question: no "look at first"
    // table, and the assignment's table lists both questions.
    QVERIFY(html.contains(QStringLiteral("No question was rated 0 or 1 by 5 or more students")));
    QCOMPARE(questionRows.size(), 2);
    QCOMPARE(questionRows.at(0).mid(0, 4), (QStringList{"question 1", "Section 0.1.28 solve x/2-x/3>5", "2", "2"}));
    QCOMPARE(questionRows.at(1).mid(0, 4), (QStringList{"question 2", "Section 0.1 solve 2x^2+1<9x-3", "1", "0"}));
    // Each cell: the bar's title, then the counts beneath it.
    QCOMPARE(questionRows.at(0).at(4),
             QStringLiteral("0: 0, 1: 1, 2: 0, 3: 0, other: 1"
                            "0: 0 \u00b7 1: 1 \u00b7 2: 0 \u00b7 3: 0 (n = 1, 0 or 1: 100%) \u00b7 other 1: \u201c2 or 3\u201d \u00d71"));
    QCOMPARE(questionRows.at(0).at(5),
             QStringLiteral("0: 1, 1: 1, 2: 0, 3: 0, other: 0" "0: 1 \u00b7 1: 1 \u00b7 2: 0 \u00b7 3: 0 (n = 2, 0 or 1: 100%)"));
    QVERIFY(html.contains(QStringLiteral("ask about &lt;b&gt; &amp; &quot;quotes&quot;")));

    // Calibration: anna's confidence 1 on question 1 followed by self-critique 0.
    const ClassSummary sum = summarize(data, course);
    QCOMPARE(sum.perStudent[0].calibration[1][0], 1);
    QCOMPARE(sum.perStudent[1].calibrationApart, 1);
}

void ReportTest::csvAndJsonHoldEveryRecord()
{
    QTemporaryDir classDir;
    StudentRun s;
    s.next();
    s.respond(QStringLiteral("a, \"quoted\"\r\nsecond line"), QStringLiteral("2"));
    s.note(QStringLiteral("=HYPERLINK(\"x\")"));
    s.copyTo(classDir.filePath(QStringLiteral("cara")));
    const CourseIndex course(courseEntries());
    const ClassData data = ClassReader(course).read({classDir.path()});

    const QByteArray csv = csvTable(data);
    QVERIFY(csv.startsWith("\xEF\xBB\xBF"));
    const QList<QStringList> rows = parseCsv(QString::fromUtf8(csv.mid(3)));
    QCOMPARE(rows.first(), (QStringList{"student", "file", "date", "time", "datetime", "assignment", "item", "question",
                                        "role", "record", "rating_kind", "rating", "rating_value", "bank_first_line",
                                        "text", "line", "copy_of", "complete", "shared_with"}));
    // One row per record: the header, the response, the note (the SEND and
    // notes files' copies are the same records).
    QCOMPARE(rows.size(), 1 + 3);
    QCOMPARE(rows.at(2), (QStringList{"cara", "masterFile.txt", "03-06-2026", "14:05:09", "2026-03-06T14:05:09", "001",
                                      "q1", "1", "question", "response", "confidence", "2", "2", firstQuestion,
                                      "a, \"quoted\"\r\nsecond line", "6", "", "true", ""}));
    QCOMPARE(rows.at(3).at(8), QStringLiteral("note"));
    QCOMPARE(rows.at(3).at(12), QString()); // no rating, no value
    // A spreadsheet must show a student's formula as text, not run it.
    QCOMPARE(rows.at(3).at(14), QStringLiteral("'=HYPERLINK(\"x\")"));

    // Every copy on request, each naming the file of the first.
    ClassReader copies(course);
    copies.setKeepCopies(true);
    const QList<QStringList> all = parseCsv(QString::fromUtf8(csvTable(copies.read({classDir.path()})).mid(3)));
    QStringList copyOf;
    for (const QStringList &r : all.mid(1))
        copyOf.append(r.at(1) + QLatin1String("<-") + r.at(16));
    QCOMPARE(copyOf, (QStringList{"masterFile.txt<-", "masterFile.txt<-", "masterFile.txt<-", "send_0306.txt<-masterFile.txt",
                                  "send_0306.txt<-masterFile.txt", "send_0306.txt<-masterFile.txt",
                                  "notes_.txt<-masterFile.txt"}));

    QJsonParseError error;
    const QJsonDocument json = QJsonDocument::fromJson(jsonTable(data), &error);
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(json.array().size(), 3);
    const QJsonObject first = json.array().at(1).toObject();
    QCOMPARE(first.value(QLatin1String("text")).toString(), QStringLiteral("a, \"quoted\"\r\nsecond line"));
    QCOMPARE(first.value(QLatin1String("question")).toInt(), 1);
    QCOMPARE(first.value(QLatin1String("rating_value")).toInt(), 2);
    QCOMPARE(first.value(QLatin1String("item")).toString(), QStringLiteral("q1"));
    QCOMPARE(first.value(QLatin1String("datetime")).toString(), QStringLiteral("2026-03-06T14:05:09"));
    QVERIFY(json.array().at(2).toObject().value(QLatin1String("rating_value")).isNull());
    QCOMPARE(json.array().at(2).toObject().value(QLatin1String("text")).toString(), QStringLiteral("=HYPERLINK(\"x\")"));
}

void ReportTest::exitStatus_data()
{
    QTest::addColumn<QByteArray>("sendFile");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("said"); // on standard output or error
    QTest::addColumn<QString>("option");

    const QByteArray whole = "\xe9\xb1\r\nassignment #001\r\n001.  `Query 1\r\nApplied Calculus I\r\n03-06-2026\r\n";
    QTest::newRow("every file read; with no output named, a summary and nothing written")
        << whole << 0
        << "1 student(s), 1 file(s) read, 0 response(s) and 0 note(s), 0 warning(s).\n"
           "Nothing was written; name an output with --site DIR, --html FILE, --csv FILE or --json FILE (- is standard output).\n"
        << QString();
    QTest::newRow("a file with a warning") << whole + "stray\r\n" << 1 << "send_0306.txt:6: 1 line(s) that belong to no record" << QString();
    QTest::newRow("nothing readable") << QByteArray() << 2 << "send_0306.txt: empty file" << QString();
    QTest::newRow("a mistyped option reads nothing") << whole << 2 << "Unknown option 'htm'" << "--htm";
}

void ReportTest::exitStatus()
{
    QFETCH(QByteArray, sendFile);
    QFETCH(int, status);
    QFETCH(QString, said);
    QFETCH(QString, option);

    QTemporaryDir dir;
    QDir(dir.path()).mkdir(QStringLiteral("dana"));
    QFile f(dir.filePath(QStringLiteral("dana/send_0306.txt")));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(sendFile);
    f.close();
    QProcess p;
    p.setWorkingDirectory(dir.path());
    QStringList arguments{dir.filePath(QStringLiteral("dana"))};
    if (!option.isEmpty())
        arguments.prepend(option);
    p.start(QStringLiteral(REPORT_PROGRAM), arguments);
    QVERIFY(p.waitForFinished(60000));
    const QString err = QString::fromLocal8Bit(p.readAllStandardError() + p.readAllStandardOutput());
    QCOMPARE(p.exitCode(), status);
    QVERIFY2(err.contains(said), qPrintable(err));
    // Nothing is written into the folder it was run in, which it reads.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
}

QTEST_MAIN(ReportTest)
#include "tst_report.moc"
