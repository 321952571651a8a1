// The link learns its sockets' readiness once per pass over the clocks: what
// happened between two passes must show in the next one, for the clock it
// happened to and no other.
#include "LinkFixture.h"

#include <linux/sockios.h>
#include <poll.h>
#include <sys/ioctl.h>

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

// Until the PC's side of `fd` is readable: the clock's close is there
// before the next pass starts.
bool arrived(int fd)
{
    pollfd p{fd, POLLIN, 0};
    return fd >= 0 && ::poll(&p, 1, 5000) == 1;
}

TEST_F(TcpLinkReadiness, EachEventBetweenTwoPassesShowsInTheNext)
{
    start(lib32());
    TcpClock one(clockAddress(1), port_), two(clockAddress(2), port_);
    connectClock(lib32(), one, 1);
    const std::string first = punchRecord(2, "0000000001", "040305140709");
    const std::string second = punchRecord(2, "0000000002", "040305140800");
    auto sends = [&](const std::string &punch) { return two.send(punch) && delivered(two); };

    struct Step {
        const char *event;
        std::function<bool()> act;  // what the clock does, true once the PC's side holds it
        uint32_t status;
        std::string data;
    };
    const Step steps[] = {
        {"connects and sends", [&] { return two.connect() && sends(first); }, 3, first},
        {"sends again", [&] { return sends(second); }, 3, second},
        {"closes",
         [&] {
             const int fd = pcSocket(lib32(), "tevterm002");
             two.disconnect();
             return arrived(fd);
         },
         2, ""},
        {"reconnects and sends", [&] { return two.reconnect() && sends(first); }, 3, first},
        {"closes, reconnects and sends",
         [&] {
             two.disconnect();
             return two.reconnect() && sends(second);
         },
         3, second},
    };
    EXPECT_EQ(poll(lib32(), 1, 1).status, 0u);
    EXPECT_EQ(poll(lib32(), 1, 2).status, 2u);
    for (const Step &s : steps) {
        ASSERT_TRUE(s.act()) << s.event;
        EXPECT_EQ(poll(lib32(), 1, 1).status, 0u) << s.event;
        Poll p = poll(lib32(), 1, 2);
        EXPECT_EQ(p.status, s.status) << s.event;
        EXPECT_EQ(p.data, s.data) << s.event;
    }
}

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
