#include "scriptedplatform.h"
#include "tests/formaccess.h"

#include "app/classreport.h"
#include "records/recordreader.h"
#include "report/classmodel.h"
#include "report/classreader.h"
#include "report/coursetext.h"
#include "report/htmlreport.h"
#include "report/site.h"
#include "report/tableexport.h"
#include "report/window.h"

#include "csvrows.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageBox>
#include <QProcess>
#include <QSignalSpy>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QUrl>
#include <QTest>
#include <QTimer>
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
    explicit StudentRun(QDate day = QDate(2026, 3, 6), QTime at = QTime(14, 5, 9), const QString &assignment = QStringLiteral("1"),
                        const QString &folder = QString())
        : TestRun(QString(), assignment)
    {
        if (!folder.isEmpty())
            platform.answers[2] = folder;
        platform.clock = QDateTime(day, at);
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

/// Copies the folder `from`, every folder and file in it, to `to`.
bool copyTree(const QString &from, const QString &to)
{
    QDir().mkpath(to);
    for (const QFileInfo &e : QDir(from).entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden)) {
        const QString target = to + QLatin1Char('/') + e.fileName();
        if (e.isDir() ? !copyTree(e.filePath(), target) : !QFile::copy(e.filePath(), target))
            return false;
    }
    return true;
}

} // namespace

class ReportTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void everyTableOfAClass_data();
    void everyTableOfAClass();
    void everyChartAndLineOfAClass_data();
    void everyChartAndLineOfAClass();
    void writtenRecordsReadBack_data();
    void writtenRecordsReadBack();
    void damagedFiles_data();
    void damagedFiles();
    void sameBytesInEitherEncoding_data();
    void sameBytesInEitherEncoding();
    void folderWithoutFiles();
    void htmlOfSmallClass();
    void csvAndJsonHoldEveryRecord();
    void attemptsOfARerun();
    void summaryNamesTheFlags();
    void exitStatus_data();
    void exitStatus();
    void rosterOfAClass();
    void studentsToLookAtOfADrivenClass_data();
    void studentsToLookAtOfADrivenClass();
    void windowOfAClass_data();
    void windowOfAClass();
    void classReportWindow_data();
    void classReportWindow();
    void classReportPassesTheRoster();
    void boxesShowNamesAsTyped();
    void studentPageNames_data();
    void studentPageNames();
    void siteFolder_data();
    void siteFolder();
    void studentCard_data();
    void studentCard();
    void notesPerQuestion_data();
    void notesPerQuestion();
    void courseTextAsShown_data();
    void courseTextAsShown();
    void courseMarkersNeverShown();
    void pagesPassAxe_data();
    void pagesPassAxe();
    void pageScriptsFilterAndSort_data();
    void pageScriptsFilterAndSort();

private:
    void makeHostileClass();
    QTemporaryDir m_class;
    QTemporaryDir m_hostile; // a class of hostile names and texts, its site in site/
    QMap<QString, QString> m_pages; // the class site's pages by name
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
    QTest::addColumn<QString>("lastAssignment");

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

    QTest::newRow("whole file, undefined code-page bytes in the code line") << header + whole << 2 << QStringList() << "mine" << "2" << day << "001";
    QTest::newRow("record cut after its text at the end") << header + cut << 2
                                                          << QStringList{"6: response cut short (no closing line)"} << "half an ans" << "" << day << "001";
    QTest::newRow("cut record followed by the next run") << header + cut + "\r\n" + header + whole << 4
                                                         << QStringList{"6: response cut short (no closing line)"} << "mine" << "2" << day << "001";
    QTest::newRow("cut before the text") << header + open + time + "`qQ?" << 2
                                         << QStringList{"6: response cut short before its text"} << "" << "" << day << "001";
    QTest::newRow("cut inside the closing line: the rating is kept, not put in the text")
        << header + whole.left(whole.size() - 30) << 2 << QStringList{"6: response cut short (no closing line)"} << "mine" << "2" << day << "001";
    QTest::newRow("cut after the closing line's first full stop") << header + whole.left(whole.size() - 50) << 2
                                                                  << QStringList{"6: response cut short (no closing line)"} << "mine" << "2" << day << "001";
    QTest::newRow("cut inside the closing line of a note: its text is whole")
        << header + open + time + QByteArray(36, ' ') + "03-06-202610:00:00\r\n`qQ?\r\n" + open + "NOTES -------> my note\r\n......" << 2
        << QStringList{"6: note cut short (no closing line)"} << "my note" << "" << day << "001";
    QTest::newRow("lone CR line endings") << QByteArray(header + whole).replace("\r\n", "\r") << 2 << QStringList() << "mine" << "2" << day << "001";
    QTest::newRow("LF line endings, as an editor re-saves the file")
        << QByteArray(header + whole).replace("\r\n", "\n") << 2 << QStringList() << "mine" << "2" << day << "001";
    QTest::newRow("mixed endings: a text's lines come back joined by CR LF")
        << header + open + time + "`qQ?\n" + open + "RESPONSE -->  \nline one\nline two\rline three\r\nconfidence assessment:  2\n"
               + close
        << 2 << QStringList() << "line one\r\nline two\r\nline three" << "2" << day << "001";
    QTest::newRow("NUL bytes in a response") << header + open + time + "`qQ?\r\n" + open + "RESPONSE -->  \r\n" + QByteArray("bad\0byte\r\n", 10) + close
                                             << 2 << QStringList{"11: bytes that are not Windows-1252 text (1 line(s)); shown as read"}
                                             << QString::fromLatin1("bad\0byte", 8) << "" << day << "001";
    QTest::newRow("re-saved as UTF-8") << QByteArray("assignment #001\r\n").prepend("\xc3\xa9\xc2\xb1\r\n") + "001.  `Query 1\r\nApplied Calculus I\r\n03-06-2026\r\n" + whole
                                       << 2 << QStringList{"1: UTF-8 text, not Windows-1252; read as UTF-8"} << "mine" << "2" << day << "001";
    QTest::newRow("lines outside any record") << header + "stray\r\nlines\r\n" + whole << 2
                                              << QStringList{"6: 2 line(s) that belong to no record"} << "mine" << "2" << day << "001";
    QTest::newRow("empty file") << QByteArray() << 0 << QStringList{"0: empty file"} << "" << "" << "" << "";
    QTest::newRow("not a record file") << QByteArray("just some text\r\n") << 0
                                       << QStringList{"1: 1 line(s) that belong to no record", "0: no records found"} << "" << "" << "" << "";
    QTest::newRow("a date no calendar has is a warning, and no date")
        << QByteArray(header).replace("03-06-2026", "13-45-2026") + whole << 2
        << QStringList{"5: the date 13-45-2026 is on no calendar; the record is kept without it"} << "mine" << "2" << "" << "001";
    QTest::newRow("a time no clock shows is a warning") << header + at("25:61:00", "late") << 2
                                                        << QStringList{"7: the time 25:61:00 is no time of day"} << "late" << "2" << day << "001";
    QTest::newRow("midnight passed during the run: the next day")
        << header + at("23:59:58", "before") + at("00:00:05", "after") << 3 << QStringList() << "after" << "2" << "03-07-2026" << "001";
    QTest::newRow("a clock set back two seconds: the same day")
        << header + at("10:00:02", "before") + at("10:00:00", "after") << 3 << QStringList() << "after" << "2" << day << "001";
    QTest::newRow("the clock's hour back at the end of summer time: the same day")
        << header + at("02:59:00", "before") + at("02:01:00", "after") << 3 << QStringList() << "after" << "2" << day << "001";
    QTest::newRow("a note names its day: responses after it count from there")
        << header + open + QByteArray(36, ' ') + "10:00:00\r\n" + QByteArray(36, ' ') + "03-08-202610:00:00\r\n`qQ?\r\n" + open
               + "NOTES -------> two days on\r\n" + close + at("10:05:00", "after")
        << 3 << QStringList() << "after" << "2" << "03-08-2026" << "001";
    QTest::newRow("a rating line typed as a format stays as typed") << header + QByteArray(whole).replace(":  2", ":  %2") << 2
                                                                     << QStringList() << "mine" << "%2" << day << "001";
    // Without its run's header a response takes its assignment from its question key.
    const QByteArray keyed = open + time + "\r\n\r\n`questionNumber %1 \r\n`qQ?\r\n" + open + "RESPONSE -->  \r\nmine\r\n" + close;
    QTest::newRow("no header: question key 30000 is assignment 003")
        << QByteArray(keyed).replace("%1", "30000") << 1 << QStringList() << "mine" << "" << "" << "003";
    QTest::newRow("no header: question key 0 is assignment 000") << QByteArray(keyed).replace("%1", "0") << 1 << QStringList()
                                                                  << "mine" << "" << "" << "000";
}

void ReportTest::damagedFiles()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, records);
    QFETCH(QStringList, warnings);
    QFETCH(QString, lastText);
    QFETCH(QString, lastRating);
    QFETCH(QString, lastDate);
    QFETCH(QString, lastAssignment);

    const RecordFileContents c = parseRecordBytes(bytes, QStringLiteral("send_0306.txt"));
    QCOMPARE(warningTexts(c), warnings);
    for (const ReadWarning &w : c.warnings)
        QCOMPARE(w.file, QStringLiteral("send_0306.txt"));
    QCOMPARE(int(c.records.size()), records);
    if (records > 0) {
        QCOMPARE(c.records.back().text, lastText);
        QCOMPARE(c.records.back().rating, lastRating);
        QCOMPARE(c.records.back().date, lastDate);
        QCOMPARE(c.records.back().assignment, lastAssignment);
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

namespace {

/// Each table of `page` whose class is `tableClass`, as rows of cell texts
/// (header cells too; a cell's text is all the text inside it, a chart's
/// title included).
QList<QList<QStringList>> tablesOf(const QString &page, const QString &tableClass)
{
    QList<QList<QStringList>> tables;
    QXmlStreamReader xml(page);
    int inTable = 0, inCell = 0;
    QString cell;
    while (!xml.atEnd()) {
        xml.readNext();
        const QStringView name = xml.name();
        if (xml.isStartElement()) {
            if (name == QLatin1String("table") && xml.attributes().value(QLatin1String("class")) == tableClass && !inTable++)
                tables.append(QList<QStringList>());
            else if (inTable && name == QLatin1String("tr"))
                tables.last().append(QStringList());
            else if (inTable && (name == QLatin1String("td") || name == QLatin1String("th")) && !inCell++)
                cell.clear();
        } else if (xml.isEndElement()) {
            if (inTable && name == QLatin1String("table"))
                --inTable;
            else if (inCell && (name == QLatin1String("td") || name == QLatin1String("th")) && !--inCell)
                tables.last().last().append(cell.trimmed());
        } else if (xml.isCharacters() && inCell) {
            cell += xml.text();
        }
    }
    return xml.hasError() ? QList<QList<QStringList>>{{{QStringLiteral("not XML: ") + xml.errorString()}}} : tables;
}

/// The charts of `page` in order, each as its elements with the
/// attributes that carry counts (a bar's height, a circle's radius, a
/// segment's width and colour) and its texts: "rect fill=#e66101 height=63".
QList<QStringList> chartsOf(const QString &page)
{
    QList<QStringList> charts;
    QXmlStreamReader xml(page);
    int inSvg = 0;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && (inSvg || xml.name() == QLatin1String("svg"))) {
            if (!inSvg++)
                charts.append(QStringList());
            QString part = xml.name().toString();
            for (const char *a : {"fill", "width", "height", "r"})
                if (xml.name() != QLatin1String("svg") && xml.attributes().hasAttribute(QLatin1String(a)))
                    part += QLatin1Char(' ') + QLatin1String(a) + QLatin1Char('=') + xml.attributes().value(QLatin1String(a)).toString();
            charts.last().append(part);
        } else if (xml.isEndElement() && inSvg) {
            --inSvg;
        } else if (xml.isCharacters() && inSvg && !xml.isWhitespace()) {
            charts.last().last() += QLatin1Char(':') + xml.text().toString();
        }
    }
    return charts;
}

/// The lines above each record's text ("date time · where · kind · rating"), in order.
QStringList recordLinesOf(const QString &page)
{
    QStringList lines;
    QXmlStreamReader xml(page);
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == QLatin1String("p") && xml.attributes().value(QLatin1String("class")) == QLatin1String("meta"))
            lines.append(xml.readElementText(QXmlStreamReader::IncludeChildElements));
    }
    return lines;
}

} // namespace

namespace {

using StringMap = QMap<QString, QString>;

/// A student in `folder` who answers question 1 of `assignment` with the
/// program's own commands, rated `rating`.
void answerOnce(const QString &folder, const QString &assignment, const QString &answer = QStringLiteral("?"),
                const QString &rating = QStringLiteral("1"))
{
    QDir().mkpath(folder);
    StudentRun s(QDate(2026, 3, 6), QTime(11, 0, 0), assignment, folder);
    s.at(11, 0, 5), s.next(), s.respond(answer, rating);
    inside(*s.form).cmdQuitClick();
}

/// What the report printed, as text: in the console's code page (Windows)
/// or the locale's, with Windows' CR LF line ends read as LF.
QString printed(const QByteArray &bytes)
{
    return QString::fromLocal8Bit(bytes).replace(QLatin1String("\r\n"), QLatin1String("\n"));
}

/// A text as the report can print it here: what the console's code page
/// cannot hold (a curly quote under some Windows code pages) comes back as "?".
QString asPrinted(const QString &text)
{
    return QString::fromLocal8Bit(text.toLocal8Bit());
}

#ifdef Q_OS_WIN
// Windows makes no folder named with < or ": the hostile student's name
// there holds what it allows of the same (&, ', +).
const QString hostileName = QStringLiteral("x & 'z' +y"), hostilePage = QStringLiteral("x-z-y-f1c2e843.html");
#else
const QString hostileName = QStringLiteral("x<y & \"z\""), hostilePage = QStringLiteral("x-y-z-137800eb.html");
#endif

/// Runs the report with `--site site` over `root`; the status, and what it said into `said`.
int writeSite(const QString &site, const QString &root, QString &said)
{
    QProcess p;
    p.start(QStringLiteral(REPORT_PROGRAM), {QStringLiteral("--site"), site, root});
    if (!p.waitForFinished(60000))
        return -1;
    said = printed(p.readAllStandardError());
    return p.exitCode();
}

const QString markerLine = QStringLiteral("calculus-study-report: this folder is a site of pages this program wrote; "
                                          "its next run replaces them and removes those listed below.\n");

} // namespace

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
    int svgs = 0, records = 0, scripts = 0, links = 0;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            const QString name = xml.name().toString();
            svgs += name == QLatin1String("svg");
            scripts += name == QLatin1String("script");
            links += name == QLatin1String("a");
            records += name == QLatin1String("div") && xml.attributes().value(QLatin1String("class")).startsWith(QLatin1String("record"));
            const QString id = xml.attributes().value(QLatin1String("id")).toString();
            if (name == QLatin1String("td") && !id.isEmpty())
                byId.insert(id, xml.readElementText(QXmlStreamReader::IncludeChildElements));
        }
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString() + QStringLiteral(" at line %1").arg(xml.lineNumber())));
    QCOMPARE(scripts, 0);
    QCOMPARE(byId.value(QStringLiteral("students")), QStringLiteral("2"));
    QCOMPARE(byId.value(QStringLiteral("days")), QStringLiteral("2"));
    QCOMPARE(byId.value(QStringLiteral("responses")), QStringLiteral("5"));
    QCOMPARE(byId.value(QStringLiteral("notes")), QStringLiteral("1"));
    // The class's grid and its change, and a bar per rated cell (question 1's two, question 2's confidence).
    QCOMPARE(svgs, 2 + 3);
    // The answers and notes stay on the site; the file says so, and links nowhere.
    QCOMPARE(records, 0);
    QCOMPARE(links, 0);
    QVERIFY(!html.contains(QStringLiteral("ask about")));
    QVERIFY(html.contains(QStringLiteral("The students' answers and notes, and a page per student and per question, are on the site")));

    // Two students are too few to flag a question; the rule is on the page.
    QVERIFY(html.contains(QStringLiteral("<p class=\"rule\">A question is flagged when at least 5 students answered it")));
    QVERIFY(html.contains(QStringLiteral("<p>No question is flagged.</p>")));
    QCOMPARE(tablesOf(html, QStringLiteral("roster")).value(0).mid(1),
             (QList<QStringList>{{"", "anna", "1 of 1\u25cf", "3", "0 of 1 (0%)", "1 of 2 (50%)", "\u2013", "2026-03-06"},
                                 {"", "ben", "0 of 1\u25d0", "2", "\u2013", "\u2013", "\u2013", "2026-03-07"}}));
    // Question 1: Anna's (1, 0) pair, Ben's confidence typed as words; question 2: Anna's 3, no pair.
    const QList<QList<QStringList>> questions = tablesOf(html, QStringLiteral("questions"));
    QCOMPARE(questions.size(), 1);
    const QList<QStringList> rows = questions.at(0).mid(1);
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows.at(0).mid(0, 4), (QStringList{"question 1", "Section 0.1.28 solve x/2-x/3>5", "2", "2"}));
    QCOMPARE(rows.at(0).mid(6), (QStringList{"2 of 2 (100%)", "\u2013", "0% (n = 1)"}));
    QCOMPARE(rows.at(1).mid(0, 4), (QStringList{"question 2", "Section 0.1 solve 2x^2+1<9x-3", "1", "0"}));
    QCOMPARE(rows.at(1).mid(6), (QStringList{"0 of 1 (0%)", "\u2013", "\u2013"}));
    // Each cell: the bar's title, then the counts beneath it.
    QCOMPARE(rows.at(0).at(4),
             QStringLiteral("0: 0, 1: 1, 2: 0, 3: 0, other: 1"
                            "0: 0 \u00b7 1: 1 \u00b7 2: 0 \u00b7 3: 0 (n = 1, 0 or 1: 100%) \u00b7 other 1: \u201c2 or 3\u201d \u00d71"));
    QCOMPARE(rows.at(0).at(5),
             QStringLiteral("0: 1, 1: 1, 2: 0, 3: 0, other: 0" "0: 1 \u00b7 1: 1 \u00b7 2: 0 \u00b7 3: 0 (n = 2, 0 or 1: 100%)"));
    QVERIFY(html.contains(QStringLiteral("<p class=\"rates\">Over-confidence (confident errors among the answers rated 2 or 3): "
                                         "\u2013; under-confidence (self-critique 3 among the answers rated 0 or 1): 0% (n = 1).</p>")));

    // Calibration: anna's confidence 1 on question 1 followed by self-critique 0.
    const ClassSummary sum = summarize(data, course);
    QCOMPARE(sum.perStudent[0].grid.pairs[1][0], 1);
    QCOMPARE(sum.perStudent[1].grid.apart, 1);
}

void ReportTest::initTestCase()
{
    // A class of six worked with the program's own commands, counted by hand
    // below. Anna: assignment 1 on 03-06 (question 1 rated 1, its answer
    // critiqued 0, question 2 rated 3, a note on question 2), assignment 2
    // on 03-07 (its question 1 twice: 2, then "2 or 3"). Ben: assignment 1 on
    // 03-07 (question 1 rated 3, its answer critiqued 1: sure, then wrong).
    // Carl, Dora, Emil, Fay: question 1 of assignment 1 on 03-06, rated 0, 0, 1, 0.
    QVERIFY(m_class.isValid());
    const QString root = m_class.filePath(QStringLiteral("class"));
    const auto folder = [&](const char *name) {
        const QString f = root + QLatin1Char('/') + QLatin1String(name);
        QDir().mkpath(f);
        return f;
    };
    {
        StudentRun a(QDate(2026, 3, 6), QTime(9, 0, 0), QStringLiteral("1"), folder("anna"));
        a.at(9, 0, 10), a.next(), a.respond(QStringLiteral("x > 30"), QStringLiteral("1"));
        a.at(9, 5, 0), a.next(), a.respond(QStringLiteral("I got it"), QStringLiteral("0"));
        a.at(9, 10, 0), a.next(), a.respond(QStringLiteral("between 1/2 and 4"), QStringLiteral("3"));
        a.at(9, 20, 0), a.note(QStringLiteral("ask about question 2"));
        inside(*a.form).cmdQuitClick();
    }
    {
        StudentRun a(QDate(2026, 3, 7), QTime(14, 0, 0), QStringLiteral("2"), folder("anna"));
        a.at(14, 0, 30), a.next(), a.respond(QStringLiteral("first try"), QStringLiteral("2"));
        a.at(14, 30, 0), a.respond(QStringLiteral("second try"), QStringLiteral("2 or 3"));
        inside(*a.form).cmdQuitClick();
    }
    {
        StudentRun b(QDate(2026, 3, 7), QTime(10, 0, 0), QStringLiteral("1"), folder("ben"));
        b.at(10, 0, 5), b.next(), b.respond(QStringLiteral("30"), QStringLiteral("3"));
        b.at(10, 10, 0), b.next(), b.respond(QStringLiteral("wrong sign"), QStringLiteral("1"));
        inside(*b.form).cmdQuitClick();
    }
    for (const auto &[name, rating] : {std::pair{"carl", "0"}, {"dora", "0"}, {"emil", "1"}, {"fay", "0"}}) {
        StudentRun s(QDate(2026, 3, 6), QTime(11, 0, 0), QStringLiteral("1"), folder(name));
        s.at(11, 0, 5), s.next(), s.respond(QStringLiteral("?"), QLatin1String(rating));
        inside(*s.form).cmdQuitClick();
    }
    const QString site = m_class.filePath(QStringLiteral("site"));
    QProcess p;
    p.start(QStringLiteral(REPORT_PROGRAM), {QStringLiteral("--site"), site, root});
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitCode(), 0);
    makeHostileClass();
    for (const QString &name : QDir(site).entryList({QStringLiteral("*.html")}, QDir::Files)) {
        QFile f(site + QLatin1Char('/') + name);
        QVERIFY(f.open(QIODevice::ReadOnly));
        m_pages[name] = QString::fromUtf8(f.readAll());
    }
}

void ReportTest::makeHostileClass()
{
    // Names and texts that a page must show as text, and a later run of
    // assignment 1 (a second attempt): the pages the accessibility check reads.
    const QString root = m_hostile.filePath(QStringLiteral("class"));
    const QString zoe = root + QStringLiteral("/Zo\u00eb \u00d1\u00fa\u00f1ez"), x = root + QLatin1Char('/') + hostileName;
    QDir().mkpath(zoe);
    QDir().mkpath(x);
    for (const int day : {6, 9}) {
        StudentRun s(QDate(2026, 3, day), QTime(9, 0, 0), QStringLiteral("1"), zoe);
        s.at(9, 0, 10), s.next(), s.respond(day == 6 ? QStringLiteral("x > 30") : QStringLiteral("x > 30 \u202e<b>"), QStringLiteral("3"));
        s.at(9, 5, 0), s.next(), s.respond(QStringLiteral("needed the sign]]>&amp;"), day == 6 ? QStringLiteral("1") : QStringLiteral("3"));
        s.at(9, 6, 0), s.note(QStringLiteral("<script>alert(1)</script> ") + QString(300, QLatin1Char('w')));
        inside(*s.form).cmdQuitClick();
    }
    {
        StudentRun s(QDate(2026, 3, 6), QTime(10, 0, 0), QStringLiteral("1"), x); // both ratings typed as words
        s.at(10, 0, 5), s.next(), s.respond(QStringLiteral("x > 30"), QStringLiteral("two"));
        s.at(10, 1, 0), s.next(), s.respond(QStringLiteral("ok"), QStringLiteral("three"));
        inside(*s.form).cmdQuitClick();
    }
    answerOnce(root + QStringLiteral("/\u00dcnal"), QStringLiteral("1"), QStringLiteral(" X >30 "), QStringLiteral("1"));
    QString said;
    const QString site = m_hostile.filePath(QStringLiteral("site"));
    QCOMPARE(writeSite(site, root, said), 0);
    for (const QString &name : QDir(site).entryList({QStringLiteral("*.html")}, QDir::Files)) {
        QFile f(site + QLatin1Char('/') + name);
        QVERIFY(f.open(QIODevice::ReadOnly));
        m_pages[QStringLiteral("hostile/") + name] = QString::fromUtf8(f.readAll());
    }
}

void ReportTest::everyTableOfAClass_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("table"); // its class
    QTest::addColumn<int>("index");     // which of the page's tables of that class
    QTest::addColumn<QList<QStringList>>("rows");

    const QString q1 = QStringLiteral("Section 0.1.28 solve x/2-x/3>5"), q2 = QStringLiteral("Section 0.1 solve 2x^2+1<9x-3");
    const QString tank = QStringLiteral("A cylindrical tank drains through a small hole in its bottom. The depth y of the water (i\u2026");
    const QString none = QStringLiteral("\u2013");
    // A spread cell: its bar's title, then the counts under it.
    const auto spread = [](int r0, int r1, int r2, int r3, const QString &tail) {
        return QStringLiteral("0: %1, 1: %2, 2: %3, 3: %4, other: %5").arg(r0).arg(r1).arg(r2).arg(r3).arg(tail.isEmpty() ? 0 : 1)
               + QStringLiteral("0: %1 \u00b7 1: %2 \u00b7 2: %3 \u00b7 3: %4 (n = %5, 0 or 1: %6%)")
                     .arg(r0).arg(r1).arg(r2).arg(r3).arg(r0 + r1 + r2 + r3).arg(qRound(100.0 * (r0 + r1) / (r0 + r1 + r2 + r3)))
               + tail;
    };
    const QString other = QStringLiteral(" \u00b7 other 1: \u201c2 or 3\u201d \u00d71");
    const QStringList questionHeader{"item", "first line", "students answered", "students who rated 0 or 1", "confidence",
                                     "self-critique", "rated low or confidently wrong", "over-confidence", "under-confidence"};
    // Question 1 of assignment 1: confidence 1, 3, 0, 0, 1, 0 from six
    // students; self-critiques 0 (Anna) and 1 (Ben); all six rated 0 or 1
    // somewhere. Its pairs: Anna's (1, 0), unsure and needing critique;
    // Ben's (3, 1), a confident error.
    const QStringList q1Row{"question 1", q1, "6", "6", spread(3, 2, 0, 1, QString()), spread(1, 1, 0, 0, QString()),
                            "6 of 6 (100%)", "100% (n = 1)", "0% (n = 1)"};
    const QStringList q2Row{"question 2", q2, "1", "0", spread(0, 0, 0, 1, QString()), none, "0 of 1 (0%)", none, none};
    const QStringList tankRow{"question 1", tank, "1", "0", spread(0, 0, 1, 0, other), none, "0 of 1 (0%)", none, none};

    QTest::newRow("index: the class's figures")
        << "index.html" << "figures" << 0
        << QList<QStringList>{{"students", "6"}, {"days", "2"}, {"responses", "11"}, {"notes", "1"}};
    QTest::newRow("index: look at first (5 of 6 rated question 1 low)")
        << "index.html" << "questions" << 0
        << QList<QStringList>{QStringList{"assignment"} + questionHeader, QStringList{"Assignment 1"} + q1Row};
    QTest::newRow("index: assignment 1's questions") << "index.html" << "questions" << 1
                                                     << QList<QStringList>{questionHeader, q1Row, q2Row};
    QTest::newRow("index: assignment 2's questions") << "index.html" << "questions" << 2
                                                     << QList<QStringList>{questionHeader, tankRow};
    // Assignment 1 has two questions: Anna answered both, the others question 1 only.
    const QString done = QStringLiteral("\u25cf"), partly = QStringLiteral("\u25d0"), missing = QStringLiteral("\u25cb");
    // Nobody to look at first (everyone did assignment 1; no share has 4
    // answers behind it but Anna's self-critiques, 3 of 4 missing, under 1.5
    // times the class's 7 of 9): by name. Anna's one pair (1 then 0) is no
    // confident error, one of her three confidences unsure; Ben's one pair
    // (3 then 1) is, and he was sure once.
    const QString none1 = QStringLiteral("\u2013");
    QTest::newRow("index: the roster, done, confident errors, unsure, over-confidence")
        << "index.html" << "roster" << 0
        << QList<QStringList>{{"look at first", "student", "assignments done", "responses", "confident errors", "unsure answers",
                               "over-confidence", "last day worked"},
                              {"", "anna", "1 of 2" + done + partly, "5", "0 of 1 (0%)", "1 of 3 (33%)", none1, "2026-03-07"},
                              {"", "ben", "0 of 2" + partly + missing, "2", "1 of 1 (100%)", "0 of 1 (0%)", "1 of 1 (100%)",
                               "2026-03-07"},
                              {"", "carl", "0 of 2" + partly + missing, "1", none1, "1 of 1 (100%)", none1, "2026-03-06"},
                              {"", "dora", "0 of 2" + partly + missing, "1", none1, "1 of 1 (100%)", none1, "2026-03-06"},
                              {"", "emil", "0 of 2" + partly + missing, "1", none1, "1 of 1 (100%)", none1, "2026-03-06"},
                              {"", "fay", "0 of 2" + partly + missing, "1", none1, "1 of 1 (100%)", none1, "2026-03-06"}};
    QTest::newRow("Anna: days worked, first and last time")
        << "anna-55579b55.html" << "days" << 0
        << QList<QStringList>{{"date", "from", "to", "records"},
                              {"2026-03-06", "09:00:10", "09:20:00", "4"},
                              {"2026-03-07", "14:00:30", "14:30:00", "2"}};
    QTest::newRow("Ben: one day") << "ben-6700869c.html" << "days" << 0
                                  << QList<QStringList>{{"date", "from", "to", "records"}, {"2026-03-07", "10:00:05", "10:10:00", "2"}};
    QTest::newRow("Anna: per assignment")
        << "anna-55579b55.html" << "assignments" << 0
        << QList<QStringList>{{"assignment", "responses", "notes", "confidence", "self-critique"},
                              {"Assignment 1", "3", "1", spread(0, 1, 0, 1, QString()), spread(1, 0, 0, 0, QString())},
                              {"Assignment 2", "2", "0", spread(0, 0, 1, 0, other), none}};
    QTest::newRow("Ben: per assignment")
        << "ben-6700869c.html" << "assignments" << 0
        << QList<QStringList>{{"assignment", "responses", "notes", "confidence", "self-critique"},
                              {"Assignment 1", "2", "0", spread(0, 0, 0, 1, QString()), spread(0, 1, 0, 0, QString())}};
    // Anna answered assignment 2's question 1 twice, with no self-critique either time.
    QTest::newRow("index: questions answered again")
        << "index.html" << "reviewed" << 0
        << QList<QStringList>{{"attempt", "pairs", "confident errors", "unsure", "settled (sure, no critique needed)"},
                              {"first", "0", "0", "0", "0"},
                              {"latest", "0", "0", "0", "0"}};
    QTest::newRow("question 1's page: its row")
        << "001-q1.html" << "questions" << 0
                                                << QList<QStringList>{questionHeader, q1Row};
    // A row per student, their latest attempt: Ben's confident error (3,
    // then 1) first, then the unsure answers by name; "?" four times.
    const QStringList responsesHeader{"student", "answer", "confidence", "self-critique", "self-critique said",
                                      "same answer", "reads as", "attempts"};
    const QString dash = QStringLiteral("\u2013"), four = QStringLiteral("\u00d74");
    QTest::newRow("question 1's page: every student's latest answer beside both ratings")
        << "001-q1.html" << "responses" << 0
        << QList<QStringList>{responsesHeader,
                              {"ben", "30", "3", "1", "wrong sign", "", "confident error", "1"},
                              {"anna", "x > 30", "1", "0", "I got it", "", "unsure", "1"},
                              {"carl", "?", "0", dash, "", four, "unsure", "1"},
                              {"dora", "?", "0", dash, "", four, "unsure", "1"},
                              {"emil", "?", "1", dash, "", four, "unsure", "1"},
                              {"fay", "?", "0", dash, "", four, "unsure", "1"}};
    QTest::newRow("question 1's page: identical answers grouped")
        << "001-q1.html" << "same" << 0 << QList<QStringList>{{"answer", "students"}, {"?", four}};
    // Blanks and case aside, as the first of them (the unsure one) typed it.
    QTest::newRow("question 1's page of the other class: \"X >30\" and \"x > 30\" one answer")
        << "hostile/001-q1.html" << "same" << 0 << QList<QStringList>{{"answer", "students"}, {"X >30", QStringLiteral("\u00d72")}};
    // Ünal unsure first; Zoë's second run (certain, no correction needed)
    // with her first attempt beneath; a confidence typed as a word.
    QTest::newRow("the other class's question 1: the latest attempt, the earlier beneath")
        << "hostile/001-q1.html" << "responses" << 0
        << QList<QStringList>{responsesHeader,
                              {QStringLiteral("\u00dcnal"), "X >30", "1", dash, "", QStringLiteral("\u00d72"), "unsure", "1"},
                              {QStringLiteral("Zo\u00eb \u00d1\u00fa\u00f1ez"),
                               QStringLiteral("x > 30 \u202e<b>attempt 1, 2026-03-06: \u201cx > 30\u201d \u00b7 confidence 3 \u00b7 self-critique 1"),
                               "3", "3", "needed the sign]]>&amp;", "", "", "2"},
                              {hostileName, "x > 30", QStringLiteral("as typed: \u201ctwo\u201d"),
                               QStringLiteral("as typed: \u201cthree\u201d"), "ok", QStringLiteral("\u00d72"), "", "1"}};
    // Anna answered assignment 2's question 1 twice: 2, then "2 or 3", no self-critique.
    const QStringList attemptsHeader{"question", "attempts", "first: confidence", "first: self-critique",
                                     "latest: confidence", "latest: self-critique"};
    QTest::newRow("Anna: first attempt and latest per question")
        << "anna-55579b55.html" << "attempts" << 0
        << QList<QStringList>{attemptsHeader,
                              {"Assignment 1, question 1", "1", "1", "0", "1", "0"},
                              {"Assignment 1, question 2", "1", "3", dash, "3", dash},
                              {"Assignment 2, question 1", "2", "2", dash, "as typed: \u201c2 or 3\u201d", dash}};
}

void ReportTest::everyTableOfAClass()
{
    QFETCH(QString, page);
    QFETCH(QString, table);
    QFETCH(int, index);
    QFETCH(QList<QStringList>, rows);
    const QList<QList<QStringList>> tables = tablesOf(m_pages.value(page), table);
    QVERIFY2(index < tables.size(), qPrintable(QStringLiteral("%1 table(s)").arg(tables.size())));
    QCOMPARE(tables.at(index), rows);
}

void ReportTest::everyChartAndLineOfAClass_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QList<QStringList>>("charts"); // the page's first charts
    QTest::addColumn<QString>("said");              // a paragraph the page holds
    QTest::addColumn<QStringList>("records");       // the line above each record's text, in order

    const QStringList axes{"line", "line"};
    const QStringList key{"rect fill=#e66101 width=10 height=10", "text:0", "rect fill=#fdb863 width=10 height=10", "text:1",
                          "rect fill=#92c5de width=10 height=10", "text:2", "rect fill=#0571b0 width=10 height=10", "text:3",
                          "rect fill=#bbbbbb width=10 height=10", "text:other"};
    // Bars per assignment: the most ratings any has stand 126 pixels high.
    const auto bars = [&](bool confidence, const QString &most, const QStringList &columns) {
        const QString title = confidence ? QStringLiteral("Confidence per assignment") : QStringLiteral("Self-critique per assignment");
        return QStringList{"svg", "title:" + title, "text:" + title} + axes
               + QStringList{"text:" + most, "text:0", "text:ratings", "text:assignment"} + columns + key;
    };
    // The grid of confidence against the self-critique after it: a circle where a pair is.
    const auto grid = [](int confidence, int selfCritique) {
        QStringList g{"svg", "title:Confidence against the self-critique that followed",
                      "text:Confidence against the self-critique that followed"};
        for (int c = 0; c < 4; ++c)
            for (int s = 0; s < 4; ++s) {
                g.append(QStringLiteral("rect fill=%1 width=40 height=40").arg(c == s ? "#f3f3f3" : "#ffffff"));
                if (c == confidence && s == selfCritique)
                    g += QStringList{"circle fill=#0571b0 r=17", "text:1"};
            }
        for (int i = 0; i < 4; ++i)
            g += QStringList{QStringLiteral("text:%1").arg(i), QStringLiteral("text:%1").arg(i)};
        return g + QStringList{"text:confidence", "text:self-critique"};
    };
    const QString dot = QStringLiteral(" \u00b7 ");
    const auto line = [&](const QString &who, const QString &when, const QString &where, const QString &kind, const QString &rating) {
        return (who.isEmpty() ? QString() : who + dot) + when + dot + where + dot + kind + (rating.isEmpty() ? QString() : dot + rating);
    };
    const QString q1 = QStringLiteral("Assignment 1 question 1"), toQuestion = QStringLiteral("response to the question"),
                  toAnswer = QStringLiteral("response to the given answer");

    // Anna: two ratings in each assignment, so each bar is half high; one pair, confidence 1 then 0.
    QTest::newRow("Anna's page")
        << "anna-55579b55.html"
        << QList<QStringList>{bars(true, "2", {"rect fill=#fdb863 width=16 height=63", "rect fill=#0571b0 width=16 height=63",
                                               "text:1", "rect fill=#92c5de width=16 height=63",
                                               "rect fill=#bbbbbb width=16 height=63", "text:2"}),
                              bars(false, "1", {"rect fill=#e66101 width=16 height=126", "text:1", "text:2"}), grid(1, 0)}
        << "5 response(s), 1 note(s); confident errors (confidence 2 or 3, then a self-critique of 0 to 2): 0; files: masterFile.txt, "
           "send_0306.txt, send_0307.txt, notes_.txt."
        << QStringList{line("", "2026-03-06 09:00:10", q1, toQuestion, "confidence 1"),
                       line("", "2026-03-06 09:05:00", q1, toAnswer, "self-critique 0"),
                       line("", "2026-03-06 09:10:00", "Assignment 1 question 2", toQuestion, "confidence 3"),
                       line("", "2026-03-06 09:20:00", "Assignment 1 question 2", "note", ""),
                       line("", "2026-03-07 14:00:30", "Assignment 2 question 1", toQuestion, "confidence 2"),
                       line("", "2026-03-07 14:30:00", "Assignment 2 question 1", toQuestion,
                            "confidence as typed: \u201c2 or 3\u201d")};
    // Ben: sure (3), then wrong (1): over-confident in the one pair of assignment 1, no unsure pair.
    const QString trend = QStringLiteral("Over- and under-confidence per assignment");
    QTest::newRow("Ben's page")
        << "ben-6700869c.html"
        << QList<QStringList>{bars(true, "1", {"rect fill=#0571b0 width=16 height=126", "text:1"}),
                              bars(false, "1", {"rect fill=#fdb863 width=16 height=126", "text:1"}), grid(3, 1),
                              QStringList{"svg", "title:" + trend, "text:" + trend} + axes
                                  + QStringList{"text:100%", "text:0%", "text:share", "text:assignment",
                                                "circle fill=#e66101 r=4", "title:over-confidence, assignment 1: 100% (n = 1)",
                                                "text:1", "circle fill=#e66101 r=4", "title:over-confidence",
                                                "text:over-confidence", "rect fill=#0571b0 width=7 height=7",
                                                "title:under-confidence", "text:under-confidence"}}
        << "2 response(s), 0 note(s); confident errors (confidence 2 or 3, then a self-critique of 0 to 2): 1; files: masterFile.txt, send_0307.txt."
        << QStringList{line("", "2026-03-07 10:00:05", q1, toQuestion, "confidence 3"),
                       line("", "2026-03-07 10:10:00", q1, toAnswer, "self-critique 1")};
    // Question 1's spread bars: confidence 3, 2, 0, 1 of six (80, 53.3, 0, 26.7
    // of 160 pixels), self-critique 1, 1 of two.
    QTest::newRow("question 1's page: its bars, every student's answers")
        << "001-q1.html"
        << QList<QStringList>{{"svg", "title:0: 3, 1: 2, 2: 0, 3: 1, other: 0", "rect fill=#eeeeee width=160 height=14",
                               "rect fill=#e66101 width=80 height=14", "rect fill=#fdb863 width=53.3 height=14",
                               "rect fill=#0571b0 width=26.7 height=14"},
                              {"svg", "title:0: 1, 1: 1, 2: 0, 3: 0, other: 0", "rect fill=#eeeeee width=160 height=14",
                               "rect fill=#e66101 width=80 height=14", "rect fill=#fdb863 width=80 height=14"}}
        << "6 student(s) answered; 6 rated it 0 or 1."
        << QStringList(); // a row per student instead of a card per record (below)
    QTest::newRow("the notes page") << "notes.html" << QList<QStringList>() << "<a href=\"index.html\">The class</a>"
                                    << QStringList{line("anna", "2026-03-06 09:20:00", "Assignment 1 question 2", "note", "")};
}

void ReportTest::everyChartAndLineOfAClass()
{
    QFETCH(QString, page);
    QFETCH(QList<QStringList>, charts);
    QFETCH(QString, said);
    QFETCH(QStringList, records);
    const QString text = m_pages.value(page);
    QCOMPARE(chartsOf(text).mid(0, charts.size()), charts);
    QVERIFY2(text.contains(QStringLiteral("<p>") + said + QStringLiteral("</p>")), qPrintable(said));
    QCOMPARE(recordLinesOf(text), records);
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
                                        "text", "line", "copy_of", "complete", "shared_with", "attempt"}));
    // One row per record: the header, the response, the note (the SEND and
    // notes files' copies are the same records).
    QCOMPARE(rows.size(), 1 + 3);
    QCOMPARE(rows.at(2), (QStringList{"cara", "masterFile.txt", "03-06-2026", "14:05:09", "2026-03-06T14:05:09", "001",
                                      "q1", "1", "question", "response", "confidence", "2", "2", firstQuestion,
                                      "a, \"quoted\"\r\nsecond line", "6", "", "true", "", "1"}));
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

void ReportTest::attemptsOfARerun()
{
    // Cara works through assignment 1 on 03-06: question 1 sure (3) but its
    // self-critique 1, a confident error; question 2 unsure (1) and right
    // (3). On 03-08 she runs it again: both sure (3, 2) and right (3, 3).
    QTemporaryDir classDir;
    const QString cara = classDir.filePath(QStringLiteral("cara"));
    QDir().mkpath(cara);
    const std::pair<QDate, QStringList> runs[] = {{QDate(2026, 3, 6), {"3", "1", "1", "3"}},
                                                  {QDate(2026, 3, 8), {"3", "3", "2", "3"}}};
    for (const auto &[day, ratings] : runs) {
        StudentRun s(day, QTime(9, 0, 0), QStringLiteral("1"), cara);
        for (const QString &rating : ratings) {
            s.next();
            s.respond(QStringLiteral("my answer"), rating);
        }
        inside(*s.form).cmdQuitClick();
    }
    const CourseIndex course(courseEntries());
    const ClassData data = ClassReader(course).read({classDir.path()});
    QVERIFY(!data.hasWarnings());

    // Each response numbered with its attempt; headers have none.
    QStringList attempts;
    for (const QStringList &row : parseCsv(QString::fromUtf8(csvTable(data).mid(3))).mid(1))
        attempts.append(row.at(8) + QLatin1Char(':') + row.value(19));
    QCOMPARE(attempts, (QStringList{":", "question:1", "answer:1", "question:1", "answer:1", ":", "question:2", "answer:2",
                                    "question:2", "answer:2"}));
    const QJsonArray json = QJsonDocument::fromJson(jsonTable(data)).array();
    QCOMPARE(json.size(), 10);
    QVERIFY(json.at(0).toObject().value(QLatin1String("attempt")).isNull());
    QCOMPARE(json.at(7).toObject().value(QLatin1String("attempt")).toInt(), 2);

    // The index: both questions answered again; then a confident error and
    // an unsure answer, now two settled pairs.
    const ClassSummary sum = summarize(data, course);
    const QString html = htmlReport(data, sum, QDateTime(QDate(2026, 3, 9), QTime(8, 0)));
    QVERIFY(html.contains(QStringLiteral("<p>2 question(s) that students answered more than once (a later run or a review "
                                         "walk), 2 time(s) a student and a question")));
    QCOMPARE(tablesOf(html, QStringLiteral("reviewed")).value(0),
             (QList<QStringList>{{"attempt", "pairs", "confident errors", "unsure", "settled (sure, no critique needed)"},
                                 {"first", "2", "1", "1", "0"},
                                 {"latest", "2", "0", "0", "2"}}));
    // The class's grid holds all four pairs: 1 error in 3 sure ones, 1 right in 1 unsure one.
    QVERIFY(html.contains(QStringLiteral(
        "<p class=\"rates\">Over-confidence (confident errors among the answers rated 2 or 3): 33% (n = 3); under-confidence "
        "(self-critique 3 among the answers rated 0 or 1): 100% (n = 1).</p>")));

    // From 03-08 on, the second run alone: a later attempt of each question
    // (still numbered 2), none of them answered again in this window.
    ClassData window = data;
    keepWindow(window, RecordWindow{QDate(2026, 3, 8), {}});
    const ClassSummary later = summarize(window, course);
    QCOMPARE(later.perStudent.at(0).attempts.size(), size_t(2));
    for (const auto &[qi, list] : later.perStudent.at(0).attempts) {
        QCOMPARE(list.size(), size_t(1));
        QCOMPARE(list.front().number, 2);
    }
    QCOMPARE(later.reviewedAnswers, 0);
    QCOMPARE(later.firstGrid.total(), 0);
    QCOMPARE(later.laterGrid.total(), 2);
}

void ReportTest::summaryNamesTheFlags()
{
    // The class of six with no output named: question 1 of assignment 1 is
    // its one flag (all six rated it low; a fifth of its three questions, rounded up, is one).
    QProcess p;
    p.start(QStringLiteral(REPORT_PROGRAM), {m_class.filePath(QStringLiteral("class"))});
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitCode(), 0);
    QCOMPARE(printed(p.readAllStandardOutput()).split(QLatin1Char('\n')).mid(1, 2),
             (QStringList{"Questions to look at first (students who rated them 0 or 1 or made a confident error, of those who answered):",
                          "  Assignment 1, question 1: 100% of 6; Section 0.1.28 solve x/2-x/3>5"}));
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
           "Students to look at first: none meets the rule.\n"
           "Nothing was written; name an output with --site DIR, --html FILE, --csv FILE, --json FILE or --gradebook FILE (- is standard output).\n"
        << QString();
    QTest::newRow("a file with a warning") << whole + "stray\r\n" << 1 << "send_0306.txt:6: 1 line(s) that belong to no record" << QString();
    QTest::newRow("nothing readable") << QByteArray() << 2 << "send_0306.txt: empty file" << QString();
    QTest::newRow("a mistyped option reads nothing") << whole << 2 << "Unknown option 'htm'" << "--htm";
    QTest::newRow("--since not as yyyy-mm-dd") << whole << 2 << "--since 03/07/2026: not a date as yyyy-mm-dd (2026-03-06)"
                                               << "--since=03/07/2026";
    QTest::newRow("--since a day on no calendar") << whole << 2 << "--since 2026-02-30: not a date as yyyy-mm-dd" << "--since=2026-02-30";
    QTest::newRow("--assignment not a number") << whole << 2
                                               << "--assignment 3,x: not an assignment number (1 to 999, or a list: 3,4)"
                                               << "--assignment=3,x";
    QTest::newRow("--roster not there") << whole << 2 << "--roster gone.csv: " << "--roster=gone.csv";
    QTest::newRow("--gradebook-dialect unknown") << whole << 2 << "--gradebook-dialect tsv: not lms or excel"
                                                 << "--gradebook-dialect=tsv";
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
    const QString err = printed(p.readAllStandardError() + p.readAllStandardOutput());
    QCOMPARE(p.exitCode(), status);
    QVERIFY2(err.contains(asPrinted(said)), qPrintable(err));
    // Nothing is written into the folder it was run in, which it reads.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
}

namespace {

/// The roster of the class of six: five of them (Dora's folder typed in
/// capitals), Fay left off, and Gwen, who handed in nothing.
const QByteArray classRoster = "\xEF\xBB\xBFName;Folder;ID;Email;Section\r\n"
                               "Lee, Anna;anna;00123;anna@example.edu;A\r\n"
                               "=1+2 Ben;ben;456;ben@example.edu;A\r\n"
                               "\"Carl \"\"C\"\" Day\";carl;;;\r\n"
                               "Dora;DORA;789;;\r\n"
                               "Emil;emil;0;;\r\n"
                               "Gwen;gwen;0042;gwen@example.edu;\r\n";

/// Runs the report program; its exit status, and what it printed into `said`.
int runReport(const QStringList &arguments, QString &said)
{
    QProcess p;
    p.start(QStringLiteral(REPORT_PROGRAM), arguments);
    if (!p.waitForFinished(60000))
        return -1;
    said = printed(p.readAllStandardOutput() + p.readAllStandardError());
    return p.exitCode();
}

QByteArray contentsOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

void ReportTest::studentPageNames_data()
{
    QTest::addColumn<QStringList>("folders");
    QTest::addColumn<QStringList>("pages");

    // The hash is the first 8 hex digits of the SHA-256 of the name in UTF-8, worked out apart.
    QTest::newRow("plain names") << QStringList{"anna", "ben"} << QStringList{"anna-55579b55.html", "ben-6700869c.html"};
    QTest::newRow("a student added before them: theirs unchanged")
        << QStringList{"aaron", "anna", "ben"} << QStringList{"aaron-39fdbdb8.html", "anna-55579b55.html", "ben-6700869c.html"};
    QTest::newRow("case tells names apart, not the slug") << QStringList{"Anna"} << QStringList{"anna-bf4fccd6.html"};
    QTest::newRow("accents dropped from the slug, kept in the hash")
        << QStringList{QStringLiteral("Zo\u00eb \u00d1\u00fa\u00f1ez")} << QStringList{"zoe-nunez-eadd386d.html"};
    QTest::newRow("no Latin letters: a neutral slug") << QStringList{QStringLiteral("\u0418\u0432\u0430\u043d \u041f\u0435\u0442\u0440\u043e\u0432")}
                                                      << QStringList{"student-2b8929ba.html"};
    QTest::newRow("a path in the name leads nowhere")
        << QStringList{"../etc", "a/b", ".."} << QStringList{"etc-f7f9121f.html", "a-b-c14cddc0.html", "student-5ec1f7e7.html"};
    QTest::newRow("markup and a NUL are only letters to drop")
        << QStringList{"x<y & \"z\"", QString::fromUtf8("a\0b", 3)} << QStringList{"x-y-z-137800eb.html", "a-b-59b271ae.html"};
    QTest::newRow("a long name: the slug cut at 40") << QStringList{QString(100, QLatin1Char('a'))}
                                                     << QStringList{QString(40, QLatin1Char('a')) + "-28165978.html"};
    QTest::newRow("the same file name twice is told apart, never one over the other")
        << QStringList{"anna", "anna", "anna"} << QStringList{"anna-55579b55.html", "anna-55579b55-2.html", "anna-55579b55-3.html"};
}

void ReportTest::studentPageNames()
{
    QFETCH(QStringList, folders);
    QFETCH(QStringList, pages);
    const std::vector<QString> names = SiteWriter::studentPages(std::vector<QString>(folders.begin(), folders.end()));
    QCOMPARE(QStringList(names.begin(), names.end()), pages);
}


void ReportTest::siteFolder_data()
{
    QTest::addColumn<QStringList>("earlier"); // students of an earlier --site into the folder ("anna:2": assignment 2)
    QTest::addColumn<StringMap>("planted"); // then put into it ("@link:" a link to outside/...)
    QTest::addColumn<QStringList>("now");     // the class written now
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("said");
    QTest::addColumn<QStringList>("after");   // the folder's entries afterwards

    const QString marker = QStringLiteral(".calculus-study-report");
    const QStringList carlSite{marker, "001-q1.html", "carl-69bfe1e6.html", "index.html", "notes.html", "style.css"};
    QTest::newRow("an empty folder") << QStringList() << StringMap() << QStringList{"carl"} << 0 << QString() << carlSite;
    QTest::newRow("another class's site: its pages removed, a file of the instructor's kept")
        << QStringList{"anna:2", "ben:2"} << StringMap{{"mine.txt", "mine"}} << QStringList{"carl"} << 0 << QString()
        << QStringList{marker, "001-q1.html", "carl-69bfe1e6.html", "index.html", "mine.txt", "notes.html", "style.css"};
    QTest::newRow("a student added: every other page keeps its name")
        << QStringList{"anna:1", "ben:1"} << StringMap() << QStringList{"aaron", "anna", "ben"} << 0 << QString()
        << QStringList{marker, "001-q1.html", "aaron-39fdbdb8.html", "anna-55579b55.html", "ben-6700869c.html", "index.html",
                       "notes.html", "style.css"};
    const QString refused = QStringLiteral("is not a site this program made");
    QTest::newRow("the instructor's own folder with an index.html: refused, untouched")
        << QStringList() << StringMap{{"index.html", "my own page"}} << QStringList{"carl"} << 2 << refused
        << QStringList{"index.html"};
    QTest::newRow("a marker planted as a link: refused, nothing removed")
        << QStringList() << StringMap{{marker, "@link:marker"}, {"old.html", "old"}} << QStringList{"carl"} << 2
        << refused << QStringList{marker, "old.html"};
    QTest::newRow("a marker of another first line: refused")
        << QStringList() << StringMap{{marker, "a site\nold.html\n"}, {"old.html", "old"}} << QStringList{"carl"} << 2
        << refused << QStringList{marker, "old.html"};
    QTest::newRow("a marker listing paths out of the folder: only its own old page removed")
        << QStringList()
        << StringMap{{marker, markerLine + "../outside/victim.html\nsub/../../outside/victim.html\n..\n.\nold.html\n"},
                                  {"old.html", "old"}}
        << QStringList{"carl"} << 0 << QString() << carlSite;
    QTest::newRow("a page that is a link: refused, the link and what it leads to left")
        << QStringList() << StringMap{{marker, markerLine + "linked.html\n"}, {"linked.html", "@link:victim.html"}}
        << QStringList{"carl"} << 2 << "linked.html: it is a symbolic link" << QStringList{marker, "linked.html"};
}

void ReportTest::siteFolder()
{
    QFETCH(QStringList, earlier);
    QFETCH(StringMap, planted);
    QFETCH(QStringList, now);
    QFETCH(int, status);
    QFETCH(QString, said);
    QFETCH(QStringList, after);
#ifdef Q_OS_WIN
    for (const QString &what : planted)
        if (what.startsWith(QLatin1String("@link:")))
            QSKIP("QFile::link makes a Windows shortcut, a plain file; a symbolic link there needs rights a student's account lacks");
#endif

    QTemporaryDir dir;
    const QString site = dir.filePath(QStringLiteral("site")), outside = dir.filePath(QStringLiteral("outside"));
    QVERIFY(QDir().mkpath(site) && QDir().mkpath(outside));
    const auto put = [](const QString &path, const QString &text) {
        QFile f(path);
        return f.open(QIODevice::WriteOnly) && f.write(text.toUtf8()) == text.toUtf8().size();
    };
    QVERIFY(put(outside + QStringLiteral("/victim.html"), QStringLiteral("not the report's")));
    QVERIFY(put(outside + QStringLiteral("/marker"), markerLine + QStringLiteral("../outside/victim.html\nold.html\n")));
    QString told;
    if (!earlier.isEmpty()) {
        for (const QString &student : earlier)
            answerOnce(dir.filePath(QStringLiteral("earlier/") + student.section(QLatin1Char(':'), 0, 0)),
                       student.section(QLatin1Char(':'), 1, 1));
        QCOMPARE(writeSite(site, dir.filePath(QStringLiteral("earlier")), told), 0);
    }
    for (auto it = planted.cbegin(); it != planted.cend(); ++it) {
        const QString path = site + QLatin1Char('/') + it.key();
        if (it.value().startsWith(QLatin1String("@link:")))
            QVERIFY(QFile::link(outside + QLatin1Char('/') + it.value().mid(6), path));
        else
            QVERIFY(put(path, it.value()));
    }
    for (const QString &student : now)
        answerOnce(dir.filePath(QStringLiteral("now/") + student), QStringLiteral("1"));
    QCOMPARE(writeSite(site, dir.filePath(QStringLiteral("now")), told), status);
    QVERIFY2(told.contains(said), qPrintable(told));
    QCOMPARE(QDir(site).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name), after);
    // Nothing outside the folder is touched, nor a file of the instructor's.
    QFile victim(outside + QStringLiteral("/victim.html"));
    QVERIFY(victim.open(QIODevice::ReadOnly));
    QCOMPARE(victim.readAll(), QByteArray("not the report's"));
    for (auto it = planted.cbegin(); it != planted.cend(); ++it) {
        QFile f(site + QLatin1Char('/') + it.key());
        if (status != 0 && !it.value().startsWith(QLatin1String("@link:")) && f.open(QIODevice::ReadOnly))
            QCOMPARE(QString::fromUtf8(f.readAll()), it.value());
    }
}

namespace {

/// The lines of the calibration card on a student's page (section "card"), in order.
QStringList cardOf(const QString &page)
{
    QStringList lines;
    QXmlStreamReader xml(page);
    bool inCard = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == QLatin1String("section"))
            inCard = xml.attributes().value(QLatin1String("id")) == QLatin1String("card");
        else if (xml.isStartElement() && inCard
                 && (xml.name() == QLatin1String("li") || xml.name() == QLatin1String("p") || xml.name() == QLatin1String("h3")))
            lines.append(xml.readElementText(QXmlStreamReader::IncludeChildElements));
        else if (xml.isEndElement() && xml.name() == QLatin1String("section"))
            inCard = false;
    }
    return lines;
}

} // namespace

void ReportTest::rosterOfAClass()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral(".")));
    const QString roster = dir.filePath(QStringLiteral("roster.csv"));
    {
        QFile f(roster);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(classRoster);
    }
    const QString site = dir.filePath(QStringLiteral("site")), gradebook = dir.filePath(QStringLiteral("grades.csv"));
    QString said;
    // Warnings: a folder matched only when case is ignored, one not on the roster.
    QCOMPARE(runReport({QStringLiteral("--roster"), roster, QStringLiteral("--site"), site, QStringLiteral("--gradebook"), gradebook,
                        m_class.filePath(QStringLiteral("class"))}, said), 1);
    QVERIFY2(said.contains(asPrinted(QStringLiteral("roster.csv:5: folder \u201cDORA\u201d taken for the folder \u201cdora\u201d, which "
                                          "differs in case or blanks"))), qPrintable(said));
    QVERIFY2(said.contains(asPrinted(QStringLiteral("fay: folder \u201cfay\u201d is not on the roster"))), qPrintable(said));

    // Every enrolled student in the roster's order, then Fay; Gwen with nothing.
    QCOMPARE(contentsOf(gradebook),
             QByteArray("Student,ID,SIS User ID,SIS Login ID,Section,Assignment 1 done,Assignment 1 responses,"
                        "Assignment 1 mean confidence,Assignment 1 confident errors,Assignment 2 done,Assignment 2 responses,"
                        "Assignment 2 mean confidence,Assignment 2 confident errors\r\n"
                        "\"Lee, Anna\",,00123,anna@example.edu,,1,3,2.0,0,0.5,2,2.0,0\r\n"
                        "'=1+2 Ben,,456,ben@example.edu,,0.5,2,3.0,1,0,0,,0\r\n"
                        "\"Carl \"\"C\"\" Day\",,,,,0.5,1,0.0,0,0,0,,0\r\n"
                        "Dora,,789,,,0.5,1,0.0,0,0,0,,0\r\n"
                        "Emil,,0,,,0.5,1,1.0,0,0,0,,0\r\n"
                        "Gwen,,0042,gwen@example.edu,,0,0,,0,0,0,,0\r\n"
                        "fay,,,,,0.5,1,0.0,0,0,0,,0\r\n"));

    const QString index = QString::fromUtf8(contentsOf(site + QStringLiteral("/index.html")));
    QXmlStreamReader xml(index);
    int scripts = 0;
    while (!xml.atEnd())
        scripts += xml.readNext() == QXmlStreamReader::StartElement && xml.name() == QLatin1String("script");
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    QCOMPARE(scripts, 1);
    // Gwen (the seventh student, after the six folders) is the one to look at first.
    // Her page is named from the roster's folder, as a folder of hers would name it.
    const QString gwen = QStringLiteral("gwen-e7ddef29.html");
    QVERIFY(QFile::exists(site + QLatin1Char('/') + gwen));
    QVERIFY2(index.contains(QStringLiteral("<tr><td class=\"name\"><a href=\"%1\">Gwen</a></td><td>nothing handed in for "
                                           "assignments 1 and 2</td></tr>").arg(gwen)), qPrintable(index));
    // The rule, in words on the page: seven students, so at most three.
    QVERIFY(index.contains(QStringLiteral(
        "<p>Named here: a student who handed in nothing for the latest 2 assignments anyone handed in (assignments 1 and "
        "2); or one whose share of confident errors (confidence 2 or 3, then a self-critique of 0 to 2, among their pairs "
        "of ratings), of unsure answers (confidence 0 or 1, among their confidence ratings) or of missing or empty "
        "self-critiques (among the questions they answered) is among the highest tenth of the class and at least 1.5 "
        "times the class's share; a share counts only with at least 4 answers behind it. Most reasons first, then the "
        "furthest above the class; at most 3 students (a tenth of the class, at least 3).</p>")));
    QVERIFY(index.contains(QStringLiteral("<p class=\"warn\" id=\"not-on-roster\">Folders not on the roster (1): <bdi>fay</bdi>.</p>")));
    // The roster: Gwen first (the list), then by name; her row says she handed in nothing.
    QVERIFY(index.contains(QStringLiteral("<tr><td class=\"n\" data-sort=\"0\">1</td><td class=\"name\" data-sort=\"gwen\">"
                                          "<a href=\"%1\">Gwen</a> <span class=\"warn\">nothing handed in</span></td>").arg(gwen)));
    QVERIFY(index.contains(QStringLiteral("<a href=\"%1\">fay</a> <span class=\"warn\">(not on the roster)</span>")
                               .arg(QStringLiteral("fay-92beaa39.html"))));
}

void ReportTest::studentsToLookAtOfADrivenClass_data()
{
    QTest::addColumn<QString>("first"); // s01's four questions of assignment 2: "c s" a rating each, "c -" no self-critique
    QTest::addColumn<QString>("named");  // s01's reason, as the summary and the index give it

    // Ten students, s02 to s10 sure and right (3, then 3) on four questions:
    // s01's four are 4 of the class's 40, 10%.
    QTest::newRow("unsure in every answer") << "0 3" << "unsure answers: 4 of 4 confidence ratings (100%; class 10%)";
    QTest::newRow("sure, then a self-critique of 2: confident errors")
        << "3 2" << "confident errors: 4 of 4 pairs (100%; class 10%)";
    QTest::newRow("the worked answers read, no self-critique given")
        << "3 -" << "missing or empty self-critiques: 4 of 4 answered questions (100%; class 10%)";
}

void ReportTest::studentsToLookAtOfADrivenClass()
{
    QFETCH(QString, first);
    QFETCH(QString, named);
    QTemporaryDir dir;
    const QString root = dir.filePath(QStringLiteral("class"));
    for (int i = 1; i <= 10; ++i) {
        const QString folder = root + QStringLiteral("/s%1").arg(i, 2, 10, QLatin1Char('0'));
        QDir().mkpath(folder);
        const QStringList ratings = (i == 1 ? first : QStringLiteral("3 3")).split(QLatin1Char(' '));
        StudentRun s(QDate(2026, 3, 9), QTime(10, 0, 0), QStringLiteral("2"), folder);
        for (int q = 0; q < 4; ++q) {
            s.at(10, q * 10 + 1, 0), s.next(), s.respond(QStringLiteral("my answer"), ratings[0]);
            s.at(10, q * 10 + 5, 0), s.next();
            if (ratings[1] != QLatin1String("-"))
                s.respond(QStringLiteral("I see where I went wrong"), ratings[1]);
        }
        inside(*s.form).cmdQuitClick();
    }
    QString said;
    QCOMPARE(runReport({root}, said), 0);
    QVERIFY2(said.contains(QStringLiteral("Students to look at first:\n  s01: ") + named + QStringLiteral("\nNothing was written")),
             qPrintable(said));
    const QString site = dir.filePath(QStringLiteral("site"));
    QCOMPARE(runReport({QStringLiteral("--site"), site, root}, said), 0);
    const QString index = QString::fromUtf8(contentsOf(site + QStringLiteral("/index.html")));
    QVERIFY2(index.contains(QStringLiteral("\">s01</a></td><td>") + named + QStringLiteral("</td></tr>")), qPrintable(index));
}

void ReportTest::windowOfAClass_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QByteArray>("gradebook");
    QTest::addColumn<QStringList>("summary"); // the lines from "Only" on
    QTest::addColumn<QStringList>("csv");     // the CSV's rows: student, date, record kind

    const QByteArray both = "Student,ID,SIS User ID,SIS Login ID,Section,Assignment 1 done,Assignment 1 responses,"
                            "Assignment 1 mean confidence,Assignment 1 confident errors,Assignment 2 done,Assignment 2 responses,"
                            "Assignment 2 mean confidence,Assignment 2 confident errors\r\n";
    const QByteArray none = "0,0,,0";
    // On 03-07 Anna did assignment 2 and Ben assignment 1; the rest worked on 03-06.
    QTest::newRow("--since: this week's work, with who did nothing")
        << QStringList{"--since", "2026-03-07"}
        << both + "\"Lee, Anna\",,00123,anna@example.edu,," + none + ",0.5,2,2.0,0\r\n"
                  "'=1+2 Ben,,456,ben@example.edu,,0.5,2,3.0,1," + none + "\r\n"
                  "\"Carl \"\"C\"\" Day\",,,,," + none + "," + none + "\r\n"
                  "Dora,,789,,," + none + "," + none + "\r\nEmil,,0,,," + none + "," + none + "\r\n"
                  "Gwen,,0042,gwen@example.edu,," + none + "," + none + "\r\nfay,,,,," + none + "," + none + "\r\n"
        << QStringList{"Only records from 2026-03-07 on; every student is listed.", "Students to look at first:",
                       "  Carl \"C\" Day: nothing handed in for assignments 1 and 2",
                       "  Dora: nothing handed in for assignments 1 and 2", "  Emil: nothing handed in for assignments 1 and 2",
                       "  2 more meet the rule; the list stops at 3."}
        << QStringList{"anna 03-07-2026 header", "anna 03-07-2026 response", "anna 03-07-2026 response",
                       "ben 03-07-2026 header", "ben 03-07-2026 response", "ben 03-07-2026 response"};
    QTest::newRow("--assignment: one assignment's columns")
        << QStringList{"--assignment", "2"}
        << QByteArray("Student,ID,SIS User ID,SIS Login ID,Section,Assignment 2 done,Assignment 2 responses,"
                      "Assignment 2 mean confidence,Assignment 2 confident errors\r\n"
                      "\"Lee, Anna\",,00123,anna@example.edu,,0.5,2,2.0,0\r\n'=1+2 Ben,,456,ben@example.edu,,0,0,,0\r\n"
                      "\"Carl \"\"C\"\" Day\",,,,,0,0,,0\r\nDora,,789,,,0,0,,0\r\nEmil,,0,,,0,0,,0\r\n"
                      "Gwen,,0042,gwen@example.edu,,0,0,,0\r\nfay,,,,,0,0,,0\r\n")
        << QStringList{"Only records of assignment 2; every student is listed.", "Students to look at first:",
                       "  =1+2 Ben: nothing handed in for assignment 2", "  Carl \"C\" Day: nothing handed in for assignment 2",
                       "  Dora: nothing handed in for assignment 2", "  3 more meet the rule; the list stops at 3."}
        << QStringList{"anna 03-07-2026 header", "anna 03-07-2026 response", "anna 03-07-2026 response"};
    QTest::newRow("both, as a list: assignments 1 and 3 from 03-07 on: Ben's alone")
        << QStringList{"--since", "2026-03-07", "--assignment", "1,3"}
        << QByteArray("Student,ID,SIS User ID,SIS Login ID,Section,Assignment 1 done,Assignment 1 responses,"
                      "Assignment 1 mean confidence,Assignment 1 confident errors\r\n"
                      "\"Lee, Anna\",,00123,anna@example.edu,,0,0,,0\r\n'=1+2 Ben,,456,ben@example.edu,,0.5,2,3.0,1\r\n"
                      "\"Carl \"\"C\"\" Day\",,,,,0,0,,0\r\nDora,,789,,,0,0,,0\r\nEmil,,0,,,0,0,,0\r\n"
                      "Gwen,,0042,gwen@example.edu,,0,0,,0\r\nfay,,,,,0,0,,0\r\n")
        << QStringList{"Only records from 2026-03-07 on, of assignments 1 and 3; every student is listed.",
                       "Students to look at first:", "  Carl \"C\" Day: nothing handed in for assignment 1",
                       "  Dora: nothing handed in for assignment 1", "  Emil: nothing handed in for assignment 1",
                       "  3 more meet the rule; the list stops at 3."}
        << QStringList{"ben 03-07-2026 header", "ben 03-07-2026 response", "ben 03-07-2026 response"};
}

void ReportTest::windowOfAClass()
{
    QFETCH(QStringList, options);
    QFETCH(QByteArray, gradebook);
    QFETCH(QStringList, summary);
    QFETCH(QStringList, csv);
    QTemporaryDir dir;
    const QString roster = dir.filePath(QStringLiteral("roster.csv")), grades = dir.filePath(QStringLiteral("grades.csv"));
    {
        QFile f(roster);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(classRoster);
    }
    const QStringList common{QStringLiteral("--roster"), roster, m_class.filePath(QStringLiteral("class"))};
    QString said;
    const QString table = dir.filePath(QStringLiteral("class.csv"));
    QCOMPARE(runReport(options + QStringList{QStringLiteral("--gradebook"), grades, QStringLiteral("--csv"), table} + common, said), 1);
    QCOMPARE(contentsOf(grades), gradebook);
    // The record table holds the same window (the student column has the roster's names).
    QStringList rows;
    for (const QStringList &row : parseCsv(QString::fromUtf8(contentsOf(table).mid(3))).mid(1))
        rows.append(row.at(0).section(QLatin1Char(' '), -1).toLower() + QLatin1Char(' ') + row.at(2) + QLatin1Char(' ') + row.at(9));
    QCOMPARE(rows, csv);
    // The summary on standard output sees the same window.
    QCOMPARE(runReport(options + common, said), 1);
    QStringList lines = said.split(QLatin1Char('\n'));
    for (QString &line : summary)
        line = asPrinted(line);
    const qsizetype from = lines.indexOf(summary.first());
    QVERIFY2(from >= 0, qPrintable(said));
    QCOMPARE(lines.mid(from, summary.size()), summary);
}

void ReportTest::classReportWindow_data()
{
    QTest::addColumn<QString>("chosen");   // the class folder chosen in the work folder; "" a Cancel
    QTest::addColumn<QString>("failStart"); // the reason a process start fails, or ""
    QTest::addColumn<bool>("browserFails");
    QTest::addColumn<int>("start");        // ClassReportRun::Start
    QTest::addColumn<QString>("message");  // the one box shown, "" none; {work} the work folder
    QTest::addColumn<bool>("opened");      // the run ended with the index in the browser

    using Start = ClassReportRun::Start;
    QTest::newRow("the six students' site written beside the class and its index opened")
        << "class" << QString() << false << int(Start::Started) << QString() << true;
    QTest::newRow("the class chooser cancelled: nothing more asked, started or written")
        << QString() << QString() << false << int(Start::Cancelled) << QString() << false;
    QTest::newRow("a folder without students' files: the report's status 2 and its words")
        << "empty" << QString() << false << int(Start::Started)
        << "The class report could not be made (status 2):\n\n"
           "nothing was read; no output written, the last ones are left as they were\n\n"
           "warning: {work}/empty: a folder without masterFile.txt, send_*.txt or notes_.txt"
        << false;
    QString many = QStringLiteral("The class report could not be made (status 2):\n\n"
                                  "nothing was read; no output written, the last ones are left as they were\n");
    for (int i = 1; i <= 20; ++i)
        many += QStringLiteral("\nwarning: {work}/many/s%1: a folder without masterFile.txt, send_*.txt or notes_.txt")
                    .arg(i, 2, 10, QLatin1Char('0'));
    QTest::newRow("25 empty students' folders: the reason, then the first 20 warnings and a count")
        << "many" << QString() << false << int(Start::Started) << many + "\n(5 more line(s))" << false;
    QTest::newRow("a file where the site goes: the report's status 3 and its words")
        << "blocked" << QString() << false << int(Start::Started)
        << "The class report could not be made (status 3):\n\n"
           "cannot write {work}/blocked report: it is not a folder; the outputs of the last run are left as they were"
        << false;
    QTest::newRow("the report program cannot be started")
        << "class" << "scripted failure" << false << int(Start::Failed)
        << "The report program {program} could not be started: scripted failure" << false;
    QTest::newRow("no browser: the index's path is told instead")
        << "class" << QString() << true << int(Start::Started)
        << "The class report is written, but no browser could be started for it. Open this page in a browser:\n\n"
           "{work}/class report/index.html"
        << false;
    QTest::newRow("a drive's root has nothing beside it")
        << "{root}" << QString() << false << int(Start::Failed)
        << "The report's pages go into a new folder beside the class folder, and {root} has nothing beside it. "
           "Choose a folder inside it."
        << false;
}

void ReportTest::classReportWindow()
{
    QFETCH(QString, chosen);
    QFETCH(QString, failStart);
    QFETCH(bool, browserFails);
    QFETCH(int, start);
    QFETCH(QString, message);
    QFETCH(bool, opened);

    QTemporaryDir work;
    QVERIFY(copyTree(m_class.filePath(QStringLiteral("class")), work.filePath(QStringLiteral("class"))));
    QVERIFY(copyTree(m_class.filePath(QStringLiteral("class/ben")), work.filePath(QStringLiteral("blocked/ben"))));
    QVERIFY(writeBytes(work.filePath(QStringLiteral("blocked report")), "the instructor's own file"));
    QVERIFY(QDir(work.path()).mkdir(QStringLiteral("empty")));
    for (int i = 1; i <= 25; ++i)
        QVERIFY(QDir().mkpath(work.filePath(QStringLiteral("many/s%1").arg(i, 2, 10, QLatin1Char('0')))));
    const QStringList before = QDir(work.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    const QString root = QDir::rootPath(), program = QStringLiteral(REPORT_PROGRAM);
    // The paths as the boxes show them: no text of theirs holds another slash.
    const auto shown = [&](QString text) {
        return QDir::toNativeSeparators(text.replace(QLatin1String("{work}"), work.path())
                                            .replace(QLatin1String("{root}"), root)
                                            .replace(QLatin1String("{program}"), program));
    };

    ScriptedPlatform platform;
    platform.chosenFolders = {chosen.isEmpty() ? QString() : chosen == QLatin1String("{root}") ? root : work.filePath(chosen)};
    platform.chosenFiles = {QString()}; // no roster
    platform.failStart = failStart;
    platform.browserFails = browserFails;
    ClassReportRun run(platform, program);
    QSignalSpy ended(&run, &ClassReportRun::finished);
    QStringList progress;
    QList<QPair<int, int>> counts;
    connect(&run, &ClassReportRun::progress, this, [&](int done, int total, const QString &text) {
        progress.append(text);
        counts.append({done, total});
    });
    QCOMPARE(int(run.start()), start);
    if (start == int(ClassReportRun::Start::Started)) {
        QVERIFY(ended.wait(60000));
        QCOMPARE(ended.first().first().toBool(), opened);
        QCOMPARE(platform.started, QStringList{(QStringList{program, "--progress", "--site", work.filePath(chosen + " report"),
                                                            "--", work.filePath(chosen)})
                                                   .join(QLatin1Char('\n'))});
    }
    QCOMPARE(platform.messages, message.isEmpty() ? QStringList() : QStringList{shown(message)});
    QCOMPARE(platform.choosers.size(), chosen.isEmpty() || chosen == QLatin1String("{root}") ? 1 : 2);
    const QString index = work.filePath(QStringLiteral("class report/index.html"));
    QCOMPARE(platform.opened, opened || browserFails ? QStringList{index} : QStringList());
    if (!opened && !browserFails) {
        // Nothing was written, and no hidden file left beside the folders.
        QCOMPARE(QDir(work.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), before);
        return;
    }
    // The index of the six, and what was said while it was made: the 14 files
    // of the class (anna's master, notes and two SEND files; the others' master
    // and SEND file each), then the pages.
    QVERIFY(bytesOf(index).contains("<title>"));
    QCOMPARE(progress.first(), shown(QStringLiteral("Starting the report of {work}/class")));
    QCOMPARE(progress.mid(progress.size() - 2),
             (QStringList{"Reading: 14 of 14 files, 0.0 MB", shown(QStringLiteral("Writing the pages into {work}/class report"))}));
    QCOMPARE(counts.at(counts.size() - 2), qMakePair(14, 14));
    QCOMPARE(counts.last(), qMakePair(0, 0));
}

void ReportTest::classReportPassesTheRoster()
{
    // The roster chosen goes to the report as --roster, before the class.
    QTemporaryDir work;
    QVERIFY(copyTree(m_class.filePath(QStringLiteral("class/ben")), work.filePath(QStringLiteral("class/ben"))));
    const QString roster = writeFile(work, QStringLiteral("roster.csv"), "folder,name\r\nben,Ben Ng\r\n");
    ScriptedPlatform platform;
    platform.chosenFolders = {work.filePath(QStringLiteral("class"))};
    platform.chosenFiles = {roster};
    ClassReportRun run(platform, QStringLiteral(REPORT_PROGRAM));
    run.setStartFolder(work.path());
    QSignalSpy ended(&run, &ClassReportRun::finished);
    QCOMPARE(int(run.start()), int(ClassReportRun::Start::Started));
    QVERIFY(ended.wait(60000));
    QCOMPARE(platform.choosers,
             (QStringList{"folder: Class report: choose the class folder (the folder of the students' folders) (" + work.path() + ")",
                          "file: Class report: choose the class's roster, a CSV file (Cancel: no roster) (" + work.path()
                              + "; CSV files (*.csv);;All files (*))"}));
    QCOMPARE(platform.started.value(0).split(QLatin1Char('\n')).mid(1),
             (QStringList{"--progress", "--site", work.filePath(QStringLiteral("class report")), "--roster", roster, "--",
                          work.filePath(QStringLiteral("class"))}));
    // The report took it: the roster's name stands on the index, and the page opened.
    QVERIFY(ended.first().first().toBool());
    QCOMPARE(platform.opened, QStringList{work.filePath(QStringLiteral("class report/index.html"))});
    QVERIFY(bytesOf(platform.opened.value(0)).contains("Ben Ng"));
}

void ReportTest::boxesShowNamesAsTyped()
{
    // The real platform's box, which shows the report's warnings with the
    // students' folder names in them: markup in a name is shown, not obeyed.
    QtPlatform platform;
    Qt::TextFormat format = Qt::AutoText;
    QString text;
    QTimer::singleShot(0, this, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            format = box->textFormat();
            text = box->text();
            box->accept();
        }
    });
    platform.message(QStringLiteral("<img src=\"x\"> <b>ben</b>: a folder without masterFile.txt"));
    QCOMPARE(text, QStringLiteral("<img src=\"x\"> <b>ben</b>: a folder without masterFile.txt"));
    QCOMPARE(format, Qt::PlainText);
}

void ReportTest::studentCard_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QStringList>("card");

    const QString basis = QStringLiteral("It is based on your own self-critique ratings in the files of yours this report read: a "
                                         "self-critique of 3 says you needed no correction, 0 to 2 that you did.");
    const QString none = QStringLiteral(": no answers yet with a self-critique after them.");
    // Anna: one pair on a first attempt, some confidence (1) then 0; her
    // second attempt at assignment 2's question 1 has no self-critique.
    QTest::newRow("Anna") << "anna-55579b55.html"
                          << QStringList{basis, "First attempts", "When you were certain" + none, "When you were pretty confident" + none,
                                         "When you had some confidence, your self-critique said you needed to correct yourself 1 time in 1.",
                                         "When you had no confidence" + none, "Later attempts (reviews and runs again)",
                                         "No answers yet with both ratings.",
                                         "Sure but needing correction: none of first attempts, none of later ones."};
    // Ben: certain (3), then a self-critique of 1: a confident error.
    QTest::newRow("Ben") << "ben-6700869c.html"
                         << QStringList{basis, "First attempts",
                                        "When you were certain, your self-critique said you needed to correct yourself 1 time in 1.",
                                        "When you were pretty confident" + none, "When you had some confidence" + none,
                                        "When you had no confidence" + none, "Later attempts (reviews and runs again)",
                                        "No answers yet with both ratings.",
                                        "Sure but needing correction: 100% of first attempts, none of later ones."};
    // A pair of ratings typed as words is counted apart, and said so.
    QTest::newRow("a pair typed as words") << QStringLiteral("hostile/") + hostilePage
                                           << QStringList{basis, "First attempts", "No answers yet with both ratings.",
                                                          "Later attempts (reviews and runs again)", "No answers yet with both ratings.",
                                                          "Sure but needing correction: none of first attempts, none of later ones.",
                                                          "1 pair with a rating that is not 0 to 3 is counted apart."};
}

void ReportTest::studentCard()
{
    QFETCH(QString, page);
    QFETCH(QStringList, card);
    QCOMPARE(cardOf(m_pages.value(page)), card);
}

void ReportTest::notesPerQuestion_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("markup"); // the page holds it

    // Anna's note on assignment 1's question 2, the class's second question.
    QTest::newRow("notes: a section per question, its heading a link to the question")
        << "notes.html"
        << "<h2>Assignment 1</h2>\n<section id=\"notes-2\"><h3><a href=\"001-q2.html\">question 2</a>: Section 0.1 solve "
           "2x^2+1&lt;9x-3</h3>\n<div class=\"record note\">";
    QTest::newRow("the question's page links to its notes") << "001-q2.html" << "<a href=\"notes.html#notes-2\">Notes on it</a>";
    QTest::newRow("a question without notes links to none")
        << "001-q1.html" << "<nav aria-label=\"pages of the report\"><p><a href=\"index.html\">The class</a></p></nav>";
}

void ReportTest::notesPerQuestion()
{
    QFETCH(QString, page);
    QFETCH(QString, markup);
    QVERIFY2(m_pages.value(page).contains(markup), qPrintable(markup));
}

void ReportTest::courseTextAsShown_data()
{
    QTest::addColumn<QString>("text"); // as the course text holds it
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("first"); // its first line, as the tables show it

    QTest::newRow("a worked answer's end marker left out") << "x > 30.**" << "x > 30." << "x > 30.**";
    QTest::newRow("blanks after the marker too") << "x > 30.** \r\n" << "x > 30." << "x > 30.**";
    QTest::newRow("** within a text stays") << "2**3 is 8" << "2**3 is 8" << "2**3 is 8";
    QTest::newRow("{} is a line break") << "above it.{}{}Describe the temperatures" << "above it.\n\nDescribe the temperatures"
                                        << "above it.";
    QTest::newRow("{} before any text") << "{} T is 18" << "\n T is 18" << "T is 18";
}

void ReportTest::courseTextAsShown()
{
    QFETCH(QString, text);
    QFETCH(QString, shown);
    QFETCH(QString, first);
    QCOMPARE(shownText(text), shown);
    QCOMPARE(firstLine(text), first);
}

void ReportTest::courseMarkersNeverShown()
{
    // The worked answers of assignment 1's questions end with "**" in the
    // course text; what a student typed is shown as typed.
    QVERIFY(m_pages.value(QStringLiteral("001-q1.html")).contains(QStringLiteral("The worked answer")));
    for (auto it = m_pages.cbegin(); it != m_pages.cend(); ++it) {
        QVERIFY2(!it.value().contains(QStringLiteral("**</pre>")), qPrintable(it.key()));
        QVERIFY2(!it.value().contains(QStringLiteral("{}")), qPrintable(it.key()));
    }
}

void ReportTest::pagesPassAxe_data()
{
    QTest::addColumn<QString>("page");
    QTest::newRow("the index") << "index.html";
    QTest::newRow("a question page")
        << "001-q1.html";
    QTest::newRow("a student page of a hostile name") << hostilePage;
    QTest::newRow("a student page with a later attempt") << "zoe-nunez-eadd386d.html";
    QTest::newRow("the notes page") << "notes.html";
}

namespace {

/// Opens a copy of `page` of `site` in headless Chromium with `script` run
/// once it is loaded (after axe-core when `withAxe`); what the script puts
/// into the page's element "result", or why there is none.
QString runInChromium(const QString &site, const QString &page, const QString &script, bool withAxe, bool &ok)
{
    ok = false;
    QString chromium = QStandardPaths::findExecutable(QStringLiteral("chromium"));
    if (chromium.isEmpty())
        chromium = QStandardPaths::findExecutable(QStringLiteral("chromium-browser"));
    if (chromium.isEmpty() || (withAxe && !QFile::exists(QStringLiteral(AXE_SCRIPT))))
        return QStringLiteral("Chromium and axe-core are needed: scripts/setup.sh installs them (axe-core into build/axe, for the tests only)");
    QFile in(site + QLatin1Char('/') + page);
    if (!in.open(QIODevice::ReadOnly))
        return page + QStringLiteral(": no such page");
    QString html = QString::fromUtf8(in.readAll());
    const QString axe = withAxe ? QStringLiteral("<script src=\"%1\"></script>").arg(QUrl::fromLocalFile(QStringLiteral(AXE_SCRIPT)).toString())
                                : QString();
    html.replace(QStringLiteral("</body>"), axe + QStringLiteral("<script>") + script + QStringLiteral("</script></body>"));
    const QString copy = site + QStringLiteral("/run-") + page;
    QFile out(copy);
    if (!out.open(QIODevice::WriteOnly) || out.write(html.toUtf8()) <= 0)
        return copy + QStringLiteral(": cannot be written");
    out.close();
    QProcess p;
    p.start(chromium, {QStringLiteral("--headless"), QStringLiteral("--no-sandbox"), QStringLiteral("--disable-gpu"),
                       QStringLiteral("--allow-file-access-from-files"), QStringLiteral("--virtual-time-budget=60000"),
                       QStringLiteral("--dump-dom"), QUrl::fromLocalFile(copy).toString()});
    if (!p.waitForFinished(120000))
        return QStringLiteral("Chromium did not end");
    const QRegularExpressionMatch found = QRegularExpression(QStringLiteral("<pre id=\"result\">(.*?)</pre>"),
                                                             QRegularExpression::DotMatchesEverythingOption)
                                              .match(QString::fromUtf8(p.readAllStandardOutput()));
    if (!found.hasMatch())
        return QStringLiteral("no result; Chromium said: ") + QString::fromLocal8Bit(p.readAllStandardError()).left(2000);
    ok = true;
    QString result = found.captured(1);
    return result.replace(QStringLiteral("&lt;"), QStringLiteral("<")).replace(QStringLiteral("&gt;"), QStringLiteral(">"))
        .replace(QStringLiteral("&nbsp;"), QStringLiteral("\u00a0")).replace(QStringLiteral("&amp;"), QStringLiteral("&"));
}

/// Shows what `expression` (a script's text) gives in the element "result".
QString resultOf(const QString &expression)
{
    return QStringLiteral("(function () { var out = document.createElement('pre'); out.id = 'result'; out.textContent = %1; "
                          "document.body.appendChild(out); })")
        .arg(expression);
}

} // namespace

void ReportTest::pagesPassAxe()
{
#ifdef Q_OS_WIN
    QSKIP("the pages are checked in Chromium by the Linux build's run: they are the same bytes here");
#endif
    // WCAG 2.1 A and AA and axe's best practices, in the browser the
    // instructor opens the pages with.
    QFETCH(QString, page);
    const QString script =
        QStringLiteral("axe.run(document, {runOnly: {type: 'tag', values: ['wcag2a', 'wcag2aa', 'wcag21a', 'wcag21aa', "
                       "'best-practice']}, resultTypes: ['violations']}).then(function (r) { %1(); });")
            .arg(resultOf(QStringLiteral("JSON.stringify(r.violations.map(function (v) { return v.id + ': ' + "
                                         "v.nodes.map(function (n) { return n.target.join(' ') + ' ' + n.failureSummary; })"
                                         ".join(' | '); }))")));
    bool ok = false;
    const QString json = runInChromium(m_hostile.filePath(QStringLiteral("site")), page, script, true, ok);
    QVERIFY2(ok, qPrintable(json));
    const QJsonDocument found = QJsonDocument::fromJson(json.toUtf8());
    QVERIFY2(found.isArray(), qPrintable(json.left(500)));
    QStringList said;
    for (const QJsonValue &v : found.array())
        said.append(v.toString());
    QVERIFY2(said.isEmpty(), qPrintable(said.join(QStringLiteral("\n"))));
}

void ReportTest::pageScriptsFilterAndSort_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("table"); // its id; its students' names in the column "column"
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("clicks"); // the page's buttons clicked, in order, by their text's start
    QTest::addColumn<QString>("rows");   // then the students of the rows shown, in order

    // Question 1 of the class of six: Ben's confident error, the others unsure.
    QTest::newRow("as written: confident errors first, then by name")
        << "001-q1.html" << "responses-table" << 0 << "" << "ben anna carl dora emil fay";
    QTest::newRow("confident errors only")
        << "001-q1.html" << "responses-table" << 0 << "confident errors" << "ben";
    QTest::newRow("unsure only")
        << "001-q1.html" << "responses-table" << 0 << "unsure" << "anna carl dora emil fay";
    QTest::newRow("unsure, then all again")
        << "001-q1.html" << "responses-table" << 0 << "unsure|all" << "ben anna carl dora emil fay";
    QTest::newRow("sorted by confidence, lowest first")
        << "001-q1.html" << "responses-table" << 0 << "confidence" << "carl dora fay anna emil ben";
    QTest::newRow("by confidence twice: highest first")
        << "001-q1.html" << "responses-table" << 0 << "confidence|confidence" << "ben anna emil carl dora fay";
    // The roster of the class of six: anna and ben last worked on 2026-03-07, the others the day before.
    QTest::newRow("the roster as written: by name") << "index.html" << "roster-table" << 1 << "" << "anna ben carl dora emil fay";
    QTest::newRow("the roster by the last day worked, a date, earliest first")
        << "index.html" << "roster-table" << 1 << "last day" << "carl dora emil fay anna ben";
    QTest::newRow("the roster by responses, fewest first")
        << "index.html" << "roster-table" << 1 << "responses" << "carl dora emil fay ben anna";
}

void ReportTest::pageScriptsFilterAndSort()
{
#ifdef Q_OS_WIN
    QSKIP("the pages are checked in Chromium by the Linux build's run: they are the same bytes here");
#endif
    QFETCH(QString, page);
    QFETCH(QString, table);
    QFETCH(int, column);
    QFETCH(QString, clicks);
    QFETCH(QString, rows);
    const QString script =
        QStringLiteral("var clicks = '%1'.split('|').filter(function (c) { return c; });"
                       "clicks.forEach(function (c) { Array.prototype.forEach.call(document.getElementsByTagName('button'), "
                       "function (b) { if (b.textContent.indexOf(c) === 0) b.click(); }); });"
                       "var shown = Array.prototype.filter.call(document.getElementById('%3').tBodies[0].rows, "
                       "function (r) { return !r.hidden; }).map(function (r) { return r.cells[%4].textContent.split(' ')[0]; })"
                       ".join(' ');"
                       "%2();")
            .arg(clicks, resultOf(QStringLiteral("shown")), table, QString::number(column));
    bool ok = false;
    const QString shown = runInChromium(m_class.filePath(QStringLiteral("site")), page, script, false, ok);
    QVERIFY2(ok, qPrintable(shown));
    QCOMPARE(shown, rows);
}

QTEST_MAIN(ReportTest)
#include "tst_report.moc"
