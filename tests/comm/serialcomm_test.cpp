// The real comm control over a pseudo-terminal: the test plays the far end on
// the master side.
#include "platform/comm/serialcomm.h"
#include "platform/error.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSerialPort>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {

namespace CommErrorNo = Platform::CommErrorNo;

constexpr int kPort = 7;
constexpr const char *kPortVariable = "TEV_COM7";
constexpr int kDeadlineMs = 3000;

QByteArray everyByteValue()
{
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all.append(char(i));
    return all;
}

class PseudoTerminalPort : public ::testing::Test {
protected:
    void SetUp() override
    {
        char name[256] = {};
        int slave = -1;
        ASSERT_EQ(::openpty(&m_master, &slave, name, nullptr, nullptr), 0);
        ::close(slave);   // the control opens it by name, as it would a real port
        ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
        qputenv(kPortVariable, name);
        m_comm.setCommPort(kPort);
    }

    void TearDown() override
    {
        if (m_comm.PortOpen())
            m_comm.setPortOpen(false);
        qunsetenv(kPortVariable);
        ::close(m_master);
    }

    // The line as the far end sees it (a master reports its slave's termios).
    termios farEnd() const
    {
        termios tio{};
        EXPECT_EQ(::tcgetattr(m_master, &tio), 0);
        return tio;
    }

    void writeFarEnd(const QByteArray &data)
    {
        ASSERT_EQ(::write(m_master, data.constData(), size_t(data.size())), data.size());
    }

    // What reaches the far end, letting the control's queued writes go out.
    QByteArray readFarEnd(qsizetype expected)
    {
        QByteArray got;
        QElapsedTimer clock;
        clock.start();
        while (got.size() < expected && clock.elapsed() < kDeadlineMs) {
            QCoreApplication::processEvents();
            pollfd p{m_master, POLLIN, 0};
            if (::poll(&p, 1, 10) > 0 && (p.revents & POLLIN)) {
                char buffer[4096];
                const ssize_t n = ::read(m_master, buffer, sizeof buffer);
                if (n > 0)
                    got.append(buffer, n);
            }
        }
        return got;
    }

    // Lets the event loop run until the control counts this much input.
    bool waitForInput(int count)
    {
        QElapsedTimer clock;
        clock.start();
        while (m_comm.InBufferCount() < count && clock.elapsed() < kDeadlineMs)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        return m_comm.InBufferCount() >= count;
    }

    void open(const char *settings)
    {
        m_comm.setSettings(QString::fromLatin1(settings));
        m_comm.setPortOpen(true);
    }

    int m_master = -1;
    Platform::SerialCommControl m_comm;
};

struct LineCase {
    const char *settings;
    speed_t speed;
    tcflag_t dataBits;
    tcflag_t parityFlags;
    bool twoStopBits;
};

TEST_F(PseudoTerminalPort, OpenSetsSpeedStopBitsDataBitsAndParityInRawMode)
{
    const LineCase cases[] = {
        {"9600,o,7,2", B9600, CS7, PARENB | PARODD, true},
        {"19200,n,8,1", B19200, CS8, 0, false},
        {"4800,E,8,1", B4800, CS8, PARENB, false},
        {"1200,m,7,1", B1200, CS7, PARENB | PARODD | CMSPAR, false},
        {"2400,S,7,2", B2400, CS7, PARENB | CMSPAR, true},
        {"300,n,5,1.5", B300, CS5, 0, true},
        {"115200,o,6,1", B115200, CS6, PARENB | PARODD, false},
    };
    for (const LineCase &c : cases) {
        SCOPED_TRACE(c.settings);
        open(c.settings);
        const termios seen = farEnd();
        EXPECT_EQ(::cfgetospeed(&seen), c.speed);
        EXPECT_EQ(::cfgetispeed(&seen), c.speed);
        EXPECT_EQ((seen.c_cflag & CSTOPB) != 0, c.twoStopBits);
        EXPECT_EQ(seen.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
        EXPECT_EQ(seen.c_oflag & OPOST, 0u);
        EXPECT_EQ(seen.c_iflag & (ICRNL | INLCR | IGNCR | IXON | IXOFF | ISTRIP), 0u);
        EXPECT_EQ(seen.c_cflag & (CLOCAL | CREAD), tcflag_t(CLOCAL | CREAD));
        // The pseudo-terminal forces 8 bits without parity; what was asked is checked instead.
        const termios &asked = m_comm.requestedTermios();
        EXPECT_EQ(asked.c_cflag & CSIZE, c.dataBits);
        EXPECT_EQ(asked.c_cflag & (PARENB | PARODD | CMSPAR), c.parityFlags);
        EXPECT_EQ(asked.c_cflag & CRTSCTS, 0u);
        m_comm.setPortOpen(false);
    }
}

TEST_F(PseudoTerminalPort, SettingsChangedWhileOpenReachTheLineAtOnce)
{
    open("9600,o,7,2");
    m_comm.setSettings(QStringLiteral("19200,n,8,1"));
    const termios seen = farEnd();
    EXPECT_EQ(::cfgetospeed(&seen), speed_t(B19200));
    EXPECT_EQ(seen.c_cflag & CSTOPB, 0u);
    EXPECT_EQ(m_comm.requestedTermios().c_cflag & PARENB, 0u);
}

TEST_F(PseudoTerminalPort, OutputArrivesByteForByteAndTheOutBufferDrains)
{
    open("9600,o,7,2");
    // Twice every value: control characters, CR/LF and 8-bit bytes untouched.
    const QByteArray sent = everyByteValue() + everyByteValue();
    m_comm.Output(sent);
    EXPECT_EQ(readFarEnd(sent.size()), sent);

    QElapsedTimer clock;
    clock.start();
    while (m_comm.OutBufferCount() != 0 && clock.elapsed() < kDeadlineMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(m_comm.OutBufferCount(), 0);
}

TEST_F(PseudoTerminalPort, InputReturnsEveryByteValueUnchanged)
{
    open("9600,n,8,1");
    const QByteArray sent = everyByteValue();
    writeFarEnd(sent);
    ASSERT_TRUE(waitForInput(int(sent.size())));
    EXPECT_EQ(m_comm.Input(), sent);
    EXPECT_EQ(m_comm.InBufferCount(), 0);
    EXPECT_TRUE(m_comm.Input().isEmpty());
}

TEST_F(PseudoTerminalPort, InputTakesWhatIsBufferedAndWhatTheDriverStillHolds)
{
    open("9600,o,7,2");
    writeFarEnd("\x06" "first");
    ASSERT_TRUE(waitForInput(6));
    for (int i = 0; i < 5; ++i)   // let the port read it into its own buffer
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    writeFarEnd("-second");
    ::usleep(50 * 1000);          // in the driver now; no event has run for it
    EXPECT_EQ(m_comm.InBufferCount(), 13);
    EXPECT_EQ(m_comm.Input(), QByteArray("\x06" "first-second"));
    EXPECT_EQ(m_comm.InBufferCount(), 0);
}

TEST_F(PseudoTerminalPort, ClosedPortRefusesOutputAndCanBeOpenedAgain)
{
    open("9600,o,7,2");
    m_comm.setPortOpen(false);
    EXPECT_FALSE(m_comm.PortOpen());
    try {
        m_comm.Output("x");
        ADD_FAILURE() << "Output on a closed port was accepted";
    } catch (const Platform::Error &e) {
        EXPECT_EQ(e.number(), CommErrorNo::PortNotOpen);
    }
    m_comm.setPortOpen(true);   // the device and its lock were let go
    m_comm.Output("again");
    EXPECT_EQ(readFarEnd(5), QByteArray("again"));
}

TEST_F(PseudoTerminalPort, PortHeldByAnotherControlIsRefused)
{
    open("9600,o,7,2");
    Platform::SerialCommControl second;
    second.setCommPort(kPort);
    try {
        second.setPortOpen(true);
        ADD_FAILURE() << "a port already in use was opened twice";
    } catch (const Platform::Error &e) {
        EXPECT_EQ(e.number(), CommErrorNo::PortAlreadyOpen);
    }
    EXPECT_FALSE(second.PortOpen());
    m_comm.Output("still mine");
    EXPECT_EQ(readFarEnd(10), QByteArray("still mine"));
}

TEST_F(PseudoTerminalPort, PseudoTerminalRaisesNoEventsAndRefusedModemIoctlsAreNoError)
{
    int raised = 0;
    QObject::connect(&m_comm, &Platform::CommControl::OnComm, [&](int) { ++raised; });
    open("9600,o,7,2");
    m_comm.setDTREnable(false);
    m_comm.setDTREnable(true);
    EXPECT_FALSE(m_comm.CDHolding());
    writeFarEnd("traffic");
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 3 * Platform::SerialCommControl::kWatchIntervalMs + 50)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(raised, 0);
    EXPECT_EQ(m_comm.CommEvent(), 0);
    EXPECT_EQ(m_comm.Input(), QByteArray("traffic"));
}

TEST(SerialCommDevice, MissingDeviceGivesTheSerialLayersError)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QByteArray missing = folder.filePath(QStringLiteral("no-such-tty")).toLocal8Bit();
    QSerialPort probe;
    probe.setPortName(QString::fromLocal8Bit(missing));
    ASSERT_FALSE(probe.open(QIODevice::ReadWrite));
    const QString reported = probe.errorString();

    qputenv("TEV_COM5", missing);
    Platform::SerialCommControl comm;
    comm.setCommPort(5);
    try {
        comm.setPortOpen(true);
        ADD_FAILURE() << "a missing device was opened";
    } catch (const Platform::Error &e) {
        EXPECT_EQ(e.number(), CommErrorNo::InvalidPortNumber);
        EXPECT_TRUE(e.description().contains(reported)) << e.description().toStdString();
        EXPECT_TRUE(e.description().contains(QString::fromLocal8Bit(missing))) << e.description().toStdString();
    }
    EXPECT_FALSE(comm.PortOpen());
    qunsetenv("TEV_COM5");
}

TEST(SerialCommDevice, PortNumberNamesTevComVariableElseTtyS)
{
    qunsetenv("TEV_COM3");
    EXPECT_EQ(Platform::SerialCommControl::deviceForPort(3), QStringLiteral("/dev/ttyS2"));
    EXPECT_EQ(Platform::SerialCommControl::deviceForPort(1), QStringLiteral("/dev/ttyS0"));
    qputenv("TEV_COM3", "/tmp/elsewhere/tty");
    EXPECT_EQ(Platform::SerialCommControl::deviceForPort(3), QStringLiteral("/tmp/elsewhere/tty"));
    EXPECT_EQ(Platform::SerialCommControl::deviceForPort(13), QStringLiteral("/dev/ttyS12"));
    qunsetenv("TEV_COM3");
}

} // namespace
