#pragma once

// The operating-system calls that Qt does not make for the program, one
// POSIX and one Windows branch each (platform/osfiles.cpp, platform/ossignals.cpp).

#include <QFile>
#include <QString>

#include <functional>

namespace oscalls {

/// A file that may be opened from a descriptor and still names its path
/// (Qt forgets the name of a file it did not open itself).
class PathFile : public QFile
{
public:
    QString fileName() const override { return m_path.isEmpty() ? QFile::fileName() : m_path; }
    void setPath(const QString &path) { m_path = path; }

private:
    QString m_path;
};

/// Opens `path` into `file` for reading or for appending (created when
/// missing), only when it is a regular file, and without ever waiting on it
/// (a FIFO nobody reads); symbolic links are refused unless `followLinks`.
/// False with the system's reason (or "it is not a regular file") otherwise.
bool openRegularFile(PathFile &file, const QString &path, QIODevice::OpenMode mode, bool followLinks,
                     QString &reason);

/// Creates `path` and every missing folder above it; false with the
/// system's reason for the first one that could not be made.
bool makeFolders(const QString &path, QString &reason);

/// True when `path` names a symbolic link or anything else that is not a
/// regular file (a missing path is neither).
bool isUnsafeToReplace(const QString &path);

/// Calls `handler` from the event loop when the system asks the process to
/// end (SIGTERM or SIGHUP; on Windows the console's close, log-off and
/// shut-down events). Needs the application object; installed once.
void onEndRequested(std::function<void()> handler);

} // namespace oscalls
