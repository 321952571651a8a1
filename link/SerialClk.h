#pragma once

#include "app/ClockOperation.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <vector>

class QLineEdit;
class QPlainTextEdit;
class QSqlRecord;
class QWidget;
class StatusPanels;

namespace Platform {
class CommControl;
class Database;
}

// The serial clock link's module: the protocol characters and frames, the
// port and the modem, the selected serial clock, the command-file download
// and the badge-count query. Every routine takes the comm control it talks
// through; the program passes the main window's MSComm1.
namespace SerialClk {

// The 'COMM PARM' settings.
struct CommParmRec {
    QString DefaultClock;
    qint16 PollDelay = 400;     // ms between polls
    qint16 PollTimeOut = 400;   // ms one receive attempt waits
    qint16 MachineSpeed = 5;    // pause after each send, in 10 ms units
    QString InitStr = QStringLiteral("ATQ0V1&K0&A0&B0E0F1X1");
};

// The selected serial clock; an empty ClockId means none is selected.
struct SerialClockRec {
    QString ClockId;
    qint16 TermAddr = 0;
    qint16 CtrlAddr = 0;
    QString PhoneNo;
    QString Settings;   // "9600,o,7,2"
    qint16 Port = 0;
};

struct State {
    QString SOH, STX, ETX, EOT, ENQ, ACK, NAK, GS, RS, US, PollChar, SelectChar;
    bool ClockPortOpen = false;  // set only by OpenSelectedClockPort
    bool CancelSend = true;      // stays set between downloads
    bool ModemConnected = false;
    CommParmRec CommParm;
    // Write it through SelectClock / ClearSelectedClock, which keep ClockPortOpen honest.
    SerialClockRec SelClock;
    // A dial that hears neither a carrier nor a final answer gives up after this.
    double DialWaitSeconds = 60;
    // Asks the user for a clock when an exchange needs one and none is
    // selected; empty: the Select Clock screen, modal until it closes.
    std::function<void()> ChooseClock;
};

State &state();
void resetState();

// ---- protocol ----
void InitProtocolChars();

QByteArray BuildSelectMsg(int controller, int terminal);
QByteArray BuildPollMsg(int controller, int terminal);
QByteArray BuildAckMsg(int controller, int terminal);
// The text is framed as given (callers end each clock command with RS).
QByteArray BuildDataFrame(int controller, int terminal, const QByteArray &text);
QByteArray BuildDataFrame(int controller, int terminal, const QString &text);
// The two check characters' codes over the frame from SOH through ETX.
void CalcFrameLrc(const QByteArray &frame, int &l1, int &l2);

// Discards unasked input, sends and waits for the output to drain, then
// pauses MachineSpeed x 10 ms. False (after an error box) when it failed.
bool SendToPort(Platform::CommControl &comm, const QByteArray &frame);
// What became of a frame given to the port.
enum class Delivery {
    Sent,
    NotSent,      // none of it left, and none of it ever will
    MayHaveLeft,  // some or all of it may reach the clock
};
// SendToPort, telling what became of a frame that failed: output that did
// not leave in time is discarded, so no part of it goes out later.
Delivery SendFrame(Platform::CommControl &comm, const QByteArray &frame);
// A whole reply: read on from its first byte until EOT or a quiet
// PollTimeOut; "" when nothing came in 4 x PollTimeOut.
QByteArray ReadPortReply(Platform::CommControl &comm);
// Select, data frame (RS added when missing), with retries; True when the
// clock acknowledged the data frame.
bool SendCommandWithRetry(Platform::CommControl &comm, const QByteArray &command, int controller, int terminal);
bool SendCommandWithRetry(Platform::CommControl &comm, const QString &command, int controller, int terminal);

// Plain character searches, as every reply test of the serial layer.
bool ReplyHas(const QByteArray &reply, const QString &protocolChar);
extern const QString kNotResponding;   // "Terminal is not responding."
extern const QString kNotReady;        // "Terminal is not ready to receive command."
// The text ShowResponse puts in its box.
QString ResponseText(const QByteArray &reply, const QString &okText);
void ShowResponse(const QByteArray &reply, const QString &okText, QLineEdit *box);
void ShowResponse(const QByteArray &reply, const QString &okText, QPlainTextEdit *box);

// ---- one exchange at a time ----
// Held by every exchange, download, badge query and dial: the clock-operation
// guard under the name of what runs. Begun from another event while an
// operation waits, it is refused and the caller does nothing; the running
// operation's own nested calls go through. Closing the served form (nullptr:
// the main window) waits for the exchange to unwind.
class BusyGuard : public ClockOperation {
public:
    explicit BusyGuard(QWidget *form = nullptr, const QString &what = QStringLiteral("serial exchange"))
        : ClockOperation(what, form)
    {
    }
};

// ---- settings, selected clock, port and modem ----
void LoadCommSettings();
void LoadDefaultSerialClock();
// Start-up: the control's port and line settings, without opening it.
void SetCommDefaults(Platform::CommControl &comm, int port, const QString &settings);

// "Clock: id Addr: n[ Phone: p]" or "Clock: NONE".
QString ClockPanelText(const SerialClockRec &clock);
// Takes a new selected clock (or none); the next exchange reopens the port.
void SelectClock(const SerialClockRec &clock);
void ClearSelectedClock();
// Shows the choice of clock (see State::ChooseClock).
void AskForClock();

bool OpenSelectedClockPort(Platform::CommControl &comm);
bool OpenPort(Platform::CommControl &comm, int port, const QString &settings, StatusPanels *bar = nullptr);
bool ClosePort(Platform::CommControl &comm, StatusPanels *bar = nullptr);

// 0 "OK", 1 "ERROR", 2 no such answer within a second.
int ModemCommand(Platform::CommControl &comm, const QString &command);
// True when the call is up (carrier, or "OK" to the dial).
bool DialModem(Platform::CommControl &comm, const QString &initStr, const QString &phone, StatusPanels *bar);
void HangUpModem(Platform::CommControl &comm);

// ---- the clock list and the walk over it ----
// A row of Clocks as a clock; Settings is "baud,parity,data,stop". An
// address or port that is no whole number throws a type mismatch naming the
// clock and the field; one beyond 16 bits an overflow.
SerialClockRec ClockFromRow(const QSqlRecord &row);
// Every row of Clocks read as a clock, all before any is used, in the order
// a walk takes them: direct clocks first, the clocks behind one phone number
// together, so each number is dialled once. A row that is no clock shows its
// box and is left out.
std::vector<SerialClockRec> ReadClockRows(const Platform::Database &db);

// What a walk does with the one port.
struct WalkPorts {
    std::function<bool(int port, const QString &settings)> open;
    std::function<void(const QString &phone)> dial;
    std::function<void()> hangUp;
    std::function<void()> close;
    std::function<bool()> modemConnected;
};

// The main window's comm control, through which the program's serial
// exchanges go.
Platform::CommControl &MainComm();
// A walk's port operations on it: the port opened and closed without the
// status bar, a number dialled with the settings' initialisation string and
// shown in the main window's status bar.
WalkPorts MainWindowPorts();

// A walk over clocks on the one port: a call to another number is hung up
// before the port opens for the next clock, and each number is dialled when
// its first clock comes.
class ClockWalk {
public:
    explicit ClockWalk(const WalkPorts &ports) : m_ports(ports) {}
    // Gets the line to the clock ready; false when its port does not open.
    bool reach(const SerialClockRec &clock);
    // After the last clock: a call still up is ended.
    void end();

private:
    const WalkPorts &m_ports;
    QString m_lastDialled;
};

// One pass over the rows of Clocks in that order. `stop` is asked before
// each clock; each row is read when the walk comes to it, and one that is no
// clock shows its box and is passed over. `coming` is told of each clock,
// `reached` runs for each whose port opened. A call still up is hung up at
// the end, also when the walk ends by an error.
void WalkClocks(const Platform::Database &db, const WalkPorts &ports, const std::function<bool()> &stop,
                const std::function<void(const SerialClockRec &)> &reached,
                const std::function<void(const SerialClockRec &)> &coming = {});

// ---- download, terminal text, badge count ----
void DownloadFileSerial(Platform::CommControl &comm, const QString &path, int controller, int terminal,
                        const QString &clockName);
void AppendTerminalText(QPlainTextEdit *box, const QString &text);
void ShowBadgeScheduleCount(Platform::CommControl &comm);

// Sets the main window's hooks of the serial link.
void InstallHooks();

} // namespace SerialClk
