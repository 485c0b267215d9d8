#pragma once

#include "records/inputfiles.h"
#include "report/classmodel.h"

#include <QDateTime>
#include <QString>

#include <set>

/// The class as a folder of plain pages (no scripts, inline SVG, one
/// stylesheet): index.html (the class, the questions to look at first and a
/// roster), a page per student that can be sent to that student alone, a
/// page per question with every student's answers beside the worked answer,
/// and notes.html. Each page is written whole and renamed into place.
class SiteWriter
{
public:
    SiteWriter(const ClassData &data, const ClassSummary &summary, const CourseIndex &course, const QDateTime &made)
        : m_data(data), m_sum(summary), m_course(course), m_made(made)
    {
    }

    /// Writes every page into `folder`; false with the reason at the first
    /// page that could not be written. A page path that is one of `inputs`
    /// is refused.
    bool write(const QString &folder, const std::set<inputfiles::FileId> &inputs, QString &reason) const;

    /// The file name of a student's page ("student-001.html").
    static QString studentPage(size_t student);
    /// The file name of a question's page ("001-q2.html").
    static QString questionPage(const QuestionSummary &question, size_t index);

private:
    QString indexPage() const;
    QString studentPageText(size_t student) const;
    QString questionPageText(size_t question) const;
    QString notesPage() const;

    const ClassData &m_data;
    const ClassSummary &m_sum;
    const CourseIndex &m_course;
    QDateTime m_made;
};
