#include "report/htmlpages.h"

#include "report/charts.h"
#include "report/xmltext.h"

#include <QStringList>

#include <algorithm>

namespace Html {

namespace {

const char *const style = R"(body { font-family: sans-serif; font-size: 14px; margin: 1.5em; color: #222; max-width: 75em; }
h1 { font-size: 1.6em; } h2 { border-bottom: 2px solid #0571b0; padding-bottom: .2em; margin-top: 2em; }
table { border-collapse: collapse; margin: .5em 0 1em; }
th, td { border: 1px solid #ccc; padding: .2em .5em; text-align: left; vertical-align: top; }
th { background: #eef4fa; } td.n { text-align: right; }
tr.flagged td { background: #fff1e0; }
.counts { font-size: .85em; color: #444; }
.apart { color: #8a3b00; }
.record { border-left: 3px solid #92c5de; margin: .6em 0; padding: .1em .6em; }
.record.note { border-left-color: #fdb863; }
.meta { font-size: .85em; color: #444; margin: .2em 0; }
.bank { margin: .2em 0; }
pre { white-space: pre-wrap; overflow-wrap: anywhere; font-family: inherit; background: #fafafa; padding: .3em; margin: .3em 0; }
h1, h2, h3, li { overflow-wrap: anywhere; }
td, th { overflow-wrap: break-word; }
td.name { max-width: 16em; overflow-wrap: anywhere; }
.shared { color: #8a3b00; font-size: .85em; }
pre.course { background: #f3f6fa; }
.warn { color: #8a3b00; }
.charts svg { margin-right: 1.5em; vertical-align: top; }
.mark { text-align: center; }
th button { font: inherit; color: inherit; background: none; border: 0; padding: 0; cursor: pointer; text-align: left; }
th[aria-sort=ascending] button::after { content: " \25b2"; } th[aria-sort=descending] button::after { content: " \25bc"; }
.marks { font-size: .8em; white-space: nowrap; }
@media print {
  body { margin: 0; max-width: none; }
  section.student { break-before: page; }
  thead { display: table-header-group; }
  tr, .record { break-inside: avoid; }
  a { color: inherit; text-decoration: none; }
}
)";

// The site's own pages: landmarks, a question's responses report, the card.
const char *const pagesStyle = R"(header nav p, header p { margin: 0 0 .5em; }
table.responses pre, table.same pre { margin: 0; padding: 0; background: none; }
table.responses caption, table.same caption, table.attempts caption { text-align: left; font-size: .9em; padding: .2em 0; }
ul.earlier { margin: .2em 0 0; padding-left: 1.2em; font-size: .85em; color: #444; }
#filters button[aria-pressed="true"] { font-weight: bold; }
th button { font: inherit; font-weight: bold; background: none; border: 0; padding: 0; cursor: pointer; color: #222; }
th[scope="row"] { font-weight: normal; background: none; }
table.responses { width: 100%; }
table.responses thead th, table.responses td.n, table.attempts thead th { overflow-wrap: normal; white-space: nowrap; }
table.responses th[scope="row"] { min-width: 8em; overflow-wrap: normal; }
@media print {
  nav, #filters { display: none; }
  table.responses { font-size: 10px; }
  table.responses th, table.responses td { padding: 0 .2em; }
  tr[hidden] { display: none; }
}
)";

QString ratingText(const FileRecord &r)
{
    if (r.ratingKind == FileRecord::NoRating)
        return QString();
    const QString kind = r.ratingKind == FileRecord::Confidence ? QStringLiteral("confidence") : QStringLiteral("self-critique");
    if (ratingValue(r.rating) >= 0)
        return QStringLiteral(" \u00b7 %1 %2").arg(kind, r.rating.trimmed());
    return QStringLiteral(" \u00b7 <span class=\"apart\">%1 as typed: \u201c%2\u201d</span>").arg(kind, isolated(r.rating));
}

QString percent(double share)
{
    return QStringLiteral("%1%").arg(qRound(share * 100));
}

QString spreadCell(const Spread &s)
{
    if (s.total() == 0)
        return QStringLiteral("<td>\u2013</td>");
    return QStringLiteral("<td>") + Charts::spreadBar(s) + QStringLiteral("<br/><span class=\"counts\">") + countsText(s)
           + QStringLiteral("</span></td>");
}

/// The student's calibration per assignment.
QString studentTrend(const StudentSummary &st)
{
    std::map<QString, calibration::Grid> grids;
    for (const auto &[name, counts] : st.assignments)
        grids[name] = counts.grid;
    return Charts::calibrationTrend(grids, QStringLiteral("Over- and under-confidence per assignment"));
}

} // namespace

QString rateText(double rate, int n)
{
    return rate < 0 ? QStringLiteral("\u2013") : QStringLiteral("%1 (n = %2)").arg(percent(rate)).arg(n);
}

QString ratesLine(const calibration::Grid &grid)
{
    return QStringLiteral("<p class=\"rates\">Over-confidence (confident errors among the answers rated 2 or 3): %1; "
                          "under-confidence (self-critique 3 among the answers rated 0 or 1): %2.</p>\n")
        .arg(rateText(grid.overconfidence(), grid.at(2) + grid.at(3)),
             rateText(grid.underconfidence(), grid.at(0) + grid.at(1)));
}

QString flagList(const ClassSummary &sum, const QuestionLink &link)
{
    QString h = QStringLiteral("<p class=\"rule\">") + escapeXml(flagRule()) + QStringLiteral("</p>\n");
    if (sum.flagged.empty())
        return h + QStringLiteral("<p>No question is flagged.</p>\n");
    return h + QStringLiteral("<p>%1 of %2 item(s) flagged.</p>\n").arg(sum.flagged.size()).arg(sum.questions.size())
           + questionTable(sum, sum.flagged, true, link);
}

QString calibrationSection(const ClassSummary &sum)
{
    QString h = QStringLiteral("<section id=\"calibration\"><h2>Calibration</h2>\n<p>Each answer's confidence against the "
                               "self-critique the student gave after the worked answer: a confident error is confidence 2 "
                               "or 3, then a self-critique of 0 to 2; an unsure answer that needed no critique is "
                               "confidence 0 or 1, then 3.</p>\n<div class=\"charts\">\n");
    h += Charts::calibration(sum.grid.pairs, QStringLiteral("The class: confidence, then self-critique"));
    h += Charts::calibrationTrend(classGridsByAssignment(sum), QStringLiteral("The class: over- and under-confidence per assignment"));
    h += QStringLiteral("\n</div>\n") + ratesLine(sum.grid);
    if (sum.grid.apart > 0)
        h += QStringLiteral("<p class=\"apart\">%1 pair(s) with a rating other than 0 to 3 are not in the grid.</p>\n")
                 .arg(sum.grid.apart);
    return h + reviewedChange(sum) + QStringLiteral("</section>\n");
}

QString reviewedChange(const ClassSummary &sum)
{
    QString h = QStringLiteral("<h3 id=\"reviewed\">Questions answered again</h3>\n");
    if (sum.reviewedAnswers == 0)
        return h + QStringLiteral("<p>No student answered a question more than once.</p>\n");
    h += QStringLiteral("<p>%1 question(s) that students answered more than once (a later run or a review walk), %2 time(s) "
                        "a student and a question: the first attempt against the latest with both ratings.</p>\n")
             .arg(sum.reviewedQuestions)
             .arg(sum.reviewedAnswers);
    h += QStringLiteral("<table class=\"reviewed\"><caption>First attempts against the latest</caption><thead><tr><th scope=\"col\">attempt</th><th scope=\"col\">pairs</th>"
                        "<th scope=\"col\">confident errors</th><th scope=\"col\">unsure</th>"
                        "<th scope=\"col\">settled (sure, no critique needed)</th></tr></thead>\n<tbody>\n");
    const std::pair<const char *, const calibration::Grid *> rows[] = {{"first", &sum.reviewedFirst},
                                                                       {"latest", &sum.reviewedLatest}};
    for (const auto &[name, g] : rows)
        h += QStringLiteral("<tr><th scope=\"row\">%1</th><td class=\"n\">%2</td><td class=\"n\">%3</td>"
                            "<td class=\"n\">%4</td><td class=\"n\">%5</td></tr>\n")
                 .arg(QLatin1String(name), QString::number(g->total()), QString::number(g->confidentErrors()),
                      QString::number(g->at(0) + g->at(1)), QString::number(g->pairs[2][3] + g->pairs[3][3]));
    return h + QStringLiteral("</tbody></table>\n");
}

QString stylesheet()
{
    return QLatin1String(style) + QLatin1String(pagesStyle);
}

QString pageStart(const QString &title, const QString &styleHref)
{
    QString h = QStringLiteral("<!DOCTYPE html>\n<html xmlns=\"http://www.w3.org/1999/xhtml\" lang=\"en\">\n<head>\n"
                               "<meta charset=\"utf-8\"/>\n<meta name=\"viewport\" content=\"width=device-width\"/>\n<title>")
                + escapeXml(title) + QStringLiteral("</title>\n");
    if (styleHref.isEmpty())
        h += QStringLiteral("<style>\n") + stylesheet() + QStringLiteral("</style>\n");
    else
        h += QStringLiteral("<link rel=\"stylesheet\" href=\"%1\"/>\n").arg(escapeXml(styleHref));
    return h + QStringLiteral("</head>\n<body>\n");
}

QString pageEnd()
{
    return QStringLiteral("</body>\n</html>\n");
}

QString assignmentName(const QString &a)
{
    bool ok = false;
    const int n = a.toInt(&ok);
    return ok ? QStringLiteral("Assignment %1").arg(n) : QStringLiteral("Assignment \u201c%1\u201d").arg(a);
}

QString itemName(const QuestionSummary &q)
{
    if (!q.inCourse)
        return QStringLiteral("text not in the course");
    return q.prompt ? QStringLiteral("prompt %1").arg(q.number) : QStringLiteral("question %1").arg(q.number);
}

QString countsText(const Spread &s)
{
    QString t = QStringLiteral("0: %1 \u00b7 1: %2 \u00b7 2: %3 \u00b7 3: %4")
                    .arg(s.counts[0]).arg(s.counts[1]).arg(s.counts[2]).arg(s.counts[3]);
    if (s.valid() > 0)
        t += QStringLiteral(" (n = %1, 0 or 1: %2)").arg(s.valid()).arg(percent(s.lowShare()));
    if (!s.other.empty()) {
        // Grouped, most often typed first: a class types the same few things.
        std::vector<std::pair<int, QString>> typed;
        for (const auto &[text, count] : s.other)
            typed.emplace_back(-count, text);
        std::sort(typed.begin(), typed.end());
        QStringList parts;
        // What a student typed is never a format: every part is put in at once.
        for (const auto &[count, text] : typed)
            parts.append(QStringLiteral("%1 \u00d7%2")
                             .arg(text.isEmpty() ? QStringLiteral("(empty)") : QStringLiteral("\u201c") + text + QStringLiteral("\u201d"),
                                  QString::number(-count)));
        t += QStringLiteral(" \u00b7 <span class=\"apart\">other %1: %2</span>")
                 .arg(QString::number(s.otherCount()), escapeXml(parts.join(QStringLiteral(", "))));
    }
    return t;
}

QString questionTable(const ClassSummary &sum, const std::vector<int> &indices, bool withAssignment,
                      const QuestionLink &link)
{
    QString h = QStringLiteral("<table class=\"questions\"><thead><tr>");
    if (withAssignment)
        h += QStringLiteral("<th>assignment</th>");
    h += QStringLiteral("<th>item</th><th>first line</th><th>students answered</th><th>students who rated 0 or 1</th>"
                        "<th>confidence</th><th>self-critique</th>"
                        "<th title=\"students who rated it 0 or 1 or made a confident error, of those who answered\">"
                        "rated low or confidently wrong</th>"
                        "<th title=\"confident errors among the pairs of confidence 2 or 3\">over-confidence</th>"
                        "<th title=\"self-critique 3 among the pairs of confidence 0 or 1\">under-confidence</th>"
                        "</tr></thead>\n<tbody>\n");
    for (int i : indices) {
        const QuestionSummary &q = sum.questions[size_t(i)];
        const QString href = link ? link(q) : QString();
        QString name = escapeXml(itemName(q));
        if (!href.isEmpty())
            name = QStringLiteral("<a href=\"%1\">%2</a>").arg(escapeXml(href), name);
        h += q.flagged ? QStringLiteral("<tr class=\"flagged\">") : QStringLiteral("<tr>");
        if (withAssignment)
            h += QStringLiteral("<td>%1</td>").arg(escapeXml(assignmentName(q.assignment)));
        h += QStringLiteral("<td>%1</td><td>%2</td><td class=\"n answered\">%3</td><td class=\"n struggled\">%4</td>")
                 .arg(name, escapeXml(q.label), QString::number(q.studentsAnswered), QString::number(q.struggled));
        h += spreadCell(q.confidence) + spreadCell(q.selfCritique);
        h += QStringLiteral("<td class=\"n share\">%1</td><td class=\"n\">%2</td><td class=\"n\">%3</td></tr>\n")
                 .arg(q.studentsAnswered ? QStringLiteral("%1 of %2 (%3)").arg(q.lowOrConfidentError).arg(q.studentsAnswered)
                                               .arg(percent(q.flagShare()))
                                         : QStringLiteral("\u2013"),
                      rateText(q.grid.overconfidence(), q.grid.at(2) + q.grid.at(3)),
                      rateText(q.grid.underconfidence(), q.grid.at(0) + q.grid.at(1)));
    }
    return h + QStringLiteral("</tbody></table>\n");
}

QString recordBlock(const ClassRecord &c, const QString &who, const QString &bank)
{
    const FileRecord &r = c.record;
    QString where;
    if (c.place && c.place->role != CoursePlace::Other && c.place->question > 0)
        where = QStringLiteral("%1 question %2").arg(assignmentName(c.place->assignment)).arg(c.place->question);
    else if (c.place && c.place->role == CoursePlace::Other)
        where = QStringLiteral("%1 prompt %2").arg(assignmentName(c.place->assignment)).arg(c.place->prompt);
    else
        where = assignmentName(c.place ? c.place->assignment : r.assignment);
    const Role role = roleOf(c);
    const QString kind = role == Role::Note       ? QStringLiteral("note")
                         : role == Role::Question ? QStringLiteral("response to the question")
                         : role == Role::Answer   ? QStringLiteral("response to the given answer")
                                                  : QStringLiteral("response to a prompt");
    QString h = QStringLiteral("<div class=\"record %1\"><p class=\"meta\">%2%3 %4 \u00b7 %5 \u00b7 %6%7%8%9</p>\n")
                    .arg(r.kind == FileRecord::Note ? QStringLiteral("note") : QStringLiteral("response"),
                         who.isEmpty() ? QString() : QStringLiteral("<strong>") + who + QStringLiteral("</strong> \u00b7 "),
                         escapeXml(isoDate(r.date)), escapeXml(r.time), escapeXml(where), kind, ratingText(r),
                         r.complete ? QString() : QStringLiteral(" \u00b7 <span class=\"apart\">cut short</span>"),
                         c.sharedWith.isEmpty() ? QString()
                                                : QStringLiteral(" \u00b7 <span class=\"shared\">the same file as ")
                                                      + isolated(c.sharedWith) + QStringLiteral("'s</span>"));
    h += bank;
    return h + QStringLiteral("<pre>%1</pre></div>\n").arg(escapeXml(r.text));
}

QString siteTop(const QString &links)
{
    return QStringLiteral("<header><nav aria-label=\"pages of the report\"><p>%1</p></nav></header>\n<main>\n").arg(links);
}

QString siteEnd()
{
    return QStringLiteral("</main>\n") + pageEnd();
}

QString ratingShown(const FileRecord &r)
{
    if (r.ratingKind == FileRecord::NoRating)
        return QStringLiteral("\u2013");
    if (ratingValue(r.rating) >= 0)
        return r.rating.trimmed();
    if (r.rating.trimmed().isEmpty())
        return QStringLiteral("<span class=\"apart\">(empty)</span>");
    return QStringLiteral("<span class=\"apart\">as typed: \u201c%1\u201d</span>").arg(isolated(r.rating));
}

void studentBody(const ClassData &data, const ClassSummary &sum, size_t si,
                 const std::function<QString(const ClassRecord &)> &bankOf, Page &page, int level)
{
    const QString hl = QString::number(level);
    const Student &student = data.students[si];
    const StudentSummary &st = sum.perStudent[si];
    QStringList names;
    for (const StudentFile &f : student.files)
        names.append(f.path.name());
    QString h = QStringLiteral("<p>%1 response(s), %2 note(s); confident errors (confidence 2 or 3, then a self-critique "
                               "of 0 to 2): %3; files: %4.%5</p>\n")
                    .arg(QString::number(st.responses), QString::number(st.notes), QString::number(st.grid.confidentErrors()),
                         escapeXml(names.isEmpty() ? QStringLiteral("none") : names.join(QStringLiteral(", "))),
                         sharedMark(student));
    h += QStringLiteral("<div class=\"charts\">\n");
    h += Charts::ratingsByAssignment(st.assignments, true, QStringLiteral("Confidence per assignment"));
    h += Charts::ratingsByAssignment(st.assignments, false, QStringLiteral("Self-critique per assignment"));
    h += Charts::calibration(st.grid.pairs, QStringLiteral("Confidence against the self-critique that followed"));
    h += studentTrend(st);
    h += QStringLiteral("\n</div>\n") + ratesLine(st.grid);
    if (st.grid.apart > 0)
        h += QStringLiteral("<p class=\"apart\">%1 pair(s) with a rating other than 0 to 3 are not in the grid.</p>\n")
                 .arg(st.grid.apart);

    h += QStringLiteral("<h%1>Days worked</h%1>\n<table class=\"days\"><thead><tr><th scope=\"col\">date</th>"
                        "<th scope=\"col\">from</th><th scope=\"col\">to</th><th scope=\"col\">records</th></tr></thead>\n<tbody>\n")
             .arg(hl);
    for (const DaySummary &d : st.days)
        h += QStringLiteral("<tr><td>%1</td><td>%2</td><td>%3</td><td class=\"n\">%4</td></tr>\n")
                 .arg(escapeXml(d.date), escapeXml(d.first), escapeXml(d.last))
                 .arg(d.records);
    h += QStringLiteral("</tbody></table>\n<h%1>Per assignment</h%1>\n<table class=\"assignments\"><thead><tr>"
                        "<th scope=\"col\">assignment</th><th scope=\"col\">responses</th><th scope=\"col\">notes</th>"
                        "<th scope=\"col\">confidence</th><th scope=\"col\">self-critique</th></tr></thead>\n<tbody>\n")
             .arg(hl);
    for (const auto &[name, counts] : st.assignments)
        h += QStringLiteral("<tr><td>%1</td><td class=\"n\">%2</td><td class=\"n\">%3</td>")
                 .arg(escapeXml(assignmentName(name)), QString::number(counts.responses), QString::number(counts.notes))
             + spreadCell(counts.confidence) + spreadCell(counts.selfCritique) + QStringLiteral("</tr>\n");
    h += QStringLiteral("</tbody></table>\n<h%1>Responses and notes</h%1>\n").arg(hl);
    page += h;
    for (int ri : student.records) {
        const ClassRecord &c = data.records[size_t(ri)];
        if (c.record.kind != FileRecord::Header)
            page += recordBlock(c, QString(), bankOf(c));
    }
}

QString warningList(const ClassData &data)
{
    if (data.warnings.empty())
        return QString();
    QString h = QStringLiteral("<section id=\"warnings\"><h2>What could not be read</h2>\n<ul>\n");
    for (const ReadWarning &w : data.warnings)
        h += QStringLiteral("<li class=\"warn\">%1%2: %3</li>\n")
                 .arg(isolated(w.file), w.line > 0 ? QStringLiteral(":%1").arg(w.line) : QString(), isolated(w.message));
    if (data.unlistedWarnings > 0)
        h += QStringLiteral("<li class=\"warn\">%1 more warning(s) not listed</li>\n").arg(data.unlistedWarnings);
    return h + QStringLiteral("</ul></section>\n");
}

QString everyQuestion(const ClassSummary &sum, const QuestionLink &link)
{
    QString h;
    for (size_t i = 0; i < sum.questions.size();) {
        const QString assignment = sum.questions[i].assignment;
        std::vector<int> rows;
        for (; i < sum.questions.size() && sum.questions[i].assignment == assignment; ++i)
            if (sum.questions[i].inCourse)
                rows.push_back(int(i));
        if (!rows.empty())
            h += QStringLiteral("<h3>%1</h3>\n").arg(escapeXml(assignmentName(assignment))) + questionTable(sum, rows, false, link);
    }
    return h;
}

QString sharedMark(const Student &student)
{
    if (student.sharesWith.isEmpty())
        return QString();
    return QStringLiteral(" <span class=\"shared\">(hands in the same files as %1)</span>")
        .arg(escapeXml(student.sharesWith.join(QStringLiteral(", "))));
}

QString madeUpRecords(const StudentSummary &st, const ClassSummary &sum)
{
    int n = 0;
    for (const auto &[assignment, counts] : st.assignments)
        if (!sum.questionsIn.count(assignment) || sum.questionsIn.at(assignment) == 0)
            n += counts.responses + counts.notes;
    return QString::number(n);
}

QString classFigures(const ClassSummary &sum)
{
    QString h = QStringLiteral("<table class=\"figures\">\n");
    const std::pair<const char *, int> figures[] = {
        {"students", sum.students}, {"days", sum.days}, {"responses", sum.responses}, {"notes", sum.notes}};
    for (const auto &[name, value] : figures)
        h += QStringLiteral("<tr><th>%1</th><td class=\"n\" id=\"%1\">%2</td></tr>\n").arg(QLatin1String(name)).arg(value);
    h += QStringLiteral("</table>\n<p>Ratings 0 to 3 are counted apiece (0 orange to 3 blue), with how many there are "
                        "(n) and the share of 0 and 1; anything else the student typed is grouped as typed and counted "
                        "apart (grey).</p>\n");
    return h;
}

} // namespace Html
