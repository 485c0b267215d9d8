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
#include <QStringList>

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
    /// A step taken once every output is in place (an earlier site's
    /// pages removed), never when one could not be written or renamed.
    void afterReplace(std::function<void()> step) { m_after.push_back(std::move(step)); }

private:
    std::vector<std::unique_ptr<oscalls::ReplacingFile>> m_files;
    std::vector<std::function<void()>> m_after;
};

/// Why `path` may not take an output, or an empty text: a path with the
/// name of a file of the student program (a forgotten output name before
/// the inputs would overwrite a student's master file), one of the files
/// being read, or a link, a FIFO or a folder; a device only when `named`.
QString refusedOutput(const QString &path, const std::set<oscalls::Identity> &inputs, bool named = true);

/// Why the site folder `folder` may not take a site, or an empty text: a
/// folder with files this program did not mark as its own, or a page or
/// stylesheet already there that refusedOutput refuses ("site/index.html:
/// it is one of the files being read"), or a folder at or inside one of the
/// folders `read`.
QString refusedSite(const QString &folder, const std::set<oscalls::Identity> &inputs, const QStringList &read);

/// The file a site's folder holds to say that this program made it: a
/// first line naming the program, then each page it wrote, a name a line.
extern const QString siteMarker;

/// What a site's folder holds of this program's.
struct SiteFolder
{
    bool ours = false;  ///< missing, empty, or marked as made by this program
    QStringList pages;  ///< the pages the marker lists (plain page names only)
    QString reason;     ///< why it is not ours
};

/// Whether `folder` may take a site: one this program made (its marker a
/// regular file, not a link), an empty one or none yet; with the pages an
/// earlier run wrote.
SiteFolder inspectSite(const QString &folder);

/// The marker's text for a site of `pages`.
QByteArray siteMarkerText(const QStringList &pages);

/// True for a name a site's page may have: letters, digits, '-', '_' and
/// '.', no "..", ending ".html" or ".css" (never a path, never the marker).
bool isPlainPageName(const QString &name);

/// Removes from `folder` each page of `before` that is not in `now`, only
/// plain page names standing there as regular files; the names it could
/// not remove.
QStringList removeStalePages(const QString &folder, const QStringList &before, const QStringList &now);

/// Makes the folder of a site (and the folders above it); false with the reason.
bool makeSiteFolder(const QString &path, QString &reason);

/// `text` as a terminal shows it safely: control characters (escape
/// sequences that could rewrite what was printed), and the characters
/// that reorder text, spelled out ("\x1B", "\u202E").
QString terminalSafe(const QString &text);
