#pragma once

// The layout of the output files as both the program that writes them and
// the readers that take them back (the record reader, the instructor's
// report) know it: the names and labels below, and the writers of each
// record's lines (records/recordformat.cpp), which the reader reads back in
// the same order. Qt Core only.

#include <QByteArray>
#include <QLatin1String>
#include <QString>
#include <QStringView>

namespace recordformat {

inline constexpr QLatin1String masterFileName("masterFile.txt");
/// A SEND file is named by the day it collects: send_MMDD.txt.
inline constexpr QLatin1String sendFilePrefix("send_");
inline constexpr QLatin1String sendFileSuffix(".txt");
inline constexpr QLatin1String notesFileName("notes_.txt");
/// The name of the output folder the program offers (c:\crsfiles, ~/crsfiles).
inline constexpr QLatin1String defaultFolderName("crsfiles");

/// Begins a response or note record, and again its student's text.
inline constexpr QLatin1String openingSeparator("......!!!!!!!!...................................");
/// Ends a record: 49 full stops.
inline constexpr QLatin1String closingSeparator(".................................................");
/// The SEND and notes files leave a note's closing line open after this
/// many blanks (the next print zone); the next record continues that line.
inline constexpr int noteTrailerBlanks = 7;
/// Blanks before the time (and the date) on a record's time line.
inline constexpr int timeIndent = 36;

inline constexpr QLatin1String assignmentLabel("assignment #");
inline constexpr QLatin1String questionKeyLabel("`questionNumber");
inline constexpr QLatin1String responseLabel("RESPONSE -->  ");
inline constexpr QLatin1String notesLabel("NOTES -------> ");
inline constexpr QLatin1String confidenceLabel("confidence assessment:  ");
inline constexpr QLatin1String selfCritiqueLabel("self critique assessment: ");

/// The course every header record names.
inline constexpr QLatin1String courseTitle("Applied Calculus I");

/// The clock as records write it.
inline constexpr QStringView dateFormat(u"MM-dd-yyyy");
inline constexpr QStringView timeFormat(u"HH:mm:ss");

/// The three output files; a record goes to some of them, a little
/// differently to each.
enum class FileKind { Master, Send, Notes };

/// A header record: each run's first lines in the master and SEND files.
struct Header
{
    QString codeLine;   ///< the line of random characters
    QString assignment; ///< the assignment's line: assignmentLabel and the number
    QString heading;    ///< the assignment's heading entry
    QString date;       ///< as dateFormat writes it
};

/// A response record up to its rating, which the student gives after its
/// lines are in the files.
struct Response
{
    QString time;        ///< the time line (timeIndent blanks and the time)
    QString questionKey; ///< the master file's key line (questionKeyLine())
    QString bankText;    ///< the question or answer it responds to
    QString text;        ///< what the student typed
};

/// A note record, saved to all three files.
struct Note
{
    QString time;     ///< the time line
    QString dateTime; ///< the time line's indent, the date and the time
    QString bankText; ///< the question or answer it was saved under
    QString text;     ///< what the student typed, without the label
};

/// Which rating a response asks for: none when it answers neither a
/// question nor a given answer.
enum class Rating { None, Confidence, SelfCritique };

/// The key line of the master file: the label, the key's sign position (a
/// blank or a minus), its digits as plain decimal text, and one blank.
QString questionKeyLine(double key);

/// A header record's bytes, the same in the master and SEND files.
QByteArray headerBytes(const Header &header);
/// A response record's bytes in `file` (master or SEND) before its rating.
QByteArray responseOpening(FileKind file, const Response &response);
/// The end of a response record: its rating line, if any, and the closing line.
QByteArray responseClosing(Rating rating, const QString &typed);
/// A note record's bytes in `file`. The SEND and notes files leave its
/// closing line open after noteTrailerBlanks blanks: the next record
/// appended there continues that line.
QByteArray noteBytes(FileKind file, const Note &note);
/// The longest a response's closing may be beyond its rating as typed.
inline constexpr int responseClosingFrame = 64;
/// True when `bytes` are whole, or (with `maybeCut`) the beginning of, the
/// closing responseClosing() writes for `rating`.
bool isResponseClosing(Rating rating, const QByteArray &bytes, bool maybeCut);

} // namespace recordformat
