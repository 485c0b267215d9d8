#include "report/classoptions.h"

#include <QDir>

void addClassOptions(QCommandLineParser &parser)
{
    parser.addOptions({
        {QStringLiteral("roster"),
         QStringLiteral("The enrolment list: a CSV whose header names the columns folder and name (and id, email), as an "
                        "LMS exports it. Every student on it gets a row, those who handed in nothing included; folders not "
                        "on it are named."),
         QStringLiteral("FILE")},
        {QStringLiteral("since"),
         QStringLiteral("Report only the records of this day (yyyy-mm-dd) and later; every student stays listed."),
         QStringLiteral("DATE")},
        {QStringLiteral("assignment"),
         QStringLiteral("Report only the records of assignment N (repeat the option, or give a list: 3,4); every student "
                        "stays listed."),
         QStringLiteral("N")},
        {QStringLiteral("gradebook"),
         QStringLiteral("Write a gradebook CSV to FILE: a row per student, per assignment done, responses, mean "
                        "confidence and confident errors, with the leading columns Canvas and Moodle import."),
         QStringLiteral("FILE")},
        {QStringLiteral("gradebook-dialect"),
         QStringLiteral("lms (comma, for the LMS import; the default) or excel (semicolon, decimal comma, byte-order "
                        "mark, IDs kept as text, formulas guarded)."),
         QStringLiteral("NAME"), QStringLiteral("lms")},
    });
}

bool readClassOptions(const QCommandLineParser &parser, ClassOptions &options, QString &error)
{
    if (!parseWindow(parser.value(QStringLiteral("since")), parser.values(QStringLiteral("assignment")), options.window, error))
        return false;
    if (!gradebookDialect(parser.value(QStringLiteral("gradebook-dialect")), options.dialect)) {
        error = QStringLiteral("--gradebook-dialect %1: not lms or excel").arg(parser.value(QStringLiteral("gradebook-dialect")));
        return false;
    }
    options.gradebook = parser.value(QStringLiteral("gradebook"));
    options.rosterFile = parser.value(QStringLiteral("roster"));
    if (!options.rosterFile.isEmpty() && !readRoster(options.rosterFile, options.roster, error)) {
        error = QStringLiteral("--roster %1: %2").arg(QDir::toNativeSeparators(options.rosterFile), error);
        return false;
    }
    return true;
}

void applyClassOptions(ClassData &data, const ClassOptions &options)
{
    if (!options.rosterFile.isEmpty())
        applyRoster(data, options.roster);
    keepWindow(data, options.window);
}
