#pragma once

#include "report/classmodel.h"

#include <QDateTime>
#include <QString>

/// The report as one self-contained XHTML page: no scripts, no network, the
/// charts inline SVG, readable in any browser and in print.
QString htmlReport(const ClassData &data, const ClassSummary &summary, const QDateTime &made);
