#pragma once

#include <QString>

/// Text as XML may hold it: characters XML 1.0 forbids (controls but tab
/// and line ends, unpaired surrogates, U+FFFE and U+FFFF) become U+FFFD.
/// Everything a student typed or a file named passes through here before
/// it is written into a page, a chart or a table.
QString xmlSafe(const QString &text);

/// xmlSafe, then &, <, > and " escaped (every attribute is written in
/// double quotes); a CR LF or a lone CR becomes one line feed.
QString escapeXml(const QString &text);

/// escapeXml in a <bdi> element: a right-to-left mark or override in what a
/// file holds stays inside it, never turning the words around it.
QString isolated(const QString &text);
