#pragma once

#include "flow/queryform.h"
#include "records/recordfolder.h"

#include <QTimer>

/// The way of the tests and the benchmark into a QueryForm: its state by
/// the names it has inside, and its commands run as a click runs them,
/// through the window's guard (nothing happens once the run has ended).
class FormAccess
{
public:
    explicit FormAccess(QueryForm &form)
        : platform(form.platform), courseTitle(form.courseTitle), outputFolder(form.outputFolder),
          masterFilePath(form.masterFilePath), sendFilePath(form.sendFilePath), notesFilePath(form.notesFilePath),
          assignmentNumber(form.assignmentNumber), nextAssignmentNumber(form.nextAssignmentNumber),
          instructionText(form.instructionText), codeKey(form.codeKey), QuestionBank(form.QuestionBank),
          bankIndex(form.bankIndex), pendingLine(form.pendingLine), lastLine(form.lastLine),
          lastLineKind(form.lastLineKind), resetAnswerBox(form.resetAnswerBox), questionText(form.questionText),
          questionNumber(form.questionNumber), selfCritiqueRating(form.selfCritiqueRating),
          queryFileTag(form.queryFileTag), txt_question(form.txt_question), txt_answer(form.txt_answer),
          Picture1(form.Picture1), Picture2(form.Picture2), tmr_pend_exp(form.tmr_pend_exp),
          txt_parameter(form.txt_parameter), lbl_parameter(form.lbl_parameter), m_form(form)
    {
    }

    Platform &platform;
    QString &courseTitle;
    QString &outputFolder;
    QString &masterFilePath;
    QString &sendFilePath;
    QString &notesFilePath;
    QString &assignmentNumber;
    QString &nextAssignmentNumber;
    QString &instructionText;
    float &codeKey;
    std::vector<QString> &QuestionBank;
    int &bankIndex;
    QString &pendingLine;
    QString &lastLine;
    QString &lastLineKind;
    bool &resetAnswerBox;
    QString &questionText;
    QString &questionNumber;
    QString &selfCritiqueRating;
    QString &queryFileTag;
    QPlainTextEdit *const &txt_question;
    QPlainTextEdit *const &txt_answer;
    PictureArea *const &Picture1;
    PictureArea *const &Picture2;
    QTimer *const &tmr_pend_exp;
    const std::array<QLineEdit *, 4> &txt_parameter;
    const std::array<QLabel *, 4> &lbl_parameter;

    void cmdNextQuestionClick() { run(&QueryForm::cmdNextQuestionClick); }
    void cmdEnterResponseClick() { run(&QueryForm::cmdEnterResponseClick); }
    void cmdClearAnswerClick() { run(&QueryForm::cmdClearAnswerClick); }
    void cmdSaveAsNotesClick() { run(&QueryForm::cmdSaveAsNotesClick); }
    void cmdDisplayNoteFileClick() { run(&QueryForm::cmdDisplayNoteFileClick); }
    void cmdDisplaySendFileClick() { run(&QueryForm::cmdDisplaySendFileClick); }
    void cmdQuitClick() { run(&QueryForm::cmdQuitClick); }
    void cmdNextPictureClick() { run(&QueryForm::cmdNextPictureClick); }
    void cmdCopyPictureClick() { run(&QueryForm::cmdCopyPictureClick); }
    void cmdPendExpClick() { run(&QueryForm::cmdPendExpClick); }
    void tmrPendExpTick() { run(&QueryForm::tmrPendExpTick); }

    /// True while the window keeps its locks fresh, at least every 30 s.
    bool lockRefreshing() const { return m_form.lockRefresh->isActive() && m_form.lockRefresh->interval() <= 30000; }
    void refreshLocks() { m_form.refreshLocks(); }

    /// Leaves the form as a killed process leaves its window: nothing of
    /// its end runs, its journal stays as it stands and its folder is free.
    void dropWithoutEnd()
    {
        m_form.ended = true;
        m_form.lockRefresh->stop();
        if (m_form.records)
            m_form.records->abandon();
        m_form.records.reset();
    }

private:
    void run(QueryForm::Command command) { m_form.runCommand(command); }

    QueryForm &m_form;
};

inline FormAccess inside(QueryForm &form)
{
    return FormAccess(form);
}
