#include "platform/comm/serialcomm.h"

#include "platform/error.h"

#include <cerrno>
#include <cstring>

#include <linux/serial.h>
#include <sys/ioctl.h>

namespace Platform {

namespace {

// Enough to drain a receive buffer that keeps filling while it is read.
constexpr int kMaxPullsPerInput = 64;

speed_t speedConstant(int baud)
{
    switch (baud) {
    case 50: return B50;
    case 75: return B75;
    case 110: return B110;
    case 134: return B134;
    case 150: return B150;
    case 200: return B200;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 1800: return B1800;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 500000: return B500000;
    case 576000: return B576000;
    case 921600: return B921600;
    case 1000000: return B1000000;
    case 1152000: return B1152000;
    case 1500000: return B1500000;
    case 2000000: return B2000000;
    case 2500000: return B2500000;
    case 3000000: return B3000000;
    case 3500000: return B3500000;
    case 4000000: return B4000000;
    default: return B0;   // parseCommSettings lets no other rate through
    }
}

tcflag_t dataBitsFlag(int dataBits)
{
    switch (dataBits) {
    case 5: return CS5;
    case 6: return CS6;
    case 7: return CS7;
    default: return CS8;
    }
}

tcflag_t parityFlags(CommLineSettings::Parity parity)
{
    using P = CommLineSettings::Parity;
    switch (parity) {
    case P::Odd: return PARENB | PARODD;
    case P::Even: return PARENB;
    case P::Mark: return PARENB | CMSPAR | PARODD;
    case P::Space: return PARENB | CMSPAR;
    case P::None: break;
    }
    return 0;
}

[[noreturn]] void refusedState(const QString &device, const QString &why)
{
    throw Error(CommErrorNo::CommStateRefused,
                QStringLiteral("Could not set comm state of %1: %2").arg(device, why));
}

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

QList<int> commEventsBetween(const CommLineSample &before, const CommLineSample &after)
{
    const bool lines = before.haveLines && after.haveLines;
    const bool counts = before.haveCounts && after.haveCounts;
    const int flipped = lines ? (before.lines ^ after.lines) : 0;
    const bool ringRose = lines && !(before.lines & TIOCM_RNG) && (after.lines & TIOCM_RNG);

    // The counters also catch a line that went and came back between two readings.
    QList<int> events;
    if ((flipped & TIOCM_CTS) || (counts && after.cts != before.cts))
        events << CommEvCts;
    if ((flipped & TIOCM_DSR) || (counts && after.dsr != before.dsr))
        events << CommEvDsr;
    if ((flipped & TIOCM_CD) || (counts && after.cd != before.cd))
        events << CommEvCd;
    if (ringRose || (counts && after.ring != before.ring))
        events << CommEvRing;
    if (counts) {
        if (after.breaks != before.breaks)
            events << CommErBreak;
        if (after.frame != before.frame)
            events << CommErFrame;
        if (after.overrun != before.overrun)
            events << CommErOverrun;
        if (after.bufferOverrun != before.bufferOverrun)
            events << CommErRxOver;
        if (after.parity != before.parity)
            events << CommErRxParity;
    }
    return events;
}

SerialCommControl::SerialCommControl(QObject *parent) : CommControl(parent)
{
    m_watch.setInterval(kWatchIntervalMs);
    connect(&m_watch, &QTimer::timeout, this, &SerialCommControl::watch);
}

SerialCommControl::~SerialCommControl()
{
    m_watch.stop();
    if (m_device.isOpen())
        m_device.close();
}

QString SerialCommControl::deviceForPort(int port)
{
    const QString device = qEnvironmentVariable(QStringLiteral("TEV_COM%1").arg(port).toLatin1().constData());
    if (!device.isEmpty())
        return device;
    return QStringLiteral("/dev/ttyS%1").arg(port - 1);
}

void SerialCommControl::openDevice()
{
    const QString device = deviceForPort(CommPort());
    m_device.setPortName(device);
    if (!m_device.open(QIODevice::ReadWrite)) {
        int number = CommErrorNo::DeviceUnavailable;
        if (m_device.error() == QSerialPort::DeviceNotFoundError)
            number = CommErrorNo::InvalidPortNumber;
        else if (m_device.error() == QSerialPort::PermissionError)
            number = CommErrorNo::PortAlreadyOpen;   // held by another program, or no access
        const QString text = m_device.errorString();
        m_device.clearError();
        throw Error(number, QStringLiteral("%1 (COM%2, %3)").arg(text).arg(CommPort()).arg(device));
    }
    m_last = sample();
    m_watch.start();
}

void SerialCommControl::closeDevice()
{
    m_watch.stop();
    m_device.close();
    m_device.clearError();
}

void SerialCommControl::applyLine(const CommLineSettings &line)
{
    const int fd = int(m_device.handle());
    const QString device = m_device.portName();
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0)
        refusedState(device, errnoText(errno));

    ::cfmakeraw(&tio);
    tio.c_iflag &= ~(IXOFF | IXANY);
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    tio.c_cflag |= CLOCAL | CREAD | dataBitsFlag(line.dataBits) | parityFlags(line.parity);
    // With 5 data bits the UART makes this one and a half stop bits.
    if (line.stopBits != CommLineSettings::StopBits::One)
        tio.c_cflag |= CSTOPB;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    const speed_t speed = speedConstant(line.baud);
    ::cfsetispeed(&tio, speed);
    ::cfsetospeed(&tio, speed);
    if (::tcsetattr(fd, TCSANOW, &tio) != 0)
        refusedState(device, errnoText(errno));
    m_requested = tio;

    // tcsetattr succeeds when any part was taken; speed and stop bits must
    // all be. Data bits and parity are not checked: a pseudo-terminal
    // replaces them and carries the bytes all the same.
    termios now{};
    if (::tcgetattr(fd, &now) != 0)
        refusedState(device, errnoText(errno));
    if (::cfgetospeed(&now) != speed || (now.c_cflag & CSTOPB) != (tio.c_cflag & CSTOPB))
        refusedState(device, QStringLiteral("the device did not take %1 baud with these stop bits").arg(line.baud));
}

void SerialCommControl::applyDtr(bool level)
{
    // A device without modem lines has no DTR to drive; that is no error.
    int bit = TIOCM_DTR;
    (void)::ioctl(int(m_device.handle()), level ? TIOCMBIS : TIOCMBIC, &bit);
}

void SerialCommControl::writeDevice(const QByteArray &data)
{
    m_device.clearError();
    const qint64 taken = m_device.write(data);
    // Start the bytes on their way now; the rest leaves as the device takes it.
    m_device.flush();
    const QSerialPort::SerialPortError error = m_device.error();
    if (taken != data.size() || error == QSerialPort::WriteError || error == QSerialPort::ResourceError) {
        const QString text = m_device.errorString();
        m_device.clearError();
        throw Error(CommErrorNo::DeviceIoError, QStringLiteral("Error writing comm device: %1").arg(text));
    }
}

QByteArray SerialCommControl::readDevice()
{
    for (int i = 0; i < kMaxPullsPerInput && pendingInKernel() > 0; ++i) {
        if (!m_device.waitForReadyRead(0))
            break;
    }
    m_device.clearError();
    return m_device.readAll();
}

int SerialCommControl::inCount()
{
    return int(m_device.bytesAvailable()) + pendingInKernel();
}

int SerialCommControl::outCount()
{
    int queued = 0;
    if (::ioctl(int(m_device.handle()), TIOCOUTQ, &queued) != 0)
        queued = 0;
    return int(m_device.bytesToWrite()) + queued;
}

int SerialCommControl::purgeOutput()
{
    // Output suspended, the count is exactly what never leaves (bytes already
    // in the device's own buffer count as gone).
    const int fd = int(m_device.handle());
    (void)::tcflow(fd, TCOOFF);
    const int pending = outCount();
    m_device.clear(QSerialPort::Output);
    (void)::tcflow(fd, TCOON);
    return pending;
}

bool SerialCommControl::carrier()
{
    int lines = 0;
    return ::ioctl(int(m_device.handle()), TIOCMGET, &lines) == 0 && (lines & TIOCM_CD);
}

int SerialCommControl::pendingInKernel() const
{
    int pending = 0;
    if (::ioctl(int(m_device.handle()), FIONREAD, &pending) != 0)
        return 0;
    return pending;
}

CommLineSample SerialCommControl::sample() const
{
    CommLineSample s;
    const int fd = int(m_device.handle());
    if (fd < 0)
        return s;
    s.haveLines = ::ioctl(fd, TIOCMGET, &s.lines) == 0;
    serial_icounter_struct counts{};
    if (::ioctl(fd, TIOCGICOUNT, &counts) == 0) {
        s.haveCounts = true;
        s.cts = counts.cts;
        s.dsr = counts.dsr;
        s.ring = counts.rng;
        s.cd = counts.dcd;
        s.breaks = counts.brk;
        s.frame = counts.frame;
        s.overrun = counts.overrun;
        s.bufferOverrun = counts.buf_overrun;
        s.parity = counts.parity;
    }
    return s;
}

void SerialCommControl::watch()
{
    // A handler showing a box runs the event loop; further changes wait for
    // the next reading after it returns instead of stacking boxes.
    if (m_reporting || !PortOpen())
        return;
    const CommLineSample now = sample();
    const QList<int> events = commEventsBetween(m_last, now);
    m_last = now;
    m_reporting = true;
    struct Done {
        bool &flag;
        ~Done() { flag = false; }
    } done{m_reporting};
    for (int code : events) {
        if (!PortOpen())
            break;   // the handler closed the port
        raiseCommEvent(code);
    }
}

} // namespace Platform
