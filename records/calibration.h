#pragma once

// How a confidence rating and the self-critique after it read together: one
// definition for the student's review walk and calibration card and for the
// instructor's report. The self-critique prompt the student answers defines
// 3 as "either self-critique was not necessary or ... everything was
// completely obvious", and 0, 1 and 2 as self-critique that was necessary;
// the confidence prompt defines 0 and 1 as no or some confidence, 2 and 3 as
// pretty confident and certain. Qt Core only.

#include <QString>
#include <QStringList>

namespace calibration {

/// The 0 to 3 value of a rating as typed (blanks around it ignored), or -1
/// for anything else (a word, a blank, "2.5", "%2").
int ratingValue(const QString &typed);

/// What a question's pair of ratings says, the first that applies.
enum class Kind {
    ConfidentError, ///< confidence 2 or 3, then self-critique 0 to 2: sure, and needed correcting
    Unsure,         ///< confidence 0 or 1
    WeakCritique,   ///< self-critique 0 or 1 (the confidence not a rating)
    Sound,          ///< anything else: sure and right, or nothing to go on
};

/// The pair confidence `confidence` then self-critique `critique`, each 0 to 3 or -1.
Kind classify(int confidence, int critique);

/// True for a pair that leaves the review: sure (2 or 3) and no critique needed (3).
inline bool settled(int confidence, int critique)
{
    return confidence >= 2 && critique == 3;
}

/// Whether a response starts a new attempt at its question: a response to
/// the question itself always does; one to an entry of its worked answer
/// when there is no attempt yet, when the latest was made in an earlier run,
/// or when that entry already has its self-critique in it (the student came
/// round again). A worked answer of several entries takes a self-critique at
/// each, all in one attempt.
inline bool startsAttempt(bool toWorkedAnswer, bool anyAttempt, bool sameRun, bool entryCritiqued)
{
    return !toWorkedAnswer || !anyAttempt || !sameRun || entryCritiqued;
}

/// The self-critique that stands for an attempt, given the one so far and
/// the next entry's (values 0 to 3, or -1): the lowest rating, the most
/// correction needed; a rating that is not 0 to 3 only when there is no other.
inline int attemptCritique(int sofar, int next)
{
    return sofar < 0 ? next : next < 0 ? sofar : (next < sofar ? next : sofar);
}

/// The pairs of one student (or a class, or some attempts): pairs[c][s]
/// for a confidence c followed by a self-critique s, and those where either
/// rating is not 0 to 3 apart.
struct Grid
{
    int pairs[4][4] = {};
    int apart = 0;

    void add(int confidence, int critique);
    void add(const Grid &other);
    /// Pairs with both ratings 0 to 3.
    int total() const;
    /// Pairs whose confidence was `confidence`.
    int at(int confidence) const;
    /// Of those, how many needed no critique (self-critique 3).
    int noCritiqueAt(int confidence) const { return pairs[confidence][3]; }
    /// Confident errors: confidence 2 or 3 with self-critique 0 to 2.
    int confidentErrors() const;
    /// Unsure but right: confidence 0 or 1 with self-critique 3.
    int unsureButRight() const;
    /// Confident errors among the pairs of confidence 2 or 3; -1 when there are none.
    double overconfidence() const;
    /// Unsure but right among the pairs of confidence 0 or 1; -1 when there are none.
    double underconfidence() const;
};

/// How the confidence levels are called in the prompt's own words:
/// "no confidence", "some confidence", "pretty confident", "certain".
QString levelName(int confidence);

/// One line of a calibration card in plain words, e.g. "When you were
/// certain, your self-critique said you needed to correct yourself 4 times
/// in 10."; a level with no pairs says so.
QString cardLine(int confidence, const Grid &grid);

/// The card's lines for one set of attempts, certain first (cardLine per
/// level), or the one line "No answers yet with both ratings.".
QStringList cardLines(const Grid &grid);

/// The heading of the card's first attempts ("First attempts") or later ones.
QString cardHeading(bool later);

/// What the card is based on, the ratings `where` (a file, "this report's files").
QString cardBasis(const QString &where);

/// The change from first to later attempts: "Sure but needing correction:
/// 40% of first attempts, none of later ones."
QString cardChange(const Grid &first, const Grid &later);

/// "2 pairs with a rating that is not 0 to 3 are counted apart.", or empty for none.
QString cardApart(int apart);

} // namespace calibration
