#pragma once

#include <QGuiApplication>

/// The busy cursor for as long as a command works on a file that may be
/// large; a message to the student ends it first, with end().
class BusyCursor
{
public:
    BusyCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { end(); }
    BusyCursor(const BusyCursor &) = delete;
    BusyCursor &operator=(const BusyCursor &) = delete;

    /// Back to the normal cursor now, as before a message.
    void end()
    {
        if (m_on)
            QGuiApplication::restoreOverrideCursor();
        m_on = false;
    }

private:
    bool m_on = true;
};
