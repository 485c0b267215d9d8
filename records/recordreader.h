#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <vector>

/// One record read back from an output file (masterFile.txt, send_MMDD.txt,
/// notes_.txt): a run's header, a response or a note.
struct FileRecord
{
    enum Kind { Header, Response, Note };
    enum Rating { NoRating, Confidence, SelfCritique };

    Kind kind = Response;
    int line = 0;          ///< line of the file where the record starts (from 1)
    QString date;          ///< mm-dd-yyyy: the header's or note's own, a response's from its run's header
    QString time;          ///< hh:mm:ss; empty for a header
    QString assignment;    ///< three digits as in "assignment #003", or from the question key
    QString heading;       ///< header: the assignment's heading entry
    QString codeLine;      ///< header: the random code line
    QString questionKey;   ///< master file's response: the number after "`questionNumber"
    QString bankText;      ///< the bank entry the record answers (lines joined with CR LF)
    QString text;          ///< response text, or the note without "NOTES -------> "
    Rating ratingKind = NoRating;
    QString rating;        ///< as typed
    bool complete = true;  ///< false for a record cut short (a crash, a full disk)
};

/// Something in a file that could not be read as a record.
struct ReadWarning
{
    QString file;
    int line = 0; ///< 0 when it concerns the whole file or folder
    QString message;
};

/// What one file held.
struct RecordFileContents
{
    std::vector<FileRecord> records;
    std::vector<ReadWarning> warnings;
    qint64 bytes = 0;
};

/// Far more than a student writes in years (a semester's master file is
/// under a megabyte): a larger file is refused unread, so memory stays bounded.
inline constexpr qint64 largestRecordFile = qint64(64) << 20;

/// Reads the records of one output file (a regular file after links,
/// opened without waiting, at most largestRecordFile bytes); what cannot be read becomes a
/// warning naming the file and line, and the rest is still read.
RecordFileContents readRecordFile(const QString &path);

/// Bank texts decoded once and shared by the records of every file parsed
/// with it: a class answers the same few hundred texts again and again. One
/// per parsing thread, held on its stack (not locked; and not thread_local,
/// whose destructors MinGW-w64 runs after freeing their storage).
class BankTextCache
{
public:
    /// The text decoded from `bytes` before, or null.
    const QString *find(const QByteArray &bytes) const;
    /// Keeps `text`, decoded from `bytes`; forgets everything first when full.
    void keep(const QByteArray &bytes, const QString &text);

private:
    QHash<QByteArray, QString> m_texts;
    qsizetype m_bytes = 0;
};

/// The same for bytes already in memory; `path` only names them in warnings.
/// Bank texts are shared through `cache` when one is given.
RecordFileContents parseRecordBytes(const QByteArray &bytes, const QString &path, BankTextCache *cache = nullptr);
