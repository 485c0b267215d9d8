#pragma once

#include "records/inputfiles.h"
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
};

/// A file of a student's, found before anything is read.
struct StudentFile
{
    inputfiles::NativePath path;
    inputfiles::FileId id;
    qint64 size = 0;
};

struct Student
{
    QString name;
    QString folder;                ///< as the system shows it
    std::vector<StudentFile> files; ///< master file first, then SEND files, then the notes file
    std::vector<int> records;      ///< first copies only, oldest first (indices into ClassData::records)
};

/// Everything read from the paths given to the report.
struct ClassData
{
    std::vector<Student> students;
    /// Every record read, in reading order: first copies, and the other
    /// copies too when they are kept. A deque, so that a class's records
    /// never stand twice in memory while the container grows.
    std::deque<ClassRecord> records;
    std::vector<ReadWarning> warnings;
    int filesRead = 0;
    qint64 bytesRead = 0;
    /// True when a file or folder gave a warning.
    bool hasWarnings() const { return !warnings.empty(); }
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
    ClassData find(const std::vector<inputfiles::NativePath> &paths) const;
    /// Reads the files `find` found.
    void read(ClassData &data) const;
    /// Both, for paths given as text.
    ClassData read(const QStringList &paths) const;

    /// True for masterFile.txt, send_*.txt and notes_.txt.
    static bool isRecordFileName(const QString &name);

private:
    const CourseIndex &m_course;
    std::function<void(int, int, qint64)> m_progress;
    bool m_keepCopies = false;
};

/// A text with the "&#N;" stand-ins the program writes for characters
/// Windows-1252 cannot hold shown as those characters again.
QString withReferencesResolved(const QString &text);
