#pragma once

#include "platform/comm/commcontrol.h"

#include <QList>
#include <QSerialPort>
#include <QTimer>

#include <termios.h>

namespace Platform {

// One reading of a device's modem lines and line-error counters. A device
// that refuses the ioctls (a pseudo-terminal) leaves the matching flag false.
struct CommLineSample {
    bool haveLines = false;
    int lines = 0;               // TIOCM_* bits
    bool haveCounts = false;
    int cts = 0, dsr = 0, ring = 0, cd = 0;
    int breaks = 0, frame = 0, overrun = 0, bufferOverrun = 0, parity = 0;
};

// The comm events between two readings, in the order they are raised. Nothing
// is raised for a part either reading lacks.
QList<int> commEventsBetween(const CommLineSample &before, const CommLineSample &after);

// The comm control over a serial device: QSerialPort for opening, locking and
// buffered reading and writing; termios and modem ioctls on its descriptor for
// the line settings, DTR, carrier detect and the events.
class SerialCommControl : public CommControl {
    Q_OBJECT

public:
    static constexpr int kWatchIntervalMs = 100;

    explicit SerialCommControl(QObject *parent = nullptr);
    ~SerialCommControl() override;

    // The device of port n: $TEV_COMn when set, else /dev/ttyS{n-1}.
    static QString deviceForPort(int port);

    // The termios last asked of the device. A pseudo-terminal keeps only part
    // of it (it forces 8 data bits without parity), so this is how the rest is seen.
    const termios &requestedTermios() const { return m_requested; }

protected:
    void openDevice() override;
    void closeDevice() override;
    void applyLine(const CommLineSettings &line) override;
    void applyDtr(bool level) override;
    void writeDevice(const QByteArray &data) override;
    QByteArray readDevice() override;
    int inCount() override;
    int outCount() override;
    int purgeOutput() override;
    bool carrier() override;

private:
    CommLineSample sample() const;
    void watch();
    int pendingInKernel() const;

    QSerialPort m_device;
    QTimer m_watch;
    termios m_requested{};
    CommLineSample m_last;
    bool m_reporting = false;
};

} // namespace Platform
