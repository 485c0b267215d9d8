#include "records/recordfiles.h"

#include "records/cp1252.h"
#include "platform/oscalls.h"
#include "platform/platform.h"

#include <QDir>
#include <QFileInfo>

RecordFiles::RecordFiles(const QStringList &paths)
{
    for (const QString &path : paths) {
        auto target = std::make_unique<Target>();
        target->path = path;
        if (!failed()) {
            QString reason;
            if (oscalls::openRegularFile(target->file, path, QIODevice::WriteOnly | QIODevice::Append, true, reason))
                target->start = target->file.size();
            else
                fail(path, reason);
        }
        m_files.push_back(std::move(target));
    }
}

RecordFiles::~RecordFiles()
{
    close();
}

bool RecordFiles::startedEmpty(int index) const
{
    return m_files[index]->start == 0;
}

void RecordFiles::fail(const QString &path, const QString &reason)
{
    if (m_error.isEmpty())
        m_error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), reason);
}

void RecordFiles::write(int index, const QByteArray &bytes)
{
    if (failed())
        return;
    Target &target = *m_files[index];
    target.wrote = true;
    // A write cut short (a disk that fills up) reports no reason; writing
    // the rest gets the system's reason for the message.
    qint64 done = 0;
    while (done < bytes.size()) {
        const qint64 n = target.file.write(bytes.constData() + done, bytes.size() - done);
        if (n <= 0) {
            fail(target.path, target.file.errorString());
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
static bool stillAtPath(QFile &file, const QString &path)
{
#ifdef Q_OS_WIN
    Q_UNUSED(file);
    Q_UNUSED(path);
    return true; // Windows refuses to delete or move a file that is open
#else
    const QFileInfo info(path);
    return info.isFile() && info.size() == file.size();
#endif
}

void RecordFiles::takeBack()
{
    // Cutting each file back to its length before the command leaves the
    // records before it byte for byte, and a retry writes the record once.
    for (auto &target : m_files) {
        if (!target->file.isOpen() || !target->wrote)
            continue;
        if (!target->file.resize(target->start) || !syncToDisk(target->file))
            m_error += QStringLiteral("\n(What was written of it in %1 could not be taken back: %2)")
                           .arg(QDir::toNativeSeparators(target->path), target->file.errorString());
        target->wrote = false;
    }
}

bool RecordFiles::close()
{
    for (auto &target : m_files) {
        if (!target->file.isOpen() || failed())
            continue;
        if (!stillAtPath(target->file, target->path))
            fail(target->path, QStringLiteral("the file was moved or deleted while it was being written"));
        else if (!syncToDisk(target->file))
            fail(target->path, target->file.errorString().isEmpty()
                                   ? QStringLiteral("could not be written to the disk")
                                   : target->file.errorString());
    }
    if (failed())
        takeBack();
    for (auto &target : m_files)
        target->file.close();
    return !failed();
}

void RecordFiles::abandon()
{
    takeBack();
    for (auto &target : m_files)
        target->file.close();
}

bool readWholeFile(const QString &path, QString &text, QString &error)
{
    oscalls::PathFile file;
    QString reason;
    if (!oscalls::openRegularFile(file, path, QIODevice::ReadOnly, true, reason)) {
        error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), reason);
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
