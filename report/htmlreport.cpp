#include "report/htmlreport.h"

#include "report/htmlpages.h"
#include "report/xmltext.h"

#include <QBuffer>
#include <QHash>

void writeHtmlReport(QIODevice &out, const ClassData &data, const ClassSummary &sum, const QDateTime &made)
{
    auto put = [&](const QString &text) { out.write(text.toUtf8()); };
    put(Html::pageStart(QStringLiteral("Applied Calculus I: class report")));
    put(QStringLiteral("<h1>Applied Calculus I: class report</h1>\n<p>Made %1 from %2 file(s) of %3 student(s).</p>\n")
            .arg(made.toString(QStringLiteral("yyyy-MM-dd HH:mm")))
            .arg(data.filesRead)
            .arg(sum.students));
    put(Html::warningList(data));
    put(QStringLiteral("<section id=\"class\"><h2>The class</h2>\n") + Html::classFigures(sum));

    put(QStringLiteral("<h3 id=\"attention\">Questions to look at first</h3>\n"));
    if (sum.flagged.empty())
        put(QStringLiteral("<p>No question was rated 0 or 1 by %1 or more students in a third of its ratings.</p>\n")
                .arg(flagStudents));
    else
        put(QStringLiteral("<p>Most students who rated them 0 or 1 (low confidence or weak self-critique) first.</p>\n")
            + Html::questionTable(sum, sum.flagged, true, nullptr));
    for (size_t i = 0; i < sum.questions.size();) {
        const QString assignment = sum.questions[i].assignment;
        std::vector<int> rows;
        for (; i < sum.questions.size() && sum.questions[i].assignment == assignment; ++i)
            rows.push_back(int(i));
        put(QStringLiteral("<h3>%1</h3>\n").arg(escapeXml(Html::assignmentName(assignment)))
            + Html::questionTable(sum, rows, false, nullptr));
    }
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
        return QStringLiteral("<p class=\"bank\">%1 <a href=\"#text-%2\">(whole text)</a></p>\n").arg(escapeXml(firstLine(c.record.bankText))).arg(id);
    };
    for (size_t si = 0; si < data.students.size(); ++si)
        put(QStringLiteral("<section class=\"student\" id=\"student-%1\"><h2>%2</h2>\n")
                .arg(si + 1)
                .arg(escapeXml(data.students[si].name))
            + Html::studentBody(data, sum, si, bankOf) + QStringLiteral("</section>\n"));

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
