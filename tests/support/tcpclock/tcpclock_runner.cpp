// One emulated TCP/IP clock for runs by hand: tcpclock_runner ADDRESS CLOCK
// [RECORD...]. Connects from ADDRESS, the clock's own loopback address, to
// TEV on 127.0.0.1 at $TEV_TCP_PORT (else 2500), sends the records (each as
// the serial runner takes it, without the header and ETX the clock adds), and
// prints every message TEV sends, until interrupted. When TEV goes, the
// clock waits for it and connects again.
#include "TcpClock.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <thread>

namespace {
volatile std::sig_atomic_t stopping = 0;
void stop(int) { stopping = 1; }

// Control characters as <1E>, so a message reads on a terminal.
std::string shown(const std::string &text)
{
    std::string out;
    for (const unsigned char c : text) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "<%02X>", c);
        out += c < 0x20 ? std::string(hex) : std::string(1, char(c));
    }
    return out;
}
} // namespace

int main(int argc, char **argv)
{
    const int clock = argc >= 3 ? std::atoi(argv[2]) : 0;
    if (clock < 1 || clock > 128) {
        std::fprintf(stderr, "usage: %s ADDRESS CLOCK [RECORD...] (CLOCK 1 to 128)\n", argv[0]);
        return 2;
    }
    const char *port = std::getenv("TEV_TCP_PORT");
    tevtest::TcpClock link(argv[1], port && *port ? uint16_t(std::atoi(port)) : uint16_t(2500));
    std::deque<std::string> records;
    for (int i = 3; i < argc; ++i)
        records.push_back(std::string("\\A") + char(0x20 + (clock - 1) % 32 + 1) + '\x1d' + argv[i] + '\x03');
    std::signal(SIGINT, stop);
    std::signal(SIGTERM, stop);
    std::printf("clock %d at %s, waiting for TEV\n", clock, argv[1]);
    bool awaitingAck = false;
    std::size_t seen = 0;
    while (!stopping) {
        if (!link.connected()) {
            if (!link.connect(std::chrono::seconds(1))) {
                std::this_thread::sleep_for(std::chrono::seconds(1));
                continue;
            }
            std::printf("connected\n");
            awaitingAck = false;
            seen = 0;
        }
        if (!records.empty() && !awaitingAck && link.send(records.front())) {
            std::printf("sent %s\n", shown(records.front()).c_str());
            // In acknowledgement mode a record is done once TEV acknowledges it.
            awaitingAck = link.ackMode();
            if (!awaitingAck)
                records.pop_front();
        }
        const bool open = link.pump(std::chrono::milliseconds(200));
        for (const std::vector<tevtest::PcMessage> messages = link.messages(); seen < messages.size(); ++seen) {
            std::printf("TEV: %s\n", shown(messages[seen].text).c_str());
            if (messages[seen].text == " TEV ACK" && awaitingAck) {
                awaitingAck = false;
                records.pop_front();
            }
        }
        if (!open) {
            std::printf("TEV closed the connection\n");
            link.disconnect();
            link.clearReceived();
        }
        std::fflush(stdout);
    }
    return 0;
}
