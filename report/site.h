#pragma once

#include "report/classmodel.h"
#include "report/htmlpages.h"
#include "report/reportfiles.h"

#include <QDateTime>
#include <QHash>
#include <QString>

#include <map>
#include <set>
#include <vector>

/// The class as a folder of plain pages (no scripts, inline SVG, one
/// stylesheet): index.html (the class, the questions to look at first and a
/// roster), a page per student that can be sent to that student alone, a
/// page per question with every student's answers beside the worked answer,
/// notes.html, and not-in-course.html with every text the course lacks.
/// Each page is written whole beside its place, into an OutputSet.
class SiteWriter
{
public:
    SiteWriter(const ClassData &data, const ClassSummary &summary, const CourseIndex &course, const QDateTime &made);

    /// Writes every page for `folder` into `outputs`, with the marker that
    /// makes the folder this program's, and once all are in place removes
    /// the pages of an earlier run no longer made; false with the reason
    /// at the first page that could not be written, or when the folder
    /// holds files this program did not mark as its own.
    bool write(const QString &folder, OutputSet &outputs, QString &reason) const;

    /// The file name of a student's page, the one place it is made: see studentPages.
    QString studentPage(size_t student) const { return m_studentPages[student]; }
    /// The page names of students with these folder names, in order: a
    /// readable ASCII slug and the first 8 hex digits of the SHA-256 of
    /// the whole name in UTF-8 ("anna-schmidt-1b2c3d4e.html"), so that a
    /// name keeps its page whoever else is in the class; should two names
    /// ever give the same file name, the later ones are numbered ("-2").
    static std::vector<QString> studentPages(const std::vector<QString> &folderNames);
    /// Where a question's page is ("001-q2.html"; "not-in-course.html#text-3"
    /// for a text the course lacks).
    static QString questionPage(const QuestionSummary &question, size_t index);

private:
    /// A row of a question's responses report: a student's attempts at it.
    struct ResponseRow
    {
        size_t student;
        const std::vector<AttemptPair> *attempts;
        calibration::Kind kind; ///< of the latest attempt
        QString key;            ///< the latest answer, blanks and case aside
    };

    QString indexPage() const;
    QString calibrationCard(size_t student) const;
    QString attemptsTable(size_t student) const;
    std::vector<ResponseRow> responseRows(size_t question) const;
    void responsesReport(size_t question, Html::Page &page) const;
    QString responseRow(const ResponseRow &row, int sameCount) const;
    QString sameAnswers(const std::vector<ResponseRow> &rows, const QHash<QString, int> &same) const;
    void groupNotes();
    QString noteBlock(int record, bool withBank) const;
    // The pages written a block at a time through `put`.
    void studentPage(size_t student, const Html::Put &put) const;
    void questionPage(size_t question, const Html::Put &put) const;
    void notesPage(const Html::Put &put) const;
    void notInCoursePage(const Html::Put &put) const;
    bool anyNotInCourse() const;
    static bool writeMarker(const QString &folder, const QStringList &before, const QStringList &written,
                            OutputSet &outputs, QString &reason);

    const ClassData &m_data;
    const ClassSummary &m_sum;
    const CourseIndex &m_course;
    QDateTime m_made;
    std::vector<QString> m_studentPages;
    std::map<int, std::vector<int>> m_notes;               ///< notes by question (index into m_sum.questions)
    std::map<QString, std::vector<int>> m_assignmentNotes; ///< notes on no question, by assignment
};
