#pragma once

#include <QString>
#include <QStringList>

#include <vector>

/// One loader step of the course text: a new entry, or text appended to the
/// entry last started.
struct ContentStep
{
    bool append = false;
    QString text;
    int line = 0; ///< line of the file where the step starts
};

/// The steps of one content file, or the first format error as "file:line: reason".
struct ParsedContent
{
    std::vector<ContentStep> steps;
    QString error;
};

/// Parses the text of one content file (format in bank/content/README.md).
ParsedContent parseContent(const QString &text, const QString &fileName);
