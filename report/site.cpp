#include "report/site.h"

#include "report/charts.h"
#include "report/htmlpages.h"
#include "report/reportfiles.h"
#include "report/xmltext.h"

#include <QDir>
#include <QHash>

#include <algorithm>

namespace {

const QString title = QStringLiteral("Applied Calculus I");

bool isThreeDigits(const QString &s)
{
    return s.size() == 3 && s.at(0).isDigit() && s.at(1).isDigit() && s.at(2).isDigit()
           && s.at(0).unicode() < 128 && s.at(1).unicode() < 128 && s.at(2).unicode() < 128;
}

QString link(const QString &href, const QString &text)
{
    return QStringLiteral("<a href=\"%1\">%2</a>").arg(escapeXml(href), text);
}

} // namespace

QString SiteWriter::studentPage(size_t student)
{
    return QStringLiteral("student-%1.html").arg(student + 1, 3, 10, QLatin1Char('0'));
}

const QString notInCourse = QStringLiteral("not-in-course.html");

QString SiteWriter::questionPage(const QuestionSummary &q, size_t index)
{
    // The assignment comes from a file: only a plain number names a page,
    // and a text the course lacks is one of many on one page.
    if (q.inCourse && isThreeDigits(q.assignment) && (q.item.startsWith(QLatin1Char('q')) || q.item.startsWith(QLatin1Char('p'))))
        return QStringLiteral("%1-%2.html").arg(q.assignment, q.item);
    return notInCourse + QStringLiteral("#text-%1").arg(index + 1);
}

bool SiteWriter::anyNotInCourse() const
{
    return std::any_of(m_sum.questions.begin(), m_sum.questions.end(), [](const QuestionSummary &q) { return !q.inCourse; });
}

bool SiteWriter::write(const QString &folder, OutputSet &outputs, QString &reason) const
{
    if (!makeSiteFolder(folder, reason))
        return false;
    const QDir dir(folder);
    // Each page is handed to its file a block at a time as it is made.
    auto page = [&](const QString &name, const std::function<void(const Html::Put &)> &make) {
        return outputs.write(dir.filePath(name), false, [&](QIODevice &out) {
            make([&out](const QString &text) { out.write(text.toUtf8()); });
        }, reason);
    };
    const auto text = [](const QString &whole) { return [whole](const Html::Put &put) { put(whole); }; };
    if (!page(QStringLiteral("style.css"), text(Html::stylesheet())) || !page(QStringLiteral("index.html"), text(indexPage()))
        || !page(QStringLiteral("notes.html"), [this](const Html::Put &put) { notesPage(put); }))
        return false;
    for (size_t si = 0; si < m_data.students.size(); ++si)
        if (!page(studentPage(si), [this, si](const Html::Put &put) { studentPage(si, put); }))
            return false;
    for (size_t qi = 0; qi < m_sum.questions.size(); ++qi)
        if (m_sum.questions[qi].inCourse
            && !page(questionPage(m_sum.questions[qi], qi), [this, qi](const Html::Put &put) { questionPage(qi, put); }))
            return false;
    return !anyNotInCourse() || page(notInCourse, [this](const Html::Put &put) { notInCoursePage(put); });
}

QString SiteWriter::indexPage() const
{
    QString h = Html::pageStart(title + QStringLiteral(": the class"), QStringLiteral("style.css"));
    h += QStringLiteral("<h1>%1: the class</h1>\n<p>Made %2 from %3 file(s) of %4 student(s). "
                        "<a href=\"#roster\">Roster</a> \u00b7 <a href=\"#questions\">Every question</a> \u00b7 "
                        "<a href=\"notes.html\">Notes</a></p>\n")
             .arg(title, m_made.toString(QStringLiteral("yyyy-MM-dd HH:mm")), QString::number(m_data.filesRead),
                  QString::number(m_sum.students));
    h += Html::warningList(m_data);
    h += Html::classFigures(m_sum);
    h += Html::lookFirstSection(m_data, m_sum, [](size_t si) { return studentPage(si); });
    const auto questionLink = [this](const QuestionSummary &q) {
        return questionPage(q, size_t(&q - m_sum.questions.data()));
    };
    h += QStringLiteral("<h2 id=\"attention\">Questions to look at first</h2>\n") + Html::flagList(m_sum, questionLink);
    h += Html::calibrationSection(m_sum);

    h += Html::rosterTable(m_data, m_sum, [](size_t si) { return studentPage(si); });
    h += QStringLiteral("<h2 id=\"questions\">Every question</h2>\n");
    h += Html::everyQuestion(m_sum, questionLink);
    if (anyNotInCourse())
        h += QStringLiteral("<p><a href=\"%1\">Texts the course does not have</a>: what students answered that is not in "
                            "this course text, on one page.</p>\n")
                 .arg(notInCourse);
    h += Html::rosterSortScript();
    return h + Html::pageEnd();
}

void SiteWriter::studentPage(size_t si, const Html::Put &put) const
{
    // Self-contained and about this student alone: it can be sent as it is.
    const QString name = m_data.students[si].name;
    Html::Page h(put);
    h += Html::pageStart(title + QStringLiteral(": ") + name);
    h += QStringLiteral("<h1>%1</h1>\n<p>%2 \u00b7 made %3</p>\n")
             .arg(escapeXml(name), title, m_made.toString(QStringLiteral("yyyy-MM-dd")));
    Html::studentBody(m_data, m_sum, si, [](const ClassRecord &c) {
        return QStringLiteral("<p class=\"bank\">%1</p>\n").arg(escapeXml(firstLine(c.record.bankText)));
    }, h);
    h += Html::pageEnd();
    h.flush();
}

void SiteWriter::questionPage(size_t qi, const Html::Put &put) const
{
    const QuestionSummary &q = m_sum.questions[qi];
    const QString heading = Html::assignmentName(q.assignment) + QStringLiteral(", ") + Html::itemName(q);
    Html::Page h(put);
    h += Html::pageStart(title + QStringLiteral(": ") + heading, QStringLiteral("style.css"));
    h += QStringLiteral("<p><a href=\"index.html\">The class</a></p>\n<h1>%1</h1>\n").arg(escapeXml(heading));
    h += QStringLiteral("<pre class=\"course\">%1</pre>\n").arg(escapeXml(q.bankText));
    if (q.inCourse && !q.prompt) {
        const QString answer = m_course.answerText(q.assignment, q.number);
        if (!answer.isEmpty())
            h += QStringLiteral("<h2>The worked answer</h2>\n<pre class=\"course\">%1</pre>\n").arg(escapeXml(answer));
    }
    h += QStringLiteral("<h2>The class</h2>\n<p>%1 student(s) answered; %2 rated it 0 or 1.</p>\n")
             .arg(q.studentsAnswered)
             .arg(q.struggled);
    h += Html::questionTable(m_sum, {int(qi)}, false, nullptr);
    h += QStringLiteral("<div class=\"charts\">\n")
         + Charts::calibration(q.grid.pairs, QStringLiteral("Confidence against the self-critique that followed"))
         + QStringLiteral("\n</div>\n") + Html::ratesLine(q.grid);
    h += QStringLiteral("<h2>Every answer</h2>\n");
    for (int ri : q.records) {
        const ClassRecord &c = m_data.records[size_t(ri)];
        h += Html::recordBlock(c, link(studentPage(size_t(c.student)), escapeXml(m_data.students[size_t(c.student)].name)),
                               QString());
    }
    h += Html::pageEnd();
    h.flush();
}

void SiteWriter::notInCoursePage(const Html::Put &put) const
{
    Html::Page h(put);
    h += Html::pageStart(title + QStringLiteral(": texts the course does not have"), QStringLiteral("style.css"));
    h += QStringLiteral("<p><a href=\"index.html\">The class</a></p>\n<h1>Texts the course does not have</h1>\n"
                        "<p>Answered in the students' files but not in this course text (another course's, or changed by hand).</p>\n");
    for (size_t qi = 0; qi < m_sum.questions.size(); ++qi) {
        const QuestionSummary &q = m_sum.questions[qi];
        if (q.inCourse)
            continue;
        h += QStringLiteral("<section id=\"text-%1\"><h2>%2</h2>\n<pre class=\"course\">%3</pre>\n")
                 .arg(QString::number(qi + 1), escapeXml(Html::assignmentName(q.assignment)), escapeXml(q.bankText));
        for (int ri : q.records) {
            const ClassRecord &c = m_data.records[size_t(ri)];
            h += Html::recordBlock(c, link(studentPage(size_t(c.student)), escapeXml(m_data.students[size_t(c.student)].name)),
                                   QString());
        }
        h += QStringLiteral("</section>\n");
    }
    h += Html::pageEnd();
    h.flush();
}

void SiteWriter::notesPage(const Html::Put &put) const
{
    Html::Page h(put);
    h += Html::pageStart(title + QStringLiteral(": notes"), QStringLiteral("style.css"));
    h += QStringLiteral("<p><a href=\"index.html\">The class</a></p>\n<h1>Notes of the class</h1>\n");
    std::map<QString, std::vector<int>> byAssignment;
    for (size_t si = 0; si < m_data.students.size(); ++si)
        for (int ri : m_data.students[si].records) {
            const ClassRecord &c = m_data.records[size_t(ri)];
            if (c.record.kind == FileRecord::Note)
                byAssignment[c.place ? c.place->assignment : c.record.assignment].push_back(ri);
        }
    if (byAssignment.empty())
        h += QStringLiteral("<p>No notes.</p>\n");
    for (const auto &[assignment, notes] : byAssignment) {
        h += QStringLiteral("<h2>%1</h2>\n").arg(escapeXml(Html::assignmentName(assignment)));
        for (int ri : notes) {
            const ClassRecord &c = m_data.records[size_t(ri)];
            h += Html::recordBlock(c, link(studentPage(size_t(c.student)), escapeXml(m_data.students[size_t(c.student)].name)),
                                   QStringLiteral("<p class=\"bank\">%1</p>\n").arg(escapeXml(firstLine(c.record.bankText))));
        }
    }
    h += Html::pageEnd();
    h.flush();
}
