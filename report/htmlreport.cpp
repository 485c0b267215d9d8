#include "report/htmlreport.h"

#include "report/charts.h"

#include <QHash>

namespace {

const char *style = R"(
body { font-family: sans-serif; font-size: 14px; margin: 1.5em; color: #222; max-width: 70em; }
h1 { font-size: 1.6em; } h2 { border-bottom: 2px solid #3168aa; padding-bottom: .2em; margin-top: 2em; }
table { border-collapse: collapse; margin: .5em 0 1em; }
th, td { border: 1px solid #ccc; padding: .2em .5em; text-align: left; vertical-align: top; }
th { background: #f0f4fa; } td.n { text-align: right; }
tr.flagged td { background: #fff3e6; }
.counts { font-size: .85em; color: #555; white-space: nowrap; }
.apart { color: #a33; }
details { border: 1px solid #ddd; margin: .2em 0; padding: .2em .5em; }
summary { cursor: pointer; }
pre { white-space: pre-wrap; font-family: inherit; background: #fafafa; padding: .3em; margin: .3em 0; }
.warn { color: #a33; }
.charts svg { margin-right: 1.5em; vertical-align: top; }
@media print {
  body { margin: 0; max-width: none; }
  section.student { page-break-before: always; }
  details { page-break-inside: avoid; }
  a { color: inherit; text-decoration: none; }
}
)";

/// Text for XML: the five specials escaped, characters XML cannot hold shown as U+FFFD.
QString esc(const QString &s)
{
    QString out;
    out.reserve(s.size() + 16);
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s.at(i);
        switch (c.unicode()) {
        case '&': out += QLatin1String("&amp;"); break;
        case '<': out += QLatin1String("&lt;"); break;
        case '>': out += QLatin1String("&gt;"); break;
        case '"': out += QLatin1String("&quot;"); break;
        case '\r':
            if (i + 1 < s.size() && s.at(i + 1) == QLatin1Char('\n'))
                break;
            out += QLatin1Char('\n');
            break;
        default:
            if ((c.unicode() < 0x20 && c != QLatin1Char('\t') && c != QLatin1Char('\n')) || c.unicode() == 0xFFFE
                || c.unicode() == 0xFFFF)
                out += QChar(0xFFFD);
            else
                out += c;
        }
    }
    return out;
}

QString assignmentName(const QString &a)
{
    bool ok = false;
    const int n = a.toInt(&ok);
    return ok ? QStringLiteral("Assignment %1").arg(n) : QStringLiteral("Assignment \u201c%1\u201d").arg(a);
}

QString countsText(const Spread &s)
{
    QString t = QStringLiteral("0: %1 \u00b7 1: %2 \u00b7 2: %3 \u00b7 3: %4")
                    .arg(s.counts[0]).arg(s.counts[1]).arg(s.counts[2]).arg(s.counts[3]);
    if (!s.other.isEmpty()) {
        QStringList typed;
        for (const QString &o : s.other)
            typed.append(o.isEmpty() ? QStringLiteral("(empty)") : QStringLiteral("\u201c%1\u201d").arg(o));
        t += QStringLiteral(" \u00b7 <span class=\"apart\">other %1: %2</span>").arg(s.other.size()).arg(esc(typed.join(QStringLiteral(", "))));
    }
    return t;
}

QString spreadCell(const Spread &s)
{
    if (s.total() == 0)
        return QStringLiteral("<td>\u2013</td>");
    return QStringLiteral("<td>") + Charts::spreadBar(s) + QStringLiteral("<br/><span class=\"counts\">")
           + countsText(s) + QStringLiteral("</span></td>");
}

QString questionRow(const QuestionSummary &q, bool withAssignment)
{
    QString row = q.flagged ? QStringLiteral("<tr class=\"flagged\">") : QStringLiteral("<tr>");
    if (withAssignment)
        row += QStringLiteral("<td>%1</td>").arg(esc(assignmentName(q.assignment)));
    row += QStringLiteral("<td class=\"n\">%1</td><td>%2%3</td><td class=\"n answered\">%4</td>")
               .arg(q.number > 0 ? QString::number(q.number) : QStringLiteral("\u2013"), esc(q.label),
                    q.inCourse ? QString() : QStringLiteral(" <em>(not in this course text)</em>"),
                    QString::number(q.studentsAnswered));
    return row + spreadCell(q.confidence) + spreadCell(q.selfCritique) + QStringLiteral("</tr>\n");
}

QString questionTableHead(bool withAssignment)
{
    return QStringLiteral("<table class=\"questions\"><tr>") + (withAssignment ? QStringLiteral("<th>assignment</th>") : QString())
           + QStringLiteral("<th>question</th><th>first line of the question</th><th>students answered</th>"
                            "<th>confidence</th><th>self-critique</th></tr>\n");
}

QString ratingText(const FileRecord &r)
{
    if (r.ratingKind == FileRecord::NoRating)
        return QString();
    const QString kind = r.ratingKind == FileRecord::Confidence ? QStringLiteral("confidence") : QStringLiteral("self-critique");
    if (ratingValue(r.rating) >= 0)
        return QStringLiteral(" \u00b7 %1 %2").arg(kind, r.rating.trimmed());
    return QStringLiteral(" \u00b7 <span class=\"apart\">%1 as typed: \u201c%2\u201d</span>").arg(kind, esc(r.rating));
}

} // namespace

QString htmlReport(const ClassData &data, const ClassSummary &sum, const QDateTime &made)
{
    QString h;
    h.reserve(1 << 20);
    h += QStringLiteral("<!DOCTYPE html>\n<html xmlns=\"http://www.w3.org/1999/xhtml\" lang=\"en\">\n<head>\n"
                        "<meta charset=\"utf-8\"/>\n<title>Applied Calculus I: class report</title>\n<style>");
    h += QLatin1String(style);
    h += QStringLiteral("</style>\n</head>\n<body>\n<h1>Applied Calculus I: class report</h1>\n");
    h += QStringLiteral("<p>Made %1 from %2 file(s) of %3 student(s).</p>\n")
             .arg(made.toString(QStringLiteral("yyyy-MM-dd HH:mm")))
             .arg(data.filesRead)
             .arg(sum.students);

    if (!data.warnings.empty()) {
        h += QStringLiteral("<section id=\"warnings\"><h2>What could not be read</h2>\n<ul>\n");
        for (const ReadWarning &w : data.warnings)
            h += QStringLiteral("<li class=\"warn\">%1%2: %3</li>\n")
                     .arg(esc(w.file), w.line > 0 ? QStringLiteral(":%1").arg(w.line) : QString(), esc(w.message));
        h += QStringLiteral("</ul></section>\n");
    }

    // The class.
    h += QStringLiteral("<section id=\"class\"><h2>The class</h2>\n<table class=\"figures\">\n");
    const std::pair<const char *, int> figures[] = {
        {"students", sum.students}, {"days", sum.days}, {"responses", sum.responses}, {"notes", sum.notes}};
    for (const auto &[name, value] : figures)
        h += QStringLiteral("<tr><th>%1</th><td class=\"n\" id=\"%1\">%2</td></tr>\n").arg(QLatin1String(name)).arg(value);
    h += QStringLiteral("</table>\n<p>Ratings 0 to 3 are counted apiece (0 red to 3 green); anything else the "
                        "student typed is shown as typed and counted apart (grey).</p>\n");

    h += QStringLiteral("<h3 id=\"attention\">Questions to look at first</h3>\n");
    if (sum.flagged.empty()) {
        h += QStringLiteral("<p>No question had confidence or self-critique ratings of 0 or 1 in a third of its ratings.</p>\n");
    } else {
        h += QStringLiteral("<p>At least a third of the ratings were 0 or 1 (low confidence or weak self-critique), worst first.</p>\n");
        h += questionTableHead(true);
        for (int i : sum.flagged)
            h += questionRow(sum.questions[size_t(i)], true);
        h += QStringLiteral("</table>\n");
    }
    QString current;
    bool open = false;
    for (const QuestionSummary &q : sum.questions) {
        if (!open || q.assignment != current) {
            if (open)
                h += QStringLiteral("</table>\n");
            current = q.assignment;
            open = true;
            h += QStringLiteral("<h3>%1</h3>\n").arg(esc(assignmentName(current)));
            h += questionTableHead(false);
        }
        h += questionRow(q, false);
    }
    if (open)
        h += QStringLiteral("</table>\n");
    h += QStringLiteral("</section>\n");

    // Each student; the course text each record answers stands once at the end.
    QHash<const CoursePlace *, int> textIds;
    std::vector<const ClassRecord *> texts;
    for (size_t si = 0; si < data.students.size(); ++si) {
        const Student &student = data.students[si];
        const StudentSummary &st = sum.perStudent[si];
        h += QStringLiteral("<section class=\"student\" id=\"student-%1\"><h2>%2</h2>\n").arg(si + 1).arg(esc(student.name));
        h += QStringLiteral("<p>%1 response(s), %2 note(s); files: %3.</p>\n")
                 .arg(st.responses)
                 .arg(st.notes)
                 .arg(esc(student.files.isEmpty() ? QStringLiteral("none") : [&] {
                     QStringList names;
                     for (const QString &f : student.files)
                         names.append(f.section(QLatin1Char('/'), -1));
                     return names.join(QStringLiteral(", "));
                 }()));
        h += QStringLiteral("<div class=\"charts\">\n");
        h += Charts::ratingsByAssignment(st.assignments, true, QStringLiteral("Confidence per assignment"));
        h += Charts::ratingsByAssignment(st.assignments, false, QStringLiteral("Self-critique per assignment"));
        h += Charts::calibration(st.calibration, QStringLiteral("Confidence against the self-critique that followed"));
        h += QStringLiteral("\n</div>\n");
        if (st.calibrationApart > 0)
            h += QStringLiteral("<p class=\"apart\">%1 pair(s) with a rating other than 0 to 3 are not in the grid.</p>\n")
                     .arg(st.calibrationApart);

        h += QStringLiteral("<h3>Days worked</h3>\n<table class=\"days\"><tr><th>date</th><th>from</th><th>to</th><th>records</th></tr>\n");
        for (const DaySummary &d : st.days)
            h += QStringLiteral("<tr><td>%1</td><td>%2</td><td>%3</td><td class=\"n\">%4</td></tr>\n")
                     .arg(d.date, d.first, d.last)
                     .arg(d.records);
        h += QStringLiteral("</table>\n<h3>Per assignment</h3>\n<table class=\"assignments\"><tr><th>assignment</th>"
                            "<th>responses</th><th>notes</th><th>confidence</th><th>self-critique</th></tr>\n");
        for (const auto &[name, counts] : st.assignments)
            h += QStringLiteral("<tr><td>%1</td><td class=\"n\">%2</td><td class=\"n\">%3</td>")
                     .arg(esc(assignmentName(name)), QString::number(counts.responses), QString::number(counts.notes))
                 + spreadCell(counts.confidence) + spreadCell(counts.selfCritique) + QStringLiteral("</tr>\n");
        h += QStringLiteral("</table>\n");
        h += QStringLiteral("<h3>Responses and notes</h3>\n");
        for (int ri : student.records) {
            const ClassRecord &c = data.records[size_t(ri)];
            const FileRecord &r = c.record;
            if (r.kind == FileRecord::Header)
                continue;
            QString where;
            if (c.place && c.place->question > 0)
                where = QStringLiteral("%1 question %2").arg(assignmentName(c.place->assignment)).arg(c.place->question);
            else
                where = assignmentName(c.place ? c.place->assignment : r.assignment);
            const QString kind = r.kind == FileRecord::Note ? QStringLiteral("note")
                                 : !c.place ? QStringLiteral("response")
                                 : c.place->role == CoursePlace::Question ? QStringLiteral("response to the question")
                                 : c.place->role == CoursePlace::Answer ? QStringLiteral("response to the given answer")
                                                                        : QStringLiteral("response");
            h += QStringLiteral("<details class=\"%1\"><summary>%2 %3 \u00b7 %4 \u00b7 %5%6%7</summary>\n")
                     .arg(r.kind == FileRecord::Note ? QStringLiteral("note") : QStringLiteral("response"), r.date, r.time,
                          esc(where), kind, ratingText(r),
                          r.complete ? QString() : QStringLiteral(" \u00b7 <span class=\"apart\">cut short</span>"));
            if (c.place) {
                int id = textIds.value(c.place, -1);
                if (id < 0) {
                    id = int(texts.size());
                    textIds.insert(c.place, id);
                    texts.push_back(&c);
                }
                h += QStringLiteral("<p>%1 <a href=\"#text-%2\">(whole text)</a></p>\n").arg(esc(firstLine(r.bankText)), QString::number(id));
            } else {
                h += QStringLiteral("<p><em>Not in this course text:</em></p><pre>%1</pre>\n").arg(esc(r.bankText));
            }
            h += QStringLiteral("<pre>%1</pre></details>\n").arg(esc(r.text));
        }
        h += QStringLiteral("</section>\n");
    }

    if (!texts.empty()) {
        h += QStringLiteral("<section id=\"course-text\"><h2>Course text answered</h2>\n");
        for (size_t i = 0; i < texts.size(); ++i) {
            const ClassRecord &c = *texts[i];
            h += QStringLiteral("<details id=\"text-%1\"><summary>%2%3: %4</summary><pre>%5</pre></details>\n")
                     .arg(i)
                     .arg(esc(assignmentName(c.place->assignment)),
                          c.place->question > 0 ? QStringLiteral(" question %1").arg(c.place->question) : QString(),
                          esc(firstLine(c.record.bankText)), esc(c.record.bankText));
        }
        h += QStringLiteral("</section>\n");
    }
    h += QStringLiteral("</body>\n</html>\n");
    return h;
}
