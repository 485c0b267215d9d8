#pragma once

// The review of a student's own weak questions, read from the master file
// the study program writes: each question's attempts (a confidence rating
// after answering it, a self-critique rating after its worked answer), the
// questions whose latest attempt was a confident error, an unsure answer or
// a weak self-critique (records/calibration.h), in the order the walk takes
// them, and the calibration card of first and later attempts. Qt Core only;
// the walk through the window is ReviewWalk (review/reviewwalk.h).

#include "records/calibration.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <vector>

struct FileRecord;

/// One attempt at a question: the answer with its confidence, and the
/// self-critique with its rating that followed the worked answer.
struct Attempt
{
    QString answer, confidence; ///< as typed; confidence empty when none was given
    /// The self-critique: each entry's text of a worked answer of several,
    /// and the rating that stands for them all (calibration::attemptCritique), as typed.
    QString critique, critiqueRating;
    bool critiqued = false;
    QDateTime at; ///< when it was last added to
    int run = 0;  ///< the run of the study program (its header record) it was made in
    QStringList entriesCritiqued; ///< the worked answer's entries with a self-critique in it
};

/// A question of the course as the student met it.
struct ReviewItem
{
    QString assignment; ///< three digits
    int question = 0;   ///< its number in the assignment, from 1
    QString heading;    ///< the assignment's heading entry
    QString questionText;
    QStringList answers; ///< its worked answer's entries
    std::vector<Attempt> attempts;
    calibration::Kind kind = calibration::Kind::Sound; ///< of the latest attempt
    const Attempt &latest() const { return attempts.back(); }
};

class ReviewList
{
public:
    /// Reads a master file's `records` against the course's `entries` (bank
    /// order from entry 1, as the compiled course gives them). Records the
    /// course does not hold are counted in skipped().
    void read(const std::vector<FileRecord> &records, const QStringList &entries);

    /// The questions to review, in the walk's order: confident errors, then
    /// unsure answers, then weak self-critiques; within each the one tried
    /// longest ago first, taking assignments in turn.
    std::vector<const ReviewItem *> toReview(const QString &assignment = QString()) const;
    /// How many of `kind` there are to review.
    int count(calibration::Kind kind) const;
    /// The assignments with something to review, in order.
    QStringList assignments() const;
    /// Records left out: not whole, or answering nothing the course holds.
    int skipped() const { return m_skipped; }
    void skip(int records) { m_skipped += records; }

    /// The pairs of ratings of first attempts and of later ones.
    calibration::Grid firstAttempts() const;
    calibration::Grid laterAttempts() const;

private:
    std::vector<ReviewItem> m_items;
    int m_skipped = 0;
};
