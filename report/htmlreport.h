#pragma once

#include "report/classmodel.h"

#include <QDateTime>
#include <QIODevice>
#include <QString>

/// The class's report as one self-contained XHTML page: no scripts, no
/// network, the charts inline SVG, readable in any browser and in print.
/// It holds what oneFileHolds() says, not the answers (those are the
/// site's), so that it stays small for a class of hundreds.
void writeHtmlReport(QIODevice &out, const ClassData &data, const ClassSummary &summary, const QDateTime &made);

/// What the one file holds, in a sentence (the page says it too).
QString oneFileHolds();

/// The same page as text (for a small class).
QString htmlReport(const ClassData &data, const ClassSummary &summary, const QDateTime &made);
