#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

/// A lock file that names its owner: the computer, the process, when it was
/// made and what it guards. Its owner refreshes it while it lives, so that
/// a lock is stale when its process is gone from this computer, when it
/// holds this process's own id though this process did not make it (ids are
/// reused), or when nobody refreshed it for two minutes on any computer (a
/// home folder shared by lab computers, one of which went down or lost its
/// display). A stale lock is taken over.
class OwnerLock
{
public:
    static constexpr int refreshSeconds = 30;
    static constexpr int staleSeconds = 120;

    struct Owner
    {
        QString host;
        qint64 pid = 0;
        QDateTime since;     ///< when the lock was made (UTC)
        QString guards;      ///< what the lock is for, as its owner named it
        QDateTime refreshed; ///< the file's last change (UTC)
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
    /// Marks the lock fresh; false when it is no longer this process's.
    bool refresh();
    /// Gives the lock up (its file goes) if it is still this process's.
    void unlock();
    bool isLocked() const { return m_locked; }
    QString path() const { return m_path; }
    /// Who holds the lock, after tryLock() returned Held.
    Owner owner() const { return m_owner; }
    QString error() const { return m_error; }

    /// The owner named in the lock file at `path`; nothing when there is no file.
    static std::optional<Owner> read(const QString &path);
    /// True when the lock file at `path`, read as `owner`, is left by an owner that is gone.
    static bool isStale(const QString &path, const Owner &owner);

private:
    QString m_path;
    QString m_guards;
    QDateTime m_since;
    bool m_locked = false;
    Owner m_owner;
    QString m_error;
};
