#include "report/classreader.h"

#include "records/cp1252.h"
#include "records/recordformat.h"

#include <QHash>

#include <algorithm>
#include <array>
#include <cstring>
#include <cstdlib>
#include <condition_variable>
#include <functional>
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

/// A hash for matching copies, eight bytes at a time: each record's text
/// passes here once, so it must cost little more than reading it.
class ContentHash
{
public:
    void add(quint64 v)
    {
        m_h = (m_h ^ v) * 0x9E3779B97F4A7C15ULL;
        m_h ^= m_h >> 29;
    }
    void add(QStringView text)
    {
        const char *p = reinterpret_cast<const char *>(text.utf16());
        const size_t n = size_t(text.size()) * sizeof(char16_t);
        add(n);
        // Four words a step on four lanes, so that each multiplication
        // does not wait for the one before.
        size_t i = 0;
        if (n >= 32) {
            quint64 lane[4] = {m_h, m_h ^ 0x452821E638D01377ULL, m_h ^ 0xBE5466CF34E90C6CULL, m_h ^ 0xC0AC29B7C97C50DDULL};
            for (; i + 32 <= n; i += 32)
                for (int k = 0; k < 4; ++k) {
                    quint64 w;
                    std::memcpy(&w, p + i + 8 * size_t(k), 8);
                    lane[k] = (lane[k] ^ w) * 0x9E3779B97F4A7C15ULL;
                    lane[k] ^= lane[k] >> 29;
                }
            for (const quint64 l : lane)
                add(l);
        }
        for (; i + 8 <= n; i += 8) {
            quint64 w;
            std::memcpy(&w, p + i, 8);
            add(w);
        }
        if (i < n) {
            quint64 w = 0;
            std::memcpy(&w, p + i, n - i);
            add(w);
        }
    }
    size_t value() const { return size_t(m_h); }

private:
    quint64 m_h = 0x243F6A8885A308D3ULL;
};

bool sameContent(const FileRecord &a, const FileRecord &b, bool sameBankText)
{
    return a.kind == b.kind && a.date == b.date && a.codeLine == b.codeLine && a.ratingKind == b.ratingKind
           && a.rating == b.rating && sameBankText && a.text == b.text;
}

/// A class answers the same few hundred bank texts again and again: each
/// is kept once, and looked up in the course once per assignment. One
/// worker's; the parser hands a thread the same string for the same bytes,
/// so nearly every text is found by its address.
class BankTexts
{
public:
    explicit BankTexts(const CourseIndex &course) : m_course(course) {}

    /// Makes `text` the one string kept for its content; its number.
    int keep(QString &text)
    {
        // A few recent addresses first, then every address seen, then the content.
        Recent &recent = m_recent[(quintptr(text.constData()) >> 4) % m_recent.size()];
        if (recent.id >= 0 && recent.text.constData() == text.constData() && recent.text.size() == text.size()) {
            text = m_texts[size_t(recent.id)].text;
            return recent.id;
        }
        int id = -1;
        const auto seen = m_byAddress.constFind(text.constData());
        if (seen != m_byAddress.cend() && seen->first.size() == text.size()) {
            id = seen->second;
        } else {
            ContentHash h;
            h.add(text);
            const auto range = m_byContent.equal_range(h.value());
            for (auto t = range.first; t != range.second; ++t)
                if (m_texts[size_t(t->second)].text == text) {
                    id = t->second;
                    break;
                }
            if (id < 0) {
                id = int(m_texts.size());
                m_texts.push_back({text, {}});
                m_byContent.emplace(h.value(), id);
            }
            // The entry holds the string, so its address stays this text's.
            if (m_byAddress.size() > 8192)
                m_byAddress.clear();
            m_byAddress.insert(text.constData(), {text, id});
        }
        recent = {text, id};
        text = m_texts[size_t(id)].text;
        return id;
    }

    const CoursePlace *place(int text, const QString &assignment)
    {
        // Nearly always one assignment a text, and its string shared by the run's records.
        std::vector<std::pair<QString, const CoursePlace *>> &places = m_texts[size_t(text)].places;
        for (const auto &p : places)
            if (p.first.constData() == assignment.constData() || p.first == assignment)
                return p.second;
        if (places.size() < 8) {
            places.emplace_back(assignment, m_course.find(m_texts[size_t(text)].text, assignment));
            return places.back().second;
        }
        // A text met under many assignments (files made by hand) is looked up by both.
        const std::pair<int, QString> key(text, assignment);
        auto p = m_morePlaces.constFind(key);
        if (p == m_morePlaces.cend())
            p = m_morePlaces.insert(key, m_course.find(m_texts[size_t(text)].text, assignment));
        return *p;
    }

private:
    struct Text
    {
        QString text;
        std::vector<std::pair<QString, const CoursePlace *>> places; ///< by assignment
    };
    struct Recent
    {
        QString text;
        int id = -1;
    };
    const CourseIndex &m_course;
    std::vector<Text> m_texts;
    std::unordered_multimap<size_t, int> m_byContent;
    QHash<const QChar *, std::pair<QString, int>> m_byAddress;
    std::array<Recent, 64> m_recent;
    QHash<std::pair<int, QString>, const CoursePlace *> m_morePlaces;
};

/// What one student's files hold, put together on a worker thread.
struct StudentRecords
{
    std::vector<ClassRecord> records; ///< in reading order: first copies, and other copies when kept
    std::vector<int> order;           ///< first copies, oldest first (indices into records)
    std::vector<ReadWarning> warnings;
    std::vector<qint64> fileBytes;    ///< bytes read of each file
};

/// The copies of one record content met so far in a student's files: the
/// first copies in reading order, and for each other file how far its copies
/// have matched them. Files keep the program's order of writing, so each
/// file's copies move forward through the list: finding a copy costs no
/// more than a step, however many identical records there are. Nearly every
/// group has one first copy and one other file, which are kept inline.
struct CopyGroup
{
    int first = -1;        ///< index into the student's records
    std::vector<int> more; ///< further first copies of the same content
    int cursorFile = -1;
    size_t cursorAt = 0;
    std::vector<std::pair<int, size_t>> moreCursors; ///< file index, next first copy to match
    int sameHash = -1;     ///< another group whose content has the same hash
    size_t hash = 0;       ///< of its content

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

/// What a worker thread keeps from one student to the next, so that its
/// tables are not made anew for each.
struct Worker
{
    explicit Worker(const CourseIndex &course) : texts(course) {}

    BankTexts texts;
    ParseCaches parsing;
    std::vector<CopyGroup> groups;
    /// By content hash (open addressing): the latest group with it, or -1.
    std::vector<int> table;
    std::vector<std::pair<qint64, int>> order;

    void clear(qint64 bytes)
    {
        groups.clear();
        order.clear();
        // A record takes some hundreds of bytes: the table starts at twice
        // the groups a student's files can hold, and grows past that.
        size_t size = 64;
        while (size < size_t(bytes / 128) && size < (size_t(1) << 24))
            size *= 2;
        table.assign(size, -1);
    }
    /// The entry of `hash`: the one of the latest group with it, or the empty one it takes.
    int &entry(size_t hash)
    {
        const size_t mask = table.size() - 1;
        for (size_t i = (hash * 0x9E3779B97F4A7C15ULL) >> 40 & mask;; i = (i + 1) & mask) {
            const int g = table[i];
            if (g < 0 || groups[size_t(g)].hash == hash)
                return table[i];
        }
    }
    /// A new group for content of `hash`, after the others with it.
    int addGroup(size_t hash)
    {
        if ((groups.size() + 1) * 2 > table.size()) {
            std::vector<int> old(table.size() * 2, -1);
            old.swap(table);
            for (const int g : old)
                if (g >= 0)
                    entry(groups[size_t(g)].hash) = g;
        }
        int &at = entry(hash);
        groups.emplace_back();
        groups.back().hash = hash;
        groups.back().sameHash = at;
        at = int(groups.size() - 1);
        return at;
    }
};

/// Made in place: a record is some hundreds of bytes to move.
ClassRecord &addRecord(StudentRecords &out, FileRecord &&r, int student, const QString &file, const CoursePlace *place)
{
    ClassRecord &c = out.records.emplace_back();
    c.record = std::move(r);
    c.student = student;
    c.file = file;
    c.place = place;
    return c;
}

/// One student's files read and put together: the records, each kept
/// once, the copies matched, oldest first.
StudentRecords readStudent(const Student &student, int studentIndex, qint64 bytes, Worker &worker, bool keepCopies)
{
    StudentRecords out;
    out.records.reserve(size_t(std::min<qint64>(bytes / 1024, 1 << 16)));
    worker.clear(bytes);
    std::vector<CopyGroup> &groups = worker.groups;
    BankTexts &texts = worker.texts;
    for (const StudentFile &file : student.files) {
        const int fileIndex = int(&file - student.files.data());
        RecordFileContents contents;
        const inputfiles::FileBytes read = inputfiles::readRegularFile(file.path, largestRecordFile);
        const QString shown = file.path.shown();
        if (read.ok)
            contents = parseRecordBytes(read.bytes, shown, &worker.parsing);
        else
            contents.warnings.push_back({shown, 0, read.reason});
        for (ReadWarning &w : contents.warnings)
            out.warnings.push_back(std::move(w));
        out.fileBytes.push_back(contents.bytes);
        const QString fileName = file.path.name();
        for (FileRecord &r : contents.records) {
            r.text = withReferencesResolved(r.text);
            // Bank texts are kept once, so the same text is the same string.
            int bank = -1;
            const CoursePlace *place = nullptr;
            if (r.kind != FileRecord::Header) {
                bank = texts.keep(r.bankText);
                place = texts.place(bank, r.assignment);
            }
            // The time is left out: each file's time line is read from the
            // clock on its own, so two copies may be a second or two apart.
            ContentHash h;
            h.add(quint64(r.kind) | quint64(r.ratingKind) << 8 | quint64(unsigned(bank)) << 32);
            h.add(r.date);
            h.add(r.codeLine);
            h.add(r.text);
            h.add(r.rating);
            const size_t hash = h.value();
            int g = worker.entry(hash);
            while (g >= 0) {
                const FileRecord &first = out.records[size_t(groups[size_t(g)].first)].record;
                if (sameContent(first, r, first.bankText.constData() == r.bankText.constData()))
                    break;
                g = groups[size_t(g)].sameHash;
            }
            if (g < 0)
                g = worker.addGroup(hash);
            CopyGroup &group = groups[size_t(g)];
            // The next first copy not yet matched by this file, if its
            // time is the same to within 2 s.
            if (group.count() > 0) {
                size_t &next = group.cursor(fileIndex);
                const int time = seconds(r.time);
                while (next < group.count()) {
                    const ClassRecord &first = out.records[size_t(group.at(next))];
                    // Records of one file share its name's string.
                    const bool otherFile = first.file.constData() != fileName.constData() && first.file != fileName;
                    if (otherFile && seconds(first.record.time) >= time - 2)
                        break;
                    ++next;
                }
                if (next < group.count() && std::abs(seconds(out.records[size_t(group.at(next))].record.time) - time) <= 2) {
                    const QString repeats = out.records[size_t(group.at(next))].file;
                    ++next;
                    if (keepCopies)
                        addRecord(out, std::move(r), studentIndex, fileName, place).repeats = repeats;
                    continue;
                }
            }
            group.add(int(out.records.size()));
            worker.order.emplace_back(sortStamp(r), int(out.records.size()));
            addRecord(out, std::move(r), studentIndex, fileName, place);
        }
    }
    // Oldest first; records of one moment keep their order in the files.
    std::vector<std::pair<qint64, int>> &order = worker.order;
    std::stable_sort(order.begin(), order.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    out.order.reserve(order.size());
    for (const auto &o : order)
        out.order.push_back(o.second);
    return out;
}

/// Reads students on every core a little ahead of the thread that adds
/// them to the class, in the order they are taken: a window of students
/// and of bytes, so that memory holds a few students' files, not the class.
class ReadAhead
{
public:
    using Work = std::function<StudentRecords(size_t index, qint64 bytes, Worker &worker)>;

    ReadAhead(std::vector<qint64> sizes, const CourseIndex &course, Work work)
        : m_sizes(std::move(sizes)), m_results(m_sizes.size()), m_work(std::move(work))
    {
        const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
        for (unsigned i = 0; i < cores; ++i)
            m_workers.emplace_back([this, &course] { run(course); });
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
    /// Student `index`'s records; students are taken in order.
    StudentRecords take(size_t index)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [&] { return m_results[index].has_value(); });
        StudentRecords result = std::move(*m_results[index]);
        m_results[index].reset();
        m_taken = index + 1;
        m_held -= m_sizes[index];
        m_changed.notify_all();
        return result;
    }

private:
    void run(const CourseIndex &course)
    {
        Worker worker(course);
        for (;;) {
            size_t index;
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_changed.wait(lock, [&] {
                    return m_stop || m_next >= m_sizes.size()
                           || (m_next < m_taken + window && (m_held == 0 || m_held + m_sizes[m_next] <= byteWindow));
                });
                if (m_stop || m_next >= m_sizes.size())
                    return;
                index = m_next++;
                m_held += m_sizes[index];
            }
            StudentRecords result = m_work(index, m_sizes[index], worker);
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_results[index] = std::move(result);
            }
            m_changed.notify_all();
        }
    }

    static constexpr size_t window = 16;
    static constexpr qint64 byteWindow = qint64(32) << 20;
    std::vector<qint64> m_sizes;
    std::vector<std::optional<StudentRecords>> m_results;
    Work m_work;
    std::vector<std::thread> m_workers;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    size_t m_next = 0, m_taken = 0;
    qint64 m_held = 0;
    bool m_stop = false;
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
        // Each name is decoded once, not at every comparison of the sort.
        std::vector<std::pair<int, NativePath>> ranked;
        for (const NativePath &name : names) {
            const QString shown = name.name();
            if (ClassReader::isRecordFileName(shown))
                ranked.emplace_back(fileRank(shown), folder / name);
        }
        std::stable_sort(ranked.begin(), ranked.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
        std::vector<NativePath> files;
        files.reserve(ranked.size());
        for (auto &r : ranked)
            files.push_back(std::move(r.second));
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

namespace {

/// Where "&#" next stands from `from` on, or -1. Every text read passes
/// here: a search for one character runs many at once, one for two does not.
qsizetype referenceAt(QStringView text, qsizetype from)
{
    for (qsizetype at = text.indexOf(u'&', from); at >= 0; at = text.indexOf(u'&', at + 1))
        if (at + 1 < text.size() && text[at + 1] == u'#')
            return at;
    return -1;
}

} // namespace

QString withReferencesResolved(const QString &text)
{
    qsizetype at = referenceAt(text, 0);
    if (at < 0)
        return text;
    QString out;
    qsizetype done = 0;
    for (; at >= 0; at = referenceAt(text, at + 1)) {
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
    std::vector<qint64> sizes;
    for (const Student &s : data.students) {
        qint64 size = 0;
        for (const StudentFile &f : s.files)
            size += f.size;
        sizes.push_back(size);
        total += int(s.files.size());
    }
    int done = 0;
    // Each student is read and put together on a worker; this thread only
    // adds the students to the class in order.
    const bool keepCopies = m_keepCopies;
    const ClassData &students = data;
    ReadAhead ahead(std::move(sizes), m_course, [&students, keepCopies](size_t index, qint64 bytes, Worker &worker) {
        return readStudent(students.students[index], int(index), bytes, worker, keepCopies);
    });
    for (size_t si = 0; si < data.students.size(); ++si) {
        StudentRecords read = ahead.take(si);
        for (ReadWarning &w : read.warnings)
            data.warnings.push_back(std::move(w));
        const int base = int(data.records.size());
        for (ClassRecord &c : read.records)
            data.records.push_back(std::move(c));
        Student &student = data.students[si];
        student.records.reserve(read.order.size());
        for (int i : read.order)
            student.records.push_back(base + i);
        for (const qint64 bytes : read.fileBytes) {
            data.bytesRead += bytes;
            ++data.filesRead;
            ++done;
            if (m_progress)
                m_progress(done, total, data.bytesRead);
        }
    }
}
