// Throughput and latency of the TCP/IP link with 128 emulated clocks, each
// holding a backlog of punches that it sends one at a time, the next only
// after the PC acknowledged the last. Also the CPU cost of one poll call
// while all 128 clocks are connected and idle.
//
// Usage: tcplink_bench [records per clock]   (TEV_APP_DIR: folder of libtevtcp32.so)
#include "TcpClock.h"

#include <tevlink.h>

#include <arpa/inet.h>
#include <dlfcn.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace tevtest;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kClocks = 128;
constexpr int kIdlePolls = 20000;

struct Link {
    decltype(&::InitComPort) InitComPort;
    decltype(&::PollTimeClock) PollTimeClock;
    decltype(&::SendAckTimeClock) SendAckTimeClock;
    decltype(&::AckRequired) AckRequired;
    decltype(&::CloseCom) CloseCom;
};

template <typename F>
void bindOrDie(void *h, const char *name, F &f)
{
    f = reinterpret_cast<F>(dlsym(h, name));
    if (f == nullptr) {
        std::fprintf(stderr, "missing export %s\n", name);
        std::exit(1);
    }
}

int controllerOf(int n) { return (n + 31) / 32; }
int terminalOf(int n) { return (n - 1) % 32 + 1; }

double cpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

double percentile(std::vector<double> &v, double p)
{
    std::sort(v.begin(), v.end());
    return v[static_cast<std::size_t>(p * static_cast<double>(v.size() - 1))];
}

}  // namespace

int main(int argc, char **argv)
{
    const int perClock = argc > 1 ? std::atoi(argv[1]) : 1000;

    char pattern[] = "/tmp/tevtcp-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr)
        return 1;
    std::string dir = pattern;
    {
        std::ofstream hosts(dir + "/hosts");
        hosts << "127.0.0.1   tevhost001\r\n";
        for (int n = 1; n <= kClocks; ++n) {
            char name[16];
            std::snprintf(name, sizeof name, "tevterm%03d", n);
            hosts << "127.0.0." << n + 1 << "    " << name << "\r\n";
        }
    }
    uint16_t port = freeLoopbackPort();
    setenv("TEV_HOSTS", (dir + "/hosts").c_str(), 1);
    setenv("TEV_TCP_PORT", std::to_string(port).c_str(), 1);

    const char *appDir = std::getenv("TEV_APP_DIR");
    std::string path = std::string(appDir ? appDir : TEV_APP_DIR_DEFAULT) + "/libtevtcp32.so";
    void *h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (h == nullptr) {
        std::fprintf(stderr, "%s\n", dlerror());
        return 1;
    }
    Link link{};
    bindOrDie(h, "InitComPort", link.InitComPort);
    bindOrDie(h, "PollTimeClock", link.PollTimeClock);
    bindOrDie(h, "SendAckTimeClock", link.SendAckTimeClock);
    bindOrDie(h, "AckRequired", link.AckRequired);
    bindOrDie(h, "CloseCom", link.CloseCom);

    intptr_t handle = 0;
    if (link.InitComPort(&handle, 1, 9600, 0, 7, 2) != 0) {
        std::fprintf(stderr, "InitComPort failed\n");
        return 1;
    }
    std::vector<char> buffer(1551);
    link.PollTimeClock(1, 1, 1, nullptr, buffer.data());  // starts listening

    std::vector<std::unique_ptr<TcpClock>> clocks;
    for (int n = 1; n <= kClocks; ++n) {
        clocks.push_back(std::make_unique<TcpClock>("127.0.0." + std::to_string(n + 1), port));
        if (!clocks.back()->connect()) {
            std::fprintf(stderr, "clock %d cannot connect\n", n);
            return 1;
        }
        while (link.PollTimeClock(1, controllerOf(n), terminalOf(n), nullptr, buffer.data()) == 2) {
        }
    }
    for (int n = 1; n <= kClocks; ++n)
        link.AckRequired(1, controllerOf(n), terminalOf(n), 1);

    // One poll call with every clock connected and idle.
    double cpu0 = cpuSeconds();
    auto wall0 = Clock::now();
    for (int i = 0; i < kIdlePolls; ++i) {
        int n = i % kClocks + 1;
        link.PollTimeClock(1, controllerOf(n), terminalOf(n), nullptr, buffer.data());
    }
    double idleCpuUs = (cpuSeconds() - cpu0) / kIdlePolls * 1e6;
    double idleWallUs =
        std::chrono::duration<double, std::micro>(Clock::now() - wall0).count() / kIdlePolls;

    // The clocks' side: send a record, wait for its acknowledgement, send the next.
    std::vector<double> latencies;
    std::atomic<bool> clocksDone{false};
    std::thread clockSide([&] {
        latencies = sendAckPaced(clocks, perClock, [](int i, int k) {
            return punchRecord(terminalOf(i + 1), std::to_string(100000 + k), "240102153000");
        });
        clocksDone = true;
    });

    // The PC's side: poll every clock in turn, acknowledge every record.
    const long total = static_cast<long>(kClocks) * perClock;
    long records = 0;
    auto start = Clock::now();
    while (records < total && !clocksDone) {
        for (int n = 1; n <= kClocks; ++n) {
            if (link.PollTimeClock(1, controllerOf(n), terminalOf(n), nullptr, buffer.data()) != 3)
                continue;
            for (const char *p = buffer.data(); *p != '\x03'; ++p) {
                if (*p == '\\') {
                    ++records;
                    link.SendAckTimeClock(1, controllerOf(n), terminalOf(n));
                }
            }
        }
    }
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    clockSide.join();

    std::printf("clocks                          %d\n", kClocks);
    std::printf("records collected               %ld of %ld\n", records, total);
    std::printf("elapsed                         %.2f s\n", seconds);
    std::printf("records per second              %.0f\n", static_cast<double>(records) / seconds);
    if (!latencies.empty()) {
        std::printf("send to acknowledgement median  %.3f ms\n", percentile(latencies, 0.5));
        std::printf("send to acknowledgement p99     %.3f ms\n", percentile(latencies, 0.99));
    }
    std::printf("idle poll, 128 clocks connected %.2f us CPU per call (%.2f us wall)\n", idleCpuUs,
                idleWallUs);

    link.CloseCom();
    dlclose(h);
    std::filesystem::remove_all(dir);
    return records == total ? 0 : 1;
}
