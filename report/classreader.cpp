#include "report/classreader.h"

#include "records/calibration.h"
#include "records/cp1252.h"
#include "records/recordformat.h"

#include <QHash>
#include <QSet>

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

using oscalls::NativePath;

namespace {

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
    // A header is its run's: two runs of one day may share a code line.
    return a.kind == b.kind && a.date == b.date && a.codeLine == b.codeLine && a.ratingKind == b.ratingKind
           && a.rating == b.rating && sameBankText && a.text == b.text
           && (a.kind != FileRecord::Header || (a.assignment == b.assignment && a.heading == b.heading));
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
    std::vector<std::pair<int, int>> copies; ///< a kept copy and its first copy (indices into records)
};

/// The records of one content met so far in a student's files, by the
/// second of their time: a copy in another file is the same content within
/// 2 s, so at most five places are looked at for each record.
struct CopyGroup
{
    int first = -1;    ///< index into the student's records: the content's first record
    int sameHash = -1; ///< another group whose content has the same hash
    size_t hash = 0;   ///< of its content
};

/// The first copies of one content at one second, in reading order. Each
/// file's copies move forward through them (a cursor per file), since files
/// keep the program's order of writing: finding a copy costs a step or two,
/// however many identical records or files there are.
struct TimeSlot
{
    int first = -1;
    std::vector<int> more;
    size_t count() const { return first < 0 ? 0 : 1 + more.size(); }
    int at(size_t i) const { return i == 0 ? first : more[i - 1]; }
    void add(int record)
    {
        if (first < 0)
            first = record;
        else
            more.push_back(record);
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
    std::vector<TimeSlot> timeSlots;
    std::unordered_map<quint64, int> slotOf;      ///< group and second -> slot
    std::unordered_map<quint64, quint32> cursors; ///< slot and file -> its next first copy
    std::vector<int> fileOf;                      ///< the file of each of the student's records
    std::vector<std::pair<qint64, int>> order;

    void clear(qint64 bytes)
    {
        groups.clear();
        order.clear();
        timeSlots.clear();
        slotOf.clear();
        cursors.clear();
        fileOf.clear();
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
    static quint64 slotKey(int group, int second) { return quint64(unsigned(group)) << 20 | quint64(second + 1); }
    /// The first copy in another file that a record of `file` in `group`
    /// at `second` is a copy of (taken: the file's cursor moves past it),
    /// or -1; the nearest second first.
    int takeCopy(int group, int second, int file)
    {
        static constexpr int nearest[] = {0, -1, 1, -2, 2};
        for (const int d : nearest) {
            if (second < 0 ? d != 0 : second + d < 0)
                continue;
            const auto s = slotOf.find(slotKey(group, second + d));
            if (s == slotOf.end())
                continue;
            const TimeSlot &slot = timeSlots[size_t(s->second)];
            quint32 &next = cursors[quint64(unsigned(s->second)) << 32 | quint64(unsigned(file))];
            // A file holds no copy of its own records: they are passed.
            while (next < slot.count() && fileOf[size_t(slot.at(next))] == file)
                ++next;
            if (next < slot.count())
                return slot.at(next++);
        }
        return -1;
    }
    /// Makes `record` a first copy of `group` at `second`.
    void addFirst(int group, int second, int record)
    {
        const auto s = slotOf.emplace(slotKey(group, second), int(timeSlots.size()));
        if (s.second)
            timeSlots.emplace_back();
        timeSlots[size_t(s.first->second)].add(record);
    }
};

/// Made in place: a record is some hundreds of bytes to move.
ClassRecord &addRecord(StudentRecords &out, FileRecord &&r, int student, const StudentFile &file, const QString &name,
                       const CoursePlace *place)
{
    ClassRecord &c = out.records.emplace_back();
    c.record = std::move(r);
    c.student = student;
    c.file = name;
    c.place = place;
    c.sharedWith = file.sharedWith;
    return c;
}

/// What one student may keep (records/readlimits.h): records, texts the
/// course lacks, assignments it lacks; what is past a cap is counted.
class StudentCaps
{
public:
    explicit StudentCaps(const CourseIndex &course) : m_course(course) {}

    /// True when a record of this place, assignment and bank text may be kept.
    bool admit(const FileRecord &r, const CoursePlace *place)
    {
        if (m_kept >= readlimits::recordsPerStudent) {
            ++m_pastRecords;
            return false;
        }
        const QString &assignment = place ? place->assignment : r.assignment;
        if (!place && m_course.questionCount(assignment) == 0 && !m_madeUp.contains(assignment)) {
            if (m_madeUp.size() >= readlimits::madeUpAssignmentsPerStudent) {
                ++m_pastAssignments;
                return false;
            }
            m_madeUp.insert(assignment);
        }
        if (!place && r.kind != FileRecord::Header) {
            const QString key = assignment + QLatin1Char('|') + firstLine(r.bankText);
            if (!m_unknown.contains(key)) {
                if (m_unknown.size() >= readlimits::unknownTextsPerStudent) {
                    ++m_pastTexts;
                    return false;
                }
                m_unknown.insert(key);
            }
        }
        ++m_kept;
        return true;
    }
    /// One warning for each cap reached, with its count.
    void warn(const Student &student, std::vector<ReadWarning> &warnings) const
    {
        const auto say = [&](int count, const QString &what) {
            if (count > 0)
                warnings.push_back({student.folder, 0, QStringLiteral("%1 record(s) not kept: %2").arg(QString::number(count), what)});
        };
        say(m_pastRecords, QStringLiteral("more than %1 records, far more than a student writes").arg(readlimits::recordsPerStudent));
        say(m_pastTexts, QStringLiteral("answers to more than %1 different texts the course lacks").arg(readlimits::unknownTextsPerStudent));
        say(m_pastAssignments, QStringLiteral("in more than %1 assignments the course lacks").arg(readlimits::madeUpAssignmentsPerStudent));
    }

private:
    const CourseIndex &m_course;
    int m_kept = 0, m_pastRecords = 0, m_pastTexts = 0, m_pastAssignments = 0;
    QSet<QString> m_madeUp, m_unknown;
};

/// A file's warnings added to the student's, at most readlimits::warningsPerStudent.
void addWarnings(std::vector<ReadWarning> &to, std::vector<ReadWarning> &from, int &unlisted)
{
    for (ReadWarning &w : from) {
        if (int(to.size()) < readlimits::warningsPerStudent)
            to.push_back(std::move(w));
        else
            ++unlisted;
    }
}

/// The record file `file` read and parsed within the caps of one file.
/// A student's files read one after the other on a thread of their own,
/// a few ahead of the worker that parses them: a student of thousands of
/// small files waits on the system for each, and the worker need not.
class FilesAhead
{
public:
    explicit FilesAhead(const std::vector<StudentFile> &files) : m_files(files), m_read(files.size())
    {
        if (files.size() >= manyFiles)
            m_thread = std::thread([this] { run(); });
    }
    ~FilesAhead()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_changed.notify_all();
        if (m_thread.joinable())
            m_thread.join();
    }
    /// File `index`'s bytes; files are taken in order.
    oscalls::FileBytes take(size_t index)
    {
        if (!m_thread.joinable())
            return oscalls::readRegularFile(m_files[index].path, largestRecordFile, m_files[index].id);
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [&] { return index < m_done; });
        oscalls::FileBytes bytes = std::move(m_read[index]);
        m_held -= bytes.bytes.size();
        m_taken = index + 1;
        m_changed.notify_all();
        return bytes;
    }

private:
    void run()
    {
        for (size_t i = 0; i < m_files.size(); ++i) {
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_changed.wait(lock, [&] { return m_stop || (i < m_taken + ahead && m_held < byteWindow); });
                if (m_stop)
                    return;
            }
            oscalls::FileBytes bytes = oscalls::readRegularFile(m_files[i].path, largestRecordFile, m_files[i].id);
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_held += bytes.bytes.size();
                m_read[i] = std::move(bytes);
                m_done = i + 1;
            }
            m_changed.notify_all();
        }
    }

    static constexpr size_t manyFiles = 32, ahead = 64;
    static constexpr qint64 byteWindow = qint64(8) << 20;
    const std::vector<StudentFile> &m_files;
    std::vector<oscalls::FileBytes> m_read;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    size_t m_done = 0, m_taken = 0;
    qint64 m_held = 0;
    bool m_stop = false;
};

RecordFileContents readFile(const StudentFile &file, const oscalls::FileBytes &read, Worker &worker)
{
    RecordFileContents contents;
    const QString shown = file.path.shown();
    ReadLimits limits;
    limits.records = readlimits::recordsPerFile;
    limits.warnings = readlimits::warningsPerFile;
    if (read.ok)
        contents = parseRecordBytes(read.bytes, shown, &worker.parsing, limits);
    else
        contents.warnings.push_back({shown, 0, read.reason});
    return contents;
}

/// The hash of a record's content, for matching copies. The time is left
/// out: each file's time line is read from the clock on its own, so two
/// copies may be a second or two apart.
size_t contentHash(const FileRecord &r, int bank)
{
    ContentHash h;
    h.add(quint64(r.kind) | quint64(r.ratingKind) << 8 | quint64(unsigned(bank)) << 32);
    h.add(r.date);
    h.add(r.codeLine);
    h.add(r.text);
    h.add(r.rating);
    if (r.kind == FileRecord::Header) {
        h.add(r.assignment);
        h.add(r.heading);
    }
    return h.value();
}

/// One student's records being put together on a worker: each record of
/// each file, in the files' order, kept once, its copies matched.
struct StudentReading
{
    StudentRecords &out;
    Worker &worker;
    StudentCaps &caps;
    int studentIndex;
    bool keepCopies;

    /// Record `r` of file `fileIndex`: a first copy kept, or a copy of one.
    void take(FileRecord &&r, const StudentFile &file, int fileIndex, const QString &fileName)
    {
        r.text = withReferencesResolved(r.text);
        // Bank texts are kept once, so the same text is the same string.
        int bank = -1;
        const CoursePlace *place = nullptr;
        if (r.kind != FileRecord::Header) {
            bank = worker.texts.keep(r.bankText);
            place = worker.texts.place(bank, r.assignment);
        }
        const size_t hash = contentHash(r, bank);
        std::vector<CopyGroup> &groups = worker.groups;
        int g = worker.entry(hash);
        while (g >= 0) {
            const FileRecord &first = out.records[size_t(groups[size_t(g)].first)].record;
            if (sameContent(first, r, first.bankText.constData() == r.bankText.constData()))
                break;
            g = groups[size_t(g)].sameHash;
        }
        const int time = seconds(r.time);
        const int copyOf = g < 0 ? -1 : worker.takeCopy(g, time, fileIndex);
        if (copyOf >= 0) {
            if (keepCopies && caps.admit(r, place)) {
                const QString repeats = out.records[size_t(copyOf)].file; // before the records grow
                worker.fileOf.push_back(fileIndex);
                out.copies.emplace_back(int(out.records.size()), copyOf);
                addRecord(out, std::move(r), studentIndex, file, fileName, place).repeats = repeats;
            }
            return;
        }
        if (!caps.admit(r, place))
            return;
        const int index = int(out.records.size());
        if (g < 0) {
            g = worker.addGroup(hash);
            groups[size_t(g)].first = index;
        }
        worker.addFirst(g, time, index);
        worker.fileOf.push_back(fileIndex);
        worker.order.emplace_back(sortStamp(r), index);
        addRecord(out, std::move(r), studentIndex, file, fileName, place);
    }
};

/// One student's files read and put together: the records, each kept
/// once, the copies matched, oldest first.
StudentRecords readStudent(const Student &student, int studentIndex, qint64 bytes, Worker &worker, bool keepCopies,
                           const CourseIndex &course)
{
    StudentRecords out;
    out.records.reserve(size_t(std::min<qint64>(bytes / 1024, 1 << 16)));
    worker.clear(bytes);
    StudentCaps caps(course);
    StudentReading reading{out, worker, caps, studentIndex, keepCopies};
    int unlisted = 0;
    FilesAhead ahead(student.files);
    for (const StudentFile &file : student.files) {
        const int fileIndex = int(&file - student.files.data());
        RecordFileContents contents = readFile(file, ahead.take(size_t(fileIndex)), worker);
        addWarnings(out.warnings, contents.warnings, unlisted);
        out.fileBytes.push_back(contents.bytes);
        const QString fileName = file.path.name();
        for (FileRecord &r : contents.records)
            reading.take(std::move(r), file, fileIndex, fileName);
    }
    caps.warn(student, out.warnings);
    if (unlisted > 0)
        out.warnings.push_back({student.folder, 0, QStringLiteral("%1 more warning(s) about this student's files not listed").arg(unlisted)});
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

ClassData ClassReader::read(const QStringList &paths) const
{
    std::vector<NativePath> native;
    for (const QString &path : paths)
        native.push_back(NativePath::fromText(path));
    ClassData data = find(native);
    read(data);
    return data;
}

namespace {

/// What a record is charged against the class's memory (records/readlimits.h).
qint64 memoryOf(const ClassRecord &c)
{
    const FileRecord &r = c.record;
    // Bank texts of the course are one string for the class; others are the record's.
    return readlimits::recordCost + 2 * (r.text.size() + r.rating.size() + r.codeLine.size() + r.heading.size()
                                         + (c.place ? 0 : r.bankText.size()));
}

/// The class's records within readlimits::memoryForRecords: once it is
/// spent, what the later students hold is counted, not kept.
class ClassBudget
{
public:
    explicit ClassBudget(qint64 classBytes) : m_classBytes(classBytes), m_left(readlimits::memoryForRecords(classBytes)) {}

    /// How many of `records` (in reading order) may be kept.
    size_t admit(const std::vector<ClassRecord> &records, const QString &student)
    {
        size_t kept = 0;
        while (kept < records.size() && m_left >= memoryOf(records[kept]))
            m_left -= memoryOf(records[kept++]);
        if (kept < records.size()) {
            if (m_firstCut.isEmpty())
                m_firstCut = student;
            m_unkept += int(records.size() - kept);
            m_left = 0;
        }
        return kept;
    }
    void warn(ClassData &data) const
    {
        if (m_unkept > 0)
            data.warn({m_firstCut, 0, QStringLiteral("%1 record(s) of this and the later students not kept: the class's records "
                                                    "would take more than %2 MiB of memory")
                                         .arg(QString::number(m_unkept), QString::number(readlimits::memoryForRecords(m_classBytes) >> 20))});
    }

private:
    qint64 m_classBytes, m_left;
    int m_unkept = 0;
    QString m_firstCut;
};

/// Numbers a student's responses with their attempt at each question or
/// prompt, first copies in reading order (the order they were written in:
/// a header, which has no time of its own, stays before its run's records
/// when two runs share a day); each kept copy then takes its first copy's number.
void numberAttempts(std::deque<ClassRecord> &records, std::vector<int> order, const StudentRecords &read,
                    int base, size_t kept)
{
    std::sort(order.begin(), order.end());
    struct Seen
    {
        int attempts = 0;
        int run = 0;                              ///< the run the latest attempt was made in
        std::vector<const CoursePlace *> entries; ///< the worked answer's entries critiqued in it
    };
    std::unordered_map<quint64, Seen> seen;
    int run = 0;
    for (const int i : order) {
        ClassRecord &c = records[size_t(i)];
        run += c.record.kind == FileRecord::Header;
        if (c.record.kind != FileRecord::Response)
            continue;
        const bool toAnswer = c.place && c.place->role == CoursePlace::Answer;
        // A question and its worked answer are one item; a text the course
        // lacks is its own (its bank text is kept once, so its address tells it).
        const quint64 key = c.place ? quint64(c.place->assignment.toUInt()) << 32
                                          | (c.place->role == CoursePlace::Other ? 0x10000u + quint64(c.place->prompt)
                                                                                 : quint64(c.place->question))
                                    : quint64(1) << 62 | quint64(quintptr(c.record.bankText.constData()));
        Seen &s = seen[key];
        const bool critiqued = std::find(s.entries.begin(), s.entries.end(), c.place) != s.entries.end();
        if (calibration::startsAttempt(toAnswer, s.attempts > 0, s.run == run, critiqued)) {
            ++s.attempts;
            s.run = run;
            s.entries.clear();
        }
        if (toAnswer)
            s.entries.push_back(c.place);
        c.attempt = s.attempts;
    }
    for (const auto &[copy, first] : read.copies)
        if (size_t(copy) < kept && size_t(first) < kept)
            records[size_t(base + copy)].attempt = records[size_t(base + first)].attempt;
}

} // namespace

void ClassReader::read(ClassData &data) const
{
    int total = 0;
    std::vector<qint64> sizes;
    qint64 classBytes = 0;
    for (const Student &s : data.students) {
        qint64 size = 0;
        for (const StudentFile &f : s.files)
            size += std::min(f.size, largestRecordFile);
        sizes.push_back(size);
        classBytes += size;
        total += int(s.files.size());
    }
    ClassBudget budget(classBytes);
    int done = 0;
    // Each student is read and put together on a worker; this thread only
    // adds the students to the class in order.
    const bool keepCopies = m_keepCopies;
    const ClassData &students = data;
    const CourseIndex &course = m_course;
    ReadAhead ahead(std::move(sizes), m_course, [&students, &course, keepCopies](size_t index, qint64 bytes, Worker &worker) {
        return readStudent(students.students[index], int(index), bytes, worker, keepCopies, course);
    });
    for (size_t si = 0; si < data.students.size(); ++si) {
        StudentRecords read = ahead.take(si);
        for (ReadWarning &w : read.warnings)
            data.warn(std::move(w));
        const size_t kept = budget.admit(read.records, data.students[si].folder);
        const int base = int(data.records.size());
        for (size_t i = 0; i < kept; ++i)
            data.records.push_back(std::move(read.records[i]));
        Student &student = data.students[si];
        student.records.reserve(read.order.size());
        for (int i : read.order)
            if (size_t(i) < kept)
                student.records.push_back(base + i);
        numberAttempts(data.records, student.records, read, base, kept);
        for (const qint64 bytes : read.fileBytes) {
            data.bytesRead += bytes;
            ++data.filesRead;
            ++done;
            if (m_progress)
                m_progress(done, total, data.bytesRead);
        }
    }
    budget.warn(data);
}
