#pragma once

#include "platform/oscalls.h"

#include <QFile>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

/// A file written line by line and closed (synced) at the end, for the
/// coding of a query file, which no command runs; the first failure stops
/// all further writing and takes back what was appended. (The records of a
/// run go through RecordFolder, with its lock and journal.)
class RecordFiles
{
public:
    /// Opens `paths` for appending, in the order given.
    explicit RecordFiles(const QStringList &paths);
    ~RecordFiles();
    RecordFiles(const RecordFiles &) = delete;
    RecordFiles &operator=(const RecordFiles &) = delete;

    /// `text` and CR LF to every file, in order.
    void line(const QString &text);
    /// Syncs and closes every file; false (everything appended taken back)
    /// when anything failed.
    bool close();
    bool failed() const { return !m_error.isEmpty(); }
    /// The path of the file that failed and the system's reason.
    QString error() const { return m_error; }

private:
    struct Target
    {
        oscalls::PathFile file;
        qint64 start = 0;
    };
    void fail(const QString &path, const QString &reason);

    std::vector<std::unique_ptr<Target>> m_files;
    bool m_closed = false;
    QString m_error;
};

/// Reads a whole file as characters; false (with the path and reason in
/// `error`) when it cannot, or when it is not a regular file.
bool readWholeFile(const QString &path, QString &text, QString &error);

/// Splits file text into lines: a line ends at CR or at CR LF, the ending
/// not being part of it; text after the last ending is a line of its own.
QStringList splitFileLines(const QString &text);

