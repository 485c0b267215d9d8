// What "display SEND" and "display notes" put in the question box, line
// ending by line ending: every CR, CR LF or lone LF of the file starts a new
// line in the box, and the file's final line ending adds no empty line.

#include "scriptedplatform.h"
#include "tests/formaccess.h"

#include <QFile>
#include <QPlainTextEdit>
#include <QTest>

class DisplayLinesTest : public QObject
{
    Q_OBJECT
private slots:
    void shownAfterTheBoxText_data();
    void shownAfterTheBoxText();
};

void DisplayLinesTest::shownAfterTheBoxText_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("send");
    QTest::addColumn<QString>("notes");
    QTest::newRow("CR LF lines") << QByteArray("a\r\nb\r\n") << "Q\r\na\r\nb" << "Q\r\n\r\na\r\nb";
    QTest::newRow("lone CR ends a line") << QByteArray("a\rb\r") << "Q\r\na\r\nb" << "Q\r\n\r\na\r\nb";
    QTest::newRow("empty last line kept") << QByteArray("a\r\r") << "Q\r\na\r\n" << "Q\r\n\r\na\r\n";
    QTest::newRow("no ending after the last line") << QByteArray("a\r\nb") << "Q\r\na\r\nb" << "Q\r\n\r\na\r\nb";
    QTest::newRow("lone LF inside a line") << QByteArray("a\nb\r\n") << "Q\r\na\r\nb" << "Q\r\n\r\na\r\nb";
    QTest::newRow("lone LF at the end stays") << QByteArray("a\n") << "Q\r\na\r\n" << "Q\r\n\r\na\r\n";
    QTest::newRow("only a line ending") << QByteArray("\r\n") << "Q\r\n" << "Q\r\n\r\n";
    QTest::newRow("empty file") << QByteArray() << "Q" << "Q\r\n\r\n";
    QTest::newRow("Windows-1252 bytes") << QByteArray("\x93x\x94\r\n") << "Q\r\n\u201cx\u201d" << "Q\r\n\r\n\u201cx\u201d";
}

void DisplayLinesTest::shownAfterTheBoxText()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, send);
    QFETCH(QString, notes);
    QTemporaryDir dir;
    ScriptedPlatform platform;
    QueryForm form(platform);
    inside(form).outputFolder = dir.path();
    inside(form).sendFilePath = dir.filePath(QStringLiteral("send_0306.txt"));
    inside(form).notesFilePath = dir.filePath(QStringLiteral("notes_.txt"));
    for (const QString &path : {inside(form).sendFilePath, inside(form).notesFilePath}) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(file);
    }
    inside(form).txt_question->setPlainText(QStringLiteral("Q"));
    inside(form).cmdDisplaySendFileClick();
    QCOMPARE(QueryForm::boxText(inside(form).txt_question), send);
    inside(form).txt_question->setPlainText(QStringLiteral("Q"));
    inside(form).cmdDisplayNoteFileClick();
    QCOMPARE(QueryForm::boxText(inside(form).txt_question), notes);
    QVERIFY(platform.messages.isEmpty());
}

QTEST_MAIN(DisplayLinesTest)
#include "tst_displaylines.moc"
