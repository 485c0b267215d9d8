#include "flow/queryform.h"

#include "records/recordfiles.h"
#include "records/recordfolder.h"
#include "records/recordformat.h"
#include "platform/busycursor.h"
#include "platform/platform.h"

#include <QFileInfo>
#include <QPlainTextEdit>
#include <QTextDocument>

namespace {

using namespace recordformat;

const QString confidencePrompt = QStringLiteral(
    "Assess your level of confidence in your answer on a scale from 0 to 3, where 0 means you have no "
    "confidence in your answer, 1 means you have some confidence, 2 means you are pretty confident and "
    "3 means you are certain of your answer:");

const QString selfCritiquePrompt = QStringLiteral(
    "Rate the quality of your self-critique on a 0-3 scale, where 0 indicates that self-critique was "
    "necessary on this question but was not given, 1 indicates that self-critique was necessary but the "
    "given self-critique was not adequate, 2 indicates that self-critique was necessary and was mostly "
    "adequate, and 3 indicates that either self-critique was not necessary or that after reading the "
    "solution everything was completely obvious so you skipped the self-critique.");

/// File text in the form a text box holds, in one pass and in place: each
/// line of splitFileLines() ends in LF, the last one without its ending.
/// A 10 MB file would otherwise be split into lines, joined and converted
/// again, several copies of it at once.
void toBoxLines(QString &text)
{
    const bool endsWithLineEnd = text.endsWith(QLatin1Char('\r')) || text.endsWith(QLatin1String("\r\n"));
    QChar *const data = text.data();
    const qsizetype n = text.size();
    qsizetype out = 0;
    for (qsizetype i = 0; i < n; ++i) {
        if (data[i] == QLatin1Char('\r')) {
            data[out++] = QLatin1Char('\n');
            if (i + 1 < n && data[i + 1] == QLatin1Char('\n'))
                ++i;
        } else {
            data[out++] = data[i];
        }
    }
    text.truncate(endsWithLineEnd ? out - 1 : out);
}

/// The whole text of `box` as it holds it, line breaks as LF.
QString boxLines(const QPlainTextEdit *box)
{
    QString text = box->document()->toRawText();
    for (QChar &c : text)
        if (c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            c = QLatin1Char('\n');
    return text;
}

} // namespace

void QueryForm::cmdEnterResponseClick()
{
    const QString answer = boxText(txt_answer);
    if (answer != instructionText) {
        resetAnswerBox = false;
        questionText = answer;
        const Rating rating = lastLineKind == QLatin1String("question") ? Rating::Confidence
                              : lastLineKind == QLatin1String("answer") ? Rating::SelfCritique
                                                                          : Rating::None;
        // The typing goes into the journal's note with the record's first
        // lines: whatever end comes while they are written (or while the box
        // waits), the record is taken back or cut off, and the text returns.
        QString error;
        if (!records->beginResponse({timeLine(), questionKeyLine(), code(lastLine, codeKey), code(questionText, codeKey)},
                                    rating, typingNow(answer), error)) {
            // A record that could not be begun is not completed with a rating:
            // the student keeps the typed text and can try again.
            recordNotSaved(QStringLiteral("Your response was not saved."), error);
            return;
        }
        QString typed;
        if (rating == Rating::Confidence)
            typed = platform.inputBox(confidencePrompt);
        else if (rating == Rating::SelfCritique) {
            assessSelfCritique();
            typed = selfCritiqueRating;
        }
        // Taken back by an end of the session while the box waited (the
        // run may have ended, and given its folder up, meanwhile): the
        // typing is kept. A session end that was called off (a shut-down
        // cancelled) leaves the student at work, who must hear of it.
        if (!records || !records->responseWaiting()) {
            if (!ended)
                platform.message(QStringLiteral("Your response was not saved.\n\nThe computer began to end the "
                                                "session while the rating box waited, so the record was taken "
                                                "back.\n\nYour text is still in the answer box."));
            return;
        }
        if (!records->finishResponse(typed, error)) {
            recordNotSaved(QStringLiteral("Your response was not saved."), error);
            return;
        }
    }
    clearAfterRecord();
}

void QueryForm::assessSelfCritique()
{
    selfCritiqueRating = platform.inputBox(selfCritiquePrompt);
}

void QueryForm::cmdClearAnswerClick()
{
    setBoxText(txt_answer, QString());
    answerRecorded();
}

void QueryForm::cmdSaveAsNotesClick()
{
    const QString answer = boxText(txt_answer);
    if (answer != instructionText) {
        resetAnswerBox = false;
        questionText = notesLabel + answer;
        QString error;
        if (!records->writeNote({timeLine(), dateTimeLine(), code(lastLine, codeKey), code(answer, codeKey)},
                                typingNow(answer), error)) {
            recordNotSaved(QStringLiteral("Your note was not saved."), error);
            return;
        }
    }
    clearAfterRecord();
}

void QueryForm::recordNotSaved(const QString &notSaved, const QString &error)
{
    platform.message(QStringLiteral("%1\n\n%2\n\nYour text is still in the answer box.").arg(notSaved, error));
    // Kept now, so that nothing depends on the journal of a folder that
    // failed (or was lost): the next start on any folder offers it back.
    keepTypingNow();
}

void QueryForm::clearAfterRecord()
{
    setBoxText(txt_question, QString());
    setBoxText(txt_answer, QString());
    answerRecorded();
}

void QueryForm::cmdDisplayNoteFileClick()
{
    // Only a folder that is there can say that no notes were saved yet; a
    // folder gone or replaced is a fault to name like any other.
    if (!QFileInfo::exists(notesFilePath) && QFileInfo(outputFolder).isDir()) {
        platform.message(QStringLiteral("No notes have been saved yet in %1.").arg(outputFolder));
        return;
    }
    QString text;
    BusyCursor busy;
    if (!readForDisplay(notesFilePath, QStringLiteral("The notes file cannot be shown."), text, busy))
        return;
    toBoxLines(text);
    txt_question->setPlainText(boxLines(txt_question) + QStringLiteral("\n\n") + text);
}

void QueryForm::cmdDisplaySendFileClick()
{
    QString text;
    BusyCursor busy;
    if (!readForDisplay(sendFilePath, QStringLiteral("The SEND file cannot be shown."), text, busy))
        return;
    // Each line of the file on a line of its own after the box's text.
    if (text.isEmpty())
        return;
    toBoxLines(text);
    txt_question->setPlainText(boxLines(txt_question) + QLatin1Char('\n') + text);
}

bool QueryForm::readForDisplay(const QString &path, const QString &cannotShow, QString &text, BusyCursor &busy)
{
    QString error;
    if (readWholeFile(path, text, error))
        return true;
    busy.end();
    platform.message(QStringLiteral("%1\n\n%2").arg(cannotShow, error));
    // The student now knows something is wrong with the file: the next
    // record takes it as it finds it, rather than refuse it again.
    if (records)
        records->forget(path);
    return false;
}

void QueryForm::cmdQuitClick()
{
    endRun();
}
