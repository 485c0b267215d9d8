#pragma once

// What --since and --assignment keep: the records of a window of time or of
// some assignments, dropped from the class right after reading, so that
// every output (site, one-file report, CSV, JSON, gradebook, the summary)
// sees the same window, and every student stays in it, those who did
// nothing in the window included. Qt Core only.

#include "report/classreader.h"

#include <QDate>
#include <QString>
#include <QStringList>

#include <set>

struct RecordWindow
{
    QDate since;             ///< records on this day or later; null for no bound
    std::set<int> assignments; ///< assignment numbers kept; empty for all
    bool any() const { return since.isValid() || !assignments.empty(); }
};

/// The window of the options' values: `since` as yyyy-mm-dd (empty for
/// none), `assignments` as numbers, each option given once or more and each
/// value a comma-separated list. False with the reason for anything else.
bool parseWindow(const QString &since, const QStringList &assignments, RecordWindow &window, QString &error);

/// True when the record lies in the window. A record whose date is on no
/// calendar is outside any --since window, one whose assignment is no
/// number outside any --assignment window: neither can be said to be in it.
bool inWindow(const ClassRecord &record, const RecordWindow &window);

/// Drops every record outside the window from the class: from its records
/// and from each student's list. The students all stay.
void keepWindow(ClassData &data, const RecordWindow &window);

/// The window in words for the pages: "records from 2026-03-06 on, of assignments 3 and 4".
QString windowText(const RecordWindow &window);
