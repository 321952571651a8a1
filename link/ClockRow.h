// The checks every reader of a row of the clock lists (Clocks, TcpClocks)
// makes, so that a clock is never walked, polled or selected with a number
// made up for a value that is not one.
#pragma once

#include "platform/error.h"

#include <QString>

#include <optional>
#include <utility>

class QSqlRecord;

namespace ClockRow {

// A whole number ("3", " 3 "). A field that is missing, empty or holds
// anything else throws a type mismatch naming the clock and the field:
// "Clock <clock>: its <field> "<value>" is not a number."
int Number(const QSqlRecord &row, const QString &field, const QString &clock);
// A whole number from `least` to `most`; one outside throws an overflow:
// "Clock <clock>: its <field> "<value>" is not a number from <least> to <most>."
int Number(const QSqlRecord &row, const QString &field, const QString &clock, int least, int most);
// The field's text; "" when it is missing or empty.
QString Text(const QSqlRecord &row, const QString &field);

// The error box of a row that is no clock.
void ShowRefusal(const Platform::Error &e);

// What `read` makes of a row; a row it refuses shows its box and gives
// nothing, so a walk over the rows goes on with the next.
template <class Read>
auto Readable(Read read) -> std::optional<decltype(read())>
{
    try {
        return read();
    } catch (const Platform::Error &e) {
        ShowRefusal(e);
        return std::nullopt;
    }
}

} // namespace ClockRow
