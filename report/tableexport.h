#pragma once

#include "report/classreader.h"

#include <QByteArray>
#include <QIODevice>

/// One row per record read (every copy when the reader kept them): student,
/// file, date and time as written, the same as ISO 8601, assignment, item
/// ("q2", "p1"), question number, role (question, answer, prompt, note),
/// record kind, rating kind, rating as typed, its value when 0 to 3, first
/// line of the bank text, text, line in the file, the file holding the
/// first copy, whether the record is whole ("false" for one cut short),
/// the students who hand in the same file, and the response's attempt at
/// its question or prompt (1, then 2 for the next run or review walk that
/// answers it again; empty for headers and notes). RFC 4180 CSV in UTF-8 with a
/// byte-order mark, every field quoted, written to `out` a row at a time.
void writeCsv(QIODevice &out, const ClassData &data);

/// The same rows as a JSON array of objects, UTF-8.
void writeJson(QIODevice &out, const ClassData &data);

/// writeCsv and writeJson into memory (for a small class).
QByteArray csvTable(const ClassData &data);
QByteArray jsonTable(const ClassData &data);
