// calculus-study-report: reads the students' output files and writes the
// instructor's report (HTML, a site of pages, CSV and JSON).

#include "report/classmodel.h"
#include "report/classreader.h"
#include "report/coursetext.h"
#include "report/htmlreport.h"
#include "report/reportfiles.h"
#include "report/site.h"
#include "report/tableexport.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <cstdio>
#include <functional>

namespace {

void say(const QString &text)
{
    std::fputs(qPrintable(text + QLatin1Char('\n')), stderr);
}

/// The paths as the system gave them: on POSIX a name in another encoding
/// than the locale's (a Latin-1 folder from a Windows zip) is kept as bytes.
std::vector<inputfiles::NativePath> nativePaths(const QStringList &paths, int argc, char *argv[])
{
    std::vector<inputfiles::NativePath> out;
    for (const QString &path : paths) {
        inputfiles::NativePath native = inputfiles::NativePath::fromText(path);
#ifndef Q_OS_WIN
        for (int i = 1; i < argc; ++i)
            if (QFile::decodeName(argv[i]) == path) {
                native = inputfiles::NativePath::fromBytes(argv[i]);
                break;
            }
#else
        Q_UNUSED(argc);
        Q_UNUSED(argv);
#endif
        out.push_back(native);
    }
    return out;
}

/// Writes one output through `write`; false (said on standard error) when it could not be written.
bool writeOutput(const QString &path, const std::function<void(QIODevice &)> &write)
{
    OutputFile out(path);
    QString reason;
    if (out.open(reason)) {
        write(*out.device());
        if (out.commit(reason))
            return true;
    }
    say(QStringLiteral("calculus-study-report: cannot write %1: %2").arg(QDir::toNativeSeparators(path), reason));
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("calculus-study-report"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PROJECT_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Reads the files of the calculus study program (masterFile.txt, send_MMDD.txt, notes_.txt) and writes "
        "a report for the instructor.\nExit status: 0 all read, 1 some file gave a warning, 2 nothing could be "
        "read (or the command line was wrong, or an output would overwrite a file being read), 3 the report "
        "could not be written."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption html(QStringLiteral("html"), QStringLiteral("Write the report as one HTML file to FILE."), QStringLiteral("FILE"));
    const QCommandLineOption site(QStringLiteral("site"),
                                  QStringLiteral("Write the report as a folder of pages (index.html, a page per student "
                                                 "and per question, notes.html) to DIR."),
                                  QStringLiteral("DIR"));
    const QCommandLineOption csv(QStringLiteral("csv"), QStringLiteral("Write every record as CSV to FILE."), QStringLiteral("FILE"));
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("Write every record as JSON to FILE."), QStringLiteral("FILE"));
    const QCommandLineOption allCopies(QStringLiteral("all-copies"),
                                       QStringLiteral("In the CSV and JSON, keep every copy of a record (master, SEND "
                                                      "and notes file), naming the file of the first in copy_of."));
    parser.addOptions({html, site, csv, json, allCopies});
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

    QString htmlPath = parser.value(html);
    if (htmlPath.isEmpty() && !parser.isSet(csv) && !parser.isSet(json) && !parser.isSet(site)) {
        htmlPath = QDir::current().filePath(QStringLiteral("report.html"));
        say(QStringLiteral("writing %1").arg(QDir::toNativeSeparators(htmlPath)));
    }

    const CourseIndex course(courseEntries());
    ClassReader reader(course);
    reader.setKeepCopies(parser.isSet(allCopies));
    ClassData data = reader.find(nativePaths(paths, argc, argv));

    // Before anything is written: no output may take the place of a file
    // being read, nor carry the name of one of the program's files.
    std::set<inputfiles::FileId> inputs;
    for (const Student &s : data.students)
        for (const StudentFile &f : s.files)
            inputs.insert(f.id);
    for (const QString &output : {htmlPath, parser.value(csv), parser.value(json)}) {
        const QString refused = output.isEmpty() ? QString() : refusedOutput(output, inputs);
        if (!refused.isEmpty()) {
            say(QStringLiteral("calculus-study-report: will not write %1: %2").arg(QDir::toNativeSeparators(output), refused));
            return 2;
        }
    }
    if (parser.isSet(site)) {
        const QString refused = refusedSite(parser.value(site), inputs);
        if (!refused.isEmpty()) {
            say(QStringLiteral("calculus-study-report: will not write %1").arg(refused));
            return 2;
        }
    }

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
    reader.read(data);
    for (const ReadWarning &w : data.warnings)
        say(QStringLiteral("warning: %1%2: %3")
                .arg(QDir::toNativeSeparators(w.file), w.line > 0 ? QStringLiteral(":%1").arg(w.line) : QString(), w.message));
    if (shown)
        say(QStringLiteral("read %1 files of %2 students in %3 s").arg(data.filesRead).arg(data.students.size())
                .arg(double(clock.elapsed()) / 1000, 0, 'f', 1));

    const QDateTime made = QDateTime::currentDateTime();
    bool written = true;
    if (!htmlPath.isEmpty() || parser.isSet(site)) {
        const ClassSummary summary = summarize(data, course);
        if (!htmlPath.isEmpty())
            written = writeOutput(htmlPath, [&](QIODevice &out) { writeHtmlReport(out, data, summary, made); }) && written;
        if (parser.isSet(site)) {
            QString reason;
            if (!SiteWriter(data, summary, course, made).write(parser.value(site), inputs, reason)) {
                say(QStringLiteral("calculus-study-report: cannot write the site: %1").arg(reason));
                written = false;
            }
        }
    }
    if (parser.isSet(csv))
        written = writeOutput(parser.value(csv), [&](QIODevice &out) { writeCsv(out, data); }) && written;
    if (parser.isSet(json))
        written = writeOutput(parser.value(json), [&](QIODevice &out) { writeJson(out, data); }) && written;
    if (!written)
        return 3;

    if (data.records.empty())
        return 2;
    return data.hasWarnings() ? 1 : 0;
}
