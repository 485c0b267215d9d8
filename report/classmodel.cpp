#include "report/classmodel.h"

#include <QHash>
#include <QSet>

#include <algorithm>

void Spread::add(const QString &rating)
{
    const int v = ratingValue(rating);
    if (v >= 0)
        ++counts[v];
    else
        ++other[rating.trimmed()];
}

int Spread::otherCount() const
{
    int n = 0;
    for (const auto &o : other)
        n += o.second;
    return n;
}

QString roleName(Role role)
{
    switch (role) {
    case Role::Question: return QStringLiteral("question");
    case Role::Answer: return QStringLiteral("answer");
    case Role::Prompt: return QStringLiteral("prompt");
    case Role::Note: return QStringLiteral("note");
    }
    return QString();
}

Role roleOf(const ClassRecord &c)
{
    if (c.record.kind == FileRecord::Note)
        return Role::Note;
    if (c.place)
        return c.place->role == CoursePlace::Question ? Role::Question
               : c.place->role == CoursePlace::Answer ? Role::Answer
                                                      : Role::Prompt;
    // A text the course lacks: the rating the program asked for tells.
    return c.record.ratingKind == FileRecord::Confidence     ? Role::Question
           : c.record.ratingKind == FileRecord::SelfCritique ? Role::Answer
                                                             : Role::Prompt;
}

QString itemOf(const ClassRecord &c)
{
    if (!c.place)
        return QString();
    if (c.place->role == CoursePlace::Other)
        return QStringLiteral("p%1").arg(c.place->prompt);
    return QStringLiteral("q%1").arg(c.place->question);
}

namespace {

QString assignmentOf(const ClassRecord &c)
{
    return c.place ? c.place->assignment : c.record.assignment;
}

/// Puts a response into its attempt: the question's own response (or a
/// prompt's), or the one to its worked answer.
void addToAttempt(std::vector<AttemptPair> &attempts, const ClassRecord &c, int index)
{
    if (attempts.size() < size_t(c.attempt))
        attempts.resize(size_t(c.attempt));
    AttemptPair &a = attempts[size_t(c.attempt) - 1];
    a.number = c.attempt;
    const int value = ratingValue(c.record.rating);
    if (c.place && c.place->role == CoursePlace::Answer) {
        a.critique = index;
        a.selfCritique = c.record.ratingKind == FileRecord::SelfCritique ? value : -1;
    } else {
        a.answer = index;
        a.confidence = c.record.ratingKind == FileRecord::Confidence ? value : -1;
    }
}

/// A confidence and the self-critique after the same question's worked
/// answer, into the student's, the assignment's, the question's and the
/// class's grids, as a first or a later attempt.
void addPairs(const ClassData &data, ClassSummary &sum, StudentSummary &st)
{
    for (const auto &[qi, attempts] : st.attempts) {
        for (const AttemptPair &a : attempts) {
            if (!a.paired() || data.records[size_t(a.answer)].record.ratingKind != FileRecord::Confidence
                || data.records[size_t(a.critique)].record.ratingKind != FileRecord::SelfCritique)
                continue;
            calibration::Grid one;
            one.add(a.confidence, a.selfCritique);
            for (calibration::Grid *g : {&st.grid, a.number == 1 ? &st.firstGrid : &st.laterGrid, &sum.grid,
                                         a.number == 1 ? &sum.firstGrid : &sum.laterGrid,
                                         &sum.questions[size_t(qi)].grid,
                                         &st.assignments[sum.questions[size_t(qi)].assignment].grid})
                g->add(one);
        }
    }
}

} // namespace

Progress progressOf(const StudentSummary &st, const ClassSummary &sum, const QString &assignment)
{
    const auto a = st.assignments.find(assignment);
    if (a == st.assignments.end() || (a->second.responses == 0 && a->second.notes == 0))
        return Progress::Missing;
    const auto q = sum.questionsIn.find(assignment);
    const int questions = q == sum.questionsIn.end() ? 0 : q->second;
    return questions > 0 && a->second.questionsReached >= questions ? Progress::Done : Progress::Partly;
}

QString isoDate(const QString &d)
{
    const bool digits = d.size() == 10 && d.at(2) == QLatin1Char('-') && d.at(5) == QLatin1Char('-')
                        && std::all_of(d.begin(), d.end(), [](QChar c) { return c == QLatin1Char('-') || (c >= QLatin1Char('0') && c <= QLatin1Char('9')); });
    return digits ? d.mid(6, 4) + QLatin1Char('-') + d.left(2) + QLatin1Char('-') + d.mid(3, 2) : d;
}

ClassSummary summarize(const ClassData &data, const CourseIndex &course)
{
    ClassSummary sum;
    sum.students = int(data.students.size());
    QSet<QString> allDays;
    QHash<QString, int> questionIndex; // assignment + item
    QHash<QString, int> unknownTexts;  // assignment + first line, for texts the course lacks
    struct Who
    {
        QSet<int> answered, lowConfidence, lowSelfCritique, struggled;
    };
    std::vector<Who> who;
    QSet<QString> assignments;

    sum.perStudent.resize(data.students.size());
    for (size_t si = 0; si < data.students.size(); ++si) {
        StudentSummary &st = sum.perStudent[si];
        QHash<QString, QSet<int>> reached;      // assignment -> questions with a response
        for (int ri : data.students[si].records) {
            const ClassRecord &c = data.records[size_t(ri)];
            const FileRecord &r = c.record;
            if (r.kind == FileRecord::Header)
                continue;
            if (!r.date.isEmpty()) {
                allDays.insert(r.date);
                if (st.days.empty() || st.days.back().date != isoDate(r.date))
                    st.days.push_back({isoDate(r.date), r.time, r.time, 0});
                DaySummary &day = st.days.back();
                day.first = std::min(day.first, r.time);
                day.last = std::max(day.last, r.time);
                ++day.records;
            }
            const QString assignment = assignmentOf(c);
            assignments.insert(assignment);
            AssignmentCounts &ac = st.assignments[assignment];
            if (r.kind == FileRecord::Note) {
                ++st.notes;
                ++sum.notes;
                ++ac.notes;
                continue;
            }
            ++st.responses;
            ++sum.responses;
            ++ac.responses;

            QString item = itemOf(c);
            if (item.isEmpty()) {
                const QString label = assignment + QLatin1Char('|') + firstLine(r.bankText);
                auto u = unknownTexts.constFind(label);
                if (u == unknownTexts.cend())
                    u = unknownTexts.insert(label, int(unknownTexts.size()) + 1);
                item = QStringLiteral("x%1").arg(*u);
            }
            const QString key = assignment + QLatin1Char('-') + item;
            int qi = questionIndex.value(key, -1);
            if (qi < 0) {
                qi = int(sum.questions.size());
                questionIndex.insert(key, qi);
                QuestionSummary q;
                q.assignment = assignment;
                q.item = item;
                q.inCourse = c.place != nullptr;
                q.prompt = c.place ? c.place->role == CoursePlace::Other : r.ratingKind == FileRecord::NoRating;
                if (c.place && !q.prompt) {
                    q.number = c.place->question;
                    q.label = firstLine(c.place->questionText);
                    q.bankText = c.place->questionText;
                } else {
                    q.number = c.place ? c.place->prompt : item.mid(1).toInt();
                    q.label = firstLine(r.bankText);
                    q.bankText = r.bankText;
                }
                sum.questions.push_back(q);
                who.emplace_back();
            }
            QuestionSummary &q = sum.questions[size_t(qi)];
            Who &w = who[size_t(qi)];
            ++q.responses;
            q.records.push_back(ri);
            w.answered.insert(int(si));
            if (c.place && c.place->role != CoursePlace::Other && c.place->question > 0)
                reached[assignment].insert(c.place->question);
            const int value = ratingValue(r.rating);
            if (r.ratingKind == FileRecord::Confidence) {
                q.confidence.add(r.rating);
                ac.confidence.add(r.rating);
                st.confidence.add(r.rating);
                if (value == 0 || value == 1) {
                    w.lowConfidence.insert(int(si));
                    w.struggled.insert(int(si));
                }
            } else if (r.ratingKind == FileRecord::SelfCritique) {
                q.selfCritique.add(r.rating);
                ac.selfCritique.add(r.rating);
                st.selfCritique.add(r.rating);
                if (value == 0 || value == 1) {
                    w.lowSelfCritique.insert(int(si));
                    w.struggled.insert(int(si));
                }
            }
            if (c.attempt > 0)
                addToAttempt(st.attempts[qi], c, ri);
        }
        for (auto it = reached.cbegin(); it != reached.cend(); ++it)
            st.assignments[it.key()].questionsReached = int(it.value().size());
        addPairs(data, sum, st);
    }
    sum.days = int(allDays.size());
    sum.assignments.assign(assignments.cbegin(), assignments.cend());
    std::sort(sum.assignments.begin(), sum.assignments.end());
    for (const QString &a : sum.assignments)
        sum.questionsIn[a] = course.questionCount(a);

    for (size_t i = 0; i < sum.questions.size(); ++i) {
        QuestionSummary &q = sum.questions[i];
        const Who &w = who[i];
        q.studentsAnswered = int(w.answered.size());
        q.lowConfidenceStudents = int(w.lowConfidence.size());
        q.lowSelfCritiqueStudents = int(w.lowSelfCritique.size());
        q.struggled = int(w.struggled.size());
        // One student's single 0 is no sign about a question: enough
        // students, and enough of its ratings, must say so.
        q.flagged = (q.lowConfidenceStudents >= flagStudents && q.confidence.lowShare() >= flagShare)
                    || (q.lowSelfCritiqueStudents >= flagStudents && q.selfCritique.lowShare() >= flagShare);
    }
    // By assignment; questions by number, then prompts, then texts the course lacks.
    std::vector<size_t> order(sum.questions.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    auto rank = [](const QuestionSummary &q) { return !q.inCourse ? 2 : q.prompt ? 1 : 0; };
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        const QuestionSummary &x = sum.questions[a], &y = sum.questions[b];
        if (x.assignment != y.assignment)
            return x.assignment < y.assignment;
        if (rank(x) != rank(y))
            return rank(x) < rank(y);
        return x.number < y.number;
    });
    std::vector<QuestionSummary> sorted;
    sorted.reserve(order.size());
    std::vector<int> placeOf(order.size());
    for (size_t i : order) {
        placeOf[i] = int(sorted.size());
        sorted.push_back(std::move(sum.questions[i]));
    }
    sum.questions = std::move(sorted);
    for (StudentSummary &st : sum.perStudent) {
        std::map<int, std::vector<AttemptPair>> attempts;
        for (auto &[qi, list] : st.attempts)
            attempts.emplace(placeOf[size_t(qi)], std::move(list));
        st.attempts = std::move(attempts);
    }

    for (size_t i = 0; i < sum.questions.size(); ++i)
        if (sum.questions[i].flagged)
            sum.flagged.push_back(int(i));
    auto share = [&](int i) {
        const QuestionSummary &q = sum.questions[size_t(i)];
        return std::max(q.confidence.lowShare(), q.selfCritique.lowShare());
    };
    std::stable_sort(sum.flagged.begin(), sum.flagged.end(), [&](int a, int b) {
        const QuestionSummary &x = sum.questions[size_t(a)], &y = sum.questions[size_t(b)];
        if (x.struggled != y.struggled)
            return x.struggled > y.struggled;
        return share(a) > share(b);
    });
    return sum;
}
