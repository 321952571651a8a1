// The serial polling library: the clock functions of the TCP/IP link library
// over a serial port. Half duplex: one frame out, one reply in. The caller
// owns the port handle; the library keeps nothing between calls.
#include "tevlink.h"

#include "libs/frame/LinkFrame.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <string_view>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#ifdef TEVPOL_TEST_SEAM
#include "libs/serialpoll/PortSeam.h"
#endif

namespace {

namespace LF = LinkFrame;

// Results of the transfer functions.
enum : uint32_t {
    kDone = 0,      // done, or the clock has nothing to send
    kGaveUp = 1,    // retries exhausted, a reply not read in time, or a text too long
    kNoReply = 2,   // no reply, a line error, or a record with a bad check
    kRecord = 3,
    kFileError = 4,
    kNotSent = 5,   // a system call failed, or a write did not complete in time
};

constexpr unsigned kPortCount = 4;
constexpr int kWriteWaitMs = 1500;
constexpr int kReplyWaitMs = 1500;  // for the EOT of a reply
constexpr int kReadWaitMs = 1500;   // for the rest of a reply after its EOT
constexpr int kQuietMs = 10;        // a reply ends when the line is this long quiet
constexpr int kAckWaitMs = 100;

// Frame, reply, message and download line buffers hold this much with a NUL.
constexpr size_t kBufferSize = 275;
constexpr size_t kMaxFrame = kBufferSize - 1;
constexpr size_t kMaxReply = kBufferSize - 1;
constexpr size_t kMaxLine = kBufferSize - 1;
constexpr size_t kFileChunk = 255;

// A record reply: SOH c k STX, the record, ETX L1 L2 EOT.
constexpr size_t kRecordHead = 4;
constexpr size_t kRecordTrailer = 4;

// Clock numbers from here on mean clock - 128 with raw data frames.
constexpr int kRawClockBase = 128;

constexpr int kSelectWrongReplies = 50;
constexpr int kSelectReadTimeouts = 20;
constexpr int kMessageWrongReplies = 15;
constexpr int kMessageFailedExchanges = 5;

constexpr char kSetTimeFormat[] = "T00%.2d%.2d%.2d%.2d%.2d%.2d";
constexpr int kYearDigits = 100;

using TcsetattrFn = int (*)(int, int, const termios *);

// The one piece of state: the line-settings call, replaceable in the test build.
struct Seams {
    TcsetattrFn tcsetattr = ::tcsetattr;
};
Seams seams;

struct BaudRate {
    uint32_t rate;
    speed_t speed;
};
constexpr BaudRate kBaudRates[] = {
    {50, B50},         {75, B75},         {110, B110},       {134, B134},
    {150, B150},       {200, B200},       {300, B300},       {600, B600},
    {1200, B1200},     {1800, B1800},     {2400, B2400},     {4800, B4800},
    {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},
    {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
};

// Where a clock is on the line and how its frames are laid out.
struct Target {
    int controller;
    int clock;
    LF::Options options;
};

Target Addressed(int32_t controller, int32_t clock)
{
    Target target{controller, clock, {}};
    if (clock >= kRawClockBase) {
        target.clock -= kRawClockBase;
        target.options.raw = true;
    }
    return target;
}

// Selects and data frames follow the terminal-32 rule; polls and the
// library's own acknowledgements do not.
Target MessageTarget(int32_t controller, int32_t clock)
{
    Target target = Addressed(controller, clock);
    target.options.wrapTerminal32 = true;
    return target;
}

bool ValidHandle(intptr_t handle)
{
    return handle >= 0 && handle <= INT_MAX;
}

int64_t NowMs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t{now.tv_sec} * 1000 + now.tv_nsec / 1000000;
}

std::string PortDevice(unsigned comport)
{
    const std::string variable = "TEV_COM" + std::to_string(comport);
    const char *device = std::getenv(variable.c_str());
    if (device && *device)
        return device;
    return "/dev/ttyS" + std::to_string(comport - 1);
}

bool SpeedFor(uint32_t baudrate, speed_t &speed)
{
    const auto *end = std::end(kBaudRates);
    const auto *found = std::find_if(std::begin(kBaudRates), end,
                                     [&](const BaudRate &b) { return b.rate == baudrate; });
    if (found == end)
        return false;
    speed = found->speed;
    return true;
}

// Builds the line settings from the caller's arguments; false when one of
// them has no form on this system (1.5 stop bits among them).
bool LineSettings(termios &settings, uint32_t baudrate, char parity, char bytesize, char stopbits)
{
    speed_t speed;
    if (!SpeedFor(baudrate, speed))
        return false;
    cfmakeraw(&settings);  // else EOT, ETX and NAK would act as end-of-file, interrupt, line-kill
    cfsetispeed(&settings, speed);
    cfsetospeed(&settings, speed);

    settings.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    settings.c_cflag |= CLOCAL | CREAD;
    settings.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);

    switch (bytesize) {
    case 5: settings.c_cflag |= CS5; break;
    case 6: settings.c_cflag |= CS6; break;
    case 7: settings.c_cflag |= CS7; break;
    case 8: settings.c_cflag |= CS8; break;
    default: return false;
    }
    enum { kNone, kOdd, kEven, kMark, kSpace };
    switch (parity) {
    case kNone: break;
    case kOdd: settings.c_cflag |= PARENB | PARODD; break;
    case kEven: settings.c_cflag |= PARENB; break;
    case kMark: settings.c_cflag |= PARENB | CMSPAR | PARODD; break;
    case kSpace: settings.c_cflag |= PARENB | CMSPAR; break;
    default: return false;
    }
    if (parity != kNone)
        settings.c_iflag |= INPCK;
    enum { kOneStop = 0, kTwoStops = 2 };
    switch (stopbits) {
    case kOneStop: break;
    case kTwoStops: settings.c_cflag |= CSTOPB; break;
    default: return false;
    }
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    return true;
}

uint32_t ConfigurePort(int fd, uint32_t baudrate, char parity, char bytesize, char stopbits)
{
    termios settings{};
    if (tcgetattr(fd, &settings) != 0)
        return errno;
    if (!LineSettings(settings, baudrate, parity, bytesize, stopbits))
        return EINVAL;
    if (seams.tcsetattr(fd, TCSANOW, &settings) != 0)
        return errno;
    // DTR and RTS stay low; a pseudo-terminal has no modem lines to drop.
    int lines = TIOCM_DTR | TIOCM_RTS;
    if (ioctl(fd, TIOCMBIC, &lines) != 0 && errno != ENOTTY && errno != EINVAL)
        return errno;
    return 0;
}

uint32_t FailOutput(int fd)
{
    tcflush(fd, TCOFLUSH);
    return kNotSent;
}

uint32_t FailInput(int fd, uint32_t result)
{
    tcflush(fd, TCIFLUSH);
    return result;
}

// Writes the whole frame within waitMs.
uint32_t WriteFrame(int fd, std::string_view frame, int waitMs)
{
    const int64_t deadline = NowMs() + waitMs;
    size_t done = 0;
    while (done < frame.size()) {
        const ssize_t n = write(fd, frame.data() + done, frame.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            return FailOutput(fd);
        const int64_t left = deadline - NowMs();
        if (left <= 0)
            return FailOutput(fd);
        pollfd writable{fd, POLLOUT, 0};
        if (poll(&writable, 1, static_cast<int>(left)) < 0 && errno != EINTR)
            return FailOutput(fd);
    }
    return kDone;
}

enum class Chunk { Read, Nothing, LineError, Failed };

// Reads what is waiting; bytes past the reply buffer are dropped.
Chunk ReadChunk(int fd, short events, std::string &reply, bool &sawEot)
{
    if (events & POLLNVAL)
        return Chunk::Failed;
    if (!(events & POLLIN))
        return (events & (POLLERR | POLLHUP)) ? Chunk::LineError : Chunk::Nothing;
    char chunk[kBufferSize];
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n < 0) {
        if (errno == EAGAIN || errno == EINTR)
            return Chunk::Nothing;
        return errno == EIO ? Chunk::LineError : Chunk::Failed;
    }
    if (n == 0)
        return Chunk::LineError;
    const size_t got = static_cast<size_t>(n);
    reply.append(chunk, std::min(got, kMaxReply - reply.size()));
    if (std::memchr(chunk, LF::EOT, got))
        sawEot = true;
    return Chunk::Read;
}

// Reads one reply: waits for its EOT, then takes what follows until the line
// is quiet, and keeps everything through the first EOT.
uint32_t ReadReply(int fd, std::string &reply)
{
    reply.clear();
    bool sawEot = false;
    pollfd readable{fd, POLLIN, 0};

    int64_t deadline = NowMs() + kReplyWaitMs;
    while (!sawEot) {
        const int64_t left = deadline - NowMs();
        if (left <= 0)
            return FailInput(fd, kNoReply);
        const int ready = poll(&readable, 1, static_cast<int>(left));
        if (ready < 0 && errno != EINTR)
            return FailInput(fd, kNotSent);
        if (ready <= 0)
            continue;
        switch (ReadChunk(fd, readable.revents, reply, sawEot)) {
        case Chunk::LineError: return FailInput(fd, kNoReply);
        case Chunk::Failed: return FailInput(fd, kNotSent);
        default: break;
        }
    }

    deadline = NowMs() + kReadWaitMs;
    while (reply.size() < kMaxReply) {
        const int64_t left = deadline - NowMs();
        if (left <= 0)
            return FailInput(fd, kGaveUp);
        const int wait = static_cast<int>(std::min<int64_t>(kQuietMs, left));
        const int ready = poll(&readable, 1, wait);
        if (ready < 0 && errno != EINTR)
            return FailInput(fd, kNotSent);
        if (ready == 0 && wait == kQuietMs)
            break;
        if (ready <= 0)
            continue;
        const Chunk chunk = ReadChunk(fd, readable.revents, reply, sawEot);
        if (chunk == Chunk::LineError || chunk == Chunk::Failed)
            return FailInput(fd, kNotSent);
    }

    const auto eot = reply.find(LF::EOT);
    if (eot != std::string::npos)
        reply.resize(eot + 1);
    return kDone;
}

uint32_t Exchange(int fd, std::string_view frame, std::string &reply)
{
    if (const uint32_t result = WriteFrame(fd, frame, kWriteWaitMs))
        return result;
    return ReadReply(fd, reply);
}

uint32_t SelectClock(int fd, const Target &target)
{
    const std::string select = LF::BuildSelectMsg(target.controller, target.clock, target.options);
    const std::string ack = LF::ExpectedClockAck(target.controller, target.clock, target.options);
    int wrongReplies = 0;
    int readTimeouts = 0;
    std::string reply;
    for (;;) {
        switch (const uint32_t result = Exchange(fd, select, reply)) {
        case kDone:
            if (reply == ack)
                return kDone;
            if (++wrongReplies == kSelectWrongReplies)
                return kGaveUp;
            break;
        case kGaveUp:
            if (++readTimeouts == kSelectReadTimeouts)
                return kGaveUp;
            break;
        default:
            return result;
        }
    }
}

// One text as a data frame, each try after a fresh select.
uint32_t XmitData(int fd, int32_t controller, int32_t clock, std::string_view text)
{
    const Target target = MessageTarget(controller, clock);
    const std::string frame = LF::BuildDataFrame(target.controller, target.clock, text, target.options);
    // Beyond the clock's frame buffer: refused before anything goes out.
    if (frame.size() > kMaxFrame)
        return kGaveUp;
    const std::string ack = LF::ExpectedClockAck(target.controller, target.clock, target.options);
    int wrongReplies = 0;
    int failedExchanges = 0;
    std::string reply;
    for (;;) {
        if (const uint32_t selected = SelectClock(fd, target))
            return selected;
        if (Exchange(fd, frame, reply) != kDone) {
            if (++failedExchanges == kMessageFailedExchanges)
                return kGaveUp;
        } else if (reply == ack) {
            return kDone;
        } else if (++wrongReplies == kMessageWrongReplies) {
            return kGaveUp;
        }
    }
}

// Too short a reply has no record between its head and trailer.
bool RecordReplyGood(std::string_view reply)
{
    return reply.size() >= kRecordHead + kRecordTrailer && LF::ReplyCheckGood(reply);
}

uint32_t SendShortFrame(intptr_t handle, const std::string &frame)
{
    if (!ValidHandle(handle))
        return kNotSent;
    return WriteFrame(static_cast<int>(handle), frame, kAckWaitMs);
}

// Writes the record and its trailer; the file is replaced, never appended to.
bool WriteRecordFile(const char *file, std::string_view bytes)
{
    const int fd = open(file, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            close(fd);
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return close(fd) == 0;
}

uint32_t DownloadFile(int port, int32_t controller, int32_t clock, int file)
{
    std::string line;
    char chunk[kFileChunk];
    for (;;) {
        const ssize_t n = read(file, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return kFileError;
        if (n == 0)
            break;
        for (const char c : std::string_view(chunk, static_cast<size_t>(n))) {
            if (c == '\n')
                continue;
            if (c != '\r') {
                line += c;
                // No frame holds such a line; the lines before it stay sent.
                if (line.size() > kMaxLine)
                    return kGaveUp;
                continue;
            }
            if (const uint32_t result = XmitData(port, controller, clock, line))
                return result;
            line.clear();
        }
    }
    if (!line.empty())
        return XmitData(port, controller, clock, line);
    return kDone;
}

// Nothing may throw across the C interface; an allocation failure is a
// failed system call.
template <typename Body>
uint32_t Guarded(Body body) noexcept
{
    try {
        return body();
    } catch (...) {
        return kNotSent;
    }
}

} // namespace

#ifdef TEVPOL_TEST_SEAM
namespace TevPolSeam {
void SetTcsetattr(TcsetattrFn fn)
{
    seams.tcsetattr = fn ? fn : ::tcsetattr;
}
std::string DevicePath(unsigned comport)
{
    return PortDevice(comport);
}
} // namespace TevPolSeam
#endif

extern "C" {

uint32_t InitComPort(intptr_t *lphdcomport, uint32_t comport, uint32_t baudrate, char parity,
                     char bytesize, char stopbits)
{
    if (!lphdcomport)
        return EINVAL;
    *lphdcomport = TEVLINK_INVALID_HANDLE;
    if (comport < 1 || comport > kPortCount)
        return EINVAL;
    return Guarded([&]() -> uint32_t {
        const int fd = open(PortDevice(comport).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return errno;
        if (ioctl(fd, TIOCEXCL) != 0) {
            const int error = errno;
            close(fd);
            return error;
        }
        // From here the port stays open with the caller even when a setting fails.
        *lphdcomport = fd;
        return ConfigurePort(fd, baudrate, parity, bytesize, stopbits);
    });
}

uint32_t CloseComm(intptr_t hdcomport)
{
    if (ValidHandle(hdcomport)) {
        // The exclusive flag belongs to the device and would outlive us
        // while anyone else holds it open.
        ioctl(static_cast<int>(hdcomport), TIOCNXCL);
        close(static_cast<int>(hdcomport));
    }
    return 0;
}

uint32_t SetTimeClock(intptr_t hdcomport, int32_t controller, int32_t clock)
{
    if (!ValidHandle(hdcomport))
        return kNotSent;
    return Guarded([&]() -> uint32_t {
        const time_t now = time(nullptr);
        tm local{};
        localtime_r(&now, &local);
        char text[32];
        std::snprintf(text, sizeof text, kSetTimeFormat, local.tm_year % kYearDigits,
                      local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
        const int fd = static_cast<int>(hdcomport);
        // The clock takes the time from the second of two sends.
        if (const uint32_t first = XmitData(fd, controller, clock, text))
            return first;
        return XmitData(fd, controller, clock, text);
    });
}

uint32_t SendMsgTimeClock(intptr_t hdcomport, int32_t controller, int32_t clock, const char *msg)
{
    if (!ValidHandle(hdcomport))
        return kNotSent;
    if (!msg)
        return kGaveUp;
    return Guarded([&] { return XmitData(static_cast<int>(hdcomport), controller, clock, msg); });
}

uint32_t DownloadTimeClock(intptr_t hdcomport, int32_t controller, int32_t clock, const char *file)
{
    if (!ValidHandle(hdcomport))
        return kNotSent;
    if (!file)
        return kFileError;
    return Guarded([&]() -> uint32_t {
        const int fd = open(file, O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return kFileError;
        posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
        const uint32_t result = DownloadFile(static_cast<int>(hdcomport), controller, clock, fd);
        if (close(fd) != 0 && result == kDone)
            return kFileError;
        return result;
    });
}

uint32_t PollTimeClock(intptr_t hdcomport, int32_t controller, int32_t clock, const char *file,
                       char *buffer)
{
    if (buffer)
        buffer[0] = '\0';
    if (!ValidHandle(hdcomport))
        return kNotSent;
    return Guarded([&]() -> uint32_t {
        const int fd = static_cast<int>(hdcomport);
        const Target target = Addressed(controller, clock);
        std::string reply;
        if (const uint32_t result =
                Exchange(fd, LF::BuildPollMsg(target.controller, target.clock), reply))
            return result;

        const bool nothingToSend = reply.front() == LF::EOT;
        if (!nothingToSend && !RecordReplyGood(reply)) {
            // The clock sends the record again on the next poll.
            WriteFrame(fd, LF::BuildNakMsg(target.controller, target.clock), kAckWaitMs);
            return kNoReply;
        }
        if (buffer) {
            if (nothingToSend) {
                buffer[0] = LF::EOT;
                buffer[1] = '\0';
            } else {
                const size_t length = reply.size() - kRecordHead - kRecordTrailer;
                std::memcpy(buffer, reply.data() + kRecordHead, length);
                buffer[length] = '\0';
            }
        }
        if (!file || nothingToSend)
            return nothingToSend ? kDone : kRecord;
        // Written before it is acknowledged, so a failed write leaves the
        // record with the clock.
        if (!WriteRecordFile(file, std::string_view(reply).substr(kRecordHead)))
            return kFileError;
        if (WriteFrame(fd, LF::BuildAckMsg(target.controller, target.clock), kAckWaitMs) != kDone)
            return kNotSent;
        return kRecord;
    });
}

uint32_t SendAckTimeClock(intptr_t hdcomport, int32_t controller, int32_t clock)
{
    return Guarded([&] {
        const Target target = Addressed(controller, clock);
        return SendShortFrame(hdcomport, LF::BuildAckMsg(target.controller, target.clock));
    });
}

uint32_t SendNakTimeClock(intptr_t hdcomport, int32_t controller, int32_t clock)
{
    return Guarded([&] {
        const Target target = Addressed(controller, clock);
        return SendShortFrame(hdcomport, LF::BuildNakMsg(target.controller, target.clock));
    });
}

} // extern "C"
