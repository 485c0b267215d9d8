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
        QString reason;
        if (!failed()) {
            if (oscalls::openRegularFile(target->file, path, QIODevice::WriteOnly | QIODevice::Append, false, reason))
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

void RecordFiles::fail(const QString &path, const QString &reason)
{
    if (m_error.isEmpty())
        m_error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), reason);
}

void RecordFiles::line(const QString &text)
{
    const QByteArray bytes = Cp1252::encode(text) + "\r\n";
    for (auto &target : m_files) {
        QString reason;
        if (!failed() && !oscalls::writeAll(target->file, bytes, reason))
            fail(target->file.fileName(), reason);
    }
}

bool RecordFiles::close()
{
    if (m_closed)
        return !failed();
    m_closed = true;
    for (auto &target : m_files) {
        QString reason;
        if (target->file.isOpen() && !failed() && !syncToDisk(target->file, reason))
            fail(target->file.fileName(), reason);
    }
    // A file holds the whole text or none of it.
    for (auto &target : m_files) {
        QString reason;
        if (failed() && target->file.isOpen())
            oscalls::truncate(target->file, target->start, reason) && syncToDisk(target->file, reason);
        target->file.close();
    }
    return !failed();
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
