// Opening and closing the port, and calls on a port that is not open.
#include "tests/serialpoll/PortFixture.h"

#include <cerrno>
#include <sys/ioctl.h>
#include <termios.h>

namespace TevTest {
namespace {

class SerialPollPort : public PortFixture {
protected:
    bool exclusive()
    {
        int on = 0;
        return ioctl(clock().slaveFd(), TIOCGEXCL, &on) == 0 && on != 0;
    }
};

TEST_F(SerialPollPort, OpenedPortIsExclusiveUntilClosed)
{
    openClock();
    EXPECT_TRUE(exclusive());
    EXPECT_EQ(CloseComm(m_port), 0u);
    m_port = TEVLINK_INVALID_HANDLE;
    EXPECT_FALSE(exclusive());
}

TEST_F(SerialPollPort, ComNumbersOutsideOneToFourAreRefusedWithoutOpening)
{
    m_clock = std::make_unique<EmulatedSerialClock>(1, 5);
    for (const unsigned comport : {0u, 5u, 255u, 0xFFFFFFFFu}) {
        m_clock->useAsPort(comport);
        intptr_t handle = 1234;
        EXPECT_EQ(InitComPort(&handle, comport, 9600, 0, 8, 0), static_cast<uint32_t>(EINVAL)) << comport;
        EXPECT_EQ(handle, TEVLINK_INVALID_HANDLE) << comport;
        EXPECT_FALSE(exclusive()) << comport;
    }
}

TEST_F(SerialPollPort, NullHandlePointerIsRefusedWithoutOpening)
{
    m_clock = std::make_unique<EmulatedSerialClock>(1, 5);
    m_clock->useAsPort(1);
    EXPECT_EQ(InitComPort(nullptr, 1, 9600, 0, 8, 0), static_cast<uint32_t>(EINVAL));
    EXPECT_FALSE(exclusive());
}

TEST_F(SerialPollPort, MissingDeviceGivesErrnoAndInvalidHandle)
{
    setenv("TEV_COM2", path("no-such-tty").c_str(), 1);
    intptr_t handle = 1234;
    EXPECT_EQ(InitComPort(&handle, 2, 9600, 0, 8, 0), static_cast<uint32_t>(ENOENT));
    EXPECT_EQ(handle, TEVLINK_INVALID_HANDLE);
}

TEST_F(SerialPollPort, DeviceThatIsNotATerminalIsRefused)
{
    const std::string file = path("plain");
    writeFile(file, "x");
    setenv("TEV_COM3", file.c_str(), 1);
    intptr_t handle = 1234;
    EXPECT_EQ(InitComPort(&handle, 3, 9600, 0, 8, 0), static_cast<uint32_t>(ENOTTY));
    EXPECT_EQ(handle, TEVLINK_INVALID_HANDLE);
}

struct RefusedSetting {
    const char *name;
    uint32_t baudrate;
    char parity;
    char bytesize;
    char stopbits;
};

// The port stays open and with the caller, as after any failed setting.
TEST_F(SerialPollPort, SettingsWithoutALinuxFormAreInvalid)
{
    m_clock = std::make_unique<EmulatedSerialClock>(1, 5);
    m_clock->useAsPort(4);
    const RefusedSetting cases[] = {
        {"one and a half stop bits", 9600, 0, 8, 1},
        {"three stop bits", 9600, 0, 8, 3},
        {"unknown speed", 14400, 0, 8, 0},
        {"zero speed", 0, 0, 8, 0},
        {"parity 5", 9600, 5, 8, 0},
        {"negative parity", 9600, -1, 8, 0},
        {"4 data bits", 9600, 0, 4, 0},
        {"9 data bits", 9600, 0, 9, 0},
    };
    for (const RefusedSetting &c : cases) {
        intptr_t handle = TEVLINK_INVALID_HANDLE;
        EXPECT_EQ(InitComPort(&handle, 4, c.baudrate, c.parity, c.bytesize, c.stopbits),
                  static_cast<uint32_t>(EINVAL)) << c.name;
        EXPECT_NE(handle, TEVLINK_INVALID_HANDLE) << c.name;
        EXPECT_EQ(CloseComm(handle), 0u);
    }
}

// A pseudo-terminal keeps speed, stop bits and the parity kind; it forces
// 8 data bits and no parity enable (those go through the settings seam).
TEST_F(SerialPollPort, LineSettingsReachThePort)
{
    m_clock = std::make_unique<EmulatedSerialClock>(1, 5);
    m_clock->useAsPort(1);
    ASSERT_EQ(InitComPort(&m_port, 1, 19200, 3, 7, 2), 0u);
    termios seen{};
    ASSERT_EQ(tcgetattr(m_clock->slaveFd(), &seen), 0);
    EXPECT_EQ(cfgetospeed(&seen), static_cast<speed_t>(B19200));
    EXPECT_EQ(cfgetispeed(&seen), static_cast<speed_t>(B19200));
    EXPECT_TRUE(seen.c_cflag & CSTOPB);
    EXPECT_TRUE(seen.c_cflag & PARODD);
    EXPECT_TRUE(seen.c_cflag & CMSPAR);
    EXPECT_TRUE(seen.c_cflag & CLOCAL);
    EXPECT_TRUE(seen.c_cflag & CREAD);
    // Raw: EOT, ETX and NAK must arrive as bytes.
    EXPECT_FALSE(seen.c_lflag & (ICANON | ISIG | IEXTEN | ECHO));
    EXPECT_FALSE(seen.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP));
    EXPECT_FALSE(seen.c_oflag & OPOST);
}

TEST_F(SerialPollPort, EveryCallOnTheInvalidHandleIsUnsent)
{
    const intptr_t bad = TEVLINK_INVALID_HANDLE;
    char buffer[16] = "untouched";
    const std::string file = path("cmd.dld");
    writeFile(file, "T10\r\n");
    EXPECT_EQ(SetTimeClock(bad, 1, 5), 5u);
    EXPECT_EQ(SendMsgTimeClock(bad, 1, 5, "HELLO"), 5u);
    EXPECT_EQ(DownloadTimeClock(bad, 1, 5, file.c_str()), 5u);
    EXPECT_EQ(PollTimeClock(bad, 1, 5, nullptr, buffer), 5u);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(SendAckTimeClock(bad, 1, 5), 5u);
    EXPECT_EQ(SendNakTimeClock(bad, 1, 5), 5u);
    EXPECT_EQ(CloseComm(bad), 0u);
}

} // namespace
} // namespace TevTest
