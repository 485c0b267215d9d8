#include "flow/queryform.h"

#include "figures/pictureaccessible.h"
#include "figures/picturearea.h"
#include "platform/ownerlock.h"
#include "records/recordfolder.h"
#include "platform/platform.h"
#include "ui/commandkeys.h"
#include "ui/recovery.h"
#include "ui/textzoom.h"
#include "ui_queryform.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QPushButton>
#include <QPlainTextEdit>
#include <QShortcut>
#include <QStyle>
#include <QStyleFactory>
#include <QTimer>

#include <algorithm>

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
    useFormStyle();
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

    lockRefresh = new QTimer(this);
    lockRefresh->setInterval(OwnerLock::refreshSeconds * 1000);
    connect(lockRefresh, &QTimer::timeout, this, &QueryForm::refreshLocks);

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
    if (!ended)
        releaseFolder();
    delete ui;
}

void QueryForm::useFormStyle()
{
    // The form is laid out in fixed pixels and checked with Fusion's
    // metrics. macOS draws push buttons at its own fixed heights, and the
    // themed Windows look cannot be seen under Wine: so the window's
    // controls draw with Fusion on every system, where the checks hold. The
    // dialogs keep the system's style (their layouts adapt).
    if (style()->name().compare(QLatin1String("fusion"), Qt::CaseInsensitive) == 0)
        return;
    QStyle *fusion = QStyleFactory::create(QStringLiteral("Fusion"));
    fusion->setParent(this);
    setStyle(fusion);
    for (QWidget *control : findChildren<QWidget *>())
        control->setStyle(fusion);
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
    // A problem with the recovery file is told after the student's next
    // command, never while typing (a box popping up would take the keys)
    // and never from the timer.
    if (command != &QueryForm::tmrPendExpTick && !ended)
        reportRecoveryProblem();
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
