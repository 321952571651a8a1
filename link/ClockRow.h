// The checks every reader of a row of the clock lists (Clocks, TcpClocks)
// makes, so that a clock is never walked, polled or selected with a number
// made up for a value that is not one.
#pragma once

#include <QString>

class QSqlRecord;

namespace ClockRow {

// A whole number ("3", " 3 "). A field that is missing, empty or holds
// anything else throws a type mismatch naming the clock and the field:
// "Clock <clock>: its <field> "<value>" is not a number."
int Number(const QSqlRecord &row, const QString &field, const QString &clock);
// The field's text; "" when it is missing or empty.
QString Text(const QSqlRecord &row, const QString &field);

} // namespace ClockRow
