#include "flow/queryform.h"

#include "flow/walksource.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>

namespace {

/// Adds `text` (CR LF breaks) at the end of a box, leaving it as
/// setBoxText(box, boxText(box) + text) would, but laying out only the new
/// text: setting the whole text again would lay out the whole walk so far on
/// every click.
void appendToBox(QPlainTextEdit *box, const QString &text)
{
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QTextDocument *document = box->document();
    // Setting the text forgets the undo history; so does this, and the
    // added entry does not enter it either.
    const bool undo = document->isUndoRedoEnabled();
    document->setUndoRedoEnabled(false);
    QTextCursor end(document);
    end.movePosition(QTextCursor::End);
    end.insertText(shown);
    document->setUndoRedoEnabled(undo);
}

} // namespace

bool QueryForm::holdsUnrecordedTyping(const QString &answer) const
{
    return !answer.trimmed().isEmpty() && answer != instructionText;
}

void QueryForm::readNextQuestion()
{
    // The instructions come back only into a box with nothing of the
    // student's in it: typing not yet recorded is never overwritten.
    if (resetAnswerBox && !holdsUnrecordedTyping(boxText(txt_answer)))
        setBoxText(txt_answer, instructionText);
    resetAnswerBox = false;
    if (walk) {
        readNextWalkEntry();
        return;
    }

    QString current;
    while (current.isEmpty()) {
        if (bankIndex >= bankSize - 1) {
            // The last assignment has no next heading: its walk ends where
            // the bank does, as if the next heading had been read.
            endRun();
            return;
        }
        ++bankIndex;
        current = QuestionBank[bankIndex];
        const QString kind = takeEntryMarker(current);
        if (!kind.isEmpty())
            lastLineKind = kind;
        if (!current.isEmpty())
            lastLine = current;
    }

    if (!isRoutineEntry(current))
        resetAnswerBox = true;
    pendingLine = current;
    if (beginsAssignment(current, nextAssignmentNumber))
        endRun();
}

void QueryForm::readNextWalkEntry()
{
    WalkSource::Entry entry;
    if (!walk->next(entry)) {
        endRun();
        return;
    }
    if (!entry.kind.isEmpty())
        lastLineKind = entry.kind;
    if (!entry.bankText.isEmpty())
        lastLine = entry.bankText;
    // A record under another assignment than the last is a later run of
    // that one: its header first.
    if (!entry.assignment.isEmpty() && (entry.assignment != assignmentNumber || walkHeading.isEmpty())) {
        assignmentNumber = entry.assignment;
        nextAssignmentNumber = nextNumberAfter(assignmentNumber);
        walkHeading = entry.heading;
        walkHeaderDue = true;
    }
    resetAnswerBox = true;
    pendingLine = entry.text;
}

void QueryForm::cmdNextQuestionClick()
{
    readNextQuestion();
    if (ended)
        return;
    if (pendingLine.size() > 8 && isRoutineEntry(pendingLine)) {
        runRoutine(routineName(pendingLine));
        if (ended)
            return;
        pendingLine.clear();
        readNextQuestion();
        if (ended)
            return;
    }
    questionText = boxText(txt_question);
    const QString added = QStringLiteral("\r\n\r\n") + expandLineBreaks(pendingLine);
    questionText += added;
    pendingLine.clear();
    // The two breaks before the entry start two new blocks after the last one.
    const int entryBlock = txt_question->document()->blockCount() + 1;
    appendToBox(txt_question, added);

    // Show the new entry from its first line, so a long given answer is read
    // from the start: seen from the end of the text, making the entry's
    // first line visible scrolls it to the top of the box.
    txt_question->moveCursor(QTextCursor::End);
    txt_question->setTextCursor(QTextCursor(txt_question->document()->findBlockByNumber(entryBlock)));
    txt_question->ensureCursorVisible();
}

QString QueryForm::expandLineBreaks(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == QLatin1Char('{') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('}')) {
            out.append(QLatin1String("\r\n"));
            ++i;
        } else {
            out.append(text.at(i));
        }
    }
    return out;
}
