#pragma once

// Where the report's outputs go. A regular file (or a new one) is written
// whole beside its path and renamed over it, so that a report cut short
// leaves the old one; anything else (a device such as /dev/null, a FIFO)
// and "-" (standard output) are written straight into, never replaced.

#include "records/inputfiles.h"

#include <QFile>
#include <QSaveFile>
#include <QString>

#include <memory>
#include <set>

/// One output of the report, open for writing.
class OutputFile
{
public:
    explicit OutputFile(const QString &path) : m_path(path) {}
    /// Opens the output; false with the reason.
    bool open(QString &reason);
    QIODevice *device() const { return m_save ? static_cast<QIODevice *>(m_save.get()) : m_direct.get(); }
    /// Finishes the output (renames a regular file into place); false with the reason.
    bool commit(QString &reason);

private:
    QString m_path;
    std::unique_ptr<QSaveFile> m_save;
    std::unique_ptr<QFile> m_direct;
};

/// Why `path` may not take an output, or an empty text: a path with the
/// name of a file of the student program (a forgotten output name before
/// the inputs would overwrite a student's master file), or one of the
/// files being read.
QString refusedOutput(const QString &path, const std::set<inputfiles::FileId> &inputs);

/// The first file already in the site folder `folder` that refusedOutput
/// refuses, with the reason ("site/index.html: it is one of the files
/// being read"), or an empty text.
QString refusedSite(const QString &folder, const std::set<inputfiles::FileId> &inputs);

/// Makes the folder of a site (and the folders above it); false with the reason.
bool makeSiteFolder(const QString &path, QString &reason);
