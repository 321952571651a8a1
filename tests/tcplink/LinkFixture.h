// Loads a built link library and gives each test its own hosts file, port
// and emulated clocks on loopback addresses.
#pragma once

#include "LinkHome.h"
#include "TcpClock.h"

#include <tevlink.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace tevtest {

// The exports of one build, bound by name the way the program binds them.
struct LinkLibrary {
    void *handle = nullptr;
    decltype(&::InitComPort) InitComPort = nullptr;
    decltype(&::PollTimeClock) PollTimeClock = nullptr;
    decltype(&::SetTimeClock) SetTimeClock = nullptr;
    decltype(&::SendMsgTimeClock) SendMsgTimeClock = nullptr;
    decltype(&::SendAckTimeClock) SendAckTimeClock = nullptr;
    decltype(&::SendNakTimeClock) SendNakTimeClock = nullptr;
    decltype(&::AckRequired) AckRequired = nullptr;
    decltype(&::UnKnownIP) UnKnownIP = nullptr;
    decltype(&::DownloadTimeClock) DownloadTimeClock = nullptr;
    decltype(&::CloseCom) CloseCom = nullptr;
    decltype(&::GetClientList) GetClientList = nullptr;
    decltype(&::ltoafixed) ltoafixed = nullptr;

    // Empty text when loaded, else why not.
    std::string load(const std::string &path);
    void unload();
};

std::string appDir();

// What one poll call gave: its status and the bytes before the ETX.
struct Poll {
    uint32_t status = 0;
    std::string data;
    std::size_t written = 0;  // bytes of the buffer the call wrote
};

// The receive buffer as the program passes it: 1550 bytes and a NUL.
constexpr std::size_t kProgramBuffer = 1551;
constexpr char kUntouched = '\xAA';

class LinkTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    static std::string clockAddress(int n) { return tevtest::clockAddress(n); }
    void writeHosts(const std::string &text);

    LinkLibrary &lib32() { return lib32_; }
    LinkLibrary &lib95();

    // InitComPort, then the first poll that starts listening.
    void start(LinkLibrary &lib, bool diagnostics = false);
    Poll poll(LinkLibrary &lib, int controller, int clock);
    // Polls until the status is not `whileStatus` or the time is up.
    Poll pollWhile(LinkLibrary &lib, int controller, int clock, uint32_t whileStatus,
                   std::chrono::milliseconds timeout = std::chrono::seconds(3));
    // Connects clock n (controller 1 unless n > 32) and polls until accepted.
    void connectClock(LinkLibrary &lib, TcpClock &clock, int n);
    // One raw call repeated while nothing has arrived; its last status.
    uint32_t pollWithFile(const char *file, char *buffer);
    // Polls until `bytes` bytes have come from clock n.
    std::string collect(LinkLibrary &lib, int n, std::size_t bytes,
                        std::chrono::milliseconds timeout = std::chrono::seconds(5));

    static int controllerOf(int n) { return (n + 31) / 32; }
    static int terminalOf(int n) { return (n - 1) % 32 + 1; }

    std::string dir_;
    std::string hostsPath_;
    uint16_t port_ = 0;
    std::vector<char> buffer_;

private:
    LinkLibrary lib32_;
    LinkLibrary lib95_;
};

}  // namespace tevtest
