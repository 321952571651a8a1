#pragma once

#include "platform/ui.h"

#include <QByteArray>
#include <QDate>
#include <QHash>
#include <QLabel>
#include <QMainWindow>
#include <QStatusBar>

#include <array>
#include <functional>
#include <memory>
#include <optional>

class QAction;
class QMdiArea;
class QStackedWidget;
class QTimer;
class QToolBar;

namespace Platform {
class CommControl;
}

// A port picture: a click on it toggles the serial port.
class PortPicture : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
};

// The status bar's five panels, numbered from 1 as the link code writes them.
class StatusPanels : public QStatusBar {
    Q_OBJECT
public:
    static constexpr int kPanels = 5;
    explicit StatusPanels(QWidget *parent);
    QString panel(int index) const;
    void setPanel(int index, const QString &text);

private:
    std::array<QLabel *, kPanels> m_panels{};
};

// A punch as the access-control checks of a continuous poll read it.
struct PolledPunch {
    QString Badge;
    QDate Date;
    QTime Time;
};

// The holder of an active card: the schedule number (employees only) and the
// first name, apart, so that a name is never taken for a schedule number.
struct CardHolder {
    QString ScheduleNo;
    QString FirstName;
};

// What the main window's commands reach in the other modules. Each module
// connects its own entry; an empty one does nothing. Tests replace them to
// see which command reaches what.
struct MDIHooks {
    std::function<void()> showAppSettings;          // frmAppSettings
    std::function<void()> showClockParameters;      // frmStpClkParm
    std::function<void()> showFunctionKeys;         // frmFuncKeyStp
    std::function<void()> showClockMessages;        // frmStdClkMsg
    std::function<void()> showContPollMessages;     // frmContPollMsg
    std::function<void()> showPollProperties;       // frmClockPollProp
    std::function<void()> showTcpIpClockList;       // frmTCPIPClkCommParm
    std::function<void()> showSerialClockList;      // frmSerialClkCommParm
    std::function<void()> showSelectTcpIpClock;     // frmSelTCPIPClk
    std::function<void()> showSelectSerialClock;    // frmSerialClkSelect
    std::function<void()> showModemDial;            // frmModemDial
    std::function<void()> hangUpModem;              // SerialClk::HangUpModem(MSComm1)
    std::function<void()> showCreateCmdFile;        // frmDldFile
    std::function<void()> showBadgeScheduleCount;   // SerialClk::ShowBadgeScheduleCount
    std::function<void()> showSetTime;              // frmSetTime
    std::function<void()> setTimeTcpIpWin95;        // TCPIP::SetTimeTCPIPWin95
    std::function<void()> setTimeTcpIpWinNT;        // TCPIP::SetTimeTCPIPWinNT
    std::function<void()> showSendCmd;              // frmSendCmd
    std::function<void()> showPollTcpIp;            // frmPollTCPIP
    std::function<void()> showPollSerial;           // frmPollSerial
    std::function<bool(const QString &)> postPolledData;  // KovraDS::PostPolledData

    // Download Command File.
    std::function<int()> selectedTcpIpClock;        // SelTCPIPClock's number, below 1 when none
    std::function<void()> selectTcpIpClockModal;    // frmSelTCPIPClk shown modal
    // Copies SelTCPIPClock into CurTCPIPClock and calls TCPIP::DownloadFileTCPIP.
    std::function<void(const QString &)> downloadFileTcpIp;
    std::function<bool()> openSelectedClockPort;    // SerialClk::OpenSelectedClockPort
    std::function<void(const QString &)> downloadFileSerial;  // SerialClk::DownloadFileSerial

    // The port. Until the serial layer connects its own these only switch
    // the control and the port pictures.
    std::function<void()> openPort;                 // SerialClk::OpenPort with SelClock
    std::function<void()> closePort;                // SerialClk::ClosePort(MSComm1, sbrStatus)

    std::function<void()> closeTcpIpLink;           // TCPIP::CloseTCPIPLink
    std::function<void()> closeTargetDb;            // KovraDS::CloseTargetDb when it is open
    // What the TCP/IP clocks left held, settled before their link goes.
    std::function<void()> settleTcpIpRecords;      // TCPIPPoll::SettleHeldRecords

    // Continuous serial polling's checks against the access-control target
    // (Sorb01). Start opens the target database, loads the company settings
    // and prepares every statement the poll runs; false (the reason shown)
    // means the poll must not start. End releases them and closes the target.
    std::function<bool(bool members)> startRealTimeChecks;
    std::function<void()> endRealTimeChecks;
    // The punch of a record (its bytes from the first backslash, as logged);
    // empty when the record is no punch.
    std::function<std::optional<PolledPunch>(const QByteArray &record)> readPolledPunch;
    // The active holder of the card; empty when none ("Not Valid").
    std::function<std::optional<CardHolder>(const QString &card, bool members)> lookUpCard;
    std::function<int(const QString &scheduleNo, const QDate &, const QTime &)> checkSchedule;  // 0, 1, 2
    // PostSorbPunch (employees) or PostMemberPunch (members).
    std::function<bool(const QDate &, const QTime &, const QString &card, bool members)> postRealTimePunch;
    // The member punches a continuous poll kept (a file of record lines) added
    // to the members' table; the file is deleted once they are posted.
    std::function<bool(const QString &file)> postMemberPunches;
};

MDIHooks &mdiHooks();
void resetMdiHooks();

// The program's main window. Its unload is the program's shutdown.
class frmMDI : public QMainWindow {
    Q_OBJECT
public:
    static frmMDI *instance();   // loads the window on first use
    static frmMDI *existing();   // nullptr until loaded

    // The size the window opens at: its work area holds the largest screen
    // (the command-file builder) whole.
    static constexpr QSize kOpeningSize{1024, 768};
    // What a window manager adds around the window (title bar, borders).
    static constexpr QSize kFrameRoom{16, 48};
    // At the opening size, centred on the desktop; maximised on a desktop too
    // small for it, where the work area scrolls to what does not fit.
    void PlaceOnDesktop(const QRect &desktop);

    // Controls the other modules use by name.
    Platform::CommControl *MSComm1 = nullptr;
    StatusPanels *sbrStatus = nullptr;
    Platform::Ui::FileDialog OpenFileDlg;
    QMdiArea *mdiArea = nullptr;
    QToolBar *Toolbar1 = nullptr;
    QStackedWidget *picPort = nullptr;
    PortPicture *imgConnected = nullptr;
    PortPicture *imgNotConnected = nullptr;
    QTimer *Timer2 = nullptr;

    QAction *mnuSetupAppSettings, *mnuSetupClkParm, *mnuSetupFuncKeys, *mnuSetupStdMsgs,
        *mnuSetupPollContMsg, *mnuSetupExit;
    QAction *mnuCommPollParm, *mnuCommClkCommParm, *mnuCommSelectClk, *mnuCommDialModem, *mnuCommHangUpModem;
    QAction *mnuCmdCreateCmdFile, *mnuCmdDownloadCmdFile, *mnuCmdGetBadgeSch, *mnuCmdSetTime, *mnuCmdSendCmd;
    QAction *mnuDataPollClock, *mnuDataImportData, *mnuDataImportDB;
    QAction *mnuHelpContents, *mnuHelpSearch, *mnuHelpKovraWeb, *mnuHelpAbout;

    // Takes the control over (tests give a fake); its events come to MSComm1_OnComm.
    void setCommControl(std::unique_ptr<Platform::CommControl> control);

    // Start-up with a TCP/IP link: the items only a serial link can serve.
    void DisableSerialOnlyMenus();
    // Which port picture is in front.
    void ShowPortState(bool open);
    void TogglePort();

    void MSComm1_OnComm();
    void Timer2_Timer();

    void mnuCmdDownloadCmdFile_Click();
    void mnuCmdSetTime_Click();
    void mnuDataImportData_Click();
    void mnuDataImportDB_Click();
    void mnuHelpContents_Click();
    void mnuHelpSearch_Click();
    void mnuHelpKovraWeb_Click();
    void Toolbar1_ButtonClick(QAction *button);

    void MDIForm_Unload();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    frmMDI();
    ~frmMDI() override;
    void buildMenus();
    void buildToolbar();
    void buildStatusBar();
    void MDIForm_Load();

    QHash<QAction *, std::function<void()>> m_commands;
    bool m_commBoxOpen = false;
};
