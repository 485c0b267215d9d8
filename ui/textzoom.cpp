#include "ui/textzoom.h"

#include <QPlainTextEdit>
#include <QWheelEvent>

TextZoom::TextZoom(const std::vector<QPlainTextEdit *> &boxes, QObject *parent)
    : QObject(parent), m_boxes(boxes), m_start(boxes.front()->font().pointSizeF())
{
    // An editable text box scrolls on Ctrl+wheel instead of zooming, so the
    // wheel is taken before it reaches the boxes.
    for (QPlainTextEdit *box : m_boxes)
        box->viewport()->installEventFilter(this);
}

void TextZoom::zoomIn()
{
    zoomBy(1);
}

void TextZoom::zoomOut()
{
    zoomBy(-1);
}

void TextZoom::reset()
{
    for (QPlainTextEdit *box : m_boxes) {
        QFont f = box->font();
        f.setPointSizeF(m_start);
        box->setFont(f);
    }
}

void TextZoom::zoomBy(int points)
{
    const double now = m_boxes.front()->font().pointSizeF();
    if (now + points < smallest || now + points > largest)
        return;
    for (QPlainTextEdit *box : m_boxes)
        points > 0 ? box->zoomIn(points) : box->zoomOut(-points);
}

bool TextZoom::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::Wheel)
        return QObject::eventFilter(watched, event);
    auto *wheel = static_cast<QWheelEvent *>(event);
    if (!(wheel->modifiers() & Qt::ControlModifier))
        return false;
    m_wheel += wheel->angleDelta().y();
    for (; m_wheel >= 120; m_wheel -= 120)
        zoomIn();
    for (; m_wheel <= -120; m_wheel += 120)
        zoomOut();
    return true;
}
