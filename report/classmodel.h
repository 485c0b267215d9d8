#pragma once

#include "records/calibration.h"
#include "report/classreader.h"

#include <QString>

#include <map>
#include <vector>

/// Ratings as typed: 0 to 3 counted apiece, anything else grouped by what
/// was typed (blanks around it ignored) and counted.
struct Spread
{
    int counts[4] = {0, 0, 0, 0};
    std::map<QString, int> other;

    void add(const QString &rating);
    int valid() const { return counts[0] + counts[1] + counts[2] + counts[3]; }
    int otherCount() const;
    int total() const { return valid() + otherCount(); }
    int low() const { return counts[0] + counts[1]; }
    /// Share of the 0-to-3 ratings that are 0 or 1 (0 when there are none).
    double lowShare() const { return valid() ? double(low()) / valid() : 0.0; }
};

using calibration::ratingValue;

/// What a record responds to, as the CSV, the JSON and the pages name it.
enum class Role { Question, Answer, Prompt, Note };
/// "question", "answer", "prompt", "note".
QString roleName(Role role);
Role roleOf(const ClassRecord &record);

/// The item of the course a record belongs to, the same in every output:
/// "q2" for question 2 (and its given answer), "p1" for the assignment's
/// first prompt that is no question ("Add comments on any surprises..."),
/// empty for a text the course does not hold.
QString itemOf(const ClassRecord &record);

/// A question or prompt of an assignment as the class met it.
struct QuestionSummary
{
    QString assignment;
    QString item;        ///< see itemOf; for a text the course lacks, "x" and a number
    bool prompt = false; ///< a prompt, not a question
    int number = 0;      ///< the question's (or prompt's) number in its assignment
    QString label;       ///< first line of the question's bank text
    QString bankText;    ///< the question's whole text
    bool inCourse = true;
    int studentsAnswered = 0;
    int responses = 0;
    Spread confidence, selfCritique;
    /// Students who rated it 0 or 1 at least once (confidence, self-critique, either).
    int lowConfidenceStudents = 0, lowSelfCritiqueStudents = 0, struggled = 0;
    /// Students with a confident error on it in some attempt, and those who
    /// rated it 0 or 1 or made a confident error (what a flag counts).
    int confidentErrorStudents = 0, lowOrConfidentError = 0;
    /// lowOrConfidentError among the students who answered it (0 for none).
    double flagShare() const { return studentsAnswered ? double(lowOrConfidentError) / studentsAnswered : 0.0; }
    bool flagged = false;
    calibration::Grid grid;   ///< every attempt's pair of ratings
    std::vector<int> records; ///< indices into ClassData::records, by student then time
};

/// One attempt of a student's at a question or prompt: the response with
/// its confidence, and the response to the worked answer with the
/// self-critique that followed (ClassRecord::attempt numbers them).
struct AttemptPair
{
    int number = 1;
    int answer = -1;   ///< the response to the question (index into ClassData::records), -1 for none
    int critique = -1; ///< the response to its worked answer, -1 for none
    int confidence = -1, selfCritique = -1; ///< their ratings' values, -1 for none or not 0 to 3
    bool paired() const { return answer >= 0 && critique >= 0; }
};

/// A record's date ("03-06-2026", as the program writes it) as ISO 8601
/// ("2026-03-06"), the one form the pages show; any other text as it stands.
QString isoDate(const QString &recordDate);

struct DaySummary
{
    QString date; ///< yyyy-mm-dd (isoDate)
    QString first, last;
    int records = 0;
};

struct AssignmentCounts
{
    int responses = 0;
    int notes = 0;
    int questionsReached = 0; ///< questions of the course with a response of the student's
    Spread confidence, selfCritique;
    calibration::Grid grid; ///< the pairs of every attempt in the assignment
};

struct StudentSummary
{
    std::vector<DaySummary> days; ///< oldest first
    std::map<QString, AssignmentCounts> assignments;
    Spread confidence, selfCritique;
    /// A confidence followed, after the worked answer of the same question,
    /// by a self-critique: every attempt's, first attempts', later ones'.
    calibration::Grid grid, firstGrid, laterGrid;
    /// Every attempt at each question and prompt (by index into ClassSummary::questions), oldest first.
    std::map<int, std::vector<AttemptPair>> attempts;
    int responses = 0, notes = 0;
};

/// What the report shows, worked out from the records once.
struct ClassSummary
{
    int students = 0, days = 0, responses = 0, notes = 0;
    std::vector<QuestionSummary> questions; ///< by assignment, then questions, then prompts
    std::vector<int> flagged;               ///< indices into questions, most students struggling first
    std::vector<StudentSummary> perStudent;
    std::vector<QString> assignments;       ///< every assignment with a record, in order
    std::map<QString, int> questionsIn;     ///< questions the course has per assignment
    calibration::Grid grid, firstGrid, laterGrid; ///< the class's pairs, as StudentSummary's
    /// Where a student answered a question more than once: the pair of the
    /// first attempt, and that of the latest attempt after it with both
    /// ratings; how many questions and how many student-question answers.
    calibration::Grid reviewedFirst, reviewedLatest;
    int reviewedQuestions = 0, reviewedAnswers = 0;
};

// Which questions come first, relative to the class (flagRule() says it in
// words from these): of the questions (never prompts) that at least
// flagMinStudents students answered, those whose flagShare() is above 0 and
// at least the flagPercentile-th percentile of these questions' shares;
// the highest share first, ties by more students; at most one in
// flagFraction of the class's questions (rounded up) and flagMostItems.
constexpr int flagMinStudents = 5;
constexpr int flagPercentile = 75;
constexpr int flagFraction = 5;
constexpr int flagMostItems = 20;

/// The flag rule in words, for the pages.
QString flagRule();

/// The class's pairs per assignment (every attempt's), from the questions' grids.
std::map<QString, calibration::Grid> classGridsByAssignment(const ClassSummary &summary);

/// Counts, spreads and pairs for the class and each student.
ClassSummary summarize(const ClassData &data, const CourseIndex &course);

/// How far a student got in an assignment.
enum class Progress { Missing, Partly, Done };
Progress progressOf(const StudentSummary &student, const ClassSummary &summary, const QString &assignment);
