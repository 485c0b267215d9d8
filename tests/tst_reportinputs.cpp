// The report program run as an instructor runs it, on what students really
// hand in and on outputs that are not plain files: FIFOs, device nodes,
// links, folder names in another encoding, a forgotten output name. Real
// files in real temporary folders; POSIX only (FIFOs, device nodes, links).

#include "platform/oscalls.h"
#include "records/recordreader.h"
#include "report/classmodel.h"
#include "report/classreader.h"
#include "report/reportfiles.h"
#include "report/site.h"
#include "report/tableexport.h"

#include "csvrows.h"

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
/// The first line of the marker of a site the report wrote.
const QByteArray markerText = "calculus-study-report: this folder is a site of pages this program wrote; its next run replaces them and removes those listed below.\n";

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
QStringList studentsOf(const QList<QStringList> &rows)
{
    QStringList students;
    for (const QStringList &row : rows.mid(1))
        if (!row.isEmpty() && !students.contains(row.first()))
            students.append(row.first());
    return students;
}

/// A record file of `count` responses: to texts the course lacks (each its
/// own), or bare record starts when `bare`; under `assignments` headers of
/// made-up assignments, one response each, when given.
QByteArray flood(int count, bool bare, int assignments = 0)
{
    QByteArray out;
    for (int a = 0; a < assignments; ++a)
        out += "\xfa\xe9\r\nassignment #9" + QByteArray::number(10 + a) + "\r\n9" + QByteArray::number(10 + a)
               + ".  `Query\r\nApplied Calculus I\r\n03-06-2026\r\n" + openLine + QByteArray(36, ' ') + "10:00:00\r\nmade up\r\n"
               + openLine + "RESPONSE -->  \r\nx\r\n.................................................\r\n";
    if (assignments > 0)
        return out;
    out = sendFile("first");
    for (int i = 0; i < count; ++i) {
        out += openLine + QByteArray(36, ' ') + "10:00:00\r\n";
        if (!bare)
            out += "Made-up text " + QByteArray::number(i) + "\r\n" + openLine + "RESPONSE -->  \r\nx\r\n"
                   + ".................................................\r\n";
    }
    return out;
}

/// Puts what a row of inputs() names into the class beside s1 and s2.
bool plant(const QString &setup, const QByteArray &root)
{
    const QByteArray s1 = root + "/class/s1/";
    const auto student = [&](const QByteArray &folder, const QByteArray &bytes) {
        return ::mkdir(root + "/class/" + folder, 0755) == 0 && writeTo(root + "/class/" + folder + "/send_0306.txt", bytes);
    };
    if (setup == QLatin1String("fifo"))
        return ::mkfifo(root + "/pipe", 0644) == 0 && ::symlink(root + "/pipe", s1 + "masterFile.txt") == 0;
    if (setup == QLatin1String("zero"))
        return ::symlink("/dev/zero", s1 + "notes_.txt") == 0;
    if (setup == QLatin1String("huge")) {
        QFile huge(QFile::decodeName(s1 + "masterFile.txt"));
        return huge.open(QIODevice::WriteOnly) && huge.resize((qint64(64) << 20) + 1); // sparse: no disk taken
    }
    if (setup == QLatin1String("slow"))
        return writeTo(s1 + "masterFile.txt", QByteArray(16 << 20, '\n'));
    if (setup == QLatin1String("latin1"))
        return student("J\xe9r\xf4me", sendFile("answer of J."));
    if (setup == QLatin1String("crsfiles link"))
        return ::mkdir(root + "/class/s3", 0755) == 0 && ::symlink("../s2", root + "/class/s3/crsfiles") == 0;
    if (setup == QLatin1String("hard link"))
        return ::unlink(root + "/class/s2/send_0306.txt") == 0
               && ::link(s1 + "send_0306.txt", root + "/class/s2/send_0306.txt") == 0;
    if (setup == QLatin1String("link out"))
        return writeTo(root + "/elsewhere.txt", sendFile("not the student's"))
               && ::symlink(root + "/elsewhere.txt", s1 + "masterFile.txt") == 0;
    if (setup == QLatin1String("misspelt"))
        return ::mkdir(root + "/class/s3", 0755) == 0 && student("s3/CRSFILES", sendFile("one"))
               && student("s3/Crsfiles", sendFile("two"));
    if (setup == QLatin1String("same names"))
        return ::mkdir(root + "/other", 0755) == 0 && ::mkdir(root + "/other/s1", 0755) == 0
               && ::mkdir(root + "/other/s1 (2)", 0755) == 0 && writeTo(root + "/other/s1/send_0306.txt", sendFile("another s1"))
               && writeTo(root + "/other/s1 (2)/send_0306.txt", sendFile("a real s1 (2)"));
    if (setup == QLatin1String("invisible"))
        return student("s1\xe2\x80\x8b", sendFile("a zero-width space after the name"));
    if (setup == QLatin1String("look-alike"))
        return student("\xd1\x95" "2", sendFile("a Cyrillic dze for the s"));
    if (setup == QLatin1String("escape"))
        return student("s3\x1b[2J\x1b[1A", QByteArray());
    if (setup == QLatin1String("bare starts"))
        return writeTo(s1 + "masterFile.txt", flood(100010, true));
    if (setup == QLatin1String("unknown texts"))
        return writeTo(s1 + "masterFile.txt", flood(150, false));
    if (setup == QLatin1String("made-up assignments"))
        return writeTo(s1 + "masterFile.txt", flood(0, false, 5));
    return setup.isEmpty() || setup == QLatin1String("lf");
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
    void outputsKeptThroughAFault_data();
    void outputsKeptThroughAFault();
    void siteStaysMarkedThroughAFailedRename_data();
    void siteStaysMarkedThroughAFailedRename();
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
    QTest::addColumn<QString>("setup");     // what is put in the class (see plant())
    QTest::addColumn<QStringList>("paths"); // given to the report
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("warning"); // a line standard error must hold ("" for none); ROOT is the temporary folder
    QTest::addColumn<QStringList>("students");
    QTest::addColumn<int>("rows"); // rows of the CSV below its header line

    const QStringList both{"s1", "s2"};
    QTest::newRow("a master file linked to a FIFO is refused, not waited on")
        << "fifo" << QStringList{"class"} << 1 << "warning: class/s1/masterFile.txt: a FIFO, not a regular file" << both << 4;
    QTest::newRow("a notes file linked to /dev/zero is refused, not read")
        << "zero" << QStringList{"class"} << 1 << "warning: class/s1/notes_.txt: a device, not a regular file" << both << 4;
    QTest::newRow("a file over 64 MiB is refused unread")
        << "huge" << QStringList{"class"} << 1
        << "warning: class/s1/masterFile.txt: larger than 64 MiB, far more than the program writes; not read" << both << 4;
    QTest::newRow("a folder name that is not UTF-8 is kept, shown as the system decodes it")
        << "latin1" << QStringList{"class"} << 0 << "" << QStringList{"J\uFFFDr\uFFFDme", "s1", "s2"} << 6;
    QTest::newRow("a class and one of its students named again count the student once")
        << "" << QStringList{"class", "class/s1", "class/s1/send_0306.txt"} << 0 << "" << both << 4;
    QTest::newRow("a trailing slash names the folder") << "" << QStringList{"class/s1/"} << 0 << "" << QStringList{"s1"} << 2;
    QTest::newRow("LF line endings read as CR LF") << "lf" << QStringList{"class"} << 0 << "" << both << 4;
    // The big file (16 MiB of line ends) is a warning; the line counts files, then megabytes.
    QTest::newRow("reading that takes over a second shows its progress")
        << "slow" << QStringList{"class"} << 1 << "reading: 3 of 3 files, 16.8 MB" << both << 4;
    QTest::newRow("a missing path is a warning naming it")
        << "" << QStringList{"class", "gone"} << 1 << "warning: gone: no such file or folder" << both << 4;
    QTest::newRow("crsfiles linked to another student's: both named, counted for both")
        << "crsfiles link" << QStringList{"class"} << 1
        << "warning: class/s2/send_0306.txt: the same file as class/s3/crsfiles/send_0306.txt (a link or a hard link): "
           "1 file(s) that s2 and s3 all hand in; counted for each of them, marked as shared"
        << QStringList{"s1", "s2", "s3"} << 6;
    QTest::newRow("two hard-linked copies: both students' work, named together")
        << "hard link" << QStringList{"class"} << 1
        << "warning: class/s1/send_0306.txt: the same file as class/s2/send_0306.txt (a link or a hard link): "
           "1 file(s) that s1 and s2 all hand in; counted for each of them, marked as shared"
        << both << 4;
    QTest::newRow("a record file linked out of the class is not read")
        << "link out" << QStringList{"class"} << 1
        << "warning: class/s1/masterFile.txt: a link that leads out of s1's folder (to ROOT/elsewhere.txt); not read" << both << 4;
    QTest::newRow("crsfiles spelled otherwise makes no student")
        << "misspelt" << QStringList{"class"} << 1
        << "warning: class/s3/CRSFILES: a folder spelled otherwise than the program's crsfiles; not read" << both << 4;
    QTest::newRow("a second folder of one name is numbered past a real folder's name")
        << "same names" << QStringList{"class", "other"} << 0 << "" << QStringList{"s1", "s2", "s1 (3)", "s1 (2)"} << 8;
    QTest::newRow("a name that differs by an invisible character shows it")
        << "invisible" << QStringList{"class"} << 0 << "" << QStringList{"s1", "s1<U+200B>", "s2"} << 6;
    QTest::newRow("a name of look-alike letters names them")
        << "look-alike" << QStringList{"class"} << 0 << "" << QStringList{"s1", "s2", "\u04552 [U+0455]"} << 6;
    QTest::newRow("escape codes in a folder name are spelled out on the terminal")
        << "escape" << QStringList{"class"} << 1 << "warning: class/s3\\x1B[2J\\x1B[1A/send_0306.txt: empty file" << both << 4;
    QTest::newRow("a file of bare record starts: the records past the cap counted in one warning")
        << "bare starts" << QStringList{"class"} << 1
        << "warning: class/s1/masterFile.txt: 12 more record(s) after the first 100000 not kept: far more than the program "
           "writes in a file"
        << both << 100000 + 2;
    QTest::newRow("texts the course lacks past the cap: one warning with its count")
        << "unknown texts" << QStringList{"class"} << 1
        << "warning: ROOT/class/s1: 50 record(s) not kept: answers to more than 100 different texts the course lacks" << both
        << 2 + 1 + 100 + 2; // the SEND file's header is the master file's
    QTest::newRow("assignments the course lacks past the cap: one warning with its count")
        << "made-up assignments" << QStringList{"class"} << 1
        << "warning: ROOT/class/s1: 4 record(s) not kept: in more than 3 assignments the course lacks" << both << 4 + 6;
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
    QVERIFY(plant(setup, root));

    const Run run = report(dir.path(), QStringList{QStringLiteral("--csv"), QStringLiteral("-")} + paths,
                           setup == QLatin1String("slow") ? 16 << 20 : 0);
    QCOMPARE(run.status, status);
    const QStringList lines = QString::fromLocal8Bit(run.err).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (warning.isEmpty())
        QVERIFY2(lines.isEmpty(), run.err.constData());
    else
        QVERIFY2(lines.contains(QString(warning).replace(QLatin1String("ROOT"), dir.path())), run.err.left(4000).constData());
    // Nothing a terminal would take for a command reaches it.
    QVERIFY(!run.err.contains('\x1b'));
    const QList<QStringList> table = parseCsv(QString::fromUtf8(run.out.mid(3)));
    QCOMPARE(studentsOf(table), students);
    QCOMPARE(int(table.size()) - 1, rows);
    // Qt cannot see a name that is not UTF-8, so cannot remove it either.
    ::unlink(root + "/class/J\xe9r\xf4me/send_0306.txt");
    ::rmdir(root + "/class/J\xe9r\xf4me");
}

void ReportInputsTest::outputs_data()
{
    QTest::addColumn<QString>("output"); // what stands at the output paths before the run (see outputs())
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("said");       // standard output or error holds it
    QTest::addColumn<QStringList>("entries"); // the working folder's entries after the run

    const QStringList planted{"class", "old.txt", "report.csv", "report.html", "site"};
    QTest::newRow("a device node is written into, not replaced")
        << "device" << QStringList{"--csv", "null", "class"} << 0 << "" << QStringList{"class", "null"};
    QTest::newRow("a FIFO is refused, never opened") << "fifo" << QStringList{"--csv", "out.fifo", "class"} << 2
                                                     << "will not write out.fifo: it is a FIFO, which is never opened for an output"
                                                     << QStringList{"class", "out.fifo"};
    QTest::newRow("- is standard output") << "" << QStringList{"--csv", "-", "class"} << 0 << "" << QStringList{"class"};
    QTest::newRow("no output named: a summary on standard output, nothing written")
        << "" << QStringList{"class"} << 0
        << "1 student(s), 1 file(s) read, 1 response(s) and 0 note(s), 0 warning(s).\nStudents to look at first: none meets the rule.\nNothing was written; name an output with"
        << QStringList{"class"};
    QTest::newRow("an output named like a master file (the output name forgotten)")
        << "" << QStringList{"--csv", "masterFile.txt", "class/s1/send_0306.txt"} << 2
        << "calculus-study-report: will not write masterFile.txt: it has the name of a file of the study program"
        << QStringList{"class"};
    QTest::newRow("an output that is a file being read, by a hard link")
        << "hardlink" << QStringList{"--html", "report.html", "class"} << 2
        << "calculus-study-report: will not write report.html: it is one of the files being read" << QStringList{"class", "report.html"};
    QTest::newRow("an output that is a file being read, through a symbolic link")
        << "symlink" << QStringList{"--json", "report.json", "class"} << 2
        << "calculus-study-report: will not write report.json: it is one of the files being read" << QStringList{"class", "report.json"};
    QTest::newRow("a site page that is a file being read") << "sitelink" << QStringList{"--site", "site", "class"} << 2
        << "calculus-study-report: will not write site/index.html: it is one of the files being read" << QStringList{"class", "site"};
    QTest::newRow("a site inside the class: refused, never read as a student next time")
        << "" << QStringList{"--site", "class/pages", "class"} << 2
        << "calculus-study-report: will not write class/pages: it is in class, which is being read" << QStringList{"class"};
    QTest::newRow("a site in a student's folder, named by another way there: refused")
        << "" << QStringList{"--site", "./class/../class/s1/new/pages", "class"} << 2
        << "will not write ./class/../class/s1/new/pages: it is in class, which is being read" << QStringList{"class"};
    QTest::newRow("a site into the class folder itself: refused")
        << "" << QStringList{"--site", "class/", "class"} << 2 << "will not write class/: it is in class, which is being read"
        << QStringList{"class"};
    QTest::newRow("a link planted at the output: refused, what it leads to untouched")
        << "planted" << QStringList{"--html", "report.html", "class"} << 2
        << "will not write report.html: it is a symbolic link, and no output is written through a link" << planted;
    QTest::newRow("a link planted at a site's page: refused, what it leads to untouched")
        << "planted" << QStringList{"--site", "site", "class"} << 2
        << "will not write site/student-001.html: it is a symbolic link, and no output is written through a link" << planted;
    QTest::newRow("a hard link planted at the output: replaced, its other name untouched")
        << "planted" << QStringList{"--csv", "report.csv", "class"} << 0 << "" << planted;
    QTest::newRow("a mistyped class path: the last outputs left as they were")
        << "planted" << QStringList{"--csv", "report.csv", "--json", "old.txt", "clas"} << 2
        << "calculus-study-report: nothing was read; no output written, the last ones are left as they were" << planted;
    QTest::newRow("a window no record is in: said so, the last outputs left as they were")
        << "planted" << QStringList{"--csv", "report.csv", "--since", "2030-01-01", "class"} << 2
        << "calculus-study-report: no record read is in the window (records from 2030-01-01 on); no output written, "
           "the last ones are left as they were"
        << planted;
}

void ReportInputsTest::outputs()
{
    QFETCH(QString, output);
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, said);
    QFETCH(QStringList, entries);

    QTemporaryDir dir;
    const QByteArray root = QFile::encodeName(dir.path());
    QVERIFY(::mkdir(root + "/class", 0755) == 0);
    QVERIFY(::mkdir(root + "/class/s1", 0755) == 0);
    const QByteArray student = sendFile("my answer");
    QVERIFY(writeTo(root + "/class/s1/send_0306.txt", student));

    // What a planted link or hard link leads to: out of the class, as a
    // key file or a device would be, so that a report that followed it shows.
    const QByteArray key = "ssh-ed25519 AAAA the instructor's key\n";
    QTemporaryDir elsewhere;
    const QByteArray target = QFile::encodeName(elsewhere.path()) + "/authorized_keys";
    QVERIFY(writeTo(target, key));

    QByteArray fromFifo;
    int fifo = -1;
    if (output == QLatin1String("device")) {
        // A device node of the test's own (the system's null device, 1:3),
        // so that a report that replaced it harms nothing else.
        if (::mknod(root + "/null", S_IFCHR | 0666, makedev(1, 3)) != 0)
            QSKIP("making a device node needs root");
    } else if (output == QLatin1String("fifo")) {
        // Open for reading before the report runs: a report that wrote
        // into it leaves its CSV here.
        QVERIFY(::mkfifo(root + "/out.fifo", 0644) == 0);
        fifo = ::open(root + "/out.fifo", O_RDONLY | O_NONBLOCK);
        QVERIFY(fifo >= 0);
    } else if (output == QLatin1String("hardlink")) {
        QVERIFY(::link(root + "/class/s1/send_0306.txt", root + "/report.html") == 0);
    } else if (output == QLatin1String("symlink")) {
        QVERIFY(::symlink(root + "/class/s1/send_0306.txt", root + "/report.json") == 0);
    } else if (output == QLatin1String("sitelink")) {
        QVERIFY(::mkdir(root + "/site", 0755) == 0);
        QVERIFY(writeTo(root + "/site/.calculus-study-report", markerText));
        QVERIFY(::symlink(root + "/class/s1/send_0306.txt", root + "/site/index.html") == 0);
    } else if (output == QLatin1String("planted")) {
        QVERIFY(::symlink(target, root + "/report.html") == 0);
        QVERIFY(::link(target, root + "/report.csv") == 0);
        QVERIFY(::mkdir(root + "/site", 0755) == 0);
        QVERIFY(writeTo(root + "/site/.calculus-study-report", markerText));
        QVERIFY(::symlink(target, root + "/site/student-001.html") == 0);
        QVERIFY(writeTo(root + "/old.txt", "the last good output"));
    }

    const Run run = report(dir.path(), arguments);
    if (fifo >= 0) {
        char buffer[4096];
        for (ssize_t n; (n = ::read(fifo, buffer, sizeof buffer)) > 0;)
            fromFifo.append(buffer, n);
        ::close(fifo);
    }
    QCOMPARE(run.status, status);
    QVERIFY2(QString::fromLocal8Bit(run.err + run.out).contains(said), (run.err + run.out).constData());

    // Nothing a student handed in, nor anything a link led to, was touched;
    // nothing was left beside the outputs.
    QFile kept(QFile::decodeName(root + "/class/s1/send_0306.txt"));
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), student);
    QFile keyFile(QFile::decodeName(target));
    QVERIFY(keyFile.open(QIODevice::ReadOnly));
    QCOMPARE(keyFile.readAll(), key);
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot), entries);
    if (QFileInfo(dir.filePath(QStringLiteral("site"))).isDir() && !QFileInfo(dir.filePath(QStringLiteral("site"))).isSymLink()) {
        QStringList leftovers = QDir(dir.filePath(QStringLiteral("site"))).entryList(QStringList{".*"}, QDir::Files | QDir::Hidden);
        leftovers.removeAll(QStringLiteral(".calculus-study-report")); // the earlier site's, as it was
        QCOMPARE(leftovers, QStringList());
    }
    if (output == QLatin1String("planted")) {
        QFile old(dir.filePath(QStringLiteral("old.txt")));
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("the last good output"));
    }

    struct stat st;
    if (output == QLatin1String("device")) {
        QVERIFY(::lstat(root + "/null", &st) == 0);
        QVERIFY2(S_ISCHR(st.st_mode), "the device node was replaced");
    } else if (output == QLatin1String("fifo")) {
        QVERIFY(::lstat(root + "/out.fifo", &st) == 0);
        QVERIFY2(S_ISFIFO(st.st_mode), "the FIFO was replaced");
        QCOMPARE(fromFifo, QByteArray());
    } else if (arguments.size() > 1 && arguments.at(1) == QLatin1String("-")) {
        QVERIFY2(run.out.startsWith("\xEF\xBB\xBF\"student\",\"file\","), run.out.left(40).constData());
    } else if (arguments.size() > 1 && arguments.at(1) == QLatin1String("report.csv") && status == 0) {
        QFile csv(dir.filePath(QStringLiteral("report.csv")));
        QVERIFY(csv.open(QIODevice::ReadOnly));
        QVERIFY(csv.readAll().startsWith("\xEF\xBB\xBF\"student\",\"file\","));
    }
}

void ReportInputsTest::outputsKeptThroughAFault_data()
{
    QTest::addColumn<int>("operation"); // oscalls::Io that fails
    QTest::addColumn<int>("nth");       // the how-manieth of its kind, from 1
    QTest::newRow("the marker's new file cannot be made") << int(oscalls::Io::Open) << 2; // after the marker is read
    QTest::newRow("a student's page cannot be made") << int(oscalls::Io::Open) << 6;
    QTest::newRow("a write fails half-way") << int(oscalls::Io::Write) << 4;
    QTest::newRow("the CSV cannot be put on the disk") << int(oscalls::Io::Sync) << 8; // after the site's marker
    QTest::newRow("the first rename fails") << int(oscalls::Io::Rename) << 1;
}

void ReportInputsTest::outputsKeptThroughAFault()
{
    QFETCH(int, operation);
    QFETCH(int, nth);
    QTemporaryDir dir;
    const QByteArray root = QFile::encodeName(dir.path());
    for (const char *s : {"s1", "s2"})
        QVERIFY(::mkdir(root + "/" + s, 0755) == 0 && writeTo(root + "/" + s + "/send_0306.txt", sendFile(s)));
    const QStringList old{"site/index.html", "site/student-001.html", "site/style.css", "report.csv"};
    QVERIFY(::mkdir(root + "/site", 0755) == 0);
    QVERIFY(writeTo(root + "/site/.calculus-study-report", markerText + "index.html\nstudent-001.html\nstyle.css\n"));
    for (const QString &name : old)
        QVERIFY(writeTo(root + "/" + QFile::encodeName(name), "last run's " + name.toUtf8()));

    const CourseIndex course(courseEntries());
    const ClassData data = ClassReader(course).read({dir.filePath(QStringLiteral("s1")), dir.filePath(QStringLiteral("s2"))});
    const ClassSummary summary = summarize(data, course);
    int seen = 0;
    oscalls::setFaultInjector([&](oscalls::Io io, const QString &) { return int(io) == operation && ++seen == nth; });
    bool written = false;
    {
        OutputSet outputs;
        QString reason;
        written = SiteWriter(data, summary, course, QDateTime::currentDateTime()).write(dir.filePath(QStringLiteral("site")), outputs, reason)
                  && outputs.write(dir.filePath(QStringLiteral("report.csv")), true, [&](QIODevice &out) { writeCsv(out, data); }, reason)
                  && outputs.replaceAll(reason);
        QVERIFY2(!written, "the fault was never met");
        QVERIFY2(reason.contains(QLatin1String("a fault made by a test")), qPrintable(reason));
    }
    oscalls::setFaultInjector(nullptr);
    for (const QString &name : old) {
        QFile f(dir.filePath(name));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), "last run's " + name.toUtf8());
    }
    QCOMPARE(QDir(dir.filePath(QStringLiteral("site"))).entryList(QDir::Files | QDir::Hidden),
             (QStringList{".calculus-study-report", "index.html", "student-001.html", "style.css"}));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"report.csv"});
}

void ReportInputsTest::siteStaysMarkedThroughAFailedRename_data()
{
    QTest::addColumn<QByteArray>("marker"); // the earlier run's, empty for a new folder
    QTest::addColumn<int>("nth");           // the rename that fails, from 1
    QTest::newRow("a new folder, the stylesheet's rename fails") << QByteArray() << 2;
    QTest::newRow("a new folder, a student's page's rename fails") << QByteArray() << 5;
    QTest::newRow("another class's site, its index's rename fails") << QByteArray(markerText + "index.html\nold-1.html\n") << 3;
}

void ReportInputsTest::siteStaysMarkedThroughAFailedRename()
{
    // Some pages in place and some not: the folder must still be the
    // report's own, listing each page there, or the next run refuses it and
    // leaves another class's pages behind.
    QFETCH(QByteArray, marker);
    QFETCH(int, nth);
    QTemporaryDir dir;
    const QByteArray root = QFile::encodeName(dir.path());
    for (const char *s : {"s1", "s2"})
        QVERIFY(::mkdir(root + "/" + s, 0755) == 0 && writeTo(root + "/" + s + "/send_0306.txt", sendFile(s)));
    const QString site = dir.filePath(QStringLiteral("site"));
    QVERIFY(::mkdir(root + "/site", 0755) == 0);
    if (!marker.isEmpty())
        QVERIFY(writeTo(root + "/site/.calculus-study-report", marker) && writeTo(root + "/site/index.html", "old")
                && writeTo(root + "/site/old-1.html", "old"));
    const CourseIndex course(courseEntries());
    const ClassData data = ClassReader(course).read({dir.filePath(QStringLiteral("s1")), dir.filePath(QStringLiteral("s2"))});
    const ClassSummary summary = summarize(data, course);
    const auto writeSite = [&](QString &reason) {
        OutputSet outputs;
        return SiteWriter(data, summary, course, QDateTime::currentDateTime()).write(site, outputs, reason)
               && outputs.replaceAll(reason);
    };
    int seen = 0;
    oscalls::setFaultInjector([&](oscalls::Io io, const QString &) { return io == oscalls::Io::Rename && ++seen == nth; });
    QString reason;
    QVERIFY2(!writeSite(reason), "the fault was never met");
    oscalls::setFaultInjector(nullptr);
    const SiteFolder after = inspectSite(site);
    QVERIFY2(after.ours, qPrintable(after.reason));
    for (const QString &name : QDir(site).entryList(QDir::Files))
        QVERIFY2(after.pages.contains(name), qPrintable(name + QStringLiteral(" is not listed")));
    QVERIFY2(writeSite(reason), qPrintable(reason));
    QCOMPARE(QDir(site).entryList(QDir::Files | QDir::Hidden),
             (QStringList{".calculus-study-report", "001-q1.html", "index.html", "notes.html", "s1-e8bc163c.html",
                          "s2-ad328846.html", "style.css"}));
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
