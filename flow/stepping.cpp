#include "flow/queryform.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>

bool QueryForm::isRoutineEntry(const QString &entry)
{
    return entry.left(8).toLower() == QLatin1String("`routine");
}

QString QueryForm::routineName(const QString &entry)
{
    return remSpaces(entry.mid(9)).toLower();
}

void QueryForm::readNextQuestion()
{
    if (resetAnswerBox)
        setBoxText(txt_answer, instructionText);
    resetAnswerBox = false;

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
        if (current.startsWith(QLatin1String("`q"))) {
            current.remove(0, 2);
            lastLineKind = QStringLiteral("question");
        } else if (current.startsWith(QLatin1String("`a"))) {
            current.remove(0, 2);
            lastLineKind = QStringLiteral("answer");
        }
        if (!current.isEmpty())
            lastLine = current;
    }

    if (!isRoutineEntry(current))
        resetAnswerBox = true;
    pendingLine = current;
    if (current.left(3) == nextAssignmentNumber)
        endRun();
}

void QueryForm::cmdNextQuestionClick()
{
    if (ended)
        return;
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
    pendingLine = expandLineBreaks(pendingLine);
    const qsizetype entryStart = questionText.size() + 4;
    questionText += QStringLiteral("\r\n\r\n") + pendingLine;
    pendingLine.clear();
    setBoxText(txt_question, questionText);

    // Show the new entry from its first line, so a long given answer is read
    // from the start; the box text uses single LF breaks, so count them.
    const int newLines = int(questionText.left(entryStart).count(QLatin1String("\r\n")));
    QTextCursor cursor(txt_question->document()->findBlockByNumber(newLines));
    txt_question->moveCursor(QTextCursor::End);
    txt_question->setTextCursor(cursor);
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
