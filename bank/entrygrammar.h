#pragma once

// How an entry of the question bank says what it is, as the program that
// steps through the bank and the instructor's report both read it. Qt Core only.

#include <QLatin1String>
#include <QStringView>

namespace entrygrammar {

/// The back-quote markers that begin a question, a given answer and a
/// routine entry (a figure to draw; its name follows after one character).
inline constexpr QLatin1String questionMarker("`q");
inline constexpr QLatin1String answerMarker("`a");
inline constexpr QLatin1String routineMarker("`routine");

/// A heading begins with the assignment's three-digit number and a full stop.
inline bool isHeading(QStringView entry)
{
    return entry.size() >= 4 && entry.at(0).isDigit() && entry.at(1).isDigit() && entry.at(2).isDigit()
           && entry.at(3) == QLatin1Char('.');
}

/// True when `entry` is the heading of the assignment numbered `number`
/// (three digits, compared as text): its first four characters are the
/// number and a full stop.
inline bool isHeadingOf(QStringView entry, QStringView number)
{
    const QStringView head = entry.left(4);
    return head.size() == number.size() + 1 && head.startsWith(number) && head.endsWith(QLatin1Char('.'));
}

/// True when `entry` begins with `number`: reaching the next assignment's
/// number ends the walk through the one before it.
inline bool beginsAssignment(QStringView entry, QStringView number)
{
    return entry.left(3) == number;
}

/// True for a routine entry; the marker is read in any case.
inline bool isRoutineEntry(QStringView entry)
{
    return entry.left(routineMarker.size()).toString().toLower() == routineMarker;
}

/// The routine's name starts after the marker and one separating character.
inline QStringView routineText(QStringView entry)
{
    return entry.mid(routineMarker.size() + 1);
}

} // namespace entrygrammar
