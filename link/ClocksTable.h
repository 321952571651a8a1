#pragma once

class QObject;
class QSqlTableModel;

// The serial clocks' table as both clock screens show it.
namespace ClocksTable {

// Its columns in their stored order.
enum Column { ClockId, TermAddr, CtrlAddr, Port, Baud, Parity, DataBits, StopBits, PhoneNo, ColumnCount };

// The table read into a model for a grid, headed with the screen's captions.
// Throws Platform::Error when it cannot be read.
QSqlTableModel *open(QObject *parent, const char *const (&captions)[ColumnCount]);

} // namespace ClocksTable
