#include "flow/queryform.h"

#include "figures/pictureaccessible.h"
#include "figures/picturearea.h"
#include "platform/oscalls.h"
#include "platform/platform.h"
#include "records/recordfiles.h"
#include "ui/commandkeys.h"
#include "ui/recovery.h"
#include "ui/textzoom.h"
#include "ui_queryform.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QPushButton>
#include <QPlainTextEdit>
#include <QPointer>
#include <QShortcut>
#include <QTimer>

#include <algorithm>
#include <cstdlib>

QueryForm::QueryForm(Platform &platformLayer, QWidget *parent)
    : QWidget(parent), platform(platformLayer), ui(new Ui::QueryForm)
{
    installPictureAccessibility();
    // The window's own font. The layout is fixed in pixels, so it is made for
    // one font whatever the desktop's: Arial (Liberation Sans on Linux), 10 pixels high.
    // Set before the controls exist, so that they are made with it rather
    // than made and then all changed (a tenth of the window's start-up).
    QFont windowFont(QStringLiteral("Arial"));
    windowFont.setStyleHint(QFont::SansSerif);
    windowFont.setPixelSize(10);
    setFont(windowFont);
    ui->setupUi(this);
    txt_question = ui->txt_question;
    txt_answer = ui->txt_answer;
    Picture1 = ui->Picture1;
    Picture2 = ui->Picture2;
    txt_parameter = {ui->txt_parameter_0, ui->txt_parameter_1, ui->txt_parameter_2, ui->txt_parameter_3};
    lbl_parameter = {ui->lbl_parameter_0, ui->lbl_parameter_1, ui->lbl_parameter_2, ui->lbl_parameter_3};

    // The text boxes scroll, so they can take the desktop's text size when
    // that is larger without breaking the layout.
    QFont boxFont(QStringLiteral("Arial"));
    const QFont desktop = QApplication::font();
    const qreal desktopPoints = desktop.pointSizeF() > 0 ? desktop.pointSizeF() : QFontInfo(desktop).pointSizeF();
    boxFont.setPointSizeF(std::max(9.75, desktopPoints));
    boxFont.setWeight(QFont::Normal);
    boxFont.setStyleHint(QFont::SansSerif);
    txt_question->setFont(boxFont);
    txt_answer->setFont(boxFont);
    setBoxText(txt_answer, QStringLiteral(" ")); // a form file cannot hold a text that is only a blank

    tmr_pend_exp = new QTimer(this);
    tmr_pend_exp->setObjectName(QStringLiteral("tmr_pend_exp"));
    tmr_pend_exp->setInterval(15);

    // Tab order. Labels hold places in it but never take the focus, so they
    // are left out. Qt 6.4's setTabOrder scrambles the chain around scroll
    // areas (the text boxes and the list), so the window walks this list itself.
    tabChain = {txt_question, txt_answer, ui->cmdNextQuestion, ui->cmd_enter_response, Picture1, Picture2,
                ui->cmd_save_as_notes, ui->cmd_timerTrigger, ui->List1, txt_parameter[0], txt_parameter[1],
                txt_parameter[2], txt_parameter[3], ui->cmd_displayCumulativeText, ui->cmd_display_note_file,
                ui->cmd_quit, ui->cmd_pend_exp, ui->cmd_next_picture, ui->cmd_copy_picture, ui->cmd_clr_answer};

    setAccessibleName(QStringLiteral("Calculus Study")); // described with the keys, in wireControls()

    setFixedSize(725, 573);
    wireControls();
    txt_question->setFocus();
}

QueryForm::~QueryForm()
{
    delete ui;
}

void QueryForm::wireControls()
{
    const QKeySequence next(Qt::CTRL | Qt::Key_N), enter(Qt::CTRL | Qt::Key_Return), save(Qt::CTRL | Qt::Key_S),
        quit(Qt::CTRL | Qt::Key_Q);
    const struct
    {
        QPushButton *button;
        Command command;
        QList<QKeySequence> keys;
    } controls[] = {
        {ui->cmdNextQuestion, &QueryForm::cmdNextQuestionClick, {next}},
        {ui->cmd_enter_response, &QueryForm::cmdEnterResponseClick, {enter, QKeySequence(Qt::CTRL | Qt::Key_Enter)}},
        {ui->cmd_clr_answer, &QueryForm::cmdClearAnswerClick, {}},
        {ui->cmd_save_as_notes, &QueryForm::cmdSaveAsNotesClick, {save}},
        {ui->cmd_display_note_file, &QueryForm::cmdDisplayNoteFileClick, {}},
        {ui->cmd_displayCumulativeText, &QueryForm::cmdDisplaySendFileClick, {}},
        {ui->cmd_quit, &QueryForm::cmdQuitClick, {quit}},
        {ui->cmd_pend_exp, &QueryForm::cmdPendExpClick, {}},
        {ui->cmd_next_picture, &QueryForm::cmdNextPictureClick, {}},
        {ui->cmd_copy_picture, &QueryForm::cmdCopyPictureClick, {}},
    };
    // The keys click the button, so a key does exactly what the button does;
    // they work from any control, the answer box included. A held key runs
    // its command once: a held Ctrl+S must not record empty notes, nor a
    // held Ctrl+N step into the next assignment.
    auto *keys = new CommandKeys(this);
    for (const auto &control : controls) {
        connect(control.button, &QPushButton::clicked, this,
                [this, command = control.command] { runCommand(command); });
        keys->addButton(control.button, control.keys);
        // The keys as this system names them: the Command key on macOS, and
        // no mnemonic where the system has none.
        const QString names = keys->keyNames(control.button);
        if (!names.isEmpty())
            control.button->setToolTip(control.button->toolTip() + QStringLiteral(" (%1)").arg(names));
    }
    connect(tmr_pend_exp, &QTimer::timeout, this, [this] { runCommand(&QueryForm::tmrPendExpTick); });

    // Zooming is no command: a held key may zoom on.
    auto *zoom = new TextZoom({txt_question, txt_answer}, this);
    const QKeySequence zoomIn(QKeySequence::ZoomIn), zoomOut(QKeySequence::ZoomOut), zoomReset(Qt::CTRL | Qt::Key_0);
    const std::pair<QList<QKeySequence>, void (TextZoom::*)()> zoomKeys[] = {
        {{zoomIn, QKeySequence(Qt::CTRL | Qt::Key_Equal)}, &TextZoom::zoomIn},
        {{zoomOut}, &TextZoom::zoomOut},
        {{zoomReset}, &TextZoom::reset},
    };
    for (const auto &[sequences, action] : zoomKeys) {
        auto *shortcut = new QShortcut(this);
        shortcut->setKeys(sequences);
        connect(shortcut, &QShortcut::activated, zoom, action);
    }

    const auto name = &CommandKeys::nativeName;
    txt_question->setAccessibleDescription(
        txt_question->accessibleDescription()
        + QStringLiteral("; %1, %2 and %3 change the text size").arg(name(zoomIn), name(zoomOut), name(zoomReset)));
    txt_answer->setAccessibleDescription(
        txt_answer->accessibleDescription()
        + QStringLiteral("; %1 records it, %2 saves it as a note, %3 shows the next question or answer")
              .arg(name(enter), name(save), name(next)));
    setAccessibleDescription(QStringLiteral("Keys: %1 next question or answer, %2 enter response, %3 save as notes, "
                                            "%4 quit, %5 and %6 text size, %7 normal text size")
                                 .arg(name(next), name(enter), name(save), name(quit), name(zoomIn), name(zoomOut),
                                      name(zoomReset)));
}

void QueryForm::runCommand(Command command)
{
    // After the end the window is disabled and the timer stopped; a click
    // or tick already queued still finds nothing to do.
    if (ended)
        return;
    (this->*command)();
}

QString QueryForm::boxText(const QPlainTextEdit *box)
{
    // The raw text keeps every character as typed (no-break spaces
    // included); only the block separators become CR LF.
    QString text = box->document()->toRawText();
    for (QChar &c : text)
        if (c == QChar::LineSeparator)
            c = QChar::ParagraphSeparator;
    return text.replace(QChar::ParagraphSeparator, QLatin1String("\r\n"));
}

void QueryForm::setBoxText(QPlainTextEdit *box, const QString &text)
{
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    box->setPlainText(shown);
}

void QueryForm::enableAnswerRecovery(const QString &folder)
{
    recovery = new AnswerRecovery(folder, this);
    recovery->setWorthKeeping([this](const QString &text) { return holdsUnrecordedTyping(text); });
    recovery->setContextSource([this] {
        const QString under = expandLineBreaks(lastLine).section(QLatin1String("\r\n"), 0, 0).trimmed();
        return QStringList{assignmentNumber, under.left(100)};
    });
    connect(txt_answer, &QPlainTextEdit::textChanged, this, [this] {
        if (!ended)
            recovery->textChanged(boxText(txt_answer));
    });
    // A problem with the recovery file is told when the student next clicks
    // a command, never while typing: a box popping up would take the keys.
    for (QPushButton *button : findChildren<QPushButton *>())
        connect(button, &QPushButton::clicked, this, &QueryForm::reportRecoveryProblem);
}

void QueryForm::restoreUnrecordedAnswer()
{
    if (!recovery)
        return;
    AnswerRecovery::LeftOver left;
    if (recovery->takeLeftOver(left)) {
        setBoxText(txt_answer, left.text);
        if (!left.readable) {
            platform.message(
                QStringLiteral("Typing that was not recorded was found in a file this program cannot read "
                               "as usual%1. What it holds is back in the answer box as it stands: record it "
                               "with Enter Response or Save as Notes, or clear it.")
                    .arg(left.setAside.isEmpty()
                             ? QString()
                             : QStringLiteral(" (kept as %1)").arg(QDir::toNativeSeparators(left.setAside))));
        } else {
            QString where;
            if (!left.assignment.isEmpty())
                where += QStringLiteral(" in assignment %1").arg(left.assignment);
            if (!left.under.isEmpty())
                where += QStringLiteral(" under \"%1\"").arg(left.under);
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
    }
    reportRecoveryProblem();
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

void QueryForm::keepWorkBeforeSuddenEnd()
{
    keepTypingNow();
    if (openRecordFiles) {
        openRecordFiles->abandon();
        openRecordFiles = nullptr;
    }
}

void QueryForm::keepWorkAtEveryEnd()
{
    static QPointer<QueryForm> kept;
    kept = this;
    oscalls::onEndRequested([] {
        if (kept && !kept->runEnded()) {
            kept->keepWorkBeforeSuddenEnd();
            kept->endRun(0);
        }
    });
    // The display's connection lost: the toolkit calls exit(), which still
    // runs this; the window's objects are alive while it does.
    static bool registered = false;
    if (!registered) {
        registered = true;
        std::atexit([] {
            if (kept && !kept->runEnded())
                kept->keepWorkBeforeSuddenEnd();
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
    // The process ends with exit(), which never destroys the form: a lock
    // left behind is taken over on this machine, but never from another one
    // that shares the home folder.
    if (recovery)
        recovery->releaseLock();
    folderLock.reset();
    ended = true;
    tmr_pend_exp->stop();
    setEnabled(false);
    hide();
    platform.setExitStatus(status);
    platform.exitProcess();
}

bool QueryForm::focusNextPrevChild(bool next)
{
    QWidget *current = focusWidget();
    auto at = std::find_if(tabChain.begin(), tabChain.end(),
                           [current](QWidget *w) { return w == current || w->isAncestorOf(current); });
    if (at == tabChain.end())
        return QWidget::focusNextPrevChild(next);
    const int n = int(tabChain.size());
    int i = int(at - tabChain.begin());
    for (int step = 0; step < n; ++step) {
        i = (i + (next ? 1 : n - 1)) % n;
        QWidget *candidate = tabChain[i];
        if (candidate->isVisible() && candidate->isEnabled()) {
            candidate->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
            return true;
        }
    }
    return false;
}

void QueryForm::showEvent(QShowEvent *event)
{
    // A screen reader names the window by what it is and which assignment
    // is open; the caption stays "Form1".
    bool numeric = false;
    const int number = assignmentNumber.toInt(&numeric);
    const QString assignment = numeric ? QString::number(number) : assignmentNumber;
    QString name = QStringLiteral("Calculus Study");
    if (!courseTitle.isEmpty())
        name += QStringLiteral(", ") + courseTitle;
    if (!assignment.isEmpty())
        name += QStringLiteral(", assignment ") + assignment;
    setAccessibleName(name);
    QWidget::showEvent(event);
}

void QueryForm::closeEvent(QCloseEvent *event)
{
    event->accept();
    endRun();
}
