// Feeds arbitrary bytes to the record reader, as a student's handed-in file
// may hold anything. Besides what the sanitizers catch: every line number
// a record or warning names lies in the file, every text the reader gives
// back has its lines joined by CR LF alone, every date it gives is on the
// calendar, a file re-saved with LF line endings reads as the same records,
// and a file read within caps gives the first records of the whole, and no
// more warnings than the cap and the two that count the rest.

#include "records/recordreader.h"

#include "records/recordformat.h"

#include <QByteArray>
#include <QDate>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void failure(const char *what)
{
    std::fprintf(stderr, "fuzz_recordreader: %s\n", what);
    std::abort();
}

/// True when every CR and LF of `text` stands in a CR LF pair.
bool onlyCrLf(const QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == QLatin1Char('\r') && (i + 1 == text.size() || text.at(i + 1) != QLatin1Char('\n')))
            return false;
        if (text.at(i) == QLatin1Char('\n') && (i == 0 || text.at(i - 1) != QLatin1Char('\r')))
            return false;
    }
    return true;
}

bool sameRecord(const FileRecord &x, const FileRecord &y)
{
    return x.kind == y.kind && x.line == y.line && x.date == y.date && x.time == y.time && x.bankText == y.bankText
           && x.text == y.text && x.ratingKind == y.ratingKind && x.rating == y.rating && x.complete == y.complete;
}

bool sameRecords(const RecordFileContents &a, const RecordFileContents &b)
{
    if (a.records.size() != b.records.size() || a.warnings.size() != b.warnings.size())
        return false;
    for (size_t i = 0; i < a.records.size(); ++i)
        if (!sameRecord(a.records[i], b.records[i]))
            return false;
    for (size_t i = 0; i < a.warnings.size(); ++i)
        if (a.warnings[i].line != b.warnings[i].line || a.warnings[i].message != b.warnings[i].message)
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const RecordFileContents read = parseRecordBytes(bytes, QStringLiteral("send_0306.txt"));

    const int lines = int(bytes.count('\r') + bytes.count('\n')) + 1;
    int previous = 0;
    for (const FileRecord &r : read.records) {
        if (r.line < previous || r.line < 1 || r.line > lines)
            failure("a record's line is outside the file or out of order");
        previous = r.line;
        if (!onlyCrLf(r.text) || !onlyCrLf(r.bankText) || !onlyCrLf(r.heading))
            failure("a text holds a line ending other than CR LF");
    }
    for (const ReadWarning &w : read.warnings)
        if (w.line < 0 || w.line > lines)
            failure("a warning's line is outside the file");
    for (const FileRecord &r : read.records)
        if (!r.date.isEmpty() && !QDate::fromString(r.date, recordformat::dateFormat).isValid())
            failure("a record's date is on no calendar");

    // Within caps: the same first records, the warnings bounded.
    ReadLimits limits;
    limits.records = 2;
    limits.warnings = 3;
    const RecordFileContents capped = parseRecordBytes(bytes, QStringLiteral("send_0306.txt"), nullptr, limits);
    if (capped.records.size() != std::min<size_t>(read.records.size(), 2) || capped.warnings.size() > 3 + 2)
        failure("a capped read kept more than its caps");
    for (size_t i = 0; i < capped.records.size(); ++i)
        if (!sameRecord(capped.records[i], read.records[i]))
            failure("a capped read gave other records than the whole");

    // The same file with LF endings (where every ending was CR LF).
    QByteArray lf = bytes;
    lf.replace("\r\n", "\n");
    if (!lf.contains('\r') && lf != bytes && !sameRecords(read, parseRecordBytes(lf, QStringLiteral("send_0306.txt"))))
        failure("LF line endings read differently from CR LF");
    return 0;
}
