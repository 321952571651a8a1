// One emulated serial clock for runs by hand: serialclock_runner CONTROLLER
// TERMINAL [RECORD...]. Prints the pseudo-terminal to point TEV_COMn at, then
// serves the clock (the records at its polls) until interrupted.
#include "tests/support/serialclock/EmulatedSerialClock.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

namespace {
volatile std::sig_atomic_t stopping = 0;
void stop(int) { stopping = 1; }
} // namespace

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s CONTROLLER TERMINAL [RECORD...]\n", argv[0]);
        return 2;
    }
    const int controller = std::atoi(argv[1]);
    const int terminal = std::atoi(argv[2]);
    if (controller < 1 || controller > 8 || terminal < 1 || terminal > 32) {
        std::fprintf(stderr, "controller is 1 to 8, terminal 1 to 32\n");
        return 2;
    }
    std::signal(SIGINT, stop);
    std::signal(SIGTERM, stop);
    TevTest::EmulatedSerialClock clock(controller, terminal);
    for (int i = 3; i < argc; ++i)
        clock.queueRecord(argv[i]);
    std::printf("%s\n", clock.devicePath().c_str());
    std::fflush(stdout);
    while (!stopping)
        pause();
    return 0;
}
