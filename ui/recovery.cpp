#include "ui/recovery.h"

#include "platform/oscalls.h"
#include "platform/ownerlock.h"
#include "platform/platform.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringDecoder>


namespace {

const QByteArray magicV1 = "calculus-study unrecorded answer 1\n";
const QByteArray magic = "calculus-study unrecorded answer 2\n";
const QString filePattern = QStringLiteral("answer-*.txt");

/// A recovery file's lock: held by its window while it lives, stale once
/// that window is gone (or has not refreshed it for two minutes).
std::unique_ptr<OwnerLock> lockFor(const QString &path)
{
    return std::make_unique<OwnerLock>(path + QStringLiteral(".lock"));
}

/// Writes `bytes` as the whole file at `path` in one step: a new file is
/// written and synced beside it and renamed over it, so that a crash leaves
/// either the old text or the new, never half of one.
bool replaceFileWith(const QString &path, const QByteArray &bytes, QString &reason)
{
    const QString fresh = path + QStringLiteral(".new");
    if (!oscalls::remove(fresh, reason))
        return false;
    oscalls::PathFile file;
    if (!oscalls::openRegularFile(file, fresh, QIODevice::WriteOnly | QIODevice::Append, false, reason))
        return false;
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (!oscalls::writeAll(file, bytes, reason))
        return false;
    if (!syncToDisk(file, reason))
        return false;
    file.close();
    if (!oscalls::rename(fresh, path, reason))
        return false;
    // The new name is on the disk only with its folder: without this a power
    // cut could leave the old text, or none, after a record was cut off.
    if (!syncFolderToDisk(QFileInfo(path).absolutePath())) {
        reason = QStringLiteral("its folder could not be written to the disk");
        return false;
    }
    return true;
}

/// A name for typing begun now in the window whose file is `path`, unlike
/// any other window's on any computer.
QByteArray newSession(const QString &path)
{
    static quint64 count = 0;
    const QByteArray seed = oscalls::hostName().toUtf8() + ' ' + QByteArray::number(QCoreApplication::applicationPid())
                            + ' ' + path.toUtf8() + ' ' + QByteArray::number(++count) + ' '
                            + QByteArray::number(QDateTime::currentMSecsSinceEpoch());
    return QCryptographicHash::hash(seed, QCryptographicHash::Sha1).toHex().left(24);
}

} // namespace

AnswerRecovery::AnswerRecovery(const QString &folder, QObject *parent) : QObject(parent), m_folder(folder)
{
    m_timer.setSingleShot(true);
    m_timer.setInterval(1000);
    connect(&m_timer, &QTimer::timeout, this, [this] { keepNow(m_latest); });

    static int windows = 0;
    QString reason;
    if (!oscalls::makeFolders(m_folder, reason)) {
        m_path = m_folder + QStringLiteral("/answer.txt");
        fail(QString(), reason);
        return;
    }
    // A name no earlier window left behind, so nothing of theirs is overwritten.
    do {
        m_path = QDir(m_folder).filePath(
            QStringLiteral("answer-%1-%2.txt").arg(QCoreApplication::applicationPid()).arg(windows++));
    } while (QFileInfo::exists(m_path) || QFileInfo::exists(m_path + QStringLiteral(".lock")));
    m_lock = lockFor(m_path);
    if (m_lock->tryLock() != OwnerLock::Locked) {
        fail(m_path, m_lock->error().isEmpty() ? QStringLiteral("it is locked by another window")
                                               : QStringLiteral("its lock cannot be made (%1)").arg(m_lock->error()));
        m_lock.reset();
    }
}

AnswerRecovery::~AnswerRecovery() = default;

QString AnswerRecovery::defaultFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
           + QStringLiteral("/calculus-study/unrecorded");
}

void AnswerRecovery::textChanged(const QString &text)
{
    m_latest = text;
    noteTypingStarted(text);
    // Not restarted by later keys: steady typing is kept every second.
    if (!m_timer.isActive())
        m_timer.start();
}

void AnswerRecovery::keepNow(const QString &text)
{
    m_timer.stop();
    m_latest = text;
    if (text.trimmed().isEmpty() || (m_worthKeeping && !m_worthKeeping(text))) {
        discard();
        return;
    }
    noteTypingStarted(text);
    write(text);
}

void AnswerRecovery::noteTypingStarted(const QString &text)
{
    // Taken when the typing starts, not when it is saved: a save at the
    // very end of the process (exit() after the display was lost) may find
    // the clock's time-zone data already gone.
    if (m_typed.isValid() || text.trimmed().isEmpty() || (m_worthKeeping && !m_worthKeeping(text)))
        return;
    const QDateTime now = QDateTime::currentDateTime();
    m_typed = now.toOffsetFromUtc(now.offsetFromUtc());
    m_typedText = m_typed.toString(Qt::ISODate);
    m_session = newSession(m_path);
    m_where = m_context ? m_context() : Context();
}

bool AnswerRecovery::write(const QString &text)
{
    if (!m_lock)
        return false; // not this window's file to write; said when it was found
    // Renaming over a planted link would put the text wherever it points.
    if (oscalls::isUnsafeToReplace(m_path)) {
        fail(m_path, QStringLiteral("it is not a regular file"));
        return false;
    }
    const auto oneLine = [](QString value) {
        return value.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' ')).toUtf8();
    };
    const QByteArray bytes = magic + "typed " + m_typedText.toUtf8() + '\n' + "session " + m_session + '\n' + "assignment "
                             + oneLine(m_where.assignment) + '\n' + "under " + oneLine(m_where.under) + '\n'
                             + "folderkey " + oneLine(m_where.folderKey) + '\n' + "folder "
                             + oneLine(m_where.folder) + "\n\n" + text.toUtf8();
    QString reason;
    if (!replaceFileWith(m_path, bytes, reason)) {
        fail(m_path, reason);
        return false;
    }
    return true;
}

void AnswerRecovery::releaseLock()
{
    m_lock.reset();
}

void AnswerRecovery::refreshLock()
{
    if (m_lock)
        m_lock->refresh();
}

void AnswerRecovery::discard()
{
    m_timer.stop();
    m_latest.clear();
    m_typed = QDateTime();
    m_typedText.clear();
    m_where = Context();
    m_session.clear();
    QString reason;
    if (m_lock && QFileInfo(m_path).exists()) {
        if (oscalls::remove(m_path, reason))
            m_removedUnsynced = true;
        else
            fail(m_path, QStringLiteral("it cannot be removed (%1)").arg(reason));
    }
}

void AnswerRecovery::settle()
{
    if (m_removedUnsynced && syncFolderToDisk(m_folder))
        m_removedUnsynced = false;
}

RecordJournal::Typing AnswerRecovery::typing(const QString &text)
{
    m_latest = text;
    noteTypingStarted(text);
    if (m_session.isEmpty()) // not the student's own typing: named all the same
        m_session = newSession(m_path);
    return {m_session, m_typedText, m_where.assignment, m_where.under, text};
}

void AnswerRecovery::adopt(const RecordJournal::Typing &typing)
{
    m_timer.stop();
    m_session = typing.session;
    m_typed = QDateTime::fromString(typing.typed, Qt::ISODate);
    if (!m_typed.isValid()) {
        const QDateTime now = QDateTime::currentDateTime();
        m_typed = now.toOffsetFromUtc(now.offsetFromUtc());
    }
    m_typedText = m_typed.toString(Qt::ISODate);
    m_where = m_context ? m_context() : Context();
    m_where.assignment = typing.assignment;
    m_where.under = typing.under;
    m_latest = typing.text;
    write(typing.text);
}


bool AnswerRecovery::readLeftOver(const QString &path, LeftOver &left, QString &folderKey)
{
    oscalls::PathFile file;
    QString reason;
    if (!oscalls::openRegularFile(file, path, QIODevice::ReadOnly, false, reason)) {
        fail(path, reason);
        return false;
    }
    const QByteArray bytes = file.readAll();
    file.close();
    QStringDecoder utf8(QStringDecoder::Utf8);
    if (bytes.startsWith(magic)) {
        const qsizetype end = bytes.indexOf("\n\n", magic.size() - 1);
        if (end > 0) {
            for (const QByteArray &field : bytes.mid(magic.size(), end - magic.size()).split('\n')) {
                const qsizetype space = field.indexOf(' ');
                const QByteArray key = field.left(space);
                const QString value = QString::fromUtf8(space < 0 ? QByteArray() : field.mid(space + 1));
                if (key == "typed")
                    left.typed = QDateTime::fromString(value, Qt::ISODate);
                else if (key == "session")
                    left.session = value.toLatin1();
                else if (key == "assignment")
                    left.assignment = value;
                else if (key == "under")
                    left.under = value;
                else if (key == "folderkey")
                    folderKey = value;
                else if (key == "folder")
                    left.folder = value;
            }
            left.text = utf8.decode(bytes.mid(end + 2));
            if (left.typed.isValid() && !utf8.hasError() && !left.text.isEmpty())
                return true;
        }
    } else if (bytes.startsWith(magicV1)) {
        const qsizetype end = bytes.indexOf('\n', magicV1.size());
        if (end > 0) {
            left.typed = QDateTime::fromString(QString::fromLatin1(bytes.mid(magicV1.size(), end - magicV1.size())),
                                               Qt::ISODate);
            left.text = utf8.decode(bytes.mid(end + 1));
            if (left.typed.isValid() && !utf8.hasError() && !left.text.isEmpty())
                return true;
        }
    }
    if (bytes.isEmpty())
        return false;
    // Not something this program wrote whole: the student still gets what
    // it holds, as it stands.
    QStringDecoder again(QStringDecoder::Utf8);
    left = LeftOver();
    folderKey.clear();
    left.readable = false;
    left.text = again.decode(bytes);
    if (again.hasError())
        left.text = QString::fromLatin1(bytes);
    return true;
}

QStringList AnswerRecovery::leftOverFiles()
{
    QStringList candidates;
    const QFileInfoList files = QDir(m_folder).entryInfoList({filePattern}, QDir::Files | QDir::System | QDir::Hidden,
                                                             QDir::Time | QDir::Reversed);
    for (const QFileInfo &info : files)
        if (info.absoluteFilePath() != QFileInfo(m_path).absoluteFilePath())
            candidates.append(info.absoluteFilePath());
    // The one file of the earlier versions, kept by one window at a time.
    const QString single = QFileInfo(m_folder).absolutePath() + QStringLiteral("/unrecorded-answer.txt");
    if (QFileInfo::exists(single) || QFileInfo(single).isSymLink())
        candidates.prepend(single);

    // Locks of windows that ended with nothing to keep, once stale, go.
    for (const QFileInfo &info : QDir(m_folder).entryInfoList({filePattern + QStringLiteral(".lock")}, QDir::Files)) {
        const QString text = info.absoluteFilePath().chopped(5);
        if (!QFileInfo::exists(text) && text != m_path)
            lockFor(text)->tryLock(); // taken if stale, and given up again at once
    }
    return candidates;
}

void AnswerRecovery::discardLeftOvers(const QString &folderKey, const QString &folder, const QList<QByteArray> &sessions)
{
    if (!m_lock || sessions.isEmpty())
        return;
    for (const QString &candidate : leftOverFiles()) {
        auto lock = lockFor(candidate);
        if (lock->tryLock() != OwnerLock::Locked)
            continue; // its window is still open: its typing is its own
        LeftOver left;
        QString leftFor;
        QString reason;
        if (readLeftOver(candidate, left, leftFor) && left.readable && !left.session.isEmpty()
            && sessions.contains(left.session) && (leftFor == folderKey || left.folder == folder)
            && oscalls::remove(candidate, reason))
            m_removedUnsynced = true;
    }
}

bool AnswerRecovery::takeLeftOver(LeftOver &left, const QString &folderKey, const QString &folder)
{
    if (!m_lock)
        return false;
    const QStringList candidates = leftOverFiles();
    for (const QString &candidate : candidates) {
        auto lock = lockFor(candidate);
        if (lock->tryLock() != OwnerLock::Locked)
            continue; // its window is still open: its typing is its own
        left = LeftOver();
        QString leftFor;
        if (!readLeftOver(candidate, left, leftFor))
            continue;
        // Typed for another output folder: it waits for a window on that one.
        // (The earlier versions did not say; their text goes to any.)
        if (left.readable && (!leftFor.isEmpty() || !left.folder.isEmpty()) && leftFor != folderKey
            && left.folder != folder)
            continue;
        if (!left.readable) {
            // The file itself is kept aside, never deleted.
            const QString aside = candidate + QStringLiteral(".unreadable-")
                                  + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
            QString reason;
            if (oscalls::rename(candidate, aside, reason))
                left.setAside = aside;
        }
        // This window takes the text over, keeping when and where it was
        // typed; the old file goes only once the text is safe in ours.
        m_typed = left.typed;
        m_where.assignment = left.assignment;
        m_where.under = left.under;
        m_where.folderKey = folderKey;
        m_where.folder = folder;
        if (!m_typed.isValid()) {
            const QDateTime now = QDateTime::currentDateTime();
            m_typed = now.toOffsetFromUtc(now.offsetFromUtc());
        }
        m_typedText = m_typed.toString(Qt::ISODate);
        m_session = left.session.isEmpty() ? newSession(m_path) : left.session;
        m_latest = left.text;
        QString reason;
        if (write(left.text) && left.readable)
            oscalls::remove(candidate, reason);
        return true;
    }
    return false;
}

void AnswerRecovery::fail(const QString &path, const QString &what)
{
    if (!m_problem.isEmpty() || m_problemShown)
        return;
    m_problem = path.isEmpty() ? what : QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), what);
    emit problemFound();
}

QString AnswerRecovery::takeProblem()
{
    if (m_problemShown || m_problem.isEmpty())
        return QString();
    m_problemShown = true;
    return m_problem;
}
