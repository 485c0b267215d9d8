// The course table made at build time against the course text it was made
// from (the course holds quotes, backslashes, question marks and characters
// beyond ASCII, so every escape of the generated literals is exercised), and
// the build step's refusal of malformed course files.

#include "scriptedplatform.h"
#include "tests/formaccess.h"

#include "bank/compiledcourse.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

class CompiledCourseTest : public QObject
{
    Q_OBJECT
private slots:
    void tableEqualsTheRuntimeParse();
    void buildStepRefusesMalformedText_data();
    void buildStepRefusesMalformedText();
    void charactersBeyondTheBasicPlaneAreWrittenWhole();
};

void CompiledCourseTest::tableEqualsTheRuntimeParse()
{
    const QDir source(QStringLiteral(COURSE_TEXT_DIR));
    QStringList files;
    for (const QString &name : source.entryList({QStringLiteral("*.txt")}, QDir::Files, QDir::Name))
        files << source.filePath(name);
    QCOMPARE(files.size(), 29);

    ScriptedPlatform parsedPlatform, compiledPlatform;
    QueryForm parsed(parsedPlatform), compiled(compiledPlatform);
    parsed.setBankFiles(files);
    QVERIFY2(parsed.loadQuestionBank(), qPrintable(parsedPlatform.messages.join('\n')));
    QVERIFY(compiled.loadQuestionBank());
    QCOMPARE(inside(compiled).bankIndex, 0);
    QCOMPARE(compiledCourseEntries().size(), 868);
    for (int i = 0; i < QueryForm::bankSize; ++i) {
        const QString &a = inside(parsed).QuestionBank[i], &b = inside(compiled).QuestionBank[i];
        if (a == b)
            continue;
        qsizetype at = 0;
        while (at < a.size() && at < b.size() && a.at(at) == b.at(at))
            ++at;
        QFAIL(qPrintable(QStringLiteral("entry %1 differs at character %2: source \"%3\", compiled \"%4\"")
                             .arg(i)
                             .arg(at)
                             .arg(a.mid(at, 40), b.mid(at, 40))));
    }
}

namespace {

struct ToolRun
{
    int status = -1;
    QString errors;
    QByteArray output; ///< the generated source, empty when none was written
};

ToolRun runTool(const QTemporaryDir &dir, const QStringList &contentFiles, int capacity = 5000)
{
    const QString out = dir.filePath(QStringLiteral("compiledcourse.cpp"));
    QFile::remove(out);
    QProcess tool;
    tool.start(QStringLiteral(COMPILE_COURSE), QStringList{out, QString::number(capacity)} + contentFiles);
    ToolRun run;
    if (!tool.waitForFinished(30000) || tool.exitStatus() != QProcess::NormalExit)
        return run;
    run.status = tool.exitCode();
    run.errors = QString::fromLocal8Bit(tool.readAllStandardError());
    QFile generated(out);
    if (generated.open(QIODevice::ReadOnly))
        run.output = generated.readAll();
    return run;
}

} // namespace

void CompiledCourseTest::buildStepRefusesMalformedText_data()
{
    QTest::addColumn<QByteArray>("second");
    QTest::addColumn<int>("capacity");
    QTest::addColumn<QString>("where");
    QTest::newRow("raw trailing blank") << QByteArray("@@\nok\n@@\nblank \n") << 5000 << "002.txt:4: error: ";
    QTest::newRow("tab") << QByteArray("@@\na\tb\n") << 5000 << "002.txt:2: error: ";
    QTest::newRow("unknown escape") << QByteArray("@@\nok\n\\n\n") << 5000 << "002.txt:3: error: ";
    QTest::newRow("append before any entry") << QByteArray("@+\nx\n") << 5000 << "002.txt:1: error: ";
    QTest::newRow("not UTF-8, on its line") << QByteArray("@@\nok\nnot \xff\n") << 5000 << "002.txt:3: error: ";
    QTest::newRow("more entries than the bank holds, counted over both files")
        << QByteArray("@@\nb\n@@\nc\n") << 3 << "002.txt:3: error: ";
}

void CompiledCourseTest::buildStepRefusesMalformedText()
{
    QFETCH(QByteArray, second);
    QFETCH(int, capacity);
    QFETCH(QString, where);
    QTemporaryDir dir;
    const QString first = writeFile(dir, QStringLiteral("001.txt"), "@@\nfine\n@@\n");
    const ToolRun run = runTool(dir, {first, writeFile(dir, QStringLiteral("002.txt"), second)}, capacity);
    QCOMPARE(run.status, 1);
    QVERIFY2(run.errors.startsWith(dir.filePath(where)), qPrintable(run.errors));
    QVERIFY2(run.output.isEmpty(), "a refused course text must leave no table for the build to use");
}

void CompiledCourseTest::charactersBeyondTheBasicPlaneAreWrittenWhole()
{
    // Each half of a surrogate pair written as \uD835 is ill-formed C++, and
    // the build would fail in the generated table, naming no course file.
    QTemporaryDir dir;
    const ToolRun run = runTool(dir, {writeFile(dir, QStringLiteral("001.txt"), "@@\nlet \xf0\x9d\x91\xa5 = \xc3\xa9\n")});
    QCOMPARE(run.status, 0);
    QVERIFY2(run.output.contains("let \\U0001d465 = \\u00e9"), run.output.constData());
}

QTEST_MAIN(CompiledCourseTest)
#include "tst_compiledcourse.moc"
