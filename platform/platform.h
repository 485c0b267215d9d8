#pragma once

#include <QDateTime>
#include <QImage>
#include <QString>
#include <QStringList>

#include "platform/ossync.h"

#include <functional>

class QProcess;
class QWidget;

// syncToDisk, syncFolderToDisk and their observer are in platform/ossync.h,
// which the instructor's report (Qt Core only) uses too.

/// Everything the program asks of the operating system besides files: the
/// modal boxes, the clock, the random numbers, the beep, the clipboard and the
/// end of the process. The program uses QtPlatform; tests put a scripted
/// platform in its place so that they can answer the boxes and read messages.
class Platform
{
public:
    virtual ~Platform() = default;

    /// Modal input box with an empty entry field; the typed text, or empty on Cancel.
    virtual QString inputBox(const QString &prompt) = 0;
    /// Modal message box that the student acknowledges.
    virtual void message(const QString &text) = 0;
    /// The clock, read afresh on each call.
    virtual QDateTime now() = 0;
    /// Seeds the one random generator of the run.
    virtual void seedRandom(quint32 seed) = 0;
    /// A uniform single-precision number in [0, 1).
    virtual float random() = 0;
    virtual void beep() = 0;
    virtual void setClipboardImage(const QImage &image) = 0;
    /// The picture the clipboard holds now; a null image when it holds none.
    virtual QImage clipboardImage() = 0;
    /// Ends the process at once, without further events, with exitStatus();
    /// only returns under test.
    virtual void exitProcess() = 0;
    /// The status the process ends with: 0 for a normal end, 1 after a fault.
    void setExitStatus(int status) { m_exitStatus = status; }
    int exitStatus() const { return m_exitStatus; }

    // The desktop's ways in, which the class report's launcher uses; a
    // platform that is never asked for them (the study window's) may keep
    // these, which act as a Cancel or a failure.

    /// Modal folder chooser opened at `start`; the folder chosen, or empty on Cancel.
    virtual QString chooseFolder(const QString &title, const QString &start);
    /// Modal chooser of one existing file of `filter` ("CSV files (*.csv)"); the file, or empty on Cancel.
    virtual QString chooseFile(const QString &title, const QString &start, const QString &filter);
    /// Starts `program` with `arguments` in `process`, whose signals the caller has
    /// connected; false with the system's reason when it could not be started.
    virtual bool startProcess(QProcess &process, const QString &program, const QStringList &arguments,
                              QString &reason);
    /// Opens the local file `path` with the desktop's program for it (a page: the
    /// default browser); false when nothing could be started.
    virtual bool openInBrowser(const QString &path);

    /// Title of every box the program shows.
    static QString applicationTitle();

private:
    int m_exitStatus = 0;
};

/// The real platform: Qt's own dialogs, clipboard and clock.
class QtPlatform : public Platform
{
public:
    explicit QtPlatform(QWidget *dialogParent = nullptr) : m_parent(dialogParent) {}
    void setDialogParent(QWidget *parent) { m_parent = parent; }

    QString inputBox(const QString &prompt) override;
    void message(const QString &text) override;
    QDateTime now() override;
    void seedRandom(quint32 seed) override;
    float random() override;
    void beep() override;
    void setClipboardImage(const QImage &image) override;
    QImage clipboardImage() override;
    void exitProcess() override;
    QString chooseFolder(const QString &title, const QString &start) override;
    QString chooseFile(const QString &title, const QString &start, const QString &filter) override;
    bool startProcess(QProcess &process, const QString &program, const QStringList &arguments,
                      QString &reason) override;
    bool openInBrowser(const QString &path) override;

private:
    QWidget *m_parent;
    quint64 m_state = 0x853c49e6748fea9bULL;
};
