#include "scriptedplatform.h"
#include "tests/formaccess.h"

#include "figures/pictureaccessible.h"
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

/// True when some pixel between two points in user units is not white.
bool inked(const QImage &image, const PictureArea *area, QPointF from, QPointF to)
{
    const QRect box = QRectF(area->toPixels(from), area->toPixels(to)).toRect() & image.rect();
    for (int y = box.top(); y <= box.bottom(); ++y)
        for (int x = box.left(); x <= box.right(); ++x)
            if (image.pixelColor(x, y) != QColor(Qt::white))
                return true;
    return false;
}

struct Surface
{
    ScriptedPlatform platform;
    QList<PictureArea::Drawn> log;
    QueryForm form{platform};
    Surface()
    {
        inside(form).Picture1->setScale(1000, 1000);
        inside(form).Picture1->setDrawingLog(&log);
    }
    QImage draw(std::initializer_list<Figure> figures)
    {
        for (Figure f : figures)
            (form.*f)();
        return inside(form).Picture1->rendered();
    }
};

const QColor black(Qt::black), red(255, 0, 0), green(0, 255, 0);

/// What was drawn, one text per operation: kind, points in user units, colour; text last.
QStringList described(const QList<PictureArea::Drawn> &log)
{
    QStringList out;
    const auto at = [](QPointF p) { return QStringLiteral(" %1,%2").arg(p.x()).arg(p.y()); };
    for (const PictureArea::Drawn &d : log) {
        const QColor c = d.colour;
        const QString colour = c == black ? QStringLiteral("black") : c == QColor(255, 255, 255) ? QStringLiteral("white")
                               : c == red ? QStringLiteral("red") : c == green ? QStringLiteral("green")
                               : QStringLiteral("rgb(%1,%2,%3)").arg(c.red()).arg(c.green()).arg(c.blue());
        if (d.kind == 'T')
            out << QLatin1Char('T') + at(d.from) + (c == black ? QString() : QLatin1Char(' ') + colour) + QLatin1Char(' ') + d.text;
        else if (d.kind == 'C')
            out << QLatin1Char('C') + at(d.from) + QStringLiteral(" r%1 ").arg(d.radius) + colour;
        else
            out << QLatin1Char(d.kind) + at(d.from) + at(d.to) + QLatin1Char(' ') + colour;
    }
    return out;
}

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
    QTest::addColumn<QStringList>("drawn");
    QTest::addColumn<QPointF>("point"); // one pixel of the drawing surface
    QTest::addColumn<QColor>("colour");
    const QStringList vGrid = {"L 200,900 200,100 black", "L 300,900 300,100 black", "L 400,900 400,100 black",
                               "L 500,900 500,100 black", "L 600,900 600,100 black", "L 700,900 700,100 black"};
    const QStringList ends = {"T 900,950 t", "T 900,870 >", "T 90,100 ^"};
    const QStringList hGrid = {"L 100,400 900,400 black", "L 100,500 900,500 black", "L 100,600 900,600 black",
                               "L 100,700 900,700 black", "L 100,800 900,800 black"};
    QTest::newRow("graph1") << 1
        << QStringList{"T 300,50 velocity v vs. clock time t", "L 0,900 900,900 black", "L 100,1000 100,100 black"}
               + ends + QStringList{"T 50,100 v", "L 100,900 700,500 black", "T 50,500 4", "T 50,600 3", "T 50,700 2",
                                    "T 50,800 1"} + hGrid.mid(1)
               + QStringList{"T 200,950 1", "T 300,950 2", "T 400,950 3", "T 500,950 4", "T 600,950 5", "T 700,950 6"}
               + vGrid + QStringList{"L 370,670 430,730 black", "L 430,670 370,730 black"}
        << QPointF(520, 620) << black;
    QTest::newRow("graph2") << 2
        << QStringList{"B 0,0 1000,1000 white", "T 10,400 5500", "T 10,500 5400", "T 10,600 5300", "T 10,700 5200",
                       "T 10,800 5100", "T 10,900 5000"} + hGrid
               + QStringList{"T 200,950 2", "T 300,950 4", "T 400,950 6", "T 500,950 8", "T 590,950 10", "T 690,950 12"}
               + vGrid
               + QStringList{"T 300,50 Value y (dollars) vs. clock time t (months)", "L 0,900 900,900 black",
                             "L 100,100 100,900 black", "L 250,900 450,600 black", "L 250,900 450,900 red",
                             "T 300,850 run 4", "L 450,900 450,600 red", "T 470,750 rise 300", "T 250,650 slope 75",
                             "L 450,600 700,400 black", "L 450,600 700,600 red", "T 550,550 run 5",
                             "L 700,600 700,400 red", "T 720,500 rise 200", "T 430,450 slope 40"}
               + ends + QStringList{"T 50,100 y"}
        << QPointF(450, 750) << red;
    QTest::newRow("graph3") << 3
        << QStringList{"B 0,0 1000,1000 white", "T 10,400 100", "T 10,500 80", "T 10,600 60", "T 10,700 40",
                       "T 10,800 20"} + hGrid
               + QStringList{"T 200,950 20", "T 300,950 40", "T 400,950 60", "T 500,950 80", "T 590,950 100"} + vGrid
               + QStringList{"T 300,50 Depth y (dollars) vs. clock time t (seconds)", "L 0,900 900,900 black",
                             "L 100,900 100,100 black", "L 150,500 300,700 black", "L 150,500 300,500 red",
                             "T 180,440 run 30", "L 300,500 300,700 red", "T 320,550 rise -40", "T 110,650 slope -1.33",
                             "L 300,700 550,800 black", "L 300,700 550,700 green", "T 430,640 run 50",
                             "L 550,700 550,800 green", "T 570,750 rise -20", "T 300,750 slope -.4"}
               + ends + QStringList{"T 50,100 y"}
        << QPointF(420, 700) << green;
    // Colours from the scripted draws 0, 0.5, 1- for the first circle and 1-, 0, 0.5 for the second.
    const QStringList diagram = {"C 325,500 r300 rgb(100,178,255)", "C 675,500 r300 rgb(255,100,178)",
                                 "T 500,500 I", "T 200,500 II", "T 800,500 III", "T 30,30 IV"};
    QTest::newRow("venn1") << 4 << diagram << QPointF(25, 500) << QColor(100, 178, 255);
    QTest::newRow("venn2") << 5
        << diagram + QStringList{"T 400,400 a", "T 570,570 c", "T 520,250 f", "T 240,260 b", "T 300,600 d",
                                 "T 200,680 e", "T 700,440 g", "T 800,620 k"}
        << QPointF(975, 500) << QColor(255, 100, 178);
    QTest::newRow("venn3") << 6
        << QStringList{"B 0,0 1000,1000 white"} + diagram
               + QStringList{"T 200,950 Total 1st Circle 20", "T 700,950 Total 2d Circle 15", "T 530,700 8",
                             "T 250,290 12", "T 700,340 7", "T 10,150 8"}
        << QPointF(990, 20) << QColor(Qt::white);
}

void FiguresTest::definingPixels()
{
    QFETCH(int, figure);
    QFETCH(QStringList, drawn);
    QFETCH(QPointF, point);
    QFETCH(QColor, colour);
    const Figure figures[] = {nullptr, &QueryForm::graph1, &QueryForm::graph2, &QueryForm::graph3,
                              &QueryForm::venn1, &QueryForm::venn2, &QueryForm::venn3};
    Surface s;
    s.platform.randoms = {0.0f, 0.5f, 0.99999994f, 0.99999994f, 0.0f, 0.5f};
    const QImage image = s.draw({figures[figure]});
    QCOMPARE(described(s.log), drawn);
    QVERIFY(near(image, inside(s.form).Picture1, point, colour));
    QVERIFY(inside(s.form).Picture2->rendered().allGray() && inside(s.form).Picture2->rendered().pixelColor(10, 10) == Qt::white);
}

void FiguresTest::graph2WipesGraph1()
{
    Surface s;
    const QImage image = s.draw({&QueryForm::graph1, &QueryForm::graph2});
    QVERIFY(blank(image, inside(s.form).Picture1, QPointF(520, 620)));  // graph1's line
    QVERIFY(blank(image, inside(s.form).Picture1, QPointF(100, 960)));  // graph1's axis below the origin
    QCOMPARE(image, Surface().draw({&QueryForm::graph2}));
}

void FiguresTest::graph1OverGraph2KeepsBoth()
{
    Surface s;
    const QImage image = s.draw({&QueryForm::graph2, &QueryForm::graph1});
    QVERIFY(near(image, inside(s.form).Picture1, QPointF(520, 620), black));
    QVERIFY(near(image, inside(s.form).Picture1, QPointF(450, 750), red));
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
    Surface once;
    const QImage image = once.draw({f});
    QCOMPARE(Surface().draw({f, f}), image);
    // The title's character cell hangs below its top-left corner (300, 50), not above it.
    QVERIFY(!inked(image, inside(once.form).Picture1, {300, 0}, {900, 45}));
    QVERIFY(inked(image, inside(once.form).Picture1, {300, 50}, {900, 110}));
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
    QTest::addColumn<QString>("title"); // of the figure drawn; none when the run ends
    QTest::newRow("graph1") << "graph1" << "velocity v vs. clock time t";
    QTest::newRow("graph2") << "graph2" << "Value y (dollars) vs. clock time t (months)";
    QTest::newRow("graph3") << "graph3" << "Depth y (dollars) vs. clock time t (seconds)";
    QTest::newRow("venn1 is not reachable") << "venn1" << "";
    QTest::newRow("empty name") << "" << "";
    QTest::newRow("capitals are not lowered here") << "Graph1" << "";
}

void FiguresTest::runRoutineNames()
{
    QFETCH(QString, name);
    QFETCH(QString, title);
    const bool ends = title.isEmpty();
    Surface s;
    s.form.runRoutine(name);
    QCOMPARE(s.form.runEnded(), ends);
    QCOMPARE(s.platform.exits, ends ? 1 : 0);
    QVERIFY(s.platform.messages.isEmpty());
    QCOMPARE(described(s.log).filter(QLatin1String("T 300,50 ")), ends ? QStringList() : QStringList{"T 300,50 " + title});
}

void FiguresTest::nextPicture_data()
{
    QTest::addColumn<QStringList>("entries"); // entries after the heading; bankIndex starts on the heading
    QTest::addColumn<int>("index");
    QTest::addColumn<QStringList>("titles"); // of the figures drawn, in order
    QTest::addColumn<bool>("ends");
    const QString g1 = QStringLiteral("velocity v vs. clock time t");
    const QString g2 = QStringLiteral("Value y (dollars) vs. clock time t (months)");
    QTest::newRow("no routine at e+1 or e+2") << QStringList{"`qa", "`qb", "`routine graph1"} << 1 << QStringList()
                                              << false;
    QTest::newRow("routine at e+2 only") << QStringList{"`qa", "`routine graph1"} << 3 << QStringList{g1} << false;
    QTest::newRow("routines at e+1 and e+3") << QStringList{"`routine graph2", "`qb", "`routine graph1"} << 4
                                             << QStringList{g2, g1} << false;
    QTest::newRow("routine at e+1, none at e+3") << QStringList{"`routine graph2", "`routine graph1", "`qc"} << 2
                                                 << QStringList{g2} << false;
    QTest::newRow("unknown name ends the run") << QStringList{"`routine venn1"} << 1 << QStringList() << true;
    QTest::newRow("marker alone ends the run") << QStringList{"`routine"} << 1 << QStringList() << true;
    QTest::newRow("no separator loses a letter") << QStringList{"`routinegraph1"} << 1 << QStringList() << true;
}

void FiguresTest::nextPicture()
{
    QFETCH(QStringList, entries);
    QFETCH(int, index);
    QFETCH(QStringList, titles);
    QFETCH(bool, ends);
    TestRun run(bankOfAssignmentOne(entries));
    QVERIFY(run.start());
    const QImage before = inside(*run.form).Picture1->rendered();
    QList<PictureArea::Drawn> log;
    inside(*run.form).Picture1->setDrawingLog(&log);
    inside(*run.form).cmdNextPictureClick();
    QCOMPARE(run.form->runEnded(), ends);
    if (!ends)
        QCOMPARE(inside(*run.form).bankIndex, index);
    QStringList drawnTitles;
    for (const PictureArea::Drawn &d : log)
        if (d.kind == 'T' && d.from == QPointF(300, 50))
            drawnTitles << d.text;
    QCOMPARE(drawnTitles, titles);
    QCOMPARE(inside(*run.form).Picture1->rendered() != before, !titles.isEmpty());
}

void FiguresTest::nextPictureTwice()
{
    TestRun run(bankOfAssignmentOne({"`routine graph2", "`routine graph1", "`qc", "`qd"}));
    QVERIFY(run.start());
    inside(*run.form).cmdNextPictureClick();
    QCOMPARE(inside(*run.form).bankIndex, 2);
    inside(*run.form).cmdNextPictureClick();
    QCOMPARE(inside(*run.form).bankIndex, 3);
    // The walk goes on after the figures.
    inside(*run.form).cmdNextQuestionClick();
    QCOMPARE(run.boxQuestion(), QStringLiteral("\r\n\r\nc"));
}

void FiguresTest::nextPictureAtTheEndOfTheBank()
{
    Surface s;
    inside(s.form).QuestionBank[5000] = QStringLiteral("`routine graph1");
    inside(s.form).bankIndex = 4999;
    inside(s.form).cmdNextPictureClick();
    QCOMPARE(inside(s.form).bankIndex, 5000);
    inside(s.form).cmdNextPictureClick(); // looks beyond 5000: nothing there, nothing read
    QCOMPARE(inside(s.form).bankIndex, 5000);
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
        QVERIFY(near(image, inside(s.form).Picture1, QPointF(25, 500), colour));       // left edge of the first circle
    QVERIFY(near(image, inside(s.form).Picture1, QPointF(975, 500), QColor(100, 100, 255))); // right edge of the second
    // Round on screen: the top of the circle is 300 horizontal units above the centre.
    const PictureArea *p = inside(s.form).Picture1;
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
    QVERIFY(near(image, inside(s.form).Picture1, QPointF(25, 500), QColor(178, 178, 178)));
}

void FiguresTest::timerDrawsCircles()
{
    TestRun run(bankOfAssignmentOne({"`qa"}));
    QVERIFY(run.start());
    const QByteArray master = run.file(QStringLiteral("masterFile.txt"));
    QTimer *timer = inside(*run.form).tmr_pend_exp;
    QVERIFY(!timer->isActive());
    QTest::qWait(50);
    QCOMPARE(run.platform.beeps, 0);
    inside(*run.form).cmdPendExpClick();
    QVERIFY(timer->isActive());
    QCOMPARE(timer->interval(), 15);
    const int drawn = run.platform.randomsDrawn;
    run.platform.randoms = QList<float>(drawn, 0.0f) << 0.5f << 0.5f << 0.5f << 0.5f;
    QList<PictureArea::Drawn> log;
    inside(*run.form).Picture1->setDrawingLog(&log);
    QTRY_VERIFY(run.platform.beeps >= 2);
    inside(*run.form).cmdPendExpClick();
    QVERIFY(timer->isActive());
    QCOMPARE(timer->interval(), 15);
    const QImage image = inside(*run.form).Picture1->rendered();
    QVERIFY(near(image, inside(*run.form).Picture1, QPointF(250, 500), black)); // radius 250 about (500, 500)
    QCOMPARE(run.file(QStringLiteral("masterFile.txt")), master);
    QCOMPARE(run.platform.beeps, run.platform.randomsDrawn - drawn);
    // Each tick draws one outline in the foreground colour about the middle, radius r * 500.
    const QStringList circles = described(log);
    QCOMPARE(circles.size(), run.platform.beeps);
    QCOMPARE(circles.mid(0, 2), QStringList({"C 500,500 r250 black", "C 500,500 r250 black"}));
    for (const PictureArea::Drawn &d : log)
        QVERIFY(d.kind == 'C' && d.from == QPointF(500, 500) && d.radius >= 0 && d.radius < 500 && d.colour == black);
}

void FiguresTest::copyPicture()
{
    Surface s;
    QImage stored(20, 10, QImage::Format_RGB32);
    stored.fill(Qt::blue);
    // Picture1 has no stored picture: Picture2 keeps what it shows, and the
    // clipboard keeps the picture another program put there.
    QImage elsewhere(6, 6, QImage::Format_RGB32);
    elsewhere.fill(Qt::red);
    s.platform.clipboard = elsewhere;
    inside(s.form).Picture2->setStoredPicture(stored);
    inside(s.form).cmdCopyPictureClick();
    QCOMPARE(inside(s.form).Picture2->storedPicture(), stored);
    QCOMPARE(s.platform.clipboard, elsewhere);
    QCOMPARE(PictureDescription::of(inside(s.form).Picture2)->text(), QStringLiteral("empty"));
    // A stored picture goes across through the clipboard; the drawing does not.
    s.form.graph1();
    QImage green(8, 8, QImage::Format_RGB32);
    green.fill(Qt::green);
    inside(s.form).Picture1->setStoredPicture(green);
    inside(s.form).cmdCopyPictureClick();
    QCOMPARE(inside(s.form).Picture2->storedPicture(), green);
    QCOMPARE(s.platform.clipboard, green);
    QVERIFY(!near(inside(s.form).Picture2->rendered(), inside(s.form).Picture2, QPointF(520, 620), black));
    // Without a clipboard the program goes on.
    s.platform.hasClipboard = false;
    inside(s.form).Picture1->setStoredPicture(stored);
    inside(s.form).cmdCopyPictureClick();
    QCOMPARE(inside(s.form).Picture2->storedPicture(), green);
}

void FiguresTest::drawingSurvivesResize()
{
    Surface s;
    s.form.show();
    s.form.graph2();
    const QImage before = inside(s.form).Picture1->grab().toImage();
    s.form.hide();
    s.form.show();
    inside(s.form).Picture1->repaint();
    QCOMPARE(inside(s.form).Picture1->grab().toImage(), before);
    QCOMPARE(inside(s.form).Picture2->grab().toImage().pixelColor(50, 50), QColor(Qt::white)); // an area's background
}

void FiguresTest::accessibleDescription()
{
    Surface s;
    s.form.graph2();
    QVERIFY(QAccessible::queryAccessibleInterface(inside(s.form).Picture1)->text(QAccessible::Description).contains(QLatin1String("slope 75")));
    s.form.graph3();
    QVERIFY(QAccessible::queryAccessibleInterface(inside(s.form).Picture1)->text(QAccessible::Description).contains(QLatin1String("depth")));
}

QTEST_MAIN(FiguresTest)
#include "tst_figures.moc"
