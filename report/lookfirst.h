#pragma once

// "Students to look at first": the students the index names before the
// roster, each with the figure that put them there. The rule compares each
// student with the class, so that a hard assignment does not name everyone:
// nothing handed in for the latest assignments, or, among the students with
// enough answers to tell, a share of confident errors, of unsure answers or
// of missing or empty self-critiques in the top tenth of the class and at
// least one and a half times the class's own share. The list is capped at a
// tenth of the class (at least three).

#include "report/classmodel.h"

#include <QString>
#include <QStringList>

#include <vector>

/// How many of the latest assignments anyone handed in a student must have missed.
constexpr int latestAssignments = 2;
/// A share is judged only with at least this many answers (or pairs) behind it.
constexpr int lookFirstMinimum = 4;
/// A share must be at least this many times the class's.
constexpr double lookFirstFactor = 1.5;

/// What put a student on the list.
struct LookFirstReason
{
    enum Kind { NothingLatest, ConfidentErrors, Unsure, NoCritique } kind = NothingLatest;
    int count = 0, n = 0;     ///< the student's count out of n
    double classShare = 0.0;  ///< the class's share of the same
};

struct LookFirstStudent
{
    size_t student = 0;
    std::vector<LookFirstReason> reasons; ///< in the order of Kind
};

struct LookFirst
{
    std::vector<QString> latest;           ///< the latest assignments anyone handed in, oldest first
    std::vector<LookFirstStudent> students; ///< the list, first to look at first, at most `cap`
    int cap = 0;                           ///< the most the list may hold
    int more = 0;                          ///< students who meet the rule beyond the cap
    double classShare[4] = {};             ///< the class's share for each Kind (0 for NothingLatest)
    /// Every student in the order the roster shows without script: the list, then by name.
    std::vector<size_t> order;
};

/// Missing or empty self-critiques of a student: attempts at a question with
/// a response to it but none to its worked answer, or one with a blank text.
int missingCritiques(const ClassData &data, const ClassSummary &summary, size_t student, int &attempts);

/// The students to look at first, by the rule above.
LookFirst lookFirst(const ClassData &data, const ClassSummary &summary);

/// The rule in plain words, as the page and the summary state it.
QString lookFirstRule(const LookFirst &list);

/// A reason in words with its figure: "confident errors: 5 of 8 pairs (63%; class 20%)".
QString reasonText(const LookFirstReason &reason, const LookFirst &list);

/// The list for the summary on standard output: a heading line, then a line per student.
QStringList lookFirstLines(const ClassData &data, const ClassSummary &summary);
