#pragma once

#include <QString>

/// What the window walks instead of the bank: a list of entries of the
/// course and texts of the walk's own, shown one at a time by "Next
/// Question / Answer", as the review of a student's weak questions does
/// (review/). Responses and notes are recorded as usual, each preceded by
/// the header record of the assignment it belongs to, once a walk.
class WalkSource
{
public:
    struct Entry
    {
        QString text;       ///< what the question box shows (CR LF breaks)
        QString kind;       ///< "question" or "answer" for a course entry; empty for a text of the walk's own
        QString bankText;   ///< the course entry a response to it answers (unchanged when empty)
        QString assignment; ///< three digits; empty for a text of the walk's own
        QString heading;    ///< the assignment's heading entry, for its header record
    };

    virtual ~WalkSource() = default;

    /// Reads what there is to walk from the master file at `masterPath`
    /// and gives the box's prompt offering it; empty, with `nothing` the
    /// message to show, when there is nothing to walk.
    virtual QString offer(const QString &masterPath, QString &nothing) = 0;
    /// The student's answer to the offer; false with `again` the message
    /// when it names nothing there is, and the offer is asked again.
    virtual bool choose(const QString &typed, QString &again) = 0;
    /// The next entry; false when the walk is over.
    virtual bool next(Entry &entry) = 0;
    /// A response to the entry shown last was recorded with `rating` as
    /// typed; returns what the walk says of it in the question box (empty: nothing).
    virtual QString rated(const QString &rating) = 0;
};
