#pragma once

#include "report/classmodel.h"

#include <QString>

#include <map>

/// Inline SVG charts, drawn with Qt's painter into SVG. Each function returns
/// an <svg> element ready to stand in an XHTML page.
namespace Charts {

/// One horizontal bar split into the shares of ratings 0, 1, 2, 3 and others.
QString spreadBar(const Spread &spread, int width = 160, int height = 14);

/// Stacked bars of the ratings given in each assignment.
QString ratingsByAssignment(const std::map<QString, AssignmentCounts> &assignments, bool confidence,
                            const QString &title);

/// A 4 by 4 grid of circles, confidence across and self-critique up, each
/// circle's area the number of pairs.
QString calibration(const int pairs[4][4], const QString &title);

} // namespace Charts
