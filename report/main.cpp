// calculus-study-report: reads the students' output files and writes the
// instructor's report (HTML, and on request CSV and JSON).

#include "report/classmodel.h"
#include "report/classreader.h"
#include "report/coursetext.h"
#include "report/htmlreport.h"
#include "report/tableexport.h"

#include <QCommandLineParser>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QSaveFile>

#include <cstdio>

namespace {

void say(const QString &text)
{
    std::fputs(qPrintable(text + QLatin1Char('\n')), stderr);
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        say(QStringLiteral("calculus-study-report: cannot write %1: %2").arg(QDir::toNativeSeparators(path), file.errorString()));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    // The charts need fonts, not a screen: the report runs where no display is.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("calculus-study-report"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PROJECT_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Reads the files of the calculus study program (masterFile.txt, send_MMDD.txt, notes_.txt) and writes "
        "a report for the instructor.\nExit status: 0 all read, 1 some file gave a warning, 2 nothing could be "
        "read (or the command line was wrong), 3 the report could not be written."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption html(QStringLiteral("html"), QStringLiteral("Write the HTML report to FILE."), QStringLiteral("FILE"));
    const QCommandLineOption csv(QStringLiteral("csv"), QStringLiteral("Write every record as CSV to FILE."), QStringLiteral("FILE"));
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("Write every record as JSON to FILE."), QStringLiteral("FILE"));
    parser.addOptions({html, csv, json});
    parser.addPositionalArgument(QStringLiteral("PATH"),
                                 QStringLiteral("A student's folder, a folder of students' folders (a class), or single files."),
                                 QStringLiteral("PATH..."));
    // process() would end a mistyped option with status 1, which already
    // means "a file gave a warning": like a missing PATH, nothing was read.
    if (!parser.parse(QCoreApplication::arguments())) {
        say(QStringLiteral("calculus-study-report: ") + parser.errorText() + QLatin1Char('\n') + parser.helpText());
        return 2;
    }
    if (parser.isSet(help))
        parser.showHelp(0);
    if (parser.isSet(version))
        parser.showVersion();
    const QStringList paths = parser.positionalArguments();
    if (paths.isEmpty()) {
        say(QStringLiteral("calculus-study-report: no PATH given\n") + parser.helpText());
        return 2;
    }

    const CourseIndex course(courseEntries());
    ClassReader reader(course);
    QElapsedTimer clock;
    clock.start();
    qint64 lastShown = 0;
    bool shown = false;
    reader.setProgress([&](int done, int total, qint64 bytes) {
        const qint64 now = clock.elapsed();
        if (now < 1000 || (now - lastShown < 1000 && done < total))
            return;
        lastShown = now;
        shown = true;
        say(QStringLiteral("reading: %1 of %2 files, %3 MB").arg(done).arg(total).arg(double(bytes) / 1e6, 0, 'f', 1));
    });
    const ClassData data = reader.read(paths);
    for (const ReadWarning &w : data.warnings)
        say(QStringLiteral("warning: %1%2: %3")
                .arg(QDir::toNativeSeparators(w.file), w.line > 0 ? QStringLiteral(":%1").arg(w.line) : QString(), w.message));
    if (shown)
        say(QStringLiteral("read %1 files of %2 students in %3 s").arg(data.filesRead).arg(data.students.size())
                .arg(double(clock.elapsed()) / 1000, 0, 'f', 1));

    QString htmlPath = parser.value(html);
    if (htmlPath.isEmpty() && !parser.isSet(csv) && !parser.isSet(json)) {
        htmlPath = QDir::current().filePath(QStringLiteral("report.html"));
        say(QStringLiteral("writing %1").arg(QDir::toNativeSeparators(htmlPath)));
    }
    bool written = true;
    if (!htmlPath.isEmpty())
        written = writeFile(htmlPath, htmlReport(data, summarize(data), QDateTime::currentDateTime()).toUtf8()) && written;
    if (parser.isSet(csv))
        written = writeFile(parser.value(csv), csvTable(data)) && written;
    if (parser.isSet(json))
        written = writeFile(parser.value(json), jsonTable(data)) && written;
    if (!written)
        return 3;

    if (data.records.empty())
        return 2;
    return data.hasWarnings() ? 1 : 0;
}
