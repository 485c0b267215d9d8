#include "flow/queryform.h"

#include "bank/content.h"
#include "ui/platform.h"

#include <QFile>
#include <QStringDecoder>

QString QueryForm::bankEntry(int index) const
{
    return index >= 0 && index < bankSize ? QuestionBank[index] : QString();
}

bool QueryForm::loadQuestionBank()
{
    const QStringList files = bankFiles.isEmpty() ? builtInContentFiles() : bankFiles;
    for (const QString &path : files) {
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
