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
// until the class has 300 students. Usage: reportbench [--students=N]
// [--reps=N] [--keep=FOLDER] [--no-program] (reading alone).

#include "flow/queryform.h"
#include "tests/formaccess.h"
#include "records/cp1252.h"
#include "report/classmodel.h"
#include "report/classreader.h"
#include "report/coursetext.h"
#include "report/htmlreport.h"
#include "platform/platform.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

/// Answers the start-up boxes from a list and every rating from a seeded
/// generator (mostly 0 to 3, now and then a blank or a word); its clock is
/// moved on by the driver.
class SemesterPlatform : public Platform
{
public:
    QStringList answers;
    QDateTime clock;
    quint32 seed = 1;
    int exits = 0;
    QStringList messages;

    quint32 next()
    {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    }
    QString inputBox(const QString &) override
    {
        if (!answers.isEmpty())
            return answers.takeFirst();
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
void writeSemester(const QString &folder, quint32 seed)
{
    SemesterPlatform platform;
    platform.seed = seed;
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

ProgramRun runReport(const QStringList &arguments)
{
    std::vector<QByteArray> args{QByteArray(REPORT_PROGRAM)};
    for (const QString &a : arguments)
        args.push_back(QFile::encodeName(a));
    std::vector<char *> argv;
    for (QByteArray &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    QElapsedTimer timer;
    timer.start();
    const pid_t pid = fork();
    if (pid == 0) {
        // Progress and warnings are not what is measured.
        freopen("/dev/null", "w", stderr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    ProgramRun run;
    int status = 0;
    struct rusage usage;
    if (pid > 0 && wait4(pid, &status, 0, &usage) == pid) {
        run.ms = timer.nsecsElapsed() / 1e6;
        run.peakBytes = qint64(usage.ru_maxrss) * 1024;
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
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

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int students = 300, distinct = 5, reps = 5;
    QString keep;
    bool program = true;
    for (const QString &arg : app.arguments().mid(1)) {
        if (arg.startsWith(QLatin1String("--students=")))
            students = std::max(1, arg.mid(11).toInt());
        else if (arg.startsWith(QLatin1String("--reps=")))
            reps = std::max(1, arg.mid(7).toInt());
        else if (arg == QLatin1String("--no-program"))
            program = false;
        else if (arg.startsWith(QLatin1String("--keep=")))
            keep = arg.mid(7);
    }

    QTemporaryDir temp;
    const QString root = keep.isEmpty() ? temp.path() : keep;
    const QString classDir = root + QStringLiteral("/class");
    QElapsedTimer timer;
    timer.start();
    // A kept folder from an earlier run is used again as it is.
    const bool written = QFileInfo::exists(classDir + QStringLiteral("/student-%1").arg(students, 3, 10, QLatin1Char('0')));
    for (int i = 0; !written && i < std::min(distinct, students); ++i)
        writeSemester(root + QStringLiteral("/semester-%1").arg(i), quint32(1000 + i));
    const double writeSeconds = timer.elapsed() / 1000.0;
    for (int s = 0; !written && s < students; ++s) {
        const QString from = root + QStringLiteral("/semester-%1").arg(s % distinct);
        const QString to = classDir + QStringLiteral("/student-%1").arg(s + 1, 3, 10, QLatin1Char('0'));
        QDir().mkpath(to);
        for (const QString &name : QDir(from).entryList(QDir::Files))
            QFile::copy(from + QLatin1Char('/') + name, to + QLatin1Char('/') + name);
    }

    QStringList files;
    for (QDirIterator it(classDir, QDir::Files, QDirIterator::Subdirectories); it.hasNext();)
        files.append(it.next());
    files.sort();

    const CourseIndex course(courseEntries());
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
        if (rep == 0)
            continue; // the first pass fills the page cache
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
    double load[3] = {0, 0, 0};
    getloadavg(load, 3);

    // One student whose master and SEND files hold the same record 116,000
    // times: matching the copies must not take the square of that.
    const int identical = 116000;
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
    std::printf("class: %d students (%d distinct semesters written in %.1f s), %lld files, %.1f MB, %zu records\n",
                students, std::min(distinct, students), writeSeconds, qlonglong(files.size()), bytes / 1e6, records);
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
    std::printf("load average %.2f %.2f %.2f before reading, %.2f %.2f %.2f at the end, on %ld cores\n", loadBefore[0],
                loadBefore[1], loadBefore[2], load[0], load[1], load[2], sysconf(_SC_NPROCESSORS_ONLN));
    std::printf("{\"students\":%d,\"files\":%lld,\"bytes\":%lld,\"records\":%zu,\"read_ms\":%.1f,\"floor_ms\":%.1f,"
                "\"ratio\":%.3f,\"read_cpu_ms\":%.1f,\"floor_cpu_ms\":%.1f,\"cpu_ratio\":%.3f,\"html_ms\":%.1f,\"site_ms\":%.1f,\"site_peak_bytes\":%lld,\"one_file_peak_bytes\":%lld,"
                "\"largest_page_bytes\":%lld,\"identical_ms\":%.1f,\"load_before\":%.2f,\"load\":%.2f}\n",
                students, qlonglong(files.size()), qlonglong(bytes), records, r, f, r / f, rc, fc, rc / fc, h, (siteMs.empty() ? 0.0 : median(siteMs)),
                qlonglong(sitePeak), qlonglong(onePeak), qlonglong(largestPage), median(identicalMs), loadBefore[0], load[0]);
    return 0;
}
