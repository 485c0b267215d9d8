#pragma once

#include <QObject>

#include <vector>

class QPlainTextEdit;

/// Text size of the two text boxes, changed together for this run only
/// (the program keeps no settings). The boxes keep their place and size and
/// scroll, so the fixed layout stays whole at any size.
class TextZoom : public QObject
{
    Q_OBJECT
public:
    static constexpr double smallest = 6;  // points
    static constexpr double largest = 36;  // about ten characters a line in the boxes

    /// Zooms `boxes`, which all start at the same font; Ctrl+wheel over them zooms too.
    TextZoom(const std::vector<QPlainTextEdit *> &boxes, QObject *parent);

    /// One point larger, up to `largest`.
    void zoomIn();
    /// One point smaller, down to `smallest`.
    void zoomOut();
    /// Back to the size the boxes started with.
    void reset();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void zoomBy(int points);

    std::vector<QPlainTextEdit *> m_boxes;
    double m_start;
    int m_wheel = 0; // eighths of a degree not yet turned into a step (fine-grained wheels)
};
