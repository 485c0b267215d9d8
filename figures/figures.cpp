#include "flow/queryform.h"

#include "figures/pictureaccessible.h"
#include "figures/picturearea.h"
#include "platform/platform.h"

#include <QTimer>

#include <cmath>
#include <vector>

namespace {

const QColor white = PictureArea::colourFromComponents(255, 255, 255);
const QColor red = PictureArea::colourFromComponents(255, 0, 0);
const QColor green = PictureArea::colourFromComponents(0, 255, 0);

struct Label
{
    float x, y;
    const char *text;
};

} // namespace

/// A graph of a quantity against clock time made of two straight segments,
/// each with its run, rise and slope: graph2 and graph3 differ only in these.
struct QueryForm::RateGraph
{
    struct Segment
    {
        QPointF from, to;
        QColor colour; // of the run and the rise
        Label run, rise, slope;
    };
    std::vector<const char *> yLabels; // from the top grid line down, 100 units apart
    std::vector<Label> tLabels;
    const char *title;
    QPointF yAxisFrom, yAxisTo;
    Segment segments[2];
    const char *description;
};

void QueryForm::scalePictureAreas()
{
    Picture1->setScale(1000, 1000);
    Picture2->setScale(1000, 1000);
}

void QueryForm::printAt(float x, float y, const QString &text)
{
    Picture1->setCurrentPosition(QPointF(x, y));
    Picture1->printLine(text);
}

QString QueryForm::remSpaces(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text)
        if (c != QLatin1Char(' ') && c != QLatin1Char('-'))
            out.append(c);
    return out;
}

void QueryForm::runRoutine(const QString &routine)
{
    if (routine == QLatin1String("graph1"))
        graph1();
    else if (routine == QLatin1String("graph2"))
        graph2();
    else if (routine == QLatin1String("graph3"))
        graph3();
    else
        endRun();
}

void QueryForm::graph1()
{
    auto line = [this](float x1, float y1, float x2, float y2) { Picture1->line({x1, y1}, {x2, y2}); };
    printAt(300, 50, QStringLiteral("velocity v vs. clock time t"));
    line(0, 900, 900, 900);
    line(100, 1000, 100, 100);
    printAt(900, 950, QStringLiteral("t"));
    printAt(900, 870, QStringLiteral(">"));
    printAt(90, 100, QStringLiteral("^"));
    printAt(50, 100, QStringLiteral("v"));
    line(100, 900, 700, 500);
    const char *vLabels[] = {"4", "3", "2", "1"};
    for (int i = 0; i < 4; ++i)
        printAt(50, 500 + 100 * i, QLatin1String(vLabels[i]));
    for (int i = 0; i < 4; ++i)
        line(100, 500 + 100 * i, 900, 500 + 100 * i);
    for (int i = 0; i < 6; ++i)
        printAt(200 + 100 * i, 950, QString::number(i + 1));
    for (int i = 0; i < 6; ++i)
        line(200 + 100 * i, 900, 200 + 100 * i, 100);
    line(370, 670, 430, 730);
    line(430, 670, 370, 730);
    PictureDescription::of(Picture1)->addFigure(QStringLiteral(
        "graph of velocity v against clock time t (a straight line from t 0, v 0 to t 6, v 4; "
        "the point t 3, v 2 marked by a cross)"));
}

void QueryForm::graph2()
{
    static const RateGraph shape = {
        {"5500", "5400", "5300", "5200", "5100", "5000"},
        {{200, 950, "2"}, {300, 950, "4"}, {400, 950, "6"}, {500, 950, "8"}, {590, 950, "10"}, {690, 950, "12"}},
        "Value y (dollars) vs. clock time t (months)",
        {100, 100},
        {100, 900},
        {{{250, 900}, {450, 600}, red, {300, 850, "run 4"}, {470, 750, "rise 300"}, {250, 650, "slope 75"}},
         {{450, 600}, {700, 400}, red, {550, 550, "run 5"}, {720, 500, "rise 200"}, {430, 450, "slope 40"}}},
        "graph of value y in dollars against clock time t in months (two segments: from 5000 dollars "
        "at month 3 to 5300 at month 7, run 4, rise 300, slope 75; then to 5500 at month 12, run 5, "
        "rise 200, slope 40)",
    };
    drawRateGraph(shape);
}

void QueryForm::graph3()
{
    static const RateGraph shape = {
        {"100", "80", "60", "40", "20"},
        {{200, 950, "20"}, {300, 950, "40"}, {400, 950, "60"}, {500, 950, "80"}, {590, 950, "100"}},
        "Depth y (dollars) vs. clock time t (seconds)",
        {100, 900},
        {100, 100},
        {{{150, 500}, {300, 700}, red, {180, 440, "run 30"}, {320, 550, "rise -40"}, {110, 650, "slope -1.33"}},
         {{300, 700}, {550, 800}, green, {430, 640, "run 50"}, {570, 750, "rise -20"}, {300, 750, "slope -.4"}}},
        "graph of depth y against clock time t in seconds (two falling segments: from depth 80 at "
        "10 seconds to 40 at 40 seconds, run 30, rise -40, slope -1.33; then to 20 at 90 seconds, "
        "run 50, rise -20, slope -.4)",
    };
    drawRateGraph(shape);
}

void QueryForm::drawRateGraph(const RateGraph &graph)
{
    auto line = [this](QPointF from, QPointF to, const QColor &c = QColor()) { Picture1->line(from, to, c); };
    auto print = [this](const Label &l) { printAt(l.x, l.y, QLatin1String(l.text)); };
    Picture1->filledBox({0, 0}, {1000, 1000}, white);
    for (size_t i = 0; i < graph.yLabels.size(); ++i)
        print({10, float(400 + 100 * i), graph.yLabels[i]});
    for (int i = 0; i < 5; ++i)
        line({100, 400.0 + 100 * i}, {900, 400.0 + 100 * i});
    for (const Label &l : graph.tLabels)
        print(l);
    for (int i = 0; i < 6; ++i)
        line({200.0 + 100 * i, 900}, {200.0 + 100 * i, 100});
    printAt(300, 50, QLatin1String(graph.title));
    line({0, 900}, {900, 900});
    line(graph.yAxisFrom, graph.yAxisTo);
    // Each segment with its run and rise drawn as a right triangle beneath it.
    for (const RateGraph::Segment &s : graph.segments) {
        const QPointF corner(s.to.x(), s.from.y());
        line(s.from, s.to);
        line(s.from, corner, s.colour);
        print(s.run);
        line(corner, s.to, s.colour);
        print(s.rise);
        print(s.slope);
    }
    printAt(900, 950, QStringLiteral("t"));
    printAt(900, 870, QStringLiteral(">"));
    printAt(90, 100, QStringLiteral("^"));
    printAt(50, 100, QStringLiteral("y"));
    PictureDescription::of(Picture1)->addFigure(QLatin1String(graph.description), PictureDescription::alone);
}

int QueryForm::randomComponent()
{
    return int(std::nearbyint(double(platform.random()) * 155 + 100));
}

void QueryForm::drawVennDiagram()
{
    for (const float x : {325.0f, 675.0f}) {
        const int r = randomComponent();
        const int g = randomComponent();
        const int b = randomComponent();
        Picture1->circle({x, 500}, 300, PictureArea::colourFromComponents(r, g, b));
    }
    printAt(500, 500, QStringLiteral("I"));
    printAt(200, 500, QStringLiteral("II"));
    printAt(800, 500, QStringLiteral("III"));
    printAt(30, 30, QStringLiteral("IV"));
}

void QueryForm::venn1()
{
    drawVennDiagram();
    PictureDescription::of(Picture1)->addFigure(QStringLiteral(
        "Venn diagram of two overlapping circles (regions I in both, II in the first only, "
        "III in the second only, IV outside both)"));
}

void QueryForm::venn2()
{
    drawVennDiagram();
    const Label letters[] = {{400, 400, "a"}, {570, 570, "c"}, {520, 250, "f"}, {240, 260, "b"},
                             {300, 600, "d"}, {200, 680, "e"}, {700, 440, "g"}, {800, 620, "k"}};
    for (const Label &l : letters)
        printAt(l.x, l.y, QLatin1String(l.text));
    PictureDescription::of(Picture1)->addFigure(QStringLiteral(
        "Venn diagram of two overlapping circles (regions I to IV, with the letters a, c, f, b, d, e, "
        "g and k placed in them)"));
}

void QueryForm::venn3()
{
    Picture1->filledBox({0, 0}, {1000, 1000}, white);
    drawVennDiagram();
    const Label counts[] = {{200, 950, "Total 1st Circle 20"}, {700, 950, "Total 2d Circle 15"},
                            {530, 700, "8"}, {250, 290, "12"}, {700, 340, "7"}, {10, 150, "8"}};
    for (const Label &l : counts)
        printAt(l.x, l.y, QLatin1String(l.text));
    PictureDescription::of(Picture1)->addFigure(QStringLiteral(
        "Venn diagram of two overlapping circles with counts (8 in both, 12 in the first only, "
        "7 in the second only, 8 outside both; first circle total 20, second circle total 15)"), PictureDescription::alone);
}

void QueryForm::cmdNextPictureClick()
{
    for (int k = 1; k <= 2; ++k) {
        const int i = bankIndex + k;
        // Beyond the end of the bank there is no routine entry to draw.
        if (i >= bankSize || !isRoutineEntry(QuestionBank[i]))
            continue;
        runRoutine(routineName(QuestionBank[i]));
        if (ended)
            return;
        bankIndex += k;
    }
}

void QueryForm::cmdCopyPictureClick()
{
    // With no picture to copy nothing changes: the clipboard keeps what it
    // holds (another program's, for one), and Picture2 does not take it.
    if (Picture1->storedPicture().isNull())
        return;
    platform.setClipboardImage(Picture1->storedPicture());
    const QImage copied = platform.clipboardImage();
    if (!copied.isNull()) {
        Picture2->setStoredPicture(copied);
        PictureDescription::of(Picture2)->addFigure(QStringLiteral("copy of the figure"), PictureDescription::alone);
    }
}

void QueryForm::cmdPendExpClick()
{
    if (!tmr_pend_exp->isActive())
        tmr_pend_exp->start();
}

void QueryForm::tmrPendExpTick()
{
    platform.beep();
    const float r = platform.random();
    Picture1->circle({500, 500}, r * 500);
    PictureDescription::of(Picture1)->addTimerCircle();
}
