// One-pass polling of the serial clocks: drain every record a clock holds,
// store it in the poll files, show it and acknowledge it. Plain functions;
// the poll form gives them its display and the serial link's operations.
#pragma once

#include "link/SerialClk.h"
#include "platform/db.h"
#include "polling/PollFiles.h"
#include "setup/CmdFile.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <functional>
#include <optional>
#include <vector>

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

// What the terminal box shows for a record frame: a punch's display form,
// else the frame as received. A punch that cannot be taken apart shows its
// error and nothing.
QString DisplayText(const QByteArray &frame);

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
    // After a send that failed: true when no part of the frame reaches the
    // clock. Unset, a frame that failed may have reached it.
    std::function<bool()> notSent;
};

// Takes every record the clock holds, one at a time: each is written to
// the day's log and POLL.txt before its acknowledgement leaves. A record
// that cannot be written is not acknowledged: its error is shown and the
// poll is stopped. An acknowledgement that fails stops the poll too; its
// record leaves POLL.txt only when the clock surely did not get it.
void PollSerialClock(int controller, int terminal, const ClockLine &line, PollFiles::DataFiles &files,
                     PollView &view);

// The port operations of the all-clocks walk, and what it does at each
// clock whose port opened.
struct PortOps : SerialClk::WalkPorts {
    std::function<void(int controller, int terminal)> drain;
};

// "<prefix><id> Address: <terminal>[ Phone: <number>]".
QString WalkCaption(const QString &prefix, const SerialClk::SerialClockRec &clock);

// The main window's port as the line to a clock and as the walk's port
// operations (without a drain).
ClockLine MainWindowLine();
PortOps MainWindowPorts();

// One pass over the clocks: a stop ends the walk between rows, a row that is
// no clock shows its box and is passed over, and a call still up is hung up
// in any case.
void WalkClockRows(const Platform::Database &db, const PortOps &ops, PollView &view);

// The start of a serial poll: both files open and the terminal and caption
// cleared, else the error shown and the view back to idle.
bool OpenPollFiles(PollView &view, PollFiles::DataFiles &files);
// The selected clock's port open (a clock asked for when none is chosen)
// and its caption shown; false when it cannot be reached.
bool ReachSelectedClock(PollView &view);

// The end of a serial poll, whatever stopped it: the files closed, POLL.txt
// through its end steps (posted, kept or deleted), the view back to idle.
void EndPoll(PollView &view, PollFiles::DataFiles &files);

// "Automatic": the selected clock, or every clock, once, through the main
// window's port; then the end steps (POLL.txt posted or deleted) and the
// view back to idle. When a poll file cannot be opened nothing is polled.
void PollSerialClocksOnce(PollView &view, PollFiles::DataFiles &files, bool allClocks);

// ---- continuous polling ----

// The four answers a clock shows after the check of a punch: accepted (the
// first name follows), invalid card, not scheduled, break time. Prompts
// 100-103 of ClkMsg, else the built-in texts.
using PollAnswers = std::array<QString, 4>;
PollAnswers LoadPollPrompts(const Platform::Database &db, const PollAnswers &defaults);

// One display command to a clock: select, then the data frame, no retries
// and no message; the poll goes on whatever the clock answers. A character
// the clock's code page lacks shows as "?".
void SendClockMessage(const QString &text, int controller, int terminal, const ClockLine &line);

// One poll of one clock with the check of its punch (employees, or members)
// through the main window's real-time hooks. A punch is in the day's log
// before its acknowledgement leaves; a log that cannot be written stops the
// poll and leaves the punch in the clock. Returns the record line still to
// go to POLL.txt (an accepted punch whose posting failed, or a logged punch
// whose step failed), else empty.
QByteArray PollValidateSerialClock(int controller, int terminal, const QByteArray &pollMessage, bool members,
                                   const ClockLine &line, PollFiles::DataFiles &files, const PollAnswers &answers,
                                   PollView &view);

// "Continuous": the selected clock, or every clock in turn, until a stop;
// then the end steps of the one-pass poll. When the real-time checks cannot
// start (no target database, a statement that cannot be prepared, no
// posting module), the poll ends at once and nothing is acknowledged.
void PollContinous(PollView &view, PollFiles::DataFiles &files, bool allClocks, bool members,
                   const PollAnswers &answers);

// ---- continuous-poll message file ----

// The lines of Data/ClkCont.dld: set (prompt 002 blanked, prompt time-out
// 1 s) or reset (prompt 002 and the clock parameters as stored). Without a
// prompt the reset leaves that line out. Each record goes through the
// command-file builder's check: those it refuses are listed instead of
// written. Throws when the parameters are shorter than the 9 characters the
// time-out sits in.
CmdFile::Result ContPollFile(bool set, const QString &clockParameters, const std::optional<QString> &prompt002);
// The "002" prompt of ClkMsg, if there is one.
std::optional<QString> ContPollPrompt(const Platform::Database &db);
// Writes the file from the settings and ClkMsg; returns its path. Refused
// records give the builder's box, leave the last file as it was and return "".
QString WriteContPollFile(bool set);
// "Set Continuous Poll" / "Reset Continuous Poll": the file written, sent
// to the selected clock or to every clock, then deleted. A file that
// cannot be made shows its error and nothing is sent.
void SendContPollFile(bool set, bool allClocks);

} // namespace PollSerial
