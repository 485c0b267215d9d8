#pragma once

#include "platform/oscalls.h"

#include <QDateTime>
#include <QString>

#include <optional>

/// A lock file that names its owner: the computer, the process (its id and
/// when it started, so that a later process given the same id is not taken
/// for it), when it was made and what it guards. Its owner refreshes it
/// while it lives.
///
/// A lock is stale, and taken over, only when its owner is gone: on this
/// computer when its process is (a window stopped or asleep is not gone);
/// made on another computer, which cannot be asked, when nobody refreshed it
/// for two minutes; empty or unreadable (a kill as it was made), at once.
/// A lock appears with its contents or not at all to the one who made it:
/// the maker checks, after writing, that its file is still the one at the
/// path. A take-over moves the stale file away in one step (a rename) and
/// puts back what it moved if that was not the file judged stale, so a lock
/// another window has just made is never removed.
class OwnerLock
{
public:
    static constexpr int refreshSeconds = 30;
    static constexpr int staleSeconds = 120;

    struct Owner
    {
        QString host;
        qint64 pid = 0;
        QString started;     ///< what told the process apart when it made the lock (may be empty)
        QDateTime since;     ///< when the lock was made (UTC)
        QString guards;      ///< what the lock is for, as its owner named it
        QDateTime refreshed; ///< the file's last change (UTC)
        oscalls::Identity identity;
        bool readable = false;
    };

    enum Result { Locked, Held, Failed };

    /// A lock at `path` (not made yet) guarding what `guards` names.
    explicit OwnerLock(const QString &path, const QString &guards = QString());
    ~OwnerLock();
    OwnerLock(const OwnerLock &) = delete;
    OwnerLock &operator=(const OwnerLock &) = delete;

    /// Makes the lock, taking over a stale one. Held: another live owner
    /// has it (owner() tells who); Failed: it cannot be made (error() says why).
    Result tryLock();
    /// Marks the lock fresh; false when it is no longer this process's or
    /// cannot be written.
    bool refresh();
    /// Whether the lock is still this process's: its file at the path says
    /// so (Ours), another owner's is there (Taken), none is (Missing: a
    /// folder gone, or one plugged in again that lost it), or it cannot be
    /// read now (Unknown: the folder failing, which its files will show).
    enum class Hold { Ours, Taken, Missing, Unknown };
    Hold hold() const;
    /// True while the lock is this process's and its file says so.
    bool isHeld() const { return hold() == Hold::Ours; }
    /// Makes the lock again where its file went missing; false when another
    /// owner's is there now, or none can be made.
    bool remake();
    /// Gives the lock up: its file goes, if it is still this lock's own.
    void unlock();
    /// Lets the lock go without a word, as a killed process does: its file
    /// stays, stale, for the next owner to take over.
    void abandon();
    bool isLocked() const { return m_locked; }
    QString path() const { return m_path; }
    /// Who holds the lock, after tryLock() returned Held.
    Owner owner() const { return m_owner; }
    QString error() const { return m_error; }

    /// The owner named in the lock file at `path`; nothing when there is no file.
    static std::optional<Owner> read(const QString &path);
    /// True when a lock file read as `owner` is left by an owner that is gone.
    static bool isStale(const Owner &owner);

private:
    enum class Made { Yes, Taken, No };
    Made make(QString &reason);
    /// Moves the stale lock `found` out of the way; false when it cannot.
    bool takeOver(const Owner &found, QString &reason);

    QString m_path;
    QString m_guards;
    QByteArray m_contents;
    oscalls::Identity m_identity; // of the file this lock made
    bool m_locked = false;
    Owner m_owner;
    QString m_error;
};
