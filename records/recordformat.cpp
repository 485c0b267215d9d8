#include "records/recordformat.h"

#include "records/cp1252.h"

#include <cmath>

namespace recordformat {

namespace {

QByteArray line(const QString &text)
{
    return Cp1252::encode(text) + "\r\n";
}

QString plainNumber(double value)
{
    // As the key has always been written: whole numbers without a point.
    if (value == std::floor(value) && std::abs(value) < 1e15)
        return QString::number(qint64(value));
    return QString::number(value, 'g', 15);
}

QLatin1String ratingLabel(Rating rating)
{
    return rating == Rating::Confidence ? confidenceLabel : selfCritiqueLabel;
}

} // namespace

QString questionKeyLine(double key)
{
    return questionKeyLabel + (key < 0 ? QStringLiteral("-") : QStringLiteral(" ")) + plainNumber(std::abs(key))
           + QLatin1Char(' ');
}

QByteArray headerBytes(const Header &header)
{
    return line(header.codeLine) + line(header.assignment) + line(header.heading) + line(courseTitle)
           + line(header.date);
}

QByteArray responseOpening(FileKind file, const Response &response)
{
    QByteArray bytes = line(openingSeparator) + line(response.time);
    // The master file keeps two blank lines and the question's key.
    if (file == FileKind::Master)
        bytes += "\r\n\r\n" + line(response.questionKey);
    return bytes + line(response.bankText) + line(openingSeparator) + line(responseLabel) + line(response.text);
}

QByteArray responseClosing(Rating rating, const QString &typed)
{
    QByteArray bytes;
    if (rating != Rating::None)
        bytes = line(ratingLabel(rating) + typed);
    return bytes + line(closingSeparator);
}

QByteArray noteBytes(FileKind file, const Note &note)
{
    QByteArray bytes = line(openingSeparator) + line(note.time) + line(note.dateTime) + line(note.bankText)
                       + line(openingSeparator) + line(notesLabel + note.text);
    if (file == FileKind::Master)
        return bytes + line(closingSeparator);
    return bytes + Cp1252::encode(closingSeparator + QString(noteTrailerBlanks, QLatin1Char(' ')));
}

bool isResponseClosing(Rating rating, const QByteArray &bytes, bool maybeCut)
{
    const QByteArray closing = line(closingSeparator);
    QByteArray label;
    if (rating != Rating::None)
        label = Cp1252::encode(ratingLabel(rating));
    // The label, the rating as typed (one line: a box has no line breaks),
    // then the closing line; or, cut short, a beginning of that.
    const auto startsLike = [&](const QByteArray &part, qsizetype at) {
        const qsizetype n = std::min(part.size(), bytes.size() - at);
        return bytes.mid(at, n) == part.left(n);
    };
    if (!startsLike(label, 0))
        return false;
    if (bytes.size() <= label.size())
        return maybeCut;
    qsizetype at = label.size();
    if (rating != Rating::None) {
        const qsizetype end = bytes.indexOf("\r\n", at);
        if (end < 0) {
            // Within the rating itself, or the CR of its ending.
            return maybeCut && bytes.indexOf('\n', at) < 0;
        }
        if (bytes.mid(at, end - at).contains('\r') || bytes.mid(at, end - at).contains('\n'))
            return false;
        at = end + 2;
    }
    if (!startsLike(closing, at))
        return false;
    return bytes.size() - at == closing.size() || (maybeCut && bytes.size() - at < closing.size());
}

} // namespace recordformat
