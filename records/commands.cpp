#include "flow/queryform.h"

#include "records/recordfiles.h"
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

enum { masterFile, sendFile, notesFile };

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
        // The typing is safe in the recovery file before the record's first
        // byte: whatever end comes while it is written (or while the box
        // waits), the record is taken back or cut off, and the text returns.
        keepTypingNow();
        RecordFiles files({masterFilePath, sendFilePath}, recordLedger.get());
        files.setRecorded(keptTypingName());
        questionText = answer;
        headNewFiles(files);
        files.line(openingSeparator);
        files.lineTo(masterFile, timeLine());
        files.lineTo(sendFile, timeLine());
        files.lineTo(masterFile, QString());
        files.lineTo(masterFile, QString());
        files.lineTo(masterFile, questionKeyLine());
        files.line(code(lastLine, codeKey));
        files.line(openingSeparator);
        files.line(responseLabel);
        files.line(code(questionText, codeKey));
        // A record that could not be begun is not completed with a rating:
        // the student keeps the typed text and can try again.
        if (!files.failed()) {
            // While the box waits an end of the process takes the unfinished record back.
            openRecordFiles = &files;
            if (lastLineKind == QLatin1String("question")) {
                const QString confidence = platform.inputBox(confidencePrompt);
                if (openRecordFiles)
                    files.line(confidenceLabel + confidence);
            } else if (lastLineKind == QLatin1String("answer")) {
                assessSelfCritique();
            }
            // Taken back by an end of the session while the box waited: the
            // typing is kept. A session end that was called off (a shut-down
            // cancelled) leaves the student at work, who must hear of it.
            if (!openRecordFiles) {
                if (!ended)
                    platform.message(QStringLiteral("Your response was not saved.\n\nThe computer began to end the "
                                                    "session while the rating box waited, so the record was taken "
                                                    "back.\n\nYour text is still in the answer box."));
                return;
            }
            openRecordFiles = nullptr;
            files.line(closingSeparator);
        }
        finishRecord(files, QStringLiteral("Your response was not saved."));
        return;
    }
    clearAfterRecord();
}

void QueryForm::assessSelfCritique()
{
    selfCritiqueRating = platform.inputBox(selfCritiquePrompt);
    if (openRecordFiles)
        openRecordFiles->line(selfCritiqueLabel + selfCritiqueRating);
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
        keepTypingNow(); // as for a response: safe before the record's first byte
        RecordFiles files({masterFilePath, sendFilePath, notesFilePath}, recordLedger.get());
        files.setRecorded(keptTypingName());
        headNewFiles(files);
        files.line(openingSeparator);
        for (int i = masterFile; i <= notesFile; ++i)
            files.lineTo(i, timeLine());
        for (int i = masterFile; i <= notesFile; ++i)
            files.lineTo(i, dateTimeLine());
        files.line(code(lastLine, codeKey));
        files.line(openingSeparator);
        files.line(code(questionText, codeKey));
        // The SEND and notes files leave the line open at the next print
        // zone; the next record appended there continues it.
        files.lineTo(masterFile, closingSeparator);
        const QString openLine = closingSeparator + QString(noteTrailerBlanks, QLatin1Char(' '));
        files.textTo(sendFile, openLine);
        files.textTo(notesFile, openLine);
        finishRecord(files, QStringLiteral("Your note was not saved."));
        return;
    }
    clearAfterRecord();
}

void QueryForm::finishRecord(RecordFiles &files, const QString &notSaved)
{
    if (!files.close()) {
        platform.message(QStringLiteral("%1\n\n%2\n\nYour text is still in the answer box.").arg(notSaved, files.error()));
        return;
    }
    clearAfterRecord();
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
    if (recordLedger)
        recordLedger->left.erase(path);
    return false;
}

void QueryForm::cmdQuitClick()
{
    endRun();
}
