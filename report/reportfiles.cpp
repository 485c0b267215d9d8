#include "report/reportfiles.h"

#include "report/classreader.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

#include <algorithm>

bool OutputSet::write(const QString &path, bool named, const std::function<void(QIODevice &)> &write, QString &reason)
{
    auto file = std::make_unique<oscalls::ReplacingFile>();
    QString why;
    if (!file->open(path, named, why)) {
        reason = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), why);
        return false;
    }
    write(*file->device());
    if (!file->finish(why)) {
        reason = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), why);
        return false;
    }
    m_files.push_back(std::move(file));
    return true;
}

bool OutputSet::replaceAll(QString &reason)
{
    // In the order written; a rename that fails (rare: each stays in its
    // own folder) stops the rest, whose new files are removed.
    for (const auto &file : m_files) {
        QString why;
        if (!file->replace(why)) {
            reason = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(file->path()), why);
            return false;
        }
    }
    for (const auto &step : m_after)
        step();
    return true;
}

QString refusedOutput(const QString &path, const std::set<oscalls::Identity> &inputs, bool named)
{
    if (path == QLatin1String("-"))
        return QString();
    const oscalls::NativePath native = oscalls::NativePath::fromText(path);
    if (ClassReader::isRecordFileName(native.name()))
        return QStringLiteral("it has the name of a file of the study program; name the report's own file");
    const oscalls::PathInfo info = oscalls::inspect(native);
    if (info.kind == oscalls::Kind::Regular && inputs.count(info.id))
        return QStringLiteral("it is one of the files being read");
    switch (oscalls::outputPlace(path)) {
    case oscalls::OutputPlace::Missing:
    case oscalls::OutputPlace::Regular:
        return QString();
    case oscalls::OutputPlace::CharacterDevice:
        return named ? QString() : QStringLiteral("it is a device");
    case oscalls::OutputPlace::Link:
        return QStringLiteral("it is a symbolic link, and no output is written through a link");
    case oscalls::OutputPlace::Fifo:
        return QStringLiteral("it is a FIFO, which is never opened for an output (write to - and a pipe)");
    case oscalls::OutputPlace::Folder:
        return QStringLiteral("it is a folder");
    case oscalls::OutputPlace::Other:
        break;
    }
    return QStringLiteral("it is not a regular file");
}

const QString siteMarker = QStringLiteral(".calculus-study-report");

namespace {

const QByteArray markerFirstLine = "calculus-study-report: this folder is a site of pages this program wrote; "
                                   "its next run replaces them and removes those listed below.";
// A marker lists a class's pages: thousands of short names at most.
constexpr qint64 markerLimit = qint64(4) << 20;

} // namespace

bool isPlainPageName(const QString &name)
{
    if (name.isEmpty() || name.size() > 200 || name.contains(QLatin1String(".."))
        || !(name.endsWith(QLatin1String(".html")) || name.endsWith(QLatin1String(".css"))) || name.startsWith(QLatin1Char('.')))
        return false;
    return std::all_of(name.begin(), name.end(), [](QChar c) {
        const char16_t u = c.unicode();
        return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '-' || u == '_' || u == '.';
    });
}

SiteFolder inspectSite(const QString &folder)
{
    SiteFolder site;
    const oscalls::NativePath dir = oscalls::NativePath::fromText(folder);
    std::vector<oscalls::NativePath> names;
    QString why;
    if (oscalls::inspect(dir).kind != oscalls::Kind::Folder || !oscalls::listFolder(dir, names, why) || names.empty()) {
        site.ours = true; // made anew (or refused as no folder when it is made)
        return site;
    }
    // The marker is read only as a regular file of the folder itself: a
    // link planted in its place could name any file's lines as pages.
    const QString marker = QDir(folder).filePath(siteMarker);
    const oscalls::FileBytes bytes = oscalls::outputPlace(marker) == oscalls::OutputPlace::Regular
                                         ? oscalls::readRegularFile(oscalls::NativePath::fromText(marker), markerLimit)
                                         : oscalls::FileBytes();
    const QList<QByteArray> lines = bytes.ok ? bytes.bytes.split('\n') : QList<QByteArray>();
    if (lines.isEmpty() || lines.first() != markerFirstLine) {
        site.reason = QStringLiteral("it holds files and is not a site this program made (it has no %1 of its own); "
                                     "name a new or empty folder, or the folder of an earlier --site")
                          .arg(siteMarker);
        return site;
    }
    site.ours = true;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QString name = QString::fromUtf8(lines.at(i));
        if (isPlainPageName(name))
            site.pages.append(name);
    }
    return site;
}

QByteArray siteMarkerText(const QStringList &pages)
{
    QByteArray text = markerFirstLine + '\n';
    for (const QString &page : pages)
        text += page.toUtf8() + '\n';
    return text;
}

QStringList removeStalePages(const QString &folder, const QStringList &before, const QStringList &now)
{
    QStringList failed;
    const QSet<QString> kept(now.begin(), now.end());
    for (const QString &name : before) {
        if (kept.contains(name) || !isPlainPageName(name))
            continue;
        const QString path = QDir(folder).filePath(name);
        QString why;
        if (oscalls::outputPlace(path) == oscalls::OutputPlace::Regular && !oscalls::remove(path, why))
            failed.append(name);
    }
    return failed;
}

namespace {

/// `path` absolute, with the links and "." and ".." of the part of it that
/// exists resolved, as the system would go there.
QString resolvedPath(const QString &path)
{
    QString existing = QDir::cleanPath(QFileInfo(path).absoluteFilePath()), rest;
    while (!QFileInfo::exists(existing) && existing != QFileInfo(existing).path()) {
        rest = QFileInfo(existing).fileName() + (rest.isEmpty() ? QString() : QLatin1Char('/') + rest);
        existing = QFileInfo(existing).path();
    }
    const QString real = QFileInfo(existing).canonicalFilePath();
    return QDir::cleanPath((real.isEmpty() ? existing : real) + (rest.isEmpty() ? QString() : QLatin1Char('/') + rest));
}

} // namespace

QString refusedSite(const QString &folder, const std::set<oscalls::Identity> &inputs, const QStringList &read)
{
    // A site inside a folder being read would be read as a student's next time.
    const QString at = resolvedPath(folder);
    for (const QString &path : read) {
        const QString readFolder = QFileInfo(path).isDir() ? resolvedPath(path) : QString();
        if (!readFolder.isEmpty() && (at == readFolder || at.startsWith(readFolder + QLatin1Char('/'))))
            return QStringLiteral("%1: it is in %2, which is being read; name a folder outside the class's")
                .arg(QDir::toNativeSeparators(folder), QDir::toNativeSeparators(path));
    }
    const SiteFolder site = inspectSite(folder);
    if (!site.ours)
        return QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(folder), site.reason);
    // Before anything is read, which pages there will be is not known: any
    // page or stylesheet already there may be one.
    std::vector<oscalls::NativePath> names;
    QString reason;
    const oscalls::NativePath dir = oscalls::NativePath::fromText(folder);
    if (oscalls::inspect(dir).kind != oscalls::Kind::Folder || !oscalls::listFolder(dir, names, reason))
        return QString();
    for (const oscalls::NativePath &name : names) {
        if (!name.name().endsWith(QLatin1String(".html")) && !name.name().endsWith(QLatin1String(".css")))
            continue;
        const QString path = (dir / name).shown();
        const QString refused = refusedOutput(path, inputs, false);
        if (!refused.isEmpty())
            return QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), refused);
    }
    return QString();
}

bool makeSiteFolder(const QString &path, QString &reason)
{
    const QFileInfo info(path);
    if (info.exists() && !info.isDir()) {
        // As every other output's reason: "path: why".
        reason = QStringLiteral("%1: it is not a folder").arg(QDir::toNativeSeparators(path));
        return false;
    }
    if (info.exists() || oscalls::injectedFault(oscalls::Io::MakeFolder, path, reason))
        return info.exists();
    if (!QDir().mkpath(path)) {
        reason = QStringLiteral("%1: the folder cannot be made").arg(QDir::toNativeSeparators(path));
        return false;
    }
    return true;
}

QString terminalSafe(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        const bool control = u < 0x20 || (u >= 0x7F && u < 0xA0);
        const bool reordering = u == 0x061C || u == 0x200E || u == 0x200F || (u >= 0x202A && u <= 0x202E)
                                || (u >= 0x2066 && u <= 0x2069);
        if (control || reordering)
            out += (control ? QStringLiteral("\\x") : QStringLiteral("\\u"))
                   + QString::number(u, 16).toUpper().rightJustified(control ? 2 : 4, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}
