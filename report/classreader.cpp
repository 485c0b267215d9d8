#include "report/classreader.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>

#include <algorithm>

namespace {

/// Order of a student's files: the master file has every record with its
/// question key, so its copy is the one kept.
int fileRank(const QString &name)
{
    const QString lower = name.toLower();
    if (lower == QLatin1String("masterfile.txt"))
        return 0;
    if (lower.startsWith(QLatin1String("send_")))
        return 1;
    return 2;
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

/// yyyy-mm-dd hh:mm:ss from mm-dd-yyyy and the time, for ordering.
QString sortStamp(const FileRecord &r)
{
    const QString &d = r.date;
    return (d.size() == 10 ? d.mid(6, 4) + d.left(2) + d.mid(3, 2) : QString()) + r.time;
}

size_t contentHash(const FileRecord &r)
{
    return qHashMulti(0, int(r.kind), r.date, r.codeLine, r.bankText, r.text, int(r.ratingKind), r.rating);
}

bool sameContent(const FileRecord &a, const FileRecord &b)
{
    // Each file's time line is read from the clock on its own, so two
    // copies of one record may be a second apart.
    const int ta = seconds(a.time), tb = seconds(b.time);
    return a.kind == b.kind && a.date == b.date && std::abs(ta - tb) <= 2 && a.codeLine == b.codeLine
           && a.ratingKind == b.ratingKind && a.rating == b.rating && a.bankText == b.bankText && a.text == b.text;
}

} // namespace

bool ClassReader::isRecordFileName(const QString &name)
{
    const QString lower = name.toLower();
    return lower == QLatin1String("masterfile.txt") || lower == QLatin1String("notes_.txt")
           || (lower.startsWith(QLatin1String("send_")) && lower.endsWith(QLatin1String(".txt")));
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
                    data.warnings.push_back({sub.filePath(), 0, QStringLiteral("a folder without masterFile.txt, send_*.txt or notes_.txt")});
                    continue;
                }
                studentFor(sub.filePath()).files.append(files);
                anyStudent = true;
            }
            if (!anyStudent && dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot).isEmpty())
                data.warnings.push_back({path, 0, QStringLiteral("a folder without masterFile.txt, send_*.txt or notes_.txt")});
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
    for (size_t si = 0; si < data.students.size(); ++si) {
        Student &student = data.students[si];
        QMultiHash<size_t, int> seen;
        for (int fi = 0; fi < student.files.size(); ++fi) {
            const QString &path = student.files[fi];
            RecordFileContents contents = readRecordFile(path);
            for (ReadWarning &w : contents.warnings)
                data.warnings.push_back(std::move(w));
            data.bytesRead += contents.bytes;
            const QString fileName = QFileInfo(path).fileName();
            for (FileRecord &r : contents.records) {
                ClassRecord c;
                c.student = int(si);
                c.file = fileName;
                if (r.kind != FileRecord::Header)
                    c.place = m_course.find(r.bankText, r.assignment);
                const size_t h = contentHash(r);
                for (auto it = seen.constFind(h); it != seen.cend() && it.key() == h; ++it) {
                    const ClassRecord &first = data.records[size_t(*it)];
                    if (first.file != fileName && sameContent(first.record, r)) {
                        c.repeats = first.file;
                        break;
                    }
                }
                c.record = std::move(r);
                if (c.repeats.isEmpty()) {
                    seen.insert(h, int(data.records.size()));
                    student.records.push_back(int(data.records.size()));
                }
                data.records.push_back(std::move(c));
            }
            ++data.filesRead;
            if (m_progress)
                m_progress(++done, total, data.bytesRead);
        }
        // Oldest first; records of one moment keep their order in the files.
        std::stable_sort(student.records.begin(), student.records.end(), [&](int a, int b) {
            return sortStamp(data.records[size_t(a)].record) < sortStamp(data.records[size_t(b)].record);
        });
    }
    return data;
}
