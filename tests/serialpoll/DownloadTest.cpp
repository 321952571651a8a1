// Command-file downloads: one data frame per line, stopping at the first
// line that fails.
#include "tests/serialpoll/PortFixture.h"

#include <string>
#include <vector>

namespace TevTest {
namespace {

using namespace std::string_literals;

const std::string kHeader5 = "\\A%\x1d";

class SerialPollDownload : public PortFixture {
protected:
    uint32_t download(const std::string &content, int32_t clockNumber = kTerminal)
    {
        const std::string file = path("TEVCMD.DLD");
        writeFile(file, content);
        return DownloadTimeClock(m_port, kController, clockNumber, file.c_str());
    }

    std::vector<std::string> headed(const std::vector<std::string> &lines)
    {
        std::vector<std::string> texts;
        for (const std::string &line : lines)
            texts.push_back(kHeader5 + line);
        return texts;
    }
};

TEST_F(SerialPollDownload, EachLineGoesOutAsOneFrameWithLineEndsDropped)
{
    openClock();
    EXPECT_EQ(download("LPB00\x1e\r\nT10\x1e\r\nO10\x1e"), 0u);
    EXPECT_EQ(clock().acceptedTexts(), headed({"LPB00\x1e", "T10\x1e", "O10\x1e"}));
}

TEST_F(SerialPollDownload, LinesLongerThanOneFileChunkArriveWhole)
{
    openClock();
    const std::string a(200, 'a'), b(200, 'b');
    EXPECT_EQ(download(a + "\r\n" + b + "\r\n"), 0u);
    EXPECT_EQ(clock().acceptedTexts(), headed({a, b}));
}

TEST_F(SerialPollDownload, CarriageReturnAloneEndsALineAndLoneLineFeedsVanish)
{
    openClock();
    EXPECT_EQ(download("A\rB\nC\r"), 0u);
    EXPECT_EQ(clock().acceptedTexts(), headed({"A", "BC"}));
}

TEST_F(SerialPollDownload, RawClockGetsEveryLineRaw)
{
    openClock();
    EXPECT_EQ(download("A\r\nB\r\n", 128 + 5), 0u);
    EXPECT_EQ(clock().acceptedTexts(), (std::vector<std::string>{"A", "B"}));
}

TEST_F(SerialPollDownload, EmptyFileSendsNothing)
{
    openClock();
    EXPECT_EQ(download(""), 0u);
    EXPECT_TRUE(clock().received().empty());
}

TEST_F(SerialPollDownload, FirstFailingLineStopsTheDownloadWithItsCode)
{
    openClock();
    clock().inject(Frame::Data, Fault::Nak, 15, 1);
    EXPECT_EQ(download("one\r\ntwo\r\nthree\r\n"), 1u);
    EXPECT_EQ(clock().acceptedTexts(), headed({"one"}));
    for (const auto &frame : clock().received())
        EXPECT_EQ(frame.bytes.find("three"), std::string::npos);
}

TEST_F(SerialPollDownload, SilentClockStopsTheDownloadAtOnce)
{
    openClock();
    clock().inject(Frame::Select, Fault::Silence);
    EXPECT_EQ(download("one\r\ntwo\r\n"), 2u);
    EXPECT_EQ(clock().receivedKinds(), (std::vector<Frame>{Frame::Select}));
}

TEST_F(SerialPollDownload, OverlongLineStopsWithOneAfterTheLinesBefore)
{
    openClock();
    const std::string cases[] = {std::string(263, 'x'), std::string(274, 'x'), std::string(5000, 'x')};
    for (const std::string &line : cases) {
        const std::size_t before = clock().acceptedTexts().size();
        EXPECT_EQ(download("one\r\n" + line + "\r\nthree\r\n"), 1u) << line.size();
        const auto texts = clock().acceptedTexts();
        ASSERT_EQ(texts.size(), before + 1) << line.size();
        EXPECT_EQ(texts.back(), kHeader5 + "one");
    }
}

TEST_F(SerialPollDownload, LongestLineThatFitsIsSent)
{
    openClock();
    const std::string line(262, 'x');
    EXPECT_EQ(download(line + "\r\n"), 0u);
    EXPECT_EQ(clock().acceptedTexts(), headed({line}));
}

TEST_F(SerialPollDownload, MissingOrUnnamedFileIsFileError)
{
    openClock();
    EXPECT_EQ(DownloadTimeClock(m_port, 1, 5, path("absent.dld").c_str()), 4u);
    EXPECT_EQ(DownloadTimeClock(m_port, 1, 5, nullptr), 4u);
    EXPECT_EQ(DownloadTimeClock(m_port, 1, 5, m_dir.c_str()), 4u);
    EXPECT_TRUE(clock().received().empty());
}

} // namespace
} // namespace TevTest
