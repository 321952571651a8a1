// An emulated TCP/IP badge clock for tests: it connects to the PC from its
// own loopback address, sends records and raw bytes, reads and splits the
// PC's framed messages, follows acknowledgement-mode requests, and can
// disconnect, reset and reconnect.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tevtest {

using namespace std::chrono_literals;

// One message from the PC: "\A", the clock character and GS, then the text.
// Bytes that do not follow a header form a message with `framed` false.
struct PcMessage {
    bool framed = false;
    char clockChar = 0;
    std::string text;
    bool operator==(const PcMessage &) const = default;
};

// Splits a stream at every header; the PC adds no end mark of its own.
std::vector<PcMessage> splitMessages(std::string_view stream);

// A loopback port nobody listens on at the moment of the call.
uint16_t freeLoopbackPort();

// A punch record as the clock sends it, in the layout posting reads: the
// header "\\A", the terminal character and GS, then "P0", the function digit,
// RS, the badge, RS, US, the stamp YYMMDDhhmmss, "0", each field ended by RS,
// and ETX. Function 0 is a plain punch; 1-4 the key whose fields follow.
std::string punchRecord(int terminal, std::string_view badge, std::string_view stamp,
                        int function = 0, const std::vector<std::string> &fields = {});
// A keep-alive record: the header, then " TEV KEEPALIVE".
std::string keepAliveRecord(int terminal);

class TcpClock {
public:
    TcpClock(std::string localAddress, uint16_t serverPort, std::string serverAddress = "127.0.0.1");
    ~TcpClock();
    TcpClock(const TcpClock &) = delete;
    TcpClock &operator=(const TcpClock &) = delete;

    // Small receive buffer, so a test can fill the PC's send path quickly.
    void setReceiveBuffer(int bytes) { receiveBuffer_ = bytes; }

    // Connects, retrying while the PC is not listening yet.
    bool connect(std::chrono::milliseconds timeout = 5s);
    bool connected() const { return fd_ >= 0; }
    int fd() const { return fd_; }

    // Sends all of `bytes`, waiting while the PC's side is full.
    bool send(std::string_view bytes, std::chrono::milliseconds timeout = 5s);

    // Reads what has arrived, waiting up to `wait` for the first byte and then
    // until the line is quiet for a moment. False when the PC closed or reset.
    bool pump(std::chrono::milliseconds wait = 500ms);
    // Pumps until `count` messages have arrived in all, or `timeout`.
    bool waitForMessages(std::size_t count, std::chrono::milliseconds timeout = 3s);

    const std::string &stream() const { return stream_; }
    std::vector<PcMessage> messages() const { return splitMessages(stream_); }
    void clearReceived()
    {
        stream_.clear();
        scanned_ = 0;
    }
    bool ackMode() const { return ackMode_; }
    bool peerClosed() const { return peerClosed_; }

    void disconnect();  // an orderly close
    void reset();       // an abortive close: the PC sees a reset
    bool reconnect(std::chrono::milliseconds timeout = 5s);

private:
    void applyAckRequests();

    std::string localAddress_;
    std::string serverAddress_;
    uint16_t serverPort_;
    int receiveBuffer_ = 0;
    int fd_ = -1;
    std::string stream_;
    std::size_t scanned_ = 0;  // messages of stream_ already checked for mode requests
    bool ackMode_ = false;
    bool peerClosed_ = false;
};

// The clocks' side of a benchmark: clock i sends record(i, k) for k = 0 to
// perClock - 1, each only after the PC acknowledged the one before.
// Returns each send-to-acknowledgement time in milliseconds.
std::vector<double> sendAckPaced(std::vector<std::unique_ptr<TcpClock>> &clocks, int perClock,
                                 const std::function<std::string(int i, int k)> &record);

}  // namespace tevtest
