#include "report/xmltext.h"

namespace {

bool allowed(const QString &s, qsizetype i)
{
    const char16_t c = s.at(i).unicode();
    if (c < 0x20)
        return c == u'\t' || c == u'\n' || c == u'\r';
    if (c == 0xFFFE || c == 0xFFFF)
        return false;
    if (QChar::isHighSurrogate(c))
        return i + 1 < s.size() && QChar::isLowSurrogate(s.at(i + 1).unicode());
    if (QChar::isLowSurrogate(c))
        return i > 0 && QChar::isHighSurrogate(s.at(i - 1).unicode());
    return true;
}

} // namespace

QString xmlSafe(const QString &text)
{
    QString out = text;
    for (qsizetype i = 0; i < out.size(); ++i)
        if (!allowed(text, i))
            out[i] = QChar(0xFFFD);
    return out;
}

namespace {

bool needsEscape(const QString &s, qsizetype i)
{
    const char16_t c = s.at(i).unicode();
    return c == u'&' || c == u'<' || c == u'>' || c == u'"' || c == u'\r' || !allowed(s, i);
}

} // namespace

QString escapeXml(const QString &text)
{
    // Most texts need nothing: they are given back as they are, not copied.
    qsizetype first = 0;
    while (first < text.size() && !needsEscape(text, first))
        ++first;
    if (first == text.size())
        return text;
    QString out;
    out.reserve(text.size() + 16);
    out.append(QStringView(text).left(first));
    for (qsizetype i = first; i < text.size(); ++i) {
        const QChar c = text.at(i);
        switch (c.unicode()) {
        case '&': out += QLatin1String("&amp;"); break;
        case '<': out += QLatin1String("&lt;"); break;
        case '>': out += QLatin1String("&gt;"); break;
        case '"': out += QLatin1String("&quot;"); break;
        case '\r':
            if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
                break;
            out += QLatin1Char('\n');
            break;
        default:
            out += allowed(text, i) ? c : QChar(0xFFFD);
        }
    }
    return out;
}

QString isolated(const QString &text)
{
    return QStringLiteral("<bdi>") + escapeXml(text) + QStringLiteral("</bdi>");
}
