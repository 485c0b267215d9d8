#pragma once

#include "flow/queryform.h"
#include "platform/platform.h"

#include <QTemporaryDir>

#include <functional>
#include <memory>

/// A platform whose boxes are answered from a script and whose clock and
/// random numbers are fixed, so that every byte a run writes is foreseeable.
class ScriptedPlatform : public Platform
{
public:
    QStringList answers;                          ///< answers to the input boxes, in order
    std::function<QString(const QString &)> onInput; ///< when set, answers instead of the list
    QStringList prompts;                          ///< every prompt shown
    QStringList messages;                         ///< every message shown
    QStringList syncs;                            ///< the file name of every sync to disk, in order
    QList<qint64> syncedSizes;                    ///< each synced file's size on the disk at its sync
    QDateTime clock = QDateTime(QDate(2026, 3, 6), QTime(14, 5, 9));
    QList<float> randoms;                         ///< drawn first, then a fixed sequence
    int randomsDrawn = 0;
    int beeps = 0;
    int exits = 0;
    bool hasClipboard = true;
    QImage clipboard;
    QStringList chosenFolders;  ///< answers to the folder choosers, in order ("" is a Cancel)
    QStringList chosenFiles;    ///< answers to the file choosers, in order ("" is a Cancel)
    QStringList choosers;       ///< every chooser shown: "folder: title (start)" or "file: title (start; filter)"
    QStringList started;        ///< every process start asked for: the program, then its arguments, one a line
    QString failStart;          ///< when set, every process start fails with this reason
    QStringList opened;         ///< every path opened in the browser
    bool browserFails = false;  ///< when set, opening in the browser fails

    ScriptedPlatform();
    ~ScriptedPlatform() override;
    QString inputBox(const QString &prompt) override;
    void message(const QString &text) override { messages.append(text); }
    QDateTime now() override { return clock; }
    void seedRandom(quint32) override {}
    float random() override;
    void beep() override { ++beeps; }
    void setClipboardImage(const QImage &image) override;
    QImage clipboardImage() override { return hasClipboard ? clipboard : QImage(); }
    void exitProcess() override { ++exits; }
    QString chooseFolder(const QString &title, const QString &start) override;
    QString chooseFile(const QString &title, const QString &start, const QString &filter) override;
    /// A real process, unless failStart is set.
    bool startProcess(QProcess &process, const QString &program, const QStringList &arguments,
                      QString &reason) override;
    bool openInBrowser(const QString &path) override;

private:
    quint32 m_lcg = 12345;
};

/// The instructions the answer box is refilled with, as the student reads them.
inline const QString instructionsShown = QStringLiteral(
    "Enter, as appropriate, an answer to the question, a critique of your answer in response to a given answer, "
    "your insights regarding the situation at this point, notes to yourself, or just an OK.\r\n\r\n"
    "Always critique your solutions by describing any insights you had or errors you makde, and by explaining how "
    "you can make use of the insight or how you now know how to avoid certain errors.  Also pose for the "
    "instructor any question or questions that you have related to the problem or series of problems.");

/// The bytes of a file, or a null array when it cannot be read.
QByteArray bytesOf(const QString &path);
/// Writes `bytes` to `path`, making its folder first; false when it cannot.
bool writeBytes(const QString &path, const QByteArray &bytes);
/// The system's own words, in its own language, for why `path` cannot be
/// opened for appending, had by making that failure happen with QFile.
QString openFailureReason(const QString &path);

/// True when the tests run under Wine rather than on Windows itself.
bool underWine();

/// The events a Windows console gives the processes attached to it as it ends.
enum class ConsoleEvent { Close, LogOff, ShutDown };
/// Hands `event` to this process's console handlers as Windows does, on a
/// thread of their own; false where there is no such thing (not Windows).
bool sendConsoleEvent(ConsoleEvent event);

/// The separator the program puts between a folder and a file name.
#ifdef Q_OS_WIN
inline const QString fileSeparator = QStringLiteral("\\");
#else
inline const QString fileSeparator = QStringLiteral("/");
#endif

/// Writes `bytes` to the file `name` in `dir` and returns its path.
QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes);

/// A bank whose assignment 001 holds `entries` (content-file lines, one
/// entry each, "" for an empty one), followed by the heading of 002.
QString bankOfAssignmentOne(const QStringList &entries);

/// One run of the program in a temporary folder with a bank of the test's own.
class TestRun
{
public:
    QTemporaryDir dir;
    ScriptedPlatform platform;
    std::unique_ptr<QueryForm> form;

    /// Writes `bankText` (content-file format) as the bank; the student
    /// answers the start-up boxes with a name, "1", the output folder and
    /// `assignment`. With an empty bank text the compiled-in course is used.
    explicit TestRun(const QString &bankText = QString(), const QString &assignment = QStringLiteral("1"));
    /// Starts the run; false when it ended during start-up.
    bool start();
    QString outputFolder() const { return dir.filePath(QStringLiteral("out")); }
    QString outputPath(const QString &name) const { return outputFolder() + QLatin1Char('/') + name; }
    /// The bytes of an output file ("masterFile.txt", "send_0306.txt", "notes_.txt").
    QByteArray file(const QString &name) const;
    QString boxQuestion() const;
    QString boxAnswer() const;
    void typeAnswer(const QString &text);
};
