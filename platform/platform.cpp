#include "platform/platform.h"

#include "platform/oscalls.h"
#include "platform/typeahead.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>

#include <cstdlib>
#include <optional>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

QString Platform::applicationTitle()
{
    return QStringLiteral("Calculus Study");
}

QString QtPlatform::inputBox(const QString &prompt)
{
    QInputDialog dialog(m_parent);
    dialog.setWindowTitle(applicationTitle());
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setLabelText(prompt);
    // The long prompts would otherwise stretch the box across the screen.
    for (QLabel *label : dialog.findChildren<QLabel *>())
        label->setWordWrap(true);
    dialog.resize(420, dialog.sizeHint().height());
    // A rating typed straight after the command that asks for it goes into
    // the box, not the window under it.
    std::optional<TypeAhead> typeAhead;
    if (m_parent && m_parent->isVisible())
        typeAhead.emplace(m_parent, &dialog);
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    return dialog.textValue();
}

void QtPlatform::message(const QString &text)
{
    QMessageBox::warning(m_parent, applicationTitle(), text);
}

QDateTime QtPlatform::now()
{
    return QDateTime::currentDateTime();
}

void QtPlatform::seedRandom(quint32 seed)
{
    m_state = 0x853c49e6748fea9bULL ^ (quint64(seed) * 0x9e3779b97f4a7c15ULL);
    random();
}

float QtPlatform::random()
{
    // splitmix64: small, fast and uniform enough for noise characters and colours.
    quint64 z = (m_state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    z ^= z >> 31;
    // 24 random bits give every float of [0, 1) on the 2^-24 grid, never 1.
    return float(z >> 40) * (1.0f / 16777216.0f);
}

void QtPlatform::beep()
{
    QApplication::beep();
}

void QtPlatform::setClipboardImage(const QImage &image)
{
    if (QClipboard *clipboard = QGuiApplication::clipboard())
        clipboard->setImage(image);
}

QImage QtPlatform::clipboardImage()
{
    if (QClipboard *clipboard = QGuiApplication::clipboard())
        return clipboard->image();
    return QImage();
}

void QtPlatform::exitProcess()
{
    std::exit(exitStatus());
}

namespace {
std::function<void(const QString &)> &syncObserver()
{
    static std::function<void(const QString &)> observer;
    return observer;
}
} // namespace

void setSyncObserver(std::function<void(const QString &path)> observer)
{
    syncObserver() = std::move(observer);
}

bool syncToDisk(QFile &file)
{
    QString reason;
    return syncToDisk(file, reason);
}

namespace {

bool sync(QFile &file, QString &reason, bool dataOnly)
{
    if (oscalls::injectedFault(oscalls::Io::Sync, file.fileName(), reason))
        return false;
    if (!file.flush()) {
        reason = file.errorString();
        return false;
    }
#if defined(Q_OS_WIN)
    Q_UNUSED(dataOnly);
    const bool synced = _commit(file.handle()) == 0;
#elif defined(Q_OS_MACOS)
    Q_UNUSED(dataOnly);
    // fsync on macOS leaves the data in the drive's cache; F_FULLFSYNC asks
    // the drive to write it out. File systems without it take fsync.
    const bool synced = ::fcntl(file.handle(), F_FULLFSYNC) == 0 || ::fsync(file.handle()) == 0;
#elif defined(Q_OS_LINUX)
    const bool synced = (dataOnly ? ::fdatasync(file.handle()) : ::fsync(file.handle())) == 0;
#else
    Q_UNUSED(dataOnly);
    const bool synced = ::fsync(file.handle()) == 0;
#endif
    if (!synced) {
        reason = file.errorString().isEmpty() ? QStringLiteral("could not be written to the disk") : file.errorString();
        return false;
    }
    if (syncObserver())
        syncObserver()(file.fileName());
    return true;
}

} // namespace

bool syncToDisk(QFile &file, QString &reason)
{
    return sync(file, reason, false);
}

bool syncDataToDisk(QFile &file, QString &reason)
{
    return sync(file, reason, true);
}

bool syncFolderToDisk(const QString &path)
{
    QString reason;
    if (oscalls::injectedFault(oscalls::Io::Sync, path, reason))
        return false;
#ifdef Q_OS_WIN
    Q_UNUSED(path);
    return true; // NTFS journals its folders itself; a folder cannot be opened for a sync
#else
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    if (synced && syncObserver())
        syncObserver()(path);
    return synced;
#endif
}
