#include "report/roster.h"

#include "platform/oscalls.h"
#include "records/cp1252.h"

#include <QHash>
#include <QStringDecoder>

#include <algorithm>
#include <map>

namespace {

/// The text of the bytes: UTF-8 (its byte-order mark dropped), or, when
/// that does not decode, Windows-1252, which older Excel writes as "CSV".
QString rosterText(const QByteArray &bytes, bool &notUtf8)
{
    QByteArray body = bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes;
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(body);
    notUtf8 = utf8.hasError();
    return notUtf8 ? Cp1252::decode(body) : text;
}

/// The separator the header row uses: the most frequent of comma,
/// semicolon and tab outside quotes in the first line; a comma if none.
QChar separatorOf(const QString &text)
{
    int comma = 0, semicolon = 0, tab = 0;
    bool quoted = false;
    for (const QChar c : text) {
        if (c == QLatin1Char('"'))
            quoted = !quoted;
        else if (!quoted && (c == QLatin1Char('\n') || c == QLatin1Char('\r')))
            break;
        else if (!quoted)
            comma += c == QLatin1Char(','), semicolon += c == QLatin1Char(';'), tab += c == QLatin1Char('\t');
    }
    if (semicolon > comma && semicolon >= tab)
        return QLatin1Char(';');
    return tab > comma && tab > semicolon ? QLatin1Char('\t') : QLatin1Char(',');
}

struct Row
{
    QStringList fields;
    int line = 0;
};

/// RFC 4180 rows; a quoted field may hold separators and line ends, CR LF,
/// LF and a lone CR end a row. False when a quote is never closed.
bool splitRows(const QString &text, QChar separator, std::vector<Row> &rows, QString &error)
{
    Row row{{}, 1};
    QString field;
    bool quoted = false, wasQuoted = false;
    int line = 1;
    const auto endRow = [&] {
        row.fields.append(field);
        rows.push_back(row);
        row = Row{{}, line};
        field.clear();
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\n') || (c == QLatin1Char('\r') && (i + 1 == text.size() || text.at(i + 1) != QLatin1Char('\n'))))
            ++line;
        if (quoted) {
            if (c == QLatin1Char('"') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('"'))
                field += c, ++i;
            else if (c == QLatin1Char('"'))
                quoted = false;
            else
                field += c;
        } else if (c == QLatin1Char('"') && field.trimmed().isEmpty() && !wasQuoted) {
            quoted = wasQuoted = true;
            field.clear();
        } else if (c == separator) {
            row.fields.append(field);
            field.clear();
            wasQuoted = false;
        } else if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            if (c == QLatin1Char('\r') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
                continue; // the LF ends it
            endRow();
            wasQuoted = false;
            if (int(rows.size()) > rosterMaxRows + 1) {
                error = QStringLiteral("more than %1 rows").arg(rosterMaxRows);
                return false;
            }
        } else if (!wasQuoted) {
            field += c;
        }
    }
    if (quoted) {
        error = QStringLiteral("a quote opened on line %1 is never closed").arg(row.line);
        return false;
    }
    if (!field.isEmpty() || !row.fields.isEmpty())
        endRow();
    return true;
}

bool blankRow(const Row &row)
{
    return std::all_of(row.fields.begin(), row.fields.end(), [](const QString &f) { return f.trimmed().isEmpty(); });
}

} // namespace

QString looseFolderName(const QString &folder)
{
    QString out;
    for (const QChar c : folder.toCaseFolded())
        if (!c.isSpace())
            out += c;
    return out;
}

bool parseRoster(const QByteArray &bytes, Roster &roster, QString &error)
{
    bool notUtf8 = false;
    const QString text = rosterText(bytes, notUtf8);
    if (notUtf8)
        roster.warnings.push_back({roster.file, 0, QStringLiteral("not UTF-8: read as Windows-1252")});
    std::vector<Row> rows;
    if (!splitRows(text, separatorOf(text), rows, error))
        return false;
    const auto header = std::find_if(rows.begin(), rows.end(), [](const Row &r) { return !blankRow(r); });
    if (header == rows.end()) {
        error = QStringLiteral("no header row");
        return false;
    }
    std::map<QString, int> column; // the first column of each name
    for (int i = 0; i < header->fields.size(); ++i)
        column.emplace(header->fields.at(i).trimmed().toCaseFolded(), i);
    QStringList missing;
    for (const char *required : {"folder", "name"})
        if (!column.count(QLatin1String(required)))
            missing.append(QLatin1String(required));
    if (!missing.isEmpty()) {
        error = QStringLiteral("the header row (line %1) has no column %2; it needs folder and name")
                    .arg(QString::number(header->line), missing.join(QStringLiteral(" or ")));
        return false;
    }
    const auto field = [&](const Row &r, const char *name) {
        const auto c = column.find(QLatin1String(name));
        return c == column.end() || c->second >= r.fields.size() ? QString() : r.fields.at(c->second).trimmed();
    };
    QHash<QString, int> seen; // folder -> line of its first row
    for (auto r = header + 1; r != rows.end(); ++r) {
        if (blankRow(*r))
            continue;
        RosterEntry e{field(*r, "folder"), field(*r, "name"), field(*r, "id"), field(*r, "email"), r->line};
        if (e.folder.isEmpty()) {
            roster.warnings.push_back({roster.file, r->line, QStringLiteral("a row without a folder; left out")});
            continue;
        }
        if (const auto first = seen.constFind(e.folder); first != seen.cend()) {
            roster.warnings.push_back({roster.file, r->line,
                                       QStringLiteral("folder \u201c%1\u201d is on line %2 already; this row is left out")
                                           .arg(e.folder, QString::number(*first))});
            continue;
        }
        seen.insert(e.folder, r->line);
        if (e.name.isEmpty()) {
            roster.warnings.push_back({roster.file, r->line, QStringLiteral("no name; the folder name stands for it")});
            e.name = e.folder;
        }
        roster.entries.push_back(e);
    }
    return true;
}

bool readRoster(const QString &path, Roster &roster, QString &error)
{
    roster.file = path;
    const oscalls::NativePath native = oscalls::NativePath::fromText(path);
    const oscalls::PathInfo info = oscalls::inspect(native);
    if (info.kind == oscalls::Kind::Regular && info.size > rosterMaxBytes) {
        error = QStringLiteral("larger than %1 MiB, far more than a class's list; not read").arg(rosterMaxBytes >> 20);
        return false;
    }
    // The very file inspected is read, within the cap even if it grows meanwhile.
    const oscalls::FileBytes file = oscalls::readRegularFile(native, rosterMaxBytes, info.id);
    if (!file.ok) {
        error = file.reason;
        return false;
    }
    return parseRoster(file.bytes, roster, error);
}

namespace {

/// The student each roster entry takes, -1 for none: an exact folder name
/// first, then for the rest the one left whose name differs only in case or
/// blanks (warned about: a download renamed by hand, a typing slip).
std::vector<int> matchEntries(ClassData &data, const Roster &roster)
{
    std::vector<int> taken(roster.entries.size(), -1);
    std::vector<bool> used(data.students.size(), false);
    QHash<QString, std::vector<int>> exact, loose;
    for (size_t si = 0; si < data.students.size(); ++si) {
        exact[data.students[si].folderName].push_back(int(si));
        loose[looseFolderName(data.students[si].folderName)].push_back(int(si));
    }
    for (size_t ei = 0; ei < roster.entries.size(); ++ei)
        for (int si : exact.value(roster.entries[ei].folder))
            if (!used[size_t(si)]) {
                taken[ei] = si, used[size_t(si)] = true;
                break;
            }
    for (size_t ei = 0; ei < roster.entries.size(); ++ei) {
        if (taken[ei] >= 0)
            continue;
        std::vector<int> free;
        for (int si : loose.value(looseFolderName(roster.entries[ei].folder)))
            if (!used[size_t(si)])
                free.push_back(si);
        if (free.size() != 1) {
            if (free.size() > 1)
                data.warn({roster.file, roster.entries[ei].line,
                           QStringLiteral("folder \u201c%1\u201d matches %2 folders only when case and blanks are ignored; "
                                          "none taken").arg(roster.entries[ei].folder, QString::number(free.size()))});
            continue;
        }
        taken[ei] = free.front(), used[size_t(free.front())] = true;
        data.warn({roster.file, roster.entries[ei].line,
                   QStringLiteral("folder \u201c%1\u201d taken for the folder \u201c%2\u201d, which differs in case or blanks")
                       .arg(roster.entries[ei].folder, data.students[size_t(free.front())].folderName)});
    }
    return taken;
}

} // namespace

void applyRoster(ClassData &data, const Roster &roster)
{
    for (const ReadWarning &w : roster.warnings)
        data.warn(w);
    const std::vector<int> taken = matchEntries(data, roster);
    for (Student &s : data.students)
        s.enrolment = Student::Enrolment::NotOnRoster;
    for (size_t ei = 0; ei < roster.entries.size(); ++ei) {
        const RosterEntry &e = roster.entries[ei];
        if (taken[ei] < 0) {
            // Enrolled, and nothing handed in: a student with no files.
            Student s;
            s.folder = s.folderName = e.folder;
            data.students.push_back(s);
        }
        Student &s = data.students[taken[ei] < 0 ? data.students.size() - 1 : size_t(taken[ei])];
        s.name = e.name;
        s.rosterId = e.id;
        s.email = e.email;
        s.enrolment = Student::Enrolment::Enrolled;
        s.rosterRow = int(ei);
    }
    for (const Student &s : data.students)
        if (s.enrolment == Student::Enrolment::NotOnRoster)
            data.warn({s.folder, 0, QStringLiteral("folder \u201c%1\u201d is not on the roster").arg(s.folderName)});
    // Two enrolled students of one name stay two in every output.
    ClassReader::makeNamesDistinct(data.students);
}
