// reportbench: how fast the instructor's report reads a class, against the
// floor of reading and decoding the same bytes on one thread (wall time, and
// the CPU time of every thread, which other work on a shared machine
// disturbs less than the wall time of a reader on several); how long the
// real program takes to write the class site (and the one-file report with
// the CSV), with its peak memory against the class's size on disk, and the
// largest page.
//
// The class: a few students work through a whole semester (all 29
// assignments, one run each, on days four days apart) with the student
// program's own commands and record writers; their folders are then copied
// until the class has 300 students; three more semesters, of an unsure
// student, of a sure one whose work then needed correcting and of one who
// leaves the self-critiques out, are each copied to three of them. Then
// what a student can flood it with
// (63 MiB of bare record starts, four such files, 5 MB of texts the course
// lacks, made-up assignments in every student's folder), each through the
// real program with its peak memory and output size, and one student's
// records in 32,000 files against the same records in one. Usage:
// reportbench [--students=N] [--reps=N] [--keep=FOLDER] [--no-program]
// (reading alone) [--floods] (only the floods and the 32,000 files)
// [--many-files] (only the 32,000 files). The one-file report's size, and
// how long headless Chromium (when installed) takes to load it, are
// measured with the site.

#include "flow/queryform.h"
#include "tests/formaccess.h"
#include "records/cp1252.h"
#include "report/classmodel.h"
#include "report/classreader.h"
#include "report/coursetext.h"
#include "report/htmlreport.h"
#include "report/lookfirst.h"
#include "platform/platform.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTime>
#include <QTemporaryDir>
#include <QUrl>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

/// How a student rates: like most of the class, or one of the ways of a
/// student who needs help, each given to only a few students of the class.
enum class Rater {
    Usual,     ///< any of 0 to 3, now and then a blank or a word
    Unsure,    ///< confidence mostly 0 or 1
    Sure,      ///< confidence mostly 3, then a self-critique mostly 0 to 2
    NoCritique ///< most worked answers passed by without a self-critique
};

/// Answers the start-up boxes from a list and every rating from a seeded
/// generator as its rater would; its clock is moved on by the driver.
class SemesterPlatform : public Platform
{
public:
    QStringList answers;
    QDateTime clock;
    quint32 seed = 1;
    Rater rater = Rater::Usual;
    int exits = 0;
    QStringList messages;

    quint32 next()
    {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    }
    QString inputBox(const QString &prompt) override
    {
        if (!answers.isEmpty())
            return answers.takeFirst();
        const bool critique = prompt.startsWith(QLatin1String("Rate the quality of your self-critique"));
        const quint32 leaning = next() % 10;
        if (rater == Rater::Unsure && !critique && leaning < 8)
            return QString::number(leaning % 2);
        if (rater == Rater::Sure && leaning < 8)
            return critique ? QString::number(leaning % 3) : QStringLiteral("3");
        const quint32 r = next() % 40;
        return r == 0 ? QString() : r == 1 ? QStringLiteral("not sure") : QString::number(r % 4);
    }
    void message(const QString &text) override { messages.append(text); }
    QDateTime now() override { return clock; }
    void seedRandom(quint32) override {}
    float random() override { return float(next() % 16777216u) / 16777216.0f; }
    void beep() override {}
    void setClipboardImage(const QImage &) override {}
    QImage clipboardImage() override { return QImage(); }
    void exitProcess() override { ++exits; }
};

/// One student's semester with the program's own commands, into `folder`.
void writeSemester(const QString &folder, quint32 seed, Rater rater = Rater::Usual)
{
    SemesterPlatform platform;
    platform.seed = seed;
    platform.rater = rater;
    QDir().mkpath(folder);
    QDateTime clock(QDate(2026, 1, 12), QTime(18, 0, 0));
    static const QString words = QStringLiteral(
        "the derivative of x^2 is 2x so the slope at 3 is 6; I multiplied both sides by 6 and the inequality kept its "
        "direction because 6 is positive. My answer agrees with the given one except for the endpoint. ");
    for (int assignment = 1; assignment <= 29; ++assignment) {
        platform.clock = clock.addDays(4 * (assignment - 1));
        platform.answers = {QStringLiteral("Student"), QStringLiteral("1"), folder, QString::number(assignment)};
        platform.exits = 0;
        QueryForm form(platform);
        form.setDefaultFolder(folder);
        if (!form.startRun()) {
            std::fprintf(stderr, "start-up failed: %s\n", qPrintable(platform.messages.join(QLatin1Char(' '))));
            std::exit(2);
        }
        while (platform.exits == 0) {
            platform.clock = platform.clock.addSecs(30 + platform.next() % 240);
            inside(form).cmdNextQuestionClick();
            if (platform.exits)
                break;
            const quint32 r = platform.next() % 10;
            if (rater == Rater::NoCritique && inside(form).lastLineKind == QLatin1String("answer") && platform.next() % 10 < 8)
                continue; // the worked answer read, no self-critique given
            if (r < 7) {
                // Answers of one to several lines, some long.
                QString text = words.left(20 + int(platform.next() % words.size()));
                if (platform.next() % 4 == 0)
                    text += QStringLiteral("\r\n\r\n") + words;
                QueryForm::setBoxText(inside(form).txt_answer, text);
                inside(form).cmdEnterResponseClick();
            } else if (r == 7) {
                QueryForm::setBoxText(inside(form).txt_answer, QStringLiteral("ask in class about this one"));
                inside(form).cmdSaveAsNotesClick();
            }
        }
        if (!platform.messages.isEmpty()) {
            std::fprintf(stderr, "the program said: %s\n", qPrintable(platform.messages.first()));
            std::exit(2);
        }
    }
}

/// A run of the real report program: its wall time and peak resident memory.
struct ProgramRun
{
    double ms = 0;
    qint64 peakBytes = 0;
    int status = -1;
};

/// The launcher's side of runReport: runs the program in a child of its
/// own and prints the child's peak memory (KiB), time (ms) and status. On
/// Linux a child's peak counts the memory of the process it was forked
/// from, so the program is started from this small process, not from the
/// benchmark, which by then holds a class in memory.
int launch(char *argv[])
{
    QElapsedTimer timer;
    timer.start();
    const pid_t pid = fork();
    if (pid == 0) {
        // Progress and warnings are not what is measured.
        freopen("/dev/null", "w", stderr);
        freopen("/dev/null", "w", stdout);
        execv(argv[0], argv);
        _exit(127);
    }
    int status = 0;
    struct rusage usage;
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid)
        return 2;
    std::printf("%ld %.3f %d\n", long(usage.ru_maxrss), timer.nsecsElapsed() / 1e6, WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    return 0;
}

ProgramRun runReport(const QStringList &arguments)
{
    std::vector<QByteArray> args{QFile::encodeName(QCoreApplication::applicationFilePath()), QByteArray("--launch"),
                                 QByteArray(REPORT_PROGRAM)};
    for (const QString &a : arguments)
        args.push_back(QFile::encodeName(a));
    std::vector<char *> argv;
    for (QByteArray &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    int pipeEnds[2];
    ProgramRun run;
    if (pipe(pipeEnds) != 0)
        return run;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeEnds[1], STDOUT_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    ::close(pipeEnds[1]);
    char said[128] = {};
    ssize_t got = 0;
    for (ssize_t n; got < ssize_t(sizeof said) - 1 && (n = ::read(pipeEnds[0], said + got, sizeof said - 1 - size_t(got))) > 0;)
        got += n;
    ::close(pipeEnds[0]);
    int status = 0;
    long kib = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid && std::sscanf(said, "%ld %lf %d", &kib, &run.ms, &run.status) == 3)
        run.peakBytes = qint64(kib) * 1024;
    return run;
}

/// CPU time of the whole process (every thread, user and system), in ms: on
/// a machine shared with other work the wall time of a run on two threads
/// depends on how much of the second core it is given; this does not.
double cpuMs()
{
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

const QByteArray openLine = "......!!!!!!!!...................................\r\n";
const QByteArray headerOf001 = "\xfa\xe9\r\nassignment #001\r\n001.  `Query 1\r\nApplied Calculus I\r\n03-06-2026\r\n";

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

/// A file of `bytes` bytes of bare record starts (an opening line and a
/// time line, again and again) after a header: a record and a warning each.
QByteArray bareStarts(qint64 bytes)
{
    QByteArray out = headerOf001;
    const QByteArray start = openLine + QByteArray(36, ' ') + "10:00:00\r\n";
    out.reserve(bytes + start.size());
    while (out.size() + start.size() <= bytes)
        out += start;
    return out;
}

/// About `bytes` bytes of responses to texts the course does not have, each its own.
QByteArray unknownTexts(qint64 bytes)
{
    QByteArray out = headerOf001;
    for (int i = 0; out.size() < bytes; ++i)
        out += openLine + QByteArray(36, ' ') + "10:00:00\r\nA text of no course, number " + QByteArray::number(i)
               + ", long enough to look like a question of its own, with a second clause\r\n" + openLine
               + "RESPONSE -->  \r\nmy answer to it\r\nconfidence assessment:  1\r\n" + QByteArray(49, '.') + "\r\n";
    return out;
}

/// `count` runs of assignments the course does not have, one response each.
QByteArray madeUpAssignments(int count, int first)
{
    QByteArray out;
    for (int i = 0; i < count; ++i) {
        const QByteArray a = QByteArray::number(first + i);
        out += "\xfa\xe9\r\nassignment #" + a + "\r\n" + a + ".  `Query\r\nApplied Calculus I\r\n03-06-2026\r\n" + openLine
               + QByteArray(36, ' ') + "10:00:00\r\nmade up " + a + "\r\n" + openLine + "RESPONSE -->  \r\nx\r\n"
               + QByteArray(49, '.') + "\r\n";
    }
    return out;
}

qint64 bytesUnder(const QString &path)
{
    if (QFileInfo(path).isFile())
        return QFileInfo(path).size();
    qint64 total = 0;
    for (QDirIterator it(path, QDir::Files, QDirIterator::Subdirectories); it.hasNext();)
        total += QFileInfo(it.next()).size();
    return total;
}

int filesUnder(const QString &path)
{
    int n = 0;
    for (QDirIterator it(path, QDir::Files, QDirIterator::Subdirectories); it.hasNext(); it.next())
        ++n;
    return n;
}

/// One row of the flood table: the real program on `input`, its peak memory
/// against the class + 150 MiB, its output against the class.
bool floodRow(const char *name, const QString &input, const QStringList &options, const QString &output, QString &json)
{
    QFileInfo(output).isDir() ? void(QDir(output).removeRecursively()) : void(QFile::remove(output));
    const ProgramRun run = runReport(options + QStringList{input});
    const qint64 classBytes = bytesUnder(input), outBytes = bytesUnder(output);
    const double peak = run.peakBytes / 1048576.0, limit = (classBytes + (qint64(150) << 20)) / 1048576.0;
    const bool met = run.status >= 0 && run.status <= 1 && peak <= limit;
    std::printf("%-44s %7.1f MiB %6.0f ms   peak %5.0f MiB (limit %5.0f)   output %6.1f MB = %5.2f x class, %d file(s)  %s\n",
                name, classBytes / 1048576.0, run.ms, peak, limit, outBytes / 1e6, double(outBytes) / double(std::max<qint64>(1, classBytes)),
                QFileInfo(output).isDir() ? filesUnder(output) : 1, met ? "yes" : "NO");
    json += QStringLiteral("%1{\"case\":\"%2\",\"class_bytes\":%3,\"ms\":%4,\"peak_bytes\":%5,\"output_bytes\":%6,\"status\":%7}")
                .arg(json.isEmpty() ? QString() : QStringLiteral(","), QLatin1String(name), QString::number(classBytes),
                     QString::number(run.ms, 'f', 0), QString::number(run.peakBytes), QString::number(outBytes),
                     QString::number(run.status));
    return met;
}

/// The floods a student can hand in, each as the real program meets it.
bool measureFloods(const QString &root, const QString &classDir)
{
    const QString floods = root + QStringLiteral("/floods");
    const qint64 mib63 = qint64(63) << 20;
    const QByteArray bare = bareStarts(mib63);
    bool ok = writeFile(floods + QStringLiteral("/bare1/ann/masterFile.txt"), bare);
    for (const char *name : {"masterFile.txt", "send_0306.txt", "send_0307.txt", "send_0308.txt"})
        ok = writeFile(floods + QStringLiteral("/bare4/ann/") + QLatin1String(name), bare) && ok;
    ok = writeFile(floods + QStringLiteral("/unknown/ann/masterFile.txt"), unknownTexts(qint64(5) << 20)) && ok;
    // 3.25 MB of made-up assignments spread over the real class: a copy of it
    // with 36 runs of assignments the course lacks added to each student.
    const QString madeUp = floods + QStringLiteral("/madeup");
    if (!QFileInfo::exists(madeUp)) {
        for (QDirIterator it(classDir, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
            const QString from = it.next();
            const QString to = madeUp + from.mid(classDir.size());
            QDir().mkpath(QFileInfo(to).absolutePath());
            ok = QFile::copy(from, to) && ok;
        }
        int s = 0;
        for (const QString &student : QDir(madeUp).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
            ok = writeFile(madeUp + QLatin1Char('/') + student + QStringLiteral("/send_1231.txt"), madeUpAssignments(36, 100 + 36 * s++)) && ok;
    }
    if (!ok) {
        std::fprintf(stderr, "the flood files could not be written\n");
        return false;
    }
    std::printf("\nfloods (the real program; peak memory within the class + 150 MiB):\n");
    QString json;
    bool met = floodRow("63 MiB of bare record starts, --json", floods + QStringLiteral("/bare1"),
                        {QStringLiteral("--json"), root + QStringLiteral("/flood.json")}, root + QStringLiteral("/flood.json"), json);
    met = floodRow("63 MiB of bare record starts, --html", floods + QStringLiteral("/bare1"),
                   {QStringLiteral("--html"), root + QStringLiteral("/flood.html")}, root + QStringLiteral("/flood.html"), json) && met;
    met = floodRow("four such files in one student, --html --json", floods + QStringLiteral("/bare4"),
                   {QStringLiteral("--html"), root + QStringLiteral("/flood4.html"), QStringLiteral("--json"), root + QStringLiteral("/flood4.json")},
                   root + QStringLiteral("/flood4.html"), json) && met;
    met = floodRow("5 MB of texts the course lacks, --site", floods + QStringLiteral("/unknown"),
                   {QStringLiteral("--site"), root + QStringLiteral("/flood-site")}, root + QStringLiteral("/flood-site"), json) && met;
    met = floodRow("the class + 3.25 MB of made-up assignments, --site", madeUp,
                   {QStringLiteral("--site"), root + QStringLiteral("/madeup-site")}, root + QStringLiteral("/madeup-site"), json) && met;
    met = floodRow("the class as handed in, --site", classDir, {QStringLiteral("--site"), root + QStringLiteral("/class-site")},
                   root + QStringLiteral("/class-site"), json) && met;
    std::printf("  index.html of the class with made-up assignments: %.2f MB\n",
                QFileInfo(root + QStringLiteral("/madeup-site/index.html")).size() / 1e6);
    std::printf("{\"floods\":[%s]}\n", qPrintable(json));
    return met;
}

/// One student's records in 32,000 files against the same records in one:
/// matching copies and handling files must not grow with the square of the files.
/// How long headless Chromium takes from starting to load `page` to its
/// load event, in milliseconds, the median of three (a page beside it loads
/// `page` in a frame and puts the time in its title, which --dump-dom
/// prints once every frame has loaded); -1 without Chromium or on failure.
double chromiumLoadMs(const QString &page)
{
    const QString chromium = QStandardPaths::findExecutable(QStringLiteral("chromium"));
    const QString frame = QFileInfo(page).absolutePath() + QStringLiteral("/load-timer.html");
    if (chromium.isEmpty()
        || !writeFile(frame, "<!DOCTYPE html><html><head><title>not loaded</title></head><body>"
                             "<iframe id=\"f\" style=\"width:1200px;height:900px\"></iframe><script>"
                             "const t0 = performance.now(); const f = document.getElementById('f');"
                             "f.onload = () => { document.title = 'loaded in ' + Math.round(performance.now() - t0) + ' ms'; };"
                             "f.src = decodeURIComponent(location.hash.slice(1));</script></body></html>"))
        return -1;
    std::vector<double> ms;
    for (int rep = 0; rep < 3; ++rep) {
        QProcess p;
        p.start(chromium, {QStringLiteral("--headless"), QStringLiteral("--disable-gpu"), QStringLiteral("--no-sandbox"),
                           QStringLiteral("--dump-dom"),
                           QUrl::fromLocalFile(frame).toString() + QLatin1Char('#') + QFileInfo(page).fileName()});
        if (!p.waitForFinished(120000))
            return -1;
        const QRegularExpressionMatch m =
            QRegularExpression(QStringLiteral("<title>loaded in (\\d+) ms</title>")).match(QString::fromUtf8(p.readAllStandardOutput()));
        if (!m.hasMatch())
            return -1;
        ms.push_back(m.captured(1).toDouble());
    }
    return median(ms);
}

bool measureManyFiles(const QString &root, const CourseIndex &course)
{
    const int files = 32000;
    const QString many = root + QStringLiteral("/manyfiles/ann"), one = root + QStringLiteral("/onefile/ann");
    QByteArray all;
    if (!QFileInfo::exists(many + QStringLiteral("/send_x31999.txt"))) {
        for (int i = 0; i < files; ++i) {
            // Each file a run: its header and one response, a second apart.
            const QTime t = QTime(8, 0).addSecs(i);
            const QByteArray bytes = "\xfa" + QByteArray::number(i) + "\r\nassignment #001\r\n001.  `Query 1\r\nApplied Calculus I\r\n"
                                     "03-06-2026\r\n" + openLine + QByteArray(36, ' ') + t.toString(QStringLiteral("HH:mm:ss")).toLatin1()
                                     + "\r\nSection 0.1.28 solve x/2-x/3>5\r\n" + openLine + "RESPONSE -->  \r\nanswer "
                                     + QByteArray::number(i) + "\r\n"
                                     "confidence assessment:  2\r\n" + QByteArray(49, '.') + "\r\n";
            all += bytes;
            if (!writeFile(many + QStringLiteral("/send_x%1.txt").arg(i, 5, 10, QLatin1Char('0')), bytes))
                return false;
        }
        if (!writeFile(one + QStringLiteral("/masterFile.txt"), all))
            return false;
    }
    // The program as the instructor runs it, and the reader alone.
    std::vector<double> manyMs, oneMs, manyReadMs, oneReadMs;
    size_t manyRecords = 0, oneRecords = 0;
    QElapsedTimer timer;
    for (int rep = 0; rep < 6; ++rep) {
        const ProgramRun manyRun = runReport({QStringLiteral("--json"), QStringLiteral("/dev/null"), many});
        const ProgramRun oneRun = runReport({QStringLiteral("--json"), QStringLiteral("/dev/null"), one});
        timer.restart();
        manyRecords = ClassReader(course).read({many}).records.size();
        const double manyRead = timer.nsecsElapsed() / 1e6;
        timer.restart();
        oneRecords = ClassReader(course).read({one}).records.size();
        const double oneRead = timer.nsecsElapsed() / 1e6;
        if (rep == 0)
            continue; // the first pass fills the page cache
        manyMs.push_back(manyRun.ms);
        oneMs.push_back(oneRun.ms);
        manyReadMs.push_back(manyRead);
        oneReadMs.push_back(oneRead);
    }
    const double ratio = median(manyMs) / median(oneMs), readRatio = median(manyReadMs) / median(oneReadMs);
    std::printf("\n%-52s %7.0f ms   %zu records\n", "calculus-study-report --json: 32,000 files of one student", median(manyMs), manyRecords);
    std::printf("%-52s %7.0f ms   %zu records   ratio %.2f (target <= 2)  %s\n", "  the same records in one file", median(oneMs),
                oneRecords, ratio, ratio <= 2 ? "yes" : "NO");
    std::printf("%-52s %7.0f ms against %.0f ms   ratio %.2f\n", "  reading alone (finding, opening, parsing, matching)",
                median(manyReadMs), median(oneReadMs), readRatio);
    std::printf("{\"many_files_ms\":%.1f,\"one_file_ms\":%.1f,\"ratio\":%.3f,\"many_files_read_ms\":%.1f,\"one_file_read_ms\":%.1f}\n",
                median(manyMs), median(oneMs), ratio, median(manyReadMs), median(oneReadMs));
    return manyRecords == oneRecords;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc > 2 && qstrcmp(argv[1], "--launch") == 0)
        return launch(argv + 2);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int students = 300, distinct = 5, reps = 5;
    QString keep;
    bool program = true, floodsOnly = false, manyFilesOnly = false;
    for (const QString &arg : app.arguments().mid(1)) {
        if (arg.startsWith(QLatin1String("--students=")))
            students = std::max(1, arg.mid(11).toInt());
        else if (arg.startsWith(QLatin1String("--reps=")))
            reps = std::max(1, arg.mid(7).toInt());
        else if (arg == QLatin1String("--no-program"))
            program = false;
        else if (arg.startsWith(QLatin1String("--keep=")))
            keep = arg.mid(7);
        else if (arg == QLatin1String("--floods"))
            floodsOnly = true;
        else if (arg == QLatin1String("--many-files"))
            manyFilesOnly = true;
    }

    QTemporaryDir temp;
    const QString root = keep.isEmpty() ? temp.path() : keep;
    if (manyFilesOnly)
        return measureManyFiles(root, CourseIndex(courseEntries())) ? 0 : 1;
    const QString classDir = root + QStringLiteral("/class");
    QElapsedTimer timer;
    timer.start();
    // A kept folder from an earlier run is used again as it is.
    const bool written = QFileInfo::exists(classDir + QStringLiteral("/student-%1").arg(students, 3, 10, QLatin1Char('0')));
    for (int i = 0; !written && i < std::min(distinct, students); ++i)
        writeSemester(root + QStringLiteral("/semester-%1").arg(i), quint32(1000 + i));
    // A real class is not that uniform: three semesters of students who need
    // help, each copied to one student in a hundred, for the list of
    // students to look at first to have someone to name.
    const Rater struggling[] = {Rater::Unsure, Rater::Sure, Rater::NoCritique};
    const int strugglingAt[] = {37, 74, 91};
    for (int i = 0; !written && i < 3; ++i)
        if (strugglingAt[i] < students)
            writeSemester(root + QStringLiteral("/semester-%1").arg(distinct + i), quint32(2000 + i), struggling[i]);
    const double writeSeconds = timer.elapsed() / 1000.0;
    const auto semesterOf = [&](int s) {
        for (int i = 0; i < 3; ++i)
            if (s % 100 == strugglingAt[i])
                return distinct + i;
        return s % distinct;
    };
    for (int s = 0; !written && s < students; ++s) {
        const QString from = root + QStringLiteral("/semester-%1").arg(semesterOf(s));
        const QString to = classDir + QStringLiteral("/student-%1").arg(s + 1, 3, 10, QLatin1Char('0'));
        QDir().mkpath(to);
        for (const QString &name : QDir(from).entryList(QDir::Files))
            QFile::copy(from + QLatin1Char('/') + name, to + QLatin1Char('/') + name);
    }

    const CourseIndex course(courseEntries());
    if (floodsOnly) {
        const bool floods = measureFloods(root, classDir);
        return measureManyFiles(root, course) && floods ? 0 : 1;
    }

    QStringList files;
    for (QDirIterator it(classDir, QDir::Files, QDirIterator::Subdirectories); it.hasNext();)
        files.append(it.next());
    files.sort();

    std::vector<double> floorMs, readMs, reportMs, floorCpuMs, readCpuMs;
    double loadBefore[3] = {0, 0, 0};
    getloadavg(loadBefore, 3);
    qint64 bytes = 0;
    size_t records = 0;
    for (int rep = 0; rep < reps + 1; ++rep) {
        // The floor: every file's bytes read and decoded, nothing more.
        timer.restart();
        double cpu = cpuMs();
        qint64 total = 0;
        qint64 chars = 0;
        for (const QString &path : files) {
            QFile f(path);
            if (!f.open(QIODevice::ReadOnly))
                return 2;
            const QByteArray b = f.readAll();
            total += b.size();
            chars += Cp1252::decode(b).size();
        }
        const double floor = timer.nsecsElapsed() / 1e6;
        const double floorCpu = cpuMs() - cpu;
        if (chars != total)
            return 2;

        timer.restart();
        cpu = cpuMs();
        const ClassData data = ClassReader(course).read({classDir});
        const double read = timer.nsecsElapsed() / 1e6;
        const double readCpu = cpuMs() - cpu;
        timer.restart();
        const QString html = htmlReport(data, summarize(data, course), QDateTime::currentDateTime());
        const double report = timer.nsecsElapsed() / 1e6;
        if (data.hasWarnings() || data.students.size() != size_t(students)) {
            std::fprintf(stderr, "the class was not read whole (%zu warnings, first: %s %d %s)\n", data.warnings.size(),
                         data.warnings.empty() ? "" : qPrintable(data.warnings[0].file),
                         data.warnings.empty() ? 0 : data.warnings[0].line,
                         data.warnings.empty() ? "" : qPrintable(data.warnings[0].message));
            return 2;
        }
        bytes = total;
        records = data.records.size();
        if (rep == 0) {
            // The students the index names first must be those written as needing help.
            QStringList named, needing;
            for (const LookFirstStudent &s : lookFirst(data, summarize(data, course)).students)
                named.append(data.students[s.student].name);
            for (int s = 0; s < students; ++s)
                if (semesterOf(s) >= distinct)
                    needing.append(QStringLiteral("student-%1").arg(s + 1, 3, 10, QLatin1Char('0')));
            named.sort();
            std::printf("students to look at first: %s\n", qPrintable(named.join(QLatin1Char(' '))));
            if (named != needing) {
                std::fprintf(stderr, "the students to look at first are not those written as needing help: %s\n",
                             qPrintable(needing.join(QLatin1Char(' '))));
                return 2;
            }
            continue; // the first pass fills the page cache
        }
        floorMs.push_back(floor);
        readMs.push_back(read);
        floorCpuMs.push_back(floorCpu);
        readCpuMs.push_back(readCpu);
        reportMs.push_back(report);
        Q_UNUSED(html);
    }

    // The real program, as an instructor runs it.
    const QString siteDir = root + QStringLiteral("/site");
    std::vector<double> siteMs;
    qint64 sitePeak = 0, onePeak = 0;
    double oneMs = 0;
    for (int rep = 0; program && rep < std::max(1, reps / 2) + 1; ++rep) {
        QDir(siteDir).removeRecursively();
        const ProgramRun site = runReport({QStringLiteral("--site"), siteDir, classDir});
        if (site.status != 0) {
            std::fprintf(stderr, "the site run ended with status %d\n", site.status);
            return 2;
        }
        if (rep > 0)
            siteMs.push_back(site.ms);
        sitePeak = std::max(sitePeak, site.peakBytes);
    }
    if (program) {
        const ProgramRun one = runReport({QStringLiteral("--html"), root + QStringLiteral("/report.html"), QStringLiteral("--csv"),
                                          root + QStringLiteral("/report.csv"), classDir});
        if (one.status != 0) {
            std::fprintf(stderr, "the one-file run ended with status %d\n", one.status);
            return 2;
        }
        oneMs = one.ms;
        onePeak = one.peakBytes;
    }
    qint64 largestPage = 0, siteBytes = 0;
    int pages = 0;
    QString largestName;
    for (const QFileInfo &page : QDir(siteDir).entryInfoList(QDir::Files)) {
        ++pages;
        siteBytes += page.size();
        if (page.size() > largestPage) {
            largestPage = page.size();
            largestName = page.fileName();
        }
    }
    const qint64 oneFile = QFileInfo(root + QStringLiteral("/report.html")).size();
    const double oneLoadMs = program ? chromiumLoadMs(root + QStringLiteral("/report.html")) : -1;
    double load[3] = {0, 0, 0};
    getloadavg(load, 3);

    // One student whose master and SEND files hold the same record 99,999
    // times: matching the copies must not take the square of that.
    const int identical = 99999; // with the header, a file's cap of records (records/readlimits.h)
    {
        const QByteArray open = "......!!!!!!!!...................................\r\n";
        const QByteArray head = "\xfa\xe9\r\nassignment #001\r\n001.  `Query 1\r\nApplied Calculus I\r\n03-06-2026\r\n";
        const QByteArray body = "Section 0.1.28 solve x/2-x/3>5\r\n" + open + "RESPONSE -->  \r\nsame\r\nconfidence assessment:  2\r\n"
                                + QByteArray(49, '.') + "\r\n";
        const QByteArray time = open + QByteArray(36, ' ') + "10:00:00\r\n";
        QDir().mkpath(root + QStringLiteral("/identical/ann"));
        QFile master(root + QStringLiteral("/identical/ann/masterFile.txt")), send(root + QStringLiteral("/identical/ann/send_0306.txt"));
        if (!master.open(QIODevice::WriteOnly) || !send.open(QIODevice::WriteOnly))
            return 2;
        master.write(head);
        send.write(head);
        for (int i = 0; i < identical; ++i) {
            master.write(time + "\r\n\r\n`questionNumber 10001 \r\n" + body);
            send.write(time + body);
        }
    }
    std::vector<double> identicalMs;
    for (int rep = 0; rep < 3; ++rep) {
        timer.restart();
        const ClassData data = ClassReader(course).read({root + QStringLiteral("/identical")});
        identicalMs.push_back(timer.nsecsElapsed() / 1e6);
        if (data.records.size() != size_t(identical + 1)) {
            std::fprintf(stderr, "identical records: %zu read, not %d\n", data.records.size(), identical + 1);
            return 2;
        }
    }

    const double f = median(floorMs), r = median(readMs), h = median(reportMs);
    const double fc = median(floorCpuMs), rc = median(readCpuMs);
    int strugglingStudents = 0, strugglingSemesters = 0;
    for (int s = 0; s < students; ++s)
        strugglingStudents += semesterOf(s) >= distinct;
    for (int at : strugglingAt)
        strugglingSemesters += at < students;
    std::printf("class: %d students (%d usual semesters and %d of students who need help, on %d students, written in %.1f s), "
                "%lld files, %.1f MB, %zu records\n",
                students, std::min(distinct, students), strugglingSemesters, strugglingStudents, writeSeconds, qlonglong(files.size()), bytes / 1e6, records);
    std::printf("%-40s %10s %10s %7s\n", "figure", "measured", "floor", "ratio");
    std::printf("%-40s %7.0f ms %7.0f ms %7.2f\n", "read the class (records, course, copies)", r, f, r / f);
    std::printf("%-40s %7.0f ms %7.0f ms %7.2f\n", "  its CPU time (every thread, user+sys)", rc, fc, rc / fc);
    std::printf("%-40s %7.0f ms %10s %7s\n", "summary and HTML from what was read", h, "", "");
    std::printf("%-40s %7.0f ms   (%d in each of two files, matched once each)\n", "read one student's identical records",
                median(identicalMs), identical);
    const double limitMb = (bytes + (qint64(150) << 20)) / 1048576.0;
    std::printf("%-40s %7.0f ms   peak %4.0f MiB (limit %.0f MiB: class + 150 MiB)\n", "calculus-study-report --site",
                (siteMs.empty() ? 0.0 : median(siteMs)), sitePeak / 1048576.0, limitMb);
    std::printf("%-40s %7.0f ms   peak %4.0f MiB\n", "calculus-study-report --html --csv", oneMs, onePeak / 1048576.0);
    std::printf("site: %d pages, %.1f MB, largest %s %.2f MB; one-file report %.1f MB\n", pages, siteBytes / 1e6,
                qPrintable(largestName), largestPage / 1e6, oneFile / 1e6);
    if (oneLoadMs >= 0)
        std::printf("%-40s %7.0f ms   (headless Chromium, to its load event; target 3000 ms)\n", "the one-file report opened",
                    oneLoadMs);
    else
        std::printf("the one-file report opened: not measured (no chromium, or it did not load)\n");
    std::printf("load average %.2f %.2f %.2f before reading, %.2f %.2f %.2f at the end, on %ld cores\n", loadBefore[0],
                loadBefore[1], loadBefore[2], load[0], load[1], load[2], sysconf(_SC_NPROCESSORS_ONLN));
    std::printf("{\"students\":%d,\"files\":%lld,\"bytes\":%lld,\"records\":%zu,\"read_ms\":%.1f,\"floor_ms\":%.1f,"
                "\"ratio\":%.3f,\"read_cpu_ms\":%.1f,\"floor_cpu_ms\":%.1f,\"cpu_ratio\":%.3f,\"html_ms\":%.1f,\"site_ms\":%.1f,\"site_peak_bytes\":%lld,\"one_file_peak_bytes\":%lld,"
                "\"largest_page_bytes\":%lld,\"one_file_bytes\":%lld,\"one_file_load_ms\":%.1f,\"identical_ms\":%.1f,\"load_before\":%.2f,\"load\":%.2f}\n",
                students, qlonglong(files.size()), qlonglong(bytes), records, r, f, r / f, rc, fc, rc / fc, h, (siteMs.empty() ? 0.0 : median(siteMs)),
                qlonglong(sitePeak), qlonglong(onePeak), qlonglong(largestPage), qlonglong(oneFile), oneLoadMs, median(identicalMs), loadBefore[0], load[0]);
    const bool floods = measureFloods(root, classDir);
    return measureManyFiles(root, course) && floods ? 0 : 1;
}
