#include "report/coursetext.h"

#include "bank/compiledcourse.h"
#include "bank/entrygrammar.h"

QStringList courseEntries()
{
    // The table the build compiled from the course text, as the student
    // program's bank loader takes it.
    return QStringList{QString()} + compiledCourseEntries();
}

CourseIndex::CourseIndex(const QStringList &entries)
{
    QString assignment;
    int question = 0;
    QString questionText;
    int prompt = 0;
    for (const QString &entry : entries) {
        if (entry.isEmpty())
            continue;
        if (entrygrammar::isHeading(entry)) {
            assignment = entry.left(3);
            question = 0;
            prompt = 0;
            questionText.clear();
            continue;
        }
        CoursePlace place;
        QString text = entry;
        if (entry.startsWith(entrygrammar::questionMarker)) {
            text = entry.mid(entrygrammar::questionMarker.size());
            ++question;
            questionText = text;
            place.role = CoursePlace::Question;
        } else if (entry.startsWith(entrygrammar::answerMarker)) {
            text = entry.mid(entrygrammar::answerMarker.size());
            place.role = CoursePlace::Answer;
        }
        if (text.isEmpty())
            continue;
        if (place.role == CoursePlace::Other)
            place.prompt = ++prompt;
        if (place.role == CoursePlace::Question)
            m_questions[assignment] = question;
        if (place.role == CoursePlace::Answer) {
            QString &answer = m_answers[assignment + QLatin1Char('#') + QString::number(question)];
            answer += (answer.isEmpty() ? QString() : QStringLiteral("\r\n\r\n")) + shownText(text);
        }
        place.assignment = assignment;
        place.question = question;
        place.questionText = questionText;
        m_byText.insert(text, int(m_places.size()));
        m_places.push_back(place);
    }
}

const CoursePlace *CourseIndex::find(const QString &bankText, const QString &assignment) const
{
    const CoursePlace *first = nullptr;
    for (auto it = m_byText.constFind(bankText); it != m_byText.cend() && it.key() == bankText; ++it) {
        const CoursePlace &place = m_places[size_t(it.value())];
        if (place.assignment == assignment)
            return &place;
        if (!first || m_places[size_t(it.value())].assignment < first->assignment)
            first = &place;
    }
    return first;
}

QString CourseIndex::answerText(const QString &assignment, int question) const
{
    return m_answers.value(assignment + QLatin1Char('#') + QString::number(question));
}

QString firstLine(const QString &text, int width)
{
    // "{}" is a line break of the course text's, as the program shows it.
    const auto breakAt = [&text](qsizetype i) {
        return text.at(i) == QLatin1Char('\r') || text.at(i) == QLatin1Char('\n')
               || (text.at(i) == QLatin1Char('{') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('}'));
    };
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = start;
        while (end < text.size() && !breakAt(end))
            ++end;
        const QString line = text.mid(start, end - start).trimmed();
        if (!line.isEmpty())
            return line.size() > width ? line.left(width - 1) + QChar(0x2026) : line;
        start = end + (end < text.size() && text.at(end) == QLatin1Char('{') ? 2 : 1);
    }
    return QString();
}

QString shownText(const QString &courseText)
{
    QString text = courseText;
    text.replace(QLatin1String("{}"), QLatin1String("\n"));
    while (!text.isEmpty() && text.back().isSpace())
        text.chop(1);
    if (text.endsWith(QLatin1String("**")))
        text.chop(2);
    return text;
}
