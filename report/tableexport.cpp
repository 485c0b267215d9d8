#include "report/tableexport.h"

#include "report/classmodel.h"

#include <QBuffer>
#include <QDate>

namespace {

enum Column { Student, File, Date, Time, DateTime, Assignment, Item, Question, RoleColumn, Record, RatingKind, Rating,
              RatingValue, BankFirstLine, Text, Line, CopyOf, Complete, SharedWith, Attempt, ColumnCount };
// A column is only ever added at the end, so that a consumer reading by
// position keeps its columns, as one reading by name does.
const char *const columns[ColumnCount] = {"student", "file", "date", "time", "datetime", "assignment", "item", "question",
                                          "role", "record", "rating_kind", "rating", "rating_value",
                                          "bank_first_line", "text", "line", "copy_of", "complete", "shared_with",
                                          "attempt"};
/// Columns JSON gives as numbers (null when empty).
bool isNumber(int column)
{
    return column == Question || column == RatingValue || column == Line || column == Attempt;
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
            c.sharedWith,
            c.attempt > 0 ? QString::number(c.attempt) : QString()};
}

bool isFormulaStart(QChar c)
{
    return c == QLatin1Char('=') || c == QLatin1Char('+') || c == QLatin1Char('-') || c == QLatin1Char('@') || c.isNull();
}

/// True where a spreadsheet may begin a cell: after a semicolon or a tab
/// (the separators an import may be told to split at, where our quotes
/// then mean nothing) or a line end.
bool beginsCell(QChar c)
{
    return c == QLatin1Char(';') || c == QLatin1Char('\t') || c == QLatin1Char('\r') || c == QLatin1Char('\n');
}

/// `field` with an apostrophe before every cell a spreadsheet could run:
/// the field itself and, for an import told to split at a semicolon or a
/// tab (where our quotes then mean nothing), each part after one, and each
/// line. What decides is the first character after blanks (which an import
/// may trim); at the field's start a tab or CR, which end a cell, is
/// guarded too.
QString guarded(const QString &field)
{
    QString out;
    out.reserve(field.size() + 1);
    qsizetype cellStart = 0; // in `out`; -1 once the cell's first character is past
    for (const QChar ch : field) {
        if (cellStart >= 0 && ch.category() != QChar::Separator_Space) {
            if (isFormulaStart(ch) || (cellStart == 0 && (ch == QLatin1Char('\t') || ch == QLatin1Char('\r'))))
                out.insert(cellStart, QLatin1Char('\''));
            cellStart = -1;
        }
        out += ch;
        if (beginsCell(ch))
            cellStart = out.size();
    }
    return out;
}

void appendCsvField(QString &out, const QString &field)
{
    // Students type the texts: what a spreadsheet would run is shown as
    // text. Every field is quoted, so that a comma in it stays inside.
    out += QLatin1Char('"');
    for (const QChar ch : guarded(field)) {
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
