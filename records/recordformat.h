#pragma once

// The layout of the output files as both the program that writes them and
// the readers that take them back (the record reader, the instructor's
// report) know it. Qt Core only.

#include <QLatin1String>
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

/// The clock as records write it.
inline constexpr QStringView dateFormat(u"MM-dd-yyyy");
inline constexpr QStringView timeFormat(u"HH:mm:ss");

} // namespace recordformat
