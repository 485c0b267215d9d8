#include "scriptedplatform.h"
#include "tests/formaccess.h"

#include "ui/wrapbutton.h"

#include <QDir>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QTest>

// Renders the window with a question and an answer showing, at the scale
// factor the process was started with (QT_SCALE_FACTOR), saves the image and
// checks that every caption fits in its control.
class RenderTest : public QObject
{
    Q_OBJECT
private slots:
    void windowIsWhole();
};

void RenderTest::windowIsWhole()
{
    TestRun run;
    QVERIFY(run.start());
    run.form->show();
    QVERIFY(QTest::qWaitForWindowExposed(run.form.get()));
    inside(*run.form).cmdNextQuestionClick();
    inside(*run.form).cmdNextQuestionClick();
    run.form->graph2();
    run.typeAnswer(QStringLiteral("I multiplied by 6 as well, but forgot that the endpoint is not included."));

    const QString factor = qEnvironmentVariable("QT_SCALE_FACTOR", QStringLiteral("1"));
    const QImage image = run.form->grab().toImage();
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

QTEST_MAIN(RenderTest)
#include "tst_render.moc"
