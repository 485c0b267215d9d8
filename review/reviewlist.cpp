#include "review/reviewlist.h"

#include "bank/entrygrammar.h"
#include "records/recordformat.h"
#include "records/recordreader.h"

#include <QHash>

#include <algorithm>
#include <map>

using calibration::Kind;

namespace {

struct Place
{
    size_t item;
    bool answer;
};

int rank(Kind kind)
{
    switch (kind) {
    case Kind::ConfidentError: return 0;
    case Kind::Unsure: return 1;
    case Kind::WeakCritique: return 2;
    case Kind::Sound: break;
    }
    return 3;
}

QDateTime whenOf(const FileRecord &record)
{
    return QDateTime(QDate::fromString(record.date, recordformat::dateFormat),
                     QTime::fromString(record.time, recordformat::timeFormat));
}

Kind kindOf(const Attempt &attempt)
{
    const int critique = attempt.critiqued ? calibration::ratingValue(attempt.critiqueRating) : -1;
    return calibration::classify(calibration::ratingValue(attempt.confidence), critique);
}

/// Takes the items of `sorted` (oldest first) so that no two of one
/// assignment follow each other while another assignment has one waiting.
std::vector<const ReviewItem *> interleaved(std::vector<const ReviewItem *> sorted)
{
    std::vector<const ReviewItem *> out;
    QString last;
    while (!sorted.empty()) {
        auto pick = std::find_if(sorted.begin(), sorted.end(),
                                 [&](const ReviewItem *item) { return item->assignment != last; });
        if (pick == sorted.end())
            pick = sorted.begin();
        last = (*pick)->assignment;
        out.push_back(*pick);
        sorted.erase(pick);
    }
    return out;
}

} // namespace

void ReviewList::read(const std::vector<FileRecord> &records, const QStringList &entries)
{
    // The course: each question and its worked answer, by text.
    QMultiHash<QString, Place> byText;
    std::vector<ReviewItem> course;
    QString assignment, heading;
    int question = 0;
    for (const QString &entry : entries) {
        if (entrygrammar::isHeading(entry)) {
            assignment = entry.left(3);
            heading = entry;
            question = 0;
        } else if (entry.startsWith(entrygrammar::questionMarker)) {
            ReviewItem item;
            item.assignment = assignment;
            item.heading = heading;
            item.question = ++question;
            item.questionText = entry.mid(entrygrammar::questionMarker.size());
            byText.insert(item.questionText, {course.size(), false});
            course.push_back(item);
        } else if (entry.startsWith(entrygrammar::answerMarker) && question > 0) {
            course.back().answers.append(entry.mid(entrygrammar::answerMarker.size()));
            byText.insert(course.back().answers.last(), {course.size() - 1, true});
        }
    }
    int run = 0;
    for (const FileRecord &r : records) {
        run += r.kind == FileRecord::Header;
        if (r.kind != FileRecord::Response)
            continue;
        // The same text may stand in several assignments: the record's own first.
        const Place *found = nullptr;
        for (auto it = byText.constFind(r.bankText); it != byText.cend() && it.key() == r.bankText; ++it)
            if (!found || course[it->item].assignment == r.assignment)
                found = &*it;
        if (!r.complete || !found) {
            ++m_skipped;
            continue;
        }
        ReviewItem &item = course[found->item];
        const bool any = !item.attempts.empty();
        if (calibration::startsAttempt(found->answer, any, any && item.attempts.back().run == run,
                                       any && item.attempts.back().entriesCritiqued.contains(r.bankText))) {
            item.attempts.emplace_back();
            item.attempts.back().run = run;
        }
        Attempt &attempt = item.attempts.back();
        if (found->answer) {
            const QString rating = r.ratingKind == FileRecord::SelfCritique ? r.rating : QString();
            const int sofar = attempt.critiqued ? calibration::ratingValue(attempt.critiqueRating) : -1;
            const int value = calibration::attemptCritique(sofar, calibration::ratingValue(rating));
            if (!attempt.critiqued || value != sofar)
                attempt.critiqueRating = rating;
            attempt.critique = attempt.critiqued ? attempt.critique + QStringLiteral("\n\n") + r.text : r.text;
            attempt.critiqued = true;
            attempt.entriesCritiqued.append(r.bankText);
        } else {
            attempt.answer = r.text;
            attempt.confidence = r.ratingKind == FileRecord::Confidence ? r.rating : QString();
        }
        attempt.at = whenOf(r);
    }
    for (ReviewItem &item : course) {
        if (item.attempts.empty())
            continue;
        item.kind = kindOf(item.latest());
        m_items.push_back(std::move(item));
    }
}

std::vector<const ReviewItem *> ReviewList::toReview(const QString &assignment) const
{
    std::vector<const ReviewItem *> out;
    for (int r = 0; r < 3; ++r) {
        std::vector<const ReviewItem *> ofKind;
        for (const ReviewItem &item : m_items)
            if (rank(item.kind) == r && (assignment.isEmpty() || item.assignment == assignment))
                ofKind.push_back(&item);
        // Spaced: what was tried longest ago comes back first.
        std::stable_sort(ofKind.begin(), ofKind.end(), [](const ReviewItem *a, const ReviewItem *b) {
            return a->latest().at < b->latest().at;
        });
        for (const ReviewItem *item : interleaved(ofKind))
            out.push_back(item);
    }
    return out;
}

int ReviewList::count(Kind kind) const
{
    return int(std::count_if(m_items.begin(), m_items.end(), [kind](const ReviewItem &i) { return i.kind == kind; }));
}

QStringList ReviewList::assignments() const
{
    QStringList found;
    for (const ReviewItem &item : m_items)
        if (rank(item.kind) < 3 && !found.contains(item.assignment))
            found.append(item.assignment);
    found.sort();
    return found;
}

calibration::Grid ReviewList::firstAttempts() const
{
    calibration::Grid grid;
    for (const ReviewItem &item : m_items)
        if (item.attempts.front().critiqued)
            grid.add(calibration::ratingValue(item.attempts.front().confidence),
                     calibration::ratingValue(item.attempts.front().critiqueRating));
    return grid;
}

calibration::Grid ReviewList::laterAttempts() const
{
    calibration::Grid grid;
    for (const ReviewItem &item : m_items)
        for (size_t i = 1; i < item.attempts.size(); ++i)
            if (item.attempts[i].critiqued)
                grid.add(calibration::ratingValue(item.attempts[i].confidence),
                         calibration::ratingValue(item.attempts[i].critiqueRating));
    return grid;
}
