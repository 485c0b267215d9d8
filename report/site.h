#pragma once

#include "report/classmodel.h"
#include "report/htmlpages.h"
#include "report/reportfiles.h"

#include <QDateTime>
#include <QString>

#include <set>

/// The class as a folder of plain pages (no scripts, inline SVG, one
/// stylesheet): index.html (the class, the questions to look at first and a
/// roster), a page per student that can be sent to that student alone, a
/// page per question with every student's answers beside the worked answer,
/// notes.html, and not-in-course.html with every text the course lacks.
/// Each page is written whole beside its place, into an OutputSet.
class SiteWriter
{
public:
    SiteWriter(const ClassData &data, const ClassSummary &summary, const CourseIndex &course, const QDateTime &made)
        : m_data(data), m_sum(summary), m_course(course), m_made(made)
    {
    }

    /// Writes every page for `folder` into `outputs`; false with the
    /// reason at the first page that could not be written.
    bool write(const QString &folder, OutputSet &outputs, QString &reason) const;

    /// The file name of a student's page ("student-001.html").
    static QString studentPage(size_t student);
    /// Where a question's page is ("001-q2.html"; "not-in-course.html#text-3"
    /// for a text the course lacks).
    static QString questionPage(const QuestionSummary &question, size_t index);

private:
    QString indexPage() const;
    // The pages written a block at a time through `put`.
    void studentPage(size_t student, const Html::Put &put) const;
    void questionPage(size_t question, const Html::Put &put) const;
    void notesPage(const Html::Put &put) const;
    void notInCoursePage(const Html::Put &put) const;
    bool anyNotInCourse() const;

    const ClassData &m_data;
    const ClassSummary &m_sum;
    const CourseIndex &m_course;
    QDateTime m_made;
};
