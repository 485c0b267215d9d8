#pragma once

#include "report/classmodel.h"

#include <QString>

#include <map>

/// Inline SVG charts, written as XML (Qt Core only). Each function returns
/// an <svg> element ready to stand in an XHTML page, with a <title> for
/// screen readers and every label as real, escaped <text>. Ratings are
/// coloured from orange (0) to blue (3), which readers with any common
/// colour-vision deficiency tell apart; ratings that are not 0 to 3 are grey.
namespace Charts {

/// One horizontal bar split into the shares of ratings 0, 1, 2, 3 and others.
QString spreadBar(const Spread &spread, int width = 160, int height = 14);

/// Stacked bars of the ratings given in each assignment, with axis titles and a key.
QString ratingsByAssignment(const std::map<QString, AssignmentCounts> &assignments, bool confidence,
                            const QString &title);

/// A 4 by 4 grid of circles, confidence across and self-critique up, each
/// circle's area the number of pairs, the number written in it.
QString calibration(const int pairs[4][4], const QString &title);

/// Over-confidence (orange circles, solid line) and under-confidence (blue
/// squares, dashed line) per assignment as shares from 0 to 100%, an
/// assignment with no pairs of that kind left without a point; each
/// point's <title> gives the rate with its n.
QString calibrationTrend(const std::map<QString, calibration::Grid> &byAssignment, const QString &title);

} // namespace Charts
