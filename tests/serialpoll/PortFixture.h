// A port opened by the library on an emulated clock, in a temporary folder.
#pragma once

#include "tevlink.h"
#include "tests/support/serialclock/EmulatedSerialClock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

namespace TevTest {

using Frame = EmulatedSerialClock::Frame;
using Fault = EmulatedSerialClock::Fault;

class PortFixture : public ::testing::Test {
protected:
    static constexpr int kController = 1;
    static constexpr int kTerminal = 5;

    void SetUp() override
    {
        char pattern[] = "/tmp/tevpol-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
    }

    void TearDown() override
    {
        if (m_port != TEVLINK_INVALID_HANDLE)
            CloseComm(m_port);
        m_clock.reset();
        std::filesystem::remove_all(m_dir);
    }

    // Plays clock (controller, terminal) on COM1 and opens the port at 9600 8N1.
    void openClock(int controller = kController, int terminal = kTerminal)
    {
        m_clock = std::make_unique<EmulatedSerialClock>(controller, terminal);
        m_clock->useAsPort(1);
        ASSERT_EQ(InitComPort(&m_port, 1, 9600, 0, 8, 0), 0u);
    }

    std::string path(const std::string &name) const { return (m_dir / name).string(); }

    static std::string readFile(const std::string &file)
    {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    static void writeFile(const std::string &file, const std::string &bytes)
    {
        std::ofstream(file, std::ios::binary) << bytes;
    }

    EmulatedSerialClock &clock() { return *m_clock; }

    intptr_t m_port = TEVLINK_INVALID_HANDLE;
    std::unique_ptr<EmulatedSerialClock> m_clock;
    std::filesystem::path m_dir;
};

// Seconds a call took.
template <typename Call>
double SecondsFor(Call call)
{
    const auto start = std::chrono::steady_clock::now();
    call();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A missed reply costs the library's 1.5 s wait; generous on the high side
// for loaded machines and sanitizer builds.
inline constexpr double kReplyWaitMin = 1.4;
inline constexpr double kReplyWaitMax = 4.0;

} // namespace TevTest
