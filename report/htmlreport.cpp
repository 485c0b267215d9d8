#include "report/htmlreport.h"

#include "report/htmlpages.h"
#include "report/xmltext.h"

#include <QBuffer>
#include <QHash>

namespace {

/// The texts the course lacks, one line each: their records stand under each student.
QString notInCourse(const ClassSummary &sum)
{
    QString rows;
    for (const QuestionSummary &q : sum.questions)
        if (!q.inCourse)
            rows += QStringLiteral("<tr><td>%1</td><td>%2</td><td class=\"n\">%3</td><td class=\"n\">%4</td></tr>\n")
                        .arg(escapeXml(Html::assignmentName(q.assignment)), escapeXml(q.label),
                             QString::number(q.studentsAnswered), QString::number(q.responses));
    if (rows.isEmpty())
        return QString();
    return QStringLiteral("<h3 id=\"not-in-course\">Texts the course does not have</h3>\n<table class=\"questions\"><thead><tr>"
                          "<th>assignment</th><th>first line</th><th>students answered</th><th>responses</th></tr></thead>\n<tbody>\n")
           + rows + QStringLiteral("</tbody></table>\n");
}

} // namespace

void writeHtmlReport(QIODevice &out, const ClassData &data, const ClassSummary &sum, const QDateTime &made)
{
    auto put = [&](const QString &text) { out.write(text.toUtf8()); };
    put(Html::pageStart(QStringLiteral("Applied Calculus I: class report")));
    put(QStringLiteral("<h1>Applied Calculus I: class report</h1>\n<p>Made %1 from %2 file(s) of %3 student(s).</p>\n")
            .arg(made.toString(QStringLiteral("yyyy-MM-dd HH:mm")), QString::number(data.filesRead), QString::number(sum.students)));
    put(Html::warningList(data));
    put(QStringLiteral("<section id=\"class\"><h2>The class</h2>\n") + Html::classFigures(sum));

    put(QStringLiteral("<h3 id=\"attention\">Questions to look at first</h3>\n"));
    if (sum.flagged.empty())
        put(QStringLiteral("<p>No question was rated 0 or 1 by %1 or more students in a third of its ratings.</p>\n")
                .arg(flagStudents));
    else
        put(QStringLiteral("<p>Most students who rated them 0 or 1 (low confidence or weak self-critique) first.</p>\n")
            + Html::questionTable(sum, sum.flagged, true, nullptr));
    put(Html::everyQuestion(sum, nullptr));
    put(notInCourse(sum));
    put(QStringLiteral("</section>\n"));

    // Each student; the course text each record answers stands once at the end.
    QHash<const CoursePlace *, int> textIds;
    std::vector<const ClassRecord *> texts;
    auto bankOf = [&](const ClassRecord &c) {
        if (!c.place)
            return QStringLiteral("<p class=\"bank\"><em>Not in this course text:</em></p><pre class=\"course\">%1</pre>\n")
                .arg(escapeXml(c.record.bankText));
        int id = textIds.value(c.place, -1);
        if (id < 0) {
            id = int(texts.size());
            textIds.insert(c.place, id);
            texts.push_back(&c);
        }
        return QStringLiteral("<p class=\"bank\">%1 <a href=\"#text-%2\">(whole text)</a></p>\n")
            .arg(escapeXml(firstLine(c.record.bankText)), QString::number(id));
    };
    const Html::Put putText = put;
    for (size_t si = 0; si < data.students.size(); ++si) {
        Html::Page page(putText);
        page += QStringLiteral("<section class=\"student\" id=\"student-%1\"><h2>%2</h2>\n")
                    .arg(QString::number(si + 1), escapeXml(data.students[si].name));
        Html::studentBody(data, sum, si, bankOf, page);
        page += QStringLiteral("</section>\n");
        page.flush();
    }

    if (!texts.empty()) {
        put(QStringLiteral("<section id=\"course-text\"><h2>Course text answered</h2>\n"));
        for (size_t i = 0; i < texts.size(); ++i) {
            const ClassRecord &c = *texts[i];
            put(QStringLiteral("<div id=\"text-%1\"><h3>%2%3</h3><pre class=\"course\">%4</pre></div>\n")
                    .arg(i)
                    .arg(escapeXml(Html::assignmentName(c.place->assignment)),
                         c.place->role == CoursePlace::Other
                             ? QStringLiteral(" prompt %1").arg(c.place->prompt)
                             : c.place->question > 0 ? QStringLiteral(" question %1").arg(c.place->question) : QString(),
                         escapeXml(c.record.bankText)));
        }
        put(QStringLiteral("</section>\n"));
    }
    put(Html::pageEnd());
}

QString htmlReport(const ClassData &data, const ClassSummary &summary, const QDateTime &made)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    writeHtmlReport(buffer, data, summary, made);
    return QString::fromUtf8(buffer.data());
}
