// One-pass polling of the serial clocks: drain every record a clock holds,
// store it in the poll files, show it and acknowledge it. Plain functions;
// the poll form gives them its display and the serial link's operations.
#pragma once

#include "platform/db.h"
#include "polling/PollFiles.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

namespace PollSerial {

// The display form of a punch record: badge, each non-empty extra field,
// then the stamp as MM/DD/YY,hh:mm, comma-separated; "" when the record is
// not a punch. A punch that cannot be taken apart (no RS after the badge,
// text after the stamp without ETX) throws Platform::Error 5.
QString ParsePunchRecord(const QString &reply);

// The record frame in a clock's reply to a poll: SOH, the polled clock's
// controller and terminal characters, STX, "\" ... ETX, two check
// characters that match, EOT. Anything else (cut short, a bad check, a
// frame of another clock) is no record: it is neither stored nor
// acknowledged, so the clock sends it again.
std::optional<QByteArray> RecordFrame(const QByteArray &reply, int controller, int terminal);
// The line a record frame is stored as: from its "\" through its EOT.
QByteArray RecordLine(const QByteArray &frame);

// A run-time error in the error box: its text, its number in the title.
void ShowError(const Platform::Error &e);

// The terminal box's colour: white after a silent or empty clock, cyan
// after a record that was acknowledged.
enum class LineState { Idle, Delivered };

// What a poll shows, and where it learns that it must stop: the poll form.
class PollView {
public:
    virtual ~PollView() = default;
    virtual void showStatus(const QString &caption) = 0;
    virtual void clearTerminal() = 0;
    virtual void appendRecord(const QString &text) = 0;
    virtual void showLineState(LineState state) = 0;
    virtual bool stopRequested() const = 0;
    virtual void requestStop() = 0;
    // The end of a poll: Stop Poll's work, back to idle.
    virtual void returnToIdle() = 0;
};

// The line to the clock being polled.
struct ClockLine {
    std::function<bool(const QByteArray &frame)> send;
    std::function<QByteArray()> read;
    int pollDelayMs = 0;
};

// Takes every record the clock holds, one at a time: each is written to
// the day's log and POLL.txt before its acknowledgement leaves. A record
// that cannot be written is not acknowledged: its error is shown and the
// poll is stopped.
void PollSerialClock(int controller, int terminal, const ClockLine &line, PollFiles::DataFiles &files,
                     PollView &view);

// The port operations of the all-clocks walk.
struct PortOps {
    std::function<bool(int port, const QString &settings)> open;
    std::function<void(const QString &phone)> dial;
    std::function<void()> hangUp;
    std::function<void()> close;
    std::function<bool()> modemConnected;
    std::function<void(int controller, int terminal)> drain;
};

// Every row of Clocks, direct clocks first and the clocks behind one phone
// number together, so each number is dialled once. The rows are read whole
// before the first port opens; a stop ends the walk between rows, and a
// call still up is hung up in any case.
void WalkClockRows(const Platform::Database &db, const PortOps &ops, PollView &view);

// "Automatic": the selected clock, or every clock, once, through the main
// window's port; then the end steps (POLL.txt posted or deleted) and the
// view back to idle. When a poll file cannot be opened nothing is polled.
void PollSerialClocksOnce(PollView &view, PollFiles::DataFiles &files, bool allClocks);

} // namespace PollSerial
