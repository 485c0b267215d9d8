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
        // A worked answer of several entries: the self-critique most in need of correction stands for them.
        const int critique = c.record.ratingKind == FileRecord::SelfCritique ? value : -1;
        const int combined = a.critique < 0 ? critique : calibration::attemptCritique(a.selfCritique, critique);
        if (a.critique < 0 || combined != a.selfCritique)
            a.critique = index;
        a.selfCritique = combined;
    } else {
        a.answer = index;
        a.confidence = c.record.ratingKind == FileRecord::Confidence ? value : -1;
    }
}

/// True when the attempt's two responses carry the ratings their roles ask for.
bool ratedPair(const ClassData &data, const AttemptPair &a)
{
    return a.paired() && data.records[size_t(a.answer)].record.ratingKind == FileRecord::Confidence
           && data.records[size_t(a.critique)].record.ratingKind == FileRecord::SelfCritique;
}

/// The students who answered a question, and those who rated it low or were confidently wrong.
struct Who
{
    QSet<int> answered, lowConfidence, lowSelfCritique, struggled, confidentError;
};

/// A student's confident errors per question, and where the student
/// answered a question again: the first attempt's pair against the latest
/// paired one after it, into the class's reviewed grids.
void noteAttempts(const ClassData &data, ClassSummary &sum, const StudentSummary &st, int si, std::vector<Who> &who,
                  QSet<int> &reviewed)
{
    for (const auto &[qi, attempts] : st.attempts) {
        for (const AttemptPair &a : attempts)
            if (ratedPair(data, a) && calibration::classify(a.confidence, a.selfCritique) == calibration::Kind::ConfidentError)
                who[size_t(qi)].confidentError.insert(si);
        if (attempts.size() < 2)
            continue;
        reviewed.insert(qi);
        ++sum.reviewedAnswers;
        if (ratedPair(data, attempts.front()))
            sum.reviewedFirst.add(attempts.front().confidence, attempts.front().selfCritique);
        for (auto a = attempts.rbegin(); a + 1 != attempts.rend(); ++a)
            if (ratedPair(data, *a)) {
                sum.reviewedLatest.add(a->confidence, a->selfCritique);
                break;
            }
    }
}

/// The flagged questions, by the rule of classmodel.h: sum.flagged in
/// order, and each one's `flagged`.
void chooseFlags(ClassSummary &sum)
{
    std::vector<int> candidates;
    std::vector<double> shares;
    int questions = 0;
    for (size_t i = 0; i < sum.questions.size(); ++i) {
        const QuestionSummary &q = sum.questions[i];
        if (q.prompt)
            continue;
        ++questions;
        if (q.studentsAnswered >= flagMinStudents) {
            candidates.push_back(int(i));
            shares.push_back(q.flagShare());
        }
    }
    if (candidates.empty())
        return;
    // The nearest-rank percentile: the smallest share at least that many hundredths of them reach.
    std::sort(shares.begin(), shares.end());
    const size_t rank = size_t((flagPercentile * shares.size() + 99) / 100);
    const double threshold = shares[std::max<size_t>(rank, 1) - 1];
    const auto byShare = [&](int a, int b) {
        const QuestionSummary &x = sum.questions[size_t(a)], &y = sum.questions[size_t(b)];
        if (x.flagShare() != y.flagShare())
            return x.flagShare() > y.flagShare();
        return x.studentsAnswered > y.studentsAnswered;
    };
    std::stable_sort(candidates.begin(), candidates.end(), byShare);
    const size_t most = size_t(std::min(flagMostItems, (questions + flagFraction - 1) / flagFraction));
    for (int i : candidates) {
        QuestionSummary &q = sum.questions[size_t(i)];
        if (sum.flagged.size() >= most || q.flagShare() <= 0.0 || q.flagShare() < threshold)
            break;
        q.flagged = true;
        sum.flagged.push_back(i);
    }
}

/// A confidence and the self-critique after the same question's worked
/// answer, into the student's, the assignment's, the question's and the
/// class's grids, as a first or a later attempt.
void addPairs(const ClassData &data, ClassSummary &sum, StudentSummary &st)
{
    for (const auto &[qi, attempts] : st.attempts) {
        for (const AttemptPair &a : attempts) {
            if (!ratedPair(data, a))
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
    std::vector<Who> who;
    QSet<int> reviewed; // questions some student answered more than once
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
        // Attempts are numbered as read; those a window left out hold no
        // response here and are no attempt of this report's.
        for (auto &[qi, list] : st.attempts)
            list.erase(std::remove_if(list.begin(), list.end(), [](const AttemptPair &a) { return a.answer < 0 && a.critique < 0; }),
                       list.end());
        addPairs(data, sum, st);
        noteAttempts(data, sum, st, int(si), who, reviewed);
    }
    sum.reviewedQuestions = int(reviewed.size());
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
        q.confidentErrorStudents = int(w.confidentError.size());
        q.lowOrConfidentError = int((w.struggled + w.confidentError).size());
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

    chooseFlags(sum);
    return sum;
}

QString flagRule()
{
    return QStringLiteral("A question is flagged when at least %1 students answered it and the share of them who rated it "
                          "0 or 1 (confidence or self-critique) or made a confident error on it (confidence 2 or 3, then "
                          "a self-critique of 0 to 2) is above none and at least the %2th percentile of these questions' "
                          "shares; the highest share first, ties by more students; at most one question in %3 and at most %4. "
                          "Prompts (\u201cAdd comments on any surprises\u2026\u201d) ask for comments, not answers, and are "
                          "never flagged.")
        .arg(flagMinStudents)
        .arg(flagPercentile)
        .arg(flagFraction)
        .arg(flagMostItems);
}

std::map<QString, calibration::Grid> classGridsByAssignment(const ClassSummary &sum)
{
    std::map<QString, calibration::Grid> grids;
    for (const QuestionSummary &q : sum.questions)
        grids[q.assignment].add(q.grid);
    return grids;
}
