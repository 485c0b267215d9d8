#include "flow/queryform.h"

#include "records/recordfiles.h"
#include "ui/platform.h"

#include <QFileInfo>
#include <QPlainTextEdit>

namespace {

const QString openingSeparator = QStringLiteral("......!!!!!!!!...................................");
const QString closingSeparator = QString(49, QLatin1Char('.'));

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

} // namespace

void QueryForm::cmdEnterResponseClick()
{
    if (ended)
        return;
    const QString answer = boxText(txt_answer);
    if (answer != instructionText) {
        resetAnswerBox = false;
        RecordFiles files({masterFilePath, sendFilePath});
        questionText = answer;
        files.line(openingSeparator);
        files.lineTo(masterFile, timeLine());
        files.lineTo(sendFile, timeLine());
        files.lineTo(masterFile, QString());
        files.lineTo(masterFile, QString());
        files.lineTo(masterFile, questionKeyLine());
        files.line(code(lastLine, codeKey));
        files.line(openingSeparator);
        files.line(QStringLiteral("RESPONSE -->  "));
        files.line(code(questionText, codeKey));
        // A record that could not be begun is not completed with a rating:
        // the student keeps the typed text and can try again.
        if (!files.failed()) {
            if (lastLineKind == QLatin1String("question")) {
                const QString confidence = platform.inputBox(confidencePrompt);
                files.line(QStringLiteral("confidence assessment:  ") + confidence);
            } else if (lastLineKind == QLatin1String("answer")) {
                openRecordFiles = &files;
                assessSelfCritique();
                openRecordFiles = nullptr;
            }
            files.line(closingSeparator);
        }
        if (!files.close()) {
            platform.message(QStringLiteral("Your response could not be saved completely.\n\n%1\n\n"
                                            "Your text is still in the answer box.")
                                 .arg(files.error()));
            return;
        }
    }
    setBoxText(txt_question, QString());
    setBoxText(txt_answer, QString());
    answerRecorded();
}

void QueryForm::assessSelfCritique()
{
    selfCritiqueRating = platform.inputBox(selfCritiquePrompt);
    if (openRecordFiles)
        openRecordFiles->line(QStringLiteral("self critique assessment: ") + selfCritiqueRating);
}

void QueryForm::cmdClearAnswerClick()
{
    if (ended)
        return;
    setBoxText(txt_answer, QString());
    answerRecorded();
}

void QueryForm::cmdSaveAsNotesClick()
{
    if (ended)
        return;
    const QString answer = boxText(txt_answer);
    if (answer != instructionText) {
        resetAnswerBox = false;
        questionText = QStringLiteral("NOTES -------> ") + answer;
        RecordFiles files({masterFilePath, sendFilePath, notesFilePath});
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
        files.textTo(sendFile, closingSeparator + QString(7, QLatin1Char(' ')));
        files.textTo(notesFile, closingSeparator + QString(7, QLatin1Char(' ')));
        if (!files.close()) {
            platform.message(QStringLiteral("Your note could not be saved completely.\n\n%1\n\n"
                                            "Your text is still in the answer box.")
                                 .arg(files.error()));
            return;
        }
    }
    setBoxText(txt_question, QString());
    setBoxText(txt_answer, QString());
    answerRecorded();
}

void QueryForm::cmdDisplayNoteFileClick()
{
    if (ended)
        return;
    // Only a folder that is there can say that no notes were saved yet; a
    // folder gone or replaced is a fault to name like any other.
    if (!QFileInfo::exists(notesFilePath) && QFileInfo(outputFolder).isDir()) {
        platform.message(QStringLiteral("No notes have been saved yet in %1.").arg(outputFolder));
        return;
    }
    QString text, error;
    if (!readWholeFile(notesFilePath, text, error)) {
        platform.message(QStringLiteral("The notes file cannot be shown.\n\n%1").arg(error));
        return;
    }
    setBoxText(txt_question, boxText(txt_question) + QStringLiteral("\r\n\r\n")
                                 + splitFileLines(text).join(QStringLiteral("\r\n")));
}

void QueryForm::cmdDisplaySendFileClick()
{
    if (ended)
        return;
    QString text, error;
    if (!readWholeFile(sendFilePath, text, error)) {
        platform.message(QStringLiteral("The SEND file cannot be shown.\n\n%1").arg(error));
        return;
    }
    QString shown = boxText(txt_question);
    const QStringList lines = splitFileLines(text);
    qsizetype size = shown.size();
    for (const QString &line : lines)
        size += line.size() + 2;
    shown.reserve(size);
    for (const QString &line : lines)
        shown.append(QLatin1String("\r\n")).append(line);
    setBoxText(txt_question, shown);
}

void QueryForm::cmdQuitClick()
{
    endRun();
}
