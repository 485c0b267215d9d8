#include "scriptedplatform.h"
#include "tests/formaccess.h"

#include "records/calibration.h"
#include "records/cp1252.h"
#include "records/recordfiles.h"
#include "records/recordformat.h"
#include "records/recordreader.h"

#include <QFile>
#include <QTest>

namespace {
const QString oneAssignment = QStringLiteral("@@\n003.  `query 3\n@@\n`qQ\n");

QByteArray bytesOf(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(char(v));
    return out;
}
} // namespace

class RecordsTest : public QObject
{
    Q_OBJECT
private slots:
    void headerRecordBytes();
    void headerAppendsOnEveryRun();
    void codeLineCharacters_data();
    void codeLineCharacters();
    void codeLineRangesOverManyDraws();
    void decodeTable_data();
    void decodeTable();
    void codeIsIdentity();
    void questionKeyLine_data();
    void questionKeyLine();
    void codePage_data();
    void codePage();
    void everyByteRoundTrips();
    void fileLines_data();
    void fileLines();
    void codeFileConvertsQueryFile();
    void everyRecordReadsBack_data();
    void everyRecordReadsBack();
    void ratingPairs_data();
    void ratingPairs();
    void calibrationCard();
};

void RecordsTest::headerRecordBytes()
{
    TestRun run(oneAssignment, QStringLiteral("3"));
    // codeKey 19; every step draws r1 = 0.5 (no extra character) and r3 = 0,
    // except the first, which draws r1 = 0.05 and r2 = 0 before its r3.
    run.platform.randoms = {0.0f, 0.05f, 0.0f, 0.0f};
    for (int i = 1; i < 19; ++i)
        run.platform.randoms << 0.5f << 0.0f;
    QVERIFY(run.start());
    const QByteArray codeLine = "B" + QByteArray(19, 'v');
    const QByteArray header = codeLine + "\r\nassignment #003\r\n003.  `query 3\r\nApplied Calculus I\r\n03-06-2026\r\n";
    QCOMPARE(run.file(QStringLiteral("masterFile.txt")), header);
    QCOMPARE(run.file(QStringLiteral("send_0306.txt")), header);
    QCOMPARE(run.platform.randomsDrawn, 1 + 3 + 18 * 2);
}

void RecordsTest::headerAppendsOnEveryRun()
{
    TestRun first(oneAssignment, QStringLiteral("3"));
    QVERIFY(first.start());
    const QByteArray once = first.file(QStringLiteral("send_0306.txt"));
    inside(*first.form).cmdQuitClick(); // one window per folder: the first run's end frees it
    // A second run on the same day, another year, into the same folder.
    ScriptedPlatform second;
    second.clock = QDateTime(QDate(2027, 3, 6), QTime(9, 0, 0));
    second.randoms = {0.9f};
    second.answers = {QString(), QStringLiteral("1"), first.outputFolder(), QStringLiteral("3")};
    QueryForm form(second);
    form.setBankFiles({first.dir.filePath(QStringLiteral("bank.txt"))});
    form.setDefaultFolder(first.dir.filePath(QStringLiteral("default")));
    QVERIFY(form.startRun());
    const QByteArray twice = first.file(QStringLiteral("send_0306.txt"));
    QVERIFY(twice.startsWith(once));
    QVERIFY(twice.endsWith("Applied Calculus I\r\n03-06-2027\r\n"));
    QCOMPARE(twice.count("assignment #003\r\n"), 2);
}

void RecordsTest::codeLineCharacters_data()
{
    QTest::addColumn<QList<float>>("draws");
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("lowest third draw gives 118") << QList<float>{0.5f, 0.0f} << bytesOf({118});
    QTest::newRow("a half rounds to even (186.5 to 186)") << QList<float>{0.5f, 0.5f} << bytesOf({186});
    QTest::newRow("largest draw gives 255") << QList<float>{0.5f, 0.99999994f} << bytesOf({255});
    QTest::newRow("first draw under 0.1 adds a low character")
        << QList<float>{0.0999f, 0.0f, 0.0f} << bytesOf({66, 118});
    QTest::newRow("a half rounds to even (78.5 to 78)") << QList<float>{0.0f, 0.25f, 0.0f} << bytesOf({78, 118});
    QTest::newRow("a half rounds to even (103.5 to 104)") << QList<float>{0.0f, 0.75f, 0.0f} << bytesOf({104, 118});
    QTest::newRow("0.1 itself adds nothing") << QList<float>{0.1f, 0.0f} << bytesOf({118});
}

void RecordsTest::codeLineCharacters()
{
    QFETCH(QList<float>, draws);
    QFETCH(QByteArray, line);
    ScriptedPlatform platform;
    platform.randoms = draws;
    QueryForm form(platform);
    QCOMPARE(Cp1252::encode(form.makeCodeLine(1)), line);
    QCOMPARE(platform.randomsDrawn, draws.size());
}

void RecordsTest::codeLineRangesOverManyDraws()
{
    ScriptedPlatform platform;
    QueryForm form(platform);
    int extra = 0;
    for (int run = 0; run < 2000; ++run) {
        const int count = 19 + run % 10;
        const QByteArray line = Cp1252::encode(form.makeCodeLine(count));
        QVERIFY(line.size() >= count && line.size() <= 2 * count);
        for (const char c : line) {
            const int code = uchar(c);
            QVERIFY2((code >= 66 && code <= 116) || (code >= 118 && code <= 255), qPrintable(QString::number(code)));
            extra += code <= 116;
        }
    }
    // About one step in ten adds a low character.
    QVERIFY(extra > 3000 && extra < 6000);
}

void RecordsTest::decodeTable_data()
{
    QTest::addColumn<QByteArray>("encoded");
    QTest::addColumn<float>("key");
    QTest::addColumn<QByteArray>("decoded");
    QTest::newRow("space kept") << QByteArray(" ") << 19.0f << QByteArray(" ");
    QTest::newRow("low codes map to the top") << QByteArray("A0") << 19.0f << bytesOf({255, 48 + 190});
    QTest::newRow("66 to 118 dropped") << QByteArray("Bv") << 25.0f << QByteArray();
    QTest::newRow("above 118 shifted down") << bytesOf({200, 255}) << 19.0f << bytesOf({81, 136});
    QTest::newRow("key 28") << bytesOf({32, 10, 150}) << 28.0f << bytesOf({32, 191, 22});
    QTest::newRow("a code below zero is left out") << bytesOf({119}) << 28.0f << QByteArray();
}

void RecordsTest::decodeTable()
{
    QFETCH(QByteArray, encoded);
    QFETCH(float, key);
    QFETCH(QByteArray, decoded);
    QCOMPARE(Cp1252::encode(QueryForm::decode(Cp1252::decode(encoded), key)), decoded);
}

void RecordsTest::codeIsIdentity()
{
    QCOMPARE(QueryForm::code(QString(), 19), QString());
    QCOMPARE(QueryForm::code(QStringLiteral("two\r\nlines"), 28), QStringLiteral("two\r\nlines"));
}

void RecordsTest::questionKeyLine_data()
{
    QTest::addColumn<QString>("assignment");
    QTest::addColumn<QString>("line");
    QTest::newRow("assignment 003") << "003" << "`questionNumber 30000 ";
    QTest::newRow("assignment 029") << "029" << "`questionNumber 290000 ";
    QTest::newRow("no leading number counts 0") << "abc" << "`questionNumber 0 ";
}

void RecordsTest::questionKeyLine()
{
    QFETCH(QString, assignment);
    QFETCH(QString, line);
    ScriptedPlatform platform;
    QueryForm form(platform);
    inside(form).assignmentNumber = assignment;
    QCOMPARE(form.questionKeyLine(), line);
}

void RecordsTest::codePage_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("middle dot") << QStringLiteral("3\u00b710") << QByteArray("3\xb7" "10");
    QTest::newRow("en dash") << QStringLiteral("2\u20135") << QByteArray("2\x96" "5");
    QTest::newRow("left double quotation mark") << QStringLiteral("\u201cok") << QByteArray("\x93ok");
    QTest::newRow("euro sign") << QStringLiteral("\u20ac") << QByteArray("\x80");
    QTest::newRow("pi as a numeric reference") << QStringLiteral("2\u03c0r") << QByteArray("2&#960;r");
    QTest::newRow("square root sign") << QStringLiteral("\u221ax") << QByteArray("&#8730;x");
    QTest::newRow("emoji beyond the BMP") << QString::fromUtf8("ok \xF0\x9F\x98\x80") << QByteArray("ok &#128512;");
    QTest::newRow("lone surrogate") << QString(QChar(0xD800)) << QByteArray("&#55296;");
}

void RecordsTest::codePage()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(Cp1252::encode(text), bytes);
}

void RecordsTest::everyByteRoundTrips()
{
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    const QString text = Cp1252::decode(all);
    QCOMPARE(text.size(), 256);
    QCOMPARE(Cp1252::encode(text), all);
    for (int b = 0; b < 256; ++b)
        QCOMPARE(Cp1252::byteOf(Cp1252::charOf(b)), b);
}

void RecordsTest::fileLines_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("CR LF endings") << "a\r\nb\r\n" << QStringList{"a", "b"};
    QTest::newRow("lone CR ends a line") << "a\rb" << QStringList{"a", "b"};
    QTest::newRow("lone LF stays in the line") << "a\nb\r\n" << QStringList{"a\nb"};
    QTest::newRow("empty lines kept") << "\r\n\r\nx" << QStringList{"", "", "x"};
    QTest::newRow("open last line") << "x\r\n.......       " << QStringList{"x", ".......       "};
    QTest::newRow("empty file") << "" << QStringList{};
}

void RecordsTest::fileLines()
{
    QFETCH(QString, text);
    QFETCH(QStringList, lines);
    QCOMPARE(splitFileLines(text), lines);
}

void RecordsTest::codeFileConvertsQueryFile()
{
    TestRun run(oneAssignment, QStringLiteral("3"));
    QVERIFY(run.start());
    QFile query(run.outputPath(QStringLiteral("query.txt")));
    QVERIFY(query.open(QIODevice::WriteOnly));
    query.write("Assignment 7 queries\r\nquery 5 what is x\r\nQUERY 12 rest\r\nplain line\r\n");
    query.close();
    QFile old(run.outputPath(QStringLiteral("queri.txt")));
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("an older copy that must be replaced, much longer than the new one\r\n");
    old.close();
    run.form->codeFile();
    QCOMPARE(inside(*run.form).codeKey, 20.0f);
    QCOMPARE(run.file(QStringLiteral("queri.txt")),
             QByteArray("Assignment 7 queries\r\nquery what is x\r\nquery2 rest\r\nplain line\r\n"));
    QVERIFY(run.platform.messages.isEmpty());
}

void RecordsTest::everyRecordReadsBack_data()
{
    // Each file kind, every record kind written by the program's one writer
    // of the layout, after a header (a record's date is its run's): the
    // reader must give back what went in, so a label or an order changed on
    // one side only fails here.
    QTest::addColumn<int>("file");
    QTest::addColumn<int>("rating"); // recordformat::Rating; -1 for a note
    using recordformat::FileKind;
    using recordformat::Rating;
    for (const auto &[file, name] : {std::pair{FileKind::Master, "master"}, std::pair{FileKind::Send, "SEND"}}) {
        QTest::addRow("%s: response with a confidence", name) << int(file) << int(Rating::Confidence);
        QTest::addRow("%s: response with a self-critique", name) << int(file) << int(Rating::SelfCritique);
        QTest::addRow("%s: response with no rating", name) << int(file) << int(Rating::None);
        QTest::addRow("%s: note, then a response on its open line", name) << int(file) << -1;
    }
    QTest::addRow("notes: two notes, the second on the first's open line") << int(FileKind::Notes) << -1;
}

void RecordsTest::everyRecordReadsBack()
{
    using namespace recordformat;
    QFETCH(int, file);
    QFETCH(int, rating);
    const auto kind = FileKind(file);
    const Header header{QChar(0xD7) + QStringLiteral("code"), assignmentLabel + QStringLiteral("007"),
                        QStringLiteral("007.  `Query 7"), QStringLiteral("03-06-2026")};
    const QString time = QString(timeIndent, QLatin1Char(' ')) + QStringLiteral("14:05:09");
    const Response response{time, recordformat::questionKeyLine(70003), QStringLiteral("What is y' for y = x^2?"),
                            QStringLiteral("2x,\r\nby the power rule")};
    const Note note{time, QString(timeIndent, QLatin1Char(' ')) + QStringLiteral("03-06-202614:05:09"),
                    QStringLiteral("What is y' for y = x^2?"), QStringLiteral("check the sign")};
    QByteArray bytes = kind == FileKind::Notes ? QByteArray() : headerBytes(header);
    if (rating >= 0) {
        bytes += responseOpening(kind, response) + responseClosing(Rating(rating), QStringLiteral(" 2 "));
    } else {
        bytes += noteBytes(kind, note);
        bytes += kind == FileKind::Notes ? noteBytes(kind, note)
                                         : responseOpening(kind, response) + responseClosing(Rating::Confidence, QStringLiteral("3"));
    }
    const RecordFileContents read = parseRecordBytes(bytes, QStringLiteral("file"));
    QVERIFY2(read.warnings.empty(), qPrintable(read.warnings.empty() ? QString() : read.warnings.front().message));
    size_t at = 0;
    if (kind != FileKind::Notes) {
        QVERIFY(read.records.size() >= 2);
        const FileRecord &h = read.records[at++];
        QCOMPARE(int(h.kind), int(FileRecord::Header));
        QCOMPARE(h.codeLine, header.codeLine);
        QCOMPARE(h.assignment, QStringLiteral("007"));
        QCOMPARE(h.heading, header.heading);
        QCOMPARE(h.date, header.date);
    }
    const auto checkResponse = [&](const FileRecord &r, Rating expected, const QString &typed) {
        QCOMPARE(int(r.kind), int(FileRecord::Response));
        QCOMPARE(r.time, QStringLiteral("14:05:09"));
        QCOMPARE(r.date, header.date);
        QCOMPARE(r.assignment, QStringLiteral("007"));
        QCOMPARE(r.bankText, response.bankText);
        QCOMPARE(r.text, response.text);
        QCOMPARE(r.questionKey, kind == FileKind::Master ? QStringLiteral("70003") : QString());
        QCOMPARE(int(r.ratingKind), expected == Rating::Confidence     ? int(FileRecord::Confidence)
                                    : expected == Rating::SelfCritique ? int(FileRecord::SelfCritique)
                                                                       : int(FileRecord::NoRating));
        QCOMPARE(r.rating, expected == Rating::None ? QString() : typed);
        QVERIFY(r.complete);
    };
    if (rating >= 0) {
        QCOMPARE(read.records.size(), at + 1);
        checkResponse(read.records[at], Rating(rating), QStringLiteral(" 2 "));
        return;
    }
    QCOMPARE(read.records.size(), at + 2);
    const FileRecord &n = read.records[at];
    QCOMPARE(int(n.kind), int(FileRecord::Note));
    QCOMPARE(n.text, note.text);
    QCOMPARE(n.bankText, note.bankText);
    QCOMPARE(n.date, QStringLiteral("03-06-2026"));
    QCOMPARE(n.time, QStringLiteral("14:05:09"));
    if (kind == FileKind::Notes)
        QCOMPARE(int(read.records[at + 1].kind), int(FileRecord::Note));
    else
        checkResponse(read.records[at + 1], Rating::Confidence, QStringLiteral("3"));
}

void RecordsTest::ratingPairs_data()
{
    QTest::addColumn<QString>("confidence"); // as typed
    QTest::addColumn<QString>("critique");
    QTest::addColumn<int>("kind");
    using calibration::Kind;
    QTest::newRow("certain, then critique needed and mostly adequate: a confident error")
        << "3" << "2" << int(Kind::ConfidentError);
    QTest::newRow("pretty confident, then critique needed but not given") << "2" << "0" << int(Kind::ConfidentError);
    QTest::newRow("certain and right: sound") << "3" << "3" << int(Kind::Sound);
    QTest::newRow("pretty confident and right: sound") << "2" << "3" << int(Kind::Sound);
    QTest::newRow("some confidence, then right: unsure") << "1" << "3" << int(Kind::Unsure);
    QTest::newRow("no confidence, then wrong: unsure") << "0" << "1" << int(Kind::Unsure);
    QTest::newRow("no confidence and no critique yet: unsure") << " 0 " << "" << int(Kind::Unsure);
    QTest::newRow("confidence a word, critique 1: a weak critique") << "sure" << "1" << int(Kind::WeakCritique);
    QTest::newRow("confidence a word, critique 2: nothing to go on") << "yes" << "2" << int(Kind::Sound);
    QTest::newRow("confidence 2.5 is no rating") << "2.5" << "0" << int(Kind::WeakCritique);
    QTest::newRow("certain, critique typed as a word") << "3" << "three" << int(Kind::Sound);
}

void RecordsTest::ratingPairs()
{
    QFETCH(QString, confidence);
    QFETCH(QString, critique);
    QFETCH(int, kind);
    QCOMPARE(int(calibration::classify(calibration::ratingValue(confidence), calibration::ratingValue(critique))), kind);
}

void RecordsTest::calibrationCard()
{
    // Ten answers given as certain, four of which needed correcting; one
    // with some confidence that was right; two pairs with a rating that is no rating.
    calibration::Grid grid;
    for (int s : {3, 3, 3, 3, 3, 3, 2, 2, 1, 0})
        grid.add(3, s);
    grid.add(1, 3);
    grid.add(-1, 2);
    grid.add(2, -1);
    QCOMPARE(grid.total(), 11);
    QCOMPARE(grid.apart, 2);
    QCOMPARE(grid.confidentErrors(), 4);
    QCOMPARE(grid.unsureButRight(), 1);
    QCOMPARE(grid.overconfidence(), 0.4);
    QCOMPARE(grid.underconfidence(), 1.0);
    QCOMPARE(calibration::cardLine(3, grid),
             QStringLiteral("When you were certain, your self-critique said you needed to correct yourself 4 times in 10."));
    QCOMPARE(calibration::cardLine(1, grid),
             QStringLiteral("When you had some confidence, your self-critique said you needed to correct yourself 0 "
                            "times in 1."));
    QCOMPARE(calibration::cardLine(2, grid),
             QStringLiteral("When you were pretty confident: no answers yet with a self-critique after them."));
    QCOMPARE(calibration::Grid().overconfidence(), -1.0);
}

QTEST_MAIN(RecordsTest)
#include "tst_records.moc"
