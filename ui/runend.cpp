// How a run keeps the student's work at every end: the typing kept against
// a crash, a record waiting for its rating taken back when the process must
// go, the folder's locks given up, and the one way a run ends.

#include "flow/queryform.h"

#include "platform/oscalls.h"
#include "platform/platform.h"
#include "records/recordfolder.h"
#include "ui/recovery.h"

#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTimer>
#if QT_CONFIG(sessionmanager)
#include <QSessionManager>
#endif

#include <cstdlib>

namespace {

/// `text` cut to at most `width` characters at a word boundary, with "…"
/// where it was cut.
QString shortened(const QString &text, int width)
{
    if (text.size() <= width)
        return text;
    QString cut = text.left(width - 1);
    // Unless the cut falls just before a blank, the word it falls in goes.
    const qsizetype space = cut.lastIndexOf(QLatin1Char(' '));
    if (text.at(width - 1) != QLatin1Char(' ') && space > width / 2)
        cut.truncate(space);
    return cut.trimmed() + QChar(0x2026);
}

} // namespace

void QueryForm::enableAnswerRecovery(const QString &folder)
{
    recovery = new AnswerRecovery(folder, this);
    recovery->setWorthKeeping([this](const QString &text) { return holdsUnrecordedTyping(text); });
    recovery->setContextSource([this] {
        const QString under = expandLineBreaks(lastLine).section(QLatin1String("\r\n"), 0, 0).trimmed();
        AnswerRecovery::Context context;
        context.assignment = assignmentNumber;
        context.under = shortened(under, 100);
        context.folderKey = outputFolderKey;
        context.folder = outputFolderName;
        return context;
    });
    connect(txt_answer, &QPlainTextEdit::textChanged, this, [this] {
        if (!ended)
            recovery->textChanged(boxText(txt_answer));
    });
}

namespace {

/// "typed on ... at ...(UTC offset) in assignment ... under ... for the files in ...".
QString whenAndWhere(const QDateTime &typed, const QString &assignment, const QString &under, const QString &folder)
{
    QString where;
    if (!assignment.isEmpty())
        where += QStringLiteral(" in assignment %1").arg(assignment);
    if (!under.isEmpty())
        where += QStringLiteral(" under \"%1\"").arg(under);
    if (!folder.isEmpty())
        where += QStringLiteral(" for the files in %1").arg(folder);
    QString offset;
    if (typed.timeSpec() != Qt::LocalTime) {
        const int seconds = typed.offsetFromUtc();
        offset = QStringLiteral(" (UTC%1%2:%3)")
                     .arg(seconds < 0 ? QLatin1Char('-') : QLatin1Char('+'))
                     .arg(std::abs(seconds) / 3600, 2, 10, QLatin1Char('0'))
                     .arg(std::abs(seconds) % 3600 / 60, 2, 10, QLatin1Char('0'));
    }
    return QStringLiteral("typed on %1 at %2%3%4")
        .arg(typed.toString(QStringLiteral("MM-dd-yyyy")), typed.toString(QStringLiteral("HH:mm:ss")), offset, where);
}

} // namespace

void QueryForm::restoreUnrecordedAnswer()
{
    if (!records)
        return;
    const RecordFolder::Recovered found = records->recovered();
    // A record cut off as this window took the folder: the typing its
    // journal held is the newest there is of it.
    if (found.typing) {
        if (recovery) {
            recovery->discardLeftOvers(outputFolderKey, outputFolderName, found.recorded + QList{found.typing->session});
            recovery->adopt(*found.typing);
        }
        setBoxText(txt_answer, found.typing->text);
        records->typingTaken();
        platform.message(QStringLiteral("The answer below was %1 and was not recorded yet: the window it was typed "
                                        "in ended while it was being recorded. It is back in the answer box: record "
                                        "it with Enter Response or Save as Notes, or clear it.")
                             .arg(whenAndWhere(QDateTime::fromString(found.typing->typed, Qt::ISODate),
                                               found.typing->assignment, found.typing->under, records->folder())));
        return;
    }
    if (!recovery)
        return;
    // Older copies of typing whose records are whole go first.
    recovery->discardLeftOvers(outputFolderKey, outputFolderName, found.recorded);
    // Only what was typed for this output folder comes back here; text for
    // another folder waits for a window on that folder.
    AnswerRecovery::LeftOver left;
    if (!recovery->takeLeftOver(left, outputFolderKey, outputFolderName))
        return;
    setBoxText(txt_answer, left.text);
    if (!left.readable) {
        platform.message(
            QStringLiteral("Typing that was not recorded was found in a file this program cannot read "
                           "as usual%1. What it holds is back in the answer box as it stands: record it "
                           "with Enter Response or Save as Notes, or clear it.")
                .arg(left.setAside.isEmpty()
                         ? QString()
                         : QStringLiteral(" (kept as %1)").arg(QDir::toNativeSeparators(left.setAside))));
        return;
    }
    platform.message(QStringLiteral("The answer below was %1 and was not recorded yet. "
                                    "It is back in the answer box: record it with Enter Response or "
                                    "Save as Notes, or clear it.")
                         .arg(whenAndWhere(left.typed, left.assignment, left.under, left.folder)));
}

void QueryForm::reportRecoveryProblem()
{
    const QString problem = recovery ? recovery->takeProblem() : QString();
    if (!problem.isEmpty())
        platform.message(QStringLiteral("What you type cannot be kept safe against a crash this time:\n\n%1\n\n"
                                        "Your answers are still recorded as usual.")
                             .arg(problem));
}

void QueryForm::answerRecorded()
{
    if (recovery)
        recovery->discard();
}

void QueryForm::keepTypingNow()
{
    if (recovery && !ended)
        recovery->keepNow(boxText(txt_answer));
}

RecordTyping QueryForm::typingNow(const QString &text)
{
    if (recovery)
        return recovery->typing(text);
    // Without a recovery file the journal still gives a cut record's typing back.
    static int count = 0;
    const QDateTime now = platform.now();
    return {QByteArray::number(QCoreApplication::applicationPid()) + '-' + QByteArray::number(++count),
            now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODate), assignmentNumber, QString(), text};
}

void QueryForm::keepWorkBeforeSuddenEnd()
{
    keepTypingNow();
    if (records)
        records->abandonResponse();
}

void QueryForm::refreshLocks()
{
    // A window that finds its folder taken over (after a suspend, a stop or
    // a clock step) writes nothing more there; the student hears of it with
    // the next record, which is refused.
    if (records)
        records->refresh();
    if (recovery)
        recovery->refreshLock();
}

void QueryForm::releaseFolder()
{
    // The process ends with exit(), which never destroys the form: the locks
    // and the journal go here, so the next start finds the folder free.
    lockRefresh->stop();
    // The journal's names of recorded typing go with it: the recovery
    // files they answer for must be gone on the disk first.
    if (recovery) {
        recovery->settle();
        recovery->releaseLock();
    }
    records.reset();
}

void QueryForm::keepWorkAtEveryEnd()
{
    static QPointer<QueryForm> kept;
    kept = this;
    // Asked by the system to end (SIGTERM, SIGHUP, SIGINT, SIGQUIT, or the
    // toolkit quitting for the session's end): the run ends as the student
    // would end it, or as given up when its start-up questions were still open.
    const auto endNow = [] {
        if (kept && !kept->ended) {
            kept->keepWorkBeforeSuddenEnd();
            kept->endRun(kept->runStarted ? 0 : 1);
        }
    };
    oscalls::onEndRequested(endNow);
    connect(qApp, &QCoreApplication::aboutToQuit, this, endNow);
#if QT_CONFIG(sessionmanager)
    // A windowed program on Windows hears of log-off and shut-down only
    // here: the typing is kept at once, whether or not the session ends.
    connect(qApp, &QGuiApplication::commitDataRequest, this,
            [this](QSessionManager &) { keepWorkBeforeSuddenEnd(); }, Qt::DirectConnection);
#endif
    // The display's connection lost: the toolkit calls exit(), which still
    // runs this; the window's objects are alive while it does.
    static bool registered = false;
    if (!registered) {
        registered = true;
        std::atexit([] {
            if (kept && !kept->ended) {
                kept->keepWorkBeforeSuddenEnd();
                kept->releaseFolder();
            }
        });
    }
}

void QueryForm::endRun(int status)
{
    if (ended)
        return;
    // A record still waiting for its rating is taken back rather than left
    // half-written; its text is kept in the recovery file.
    if (records && records->responseWaiting()) {
        keepTypingNow();
        records->abandonResponse();
    }
    if (recovery && recovery->pending())
        recovery->keepNow(boxText(txt_answer));
    releaseFolder();
    ended = true;
    tmr_pend_exp->stop();
    setEnabled(false);
    hide();
    platform.setExitStatus(status);
    platform.exitProcess();
}
