#pragma once

#include <tevlink.h>

#include <QByteArray>
#include <QByteArrayList>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>

class QSqlRecord;

// The program's side of the TCP/IP clock link: binding of the two link
// library builds, the link's settings, the selected and current clock, and
// the start, close, set-time and download calls.
namespace TCPIP {

// Both TCP/IP clock screens open this far from the top.
constexpr int kFormTopTwips = 100;

// The two builds of the link library; "Clock" 1 is Tev95, 2 is Tev32.
enum class Build { Tev95, Tev32 };
constexpr int kBuilds = 2;

// The functions of one build the program calls, bound by name. Callers go
// through this table, so a test can wrap one entry of a loaded build.
struct LinkApi {
    decltype(&::InitComPort) InitComPort = nullptr;
    decltype(&::SetTimeClock) SetTimeClock = nullptr;
    decltype(&::DownloadTimeClock) DownloadTimeClock = nullptr;
    decltype(&::PollTimeClock) PollTimeClock = nullptr;
    decltype(&::SendMsgTimeClock) SendMsgTimeClock = nullptr;
    decltype(&::SendAckTimeClock) SendAckTimeClock = nullptr;
    decltype(&::AckRequired) AckRequired = nullptr;
    decltype(&::UnKnownIP) UnKnownIP = nullptr;
    decltype(&::CloseCom) CloseCom = nullptr;
};

// The file name of a build in the application folder.
QString LibraryFile(Build build);
// The build's table, loading the library on first use. Errors: 53 when the
// file is missing, 48 when it cannot be loaded, 453 when an export is missing.
LinkApi &Api(Build build);
bool IsLoaded(Build build);

// The build start, close, set time and send command call: none for a
// "Clock" other than 1 and 2.
std::optional<Build> ChosenBuild();
// The build download and poll call: Tev95 for "Clock" 1, Tev32 for any other.
Build TransferBuild();

struct TCPIPSettingsRec {
    QString DefaultClock;        // ScreenID of the start-up clock, "-1" once it is gone
    bool TCPIPAddress = false;   // stamp the clock's address into the poll log
    bool TerminalID = false;     // stamp the terminal number into the poll log
    bool TCPIPACK = false;       // switch each clock's acknowledgement mode on
    std::array<QString, 4> HostAddr;
};

struct TCPIPClockRec {
    qint32 ScreenID = 0;  // 0 or less: no clock
    QString Clock;        // terminal 1-32
    QString Controller;   // 1 and up
    qint32 octet1 = 0, octet2 = 0, octet3 = 0, octet4 = 0;
};

constexpr int kMaxClocks = 128;

// What the TCP/IP poll keeps of one clock's text between its steps and its
// loops (polling/TCPIPRecords cuts and commits it).
struct ClockText {
    // What the clock sent that is not committed: its unfinished record, or
    // text that waits for the clock's next backslash. Unacknowledged.
    std::optional<QByteArray> Held;
    // Records a failed write gave back, in order, unacknowledged: they go
    // before anything the clock sends next, and nothing joins them.
    QByteArrayList Kept;
    // The clock's last record went on disk without its end mark, which may
    // still come in front of its next backslash.
    QByteArray OpenRecord;
    // Its last punch on disk: a punch equal to it is the clock's copy.
    QByteArray LastPunch;
};
// What the TCP/IP poll keeps of one clock between its steps and its loops.
enum class ClockSeen { Never, Connected, Offline };
struct ClockPollRec {
    ClockSeen Seen = ClockSeen::Never;
    ClockText Text;
    double LastByteAt = 0;  // Platform::Clock::seconds() of the clock's last receive
    TCPIPClockRec Clock;    // as its last step had it: the held text's lines are stamped from it
};
constexpr int kRxBufSize = 1550;
constexpr int kBadAddrSize = 15;

struct State {
    TCPIPSettingsRec TCPIPSettings;
    TCPIPClockRec SelTCPIPClock;
    TCPIPClockRec CurTCPIPClock;

    // The line values InitComPort is given; only the parity (diagnostics on) counts.
    int LinkPort = 1;
    QString BaudRateText, ParityText, DataBitsText, StopBitsText;
    quint32 LinkPortNo = 0, LinkBaudRate = 0;
    quint8 LinkParity = 0, LinkByteSize = 0, LinkStopBits = 0;
    intptr_t LinkHandle = 0;     // InitComPort only reads it
    intptr_t LinkHandleArg = 0;  // the handle argument of the other calls

    // Working data of the TCP/IP poll, indexed by clock number 1-128.
    std::array<bool, kMaxClocks + 1> AckSent{};
    std::array<ClockPollRec, kMaxClocks + 1> PollClocks{};
    QByteArray RxBuf = QByteArray(kRxBufSize, ' ');
    QByteArray BadAddr = QByteArray(kBadAddrSize, ' ');
    QString TermText;  // the poll form's terminal text: it outlives the form

    struct Loaded {
        void *handle = nullptr;
        LinkApi api;
    };
    std::array<Loaded, kBuilds> Libraries;
};

State &state();
// Empties the state and unloads both builds.
void resetState();

// Terminal ((n - 1) mod 32) + 1 and controller (n + 31) div 32 of clock n.
QString TerminalOf(qint32 clockNumber);
QString ControllerOf(qint32 clockNumber);
// The whole number of a clock record's text field, as the library takes it.
int32_t WholeNumber(const QString &text);
// Clock n with its terminal and controller; no address.
TCPIPClockRec NumberedClock(qint32 clockNumber);
// The highest number an octet of an address can have.
constexpr int kHighestOctet = 255;
// A row of TcpClocks as a clock: every reader of the table takes its rows
// through this. A ScreenID or octet that is no whole number throws a type
// mismatch naming the clock ("#" and its ScreenID) and the field; an octet
// outside 0 to 255 an overflow.
TCPIPClockRec ClockFromRow(const QSqlRecord &row);

// The hosts file the link library reads: $TEV_HOSTS, set at start-up.
QString HostsPath();

// ---- start-up ----
// The five calls below in start-up's order; start-up runs each under its own
// trap, so a failed one is shown and the next still runs.
const std::array<void (*)(), 5> &StartSequence();
void InitBufferLog();
void InitTCPIPDefaults();
void LoadTCPIPSettings();
void InitTCPIPLink();
void OpenTCPIPLink();
void LoadDefaultTCPIPClock();

// CloseCom of the chosen build, then 2 seconds that yield to everything but user input.
void CloseTCPIPLink();
// CloseCom and unload every loaded build: the settings screen's switch to serial.
void ReleaseLinks();

void SetTimeTCPIPWin95();
void SetTimeTCPIPWinNT();
// Downloads a command file to CurTCPIPClock; a failure keeps a copy as n.dld.
void DownloadFileTCPIP(const QString &path);

// Status bar panel 5: the selected TCP/IP clock.
void ShowSelectedClock();

// Connects the main window's TCP/IP commands.
void InstallHooks();

} // namespace TCPIP
