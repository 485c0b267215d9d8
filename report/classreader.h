#pragma once

#include "records/recordreader.h"
#include "report/coursetext.h"

#include <QString>
#include <QStringList>

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

struct Student
{
    QString name;
    QString folder;
    QStringList files;        ///< paths, master file first, then SEND files, then the notes file
    std::vector<int> records; ///< first copies only, oldest first (indices into ClassData::records)
};

/// Everything read from the paths given to the report.
struct ClassData
{
    std::vector<Student> students;
    std::vector<ClassRecord> records; ///< every record of every file, in reading order
    std::vector<ReadWarning> warnings;
    int filesRead = 0;
    qint64 bytesRead = 0;
    /// True when a file or folder gave a warning.
    bool hasWarnings() const { return !warnings.empty(); }
};

/// Finds the students' files under the paths and reads them. The same record
/// stands in the master file and in a SEND file (and a note in the notes
/// file too); each is kept once for the counts, every copy for the tables.
class ClassReader
{
public:
    explicit ClassReader(const CourseIndex &course) : m_course(course) {}

    /// Called after each file with the files read, all files and the bytes read.
    void setProgress(std::function<void(int, int, qint64)> progress) { m_progress = std::move(progress); }

    /// A PATH is a student's folder, a folder of such folders (a class) or single files.
    ClassData read(const QStringList &paths) const;

    /// True for masterFile.txt, send_*.txt and notes_.txt.
    static bool isRecordFileName(const QString &name);

private:
    const CourseIndex &m_course;
    std::function<void(int, int, qint64)> m_progress;
};
