// Every poll call answers from the sockets as they are at that call: what
// happened since an earlier call shows in the next, for the clock it
// happened to and no other, whatever clocks were asked in between.
#include "LinkFixture.h"

#include <linux/sockios.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <functional>
#include <memory>
#include <thread>

using namespace tevtest;

namespace {

using TcpLinkReadiness = LinkTest;

constexpr int kClocks = 128;

// The PC's side of clock `name`'s connection, or -1.
int pcSocket(LinkLibrary &lib, const char *name)
{
    const cl_list *entry = lib.GetClientList(name);
    return entry != nullptr ? entry->ClSocket : -1;
}

// Until the PC's side has taken every byte the clock sent, its connection
// accepted or not, so that they are there before the next pass starts.
bool delivered(const TcpClock &clock)
{
    int unacknowledged = -1;
    for (int i = 0; i < 5000 && unacknowledged != 0; ++i) {
        if (ioctl(clock.fd(), SIOCOUTQ, &unacknowledged) != 0)
            return false;
        if (unacknowledged != 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return unacknowledged == 0;
}

// Lowers the descriptor limit so that all but one are in use: an accept
// takes that one, and the hosts file cannot be opened after it.
bool oneDescriptorLeft()
{
    const int lowestFree = dup(2);
    close(lowestFree);
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = static_cast<rlim_t>(lowestFree) + 1;
    return lowestFree >= 0 && setrlimit(RLIMIT_NOFILE, &limit) == 0;
}

class TcpLinkEveryCall : public LinkTest, public ::testing::WithParamInterface<int> {};

// Each event happens after a call for clock 1 and shows, a box's time later,
// in the next call, for clock 2.
TEST_P(TcpLinkEveryCall, EventAfterOneCallShowsInTheNextForAHigherClock)
{
    LinkLibrary &lib = GetParam() == 32 ? lib32() : lib95();
    writeHosts(testHosts() + "127.0.0.60    frontdesk\r\n");
    start(lib, true);
    TcpClock one(clockAddress(1), port_), two(clockAddress(2), port_), again(clockAddress(2), port_),
        three(clockAddress(3), port_), stranger("127.0.0.200", port_), desk("127.0.0.60", port_);
    connectClock(lib, one, 1);
    const std::string first = punchRecord(2, "0000000001", "040305140709");
    const std::string second = punchRecord(2, "0000000002", "040305140800");
    rlimit descriptors{};
    getrlimit(RLIMIT_NOFILE, &descriptors);
    const auto unknownIP = [&] {
        char address[16] = "xxxxxxxxxxxxxxx";
        lib.UnKnownIP(address);
        return std::string(address);
    };
    const auto lost = [&](const std::string &printed) {
        EXPECT_LT(pcSocket(lib, "tevterm002"), 0) << "entry not freed";
        EXPECT_NE(printed.find("Connection lost while receiving from = tevterm002\n"), std::string::npos) << printed;
    };
    struct Step {
        const char *event;
        std::function<bool()> act;
        uint32_t status;
        std::string data;
        std::function<void(const std::string &printed)> also = [](const std::string &) {};  // after the call
    };
    const Step steps[] = {
        {"clock 2 connects and sends", [&] { return two.connect() && two.send(first); }, 3, first},
        {"it sends", [&] { return two.send(second); }, 3, second},
        {"it closes", [&] { two.disconnect(); return true; }, 2, "", lost},
        {"it connects again and sends", [&] { return two.reconnect() && two.send(first); }, 3, first},
        {"it closes, connects again and sends", [&] { two.disconnect(); return two.reconnect() && two.send(second); },
         3, second},
        {"it resets", [&] { two.reset(); return true; }, 2, "", lost},
        {"it connects again", [&] { return two.reconnect(); }, 0, ""},
        {"it connects once more while that connection lives, and sends",
         [&] { return again.connect() && again.send(first); }, 3, first,
         [&](const std::string &) { EXPECT_FALSE(two.pump(std::chrono::milliseconds(200))) << "the old one open"; }},
        {"an unknown address connects while clock 2's data waits",
         [&] { return again.send(second) && stranger.connect(); }, 6, "",
         [&](const std::string &) {
             EXPECT_EQ(buffer_[0], kUntouched);
             EXPECT_EQ(unknownIP(), "127.0.0.200");
             EXPECT_FALSE(stranger.pump(std::chrono::milliseconds(200)));
         }},
        {"a named host that is no clock connects", [&] { return desk.connect(); }, 3, second,
         [&](const std::string &) { EXPECT_GE(pcSocket(lib, "frontdesk"), 0) << "not kept"; }},
        {"clock 3 connects and no descriptor is left to read the hosts file with",
         [&] { return three.connect() && oneDescriptorLeft(); }, 0, "",
         [&](const std::string &) {
             EXPECT_EQ(unknownIP(), "127.0.0.60") << "still the caller before";
             EXPECT_FALSE(three.pump(std::chrono::milliseconds(200)));
             ASSERT_TRUE(three.reconnect());
             EXPECT_EQ(pollWhile(lib, 1, 3, 2).status, 0u) << "clock 3 connecting again";
         }},
    };
    for (const Step &s : steps) {
        SCOPED_TRACE(s.event);
        EXPECT_EQ(poll(lib, 1, 1).status, 0u);
        testing::internal::CaptureStdout();  // before the event, which may leave no descriptor for it
        const bool acted = s.act();
        std::this_thread::sleep_for(std::chrono::milliseconds(900));  // a box the caller keeps up between the calls
        Poll p = poll(lib, 1, 2);
        setrlimit(RLIMIT_NOFILE, &descriptors);
        const std::string printed = testing::internal::GetCapturedStdout();
        ASSERT_TRUE(acted);
        EXPECT_EQ(p.status, s.status);
        EXPECT_EQ(p.data, s.data);
        s.also(printed);
    }
}

INSTANTIATE_TEST_SUITE_P(Builds, TcpLinkEveryCall, ::testing::Values(32, 95), ::testing::PrintToStringParamName());

TEST_F(TcpLinkReadiness, OneClockSendsAmong128IdleOnes)
{
    port_ = prepareTcpLink(dir_, kClocks);
    start(lib32());
    std::vector<std::unique_ptr<TcpClock>> clocks;
    for (int n = 1; n <= kClocks; ++n) {
        clocks.push_back(std::make_unique<TcpClock>(clockAddress(n), port_));
        connectClock(lib32(), *clocks.back(), n);
    }
    const int sender = 77;
    const std::string punch = punchRecord(terminalOf(sender), "0000000077", "040305140709");
    ASSERT_TRUE(clocks[sender - 1]->send(punch) && delivered(*clocks[sender - 1]));
    for (int pass = 1; pass <= 2; ++pass) {
        for (int n = 1; n <= kClocks; ++n) {
            Poll p = poll(lib32(), controllerOf(n), terminalOf(n));
            const bool sent = pass == 1 && n == sender;
            EXPECT_EQ(p.status, sent ? 3u : 0u) << "pass " << pass << " clock " << n;
            EXPECT_EQ(p.data, sent ? punch : "") << "pass " << pass << " clock " << n;
            if (!sent) {
                EXPECT_EQ(buffer_[0], '\x04') << "pass " << pass << " clock " << n;
            }
        }
    }
}

}  // namespace
