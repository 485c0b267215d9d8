#pragma once

#include <QObject>
#include <QStringList>
#include <QTimer>

class PictureArea;

/// What a picture area shows now, figure by figure in the order drawn, as a
/// screen reader reads it. It lives beside the area as a child object, so the
/// drawing surface stays a plain surface; the figure routines tell it what
/// they drew.
class PictureDescription : public QObject
{
    Q_OBJECT
public:
    /// The description of `area`, made on first use.
    static PictureDescription *of(PictureArea *area);

    enum Drawn { over, alone };
    /// A figure drawn over whatever the area showed, or `alone` when it
    /// covered the whole area first.
    void addFigure(const QString &what, Drawn drawn = over);
    /// One more circle of the random-circle timer.
    void addTimerCircle();
    /// "empty", or the figures in the order drawn, joined by ", then ".
    QString text() const;

signals:
    /// Sent with each description-changed event of the area. Qt only passes
    /// those events on while a screen reader listens, so this is how a run
    /// without one can follow them.
    void announced();

private:
    explicit PictureDescription(PictureArea *area);
    enum class Pace { now, throttled };
    void changed(Pace pace);
    void announce();

    PictureArea *m_area;
    QStringList m_figures;
    int m_timerCircles = 0; // circles in the last entry, while that entry is the timer's
    QTimer m_quiet;         // at most one announcement a second while the timer draws
    bool m_unannounced = false;
};

/// Gives picture areas the image role and their current description in the
/// accessibility tree; safe to call more than once.
void installPictureAccessibility();
