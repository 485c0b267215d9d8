#include "scriptedplatform.h"
#include "tests/formaccess.h"

#include "ui/wrapbutton.h"

#include <QApplication>
#include <QDir>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QStyleFactory>
#include <QTest>

// Renders the window with a question and an answer showing, at the scale
// factor the process was started with (QT_SCALE_FACTOR), saves the image and
// checks that every caption fits in its control.
class RenderTest : public QObject
{
    Q_OBJECT
private slots:
    void windowIsWhole();
    void sameUnderEverySystemStyle_data();
    void sameUnderEverySystemStyle();
};

namespace {

/// The window as windowIsWhole() leaves it, rendered.
QImage rendered(TestRun &run)
{
    if (!run.start())
        return QImage();
    run.form->show();
    if (!QTest::qWaitForWindowExposed(run.form.get()))
        return QImage();
    inside(*run.form).cmdNextQuestionClick();
    inside(*run.form).cmdNextQuestionClick();
    run.form->graph2();
    run.typeAnswer(QStringLiteral("I multiplied by 6 as well, but forgot that the endpoint is not included."));
    return run.form->grab().toImage();
}

} // namespace

void RenderTest::windowIsWhole()
{
    TestRun run;
    const QImage image = rendered(run);
    const QString factor = qEnvironmentVariable("QT_SCALE_FACTOR", QStringLiteral("1"));
    QCOMPARE(image.size(), (QSizeF(725, 573) * factor.toDouble()).toSize());
    const QString path = QDir::current().filePath(QStringLiteral("window-scale-%1.png").arg(factor));
    QVERIFY(image.save(path));

    for (WrapButton *button : run.form->findChildren<WrapButton *>()) {
        // The display notes sliver (9 pixels wide) and the small "pend exp"
        // button (25 high, for two lines) are made too small on purpose.
        if (button->objectName() == QLatin1String("cmd_display_note_file")
            || button->objectName() == QLatin1String("cmd_pend_exp"))
            continue;
        const QRect box = button->captionRect();
        const QRect needed = button->fontMetrics().boundingRect(box, Qt::AlignCenter | Qt::TextWordWrap, button->text());
        QVERIFY2(box.contains(needed),
                 qPrintable(QStringLiteral("%1 clipped at %2").arg(button->objectName(), factor)));
    }
    for (QLabel *label : run.form->findChildren<QLabel *>()) {
        const QRect needed = label->fontMetrics().boundingRect(label->rect(), Qt::TextWordWrap, label->text());
        QVERIFY2(needed.height() <= label->height() + 2,
                 qPrintable(QStringLiteral("%1 clipped at %2: %3 in %4").arg(label->objectName(), factor).arg(needed.height()).arg(label->height())));
    }
}

void RenderTest::sameUnderEverySystemStyle_data()
{
    QTest::addColumn<QString>("style");
    for (const QString &style : QStyleFactory::keys())
        if (style.compare(QLatin1String("Fusion"), Qt::CaseInsensitive) != 0)
            QTest::newRow(qPrintable(style)) << style;
}

void RenderTest::sameUnderEverySystemStyle()
{
    // The form is checked above with Fusion: under any style a system has,
    // it must draw exactly as checked.
    QFETCH(QString, style);
    QApplication::setCursorFlashTime(0);
    const QString before = QApplication::style()->name();
    QApplication::setStyle(QStringLiteral("Fusion"));
    TestRun checked;
    const QImage expected = rendered(checked);
    QApplication::setStyle(style);
    TestRun underStyle;
    const QImage image = rendered(underStyle);
    QApplication::setStyle(before);
    QVERIFY(!expected.isNull());
    QVERIFY(image == expected);
}

QTEST_MAIN(RenderTest)
#include "tst_render.moc"
