#include "report/charts.h"

#include "report/xmltext.h"

#include <QStringList>
#include <QXmlStreamWriter>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// Orange to blue (a diverging scheme safe for colour-blind readers), grey for the rest.
const char *const ratingColours[5] = {"#e66101", "#fdb863", "#92c5de", "#0571b0", "#bbbbbb"};
const char *const ratingNames[5] = {"0", "1", "2", "3", "other"};

int spreadAt(const Spread &s, int i)
{
    return i < 4 ? s.counts[i] : s.otherCount();
}

QString number(double v)
{
    return QString::number(std::round(v * 10) / 10, 'g', 8);
}

/// An assignment under its column: its number, or a name's first three characters.
QString assignmentLabel(const QString &name)
{
    bool numeric = false;
    const int n = name.toInt(&numeric);
    return numeric ? QString::number(n) : name.left(3);
}

/// Writes one <svg> element; every text passes through xmlSafe, as the
/// writer escapes markup but not the characters XML forbids.
class Svg
{
public:
    Svg(int width, int height, const QString &title) : m_xml(&m_out)
    {
        m_xml.writeStartElement(QStringLiteral("svg"));
        m_xml.writeAttribute(QStringLiteral("xmlns"), QStringLiteral("http://www.w3.org/2000/svg"));
        m_xml.writeAttribute(QStringLiteral("width"), QString::number(width));
        m_xml.writeAttribute(QStringLiteral("height"), QString::number(height));
        m_xml.writeAttribute(QStringLiteral("viewBox"), QStringLiteral("0 0 %1 %2").arg(width).arg(height));
        m_xml.writeAttribute(QStringLiteral("role"), QStringLiteral("img"));
        m_xml.writeTextElement(QStringLiteral("title"), xmlSafe(title));
    }
    void rect(double x, double y, double w, double h, const QString &fill, const QString &stroke = QString())
    {
        m_xml.writeEmptyElement(QStringLiteral("rect"));
        m_xml.writeAttribute(QStringLiteral("x"), number(x));
        m_xml.writeAttribute(QStringLiteral("y"), number(y));
        m_xml.writeAttribute(QStringLiteral("width"), number(w));
        m_xml.writeAttribute(QStringLiteral("height"), number(h));
        m_xml.writeAttribute(QStringLiteral("fill"), fill);
        if (!stroke.isEmpty())
            m_xml.writeAttribute(QStringLiteral("stroke"), stroke);
    }
    void circle(double cx, double cy, double r, const QString &fill)
    {
        m_xml.writeEmptyElement(QStringLiteral("circle"));
        m_xml.writeAttribute(QStringLiteral("cx"), number(cx));
        m_xml.writeAttribute(QStringLiteral("cy"), number(cy));
        m_xml.writeAttribute(QStringLiteral("r"), number(r));
        m_xml.writeAttribute(QStringLiteral("fill"), fill);
        m_xml.writeAttribute(QStringLiteral("fill-opacity"), QStringLiteral("0.45"));
    }
    void line(double x1, double y1, double x2, double y2)
    {
        m_xml.writeEmptyElement(QStringLiteral("line"));
        m_xml.writeAttribute(QStringLiteral("x1"), number(x1));
        m_xml.writeAttribute(QStringLiteral("y1"), number(y1));
        m_xml.writeAttribute(QStringLiteral("x2"), number(x2));
        m_xml.writeAttribute(QStringLiteral("y2"), number(y2));
        m_xml.writeAttribute(QStringLiteral("stroke"), QStringLiteral("#888888"));
    }
    /// A line through the points, dashed when `dashed`.
    void polyline(const std::vector<std::pair<double, double>> &points, const QString &stroke, bool dashed)
    {
        QStringList xy;
        for (const auto &[x, y] : points)
            xy.append(number(x) + QLatin1Char(',') + number(y));
        m_xml.writeEmptyElement(QStringLiteral("polyline"));
        m_xml.writeAttribute(QStringLiteral("points"), xy.join(QLatin1Char(' ')));
        m_xml.writeAttribute(QStringLiteral("fill"), QStringLiteral("none"));
        m_xml.writeAttribute(QStringLiteral("stroke"), stroke);
        if (dashed)
            m_xml.writeAttribute(QStringLiteral("stroke-dasharray"), QStringLiteral("4 3"));
    }
    /// A point of a series: a circle or a square, with a title a pointer or a screen reader finds.
    void marker(double x, double y, bool square, const QString &fill, const QString &title)
    {
        m_xml.writeStartElement(square ? QStringLiteral("rect") : QStringLiteral("circle"));
        if (square) {
            m_xml.writeAttribute(QStringLiteral("x"), number(x - 3.5));
            m_xml.writeAttribute(QStringLiteral("y"), number(y - 3.5));
            m_xml.writeAttribute(QStringLiteral("width"), QStringLiteral("7"));
            m_xml.writeAttribute(QStringLiteral("height"), QStringLiteral("7"));
        } else {
            m_xml.writeAttribute(QStringLiteral("cx"), number(x));
            m_xml.writeAttribute(QStringLiteral("cy"), number(y));
            m_xml.writeAttribute(QStringLiteral("r"), QStringLiteral("4"));
        }
        m_xml.writeAttribute(QStringLiteral("fill"), fill);
        m_xml.writeTextElement(QStringLiteral("title"), xmlSafe(title));
        m_xml.writeEndElement();
    }
    /// `anchor`: start, middle or end; `rotate` turns the text up for a vertical axis.
    void text(double x, double y, const QString &content, const char *anchor = "start", bool rotate = false)
    {
        m_xml.writeStartElement(QStringLiteral("text"));
        m_xml.writeAttribute(QStringLiteral("x"), number(x));
        m_xml.writeAttribute(QStringLiteral("y"), number(y));
        m_xml.writeAttribute(QStringLiteral("font-family"), QStringLiteral("sans-serif"));
        m_xml.writeAttribute(QStringLiteral("font-size"), QStringLiteral("11"));
        if (qstrcmp(anchor, "start") != 0)
            m_xml.writeAttribute(QStringLiteral("text-anchor"), QLatin1String(anchor));
        if (rotate)
            m_xml.writeAttribute(QStringLiteral("transform"), QStringLiteral("rotate(-90 %1 %2)").arg(number(x), number(y)));
        m_xml.writeCharacters(xmlSafe(content));
        m_xml.writeEndElement();
    }
    QString finish()
    {
        m_xml.writeEndElement();
        return m_out;
    }

private:
    QString m_out;
    QXmlStreamWriter m_xml;
};

} // namespace

namespace Charts {

QString spreadBar(const Spread &spread, int width, int height)
{
    const int total = spread.total();
    Svg svg(width, height,
            QStringLiteral("0: %1, 1: %2, 2: %3, 3: %4, other: %5")
                .arg(spread.counts[0]).arg(spread.counts[1]).arg(spread.counts[2]).arg(spread.counts[3])
                .arg(spread.otherCount()));
    svg.rect(0, 0, width, height, QStringLiteral("#eeeeee"));
    double x = 0;
    for (int i = 0; i < 5 && total > 0; ++i) {
        const double w = double(width) * spreadAt(spread, i) / total;
        if (w > 0)
            svg.rect(x, 0, w, height, QLatin1String(ratingColours[i]));
        x += w;
    }
    return svg.finish();
}

QString ratingsByAssignment(const std::map<QString, AssignmentCounts> &assignments, bool confidence,
                            const QString &title)
{
    int most = 1;
    const int columns = int(assignments.size());
    for (const auto &[name, counts] : assignments)
        most = std::max(most, (confidence ? counts.confidence : counts.selfCritique).total());
    const int left = 44, bottom = 34, top = 20, barWidth = 16, gap = 6;
    const int plotWidth = columns * (barWidth + gap);
    const int width = std::max(280, left + plotWidth + 16 + 60);
    const int height = 180;
    const int plotHeight = height - top - bottom;
    Svg svg(width, height, title);
    svg.text(0, 12, title);
    svg.line(left, top, left, top + plotHeight);
    svg.line(left, top + plotHeight, left + plotWidth, top + plotHeight);
    svg.text(left - 4, top + 4, QString::number(most), "end");
    svg.text(left - 4, top + plotHeight, QStringLiteral("0"), "end");
    svg.text(12, top + plotHeight / 2.0, QStringLiteral("ratings"), "middle", true);
    svg.text(left + plotWidth / 2.0, height - 4, QStringLiteral("assignment"), "middle");
    int x = left + gap / 2;
    for (const auto &[name, counts] : assignments) {
        const Spread &s = confidence ? counts.confidence : counts.selfCritique;
        double y = top + plotHeight;
        for (int i = 0; i < 5; ++i) {
            const double h = double(plotHeight) * spreadAt(s, i) / most;
            if (h > 0)
                svg.rect(x, y - h, barWidth, h, QLatin1String(ratingColours[i]));
            y -= h;
        }
        bool numeric = false;
        const int n = name.toInt(&numeric);
        svg.text(x + barWidth / 2.0, top + plotHeight + 13, numeric ? QString::number(n) : name.left(3), "middle");
        x += barWidth + gap;
    }
    // The key.
    const int keyX = left + plotWidth + 16;
    for (int i = 0; i < 5; ++i) {
        svg.rect(keyX, top + 4 + i * 16, 10, 10, QLatin1String(ratingColours[i]));
        svg.text(keyX + 14, top + 13 + i * 16, QLatin1String(ratingNames[i]));
    }
    return svg.finish();
}

QString calibration(const int pairs[4][4], const QString &title)
{
    int most = 1;
    for (int c = 0; c < 4; ++c)
        for (int s = 0; s < 4; ++s)
            most = std::max(most, pairs[c][s]);
    const int cell = 40, left = 90, top = 22, bottom = 36;
    const int width = left + 4 * cell + 20, height = top + 4 * cell + bottom;
    Svg svg(width, height, title);
    svg.text(0, 12, title);
    for (int c = 0; c < 4; ++c) {
        for (int s = 0; s < 4; ++s) {
            const double x = left + c * cell, y = top + (3 - s) * cell;
            svg.rect(x, y, cell, cell, c == s ? QStringLiteral("#f3f3f3") : QStringLiteral("#ffffff"),
                     QStringLiteral("#dddddd"));
            if (pairs[c][s] == 0)
                continue;
            svg.circle(x + cell / 2.0, y + cell / 2.0, (cell / 2 - 3) * std::sqrt(double(pairs[c][s]) / most),
                       QStringLiteral("#0571b0"));
            svg.text(x + cell / 2.0, y + cell / 2.0 + 4, QString::number(pairs[c][s]), "middle");
        }
    }
    for (int i = 0; i < 4; ++i) {
        svg.text(left + i * cell + cell / 2.0, top + 4 * cell + 13, QString::number(i), "middle");
        svg.text(left - 6, top + (3 - i) * cell + cell / 2.0 + 4, QString::number(i), "end");
    }
    svg.text(left + 2 * cell, top + 4 * cell + 30, QStringLiteral("confidence"), "middle");
    svg.text(left - 24, top + 2 * cell, QStringLiteral("self-critique"), "middle", true);
    return svg.finish();
}

QString calibrationTrend(const std::map<QString, calibration::Grid> &byAssignment, const QString &title)
{
    const int columns = int(byAssignment.size());
    const int left = 44, bottom = 34, top = 20, step = 22;
    const int plotWidth = std::max(1, columns) * step;
    const int keyX = left + plotWidth + 16;
    const int width = std::max(300, keyX + 130), height = 180;
    const int plotHeight = height - top - bottom;
    Svg svg(width, height, title);
    svg.text(0, 12, title);
    svg.line(left, top, left, top + plotHeight);
    svg.line(left, top + plotHeight, left + plotWidth, top + plotHeight);
    svg.text(left - 4, top + 4, QStringLiteral("100%"), "end");
    svg.text(left - 4, top + plotHeight, QStringLiteral("0%"), "end");
    svg.text(12, top + plotHeight / 2.0, QStringLiteral("share"), "middle", true);
    svg.text(left + plotWidth / 2.0, height - 4, QStringLiteral("assignment"), "middle");
    struct Series
    {
        const char *name, *colour;
        bool square;
        double (calibration::Grid::*rate)() const;
        int low, high; // the confidence levels it is a share of
    };
    const Series series[2] = {{"over-confidence", "#e66101", false, &calibration::Grid::overconfidence, 2, 3},
                              {"under-confidence", "#0571b0", true, &calibration::Grid::underconfidence, 0, 1}};
    for (const Series &s : series) {
        std::vector<std::pair<double, double>> points;
        std::vector<QString> titles;
        double x = left + step / 2.0;
        for (const auto &[name, grid] : byAssignment) {
            const double rate = (grid.*s.rate)();
            if (rate >= 0) {
                points.emplace_back(x, top + plotHeight * (1.0 - rate));
                titles.push_back(QStringLiteral("%1, assignment %2: %3% (n = %4)")
                                     .arg(QLatin1String(s.name), assignmentLabel(name), QString::number(qRound(rate * 100)),
                                          QString::number(grid.at(s.low) + grid.at(s.high))));
            }
            x += step;
        }
        if (points.size() > 1)
            svg.polyline(points, QLatin1String(s.colour), s.square);
        for (size_t i = 0; i < points.size(); ++i)
            svg.marker(points[i].first, points[i].second, s.square, QLatin1String(s.colour), titles[i]);
    }
    double x = left + step / 2.0;
    for (const auto &[name, grid] : byAssignment) {
        svg.text(x, top + plotHeight + 13, assignmentLabel(name), "middle");
        x += step;
    }
    for (int i = 0; i < 2; ++i) {
        svg.marker(keyX + 5, top + 9 + i * 16, series[i].square, QLatin1String(series[i].colour),
                   QLatin1String(series[i].name));
        svg.text(keyX + 14, top + 13 + i * 16, QLatin1String(series[i].name));
    }
    return svg.finish();
}

} // namespace Charts
