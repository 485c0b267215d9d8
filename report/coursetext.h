#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <vector>

/// The course text's entries as the student program loads them (index 0
/// unused, then entry 1 on). The one place the report reaches the course.
QStringList courseEntries();

/// Where a bank text stands in the course.
struct CoursePlace
{
    enum Role { Question, Answer, Other };
    QString assignment; ///< three digits
    int question = 0;   ///< 1 for the assignment's first question; 0 before it
    int prompt = 0;     ///< for Other: 1 for the assignment's first text that is neither question nor answer
    Role role = Other;
    QString questionText; ///< the question's bank text (without its marker)
};

/// Finds the question a record's bank text belongs to. Records carry the
/// entry without its "`q" or "`a" marker, exactly as read from the bank.
class CourseIndex
{
public:
    explicit CourseIndex(const QStringList &entries);

    /// The place of `bankText`, preferring one in `assignment` when the same
    /// text stands in several; nullptr when the course does not hold it.
    const CoursePlace *find(const QString &bankText, const QString &assignment) const;
    /// The worked answer(s) given after question `question` of `assignment`.
    QString answerText(const QString &assignment, int question) const;
    /// How many questions `assignment` has.
    int questionCount(const QString &assignment) const { return m_questions.value(assignment); }

private:
    std::vector<CoursePlace> m_places;
    QMultiHash<QString, int> m_byText;
    QHash<QString, int> m_questions;
    QHash<QString, QString> m_answers; // "assignment#question" -> the answer texts
};

/// A course text as the program shows it: each "{}" a line break, and the
/// "**" that ends a given answer left out.
QString shownText(const QString &courseText);

/// The first non-blank line of a text, trimmed and cut to `width` characters.
QString firstLine(const QString &text, int width = 90);
