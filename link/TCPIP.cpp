#include "link/TCPIP.h"

#include "app/AppMain.h"
#include "app/ClockOperation.h"
#include "app/Screen.h"
#include "app/frmMDI.h"
#include "link/ClockRow.h"
#include "link/HostsFile.h"
#include "link/SerialClk.h"
#include "link/frmCancelSend.h"
#include "link/frmSelTCPIPClk.h"
#include "link/frmTCPIPClkCommParm.h"
#include "platform/clock.h"
#include "platform/error.h"
#include "platform/paths.h"
#include "platform/ui.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QTime>

#include <dlfcn.h>

#include <cmath>

namespace TCPIP {

namespace {

constexpr int kErrLoadingDll = 48;
constexpr int kErrDllEntryPoint = 453;

constexpr int kTerminalsPerController = 32;
// The poll buffer file: one record per clock, backslash then blanks.
constexpr int kBufferRecordSize = 256;
// The clock needs this long between the cancel window and the first line.
constexpr int kDownloadLeadMs = 4000;
// The half-closed connections get this long before the program ends.
constexpr double kCloseWaitSeconds = 2.0;
constexpr int kCloseYieldStepMs = 10;
// A longer progress text is emptied rather than grown.
constexpr int kBufferInLimit = 512;

const QString kPanelPrefix = QStringLiteral("TCP/IP Clock: ");

int indexOf(Build build)
{
    return build == Build::Tev95 ? 0 : 1;
}

template <typename F>
void bindExport(void *handle, const char *name, const QString &file, F &entry)
{
    entry = reinterpret_cast<F>(dlsym(handle, name));
    if (entry == nullptr) {
        dlclose(handle);
        throw Platform::Error(kErrDllEntryPoint, QStringLiteral("Can't find DLL entry point %1 in %2")
                                                      .arg(QString::fromLatin1(name), file));
    }
}

void unload(State::Loaded &lib)
{
    if (lib.handle != nullptr)
        dlclose(lib.handle);
    lib = State::Loaded{};
}

// Its CloseCom first, so the port is free before the library goes.
void closeAndUnload(State::Loaded &lib)
{
    if (lib.handle == nullptr)
        return;
    lib.api.CloseCom();
    unload(lib);
}

// What the poll left held goes before the link it came over (written, or a
// fragment kept in buffer.log), not with it.
void settleHeldRecords()
{
    if (const auto &settle = mdiHooks().settleTcpIpRecords)
        settle();
}

qint64 wholeNumberOf(double value)
{
    return static_cast<qint64>(std::nearbyint(value));
}

// The old run time's Str: a blank stands where a minus would.
QString strOf(qint32 n)
{
    return n < 0 ? QString::number(n) : QLatin1Char(' ') + QString::number(n);
}

void setTime(Build build)
{
    // Inside a poll's step the command would go out between two of its polls.
    const ClockOperation operation(QStringLiteral("set time"));
    if (!operation)
        return ClockOperation::showRefusal(QStringLiteral("The time cannot be set"));
    State &s = state();
    if (ChosenBuild() != build)
        return;
    if (s.SelTCPIPClock.ScreenID <= 0) {
        if (const auto &ask = mdiHooks().selectTcpIpClockModal)
            ask();
        if (s.SelTCPIPClock.ScreenID <= 0)
            return;
    }
    s.LinkHandleArg = s.LinkHandle;
    const uint32_t r = Api(build).SetTimeClock(s.LinkHandleArg, WholeNumber(s.SelTCPIPClock.Controller),
                                               WholeNumber(s.SelTCPIPClock.Clock));
    Platform::Ui::msgBox(r > 0 ? QStringLiteral("Terminal is not responding.") : QStringLiteral("Time is set!"));
}

// Keeps the command file that did not reach clock n as n.dld in the application folder.
void keepFailedFile(const QString &path, qint32 clockNumber)
{
    const QString copy = AppMain::state().AppPath + QString::number(clockNumber) + QStringLiteral(".dld");
    const QFileInfo source(path);
    const QFileInfo target(copy);
    if (target.exists() && source.canonicalFilePath() == target.canonicalFilePath())
        return;
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly))
        throw Platform::Error(Platform::ErrorNo::FileNotFound, QStringLiteral("File not found: ") + path);
    ReplaceFile(copy, in.readAll());
}

} // namespace

State &state()
{
    static State s;
    return s;
}

void resetState()
{
    State &s = state();
    for (State::Loaded &lib : s.Libraries)
        unload(lib);
    s = State{};
}

QString LibraryFile(Build build)
{
    return build == Build::Tev95 ? QStringLiteral("libtevtcp95.so") : QStringLiteral("libtevtcp32.so");
}

LinkApi &Api(Build build)
{
    State::Loaded &lib = state().Libraries[indexOf(build)];
    if (lib.handle != nullptr)
        return lib.api;
    const QString file = LibraryFile(build);
    const QString path = Platform::appFolder() + file;
    if (!QFileInfo::exists(path))
        throw Platform::Error(Platform::ErrorNo::FileNotFound, QStringLiteral("File not found: ") + file);
    void *handle = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr)
        throw Platform::Error(kErrLoadingDll, QString::fromLocal8Bit(dlerror()));
    LinkApi api;
    bindExport(handle, "InitComPort", file, api.InitComPort);
    bindExport(handle, "SetTimeClock", file, api.SetTimeClock);
    bindExport(handle, "DownloadTimeClock", file, api.DownloadTimeClock);
    bindExport(handle, "PollTimeClock", file, api.PollTimeClock);
    bindExport(handle, "SendMsgTimeClock", file, api.SendMsgTimeClock);
    bindExport(handle, "SendAckTimeClock", file, api.SendAckTimeClock);
    bindExport(handle, "AckRequired", file, api.AckRequired);
    bindExport(handle, "UnKnownIP", file, api.UnKnownIP);
    bindExport(handle, "CloseCom", file, api.CloseCom);
    lib.handle = handle;
    lib.api = api;
    return lib.api;
}

bool IsLoaded(Build build)
{
    return state().Libraries[indexOf(build)].handle != nullptr;
}

std::optional<Build> ChosenBuild()
{
    switch (AppMain::settings().ClockInterface) {
    case 1: return Build::Tev95;
    case 2: return Build::Tev32;
    default: return std::nullopt;
    }
}

Build TransferBuild()
{
    return AppMain::settings().ClockInterface == 1 ? Build::Tev95 : Build::Tev32;
}

QString TerminalOf(qint32 clockNumber)
{
    return QString::number((clockNumber - 1) % kTerminalsPerController + 1);
}

QString ControllerOf(qint32 clockNumber)
{
    return QString::number((clockNumber + kTerminalsPerController - 1) / kTerminalsPerController);
}

TCPIPClockRec NumberedClock(qint32 clockNumber)
{
    TCPIPClockRec clock;
    clock.ScreenID = clockNumber;
    clock.Clock = TerminalOf(clockNumber);
    clock.Controller = ControllerOf(clockNumber);
    return clock;
}

TCPIPClockRec ClockFromRow(const QSqlRecord &row)
{
    const QString name = QStringLiteral("#") + ClockRow::Text(row, QStringLiteral("ScreenID"));
    TCPIPClockRec clock = NumberedClock(ClockRow::Number(row, QStringLiteral("ScreenID"), name));
    const auto octet = [&](const char *field) {
        return ClockRow::Number(row, QString::fromLatin1(field), name, 0, kHighestOctet);
    };
    clock.octet1 = octet("octet1");
    clock.octet2 = octet("octet2");
    clock.octet3 = octet("octet3");
    clock.octet4 = octet("octet4");
    return clock;
}

int32_t WholeNumber(const QString &text)
{
    return static_cast<int32_t>(wholeNumberOf(AppMain::Val(text)));
}

QString HostsPath()
{
    const QString path = qEnvironmentVariable("TEV_HOSTS");
    return path.isEmpty() ? Platform::appFolder() + QStringLiteral("hosts") : path;
}

const std::array<void (*)(), 5> &StartSequence()
{
    static const std::array<void (*)(), 5> sequence = {InitBufferLog, InitTCPIPDefaults, LoadTCPIPSettings,
                                                        InitTCPIPLink, LoadDefaultTCPIPClock};
    return sequence;
}

void InitBufferLog()
{
    const QString path = AppMain::state().AppPath + QStringLiteral("buffer.log");
    QFile::remove(path);
    QByteArray record(kBufferRecordSize, ' ');
    record[0] = '\\';
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        throw Platform::Error(Platform::ErrorNo::PermissionDenied, out.errorString() + QStringLiteral(": ") + path);
    for (int n = 1; n <= kMaxClocks; ++n) {
        if (out.write(record) != record.size())
            throw Platform::Error(Platform::ErrorNo::PermissionDenied, out.errorString() + QStringLiteral(": ") + path);
    }
}

void InitTCPIPDefaults()
{
    State &s = state();
    try {
        s.LinkPort = 1;
        s.BaudRateText = QStringLiteral("9600");
        s.ParityText = QStringLiteral("1");  // the library's diagnostics on
        s.DataBitsText = QStringLiteral("7");
        s.StopBitsText = QStringLiteral("2");
        if (ChosenBuild())
            EnsureHostsFile(HostsPath(), AppMain::state().AppPath + QStringLiteral("hosts.template"));
    } catch (const Platform::Error &e) {
        Platform::ActiveError active(e);
        AppMain::ShowErrorMsg(QString(), e.description());
    }
}

void LoadTCPIPSettings()
{
    TCPIPSettingsRec &t = state().TCPIPSettings;
    const Platform::Snapshot rs = AppMain::OpenRegKey(AppMain::state().MainDb, QStringLiteral("TCPIP"));
    const auto field = [&rs](const char *name, const char *defaultValue) {
        return AppMain::GetRegValue(rs, QString::fromLatin1(name), QString::fromLatin1(defaultValue));
    };
    t.DefaultClock = field("DefaultClock", "");
    t.TCPIPAddress = AppMain::CBool(field("TCPIPAddress", "0"));
    t.TerminalID = AppMain::CBool(field("TerminalID", "0"));
    t.TCPIPACK = AppMain::CBool(field("TCPIPACK", "0"));
    for (int i = 0; i < 4; ++i) {
        const QString text = field(QStringLiteral("HostAddr%1").arg(i + 1).toLatin1().constData(), "000");
        t.HostAddr[i] = QString::number(AppMain::Val(text), 'g', 15);
    }
}

void InitTCPIPLink()
{
    settleHeldRecords();
    state().AckSent.fill(false);
    state().PollClocks.fill({});
    OpenTCPIPLink();
}

void OpenTCPIPLink()
{
    State &s = state();
    s.LinkPortNo = static_cast<quint32>(s.LinkPort);
    s.LinkBaudRate = static_cast<quint32>(wholeNumberOf(AppMain::Val(s.BaudRateText)));
    s.LinkParity = AppMain::CByte(AppMain::Val(s.ParityText));
    s.LinkByteSize = AppMain::CByte(AppMain::Val(s.DataBitsText));
    s.LinkStopBits = AppMain::CByte(AppMain::Val(s.StopBitsText));
    const std::optional<Build> build = ChosenBuild();
    if (!build)
        return;
    // Both builds listen on the same port: the one not chosen lets go of it first.
    for (Build other : {Build::Tev95, Build::Tev32}) {
        if (other != *build)
            closeAndUnload(s.Libraries[indexOf(other)]);
    }
    // A failed start is not reported here: the library says why on standard output.
    Api(*build).InitComPort(&s.LinkHandle, s.LinkPortNo, s.LinkBaudRate, static_cast<char>(s.LinkParity),
                            static_cast<char>(s.LinkByteSize), static_cast<char>(s.LinkStopBits));
}

void LoadDefaultTCPIPClock()
{
    State &s = state();
    TCPIPSettingsRec &t = s.TCPIPSettings;
    if (!t.DefaultClock.isEmpty()) {
        const Platform::Snapshot rows = AppMain::state().MainDb.snapshot(
            QStringLiteral("SELECT * FROM TcpClocks WHERE ScreenID = ?"),
            {wholeNumberOf(AppMain::Val(t.DefaultClock))});
        if (!rows.empty()) {
            const std::optional<TCPIPClockRec> clock =
                ClockRow::Readable([&rows] { return ClockFromRow(rows.rows().front()); });
            if (!clock) {
                // Shown; the row stays the default for when it is mended.
                s.SelTCPIPClock.ScreenID = 0;
                ShowSelectedClock();
                return;
            }
            s.SelTCPIPClock = *clock;
        } else {
            t.DefaultClock = QStringLiteral("-1");
            AppMain::SaveRegValue(QStringLiteral("TCPIP"), QStringLiteral("DefaultClock"), t.DefaultClock);
        }
    }
    s.SelTCPIPClock.ScreenID = static_cast<qint32>(wholeNumberOf(AppMain::Val(t.DefaultClock)));
    if (s.SelTCPIPClock.ScreenID > 0) {
        s.SelTCPIPClock.Clock = TerminalOf(s.SelTCPIPClock.ScreenID);
        s.SelTCPIPClock.Controller = ControllerOf(s.SelTCPIPClock.ScreenID);
    }
    ShowSelectedClock();
}

void ShowSelectedClock()
{
    const qint32 n = state().SelTCPIPClock.ScreenID;
    frmMDI::instance()->sbrStatus->setPanel(
        5, kPanelPrefix + (n > 0 ? QString::number(n) : QStringLiteral("NONE")));
}

void CloseTCPIPLink()
{
    settleHeldRecords();
    if (const std::optional<Build> build = ChosenBuild())
        Api(*build).CloseCom();
    // User input stays queued: a second close must not re-enter the shutdown.
    const double until = Platform::Clock::seconds() + kCloseWaitSeconds / Platform::Clock::fastClockDivisor();
    while (Platform::Clock::seconds() < until) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        Platform::Clock::sleep(kCloseYieldStepMs);
    }
}

void ReleaseLinks()
{
    settleHeldRecords();
    for (State::Loaded &lib : state().Libraries)
        closeAndUnload(lib);
}

void SetTimeTCPIPWin95()
{
    setTime(Build::Tev95);
}

void SetTimeTCPIPWinNT()
{
    setTime(Build::Tev32);
}

void DownloadFileTCPIP(const QString &path)
{
    // A download blocks the thread for the whole file: never inside another operation's yield.
    const ClockOperation operation(QStringLiteral("download"));
    if (!operation)
        return ClockOperation::showRefusal(QStringLiteral("The file cannot be downloaded"));
    State &s = state();
    const qint32 n = s.CurTCPIPClock.ScreenID;
    frmCancelSend *form = frmCancelSend::instance();
    form->SetUpForTcpIp(QStringLiteral("Downloading to Clock #") + strOf(n) + QStringLiteral("..."));
    SerialClk::state().CancelSend = false;
    {
        const ClockOperation::Yield yielding;
        form->ShowBeforeBlocking();
    }
    Platform::Clock::sleep(kDownloadLeadMs);

    uint32_t r = 0;
    try {
        s.LinkHandleArg = s.LinkHandle;
        r = Api(TransferBuild())
                .DownloadTimeClock(s.LinkHandleArg, WholeNumber(s.CurTCPIPClock.Controller),
                                   WholeNumber(s.CurTCPIPClock.Clock), QFile::encodeName(path).constData());
    } catch (const Platform::Error &e) {
        // Shown in the window and handled as a file that did not go out.
        QString text = e.description() + QLatin1Char(' ') + QTime::currentTime().toString(QStringLiteral("HH:mm:ss")) +
                       QStringLiteral("\r\n") + form->bufferin->toPlainText();
        if (text.size() >= kBufferInLimit)
            text.clear();
        form->bufferin->setPlainText(text);
        r = 1;
    }

    // The transfer is over: the window leaves the front before its box.
    frmCancelSend::EndDownload();
    if (r == 1 || r == 2 || r == 4) {
        Platform::Ui::msgBox(QStringLiteral("Transmission Error!\r\n Clock #") + strOf(n));
        keepFailedFile(path, n);
    }
}

void InstallHooks()
{
    MDIHooks &h = mdiHooks();
    const auto guarded = [](void (*fn)()) { return [fn] { AppMain::Guard(fn); }; };
    h.setTimeTcpIpWin95 = guarded(SetTimeTCPIPWin95);
    h.setTimeTcpIpWinNT = guarded(SetTimeTCPIPWinNT);
    h.closeTcpIpLink = guarded(CloseTCPIPLink);
    h.showTcpIpClockList = guarded([] { AppMain::OneScreen<frmTCPIPClkCommParm>::show(AppMain::TopEdge(kFormTopTwips)); });
    h.showSelectTcpIpClock = guarded([] { AppMain::OneScreen<frmSelTCPIPClk>::show(AppMain::TopEdge(kFormTopTwips)); });
    h.selectTcpIpClockModal = guarded(frmSelTCPIPClk::ShowModal);
    h.selectedTcpIpClock = [] { return static_cast<int>(state().SelTCPIPClock.ScreenID); };
    h.downloadFileTcpIp = [](const QString &file) {
        AppMain::Guard([&file] {
            state().CurTCPIPClock = state().SelTCPIPClock;
            DownloadFileTCPIP(file);
        });
    };
}

} // namespace TCPIP
