#pragma once

#include "report/classmodel.h"

#include <QDateTime>
#include <QIODevice>
#include <QString>

/// The report as one self-contained XHTML page: no scripts, no network, the
/// charts inline SVG, readable in any browser and in print. Written to
/// `out` a student at a time, so a class never stands in memory as text.
void writeHtmlReport(QIODevice &out, const ClassData &data, const ClassSummary &summary, const QDateTime &made);

/// The same page as text (for a small class).
QString htmlReport(const ClassData &data, const ClassSummary &summary, const QDateTime &made);
