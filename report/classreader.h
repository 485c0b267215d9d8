#pragma once

// How the report meets a class: ClassReader::find walks the paths given and
// makes one Student per folder that holds record files (following links
// only within a student's own folder, and telling where two students reach
// the same file); ClassReader::read reads every student's files on worker
// threads, matches the copies of each record, and keeps within the caps of
// records/readlimits.h. What it could not read or would not keep is a
// ReadWarning; the summary (classmodel.h) and the writers (htmlpages.h,
// site.h, tableexport.h) take the ClassData it leaves.

#include "platform/oscalls.h"
#include "records/recordreader.h"
#include "report/coursetext.h"

#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <vector>

/// One record of a class, with where it came from and the question it answers.
struct ClassRecord
{
    FileRecord record;
    int student = 0;
    QString file;                       ///< file name inside the student's folder
    const CoursePlace *place = nullptr; ///< nullptr when the course does not hold the bank text
    QString repeats;                    ///< the file that holds the first copy; empty for the first
    QString sharedWith;                 ///< the other students who reached the same file (a link, a hard link)
    /// A response's attempt at its question or prompt, from 1 (a later run
    /// or a review walk answers it again; records/calibration.h has the
    /// rule); a copy has its first copy's; 0 for headers and notes.
    int attempt = 0;
};

/// A file of a student's, found before anything is read.
struct StudentFile
{
    oscalls::NativePath path;
    oscalls::Identity id;
    qint64 size = 0;
    bool leaves = false;  ///< reached through a link that leads out of the student's folder
    QString sharedWith;   ///< the other students who reach the same file, for the outputs
};

struct Student
{
    QString name;                   ///< as the outputs show it: unlike every other student's, invisible characters spelled out
    QString folder;                 ///< as the system shows it
    QString folderName;             ///< the name of the folder that names the student, as found: names the student's page
    oscalls::NativePath home;       ///< the folder that names the student, links resolved: the files must lie in it
    oscalls::Identity id;           ///< of the folder holding the files
    std::vector<StudentFile> files; ///< master file first, then SEND files, then the notes file
    std::vector<int> records;       ///< first copies only, oldest first (indices into ClassData::records)
    QStringList sharesWith;         ///< students who reach some of the same files
    // From the roster (report/roster.h), when one is given.
    QString rosterId, email;        ///< the roster's ID and e-mail, empty without
    enum class Enrolment { NoRoster, Enrolled, NotOnRoster } enrolment = Enrolment::NoRoster;
    int rosterRow = -1;             ///< the student's place in the roster, -1 when not on it
};

/// Everything read from the paths given to the report.
struct ClassData
{
    std::vector<Student> students;
    /// Every record read, in reading order: first copies, and the other
    /// copies too when they are kept. A deque, so that a class's records
    /// never stand twice in memory while the container grows.
    std::deque<ClassRecord> records;
    std::vector<ReadWarning> warnings; ///< at most readlimits::warningsInAll
    int unlistedWarnings = 0;          ///< warnings past that, counted
    int filesRead = 0;
    qint64 bytesRead = 0;
    QString window; ///< the records kept (report/window.h), in words; empty for all
    /// True when a file or folder gave a warning.
    bool hasWarnings() const { return !warnings.empty(); }
    /// Adds a warning, or counts it once readlimits::warningsInAll are listed.
    void warn(ReadWarning warning);
};

/// Finds the students' files under the paths and reads them. The same record
/// stands in the master file and in a SEND file (and a note in the notes
/// file too); each is kept once, and the other copies only on request.
class ClassReader
{
public:
    explicit ClassReader(const CourseIndex &course) : m_course(course) {}

    /// Called after each file with the files read, all files and the bytes read.
    void setProgress(std::function<void(int, int, qint64)> progress) { m_progress = std::move(progress); }
    /// Keeps every copy of a record (marked with the file of the first).
    void setKeepCopies(bool keep) { m_keepCopies = keep; }

    /// The students and their files under the paths, nothing read yet. A
    /// PATH is a student's folder, a folder of such folders (a class) or
    /// single files; the same file or folder reached twice counts once.
    ClassData find(const std::vector<oscalls::NativePath> &paths) const;
    /// Reads the files `find` found.
    void read(ClassData &data) const;
    /// Both, for paths given as text.
    ClassData read(const QStringList &paths) const;

    /// True for masterFile.txt, send_*.txt and notes_.txt.
    static bool isRecordFileName(const QString &name);
    /// The names of a class made unlike each other: invisible characters
    /// spelled out ("<U+200B>"), look-alikes followed by the code points
    /// that set them apart ("Аnna [U+0410]"), the same name numbered with a
    /// number no other student's name has ("s_2 (3)").
    static void makeNamesDistinct(std::vector<QString> &names);
    /// The same for the students' names, in place.
    static void makeNamesDistinct(std::vector<Student> &students);

private:
    const CourseIndex &m_course;
    std::function<void(int, int, qint64)> m_progress;
    bool m_keepCopies = false;
};

/// A text with the "&#N;" stand-ins the program writes for characters
/// Windows-1252 cannot hold shown as those characters again.
QString withReferencesResolved(const QString &text);
