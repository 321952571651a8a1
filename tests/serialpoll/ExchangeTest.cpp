// Messages and time set: select, data frame, the clock's acknowledgement and
// the retries around them.
#include "tests/serialpoll/PortFixture.h"

#include <algorithm>
#include <ctime>
#include <string>
#include <vector>

namespace TevTest {
namespace {

using namespace std::string_literals;

const std::string kSelect5 = "\x05!%S\x04";
const std::string kHello5 = "\x01!%\x02\\A%\x1dHELLO\x03" "63\x04"s;

class SerialPollMessage : public PortFixture {};

std::vector<std::string> Bytes(const std::vector<EmulatedSerialClock::Received> &frames)
{
    std::vector<std::string> bytes;
    for (const auto &f : frames)
        bytes.push_back(f.bytes);
    return bytes;
}

std::size_t Count(const std::vector<Frame> &kinds, Frame kind)
{
    return static_cast<std::size_t>(std::count(kinds.begin(), kinds.end(), kind));
}

TEST_F(SerialPollMessage, MessageGoesOutAsSelectThenHeaderedFrame)
{
    openClock();
    EXPECT_EQ(SendMsgTimeClock(m_port, 1, 5, "HELLO"), 0u);
    EXPECT_EQ(Bytes(clock().received()), (std::vector<std::string>{kSelect5, kHello5}));
}

TEST_F(SerialPollMessage, Terminal32HeadsWithBlankAndAwaitsExclamationAck)
{
    openClock(1, 32);
    EXPECT_EQ(SendMsgTimeClock(m_port, 1, 32, "HELLO"), 0u);
    EXPECT_EQ(Bytes(clock().received()),
              (std::vector<std::string>{"\x05! S\x04", "\x01! \x02\\A@\x1dHELLO\x03" "03\x04"s}));
}

TEST_F(SerialPollMessage, Terminal32AckWithItsOwnAddressIsNotAccepted)
{
    openClock(1, 32);
    clock().injectReply(Frame::Select, "\x01!@\x06\x04", 50);
    EXPECT_EQ(SendMsgTimeClock(m_port, 1, 32, "HELLO"), 1u);
    EXPECT_EQ(clock().acceptedTexts().size(), 0u);
}

TEST_F(SerialPollMessage, ClockAbove128GetsRawFrameAfterSelectOfReducedClock)
{
    openClock();
    EXPECT_EQ(SendMsgTimeClock(m_port, 1, 128 + 5, "HELLO"), 0u);
    EXPECT_EQ(Bytes(clock().received()),
              (std::vector<std::string>{kSelect5, "\x01!%\x02HELLO\x03" "46\x04"s}));
}

TEST_F(SerialPollMessage, SelectRetriedUntilTheClockAcknowledges)
{
    openClock();
    clock().inject(Frame::Select, Fault::Nak, 3);
    clock().inject(Frame::Select, Fault::WrongAddress, 45);
    EXPECT_EQ(SendMsgTimeClock(m_port, 1, 5, "HELLO"), 0u);
    EXPECT_EQ(Count(clock().receivedKinds(), Frame::Select), 49u);
    EXPECT_EQ(clock().acceptedTexts(), (std::vector<std::string>{"\\A%\x1dHELLO"}));
}

TEST_F(SerialPollMessage, FiftiethWrongSelectReplyGivesUpWithoutSendingText)
{
    openClock();
    clock().inject(Frame::Select, Fault::WrongAddress, 50);
    EXPECT_EQ(SendMsgTimeClock(m_port, 1, 5, "HELLO"), 1u);
    const auto kinds = clock().receivedKinds();
    EXPECT_EQ(Count(kinds, Frame::Select), 50u);
    EXPECT_EQ(Count(kinds, Frame::Data), 0u);
}

TEST_F(SerialPollMessage, SilentClockGivesNoReplyAfterOneWait)
{
    openClock();
    clock().inject(Frame::Select, Fault::Silence);
    uint32_t result = 0;
    const double seconds = SecondsFor([&] { result = SendMsgTimeClock(m_port, 1, 5, "HELLO"); });
    EXPECT_EQ(result, 2u);
    EXPECT_GE(seconds, kReplyWaitMin);
    EXPECT_LE(seconds, kReplyWaitMax);
    EXPECT_EQ(clock().receivedKinds(), (std::vector<Frame>{Frame::Select}));
}

TEST_F(SerialPollMessage, SelectAnswerWithoutEotIsNoReply)
{
    openClock();
    clock().inject(Frame::Select, Fault::NoEot);
    EXPECT_EQ(SendMsgTimeClock(m_port, 1, 5, "HELLO"), 2u);
}

TEST_F(SerialPollMessage, NakedMessageIsSelectedAndSentAgain)
{
    openClock();
    clock().inject(Frame::Data, Fault::Nak, 14);
    EXPECT_EQ(SendMsgTimeClock(m_port, 1, 5, "HELLO"), 0u);
    const auto kinds = clock().receivedKinds();
    EXPECT_EQ(Count(kinds, Frame::Select), 15u);
    EXPECT_EQ(Count(kinds, Frame::Data), 15u);
    EXPECT_EQ(kinds.front(), Frame::Select);
    for (std::size_t i = 0; i + 1 < kinds.size(); i += 2)
        EXPECT_EQ(kinds[i], Frame::Select) << "frame " << i;
}

TEST_F(SerialPollMessage, FifteenthWrongMessageReplyGivesUp)
{
    openClock();
    clock().inject(Frame::Data, Fault::Nak, 15);
    EXPECT_EQ(SendMsgTimeClock(m_port, 1, 5, "HELLO"), 1u);
    EXPECT_EQ(Count(clock().receivedKinds(), Frame::Data), 15u);
}

TEST_F(SerialPollMessage, FifthFailedMessageExchangeGivesUp)
{
    openClock();
    clock().inject(Frame::Data, Fault::Silence, 5);
    EXPECT_EQ(SendMsgTimeClock(m_port, 1, 5, "HELLO"), 1u);
    const auto kinds = clock().receivedKinds();
    EXPECT_EQ(Count(kinds, Frame::Data), 5u);
    EXPECT_EQ(Count(kinds, Frame::Select), 5u);
}

TEST_F(SerialPollMessage, AnswersSplitAcrossWritesAreReadWhole)
{
    openClock();
    clock().splitWrites(true);
    EXPECT_EQ(SendMsgTimeClock(m_port, 1, 5, "HELLO"), 0u);
    EXPECT_EQ(clock().acceptedTexts().size(), 1u);
}

TEST_F(SerialPollMessage, BytesAfterTheEotDoNotSpoilTheAck)
{
    openClock();
    clock().injectReply(Frame::Data, "\x01!%\x06\x04junk");
    EXPECT_EQ(SendMsgTimeClock(m_port, 1, 5, "HELLO"), 0u);
}

struct LengthCase {
    int clock;
    std::size_t length;
    uint32_t result;
};

TEST_F(SerialPollMessage, TextTooLongForTheFrameIsRefusedUnsent)
{
    openClock();
    const LengthCase cases[] = {
        {5, 262, 0}, {5, 263, 1}, {5, 274, 1}, {5, 5000, 1},  // header frames hold 262
        {133, 266, 0}, {133, 267, 1},                         // raw frames 266
    };
    for (const LengthCase &c : cases) {
        const std::size_t before = clock().received().size();
        EXPECT_EQ(SendMsgTimeClock(m_port, 1, c.clock, std::string(c.length, 'x').c_str()), c.result)
            << c.clock << " " << c.length;
        if (c.result != 0) {
            EXPECT_EQ(clock().received().size(), before) << "sent something for " << c.length;
        }
    }
}

TEST_F(SerialPollMessage, NullMessageIsRefusedUnsent)
{
    openClock();
    EXPECT_EQ(SendMsgTimeClock(m_port, 1, 5, nullptr), 1u);
    EXPECT_TRUE(clock().received().empty());
}

class SerialPollSetTime : public PortFixture {};

// The time text's moment, parsed back; -1 when it is not "T00" and twelve digits.
time_t TimeOf(const std::string &text)
{
    if (text.size() != 15 || text.compare(0, 3, "T00") != 0 ||
        text.find_first_not_of("0123456789", 3) != std::string::npos)
        return -1;
    auto two = [&](std::size_t at) { return std::stoi(text.substr(at, 2)); };
    tm t{};
    t.tm_year = two(3) + 100;
    t.tm_mon = two(5) - 1;
    t.tm_mday = two(7);
    t.tm_hour = two(9);
    t.tm_min = two(11);
    t.tm_sec = two(13);
    t.tm_isdst = -1;
    return mktime(&t);
}

TEST_F(SerialPollSetTime, TimeIsSentTwiceAsLocalDateAndTime)
{
    openClock();
    const time_t before = time(nullptr);
    EXPECT_EQ(SetTimeClock(m_port, 1, 5), 0u);
    const time_t after = time(nullptr);
    const auto texts = clock().acceptedTexts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0], texts[1]);
    const std::string header = "\\A%\x1d";
    ASSERT_EQ(texts[0].compare(0, header.size(), header), 0);
    const time_t sent = TimeOf(texts[0].substr(header.size()));
    EXPECT_GE(sent, before - 1);
    EXPECT_LE(sent, after + 1);
}

TEST_F(SerialPollSetTime, FailedFirstSendIsNotRepeated)
{
    openClock();
    clock().inject(Frame::Data, Fault::Nak, 15);
    EXPECT_EQ(SetTimeClock(m_port, 1, 5), 1u);
    EXPECT_EQ(Count(clock().receivedKinds(), Frame::Data), 15u);
}

TEST_F(SerialPollSetTime, FailedSecondSendIsReported)
{
    openClock();
    clock().inject(Frame::Select, Fault::Silence, 1, 1);
    EXPECT_EQ(SetTimeClock(m_port, 1, 5), 2u);
    EXPECT_EQ(clock().acceptedTexts().size(), 1u);
}

} // namespace
} // namespace TevTest
