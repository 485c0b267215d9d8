// Finding a class's students and their files before anything is read: one
// student per folder, links followed only within a student's own folder,
// files two students reach named with both, names told apart.

#include "report/classreader.h"

#include "records/recordformat.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <map>
#include <set>

using oscalls::NativePath;

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

/// The program's own folder, spelled as the program makes it: another
/// spelling (CRSFILES, Crsfiles) is a folder the program never wrote.
bool isDefaultFolder(const QString &name)
{
    return name == recordformat::defaultFolderName;
}

bool isMisspeltDefaultFolder(const QString &name)
{
    return !isDefaultFolder(name) && name.compare(recordformat::defaultFolderName, Qt::CaseInsensitive) == 0;
}

/// The folder that names a student: the nearest that is not the program's
/// default one, so that a class downloaded as class/Name_id/crsfiles/ names "Name_id".
NativePath namingFolder(const NativePath &folder)
{
    NativePath at = folder.absolute().cleaned();
    for (int up = 0; up < 8 && isDefaultFolder(at.name()); ++up)
        at = at.parent();
    return at.name().isEmpty() ? folder.absolute().cleaned() : at;
}

QString listed(const QStringList &names)
{
    if (names.size() <= 2)
        return names.join(QStringLiteral(" and "));
    return names.mid(0, names.size() - 1).join(QStringLiteral(", ")) + QStringLiteral(" and ") + names.last();
}

/// Finds students' folders and files under the paths given.
class Finder
{
public:
    explicit Finder(ClassData &data) : m_data(data) {}

    void path(const NativePath &given)
    {
        const NativePath path = given.cleaned();
        const oscalls::PathInfo info = oscalls::inspect(path);
        switch (info.kind) {
        case oscalls::Kind::Regular:
            // Named by the instructor: read wherever it leads.
            addFile(studentFor(path.parent()), path, info, false);
            break;
        case oscalls::Kind::Folder:
            classOrStudent(path);
            break;
        default:
            warn(path, info.reason);
        }
    }

    /// Once every path is found: names told apart, files two students reach
    /// named to both, links out of a student's folder left unread.
    void finish();

private:
    void warn(const NativePath &path, const QString &reason) { m_data.warn({path.shown(), 0, reason}); }

    bool list(const NativePath &folder, std::vector<NativePath> &names)
    {
        QString reason;
        if (oscalls::listFolder(folder, names, reason))
            return true;
        warn(folder, QStringLiteral("the folder cannot be read: %1").arg(reason));
        return false;
    }

    /// The record files of a folder, master file first.
    static std::vector<NativePath> recordFilesIn(const NativePath &folder, const std::vector<NativePath> &names)
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

    /// True (warned about) for a folder named like the program's own but spelled otherwise.
    bool misspelt(const NativePath &folder, const NativePath &name)
    {
        if (!isMisspeltDefaultFolder(name.name()))
            return false;
        warn(folder / name, QStringLiteral("a folder spelled otherwise than the program's %1; not read")
                                .arg(recordformat::defaultFolderName));
        return true;
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
            const oscalls::PathInfo info = oscalls::inspect(sub);
            if (info.kind == oscalls::Kind::Unreadable) {
                warn(sub, info.reason);
                continue;
            }
            if (info.kind != oscalls::Kind::Folder || misspelt(path, name))
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
            if (misspelt(folder, name) || !isDefaultFolder(name.name())
                || oscalls::inspect(folder / name).kind != oscalls::Kind::Folder)
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
        const NativePath &home = m_data.students[size_t(student)].home;
        // A folder reached through a link (crsfiles linked to another
        // student's) takes its files out of the student's folder.
        const NativePath real = oscalls::resolved(folder);
        const bool folderLeaves = real.isEmpty() || !real.isWithin(home);
        for (const NativePath &file : files) {
            const oscalls::PathInfo info = oscalls::inspect(file);
            if (info.kind != oscalls::Kind::Regular) {
                warn(file, info.reason.isEmpty() ? QStringLiteral("a folder, not a file") : info.reason);
                continue;
            }
            bool leaves = folderLeaves;
            if (info.link && !leaves) {
                const NativePath target = oscalls::resolved(file);
                leaves = target.isEmpty() || !target.isWithin(home);
            }
            addFile(student, file, info, leaves);
        }
    }

    void addFile(int student, const NativePath &file, const oscalls::PathInfo &info, bool leaves)
    {
        // The same file reached twice by one student (a folder named twice,
        // a link within the folder) is read once.
        if (!m_files.insert({student, info.id}).second)
            return;
        m_data.students[size_t(student)].files.push_back({file, info.id, info.size, leaves, QString()});
    }

    int studentFor(const NativePath &folder)
    {
        // One student per folder of files and name: the same folder named
        // twice is one student, but a folder two students' names lead to
        // (one linked to the other's) is two, each told of the other.
        const NativePath naming = namingFolder(folder);
        const oscalls::Identity id = oscalls::inspect(folder).id;
        const QString name = naming.name();
        const auto it = m_students.find({id, name});
        if (it != m_students.end())
            return it->second;
        Student s;
        s.folder = folder.absolute().cleaned().shown();
        s.name = name;
        s.folderName = name;
        s.id = id;
        s.home = oscalls::resolved(naming);
        m_students.emplace(std::make_pair(id, name), int(m_data.students.size()));
        m_data.students.push_back(s);
        return int(m_data.students.size() - 1);
    }

    void nameShared();
    void dropLeaving();

    ClassData &m_data;
    std::set<std::pair<int, oscalls::Identity>> m_files;
    std::map<std::pair<oscalls::Identity, QString>, int> m_students;
};

void Finder::nameShared()
{
    // Every file that more than one student reaches, by the set of students.
    struct Reach
    {
        oscalls::Identity id;
        int student;
        size_t file;
        bool operator<(const Reach &o) const { return id != o.id ? id < o.id : student < o.student; }
    };
    std::vector<Reach> all;
    for (size_t si = 0; si < m_data.students.size(); ++si)
        for (size_t fi = 0; fi < m_data.students[si].files.size(); ++fi)
            all.push_back({m_data.students[si].files[fi].id, int(si), fi});
    std::sort(all.begin(), all.end());
    std::map<std::vector<int>, std::vector<std::pair<int, size_t>>> byStudents;
    for (size_t i = 0, j = 0; i < all.size(); i = j) {
        for (j = i + 1; j < all.size() && all[j].id == all[i].id;)
            ++j;
        if (j - i < 2)
            continue;
        std::vector<std::pair<int, size_t>> reached;
        for (size_t k = i; k < j; ++k)
            reached.emplace_back(all[k].student, all[k].file);
        // Links of several students to one file outside them all are
        // nobody's work: those stay links out, left unread.
        const bool inSomeFolder = std::any_of(reached.begin(), reached.end(), [&](const auto &r) {
            return !m_data.students[size_t(r.first)].files[r.second].leaves;
        });
        if (reached.size() < 2 || !inSomeFolder)
            continue;
        std::vector<int> who;
        for (const auto &r : reached)
            who.push_back(r.first);
        byStudents[who].insert(byStudents[who].end(), reached.begin(), reached.end());
    }
    for (const auto &[who, files] : byStudents) {
        QStringList names;
        for (const int si : who)
            names.append(m_data.students[size_t(si)].name);
        for (const auto &[si, fi] : files) {
            Student &s = m_data.students[size_t(si)];
            QStringList others = names;
            others.removeOne(s.name);
            s.files[fi].sharedWith = others.join(QStringLiteral(", "));
            s.files[fi].leaves = false; // read: it is another student's work too
            for (const QString &other : others)
                if (!s.sharesWith.contains(other))
                    s.sharesWith.append(other);
        }
        const StudentFile &first = m_data.students[size_t(files.front().first)].files[files.front().second];
        const StudentFile &second = m_data.students[size_t(files[1].first)].files[files[1].second];
        warn(first.path, QStringLiteral("the same file as %1 (a link or a hard link): %2 file(s) that %3 all hand in; "
                                        "counted for each of them, marked as shared")
                             .arg(second.path.shown(), QString::number(files.size() / who.size()), listed(names)));
    }
}

void Finder::dropLeaving()
{
    for (Student &s : m_data.students) {
        auto keep = std::remove_if(s.files.begin(), s.files.end(), [&](const StudentFile &f) {
            if (!f.leaves)
                return false;
            const NativePath target = oscalls::resolved(f.path);
            warn(f.path, QStringLiteral("a link that leads out of %1's folder (to %2); not read")
                             .arg(s.name, target.isEmpty() ? QStringLiteral("nothing") : target.shown()));
            return true;
        });
        s.files.erase(keep, s.files.end());
    }
    m_data.students.erase(std::remove_if(m_data.students.begin(), m_data.students.end(),
                                         [](const Student &s) { return s.files.empty(); }),
                          m_data.students.end());
}

void Finder::finish()
{
    ClassReader::makeNamesDistinct(m_data.students);
    nameShared();
    dropLeaving();
}

/// Characters that show as nothing, or as a plain blank: two names that
/// differ only by them look the same.
bool isInvisible(char32_t c)
{
    switch (QChar::category(c)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    case QChar::Separator_Space:
        return c != U' ';
    default:
        break;
    }
    return c == 0x034F || c == 0x115F || c == 0x1160 || c == 0x17B4 || c == 0x17B5 || (c >= 0x180B && c <= 0x180F)
           || c == 0x2800 || c == 0x3164 || c == 0xFFA0 || (c >= 0xFE00 && c <= 0xFE0F) || (c >= 0xE0100 && c <= 0xE01EF);
}

QString codePoint(char32_t c)
{
    return QStringLiteral("U+%1").arg(uint(c), 4, 16, QLatin1Char('0')).toUpper();
}

/// The name with every invisible character spelled out as <U+XXXX>.
QString invisiblesSpelled(const QString &name)
{
    QString out;
    for (const char32_t c : name.toUcs4())
        out += isInvisible(c) ? QLatin1Char('<') + codePoint(c) + QLatin1Char('>') : QString::fromUcs4(&c, 1);
    return out;
}

/// What a name looks like: accents dropped, compatibility forms folded, and
/// the Cyrillic and Greek letters that look like Latin ones taken for them.
QString skeleton(const QString &name)
{
    static const QHash<char32_t, char> lookAlikes = [] {
        QHash<char32_t, char> t;
        const char32_t cyrillic[] = U"АВЕКМНОРСТХЅІЈаеорсухѕіјԁԛԝһӏ";
        const char latinForCyrillic[] = "ABEKMHOPCTXSIJaeopcyxsijdqwhl";
        const char32_t greek[] = U"ΑΒΕΖΗΙΚΜΝΟΡΤΥΧοναιρτυ";
        const char latinForGreek[] = "ABEZHIKMNOPTYXovaiptu";
        for (size_t i = 0; cyrillic[i]; ++i)
            t.insert(cyrillic[i], latinForCyrillic[i]);
        for (size_t i = 0; greek[i]; ++i)
            t.insert(greek[i], latinForGreek[i]);
        return t;
    }();
    QString out;
    for (const char32_t c : name.normalized(QString::NormalizationForm_KD).toUcs4()) {
        if (QChar::category(c) == QChar::Mark_NonSpacing)
            continue;
        const auto latin = lookAlikes.constFind(c);
        if (latin != lookAlikes.cend())
            out += QLatin1Char(*latin);
        else
            out += QString::fromUcs4(&c, 1);
    }
    return out;
}

/// " [U+0410 U+0301]": the characters beyond ASCII that set a name apart.
QString beyondAscii(const QString &name)
{
    QStringList points;
    for (const char32_t c : name.toUcs4())
        if (c > 0x7E && points.size() < 8 && !points.contains(codePoint(c)))
            points.append(codePoint(c));
    return points.isEmpty() ? QString() : QStringLiteral(" [") + points.join(QLatin1Char(' ')) + QLatin1Char(']');
}

} // namespace

void ClassData::warn(ReadWarning warning)
{
    if (int(warnings.size()) < readlimits::warningsInAll)
        warnings.push_back(std::move(warning));
    else
        ++unlistedWarnings;
}

bool ClassReader::isRecordFileName(const QString &name)
{
    // Case apart: the files pass through systems that change it (zip, mail).
    using namespace recordformat;
    return name.compare(masterFileName, Qt::CaseInsensitive) == 0
           || name.compare(notesFileName, Qt::CaseInsensitive) == 0
           || (name.startsWith(sendFilePrefix, Qt::CaseInsensitive) && name.endsWith(sendFileSuffix, Qt::CaseInsensitive));
}

void ClassReader::makeNamesDistinct(std::vector<Student> &students)
{
    std::vector<QString> names;
    for (const Student &s : students)
        names.push_back(s.name);
    makeNamesDistinct(names);
    for (size_t i = 0; i < names.size(); ++i)
        students[i].name = names[i];
}

void ClassReader::makeNamesDistinct(std::vector<QString> &names)
{
    for (QString &name : names)
        name = invisiblesSpelled(name);
    // Look-alikes: different names of one skeleton get their code points.
    QHash<QString, QSet<QString>> bySkeleton;
    for (const QString &name : names)
        bySkeleton[skeleton(name)].insert(name);
    for (QString &name : names)
        if (bySkeleton.value(skeleton(name)).size() > 1)
            name += beyondAscii(name);
    // The same name twice (two classes, two folders): numbered, with a
    // number that makes no name another student already has.
    QSet<QString> taken(names.begin(), names.end()), seen;
    for (QString &name : names) {
        if (!seen.contains(name)) {
            seen.insert(name);
            continue;
        }
        int n = 2;
        while (taken.contains(name + QStringLiteral(" (%1)").arg(n)))
            ++n;
        name += QStringLiteral(" (%1)").arg(n);
        taken.insert(name);
        seen.insert(name);
    }
}

ClassData ClassReader::find(const std::vector<NativePath> &paths) const
{
    ClassData data;
    Finder finder(data);
    for (const NativePath &path : paths)
        finder.path(path);
    finder.finish();
    return data;
}
