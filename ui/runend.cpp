// How a run keeps the student's work at every end: the typing kept against
// a crash, a record waiting for its rating taken back when the process must
// go, the folder's locks given up, and the one way a run ends.

#include "flow/queryform.h"

#include "platform/oscalls.h"
#include "platform/ownerlock.h"
#include "platform/platform.h"
#include "records/recordfiles.h"
#include "ui/recovery.h"

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

void QueryForm::restoreUnrecordedAnswer()
{
    if (!recovery)
        return;
    // Only what was typed for this output folder comes back here; text for
    // another folder waits for a window on that folder.
    AnswerRecovery::LeftOver left;
    if (!recovery->takeLeftOver(left, outputFolderKey, outputFolderName))
        return;
    // Killed after its record was whole but before the typing was let go:
    // it is in the files, and recording it again would make a second copy.
    if (left.readable && recordLedger && recordLedger->recorded.contains(left.kept)) {
        recovery->discard();
        return;
    }
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
    QString where;
    if (!left.assignment.isEmpty())
        where += QStringLiteral(" in assignment %1").arg(left.assignment);
    if (!left.under.isEmpty())
        where += QStringLiteral(" under \"%1\"").arg(left.under);
    if (!left.folder.isEmpty())
        where += QStringLiteral(" for the files in %1").arg(left.folder);
    QString offset;
    if (left.typed.timeSpec() != Qt::LocalTime) {
        const int seconds = left.typed.offsetFromUtc();
        offset = QStringLiteral(" (UTC%1%2:%3)")
                     .arg(seconds < 0 ? QLatin1Char('-') : QLatin1Char('+'))
                     .arg(std::abs(seconds) / 3600, 2, 10, QLatin1Char('0'))
                     .arg(std::abs(seconds) % 3600 / 60, 2, 10, QLatin1Char('0'));
    }
    platform.message(QStringLiteral("The answer below was typed on %1 at %2%3%4 and was not recorded yet. "
                                    "It is back in the answer box: record it with Enter Response or "
                                    "Save as Notes, or clear it.")
                         .arg(left.typed.toString(QStringLiteral("MM-dd-yyyy")),
                              left.typed.toString(QStringLiteral("HH:mm:ss")), offset, where));
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

QByteArray QueryForm::keptTypingName() const
{
    return recovery ? recovery->keptName() : QByteArray();
}

void QueryForm::keepWorkBeforeSuddenEnd()
{
    keepTypingNow();
    if (openRecordFiles) {
        openRecordFiles->abandon();
        openRecordFiles = nullptr;
    }
}

void QueryForm::refreshLocks()
{
    if (folderLock)
        folderLock->refresh();
    if (recovery)
        recovery->refreshLock();
}

void QueryForm::releaseFolder()
{
    // The process ends with exit(), which never destroys the form: the locks
    // and the journal go here, so the next start finds the folder free.
    lockRefresh->stop();
    if (recovery)
        recovery->releaseLock();
    closeRecordLedger();
    folderLock.reset();
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
    // half-written; its text is in the recovery file.
    if (openRecordFiles) {
        keepTypingNow();
        openRecordFiles->abandon();
        openRecordFiles = nullptr;
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
