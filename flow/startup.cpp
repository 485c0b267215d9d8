#include "flow/queryform.h"

#include "platform/oscalls.h"
#include "platform/platform.h"

#include <QDir>
#include <QFileInfo>

#include <cmath>

namespace {

const QString windowsDefaultFolder = QStringLiteral("c:\\crsfiles");

QString namingDefault(QString prompt, const QString &folder)
{
    return prompt.replace(windowsDefaultFolder, folder);
}

} // namespace

QString QueryForm::systemDefaultFolder()
{
#ifdef Q_OS_WIN
    return windowsDefaultFolder;
#else
    return QDir::homePath() + QStringLiteral("/crsfiles");
#endif
}

QString QueryForm::pathSeparator()
{
#ifdef Q_OS_WIN
    return QStringLiteral("\\");
#else
    return QStringLiteral("/");
#endif
}

QString QueryForm::padAssignmentNumber(const QString &typed)
{
    if (typed.size() == 1)
        return QStringLiteral("00") + typed;
    if (typed.size() == 2)
        return QStringLiteral("0") + typed;
    return typed;
}

double QueryForm::leadingValue(const QString &text)
{
    // Like reading a number off the front of a text by hand: blanks are
    // skipped anywhere, a sign, digits, one decimal point and an exponent
    // may take part, and reading stops at the first character that cannot.
    QString number;
    bool digits = false, point = false, exponent = false;
    for (const QChar c : text) {
        if (c == QLatin1Char(' '))
            continue;
        if (c.isDigit() && c.unicode() < 128) {
            number += c;
            digits = true;
        } else if ((c == QLatin1Char('-') || c == QLatin1Char('+'))
                   && (number.isEmpty() || number.endsWith(QLatin1Char('e')))) {
            number += c;
        } else if (c == QLatin1Char('.') && !point && !exponent) {
            number += c;
            point = true;
        } else if ((c == QLatin1Char('e') || c == QLatin1Char('E') || c == QLatin1Char('d')
                    || c == QLatin1Char('D'))
                   && digits && !exponent) {
            number += QLatin1Char('e');
            exponent = true;
        } else {
            break;
        }
    }
    while (!number.isEmpty() && !number.back().isDigit() && number.back() != QLatin1Char('.'))
        number.chop(1);
    bool ok = false;
    const double value = number.toDouble(&ok);
    return ok && std::isfinite(value) ? value : 0;
}

QString QueryForm::plainNumber(double value)
{
    if (value == std::floor(value) && std::abs(value) < 1e15)
        return QString::number(qint64(value));
    return QString::number(value, 'g', 15);
}

QString QueryForm::nextNumberAfter(const QString &padded)
{
    return padAssignmentNumber(plainNumber(leadingValue(padded) + 1));
}

bool QueryForm::startRun()
{
    courseTitle = QStringLiteral("Applied Calculus I"); // as records/recordformat.h names it for the readers
    runStartDialogue();
    if (ended)
        return false;
    openAssignment();
    runStarted = !ended;
    return runStarted;
}

void QueryForm::runStartDialogue()
{
    const QDateTime started = platform.now();
    platform.seedRandom(quint32(started.time().msecsSinceStartOfDay() / 1000));
    // Computed in double: in single precision the largest draw would round up to 29.
    codeKey = float(std::min(28.0, std::floor(double(platform.random()) * 10 + 19)));

    scalePictureAreas();

    const QString folder = defaultFolder.isEmpty() ? systemDefaultFolder() : defaultFolder;
    outputFolder = folder;
    QDir().mkdir(folder); // already there, or not creatable: either way start-up goes on

    platform.inputBox(QStringLiteral("Your full name:  "));
    const QString choice = platform.inputBox(namingDefault(
        QStringLiteral("Enter 1 if you want to change the folder to which your files will be written.  "
                       "The current default folder is c:\\crsfiles.  If you wish to use this folder, "
                       "just hit the Enter key"),
        folder));
    if (choice == QLatin1String("1")) {
        const QString typed = platform.inputBox(namingDefault(
            QStringLiteral("You have chosen to change the folder to which your files will be written on "
                           "your hard drive from the default c:\\crsfiles.  Enter the path to the folder "
                           "you wish to use.  You may just hit the Enter key to retain the default path."),
            folder));
        if (!typed.isEmpty())
            outputFolder = typed;
    }
    if (!lockOutputFolder()) {
        endRun(1);
        return;
    }

    setOutputFilePaths();

    assignmentNumber = platform.inputBox(QStringLiteral("Assignment Number:  "));

    instructionText = QStringLiteral(
        "Enter, as appropriate, an answer to the question, a critique of your answer in response to a "
        "given answer, your insights regarding the situation at this point, notes to yourself, or just "
        "an OK.\r\n\r\nAlways critique your solutions by describing any insights you had or errors you "
        "makde, and by explaining how you can make use of the insight or how you now know how to avoid "
        "certain errors.  Also pose for the instructor any question or questions that you have related "
        "to the problem or series of problems.");

    assignmentNumber = padAssignmentNumber(assignmentNumber);
    nextAssignmentNumber = nextNumberAfter(assignmentNumber);

    bankIndex = 0;
    if (!loadQuestionBank())
        endRun(1);
}

void QueryForm::openAssignment()
{
    for (;;) {
        bankIndex = 0;
        QString current;
        while (!isHeadingOf(current, assignmentNumber) && bankIndex < bankSize - 1) {
            ++bankIndex;
            current = QuestionBank[bankIndex];
        }
        if (isHeadingOf(current, assignmentNumber))
            break;

        // No heading for this number: say so and ask again, rather than walk
        // a bank position that belongs to no assignment.
        QString first, last;
        for (int i = 1; i < bankSize; ++i) {
            if (!isHeadingEntry(QuestionBank[i]))
                continue;
            if (first.isEmpty())
                first = QuestionBank[i].left(3);
            last = QuestionBank[i].left(3);
        }
        platform.message(first.isEmpty()
                             ? QStringLiteral("There is no assignment \"%1\": the question bank holds no assignments.")
                                   .arg(assignmentNumber)
                             : QStringLiteral("There is no assignment \"%1\" in the question bank. "
                                              "It holds assignments %2 to %3.")
                                   .arg(assignmentNumber, first, last));
        const QString typed = platform.inputBox(QStringLiteral("Assignment Number:  "));
        if (typed.isEmpty()) {
            endRun(1);
            return;
        }
        assignmentNumber = padAssignmentNumber(typed);
        nextAssignmentNumber = nextNumberAfter(assignmentNumber);
    }
    if (!writeHeaderRecord(QuestionBank[bankIndex]))
        endRun(1);
}
