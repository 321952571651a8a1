// End to end: the built libraries, loaded as the program loads them, against
// emulated clocks on loopback.
#include "LinkFixture.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

using namespace tevtest;
using namespace std::chrono_literals;

namespace {

const std::string kPunch = punchRecord(1, "0000012345", "040305140709");

std::string framed(int clock, const std::string &text)
{
    return std::string("\\A") + static_cast<char>(clock + 0x20) + '\x1D' + text;
}

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

int openDescriptors()
{
    int n = 0;
    DIR *d = opendir("/proc/self/fd");
    while (dirent *e = readdir(d))
        n += e->d_name[0] != '.';
    closedir(d);
    return n - 1;  // the directory's own
}

// Captures what the library prints on standard output.
class StdoutCapture {
public:
    explicit StdoutCapture(const std::string &path) : path_(path)
    {
        std::fflush(stdout);
        saved_ = dup(1);
        int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(fd, 1);
        close(fd);
    }
    std::string finish()
    {
        std::fflush(stdout);
        dup2(saved_, 1);
        close(saved_);
        return readFile(path_);
    }

private:
    std::string path_;
    int saved_;
};

using TcpLinkStart = LinkTest;
using TcpLinkPoll = LinkTest;
using TcpLinkAck = LinkTest;
using TcpLinkSend = LinkTest;
using TcpLinkDownload = LinkTest;
using TcpLinkLifecycle = LinkTest;

TEST_F(TcpLinkStart, NeverConnectedClockIsNotConnectedWithNulFirst)
{
    start(lib32());
    Poll p = poll(lib32(), 1, 1);
    EXPECT_EQ(p.status, 2u);
    EXPECT_EQ(buffer_[0], '\0');
    EXPECT_EQ(p.written, 1u);
}

TEST_F(TcpLinkStart, LowestControllerNumberIsNotConnectedWithoutOverflow)
{
    start(lib32());
    EXPECT_EQ(poll(lib32(), INT32_MIN, 1).status, 2u);
}

TEST_F(TcpLinkStart, ConnectedClockWithNothingWaitingGivesEot)
{
    start(lib32());
    TcpClock clock(clockAddress(1), port_);
    connectClock(lib32(), clock, 1);
    Poll p = poll(lib32(), 1, 1);
    EXPECT_EQ(p.status, 0u);
    EXPECT_EQ(buffer_[0], '\x04');
}

TEST_F(TcpLinkStart, NullHandlePointerIsNotDereferenced)
{
    EXPECT_EQ(lib32().InitComPort(nullptr, 1, 9600, 0, 7, 2), 0u);
}

TEST_F(TcpLinkStart, HostAliasMissingFromHostsFileFailsWithEnoent)
{
    writeHosts("127.0.0.1 localhost\n");
    StdoutCapture capture(dir_ + "/stdout.txt");
    intptr_t h = 0;
    EXPECT_EQ(lib32().InitComPort(&h, 1, 9600, 1, 7, 2), static_cast<uint32_t>(ENOENT));
    EXPECT_EQ(capture.finish(), "\nNetwork started up with version = 1.1\n"
                                "\nCan't find local IP address,WSAgetLastError() = 2\n");
    EXPECT_EQ(poll(lib32(), 1, 1).status, 2u);
}

TEST_F(TcpLinkStart, WithoutPortVariableOrServiceTheLinkListensOn2500)
{
    servent *service = getservbyname(HostAlias, "tcp");
    if (service != nullptr)
        GTEST_SKIP() << "the services database names a port for " << HostAlias;
    TcpClock probe(clockAddress(1), 2500);
    if (probe.connect(50ms))
        GTEST_SKIP() << "port 2500 is busy";
    unsetenv("TEV_TCP_PORT");
    StdoutCapture capture(dir_ + "/stdout.txt");
    intptr_t h = 0;
    uint32_t started = lib32().InitComPort(&h, 1, 9600, 1, 7, 2);
    std::string out = capture.finish();
    if (started == EADDRINUSE)
        GTEST_SKIP() << "port 2500 is busy";
    ASSERT_EQ(started, 0u);
    EXPECT_EQ(out, "\nNetwork started up with version = 1.1\n\nUsing default port number = 2500\n");
    EXPECT_EQ(poll(lib32(), 1, 1).status, 2u);
    TcpClock clock(clockAddress(1), 2500);
    connectClock(lib32(), clock, 1);
}

TEST_F(TcpLinkStart, PortVariableWithoutANumberFailsWithEinval)
{
    for (const char *bad : {"25x", "0", "70000", "-1"}) {
        setenv("TEV_TCP_PORT", bad, 1);
        intptr_t h = 0;
        EXPECT_EQ(lib32().InitComPort(&h, 1, 9600, 0, 7, 2), static_cast<uint32_t>(EINVAL)) << bad;
    }
}

// The port of a listening socket of this process bound to the wildcard
// address, or 0 when there is none.
uint16_t wildcardListeningPort()
{
    for (int fd = 0; fd < 1024; ++fd) {
        int listening = 0;
        socklen_t size = sizeof listening;
        if (getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &size) != 0 || !listening)
            continue;
        sockaddr_in local{};
        socklen_t length = sizeof local;
        if (getsockname(fd, reinterpret_cast<sockaddr *>(&local), &length) == 0 &&
            local.sin_family == AF_INET && local.sin_addr.s_addr == htonl(INADDR_ANY))
            return ntohs(local.sin_port);
    }
    return 0;
}

TEST_F(TcpLinkStart, FailedRestartBeforeTheFirstPollNeverListensOnEveryAddress)
{
    intptr_t h = 0;
    ASSERT_EQ(lib32().InitComPort(&h, 1, 9600, 0, 7, 2), 0u);
    writeHosts("127.0.0.2 tevterm001\n");
    ASSERT_EQ(lib32().InitComPort(&h, 1, 9600, 0, 7, 2), static_cast<uint32_t>(ENOENT));

    // Should the poll block in an accept, a caller releases it so the test
    // fails instead of hanging.
    std::atomic<bool> returned{false};
    std::thread watchdog([&] {
        for (int i = 0; i < 200 && !returned; ++i)
            std::this_thread::sleep_for(10ms);
        if (uint16_t port = wildcardListeningPort(); !returned && port != 0) {
            TcpClock caller("127.0.0.1", port);
            caller.connect(1s);
        }
    });
    uint32_t status = poll(lib32(), 1, 1).status;
    returned = true;
    watchdog.join();
    EXPECT_EQ(status, 2u);
    EXPECT_EQ(wildcardListeningPort(), 0);
}

TEST_F(TcpLinkStart, ListenerBindsOnlyTheHostAliasAddress)
{
    writeHosts("127.0.0.5 tevhost001\n127.0.0.2 tevterm001\n");
    start(lib32());
    TcpClock wrongAddress(clockAddress(1), port_, "127.0.0.1");
    EXPECT_FALSE(wrongAddress.connect(200ms));
    TcpClock clock(clockAddress(1), port_, "127.0.0.5");
    connectClock(lib32(), clock, 1);
}

TEST_F(TcpLinkPoll, PunchComesBackWithEtxAndNulAndNothingBeyond)
{
    start(lib32());
    TcpClock clock(clockAddress(1), port_);
    connectClock(lib32(), clock, 1);
    ASSERT_TRUE(clock.send(kPunch));
    Poll p = pollWhile(lib32(), 1, 1, 0);
    EXPECT_EQ(p.status, 3u);
    EXPECT_EQ(p.data, kPunch);
    EXPECT_EQ(p.written, kPunch.size() + 2);
}

TEST_F(TcpLinkPoll, EveryByteValueIncludingNulComesBackUnchanged)
{
    start(lib32());
    TcpClock clock(clockAddress(1), port_);
    connectClock(lib32(), clock, 1);
    std::string garbage;
    for (int i = 0; i < 256; ++i)
        garbage += static_cast<char>(i);
    garbage += std::string("\0\0\x03\0tail", 8);
    ASSERT_TRUE(clock.send(garbage));
    EXPECT_EQ(collect(lib32(), 1, garbage.size()), garbage);
}

TEST_F(TcpLinkPoll, BurstOf20000BytesArrivesWholeAndNoCallWritesPast1502)
{
    start(lib32());
    TcpClock clock(clockAddress(1), port_);
    connectClock(lib32(), clock, 1);
    std::string burst;
    for (int i = 0; i < 20000; ++i)
        burst += static_cast<char>('A' + i % 26);
    std::thread sender([&] { clock.send(burst, 10s); });
    std::string got;
    std::size_t mostWritten = 0;
    auto deadline = std::chrono::steady_clock::now() + 10s;
    while (got.size() < burst.size() && std::chrono::steady_clock::now() < deadline) {
        Poll p = poll(lib32(), 1, 1);
        mostWritten = std::max(mostWritten, p.written);
        if (p.status == 3)
            got += p.data;
        else
            ASSERT_EQ(p.status, 0u);
    }
    sender.join();
    EXPECT_EQ(got, burst);
    EXPECT_LE(mostWritten, 1502u);
}

TEST_F(TcpLinkPoll, DisconnectGivesNotConnectedAndTheReconnectionIsAccepted)
{
    start(lib32());
    TcpClock clock(clockAddress(1), port_);
    connectClock(lib32(), clock, 1);
    clock.disconnect();
    EXPECT_EQ(pollWhile(lib32(), 1, 1, 0).status, 2u);
    EXPECT_EQ(poll(lib32(), 1, 1).status, 2u);
    ASSERT_TRUE(clock.reconnect());
    connectClock(lib32(), clock, 1);
    ASSERT_TRUE(clock.send(kPunch));
    EXPECT_EQ(collect(lib32(), 1, kPunch.size()), kPunch);
}

TEST_F(TcpLinkPoll, ResetClockMidStreamGivesNotConnected)
{
    start(lib32());
    TcpClock clock(clockAddress(1), port_);
    connectClock(lib32(), clock, 1);
    ASSERT_TRUE(clock.send(std::string(3000, 'x')));
    clock.reset();
    Poll p = pollWhile(lib32(), 1, 1, 0);
    while (p.status == 3)
        p = pollWhile(lib32(), 1, 1, 0);
    EXPECT_EQ(p.status, 2u);
}

TEST_F(TcpLinkPoll, UnknownAddressIsRefusedWith6AndTheClocksDataWaits)
{
    start(lib32());
    TcpClock clock(clockAddress(1), port_);
    connectClock(lib32(), clock, 1);
    ASSERT_TRUE(clock.send(kPunch));
    TcpClock stranger("127.0.0.200", port_);
    ASSERT_TRUE(stranger.connect());
    Poll refused = pollWhile(lib32(), 1, 1, 0);
    ASSERT_EQ(refused.status, 6u);
    EXPECT_EQ(refused.written, 0u);
    char address[16];
    std::memset(address, 'x', sizeof address);
    EXPECT_EQ(lib32().UnKnownIP(address), 6u);
    EXPECT_STREQ(address, "127.0.0.200");
    EXPECT_EQ(collect(lib32(), 1, kPunch.size()), kPunch);
    EXPECT_FALSE(stranger.pump(1s));
}

TEST_F(TcpLinkPoll, FullTableRefusesANewAddressButReplacesAKnownOne)
{
    std::string hosts = "127.0.0.1 tevhost001\n";
    for (int n = 1; n <= 129; ++n) {
        char name[16];
        std::snprintf(name, sizeof name, "tevterm%03d", n);
        hosts += clockAddress(n) + " " + name + "\n";
    }
    writeHosts(hosts);
    start(lib32());
    std::vector<std::unique_ptr<TcpClock>> clocks;
    for (int n = 1; n <= 128; ++n) {
        clocks.push_back(std::make_unique<TcpClock>(clockAddress(n), port_));
        connectClock(lib32(), *clocks.back(), n);
    }
    TcpClock extra(clockAddress(129), port_);
    ASSERT_TRUE(extra.connect());
    EXPECT_EQ(pollWhile(lib32(), 1, 1, 0).status, 6u);
    char address[16];
    lib32().UnKnownIP(address);
    EXPECT_EQ(std::string(address), clockAddress(129));

    // Clock 5 comes back while its old connection is still in the table.
    TcpClock again(clockAddress(5), port_);
    ASSERT_TRUE(again.connect());
    EXPECT_EQ(pollWhile(lib32(), 1, 5, 0, 300ms).status, 0u);
    EXPECT_FALSE(clocks[4]->pump(1s));
    ASSERT_TRUE(again.send(kPunch));
    EXPECT_EQ(collect(lib32(), 5, kPunch.size()), kPunch);
}

TEST_F(TcpLinkPoll, HostNameLongerThanTheEntryIsCutToNineteenCharacters)
{
    const std::string longName = "tevterm001.clocks.example.com";
    writeHosts("127.0.0.1 tevhost001\n" + clockAddress(1) + " " + longName + "\n");
    start(lib32());
    TcpClock clock(clockAddress(1), port_);
    ASSERT_TRUE(clock.connect());
    EXPECT_EQ(pollWhile(lib32(), 1, 1, 2, 300ms).status, 2u);  // not a clock name
    cl_list *entry = lib32().GetClientList(longName.substr(0, 19).c_str());
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(std::string(entry->ClNameStr, 19), longName.substr(0, 19));
    EXPECT_EQ(entry->ClNameStr[19], '\0');
    EXPECT_EQ(entry->ClIpAddress, htonl(0x7F000002));
}

TEST_F(TcpLinkPoll, PollFileIsTruncatedAndKeepsBytesAfterANul)
{
    start(lib32());
    TcpClock clock(clockAddress(1), port_);
    connectClock(lib32(), clock, 1);
    std::string file = dir_ + "/poll.txt";
    std::ofstream(file) << std::string(5000, 'o');
    const std::string data("AB\0CD", 5);
    ASSERT_TRUE(clock.send(data));
    uint32_t status = pollWithFile(file.c_str(), buffer_.data());
    EXPECT_EQ(status, 3u);
    EXPECT_EQ(readFile(file), data + "\r");
    EXPECT_EQ(std::string(buffer_.data(), 7), data + std::string("\x03\0", 2));
}

TEST_F(TcpLinkPoll, UnwritablePollFileIsAFileError)
{
    start(lib32());
    TcpClock clock(clockAddress(1), port_);
    connectClock(lib32(), clock, 1);
    ASSERT_TRUE(clock.send(kPunch));
    std::string file = dir_ + "/no-such-folder/poll.txt";
    uint32_t status = pollWithFile(file.c_str(), nullptr);
    EXPECT_EQ(status, 4u);
}

TEST_F(TcpLinkPoll, PollWithNeitherBufferNorFileLeavesTheDataWaiting)
{
    start(lib32());
    TcpClock clock(clockAddress(1), port_);
    connectClock(lib32(), clock, 1);
    EXPECT_EQ(lib32().PollTimeClock(1, 1, 1, nullptr, nullptr), 0u);
    ASSERT_TRUE(clock.send(kPunch));
    uint32_t status = pollWithFile(nullptr, nullptr);
    EXPECT_EQ(status, 4u);
    EXPECT_EQ(collect(lib32(), 1, kPunch.size()), kPunch);
}

TEST_F(TcpLinkAck, AcknowledgementTextsOnTheWire)
{
    start(lib32());
    TcpClock clock(clockAddress(7), port_);
    connectClock(lib32(), clock, 7);

    EXPECT_EQ(lib32().SendAckTimeClock(1, 1, 7), 1u);  // not in acknowledgement mode
    EXPECT_EQ(lib32().AckRequired(1, 1, 7, 1), 1u);
    EXPECT_EQ(lib32().SendAckTimeClock(1, 1, 7), 0u);
    EXPECT_EQ(lib32().SendNakTimeClock(1, 1, 7), 0u);
    EXPECT_EQ(lib32().AckRequired(1, 1, 7, 0), 1u);
    EXPECT_EQ(lib32().SendAckTimeClock(1, 1, 7), 1u);
    EXPECT_EQ(lib32().SendNakTimeClock(1, 1, 7), 1u);

    ASSERT_TRUE(clock.waitForMessages(4));
    EXPECT_EQ(clock.stream(), framed(7, " TEV REQ") + framed(7, " TEV ACK") +
                                  framed(7, " TEV NAK") + framed(7, " TEV NOT"));
    EXPECT_FALSE(clock.ackMode());

    // A clock not in the table.
    EXPECT_EQ(lib32().SendAckTimeClock(1, 1, 9), 0u);
    EXPECT_EQ(lib32().SendNakTimeClock(1, 1, 9), 0u);
    EXPECT_EQ(lib32().AckRequired(1, 1, 9, 1), 0u);
}

TEST_F(TcpLinkAck, ReconnectedClockIsAskedAgainNotThePolledOne)
{
    start(lib32());
    TcpClock one(clockAddress(1), port_), two(clockAddress(2), port_);
    connectClock(lib32(), one, 1);
    connectClock(lib32(), two, 2);
    ASSERT_EQ(lib32().AckRequired(1, 1, 2, 1), 1u);
    ASSERT_TRUE(two.waitForMessages(1));
    ASSERT_TRUE(two.ackMode());

    two.reset();
    ASSERT_TRUE(two.reconnect());
    EXPECT_FALSE(two.ackMode());
    EXPECT_EQ(pollWhile(lib32(), 1, 1, 0, 300ms).status, 0u);  // accepts the reconnection

    ASSERT_TRUE(two.waitForMessages(1));
    EXPECT_EQ(two.stream(), framed(2, " TEV REQ"));
    EXPECT_TRUE(two.ackMode());
    EXPECT_FALSE(one.pump(100ms) && !one.stream().empty());
    EXPECT_TRUE(one.stream().empty());
    EXPECT_EQ(lib32().SendAckTimeClock(1, 1, 2), 0u);
}

TEST_F(TcpLinkAck, ClockInAFreedEntryDoesNotInheritAnotherClocksMode)
{
    start(lib32());
    TcpClock one(clockAddress(1), port_), two(clockAddress(2), port_);
    connectClock(lib32(), one, 1);
    ASSERT_EQ(lib32().AckRequired(1, 1, 1, 1), 1u);
    one.disconnect();
    ASSERT_EQ(pollWhile(lib32(), 1, 1, 0).status, 2u);

    connectClock(lib32(), two, 2);
    EXPECT_EQ(lib32().SendAckTimeClock(1, 1, 2), 1u);

    // The first clock still finds its mode when it comes back.
    ASSERT_TRUE(one.connect());
    connectClock(lib32(), one, 1);
    ASSERT_TRUE(one.waitForMessages(1));
    EXPECT_EQ(one.stream(), framed(1, " TEV REQ"));
    EXPECT_EQ(lib32().SendAckTimeClock(1, 1, 1), 0u);
}

TEST_F(TcpLinkSend, SetTimeSendsTheLocalDateAndTime)
{
    start(lib32());
    TcpClock clock(clockAddress(33), port_);
    connectClock(lib32(), clock, 33);
    std::time_t before = std::time(nullptr);
    ASSERT_EQ(lib32().SetTimeClock(1, 2, 1), 0u);
    ASSERT_TRUE(clock.waitForMessages(1));
    std::vector<PcMessage> m = clock.messages();
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].clockChar, '!');
    ASSERT_EQ(m[0].text.size(), 15u);
    ASSERT_EQ(m[0].text.substr(0, 3), "T00");
    std::tm sent{};
    ASSERT_NE(strptime(m[0].text.c_str() + 3, "%y%m%d%H%M%S", &sent), nullptr);
    sent.tm_isdst = -1;
    EXPECT_LE(std::abs(std::difftime(std::mktime(&sent), before)), 5.0);
}

TEST_F(TcpLinkSend, OverlongMessageIsRefusedAndNothingIsSent)
{
    start(lib32());
    TcpClock clock(clockAddress(1), port_);
    connectClock(lib32(), clock, 1);
    const std::string longest(749, 'm');
    EXPECT_EQ(lib32().SendMsgTimeClock(1, 1, 1, (longest + "m").c_str()), 1u);
    EXPECT_EQ(lib32().SendMsgTimeClock(1, 1, 1, nullptr), 1u);
    EXPECT_EQ(lib32().SendMsgTimeClock(1, 1, 1, longest.c_str()), 0u);
    ASSERT_TRUE(clock.waitForMessages(1));
    EXPECT_EQ(clock.stream(), framed(1, longest));
}

TEST_F(TcpLinkSend, RawModeSendsWithoutHeader)
{
    start(lib32());
    TcpClock clock(clockAddress(1), port_);
    connectClock(lib32(), clock, 1);
    EXPECT_EQ(lib32().SendMsgTimeClock(1, 1, 128 + 1, "RAW\x1E"), 0u);
    clock.pump(300ms);
    EXPECT_EQ(clock.stream(), "RAW\x1E");
}

TEST_F(TcpLinkSend, UnknownClockIsNotSent)
{
    start(lib32());
    EXPECT_EQ(lib32().SendMsgTimeClock(1, 1, 5, "X"), 1u);
    EXPECT_EQ(lib32().SetTimeClock(1, 1, 5), 1u);
}

TEST_F(TcpLinkSend, SendToAResetClockFailsWithoutKillingTheProcess)
{
    start(lib32());
    TcpClock clock(clockAddress(1), port_);
    connectClock(lib32(), clock, 1);
    clock.reset();
    std::this_thread::sleep_for(50ms);
    uint32_t result = 0;
    for (int i = 0; i < 5 && result == 0; ++i)
        result = lib32().SendMsgTimeClock(1, 1, 1, "after reset");
    EXPECT_EQ(result, 1u);
    EXPECT_EQ(pollWhile(lib32(), 1, 1, 0).status, 2u);
}

TEST_F(TcpLinkSend, FailedSendNeverLeavesHalfAMessageOnALiveConnection)
{
    start(lib32());
    TcpClock clock(clockAddress(1), port_);
    clock.setReceiveBuffer(2048);
    connectClock(lib32(), clock, 1);
    const std::string text(749, 'q');
    uint32_t result = 0;
    int sent = 0;
    while (result == 0 && sent < 2000) {
        result = lib32().SendMsgTimeClock(1, 1, 1, text.c_str());
        sent += result == 0;
    }
    ASSERT_EQ(result, 1u) << "the clock never stopped taking data";

    Poll after = poll(lib32(), 1, 1);
    if (after.status == 2) {
        // The link dropped a connection holding half a message: a clean start.
        ASSERT_TRUE(clock.reconnect());
        connectClock(lib32(), clock, 1);
        EXPECT_EQ(lib32().SendMsgTimeClock(1, 1, 1, "fresh"), 0u);
        ASSERT_TRUE(clock.waitForMessages(1));
        EXPECT_EQ(clock.stream(), framed(1, "fresh"));
    } else {
        // The stream holds whole messages only (a message refused after it
        // went out whole, while the clock did not read, is there too).
        EXPECT_EQ(after.status, 0u);
        const std::size_t whole = text.size() + 4;
        while (clock.pump(200ms) && clock.stream().size() < (sent + 1) * whole) {
        }
        EXPECT_EQ(clock.stream().size() % whole, 0u);
        EXPECT_GE(clock.stream().size(), sent * whole);
        for (const PcMessage &m : clock.messages())
            EXPECT_EQ(m.text, text);
    }
}

TEST_F(TcpLinkDownload, LinesArriveInOrderPacedByLength)
{
    start(lib32());
    TcpClock clock(clockAddress(1), port_);
    connectClock(lib32(), clock, 1);
    const std::string l51(51, 'L');
    std::string file = dir_ + "/TEVCMD.DLD";
    std::ofstream(file, std::ios::binary) << "A\x1E\r\n" << l51 << "\r\nlast\x1E";
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(lib32().DownloadTimeClock(1, 1, 128 + 1, file.c_str()), 0u);
    auto took = std::chrono::steady_clock::now() - t0;
    EXPECT_GE(took, 280ms);  // 100 ms after the short line, 200 ms after the long one
    ASSERT_TRUE(clock.waitForMessages(3));
    EXPECT_EQ(clock.stream(), framed(1, "A\x1E") + framed(1, l51) + framed(1, "last\x1E"));
}

TEST_F(TcpLinkDownload, FileErrorsAndAnOverlongLineStopTheDownload)
{
    start(lib32());
    TcpClock clock(clockAddress(1), port_);
    connectClock(lib32(), clock, 1);
    EXPECT_EQ(lib32().DownloadTimeClock(1, 1, 1, (dir_ + "/missing.dld").c_str()), 4u);
    EXPECT_EQ(lib32().DownloadTimeClock(1, 1, 1, nullptr), 4u);
    int before = openDescriptors();
    EXPECT_EQ(lib32().DownloadTimeClock(1, 1, 1, dir_.c_str()), 4u);  // a folder cannot be read
    EXPECT_EQ(openDescriptors(), before);  // the failed read still closed it

    std::string file = dir_ + "/long.dld";
    std::ofstream(file, std::ios::binary) << "A\r\n" << std::string(750, 'x') << "\r\nB\r\n";
    EXPECT_EQ(lib32().DownloadTimeClock(1, 1, 1, file.c_str()), 1u);
    clock.pump(300ms);
    EXPECT_EQ(clock.stream(), framed(1, "A"));

    std::string empty = dir_ + "/empty.dld";
    std::ofstream(empty).flush();
    EXPECT_EQ(lib32().DownloadTimeClock(1, 1, 1, empty.c_str()), 0u);
    EXPECT_EQ(lib32().DownloadTimeClock(1, 1, 2, file.c_str()), 1u);  // not connected
}

TEST_F(TcpLinkLifecycle, CloseComHalfClosesAndANewStartUsesTheSamePort)
{
    start(lib32());
    TcpClock clock(clockAddress(1), port_);
    connectClock(lib32(), clock, 1);
    EXPECT_EQ(lib32().CloseCom(), 1u);
    clock.pump(1s);
    EXPECT_TRUE(clock.peerClosed());
    EXPECT_EQ(lib32().CloseCom(), 1u);

    start(lib32());
    // The old entry still carries the name but no connection.
    EXPECT_EQ(poll(lib32(), 1, 1).status, 2u);
    EXPECT_EQ(lib32().SendMsgTimeClock(1, 1, 1, "X"), 1u);
    ASSERT_TRUE(clock.reconnect());
    connectClock(lib32(), clock, 1);
    ASSERT_TRUE(clock.send(kPunch));
    EXPECT_EQ(collect(lib32(), 1, kPunch.size()), kPunch);
}

TEST_F(TcpLinkLifecycle, TenStartCyclesLeakNoDescriptor)
{
    int before = openDescriptors();
    for (int cycle = 0; cycle < 10; ++cycle) {
        start(lib32());
        TcpClock clock(clockAddress(1), port_);
        connectClock(lib32(), clock, 1);
        lib32().CloseCom();
    }
    intptr_t h = 0;
    ASSERT_EQ(lib32().InitComPort(&h, 1, 9600, 0, 7, 2), 0u);
    EXPECT_EQ(openDescriptors(), before + 1);  // the new listening socket only
    lib32().unload();
    EXPECT_EQ(openDescriptors(), before);
}

TEST_F(TcpLinkLifecycle, DescriptorZeroIsUntouchedBeforeTheStart)
{
    int pair[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    int savedStdin = dup(0);
    ASSERT_EQ(dup2(pair[0], 0), 0);
    ASSERT_EQ(write(pair[1], "x", 1), 1);

    std::string file = dir_ + "/cmd.dld";
    std::ofstream(file) << "A\r\n";
    EXPECT_EQ(lib32().PollTimeClock(1, 1, 1, nullptr, buffer_.data()), 2u);
    EXPECT_EQ(lib32().SendMsgTimeClock(1, 1, 1, "X"), 1u);
    EXPECT_EQ(lib32().SendAckTimeClock(1, 1, 1), 0u);
    EXPECT_EQ(lib32().AckRequired(1, 1, 1, 1), 0u);
    EXPECT_EQ(lib32().DownloadTimeClock(1, 1, 1, file.c_str()), 1u);
    EXPECT_EQ(lib32().GetClientList("tevterm001"), nullptr);
    EXPECT_EQ(lib32().CloseCom(), 1u);

    EXPECT_NE(fcntl(0, F_GETFD), -1);
    char got = 0;
    EXPECT_EQ(recv(0, &got, 1, MSG_DONTWAIT), 1);
    EXPECT_EQ(got, 'x');
    EXPECT_EQ(recv(pair[1], &got, 1, MSG_DONTWAIT), -1);  // nothing was sent through it
    dup2(savedStdin, 0);
    close(savedStdin);
    close(pair[0]);
    close(pair[1]);
}

TEST_F(TcpLinkLifecycle, TwoBuildsSideBySideKeepSeparateState)
{
    start(lib32());
    uint16_t otherPort = freeLoopbackPort();
    setenv("TEV_TCP_PORT", std::to_string(otherPort).c_str(), 1);
    start(lib95());

    TcpClock clock(clockAddress(1), port_);
    connectClock(lib32(), clock, 1);
    EXPECT_NE(lib32().GetClientList("tevterm001"), nullptr);
    EXPECT_EQ(lib95().GetClientList("tevterm001"), nullptr);
    EXPECT_EQ(poll(lib95(), 1, 1).status, 2u);
    EXPECT_EQ(lib95().AckRequired(1, 1, 1, 1), 0u);
    EXPECT_EQ(lib95().CloseCom(), 1u);

    ASSERT_TRUE(clock.send(kPunch));
    EXPECT_EQ(collect(lib32(), 1, kPunch.size()), kPunch);
    EXPECT_EQ(lib32().SendAckTimeClock(1, 1, 1), 1u);
}

TEST_F(TcpLinkLifecycle, ClockTableEntryAndFormatterExports)
{
    start(lib32());
    TcpClock clock(clockAddress(1), port_);
    connectClock(lib32(), clock, 1);
    cl_list *entry = lib32().GetClientList("tevterm001");
    ASSERT_NE(entry, nullptr);
    EXPECT_GE(entry->ClSocket, 0);
    EXPECT_EQ(entry->ClIpAddress, htonl(0x7F000002));
    EXPECT_EQ(lib32().GetClientList(nullptr), nullptr);
    EXPECT_EQ(lib32().GetClientList("tevterm002"), nullptr);

    char text[8] = "xxxxxxx";
    lib32().ltoafixed(7, text, 10, 3);
    EXPECT_STREQ(text, "007");
    lib32().ltoafixed(7, text, 0, 3);
    EXPECT_STREQ(text, "");
}

TEST_F(TcpLinkLifecycle, DiagnosticsAreTheExactTextsOnStandardOutput)
{
    StdoutCapture capture(dir_ + "/stdout.txt");
    start(lib32(), true);
    TcpClock clock(clockAddress(1), port_);
    connectClock(lib32(), clock, 1);
    clock.disconnect();
    pollWhile(lib32(), 1, 1, 0);
    TcpClock stranger("127.0.0.200", port_);
    stranger.connect();
    pollWhile(lib32(), 1, 1, 2);
    std::string out = capture.finish();
    EXPECT_EQ(out,
              "\nNetwork started up with version = 1.1\n"
              "\nConnection request from IP address = 127.0.0.2\n"
              "\nConnection complete with terminal\n"
              "\nConnection lost while receiving from = tevterm001\n"
              "Closing socket connection complete\n"
              "\nConnection request from IP address = 127.0.0.200\n"
              "\nConnection request failed unknow IP address = 127.0.0.200\n"
              "\nConnection request denied\n");
}

}  // namespace
