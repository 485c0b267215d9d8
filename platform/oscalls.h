#pragma once

// The operating-system calls that Qt does not make for the program, one
// POSIX and one Windows branch each (platform/osfiles.cpp, platform/ossignals.cpp).
//
// Every call that changes a file (open for writing, write, sync, truncate,
// rename, remove, make a folder) passes one fault seam, so that a test can
// make any single one of them fail, or end the process there.

#include <QFile>
#include <QString>

#include <functional>

namespace oscalls {

/// The kinds of file operation the fault seam can fail.
enum class Io { Open, Write, Sync, Truncate, Rename, Remove, MakeFolder };

/// Test seam: asked before each operation on `path`; when it returns true
/// the operation fails as the system would fail it (an input/output error).
/// Empty (the default) lets every operation through.
void setFaultInjector(std::function<bool(Io operation, const QString &path)> injector);
/// True when the fault seam fails this operation now (the reason set); used
/// by the platform layer's own calls and by syncToDisk.
bool injectedFault(Io operation, const QString &path, QString &reason);

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

/// Opens `path` into `file` for reading, for appending (created when
/// missing) or, with WriteOnly alone, for writing in place (created when
/// missing, neither appended to nor cut), only when it is a regular file, and without ever waiting on it
/// (a FIFO nobody reads); symbolic links are refused unless `followLinks`.
/// False with the system's reason (or "it is not a regular file") otherwise.
bool openRegularFile(PathFile &file, const QString &path, QIODevice::OpenMode mode, bool followLinks,
                     QString &reason);

/// Writes all of `bytes` to an open file; false with the system's reason.
bool writeAll(QFile &file, const QByteArray &bytes, QString &reason);
/// Cuts an open file to `length` bytes; false with the system's reason.
bool truncate(QFile &file, qint64 length, QString &reason);
/// Renames `from` over `to` in one step; false with the system's reason.
bool rename(const QString &from, const QString &to, QString &reason);
/// Removes a file (a missing one is no failure); false with the system's reason.
bool remove(const QString &path, QString &reason);

/// Creates `path` and every missing folder above it; false with the
/// system's reason for the first one that could not be made.
bool makeFolders(const QString &path, QString &reason);

/// True when `path` names a symbolic link or anything else that is not a
/// regular file (a missing path is neither).
bool isUnsafeToReplace(const QString &path);

/// Which file or folder a name leads to, whatever it is called: the device
/// and the file's number on it (the volume and file index on Windows).
struct Identity
{
    quint64 device = 0;
    quint64 file = 0;
    bool known = false;
    bool operator==(const Identity &o) const { return known && o.known && device == o.device && file == o.file; }
    bool operator!=(const Identity &o) const { return !(*this == o); }
};
/// The identity of what `path` names, links followed; not known when it is missing.
Identity identityAt(const QString &path);
/// The identity and the length of an open file, read from the file itself.
Identity identityOf(QFile &file, qint64 *length = nullptr);

/// True when a process with this id runs on this computer.
bool isProcessRunning(qint64 pid);
/// This computer's name, as a lock names the computer its owner runs on.
QString hostName();
/// What tells the process `pid` runs now apart from an earlier one that had
/// the same id (its start, and on Linux which boot); empty when it runs not
/// or the system does not say (platform/osprocess.cpp).
QString processStartToken(qint64 pid);
/// Renames `from` to `to` in one step only when no file is at `to`; false
/// with the system's reason (an existing `to` among them).
bool renameNoReplace(const QString &from, const QString &to, QString &reason);
/// Marks a file hidden where a name's leading full stop does not (Windows).
void hideFile(const QString &path);

/// Calls `handler` from the event loop when the system asks the process to
/// end (SIGTERM, SIGHUP, SIGINT or SIGQUIT; on Windows the console's close,
/// log-off and shut-down events). Needs the application object; installed once.
void onEndRequested(std::function<void()> handler);

} // namespace oscalls
