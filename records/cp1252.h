#pragma once

#include <QByteArray>
#include <QString>

/// The output files hold one byte per character in Windows-1252. Every byte
/// value maps to one character and back (the five positions Windows-1252
/// leaves undefined map to the C1 controls of the same number).
namespace Cp1252 {

/// Bytes of `text`; a character the code page cannot hold is written as the
/// numeric reference "&#N;" so that nothing typed is lost.
QByteArray encode(const QString &text);
/// Characters of `bytes`, one per byte.
QString decode(const QByteArray &bytes);
/// The character a byte value stands for.
QChar charOf(int byte);
/// The byte value of a character, or -1 when the code page cannot hold it.
int byteOf(QChar c);

} // namespace Cp1252
