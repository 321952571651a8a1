// Polls: records into the caller's buffer and the upload file, the check of
// received records, and the library's acknowledgements.
#include "tests/serialpoll/PortFixture.h"

#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace TevTest {
namespace {

using namespace std::string_literals;

const std::string kPunch = "0001234567 2601151230";
const std::string kHeader5 = "\\A%\x1d";
const std::string kPoll5 = "\x05!%P\x04";
const std::string kAck5 = "\x01!%\x06\x04";
const std::string kNak5 = "\x01!%\x15\x04";

class SerialPollPoll : public PortFixture {
protected:
    std::vector<std::string> sent()
    {
        std::vector<std::string> bytes;
        for (const auto &f : clock().received())
            bytes.push_back(f.bytes);
        return bytes;
    }

    char m_buffer[1551] = {};
};

TEST_F(SerialPollPoll, NothingToSendLeavesEotInBufferAndWritesNoFile)
{
    openClock();
    const std::string file = path("poll.txt");
    EXPECT_EQ(PollTimeClock(m_port, 1, 5, file.c_str(), m_buffer), 0u);
    EXPECT_STREQ(m_buffer, "\x04");
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_EQ(sent(), (std::vector<std::string>{kPoll5}));
}

TEST_F(SerialPollPoll, RecordLandsInBufferWithHeaderAndIsNotAcknowledged)
{
    openClock();
    clock().queueRecord(kPunch);
    EXPECT_EQ(PollTimeClock(m_port, 1, 5, nullptr, m_buffer), 3u);
    EXPECT_EQ(std::string(m_buffer), kHeader5 + kPunch);
    EXPECT_EQ(sent(), (std::vector<std::string>{kPoll5}));
    EXPECT_EQ(clock().pendingRecords(), 1u);
}

TEST_F(SerialPollPoll, CallerAcknowledgesAndTheClockMovesOn)
{
    openClock();
    clock().queueRecord(kPunch);
    clock().queueRecord("second");
    ASSERT_EQ(PollTimeClock(m_port, 1, 5, nullptr, m_buffer), 3u);
    EXPECT_EQ(SendAckTimeClock(m_port, 1, 5), 0u);
    ASSERT_TRUE(clock().waitForFrames(2));
    EXPECT_EQ(sent().back(), kAck5);
    ASSERT_EQ(PollTimeClock(m_port, 1, 5, nullptr, m_buffer), 3u);
    EXPECT_EQ(std::string(m_buffer), kHeader5 + "second");
}

TEST_F(SerialPollPoll, NakFromCallerGoesOutAsNakFrame)
{
    openClock();
    EXPECT_EQ(SendNakTimeClock(m_port, 2, 7), 0u);
    ASSERT_TRUE(clock().waitForFrames(1));
    EXPECT_EQ(sent(), (std::vector<std::string>{"\x01\"'\x15\x04"}));
}

TEST_F(SerialPollPoll, PollWithoutBufferStillReportsTheRecord)
{
    openClock();
    clock().queueRecord(kPunch);
    EXPECT_EQ(PollTimeClock(m_port, 1, 5, nullptr, nullptr), 3u);
}

struct BadReply {
    const char *name;
    Fault fault;
};

// Each is refused with a NAK and reported as 2; the record stays with the
// clock and the next poll gets it.
TEST_F(SerialPollPoll, DamagedRecordIsNakedAndComesAgain)
{
    openClock();
    clock().queueRecord(kPunch);
    const BadReply cases[] = {
        {"bad check", Fault::BadCheck},
        {"no ETX", Fault::NoEtx},
        {"cut short", Fault::CutShort},
    };
    for (const BadReply &c : cases) {
        clock().inject(Frame::Poll, c.fault);
        const std::size_t before = clock().received().size();
        std::memset(m_buffer, 'z', 16);
        EXPECT_EQ(PollTimeClock(m_port, 1, 5, nullptr, m_buffer), 2u) << c.name;
        EXPECT_EQ(m_buffer[0], '\0') << c.name;
        ASSERT_TRUE(clock().waitForFrames(before + 2)) << c.name;
        EXPECT_EQ(sent().back(), kNak5) << c.name;
    }
    EXPECT_EQ(PollTimeClock(m_port, 1, 5, nullptr, m_buffer), 3u);
    EXPECT_EQ(std::string(m_buffer), kHeader5 + kPunch);
}

struct RawReply {
    const char *name;
    std::string bytes;
};

// Replies whose check would read past their end or copy a negative length.
TEST_F(SerialPollPoll, RepliesTooShortForTheirTrailerAreBadChecks)
{
    openClock();
    const RawReply cases[] = {
        {"ETX then EOT", "\x01!%\x02" "0001234567\x03\x04"s},
        {"ETX and one check character", "\x01!%\x02" "0001234567\x03" "1\x04"s},
        {"seven bytes", "\x01!%\x02\x03" "0\x04"s},
        {"a NAK frame", kNak5},
        {"a lone SOH", "\x01\x04"s},
    };
    for (const RawReply &c : cases) {
        clock().injectReply(Frame::Poll, c.bytes);
        EXPECT_EQ(PollTimeClock(m_port, 1, 5, nullptr, m_buffer), 2u) << c.name;
        EXPECT_EQ(m_buffer[0], '\0') << c.name;
    }
}

TEST_F(SerialPollPoll, ShortestGoodRecordGivesEmptyText)
{
    openClock();
    clock().injectReply(Frame::Poll, "\x01!%\x02\x03" "04\x04"s);
    EXPECT_EQ(PollTimeClock(m_port, 1, 5, nullptr, m_buffer), 3u);
    EXPECT_STREQ(m_buffer, "");
}

TEST_F(SerialPollPoll, SilentClockIsNoReplyAfterOneWait)
{
    openClock();
    clock().inject(Frame::Poll, Fault::Silence);
    uint32_t result = 0;
    const double seconds = SecondsFor([&] { result = PollTimeClock(m_port, 1, 5, nullptr, m_buffer); });
    EXPECT_EQ(result, 2u);
    EXPECT_GE(seconds, kReplyWaitMin);
    EXPECT_LE(seconds, kReplyWaitMax);
}

TEST_F(SerialPollPoll, RawClockNumberPollsTheReducedClock)
{
    openClock();
    clock().queueRecord(kPunch);
    EXPECT_EQ(PollTimeClock(m_port, 1, 128 + 5, nullptr, m_buffer), 3u);
    EXPECT_EQ(SendAckTimeClock(m_port, 1, 128 + 5), 0u);
    ASSERT_TRUE(clock().waitForFrames(2));
    EXPECT_EQ(sent(), (std::vector<std::string>{kPoll5, kAck5}));
}

TEST_F(SerialPollPoll, RecordWithoutEotIsNoReply)
{
    openClock();
    clock().queueRecord(kPunch);
    clock().inject(Frame::Poll, Fault::NoEot);
    EXPECT_EQ(PollTimeClock(m_port, 1, 5, nullptr, m_buffer), 2u);
}

TEST_F(SerialPollPoll, RecordSplitAcrossWritesIsReadWhole)
{
    openClock();
    clock().queueRecord(kPunch);
    clock().splitWrites(true);
    EXPECT_EQ(PollTimeClock(m_port, 1, 5, nullptr, m_buffer), 3u);
    EXPECT_EQ(std::string(m_buffer), kHeader5 + kPunch);
}

TEST_F(SerialPollPoll, BytesAfterTheEotAreNotPartOfTheRecord)
{
    openClock();
    clock().injectReply(Frame::Poll, "\x01!%\x02\\A%\x1d" "0001234567 2601151230\x03" "00\x04" "garbage"s);
    EXPECT_EQ(PollTimeClock(m_port, 1, 5, nullptr, m_buffer), 3u);
    EXPECT_EQ(std::string(m_buffer), kHeader5 + kPunch);
}

TEST_F(SerialPollPoll, OverlongReplyIsCutToTheBufferAndRefused)
{
    openClock();
    clock().injectReply(Frame::Poll, "\x01!%\x02" + std::string(600, 'x') + "\x03" "00\x04"s);
    EXPECT_EQ(PollTimeClock(m_port, 1, 5, nullptr, m_buffer), 2u);
    EXPECT_EQ(m_buffer[0], '\0');
}

TEST_F(SerialPollPoll, Terminal32IsPolledAndNakedAs40)
{
    openClock(1, 32);
    clock().inject(Frame::Poll, Fault::CutShort);
    clock().queueRecord(kPunch);
    EXPECT_EQ(PollTimeClock(m_port, 1, 32, nullptr, m_buffer), 2u);
    ASSERT_TRUE(clock().waitForFrames(2));
    EXPECT_EQ(sent(), (std::vector<std::string>{"\x05!@P\x04", "\x01!@\x15\x04"}));
}

TEST_F(SerialPollPoll, UploadFileGetsRecordAndTrailerAndRecordIsAcknowledged)
{
    openClock();
    clock().queueRecord(kPunch);
    const std::string file = path("poll.txt");
    EXPECT_EQ(PollTimeClock(m_port, 1, 5, file.c_str(), m_buffer), 3u);
    const std::string frame = "\x01!%\x02" + kHeader5 + kPunch + "\x03" "00\x04"s;
    EXPECT_EQ(readFile(file), frame.substr(4));
    EXPECT_EQ(std::string(m_buffer), kHeader5 + kPunch);
    ASSERT_TRUE(clock().waitForFrames(2));
    EXPECT_EQ(sent(), (std::vector<std::string>{kPoll5, kAck5}));
    EXPECT_EQ(clock().pendingRecords(), 0u);
}

TEST_F(SerialPollPoll, UploadFileIsReplacedNotOverlaid)
{
    openClock();
    clock().queueRecord("short");
    const std::string file = path("poll.txt");
    writeFile(file, std::string(400, 'o'));
    EXPECT_EQ(PollTimeClock(m_port, 1, 5, file.c_str(), nullptr), 3u);
    const std::string content = readFile(file);
    EXPECT_EQ(content.substr(0, kHeader5.size() + 5), kHeader5 + "short");
    EXPECT_EQ(content.size(), kHeader5.size() + 5 + 4);
}

TEST_F(SerialPollPoll, UnwritableUploadFileIsFileErrorAndRecordStaysUnacknowledged)
{
    openClock();
    clock().queueRecord(kPunch);
    const std::string file = path("missing/poll.txt");
    EXPECT_EQ(PollTimeClock(m_port, 1, 5, file.c_str(), m_buffer), 4u);
    EXPECT_EQ(sent(), (std::vector<std::string>{kPoll5}));
    EXPECT_EQ(clock().pendingRecords(), 1u);
}

class SerialPollWrite : public PortFixture {};

// A descriptor that cannot be written stands for a port whose writes fail.
TEST_F(SerialPollWrite, FailedWritesAreNotSent)
{
    const int readOnly = open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(readOnly, 0);
    EXPECT_EQ(SendAckTimeClock(readOnly, 1, 5), 5u);
    EXPECT_EQ(SendNakTimeClock(readOnly, 1, 5), 5u);
    EXPECT_EQ(SendMsgTimeClock(readOnly, 1, 5, "HELLO"), 5u);
    EXPECT_EQ(PollTimeClock(readOnly, 1, 5, nullptr, nullptr), 5u);
    close(readOnly);
}

} // namespace
} // namespace TevTest
