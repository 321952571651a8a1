#include "polling/TCPIPPoll.h"

#include "app/AppMain.h"
#include "app/ClockOperation.h"
#include "link/ClockRow.h"
#include "platform/clock.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/ui.h"
#include "polling/PollFiles.h"
#include "polling/TCPIPRecords.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QSqlRecord>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>
#include <thread>

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

// A clock's turn in the all-clocks pass ends after a step that found its
// socket empty or emptied it (a receive short of the library's most), or
// after this many full ones in a row, so one busy clock cannot starve the
// rest. Asking a clock again at once would cost a library call for what
// arrived in the microseconds since.
constexpr int kStepsPerTurn = 8;
// The terminal box is repainted at most this often: a 2 KB repaint costs
// more than a poll step.
constexpr qint64 kTerminalRefreshMs = 100;
// Steps yield to the event queue at most this often: Stop and the window
// answer within a millisecond, and a busy poll does not spend its time in
// an event queue that is almost always empty.
constexpr qint64 kYieldEveryMs = 1;
// A pass that brought nothing is followed by a wait, since the library's
// sockets cannot be waited on from here: short at first, so a clock that
// answers its acknowledgement is read at once, and twice as long after each
// further empty pass up to the longest, so an idle poll costs little.
constexpr std::chrono::microseconds kFirstRest{50};
constexpr std::chrono::microseconds kLongestRest{50000};
// Shorter rests hold the thread; longer ones wait in the event queue.
constexpr std::chrono::microseconds kShortRest{1000};

constexpr char kUnableToAccessLog[] = "Unable To Access Data Log File";

// buffer.log, open for the loop. The records stored are written out once
// per commit, after its acknowledgements: the file only shows each clock's
// last record and is no part of keeping a punch.
class BufferLog {
public:
    explicit BufferLog(const QString &path)
    {
        m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (m_fd < 0)
            throw Platform::FileError(errno);
        // A write covers the records between two stored ones: they keep what they hold.
        const ssize_t got = ::pread(m_fd, m_image.data(), m_image.size(), 0);
        if (got < 0) {
            const int err = errno;
            ::close(m_fd);
            throw Platform::FileError(err);
        }
        std::fill(m_image.begin() + got, m_image.end(), ' ');
    }
    ~BufferLog()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    BufferLog(const BufferLog &) = delete;
    BufferLog &operator=(const BufferLog &) = delete;

    void store(qint32 n, const QByteArray &record)
    {
        const std::size_t at = static_cast<std::size_t>(n - 1) * kBufferRecordBytes;
        std::memcpy(m_image.data() + at, record.constData(), std::min<std::size_t>(record.size(), kBufferRecordBytes));
        m_changedFrom = std::min(m_changedFrom, at);
        m_changedTo = std::max(m_changedTo, at + kBufferRecordBytes);
    }
    // What changed since the last write, in one write.
    void write()
    {
        if (m_changedFrom >= m_changedTo)
            return;
        const std::size_t size = m_changedTo - m_changedFrom;
        const ssize_t n = ::pwrite(m_fd, m_image.data() + m_changedFrom, size, static_cast<off_t>(m_changedFrom));
        if (n < 0)
            throw Platform::FileError(errno);
        if (static_cast<std::size_t>(n) != size)
            throw Platform::FileError(ENOSPC);
        m_changedFrom = m_image.size();
        m_changedTo = 0;
    }

private:
    int m_fd = -1;
    std::array<char, std::size_t{kBufferRecordBytes} * TCPIPRecords::kClockNumbers> m_image;
    std::size_t m_changedFrom = m_image.size();
    std::size_t m_changedTo = 0;
};

TCPIPRecords::LineOptions lineOptions(const LoopClock &clock)
{
    const TCPIP::TCPIPSettingsRec &s = TCPIP::state().TCPIPSettings;
    TCPIPRecords::LineOptions o;
    o.TerminalID = s.TerminalID;
    o.TCPIPAddress = s.TCPIPAddress;
    o.controller = clock.controller;
    o.terminal = clock.terminal;
    o.octets = {clock.rec.octet1, clock.rec.octet2, clock.rec.octet3, clock.rec.octet4};
    return o;
}

// `to` is `from` already, sharing its texts: copying and comparing texts at
// every step would cost more than the step.
bool holds(const TCPIP::TCPIPClockRec &to, const TCPIP::TCPIPClockRec &from)
{
    return to.ScreenID == from.ScreenID && to.Clock.isSharedWith(from.Clock) &&
           to.Controller.isSharedWith(from.Controller) && to.octet1 == from.octet1 && to.octet2 == from.octet2 &&
           to.octet3 == from.octet3 && to.octet4 == from.octet4;
}

void invalidClock(qint32 n)
{
    AppMain::ShowErrorMsg(QString(), QStringLiteral("Invalid clock number ") + QString::number(n));
}

void runSelectedClock(Session &loop, TCPIP::Build build, const StopSignal &stop)
{
    loop.setClocks({TCPIP::state().CurTCPIPClock});
    const LoopClock &clock = loop.clocks().front();
    for (;;) {
        // tevtcp95 tests Stop before each step, tevtcp32 after it.
        if (build == TCPIP::Build::Tev95 && stop.isSet())
            return;
        const uint32_t status = loop.step(clock);
        if (build == TCPIP::Build::Tev32 && stop.isSet())
            return;
        loop.rest(status == kDataReceived);
    }
}

void runAllClocks(Session &loop, TCPIP::Build build, const StopSignal &stop)
{
    const Platform::Snapshot rows = AppMain::state().MainDb.snapshot(
        QStringLiteral("SELECT * FROM TcpClocks ORDER BY ScreenID"));
    std::vector<LoopClock> rowClocks;
    for (const QSqlRecord &row : rows.rows()) {
        // Shown and passed over, as a clock number out of range is.
        const std::optional<TCPIP::TCPIPClockRec> clock = ClockRow::Readable([&row] { return TCPIP::ClockFromRow(row); });
        if (!clock)
            continue;
        if (!ValidClockNumber(clock->ScreenID)) {
            invalidClock(clock->ScreenID);
            continue;
        }
        rowClocks.emplace_back(*clock);
    }
    loop.setClocks(std::move(rowClocks));
    const std::vector<LoopClock> &clocks = loop.clocks();
    if (clocks.empty())
        return;

    bool stopped = false;
    for (;;) {
        bool anyData = false;
        loop.beginPass();
        for (const LoopClock &clock : clocks) {
            loop.setCurrent(clock);
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
                if (status != kDataReceived || !loop.moreWaiting() || steps >= kStepsPerTurn)
                    break;
            }
        }
        loop.endPass();
        if (stopped || stop.isSet())
            return;
        loop.rest(anyData);
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

LoopClock::LoopClock(const TCPIP::TCPIPClockRec &clock)
    : rec(clock), controller(TCPIP::WholeNumber(clock.Controller)), terminal(TCPIP::WholeNumber(clock.Clock))
{
}

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
    m_targets = TCPIPRecords::CommitTargets{
        [this](const QByteArrayList &lines) { m_files->data.writeRecords(lines); },
        [this](const QByteArray &line) {
            TCPIPRecords::AppendTermText(TCPIP::state().TermText, line);
            m_terminalDirty = true;
        },
        [this](int n, const QByteArray &record) { m_files->buffer->store(n, record); },
        [this](int n) {
            m_api.SendAckTimeClock(TCPIP::state().LinkHandleArg, m_address[n].controller, m_address[n].terminal);
        },
    };
    m_restTimer.setSingleShot(true);
    m_sinceTerminal.start();
}

Session::~Session()
{
    // Left by an error: what is not committed stays held, unacknowledged.
    m_batch.giveBack();
    try {
        m_files->buffer->write();
    } catch (const Platform::Error &) {
        // The loop's own error is the one shown.
    }
    showCurrent();
    refreshTerminal();
    m_files->data.close();
}

void Session::setClocks(std::vector<LoopClock> clocks)
{
    m_current = m_shownCurrent = nullptr;
    m_clocks = std::move(clocks);
    showConnected();
}

void Session::beginPass()
{
    m_passOpen = true;
}

void Session::endPass()
{
    m_passOpen = false;
    commit();
}

void Session::commit()
{
    if (!m_batch.empty())
        m_batch.commit(m_targets);
    m_files->buffer->write();
}

void Session::beforeEvents()
{
    commit();
    showCurrent();
    if (m_terminalDirty && m_sinceTerminal.elapsed() >= kTerminalRefreshMs)
        refreshTerminal();
}

void Session::showCurrent()
{
    if (m_current == m_shownCurrent)
        return;
    m_shownCurrent = m_current;
    TCPIP::state().CurTCPIPClock = m_current->rec;
    m_display.showStatus(PollingText(m_current->rec.ScreenID));
}

void Session::yield()
{
    if (m_sinceYield.isValid() && m_sinceYield.elapsed() < kYieldEveryMs)
        return;
    beforeEvents();
    m_sinceYield.start();
    const ClockOperation::Yield yielding;
    QCoreApplication::processEvents();
}

void Session::rest(bool brought)
{
    if (brought) {
        m_rest = {};
        return;
    }
    m_rest = std::clamp(m_rest * 2, kFirstRest, kLongestRest);
    if (m_rest < kShortRest) {
        yield();
        // A wait for the clocks keeps real time, whatever clock the program runs on.
        std::this_thread::sleep_for(m_rest);
        return;
    }
    // The window is served while it lasts, and its Stop or Close ends it at once.
    beforeEvents();
    m_restTimer.start(std::chrono::duration_cast<std::chrono::milliseconds>(m_rest));
    {
        const ClockOperation::Yield yielding;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    m_restTimer.stop();
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
    for (const LoopClock &clock : m_clocks) {
        const qint32 n = clock.rec.ScreenID;
        any = any || (ValidClockNumber(n) && TCPIP::state().PollClocks[n].Seen == TCPIP::ClockSeen::Connected);
    }
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
    beforeEvents();
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

void Session::wentOffline(const LoopClock &loopClock)
{
    const qint32 n = loopClock.rec.ScreenID;
    TCPIP::State &s = TCPIP::state();
    TCPIP::ClockPollRec &clock = s.PollClocks[n];
    s.AckSent[n] = false;
    // What the lost connection left unfinished is not written: the clock sends it again.
    settle(loopClock);
    if (clock.Seen != TCPIP::ClockSeen::Connected)
        return;
    clock.Seen = TCPIP::ClockSeen::Offline;
    showConnected();
    beforeEvents();
    Platform::Ui::msgBox(QStringLiteral("Clock # ") + QString::number(n) + QStringLiteral(" offline"));
}

void Session::take(const LoopClock &clock, const QByteArray &received, TCPIPRecords::TextEnd end)
{
    const qint32 n = clock.rec.ScreenID;
    m_address[n] = {clock.controller, clock.terminal};
    m_batch.add(n, TCPIP::state().PollClocks[n].Text, received, lineOptions(clock), end);
}

void Session::settle(const LoopClock &clock)
{
    TCPIP::ClockText &text = TCPIP::state().PollClocks[clock.rec.ScreenID].Text;
    if (text.Held || !text.Kept.isEmpty())
        take(clock, {}, TCPIPRecords::TextEnd::Final);
    text.OpenRecord.clear();
}

void Session::settleHeld()
{
    for (const LoopClock &clock : m_clocks) {
        if (ValidClockNumber(clock.rec.ScreenID))
            settle(clock);
    }
    commit();
}

uint32_t Session::step(const LoopClock &clock)
{
    const uint32_t status = poll(clock);
    if (!m_passOpen)
        commit();
    return status;
}

uint32_t Session::poll(const LoopClock &clock)
{
    TCPIP::State &s = TCPIP::state();
    const qint32 n = clock.rec.ScreenID;
    const int32_t c = clock.controller;
    const int32_t t = clock.terminal;
    yield();

    m_moreWaiting = false;
    s.RxBuf.fill(' ');
    const uint32_t status = m_api.PollTimeClock(s.LinkHandleArg, c, t, nullptr, s.RxBuf.data());
    if (status == kUnknownCaller) {
        unknownCaller();
        return status;
    }
    TCPIP::ClockPollRec &state = s.PollClocks[n];
    if (!holds(state.Clock, clock.rec))
        state.Clock = clock.rec;
    if (status == kNothingWaiting || status == kDataReceived) {
        if (state.Seen != TCPIP::ClockSeen::Connected)
            switchToConnected(n, c, t);
        if (s.TCPIPSettings.TCPIPACK && !s.AckSent[n])
            s.AckSent[n] = m_api.AckRequired(s.LinkHandleArg, c, t, 1) == 1;
    } else if (status == kNotConnected) {
        wentOffline(clock);
        return status;
    }

    if (status == kDataReceived) {
        // RxBuf's own NUL follows its 1,550 characters.
        const QByteArray received =
            TCPIPRecords::ReceivedBytes(s.RxBuf.constData(), TCPIPRecords::kRxBufferBytes);
        m_moreWaiting = received.size() >= TCPIPRecords::kMaxReceiveBytes;
        state.LastByteAt = Platform::Clock::seconds();
        take(clock, received, TCPIPRecords::TextEnd::Open);
    } else if (status == kNothingWaiting && !state.Text.Kept.isEmpty()) {
        // What a failed write gave back goes again.
        take(clock, {}, TCPIPRecords::TextEnd::Open);
    } else if (status == kNothingWaiting && state.Text.Held &&
               (Platform::Clock::seconds() - state.LastByteAt) * 1000 >= TCPIPRecords::kHeldQuietMs) {
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
            runAllClocks(loop, build, stop);
        }
    } catch (const Platform::Error &e) {
        // The session has closed its files before the box waits.
        showLoopError(e);
    }
    return true;
}

void SettleHeldRecords()
{
    std::vector<LoopClock> holding;
    for (const TCPIP::ClockPollRec &clock : TCPIP::state().PollClocks) {
        if (clock.Text.Held || !clock.Text.Kept.isEmpty())
            holding.emplace_back(clock.Clock);
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
            loop.setClocks(std::move(holding));
            loop.settleHeld();
        } catch (const Platform::Error &e) {
            showLoopError(e);
        }
        return;
    }
}

} // namespace TCPIPPoll
