// The socket-free part of the TCP/IP clock link: names, frames, the time
// command and the pacing of a command-file download. Kept apart so it can be
// tested without sockets, a clock or a wall clock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <string_view>

namespace tevlink {

constexpr char ETX = 0x03;
constexpr char EOT = 0x04;
constexpr char CR = 0x0D;
constexpr char LF = 0x0A;
constexpr char GS = 0x1D;
constexpr char kHeaderLead = '\\';
constexpr char kHeaderKind = 'A';
constexpr int kClockCharBase = 0x20;

constexpr int kTableSize = 128;
constexpr int kClocksPerController = 32;
constexpr int kRawClockBase = 128;  // a clock argument from here on sends without header
constexpr int kNameDigits = 3;

constexpr std::size_t kHeaderSize = 4;
constexpr std::size_t kFrameSize = 1500;  // header, text and NUL
constexpr std::size_t kMaxFrameText = kFrameSize - kHeaderSize - 1;
constexpr std::size_t kMessageSize = 750;  // message and download-line buffers, NUL included
constexpr std::size_t kMaxMessageText = kMessageSize - 1;
constexpr std::size_t kReceiveMax = 1500;
constexpr std::size_t kReceiveArea = kReceiveMax + 2;  // data, then ETX (or CR) and NUL

constexpr std::size_t kDownloadBlock = 750;
constexpr std::size_t kLongLineChars = 50;
constexpr int kDownloadPauseShortMs = 100;
constexpr int kDownloadPauseLongMs = 200;  // longer lines take the clock longer to store

// Status codes of the exported functions.
constexpr uint32_t kDone = 0;
constexpr uint32_t kNotSent = 1;
constexpr uint32_t kNotConnected = 2;
constexpr uint32_t kDataReceived = 3;
constexpr uint32_t kFileError = 4;
constexpr uint32_t kRefused = 6;

// Writes exactly `digits` digits of `val` in `radix` and a NUL. Digit values
// above 9 continue after '9'. A radix of 0 or less has no powers to divide
// by: only the NUL.
void formatFixed(uint32_t val, char *out, int radix, int digits);

// The clock a call addresses: its number n = (controller - 1) x 32 + clock
// and whether the text goes out without header.
struct ClockTarget {
    int headerClock;  // the clock argument as sent in the header
    int64_t number;
    bool raw;
};
ClockTarget clockTarget(int controller, int clock);

// The table name of clock n: the terminal prefix and n in three digits.
std::string clockName(int64_t number);

// Clock n named by `name`, or 0 when `name` is not a clock name.
int clockNumberOfName(std::string_view name);

// Header and text, or the text alone in raw mode. False (and `out` empty)
// when the text does not fit the frame.
bool buildFrame(std::string &out, const ClockTarget &target, std::string_view text);

// "T00" followed by YYMMDDhhmmss of `when`.
std::string timeCommand(const std::tm &when);

// Sends the lines of a command file: CR ends a line, LF is skipped, each
// sent line is followed by a pause that grows with its length. Stops at the
// first line that is not sent or is longer than a message may be.
struct DownloadIo {
    std::function<long(char *, std::size_t)> read;  // bytes read, 0 at the end, -1 on error
    std::function<uint32_t(const std::string &)> send;  // kDone when sent
    std::function<void(int ms)> pause;
};
uint32_t runDownload(const DownloadIo &io);

}  // namespace tevlink
