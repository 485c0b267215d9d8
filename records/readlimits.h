#pragma once

// How much of what a class hands in is read and kept, in one place: the
// record reader takes its per-file caps from here and the instructor's
// report its per-student and whole-class ones, so that memory and output
// stay bounded by the class whatever its files hold. Every cap is far
// above what the program writes (a semester is some hundreds of records
// and under a megabyte a student); each one reached is one warning with
// its count, never a warning per record.

#include <QtGlobal>

namespace readlimits {

/// A larger file is refused unread.
inline constexpr qint64 largestFile = qint64(64) << 20;
/// Records read of one file, and kept of one student, every file together.
inline constexpr int recordsPerFile = 100000;
inline constexpr int recordsPerStudent = 100000;
/// Different texts the course lacks that one student's records may answer.
inline constexpr int unknownTextsPerStudent = 100;
/// Assignments the course lacks that one student's records may name.
inline constexpr int madeUpAssignmentsPerStudent = 3;
/// Warnings listed per file, per student and in all; the rest are counted.
inline constexpr int warningsPerFile = 20;
inline constexpr int warningsPerStudent = 100;
inline constexpr int warningsInAll = 5000;
/// The memory a kept record is charged besides its own texts (two bytes a character).
inline constexpr qint64 recordCost = 448;
/// The class's kept records may take this much memory, plus three quarters of the class's bytes.
inline constexpr qint64 memoryBeyondClass = qint64(64) << 20;

/// The memory the records of a class of `classBytes` may take.
inline constexpr qint64 memoryForRecords(qint64 classBytes)
{
    return memoryBeyondClass + classBytes / 4 * 3;
}

} // namespace readlimits
