#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

namespace Platform {

// Codes of OnComm and CommEvent, numbered as the program's handler tests them.
enum CommEventCode : int {
    CommEvSend = 1,
    CommEvReceive = 2,
    CommEvCts = 3,
    CommEvDsr = 4,
    CommEvCd = 5,
    CommEvRing = 6,
    CommEvEof = 7,
    CommErBreak = 1001,
    CommErCtsTimeout = 1002,
    CommErDsrTimeout = 1003,
    CommErFrame = 1004,
    CommErOverrun = 1006,     // the UART lost a character
    CommErCdTimeout = 1007,
    CommErRxOver = 1008,      // the driver's receive buffer overflowed
    CommErRxParity = 1009,
    CommErTxFull = 1010,
    CommErDcb = 1011,
};

// Numbers of the run-time errors the control raises (as Platform::Error).
namespace CommErrorNo {
constexpr int InvalidPropertyValue = 380;
constexpr int NotValidWhileOpen = 8000;
constexpr int InvalidPortNumber = 8002;
constexpr int PortAlreadyOpen = 8005;
constexpr int DeviceUnavailable = 8010;
constexpr int CommStateRefused = 8015;
constexpr int PortNotOpen = 8018;
constexpr int DeviceIoError = 8020;
} // namespace CommErrorNo

// Line settings parsed from the "9600,o,7,2" form.
struct CommLineSettings {
    enum class Parity { None, Odd, Even, Mark, Space };
    enum class StopBits { One, OneAndHalf, Two };

    int baud = 9600;
    Parity parity = Parity::None;
    int dataBits = 8;
    StopBits stopBits = StopBits::One;

    bool operator==(const CommLineSettings &) const = default;
};

// Parses "baud,parity,data bits,stop bits" (blanks around a field allowed,
// parity letter in any case). Throws Platform::Error InvalidPropertyValue
// whose description says which part is wrong.
CommLineSettings parseCommSettings(const QString &settings);

// Baud rates the serial driver can be set to.
bool isSupportedBaud(int baud);

// The program's serial port: properties and methods as the program uses them.
// State and validation live here; a subclass drives the device. Errors are
// thrown as Platform::Error with a CommErrorNo number.
class CommControl : public QObject {
    Q_OBJECT

public:
    static constexpr int kMaxPort = 255;
    static constexpr const char *kDefaultSettings = "9600,n,8,1";

    explicit CommControl(QObject *parent = nullptr);
    ~CommControl() override;

    int CommPort() const { return m_port; }
    // 1..kMaxPort, and only while the port is closed.
    void setCommPort(int port);

    // Reads back the text as it was set, so callers can compare it with theirs.
    QString Settings() const { return m_settings; }
    // Applied to the line at once when the port is open; a refused text leaves
    // the previous one in force.
    void setSettings(const QString &settings);
    CommLineSettings lineSettings() const { return m_line; }

    bool PortOpen() const { return m_open; }
    void setPortOpen(bool open);

    bool DTREnable() const { return m_dtr; }
    void setDTREnable(bool enable);

    // The code of the last OnComm; 0 before the first.
    int CommEvent() const { return m_commEvent; }

    void Output(const QByteArray &data);
    // Everything the input buffer holds; the buffer is then empty.
    QByteArray Input();
    // 0 while the port is closed.
    int InBufferCount();
    int OutBufferCount();
    // Discards the output that has not left the port and returns how many
    // bytes it was; 0 while the port is closed. Nothing leaves between the
    // count and the discard.
    int ClearOutBuffer();
    // Carrier detect; false while closed or when the device has no modem lines.
    bool CDHolding();

signals:
    void OnComm(int commEvent);

protected:
    void raiseCommEvent(int code);

    // Device hooks, called only in the right state; failures throw Platform::Error.
    virtual void openDevice() = 0;
    virtual void closeDevice() = 0;
    virtual void applyLine(const CommLineSettings &line) = 0;
    virtual void applyDtr(bool level) = 0;
    virtual void writeDevice(const QByteArray &data) = 0;
    virtual QByteArray readDevice() = 0;
    virtual int inCount() = 0;
    virtual int outCount() = 0;
    virtual int purgeOutput() = 0;
    virtual bool carrier() = 0;

    // For a subclass whose device went away under it.
    void markClosed() { m_open = false; }

private:
    void requireOpen(const char *what) const;

    int m_port = 1;
    QString m_settings = QString::fromLatin1(kDefaultSettings);
    CommLineSettings m_line;
    bool m_open = false;
    bool m_dtr = true;
    int m_commEvent = 0;
};

} // namespace Platform
