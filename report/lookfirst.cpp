#include "report/lookfirst.h"

#include <QStringList>

#include <algorithm>
#include <cmath>

namespace {

double shareOf(int count, int n)
{
    return n > 0 ? double(count) / n : 0.0;
}

QString percent(double share)
{
    return QStringLiteral("%1%").arg(qRound(share * 100));
}

/// The latest assignments of the course anyone handed in, oldest first.
std::vector<QString> latestOf(const ClassSummary &sum)
{
    std::vector<QString> course;
    for (const QString &a : sum.assignments)
        if (sum.questionsIn.count(a) && sum.questionsIn.at(a) > 0)
            course.push_back(a);
    const size_t from = course.size() > size_t(latestAssignments) ? course.size() - latestAssignments : 0;
    return std::vector<QString>(course.begin() + qsizetype(from), course.end());
}

/// Each student's count and n for the three shares, by Kind.
struct Counts
{
    int count[4] = {}, n[4] = {};
};

std::vector<Counts> countsOf(const ClassData &data, const ClassSummary &sum)
{
    std::vector<Counts> out(data.students.size());
    for (size_t si = 0; si < out.size(); ++si) {
        const StudentSummary &st = sum.perStudent[si];
        Counts &c = out[si];
        c.count[LookFirstReason::ConfidentErrors] = st.grid.confidentErrors();
        c.n[LookFirstReason::ConfidentErrors] = st.grid.total();
        c.count[LookFirstReason::Unsure] = st.confidence.low();
        c.n[LookFirstReason::Unsure] = st.confidence.valid();
        c.count[LookFirstReason::NoCritique] = missingCritiques(data, sum, si, c.n[LookFirstReason::NoCritique]);
    }
    return out;
}

/// The share at or above which a student is in the top tenth of those with
/// enough answers; above 1 when none has enough.
double topTenth(const std::vector<Counts> &counts, int kind)
{
    std::vector<double> shares;
    for (const Counts &c : counts)
        if (c.n[kind] >= lookFirstMinimum)
            shares.push_back(shareOf(c.count[kind], c.n[kind]));
    if (shares.empty())
        return 2.0;
    std::sort(shares.begin(), shares.end(), std::greater<double>());
    const size_t k = std::max<size_t>(1, size_t(std::ceil(shares.size() / 10.0)));
    return shares[k - 1];
}

double ratio(const LookFirstReason &r)
{
    if (r.kind == LookFirstReason::NothingLatest)
        return 1e9;
    return r.classShare > 0 ? shareOf(r.count, r.n) / r.classShare : 1e6;
}

} // namespace

int missingCritiques(const ClassData &data, const ClassSummary &sum, size_t student, int &attempts)
{
    int missing = 0;
    attempts = 0;
    for (const auto &[qi, list] : sum.perStudent[student].attempts) {
        const QuestionSummary &q = sum.questions[size_t(qi)];
        if (q.prompt || !q.inCourse)
            continue;
        for (const AttemptPair &a : list) {
            if (a.answer < 0)
                continue;
            ++attempts;
            missing += a.critique < 0 || data.records[size_t(a.critique)].record.text.trimmed().isEmpty();
        }
    }
    return missing;
}

LookFirst lookFirst(const ClassData &data, const ClassSummary &sum)
{
    LookFirst out;
    out.latest = latestOf(sum);
    const std::vector<Counts> counts = countsOf(data, sum);
    double top[4] = {};
    for (int kind = LookFirstReason::ConfidentErrors; kind <= LookFirstReason::NoCritique; ++kind) {
        int count = 0, n = 0;
        for (const Counts &c : counts)
            count += c.count[kind], n += c.n[kind];
        out.classShare[kind] = shareOf(count, n);
        top[kind] = topTenth(counts, kind);
    }
    std::vector<LookFirstStudent> all;
    for (size_t si = 0; si < data.students.size(); ++si) {
        LookFirstStudent s{si, {}};
        const bool missedAll = !out.latest.empty() && std::all_of(out.latest.begin(), out.latest.end(), [&](const QString &a) {
            return progressOf(sum.perStudent[si], sum, a) == Progress::Missing;
        });
        if (missedAll)
            s.reasons.push_back({LookFirstReason::NothingLatest, int(out.latest.size()), int(out.latest.size()), 0.0});
        for (int kind = LookFirstReason::ConfidentErrors; kind <= LookFirstReason::NoCritique; ++kind) {
            const Counts &c = counts[si];
            const double share = shareOf(c.count[kind], c.n[kind]);
            if (c.n[kind] >= lookFirstMinimum && share > 0 && share >= top[kind]
                && share >= lookFirstFactor * out.classShare[kind])
                s.reasons.push_back({LookFirstReason::Kind(kind), c.count[kind], c.n[kind], out.classShare[kind]});
        }
        if (!s.reasons.empty())
            all.push_back(s);
    }
    const auto nameLess = [&](size_t a, size_t b) {
        return data.students[a].name.compare(data.students[b].name, Qt::CaseInsensitive) < 0;
    };
    // Most reasons first, then nothing handed in, then the furthest above the class.
    std::sort(all.begin(), all.end(), [&](const LookFirstStudent &x, const LookFirstStudent &y) {
        if (x.reasons.size() != y.reasons.size())
            return x.reasons.size() > y.reasons.size();
        const double rx = ratio(x.reasons.front()), ry = ratio(y.reasons.front());
        if (rx != ry)
            return rx > ry;
        return nameLess(x.student, y.student);
    });
    out.cap = std::max(3, int(std::ceil(data.students.size() / 10.0)));
    out.more = std::max(0, int(all.size()) - out.cap);
    if (int(all.size()) > out.cap)
        all.resize(size_t(out.cap));
    out.students = std::move(all);

    std::vector<bool> listed(data.students.size(), false);
    for (const LookFirstStudent &s : out.students)
        out.order.push_back(s.student), listed[s.student] = true;
    std::vector<size_t> rest;
    for (size_t si = 0; si < data.students.size(); ++si)
        if (!listed[si])
            rest.push_back(si);
    std::stable_sort(rest.begin(), rest.end(), nameLess);
    out.order.insert(out.order.end(), rest.begin(), rest.end());
    return out;
}

QString lookFirstRule(const LookFirst &list)
{
    QStringList latest;
    for (const QString &a : list.latest)
        latest.append(QString::number(a.toInt()));
    const QString missed = latest.isEmpty() ? QStringLiteral("the latest assignments anyone handed in (none yet)")
                           : latest.size() == 1
                               ? QStringLiteral("the latest assignment anyone handed in (assignment %1)").arg(latest.front())
                               : QStringLiteral("the latest %1 assignments anyone handed in (assignments %2)")
                                     .arg(QString::number(latest.size()), latest.join(QStringLiteral(" and ")));
    return QStringLiteral("Named here: a student who handed in nothing for %1; or one whose share of confident errors "
                          "(confidence 2 or 3, then a self-critique of 0 to 2, among their pairs of ratings), of unsure "
                          "answers (confidence 0 or 1, among their confidence ratings) or of missing or empty "
                          "self-critiques (among the questions they answered) is among the highest tenth of the class "
                          "and at least %2 times the class's share; a share counts only with at least %3 answers behind "
                          "it. Most reasons first, then the furthest above the class; at most %4 students (a tenth of "
                          "the class, at least 3).")
        .arg(missed, QString::number(lookFirstFactor), QString::number(lookFirstMinimum), QString::number(list.cap));
}

QString reasonText(const LookFirstReason &r, const LookFirst &list)
{
    if (r.kind == LookFirstReason::NothingLatest) {
        QStringList latest;
        for (const QString &a : list.latest)
            latest.append(QString::number(a.toInt()));
        return QStringLiteral("nothing handed in for %1 %2")
            .arg(latest.size() == 1 ? QStringLiteral("assignment") : QStringLiteral("assignments"),
                 latest.join(QStringLiteral(" and ")));
    }
    const char *what = r.kind == LookFirstReason::ConfidentErrors ? "confident errors"
                       : r.kind == LookFirstReason::Unsure        ? "unsure answers"
                                                                  : "missing or empty self-critiques";
    const char *of = r.kind == LookFirstReason::ConfidentErrors ? "pairs" : r.kind == LookFirstReason::Unsure ? "confidence ratings" : "answered questions";
    return QStringLiteral("%1: %2 of %3 %4 (%5; class %6)")
        .arg(QLatin1String(what), QString::number(r.count), QString::number(r.n), QLatin1String(of),
             percent(shareOf(r.count, r.n)), percent(r.classShare));
}

QStringList lookFirstLines(const ClassData &data, const ClassSummary &sum)
{
    const LookFirst list = lookFirst(data, sum);
    QStringList lines;
    if (!data.window.isEmpty())
        lines.append(QStringLiteral("Only %1; every student is listed.").arg(data.window));
    lines.append(list.students.empty() ? QStringLiteral("Students to look at first: none meets the rule.")
                                       : QStringLiteral("Students to look at first:"));
    for (const LookFirstStudent &s : list.students) {
        QStringList why;
        for (const LookFirstReason &r : s.reasons)
            why.append(reasonText(r, list));
        lines.append(QStringLiteral("  %1: %2").arg(data.students[s.student].name, why.join(QStringLiteral("; "))));
    }
    if (list.more > 0)
        lines.append(QStringLiteral("  %1 more meet the rule; the list stops at %2.").arg(list.more).arg(list.cap));
    return lines;
}
