#include "records/recordfiles.h"

#include "records/cp1252.h"

#include <QDir>
#include <QFileInfo>

RecordFiles::RecordFiles(const QStringList &paths)
{
    for (const QString &path : paths) {
        auto file = std::make_unique<QFile>(path);
        if (!failed()) {
            if (QFileInfo(path).isDir())
                fail(*file, QStringLiteral("it is a folder, not a file"));
            else if (!file->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
                fail(*file, file->errorString());
        }
        m_files.push_back(std::move(file));
    }
}

RecordFiles::~RecordFiles()
{
    close();
}

void RecordFiles::fail(const QFile &file, const QString &reason)
{
    if (m_error.isEmpty())
        m_error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(file.fileName()), reason);
}

void RecordFiles::write(int index, const QByteArray &bytes)
{
    if (failed())
        return;
    QFile &file = *m_files[index];
    // A write cut short (a disk that fills up) reports no reason; writing
    // the rest gets the system's reason for the message.
    qint64 done = 0;
    while (done < bytes.size()) {
        const qint64 n = file.write(bytes.constData() + done, bytes.size() - done);
        if (n <= 0) {
            fail(file, file.errorString());
            return;
        }
        done += n;
    }
}

void RecordFiles::line(const QString &text)
{
    const QByteArray bytes = Cp1252::encode(text) + "\r\n";
    for (int i = 0; i < int(m_files.size()); ++i)
        write(i, bytes);
}

void RecordFiles::lineTo(int index, const QString &text)
{
    write(index, Cp1252::encode(text) + "\r\n");
}

void RecordFiles::textTo(int index, const QString &text)
{
    write(index, Cp1252::encode(text));
}

/// False when the file written through `file` is no longer the one its
/// path names (deleted, moved or replaced while a rating box waited):
/// what went into it is not where the student's files are.
static bool stillAtPath(QFile &file)
{
#ifdef Q_OS_WIN
    Q_UNUSED(file);
    return true; // Windows refuses to delete or move a file that is open
#else
    const QFileInfo info(file.fileName());
    return info.isFile() && info.size() == file.size();
#endif
}

bool RecordFiles::close()
{
    for (auto &file : m_files) {
        if (!file->isOpen())
            continue;
        if (!failed() && !stillAtPath(*file))
            fail(*file, QStringLiteral("the file was moved or deleted while it was being written"));
        if (!failed() && !syncToDisk(*file))
            fail(*file, file->errorString().isEmpty() ? QStringLiteral("could not be written to the disk")
                                                       : file->errorString());
        file->close();
    }
    return !failed();
}

bool readWholeFile(const QString &path, QString &text, QString &error)
{
    QFile file(path);
    if (QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path),
                                              QFileInfo(path).isDir() ? QStringLiteral("it is a folder, not a file")
                                                                     : file.errorString());
        return false;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFile::NoError) {
        error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), file.errorString());
        return false;
    }
    text = Cp1252::decode(bytes);
    return true;
}

QStringList splitFileLines(const QString &text)
{
    QStringList lines;
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (text.at(i) != QLatin1Char('\r'))
            continue;
        lines.append(text.mid(start, i - start));
        if (i + 1 < n && text.at(i + 1) == QLatin1Char('\n'))
            ++i;
        start = i + 1;
    }
    if (start < n)
        lines.append(text.mid(start));
    return lines;
}
