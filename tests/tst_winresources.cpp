// The icon and the version information Windows shows for each program
// (Explorer's file properties, the task bar, the installed-programs list),
// read back from the built .exe files with Windows' own calls.

#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>

#include <qt_windows.h>

#include <algorithm>
#include <string>

class WindowsResourcesTest : public QObject
{
    Q_OBJECT
private slots:
    void versionInformation_data();
    void versionInformation();
    void icon_data();
    void icon();
};

namespace {

/// The version resource of `program`, empty when it has none.
QByteArray versionBlock(const QString &program)
{
    const auto path = reinterpret_cast<const wchar_t *>(program.utf16());
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(path, &ignored);
    QByteArray block(int(size), '\0');
    if (size == 0 || !::GetFileVersionInfoW(path, 0, size, block.data()))
        return QByteArray();
    return block;
}

/// A value of the block's US English, Unicode string table; null when missing.
QString versionString(const QByteArray &block, const QString &name)
{
    const QString key = QStringLiteral("\\StringFileInfo\\040904B0\\") + name;
    void *value = nullptr;
    UINT length = 0;
    if (!::VerQueryValueW(block.constData(), reinterpret_cast<const wchar_t *>(key.utf16()), &value, &length)
        || !value)
        return QString();
    return QString::fromWCharArray(static_cast<const wchar_t *>(value));
}

/// What `program --version` prints, lines joined by LF.
QStringList printedVersion(const QString &program)
{
    QProcess process;
    process.start(program, {QStringLiteral("--version")});
    if (!process.waitForFinished(30000))
        return {};
    return QString::fromLocal8Bit(process.readAllStandardOutput()).split(QRegularExpression(QStringLiteral("\r?\n")),
                                                                         Qt::SkipEmptyParts);
}

/// A resource's name: a number, or a text that lives only as long as the
/// enumeration call that gave it, so it is copied.
struct ResourceName
{
    quintptr number = 0;
    std::wstring text;
    bool found = false;
    LPCWSTR get() const { return text.empty() ? MAKEINTRESOURCEW(number) : text.c_str(); }
};

BOOL CALLBACK firstName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR out)
{
    auto *first = reinterpret_cast<ResourceName *>(out);
    if (IS_INTRESOURCE(name))
        first->number = reinterpret_cast<quintptr>(name);
    else
        first->text = name;
    first->found = true;
    return FALSE;
}

} // namespace

void WindowsResourcesTest::versionInformation_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("description");
    QTest::newRow("the study program") << QStringLiteral(CALCULUS_STUDY_PROGRAM)
                                       << "Calculus Study, a study program for Applied Calculus I";
    QTest::newRow("the report program") << QStringLiteral(REPORT_PROGRAM)
                                        << "Calculus Study report, the instructor's report of students' files";
    QTest::newRow("the class report's window")
        << QStringLiteral(CLASS_REPORT_PROGRAM)
        << "Calculus Study class report, the instructor's report without a console";
}

void WindowsResourcesTest::versionInformation()
{
    QFETCH(QString, program);
    QFETCH(QString, description);
    const QByteArray block = versionBlock(program);
    QVERIFY2(!block.isEmpty(), "no version resource");

    // The version Windows shows is the one the program prints.
    const QStringList printed = printedVersion(program);
    QVERIFY(!printed.isEmpty());
    const QRegularExpressionMatch version =
        QRegularExpression(QStringLiteral(" (\\d+)\\.(\\d+)\\.(\\d+)$")).match(printed.first());
    QVERIFY2(version.hasMatch(), qPrintable(printed.first()));
    const QString dotted = version.captured(0).trimmed();
    void *fixedValue = nullptr;
    UINT length = 0;
    QVERIFY(::VerQueryValueW(block.constData(), L"\\", &fixedValue, &length));
    const auto *fixed = static_cast<const VS_FIXEDFILEINFO *>(fixedValue);
    QCOMPARE(fixed->dwSignature, DWORD(0xFEEF04BD));
    QCOMPARE(fixed->dwFileVersionMS, DWORD(version.captured(1).toUInt() << 16 | version.captured(2).toUInt()));
    QCOMPARE(fixed->dwFileVersionLS, DWORD(version.captured(3).toUInt() << 16));
    QCOMPARE(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
    QCOMPARE(fixed->dwProductVersionLS, fixed->dwFileVersionLS);
    QCOMPARE(fixed->dwFileType, DWORD(VFT_APP));
    QCOMPARE(versionString(block, QStringLiteral("FileVersion")), dotted);
    QCOMPARE(versionString(block, QStringLiteral("ProductVersion")), dotted);

    QCOMPARE(versionString(block, QStringLiteral("ProductName")), QStringLiteral("Calculus Study"));
    QCOMPARE(versionString(block, QStringLiteral("FileDescription")), description);
    QCOMPARE(versionString(block, QStringLiteral("OriginalFilename")), QFileInfo(program).fileName());
    QCOMPARE(versionString(block, QStringLiteral("CompanyName")), QStringLiteral("Calculus Study maintainers"));
    QVERIFY(QRegularExpression(QStringLiteral("^Copyright \\d{4} .+; MIT licence$"))
                .match(versionString(block, QStringLiteral("LegalCopyright")))
                .hasMatch());
    if (printed.size() > 1) // the study program prints its copyright too: the same words
        QCOMPARE(versionString(block, QStringLiteral("LegalCopyright")) + QLatin1Char('.'), printed.at(1));
}

void WindowsResourcesTest::icon_data()
{
    QTest::addColumn<QString>("program");
    QTest::newRow("the study program") << QStringLiteral(CALCULUS_STUDY_PROGRAM);
    QTest::newRow("the report program") << QStringLiteral(REPORT_PROGRAM);
    QTest::newRow("the class report's window") << QStringLiteral(CLASS_REPORT_PROGRAM);
}

void WindowsResourcesTest::icon()
{
    QFETCH(QString, program);
    const HMODULE module =
        ::LoadLibraryExW(reinterpret_cast<const wchar_t *>(program.utf16()), nullptr,
                         LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    QVERIFY(module);
    const auto unload = qScopeGuard([module] { ::FreeLibrary(module); });
    ResourceName first;
    ::EnumResourceNamesW(module, RT_GROUP_ICON, firstName, reinterpret_cast<LONG_PTR>(&first));
    QVERIFY2(first.found, "no icon");
    const LPCWSTR group = first.get();

    // The group's directory: a header of three words, then 14 bytes per picture.
    const HRSRC found = ::FindResourceW(module, group, RT_GROUP_ICON);
    QVERIFY(found);
    const auto *directory = static_cast<const uchar *>(::LockResource(::LoadResource(module, found)));
    QVERIFY(directory);
    const int count = directory[4] | directory[5] << 8;
    QList<int> sides;
    for (int i = 0; i < count; ++i) {
        const int side = directory[6 + 14 * i];
        sides.append(side == 0 ? 256 : side);
    }
    std::sort(sides.begin(), sides.end());
    QCOMPARE(sides, QList<int>({16, 24, 32, 48, 64, 256}));

    // Windows draws each side from its own picture.
    for (const int side : sides) {
        const auto icon = static_cast<HICON>(::LoadImageW(module, group, IMAGE_ICON, side, side, 0));
        QVERIFY2(icon, qPrintable(QStringLiteral("side %1 not loaded").arg(side)));
        ICONINFO info;
        QVERIFY(::GetIconInfo(icon, &info));
        BITMAP bitmap;
        const bool measured = ::GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
        if (info.hbmColor)
            ::DeleteObject(info.hbmColor);
        ::DeleteObject(info.hbmMask);
        ::DestroyIcon(icon);
        QVERIFY(measured);
        QCOMPARE(int(bitmap.bmWidth), side);
    }
}

QTEST_GUILESS_MAIN(WindowsResourcesTest)
#include "tst_winresources.moc"
