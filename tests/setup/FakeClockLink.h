#pragma once

#include "setup/CmdWalk.h"

#include <QStringList>

#include <functional>

// A clock link that records each call as a line of text and answers as told.
class FakeClockLink : public CmdWalk::ClockLink {
public:
    QStringList calls;
    CmdWalk::SerialClock selected;
    CmdWalk::TcpClock selectedTcp;
    bool selectedPortOpens = true;
    QList<int> portsThatFail;
    bool modem = false;
    int tcpChosenInModal = 0;            // the clock the selection window picks
    std::function<void()> duringDownload;   // runs inside each download

    bool OpenSelectedClockPort() override
    {
        calls << QStringLiteral("OpenSelectedClockPort");
        return selectedPortOpens;
    }
    CmdWalk::SerialClock SelClock() override { return selected; }
    bool OpenPort(int port, const QString &settings) override
    {
        calls << QStringLiteral("OpenPort %1 %2").arg(port).arg(settings);
        return !portsThatFail.contains(port);
    }
    void ClosePort() override { calls << QStringLiteral("ClosePort"); }
    void DialModem(const QString &phone) override
    {
        calls << QStringLiteral("DialModem %1").arg(phone);
        modem = true;
    }
    void HangUpModem() override
    {
        calls << QStringLiteral("HangUpModem");
        modem = false;
    }
    bool ModemConnected() override { return modem; }
    void DownloadFileSerial(const QString &, int controller, int terminal, const QString &name) override
    {
        calls << QStringLiteral("DownloadFileSerial %1 %2 %3").arg(controller).arg(terminal).arg(name);
        if (duringDownload)
            duringDownload();
    }
    CmdWalk::TcpClock SelTCPIPClock() override { return selectedTcp; }
    void SelectTCPIPClockModal() override
    {
        calls << QStringLiteral("frmSelTCPIPClk");
        if (tcpChosenInModal > 0)
            selectedTcp = TCPIP::NumberedClock(tcpChosenInModal);
    }
    void DownloadFileTCPIP(const QString &, const CmdWalk::TcpClock &c) override
    {
        calls << QStringLiteral("DownloadFileTCPIP %1 %2/%3 %4.%5.%6.%7")
                     .arg(c.ScreenID)
                     .arg(c.Clock, c.Controller)
                     .arg(c.octet1)
                     .arg(c.octet2)
                     .arg(c.octet3)
                     .arg(c.octet4);
        if (duringDownload)
            duringDownload();
    }
    void CancelSend() override { calls << QStringLiteral("CancelSend"); }
};
