#pragma once

#include <QColor>
#include <QImage>
#include <QPointF>
#include <QWidget>

/// A drawing surface in user units: setScale(1000, 1000) makes (0, 0) its
/// top-left and (1000, 1000) its bottom-right corner inside the border. What
/// is drawn is kept in an image, so covering, minimising or resizing the
/// window never loses a figure. The stored picture is a separate image shown
/// beneath the drawing, as the background.
class PictureArea : public QWidget
{
    Q_OBJECT
public:
    /// One drawing operation as given, in user units: 'L' line (from, to),
    /// 'B' filled box (corners from, to), 'C' circle (centre from, radius),
    /// 'T' text (top-left from). The colour is the one drawn with.
    struct Drawn
    {
        char kind;
        QPointF from, to;
        float radius;
        QColor colour;
        QString text;
    };
    explicit PictureArea(QWidget *parent = nullptr);

    /// Sets the user coordinate system; height and width in user units.
    void setScale(float scaleWidth, float scaleHeight);
    /// A one-pixel line between two absolute points, in `colour` or the foreground.
    void line(QPointF from, QPointF to, const QColor &colour = QColor());
    /// Fills the box between two corners, edges included.
    void filledBox(QPointF corner1, QPointF corner2, const QColor &colour);
    /// A circle outline; the radius is in horizontal units and the circle is round on screen.
    void circle(QPointF centre, float radius, const QColor &colour = QColor());
    void setCurrentPosition(QPointF position) { m_current = position; }
    QPointF currentPosition() const { return m_current; }
    /// Draws one line of text with its top-left at the current position, then
    /// moves the position to x = 0 of the next text line.
    void printLine(const QString &text);
    /// The picture shown as background, replaced only by copying.
    QImage storedPicture() const { return m_stored; }
    void setStoredPicture(const QImage &picture);
    /// What the area shows now, stored picture and drawing together.
    QImage rendered() const;
    /// The drawing surface in device-independent pixels.
    QRect surface() const;
    /// Pixel position of a point in user units, relative to the surface.
    QPointF toPixels(QPointF user) const;

    /// Appends every later drawing operation to `log` (null stops it); for
    /// checking a figure whole without reading pixels.
    void setDrawingLog(QList<Drawn> *log) { m_log = log; }

    static QColor foreground() { return Qt::black; }
    /// A colour from its red, green and blue components.
    static QColor colourFromComponents(int red, int green, int blue) { return QColor(red, green, blue); }

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void ensureCanvas();

    QImage m_canvas; // the drawing, transparent where nothing was drawn
    QImage m_stored;
    QList<Drawn> *m_log = nullptr;
    QPointF m_current;
    float m_scaleWidth = 1000;
    float m_scaleHeight = 1000;
};
