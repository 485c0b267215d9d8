#pragma once

#include <QPushButton>

/// A push button whose caption wraps onto several lines, as the narrow,
/// tall buttons of the form need ("Next Question / Answer" in 65 pixels).
class WrapButton : public QPushButton
{
    Q_OBJECT
public:
    using QPushButton::QPushButton;
    /// Where the caption is drawn: the button less a thin bevel.
    QRect captionRect() const { return rect().adjusted(1, 2, -1, -2); }

protected:
    void paintEvent(QPaintEvent *event) override;
};
