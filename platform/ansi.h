#pragma once

#include <QByteArray>
#include <QString>

// Windows-1252 at the boundary: files the program writes and bytes on the
// wire are Windows-1252; inside the program text is QString.
namespace Platform::Ansi {

// Throws Platform::Error (ValueNotEncodable) naming the first character that
// Windows-1252 cannot carry, rather than writing it as "?".
QByteArray encode(const QString &text);

// Only for the text a clock shows on its display: a character Windows-1252
// cannot carry (a name's "ř") shows as "?" rather than keeping the answer
// from the clock. Never for files or the database.
QByteArray encodeForDisplay(const QString &text);

// Every byte has a character, so decoding never fails.
QString decode(const QByteArray &bytes);

bool canEncode(const QString &text);

// A text typed for the clock's display or a file line: refused as encode
// refuses it, and also for a control character, which would break the line
// or the record it is written into.
void checkTyped(const QString &text);

} // namespace Platform::Ansi
