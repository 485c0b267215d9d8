#pragma once

// The gradebook CSV (--gradebook FILE): a row per student, every enrolled
// student included, and per assignment of the course that anyone did four
// columns: done (1 done, 0.5 partly, 0 nothing), responses, mean confidence
// (0 to 3, one decimal, empty when none) and confident errors. Its leading
// columns are those of Canvas's gradebook export (Student, ID, SIS User ID,
// SIS Login ID, Section), so Canvas imports it as it stands, matching
// students by SIS User ID or SIS Login ID; Moodle's CSV grade import maps
// "SIS User ID" to the ID number or "SIS Login ID" to the e-mail address.

#include "report/classmodel.h"

#include <QByteArray>
#include <QIODevice>
#include <QString>

#include <utility>

enum class GradebookDialect {
    Lms,   ///< comma, UTF-8 without a byte-order mark, decimal point, texts as they are
    Excel, ///< semicolon, byte-order mark, decimal comma, IDs of digits kept as text, formulas guarded
};

/// The dialect named on the command line ("lms", "excel"); false for another name.
bool gradebookDialect(const QString &name, GradebookDialect &dialect);

/// A student's name and ID from a download folder's name: "Ann Lee_12345"
/// and "Lee, Ann_12345_assignsubmission_file_" give the name before the
/// last "_digits" and those digits; a name without gives itself and no ID.
std::pair<QString, QString> nameAndIdOf(const QString &folder);

/// The gradebook of the class into `out`, a row at a time.
void writeGradebook(QIODevice &out, const ClassData &data, const ClassSummary &summary, GradebookDialect dialect);

/// writeGradebook into memory (for a small class).
QByteArray gradebookTable(const ClassData &data, const ClassSummary &summary, GradebookDialect dialect);
