// calculus-study-report: reads the students' output files and writes the
// instructor's report (HTML, a site of pages, CSV and JSON), or with no
// output named a short summary on standard output.

#include "report/classmodel.h"
#include "report/classoptions.h"
#include "report/lookfirst.h"
#include "report/classreader.h"
#include "report/coursetext.h"
#include "report/htmlpages.h"
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
#include <memory>
#include <set>

namespace {

/// One line on standard error, every character a terminal could take for a command spelled out.
void say(const QString &text)
{
    std::fputs(qPrintable(terminalSafe(text) + QLatin1Char('\n')), stderr);
}

const QString outputOptions = QStringLiteral("--site DIR, --html FILE, --csv FILE, --json FILE or --gradebook FILE (- is standard output)");

/// The paths as the system gave them: on POSIX a name in another encoding
/// than the locale's (a Latin-1 folder from a Windows zip) is kept as bytes.
std::vector<oscalls::NativePath> nativePaths(const QStringList &paths, int argc, char *argv[])
{
    std::vector<oscalls::NativePath> out;
    for (const QString &path : paths) {
        oscalls::NativePath native = oscalls::NativePath::fromText(path);
#ifndef Q_OS_WIN
        for (int i = 1; i < argc; ++i)
            if (QFile::decodeName(argv[i]) == path) {
                native = oscalls::NativePath::fromBytes(argv[i]);
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

struct Options
{
    QString html, site, csv, json;
    bool allCopies = false;
    bool progress = false;
    QStringList paths;
    ClassOptions scope; ///< --roster, --since, --assignment, --gradebook
    bool anyOutput() const
    {
        return !html.isEmpty() || !site.isEmpty() || !csv.isEmpty() || !json.isEmpty() || !scope.gradebook.isEmpty();
    }
};

/// The command line read; a status to end with at once, or -1.
int parseCommandLine(QCommandLineParser &parser, Options &options)
{
    parser.setApplicationDescription(
        QStringLiteral("Reads the files of the calculus study program (masterFile.txt, send_MMDD.txt, notes_.txt) and writes "
                       "a report for the instructor. With no output option it writes nothing and prints a short summary "
                       "of the class on standard output; name an output with %1.\nExit status: 0 all read, 1 some file gave "
                       "a warning, 2 nothing could be read (or the command line was wrong, or an output was refused), 3 "
                       "the report could not be written. An output is replaced only when every output of the run was "
                       "written whole, and never by a run that read nothing.")
            .arg(outputOptions));
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
    const QCommandLineOption progress(QStringLiteral("progress"),
                                      QStringLiteral("Print the reading's progress on standard error from the first file "
                                                     "on, not only once reading takes more than a second."));
    parser.addOptions({html, site, csv, json, allCopies, progress});
    addClassOptions(parser);
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
    options.paths = parser.positionalArguments();
    if (options.paths.isEmpty()) {
        say(QStringLiteral("calculus-study-report: no PATH given\n") + parser.helpText());
        return 2;
    }
    options.html = parser.value(html);
    options.site = parser.value(site);
    options.csv = parser.value(csv);
    options.json = parser.value(json);
    options.allCopies = parser.isSet(allCopies);
    options.progress = parser.isSet(progress);
    if (QString error; !readClassOptions(parser, options.scope, error)) {
        say(QStringLiteral("calculus-study-report: ") + error);
        return 2;
    }
    return -1;
}

/// Why an output may not be written, said; false then. Before anything is
/// read or written: no output may take the place of a file being read, nor
/// go through what stands at its path.
bool outputsAllowed(const Options &options, const std::set<oscalls::Identity> &inputs)
{
    for (const QString &output : {options.html, options.csv, options.json, options.scope.gradebook}) {
        const QString refused = output.isEmpty() ? QString() : refusedOutput(output, inputs);
        if (!refused.isEmpty()) {
            say(QStringLiteral("calculus-study-report: will not write %1: %2").arg(QDir::toNativeSeparators(output), refused));
            return false;
        }
    }
    const QString refused = options.site.isEmpty() ? QString() : refusedSite(options.site, inputs, options.paths);
    if (!refused.isEmpty())
        say(QStringLiteral("calculus-study-report: will not write %1").arg(refused));
    return refused.isEmpty();
}

/// The flagged questions, a line each with the share and n that put it there.
QStringList flagLines(const ClassSummary &sum)
{
    if (sum.flagged.empty())
        return {};
    QStringList lines{QStringLiteral("Questions to look at first (students who rated them 0 or 1 or made a confident error, "
                                     "of those who answered):")};
    for (const int i : sum.flagged) {
        const QuestionSummary &q = sum.questions[size_t(i)];
        lines.append(QStringLiteral("  %1, %2: %3% of %4; %5")
                         .arg(Html::assignmentName(q.assignment), Html::itemName(q),
                              QString::number(qRound(q.flagShare() * 100)), QString::number(q.studentsAnswered), q.label));
    }
    return lines;
}

/// The class in a few lines on standard output, when no output is named.
void printSummary(const ClassData &data, const ClassSummary &sum)
{
    QStringList lines;
    lines.append(QStringLiteral("%1 student(s), %2 file(s) read, %3 response(s) and %4 note(s), %5 warning(s).")
                     .arg(QString::number(sum.students), QString::number(data.filesRead), QString::number(sum.responses),
                          QString::number(sum.notes), QString::number(data.warnings.size() + size_t(data.unlistedWarnings))));
    lines += flagLines(sum);
    lines.append(lookFirstLines(data, sum));
    lines.append(QStringLiteral("Nothing was written; name an output with %1.").arg(outputOptions));
    for (const QString &line : lines)
        std::fputs(qPrintable(terminalSafe(line) + QLatin1Char('\n')), stdout);
}

/// Every output of the run written beside its place, then all put in place
/// together; false (said) when one could not be written.
bool writeOutputs(const Options &options, const ClassData &data, const CourseIndex &course)
{
    const QDateTime made = QDateTime::currentDateTime();
    OutputSet outputs;
    QString reason;
    bool written = true;
    if (!options.html.isEmpty() || !options.site.isEmpty() || !options.scope.gradebook.isEmpty()) {
        const ClassSummary summary = summarize(data, course);
        if (!options.html.isEmpty())
            written = outputs.write(options.html, true, [&](QIODevice &out) { writeHtmlReport(out, data, summary, made); }, reason);
        if (written && !options.site.isEmpty())
            written = SiteWriter(data, summary, course, made).write(options.site, outputs, reason);
        if (written && !options.scope.gradebook.isEmpty())
            written = outputs.write(options.scope.gradebook, true, [&](QIODevice &out) {
                writeGradebook(out, data, summary, options.scope.dialect);
            }, reason);
    }
    if (written && !options.csv.isEmpty())
        written = outputs.write(options.csv, true, [&](QIODevice &out) { writeCsv(out, data); }, reason);
    if (written && !options.json.isEmpty())
        written = outputs.write(options.json, true, [&](QIODevice &out) { writeJson(out, data); }, reason);
    if (written && outputs.replaceAll(reason))
        return true;
    say(QStringLiteral("calculus-study-report: cannot write %1; the outputs of the last run are left as they were").arg(reason));
    return false;
}

/// Progress on standard error once reading takes more than a second, once a
/// second; `fromStart` (--progress, which the class report's window reads):
/// from the first file on, four times a second.
void showProgress(ClassReader &reader, QElapsedTimer &clock, bool &shown, bool fromStart)
{
    const qint64 after = fromStart ? 0 : 1000, every = fromStart ? 250 : 1000;
    auto lastShown = std::make_shared<qint64>(fromStart ? -every : 0);
    reader.setProgress([&clock, &shown, lastShown, after, every](int done, int total, qint64 bytes) {
        const qint64 now = clock.elapsed();
        if (now < after || (now - *lastShown < every && done < total))
            return;
        *lastShown = now;
        shown = true;
        say(QStringLiteral("reading: %1 of %2 files, %3 MB")
                .arg(QString::number(done), QString::number(total), QString::number(double(bytes) / 1e6, 'f', 1)));
    });
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("calculus-study-report"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PROJECT_VERSION));

    QCommandLineParser parser;
    Options options;
    if (const int status = parseCommandLine(parser, options); status >= 0)
        return status;

    const CourseIndex course(courseEntries());
    ClassReader reader(course);
    reader.setKeepCopies(options.allCopies);
    ClassData data = reader.find(nativePaths(options.paths, argc, argv));
    std::set<oscalls::Identity> inputs;
    for (const Student &s : data.students)
        for (const StudentFile &f : s.files)
            inputs.insert(f.id);
    if (!options.scope.rosterFile.isEmpty())
        inputs.insert(oscalls::identityAt(options.scope.rosterFile));
    if (!outputsAllowed(options, inputs))
        return 2;

    QElapsedTimer clock;
    clock.start();
    bool shown = false;
    showProgress(reader, clock, shown, options.progress);
    reader.read(data);
    applyClassOptions(data, options.scope);
    for (const ReadWarning &w : data.warnings)
        say(QStringLiteral("warning: %1%2: %3")
                .arg(QDir::toNativeSeparators(w.file), w.line > 0 ? QStringLiteral(":%1").arg(w.line) : QString(), w.message));
    if (data.unlistedWarnings > 0)
        say(QStringLiteral("warning: %1 more warning(s) not listed").arg(data.unlistedWarnings));
    if (shown)
        say(QStringLiteral("read %1 files of %2 students in %3 s")
                .arg(QString::number(data.filesRead), QString::number(data.students.size()),
                     QString::number(double(clock.elapsed()) / 1000, 'f', 1)));

    const int status = data.records.empty() ? 2 : data.hasWarnings() ? 1 : 0;
    if (data.records.empty()) {
        // Files read but no record in the window: a different thing to mend.
        const QString what = data.window.isEmpty() || data.filesRead == 0
                                 ? QStringLiteral("nothing was read")
                                 : QStringLiteral("no record read is in the window (%1)").arg(data.window);
        if (options.anyOutput())
            say(QStringLiteral("calculus-study-report: %1; no output written, the last ones are left as they were").arg(what));
        return status;
    }
    if (!options.anyOutput()) {
        printSummary(data, summarize(data, course));
        return status;
    }
    return writeOutputs(options, data, course) ? status : 3;
}
