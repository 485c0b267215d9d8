#pragma once

#include "report/classreader.h"

#include <QByteArray>

/// Every record of every file, one row each (student, file, date, time,
/// assignment, question number, record kind, rating kind, rating as typed,
/// first line of the bank text, text, then the line in the file and the file
/// holding the first copy): RFC 4180 CSV in UTF-8 with a byte-order mark.
QByteArray csvTable(const ClassData &data);

/// The same rows as a JSON array of objects, UTF-8.
QByteArray jsonTable(const ClassData &data);
