#include "flow/queryform.h"

#include "bank/compiledcourse.h"
#include "bank/content.h"
#include "bank/entrygrammar.h"
#include "platform/platform.h"

#include <QFile>
#include <QStringDecoder>

#include <algorithm>

QString QueryForm::bankEntry(int index) const
{
    return index >= 0 && index < bankSize ? QuestionBank[index] : QString();
}

QString QueryForm::takeEntryMarker(QString &entry)
{
    if (entry.startsWith(entrygrammar::questionMarker)) {
        entry.remove(0, entrygrammar::questionMarker.size());
        return QStringLiteral("question");
    }
    if (entry.startsWith(entrygrammar::answerMarker)) {
        entry.remove(0, entrygrammar::answerMarker.size());
        return QStringLiteral("answer");
    }
    return QString();
}

bool QueryForm::isHeadingEntry(const QString &entry)
{
    return entrygrammar::isHeading(entry);
}

bool QueryForm::isHeadingOf(const QString &entry, const QString &number)
{
    return entrygrammar::isHeadingOf(entry, number);
}

bool QueryForm::beginsAssignment(const QString &entry, const QString &number)
{
    return entrygrammar::beginsAssignment(entry, number);
}

bool QueryForm::isRoutineEntry(const QString &entry)
{
    return entrygrammar::isRoutineEntry(entry);
}

QString QueryForm::routineName(const QString &entry)
{
    return remSpaces(entrygrammar::routineText(entry).toString()).toLower();
}

bool QueryForm::loadQuestionBank()
{
    if (bankFiles.isEmpty()) {
        // The course was read and checked when the program was built; its
        // entries refer to constant data, so this copies no text.
        const QStringList entries = compiledCourseEntries();
        if (entries.size() >= bankSize) {
            platform.message(QStringLiteral("The course text holds more than %1 entries; "
                                            "the question bank cannot hold it.")
                                 .arg(bankSize - 1));
            return false;
        }
        std::copy(entries.begin(), entries.end(), QuestionBank.begin() + 1);
        bankIndex = 0;
        return true;
    }
    for (const QString &path : bankFiles) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            platform.message(QStringLiteral("The course text cannot be read: %1: %2").arg(path, file.errorString()));
            return false;
        }
        QStringDecoder utf8(QStringDecoder::Utf8);
        const QString text = utf8.decode(file.readAll());
        if (utf8.hasError()) {
            platform.message(QStringLiteral("The course text is malformed: %1: not UTF-8 text").arg(path));
            return false;
        }
        const ParsedContent content = parseContent(text, path);
        if (!content.error.isEmpty()) {
            platform.message(QStringLiteral("The course text is malformed: %1").arg(content.error));
            return false;
        }
        for (const ContentStep &step : content.steps) {
            if (!step.append)
                ++bankIndex;
            if (bankIndex < 1 || bankIndex >= bankSize) {
                platform.message(QStringLiteral("The course text holds more than %1 entries (%2:%3); "
                                                "the question bank cannot hold it.")
                                     .arg(bankSize - 1)
                                     .arg(path)
                                     .arg(step.line));
                bankIndex = 0;
                return false;
            }
            if (step.append)
                QuestionBank[bankIndex] += step.text;
            else
                QuestionBank[bankIndex] = step.text;
        }
    }
    bankIndex = 0;
    return true;
}
