#include "libs/frame/LinkFrame.h"

#include <gtest/gtest.h>

#include <string>

namespace LF = LinkFrame;

namespace {

using namespace std::string_literals;

const LF::Options kLibrary{.wrapTerminal32 = true};
const LF::Options kLibraryRaw{.wrapTerminal32 = true, .raw = true};

struct FrameCase {
    const char *name;
    std::string built;
    std::string expected;
};

TEST(LinkFrameBytes, EveryFrameMatchesItsBytes)
{
    const FrameCase cases[] = {
        {"worked example T10", LF::BuildDataFrame(1, 1, "T10\x1e"),
         "\x01!!\x02\\A!\x1dT10\x1e\x03" "6:\x04"s},
        {"plain message", LF::BuildDataFrame(1, 5, "HELLO"), "\x01!%\x02\\A%\x1dHELLO\x03" "63\x04"s},
        {"empty text", LF::BuildDataFrame(1, 5, ""), "\x01!%\x02\\A%\x1d\x03" "21\x04"s},
        {"controller 8 terminal 32", LF::BuildDataFrame(8, 32, "O10\x1e"),
         "\x01(@\x02\\A@\x1dO10\x1e\x03" "78\x04"s},
        {"library terminal 32 heads with blank", LF::BuildDataFrame(1, 32, "HELLO", kLibrary),
         "\x01! \x02\\A@\x1dHELLO\x03" "03\x04"s},
        {"library terminal 5 unchanged", LF::BuildDataFrame(1, 5, "HELLO", kLibrary),
         "\x01!%\x02\\A%\x1dHELLO\x03" "63\x04"s},
        {"raw frame has no header", LF::BuildDataFrame(1, 5, "HELLO", kLibraryRaw),
         "\x01!%\x02HELLO\x03" "46\x04"s},
        {"select", LF::BuildSelectMsg(1, 5), "\x05!%S\x04"},
        {"select terminal 32 program", LF::BuildSelectMsg(8, 32), "\x05(@S\x04"},
        {"select terminal 32 library", LF::BuildSelectMsg(1, 32, kLibrary), "\x05! S\x04"},
        {"poll", LF::BuildPollMsg(1, 5), "\x05!%P\x04"},
        {"poll terminal 32", LF::BuildPollMsg(1, 32), "\x05!@P\x04"},
        {"host ack", LF::BuildAckMsg(1, 5), "\x01!%\x06\x04"},
        {"host ack terminal 32", LF::BuildAckMsg(1, 32), "\x01!@\x06\x04"},
        {"host nak", LF::BuildNakMsg(2, 7), "\x01\"'\x15\x04"},
        {"clock ack", LF::ExpectedClockAck(1, 5, kLibrary), "\x01!%\x06\x04"},
        {"clock ack terminal 32 library", LF::ExpectedClockAck(1, 32, kLibrary), "\x01!!\x06\x04"},
        {"clock ack terminal 32 program", LF::ExpectedClockAck(1, 32), "\x01!@\x06\x04"},
        {"header", LF::MessageHeader(5), "\\A%\x1d"},
    };
    for (const FrameCase &c : cases)
        EXPECT_EQ(c.built, c.expected) << c.name;
}

TEST(LinkFrameLrc, WorkedExampleGivesSixAndColon)
{
    const LF::Lrc lrc = LF::FrameLrc("\x01!!\x02\\A!\x1dT10\x1e\x03");
    EXPECT_EQ(lrc.high, 0x6);
    EXPECT_EQ(lrc.low, 0xA);
    EXPECT_EQ(LF::LrcChar(lrc.high), '6');
    EXPECT_EQ(LF::LrcChar(lrc.low), ':');
}

TEST(LinkFrameLrc, NibblesAboveNineTravelAsColonToQuestionMark)
{
    const std::string expected = "0123456789:;<=>?";
    for (int nibble = 0; nibble < 16; ++nibble)
        EXPECT_EQ(LF::LrcChar(nibble), expected[static_cast<size_t>(nibble)]) << nibble;
}

TEST(LinkFrameLrc, BytesAbove127AreXoredUnsigned)
{
    const LF::Lrc lrc = LF::FrameLrc("\xF0\x0F\xA5"s);
    EXPECT_EQ(lrc.high, 0x5);
    EXPECT_EQ(lrc.low, 0xA);
}

struct CheckCase {
    const char *name;
    std::string reply;
    bool good;
};

TEST(LinkFrameReplyCheck, AcceptsOnlyFramesWhoseCheckMatches)
{
    const std::string record = "\x01!%\x02\\A%\x1d" "1234567890123\x03" "10\x04"s;
    const CheckCase cases[] = {
        {"good record", record, true},
        {"wrong first check character", "\x01!%\x02\\A%\x1d" "1234567890123\x03" "20\x04"s, false},
        {"wrong second check character", "\x01!%\x02\\A%\x1d" "1234567890123\x03" "11\x04"s, false},
        {"only low four bits compared", "\x01!%\x02\\A%\x1d" "1234567890123\x03" "A@\x04"s, true},
        {"no ETX", "\x01!%\x02\\A%\x1d" "1234567890123" "10\x04"s, false},
        {"ETX last", "\x01!%\x02" "abc\x03"s, false},
        {"one character after ETX", "\x01!%\x02" "abc\x03\x04"s, false},
        {"empty", "", false},
        {"the first ETX counts", "\x01!%\x02" "a\x03" "65" "b\x03" "04\x04"s, true},
    };
    for (const CheckCase &c : cases)
        EXPECT_EQ(LF::ReplyCheckGood(c.reply), c.good) << c.name;
}

TEST(LinkFrameReplyCheck, EveryBuiltFramePassesItsOwnCheck)
{
    for (int terminal = 1; terminal <= 32; ++terminal)
        EXPECT_TRUE(LF::ReplyCheckGood(LF::BuildDataFrame(3, terminal, "0001234567 2401011230")))
            << terminal;
}

} // namespace
