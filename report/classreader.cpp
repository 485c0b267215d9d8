#include "report/classreader.h"

#include "records/recordformat.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

namespace {

/// Order of a student's files: the master file has every record with its
/// question key, so its copy is the one kept.
int fileRank(const QString &name)
{
    if (name.compare(recordformat::masterFileName, Qt::CaseInsensitive) == 0)
        return 0;
    if (name.startsWith(recordformat::sendFilePrefix, Qt::CaseInsensitive))
        return 1;
    return 2;
}

/// Said of a folder that holds no file of the program.
QString noRecordFiles()
{
    return QStringLiteral("a folder without %1, %2*%3 or %4")
        .arg(recordformat::masterFileName, recordformat::sendFilePrefix, recordformat::sendFileSuffix,
             recordformat::notesFileName);
}

QStringList recordFilesIn(const QDir &dir)
{
    QStringList files;
    for (const QFileInfo &info : dir.entryInfoList(QDir::Files, QDir::Name))
        if (ClassReader::isRecordFileName(info.fileName()))
            files.append(info.filePath());
    std::stable_sort(files.begin(), files.end(), [](const QString &a, const QString &b) {
        return fileRank(QFileInfo(a).fileName()) < fileRank(QFileInfo(b).fileName());
    });
    return files;
}

int seconds(const QString &time)
{
    return time.size() == 8 ? time.mid(0, 2).toInt() * 3600 + time.mid(3, 2).toInt() * 60 + time.mid(6, 2).toInt() : -1;
}

/// The moment of a record as one number (yyyymmddhhmmss), for ordering.
qint64 sortStamp(const FileRecord &r)
{
    const QString &d = r.date;
    const qint64 day = d.size() == 10 ? d.mid(6, 4).toLongLong() * 10000 + d.left(2).toLongLong() * 100 + d.mid(3, 2).toLongLong() : 0;
    return day * 1000000 + (seconds(r.time) < 0 ? 0 : seconds(r.time));
}

/// A file's records with the hashes the class needs, worked out beside the parsing.
struct ParsedFile
{
    RecordFileContents contents;
    std::vector<size_t> bankHashes, contentHashes;
};

ParsedFile parseFile(const QString &path)
{
    ParsedFile f;
    f.contents = readRecordFile(path);
    for (const FileRecord &r : f.contents.records) {
        const size_t bank = qHash(r.bankText);
        f.bankHashes.push_back(bank);
        f.contentHashes.push_back(qHashMulti(0, int(r.kind), r.date, r.codeLine, bank, r.text, int(r.ratingKind), r.rating));
    }
    return f;
}

bool sameContent(const FileRecord &a, const FileRecord &b, bool sameBankText)
{
    // Each file's time line is read from the clock on its own, so two
    // copies of one record may be a second apart.
    const int ta = seconds(a.time), tb = seconds(b.time);
    return a.kind == b.kind && a.date == b.date && std::abs(ta - tb) <= 2 && a.codeLine == b.codeLine
           && a.ratingKind == b.ratingKind && a.rating == b.rating && sameBankText && a.text == b.text;
}

/// Reads and parses files on the other cores a little ahead of the one
/// thread that puts the class together, in the order they are taken.
class ReadAhead
{
public:
    explicit ReadAhead(std::vector<QString> paths) : m_paths(std::move(paths)), m_results(m_paths.size())
    {
        const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
        for (unsigned i = 0; i < cores; ++i)
            m_workers.emplace_back([this] { work(); });
    }
    ~ReadAhead()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_changed.notify_all();
        for (std::thread &t : m_workers)
            t.join();
    }
    /// The contents of file `index`; files are taken in order.
    ParsedFile take(size_t index)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [&] { return m_results[index].has_value(); });
        ParsedFile contents = std::move(*m_results[index]);
        m_results[index].reset();
        m_taken = index + 1;
        m_changed.notify_all();
        return contents;
    }

private:
    void work()
    {
        for (;;) {
            size_t index;
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                // Only a window ahead, so that memory holds a few files, not the class.
                m_changed.wait(lock, [&] { return m_stop || m_next >= m_paths.size() || m_next < m_taken + window; });
                if (m_stop || m_next >= m_paths.size())
                    return;
                index = m_next++;
            }
            ParsedFile contents = parseFile(m_paths[index]);
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_results[index] = std::move(contents);
            }
            m_changed.notify_all();
        }
    }

    static constexpr size_t window = 32;
    std::vector<QString> m_paths;
    std::vector<std::optional<ParsedFile>> m_results;
    std::vector<std::thread> m_workers;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    size_t m_next = 0, m_taken = 0;
    bool m_stop = false;
};

} // namespace

bool ClassReader::isRecordFileName(const QString &name)
{
    // Case apart: the files pass through systems that change it (zip, mail).
    using namespace recordformat;
    return name.compare(masterFileName, Qt::CaseInsensitive) == 0
           || name.compare(notesFileName, Qt::CaseInsensitive) == 0
           || (name.startsWith(sendFilePrefix, Qt::CaseInsensitive) && name.endsWith(sendFileSuffix, Qt::CaseInsensitive));
}

ClassData ClassReader::read(const QStringList &paths) const
{
    ClassData data;
    QHash<QString, int> byFolder;
    auto studentFor = [&](const QString &folder) -> Student & {
        const QString key = QFileInfo(folder).absoluteFilePath();
        auto it = byFolder.constFind(key);
        if (it != byFolder.cend())
            return data.students[size_t(*it)];
        Student s;
        s.folder = key;
        s.name = QFileInfo(key).fileName();
        byFolder.insert(key, int(data.students.size()));
        data.students.push_back(s);
        return data.students.back();
    };

    for (const QString &path : paths) {
        const QFileInfo info(path);
        if (!info.exists()) {
            data.warnings.push_back({path, 0, QStringLiteral("no such file or folder")});
        } else if (info.isFile()) {
            studentFor(info.absolutePath()).files.append(info.filePath());
        } else {
            const QDir dir(path);
            const QStringList own = recordFilesIn(dir);
            if (!own.isEmpty())
                studentFor(path).files.append(own);
            bool anyStudent = !own.isEmpty();
            for (const QFileInfo &sub : dir.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
                const QStringList files = recordFilesIn(QDir(sub.filePath()));
                if (files.isEmpty()) {
                    data.warnings.push_back({sub.filePath(), 0, noRecordFiles()});
                    continue;
                }
                studentFor(sub.filePath()).files.append(files);
                anyStudent = true;
            }
            if (!anyStudent && dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot).isEmpty())
                data.warnings.push_back({path, 0, noRecordFiles()});
        }
    }

    // Two students' folders of the same name (in two classes) stay apart.
    QHash<QString, int> names;
    for (Student &s : data.students)
        if (int n = names[s.name]++; n > 0)
            s.name += QStringLiteral(" (%1)").arg(n + 1);

    int total = 0;
    for (const Student &s : data.students)
        total += int(s.files.size());
    int done = 0;
    // A class answers the same few hundred bank texts again and again: each
    // is kept once, and looked up in the course once per assignment.
    QMultiHash<size_t, int> textIds; // by the text's hash
    std::vector<QString> texts;
    QHash<QPair<int, QString>, const CoursePlace *> places;
    data.records.reserve(size_t(total) * 40);
    std::vector<QString> allFiles;
    for (const Student &s : data.students)
        allFiles.insert(allFiles.end(), s.files.begin(), s.files.end());
    ReadAhead files(std::move(allFiles));
    for (size_t si = 0; si < data.students.size(); ++si) {
        Student &student = data.students[si];
        QMultiHash<size_t, int> seen;
        std::vector<std::pair<qint64, int>> order;
        for (int fi = 0; fi < student.files.size(); ++fi) {
            const QString &path = student.files[fi];
            ParsedFile parsed = files.take(size_t(done));
            RecordFileContents &contents = parsed.contents;
            for (ReadWarning &w : contents.warnings)
                data.warnings.push_back(std::move(w));
            data.bytesRead += contents.bytes;
            const QString fileName = QFileInfo(path).fileName();
            for (size_t k = 0; k < contents.records.size(); ++k) {
                FileRecord &r = contents.records[k];
                ClassRecord c;
                c.student = int(si);
                c.file = fileName;
                int textId = -1;
                if (r.kind != FileRecord::Header) {
                    const size_t bankHash = parsed.bankHashes[k];
                    for (auto t = textIds.constFind(bankHash); t != textIds.cend() && t.key() == bankHash; ++t)
                        if (texts[size_t(*t)] == r.bankText) {
                            textId = *t;
                            break;
                        }
                    if (textId < 0) {
                        textId = int(texts.size());
                        textIds.insert(bankHash, textId);
                        texts.push_back(r.bankText);
                    }
                    r.bankText = texts[size_t(textId)];
                    const QPair<int, QString> key(textId, r.assignment);
                    auto p = places.constFind(key);
                    if (p == places.cend())
                        p = places.insert(key, m_course.find(r.bankText, r.assignment));
                    c.place = *p;
                }
                const size_t h = parsed.contentHashes[k];
                for (auto it = seen.constFind(h); it != seen.cend() && it.key() == h; ++it) {
                    const ClassRecord &first = data.records[size_t(*it)];
                    // Bank texts are kept once, so the same text is the same string.
                    if (first.file != fileName
                        && sameContent(first.record, r, first.record.bankText.constData() == r.bankText.constData())) {
                        c.repeats = first.file;
                        break;
                    }
                }
                c.record = std::move(r);
                if (c.repeats.isEmpty()) {
                    seen.insert(h, int(data.records.size()));
                    order.emplace_back(sortStamp(c.record), int(data.records.size()));
                }
                data.records.push_back(std::move(c));
            }
            ++data.filesRead;
            ++done;
            if (m_progress)
                m_progress(done, total, data.bytesRead);
        }
        // Oldest first; records of one moment keep their order in the files.
        std::stable_sort(order.begin(), order.end(),
                         [](const auto &a, const auto &b) { return a.first < b.first; });
        student.records.reserve(order.size());
        for (const auto &o : order)
            student.records.push_back(o.second);
    }
    return data;
}
