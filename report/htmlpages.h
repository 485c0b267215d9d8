#pragma once

// The pieces both the one-file report and the class site are made of.
// Every text from a file passes through escapeXml here, so pages stay
// well-formed XHTML whatever the students typed.

#include "report/classmodel.h"

#include <QString>

#include <functional>
#include <vector>

namespace Html {

/// The one stylesheet: screen and print (every text open, table headers
/// repeated on each printed page).
QString stylesheet();

/// A page's start up to <body>; the stylesheet linked from `styleHref`, or
/// inline when it is empty (a page that must stand on its own).
QString pageStart(const QString &title, const QString &styleHref = QString());
QString pageEnd();

QString assignmentName(const QString &assignment);
/// "question 2", "prompt 1", or the text's first line for a text the course lacks.
QString itemName(const QuestionSummary &q);

/// Counts and shares of a spread: "0: 1 · 1: 2 · 2: 0 · 3: 1 (n = 4, 0 or 1: 75%)",
/// then the other ratings grouped: "other 3: (empty) ×2, “2 or 3” ×1".
QString countsText(const Spread &spread);

/// Links of a question's row; empty for none.
using QuestionLink = std::function<QString(const QuestionSummary &)>;

/// A table of questions (all of `indices`), its header repeated on each printed page.
QString questionTable(const ClassSummary &summary, const std::vector<int> &indices, bool withAssignment,
                      const QuestionLink &link);

/// How a record is shown: when, where, what kind, the rating, the text.
/// `bank`, markup, is put above the text (the first line of the course text, a link).
QString recordBlock(const ClassRecord &record, const QString &who, const QString &bank);

/// Where a page goes, a block at a time.
using Put = std::function<void(const QString &text)>;

/// A page made a piece at a time and handed on in blocks, so that a page
/// of many records never stands whole in memory.
class Page
{
public:
    explicit Page(const Put &put) : m_put(put) {}
    Page &operator+=(const QString &text)
    {
        m_text += text;
        if (m_text.size() > (qsizetype(1) << 18))
            flush();
        return *this;
    }
    /// Hands on what is made so far.
    void flush()
    {
        if (!m_text.isEmpty())
            m_put(m_text);
        m_text.clear();
    }

private:
    const Put &m_put;
    QString m_text;
};

/// A student's charts, days, assignments and every response and note,
/// into `page`, its headings at `level` (3 under a student's h2, 2 on the
/// student's own page). `bankOf` gives what stands above each record's text.
void studentBody(const ClassData &data, const ClassSummary &summary, size_t student,
                 const std::function<QString(const ClassRecord &)> &bankOf, Page &page, int level = 3);

/// A site page's landmarks: a header with `links` (markup) as its
/// navigation, then the start of the main part; siteEnd closes it.
QString siteTop(const QString &links);
QString siteEnd();

/// A rating as a table cell shows it: the value 0 to 3, what was typed
/// apart ("as typed: “2 or 3”"), "–" for none.
QString ratingShown(const FileRecord &record);

/// Every question of the course the class answered, a table per assignment.
QString everyQuestion(const ClassSummary &summary, const QuestionLink &link);

/// " (shares files with …)" after a student's name, or nothing.
QString sharedMark(const Student &student);

/// How many of a student's responses and notes are under assignments the course lacks.
QString madeUpRecords(const StudentSummary &student, const ClassSummary &summary);

/// The list of what could not be read.
QString warningList(const ClassData &data);

/// The roster (report/rostertable.cpp): a row per student, the students to
/// look at first on top, then by name; assignments done, confident errors,
/// unsure answers and over-confidence, each name a link to `studentLink(student)`.
QString rosterTable(const ClassData &data, const ClassSummary &summary, const std::function<QString(size_t)> &studentLink);

/// "25% (n = 4)" for a rate of the pairs it is a share of, "–" for none (a rate of -1).
QString rateText(double rate, int n);

/// A paragraph of a grid's over- and under-confidence, each with its n.
QString ratesLine(const calibration::Grid &grid);

/// The flag rule in words, then the flagged questions' table (or that none is).
QString flagList(const ClassSummary &summary, const QuestionLink &link);

/// The class's calibration: its grid, its rates, their change across
/// assignments, and the questions answered again (reviewedChange).
QString calibrationSection(const ClassSummary &summary);

/// Where students answered a question more than once: the first attempts'
/// pairs against the latest, as confident errors, unsure and settled pairs.
QString reviewedChange(const ClassSummary &summary);

/// "Students to look at first": the rule in words and each student with the figures that put them there.
QString lookFirstSection(const ClassData &data, const ClassSummary &summary, const std::function<QString(size_t)> &studentLink);

/// The few lines that sort the roster by any column in the browser (index.html only).
QString rosterSortScript();

/// The class's figures: students, days, responses, notes.
QString classFigures(const ClassSummary &summary);

} // namespace Html
