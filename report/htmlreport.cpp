#include "report/htmlreport.h"

#include "report/htmlpages.h"
#include "report/xmltext.h"

#include <QBuffer>

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
    // The class at a glance, small enough for any browser at once; each
    // student's answers and notes stand on the site, a page apiece.
    auto put = [&](const QString &text) { out.write(text.toUtf8()); };
    put(Html::pageStart(QStringLiteral("Applied Calculus I: class report")));
    put(QStringLiteral("<h1>Applied Calculus I: class report</h1>\n<p>Made %1 from %2 file(s) of %3 student(s).</p>\n")
            .arg(made.toString(QStringLiteral("yyyy-MM-dd HH:mm")), QString::number(data.filesRead), QString::number(sum.students)));
    put(QStringLiteral("<p>%1</p>\n").arg(escapeXml(oneFileHolds())));
    put(Html::warningList(data));
    put(QStringLiteral("<section id=\"class\"><h2>The class</h2>\n") + Html::classFigures(sum) + QStringLiteral("</section>\n"));
    put(QStringLiteral("<section id=\"attention\"><h2>Questions to look at first</h2>\n") + Html::flagList(sum, nullptr)
        + QStringLiteral("</section>\n"));
    put(Html::calibrationSection(sum));
    put(Html::rosterTable(data, sum, [](size_t) { return QString(); }));
    put(QStringLiteral("<section id=\"questions\"><h2>Every question</h2>\n") + Html::everyQuestion(sum, nullptr)
        + notInCourse(sum) + QStringLiteral("</section>\n"));
    put(Html::pageEnd());
}

QString oneFileHolds()
{
    return QStringLiteral("This one file holds the class's figures, the questions to look at first, calibration, the "
                          "roster and every question's counts. The students' answers and notes, and a page per student "
                          "and per question, are on the site (--site DIR).");
}

QString htmlReport(const ClassData &data, const ClassSummary &summary, const QDateTime &made)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    writeHtmlReport(buffer, data, summary, made);
    return QString::fromUtf8(buffer.data());
}
