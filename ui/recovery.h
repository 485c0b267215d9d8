#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include "records/recordjournal.h"

#include <functional>
#include <memory>

class OwnerLock;

/// Keeps the text of the answer box in a file of its own while the student
/// types, so that a crash or a power cut loses at most the last second of
/// typing. The files live in a folder of the user's data, never in the
/// output folder: the instructor's files do not change by one byte. Each
/// window has its own file, locked while the window lives, so two windows
/// never mix their typing and only a window that is gone leaves text to
/// restore.
class AnswerRecovery : public QObject
{
    Q_OBJECT
public:
    /// Where typing belongs: the assignment, the question or answer it was
    /// typed under, and the output folder (its identity and its name).
    struct Context
    {
        QString assignment;
        QString under; // the first line of the question or answer, short
        QString folderKey;
        QString folder;
    };

    /// Text an earlier window left unrecorded.
    struct LeftOver
    {
        QString text;
        QDateTime typed;      // with the offset from UTC it was typed in; invalid when unknown
        QString assignment;   // empty when the file did not say
        QString under;        // the first line of the question or answer it was typed under
        QString folder;       // the output folder it was typed for; empty when the file did not say
        bool readable = true; // false: the file was not one this program wrote whole
        QString setAside;     // where an unreadable file was moved to (empty when it stayed)
        QByteArray session;   // names this typing as typing() did in its window (empty: an older file)
    };

    /// Recovery kept in a file of this window's own in `folder`, locked at once.
    explicit AnswerRecovery(const QString &folder, QObject *parent = nullptr);
    ~AnswerRecovery() override;

    /// The answer box changed; its text is kept at most a second later,
    /// however steadily the student goes on typing.
    void textChanged(const QString &text);
    /// Keeps `text` now (empty, or not worth keeping, removes the file).
    void keepNow(const QString &text);
    /// The box holds nothing unrecorded any more.
    void discard();
    /// `text` as the typing a record holds: its session's name (begun anew
    /// after each record), when it was begun and where, for the journal.
    RecordJournal::Typing typing(const QString &text);
    /// Takes over typing the output folder's journal gave back, keeping its
    /// name and when and where it was typed, and keeps it now.
    void adopt(const RecordJournal::Typing &typing);
    /// Removes the typing left by windows that are gone for this folder
    /// whose session is among `sessions`: older copies of what is recorded
    /// or given back already.
    void discardLeftOvers(const QString &folderKey, const QString &folder, const QList<QByteArray> &sessions);
    /// Makes the removals of recovery files so far sure on the disk.
    void settle();
    /// Takes over text left for the output folder `folderKey` (or named
    /// `folder`) by a window that is gone (its lock stale); false when there
    /// is none. A live window's file, and one typed for another folder, is
    /// never touched; a file that cannot be parsed is offered as text and set
    /// aside, never deleted.
    bool takeLeftOver(LeftOver &left, const QString &folderKey, const QString &folder);
    /// Says whether a text is the student's own typing, worth keeping.
    void setWorthKeeping(std::function<bool(const QString &)> test) { m_worthKeeping = std::move(test); }
    /// Says which assignment, question or answer and output folder new typing belongs to.
    void setContextSource(std::function<Context()> source) { m_context = std::move(source); }
    /// The first problem with the recovery file this run, once; empty after that.
    QString takeProblem();
    bool pending() const { return m_timer.isActive(); }
    /// Gives up this window's lock at the end of the run; the file, if any,
    /// stays for the next start to offer back.
    void releaseLock();
    /// Marks this window's lock fresh, as its window lives.
    void refreshLock();
    /// This window's own recovery file.
    QString path() const { return m_path; }

    /// The folder the program keeps unrecorded typing in.
    static QString defaultFolder();

signals:
    /// The recovery file could not be read or written (said once per run).
    void problemFound();

private:
    void fail(const QString &path, const QString &what);
    bool write(const QString &text);
    void noteTypingStarted(const QString &text);
    /// Reads a left-over file; `folderKey` is the output folder it names.
    bool readLeftOver(const QString &path, LeftOver &left, QString &folderKey);
    /// The left-over files of windows that are gone, oldest first, each locked for this window.
    QStringList leftOverFiles();

    QString m_folder;
    QString m_path;
    std::unique_ptr<OwnerLock> m_lock;
    QString m_latest;
    std::function<bool(const QString &)> m_worthKeeping;
    std::function<Context()> m_context;
    QByteArray m_session; // names the typing kept now
    bool m_removedUnsynced = false;
    QDateTime m_typed; // when the text now kept was first typed
    QString m_typedText; // the same, as written: formatted early, as the end of the process may be too late
    Context m_where;
    QTimer m_timer;
    QString m_problem;
    bool m_problemShown = false;
};
