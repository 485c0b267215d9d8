#pragma once

#include "records/readlimits.h"

#include <QByteArray>
#include <QString>

#include <limits>
#include <memory>
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
inline constexpr qint64 largestRecordFile = readlimits::largestFile;

/// What one file may give: records beyond `records` are counted, not kept,
/// and warnings beyond `warnings` counted, each in one warning of its own.
struct ReadLimits
{
    int records = std::numeric_limits<int>::max();
    int warnings = std::numeric_limits<int>::max();
};

/// Reads the records of one output file (a regular file after links,
/// opened without waiting, at most largestRecordFile bytes); what cannot be read becomes a
/// warning naming the file and line, and the rest is still read.
RecordFileContents readRecordFile(const QString &path);

/// What the parser keeps from one file to the next on one thread: short
/// fields and bank texts decoded once, since a class answers the same few
/// hundred texts again and again. One per parsing thread, held by the code
/// that runs the thread (not thread_local: MinGW-w64 runs a thread_local's
/// destructor after freeing its storage, and the program crashed at a
/// reading thread's end on Windows).
class ParseCaches
{
public:
    ParseCaches();
    ~ParseCaches();
    ParseCaches(const ParseCaches &) = delete;
    ParseCaches &operator=(const ParseCaches &) = delete;

    struct Data;
    Data &data() { return *m_data; }

private:
    std::unique_ptr<Data> m_data;
};

/// The same for bytes already in memory; `path` only names them in warnings.
/// Texts are decoded once through `caches` when given (one per thread).
RecordFileContents parseRecordBytes(const QByteArray &bytes, const QString &path, ParseCaches *caches = nullptr,
                                    const ReadLimits &limits = ReadLimits());
