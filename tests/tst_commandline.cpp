// The two arguments the program answers: the real program is started with no
// display in reach and a fresh home, so a window or a folder made before the
// answer shows up as a crash or as a file left in that home.

#include <QDir>
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
};

void CommandLineTest::answersWithoutDisplayOrFolder_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("expected"); // a pattern the whole output must match

    const QString help = QStringLiteral(
        "Usage: calculus-study \\[--help \\| --version\\]\n\nA study program for the course Applied Calculus I\\."
        ".*masterFile\\.txt, send_MMDD\\.txt and notes_\\.txt in that folder\n\\(Windows-1252, CR LF line "
        "endings\\)\\. The folder is \\S*crsfiles\nunless you choose another\\.\n\n.*"
        "--version  print the version and exit\n.*calculus-study\\(1\\)\\.\n");
    const QString version = QStringLiteral("calculus-study \\d+\\.\\d+\\.\\d+\nCopyright \\d{4} .*; MIT licence\\.\n");

    QTest::newRow("help") << QStringList{QStringLiteral("--help")} << help;
    QTest::newRow("version") << QStringList{QStringLiteral("--version")} << version;
    QTest::newRow("help after an ignored argument")
        << QStringList{QStringLiteral("-style"), QStringLiteral("fusion"), QStringLiteral("--help")} << help;
    QTest::newRow("the first of the two wins")
        << QStringList{QStringLiteral("--version"), QStringLiteral("--help")} << version;
}

void CommandLineTest::answersWithoutDisplayOrFolder()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, expected);

    QTemporaryDir home;
    QVERIFY(home.isValid());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME",
                             "XDG_RUNTIME_DIR"})
        env.remove(QString::fromLatin1(name));
    // The X11 platform with no display aborts the program if a QApplication is made.
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("HOME"), home.path());

    QProcess program;
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(home.path());
    program.start(QStringLiteral(CALCULUS_STUDY_PROGRAM), arguments);
    QVERIFY(program.waitForFinished(30000));

    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    QCOMPARE(QString::fromLocal8Bit(program.readAllStandardError()), QString());
    const QString output = QString::fromLocal8Bit(program.readAllStandardOutput());
    QRegularExpression pattern(QRegularExpression::anchoredPattern(expected),
                               QRegularExpression::DotMatchesEverythingOption);
    QVERIFY2(pattern.match(output).hasMatch(), qPrintable(output));
    const QStringList left = QDir(home.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    QVERIFY2(left.isEmpty(), qPrintable(left.join(QLatin1Char(' '))));
}

QTEST_GUILESS_MAIN(CommandLineTest)
#include "tst_commandline.moc"
