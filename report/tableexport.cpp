#include "report/tableexport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const char *const columns[] = {"student", "file",        "date",  "time",            "assignment", "question", "record",
                               "rating_kind", "rating", "bank_first_line", "text", "line", "copy_of"};
constexpr int columnCount = int(sizeof(columns) / sizeof(columns[0]));

/// The fields of one row, in the order of `columns`.
QStringList rowOf(const ClassData &data, const ClassRecord &c)
{
    const FileRecord &r = c.record;
    const char *kind = r.kind == FileRecord::Header ? "header" : r.kind == FileRecord::Note ? "note" : "response";
    const char *rating = r.ratingKind == FileRecord::Confidence     ? "confidence"
                         : r.ratingKind == FileRecord::SelfCritique ? "self-critique"
                                                                    : "";
    return {data.students[size_t(c.student)].name,
            c.file,
            r.date,
            r.time,
            c.place ? c.place->assignment : r.assignment,
            c.place && c.place->question > 0 ? QString::number(c.place->question) : QString(),
            QLatin1String(kind),
            QLatin1String(rating),
            r.rating,
            firstLine(r.kind == FileRecord::Header ? r.heading : r.bankText, 200),
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

} // namespace

QByteArray csvTable(const ClassData &data)
{
    QString out;
    for (int i = 0; i < columnCount; ++i) {
        if (i)
            out += QLatin1Char(',');
        out += QLatin1String(columns[i]);
    }
    out += QLatin1String("\r\n");
    for (const ClassRecord &c : data.records) {
        const QStringList row = rowOf(data, c);
        for (int i = 0; i < columnCount; ++i) {
            if (i)
                out += QLatin1Char(',');
            appendCsvField(out, row[i]);
        }
        out += QLatin1String("\r\n");
    }
    return QByteArray("\xEF\xBB\xBF") + out.toUtf8();
}

QByteArray jsonTable(const ClassData &data)
{
    QJsonArray rows;
    for (const ClassRecord &c : data.records) {
        const QStringList row = rowOf(data, c);
        QJsonObject o;
        for (int i = 0; i < columnCount; ++i) {
            const QString name = QLatin1String(columns[i]);
            if (name == QLatin1String("line"))
                o.insert(name, c.record.line);
            else if (name == QLatin1String("question") && !row[i].isEmpty())
                o.insert(name, row[i].toInt());
            else if ((name == QLatin1String("question") || name == QLatin1String("copy_of")) && row[i].isEmpty())
                o.insert(name, QJsonValue::Null);
            else
                o.insert(name, row[i]);
        }
        rows.append(o);
    }
    return QJsonDocument(rows).toJson(QJsonDocument::Indented);
}
