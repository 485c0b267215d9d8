#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>

class QLockFile;

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
    /// Text an earlier window left unrecorded.
    struct LeftOver
    {
        QString text;
        QDateTime typed;      // with the offset from UTC it was typed in; invalid when unknown
        QString assignment;   // empty when the file did not say
        QString under;        // the first line of the question or answer it was typed under
        bool readable = true; // false: the file was not one this program wrote whole
        QString setAside;     // where an unreadable file was moved to (empty when it stayed)
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
    /// Takes over text left by a window that is gone (its lock stale);
    /// false when there is none. A live window's file is never touched, and
    /// a file that cannot be parsed is offered as text and set aside, never deleted.
    bool takeLeftOver(LeftOver &left);
    /// Says whether a text is the student's own typing, worth keeping.
    void setWorthKeeping(std::function<bool(const QString &)> test) { m_worthKeeping = std::move(test); }
    /// Says which assignment and which question or answer new typing belongs to.
    void setContextSource(std::function<QStringList()> source) { m_context = std::move(source); }
    /// The first problem with the recovery file this run, once; empty after that.
    QString takeProblem();
    bool pending() const { return m_timer.isActive(); }
    /// Gives up this window's lock at the end of the run; the file, if any,
    /// stays for the next start to offer back.
    void releaseLock();
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
    bool readLeftOver(const QString &path, LeftOver &left);

    QString m_folder;
    QString m_path;
    std::unique_ptr<QLockFile> m_lock;
    QString m_latest;
    std::function<bool(const QString &)> m_worthKeeping;
    std::function<QStringList()> m_context;
    QDateTime m_typed; // when the text now kept was first typed
    QString m_typedText; // the same, as written: formatted early, as the end of the process may be too late
    QString m_assignment;
    QString m_under;
    QTimer m_timer;
    QString m_problem;
    bool m_problemShown = false;
};
