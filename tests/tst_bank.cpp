#include "scriptedplatform.h"
#include "tests/formaccess.h"

#include "bank/content.h"

#include <QFile>
#include <QTest>

namespace {

struct Counts
{
    int first, last, entries, q, a, u, e;
};

// The course as it ships, assignment by assignment.
const Counts shippedCounts[29] = {
    {1, 11, 11, 2, 2, 0, 6},        {12, 178, 167, 65, 66, 0, 35}, {179, 191, 13, 4, 4, 0, 4},
    {192, 306, 115, 24, 24, 0, 66}, {307, 326, 20, 4, 4, 0, 11},   {327, 408, 82, 20, 19, 0, 42},
    {409, 438, 30, 7, 7, 1, 14},    {439, 450, 12, 3, 3, 0, 5},    {451, 473, 23, 5, 5, 0, 12},
    {474, 508, 35, 7, 6, 1, 20},    {509, 531, 23, 3, 3, 2, 14},   {532, 576, 45, 9, 10, 2, 23},
    {577, 600, 24, 5, 5, 0, 13},    {601, 617, 17, 4, 4, 1, 7},    {618, 628, 11, 2, 2, 1, 5},
    {629, 650, 22, 5, 5, 1, 10},    {651, 673, 23, 4, 4, 0, 14},   {674, 686, 13, 2, 4, 0, 6},
    {687, 702, 16, 3, 3, 0, 9},     {703, 716, 14, 3, 3, 0, 7},    {717, 729, 13, 2, 2, 0, 8},
    {730, 747, 18, 2, 4, 0, 11},    {748, 764, 17, 3, 3, 0, 10},   {765, 784, 20, 4, 4, 0, 11},
    {785, 803, 19, 3, 2, 2, 11},    {804, 816, 13, 1, 3, 0, 8},    {817, 839, 23, 2, 6, 0, 14},
    {840, 853, 14, 2, 2, 0, 9},     {854, 868, 15, 3, 5, 0, 6},
};

bool isHeading(const QString &e)
{
    return e.size() >= 4 && e.at(0).isDigit() && e.at(1).isDigit() && e.at(2).isDigit() && e.at(3) == QLatin1Char('.');
}

struct LoadedBank
{
    ScriptedPlatform platform;
    QueryForm form{platform};
    bool ok = false;
    explicit LoadedBank(const QStringList &files = {})
    {
        form.setBankFiles(files);
        ok = form.loadQuestionBank();
    }
};

} // namespace

class BankTest : public QObject
{
    Q_OBJECT
private slots:
    void entriesComeOutExactly_data();
    void entriesComeOutExactly();
    void appendStepsExtendTheLastEntry();
    void filesJoinInOrder();
    void capacity_data();
    void capacity();
    void malformedContentIsRefused_data();
    void malformedContentIsRefused();
    void builtInLandmarks();
    void catalogue_data();
    void catalogue();
    void bankTotals();
    void departures();
};

void BankTest::entriesComeOutExactly_data()
{
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QString>("entry");
    QTest::newRow("trailing blank kept by \\e") << QByteArray("assignment # 15 \\e") << QStringLiteral("assignment # 15 ");
    QTest::newRow("one blank") << QByteArray(" \\e") << QStringLiteral(" ");
    QTest::newRow("three blanks") << QByteArray("   \\e") << QStringLiteral("   ");
    QTest::newRow("leading blanks") << QByteArray("   Add comments") << QStringLiteral("   Add comments");
    QTest::newRow("lines joined with CR LF") << QByteArray("one\n\ntwo\nthree")
                                             << QStringLiteral("one\r\n\r\ntwo\r\nthree");
    QTest::newRow("empty lines around the text dropped") << QByteArray("\n\ntext\n\n") << QStringLiteral("text");
    QTest::newRow("kept line break at the end") << QByteArray("text\n\\e") << QStringLiteral("text\r\n");
    QTest::newRow("the three characters beyond ASCII")
        << QByteArray("3\xc2\xb7" "4, 2\xe2\x80\x93" "5, \xe2\x80\x9cquoted\"")
        << QStringLiteral("3\u00b74, 2\u20135, \u201cquoted\"");
    QTest::newRow("escaped backslash and at sign") << QByteArray("\\@home \\\\ path") << QStringLiteral("@home \\ path");
    QTest::newRow("braces and back-quotes untouched") << QByteArray("`qa{}{}b `dx") << QStringLiteral("`qa{}{}b `dx");
    QTest::newRow("Windows line endings read the same") << QByteArray("one\r\ntwo\r") << QStringLiteral("one\r\ntwo");
}

void BankTest::entriesComeOutExactly()
{
    QFETCH(QByteArray, source);
    QFETCH(QString, entry);
    QTemporaryDir dir;
    LoadedBank bank({writeFile(dir, "a.txt", "# comment\n@@ 1\n" + source + "\n@@\n")});
    QVERIFY2(bank.ok, qPrintable(bank.platform.messages.join('\n')));
    QCOMPARE(inside(bank.form).QuestionBank[1], entry);
    QCOMPARE(inside(bank.form).QuestionBank[2], QString());
    QCOMPARE(inside(bank.form).QuestionBank[0], QString());
    QCOMPARE(inside(bank.form).bankIndex, 0);
}

void BankTest::appendStepsExtendTheLastEntry()
{
    QTemporaryDir dir;
    QByteArray source = "@@\nfirst\n@@\nTesting an arb\n";
    QString whole = QStringLiteral("Testing an arb");
    for (int i = 0; i < 11; ++i) {
        source += "@+\nitrary point " + QByteArray::number(i) + "\n";
        whole += QStringLiteral("itrary point %1").arg(i);
    }
    source += "@+\n\\e\n\\e\n@@\nlast\n";
    whole += QStringLiteral("\r\n");
    LoadedBank bank({writeFile(dir, "a.txt", source)});
    QVERIFY(bank.ok);
    QCOMPARE(inside(bank.form).QuestionBank[1], QStringLiteral("first"));
    QCOMPARE(inside(bank.form).QuestionBank[2], whole);
    QCOMPARE(inside(bank.form).QuestionBank[3], QStringLiteral("last"));
    QCOMPARE(inside(bank.form).QuestionBank[4], QString());
}

void BankTest::filesJoinInOrder()
{
    QTemporaryDir dir;
    const QString a = writeFile(dir, "001.txt", "@@\nA\n@@\n");
    const QString b = writeFile(dir, "002.txt", "@@\nB\n");
    LoadedBank bank({a, b});
    QVERIFY(bank.ok);
    QCOMPARE(inside(bank.form).QuestionBank[1], QStringLiteral("A"));
    QCOMPARE(inside(bank.form).QuestionBank[2], QString());
    QCOMPARE(inside(bank.form).QuestionBank[3], QStringLiteral("B"));
}

void BankTest::capacity_data()
{
    QTest::addColumn<int>("entries");
    QTest::addColumn<bool>("loads");
    QTest::newRow("5000 entries fill the bank") << 5000 << true;
    QTest::newRow("a 5001st entry is refused, not wrapped") << 5001 << false;
}

void BankTest::capacity()
{
    QFETCH(int, entries);
    QFETCH(bool, loads);
    QTemporaryDir dir;
    QByteArray source;
    for (int i = 1; i <= entries; ++i)
        source += "@@\ne" + QByteArray::number(i) + "\n";
    LoadedBank bank({writeFile(dir, "big.txt", source)});
    QCOMPARE(bank.ok, loads);
    QCOMPARE(inside(bank.form).QuestionBank[0], QString());
    QCOMPARE(inside(bank.form).QuestionBank[5000], QStringLiteral("e5000"));
    QCOMPARE(inside(bank.form).bankIndex, 0);
    if (!loads) {
        QCOMPARE(bank.platform.messages, QStringList{"The course text holds more than 5000 entries (" + dir.path()
                                                     + "/big.txt:10001); the question bank cannot hold it."});
    }
}

void BankTest::malformedContentIsRefused_data()
{
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QString>("message"); // after the file's path
    QTest::newRow("raw trailing blank") << QByteArray("@@\nok\n@@\nblank \n")
                                        << ":4: trailing blank (end the line with \\e to keep it)";
    QTest::newRow("tab") << QByteArray("@@\na\tb\n") << ":2: control character U+0009 (tabs included)";
    QTest::newRow("unknown escape") << QByteArray("@@\n\\n\n") << ":2: unknown escape (write \\\\, \\e or \\@)";
    QTest::newRow("backslash at the end") << QByteArray("@@\nx\\\n") << ":2: unknown escape (write \\\\, \\e or \\@)";
    QTest::newRow("text before the first entry") << QByteArray("stray\n@@\n") << ":1: text before the first @@";
    QTest::newRow("unknown @ line") << QByteArray("@@\nx\n@home\n")
                                      << ":3: a line starting with @ must be @@ or @+ (write \\@ for text)";
    QTest::newRow("marker without a blank before its note") << QByteArray("@@1\n")
        << ":1: a line starting with @ must be @@ or @+ (write \\@ for text)";
    QTest::newRow("append before any entry") << QByteArray("@+\nx\n") << ":1: @+ before any entry";
    QTest::newRow("not UTF-8") << QByteArray("@@\n\xff\xfe\n") << ": not UTF-8 text";
    QTest::newRow("C1 control character (found by fuzzing)") << QByteArray("@@\n`\n@+ 2p).\n\n\xc2\x8d**\n")
                                                           << ":5: control character U+008d (tabs included)";
    QTest::newRow("C1 control U+0085 inside a line") << QByteArray("@@\nnext\xc2\x85line\n")
                                                     << ":2: control character U+0085 (tabs included)";
}

void BankTest::malformedContentIsRefused()
{
    QFETCH(QByteArray, source);
    QFETCH(QString, message);
    QTemporaryDir dir;
    LoadedBank bank({writeFile(dir, "bad.txt", source)});
    QVERIFY(!bank.ok);
    QCOMPARE(bank.platform.messages.size(), 1);
    QCOMPARE(bank.platform.messages.first().replace(dir.path(), "<dir>"),
             QStringLiteral("The course text is malformed: <dir>/bad.txt") + message);
}

void BankTest::builtInLandmarks()
{
    LoadedBank bank;
    QVERIFY2(bank.ok, qPrintable(bank.platform.messages.join('\n')));
    const auto &b = inside(bank.form).QuestionBank;
    QCOMPARE(b[0], QString());
    QCOMPARE(b[1], QStringLiteral("001.  `Query 1"));
    QCOMPARE(b[3], QStringLiteral("`qSection 0.1.28 solve x/2-x/3>5"));
    QCOMPARE(b[5].size(), 509);
    QCOMPARE(b[5].count(QLatin1String("\r\n")), 9);
    QVERIFY(b[5].startsWith(QLatin1String("`a It's easiest to avoid denominators where possible.")));
    QVERIFY(b[5].endsWith(QLatin1String("included.**")));
    QCOMPARE(b[7], QStringLiteral("`qSection 0.1 solve 2x^2+1<9x-3"));
    QCOMPARE(b[10].size(), 2204);
    QCOMPARE(b[10].count(QLatin1String("\r\n")), 28);
    QVERIFY(b[10].startsWith(QLatin1String("`a The given inequality rearranges")));
    QCOMPARE(b[12], QStringLiteral("002.  `Query 2"));
    QCOMPARE(b[618], QStringLiteral("015.  `query 15"));
    QCOMPARE(b[619], QStringLiteral("assignment # 15 "));
    QVERIFY(b[142].startsWith(QLatin1String("`q")) && b[142].contains(QLatin1String(".{}{}")));
    QCOMPARE(b[867], QString());
    QCOMPARE(b[868], QString());
    for (int i = 869; i <= 5000; ++i)
        QVERIFY(b[i].isEmpty());
    QCOMPARE(inside(bank.form).bankIndex, 0);
    int questionModel = 0;
    for (int i = 12; i <= 178; ++i)
        questionModel += b[i] == QLatin1String("`qWhat is your function model?");
    QCOMPARE(questionModel, 1);
}

void BankTest::catalogue_data()
{
    QTest::addColumn<int>("assignment");
    for (int n = 1; n <= 29; ++n)
        QTest::newRow(qPrintable(QStringLiteral("assignment %1").arg(n))) << n;
}

void BankTest::catalogue()
{
    QFETCH(int, assignment);
    LoadedBank bank;
    QVERIFY(bank.ok);
    const auto &b = inside(bank.form).QuestionBank;
    const Counts &want = shippedCounts[assignment - 1];
    const QString heading = QStringLiteral("%1.  `%2 %3")
                                .arg(assignment, 3, 10, QLatin1Char('0'))
                                .arg(assignment <= 2 ? QStringLiteral("Query") : QStringLiteral("query"))
                                .arg(assignment);
    int first = -1;
    for (int i = 1; i <= 5000 && first < 0; ++i)
        if (b[i] == heading)
            first = i;
    int last = first;
    while (last + 1 <= 868 && !isHeading(b[last + 1]))
        ++last;
    Counts got{first, last, last - first + 1, 0, 0, 0, 0};
    for (int i = first + 1; i <= last && first > 0; ++i) {
        const QString &e = b[i];
        if (e.isEmpty())
            ++got.e;
        else if (e.startsWith(QLatin1String("`q")))
            ++got.q;
        else if (e.startsWith(QLatin1String("`a")))
            ++got.a;
        else
            ++got.u;
        QVERIFY2(e.left(8).toLower() != QLatin1String("`routine"), qPrintable(QStringLiteral("routine entry at %1").arg(i)));
        for (const QChar c : e)
            QVERIFY2(c.unicode() >= 32 && c.unicode() != 127 ? (c.unicode() < 128 || c == QChar(0xB7) || c == QChar(0x2013) || c == QChar(0x201C))
                                                             : (c == QLatin1Char('\r') || c == QLatin1Char('\n')),
                     qPrintable(QStringLiteral("entry %1 holds U+%2").arg(i).arg(c.unicode(), 4, 16, QLatin1Char('0'))));
    }
    QStringList differences;
    const char *names[] = {"first index", "last index", "entries", "questions", "answers", "untagged", "empty"};
    const int gotValues[] = {got.first, got.last, got.entries, got.q, got.a, got.u, got.e};
    const int wantValues[] = {want.first, want.last, want.entries, want.q, want.a, want.u, want.e};
    for (int c = 0; c < 7; ++c)
        if (gotValues[c] != wantValues[c])
            differences << QStringLiteral("%1: %2, not %3").arg(QLatin1String(names[c])).arg(gotValues[c]).arg(wantValues[c]);
    QVERIFY2(differences.isEmpty(), qPrintable(QStringLiteral("assignment %1: ").arg(assignment) + differences.join("; ")));
}

void BankTest::bankTotals()
{
    LoadedBank bank;
    QVERIFY(bank.ok);
    const auto &b = inside(bank.form).QuestionBank;
    int written = 0, headings = 0, q = 0, a = 0, u = 0, empty = 0, withBreaks = 0, qBreaks = 0, aBreaks = 0;
    int mostBreaks = 0, entriesWithMost = 0, longest = 0, longestQ = 0, qBlank = 0, aBlank = 0, endStars = 0;
    int hasStars = 0, braces = 0, braceIndex = 0;
    QString longestKind;
    for (int i = 1; i <= 5000; ++i)
        if (!b[i].isEmpty())
            written = i;
    for (int i = 1; i <= written; ++i) {
        const QString &e = b[i];
        const int breaks = int(e.count(QLatin1String("\r\n")));
        const bool isQ = e.startsWith(QLatin1String("`q")), isA = e.startsWith(QLatin1String("`a"));
        empty += e.isEmpty();
        headings += isHeading(e);
        q += isQ;
        a += isA;
        u += !e.isEmpty() && !isQ && !isA && !isHeading(e);
        withBreaks += breaks > 0;
        qBreaks += isQ && breaks > 0;
        aBreaks += isA && breaks > 0;
        if (breaks > mostBreaks) {
            mostBreaks = breaks;
            entriesWithMost = 0;
        }
        entriesWithMost += breaks == mostBreaks;
        if (e.size() > longest) {
            longest = int(e.size());
            longestKind = isA ? QStringLiteral("answer") : QStringLiteral("other");
        }
        if (isQ)
            longestQ = std::max(longestQ, int(e.size()));
        qBlank += isQ && e.mid(2, 1) == QLatin1String(" ");
        aBlank += isA && e.mid(2, 1) == QLatin1String(" ");
        QString trimmed = e;
        while (trimmed.endsWith(QLatin1Char(' ')))
            trimmed.chop(1);
        endStars += isA && trimmed.endsWith(QLatin1String("**"));
        hasStars += isA && e.contains(QLatin1String("**"));
        if (e.contains(QLatin1String("{}"))) {
            ++braces;
            braceIndex = i;
        }
    }
    // The last written entry is followed by the two empty entries 867 and 868.
    QCOMPARE(written, 866);
    QCOMPARE(headings, 29);
    QCOMPARE(q, 203);
    QCOMPARE(a, 214);
    QCOMPARE(u, 11);
    QCOMPARE(empty + 2, 411);
    QCOMPARE(withBreaks, 189);
    QCOMPARE(qBreaks, 30);
    QCOMPARE(aBreaks, 159);
    QCOMPARE(mostBreaks, 64);
    QCOMPARE(entriesWithMost, 1);
    QCOMPARE(longest, 3017);
    QCOMPARE(longestKind, QStringLiteral("answer"));
    QCOMPARE(longestQ, 281);
    QCOMPARE(qBlank, 43);
    QCOMPARE(aBlank, 198);
    QCOMPARE(endStars, 199);
    QCOMPARE(hasStars, 204);
    QCOMPARE(braces, 1);
    QCOMPARE(braceIndex, 142);
}

void BankTest::departures()
{
    LoadedBank bank;
    QVERIFY(bank.ok);
    const auto &b = inside(bank.form).QuestionBank;
    for (int i : {676, 742, 813, 829, 860})
        QVERIFY2(b[i].startsWith(QLatin1String("`a**")), qPrintable(QString::number(i)));
    // Assignment 18 opens with two answer entries.
    QStringList opening;
    for (int i = 675; i <= 686 && opening.size() < 3; ++i)
        if (!b[i].isEmpty())
            opening << b[i].left(2);
    QCOMPARE(opening, (QStringList{"`a", "`a", "`q"}));
    // Untagged entries: five closing prompts, five of blanks only, one opening of assignment 15.
    int prompts = 0, blanks = 0, others = 0;
    for (int i = 1; i <= 868; ++i) {
        const QString &e = b[i];
        if (e.isEmpty() || isHeading(e) || e.startsWith(QLatin1String("`q")) || e.startsWith(QLatin1String("`a")))
            continue;
        if (e.contains(QLatin1String("Add comments on any surprises or insights")))
            ++prompts;
        else if (e.trimmed().isEmpty())
            ++blanks;
        else {
            QCOMPARE(e, QStringLiteral("assignment # 15 "));
            ++others;
        }
    }
    QCOMPARE(prompts, 5);
    QCOMPARE(blanks, 5);
    QCOMPARE(others, 1);
}

QTEST_MAIN(BankTest)
#include "tst_bank.moc"
