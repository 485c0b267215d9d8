#include "review/reviewwalk.h"

#include "flow/queryform.h"
#include "records/recordformat.h"
#include "records/recordreader.h"

#include <QDir>

using calibration::Kind;

namespace {

/// "001", "001 and 003", "001, 003 and 005".
QString listed(const QStringList &items)
{
    if (items.size() < 2)
        return items.join(QString());
    return items.mid(0, items.size() - 1).join(QStringLiteral(", ")) + QStringLiteral(" and ") + items.last();
}

QString counted(int n, const QString &one, const QString &many)
{
    return QStringLiteral("%1 %2").arg(n).arg(n == 1 ? one : many);
}

/// A rating as the student typed it, or a word for none.
QString ratingShown(const QString &typed)
{
    return typed.trimmed().isEmpty() ? QStringLiteral("(none)") : QStringLiteral("\"%1\"").arg(typed.trimmed());
}

/// The card's lines for one set of attempts.
QString gridLines(const calibration::Grid &grid)
{
    return calibration::cardLines(grid).join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
}

} // namespace

ReviewWalk::ReviewWalk(const QStringList &entries) : m_entries(entries) {}

QString ReviewWalk::kindName(Kind kind)
{
    switch (kind) {
    case Kind::ConfidentError: return QStringLiteral("a confident error");
    case Kind::Unsure: return QStringLiteral("an unsure answer");
    case Kind::WeakCritique: return QStringLiteral("a weak self-critique");
    case Kind::Sound: break;
    }
    return QString();
}

QString ReviewWalk::offer(const QString &masterPath, QString &nothing)
{
    m_masterPath = masterPath;
    const RecordFileContents contents = readRecordFile(masterPath);
    m_list = ReviewList();
    m_list.read(contents.records, m_entries);
    const int unread = int(contents.warnings.size());
    const QString skipped =
        m_list.skipped() + unread == 0
            ? QString()
            : QStringLiteral(" (%1 of the file could not be read as answers to the course and %2 left out.)")
                  .arg(counted(m_list.skipped() + unread, QStringLiteral("part"), QStringLiteral("parts")),
                       m_list.skipped() + unread == 1 ? QStringLiteral("was") : QStringLiteral("were"));
    const int errors = m_list.count(Kind::ConfidentError), unsure = m_list.count(Kind::Unsure),
              weak = m_list.count(Kind::WeakCritique);
    if (errors + unsure + weak == 0) {
        nothing = QStringLiteral("There is nothing to review in %1: no question there has a last answer you were "
                                 "unsure of, or were sure of and then needed to correct.%2")
                      .arg(QDir::toNativeSeparators(masterPath), skipped);
        return QString();
    }
    const QStringList in = m_list.assignments();
    return QStringLiteral("Your master file holds %1 to review: %2 (you were sure, and your self-critique said "
                          "you needed to correct yourself), %3 and %4, in %5 %6.%7  Enter an assignment number "
                          "to review only that one, or just hit the Enter key to review them all.")
        .arg(counted(errors + unsure + weak, QStringLiteral("question"), QStringLiteral("questions")),
             counted(errors, QStringLiteral("confident error"), QStringLiteral("confident errors")),
             counted(unsure, QStringLiteral("unsure answer"), QStringLiteral("unsure answers")),
             counted(weak, QStringLiteral("weak self-critique"), QStringLiteral("weak self-critiques")),
             in.size() == 1 ? QStringLiteral("assignment") : QStringLiteral("assignments"), listed(in), skipped);
}

bool ReviewWalk::choose(const QString &typed, QString &again)
{
    const QString number = typed.trimmed().isEmpty() ? QString() : QueryForm::padAssignmentNumber(typed.trimmed());
    m_chosen = m_list.toReview(number);
    if (m_chosen.empty()) {
        again = QStringLiteral("There is nothing to review in assignment %1. Enter one of %2, or just hit the "
                               "Enter key to review them all.")
                    .arg(typed.trimmed(), listed(m_list.assignments()));
        return false;
    }
    m_steps.clear();
    m_itemOfStep.clear();
    for (size_t i = 0; i < m_chosen.size(); ++i)
        addSteps(*m_chosen[i], int(i), int(m_chosen.size()));
    m_steps.push_back(Entry()); // the card, made when it is reached
    m_itemOfStep.push_back(-1);
    m_at = 0;
    return true;
}

void ReviewWalk::addSteps(const ReviewItem &item, int index, int of)
{
    const Attempt &last = item.latest();
    const QString where = QStringLiteral("assignment %1, question %2").arg(item.assignment).arg(item.question);
    m_steps.push_back({QStringLiteral("Review %1 of %2, %3 (%4):\r\n").arg(index + 1).arg(of).arg(kindName(item.kind), where)
                           + item.questionText,
                       QStringLiteral("question"), item.questionText, item.assignment, item.heading});
    QString lastTime = QStringLiteral("Your last attempt at it, on %1 at %2:\r\n")
                           .arg(last.at.toString(recordformat::dateFormat), last.at.toString(recordformat::timeFormat));
    lastTime += last.answer.isEmpty() ? QStringLiteral("(no answer recorded)\r\n")
                                      : QStringLiteral("you answered\r\n%1\r\n").arg(last.answer);
    lastTime += QStringLiteral("with confidence %1.\r\n").arg(ratingShown(last.confidence));
    lastTime += last.critiqued ? QStringLiteral("Your self-critique:\r\n%1\r\nrated %2.")
                                     .arg(last.critique, ratingShown(last.critiqueRating))
                               : QStringLiteral("No self-critique was recorded.");
    m_steps.push_back({lastTime, QString(), QString(), item.assignment, item.heading});
    m_itemOfStep.resize(m_steps.size(), index);
    for (const QString &answer : item.answers) {
        m_steps.push_back({answer, QStringLiteral("answer"), answer, item.assignment, item.heading});
        m_itemOfStep.push_back(index);
    }
}

bool ReviewWalk::next(Entry &entry)
{
    if (m_at >= m_steps.size())
        return false;
    const int item = m_itemOfStep[m_at];
    if (item != m_shownItem)
        m_newConfidence.clear();
    m_shownItem = item;
    entry = m_steps[m_at];
    if (item < 0)
        entry.text = card(m_masterPath);
    ++m_at;
    return true;
}

QString ReviewWalk::rated(const QString &rating)
{
    if (m_shownItem < 0 || m_at == 0)
        return QString();
    // After the question or the last attempt the box asked for a
    // confidence; after the worked answer, for a self-critique.
    if (m_steps[m_at - 1].kind != QLatin1String("answer")) {
        m_newConfidence = rating;
        return QString();
    }
    if (m_newConfidence.isEmpty())
        return QString();
    const int confidence = calibration::ratingValue(m_newConfidence);
    if (calibration::settled(confidence, calibration::ratingValue(rating)))
        return QStringLiteral("This question leaves your review list: you were %1 and your self-critique says you "
                              "needed no correction.")
            .arg(calibration::levelName(confidence));
    return QStringLiteral("This question stays on your review list, to come back in a later review.");
}

QString ReviewWalk::card(const QString &masterPath) const
{
    ReviewList now;
    now.read(readRecordFile(masterPath).records, m_entries);
    const calibration::Grid first = now.firstAttempts(), later = now.laterAttempts();
    QString text = QStringLiteral("Your calibration card\r\n\r\n")
                   + calibration::cardBasis(QDir::toNativeSeparators(masterPath)) + QStringLiteral("\r\n\r\n");
    text += calibration::cardHeading(false) + QStringLiteral(":\r\n") + gridLines(first);
    text += QStringLiteral("\r\n") + calibration::cardHeading(true) + QStringLiteral(":\r\n") + gridLines(later);
    text += QStringLiteral("\r\n") + calibration::cardChange(first, later) + QStringLiteral("\r\n");
    const QString apart = calibration::cardApart(first.apart + later.apart);
    if (!apart.isEmpty())
        text += apart + QStringLiteral("\r\n");
    return text + QStringLiteral("\r\nThat is the end of this review: Next Question / Answer ends it.");
}
