#pragma once

#include "platform/oscalls.h"

#include <QFile>
#include <QString>
#include <QStringList>

#include <map>
#include <memory>
#include <vector>

class RecordJournal;

/// What the commands of one run know of the output files: the identity and
/// the length each file had when this window last left it, and the journal
/// its records are noted in while they are written (none when the folder's
/// lock, beside which it lives, could not be made).
struct RecordLedger
{
    struct Left
    {
        oscalls::Identity identity;
        qint64 length = 0;
    };
    std::map<QString, Left> left; // by path
    std::unique_ptr<RecordJournal> journal;
    /// Kept typings the journals named as recorded when the window started.
    QList<QByteArray> recorded;

    RecordLedger();
    ~RecordLedger();
};

/// The output files one command writes, opened for appending in the order
/// given and closed (synced to disk) together. Every line goes to the disk
/// as it is written, so what a command wrote before it waits for the student
/// is already in the files. A file is written only while it is exactly as
/// this window left it (the same file, the same length): one that changed
/// under the window is never written to or cut. The first failure stops all
/// further writing and takes back everything this command appended, so a
/// file holds the whole record or none of it; failed() and error() say which
/// file and why, for the one message the command shows.
class RecordFiles
{
public:
    /// Opens `paths`; with a ledger, checks each file against what this
    /// window left and notes the lengths in its journal before the first byte.
    explicit RecordFiles(const QStringList &paths, RecordLedger *ledger = nullptr);
    ~RecordFiles();
    RecordFiles(const RecordFiles &) = delete;
    RecordFiles &operator=(const RecordFiles &) = delete;

    /// `text` and CR LF to every file, in order.
    void line(const QString &text);
    /// `text` and CR LF to the file at `index` only.
    void lineTo(int index, const QString &text);
    /// `text` without a line ending to the file at `index` only.
    void textTo(int index, const QString &text);
    /// True when the file at `index` was missing or empty when opened: it
    /// has no header record yet.
    bool startedEmpty(int index) const;
    /// Syncs and closes every file; false (everything appended taken back)
    /// when anything failed.
    bool close();
    /// Names the kept typing this record holds, for the journal's clear.
    void setRecorded(const QByteArray &kept) { m_recorded = kept; }
    /// Takes back what this command appended and closes every file: the
    /// record is not to be finished.
    void abandon();

    bool failed() const { return !m_error.isEmpty(); }
    /// The path of the file that failed and the system's reason.
    QString error() const { return m_error; }

private:
    struct Target
    {
        QString path;
        oscalls::PathFile file;
        oscalls::Identity identity;
        qint64 start = -1; // the file's length before this command; -1 when not opened
        qint64 written = 0;
        bool changed = false; // changed under this window: never written to or cut
        bool moved = false;   // no longer at its path (the folder renamed or removed)
    };

    void write(int index, const QByteArray &bytes);
    void fail(const QString &path, const QString &reason);
    /// Empty when the file is as this command left it; otherwise what changed.
    QString changeOf(Target &target);
    /// The same, without asking whether the file is still at its path.
    QString contentChangeOf(Target &target);
    bool noteInJournal();
    void takeBack();

    std::vector<std::unique_ptr<Target>> m_files;
    RecordLedger *m_ledger;
    bool m_noted = false;
    bool m_closed = false;
    QByteArray m_recorded;
    QString m_error;
};

/// Reads a whole file as characters; false (with the path and reason in
/// `error`) when it cannot, or when it is not a regular file.
bool readWholeFile(const QString &path, QString &text, QString &error);

/// Splits file text into lines: a line ends at CR or at CR LF, the ending
/// not being part of it; text after the last ending is a line of its own.
QStringList splitFileLines(const QString &text);

