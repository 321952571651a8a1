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
#include <string>
#include <thread>

namespace {

volatile std::sig_atomic_t stopping = 0;
void stop(int) { stopping = 1; }

constexpr int kClocks = 128;
constexpr int kTerminals = 32;
constexpr uint16_t kDefaultPort = 2500;
constexpr char kGS = 0x1D;
constexpr char kETX = 0x03;
const std::string kAck = " TEV ACK";

// The control characters of the protocol by name, so a message reads on a terminal.
std::string shown(const std::string &text)
{
    std::string out;
    for (const char c : text) {
        switch (c) {
        case 0x03: out += "<ETX>"; break;
        case 0x1D: out += "<GS>"; break;
        case 0x1E: out += "<RS>"; break;
        case 0x1F: out += "<US>"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char hex[8];
                std::snprintf(hex, sizeof hex, "<%02X>", static_cast<unsigned char>(c));
                out += hex;
            } else {
                out += c;
            }
        }
    }
    return out;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s ADDRESS CLOCK [RECORD...]\n", argv[0]);
        return 2;
    }
    const std::string address = argv[1];
    const int clock = std::atoi(argv[2]);
    if (clock < 1 || clock > kClocks) {
        std::fprintf(stderr, "the clock number is 1 to %d\n", kClocks);
        return 2;
    }
    const char *portText = std::getenv("TEV_TCP_PORT");
    const uint16_t port = portText && *portText ? static_cast<uint16_t>(std::atoi(portText)) : kDefaultPort;
    const char terminal = static_cast<char>(0x20 + (clock - 1) % kTerminals + 1);
    std::deque<std::string> records;
    for (int i = 3; i < argc; ++i)
        records.push_back(std::string("\\A") + terminal + kGS + argv[i] + kETX);

    std::signal(SIGINT, stop);
    std::signal(SIGTERM, stop);
    tevtest::TcpClock link(address, port);
    std::printf("clock %d at %s, waiting for TEV on 127.0.0.1:%u\n", clock, address.c_str(), port);
    std::fflush(stdout);
    bool awaitingAck = false;
    std::size_t seen = 0;
    while (!stopping) {
        if (!link.connected()) {
            if (!link.connect(std::chrono::seconds(1))) {
                std::this_thread::sleep_for(std::chrono::seconds(1));
                continue;
            }
            std::printf("connected\n");
            std::fflush(stdout);
            awaitingAck = false;
            seen = 0;
        }
        if (!records.empty() && !awaitingAck && link.send(records.front())) {
            std::printf("sent %s\n", shown(records.front()).c_str());
            // Without acknowledgements a record is done once sent; with them, once acknowledged.
            awaitingAck = link.ackMode();
            if (!awaitingAck)
                records.pop_front();
        }
        const bool open = link.pump(std::chrono::milliseconds(200));
        const std::vector<tevtest::PcMessage> messages = link.messages();
        for (; seen < messages.size(); ++seen) {
            std::printf("TEV: %s\n", shown(messages[seen].text).c_str());
            if (messages[seen].text == kAck && awaitingAck) {
                awaitingAck = false;
                records.pop_front();
            }
        }
        std::fflush(stdout);
        if (!open) {
            std::printf("TEV closed the connection\n");
            link.disconnect();
            link.clearReceived();
        }
    }
    return 0;
}
