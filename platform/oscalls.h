#pragma once

// The operating-system calls that Qt does not make for the programs, one
// POSIX and one Windows branch each (macOS takes the POSIX one): the study
// program's record files, and the instructor's report reading what students
// hand in and writing its outputs. Qt Core only.
//
// How the pieces meet: a file is known by its Identity (device and file
// number), whatever path reaches it; openRegularFile is the one way a file
// is opened for reading or appending (never waiting on a FIFO, links refused
// unless asked for); readRegularFile reads a handed-in file whole through it,
// up to a size cap; ReplacingFile writes an output beside its place and
// renames it there. Every call that opens or changes a file (open, write,
// sync, truncate, rename, remove, make a folder) passes one fault seam, so
// that a test can make any single one of them fail, or end the process
// there. platform/osfiles.cpp holds the files' calls, platform/ospaths.cpp
// the paths, folders and reading, platform/osoutput.cpp the outputs,
// platform/ossignals.cpp the end signals.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

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
class NativePath;
/// The same for a path as the system holds it (a name in any encoding).
bool openRegularFile(PathFile &file, const NativePath &path, QIODevice::OpenMode mode, bool followLinks,
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
    /// An order for sets of files (unknown ones first).
    bool operator<(const Identity &o) const
    {
        return known != o.known ? !known : device != o.device ? device < o.device : file < o.file;
    }
};
/// The identity of what `path` names, links followed; not known when it is missing.
Identity identityAt(const QString &path);
/// The identity and the length of an open file, read from the file itself.
Identity identityOf(QFile &file, qint64 *length = nullptr);

/// A path as the system holds it: bytes on POSIX, where a name may be in any
/// encoding (a Latin-1 name from a Windows zip), UTF-16 on Windows.
class NativePath
{
public:
    NativePath() = default;
    /// The path a person typed or a program holds as text.
    static NativePath fromText(const QString &path);
#ifndef Q_OS_WIN
    /// The path as bytes, exactly as the system gave them.
    static NativePath fromBytes(const QByteArray &bytes);
    const QByteArray &bytes() const { return m_native; }
#endif
    /// The path as the system decodes it, for people to read.
    QString shown() const;
    /// The last part of the path ("" for the root), as the system decodes it.
    QString name() const;
    /// The path of `child`, an entry of this folder.
    NativePath operator/(const NativePath &child) const;
    /// The folder that holds this path (made absolute first).
    NativePath parent() const;
    /// The path without "." and ".." parts, doubled or trailing separators.
    NativePath cleaned() const;
    NativePath absolute() const;
    /// True when this path is `folder` or lies inside it (both cleaned and absolute).
    bool isWithin(const NativePath &folder) const;
    bool isEmpty() const { return m_native.isEmpty(); }
    bool operator==(const NativePath &other) const { return m_native == other.m_native; }
    bool operator<(const NativePath &other) const { return m_native < other.m_native; }

private:
#ifdef Q_OS_WIN
    QString m_native;
#else
    QByteArray m_native;
#endif
};

/// What a path is, after links.
enum class Kind { Missing, Regular, Folder, Other, Unreadable };

struct PathInfo
{
    Kind kind = Kind::Missing;
    Identity id;
    qint64 size = 0;
    bool link = false; ///< the path itself is a symbolic link (what it leads to is described)
    QString reason;    ///< why it is Missing, Other or Unreadable, in words
};

/// What `path` is after links; never opens it.
PathInfo inspect(const NativePath &path);
/// The path with every link resolved, absolute; empty when it cannot be resolved.
NativePath resolved(const NativePath &path);

/// The entries of a folder (not "." and ".."), in byte order of their
/// names; false with the reason when the folder cannot be listed.
bool listFolder(const NativePath &folder, std::vector<NativePath> &names, QString &reason);

struct FileBytes
{
    bool ok = false;
    QByteArray bytes;
    Identity id;
    QString reason; ///< why nothing was read
};

/// Reads a regular file whole (after links), opened as openRegularFile
/// opens, so that a FIFO or a device in its place is refused instead of
/// hanging or filling memory; a file over `limit` bytes is refused too.
/// When `found` is known (the file was inspected before), only that very
/// file is read: anything put in its place since is refused unopened or,
/// on POSIX, once opened and looked at.
FileBytes readRegularFile(const NativePath &path, qint64 limit, const Identity &found = Identity());

/// What stands at an output's path, links not followed.
enum class OutputPlace { Missing, Regular, Link, Folder, CharacterDevice, Fifo, Other };
OutputPlace outputPlace(const QString &path);

/// An output written whole into a new file in its folder and renamed over
/// its path, so that a reader of the old one never sees half of the new,
/// a run cut short leaves the old one, and nothing standing at the path (a
/// link planted there, a hard link to another file) is ever written
/// through: the rename replaces the name, never what it led to. A FIFO is
/// never opened. Only an output the caller names as "-" (standard output)
/// or as a character device (/dev/null, a terminal) is written straight into.
class ReplacingFile
{
public:
    ReplacingFile();
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile &) = delete;
    ReplacingFile &operator=(const ReplacingFile &) = delete;

    /// Opens the output of `path`: a new hidden file beside it, or the
    /// device or standard output straight when `intoDevice` allows it;
    /// false with the reason.
    bool open(const QString &path, bool intoDevice, QString &reason);
    /// Where the output is written; each write passes the fault seam, and
    /// the first failure sticks (finish reports it).
    QIODevice *device() const;
    /// Puts what was written on the disk and closes it; the old output is
    /// still in place. False with the reason.
    bool finish(QString &reason);
    /// Renames the finished file over the path (a device: nothing to do);
    /// false with the reason.
    bool replace(QString &reason);
    /// Removes the new file unless it has replaced the old one.
    void discard();
    const QString &path() const { return m_path; }

private:
    class Device;
    QString m_path, m_temporary;
    std::unique_ptr<PathFile> m_file;
    std::unique_ptr<Device> m_device;
    bool m_straight = false;
};

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
