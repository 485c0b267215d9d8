// The Windows .ico and the macOS .icns that app/tools/iconfile.py packs,
// read back with Qt's own ICO and ICNS readers (the ones a Mac's Qt uses):
// every side is there and holds exactly the picture given.

#include <QDir>
#include <QFile>
#include <QtEndian>
#include <QImage>
#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

class IconFilesTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void packed_data();
    void packed();
    void refused_data();
    void refused();
};

namespace {

const QString icons = QStringLiteral(ICONS_DIR);

QString png(int side)
{
    return QStringLiteral("%1/calculus-study-%2.png").arg(icons).arg(side);
}

/// Runs the packer in `folder`; its exit status, and what it wrote to standard error.
int pack(const QStringList &arguments, const QString &folder, QString &error)
{
    QProcess packer;
    packer.setWorkingDirectory(folder);
    packer.start(QStringLiteral(PYTHON), QStringList{QStringLiteral(ICON_PACKER)} + arguments);
    if (!packer.waitForFinished(30000))
        return -1;
    error = QString::fromUtf8(packer.readAllStandardError());
    return packer.exitStatus() == QProcess::NormalExit ? packer.exitCode() : -1;
}

} // namespace

void IconFilesTest::initTestCase()
{
    for (const QByteArray &format : {QByteArrayLiteral("ico"), QByteArrayLiteral("icns")})
        QVERIFY2(QImageReader::supportedImageFormats().contains(format),
                 "Qt's reader for " + format + " is missing (Debian: qt6-image-formats-plugins for icns)");
}

void IconFilesTest::packed_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QList<int>>("sides");
    QTest::addColumn<QString>("chunks"); // icns: the chunk types in the file, as Apple names the PNG of each side
    QTest::newRow("ico, every side the program has") << "ico" << QList<int>{16, 32, 48, 64, 128, 256} << "";
    QTest::newRow("ico, given largest first") << "ico" << QList<int>{256, 16} << "";
    QTest::newRow("ico, one side") << "ico" << QList<int>{48} << "";
    QTest::newRow("icns, the sides it has types for")
        << "icns" << QList<int>{16, 32, 64, 128, 256} << "icp4 icp5 icp6 ic07 ic08";
    QTest::newRow("icns, given largest first") << "icns" << QList<int>{256, 128, 16} << "icp4 ic07 ic08";
}

void IconFilesTest::packed()
{
    QFETCH(QString, kind);
    QFETCH(QList<int>, sides);
    QFETCH(QString, chunks);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString output = dir.filePath(QStringLiteral("icon.") + kind);
    QStringList arguments{kind, output};
    for (const int side : sides)
        arguments << png(side);
    QString error;
    QCOMPARE(pack(arguments, dir.path(), error), 0);
    QCOMPARE(error, QString());

    QImageReader reader(output, kind.toLatin1());
    QVERIFY2(reader.canRead(), qPrintable(reader.errorString()));
    QCOMPARE(reader.imageCount(), int(sides.size()));
    QList<int> read;
    for (int i = 0; i < reader.imageCount(); ++i) {
        QVERIFY(reader.jumpToImage(i));
        const QImage image = reader.read();
        QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
        QCOMPARE(image.width(), image.height());
        read << image.width();
        const QImage given(png(image.width()));
        QCOMPARE(image.convertToFormat(QImage::Format_ARGB32), given.convertToFormat(QImage::Format_ARGB32));
    }
    std::sort(read.begin(), read.end());
    std::sort(sides.begin(), sides.end());
    QCOMPARE(read, sides);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("icon.") + kind});

    // macOS picks a picture by its chunk's type, which Qt's reader does not look at.
    if (kind == QLatin1String("icns")) {
        QFile file(output);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        const auto length = [&](qsizetype at) { return qFromBigEndian<quint32>(bytes.constData() + at); };
        QCOMPARE(bytes.left(4), QByteArray("icns"));
        QCOMPARE(length(4), quint32(bytes.size()));
        QStringList types;
        for (qsizetype at = 8; at + 8 <= bytes.size(); at += length(at + 4))
            types << QString::fromLatin1(bytes.mid(at, 4));
        QCOMPARE(types.join(QLatin1Char(' ')), chunks);
    }
}

void IconFilesTest::refused_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QStringList>("pictures"); // "<n>": the icon's PNG of side n, or a file of the test's
    QTest::addColumn<QString>("message");      // what the packer says, after "iconfile.py: "
    QTest::newRow("icns has no type for 48") << "icns" << QStringList{"<16>", "<48>"} << "<48>: 48 pixels; an .icns holds sides of 16, 32, 64, 128, 256, 512, 1024";
    QTest::newRow("two pictures of one side") << "ico" << QStringList{"<32>", "<32>"} << "two pictures of the same side: <32> <32>";
    QTest::newRow("not a PNG") << "ico" << QStringList{"<16>", "icon.svg"} << "icon.svg: not a PNG picture";
    QTest::newRow("not square") << "ico" << QStringList{"wide.png"} << "wide.png: 20 by 10 pixels, not square";
    QTest::newRow("ico over 256") << "ico" << QStringList{"large.png"} << "large.png: 512 pixels; an .ico holds sides of 1 to 256";
    QTest::newRow("a missing picture") << "icns" << QStringList{"missing.png"} << "[Errno 2] No such file or directory: 'missing.png'";
}

void IconFilesTest::refused()
{
    QFETCH(QString, kind);
    QFETCH(QStringList, pictures);
    QFETCH(QString, message);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QFile::copy(icons + QStringLiteral("/calculus-study.svg"), dir.filePath(QStringLiteral("icon.svg"))));
    QVERIFY(QImage(20, 10, QImage::Format_ARGB32).save(dir.filePath(QStringLiteral("wide.png"))));
    QVERIFY(QImage(512, 512, QImage::Format_ARGB32).save(dir.filePath(QStringLiteral("large.png"))));
    for (const int side : {16, 32, 48})
        message.replace(QStringLiteral("<%1>").arg(side), png(side));
    QStringList arguments{kind, QStringLiteral("out")};
    for (const QString &picture : pictures)
        arguments << (picture.startsWith(QLatin1Char('<')) ? png(picture.mid(1, picture.size() - 2).toInt()) : picture);

    QString error;
    QCOMPARE(pack(arguments, dir.path(), error), 1);
    QCOMPARE(error, QStringLiteral("iconfile.py: ") + message + QLatin1Char('\n'));
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("out"))));
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("out.partial"))));
}

QTEST_GUILESS_MAIN(IconFilesTest)
#include "tst_iconfiles.moc"
