// Poll log lines into text-target and posting lines, byte for byte.
#include "posting/KovraDS.h"
#include "posting/PostingFile.h"
#include "posting/PunchParse.h"

#include <gtest/gtest.h>

using namespace KovraDS;

namespace {

struct ParseCase {
    const char *name;
    QByteArray line;
    const char *us;       // PunchTextLine month first; nullptr: no line
    const char *eu;       // day first
    const char *posting;  // PostingLine
    bool unreadable;      // counted as passed over
};

// "\x1e" RS, "\x1f" US, "\x1d" GS, "\x03" ETX.
const ParseCase kCases[] = {
    {"plain punch", "P0\x1e" "1234\x1e\x1f" "040309070512\x03", "0,1234,03/09/04,07:05", "0,1234,09/03/04,07:05",
     "1234,03/09/04,07:05", false},
    {"frame header", "\\A!\x1dP0\x1e" "1234\x1e\x1f" "040309070512", "0,1234,03/09/04,07:05", "0,1234,09/03/04,07:05",
     "1234,03/09/04,07:05", false},
    {"extras, empty one dropped", "P1\x1e" "77\x1e\x1f" "0403090705120WO1\x1ePN2\x1e\x1eJC3\x1e\x03junk\x1e",
     "1,77,WO1,PN2,JC3,03/09/04,07:05", "1,77,WO1,PN2,JC3,09/03/04,07:05", "77,WO1,PN2,JC3,03/09/04,07:05", false},
    {"no ETX: fields to the end", "P3\x1e" "77\x1e\x1f" "0403090705120JC\x1etail", "3,77,JC,03/09/04,07:05",
     "3,77,JC,09/03/04,07:05", "77,JC,03/09/04,07:05", false},
    {"separators before the badge", "P0\x1e\x1e" "55\x1e\x1f" "040309070512", "0,55,03/09/04,07:05",
     "0,55,09/03/04,07:05", ",03/09/04,07:05", false},
    {"stamp of ten digits", "P0\x1e" "1\x1e\x1f" "0403090705", "0,1,03/09/04,07:05", "0,1,09/03/04,07:05",
     "1,03/09/04,07:05", false},
    {"badge bytes copied", "P0\x1e" "12\xe9\x1e\x1f" "040309070512", "0,12\xe9,03/09/04,07:05",
     "0,12\xe9,09/03/04,07:05", "12\xe9,03/09/04,07:05", false},
    {"short stamp", "P0\x1e" "1234\x1e\x1f" "04030907", nullptr, nullptr, nullptr, true},
    {"stamp not digits", "P0\x1e" "1234\x1e\x1f" "0403O90705", nullptr, nullptr, nullptr, true},
    {"no RS before the digit", "P0 1234", nullptr, nullptr, nullptr, true},
    {"no RS after the badge", "P0\x1e" "1234", nullptr, nullptr, nullptr, true},
    {"not a punch", "S0\x1e" "1234\x1e\x1f" "040309070512", nullptr, nullptr, nullptr, false},
    {"not a punch after the header", "\\A!\x1dXP0\x1e" "1\x1e\x1f" "040309070512", nullptr, nullptr, nullptr, false},
    {"empty line", "", nullptr, nullptr, nullptr, false},
};

} // namespace

TEST(PollLineParse, EachLineGivesItsTextAndPostingLinesOrIsPassedOver)
{
    for (const ParseCase &c : kCases) {
        SCOPED_TRACE(c.name);
        const struct {
            LineKind kind;
            const char *expected;
        } kinds[] = {{LineKind::TextUS, c.us}, {LineKind::TextEU, c.eu}, {LineKind::Posting, c.posting}};
        for (const auto &k : kinds) {
            state().PassedOver = 0;
            const QByteArray out = ConvertPollLines(c.line + "\r\n", k.kind);
            EXPECT_EQ(out, k.expected ? QByteArray(k.expected) + "\r\n" : QByteArray());
            EXPECT_EQ(state().PassedOver, c.unreadable ? 1 : 0);
        }
    }
}

TEST(PollLineParse, AnUnreadableLineDoesNotStopTheLinesAfterIt)
{
    state().PassedOver = 0;
    const QByteArray poll = "P0\x1e" "1\x1e\x1f" "040309070512\n"
                            "P0\x1e" "2\x1e\x1f" "0403\r\n"
                            "P0\x1e" "3\x1e\x1f" "040309080012";  // the last line has no line end
    EXPECT_EQ(ConvertPollLines(poll, LineKind::Posting), QByteArray("1,03/09/04,07:05\r\n3,03/09/04,08:00\r\n"));
    EXPECT_EQ(state().PassedOver, 1);
}

TEST(PostingLineRead, OnlyExactRowsAreRead)
{
    const struct {
        const char *line;
        int keys;
        bool read;
    } cases[] = {
        {"00123,03/09/04,08:05", 0, true},      {"00123,03/09/04,08:05:59", 0, true},
        {",03/09/04,08:05", 0, false},          {"1,NULL,08:05", 0, false},
        {"1,03/09/04,", 0, false},              {"1,3/9/04,08:05", 0, false},
        {"1,02/30/04,08:05", 0, false},         {"1,03/09/04,24:00", 0, false},
        {"1,W,03/09/04,08:05", 0, false},       {"1,W,P,J,03/09/04,08:05", 3, true},
    };
    for (const auto &c : cases) {
        PostingRow row;
        EXPECT_EQ(ParsePostingLine(QByteArrayView(c.line), c.keys, row), c.read) << c.line;
    }
    PostingRow row;
    ASSERT_TRUE(ParsePostingLine("00123,03/09/04,08:05:59", 0, row));
    EXPECT_EQ(row.Badge, QStringLiteral("00123"));
    EXPECT_EQ(row.Date, QDate(2004, 3, 9));
    EXPECT_EQ(row.Time, QTime(8, 5));
}
