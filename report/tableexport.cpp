#include "report/tableexport.h"

#include "report/classmodel.h"

#include <QBuffer>

namespace {

enum Column { Student, File, Date, Time, DateTime, Assignment, Item, Question, RoleColumn, Record, RatingKind, Rating,
              RatingValue, BankFirstLine, Text, Line, CopyOf, ColumnCount };
const char *const columns[ColumnCount] = {"student", "file", "date", "time", "datetime", "assignment", "item", "question",
                                          "role", "record", "rating_kind", "rating", "rating_value",
                                          "bank_first_line", "text", "line", "copy_of"};
/// Columns JSON gives as numbers (null when empty).
bool isNumber(int column)
{
    return column == Question || column == RatingValue || column == Line;
}

/// "2026-03-06T14:05:09" from "03-06-2026" and "14:05:09"; the date alone
/// without a time; empty when the date is not one.
QString isoTime(const QString &date, const QString &time)
{
    if (date.size() != 10)
        return QString();
    const QString day = date.mid(6, 4) + QLatin1Char('-') + date.left(2) + QLatin1Char('-') + date.mid(3, 2);
    return time.size() == 8 ? day + QLatin1Char('T') + time : day;
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
            c.repeats};
}

void appendCsvField(QString &out, QString field)
{
    // A spreadsheet runs a field that starts like a formula; students type
    // the texts, so such a field is shown as text, after an apostrophe.
    static const QString formulaStarts = QStringLiteral("=+-@\t\r");
    if (!field.isEmpty() && formulaStarts.contains(field.front()))
        field.prepend(QLatin1Char('\''));
    bool quote = false;
    for (const QChar ch : field)
        if (ch == QLatin1Char(',') || ch == QLatin1Char('"') || ch == QLatin1Char('\r') || ch == QLatin1Char('\n')) {
            quote = true;
            break;
        }
    if (!quote) {
        out += field;
        return;
    }
    out += QLatin1Char('"');
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
        text += QLatin1String(columns[i]);
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
            if (isNumber(i) || (i == CopyOf && row[i].isEmpty()))
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
