#include "report/reportfiles.h"

#include "report/classreader.h"

#include <QDir>
#include <QFileInfo>

#include <cstdio>

bool OutputFile::open(QString &reason)
{
    if (m_path == QLatin1String("-")) {
        m_direct = std::make_unique<QFile>();
        if (!m_direct->open(stdout, QIODevice::WriteOnly)) {
            reason = m_direct->errorString();
            return false;
        }
        return true;
    }
    const inputfiles::PathInfo info = inputfiles::inspect(inputfiles::NativePath::fromText(m_path));
    if (info.kind == inputfiles::Kind::Folder) {
        reason = QStringLiteral("it is a folder");
        return false;
    }
    if (info.kind == inputfiles::Kind::Other) {
        // A device or a FIFO: replacing it with a file would break what
        // reads it (and, run as root, the system's /dev/null).
        m_direct = std::make_unique<QFile>(m_path);
        if (!m_direct->open(QIODevice::WriteOnly)) {
            reason = m_direct->errorString();
            return false;
        }
        return true;
    }
    // QSaveFile follows a link to the file it names and renames over that.
    m_save = std::make_unique<QSaveFile>(m_path);
    if (!m_save->open(QIODevice::WriteOnly)) {
        reason = m_save->errorString();
        return false;
    }
    return true;
}

bool OutputFile::commit(QString &reason)
{
    if (m_save) {
        if (!m_save->commit()) {
            reason = m_save->errorString();
            return false;
        }
        return true;
    }
    if (!m_direct->flush() || m_direct->error() != QFile::NoError) {
        reason = m_direct->errorString();
        return false;
    }
    m_direct->close();
    return true;
}

QString refusedOutput(const QString &path, const std::set<inputfiles::FileId> &inputs)
{
    if (path == QLatin1String("-"))
        return QString();
    const inputfiles::NativePath native = inputfiles::NativePath::fromText(path);
    if (ClassReader::isRecordFileName(native.name()))
        return QStringLiteral("it has the name of a file of the study program; name the report's own file");
    const inputfiles::PathInfo info = inputfiles::inspect(native);
    if (info.kind == inputfiles::Kind::Regular && inputs.count(info.id))
        return QStringLiteral("it is one of the files being read");
    return QString();
}

QString refusedSite(const QString &folder, const std::set<inputfiles::FileId> &inputs)
{
    std::vector<inputfiles::NativePath> names;
    QString reason;
    const inputfiles::NativePath dir = inputfiles::NativePath::fromText(folder);
    if (inputfiles::inspect(dir).kind != inputfiles::Kind::Folder || !inputfiles::listFolder(dir, names, reason))
        return QString();
    for (const inputfiles::NativePath &name : names) {
        const QString path = (dir / name).shown();
        const QString refused = refusedOutput(path, inputs);
        if (!refused.isEmpty())
            return QStringLiteral("%1: %2").arg(path, refused);
    }
    return QString();
}

bool makeSiteFolder(const QString &path, QString &reason)
{
    const QFileInfo info(path);
    if (info.exists() && !info.isDir()) {
        reason = QStringLiteral("it is not a folder");
        return false;
    }
    if (!info.exists() && !QDir().mkpath(path)) {
        reason = QStringLiteral("the folder cannot be made");
        return false;
    }
    return true;
}
