#pragma once

// Where the report's outputs go. Each is written whole into a new file
// beside its path (oscalls::ReplacingFile), and only once every output of
// the run is written are they renamed into place, together: a run that
// fails, or reads nothing, leaves the last good outputs as they were.
// Nothing standing at an output's path is written through: a link, a FIFO,
// a folder or a file being read is refused before anything is written; a
// device and "-" (standard output) are written straight into when named.

#include "platform/oscalls.h"

#include <QIODevice>
#include <QString>

#include <functional>
#include <memory>
#include <set>
#include <vector>

/// The outputs of one run, none in place before all are written.
class OutputSet
{
public:
    /// Writes one output through `write`: straight into a device or
    /// standard output when `named` (the instructor named this path), else
    /// into a new file beside it. False with the reason ("path: why").
    bool write(const QString &path, bool named, const std::function<void(QIODevice &)> &write, QString &reason);
    /// Renames every output written into its place; false with the reason
    /// of the first that could not be.
    bool replaceAll(QString &reason);

private:
    std::vector<std::unique_ptr<oscalls::ReplacingFile>> m_files;
};

/// Why `path` may not take an output, or an empty text: a path with the
/// name of a file of the student program (a forgotten output name before
/// the inputs would overwrite a student's master file), one of the files
/// being read, or a link, a FIFO or a folder; a device only when `named`.
QString refusedOutput(const QString &path, const std::set<oscalls::Identity> &inputs, bool named = true);

/// The first page or stylesheet already in the site folder `folder` that
/// refusedOutput refuses, with the reason ("site/index.html: it is one of
/// the files being read"), or an empty text.
QString refusedSite(const QString &folder, const std::set<oscalls::Identity> &inputs);

/// Makes the folder of a site (and the folders above it); false with the reason.
bool makeSiteFolder(const QString &path, QString &reason);

/// `text` as a terminal shows it safely: control characters (escape
/// sequences that could rewrite what was printed), and the characters
/// that reorder text, spelled out ("\x1B", "\u202E").
QString terminalSafe(const QString &text);
