// The serial port and the modem: settings, the selected clock, open and
// close, dial and hang up, and the status bar texts that go with them.
#include "link/SerialClk.h"

#include "app/AppMain.h"
#include "app/Screen.h"
#include "app/frmMDI.h"
#include "link/SerialClkDetail.h"
#include "link/frmModemDial.h"
#include "link/frmSerialClkCommParm.h"
#include "link/frmSerialClkSelect.h"
#include "platform/ansi.h"
#include "platform/clock.h"
#include "platform/comm/commcontrol.h"
#include "platform/error.h"
#include "platform/ui.h"

#include <QAction>

#include <initializer_list>

namespace SerialClk {

namespace {

const QString kCommParmKey = QStringLiteral("COMM PARM");
const QString kStatus = QStringLiteral("Status: ");
const QString kUnableToOpen = QStringLiteral("Unable to open the communication port.");
const QString kFallbackSettings = QStringLiteral("9600,o,7,2");
constexpr int kFallbackPort = 2;
// Lets the last bytes clear the UART before the port goes.
constexpr int kClosePauseMs = 200;
constexpr int kDtrPulseMs = 100;
constexpr double kModemAnswerSeconds = 1.0;
constexpr char kCR = '\r';

// The answers that end a dial without a call.
const std::initializer_list<const char *> kDialFailures = {"NO CARRIER\r\n", "BUSY\r\n", "NO DIALTONE\r\n",
                                                           "NO ANSWER\r\n", "ERROR\r\n"};

StatusPanels *mainStatus()
{
    frmMDI *w = frmMDI::existing();
    return w ? w->sbrStatus : nullptr;
}

void showPortPicture(bool open)
{
    if (frmMDI *w = frmMDI::existing())
        w->ShowPortState(open);
}

// The modem's menu items follow whether a call is up.
void switchModemMenus(bool callUp)
{
    if (frmMDI *w = frmMDI::existing()) {
        w->mnuCommHangUpModem->setEnabled(callUp);
        w->mnuCommDialModem->setEnabled(!callUp);
    }
}

// Steps whose run-time errors must not stop the routine around them.
template <class F>
void ignoringErrors(F step)
{
    try {
        step();
    } catch (const Platform::Error &) {
    }
}

QByteArray takeInput(Platform::CommControl &comm)
{
    QByteArray got;
    ignoringErrors([&] {
        if (comm.InBufferCount() > 0)
            got = comm.Input();
    });
    return got;
}

} // namespace

// ---- settings and the selected clock ----

void LoadCommSettings()
{
    CommParmRec &parm = state().CommParm;
    const Platform::Snapshot rs = AppMain::OpenRegKey(AppMain::state().MainDb, kCommParmKey);
    const auto number = [&rs](const char *field, const char *fallback) {
        return AppMain::CInt(AppMain::Val(AppMain::GetRegValue(rs, QString::fromLatin1(field), QString::fromLatin1(fallback))));
    };
    parm.DefaultClock = AppMain::GetRegValue(rs, QStringLiteral("DefaultClock"), QString());
    parm.PollDelay = number("PollDelay", "400");
    parm.PollTimeOut = number("PollTimeOut", "400");
    parm.MachineSpeed = number("MachineSpeed", "5");
    parm.InitStr = AppMain::GetRegValue(rs, QStringLiteral("InitStr"), CommParmRec{}.InitStr);
}

void LoadDefaultSerialClock()
{
    State &s = state();
    SerialClockRec clock = s.SelClock;
    QString &defaultClock = s.CommParm.DefaultClock;
    if (!defaultClock.isEmpty()) {
        const Platform::Snapshot rows = AppMain::state().MainDb.snapshot(
            QStringLiteral("SELECT * FROM Clocks WHERE [Clock Identifier] = ?"), {defaultClock});
        if (rows.empty()) {
            // The clock was deleted: the next start-up must not look for it again.
            defaultClock.clear();
            AppMain::SaveRegValue(kCommParmKey, QStringLiteral("DefaultClock"), QString());
        } else {
            clock = ClockFromRow(rows.rows().front());
        }
    }
    clock.ClockId = defaultClock.isEmpty() ? QString() : clock.ClockId;
    SelectClock(clock);
    s.ModemConnected = false;
    frmMDI::instance()->sbrStatus->setPanel(3, ClockPanelText(s.SelClock));
}

void SetCommDefaults(Platform::CommControl &comm, int port, const QString &settings)
{
    try {
        comm.setCommPort(port);
        comm.setSettings(settings);
    } catch (const Platform::Error &) {
        comm.setCommPort(kFallbackPort);
        comm.setSettings(kFallbackSettings);
    }
}

QString ClockPanelText(const SerialClockRec &clock)
{
    if (clock.ClockId.isEmpty())
        return QStringLiteral("Clock: NONE");
    QString text = QStringLiteral("Clock: ") + clock.ClockId + QStringLiteral(" Addr: ") + QString::number(clock.TermAddr);
    if (!clock.PhoneNo.isEmpty())
        text += QStringLiteral(" Phone: ") + clock.PhoneNo;
    return text;
}

void SelectClock(const SerialClockRec &clock)
{
    state().SelClock = clock;
    state().ClockPortOpen = false;
}

void ClearSelectedClock()
{
    state().SelClock.ClockId.clear();
    state().ClockPortOpen = false;
}

void AskForClock()
{
    if (const std::function<void()> choose = state().ChooseClock)
        choose();
    else
        frmSerialClkSelect::ShowModal();
}

// ---- the port ----

bool OpenSelectedClockPort(Platform::CommControl &comm)
{
    BusyGuard guard;
    if (!guard)
        return false;
    State &s = state();
    if (s.SelClock.ClockId.isEmpty())
        AskForClock();
    if (s.SelClock.ClockId.isEmpty()) {
        s.ClockPortOpen = false;
        return false;
    }
    const bool open = OpenPort(comm, s.SelClock.Port, s.SelClock.Settings, mainStatus());
    if (!open)
        Platform::Ui::msgBox(kUnableToOpen, Platform::Ui::Style::OkOnly | Platform::Ui::Style::Information);
    else if (!s.SelClock.PhoneNo.isEmpty() && !s.ModemConnected)
        DialModem(comm, s.CommParm.InitStr, s.SelClock.PhoneNo, mainStatus());
    s.ClockPortOpen = open;
    return open;
}

bool OpenPort(Platform::CommControl &comm, int port, const QString &settings, StatusPanels *bar)
{
    if (comm.PortOpen()) {
        if (comm.CommPort() == port && comm.Settings() == settings)
            return true;
        // A port that will not close stays as it is: never report it reopened.
        if (!ClosePort(comm, bar))
            return false;
    }
    try {
        comm.setCommPort(port);
        comm.setSettings(settings);
        comm.setPortOpen(true);
        if (bar) {
            bar->setPanel(1, kStatus + QStringLiteral("Port is Open"));
            bar->setPanel(2, QStringLiteral("Settings: COM%1,").arg(comm.CommPort()) + comm.Settings());
            showPortPicture(true);
        }
    } catch (const Platform::Error &) {
        // A port that does not exist or is in use: the result says so.
    }
    return comm.PortOpen();
}

bool ClosePort(Platform::CommControl &comm, StatusPanels *bar)
{
    if (!comm.PortOpen())
        return false;
    try {
        WaitForDrain(comm, comm.OutBufferCount());
    } catch (const Platform::Error &) {
        return false;
    }
    Platform::Clock::sleep(kClosePauseMs);
    ignoringErrors([&] { comm.setPortOpen(false); });
    state().ClockPortOpen = false;
    if (bar) {
        bar->setPanel(1, kStatus + QStringLiteral("Port is closed"));
        bar->setPanel(2, QStringLiteral("Port: COM%1,").arg(comm.CommPort()) + comm.Settings());
    }
    showPortPicture(false);
    return true;
}

// ---- the modem ----

int ModemCommand(Platform::CommControl &comm, const QString &command)
{
    ignoringErrors([&] { comm.Output(Platform::Ansi::encode(command) + kCR); });
    QByteArray answer;
    const double deadline = Platform::Clock::seconds() + kModemAnswerSeconds;
    while (Platform::Clock::seconds() <= deadline) {
        WaitForEvents(deadline);
        answer += takeInput(comm);
        if (answer.contains("OK\r\n"))
            return 0;
        if (answer.contains("ERROR\r\n"))
            return 1;
    }
    return 2;
}

bool DialModem(Platform::CommControl &comm, const QString &initStr, const QString &phone, StatusPanels *bar)
{
    BusyGuard guard;
    if (!guard)
        return false;
    const auto panel = [bar](const QString &text) {
        if (bar)
            bar->setPanel(1, text);
    };
    panel(kStatus + QStringLiteral("Initializing Modem..."));
    if (ModemCommand(comm, initStr) == 1)
        Platform::Ui::msgBox(QStringLiteral("An error was detected on command: ") + initStr);
    panel(kStatus + QStringLiteral("Dialing ") + phone + QStringLiteral("..."));
    ignoringErrors([&] { comm.Output(Platform::Ansi::encode(QStringLiteral("ATDT") + phone) + kCR); });

    QByteArray answer;
    bool carrier = false;
    bool ok = false;
    bool failed = false;
    const double deadline = Platform::Clock::seconds() + state().DialWaitSeconds;
    // A close of the dialling screen (or the main window) ends the wait too.
    while (!carrier && !ok && !failed && !guard.stopRequested() && Platform::Clock::seconds() <= deadline) {
        WaitForEvents(deadline);
        answer += takeInput(comm);
        ignoringErrors([&] { carrier = comm.CDHolding(); });
        ok = answer.contains("OK\r\n");
        for (const char *final : kDialFailures)
            failed = failed || answer.contains(final);
    }
    const QString heard = Platform::Ansi::decode(answer);
    if (carrier) {
        panel(kStatus + heard);
    } else if (!ok) {
        // No call: the menus stay as they are and the next exchange may dial again.
        if (!heard.isEmpty())
            panel(kStatus + heard);
        return false;
    }
    switchModemMenus(true);
    state().ModemConnected = true;
    return true;
}

void HangUpModem(Platform::CommControl &comm)
{
    ignoringErrors([&] { comm.Output(QByteArrayLiteral("ATH")); });
    // A DTR drop is what every modem takes as the end of a call.
    const bool dtr = comm.DTREnable();
    ignoringErrors([&] { comm.setDTREnable(true); });
    Platform::Clock::sleep(kDtrPulseMs);
    ignoringErrors([&] { comm.setDTREnable(false); });
    Platform::Clock::sleep(kDtrPulseMs);
    ignoringErrors([&] { comm.setDTREnable(dtr); });
    switchModemMenus(false);
    state().ModemConnected = false;
}

// ---- the main window's hooks ----

Platform::CommControl &MainComm()
{
    return *frmMDI::instance()->MSComm1;
}

WalkPorts MainWindowPorts()
{
    // The control is looked up at each call: the main window may give it a new one.
    WalkPorts ports;
    ports.open = [](int port, const QString &settings) { return OpenPort(MainComm(), port, settings); };
    ports.dial = [](const QString &phone) { DialModem(MainComm(), state().CommParm.InitStr, phone, mainStatus()); };
    ports.hangUp = [] { HangUpModem(MainComm()); };
    ports.close = [] { ClosePort(MainComm()); };
    ports.modemConnected = [] { return state().ModemConnected; };
    return ports;
}

void InstallHooks()
{
    MDIHooks &h = mdiHooks();
    // The port picture, the comm-error box and Hang Up would pull the port
    // from under an exchange that waits: they wait their turn instead.
    h.openPort = [] {
        BusyGuard guard;
        if (guard)
            OpenPort(MainComm(), state().SelClock.Port, state().SelClock.Settings, mainStatus());
    };
    h.closePort = [] {
        BusyGuard guard;
        if (guard)
            ClosePort(MainComm(), mainStatus());
    };
    h.hangUpModem = [] {
        BusyGuard guard;
        if (guard)
            HangUpModem(MainComm());
    };
    h.openSelectedClockPort = [] { return OpenSelectedClockPort(MainComm()); };
    h.downloadFileSerial = [](const QString &file) {
        const SerialClockRec &clock = state().SelClock;
        DownloadFileSerial(MainComm(), file, clock.CtrlAddr, clock.TermAddr, clock.ClockId);
    };
    h.showBadgeScheduleCount = [] { ShowBadgeScheduleCount(MainComm()); };
    h.showModemDial = [] { AppMain::OneScreen<frmModemDial>::show(AppMain::Centred); };
    h.showSerialClockList = [] { AppMain::OneScreen<frmSerialClkCommParm>::show(AppMain::TopEdge(100)); };
    h.showSelectSerialClock = [] { AppMain::OneScreen<frmSerialClkSelect>::show(AppMain::Centred); };
}

} // namespace SerialClk
