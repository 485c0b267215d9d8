#include "report/charts.h"

#include <QBuffer>
#include <QPainter>
#include <QSvgGenerator>

#include <algorithm>
#include <cmath>

namespace {

const QColor ratingColours[5] = {QColor(0xd7, 0x30, 0x1f), QColor(0xfc, 0x8d, 0x59), QColor(0x91, 0xcf, 0x60),
                                 QColor(0x1a, 0x98, 0x50), QColor(0x99, 0x99, 0x99)};

/// Paints through `draw` into an SVG of the given size and returns its <svg> element.
template<typename Draw>
QString paintSvg(int width, int height, const QString &title, Draw draw)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QSvgGenerator generator;
    generator.setOutputDevice(&buffer);
    generator.setSize(QSize(width, height));
    generator.setViewBox(QRect(0, 0, width, height));
    generator.setTitle(title);
    {
        QPainter painter(&generator);
        painter.setRenderHint(QPainter::Antialiasing);
        QFont font(QStringLiteral("sans-serif"));
        font.setPixelSize(11);
        painter.setFont(font);
        draw(painter);
    }
    const QString svg = QString::fromUtf8(buffer.data());
    // The XML declaration belongs to a file of its own, not to an inline element.
    return svg.mid(std::max<qsizetype>(0, svg.indexOf(QLatin1String("<svg"))));
}

int spreadAt(const Spread &s, int i)
{
    return i < 4 ? s.counts[i] : int(s.other.size());
}

} // namespace

namespace Charts {

QString spreadBar(const Spread &spread, int width, int height)
{
    const int total = spread.total();
    const QString title = QStringLiteral("0: %1, 1: %2, 2: %3, 3: %4, other: %5")
                              .arg(spread.counts[0]).arg(spread.counts[1]).arg(spread.counts[2])
                              .arg(spread.counts[3]).arg(spread.other.size());
    return paintSvg(width, height, title, [&](QPainter &p) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xee, 0xee, 0xee));
        p.drawRect(0, 0, width, height);
        if (total == 0)
            return;
        double x = 0;
        for (int i = 0; i < 5; ++i) {
            const double w = double(width) * spreadAt(spread, i) / total;
            p.setBrush(ratingColours[i]);
            p.drawRect(QRectF(x, 0, w, height));
            x += w;
        }
    });
}

QString ratingsByAssignment(const std::map<QString, AssignmentCounts> &assignments, bool confidence,
                            const QString &title)
{
    int most = 1;
    int columns = 0;
    for (const auto &[name, counts] : assignments) {
        const Spread &s = confidence ? counts.confidence : counts.selfCritique;
        most = std::max(most, s.total());
        ++columns;
    }
    const int left = 34, bottom = 22, top = 18, barWidth = 16, gap = 6;
    const int width = std::max(260, left + columns * (barWidth + gap) + 10 + 150);
    const int height = 170;
    const int plotHeight = height - top - bottom;
    return paintSvg(width, height, title, [&](QPainter &p) {
        p.setPen(Qt::black);
        p.drawText(QRect(0, 0, width, top - 2), Qt::AlignLeft | Qt::AlignVCenter, title);
        p.setPen(QColor(0x88, 0x88, 0x88));
        p.drawLine(left, top, left, top + plotHeight);
        p.drawLine(left, top + plotHeight, left + columns * (barWidth + gap), top + plotHeight);
        p.drawText(QRect(0, top - 6, left - 4, 12), Qt::AlignRight | Qt::AlignVCenter, QString::number(most));
        p.drawText(QRect(0, top + plotHeight - 6, left - 4, 12), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("0"));
        int x = left + gap / 2;
        for (const auto &[name, counts] : assignments) {
            const Spread &s = confidence ? counts.confidence : counts.selfCritique;
            double y = top + plotHeight;
            p.setPen(Qt::NoPen);
            for (int i = 0; i < 5; ++i) {
                const double h = double(plotHeight) * spreadAt(s, i) / most;
                p.setBrush(ratingColours[i]);
                p.drawRect(QRectF(x, y - h, barWidth, h));
                y -= h;
            }
            p.setPen(Qt::black);
            bool numeric = false;
            const int n = name.toInt(&numeric);
            p.drawText(QRect(x - gap / 2, top + plotHeight + 2, barWidth + gap, bottom - 4), Qt::AlignCenter,
                       numeric ? QString::number(n) : name.left(3));
            x += barWidth + gap;
        }
        // The key.
        const int keyX = left + columns * (barWidth + gap) + 16;
        const char *names[5] = {"0", "1", "2", "3", "other"};
        for (int i = 0; i < 5; ++i) {
            p.setPen(Qt::NoPen);
            p.setBrush(ratingColours[i]);
            p.drawRect(keyX, top + 4 + i * 16, 10, 10);
            p.setPen(Qt::black);
            p.drawText(QRect(keyX + 14, top + 2 + i * 16, 120, 14), Qt::AlignLeft | Qt::AlignVCenter,
                       QString::fromLatin1(names[i]));
        }
    });
}

QString calibration(const int pairs[4][4], const QString &title)
{
    int most = 1;
    for (int c = 0; c < 4; ++c)
        for (int s = 0; s < 4; ++s)
            most = std::max(most, pairs[c][s]);
    const int cell = 40, left = 90, top = 20, bottom = 36;
    const int width = left + 4 * cell + 20, height = top + 4 * cell + bottom;
    return paintSvg(width, height, title, [&](QPainter &p) {
        p.setPen(Qt::black);
        p.drawText(QRect(0, 0, width, top - 4), Qt::AlignLeft | Qt::AlignVCenter, title);
        for (int c = 0; c < 4; ++c) {
            for (int s = 0; s < 4; ++s) {
                const QRectF box(left + c * cell, top + (3 - s) * cell, cell, cell);
                p.setPen(QColor(0xdd, 0xdd, 0xdd));
                p.setBrush(c == s ? QColor(0xf3, 0xf3, 0xf3) : QColor(Qt::white));
                p.drawRect(box);
                if (pairs[c][s] == 0)
                    continue;
                const double r = (cell / 2 - 3) * std::sqrt(double(pairs[c][s]) / most);
                p.setPen(Qt::NoPen);
                p.setBrush(QColor(0x31, 0x68, 0xaa, 160));
                p.drawEllipse(box.center(), r, r);
                p.setPen(Qt::black);
                p.drawText(box, Qt::AlignCenter, QString::number(pairs[c][s]));
            }
        }
        p.setPen(Qt::black);
        for (int i = 0; i < 4; ++i) {
            p.drawText(QRect(left + i * cell, top + 4 * cell + 2, cell, 14), Qt::AlignCenter, QString::number(i));
            p.drawText(QRect(left - 20, top + (3 - i) * cell, 16, cell), Qt::AlignRight | Qt::AlignVCenter,
                       QString::number(i));
        }
        p.drawText(QRect(left, top + 4 * cell + 16, 4 * cell, 16), Qt::AlignCenter, QStringLiteral("confidence"));
        p.drawText(QRect(0, top, left - 24, 4 * cell), Qt::AlignRight | Qt::AlignVCenter | Qt::TextWordWrap,
                   QStringLiteral("self-critique"));
    });
}

} // namespace Charts
