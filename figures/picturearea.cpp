#include "figures/picturearea.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QResizeEvent>

#include <cmath>

namespace {
constexpr int borderWidth = 2;
}

PictureArea::PictureArea(QWidget *parent) : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    // The platform's small interface font, sized for a text line of about 60
    // vertical units in an area the size of the form's picture areas.
    QFont small = font();
    small.setPixelSize(11);
    // Solid glyphs: a label drawn twice looks the same as drawn once.
    small.setStyleStrategy(QFont::NoAntialias);
    setFont(small);
}

QRect PictureArea::surface() const
{
    return rect().adjusted(borderWidth, borderWidth, -borderWidth, -borderWidth);
}

void PictureArea::setScale(float scaleWidth, float scaleHeight)
{
    m_scaleWidth = scaleWidth;
    m_scaleHeight = scaleHeight;
}

QPointF PictureArea::toPixels(QPointF user) const
{
    const QRect s = surface();
    return QPointF(user.x() * s.width() / m_scaleWidth, user.y() * s.height() / m_scaleHeight);
}

void PictureArea::ensureCanvas()
{
    const QSize size = surface().size().expandedTo(QSize(1, 1));
    const qreal ratio = devicePixelRatioF();
    const QSize pixels = (QSizeF(size) * ratio).toSize();
    if (m_canvas.size() == pixels)
        return;
    QImage canvas(pixels, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    canvas.setDevicePixelRatio(ratio);
    if (!m_canvas.isNull()) {
        QPainter keep(&canvas);
        keep.drawImage(0, 0, m_canvas);
    }
    m_canvas = canvas;
}

void PictureArea::line(QPointF from, QPointF to, const QColor &colour)
{
    ensureCanvas();
    QPainter painter(&m_canvas);
    painter.setPen(QPen(colour.isValid() ? colour : foreground(), 0));
    painter.drawLine(toPixels(from), toPixels(to));
    if (m_log)
        m_log->append({'L', from, to, 0, painter.pen().color(), QString()});
    update();
}

void PictureArea::filledBox(QPointF corner1, QPointF corner2, const QColor &colour)
{
    ensureCanvas();
    const QPointF a = toPixels(corner1), b = toPixels(corner2);
    const QRectF box = QRectF(a, b).normalized();
    // Edges included: the box covers every pixel its corners touch.
    const QRect pixels(QPoint(int(std::floor(box.left())), int(std::floor(box.top()))),
                       QPoint(int(std::ceil(box.right())), int(std::ceil(box.bottom()))));
    QPainter painter(&m_canvas);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(pixels, colour);
    if (m_log)
        m_log->append({'B', corner1, corner2, 0, colour, QString()});
    update();
}

void PictureArea::circle(QPointF centre, float radius, const QColor &colour)
{
    ensureCanvas();
    const qreal pixelRadius = radius * surface().width() / m_scaleWidth;
    QPainter painter(&m_canvas);
    painter.setPen(QPen(colour.isValid() ? colour : foreground(), 0));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(toPixels(centre), pixelRadius, pixelRadius);
    if (m_log)
        m_log->append({'C', centre, QPointF(), radius, painter.pen().color(), QString()});
    update();
}

void PictureArea::printLine(const QString &text)
{
    ensureCanvas();
    const QFontMetricsF metrics(font());
    QPainter painter(&m_canvas);
    painter.setFont(font());
    painter.setPen(foreground());
    const QPointF topLeft = toPixels(m_current);
    painter.drawText(QPointF(topLeft.x(), topLeft.y() + metrics.ascent()), text);
    if (m_log)
        m_log->append({'T', m_current, QPointF(), 0, painter.pen().color(), text});
    m_current = QPointF(0, m_current.y() + metrics.height() * m_scaleHeight / surface().height());
    update();
}

void PictureArea::setStoredPicture(const QImage &picture)
{
    m_stored = picture;
    update();
}

QImage PictureArea::rendered() const
{
    const QRect s = surface();
    QImage image(s.size().expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    if (!m_stored.isNull())
        painter.drawImage(0, 0, m_stored);
    if (!m_canvas.isNull())
        painter.drawImage(QRectF(QPointF(0, 0), QSizeF(s.size())), m_canvas);
    return image;
}

void PictureArea::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    const QRect s = surface();
    painter.fillRect(s, Qt::white);
    if (!m_stored.isNull())
        painter.drawImage(s.topLeft(), m_stored);
    if (!m_canvas.isNull())
        painter.drawImage(QRectF(s), m_canvas);
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    painter.setPen(palette().color(QPalette::Shadow));
    painter.drawRect(rect().adjusted(1, 1, -2, -2));
    if (hasFocus()) {
        painter.setPen(QPen(palette().color(QPalette::Highlight), 1, Qt::DotLine));
        painter.drawRect(rect().adjusted(1, 1, -2, -2));
    }
}

void PictureArea::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    ensureCanvas();
}
