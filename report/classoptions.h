#pragma once

// The report's options about whom and what it covers: --roster FILE,
// --since DATE, --assignment N and --gradebook FILE with its dialect,
// read from the command line and applied to the class once it is read.

#include "report/gradebook.h"
#include "report/roster.h"
#include "report/window.h"

#include <QCommandLineParser>
#include <QString>

struct ClassOptions
{
    QString rosterFile, gradebook;
    GradebookDialect dialect = GradebookDialect::Lms;
    RecordWindow window;
    Roster roster; ///< read when rosterFile is given
};

/// Adds the options to the command line's parser.
void addClassOptions(QCommandLineParser &parser);

/// Reads the options once parsed, the roster file included; false with
/// the reason for a wrong value or a roster that cannot be used.
bool readClassOptions(const QCommandLineParser &parser, ClassOptions &options, QString &error);

/// The roster and the window applied to a class just read.
void applyClassOptions(ClassData &data, const ClassOptions &options);
