#pragma once

// The class report for an instructor who opens no console: the folder of the
// class and, when there is one, its roster are asked for with the desktop's
// choosers, calculus-study-report writes its site beside the class folder as a
// child process (a crash, or a class made to hurt its reader, cannot take this
// program with it), and the site's index is opened in the default browser.
// Every call to the system goes through the Platform; no widget here.

#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <memory>

class Platform;

class ClassReportRun : public QObject
{
    Q_OBJECT
public:
    /// `reportProgram` is the path of calculus-study-report, beside this program.
    ClassReportRun(Platform &platform, const QString &reportProgram, QObject *parent = nullptr);
    ~ClassReportRun() override;

    /// The folder the class chooser opens at (the home folder unless set).
    void setStartFolder(const QString &folder) { m_start = folder; }
    enum class Start { Started, Cancelled, Failed };
    /// Asks for the class folder and the roster and starts the report:
    /// Cancelled shows nothing more, Failed has told why in a box.
    Start start();
    /// True from start() until finished().
    bool running() const { return m_process != nullptr; }
    /// The site's folder of this run, known once start() has the class folder.
    QString siteFolder() const { return m_site; }

    /// Where the site of the class folder `classFolder` goes: "NAME report"
    /// beside it; empty for a folder with none beside it (a drive's root).
    static QString siteFolderFor(const QString &classFolder);
    /// The report's arguments for a site in `site` of the class `classFolder`,
    /// with `--roster` when a roster is given.
    static QStringList reportArguments(const QString &classFolder, const QString &roster, const QString &site);

signals:
    /// Reading: `done` of `total` files; writing the pages: 0 of 0. `text` says it in words.
    void progress(int done, int total, const QString &text);
    /// The run is over; `opened` when the site's index went to the browser.
    void finished(bool opened);

private:
    void readErrorOutput();
    void takeLine(const QString &line);
    void ended(int code, QProcess::ExitStatus status);
    void endWith(bool opened);

    Platform &m_platform;
    QString m_program, m_start, m_site;
    std::unique_ptr<QProcess> m_process;
    QByteArray m_partial;   // standard error after its last full line
    QStringList m_reasons;  // the report's own lines ("calculus-study-report: ..."), the first maxLines
    QStringList m_said;     // its other lines (warnings), the first maxLines of them
    int m_unsaid = 0;       // lines past either
};
