#include "polling/TCPIPPoll.h"

#include "app/AppMain.h"
#include "app/ClockOperation.h"
#include "platform/clock.h"
#include "platform/error.h"
#include "platform/ui.h"
#include "polling/PollFiles.h"
#include "polling/TCPIPRecords.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QSqlRecord>
#include <QTimer>

#include <cerrno>
#include <optional>
#include <fcntl.h>
#include <unistd.h>

namespace TCPIPPoll {

namespace {

using TCPIPRecords::kBufferRecordBytes;

// Library statuses a step acts on.
constexpr uint32_t kNothingWaiting = 0;
constexpr uint32_t kNotConnected = 2;
constexpr uint32_t kDataReceived = 3;
constexpr uint32_t kUnknownCaller = 6;

// A clock's turn in the all-clocks pass ends after a step without data, or
// after this many with data in a row, so one busy clock cannot starve the rest.
constexpr int kStepsPerTurn = 8;
// The terminal box is repainted at most this often: a 2 KB repaint costs
// more than a poll step.
constexpr qint64 kTerminalRefreshMs = 100;
// Steps yield to the event queue at most this often: Stop and the window
// answer within a millisecond, and a busy poll does not spend its time in
// an event queue that is almost always empty.
constexpr qint64 kYieldEveryMs = 1;
// A pass that brought nothing waits this long for events before the next,
// so an idle poll does not hold a core.
constexpr int kIdleWaitMs = 10;

constexpr char kUnableToAccessLog[] = "Unable To Access Data Log File";

// buffer.log, open for the loop.
class BufferLog {
public:
    explicit BufferLog(const QString &path)
    {
        m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (m_fd < 0)
            throw PollFiles::FileError(errno);
    }
    ~BufferLog()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    BufferLog(const BufferLog &) = delete;
    BufferLog &operator=(const BufferLog &) = delete;

    void store(qint32 n, const QByteArray &record) const
    {
        const off_t at = static_cast<off_t>(n - 1) * kBufferRecordBytes;
        if (::pwrite(m_fd, record.constData(), static_cast<size_t>(record.size()), at) != record.size())
            throw PollFiles::FileError(errno);
    }

private:
    int m_fd = -1;
};

TCPIPRecords::LineOptions lineOptions(const TCPIP::TCPIPClockRec &clock, int32_t c, int32_t t)
{
    const TCPIP::TCPIPSettingsRec &s = TCPIP::state().TCPIPSettings;
    TCPIPRecords::LineOptions o;
    o.TerminalID = s.TerminalID;
    o.TCPIPAddress = s.TCPIPAddress;
    o.controller = c;
    o.terminal = t;
    o.octets = {clock.octet1, clock.octet2, clock.octet3, clock.octet4};
    return o;
}


TCPIP::TCPIPClockRec clockOfRow(qint32 n, const QSqlRecord &row)
{
    TCPIP::TCPIPClockRec clock;
    clock.ScreenID = n;
    clock.Clock = TCPIP::TerminalOf(n);
    clock.Controller = TCPIP::ControllerOf(n);
    clock.octet1 = row.value(QStringLiteral("octet1")).toInt();
    clock.octet2 = row.value(QStringLiteral("octet2")).toInt();
    clock.octet3 = row.value(QStringLiteral("octet3")).toInt();
    clock.octet4 = row.value(QStringLiteral("octet4")).toInt();
    return clock;
}

void invalidClock(qint32 n)
{
    AppMain::ShowErrorMsg(QString(), QStringLiteral("Invalid clock number ") + QString::number(n));
}

void runSelectedClock(Session &loop, TCPIP::Build build, const StopSignal &stop)
{
    const TCPIP::TCPIPClockRec clock = TCPIP::state().CurTCPIPClock;
    loop.setClocks({clock.ScreenID});
    for (;;) {
        // tevtcp95 tests Stop before each step, tevtcp32 after it.
        if (build == TCPIP::Build::Tev95 && stop.isSet())
            return;
        const uint32_t status = loop.step(clock);
        if (build == TCPIP::Build::Tev32 && stop.isSet())
            return;
        if (status != kDataReceived)
            loop.idleWait();
    }
}

void runAllClocks(Session &loop, TCPIP::Build build, const StopSignal &stop, PollDisplay &display)
{
    const Platform::Snapshot rows = AppMain::state().MainDb.snapshot(
        QStringLiteral("SELECT * FROM TcpClocks ORDER BY ScreenID"));
    std::vector<TCPIP::TCPIPClockRec> clocks;
    std::vector<qint32> numbers;
    for (const QSqlRecord &row : rows.rows()) {
        const qint32 n = row.value(QStringLiteral("ScreenID")).toInt();
        if (!ValidClockNumber(n)) {
            invalidClock(n);
            continue;
        }
        clocks.push_back(clockOfRow(n, row));
        numbers.push_back(n);
    }
    loop.setClocks(numbers);
    if (clocks.empty())
        return;

    bool stopped = false;
    for (;;) {
        bool anyData = false;
        for (const TCPIP::TCPIPClockRec &clock : clocks) {
            TCPIP::state().CurTCPIPClock = clock;
            display.showStatus(PollingText(clock.ScreenID));
            if (stopped) {
                // tevtcp32: after Stop each later clock of the round gets one step.
                loop.step(clock);
                continue;
            }
            for (int steps = 1;; ++steps) {
                if (build == TCPIP::Build::Tev95 && stop.isSet())
                    return;
                const uint32_t status = loop.step(clock);
                anyData = anyData || status == kDataReceived;
                if (build == TCPIP::Build::Tev32 && stop.isSet()) {
                    stopped = true;
                    break;
                }
                if (status != kDataReceived || steps >= kStepsPerTurn)
                    break;
            }
        }
        if (stopped || stop.isSet())
            return;
        if (!anyData)
            loop.idleWait();
    }
}

void showLoopError(const Platform::Error &e)
{
    const Platform::ActiveError active(e);
    if (e.number() == Platform::ErrorNo::PermissionDenied)
        Platform::Ui::msgBox(QString::fromLatin1(kUnableToAccessLog));
    else
        AppMain::ShowErrorMsg(QString(), e.description());
}

} // namespace

struct Session::Files {
    PollFiles::DataFiles data;
    std::optional<BufferLog> buffer;
};

Session::Session(TCPIP::Build build, PollDisplay &display, StopSignal stop)
    : m_api(TCPIP::Api(build)), m_display(display), m_stop(stop), m_files(std::make_unique<Files>())
{
    m_files->data.open();
    m_files->buffer.emplace(AppMain::AppFile(QStringLiteral("buffer.log")));
    TCPIP::State &s = TCPIP::state();
    s.LinkHandleArg = s.LinkPort;
    m_sinceTerminal.start();
}

Session::~Session()
{
    refreshTerminal();
    m_files->data.close();
}

void Session::setClocks(const std::vector<qint32> &clocks)
{
    m_clocks = clocks;
    showConnected();
}

void Session::yield()
{
    if (m_terminalDirty && m_sinceTerminal.elapsed() >= kTerminalRefreshMs)
        refreshTerminal();
    if (m_sinceYield.isValid() && m_sinceYield.elapsed() < kYieldEveryMs)
        return;
    m_sinceYield.start();
    const ClockOperation::Yield yielding;
    QCoreApplication::processEvents();
}

void Session::idleWait()
{
    if (m_terminalDirty && m_sinceTerminal.elapsed() >= kTerminalRefreshMs)
        refreshTerminal();
    QTimer bound;
    bound.setSingleShot(true);
    bound.start(kIdleWaitMs);
    const ClockOperation::Yield yielding;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    m_sinceYield.start();
}

void Session::refreshTerminal()
{
    if (!m_terminalDirty)
        return;
    m_terminalDirty = false;
    m_sinceTerminal.restart();
    m_display.showTerminal(TCPIP::state().TermText);
}

void Session::showConnected()
{
    bool any = false;
    for (qint32 n : m_clocks)
        any = any || (ValidClockNumber(n) && TCPIP::state().PollClocks[n].Seen == TCPIP::ClockSeen::Connected);
    if (m_shownConnected != static_cast<int>(any)) {
        m_shownConnected = any;
        m_display.showConnected(any);
    }
}

void Session::unknownCaller()
{
    TCPIP::State &s = TCPIP::state();
    s.BadAddr.fill(' ');
    m_api.UnKnownIP(s.BadAddr.data());
    const QString address = QString::fromLatin1(s.BadAddr.constData());  // up to the library's NUL
    AppMain::ShowErrorMsg(QString(), QStringLiteral("Unknown IP Address ") + address);
    m_stop.set();
}

void Session::switchToConnected(qint32 n, int32_t c, int32_t t)
{
    TCPIP::State &s = TCPIP::state();
    s.PollClocks[n].Seen = TCPIP::ClockSeen::Connected;
    showConnected();
    // The clock's mode request belongs to its own switch to connected.
    if (s.TCPIPSettings.TCPIPACK)
        s.AckSent[n] = m_api.AckRequired(s.LinkHandleArg, c, t, 1) == 1;
    else if (m_api.AckRequired(s.LinkHandleArg, c, t, 0) == 1 && s.AckSent[n])
        s.AckSent[n] = false;
    m_sinceYield.invalidate();
    yield();
}

void Session::wentOffline(qint32 n)
{
    TCPIP::State &s = TCPIP::state();
    TCPIP::ClockPollRec &clock = s.PollClocks[n];
    s.AckSent[n] = false;
    // Nothing more comes for what the lost connection left unfinished: a
    // fragment goes to buffer.log only; a clock in acknowledgement mode sends it again.
    take(clock.Clock, {}, TCPIPRecords::TextEnd::Final);
    if (clock.Seen != TCPIP::ClockSeen::Connected)
        return;
    clock.Seen = TCPIP::ClockSeen::Offline;
    showConnected();
    Platform::Ui::msgBox(QStringLiteral("Clock # ") + QString::number(n) + QStringLiteral(" offline"));
}

void Session::take(const TCPIP::TCPIPClockRec &clock, const QByteArray &received, TCPIPRecords::TextEnd end)
{
    TCPIP::State &s = TCPIP::state();
    const qint32 n = clock.ScreenID;
    const int32_t c = TCPIP::WholeNumber(clock.Controller);
    const int32_t t = TCPIP::WholeNumber(clock.Clock);
    const TCPIPRecords::CommitTargets targets{
        [this](const QByteArray &line) { m_files->data.writeRecord(line); },
        [this, &s](const QByteArray &line) {
            TCPIPRecords::AppendTermText(s.TermText, line);
            m_terminalDirty = true;
        },
        [this, n](const QByteArray &record) { m_files->buffer->store(n, record); },
        [this, &s, c, t] { m_api.SendAckTimeClock(s.LinkHandleArg, c, t); },
    };
    TCPIPRecords::TakeReceive(s.PollClocks[n].Held, received, lineOptions(clock, c, t), targets, end);
}

void Session::settleHeld()
{
    for (qint32 n : m_clocks) {
        const TCPIP::ClockPollRec &clock = TCPIP::state().PollClocks[n];
        if (ValidClockNumber(n) && clock.Held)
            take(clock.Clock, {}, TCPIPRecords::TextEnd::Final);
    }
}

uint32_t Session::step(const TCPIP::TCPIPClockRec &clock)
{
    TCPIP::State &s = TCPIP::state();
    const qint32 n = clock.ScreenID;
    const int32_t c = TCPIP::WholeNumber(clock.Controller);
    const int32_t t = TCPIP::WholeNumber(clock.Clock);
    yield();

    s.RxBuf.fill(' ');
    const uint32_t status = m_api.PollTimeClock(s.LinkHandleArg, c, t, nullptr, s.RxBuf.data());
    if (status == kUnknownCaller) {
        unknownCaller();
        return status;
    }
    TCPIP::ClockPollRec &state = s.PollClocks[n];
    state.Clock = clock;
    if (status == kNothingWaiting || status == kDataReceived) {
        if (state.Seen != TCPIP::ClockSeen::Connected)
            switchToConnected(n, c, t);
        if (s.TCPIPSettings.TCPIPACK && !s.AckSent[n])
            s.AckSent[n] = m_api.AckRequired(s.LinkHandleArg, c, t, 1) == 1;
    } else if (status == kNotConnected) {
        wentOffline(n);
        return status;
    }

    const double now = Platform::Clock::seconds();
    if (status == kDataReceived) {
        // RxBuf's own NUL follows its 1,550 characters.
        const QByteArray received =
            TCPIPRecords::ReceivedBytes(s.RxBuf.constData(), TCPIPRecords::kRxBufferBytes);
        state.LastByteAt = now;
        take(clock, received, TCPIPRecords::TextEnd::Open);
    } else if (status == kNothingWaiting && state.Held &&
               (now - state.LastByteAt) * 1000 >= TCPIPRecords::kHeldQuietMs) {
        take(clock, {}, TCPIPRecords::TextEnd::Quiet);
    }
    return status;
}

bool StopSignal::isSet() const
{
    return *StopPoll || (operation != nullptr && operation->stopRequested());
}

bool ValidClockNumber(qint32 n)
{
    return n >= 1 && n <= TCPIP::kMaxClocks;
}

QString PollingText(qint32 n)
{
    return QStringLiteral("Polling Clock#  ") + QString::number(n);
}

bool RunLoop(Shape shape, TCPIP::Build build, PollDisplay &display, StopSignal stop)
{
    TCPIP::State &s = TCPIP::state();
    if (shape == Shape::SelectedClock && !ValidClockNumber(s.CurTCPIPClock.ScreenID)) {
        invalidClock(s.CurTCPIPClock.ScreenID);
        return false;
    }
    try {
        Session loop(build, display, stop);
        if (shape == Shape::SelectedClock) {
            display.showStatus(PollingText(s.CurTCPIPClock.ScreenID));
            runSelectedClock(loop, build, stop);
        } else {
            runAllClocks(loop, build, stop, display);
        }
        loop.settleHeld();
    } catch (const Platform::Error &e) {
        // The session has closed its files before the box waits.
        showLoopError(e);
    }
    return true;
}

void SettleHeldRecords()
{
    std::vector<qint32> holding;
    for (qint32 n = 1; n <= TCPIP::kMaxClocks; ++n) {
        if (TCPIP::state().PollClocks[n].Held)
            holding.push_back(n);
    }
    // A build that is not loaded holds no connection to acknowledge through,
    // and its records were settled before it went.
    for (TCPIP::Build build : {TCPIP::Build::Tev95, TCPIP::Build::Tev32}) {
        if (holding.empty() || !TCPIP::IsLoaded(build))
            continue;
        try {
            struct NoDisplay : PollDisplay {
                void showTerminal(const QString &) override {}
                void showStatus(const QString &) override {}
                void showConnected(bool) override {}
            } display;
            bool stop = false;
            Session loop(build, display, {&stop});
            loop.setClocks(holding);
            loop.settleHeld();
        } catch (const Platform::Error &e) {
            showLoopError(e);
        }
        return;
    }
}

} // namespace TCPIPPoll
