// The two arguments the program answers: the real program is started with no
// display in reach and a fresh home, so a window or a folder made before the
// answer shows up as a crash or as a file left in that home.

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

class CommandLineTest : public QObject
{
    Q_OBJECT
private slots:
    void answersWithoutDisplayOrFolder_data();
    void answersWithoutDisplayOrFolder();
    void withoutDisplay_data();
    void withoutDisplay();
};

namespace {

/// The program's surroundings: no display in reach, a fresh home.
QProcessEnvironment noDisplay(const QString &home, const QString &platform)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME",
                             "XDG_RUNTIME_DIR"})
        env.remove(QString::fromLatin1(name));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
    env.insert(QStringLiteral("HOME"), home);
    return env;
}

} // namespace

void CommandLineTest::answersWithoutDisplayOrFolder_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("expected"); // a pattern the whole output must match

    const QString study = QStringLiteral(CALCULUS_STUDY_PROGRAM), review = QStringLiteral(CALCULUS_STUDY_REVIEW);
    const QString help = QStringLiteral(
        "Usage: calculus-study \\[--help \\| --version\\]\n\nA study program for the course Applied Calculus I\\."
        ".*masterFile\\.txt, send_MMDD\\.txt and notes_\\.txt in that folder\n\\(Windows-1252, CR LF line "
        "endings\\)\\. The folder is \\S*crsfiles\nunless you choose another\\.\n\n.*"
        "--version  print the version and exit\n.*calculus-study\\(1\\)\\.\n");
    const QString version = QStringLiteral("calculus-study \\d+\\.\\d+\\.\\d+\nCopyright \\d{4} .*; MIT licence\\.\n");

    QTest::newRow("help") << study << QStringList{QStringLiteral("--help")} << help;
    QTest::newRow("version") << study << QStringList{QStringLiteral("--version")} << version;
    QTest::newRow("help after an ignored argument")
        << study << QStringList{QStringLiteral("-style"), QStringLiteral("fusion"), QStringLiteral("--help")} << help;
    QTest::newRow("the first of the two wins")
        << study << QStringList{QStringLiteral("--version"), QStringLiteral("--help")} << version;
    QTest::newRow("the review's help")
        << review << QStringList{QStringLiteral("--help")}
        << "Usage: calculus-study-review \\[--help \\| --version\\]\n\nReviews your own weak questions of the "
           "course Applied Calculus I.*masterFile\\.txt\n.*calculus-study-review\\(1\\)\\.\n";
    QTest::newRow("the review's version")
        << review << QStringList{QStringLiteral("--version")}
        << "calculus-study-review \\d+\\.\\d+\\.\\d+\nCopyright \\d{4} .*; MIT licence\\.\n";
    const QString classReport = QStringLiteral(CLASS_REPORT_PROGRAM);
    QTest::newRow("the class report's help")
        << classReport << QStringList{QStringLiteral("--help")}
        << "Usage: calculus-study-class-report \\[--help \\| --version\\]\n\nThe instructor's class report without a "
           "console: .*\"NAME report\" beside the class folder.*calculus-study-class-report\\(1\\)\\.\n";
    QTest::newRow("the class report's version")
        << classReport << QStringList{QStringLiteral("--version")}
        << "calculus-study-class-report \\d+\\.\\d+\\.\\d+\nCopyright \\d{4} .*; MIT licence\\.\n";
}

void CommandLineTest::answersWithoutDisplayOrFolder()
{
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    QFETCH(QString, expected);

    QTemporaryDir home;
    QVERIFY(home.isValid());
    QProcess run;
    // The X11 platform with no display fails if a QApplication is made.
    run.setProcessEnvironment(noDisplay(home.path(), QStringLiteral("xcb")));
    run.setWorkingDirectory(home.path());
    run.start(program, arguments);
    QVERIFY(run.waitForFinished(30000));

    QCOMPARE(run.exitStatus(), QProcess::NormalExit);
    QCOMPARE(run.exitCode(), 0);
    QCOMPARE(QString::fromLocal8Bit(run.readAllStandardError()), QString());
    // Standard output is text: Windows ends its lines with CR LF.
    const QString output = QString::fromLocal8Bit(run.readAllStandardOutput()).replace(QLatin1String("\r\n"),
                                                                                       QLatin1String("\n"));
    QRegularExpression pattern(QRegularExpression::anchoredPattern(expected),
                               QRegularExpression::DotMatchesEverythingOption);
    QVERIFY2(pattern.match(output).hasMatch(), qPrintable(output));
    const QStringList left = QDir(home.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    QVERIFY2(left.isEmpty(), qPrintable(left.join(QLatin1Char(' '))));
}

void CommandLineTest::withoutDisplay_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("platform");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status"); // -1: still running, asking its first question
    const QString study = QStringLiteral(CALCULUS_STUDY_PROGRAM), classReport = QStringLiteral(CLASS_REPORT_PROGRAM);
#ifndef Q_OS_WIN
    // Windows always has a display; a Windows program without its platform
    // plugin is a broken install, which Qt itself tells in a message box.
    QTest::newRow("no display: one line and status 1") << study << "xcb" << QStringList() << 1;
    QTest::newRow("the class report's window, no display: one line and status 1")
        << classReport << "xcb" << QStringList() << 1;
#endif
    // Passed on to the toolkit, -platform would choose the display there is not.
    QTest::newRow("a toolkit option is an ignored argument")
        << study << "offscreen" << QStringList{QStringLiteral("-platform"), QStringLiteral("xcb")} << -1;
    QTest::newRow("the class report's window: a toolkit option is ignored, its chooser asks")
        << classReport << "offscreen" << QStringList{QStringLiteral("-platform"), QStringLiteral("xcb")} << -1;
}

void CommandLineTest::withoutDisplay()
{
    QFETCH(QString, program);
    QFETCH(QString, platform);
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QTemporaryDir home;
    QVERIFY(home.isValid());
    QProcess run;
    run.setProcessEnvironment(noDisplay(home.path(), platform));
    run.setWorkingDirectory(home.path());
    run.start(program, arguments);
    QVERIFY(run.waitForStarted());
    if (status < 0) {
        QVERIFY(!run.waitForFinished(3000));
        run.kill();
        run.waitForFinished();
        return;
    }
    QVERIFY(run.waitForFinished(30000));
    QCOMPARE(run.exitStatus(), QProcess::NormalExit);
    QCOMPARE(run.exitCode(), status);
    const QString error = QString::fromLocal8Bit(run.readAllStandardError());
    const QString name = QFileInfo(program).completeBaseName();
    QVERIFY2(QRegularExpression(QStringLiteral("^%1: cannot show its window: [^\\n]+\\n$").arg(name)).match(error).hasMatch(),
             qPrintable(error));
}

QTEST_GUILESS_MAIN(CommandLineTest)
#include "tst_commandline.moc"
