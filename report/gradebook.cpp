#include "report/gradebook.h"

#include "report/tableexport.h"

#include <QBuffer>
#include <QRegularExpression>
#include <QStringList>

#include <algorithm>

namespace {

/// The course's assignments anyone did, in order.
std::vector<QString> gradedAssignments(const ClassSummary &sum)
{
    std::vector<QString> out;
    for (const QString &a : sum.assignments)
        if (sum.questionsIn.count(a) && sum.questionsIn.at(a) > 0)
            out.push_back(a);
    return out;
}

bool allDigits(const QString &s)
{
    return !s.isEmpty() && std::all_of(s.begin(), s.end(), [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); });
}

class Writer
{
public:
    explicit Writer(GradebookDialect dialect) : m_excel(dialect == GradebookDialect::Excel) {}

    /// A text field: guarded against formulas for Excel, quoted when it must be.
    void text(const QString &value)
    {
        put(m_excel ? formulaGuarded(value) : value);
    }
    /// A student's name, guarded in both dialects: a gradebook for import is
    /// opened in a spreadsheet too, and the LMS finds students by their IDs,
    /// never by the name, which may then take an apostrophe.
    void name(const QString &value) { put(formulaGuarded(value)); }
    /// An ID: for Excel, digits become a formula of a text, so that leading zeros stay.
    void id(const QString &value)
    {
        if (m_excel && allDigits(value))
            put(QStringLiteral("=\"") + value + QLatin1Char('"'));
        else
            text(value);
    }
    void number(const QString &value) { put(m_excel ? QString(value).replace(QLatin1Char('.'), QLatin1Char(',')) : value); }
    void endRow()
    {
        m_text += QLatin1String("\r\n");
        m_first = true;
    }
    QString take() { return std::exchange(m_text, QString()); }
    qsizetype size() const { return m_text.size(); }

private:
    void put(const QString &field)
    {
        const QChar separator = m_excel ? QLatin1Char(';') : QLatin1Char(',');
        if (!m_first)
            m_text += separator;
        m_first = false;
        const bool quote = field.contains(separator) || field.contains(QLatin1Char('"')) || field.contains(QLatin1Char('\n'))
                           || field.contains(QLatin1Char('\r')) || field != field.trimmed();
        if (!quote) {
            m_text += field;
            return;
        }
        m_text += QLatin1Char('"') + QString(field).replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
    }

    bool m_excel;
    bool m_first = true;
    QString m_text;
};

/// The mean of the 0-to-3 ratings, one decimal; empty when there are none.
QString meanOf(const Spread &s)
{
    if (s.valid() == 0)
        return QString();
    const double sum = s.counts[1] + 2.0 * s.counts[2] + 3.0 * s.counts[3];
    return QString::number(sum / s.valid(), 'f', 1);
}

/// The students in the roster's order, then those not on it by name.
std::vector<size_t> rowOrder(const ClassData &data)
{
    std::vector<size_t> order(data.students.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        const Student &x = data.students[a], &y = data.students[b];
        if ((x.rosterRow < 0) != (y.rosterRow < 0))
            return x.rosterRow >= 0;
        if (x.rosterRow >= 0)
            return x.rosterRow < y.rosterRow;
        return x.name.compare(y.name, Qt::CaseInsensitive) < 0;
    });
    return order;
}

} // namespace

bool gradebookDialect(const QString &name, GradebookDialect &dialect)
{
    if (name == QLatin1String("lms"))
        dialect = GradebookDialect::Lms;
    else if (name == QLatin1String("excel"))
        dialect = GradebookDialect::Excel;
    else
        return false;
    return true;
}

std::pair<QString, QString> nameAndIdOf(const QString &folder)
{
    // Moodle's download adds "_assignsubmission_file_" (or _onlinetext_);
    // both Moodle's and Canvas's put the number after the name.
    static const QRegularExpression suffix(QStringLiteral("_assignsubmission_[A-Za-z]+_?$"));
    static const QRegularExpression number(QStringLiteral("^(.+)_(\\d+)$"));
    QString rest = folder;
    rest.remove(suffix);
    const QRegularExpressionMatch m = number.match(rest);
    if (!m.hasMatch())
        return {folder, QString()};
    return {m.captured(1).trimmed(), m.captured(2)};
}

void writeGradebook(QIODevice &out, const ClassData &data, const ClassSummary &sum, GradebookDialect dialect)
{
    const std::vector<QString> assignments = gradedAssignments(sum);
    Writer w(dialect);
    for (const char *column : {"Student", "ID", "SIS User ID", "SIS Login ID", "Section"})
        w.text(QLatin1String(column));
    for (const QString &a : assignments)
        for (const char *what : {"done", "responses", "mean confidence", "confident errors"})
            w.text(QStringLiteral("Assignment %1 %2").arg(QString::number(a.toInt()), QLatin1String(what)));
    w.endRow();
    if (dialect == GradebookDialect::Excel)
        out.write("\xEF\xBB\xBF");
    for (size_t si : rowOrder(data)) {
        const Student &s = data.students[si];
        const StudentSummary &st = sum.perStudent[si];
        const bool rostered = s.rosterRow >= 0;
        const auto [name, id] = rostered ? std::pair{s.name, s.rosterId} : nameAndIdOf(s.folderName.isEmpty() ? s.name : s.folderName);
        w.name(name);
        // A roster's ID is the institution's (SIS User ID). A download folder's
        // number is the LMS's own user number (Canvas's "ID"); under SIS User ID
        // it could match another student whose institution ID it happens to be.
        if (rostered) {
            w.text(QString());
            w.id(id);
        } else {
            w.id(id);
            w.text(QString());
        }
        w.text(s.email);
        w.text(QString());
        for (const QString &a : assignments) {
            const Progress p = progressOf(st, sum, a);
            w.number(p == Progress::Done ? QStringLiteral("1") : p == Progress::Partly ? QStringLiteral("0.5") : QStringLiteral("0"));
            const auto ac = st.assignments.find(a);
            const bool any = ac != st.assignments.end();
            w.number(QString::number(any ? ac->second.responses : 0));
            w.number(any ? meanOf(ac->second.confidence) : QString());
            w.number(QString::number(any ? ac->second.grid.confidentErrors() : 0));
        }
        w.endRow();
        if (w.size() > (1 << 20))
            out.write(w.take().toUtf8());
    }
    out.write(w.take().toUtf8());
}

QByteArray gradebookTable(const ClassData &data, const ClassSummary &sum, GradebookDialect dialect)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    writeGradebook(buffer, data, sum, dialect);
    return buffer.data();
}
