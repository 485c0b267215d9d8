#pragma once

#include <QObject>
#include <QPointer>

#include <memory>
#include <vector>

class QKeyEvent;
class QWidget;

/// Type-ahead into a modal box: the keys a student types after the command
/// that opens the box, however soon, go into the box in the order typed,
/// never into the window under it and never lost.
///
/// Qt drops every key meant for a window a modal box blocks, and a box is
/// blocking from the moment it is shown, before it has the focus. Two kinds
/// of key are caught in that gap. Those the toolkit already took in for the
/// window, in the same batch as the key that opened the box, are taken from
/// the window before the box is shown and handed to the box once it is. On
/// X11 the focus moves when the X server gets round to it: the keys it
/// sends the window meanwhile are held as they come and sent again, in
/// order, to the box once it has the focus (the ones that come straight to
/// the box after them wait their turn). Windows and macOS move the focus at
/// once, within the program, so there the first kind is all there is.
class TypeAhead : public QObject
{
public:
    /// Before `box` is shown over `window`: from now on the keys typed in
    /// `window` are the box's.
    TypeAhead(QWidget *window, QWidget *box);
    /// Keys still held (the box closed before it had them) go back to the window.
    ~TypeAhead() override;
    TypeAhead(const TypeAhead &) = delete;
    TypeAhead &operator=(const TypeAhead &) = delete;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    /// Hands the keys taken from the window to the box, once it is shown.
    void handOver();

    QPointer<QWidget> m_window;
    QPointer<QWidget> m_box;
    bool m_taking = true;  // the window's keys are taken, not yet handed over
    std::vector<std::unique_ptr<QKeyEvent>> m_taken;

    bool m_x11 = false; // the X server's keys go through the relay (typeahead.cpp)
};
