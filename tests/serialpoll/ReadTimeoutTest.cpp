// A reply that never ends: the clock keeps sending after its EOT without the
// 10 ms of quiet that would end the read. Timing-bound, so it runs alone.
#include "tests/serialpoll/PortFixture.h"

#include <thread>

#include <stdlib.h>

namespace TevTest {
namespace {

class SerialPollReadTimeout : public PortFixture {};

TEST_F(SerialPollReadTimeout, ClockThatNeverFallsQuietAfterItsEotGivesUp)
{
    // The clock's 6 ms pace cannot be kept on a machine busier than its cores.
    double load = 0;
    if (::getloadavg(&load, 1) == 1 && load > std::thread::hardware_concurrency())
        GTEST_SKIP() << "load average " << load << ": the clock cannot babble fast enough";
    openClock();
    clock().inject(Frame::Poll, Fault::Babble);
    char buffer[300] = {};
    uint32_t result = 0;
    const double seconds = SecondsFor([&] { result = PollTimeClock(m_port, 1, 5, nullptr, buffer); });
    EXPECT_EQ(result, 1u);
    EXPECT_GE(seconds, kReplyWaitMin);
    EXPECT_LE(seconds, kReplyWaitMax);
}

} // namespace
} // namespace TevTest
