#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTimer>

/// Keeps the text of the answer box in a file of its own while the student
/// types, so that a crash or a power cut loses at most the last second of
/// typing. The file lives in the user's data folder, never in the output
/// folder: the instructor's files do not change by one byte.
class AnswerRecovery : public QObject
{
    Q_OBJECT
public:
    /// Recovery kept in `path`; nothing is read or written before it is asked for.
    explicit AnswerRecovery(const QString &path, QObject *parent = nullptr);

    /// The answer box changed; its text is kept about a second later.
    void textChanged(const QString &text);
    /// Keeps `text` now (empty, or not worth keeping, removes the file).
    void keepNow(const QString &text);
    /// The box holds nothing unrecorded any more.
    void discard();
    /// Text left by an earlier run, and when it was typed; false when none.
    /// A file that is not a recovery file is renamed aside, not trusted.
    bool takeLeftOver(QString &text, QDateTime &typed);
    /// Texts never worth keeping (the instructions, the box's first blank).
    void setIgnoredTexts(const QStringList &texts) { m_ignored = texts; }
    /// The first problem with the recovery file this run, once; empty after that.
    QString takeProblem();
    bool pending() const { return m_timer.isActive(); }

    static QString defaultPath();

signals:
    /// The recovery file could not be read or written (said once per run).
    void problemFound();

private:
    void fail(const QString &what);

    QString m_path;
    QString m_latest;
    QStringList m_ignored;
    QTimer m_timer;
    QString m_problem;
    bool m_problemShown = false;
};
