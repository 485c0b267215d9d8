#include "report/tableexport.h"

#include "report/classmodel.h"

#include <QBuffer>
#include <QDate>

namespace {

enum Column { Student, File, Date, Time, DateTime, Assignment, Item, Question, RoleColumn, Record, RatingKind, Rating,
              RatingValue, BankFirstLine, Text, Line, CopyOf, Complete, SharedWith, ColumnCount };
const char *const columns[ColumnCount] = {"student", "file", "date", "time", "datetime", "assignment", "item", "question",
                                          "role", "record", "rating_kind", "rating", "rating_value",
                                          "bank_first_line", "text", "line", "copy_of", "complete", "shared_with"};
/// Columns JSON gives as numbers (null when empty).
bool isNumber(int column)
{
    return column == Question || column == RatingValue || column == Line;
}

/// The number of the two digits at `at`, or -1.
int twoDigits(const QString &s, qsizetype at)
{
    const char16_t a = s.at(at).unicode(), b = s.at(at + 1).unicode();
    return a >= u'0' && a <= u'9' && b >= u'0' && b <= u'9' ? (a - u'0') * 10 + (b - u'0') : -1;
}

/// "2026-03-06T14:05:09" from "03-06-2026" and "14:05:09"; the date alone
/// without a time; empty when the date or the time is on no calendar or clock.
QString isoTime(const QString &date, const QString &time)
{
    if (date.size() != 10 || date.at(2) != QLatin1Char('-') || date.at(5) != QLatin1Char('-'))
        return QString();
    const int year = twoDigits(date, 6) * 100 + twoDigits(date, 8);
    if (twoDigits(date, 6) < 0 || twoDigits(date, 8) < 0 || !QDate(year, twoDigits(date, 0), twoDigits(date, 3)).isValid())
        return QString();
    const QString day = date.mid(6, 4) + QLatin1Char('-') + date.left(2) + QLatin1Char('-') + date.mid(3, 2);
    if (time.isEmpty())
        return day;
    const bool clock = time.size() == 8 && time.at(2) == QLatin1Char(':') && time.at(5) == QLatin1Char(':')
                       && twoDigits(time, 0) >= 0 && twoDigits(time, 0) < 24 && twoDigits(time, 3) >= 0
                       && twoDigits(time, 3) < 60 && twoDigits(time, 6) >= 0 && twoDigits(time, 6) < 60;
    return clock ? day + QLatin1Char('T') + time : QString();
}

/// The fields of one row, in the order of `columns`.
QStringList rowOf(const ClassData &data, const ClassRecord &c)
{
    const FileRecord &r = c.record;
    const bool header = r.kind == FileRecord::Header;
    const char *kind = header ? "header" : r.kind == FileRecord::Note ? "note" : "response";
    const char *rating = r.ratingKind == FileRecord::Confidence     ? "confidence"
                         : r.ratingKind == FileRecord::SelfCritique ? "self-critique"
                                                                    : "";
    const int value = r.ratingKind == FileRecord::NoRating ? -1 : ratingValue(r.rating);
    const bool onQuestion = c.place && c.place->role != CoursePlace::Other && c.place->question > 0;
    return {data.students[size_t(c.student)].name,
            c.file,
            r.date,
            r.time,
            isoTime(r.date, r.time),
            c.place ? c.place->assignment : r.assignment,
            header ? QString() : itemOf(c),
            onQuestion ? QString::number(c.place->question) : QString(),
            header ? QString() : roleName(roleOf(c)),
            QLatin1String(kind),
            QLatin1String(rating),
            r.rating,
            value >= 0 ? QString::number(value) : QString(),
            firstLine(header ? r.heading : r.bankText, 200),
            r.text,
            QString::number(r.line),
            c.repeats,
            r.complete ? QStringLiteral("true") : QStringLiteral("false"),
            c.sharedWith};
}

/// True when a spreadsheet could take `field` for a formula: its first
/// character after blanks (which an import may trim) starts one, or ends
/// the cell (tab, CR), or is a NUL that an import may drop.
bool looksLikeFormula(const QString &field)
{
    static const QString formulaStarts = QStringLiteral("=+-@\t\r").append(QChar(0));
    for (const QChar ch : field)
        if (ch.category() != QChar::Separator_Space)
            return formulaStarts.contains(ch);
    return false;
}

void appendCsvField(QString &out, const QString &field)
{
    // Students type the texts: one that a spreadsheet would run is shown as
    // text, after an apostrophe. Every field is quoted, so that a separator
    // in it (a semicolon, a tab, whichever the spreadsheet is told to split
    // at) never starts a cell of its own.
    out += QLatin1Char('"');
    if (looksLikeFormula(field))
        out += QLatin1Char('\'');
    for (const QChar ch : field) {
        if (ch == QLatin1Char('"'))
            out += QLatin1Char('"');
        out += ch;
    }
    out += QLatin1Char('"');
}

void appendJsonString(QString &out, const QString &s)
{
    out += QLatin1Char('"');
    for (const QChar ch : s) {
        const char16_t c = ch.unicode();
        if (c == u'"' || c == u'\\') {
            out += QLatin1Char('\\');
            out += ch;
        } else if (c == u'\n') {
            out += QLatin1String("\\n");
        } else if (c == u'\r') {
            out += QLatin1String("\\r");
        } else if (c == u'\t') {
            out += QLatin1String("\\t");
        } else if (c < 0x20 || c == 0x2028 || c == 0x2029) {
            out += QStringLiteral("\\u%1").arg(int(c), 4, 16, QLatin1Char('0'));
        } else {
            out += ch;
        }
    }
    out += QLatin1Char('"');
}

/// Rows are gathered into blocks of about this many characters before they are written.
constexpr qsizetype block = 1 << 20;

} // namespace

void writeCsv(QIODevice &out, const ClassData &data)
{
    QString text;
    for (int i = 0; i < ColumnCount; ++i) {
        if (i)
            text += QLatin1Char(',');
        appendCsvField(text, QLatin1String(columns[i]));
    }
    text += QLatin1String("\r\n");
    out.write("\xEF\xBB\xBF");
    for (const ClassRecord &c : data.records) {
        const QStringList row = rowOf(data, c);
        for (int i = 0; i < ColumnCount; ++i) {
            if (i)
                text += QLatin1Char(',');
            appendCsvField(text, row[i]);
        }
        text += QLatin1String("\r\n");
        if (text.size() > block) {
            out.write(text.toUtf8());
            text.clear();
        }
    }
    out.write(text.toUtf8());
}

void writeJson(QIODevice &out, const ClassData &data)
{
    QString text = QStringLiteral("[");
    bool first = true;
    for (const ClassRecord &c : data.records) {
        const QStringList row = rowOf(data, c);
        text += first ? QLatin1String("\n  {") : QLatin1String(",\n  {");
        first = false;
        for (int i = 0; i < ColumnCount; ++i) {
            if (i)
                text += QLatin1String(", ");
            text += QLatin1Char('"') + QLatin1String(columns[i]) + QLatin1String("\": ");
            if (i == Complete)
                text += row[i];
            else if (isNumber(i) || ((i == CopyOf || i == SharedWith) && row[i].isEmpty()))
                text += row[i].isEmpty() ? QStringLiteral("null") : row[i];
            else
                appendJsonString(text, row[i]);
        }
        text += QLatin1Char('}');
        if (text.size() > block) {
            out.write(text.toUtf8());
            text.clear();
        }
    }
    text += QLatin1String("\n]\n");
    out.write(text.toUtf8());
}

QByteArray csvTable(const ClassData &data)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    writeCsv(buffer, data);
    return buffer.data();
}

QByteArray jsonTable(const ClassData &data)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    writeJson(buffer, data);
    return buffer.data();
}
