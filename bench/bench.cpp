// The benchmark of the program: the real window, driven through a scripted
// platform under the offscreen platform, with real files in temporary folders.
// Each figure is set against a floor measured in the same run (the least any
// Qt program must do for the same visible result), so that the ratio holds on
// a loaded machine where absolute times do not.
//
//   querybench                 every figure, a table and one JSON line last
//   querybench --reps=N        repetitions of each figure (at least 5)
//   querybench --only=WORD     only the figures whose step names WORD
//   querybench --smoke         one repetition, targets shown but not enforced
//                              (the CI run that keeps the benchmark working)
//   querybench --mode=bare --header=FILE
//                              child: a bare Qt process that also makes the
//                              start-up's folder and header writes (floors)
//   querybench --mode=walk     child: start-up and a whole walk of assignment 2

#include "benchplatform.h"
#include "tests/formaccess.h"
#include "flow/queryform.h"
#include "platform/platform.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QInputDialog>
#include <QJsonArray>
#include <QKeyEvent>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

#include <unistd.h>

namespace {

constexpr double mebibyte = 1024.0 * 1024.0;

[[noreturn]] void fail(const QString &why)
{
    std::fprintf(stderr, "querybench: %s\n", qPrintable(why));
    std::exit(2);
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

/// Milliseconds `work` takes.
double timed(const std::function<void()> &work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e6;
}

/// Lets the event loop lay out and paint what the last call changed, as it
/// would before the student sees the result.
void settle()
{
    QCoreApplication::processEvents();
}

/// The high-water mark of the resident memory of this process, in bytes.
double peakResidentBytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        fail(QStringLiteral("cannot read /proc/self/status"));
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() * 1024;
    }
    fail(QStringLiteral("no VmHWM in /proc/self/status"));
}

/// The text of a file as the program shows it, with LF breaks.
QString shownForm(const QString &crlfText)
{
    QString text = crlfText;
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

/// One run of the program on assignment 2 of the compiled-in course, in its
/// own temporary folder.
struct Run
{
    QTemporaryDir dir;
    BenchPlatform platform;
    std::unique_ptr<QueryForm> form;

    Run()
    {
        if (!dir.isValid())
            fail(QStringLiteral("no temporary folder"));
        platform.answers = {QStringLiteral("Bench Student"), QStringLiteral("1"), dir.path(), QStringLiteral("2")};
    }

    /// Constructs the window and runs its start-up through the header record.
    void start()
    {
        form = std::make_unique<QueryForm>(platform);
        form->setDefaultFolder(dir.filePath(QStringLiteral("default")));
        if (!form->startRun())
            fail(QStringLiteral("the run ended during start-up"));
    }

    void show()
    {
        form->show();
        settle();
    }

    void check() const
    {
        if (!platform.messages.isEmpty())
            fail(QStringLiteral("the program said: ") + platform.messages.first());
    }
};

/// A bare text box of the question box's font, size and wrapping, shown.
std::unique_ptr<QPlainTextEdit> bareBox(QueryForm &form)
{
    auto box = std::make_unique<QPlainTextEdit>();
    box->setFont(inside(form).txt_question->font());
    box->resize(inside(form).txt_question->size());
    box->setLineWrapMode(inside(form).txt_question->lineWrapMode());
    box->setWordWrapMode(inside(form).txt_question->wordWrapMode());
    box->show();
    settle();
    return box;
}

/// Milliseconds to set `text` once into `box`, from an empty box.
double floorSetText(QPlainTextEdit &box, const QString &text)
{
    box.setPlainText(QString());
    settle();
    return timed([&] {
        box.setPlainText(text);
        settle();
    });
}

/// Lines like those a long course of work leaves in the output files.
QByteArray recordLines(qint64 minLines, qint64 minBytes)
{
    static const char *const pattern[] = {
        "......!!!!!!!!...................................",
        "                                    14:05:09",
        "Your solution: the quadratic model through the three points gives a = -0.74, b = 11.9 and c = 42.",
        "......!!!!!!!!...................................",
        "RESPONSE -->  ",
        "I substituted t = 0, 3 and 9 into y = a t^2 + b t + c and eliminated c first, then b.",
        "confidence assessment:  2",
        ".................................................",
    };
    QByteArray bytes;
    bytes.reserve(minBytes + 256);
    for (qint64 n = 0; n < minLines || bytes.size() < minBytes; ++n) {
        bytes += pattern[n % (sizeof pattern / sizeof *pattern)];
        bytes += "\r\n";
    }
    return bytes;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        fail(QStringLiteral("cannot write %1").arg(path));
}

QByteArray readFrom(const QString &path, qint64 offset)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(offset))
        fail(QStringLiteral("cannot read %1").arg(path));
    return file.readAll();
}

struct Figure
{
    QString name;
    QString unit;
    double value;
    double floor;
    double target; ///< the largest ratio allowed, the largest excess over the floor, or the largest value
    enum Limit { Ratio, Excess, Bound } limit = Ratio;

    double ratio() const { return floor > 0 ? value / floor : 0; }
    bool met() const
    {
        return limit == Excess ? value <= floor + target : limit == Bound ? value <= target : ratio() <= target;
    }
    QString targetText() const
    {
        return limit == Excess  ? QStringLiteral("floor + %1 %2").arg(target).arg(unit)
               : limit == Bound ? QStringLiteral("<= %1 %2").arg(target).arg(unit)
                                : QStringLiteral("ratio <= %1").arg(target);
    }
};

// Targets of the full run.
constexpr double clickRatio = 1.2, startupRatio = 1.2, memoryExcessMiB = 10;
// A record whole or absent after a power cut costs one sync more than the
// two files' own: the journal's note.
constexpr double recordRatio = 1.6;
// A USB stick or a network home: each sync this much slower.
constexpr int slowSyncMs = 10;
// What a student accepts with a very long line in a box: a key press that
// shows within a tenth of a second, a display within a second.
constexpr double keyPressBoundMs = 100, longLineDisplayBoundMs = 1000;

// ---------------------------------------------------------------- children

/// Appends `bytes` to the file at `path` and syncs it, as simply as Qt
/// allows; the sync takes `extraMs` longer, as on a slow disk.
void appendAndSync(const QString &path, const QByteArray &bytes, int extraMs = 0)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append) || file.write(bytes) != bytes.size() || !file.flush()
        || ::fsync(file.handle()) != 0)
        fail(QStringLiteral("the floor's append to %1 failed").arg(path));
    if (extraMs > 0)
        QThread::msleep(extraMs);
}

/// A bare Qt process: what a start-up must do and show, as little as Qt
/// allows. It makes the default folder and appends and syncs the program's
/// header record (the bytes in `headerFile`) to two new files, and shows a
/// box and an empty window of the program's size.
int bareChild(const QString &headerFile)
{
    QFile header(headerFile);
    if (!header.open(QIODevice::ReadOnly))
        fail(QStringLiteral("cannot read the header record %1").arg(headerFile));
    const QByteArray headerBytes = header.readAll();
    QTemporaryDir dir;
    if (!dir.isValid())
        fail(QStringLiteral("no temporary folder"));
    std::unique_ptr<QInputDialog> dialog;
    std::unique_ptr<QWidget> window;
    const double ms = timed([&] {
        QDir().mkdir(dir.filePath(QStringLiteral("default")));
        appendAndSync(dir.filePath(QStringLiteral("masterFile.txt")), headerBytes);
        appendAndSync(dir.filePath(QStringLiteral("send_0306.txt")), headerBytes);
        dialog = std::make_unique<QInputDialog>();
        dialog->show();
        window = std::make_unique<QWidget>();
        window->resize(725, 573);
        window->show();
        settle();
    });
    std::printf("startup_ms=%.4f peak_bytes=%.0f\n", ms, peakResidentBytes());
    return 0;
}

/// Start-up and the whole walk of assignment 2, as the student makes it.
int walkChild()
{
    Run run;
    // Until the window is on the screen: that is when the student can start.
    const double ms = timed([&] {
        run.start();
        run.show();
    });
    int clicks = 0;
    while (!run.form->runEnded()) {
        inside(*run.form).cmdNextQuestionClick();
        settle();
        if (++clicks > QueryForm::bankSize)
            fail(QStringLiteral("the walk does not end"));
    }
    run.check();
    std::printf("startup_ms=%.4f peak_bytes=%.0f\n", ms, peakResidentBytes());
    return 0;
}

struct ChildResult
{
    double startupMs;
    double peakBytes;
};

ChildResult runChild(const QString &mode, const QStringList &arguments = {})
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), QStringList{QStringLiteral("--mode=") + mode} + arguments);
    if (!child.waitForFinished(-1) || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0)
        fail(QStringLiteral("the %1 child failed:\n%2").arg(mode, QString::fromLocal8Bit(child.readAllStandardError())));
    ChildResult result{-1, -1};
    for (const QByteArray &field : child.readAllStandardOutput().trimmed().split(' ')) {
        if (field.startsWith("startup_ms="))
            result.startupMs = field.mid(11).toDouble();
        else if (field.startsWith("peak_bytes="))
            result.peakBytes = field.mid(11).toDouble();
    }
    if (result.startupMs < 0 || result.peakBytes < 0)
        fail(QStringLiteral("the %1 child said nothing useful").arg(mode));
    return result;
}

// ---------------------------------------------------------------- figures

void measureChildren(int reps, std::vector<Figure> &figures)
{
    // The header record a start-up writes, for the floor to write the same.
    QTemporaryDir headerDir;
    const QString headerFile = headerDir.filePath(QStringLiteral("header.txt"));
    {
        Run run;
        run.start();
        run.check();
        writeFile(headerFile, readFrom(inside(*run.form).masterFilePath, 0));
    }
    std::vector<double> formStart, bareStart, formPeak, barePeak;
    for (int i = 0; i < reps; ++i) {
        const ChildResult bare = runChild(QStringLiteral("bare"), {QStringLiteral("--header=") + headerFile});
        const ChildResult walk = runChild(QStringLiteral("walk"));
        bareStart.push_back(bare.startupMs);
        barePeak.push_back(bare.peakBytes / mebibyte);
        formStart.push_back(walk.startupMs);
        formPeak.push_back(walk.peakBytes / mebibyte);
    }
    figures.push_back({QStringLiteral("start-up to window shown"), QStringLiteral("ms"), median(formStart),
                       median(bareStart), startupRatio});
    figures.push_back({QStringLiteral("peak memory after the walk"), QStringLiteral("MiB"), median(formPeak),
                       median(barePeak), memoryExcessMiB, Figure::Excess});
}

void measureWalk(int reps, std::vector<Figure> &figures)
{
    // Each click is timed in every repetition and its figure is its median,
    // so that one stall of the machine does not become the slowest click.
    std::vector<std::vector<double>> clicksByRep;
    std::vector<double> floors;
    for (int i = 0; i < reps; ++i) {
        Run run;
        run.start();
        run.show();
        std::vector<double> clicks;
        while (!run.form->runEnded()) {
            clicks.push_back(timed([&] {
                inside(*run.form).cmdNextQuestionClick();
                settle();
            }));
            if (clicks.size() > size_t(QueryForm::bankSize))
                fail(QStringLiteral("the walk does not end"));
        }
        run.check();
        if (inside(*run.form).pendingLine.left(3) != QLatin1String("003"))
            fail(QStringLiteral("the walk did not end at the heading of assignment 3"));
        if (!clicksByRep.empty() && clicks.size() != clicksByRep.front().size())
            fail(QStringLiteral("two walks of the same assignment took different numbers of clicks"));
        clicksByRep.push_back(clicks);
        const QString finalText = shownForm(QueryForm::boxText(inside(*run.form).txt_question));
        auto box = bareBox(*run.form);
        floors.push_back(floorSetText(*box, finalText));
    }
    std::vector<double> clickMedians;
    for (size_t k = 0; k < clicksByRep.front().size(); ++k) {
        std::vector<double> times;
        for (const auto &clicks : clicksByRep)
            times.push_back(clicks[k]);
        clickMedians.push_back(median(times));
    }
    figures.push_back({QStringLiteral("walk: median click"), QStringLiteral("ms"), median(clickMedians),
                       median(floors), clickRatio});
    const auto slowest = std::max_element(clickMedians.begin(), clickMedians.end());
    figures.push_back({QStringLiteral("walk: slowest click (%1 of %2)")
                           .arg(slowest - clickMedians.begin() + 1)
                           .arg(clickMedians.size()),
                       QStringLiteral("ms"), *slowest, median(floors), clickRatio});
}

void measureEnterResponse(int reps, std::vector<Figure> &figures, int extraSyncMs)
{
    // The program's every sync made as slow through the platform's seam.
    if (extraSyncMs > 0)
        setSyncObserver([extraSyncMs](const QString &) { QThread::msleep(extraSyncMs); });
    Run run;
    run.start();
    run.show();
    while (inside(*run.form).lastLineKind != QLatin1String("question") && !run.form->runEnded())
        inside(*run.form).cmdNextQuestionClick();
    if (run.form->runEnded())
        fail(QStringLiteral("assignment 2 has no question"));
    const QString answer = QStringLiteral(
        "Three points give three equations: 4a + 2b + c = 28, 25a + 5b + c = 61 and 81a + 9b + c = 97.\r\n"
        "Subtracting the first from the second and the second from the third gives 21a + 3b = 33 and "
        "56a + 4b = 36, so a = -0.67 and b = 15.7, and c = 0.3 from the first.\r\n"
        "I checked the model at t = 5: it gives 61, as the data says.");
    const QString paths[] = {inside(*run.form).masterFilePath, inside(*run.form).sendFilePath};

    QTemporaryDir floorDir;
    const QString floorPaths[] = {floorDir.filePath(QStringLiteral("a.txt")), floorDir.filePath(QStringLiteral("b.txt"))};
    std::vector<double> values, floors;
    for (int i = 0; i < reps; ++i) {
        QueryForm::setBoxText(inside(*run.form).txt_answer, answer);
        settle();
        const qint64 before[] = {QFileInfo(paths[0]).size(), QFileInfo(paths[1]).size()};
        // The handler alone: its floor has no window to repaint.
        values.push_back(timed([&] { inside(*run.form).cmdEnterResponseClick(); }));
        settle();
        run.check();
        const QByteArray added[] = {readFrom(paths[0], before[0]), readFrom(paths[1], before[1])};
        if (!added[0].contains("confidence assessment:  2") || !added[1].contains("confidence assessment:  2"))
            fail(QStringLiteral("Enter Response wrote no rated record"));
        floors.push_back(timed([&] {
            for (int f = 0; f < 2; ++f)
                appendAndSync(floorPaths[f], added[f], extraSyncMs);
        }));
    }
    setSyncObserver(nullptr);
    figures.push_back({extraSyncMs > 0 ? QStringLiteral("Enter Response, syncs %1 ms slower").arg(extraSyncMs)
                                       : QStringLiteral("Enter Response with rating"),
                       QStringLiteral("ms"), median(values), median(floors), recordRatio});
}

/// One display command on a file of the given bytes, against setting the text it shows.
enum class DisplayedFile { Send, Notes };

void measureDisplay(int reps, std::vector<Figure> &figures, const QString &name, const QByteArray &fileBytes,
                    DisplayedFile displayed, double bound = 0)
{
    Run run;
    run.start();
    run.show();
    FormAccess form = inside(*run.form);
    writeFile(displayed == DisplayedFile::Send ? form.sendFilePath : form.notesFilePath, fileBytes);
    const qint64 lines = fileBytes.count("\r\n");
    auto box = bareBox(*run.form);
    std::vector<double> values, floors;
    for (int i = 0; i < reps; ++i) {
        QueryForm::setBoxText(inside(*run.form).txt_question, QString());
        settle();
        values.push_back(timed([&] {
            if (displayed == DisplayedFile::Send)
                form.cmdDisplaySendFileClick();
            else
                form.cmdDisplayNoteFileClick();
            settle();
        }));
        run.check();
        const QString shown = QueryForm::boxText(inside(*run.form).txt_question);
        if (inside(*run.form).txt_question->document()->blockCount() < lines
            || !shown.endsWith(QString::fromLatin1(fileBytes.right(60).chopped(2))))
            fail(name + QStringLiteral(" did not show the whole file"));
        floors.push_back(floorSetText(*box, shownForm(shown)));
    }
    if (bound > 0)
        figures.push_back({name, QStringLiteral("ms"), median(values), median(floors), bound, Figure::Bound});
    else
        figures.push_back({name, QStringLiteral("ms"), median(values), median(floors), clickRatio});
}

/// A line of `size` characters with words and no line break, as a pasted
/// text that came from a program that writes a paragraph as one line.
QString longLine(qsizetype size)
{
    static const QString words = QStringLiteral(
        "The derivative of the cost function gives the marginal cost, 0.74 dollars per unit at x = 120; ");
    QString line;
    line.reserve(size + words.size());
    while (line.size() < size)
        line += words;
    line.truncate(size);
    return line;
}

/// Milliseconds of one key press typed at the end of `box`, shown.
double keyPress(QPlainTextEdit &box, QChar key)
{
    return timed([&] {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QString(key));
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_X, Qt::NoModifier, QString(key));
        QCoreApplication::sendEvent(&box, &press);
        QCoreApplication::sendEvent(&box, &release);
        settle();
    });
}

/// Typing after a 1 MB single-line paste into the answer box, against the
/// same in a bare text box; bounded in absolute time.
void measureLongLineTyping(int reps, std::vector<Figure> &figures)
{
    Run run;
    run.start();
    run.show();
    QTemporaryDir recoveryDir;
    run.form->enableAnswerRecovery(recoveryDir.filePath(QStringLiteral("unrecorded-answer.txt")));
    const QString pasted = longLine(1024 * 1024);
    auto bare = bareBox(*run.form);
    QPlainTextEdit *const boxes[] = {inside(*run.form).txt_answer, bare.get()};
    std::vector<double> keys[2];
    for (int b = 0; b < 2; ++b) {
        QPlainTextEdit &box = *boxes[b];
        box.setFocus();
        box.clear();
        box.insertPlainText(pasted); // what a paste does
        box.moveCursor(QTextCursor::End);
        settle();
        for (int i = 0; i < std::max(reps, 3); ++i)
            keys[b].push_back(keyPress(box, QChar(u'a' + i % 26)));
        if (box.document()->characterCount() < pasted.size() + std::max(reps, 3))
            fail(QStringLiteral("the typed keys did not reach the box"));
    }
    run.check();
    figures.push_back({QStringLiteral("key press after 1 MB line"), QStringLiteral("ms"), median(keys[0]),
                       median(keys[1]), keyPressBoundMs, Figure::Bound});
}

void printResults(const std::vector<Figure> &figures)
{
    std::printf("\n%-33s %12s %12s %8s  %-18s %s\n", "figure", "measured", "floor", "ratio", "target", "met");
    for (const Figure &f : figures) {
        std::printf("%-33s %9.3f %-3s%9.3f %-3s%8.2f  %-18s %s\n", qPrintable(f.name), f.value, qPrintable(f.unit),
                    f.floor, qPrintable(f.unit), f.ratio(), qPrintable(f.targetText()), f.met() ? "yes" : "NO");
    }
    QJsonArray rows;
    bool allMet = true;
    for (const Figure &f : figures) {
        allMet = allMet && f.met();
        rows.append(QJsonObject{{QStringLiteral("figure"), f.name},
                                {QStringLiteral("unit"), f.unit},
                                {QStringLiteral("measured"), f.value},
                                {QStringLiteral("floor"), f.floor},
                                {QStringLiteral("ratio"), f.ratio()},
                                {QStringLiteral("target"), f.targetText()},
                                {QStringLiteral("met"), f.met()}});
    }
    const QJsonObject all{{QStringLiteral("figures"), rows}, {QStringLiteral("all_met"), allMet}};
    std::printf("%s\n", QJsonDocument(all).toJson(QJsonDocument::Compact).constData());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    // The offscreen platform says on every shown window that it cannot pass
    // size hints on; that says nothing about the program.
    static const QtMessageHandler qtHandler = qInstallMessageHandler(nullptr);
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &context, const QString &text) {
        if (!text.contains(QLatin1String("propagateSizeHints")))
            qtHandler(type, context, text);
    });
    QApplication app(argc, argv);
    QString mode, headerFile, only;
    int reps = 7;
    bool smoke = false;
    for (const QString &arg : QCoreApplication::arguments().mid(1)) {
        if (arg.startsWith(QLatin1String("--mode=")))
            mode = arg.mid(7);
        else if (arg.startsWith(QLatin1String("--header=")))
            headerFile = arg.mid(9);
        else if (arg.startsWith(QLatin1String("--reps=")))
            reps = std::max(5, arg.mid(7).toInt());
        else if (arg.startsWith(QLatin1String("--only=")))
            only = arg.mid(7);
        else if (arg == QLatin1String("--smoke"))
            smoke = true;
        else
            fail(QStringLiteral("unknown argument %1").arg(arg));
    }
    if (smoke)
        reps = 1;
    if (mode == QLatin1String("bare"))
        return bareChild(headerFile);
    if (mode == QLatin1String("walk"))
        return walkChild();
    if (!mode.isEmpty())
        fail(QStringLiteral("unknown mode %1").arg(mode));

    // --only=WORD measures only the figures whose step names WORD (for profiling).
    const auto step = [&](const char *what) {
        if (!only.isEmpty() && !QString::fromLatin1(what).contains(only))
            return false;
        std::fprintf(stderr, "%s...\n", what);
        return true;
    };
    std::vector<Figure> figures;
    if (step("start-up and peak memory"))
        measureChildren(reps, figures);
    if (step("walk of assignment 2"))
        measureWalk(reps, figures);
    if (step("Enter Response")) {
        measureEnterResponse(reps, figures, 0);
        measureEnterResponse(reps, figures, slowSyncMs);
    }
    if (step("display SEND file"))
        measureDisplay(reps, figures, QStringLiteral("display SEND (50,000 lines)"), recordLines(50000, 0),
                       DisplayedFile::Send);
    if (step("display notes"))
        measureDisplay(reps, figures, QStringLiteral("display notes (10 MB)"), recordLines(0, 10 * 1024 * 1024),
                       DisplayedFile::Notes);
    if (step("display SEND with a 0.5 MB line"))
        measureDisplay(reps, figures, QStringLiteral("display SEND, 0.5 MB line"),
                       recordLines(400, 0) + longLine(512 * 1024).toLatin1() + "\r\n" + recordLines(8, 0),
                       DisplayedFile::Send, longLineDisplayBoundMs);
    if (step("typing after a 1 MB paste"))
        measureLongLineTyping(reps, figures);
    printResults(figures);
    if (smoke) {
        std::printf("smoke run (%d repetition): the targets are not enforced\n", reps);
        return 0;
    }
    return std::all_of(figures.begin(), figures.end(), [](const Figure &f) { return f.met(); }) ? 0 : 1;
}
