#include "records/calibration.h"

namespace calibration {

int ratingValue(const QString &typed)
{
    const QString r = typed.trimmed();
    return r.size() == 1 && r.at(0) >= QLatin1Char('0') && r.at(0) <= QLatin1Char('3') ? r.at(0).unicode() - '0' : -1;
}

Kind classify(int confidence, int critique)
{
    const bool needed = critique >= 0 && critique <= 2;
    if (confidence >= 2 && needed)
        return Kind::ConfidentError;
    if (confidence == 0 || confidence == 1)
        return Kind::Unsure;
    if (critique == 0 || critique == 1)
        return Kind::WeakCritique;
    return Kind::Sound;
}

void Grid::add(int confidence, int critique)
{
    if (confidence < 0 || confidence > 3 || critique < 0 || critique > 3)
        ++apart;
    else
        ++pairs[confidence][critique];
}

void Grid::add(const Grid &other)
{
    for (int c = 0; c < 4; ++c)
        for (int s = 0; s < 4; ++s)
            pairs[c][s] += other.pairs[c][s];
    apart += other.apart;
}

int Grid::at(int confidence) const
{
    return pairs[confidence][0] + pairs[confidence][1] + pairs[confidence][2] + pairs[confidence][3];
}

int Grid::total() const
{
    return at(0) + at(1) + at(2) + at(3);
}

int Grid::confidentErrors() const
{
    return at(2) - pairs[2][3] + at(3) - pairs[3][3];
}

int Grid::unsureButRight() const
{
    return pairs[0][3] + pairs[1][3];
}

double Grid::overconfidence() const
{
    const int sure = at(2) + at(3);
    return sure ? double(confidentErrors()) / sure : -1;
}

double Grid::underconfidence() const
{
    const int unsure = at(0) + at(1);
    return unsure ? double(unsureButRight()) / unsure : -1;
}

QString levelName(int confidence)
{
    switch (confidence) {
    case 0: return QStringLiteral("no confidence");
    case 1: return QStringLiteral("some confidence");
    case 2: return QStringLiteral("pretty confident");
    case 3: return QStringLiteral("certain");
    }
    return QString();
}

QString cardLine(int confidence, const Grid &grid)
{
    const QString when = confidence >= 2 ? QStringLiteral("When you were %1").arg(levelName(confidence))
                                         : QStringLiteral("When you had %1").arg(levelName(confidence));
    const int n = grid.at(confidence);
    if (n == 0)
        return QStringLiteral("%1: no answers yet with a self-critique after them.").arg(when);
    const int needed = n - grid.noCritiqueAt(confidence);
    return QStringLiteral("%1, your self-critique said you needed to correct yourself %2 %3 in %4.")
        .arg(when)
        .arg(needed)
        .arg(needed == 1 ? QStringLiteral("time") : QStringLiteral("times"))
        .arg(n);
}

QStringList cardLines(const Grid &grid)
{
    if (grid.total() == 0)
        return {QStringLiteral("No answers yet with both ratings.")};
    QStringList lines;
    for (int c = 3; c >= 0; --c)
        lines.append(cardLine(c, grid));
    return lines;
}

QString cardHeading(bool later)
{
    return later ? QStringLiteral("Later attempts (reviews and runs again)") : QStringLiteral("First attempts");
}

QString cardBasis(const QString &where)
{
    return QStringLiteral("It is based on your own self-critique ratings in %1: a self-critique of 3 says you needed no "
                          "correction, 0 to 2 that you did.")
        .arg(where);
}

namespace {

QString percent(double share)
{
    return share < 0 ? QStringLiteral("none") : QStringLiteral("%1%").arg(qRound(share * 100));
}

} // namespace

QString cardChange(const Grid &first, const Grid &later)
{
    return QStringLiteral("Sure but needing correction: %1 of first attempts, %2 of later ones.")
        .arg(percent(first.overconfidence()), percent(later.overconfidence()));
}

QString cardApart(int apart)
{
    if (apart <= 0)
        return QString();
    return QStringLiteral("%1 %2 with a rating that is not 0 to 3 %3 counted apart.")
        .arg(apart)
        .arg(apart == 1 ? QStringLiteral("pair") : QStringLiteral("pairs"), apart == 1 ? QStringLiteral("is") : QStringLiteral("are"));
}

} // namespace calibration
