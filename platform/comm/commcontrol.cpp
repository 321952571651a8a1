#include "platform/comm/commcontrol.h"

#include "platform/error.h"

#include <QStringList>

#include <algorithm>
#include <array>

namespace Platform {

namespace {

// The rates termios names; others would need a driver-specific divisor.
constexpr std::array kBauds = {
    50,     75,     110,    134,    150,    200,    300,     600,     1200,    1800,
    2400,   4800,   9600,   19200,  38400,  57600,  115200,  230400,  460800,  500000,
    576000, 921600, 1000000, 1152000, 1500000, 2000000, 2500000, 3000000, 3500000, 4000000,
};

[[noreturn]] void refuse(const QString &settings, const QString &why)
{
    throw Error(CommErrorNo::InvalidPropertyValue,
                QStringLiteral("Invalid property value: line settings \"%1\": %2").arg(settings, why));
}

bool allDigits(const QString &text)
{
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) {
        return c >= QLatin1Char('0') && c <= QLatin1Char('9');
    });
}

} // namespace

bool isSupportedBaud(int baud)
{
    return std::find(kBauds.begin(), kBauds.end(), baud) != kBauds.end();
}

CommLineSettings parseCommSettings(const QString &settings)
{
    const QStringList fields = settings.split(QLatin1Char(','));
    if (fields.size() != 4)
        refuse(settings, QStringLiteral("expected baud,parity,data bits,stop bits"));
    const QString baudText = fields[0].trimmed();
    const QString parityText = fields[1].trimmed().toLower();
    const QString dataText = fields[2].trimmed();
    const QString stopText = fields[3].trimmed();

    CommLineSettings line;
    bool ok = false;
    line.baud = baudText.toInt(&ok);
    if (!allDigits(baudText) || !ok || !isSupportedBaud(line.baud))
        refuse(settings, QStringLiteral("baud rate \"%1\" is not supported").arg(baudText));

    if (parityText == QLatin1String("n"))
        line.parity = CommLineSettings::Parity::None;
    else if (parityText == QLatin1String("o"))
        line.parity = CommLineSettings::Parity::Odd;
    else if (parityText == QLatin1String("e"))
        line.parity = CommLineSettings::Parity::Even;
    else if (parityText == QLatin1String("m"))
        line.parity = CommLineSettings::Parity::Mark;
    else if (parityText == QLatin1String("s"))
        line.parity = CommLineSettings::Parity::Space;
    else
        refuse(settings, QStringLiteral("parity \"%1\" is not one of n, o, e, m, s").arg(fields[1].trimmed()));

    line.dataBits = dataText.toInt(&ok);
    if (!allDigits(dataText) || !ok || line.dataBits < 5 || line.dataBits > 8)
        refuse(settings, QStringLiteral("data bits \"%1\" is not 5 to 8").arg(dataText));

    if (stopText == QLatin1String("1"))
        line.stopBits = CommLineSettings::StopBits::One;
    else if (stopText == QLatin1String("1.5"))
        line.stopBits = CommLineSettings::StopBits::OneAndHalf;
    else if (stopText == QLatin1String("2"))
        line.stopBits = CommLineSettings::StopBits::Two;
    else
        refuse(settings, QStringLiteral("stop bits \"%1\" is not 1, 1.5 or 2").arg(stopText));

    // A UART sends one and a half stop bits only with 5 data bits, and then
    // in place of two; any other pairing would put something else on the line.
    if (line.stopBits == CommLineSettings::StopBits::OneAndHalf && line.dataBits != 5)
        refuse(settings, QStringLiteral("1.5 stop bits need 5 data bits"));
    if (line.stopBits == CommLineSettings::StopBits::Two && line.dataBits == 5)
        refuse(settings, QStringLiteral("5 data bits take 1 or 1.5 stop bits, not 2"));
    return line;
}

CommControl::CommControl(QObject *parent) : QObject(parent)
{
    m_line = parseCommSettings(m_settings);
}

CommControl::~CommControl() = default;

void CommControl::setCommPort(int port)
{
    if (port < 1 || port > kMaxPort)
        throw Error(CommErrorNo::InvalidPortNumber,
                    QStringLiteral("Invalid port number: %1 (ports are 1 to %2)").arg(port).arg(kMaxPort));
    if (m_open)
        throw Error(CommErrorNo::NotValidWhileOpen,
                    QStringLiteral("Operation not valid while the port is opened"));
    m_port = port;
}

void CommControl::setSettings(const QString &settings)
{
    const CommLineSettings line = parseCommSettings(settings);
    if (m_open)
        applyLine(line);
    m_settings = settings;
    m_line = line;
}

void CommControl::setPortOpen(bool open)
{
    if (open == m_open) {
        if (open)
            throw Error(CommErrorNo::PortAlreadyOpen, QStringLiteral("Port already open"));
        return;
    }
    if (!open) {
        m_open = false;
        closeDevice();
        return;
    }
    openDevice();
    m_open = true;
    try {
        applyLine(m_line);
        applyDtr(m_dtr);
    } catch (...) {
        m_open = false;
        closeDevice();
        throw;
    }
}

void CommControl::setDTREnable(bool enable)
{
    m_dtr = enable;
    if (m_open)
        applyDtr(enable);
}

void CommControl::Output(const QByteArray &data)
{
    requireOpen("Output");
    if (!data.isEmpty())
        writeDevice(data);
}

QByteArray CommControl::Input()
{
    requireOpen("Input");
    return readDevice();
}

int CommControl::InBufferCount()
{
    return m_open ? inCount() : 0;
}

int CommControl::OutBufferCount()
{
    return m_open ? outCount() : 0;
}

int CommControl::ClearOutBuffer()
{
    return m_open ? purgeOutput() : 0;
}

bool CommControl::CDHolding()
{
    return m_open && carrier();
}

void CommControl::raiseCommEvent(int code)
{
    m_commEvent = code;
    emit OnComm(code);
}

void CommControl::requireOpen(const char *what) const
{
    if (!m_open)
        throw Error(CommErrorNo::PortNotOpen,
                    QStringLiteral("Operation valid only when the port is open (%1)").arg(QLatin1String(what)));
}

} // namespace Platform
