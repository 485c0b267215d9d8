#include "report/site.h"

#include "report/charts.h"
#include "report/htmlpages.h"
#include "report/reportfiles.h"
#include "report/xmltext.h"

#include <QCryptographicHash>
#include <QDir>
#include <QSet>
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

namespace {

/// The readable part of a page's name: the name's letters without their
/// accents and its digits, lower case, every other run of characters one
/// '-', at most 40 characters; "student" when nothing is left.
QString slugOf(const QString &name)
{
    QString slug;
    for (const QChar c : name.normalized(QString::NormalizationForm_KD)) {
        const char16_t u = c.toLower().unicode();
        if ((u >= 'a' && u <= 'z') || (u >= '0' && u <= '9'))
            slug += QChar(u);
        else if (!c.isMark() && !slug.isEmpty() && !slug.endsWith(QLatin1Char('-')))
            slug += QLatin1Char('-');
        if (slug.size() >= 40)
            break;
    }
    while (slug.endsWith(QLatin1Char('-')))
        slug.chop(1);
    return slug.isEmpty() ? QStringLiteral("student") : slug;
}

} // namespace

SiteWriter::SiteWriter(const ClassData &data, const ClassSummary &summary, const CourseIndex &course, const QDateTime &made)
    : m_data(data), m_sum(summary), m_course(course), m_made(made)
{
    std::vector<QString> names;
    for (const Student &s : data.students)
        names.push_back(s.folderName.isEmpty() ? s.name : s.folderName);
    m_studentPages = studentPages(names);
    groupNotes();
}

std::vector<QString> SiteWriter::studentPages(const std::vector<QString> &folderNames)
{
    std::vector<QString> pages;
    QSet<QString> taken; // folded: a file system may not tell case apart
    for (const QString &name : folderNames) {
        const QString hash = QString::fromLatin1(QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Sha256).toHex().left(8));
        const QString stem = slugOf(name) + QLatin1Char('-') + hash;
        QString page = stem + QStringLiteral(".html");
        for (int n = 2; taken.contains(page.toLower()); ++n)
            page = stem + QStringLiteral("-%1.html").arg(n);
        taken.insert(page.toLower());
        pages.push_back(page);
    }
    return pages;
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
    const SiteFolder before = inspectSite(folder);
    if (!before.ours) {
        reason = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(folder), before.reason);
        return false;
    }
    if (!makeSiteFolder(folder, reason))
        return false;
    // Every page's name is known before any is made: the marker listing them
    // is put in place first, so that a run stopped by a rename that fails
    // leaves a folder still marked as ours, with every page of it listed.
    using Make = std::function<void(const Html::Put &)>;
    std::vector<std::pair<QString, Make>> pages;
    const auto text = [](const QString &whole) { return [whole](const Html::Put &put) { put(whole); }; };
    pages.emplace_back(QStringLiteral("style.css"), text(Html::stylesheet()));
    pages.emplace_back(QStringLiteral("index.html"), [this](const Html::Put &put) { put(indexPage()); });
    pages.emplace_back(QStringLiteral("notes.html"), [this](const Html::Put &put) { notesPage(put); });
    for (size_t si = 0; si < m_data.students.size(); ++si)
        pages.emplace_back(studentPage(si), [this, si](const Html::Put &put) { studentPage(si, put); });
    for (size_t qi = 0; qi < m_sum.questions.size(); ++qi)
        if (m_sum.questions[qi].inCourse)
            pages.emplace_back(questionPage(m_sum.questions[qi], qi), [this, qi](const Html::Put &put) { questionPage(qi, put); });
    if (anyNotInCourse())
        pages.emplace_back(notInCourse, [this](const Html::Put &put) { notInCoursePage(put); });
    QStringList written;
    for (const auto &[name, make] : pages)
        written.append(name);
    if (!writeMarker(folder, before.pages, written, outputs, reason))
        return false;
    const QDir dir(folder);
    // Each page is handed to its file a block at a time as it is made.
    for (const auto &[name, make] : pages)
        if (!outputs.write(dir.filePath(name), false, [&make = make](QIODevice &out) {
                make([&out](const QString &part) { out.write(part.toUtf8()); });
            }, reason))
            return false;
    return true;
}

bool SiteWriter::writeMarker(const QString &folder, const QStringList &before, const QStringList &written,
                             OutputSet &outputs, QString &reason)
{
    // The earlier run's pages stay listed until they are gone, so that one
    // that could not be removed is removed by the next run.
    QStringList listed = written;
    const QSet<QString> now(written.begin(), written.end());
    for (const QString &name : before)
        if (!now.contains(name) && oscalls::outputPlace(QDir(folder).filePath(name)) == oscalls::OutputPlace::Regular)
            listed.append(name);
    const QByteArray marker = siteMarkerText(listed);
    if (!outputs.write(QDir(folder).filePath(siteMarker), false, [&](QIODevice &out) { out.write(marker); }, reason))
        return false;
    outputs.afterReplace([folder, before, written] { removeStalePages(folder, before, written); });
    return true;
}

QString SiteWriter::indexPage() const
{
    QString h = Html::pageStart(title + QStringLiteral(": the class"), QStringLiteral("style.css"));
    h += Html::siteTop(QStringLiteral("<a href=\"#roster\">Roster</a> \u00b7 <a href=\"#questions\">Every question</a> \u00b7 "
                                      "<a href=\"notes.html\">Notes</a>"));
    h += QStringLiteral("<h1>%1: the class</h1>\n<p>Made %2 from %3 file(s) of %4 student(s).</p>\n")
             .arg(title, m_made.toString(QStringLiteral("yyyy-MM-dd HH:mm")), QString::number(m_data.filesRead),
                  QString::number(m_sum.students));
    h += Html::warningList(m_data);
    h += Html::classFigures(m_sum);
    h += Html::lookFirstSection(m_data, m_sum, [this](size_t si) { return studentPage(si); });
    const auto questionLink = [this](const QuestionSummary &q) {
        return questionPage(q, size_t(&q - m_sum.questions.data()));
    };
    h += QStringLiteral("<h2 id=\"attention\">Questions to look at first</h2>\n") + Html::flagList(m_sum, questionLink);
    h += Html::calibrationSection(m_sum);

    h += Html::rosterTable(m_data, m_sum, [this](size_t si) { return studentPage(si); });
    h += QStringLiteral("<h2 id=\"questions\">Every question</h2>\n");
    h += Html::everyQuestion(m_sum, questionLink);
    if (anyNotInCourse())
        h += QStringLiteral("<p><a href=\"%1\">Texts the course does not have</a>: what students answered that is not in "
                            "this course text, on one page.</p>\n")
                 .arg(notInCourse);
    h += Html::rosterSortScript();
    return h + Html::siteEnd();
}

void SiteWriter::studentPage(size_t si, const Html::Put &put) const
{
    // Self-contained and about this student alone: it can be sent as it is.
    const QString name = m_data.students[si].name;
    Html::Page h(put);
    h += Html::pageStart(title + QStringLiteral(": ") + name);
    h += QStringLiteral("<header><p>%1 \u00b7 made %2</p></header>\n<main>\n<h1>%3</h1>\n")
             .arg(title, m_made.toString(QStringLiteral("yyyy-MM-dd")), escapeXml(name));
    h += calibrationCard(si) + attemptsTable(si);
    Html::studentBody(m_data, m_sum, si, [](const ClassRecord &c) {
        return QStringLiteral("<p class=\"bank\">%1</p>\n").arg(escapeXml(firstLine(c.record.bankText)));
    }, h, 2);
    h += Html::siteEnd();
    h.flush();
}

QString SiteWriter::calibrationCard(size_t si) const
{
    // The review walk's card in the same words, from the same grids.
    const StudentSummary &st = m_sum.perStudent[si];
    QString h = QStringLiteral("<section id=\"card\"><h2>Your calibration card</h2>\n<p>%1</p>\n")
                    .arg(escapeXml(calibration::cardBasis(QStringLiteral("the files of yours this report read"))));
    for (const bool later : {false, true}) {
        h += QStringLiteral("<h3>%1</h3>\n<ul>\n").arg(calibration::cardHeading(later));
        for (const QString &line : calibration::cardLines(later ? st.laterGrid : st.firstGrid))
            h += QStringLiteral("<li>%1</li>\n").arg(escapeXml(line));
        h += QStringLiteral("</ul>\n");
    }
    h += QStringLiteral("<p>%1</p>\n").arg(escapeXml(calibration::cardChange(st.firstGrid, st.laterGrid)));
    const QString apart = calibration::cardApart(st.firstGrid.apart + st.laterGrid.apart);
    if (!apart.isEmpty())
        h += QStringLiteral("<p class=\"apart\">%1</p>\n").arg(escapeXml(apart));
    return h + QStringLiteral("</section>\n");
}

namespace {

/// A rating of one of an attempt's records, or "–" when it has none.
QString attemptRating(const ClassData &data, int record)
{
    return record < 0 ? QStringLiteral("\u2013") : Html::ratingShown(data.records[size_t(record)].record);
}

QString col(const char *name)
{
    return QStringLiteral("<th scope=\"col\">%1</th>").arg(QLatin1String(name));
}

} // namespace

QString SiteWriter::attemptsTable(size_t si) const
{
    const StudentSummary &st = m_sum.perStudent[si];
    if (st.attempts.empty())
        return QString();
    QString h = QStringLiteral("<h2 id=\"attempts\">Each question: first attempt and latest</h2>\n<table class=\"attempts\">"
                               "<caption>Your confidence before the worked answer and your self-critique after it, on "
                               "your first attempt and your latest</caption>\n<thead><tr>")
                + col("question") + col("attempts") + col("first: confidence") + col("first: self-critique")
                + col("latest: confidence") + col("latest: self-critique") + QStringLiteral("</tr></thead>\n<tbody>\n");
    for (const auto &[qi, attempts] : st.attempts) {
        if (attempts.empty())
            continue;
        const QuestionSummary &q = m_sum.questions[size_t(qi)];
        const AttemptPair &first = attempts.front(), &latest = attempts.back();
        h += QStringLiteral("<tr><th scope=\"row\">%1, %2</th><td class=\"n\">%3</td>")
                 .arg(escapeXml(Html::assignmentName(q.assignment)), escapeXml(Html::itemName(q)), QString::number(attempts.size()));
        for (const AttemptPair *a : {&first, &latest})
            h += QStringLiteral("<td class=\"n\">%1</td><td class=\"n\">%2</td>")
                     .arg(attemptRating(m_data, a->answer), attemptRating(m_data, a->critique));
        h += QStringLiteral("</tr>\n");
    }
    return h + QStringLiteral("</tbody></table>\n");
}

void SiteWriter::questionPage(size_t qi, const Html::Put &put) const
{
    const QuestionSummary &q = m_sum.questions[qi];
    const QString heading = Html::assignmentName(q.assignment) + QStringLiteral(", ") + Html::itemName(q);
    Html::Page h(put);
    h += Html::pageStart(title + QStringLiteral(": ") + heading, QStringLiteral("style.css"));
    QString links = link(QStringLiteral("index.html"), QStringLiteral("The class"));
    if (m_notes.count(int(qi)))
        links += QStringLiteral(" \u00b7 ") + link(QStringLiteral("notes.html#notes-%1").arg(qi + 1), QStringLiteral("Notes on it"));
    h += Html::siteTop(links);
    h += QStringLiteral("<h1>%1</h1>\n<h2>The %2</h2>\n<pre class=\"course\">%3</pre>\n")
             .arg(escapeXml(heading), q.prompt ? QStringLiteral("prompt") : QStringLiteral("question"), escapeXml(shownText(q.bankText)));
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
    responsesReport(qi, h);
    h += Html::siteEnd();
    h.flush();
}

namespace {

/// An answer as identical answers are told apart: no blanks, case folded
/// ("38.5" and " 38.5 " are one answer, "X > 3" and "x>3" too).
QString answerKey(const QString &text)
{
    QString key;
    for (const QChar c : text)
        if (!c.isSpace())
            key += c.toCaseFolded();
    return key;
}

/// The filter a row belongs to, and the words for it.
const char *kindCode(calibration::Kind kind)
{
    switch (kind) {
    case calibration::Kind::ConfidentError: return "error";
    case calibration::Kind::Unsure: return "unsure";
    case calibration::Kind::WeakCritique: return "weak";
    case calibration::Kind::Sound: break;
    }
    return "other";
}

const char *kindWords(calibration::Kind kind)
{
    switch (kind) {
    case calibration::Kind::ConfidentError: return "confident error";
    case calibration::Kind::Unsure: return "unsure";
    case calibration::Kind::WeakCritique: return "weak self-critique";
    case calibration::Kind::Sound: break;
    }
    return "";
}

// Filters and sorting in the browser, without a server; without script
// the rows stand confident errors first, then unsure answers, by name.
// No '<' or '&' in it, so that the page stays well-formed XHTML.
const char *const responsesScript = R"((function () {
  var table = document.getElementById('responses-table'), body = table.tBodies[0];
  var bar = document.getElementById('filters'), shown = document.getElementById('shown');
  bar.hidden = false;
  function each(list, f) { Array.prototype.forEach.call(list, f); }
  function show(kind) {
    var n = 0;
    each(body.rows, function (row) {
      row.hidden = kind === 'all' ? false : row.getAttribute('data-kind') !== kind;
      if (!row.hidden) n += 1;
    });
    each(bar.getElementsByTagName('button'), function (b) {
      b.setAttribute('aria-pressed', b.getAttribute('data-show') === kind ? 'true' : 'false');
    });
    shown.textContent = n + ' shown';
  }
  bar.addEventListener('click', function (e) { var k = e.target.getAttribute('data-show'); if (k) show(k); });
  each(table.tHead.rows[0].cells, function (th, i) {
    var b = document.createElement('button');
    b.type = 'button'; b.textContent = th.textContent; th.textContent = ''; th.appendChild(b);
    b.addEventListener('click', function () {
      var up = th.getAttribute('aria-sort') !== 'ascending', num = th.getAttribute('data-type') === 'n';
      var rows = Array.prototype.slice.call(body.rows);
      rows.sort(function (x, y) {
        var a = x.cells[i].getAttribute('data-v'), c = y.cells[i].getAttribute('data-v');
        var d = num ? Number(a) - Number(c) : a.localeCompare(c);
        return up ? d : -d;
      });
      each(rows, function (r) { body.appendChild(r); });
      each(table.tHead.rows[0].cells, function (h) { h.removeAttribute('aria-sort'); });
      th.setAttribute('aria-sort', up ? 'ascending' : 'descending');
    });
  });
})();
)";

} // namespace

std::vector<SiteWriter::ResponseRow> SiteWriter::responseRows(size_t qi) const
{
    std::vector<ResponseRow> rows;
    for (size_t si = 0; si < m_sum.perStudent.size(); ++si) {
        const auto found = m_sum.perStudent[si].attempts.find(int(qi));
        if (found == m_sum.perStudent[si].attempts.end() || found->second.empty())
            continue;
        const AttemptPair &latest = found->second.back();
        ResponseRow row{si, &found->second, calibration::classify(latest.confidence, latest.selfCritique), QString()};
        if (latest.answer >= 0)
            row.key = answerKey(m_data.records[size_t(latest.answer)].record.text);
        rows.push_back(row);
    }
    // Students stand in name order; the weakest answers come first.
    std::stable_sort(rows.begin(), rows.end(), [](const ResponseRow &a, const ResponseRow &b) { return a.kind < b.kind; });
    return rows;
}

void SiteWriter::responsesReport(size_t qi, Html::Page &h) const
{
    const std::vector<ResponseRow> rows = responseRows(qi);
    QHash<QString, int> same;
    int errors = 0, unsure = 0;
    for (const ResponseRow &r : rows) {
        same[r.key] += r.key.isEmpty() ? 0 : 1;
        errors += r.kind == calibration::Kind::ConfidentError;
        unsure += r.kind == calibration::Kind::Unsure;
    }
    h += QStringLiteral("<h2 id=\"responses\">Responses</h2>\n") + sameAnswers(rows, same);
    h += QStringLiteral("<p id=\"filters\" hidden=\"hidden\">Show: <button type=\"button\" data-show=\"error\" aria-pressed=\"false\">"
                        "confident errors (%1)</button> <button type=\"button\" data-show=\"unsure\" aria-pressed=\"false\">"
                        "unsure (%2)</button> <button type=\"button\" data-show=\"all\" aria-pressed=\"true\">all (%3)</button> "
                        "<span id=\"shown\" aria-live=\"polite\"></span></p>\n")
             .arg(errors).arg(unsure).arg(rows.size());
    h += QStringLiteral("<table class=\"responses\" id=\"responses-table\"><caption>Each student's latest attempt: the answer, "
                        "the confidence before the worked answer, the self-critique after it and what it said; earlier "
                        "attempts under the answer. Confident errors first, then unsure answers.</caption>\n<thead><tr>"
                        "<th scope=\"col\">student</th><th scope=\"col\">answer</th><th scope=\"col\" data-type=\"n\">confidence</th>"
                        "<th scope=\"col\" data-type=\"n\">self-critique</th><th scope=\"col\">self-critique said</th>"
                        "<th scope=\"col\" data-type=\"n\">same answer</th><th scope=\"col\">reads as</th>"
                        "<th scope=\"col\" data-type=\"n\">attempts</th></tr></thead>\n<tbody>\n");
    for (const ResponseRow &r : rows)
        h += responseRow(r, same.value(r.key));
    h += QStringLiteral("</tbody></table>\n<script>") + QLatin1String(responsesScript) + QStringLiteral("</script>\n");
}

QString SiteWriter::responseRow(const ResponseRow &r, int sameCount) const
{
    const AttemptPair &latest = r.attempts->back();
    const auto text = [this](int record) { return record < 0 ? QString() : m_data.records[size_t(record)].record.text; };
    const QString name = m_data.students[r.student].name;
    QString h = QStringLiteral("<tr data-kind=\"%1\"><th scope=\"row\" data-v=\"%2\">%3</th><td data-v=\"%4\"><pre>%5</pre>")
                    .arg(QLatin1String(kindCode(r.kind)), escapeXml(name), link(studentPage(r.student), escapeXml(name)),
                         escapeXml(r.key), escapeXml(text(latest.answer)));
    if (r.attempts->size() > 1) {
        h += QStringLiteral("<ul class=\"earlier\">");
        for (size_t i = 0; i + 1 < r.attempts->size(); ++i) {
            const AttemptPair &a = (*r.attempts)[i];
            const QString date = a.answer >= 0 ? isoDate(m_data.records[size_t(a.answer)].record.date) : QString();
            h += QStringLiteral("<li>attempt %1%2: \u201c%3\u201d \u00b7 confidence %4 \u00b7 self-critique %5</li>")
                     .arg(QString::number(a.number), date.isEmpty() ? QString() : QStringLiteral(", ") + escapeXml(date),
                          escapeXml(firstLine(text(a.answer), 60)), attemptRating(m_data, a.answer), attemptRating(m_data, a.critique));
        }
        h += QStringLiteral("</ul>");
    }
    h += QStringLiteral("</td><td class=\"n\" data-v=\"%1\">%2</td><td class=\"n\" data-v=\"%3\">%4</td>")
             .arg(QString::number(latest.confidence), attemptRating(m_data, latest.answer), QString::number(latest.selfCritique),
                  attemptRating(m_data, latest.critique));
    const QString critique = text(latest.critique);
    h += QStringLiteral("<td data-v=\"%1\"><pre>%2</pre></td><td class=\"n\" data-v=\"%3\">%4</td><td data-v=\"%5\">%6</td>"
                        "<td class=\"n\" data-v=\"%7\">%7</td></tr>\n")
             .arg(escapeXml(answerKey(critique)), escapeXml(critique), QString::number(sameCount),
                  sameCount > 1 ? QStringLiteral("\u00d7%1").arg(sameCount) : QString(), QString::number(int(r.kind)),
                  QLatin1String(kindWords(r.kind)), QString::number(r.attempts->size()));
    return h;
}

QString SiteWriter::sameAnswers(const std::vector<ResponseRow> &rows, const QHash<QString, int> &same) const
{
    // The answers given more than once, most often first, each as its first student typed it.
    std::vector<std::pair<int, QString>> groups;
    QHash<QString, QString> shown;
    for (const ResponseRow &r : rows)
        if (same.value(r.key) > 1 && !shown.contains(r.key)) {
            shown.insert(r.key, m_data.records[size_t(r.attempts->back().answer)].record.text.trimmed());
            groups.emplace_back(-same.value(r.key), r.key);
        }
    if (groups.empty())
        return QStringLiteral("<p>No two students gave the same answer (blanks and case aside).</p>\n");
    std::sort(groups.begin(), groups.end());
    QString h = QStringLiteral("<table class=\"same\"><caption>Answers given by more than one student (blanks and case aside), "
                               "most often first</caption>\n<thead><tr><th scope=\"col\">answer</th><th scope=\"col\">students</th>"
                               "</tr></thead>\n<tbody>\n");
    for (const auto &[count, key] : groups)
        // One arg() for both: an answer holding "%1" is not a place for the count.
        h += QStringLiteral("<tr><td><pre>%1</pre></td><td class=\"n\">\u00d7%2</td></tr>\n")
                 .arg(escapeXml(shown.value(key)), QString::number(-count));
    return h + QStringLiteral("</tbody></table>\n");
}

void SiteWriter::notInCoursePage(const Html::Put &put) const
{
    Html::Page h(put);
    h += Html::pageStart(title + QStringLiteral(": texts the course does not have"), QStringLiteral("style.css"));
    h += Html::siteTop(link(QStringLiteral("index.html"), QStringLiteral("The class")));
    h += QStringLiteral("<h1>Texts the course does not have</h1>\n"
                        "<p>Answered in the students' files but not in this course text (another course's, or changed by hand).</p>\n");
    for (size_t qi = 0; qi < m_sum.questions.size(); ++qi) {
        const QuestionSummary &q = m_sum.questions[qi];
        if (q.inCourse)
            continue;
        h += QStringLiteral("<section id=\"text-%1\"><h2>%2</h2>\n<pre class=\"course\">%3</pre>\n")
                 .arg(QString::number(qi + 1), escapeXml(Html::assignmentName(q.assignment)), escapeXml(shownText(q.bankText)));
        for (int ri : q.records) {
            const ClassRecord &c = m_data.records[size_t(ri)];
            h += Html::recordBlock(c, link(studentPage(size_t(c.student)), escapeXml(m_data.students[size_t(c.student)].name)),
                                   QString());
        }
        h += QStringLiteral("</section>\n");
    }
    h += Html::siteEnd();
    h.flush();
}

void SiteWriter::groupNotes()
{
    QHash<QString, int> byItem; // assignment + '#' + item -> question
    for (size_t qi = 0; qi < m_sum.questions.size(); ++qi)
        byItem.insert(m_sum.questions[qi].assignment + QLatin1Char('#') + m_sum.questions[qi].item, int(qi));
    for (size_t si = 0; si < m_data.students.size(); ++si)
        for (int ri : m_data.students[si].records) {
            const ClassRecord &c = m_data.records[size_t(ri)];
            if (c.record.kind != FileRecord::Note)
                continue;
            const QString assignment = c.place ? c.place->assignment : c.record.assignment;
            const QString item = itemOf(c);
            const auto found = byItem.constFind(assignment + QLatin1Char('#') + item);
            if (!item.isEmpty() && found != byItem.cend())
                m_notes[found.value()].push_back(ri);
            else
                m_assignmentNotes[assignment].push_back(ri);
        }
}

void SiteWriter::notesPage(const Html::Put &put) const
{
    Html::Page h(put);
    h += Html::pageStart(title + QStringLiteral(": notes"), QStringLiteral("style.css"));
    h += Html::siteTop(link(QStringLiteral("index.html"), QStringLiteral("The class")));
    h += QStringLiteral("<h1>Notes of the class</h1>\n");
    if (m_notes.empty() && m_assignmentNotes.empty())
        h += QStringLiteral("<p>No notes.</p>\n");
    // By assignment, then question; the notes taken before an
    // assignment's first question (or on a text the course lacks) first.
    std::set<QString> assignments;
    for (const auto &[assignment, notes] : m_assignmentNotes)
        assignments.insert(assignment);
    for (const auto &[qi, notes] : m_notes)
        assignments.insert(m_sum.questions[size_t(qi)].assignment);
    int general = 0;
    for (const QString &assignment : assignments) {
        h += QStringLiteral("<h2>%1</h2>\n").arg(escapeXml(Html::assignmentName(assignment)));
        if (m_assignmentNotes.count(assignment)) {
            h += QStringLiteral("<section id=\"notes-general-%1\"><h3>On the assignment, not on one of its questions</h3>\n").arg(++general);
            for (int ri : m_assignmentNotes.at(assignment))
                h += noteBlock(ri, true);
            h += QStringLiteral("</section>\n");
        }
        for (auto it = m_notes.lower_bound(0); it != m_notes.end(); ++it) {
            const QuestionSummary &q = m_sum.questions[size_t(it->first)];
            if (q.assignment != assignment)
                continue;
            h += QStringLiteral("<section id=\"notes-%1\"><h3>%2: %3</h3>\n")
                     .arg(QString::number(it->first + 1), link(questionPage(q, size_t(it->first)), escapeXml(Html::itemName(q))),
                          escapeXml(q.label));
            for (int ri : it->second)
                h += noteBlock(ri, false);
            h += QStringLiteral("</section>\n");
        }
    }
    h += Html::siteEnd();
    h.flush();
}

QString SiteWriter::noteBlock(int ri, bool withBank) const
{
    const ClassRecord &c = m_data.records[size_t(ri)];
    return Html::recordBlock(c, link(studentPage(size_t(c.student)), escapeXml(m_data.students[size_t(c.student)].name)),
                             withBank ? QStringLiteral("<p class=\"bank\">%1</p>\n").arg(escapeXml(firstLine(c.record.bankText)))
                                      : QString());
}
