#pragma once

// Putting what was written on the disk, not only in the system's cache.
// Qt Core only: the study program's record files and the report's outputs
// both pass here (platform/ossync.cpp).

#include <QString>

#include <functional>

class QFile;

/// Makes sure the data of an open file is on the disk, not only in the
/// system's cache; false when the system says it could not.
bool syncToDisk(QFile &file);
/// The same, giving the reason when it fails (the system's, or a plain one).
bool syncToDisk(QFile &file, QString &reason);
/// The same for a file written in place: its bytes (and its length when it
/// grew) go to the disk without its times (fdatasync where there is one),
/// which spares the file system a journal entry.
bool syncDataToDisk(QFile &file, QString &reason);
/// Makes sure the names in a folder (a file made, renamed or removed) are
/// on the disk; false when the system says it could not.
bool syncFolderToDisk(const QString &path);

/// Test seam: called with a file's path each time syncToDisk has put the
/// file on the disk, so that tests can count the syncs of each command.
void setSyncObserver(std::function<void(const QString &path)> observer);
