#pragma once

class ClockListModel;
class QObject;

// The serial clocks' table as both clock screens show it.
namespace ClocksTable {

// Its columns in their stored order.
enum Column { ClockId, TermAddr, CtrlAddr, Port, Baud, Parity, DataBits, StopBits, PhoneNo, ColumnCount };

// The table read into a model for a grid, headed with the screen's captions;
// the editable list has the new-row line. Throws Platform::Error when it
// cannot be read.
ClockListModel *open(QObject *parent, const char *const (&captions)[ColumnCount], bool newRowLine = false);

} // namespace ClocksTable
