#pragma once

#include "flow/walksource.h"
#include "review/reviewlist.h"

#include <QStringList>

/// The walk of a student's own weak questions through the study window: it
/// offers what the master file holds to review, then gives each question,
/// the student's last attempt at it and its worked answer in turn, says when
/// a new attempt takes a question off the list, and ends with the
/// calibration card.
class ReviewWalk : public WalkSource
{
public:
    /// Over the course `entries` (bank order from entry 1).
    explicit ReviewWalk(const QStringList &entries);

    QString offer(const QString &masterPath, QString &nothing) override;
    bool choose(const QString &typed, QString &again) override;
    bool next(Entry &entry) override;
    QString rated(const QString &rating) override;

    /// The calibration card of the master file at `masterPath` as it is now.
    QString card(const QString &masterPath) const;

private:
    /// The steps of one question: the question, the last attempt, the worked answer.
    void addSteps(const ReviewItem &item, int index, int of);
    static QString kindName(calibration::Kind kind);

    QStringList m_entries;
    QString m_masterPath;
    ReviewList m_list;
    std::vector<const ReviewItem *> m_chosen;
    std::vector<Entry> m_steps;
    std::vector<int> m_itemOfStep; // which of m_chosen each step shows; -1 for the card
    size_t m_at = 0;               // the next step
    int m_shownItem = -1;
    QString m_newConfidence;       // given in this walk to the question shown
    bool m_cardShown = false;
};
