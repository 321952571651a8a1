// Line settings as handed to tcsetattr, through the test build's seam: a
// pseudo-terminal would force 8 data bits and no parity.
#include "libs/serialpoll/PortSeam.h"
#include "tests/serialpoll/PortFixture.h"

#include <cstdlib>

namespace TevTest {
namespace {

termios recorded;
int recordedCalls = 0;

int Record(int, int, const termios *settings)
{
    recorded = *settings;
    ++recordedCalls;
    return 0;
}

class SerialPollLineSettings : public PortFixture {
protected:
    void SetUp() override
    {
        PortFixture::SetUp();
        TevPolSeam::SetTcsetattr(Record);
        recordedCalls = 0;
        m_clock = std::make_unique<EmulatedSerialClock>(1, 5);
        m_clock->useAsPort(1);
    }

    void TearDown() override
    {
        TevPolSeam::SetTcsetattr(nullptr);
        PortFixture::TearDown();
    }

    termios settingsFor(uint32_t baudrate, char parity, char bytesize, char stopbits)
    {
        intptr_t handle = TEVLINK_INVALID_HANDLE;
        EXPECT_EQ(InitComPort(&handle, 1, baudrate, parity, bytesize, stopbits), 0u);
        CloseComm(handle);
        EXPECT_EQ(recordedCalls, 1);
        recordedCalls = 0;
        return recorded;
    }
};

struct DataBits {
    char bytesize;
    tcflag_t size;
};

TEST_F(SerialPollLineSettings, DataBitsReachTheCharacterSize)
{
    const DataBits cases[] = {{5, CS5}, {6, CS6}, {7, CS7}, {8, CS8}};
    for (const DataBits &c : cases)
        EXPECT_EQ(settingsFor(9600, 0, c.bytesize, 0).c_cflag & CSIZE, c.size) << int(c.bytesize);
}

struct ParityCase {
    const char *name;
    char parity;
    tcflag_t flags;
};

TEST_F(SerialPollLineSettings, EachParityGetsItsFlagsAndChecking)
{
    const tcflag_t mask = PARENB | PARODD | CMSPAR;
    const ParityCase cases[] = {
        {"none", 0, 0},
        {"odd", 1, PARENB | PARODD},
        {"even", 2, PARENB},
        {"mark", 3, PARENB | CMSPAR | PARODD},
        {"space", 4, PARENB | CMSPAR},
    };
    for (const ParityCase &c : cases) {
        const termios t = settingsFor(9600, c.parity, 7, 0);
        EXPECT_EQ(t.c_cflag & mask, c.flags) << c.name;
        EXPECT_EQ((t.c_iflag & INPCK) != 0, c.parity != 0) << c.name;
    }
}

TEST_F(SerialPollLineSettings, SpeedStopBitsAndRawModeAreSet)
{
    const termios t = settingsFor(2400, 2, 7, 2);
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B2400));
    EXPECT_EQ(cfgetispeed(&t), static_cast<speed_t>(B2400));
    EXPECT_TRUE(t.c_cflag & CSTOPB);
    EXPECT_FALSE(settingsFor(2400, 2, 7, 0).c_cflag & CSTOPB);
    EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_FALSE(t.c_cflag & CRTSCTS);
    EXPECT_FALSE(t.c_iflag & (IXON | IXOFF | IXANY | ICRNL | IGNCR | INLCR | ISTRIP));
    EXPECT_FALSE(t.c_lflag & (ICANON | ISIG | IEXTEN | ECHO));
    EXPECT_FALSE(t.c_oflag & OPOST);
}

TEST_F(SerialPollLineSettings, RefusedSettingNeverReachesThePort)
{
    intptr_t handle = TEVLINK_INVALID_HANDLE;
    EXPECT_EQ(InitComPort(&handle, 1, 9600, 0, 8, 1), static_cast<uint32_t>(EINVAL));
    CloseComm(handle);
    EXPECT_EQ(recordedCalls, 0);
}

TEST(SerialPollDevice, EnvironmentNamesThePortElseTheSerialDevice)
{
    setenv("TEV_COM2", "/dev/ttyUSB7", 1);
    EXPECT_EQ(TevPolSeam::DevicePath(2), "/dev/ttyUSB7");
    unsetenv("TEV_COM3");
    EXPECT_EQ(TevPolSeam::DevicePath(3), "/dev/ttyS2");
    setenv("TEV_COM1", "", 1);
    EXPECT_EQ(TevPolSeam::DevicePath(1), "/dev/ttyS0");
    unsetenv("TEV_COM4");
    EXPECT_EQ(TevPolSeam::DevicePath(4), "/dev/ttyS3");
}

} // namespace
} // namespace TevTest
