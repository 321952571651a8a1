#include "tests/support/serialclock/EmulatedSerialClock.h"

#include "libs/frame/LinkFrame.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <stdexcept>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace TevTest {

namespace {

namespace LF = LinkFrame;

// Below the 10 ms of quiet that ends a reply at the host.
constexpr auto kSplitPause = std::chrono::milliseconds(2);
// Babble: never quiet for the host's 10 ms, and longer than its 1.5 s read
// wait, in fewer bytes than its reply buffer holds. Paced on a fixed
// schedule so a late wake-up does not add up.
constexpr auto kBabblePause = std::chrono::microseconds(6000);
constexpr int kBabbleBytes = 260;
// With no slave side open the master reports a hang-up continuously.
constexpr auto kHangupPause = std::chrono::milliseconds(5);
// The acknowledgement address the library expects from its wrapped terminal 32.
constexpr char kWrappedAckAddress = 0x21;

EmulatedSerialClock::Frame KindOf(const std::string &frame)
{
    using Frame = EmulatedSerialClock::Frame;
    if (frame.size() == 5 && frame[0] == LF::ENQ && frame[3] == LF::SelectChar)
        return Frame::Select;
    if (frame.size() == 5 && frame[0] == LF::ENQ && frame[3] == LF::PollChar)
        return Frame::Poll;
    if (frame.size() == 5 && frame[0] == LF::SOH && frame[3] == LF::ACK)
        return Frame::Ack;
    if (frame.size() == 5 && frame[0] == LF::SOH && frame[3] == LF::NAK)
        return Frame::Nak;
    if (frame.size() >= 4 && frame[0] == LF::SOH && frame[3] == LF::STX)
        return Frame::Data;
    return Frame::Other;
}

} // namespace

EmulatedSerialClock::EmulatedSerialClock(int controller, int terminal)
    : m_controller(controller), m_terminal(terminal)
{
    termios raw{};
    cfmakeraw(&raw);
    char name[256] = {};
    if (openpty(&m_master, &m_slave, name, &raw, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    m_devicePath = name;
    if (pipe2(m_wake, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe2 failed");
    m_thread = std::thread([this] { run(); });
}

EmulatedSerialClock::~EmulatedSerialClock()
{
    const char stop = 0;
    (void)!write(m_wake[1], &stop, 1);
    m_thread.join();
    for (const int fd : {m_master, m_slave, m_wake[0], m_wake[1]})
        close(fd);
}

void EmulatedSerialClock::useAsPort(unsigned comport) const
{
    setenv(("TEV_COM" + std::to_string(comport)).c_str(), m_devicePath.c_str(), 1);
}

void EmulatedSerialClock::queueRecord(const std::string &record)
{
    std::lock_guard lock(m_mutex);
    m_records.push_back(record);
}

std::size_t EmulatedSerialClock::pendingRecords() const
{
    std::lock_guard lock(m_mutex);
    return m_records.size();
}

void EmulatedSerialClock::inject(Frame kind, Fault fault, int times, int after)
{
    std::lock_guard lock(m_mutex);
    m_script.push_back({kind, false, fault, {}, times, after});
}

void EmulatedSerialClock::injectReply(Frame kind, const std::string &bytes, int times, int after)
{
    std::lock_guard lock(m_mutex);
    m_script.push_back({kind, true, Fault::Silence, bytes, times, after});
}

void EmulatedSerialClock::injectLate(Frame kind, std::chrono::milliseconds delay, int times, int after)
{
    std::lock_guard lock(m_mutex);
    m_script.push_back({kind, false, Fault::Silence, {}, times, after, delay});
}

void EmulatedSerialClock::onAcknowledgement(std::function<void()> hook)
{
    std::lock_guard lock(m_mutex);
    m_onAck = std::move(hook);
}

void EmulatedSerialClock::holdLineAfterNextRecord()
{
    std::lock_guard lock(m_mutex);
    m_holdAfterRecord = true;
}

void EmulatedSerialClock::splitWrites(bool on)
{
    std::lock_guard lock(m_mutex);
    m_split = on;
}

std::vector<EmulatedSerialClock::Received> EmulatedSerialClock::received() const
{
    std::lock_guard lock(m_mutex);
    return m_received;
}

std::vector<EmulatedSerialClock::Frame> EmulatedSerialClock::receivedKinds() const
{
    std::vector<Frame> kinds;
    for (const Received &r : received())
        kinds.push_back(r.kind);
    return kinds;
}

std::vector<std::string> EmulatedSerialClock::acceptedTexts() const
{
    std::lock_guard lock(m_mutex);
    return m_accepted;
}

bool EmulatedSerialClock::waitForFrames(std::size_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_mutex);
    return m_arrived.wait_for(lock, timeout, [&] { return m_received.size() >= count; });
}

void EmulatedSerialClock::run()
{
    std::string pending;
    pollfd fds[2] = {{m_master, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
    for (;;) {
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[1].revents)
            return;
        if (!(fds[0].revents & POLLIN)) {
            std::this_thread::sleep_for(kHangupPause);
            continue;
        }
        char chunk[512];
        const ssize_t n = read(m_master, chunk, sizeof chunk);
        if (n <= 0) {
            std::this_thread::sleep_for(kHangupPause);
            continue;
        }
        pending.append(chunk, static_cast<std::size_t>(n));
        for (auto eot = pending.find(LF::EOT); eot != std::string::npos; eot = pending.find(LF::EOT)) {
            handleFrame(pending.substr(0, eot + 1));
            pending.erase(0, eot + 1);
        }
    }
}

void EmulatedSerialClock::handleFrame(const std::string &frame)
{
    const Frame kind = KindOf(frame);
    std::string answer;
    bool babble = false;
    std::function<void()> acknowledged;
    std::chrono::milliseconds delay{0};
    {
        std::lock_guard lock(m_mutex);
        m_received.push_back({kind, frame, std::chrono::steady_clock::now()});
        m_arrived.notify_all();

        const char head = frame.size() > 2 ? frame[2] : 0;
        const bool mine = kind != Frame::Other && frame[1] == LF::AddressChar(m_controller) &&
                          (head == LF::AddressChar(m_terminal) ||
                           (m_terminal == LF::kWrappedTerminal && head == LF::AddressChar(0)));
        if (!mine)
            return;
        if (kind == Frame::Ack)
            acknowledged = m_onAck;
        const std::string normal = normalAnswer(kind, frame);
        // A late answer is the normal one, only later.
        if (!scriptedAnswer(kind, normal, head, answer, babble, delay) || delay.count() > 0) {
            answer = normal;
            if (kind == Frame::Data && LF::ReplyCheckGood(frame)) {
                const auto etx = frame.find(LF::ETX);
                m_accepted.push_back(frame.substr(4, etx - 4));
            }
        }
    }
    if (acknowledged)
        acknowledged();
    send(answer, babble, delay);
    std::lock_guard lock(m_mutex);
    if (kind == Frame::Poll && answer.size() > 1 && std::exchange(m_holdAfterRecord, false))
        (void)tcflow(m_slave, TCOOFF);
}

// Called with the mutex held.
std::string EmulatedSerialClock::normalAnswer(Frame kind, const std::string &frame)
{
    const char head = frame[2];
    const char ackAddress = head == LF::AddressChar(0) ? kWrappedAckAddress : head;
    const std::string ack{LF::SOH, frame[1], ackAddress, LF::ACK, LF::EOT};
    switch (kind) {
    case Frame::Select:
        return ack;
    case Frame::Data:
        return LF::ReplyCheckGood(frame) ? ack : std::string{LF::SOH, frame[1], head, LF::NAK, LF::EOT};
    case Frame::Poll:
        if (m_records.empty())
            return std::string(1, LF::EOT);
        return LF::BuildDataFrame(m_controller, m_terminal, m_records.front());
    case Frame::Ack:
        if (!m_records.empty())
            m_records.pop_front();
        return {};
    default:
        return {};
    }
}

// Called with the mutex held.
bool EmulatedSerialClock::scriptedAnswer(Frame kind, const std::string &normal, char headAddress,
                                         std::string &answer, bool &babble, std::chrono::milliseconds &delay)
{
    const auto step = std::find_if(m_script.begin(), m_script.end(),
                                   [&](const Scripted &s) { return s.kind == kind; });
    if (step == m_script.end())
        return false;
    if (step->after > 0) {
        --step->after;
        return false;
    }
    delay = step->delay;
    if (delay.count() > 0)
        answer = normal;
    else
        answer = step->custom ? step->bytes : applyFault(step->fault, normal, headAddress);
    babble = !step->custom && step->fault == Fault::Babble;
    if (--step->times == 0)
        m_script.erase(step);
    return true;
}

std::string EmulatedSerialClock::applyFault(Fault fault, const std::string &answer, char headAddress) const
{
    std::string changed = answer;
    const auto etx = changed.find(LF::ETX);
    switch (fault) {
    case Fault::Silence:
        return {};
    case Fault::Nak:
        return {LF::SOH, LF::AddressChar(m_controller), headAddress, LF::NAK, LF::EOT};
    case Fault::BadCheck:
        if (etx != std::string::npos && etx + 2 < changed.size())
            changed[etx + 2] ^= 1;
        return changed;
    case Fault::CutShort:
        return changed.substr(0, 4) + LF::EOT;
    case Fault::NoEtx:
        if (etx != std::string::npos)
            changed.erase(etx, 1);
        return changed;
    case Fault::NoEot:
        if (!changed.empty() && changed.back() == LF::EOT)
            changed.pop_back();
        return changed;
    case Fault::WrongAddress:
        return {LF::SOH, LF::AddressChar(m_controller), LF::AddressChar(m_terminal + 1), LF::ACK, LF::EOT};
    case Fault::Babble:
        return changed;
    }
    return changed;
}

void EmulatedSerialClock::send(const std::string &bytes, bool babble, std::chrono::milliseconds delay)
{
    if (delay.count() > 0)
        std::this_thread::sleep_for(delay);
    bool split;
    {
        std::lock_guard lock(m_mutex);
        split = m_split;
    }
    if (split) {
        for (const char c : bytes) {
            (void)!write(m_master, &c, 1);
            std::this_thread::sleep_for(kSplitPause);
        }
    } else {
        (void)!write(m_master, bytes.data(), bytes.size());
    }
    if (!babble)
        return;
    // On a loaded machine a wake-up a few milliseconds late would be the quiet
    // that ends the host's read: pace as a real-time thread where allowed.
    int policy = 0;
    sched_param previous{};
    pthread_getschedparam(pthread_self(), &policy, &previous);
    const sched_param realtime{sched_get_priority_min(SCHED_FIFO)};
    const bool raised = pthread_setschedparam(pthread_self(), SCHED_FIFO, &realtime) == 0;
    auto next = std::chrono::steady_clock::now();
    for (int i = 0; i < kBabbleBytes; ++i) {
        (void)!write(m_master, "b", 1);
        next += kBabblePause;
        std::this_thread::sleep_until(next);
    }
    if (raised)
        pthread_setschedparam(pthread_self(), policy, &previous);
}

} // namespace TevTest
