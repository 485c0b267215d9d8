// Paths as the system holds them, what they lead to, folders listed, and
// handed-in files read whole: one POSIX and one Windows branch each.

#include "platform/oscalls.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cstdlib>

#ifndef Q_OS_WIN
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#endif

namespace oscalls {

namespace {

const QString folderReason = QStringLiteral("a folder, not a file");
const QString missingReason = QStringLiteral("no such file or folder");

#ifndef Q_OS_WIN
QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QString kindReason(mode_t mode)
{
    if (S_ISDIR(mode))
        return folderReason;
    if (S_ISFIFO(mode))
        return QStringLiteral("a FIFO, not a regular file");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("a device, not a regular file");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket, not a regular file");
    return QStringLiteral("not a regular file");
}

Kind kindOf(mode_t mode)
{
    return S_ISREG(mode) ? Kind::Regular : S_ISDIR(mode) ? Kind::Folder : Kind::Other;
}
#endif

} // namespace

bool NativePath::isWithin(const NativePath &folder) const
{
    const NativePath self = absolute().cleaned(), outer = folder.absolute().cleaned();
    if (self == outer)
        return true;
#ifdef Q_OS_WIN
    const QString prefix = outer.m_native.endsWith(QLatin1Char('/')) ? outer.m_native : outer.m_native + QLatin1Char('/');
    return self.m_native.startsWith(prefix, Qt::CaseInsensitive);
#else
    const QByteArray prefix = outer.m_native.endsWith('/') ? outer.m_native : outer.m_native + '/';
    return self.m_native.startsWith(prefix);
#endif
}

#ifndef Q_OS_WIN

NativePath NativePath::fromText(const QString &path)
{
    return fromBytes(QFile::encodeName(path));
}

NativePath NativePath::fromBytes(const QByteArray &bytes)
{
    NativePath p;
    p.m_native = bytes;
    return p;
}

QString NativePath::shown() const
{
    return QFile::decodeName(m_native);
}

QString NativePath::name() const
{
    // A last part that is a plain name stays the last part once cleaned;
    // only ".", ".." or a trailing separator need the whole path cleaned.
    const QByteArray last = m_native.mid(m_native.lastIndexOf('/') + 1);
    if (!last.isEmpty() && last != "." && last != "..")
        return QFile::decodeName(last);
    const QByteArray c = cleaned().m_native;
    return QFile::decodeName(c.mid(c.lastIndexOf('/') + 1));
}

NativePath NativePath::operator/(const NativePath &child) const
{
    if (m_native.isEmpty() || m_native.endsWith('/'))
        return fromBytes(m_native + child.m_native);
    return fromBytes(m_native + '/' + child.m_native);
}

NativePath NativePath::absolute() const
{
    if (m_native.startsWith('/'))
        return *this;
    return fromText(QDir::currentPath()) / *this;
}

NativePath NativePath::cleaned() const
{
    const bool rooted = m_native.startsWith('/');
    std::vector<QByteArray> parts;
    for (const QByteArray &part : m_native.split('/')) {
        if (part.isEmpty() || part == ".")
            continue;
        if (part == ".." && !parts.empty() && parts.back() != "..")
            parts.pop_back();
        else if (!(part == ".." && rooted))
            parts.push_back(part);
    }
    QByteArray out = rooted ? QByteArray("/") : QByteArray();
    for (size_t i = 0; i < parts.size(); ++i)
        out += (i ? "/" : "") + parts[i];
    if (out.isEmpty())
        out = ".";
    return fromBytes(out);
}

NativePath NativePath::parent() const
{
    const QByteArray c = absolute().cleaned().m_native;
    const qsizetype slash = c.lastIndexOf('/');
    return fromBytes(slash <= 0 ? QByteArray("/") : c.left(slash));
}

PathInfo inspect(const NativePath &path)
{
    PathInfo info;
    struct stat st;
    // Most names are no link: what lstat says of them is what stat would.
    const bool named = ::lstat(path.bytes().constData(), &st) == 0;
    info.link = named && S_ISLNK(st.st_mode);
    if (!named || (info.link && ::stat(path.bytes().constData(), &st) != 0)) {
        const int error = errno;
        info.kind = error == ENOENT || error == ENOTDIR ? Kind::Missing : Kind::Unreadable;
        info.reason = info.kind == Kind::Missing ? missingReason : systemReason(error);
        return info;
    }
    info.kind = kindOf(st.st_mode);
    info.id.device = quint64(st.st_dev);
    info.id.file = quint64(st.st_ino);
    info.id.known = true;
    info.size = qint64(st.st_size);
    if (info.kind == Kind::Other)
        info.reason = kindReason(st.st_mode);
    return info;
}

NativePath resolved(const NativePath &path)
{
    char *real = ::realpath(path.bytes().constData(), nullptr);
    if (!real)
        return NativePath();
    const NativePath out = NativePath::fromBytes(QByteArray(real));
    std::free(real);
    return out;
}

bool listFolder(const NativePath &folder, std::vector<NativePath> &names, QString &reason)
{
    DIR *dir = ::opendir(folder.bytes().constData());
    if (!dir) {
        reason = systemReason(errno);
        return false;
    }
    std::vector<QByteArray> found;
    errno = 0;
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..")
            found.push_back(name);
    }
    const int error = errno;
    ::closedir(dir);
    if (error != 0) {
        reason = systemReason(error);
        return false;
    }
    std::sort(found.begin(), found.end());
    for (const QByteArray &name : found)
        names.push_back(NativePath::fromBytes(name));
    return true;
}

#else // Q_OS_WIN

NativePath NativePath::fromText(const QString &path)
{
    NativePath p;
    p.m_native = QDir::fromNativeSeparators(path);
    return p;
}

QString NativePath::shown() const
{
    return QDir::toNativeSeparators(m_native);
}

QString NativePath::name() const
{
    return QFileInfo(cleaned().m_native).fileName();
}

NativePath NativePath::operator/(const NativePath &child) const
{
    if (m_native.isEmpty() || m_native.endsWith(QLatin1Char('/')))
        return fromText(m_native + child.m_native);
    return fromText(m_native + QLatin1Char('/') + child.m_native);
}

NativePath NativePath::absolute() const
{
    return fromText(QFileInfo(m_native).absoluteFilePath());
}

NativePath NativePath::cleaned() const
{
    return fromText(QDir::cleanPath(m_native));
}

NativePath NativePath::parent() const
{
    return fromText(QFileInfo(absolute().cleaned().m_native).absolutePath());
}

PathInfo inspect(const NativePath &path)
{
    PathInfo info;
    const QFileInfo fi(path.shown());
    info.link = fi.isSymLink() || fi.isJunction();
    if (!fi.exists()) {
        info.reason = missingReason;
        return info;
    }
    info.kind = fi.isFile() ? Kind::Regular : fi.isDir() ? Kind::Folder : Kind::Other;
    info.size = fi.size();
    if (info.kind == Kind::Other)
        info.reason = QStringLiteral("not a regular file");
    info.id = identityAt(path.shown());
    if (!info.id.known && info.kind != Kind::Other) {
        info.kind = Kind::Unreadable;
        info.reason = QStringLiteral("cannot be opened");
    }
    return info;
}

NativePath resolved(const NativePath &path)
{
    const QString real = QFileInfo(path.shown()).canonicalFilePath();
    return real.isEmpty() ? NativePath() : NativePath::fromText(real);
}

bool listFolder(const NativePath &folder, std::vector<NativePath> &names, QString &reason)
{
    const QDir dir(folder.shown());
    if (!dir.isReadable()) {
        reason = QStringLiteral("the folder cannot be read");
        return false;
    }
    QStringList found = dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    std::sort(found.begin(), found.end());
    for (const QString &name : found)
        names.push_back(NativePath::fromText(name));
    return true;
}

#endif

} // namespace oscalls
