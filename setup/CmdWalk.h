#pragma once

#include "link/SerialClk.h"
#include "link/TCPIP.h"
#include "platform/db.h"

#include <QString>

#include <functional>

// Send: the command file to the selected clock or to every clock, serial or
// TCP/IP, through the one interface the builder has to the clock link.
namespace CmdWalk {

// The clocks as the serial and TCP/IP modules read them from their lists.
using SerialClock = SerialClk::SerialClockRec;
using TcpClock = TCPIP::TCPIPClockRec;

// What the walk needs of the clock link; the program forwards to the serial
// and TCP/IP modules with the main window's comm control and status bar,
// tests record the calls.
class ClockLink {
public:
    virtual ~ClockLink() = default;
    virtual bool OpenSelectedClockPort() = 0;
    virtual SerialClock SelClock() = 0;
    virtual bool OpenPort(int port, const QString &settings) = 0;   // no status bar
    virtual void ClosePort() = 0;                                    // no status bar
    virtual void DialModem(const QString &phone) = 0;                // CommParm.InitStr, sbrStatus
    virtual void HangUpModem() = 0;
    virtual bool ModemConnected() = 0;
    virtual void DownloadFileSerial(const QString &path, int controller, int terminal, const QString &name) = 0;
    virtual TcpClock SelTCPIPClock() = 0;
    virtual void SelectTCPIPClockModal() = 0;                        // frmSelTCPIPClk
    virtual void DownloadFileTCPIP(const QString &path, const TcpClock &clock) = 0;   // sets CurTCPIPClock
    // Cancels the clock being sent (CancelSend).
    virtual void CancelSend() = 0;
};

// The program's link, set once by the modules that provide it.
ClockLink &Link();
void SetLink(ClockLink *link);
// The link to the program's serial and TCP/IP modules.
void InstallProgramLink();

enum class Scope { None, Selected, All };

// Runs the walk. `stop` is asked between clocks: when it says so the walk
// ends. A row that is no clock shows its error box and the walk goes on with
// the next.
void Send(ClockLink &link, const Platform::Database &mainDb, const QString &path, int clockInterface, Scope scope,
          const std::function<bool()> &stop = {});

} // namespace CmdWalk
