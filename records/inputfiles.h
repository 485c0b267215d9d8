#pragma once

// Reading files that people hand in: paths kept as the system holds them,
// folders listed without losing a name to its encoding, files opened without
// waiting and read only when they are regular files after links. One POSIX
// and one Windows branch each (records/inputfiles.cpp). Qt Core only.

#include <QByteArray>
#include <QString>

#include <vector>

namespace inputfiles {

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
    bool isEmpty() const { return m_native.isEmpty(); }
    bool operator==(const NativePath &other) const { return m_native == other.m_native; }

private:
#ifdef Q_OS_WIN
    QString m_native;
#else
    QByteArray m_native;
#endif
};

/// What a path is, after links.
enum class Kind { Missing, Regular, Folder, Other, Unreadable };

/// Which file a path reaches: two paths with the same id are one file.
struct FileId
{
    quint64 device = 0;
    quint64 inode = 0;
    bool operator==(const FileId &o) const { return device == o.device && inode == o.inode; }
    bool operator<(const FileId &o) const { return device != o.device ? device < o.device : inode < o.inode; }
};

struct PathInfo
{
    Kind kind = Kind::Missing;
    FileId id;
    qint64 size = 0;
    QString reason; ///< why it is Missing, Other or Unreadable, in words
};

/// What `path` is after links; never opens it.
PathInfo inspect(const NativePath &path);

/// The entries of a folder (not "." and ".."), in byte order of their
/// names; false with the reason when the folder cannot be listed.
bool listFolder(const NativePath &folder, std::vector<NativePath> &names, QString &reason);

struct FileBytes
{
    bool ok = false;
    QByteArray bytes;
    FileId id;
    QString reason; ///< why nothing was read
};

/// Reads a regular file whole (after links), opened without waiting, so
/// that a FIFO or a device in its place is refused instead of hanging or
/// filling memory; a file over `limit` bytes is refused too.
FileBytes readRegularFile(const NativePath &path, qint64 limit);

} // namespace inputfiles
