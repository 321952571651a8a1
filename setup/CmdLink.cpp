#include "setup/CmdWalk.h"

#include "app/frmMDI.h"
#include "link/SerialClk.h"
#include "link/TCPIP.h"
#include "platform/error.h"

// The program's clock link: the serial module with the main window's comm
// control and status bar, and the TCP/IP module.
namespace CmdWalk {

namespace {

class ProgramLink : public ClockLink {
public:
    bool OpenSelectedClockPort() override { return SerialClk::OpenSelectedClockPort(SerialClk::MainComm()); }
    SerialClock SelClock() override { return SerialClk::state().SelClock; }
    bool OpenPort(int port, const QString &settings) override { return m_ports.open(port, settings); }
    void ClosePort() override { m_ports.close(); }
    void DialModem(const QString &phone) override { m_ports.dial(phone); }
    void HangUpModem() override { m_ports.hangUp(); }
    bool ModemConnected() override { return m_ports.modemConnected(); }
    void DownloadFileSerial(const QString &path, int controller, int terminal, const QString &name) override
    {
        SerialClk::DownloadFileSerial(SerialClk::MainComm(), path, controller, terminal, name);
    }
    TcpClock SelTCPIPClock() override { return TCPIP::state().SelTCPIPClock; }
    void SelectTCPIPClockModal() override
    {
        if (mdiHooks().selectTcpIpClockModal)
            mdiHooks().selectTcpIpClockModal();
    }
    void DownloadFileTCPIP(const QString &path, const TcpClock &c) override
    {
        TCPIP::state().CurTCPIPClock = c;
        TCPIP::DownloadFileTCPIP(path);
    }
    void CancelSend() override { SerialClk::state().CancelSend = true; }

private:
    const SerialClk::WalkPorts m_ports = SerialClk::MainWindowPorts();
};

} // namespace

void InstallProgramLink()
{
    static ProgramLink link;
    SetLink(&link);
}

} // namespace CmdWalk
