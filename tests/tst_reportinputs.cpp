// The report program run as an instructor runs it, on what students really
// hand in and on outputs that are not plain files: FIFOs, device nodes,
// links, folder names in another encoding, a forgotten output name. Real
// files in real temporary folders; POSIX only (FIFOs, device nodes, links).

#include "records/recordreader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <future>
#include <thread>


namespace {

const QByteArray openLine = "......!!!!!!!!...................................\r\n";

/// A SEND file of one run with one response.
QByteArray sendFile(const QByteArray &text)
{
    return "\xfa\xe9\r\nassignment #001\r\n001.  `Query 1\r\nApplied Calculus I\r\n03-06-2026\r\n" + openLine
           + QByteArray(36, ' ') + "10:00:00\r\nSection 0.1.28 solve x/2-x/3>5\r\n" + openLine + "RESPONSE -->  \r\n" + text
           + "\r\nconfidence assessment:  2\r\n.................................................\r\n";
}

bool writeTo(const QByteArray &path, const QByteArray &bytes)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    return ::close(fd) == 0 && ok;
}

struct Run
{
    int status = -1;
    QByteArray out, err;
};

/// Bytes the process `pid` has read so far (its rchar), or -1.
qint64 bytesReadBy(qint64 pid)
{
    QFile io(QStringLiteral("/proc/%1/io").arg(pid));
    if (!io.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : io.readAll().split('\n'))
        if (line.startsWith("rchar: "))
            return line.mid(7).toLongLong();
    return -1;
}

/// The real program in `dir`, given at most 30 s: a report that waits on a
/// FIFO fails here instead of hanging the suite. With `pauseAfter`, the
/// program is stopped (SIGSTOP) for 1.2 s once it has read that many
/// bytes, so that its reading takes over a second however fast the machine.
Run report(const QString &dir, const QStringList &arguments, qint64 pauseAfter = 0)
{
    QProcess p;
    p.setWorkingDirectory(dir);
    p.start(QStringLiteral(REPORT_PROGRAM), arguments);
    if (pauseAfter > 0 && p.waitForStarted()) {
        while (p.state() == QProcess::Running && bytesReadBy(p.processId()) < pauseAfter)
            QThread::msleep(1);
        ::kill(pid_t(p.processId()), SIGSTOP);
        QThread::msleep(1200);
        ::kill(pid_t(p.processId()), SIGCONT);
    }
    Run r;
    if (!p.waitForFinished(30000)) {
        p.kill();
        p.waitForFinished();
        r.err = "the report did not end";
        return r;
    }
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

/// The students of CSV rows (first field), in order, each once.
QStringList studentsOf(const QByteArray &csv)
{
    QStringList students;
    const QList<QByteArray> lines = csv.mid(3).split('\n');
    for (const QByteArray &line : lines.mid(1)) {
        const QString student = QString::fromUtf8(line.left(line.indexOf(',')));
        if (!student.isEmpty() && !students.contains(student))
            students.append(student);
    }
    return students;
}

} // namespace

class ReportInputsTest : public QObject
{
    Q_OBJECT
private slots:
    void inputs_data();
    void inputs();
    void outputs_data();
    void outputs();
    void readerRefusesWhatIsNotRegular_data();
    void readerRefusesWhatIsNotRegular();
    void readerReadsAFileThatGivesNoSize();
    void readerSizeCap_data();
    void readerSizeCap();
};

void ReportInputsTest::readerRefusesWhatIsNotRegular_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("warning");
    QTest::newRow("a FIFO nobody writes to") << "fifo" << "a FIFO, not a regular file";
    QTest::newRow("a link to a FIFO") << "link to fifo" << "a FIFO, not a regular file";
    QTest::newRow("a link to /dev/zero") << "link to zero" << "a device, not a regular file";
    QTest::newRow("a folder") << "folder" << "a folder, not a file";
}

void ReportInputsTest::readerRefusesWhatIsNotRegular()
{
    QFETCH(QString, kind);
    QFETCH(QString, warning);
    QTemporaryDir dir;
    const QByteArray root = QFile::encodeName(dir.path());
    const QByteArray path = root + "/masterFile.txt";
    if (kind == QLatin1String("fifo"))
        QVERIFY(::mkfifo(path, 0644) == 0);
    else if (kind == QLatin1String("link to fifo"))
        QVERIFY(::mkfifo(root + "/pipe", 0644) == 0 && ::symlink(root + "/pipe", path) == 0);
    else if (kind == QLatin1String("link to zero"))
        QVERIFY(::symlink("/dev/zero", path) == 0);
    else
        QVERIFY(::mkdir(path, 0755) == 0);
    // The reader itself, without the class reader's look before it: a
    // blocking open would wait for a writer that never comes.
    // A thread left behind, so that a reader that waits fails the test
    // instead of hanging it.
    auto promise = std::make_shared<std::promise<RecordFileContents>>();
    auto read = promise->get_future();
    std::thread([promise, file = QFile::decodeName(path)] { promise->set_value(readRecordFile(file)); }).detach();
    QVERIFY2(read.wait_for(std::chrono::seconds(10)) == std::future_status::ready, "the reader waited on the file");
    const RecordFileContents contents = read.get();
    QCOMPARE(int(contents.records.size()), 0);
    QCOMPARE(int(contents.warnings.size()), 1);
    QCOMPARE(contents.warnings.front().message, warning);
}

void ReportInputsTest::inputs_data()
{
    QTest::addColumn<QString>("setup");     // what is put in the class (see inputs())
    QTest::addColumn<QStringList>("paths"); // given to the report
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("warning"); // a line standard error must hold ("" for none)
    QTest::addColumn<QStringList>("students");
    QTest::addColumn<int>("rows"); // rows of the CSV below its header line

    QTest::newRow("a master file linked to a FIFO is refused, not waited on")
        << "fifo" << QStringList{"class"} << 1 << "warning: class/s1/masterFile.txt: a FIFO, not a regular file"
        << QStringList{"s1", "s2"} << 4;
    QTest::newRow("a notes file linked to /dev/zero is refused, not read")
        << "zero" << QStringList{"class"} << 1 << "warning: class/s1/notes_.txt: a device, not a regular file"
        << QStringList{"s1", "s2"} << 4;
    QTest::newRow("a file over 64 MiB is refused unread")
        << "huge" << QStringList{"class"} << 1
        << "warning: class/s1/masterFile.txt: larger than 64 MiB, far more than the program writes; not read"
        << QStringList{"s1", "s2"} << 4;
    QTest::newRow("a folder name that is not UTF-8 is kept, shown as the system decodes it")
        << "latin1" << QStringList{"class"} << 0 << "" << QStringList{"J\uFFFDr\uFFFDme", "s1", "s2"} << 6;
    QTest::newRow("a class and one of its students named again count the student once")
        << "" << QStringList{"class", "class/s1", "class/s1/send_0306.txt"} << 0 << "" << QStringList{"s1", "s2"} << 4;
    QTest::newRow("a trailing slash names the folder") << "" << QStringList{"class/s1/"} << 0 << "" << QStringList{"s1"} << 2;
    QTest::newRow("LF line endings read as CR LF") << "lf" << QStringList{"class"} << 0 << "" << QStringList{"s1", "s2"} << 4;
    // The big file (16 MiB of line ends) is a warning; the line counts files, then megabytes.
    QTest::newRow("reading that takes over a second shows its progress")
        << "slow" << QStringList{"class"} << 1 << "reading: 3 of 3 files, 16.8 MB" << QStringList{"s1", "s2"} << 4;
    QTest::newRow("a missing path is a warning naming it")
        << "" << QStringList{"class", "gone"} << 1 << "warning: gone: no such file or folder" << QStringList{"s1", "s2"} << 4;
}

void ReportInputsTest::inputs()
{
    QFETCH(QString, setup);
    QFETCH(QStringList, paths);
    QFETCH(int, status);
    QFETCH(QString, warning);
    QFETCH(QStringList, students);
    QFETCH(int, rows);

    QTemporaryDir dir;
    const QByteArray root = QFile::encodeName(dir.path());
    QVERIFY(::mkdir(root + "/class", 0755) == 0);
    for (const char *s : {"s1", "s2"}) {
        QVERIFY(::mkdir(root + "/class/" + s, 0755) == 0);
        QByteArray bytes = sendFile(QByteArray("answer of ") + s);
        if (setup == QLatin1String("lf"))
            bytes.replace("\r\n", "\n");
        QVERIFY(writeTo(root + "/class/" + s + "/send_0306.txt", bytes));
    }
    const QByteArray s1 = root + "/class/s1/";
    if (setup == QLatin1String("fifo")) {
        QVERIFY(::mkfifo(root + "/pipe", 0644) == 0);
        QVERIFY(::symlink(root + "/pipe", s1 + "masterFile.txt") == 0);
    } else if (setup == QLatin1String("zero")) {
        QVERIFY(::symlink("/dev/zero", s1 + "notes_.txt") == 0);
    } else if (setup == QLatin1String("huge")) {
        QFile huge(QFile::decodeName(s1 + "masterFile.txt"));
        QVERIFY(huge.open(QIODevice::WriteOnly));
        QVERIFY(huge.resize((qint64(64) << 20) + 1)); // sparse: no disk taken
    } else if (setup == QLatin1String("slow")) {
        QVERIFY(writeTo(s1 + "masterFile.txt", QByteArray(16 << 20, '\n')));
    } else if (setup == QLatin1String("latin1")) {
        const QByteArray folder = root + "/class/J\xe9r\xf4me";
        QVERIFY(::mkdir(folder, 0755) == 0);
        QVERIFY(writeTo(folder + "/send_0306.txt", sendFile("answer of J.")));
    }

    const Run run = report(dir.path(), QStringList{QStringLiteral("--csv"), QStringLiteral("-")} + paths,
                           setup == QLatin1String("slow") ? 16 << 20 : 0);
    QCOMPARE(run.status, status);
    const QStringList lines = QString::fromLocal8Bit(run.err).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (warning.isEmpty())
        QVERIFY2(lines.isEmpty(), run.err.constData());
    else
        QVERIFY2(lines.contains(warning), run.err.constData());
    QCOMPARE(studentsOf(run.out), students);
    QCOMPARE(run.out.count("\r\n") - 1, rows);
    // Qt cannot see a name that is not UTF-8, so cannot remove it either.
    ::unlink(root + "/class/J\xe9r\xf4me/send_0306.txt");
    ::rmdir(root + "/class/J\xe9r\xf4me");
}

void ReportInputsTest::outputs_data()
{
    QTest::addColumn<QString>("output"); // how the output path is made (see outputs())
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("said"); // standard error holds it

    QTest::newRow("a device node is written into, not replaced")
        << "device" << QStringList{"--csv", "null", "class"} << 0 << "";
    QTest::newRow("a FIFO is written into, not replaced") << "fifo" << QStringList{"--csv", "out.fifo", "class"} << 0 << "";
    QTest::newRow("- is standard output") << "" << QStringList{"--csv", "-", "class"} << 0 << "";
    QTest::newRow("an output named like a master file (the output name forgotten)")
        << "" << QStringList{"--csv", "masterFile.txt", "class/s1/send_0306.txt"} << 2
        << "calculus-study-report: will not write masterFile.txt: it has the name of a file of the study program";
    QTest::newRow("an output that is a file being read, by a hard link")
        << "hardlink" << QStringList{"--html", "report.html", "class"} << 2
        << "calculus-study-report: will not write report.html: it is one of the files being read";
    QTest::newRow("an output that is a file being read, through a symbolic link")
        << "symlink" << QStringList{"--json", "report.json", "class"} << 2
        << "calculus-study-report: will not write report.json: it is one of the files being read";
    QTest::newRow("a site page that is a file being read") << "sitelink" << QStringList{"--site", "site", "class"} << 2
        << "calculus-study-report: will not write site/index.html: it is one of the files being read";
}

void ReportInputsTest::outputs()
{
    QFETCH(QString, output);
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, said);

    QTemporaryDir dir;
    const QByteArray root = QFile::encodeName(dir.path());
    QVERIFY(::mkdir(root + "/class", 0755) == 0);
    QVERIFY(::mkdir(root + "/class/s1", 0755) == 0);
    const QByteArray student = sendFile("my answer");
    QVERIFY(writeTo(root + "/class/s1/send_0306.txt", student));

    QByteArray fromFifo;
    int fifo = -1;
    if (output == QLatin1String("device")) {
        // A device node of the test's own (the system's null device, 1:3),
        // so that a report that replaced it harms nothing else.
        if (::mknod(root + "/null", S_IFCHR | 0666, makedev(1, 3)) != 0)
            QSKIP("making a device node needs root");
    } else if (output == QLatin1String("fifo")) {
        // Open for reading before the report runs: its CSV fits in the
        // pipe's buffer, and a report that replaced the FIFO leaves this
        // end empty instead of hanging the test.
        QVERIFY(::mkfifo(root + "/out.fifo", 0644) == 0);
        fifo = ::open(root + "/out.fifo", O_RDONLY | O_NONBLOCK);
        QVERIFY(fifo >= 0);
    } else if (output == QLatin1String("hardlink")) {
        QVERIFY(::link(root + "/class/s1/send_0306.txt", root + "/report.html") == 0);
    } else if (output == QLatin1String("symlink")) {
        QVERIFY(::symlink(root + "/class/s1/send_0306.txt", root + "/report.json") == 0);
    } else if (output == QLatin1String("sitelink")) {
        QVERIFY(::mkdir(root + "/site", 0755) == 0);
        QVERIFY(::symlink(root + "/class/s1/send_0306.txt", root + "/site/index.html") == 0);
    }

    const Run run = report(dir.path(), arguments);
    if (fifo >= 0) {
        char buffer[4096];
        for (ssize_t n; (n = ::read(fifo, buffer, sizeof buffer)) > 0;)
            fromFifo.append(buffer, n);
        ::close(fifo);
    }
    QCOMPARE(run.status, status);
    QVERIFY2(QString::fromLocal8Bit(run.err).contains(said), run.err.constData());

    // Nothing a student handed in was touched.
    QFile kept(QFile::decodeName(root + "/class/s1/send_0306.txt"));
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), student);
    QVERIFY(!QFile::exists(QFile::decodeName(root + "/masterFile.txt")));

    struct stat st;
    if (output == QLatin1String("device")) {
        QVERIFY(::lstat(root + "/null", &st) == 0);
        QVERIFY2(S_ISCHR(st.st_mode), "the device node was replaced");
    } else if (output == QLatin1String("fifo")) {
        QVERIFY(::lstat(root + "/out.fifo", &st) == 0);
        QVERIFY2(S_ISFIFO(st.st_mode), "the FIFO was replaced");
        QVERIFY2(fromFifo.startsWith("\xEF\xBB\xBFstudent,file,"), fromFifo.left(40).constData());
    } else if (arguments.at(1) == QLatin1String("-")) {
        QVERIFY2(run.out.startsWith("\xEF\xBB\xBFstudent,file,"), run.out.left(40).constData());
    }
}

void ReportInputsTest::readerReadsAFileThatGivesNoSize()
{
    // Some file systems make a file up as it is read and give its size as 0;
    // their reads may come back short long before the end.
    const QString made = QStringLiteral("/proc/kallsyms");
    QFile file(made);
    if (QFileInfo(made).size() != 0 || !file.open(QIODevice::ReadOnly))
        QSKIP("no file here that gives its size as 0");
    const qsizetype whole = file.readAll().size();
    if (whole <= 64 * 1024)
        QSKIP("the file is too short to be read in more than one piece");
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("masterFile.txt"));
    QVERIFY(QFile::link(made, link));
    QCOMPARE(readRecordFile(link).bytes, qint64(whole));
}

void ReportInputsTest::readerSizeCap_data()
{
    QTest::addColumn<qint64>("over"); // bytes past the cap
    QTest::addColumn<int>("records");
    QTest::addColumn<QString>("refused"); // the one warning, or "" when the file is read
    QTest::newRow("a file of exactly 64 MiB is read") << qint64(0) << 2 << "";
    QTest::newRow("one byte more is refused, with its warning")
        << qint64(1) << 0 << "larger than 64 MiB, far more than the program writes; not read";
}

void ReportInputsTest::readerSizeCap()
{
    QFETCH(qint64, over);
    QFETCH(int, records);
    QFETCH(QString, refused);
    // A run at the end of a file that is a hole up to there (no disk taken).
    const QByteArray tail = "\r\n" + sendFile("at the end");
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("masterFile.txt"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(file.seek(largestRecordFile + over - tail.size()));
    QCOMPARE(file.write(tail), qint64(tail.size()));
    file.close();
    QCOMPARE(QFileInfo(path).size(), largestRecordFile + over);
    const RecordFileContents read = readRecordFile(path);
    QCOMPARE(int(read.records.size()), records);
    QCOMPARE(read.bytes, refused.isEmpty() ? largestRecordFile : 0);
    if (!refused.isEmpty()) {
        QCOMPARE(int(read.warnings.size()), 1);
        QCOMPARE(read.warnings.front().message, refused);
    } else {
        QCOMPARE(read.records.back().text, QStringLiteral("at the end"));
    }
}

QTEST_GUILESS_MAIN(ReportInputsTest)
#include "tst_reportinputs.moc"
