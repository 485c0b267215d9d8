#include "report/classmodel.h"

#include <QHash>
#include <QSet>

#include <algorithm>

int ratingValue(const QString &rating)
{
    const QString r = rating.trimmed();
    return r.size() == 1 && r.at(0) >= QLatin1Char('0') && r.at(0) <= QLatin1Char('3') ? r.at(0).unicode() - '0' : -1;
}

void Spread::add(const QString &rating)
{
    const int v = ratingValue(rating);
    if (v >= 0)
        ++counts[v];
    else
        other.append(rating);
}

namespace {

QString assignmentOf(const ClassRecord &c)
{
    return c.place ? c.place->assignment : c.record.assignment;
}

} // namespace

QString questionKey(const ClassRecord &c)
{
    if (c.place && c.place->question > 0 && c.place->role != CoursePlace::Other)
        return c.place->assignment + QLatin1Char('#') + QString::number(c.place->question);
    return assignmentOf(c) + QLatin1Char('|') + firstLine(c.record.bankText);
}

ClassSummary summarize(const ClassData &data)
{
    ClassSummary sum;
    sum.students = int(data.students.size());
    QSet<QString> allDays;
    QHash<QString, int> questionIndex;
    std::vector<QSet<int>> answeredBy;

    sum.perStudent.resize(data.students.size());
    for (size_t si = 0; si < data.students.size(); ++si) {
        StudentSummary &st = sum.perStudent[si];
        QHash<QString, QString> lastConfidence; // question key -> rating as typed
        for (int ri : data.students[si].records) {
            const ClassRecord &c = data.records[size_t(ri)];
            const FileRecord &r = c.record;
            if (!r.date.isEmpty() && r.kind != FileRecord::Header) {
                allDays.insert(r.date);
                if (st.days.empty() || st.days.back().date != r.date)
                    st.days.push_back({r.date, r.time, r.time, 0});
                DaySummary &day = st.days.back();
                day.first = std::min(day.first, r.time);
                day.last = std::max(day.last, r.time);
                ++day.records;
            }
            if (r.kind == FileRecord::Header)
                continue;
            AssignmentCounts &ac = st.assignments[assignmentOf(c)];
            if (r.kind == FileRecord::Note) {
                ++st.notes;
                ++sum.notes;
                ++ac.notes;
                continue;
            }
            ++st.responses;
            ++sum.responses;
            ++ac.responses;

            const QString key = questionKey(c);
            int qi = questionIndex.value(key, -1);
            if (qi < 0) {
                qi = int(sum.questions.size());
                questionIndex.insert(key, qi);
                QuestionSummary q;
                q.assignment = assignmentOf(c);
                q.inCourse = c.place != nullptr;
                if (c.place && c.place->question > 0 && c.place->role != CoursePlace::Other) {
                    q.number = c.place->question;
                    q.label = firstLine(c.place->questionText);
                } else {
                    q.label = firstLine(r.bankText);
                }
                sum.questions.push_back(q);
                answeredBy.emplace_back();
            }
            QuestionSummary &q = sum.questions[size_t(qi)];
            ++q.responses;
            const bool onQuestion = c.place ? c.place->role == CoursePlace::Question
                                            : r.ratingKind == FileRecord::Confidence;
            if (onQuestion)
                answeredBy[size_t(qi)].insert(int(si));
            if (r.ratingKind == FileRecord::Confidence) {
                q.confidence.add(r.rating);
                ac.confidence.add(r.rating);
                st.confidence.add(r.rating);
                lastConfidence.insert(key, r.rating);
            } else if (r.ratingKind == FileRecord::SelfCritique) {
                q.selfCritique.add(r.rating);
                ac.selfCritique.add(r.rating);
                st.selfCritique.add(r.rating);
                // Paired with the confidence given for this answer's question.
                const auto it = lastConfidence.constFind(key);
                if (c.place && c.place->role == CoursePlace::Answer && it != lastConfidence.cend()) {
                    const int cv = ratingValue(*it), sv = ratingValue(r.rating);
                    if (cv >= 0 && sv >= 0)
                        ++st.calibration[cv][sv];
                    else
                        ++st.calibrationApart;
                }
            }
        }
    }
    sum.days = int(allDays.size());

    for (size_t i = 0; i < sum.questions.size(); ++i) {
        QuestionSummary &q = sum.questions[i];
        q.studentsAnswered = int(answeredBy[i].size());
        q.flagged = (q.confidence.valid() && q.confidence.lowShare() >= flagShare)
                    || (q.selfCritique.valid() && q.selfCritique.lowShare() >= flagShare);
    }
    // By assignment, then question number; texts the course does not hold last.
    std::vector<size_t> order(sum.questions.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        const QuestionSummary &x = sum.questions[a], &y = sum.questions[b];
        if (x.assignment != y.assignment)
            return x.assignment < y.assignment;
        if (x.inCourse != y.inCourse)
            return x.inCourse;
        return x.number < y.number;
    });
    std::vector<QuestionSummary> sorted;
    sorted.reserve(order.size());
    for (size_t i : order)
        sorted.push_back(sum.questions[i]);
    sum.questions = std::move(sorted);

    for (size_t i = 0; i < sum.questions.size(); ++i)
        if (sum.questions[i].flagged)
            sum.flagged.push_back(int(i));
    auto worst = [&](int i) {
        const QuestionSummary &q = sum.questions[size_t(i)];
        return std::max(q.confidence.lowShare(), q.selfCritique.lowShare());
    };
    std::stable_sort(sum.flagged.begin(), sum.flagged.end(), [&](int a, int b) { return worst(a) > worst(b); });
    return sum;
}
