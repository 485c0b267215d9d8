#include "report/classreader.h"

#include "records/cp1252.h"
#include "records/recordformat.h"

#include <QHash>

#include <algorithm>
#include <cstdlib>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <unordered_map>

using inputfiles::NativePath;

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

bool isDefaultFolder(const QString &name)
{
    return name.compare(recordformat::defaultFolderName, Qt::CaseInsensitive) == 0;
}

/// A student is named by the nearest folder that is not the program's
/// default one: a class downloaded as class/Name_id/crsfiles/ names "Name_id".
QString studentName(const NativePath &folder)
{
    NativePath at = folder.absolute().cleaned();
    for (int up = 0; up < 8; ++up) {
        const QString name = at.name();
        if (name.isEmpty())
            break;
        if (!isDefaultFolder(name))
            return name;
        at = at.parent();
    }
    return folder.absolute().cleaned().name();
}

/// The number of `count` digits at `from`, or -1.
int digits(const QString &s, qsizetype from, qsizetype count)
{
    int n = 0;
    for (qsizetype i = from; i < from + count; ++i) {
        const char16_t c = s.at(i).unicode();
        if (c < u'0' || c > u'9')
            return -1;
        n = n * 10 + (c - u'0');
    }
    return n;
}

int seconds(const QString &time)
{
    if (time.size() != 8)
        return -1;
    const int h = digits(time, 0, 2), m = digits(time, 3, 2), s = digits(time, 6, 2);
    return h < 0 || m < 0 || s < 0 ? -1 : h * 3600 + m * 60 + s;
}

/// The moment of a record as one number (yyyymmddhhmmss), for ordering.
qint64 sortStamp(const FileRecord &r)
{
    const QString &d = r.date;
    const qint64 day = d.size() == 10 ? qint64(std::max(0, digits(d, 6, 4))) * 10000 + std::max(0, digits(d, 0, 2)) * 100
                                            + std::max(0, digits(d, 3, 2))
                                      : 0;
    return day * 1000000 + std::max(0, seconds(r.time));
}

/// What one reading thread keeps between the files it parses: each bank
/// text decoded once, and hashed once (records share the one string of each
/// text, so its address finds its hash; the strings are held, so their
/// addresses stay theirs). On the thread's stack, never thread_local:
/// MinGW-w64 frees a thread_local's storage before running its destructor.
struct ThreadCaches
{
    BankTextCache bankTexts;
    QHash<const QChar *, std::pair<QString, size_t>> bankHashes;

    size_t bankHash(const QString &text)
    {
        const auto it = bankHashes.constFind(text.constData());
        if (it != bankHashes.cend() && it->first.size() == text.size())
            return it->second;
        if (bankHashes.size() > 8192)
            bankHashes.clear();
        const size_t h = qHash(text);
        bankHashes.insert(text.constData(), {text, h});
        return h;
    }
};

/// A file's records with the hashes the class needs, worked out beside the parsing.
struct ParsedFile
{
    RecordFileContents contents;
    std::vector<size_t> bankHashes, contentHashes;
};

ParsedFile parseFile(const StudentFile &file, ThreadCaches &caches)
{
    ParsedFile f;
    const inputfiles::FileBytes bytes = inputfiles::readRegularFile(file.path, largestRecordFile);
    if (!bytes.ok) {
        f.contents.warnings.push_back({file.path.shown(), 0, bytes.reason});
        return f;
    }
    f.contents = parseRecordBytes(bytes.bytes, file.path.shown(), &caches.bankTexts);
    for (FileRecord &r : f.contents.records) {
        r.text = withReferencesResolved(r.text);
        const size_t bank = caches.bankHash(r.bankText);
        f.bankHashes.push_back(bank);
        // The time is left out: each file's time line is read from the
        // clock on its own, so two copies may be a second or two apart.
        f.contentHashes.push_back(qHashMulti(0, int(r.kind), r.date, r.codeLine, bank, r.text, int(r.ratingKind), r.rating));
    }
    return f;
}

bool sameContent(const FileRecord &a, const FileRecord &b, bool sameBankText)
{
    return a.kind == b.kind && a.date == b.date && a.codeLine == b.codeLine && a.ratingKind == b.ratingKind
           && a.rating == b.rating && sameBankText && a.text == b.text;
}

/// Reads and parses files on the other cores a little ahead of the one
/// thread that puts the class together, in the order they are taken: a
/// window of files and of bytes, so that memory holds a few files, not the class.
class ReadAhead
{
public:
    explicit ReadAhead(std::vector<const StudentFile *> files) : m_files(std::move(files)), m_results(m_files.size())
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
        m_held -= m_files[index]->size;
        m_changed.notify_all();
        return contents;
    }

private:
    void work()
    {
        ThreadCaches caches;
        for (;;) {
            size_t index;
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_changed.wait(lock, [&] {
                    return m_stop || m_next >= m_files.size()
                           || (m_next < m_taken + window && (m_held == 0 || m_held + m_files[m_next]->size <= byteWindow));
                });
                if (m_stop || m_next >= m_files.size())
                    return;
                index = m_next++;
                m_held += m_files[index]->size;
            }
            ParsedFile contents = parseFile(*m_files[index], caches);
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_results[index] = std::move(contents);
            }
            m_changed.notify_all();
        }
    }

    static constexpr size_t window = 32;
    static constexpr qint64 byteWindow = qint64(32) << 20;
    std::vector<const StudentFile *> m_files;
    std::vector<std::optional<ParsedFile>> m_results;
    std::vector<std::thread> m_workers;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    size_t m_next = 0, m_taken = 0;
    qint64 m_held = 0;
    bool m_stop = false;
};

/// The copies of one record content met so far in a student's files: the
/// first copies in reading order, and for each other file how far its copies
/// have matched them. Files keep the program's order of writing, so each
/// file's copies move forward through the list: finding a copy costs no
/// more than a step, however many identical records there are. Nearly every
/// group has one first copy and one other file, which are kept inline.
struct CopyGroup
{
    int first = -1;        ///< index into ClassData::records
    std::vector<int> more; ///< further first copies of the same content
    int cursorFile = -1;
    size_t cursorAt = 0;
    std::vector<std::pair<int, size_t>> moreCursors; ///< file index, next first copy to match
    int sameHash = -1;     ///< another group whose content has the same hash

    size_t count() const { return first < 0 ? 0 : 1 + more.size(); }
    int at(size_t i) const { return i == 0 ? first : more[i - 1]; }
    void add(int record)
    {
        if (first < 0)
            first = record;
        else
            more.push_back(record);
    }
    /// How far `file`'s copies have matched.
    size_t &cursor(int file)
    {
        if (cursorFile < 0)
            cursorFile = file;
        if (cursorFile == file)
            return cursorAt;
        for (auto &c : moreCursors)
            if (c.first == file)
                return c.second;
        moreCursors.emplace_back(file, 0);
        return moreCursors.back().second;
    }
};

/// Finds students' folders and files under the paths given.
class Finder
{
public:
    explicit Finder(ClassData &data) : m_data(data) {}

    void path(const NativePath &given)
    {
        const NativePath path = given.cleaned();
        const inputfiles::PathInfo info = inputfiles::inspect(path);
        switch (info.kind) {
        case inputfiles::Kind::Regular:
            addFile(studentFor(path.parent()), path, info);
            break;
        case inputfiles::Kind::Folder:
            classOrStudent(path);
            break;
        default:
            warn(path, info.reason);
        }
    }

private:
    void warn(const NativePath &path, const QString &reason) { m_data.warnings.push_back({path.shown(), 0, reason}); }

    bool list(const NativePath &folder, std::vector<NativePath> &names)
    {
        QString reason;
        if (inputfiles::listFolder(folder, names, reason))
            return true;
        warn(folder, QStringLiteral("the folder cannot be read: %1").arg(reason));
        return false;
    }

    /// The record files of a folder, master file first.
    std::vector<NativePath> recordFilesIn(const NativePath &folder, const std::vector<NativePath> &names)
    {
        std::vector<NativePath> files;
        for (const NativePath &name : names)
            if (ClassReader::isRecordFileName(name.name()))
                files.push_back(folder / name);
        std::stable_sort(files.begin(), files.end(),
                         [](const NativePath &a, const NativePath &b) { return fileRank(a.name()) < fileRank(b.name()); });
        return files;
    }

    void classOrStudent(const NativePath &path)
    {
        std::vector<NativePath> names;
        if (!list(path, names))
            return;
        const std::vector<NativePath> own = recordFilesIn(path, names);
        if (!own.empty())
            addFiles(path, own);
        bool anyStudent = !own.empty(), anyFolder = false;
        for (const NativePath &name : names) {
            const NativePath sub = path / name;
            const inputfiles::PathInfo info = inputfiles::inspect(sub);
            if (info.kind == inputfiles::Kind::Unreadable) {
                warn(sub, info.reason);
                continue;
            }
            if (info.kind != inputfiles::Kind::Folder)
                continue;
            anyFolder = true;
            anyStudent = studentFolder(sub) || anyStudent;
        }
        if (!anyStudent && !anyFolder)
            warn(path, noRecordFiles());
    }

    /// A class's sub-folder: the student's files, or a folder of the
    /// program's default name holding them.
    bool studentFolder(const NativePath &folder)
    {
        std::vector<NativePath> names;
        if (!list(folder, names))
            return true;
        std::vector<NativePath> files = recordFilesIn(folder, names);
        if (!files.empty()) {
            addFiles(folder, files);
            return true;
        }
        bool found = false;
        for (const NativePath &name : names) {
            if (!isDefaultFolder(name.name()) || inputfiles::inspect(folder / name).kind != inputfiles::Kind::Folder)
                continue;
            std::vector<NativePath> inner;
            if (!list(folder / name, inner))
                return true;
            files = recordFilesIn(folder / name, inner);
            if (!files.empty()) {
                addFiles(folder / name, files);
                found = true;
            }
        }
        if (!found)
            warn(folder, noRecordFiles());
        return found;
    }

    void addFiles(const NativePath &folder, const std::vector<NativePath> &files)
    {
        const int student = studentFor(folder);
        for (const NativePath &file : files) {
            const inputfiles::PathInfo info = inputfiles::inspect(file);
            if (info.kind == inputfiles::Kind::Regular)
                addFile(student, file, info);
            else
                warn(file, info.reason.isEmpty() ? QStringLiteral("a folder, not a file") : info.reason);
        }
    }

    void addFile(int student, const NativePath &file, const inputfiles::PathInfo &info)
    {
        // The same file reached by two paths (a folder named twice, a link)
        // is read once.
        if (!m_files.insert(info.id).second)
            return;
        m_data.students[size_t(student)].files.push_back({file, info.id, info.size});
    }

    int studentFor(const NativePath &folder)
    {
        const inputfiles::PathInfo info = inputfiles::inspect(folder);
        const auto it = m_students.find(info.id);
        if (it != m_students.end())
            return it->second;
        Student s;
        s.folder = folder.absolute().cleaned().shown();
        s.name = studentName(folder);
        m_students.emplace(info.id, int(m_data.students.size()));
        m_data.students.push_back(s);
        return int(m_data.students.size() - 1);
    }

    ClassData &m_data;
    std::set<inputfiles::FileId> m_files;
    std::map<inputfiles::FileId, int> m_students;
};

} // namespace

QString withReferencesResolved(const QString &text)
{
    qsizetype at = text.indexOf(QLatin1String("&#"));
    if (at < 0)
        return text;
    QString out;
    qsizetype done = 0;
    for (; at >= 0; at = text.indexOf(QLatin1String("&#"), at + 1)) {
        const qsizetype end = text.indexOf(QLatin1Char(';'), at + 2);
        if (end < 0 || end - at > 9)
            continue;
        bool ok = false;
        const uint code = QStringView(text).mid(at + 2, end - at - 2).toUInt(&ok);
        // Only what the program writes: a character the code page cannot hold.
        if (!ok || code < 0x80 || code > 0x10FFFF || (code >= 0xD800 && code < 0xE000) || code == 0xFFFE || code == 0xFFFF
            || (code < 0x10000 && Cp1252::byteOf(QChar(char16_t(code))) >= 0) || !text.at(at + 2).isDigit())
            continue;
        out += QStringView(text).mid(done, at - done);
        const char32_t c = code;
        out += QString::fromUcs4(&c, 1);
        done = end + 1;
        at = end;
    }
    out += QStringView(text).mid(done);
    return out;
}

bool ClassReader::isRecordFileName(const QString &name)
{
    // Case apart: the files pass through systems that change it (zip, mail).
    using namespace recordformat;
    return name.compare(masterFileName, Qt::CaseInsensitive) == 0
           || name.compare(notesFileName, Qt::CaseInsensitive) == 0
           || (name.startsWith(sendFilePrefix, Qt::CaseInsensitive) && name.endsWith(sendFileSuffix, Qt::CaseInsensitive));
}

ClassData ClassReader::find(const std::vector<NativePath> &paths) const
{
    ClassData data;
    Finder finder(data);
    for (const NativePath &path : paths)
        finder.path(path);
    // Two students' folders of the same name (in two classes) stay apart.
    QHash<QString, int> names;
    for (Student &s : data.students)
        if (int n = names[s.name]++; n > 0)
            s.name += QStringLiteral(" (%1)").arg(n + 1);
    return data;
}

ClassData ClassReader::read(const QStringList &paths) const
{
    std::vector<NativePath> native;
    for (const QString &path : paths)
        native.push_back(NativePath::fromText(path));
    ClassData data = find(native);
    read(data);
    return data;
}

void ClassReader::read(ClassData &data) const
{
    int total = 0;
    std::vector<const StudentFile *> allFiles;
    for (const Student &s : data.students)
        for (const StudentFile &f : s.files)
            allFiles.push_back(&f);
    total = int(allFiles.size());
    int done = 0;
    // A class answers the same few hundred bank texts again and again: each
    // is kept once, and looked up in the course once per assignment.
    QMultiHash<size_t, int> textIds; // by the text's hash
    std::vector<QString> texts;
    QHash<QPair<int, QString>, const CoursePlace *> places;
    ReadAhead files(std::move(allFiles));
    for (size_t si = 0; si < data.students.size(); ++si) {
        Student &student = data.students[si];
        std::vector<CopyGroup> groups;
        std::unordered_map<size_t, int> groupOf; // content hash -> the latest group with it
        std::vector<std::pair<qint64, int>> order;
        for (const StudentFile &file : student.files) {
            const int fileIndex = int(&file - student.files.data());
            ParsedFile parsed = files.take(size_t(done));
            RecordFileContents &contents = parsed.contents;
            for (ReadWarning &w : contents.warnings)
                data.warnings.push_back(std::move(w));
            data.bytesRead += contents.bytes;
            const QString fileName = file.path.name();
            for (size_t k = 0; k < contents.records.size(); ++k) {
                FileRecord &r = contents.records[k];
                ClassRecord c;
                c.student = int(si);
                c.file = fileName;
                if (r.kind != FileRecord::Header) {
                    const size_t bankHash = parsed.bankHashes[k];
                    int textId = -1;
                    for (auto t = textIds.constFind(bankHash); t != textIds.cend() && t.key() == bankHash; ++t)
                        if (texts[size_t(*t)].constData() == r.bankText.constData() || texts[size_t(*t)] == r.bankText) {
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
                // Bank texts are kept once, so the same text is the same string.
                const auto found = groupOf.find(parsed.contentHashes[k]);
                int g = found == groupOf.end() ? -1 : found->second;
                while (g >= 0) {
                    const FileRecord &first = data.records[size_t(groups[size_t(g)].first)].record;
                    if (sameContent(first, r, first.bankText.constData() == r.bankText.constData()))
                        break;
                    g = groups[size_t(g)].sameHash;
                }
                if (g < 0) {
                    groups.emplace_back();
                    g = int(groups.size() - 1);
                    if (found != groupOf.end()) {
                        groups.back().sameHash = found->second;
                        found->second = g;
                    } else {
                        groupOf.emplace(parsed.contentHashes[k], g);
                    }
                }
                CopyGroup &group = groups[size_t(g)];
                // The next first copy not yet matched by this file, if its
                // time is the same to within 2 s.
                if (group.count() > 0) {
                    size_t &next = group.cursor(fileIndex);
                    const int time = seconds(r.time);
                    while (next < group.count()) {
                        const ClassRecord &first = data.records[size_t(group.at(next))];
                        // Records of one file share its name's string.
                        const bool otherFile = first.file.constData() != fileName.constData() && first.file != fileName;
                        if (otherFile && seconds(first.record.time) >= time - 2)
                            break;
                        ++next;
                    }
                    if (next < group.count() && std::abs(seconds(data.records[size_t(group.at(next))].record.time) - time) <= 2) {
                        c.repeats = data.records[size_t(group.at(next))].file;
                        ++next;
                        if (m_keepCopies) {
                            c.record = std::move(r);
                            data.records.push_back(std::move(c));
                        }
                        continue;
                    }
                }
                c.record = std::move(r);
                group.add(int(data.records.size()));
                order.emplace_back(sortStamp(c.record), int(data.records.size()));
                data.records.push_back(std::move(c));
            }
            ++data.filesRead;
            ++done;
            if (m_progress)
                m_progress(done, total, data.bytesRead);
        }
        // Oldest first; records of one moment keep their order in the files.
        std::stable_sort(order.begin(), order.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
        student.records.reserve(order.size());
        for (const auto &o : order)
            student.records.push_back(o.second);
    }
}
