#pragma once

// The enrolment list the instructor gives with --roster: a CSV as learning
// systems and spreadsheets export it (UTF-8 with or without a byte-order
// mark, or Windows-1252 from an older Excel; RFC 4180 quoting; CR LF or LF;
// a comma, semicolon or tab as separator, whichever the header row uses).
// Its header names the columns folder, name, id and email in any order and
// case; folder and name are required, other columns are ignored. Qt Core only.

#include "report/classreader.h"

#include <QByteArray>
#include <QString>

#include <vector>

/// A roster file larger than this is refused: a class list of thousands of
/// students is a few hundred kilobytes.
constexpr qint64 rosterMaxBytes = 4 << 20;
/// Rows past this many are refused with the file.
constexpr int rosterMaxRows = 20000;

struct RosterEntry
{
    QString folder, name, id, email;
    int line = 0; ///< the line of the file the row starts on
};

struct Roster
{
    QString file;                      ///< as given, for warnings
    std::vector<RosterEntry> entries;  ///< in the file's order, one per folder
    std::vector<ReadWarning> warnings; ///< rows skipped or doubtful
};

/// The rows of a roster's bytes; false with the reason (a missing column,
/// a row too many, an unclosed quote) when the list cannot be used at all.
bool parseRoster(const QByteArray &bytes, Roster &roster, QString &error);

/// The roster file at `path` read (at most rosterMaxBytes) and parsed; false with the reason.
bool readRoster(const QString &path, Roster &roster, QString &error);

/// Matches the roster to the class's students: each entry takes the student
/// whose folder has its folder name (exactly, or else the one folder whose
/// name differs only in case or blanks, with a warning) and gives it the
/// roster's name, ID and e-mail; an entry without a folder becomes a student
/// who handed in nothing; a folder on no row is kept, marked and warned about.
void applyRoster(ClassData &data, const Roster &roster);

/// A folder name as a roster match sees it loosely: case folded, blanks removed.
QString looseFolderName(const QString &folder);
