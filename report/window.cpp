#include "report/window.h"

#include <QRegularExpression>


bool parseWindow(const QString &since, const QStringList &assignments, RecordWindow &window, QString &error)
{
    if (!since.isEmpty()) {
        static const QRegularExpression iso(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
        window.since = iso.match(since).hasMatch() ? QDate::fromString(since, Qt::ISODate) : QDate();
        if (!window.since.isValid()) {
            error = QStringLiteral("--since %1: not a date as yyyy-mm-dd (2026-03-06)").arg(since);
            return false;
        }
    }
    for (const QString &value : assignments)
        for (const QString &part : value.split(QLatin1Char(','))) {
            bool ok = false;
            const int n = part.trimmed().toInt(&ok);
            if (!ok || n < 1 || n > 999) {
                error = QStringLiteral("--assignment %1: not an assignment number (1 to 999, or a list: 3,4)").arg(value);
                return false;
            }
            window.assignments.insert(n);
        }
    return true;
}

namespace {

/// The day of a record's "mm-dd-yyyy" date, or a null date.
QDate dayOf(const QString &date)
{
    return date.size() == 10 ? QDate::fromString(date, QStringLiteral("MM-dd-yyyy")) : QDate();
}

} // namespace

bool inWindow(const ClassRecord &c, const RecordWindow &window)
{
    if (window.since.isValid()) {
        const QDate day = dayOf(c.record.date);
        if (!day.isValid() || day < window.since)
            return false;
    }
    if (!window.assignments.empty()) {
        bool ok = false;
        const int n = (c.place ? c.place->assignment : c.record.assignment).trimmed().toInt(&ok);
        if (!ok || !window.assignments.count(n))
            return false;
    }
    return true;
}

void keepWindow(ClassData &data, const RecordWindow &window)
{
    if (!window.any())
        return;
    // The records kept move forward in place, each once, so that the class
    // never stands twice in memory; the students' lists follow their places.
    std::vector<int> placeOf(data.records.size(), -1);
    size_t kept = 0;
    for (size_t i = 0; i < data.records.size(); ++i)
        if (inWindow(data.records[i], window)) {
            placeOf[i] = int(kept);
            if (kept != i)
                data.records[kept] = std::move(data.records[i]);
            ++kept;
        }
    data.records.resize(kept);
    data.window = windowText(window);
    for (Student &s : data.students) {
        std::vector<int> records;
        for (int ri : s.records)
            if (placeOf[size_t(ri)] >= 0)
                records.push_back(placeOf[size_t(ri)]);
        s.records = std::move(records);
    }
}

QString windowText(const RecordWindow &window)
{
    QStringList parts;
    if (window.since.isValid())
        parts.append(QStringLiteral("records from %1 on").arg(window.since.toString(Qt::ISODate)));
    if (!window.assignments.empty()) {
        QStringList numbers;
        for (int n : window.assignments)
            numbers.append(QString::number(n));
        const QString last = numbers.takeLast();
        parts.append((parts.isEmpty() ? QStringLiteral("records of ") : QStringLiteral("of "))
                     + (numbers.isEmpty() ? QStringLiteral("assignment ") + last
                                          : QStringLiteral("assignments ") + numbers.join(QStringLiteral(", "))
                                                + QStringLiteral(" and ") + last));
    }
    return parts.join(QStringLiteral(", "));
}
