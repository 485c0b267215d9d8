#include "scriptedplatform.h"

#include "figures/picturearea.h"

#include <QAccessible>
#include <QDir>
#include <QTest>
#include <QTimer>

namespace {

using Figure = void (QueryForm::*)();

/// The colour of the pixel at a point in user units, looking one pixel
/// around it for `want` (lines land on the nearest pixel row or column).
bool near(const QImage &image, const PictureArea *area, QPointF user, QColor want)
{
    const QPointF p = area->toPixels(user);
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
            const QPoint q(int(p.x()) + dx, int(p.y()) + dy);
            if (image.rect().contains(q) && image.pixelColor(q) == want)
                return true;
        }
    return false;
}

bool blank(const QImage &image, const PictureArea *area, QPointF user)
{
    const QPointF p = area->toPixels(user);
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            if (image.pixelColor(int(p.x()) + dx, int(p.y()) + dy) != QColor(Qt::white))
                return false;
    return true;
}

struct Surface
{
    ScriptedPlatform platform;
    QueryForm form{platform};
    Surface() { form.Picture1->setScale(1000, 1000); }
    QImage draw(std::initializer_list<Figure> figures)
    {
        for (Figure f : figures)
            (form.*f)();
        return form.Picture1->rendered();
    }
};

const QColor black(Qt::black), red(255, 0, 0), green(0, 255, 0);


} // namespace

class FiguresTest : public QObject
{
    Q_OBJECT
private slots:
    void definingPixels_data();
    void definingPixels();
    void graph2WipesGraph1();
    void graph1OverGraph2KeepsBoth();
    void drawingTwiceIsDrawingOnce_data();
    void drawingTwiceIsDrawingOnce();
    void remSpaces_data();
    void remSpaces();
    void runRoutineNames_data();
    void runRoutineNames();
    void nextPicture_data();
    void nextPicture();
    void nextPictureTwice();
    void nextPictureAtTheEndOfTheBank();
    void vennColours_data();
    void vennColours();
    void vennOverVenn();
    void timerDrawsCircles();
    void copyPicture();
    void drawingSurvivesResize();
    void accessibleDescription();
};

void FiguresTest::definingPixels_data()
{
    QTest::addColumn<int>("figure");
    QTest::addColumn<QPointF>("point");
    QTest::addColumn<QColor>("colour");
    QTest::newRow("graph1 horizontal axis") << 1 << QPointF(50, 900) << black;
    QTest::newRow("graph1 vertical axis below the origin") << 1 << QPointF(100, 980) << black;
    QTest::newRow("graph1 cross arm") << 1 << QPointF(385, 685) << black;
    QTest::newRow("graph1 velocity line") << 1 << QPointF(520, 620) << black;
    QTest::newRow("graph2 red run over the axis") << 2 << QPointF(350, 900) << red;
    QTest::newRow("graph2 red rise") << 2 << QPointF(450, 750) << red;
    QTest::newRow("graph2 second red run") << 2 << QPointF(600, 600) << red;
    QTest::newRow("graph2 segment") << 2 << QPointF(575, 500) << black;
    QTest::newRow("graph3 red run") << 3 << QPointF(225, 500) << red;
    QTest::newRow("graph3 green run over the grid") << 3 << QPointF(420, 700) << green;
    QTest::newRow("graph3 green rise") << 3 << QPointF(550, 750) << green;
    QTest::newRow("graph3 axis") << 3 << QPointF(100, 300) << black;
    QTest::newRow("venn3 white outside the figure") << 6 << QPointF(990, 20) << QColor(Qt::white);
}

void FiguresTest::definingPixels()
{
    QFETCH(int, figure);
    QFETCH(QPointF, point);
    QFETCH(QColor, colour);
    const Figure figures[] = {nullptr, &QueryForm::graph1, &QueryForm::graph2, &QueryForm::graph3,
                              &QueryForm::venn1, &QueryForm::venn2, &QueryForm::venn3};
    Surface s;
    const QImage image = s.draw({figures[figure]});
    QVERIFY(near(image, s.form.Picture1, point, colour));
    QVERIFY(s.form.Picture2->rendered().allGray() && s.form.Picture2->rendered().pixelColor(10, 10) == Qt::white);
}

void FiguresTest::graph2WipesGraph1()
{
    Surface s;
    const QImage image = s.draw({&QueryForm::graph1, &QueryForm::graph2});
    QVERIFY(blank(image, s.form.Picture1, QPointF(520, 620)));  // graph1's line
    QVERIFY(blank(image, s.form.Picture1, QPointF(100, 960)));  // graph1's axis below the origin
    QCOMPARE(image, Surface().draw({&QueryForm::graph2}));
}

void FiguresTest::graph1OverGraph2KeepsBoth()
{
    Surface s;
    const QImage image = s.draw({&QueryForm::graph2, &QueryForm::graph1});
    QVERIFY(near(image, s.form.Picture1, QPointF(520, 620), black));
    QVERIFY(near(image, s.form.Picture1, QPointF(450, 750), red));
}

void FiguresTest::drawingTwiceIsDrawingOnce_data()
{
    QTest::addColumn<int>("figure");
    QTest::newRow("graph1") << 1;
    QTest::newRow("graph2") << 2;
    QTest::newRow("graph3") << 3;
}

void FiguresTest::drawingTwiceIsDrawingOnce()
{
    QFETCH(int, figure);
    const Figure f = figure == 1 ? &QueryForm::graph1 : figure == 2 ? &QueryForm::graph2 : &QueryForm::graph3;
    QCOMPARE(Surface().draw({f, f}), Surface().draw({f}));
}

void FiguresTest::remSpaces_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("cleaned");
    QTest::newRow("empty") << "" << "";
    QTest::newRow("spaces and hyphens") << " Graph - 1 " << "Graph1";
    QTest::newRow("other characters kept") << "a_b.c\u00b7" << "a_b.c\u00b7";
}

void FiguresTest::remSpaces()
{
    QFETCH(QString, text);
    QFETCH(QString, cleaned);
    QCOMPARE(QueryForm::remSpaces(text), cleaned);
}

void FiguresTest::runRoutineNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("ends");
    QTest::newRow("graph1") << "graph1" << false;
    QTest::newRow("graph3") << "graph3" << false;
    QTest::newRow("venn1 is not reachable") << "venn1" << true;
    QTest::newRow("empty name") << "" << true;
    QTest::newRow("capitals are not lowered here") << "Graph1" << true;
}

void FiguresTest::runRoutineNames()
{
    QFETCH(QString, name);
    QFETCH(bool, ends);
    Surface s;
    s.form.runRoutine(name);
    QCOMPARE(s.form.runEnded(), ends);
    QCOMPARE(s.platform.exits, ends ? 1 : 0);
    QVERIFY(s.platform.messages.isEmpty());
}

void FiguresTest::nextPicture_data()
{
    QTest::addColumn<QStringList>("entries"); // entries after the heading; bankIndex starts on the heading
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("drawn");
    QTest::addColumn<bool>("ends");
    QTest::newRow("no routine at e+1 or e+2") << QStringList{"`qa", "`qb", "`routine graph1"} << 1 << false << false;
    QTest::newRow("routine at e+2 only") << QStringList{"`qa", "`routine graph1"} << 3 << true << false;
    QTest::newRow("routines at e+1 and e+3") << QStringList{"`routine graph2", "`qb", "`routine graph1"} << 4 << true
                                             << false;
    QTest::newRow("routine at e+1, none at e+3") << QStringList{"`routine graph2", "`routine graph1", "`qc"} << 2
                                                 << true << false;
    QTest::newRow("unknown name ends the run") << QStringList{"`routine venn1"} << 1 << false << true;
    QTest::newRow("marker alone ends the run") << QStringList{"`routine"} << 1 << false << true;
    QTest::newRow("no separator loses a letter") << QStringList{"`routinegraph1"} << 1 << false << true;
}

void FiguresTest::nextPicture()
{
    QFETCH(QStringList, entries);
    QFETCH(int, index);
    QFETCH(bool, drawn);
    QFETCH(bool, ends);
    TestRun run(bankOfAssignmentOne(entries));
    QVERIFY(run.start());
    const QImage before = run.form->Picture1->rendered();
    run.form->cmdNextPictureClick();
    QCOMPARE(run.form->runEnded(), ends);
    if (!ends)
        QCOMPARE(run.form->bankIndex, index);
    QCOMPARE(run.form->Picture1->rendered() != before, drawn);
}

void FiguresTest::nextPictureTwice()
{
    TestRun run(bankOfAssignmentOne({"`routine graph2", "`routine graph1", "`qc", "`qd"}));
    QVERIFY(run.start());
    run.form->cmdNextPictureClick();
    QCOMPARE(run.form->bankIndex, 2);
    run.form->cmdNextPictureClick();
    QCOMPARE(run.form->bankIndex, 3);
    // The walk goes on after the figures.
    run.form->cmdNextQuestionClick();
    QCOMPARE(run.boxQuestion(), QStringLiteral("\r\n\r\nc"));
}

void FiguresTest::nextPictureAtTheEndOfTheBank()
{
    Surface s;
    s.form.QuestionBank[5000] = QStringLiteral("`routine graph1");
    s.form.bankIndex = 4999;
    s.form.cmdNextPictureClick();
    QCOMPARE(s.form.bankIndex, 5000);
    s.form.cmdNextPictureClick(); // looks beyond 5000: nothing there, nothing read
    QCOMPARE(s.form.bankIndex, 5000);
    QVERIFY(!s.form.runEnded());
}

void FiguresTest::vennColours_data()
{
    QTest::addColumn<float>("draw");
    QTest::addColumn<QColor>("colour");
    QTest::newRow("lowest draw gives 100") << 0.0f << QColor(100, 100, 100);
    QTest::newRow("highest draw gives 255") << 0.99999994f << QColor(255, 255, 255);
    QTest::newRow("a half rounds to even (177.5 to 178)") << 0.5f << QColor(178, 178, 178);
}

void FiguresTest::vennColours()
{
    QFETCH(float, draw);
    QFETCH(QColor, colour);
    Surface s;
    s.platform.randoms = {draw, draw, draw, 0.0f, 0.0f, 0.99999994f};
    const QImage image = s.draw({&QueryForm::venn1});
    QCOMPARE(s.platform.randomsDrawn, 6);
    if (colour != QColor(Qt::white))
        QVERIFY(near(image, s.form.Picture1, QPointF(25, 500), colour));       // left edge of the first circle
    QVERIFY(near(image, s.form.Picture1, QPointF(975, 500), QColor(100, 100, 255))); // right edge of the second
    // Round on screen: the top of the circle is 300 horizontal units above the centre.
    const PictureArea *p = s.form.Picture1;
    const qreal radiusPixels = 300.0 * p->surface().width() / 1000;
    const QPointF top = p->toPixels(QPointF(975 - 300, 500)) - QPointF(0, radiusPixels);
    bool found = false;
    for (int dy = -1; dy <= 1; ++dy)
        found |= image.rect().contains(top.toPoint() + QPoint(0, dy))
                 && image.pixelColor(top.toPoint() + QPoint(0, dy)) == QColor(100, 100, 255);
    QVERIFY(found);
}

void FiguresTest::vennOverVenn()
{
    Surface s;
    s.platform.randoms = {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f};
    const QImage image = s.draw({&QueryForm::venn1, &QueryForm::venn2});
    QCOMPARE(s.platform.randomsDrawn, 12);
    QVERIFY(near(image, s.form.Picture1, QPointF(25, 500), QColor(178, 178, 178)));
}

void FiguresTest::timerDrawsCircles()
{
    TestRun run(bankOfAssignmentOne({"`qa"}));
    QVERIFY(run.start());
    const QByteArray master = run.file(QStringLiteral("masterFile.txt"));
    QTimer *timer = run.form->tmr_pend_exp;
    QVERIFY(!timer->isActive());
    QTest::qWait(50);
    QCOMPARE(run.platform.beeps, 0);
    run.form->cmdPendExpClick();
    QVERIFY(timer->isActive());
    QCOMPARE(timer->interval(), 15);
    const int drawn = run.platform.randomsDrawn;
    run.platform.randoms = QList<float>(drawn, 0.0f) << 0.5f << 0.5f << 0.5f << 0.5f;
    QTRY_VERIFY(run.platform.beeps >= 2);
    run.form->cmdPendExpClick();
    QVERIFY(timer->isActive());
    QCOMPARE(timer->interval(), 15);
    const QImage image = run.form->Picture1->rendered();
    QVERIFY(near(image, run.form->Picture1, QPointF(250, 500), black)); // radius 250 about (500, 500)
    QCOMPARE(run.file(QStringLiteral("masterFile.txt")), master);
    QCOMPARE(run.platform.beeps, run.platform.randomsDrawn - drawn);
}

void FiguresTest::copyPicture()
{
    Surface s;
    QImage stored(20, 10, QImage::Format_RGB32);
    stored.fill(Qt::blue);
    // Picture1 has no stored picture: Picture2 keeps what it shows.
    s.form.Picture2->setStoredPicture(stored);
    s.form.cmdCopyPictureClick();
    QCOMPARE(s.form.Picture2->storedPicture(), stored);
    // A stored picture goes across through the clipboard; the drawing does not.
    s.form.graph1();
    QImage green(8, 8, QImage::Format_RGB32);
    green.fill(Qt::green);
    s.form.Picture1->setStoredPicture(green);
    s.form.cmdCopyPictureClick();
    QCOMPARE(s.form.Picture2->storedPicture(), green);
    QCOMPARE(s.platform.clipboard, green);
    QVERIFY(!near(s.form.Picture2->rendered(), s.form.Picture2, QPointF(520, 620), black));
    // Without a clipboard the program goes on.
    s.platform.hasClipboard = false;
    s.form.Picture1->setStoredPicture(stored);
    s.form.cmdCopyPictureClick();
    QCOMPARE(s.form.Picture2->storedPicture(), green);
}

void FiguresTest::drawingSurvivesResize()
{
    Surface s;
    s.form.show();
    s.form.graph2();
    const QImage before = s.form.Picture1->grab().toImage();
    s.form.hide();
    s.form.show();
    s.form.Picture1->repaint();
    QCOMPARE(s.form.Picture1->grab().toImage(), before);
}

void FiguresTest::accessibleDescription()
{
    Surface s;
    s.form.graph2();
    QVERIFY(QAccessible::queryAccessibleInterface(s.form.Picture1)->text(QAccessible::Description).contains(QLatin1String("slope 75")));
    s.form.graph3();
    QVERIFY(QAccessible::queryAccessibleInterface(s.form.Picture1)->text(QAccessible::Description).contains(QLatin1String("depth")));
}

QTEST_MAIN(FiguresTest)
#include "tst_figures.moc"
