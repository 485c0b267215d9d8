#pragma once

#include "report/classreader.h"

#include <QString>
#include <QStringList>

#include <map>
#include <vector>

/// Ratings as typed: 0 to 3 counted apiece, anything else kept as typed.
struct Spread
{
    int counts[4] = {0, 0, 0, 0};
    QStringList other;

    void add(const QString &rating);
    int valid() const { return counts[0] + counts[1] + counts[2] + counts[3]; }
    int total() const { return valid() + int(other.size()); }
    /// Share of the 0-to-3 ratings that are 0 or 1 (0 when there are none).
    double lowShare() const { return valid() ? double(counts[0] + counts[1]) / valid() : 0.0; }
};

/// The 0 to 3 value of a rating as typed (blanks around it ignored), or -1.
int ratingValue(const QString &rating);

/// A question of an assignment as the class met it.
struct QuestionSummary
{
    QString assignment;
    int number = 0;      ///< the question's number in its assignment; 0 when it has none
    QString label;       ///< first line of the question's bank text
    bool inCourse = true;
    int studentsAnswered = 0;
    int responses = 0;
    Spread confidence, selfCritique;
    bool flagged = false; ///< low confidence or weak self-critique
};

struct DaySummary
{
    QString date; ///< mm-dd-yyyy
    QString first, last;
    int records = 0;
};

struct AssignmentCounts
{
    int responses = 0;
    int notes = 0;
    Spread confidence, selfCritique;
};

struct StudentSummary
{
    std::vector<DaySummary> days;
    std::map<QString, AssignmentCounts> assignments;
    Spread confidence, selfCritique;
    /// calibration[c][s]: a confidence c followed, after the given answer of
    /// the same question, by a self-critique s.
    int calibration[4][4] = {};
    int calibrationApart = 0; ///< pairs where either rating is not 0 to 3
    int responses = 0, notes = 0;
};

/// What the report shows, worked out from the records once.
struct ClassSummary
{
    int students = 0, days = 0, responses = 0, notes = 0;
    std::vector<QuestionSummary> questions; ///< by assignment and question
    std::vector<int> flagged;               ///< indices into questions, worst first
    std::vector<StudentSummary> perStudent;
};

/// A question is flagged when at least this share of its ratings is 0 or 1.
constexpr double flagShare = 1.0 / 3.0;

/// Counts, spreads and pairs for the class and each student.
ClassSummary summarize(const ClassData &data);

/// The key of the question a record belongs to, as used in the summary
/// ("003#2" for question 2 of assignment 003; the bank text's first line
/// for a text the course does not hold).
QString questionKey(const ClassRecord &record);
