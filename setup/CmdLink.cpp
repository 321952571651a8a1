#include "setup/CmdWalk.h"

#include "app/frmMDI.h"
#include "link/SerialClk.h"
#include "link/TCPIP.h"
#include "platform/error.h"

// The program's clock link: the serial module with the main window's comm
// control and status bar, and the TCP/IP module.
namespace CmdWalk {

namespace {

Platform::CommControl &comm()
{
    return *frmMDI::instance()->MSComm1;
}

class ProgramLink : public ClockLink {
public:
    bool OpenSelectedClockPort() override { return SerialClk::OpenSelectedClockPort(comm()); }
    SerialClock SelClock() override { return SerialClk::state().SelClock; }
    bool OpenPort(int port, const QString &settings) override { return SerialClk::OpenPort(comm(), port, settings); }
    void ClosePort() override { SerialClk::ClosePort(comm()); }
    void DialModem(const QString &phone) override
    {
        SerialClk::DialModem(comm(), SerialClk::state().CommParm.InitStr, phone, frmMDI::instance()->sbrStatus);
    }
    void HangUpModem() override { SerialClk::HangUpModem(comm()); }
    bool ModemConnected() override { return SerialClk::state().ModemConnected; }
    void DownloadFileSerial(const QString &path, int controller, int terminal, const QString &name) override
    {
        SerialClk::DownloadFileSerial(comm(), path, controller, terminal, name);
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
};

} // namespace

void InstallProgramLink()
{
    static ProgramLink link;
    SetLink(&link);
}

} // namespace CmdWalk
