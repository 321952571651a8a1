#include "linkcore.h"

#include <tevlink.h>

#include <cstdio>

namespace tevlink {

void formatFixed(uint32_t val, char *out, int radix, int digits)
{
    if (out == nullptr)
        return;
    if (radix < 1 || digits <= 0) {
        *out = '\0';
        return;
    }
    uint64_t remaining = val;
    for (int k = digits - 1; k >= 0; --k) {
        // radix^k beyond the value's range means a leading zero digit.
        uint64_t power = 1;
        bool beyond = false;
        for (int i = 0; i < k && !beyond; ++i) {
            power *= static_cast<uint64_t>(radix);
            beyond = power > UINT32_MAX;
        }
        uint64_t digit = beyond ? 0 : remaining / power;
        if (!beyond)
            remaining %= power;
        *out++ = static_cast<char>('0' + digit);
    }
    *out = '\0';
}

ClockTarget clockTarget(int controller, int clock)
{
    bool raw = clock >= kRawClockBase;
    int headerClock = raw ? clock - kRawClockBase : clock;
    int64_t number = (static_cast<int64_t>(controller) - 1) * kClocksPerController + headerClock;
    return {headerClock, number, raw};
}

std::string clockName(int64_t number)
{
    char digits[16];
    formatFixed(static_cast<uint32_t>(number), digits, 10, kNameDigits);
    return std::string(TerminalAliasPrefix) + digits;
}

int clockNumberOfName(std::string_view name)
{
    std::string_view prefix(TerminalAliasPrefix);
    if (name.size() != prefix.size() + kNameDigits || name.substr(0, prefix.size()) != prefix)
        return 0;
    int n = 0;
    for (char c : name.substr(prefix.size())) {
        if (c < '0' || c > '9')
            return 0;
        n = n * 10 + (c - '0');
    }
    return n;
}

bool buildFrame(std::string &out, const ClockTarget &target, std::string_view text)
{
    out.clear();
    if (text.size() > kMaxFrameText)
        return false;
    if (!target.raw) {
        out += kHeaderLead;
        out += kHeaderKind;
        out += static_cast<char>(target.headerClock + kClockCharBase);
        out += GS;
    }
    out.append(text);
    return true;
}

std::string timeCommand(const std::tm &when)
{
    // Two digits for every century, not only 1900-2099.
    int year = ((when.tm_year % 100) + 100) % 100;
    char text[32];
    std::snprintf(text, sizeof text, "T00%.2d%.2d%.2d%.2d%.2d%.2d", year, when.tm_mon + 1,
                  when.tm_mday, when.tm_hour, when.tm_min, when.tm_sec);
    return text;
}

uint32_t runDownload(const DownloadIo &io)
{
    std::string line;
    char block[kDownloadBlock];
    for (;;) {
        long got = io.read(block, sizeof block);
        if (got < 0)
            return kFileError;
        if (got == 0)
            break;
        for (long i = 0; i < got; ++i) {
            char c = block[i];
            if (c == LF)
                continue;
            if (c != CR) {
                if (line.size() == kMaxMessageText)
                    return kNotSent;
                line += c;
                continue;
            }
            if (uint32_t r = io.send(line); r != kDone)
                return r;
            io.pause(line.size() > kLongLineChars ? kDownloadPauseLongMs : kDownloadPauseShortMs);
            line.clear();
        }
    }
    if (!line.empty())
        return io.send(line);
    return kDone;
}

}  // namespace tevlink
