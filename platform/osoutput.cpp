// Outputs written beside their place and renamed into it, never through
// what stands at the path: one POSIX and one Windows branch each.

#include "platform/oscalls.h"
#include "platform/ossync.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cstdio>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace oscalls {

/// The output as the writers see it: each write passes the fault seam and
/// the first failure sticks, so that a writer need not look at every write.
class ReplacingFile::Device : public QIODevice
{
public:
    explicit Device(PathFile &file) : m_file(file) { QIODevice::open(QIODevice::WriteOnly | QIODevice::Unbuffered); }
    const QString &failure() const { return m_failure; }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override
    {
        QString reason;
        if (!m_failure.isEmpty())
            return -1;
        if (!writeAll(m_file, QByteArray::fromRawData(data, qsizetype(size)), reason)) {
            m_failure = reason;
            setErrorString(reason);
            return -1;
        }
        return size;
    }

private:
    PathFile &m_file;
    QString m_failure;
};

OutputPlace outputPlace(const QString &path)
{
#ifdef Q_OS_WIN
    // Windows' devices are names, not files in a folder.
    static const QStringList devices = {QStringLiteral("NUL"), QStringLiteral("CON")};
    if (devices.contains(QFileInfo(path).fileName(), Qt::CaseInsensitive) || path.startsWith(QLatin1String("\\\\.\\")))
        return OutputPlace::CharacterDevice;
    const QFileInfo info(path);
    if (info.isSymLink() || info.isJunction())
        return OutputPlace::Link;
    if (!info.exists())
        return OutputPlace::Missing;
    return info.isDir() ? OutputPlace::Folder : info.isFile() ? OutputPlace::Regular : OutputPlace::Other;
#else
    struct stat st;
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return OutputPlace::Missing;
    if (S_ISLNK(st.st_mode))
        return OutputPlace::Link;
    if (S_ISREG(st.st_mode))
        return OutputPlace::Regular;
    if (S_ISDIR(st.st_mode))
        return OutputPlace::Folder;
    if (S_ISCHR(st.st_mode))
        return OutputPlace::CharacterDevice;
    return S_ISFIFO(st.st_mode) ? OutputPlace::Fifo : OutputPlace::Other;
#endif
}

namespace {

QString refusal(OutputPlace place)
{
    switch (place) {
    case OutputPlace::Link:
        return QStringLiteral("it is a symbolic link, and no output is written through a link");
    case OutputPlace::Folder:
        return QStringLiteral("it is a folder");
    case OutputPlace::Fifo:
        return QStringLiteral("it is a FIFO, which is never opened for an output (write to - and a pipe)");
    case OutputPlace::CharacterDevice:
        return QStringLiteral("it is a device, written into only when named as the output itself");
    default:
        return QStringLiteral("it is not a regular file");
    }
}

/// Opens the device `path` straight, never following a link and never waiting.
bool openDevice(PathFile &file, const QString &path, QString &reason)
{
    if (injectedFault(Io::Open, path, reason))
        return false;
#ifdef Q_OS_WIN
    file.setFileName(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        reason = file.errorString();
        return false;
    }
    return true;
#else
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) {
        reason = fd < 0 ? QString::fromLocal8Bit(std::strerror(errno)) : refusal(OutputPlace::Other);
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    file.setPath(path);
    if (!file.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        reason = file.errorString();
        ::close(fd);
        return false;
    }
    return true;
#endif
}

} // namespace

ReplacingFile::ReplacingFile() = default;

ReplacingFile::~ReplacingFile()
{
    discard();
}

QIODevice *ReplacingFile::device() const
{
    return m_device.get();
}

bool ReplacingFile::open(const QString &path, bool intoDevice, QString &reason)
{
    m_path = path;
    m_file = std::make_unique<PathFile>();
    if (path == QLatin1String("-")) {
        m_straight = true;
        if (!m_file->open(stdout, QIODevice::WriteOnly)) {
            reason = m_file->errorString();
            return false;
        }
        m_device = std::make_unique<Device>(*m_file);
        return true;
    }
    const OutputPlace place = outputPlace(path);
    if (place == OutputPlace::CharacterDevice && intoDevice) {
        m_straight = true;
        if (!openDevice(*m_file, path, reason))
            return false;
        m_device = std::make_unique<Device>(*m_file);
        return true;
    }
    if (place != OutputPlace::Missing && place != OutputPlace::Regular) {
        reason = refusal(place);
        return false;
    }
    // A new name of its own in the same folder (so that the rename stays on
    // one file system), hidden; made only when nothing stands there, which
    // also means no link is followed.
    const QFileInfo info(path);
    const QString stem = info.absolutePath() + QStringLiteral("/.") + info.fileName() + QLatin1Char('.');
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QString candidate =
            stem + QString::number(QRandomGenerator::global()->generate() & 0xFFFFFF, 16) + QStringLiteral(".part");
        if (injectedFault(Io::Open, candidate, reason))
            return false;
        m_file->setFileName(candidate);
        if (m_file->open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            m_temporary = candidate;
            break;
        }
        reason = m_file->errorString();
        if (QFileInfo::exists(candidate) || QFileInfo(candidate).isSymLink())
            continue;
        return false;
    }
    if (m_temporary.isEmpty())
        return false;
    // The output keeps who may read it: a CSV of grades made private stays so.
    if (place == OutputPlace::Regular)
        m_file->setPermissions(QFile::permissions(path));
    m_device = std::make_unique<Device>(*m_file);
    return true;
}

bool ReplacingFile::finish(QString &reason)
{
    if (!m_device || !m_device->failure().isEmpty()) {
        reason = m_device ? m_device->failure() : QStringLiteral("it was not opened");
        return false;
    }
    if (m_straight) {
        if (!m_file->flush()) {
            reason = m_file->errorString();
            return false;
        }
        return true;
    }
    if (!syncToDisk(*m_file, reason))
        return false;
    m_file->close();
    return true;
}

bool ReplacingFile::replace(QString &reason)
{
    if (m_straight)
        return true;
    if (m_temporary.isEmpty()) {
        reason = QStringLiteral("it was not written");
        return false;
    }
    if (!rename(m_temporary, m_path, reason))
        return false;
    m_temporary.clear();
    syncFolderToDisk(QFileInfo(m_path).absolutePath());
    return true;
}

void ReplacingFile::discard()
{
    if (m_temporary.isEmpty())
        return;
    if (m_file)
        m_file->close();
    QString ignored;
    remove(m_temporary, ignored);
    m_temporary.clear();
}

} // namespace oscalls
