// The socket-free core of the TCP/IP link: byte-exact texts and the pacing
// of a download.
#include "hostsfile.h"
#include "linkcore.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace tevlink;

namespace {

std::string fixed(uint32_t val, int radix, int digits)
{
    char out[64];
    std::fill(std::begin(out), std::end(out), '#');
    formatFixed(val, out, radix, digits);
    return out;
}

TEST(TcpFixedWidthNumber, WritesExactlyTheDigitsAsked)
{
    struct Row {
        uint32_t val;
        int radix;
        int digits;
        const char *expected;
    } rows[] = {
        {5, 10, 3, "005"},
        {128, 10, 3, "128"},
        {0, 10, 3, "000"},
        {1234, 10, 3, "<34"},  // 12 is the character three after '9'
        {255, 16, 2, "??"},
        {10, 16, 1, ":"},
        {7, 2, 4, "0111"},
        {42, 10, 0, ""},
        {42, 10, -3, ""},
        {UINT32_MAX, 10, 12, "004294967295"},
        {UINT32_MAX, 16, 40, "00000000000000000000000000000000????????"},
    };
    for (const Row &r : rows)
        EXPECT_EQ(fixed(r.val, r.radix, r.digits), r.expected)
            << r.val << " radix " << r.radix << " digits " << r.digits;
}

TEST(TcpFixedWidthNumber, RadixZeroOrBelowGivesEmptyTextInsteadOfDividingByZero)
{
    EXPECT_EQ(fixed(5, 0, 3), "");
    EXPECT_EQ(fixed(5, -10, 3), "");
    formatFixed(5, nullptr, 10, 3);  // no text to write into: nothing happens
}

// Every power of one is one: the whole value lands in the first digit.
TEST(TcpFixedWidthNumber, RadixOneStillDividesByItsPowers)
{
    EXPECT_EQ(fixed(5, 1, 3), "500");
    EXPECT_EQ(fixed(0, 1, 2), "00");
}

TEST(TcpClockAddressing, NameNumberAndRawMode)
{
    struct Row {
        int controller, clock;
        int64_t number;
        bool raw;
        int headerClock;
        const char *name;
    } rows[] = {
        {1, 1, 1, false, 1, "tevterm001"},
        {1, 7, 7, false, 7, "tevterm007"},
        {2, 1, 33, false, 1, "tevterm033"},
        {4, 32, 128, false, 32, "tevterm128"},
        {1, 128 + 5, 5, true, 5, "tevterm005"},
        {2, 128 + 1, 33, true, 1, "tevterm033"},
    };
    for (const Row &r : rows) {
        ClockTarget t = clockTarget(r.controller, r.clock);
        EXPECT_EQ(t.number, r.number) << r.controller << "/" << r.clock;
        EXPECT_EQ(t.raw, r.raw) << r.controller << "/" << r.clock;
        EXPECT_EQ(t.headerClock, r.headerClock) << r.controller << "/" << r.clock;
        EXPECT_EQ(clockName(t.number), r.name);
    }
}

TEST(TcpClockAddressing, OnlyPrefixAndThreeDigitsIsAClockName)
{
    EXPECT_EQ(clockNumberOfName("tevterm007"), 7);
    EXPECT_EQ(clockNumberOfName("tevterm128"), 128);
    EXPECT_EQ(clockNumberOfName("tevterm07"), 0);
    EXPECT_EQ(clockNumberOfName("tevterm0071"), 0);
    EXPECT_EQ(clockNumberOfName("TEVTERM007"), 0);
    EXPECT_EQ(clockNumberOfName("tevhost001"), 0);
    EXPECT_EQ(clockNumberOfName("tevterm0x7"), 0);
}

TEST(TcpFrame, HeaderThenTextOrTextAloneInRawMode)
{
    struct Row {
        int controller, clock;
        std::string text;
        std::string expected;
    } rows[] = {
        {1, 1, " TEV ACK", std::string("\\A!\x1D TEV ACK")},
        {1, 7, "T00040305140709", std::string("\\A'\x1DT00040305140709")},
        {2, 1, "X", std::string("\\A!\x1DX")},
        {1, 32, "", std::string("\\A@\x1D")},
        {1, 128 + 7, "RAW\x1E", "RAW\x1E"},
    };
    for (const Row &r : rows) {
        std::string out;
        ASSERT_TRUE(buildFrame(out, clockTarget(r.controller, r.clock), r.text));
        EXPECT_EQ(out, r.expected) << r.controller << "/" << r.clock;
    }
}

TEST(TcpFrame, TextBeyondTheFrameIsRefused)
{
    std::string out = "old";
    EXPECT_TRUE(buildFrame(out, clockTarget(1, 1), std::string(kMaxFrameText, 'x')));
    EXPECT_EQ(out.size(), kFrameSize - 1);
    EXPECT_FALSE(buildFrame(out, clockTarget(1, 1), std::string(kMaxFrameText + 1, 'x')));
    EXPECT_TRUE(out.empty());
}

std::tm at(int year, int month, int day, int hour, int minute, int second)
{
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return t;
}

TEST(TcpTimeCommand, TwoDigitYearInEveryCentury)
{
    struct Row {
        std::tm when;
        const char *expected;
    } rows[] = {
        {at(2004, 3, 5, 14, 7, 9), "T00040305140709"},
        {at(1999, 12, 31, 23, 59, 59), "T00991231235959"},
        {at(2000, 1, 1, 0, 0, 0), "T00000101000000"},
        {at(2099, 6, 15, 12, 30, 0), "T00990615123000"},
        {at(2100, 1, 2, 3, 4, 5), "T00000102030405"},
        {at(2123, 11, 30, 9, 8, 7), "T00231130090807"},
    };
    for (const Row &r : rows)
        EXPECT_EQ(timeCommand(r.when), r.expected);
}

// Replays a file through runDownload, in read blocks of `blockSize`.
struct DownloadRun {
    std::vector<std::string> sent;
    std::vector<int> pauses;
    uint32_t result = 0;
};

DownloadRun download(const std::string &file, std::size_t blockSize = kDownloadBlock,
                     std::size_t failAtLine = SIZE_MAX, bool readFails = false)
{
    DownloadRun run;
    std::size_t at = 0;
    DownloadIo io;
    io.read = [&](char *out, std::size_t size) -> long {
        if (readFails && at > 0)
            return -1;
        std::size_t n = std::min({size, blockSize, file.size() - at});
        file.copy(out, n, at);
        at += n;
        return static_cast<long>(n);
    };
    io.send = [&](const std::string &line) {
        run.sent.push_back(line);
        return run.sent.size() - 1 == failAtLine ? kNotSent : kDone;
    };
    io.pause = [&](int ms) { run.pauses.push_back(ms); };
    run.result = runDownload(io);
    return run;
}

TEST(TcpDownload, LineEndsAndPacing)
{
    const std::string l50(50, 'a'), l51(51, 'b');
    struct Row {
        const char *name;
        std::string file;
        std::vector<std::string> lines;
        std::vector<int> pauses;
    } rows[] = {
        {"CR LF", "A\r\nB\r\n", {"A", "B"}, {100, 100}},
        {"CR only", "A\rB\r", {"A", "B"}, {100, 100}},
        {"LF only is no line end", "A\nB\n", {"AB"}, {}},
        {"last line without end, no pause", "A\r\nB", {"A", "B"}, {100}},
        {"empty file", "", {}, {}},
        {"50 characters is short", l50 + "\r\n", {l50}, {100}},
        {"51 characters is long", l51 + "\r\n", {l51}, {200}},
        {"blank line between", "A\r\rB\r", {"A", "", "B"}, {100, 100, 100}},
        {"record separators pass through", "LPB00\x1E\x31\x1E\r\n", {"LPB00\x1E\x31\x1E"}, {100}},
    };
    for (const Row &r : rows) {
        for (std::size_t block : {kDownloadBlock, std::size_t{1}, std::size_t{3}}) {
            DownloadRun run = download(r.file, block);
            EXPECT_EQ(run.result, kDone) << r.name;
            EXPECT_EQ(run.sent, r.lines) << r.name << " in blocks of " << block;
            EXPECT_EQ(run.pauses, r.pauses) << r.name << " in blocks of " << block;
        }
    }
}

TEST(TcpDownload, LinesOf749PassAnd750StopsWithoutSendingIt)
{
    const std::string l749(kMaxMessageText, 'x');
    DownloadRun ok = download("A\r\n" + l749 + "\r\nB\r\n");
    EXPECT_EQ(ok.result, kDone);
    EXPECT_EQ(ok.sent, (std::vector<std::string>{"A", l749, "B"}));

    DownloadRun tooLong = download("A\r\n" + l749 + "y\r\nB\r\n");
    EXPECT_EQ(tooLong.result, kNotSent);
    EXPECT_EQ(tooLong.sent, (std::vector<std::string>{"A"}));

    DownloadRun lastTooLong = download("A\r\n" + l749 + "y");
    EXPECT_EQ(lastTooLong.result, kNotSent);
    EXPECT_EQ(lastTooLong.sent, (std::vector<std::string>{"A"}));
}

TEST(TcpDownload, StopsAtTheFirstLineNotSent)
{
    DownloadRun run = download("A\r\nB\r\nC\r\n", kDownloadBlock, 1);
    EXPECT_EQ(run.result, kNotSent);
    EXPECT_EQ(run.sent, (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(run.pauses, (std::vector<int>{100}));
}

TEST(TcpDownload, ReadFailureIsAFileError)
{
    DownloadRun run = download("A\r\nB\r\n", 3, SIZE_MAX, true);
    EXPECT_EQ(run.result, kFileError);
}

uint32_t ip(const char *text)
{
    in_addr a{};
    inet_pton(AF_INET, text, &a);
    return a.s_addr;
}

TEST(TcpHostsFile, ParsesLineEndsCommentsTabsAndRepeats)
{
    const std::string text =
        "# TEV hosts\r\n"
        "127.0.0.1\tlocalhost\r\n"
        "10.0.0.5   tevhost001  pc  # the PC\r\n"
        "10.0.0.7 \t tevterm007\n"
        "10.0.0.7    second-name\n"
        "10.0.0.8    tevterm008 tevterm108\n"
        "#10.0.0.9   tevterm009\n"
        "10.0.0.10\n"
        "not.an.address tevterm010\n"
        "::1 tevterm011\n"
        "10.0.0.12 tevterm012";
    struct Forward {
        const char *name;
        const char *address;  // null: not found
    } forward[] = {
        {"tevhost001", "10.0.0.5"}, {"TEVHOST001", "10.0.0.5"}, {"pc", "10.0.0.5"},
        {"tevterm007", "10.0.0.7"}, {"second-name", "10.0.0.7"}, {"tevterm108", "10.0.0.8"},
        {"tevterm009", nullptr},   {"tevterm010", nullptr},   {"tevterm011", nullptr},
        {"tevterm012", "10.0.0.12"}, {"the", nullptr},         {"", nullptr},
    };
    for (const Forward &f : forward) {
        std::optional<uint32_t> found = hosts::findAddress(text, f.name);
        if (f.address == nullptr)
            EXPECT_FALSE(found) << f.name;
        else
            EXPECT_EQ(found, ip(f.address)) << f.name;
    }
    struct Reverse {
        const char *address;
        const char *name;  // null: not found
    } reverse[] = {
        {"127.0.0.1", "localhost"},   {"10.0.0.5", "tevhost001"}, {"10.0.0.7", "tevterm007"},
        {"10.0.0.8", "tevterm008"},   {"10.0.0.9", nullptr},      {"10.0.0.10", nullptr},
        {"10.0.0.12", "tevterm012"},
    };
    for (const Reverse &r : reverse) {
        std::optional<std::string> found = hosts::findName(text, ip(r.address));
        if (r.name == nullptr)
            EXPECT_FALSE(found) << r.address;
        else
            EXPECT_EQ(found, r.name) << r.address;
    }
}

}  // namespace
