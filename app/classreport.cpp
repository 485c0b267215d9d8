#include "app/classreport.h"

#include "platform/platform.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

// The report's own lines kept for a box: a class of broken files can make
// thousands of warnings, and a box shows a screenful.
constexpr int maxLines = 20;
// A line longer than this is cut where it stands: what the child writes
// cannot make this program hold more.
constexpr int maxLineBytes = 4096;

const QString reportPrefix = QStringLiteral("calculus-study-report: ");

} // namespace

ClassReportRun::ClassReportRun(Platform &platform, const QString &reportProgram, QObject *parent)
    : QObject(parent), m_platform(platform), m_program(reportProgram), m_start(QDir::homePath())
{
}

ClassReportRun::~ClassReportRun()
{
    if (m_process) {
        m_process->disconnect(this);
        m_process->kill();
        m_process->waitForFinished(5000);
    }
}

QString ClassReportRun::siteFolderFor(const QString &classFolder)
{
    const QFileInfo folder(QDir::cleanPath(QFileInfo(classFolder).absoluteFilePath()));
    if (folder.fileName().isEmpty())
        return QString();
    return folder.absolutePath() + QLatin1Char('/') + folder.fileName() + QStringLiteral(" report");
}

QStringList ClassReportRun::reportArguments(const QString &classFolder, const QString &roster, const QString &site)
{
    QStringList arguments{QStringLiteral("--progress"), QStringLiteral("--site"), site};
    if (!roster.isEmpty())
        arguments << QStringLiteral("--roster") << roster;
    // "--": a class folder whose name begins with a dash is still a folder.
    return arguments << QStringLiteral("--") << classFolder;
}

ClassReportRun::Start ClassReportRun::start()
{
    if (m_process)
        return Start::Failed;
    const QString folder = m_platform.chooseFolder(
        QStringLiteral("Class report: choose the class folder (the folder of the students' folders)"), m_start);
    if (folder.isEmpty())
        return Start::Cancelled;
    const QString site = siteFolderFor(folder);
    if (site.isEmpty()) {
        m_platform.message(QStringLiteral("The report's pages go into a new folder beside the class folder, and %1 "
                                          "has nothing beside it. Choose a folder inside it.")
                               .arg(QDir::toNativeSeparators(folder)));
        return Start::Failed;
    }
    const QString roster =
        m_platform.chooseFile(QStringLiteral("Class report: choose the class's roster, a CSV file (Cancel: no roster)"),
                              QFileInfo(site).absolutePath(), QStringLiteral("CSV files (*.csv);;All files (*)"));
    m_site = site;
    m_reasons.clear();
    m_said.clear();
    m_unsaid = 0;
    m_partial.clear();
    m_process = std::make_unique<QProcess>();
    m_process->setProcessChannelMode(QProcess::SeparateChannels);
    m_process->setStandardOutputFile(QProcess::nullDevice());
    connect(m_process.get(), &QProcess::readyReadStandardError, this, &ClassReportRun::readErrorOutput);
    connect(m_process.get(), &QProcess::finished, this, &ClassReportRun::ended);
    QString reason;
    if (!m_platform.startProcess(*m_process, m_program, reportArguments(folder, roster, site), reason)) {
        m_process->disconnect(this);
        m_process.reset();
        m_platform.message(QStringLiteral("The report program %1 could not be started: %2")
                               .arg(QDir::toNativeSeparators(m_program), reason));
        return Start::Failed;
    }
    emit progress(0, 0, QStringLiteral("Starting the report of %1").arg(QDir::toNativeSeparators(folder)));
    return Start::Started;
}

void ClassReportRun::readErrorOutput()
{
    m_partial += m_process->readAllStandardError();
    for (;;) {
        int end = m_partial.indexOf('\n');
        if (end < 0 && m_partial.size() <= maxLineBytes)
            return;
        if (end < 0 || end > maxLineBytes)
            end = maxLineBytes;
        takeLine(QString::fromLocal8Bit(m_partial.left(end)));
        m_partial.remove(0, end + (end < m_partial.size() && m_partial.at(end) == '\n' ? 1 : 0));
    }
}

void ClassReportRun::takeLine(const QString &raw)
{
    static const QRegularExpression reading(QStringLiteral("^reading: (\\d+) of (\\d+) files, ([0-9.]+) MB$"));
    static const QRegularExpression read(QStringLiteral("^read \\d+ files of \\d+ students in "));
    QString line = raw;
    if (line.endsWith(QLatin1Char('\r')))
        line.chop(1);
    if (const QRegularExpressionMatch m = reading.match(line); m.hasMatch()) {
        emit progress(m.captured(1).toInt(), m.captured(2).toInt(),
                      QStringLiteral("Reading: %1 of %2 files, %3 MB").arg(m.captured(1), m.captured(2), m.captured(3)));
        return;
    }
    if (read.match(line).hasMatch()) {
        emit progress(0, 0, QStringLiteral("Writing the pages into %1").arg(QDir::toNativeSeparators(m_site)));
        return;
    }
    // Why the report failed comes first in a box, the warnings that tell more after it.
    QStringList &kept = line.startsWith(reportPrefix) ? m_reasons : m_said;
    if (&kept == &m_reasons)
        line.remove(0, reportPrefix.size());
    if (kept.size() < maxLines)
        kept.append(line);
    else
        ++m_unsaid;
}

void ClassReportRun::ended(int code, QProcess::ExitStatus status)
{
    readErrorOutput();
    if (!m_partial.isEmpty())
        takeLine(QString::fromLocal8Bit(m_partial));
    m_partial.clear();
    QString said = m_reasons.join(QLatin1Char('\n'));
    if (!m_reasons.isEmpty() && !m_said.isEmpty())
        said += QStringLiteral("\n\n");
    said += m_said.join(QLatin1Char('\n'));
    if (m_unsaid > 0)
        said += QStringLiteral("\n(%1 more line(s))").arg(m_unsaid);
    if (status != QProcess::NormalExit) {
        m_platform.message(
            QStringLiteral("The report program stopped before it was done (%1).\n\n%2").arg(m_process->errorString(), said));
        return endWith(false);
    }
    // 0: all read; 1: some file gave a warning, which the index lists.
    if (code > 1) {
        m_platform.message(QStringLiteral("The class report could not be made (status %1):\n\n%2").arg(code).arg(said));
        return endWith(false);
    }
    const QString index = m_site + QStringLiteral("/index.html");
    if (!m_platform.openInBrowser(index)) {
        m_platform.message(QStringLiteral("The class report is written, but no browser could be started for it. "
                                          "Open this page in a browser:\n\n%1")
                               .arg(QDir::toNativeSeparators(index)));
        return endWith(false);
    }
    endWith(true);
}

void ClassReportRun::endWith(bool opened)
{
    m_process->disconnect(this);
    m_process.release()->deleteLater();
    emit finished(opened);
}
