// The roster and the students to look at first, as pieces of the index.

#include "report/htmlpages.h"
#include "report/lookfirst.h"
#include "report/xmltext.h"

#include <QDate>
#include <QStringList>

namespace Html {

namespace {

QString percentText(double share)
{
    return QStringLiteral("%1%").arg(qRound(share * 100));
}

/// "5 of 8 (63%)", sorted by the share; a dash and -1 when n is 0.
QString countCell(int count, int n)
{
    if (n == 0)
        return QStringLiteral("<td class=\"n\" data-sort=\"-1\">\u2013</td>");
    return QStringLiteral("<td class=\"n\" data-sort=\"%1\">%2 of %3 (%4)</td>")
        .arg(QString::number(double(count) / n, 'f', 4), QString::number(count), QString::number(n),
             percentText(double(count) / n));
}

/// Numbers as ranges: "1-5, 7".
QString ranges(const std::vector<int> &numbers)
{
    QStringList parts;
    for (size_t i = 0; i < numbers.size();) {
        size_t j = i;
        while (j + 1 < numbers.size() && numbers[j + 1] == numbers[j] + 1)
            ++j;
        parts.append(j == i ? QString::number(numbers[i])
                            : QStringLiteral("%1\u2013%2").arg(QString::number(numbers[i]), QString::number(numbers[j])));
        i = j + 1;
    }
    return parts.join(QStringLiteral(", "));
}

/// The assignments cell: how many done, and a mark per assignment with
/// the same in words as its title.
QString assignmentsCell(const StudentSummary &st, const ClassSummary &sum, const std::vector<QString> &columns)
{
    QString marks;
    std::vector<int> byProgress[3];
    for (const QString &a : columns) {
        const Progress p = progressOf(st, sum, a);
        marks += p == Progress::Done ? QChar(0x25cf) : p == Progress::Partly ? QChar(0x25d0) : QChar(0x25cb);
        byProgress[int(p)].push_back(a.toInt());
    }
    QStringList title;
    const char *const words[3] = {"missing", "partly", "done"};
    for (int p : {2, 1, 0})
        if (!byProgress[p].empty())
            title.append(QLatin1String(words[p]) + QStringLiteral(": ") + ranges(byProgress[p]));
    const int done = int(byProgress[int(Progress::Done)].size()), partly = int(byProgress[int(Progress::Partly)].size());
    return QStringLiteral("<td data-sort=\"%1\">%2 of %3<br/><span class=\"marks\" title=\"%4\">%5</span></td>")
        .arg(QString::number(done + partly / 1000.0, 'f', 3), QString::number(done), QString::number(columns.size()),
             escapeXml(title.join(QStringLiteral("; "))), marks);
}


QString nameCell(const Student &s, const QString &href, const StudentSummary &st)
{
    QString marks = sharedMark(s);
    if (s.enrolment == Student::Enrolment::NotOnRoster)
        marks += QStringLiteral(" <span class=\"warn\">(not on the roster)</span>");
    if (st.responses == 0 && st.notes == 0)
        marks += QStringLiteral(" <span class=\"warn\">nothing handed in</span>");
    // No link where there is no page to go to (the one-file report).
    const QString name = escapeXml(s.name);
    return QStringLiteral("<td class=\"name\" data-sort=\"%1\">%2%3</td>")
        .arg(escapeXml(s.name.toCaseFolded()),
             href.isEmpty() ? name : QStringLiteral("<a href=\"%1\">%2</a>").arg(escapeXml(href), name), marks);
}

} // namespace

QString rosterTable(const ClassData &data, const ClassSummary &sum, const std::function<QString(size_t)> &studentLink)
{
    const LookFirst list = lookFirst(data, sum);
    // The course's assignments: what a file makes up has one column for all.
    std::vector<QString> columns;
    bool madeUp = false;
    for (const QString &a : sum.assignments) {
        if (sum.questionsIn.count(a) && sum.questionsIn.at(a) > 0)
            columns.push_back(a);
        else
            madeUp = true;
    }
    QString h = QStringLiteral(
        "<h2 id=\"roster\">Roster</h2>\n<p>The students to look at first on top, then by name; with script, a column's "
        "header sorts by it. Assignments done: a response to every question; the marks are per assignment, \u25cf done, "
        "\u25d0 partly, \u25cb missing (the student's page has the counts). Confident errors: confidence 2 or 3, then a "
        "self-critique of 0 to 2, among the pairs of ratings; unsure: confidence 0 or 1, among the confidence ratings; "
        "over-confidence: confident errors among the pairs of confidence 2 or 3.</p>\n");
    QStringList notOnRoster;
    for (const Student &s : data.students)
        if (s.enrolment == Student::Enrolment::NotOnRoster)
            notOnRoster.append(isolated(s.folderName));
    if (!notOnRoster.isEmpty())
        h += QStringLiteral("<p class=\"warn\" id=\"not-on-roster\">Folders not on the roster (%1): %2.</p>\n")
                 .arg(QString::number(notOnRoster.size()), notOnRoster.join(QStringLiteral(", ")));
    h += QStringLiteral("<table class=\"roster\" id=\"roster-table\"><caption>Every student</caption><thead><tr>"
                        "<th scope=\"col\" data-type=\"n\">look at first</th><th scope=\"col\">student</th>"
                        "<th scope=\"col\" data-type=\"n\">assignments done</th><th scope=\"col\" data-type=\"n\">responses</th>"
                        "<th scope=\"col\" data-type=\"n\">confident errors</th><th scope=\"col\" data-type=\"n\">unsure answers</th>"
                        "<th scope=\"col\" data-type=\"n\">over-confidence</th><th scope=\"col\">last day worked</th>");
    if (madeUp)
        h += QStringLiteral("<th scope=\"col\" data-type=\"n\" title=\"records under assignments the course does not have\">"
                            "other</th>");
    h += QStringLiteral("</tr></thead>\n<tbody>\n");
    for (size_t place = 0; place < list.order.size(); ++place) {
        const size_t si = list.order[place];
        const StudentSummary &st = sum.perStudent[si];
        const calibration::Grid &g = st.grid;
        const int confident = g.at(2) + g.at(3);
        h += QStringLiteral("<tr><td class=\"n\" data-sort=\"%1\">%2</td>")
                 .arg(QString::number(place), place < list.students.size() ? QString::number(place + 1) : QString());
        h += nameCell(data.students[si], studentLink(si), st) + assignmentsCell(st, sum, columns);
        h += QStringLiteral("<td class=\"n\" data-sort=\"%1\">%1</td>").arg(st.responses);
        h += countCell(g.confidentErrors(), g.total()) + countCell(st.confidence.low(), st.confidence.valid())
             + countCell(g.confidentErrors(), confident);
        const QString last = st.days.empty() ? QString() : st.days.back().date;
        h += QStringLiteral("<td data-sort=\"%1\">%2</td>")
                 .arg(escapeXml(last), last.isEmpty() ? QStringLiteral("\u2013") : escapeXml(last));
        if (madeUp)
            h += QStringLiteral("<td class=\"n\" data-sort=\"%1\">%1</td>").arg(madeUpRecords(st, sum));
        h += QStringLiteral("</tr>\n");
    }
    return h + QStringLiteral("</tbody></table>\n");
}

QString lookFirstSection(const ClassData &data, const ClassSummary &sum, const std::function<QString(size_t)> &studentLink)
{
    const LookFirst list = lookFirst(data, sum);
    QString h = QStringLiteral("<h2 id=\"students-first\">Students to look at first</h2>\n<p>%1</p>\n")
                    .arg(escapeXml(lookFirstRule(list)));
    if (!data.window.isEmpty())
        h = QStringLiteral("<p id=\"window\">Only %1: every student is listed, those with nothing in it included.</p>\n")
                .arg(escapeXml(data.window))
            + h;
    if (list.students.empty())
        return h + QStringLiteral("<p>No student meets the rule.</p>\n");
    h += QStringLiteral("<table class=\"look-first\"><caption>Students to look at first, with the figures that put them "
                        "here</caption><thead><tr><th scope=\"col\">student</th><th scope=\"col\">why</th></tr></thead>\n"
                        "<tbody>\n");
    for (const LookFirstStudent &s : list.students) {
        QStringList why;
        for (const LookFirstReason &r : s.reasons)
            why.append(reasonText(r, list));
        const QString href = studentLink(s.student), name = escapeXml(data.students[s.student].name);
        h += QStringLiteral("<tr><td class=\"name\">%1</td><td>%2</td></tr>\n")
                 .arg(href.isEmpty() ? name : QStringLiteral("<a href=\"%1\">%2</a>").arg(escapeXml(href), name),
                      escapeXml(why.join(QStringLiteral("; "))));
    }
    h += QStringLiteral("</tbody></table>\n");
    if (list.more > 0)
        h += QStringLiteral("<p>%1 more student(s) meet the rule; the list stops at %2.</p>\n")
                 .arg(QString::number(list.more), QString::number(list.cap));
    return h;
}

QString rosterSortScript()
{
    // No "<" and no "&" in it, so that the page stays well-formed XML; the
    // rows are in a sensible order without it. A column is sorted as numbers
    // only when its header says so: a date or a name that begins with
    // digits ("2026-03-07", "00123") is text.
    return QStringLiteral(
        "<script>\n"
        "(function () {\n"
        "  var t = document.getElementById('roster-table');\n"
        "  if (!t) return;\n"
        "  var heads = t.tHead.rows[0].cells;\n"
        "  [].forEach.call(heads, function (h, i) {\n"
        "    var b = document.createElement('button');\n"
        "    b.type = 'button';\n"
        "    while (h.firstChild) b.appendChild(h.firstChild);\n"
        "    h.appendChild(b);\n"
        "    b.onclick = function () {\n"
        "      var up = h.getAttribute('aria-sort') !== 'ascending';\n"
        "      [].forEach.call(heads, function (o) { o.removeAttribute('aria-sort'); });\n"
        "      h.setAttribute('aria-sort', up ? 'ascending' : 'descending');\n"
        "      var body = t.tBodies[0], rows = [].slice.call(body.rows), num = h.getAttribute('data-type') === 'n';\n"
        "      rows.sort(function (x, y) {\n"
        "        var a = x.cells[i].getAttribute('data-sort'), c = y.cells[i].getAttribute('data-sort');\n"
        "        var r = num ? Number(a) - Number(c) : a.localeCompare(c);\n"
        "        return up ? r : -r;\n"
        "      });\n"
        "      rows.forEach(function (r) { body.appendChild(r); });\n"
        "    };\n"
        "  });\n"
        "})();\n"
        "</script>\n");
}

} // namespace Html
