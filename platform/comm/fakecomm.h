#pragma once

#include "platform/comm/commcontrol.h"

#include <QList>

#include <functional>
#include <optional>
#include <utility>

namespace Platform {

// A comm control without a device, for tests: it keeps what the program
// sends, hands out input the test queues, and plays the modem lines. Property
// rules and errors are those of every comm control.
class FakeCommControl : public CommControl {
    Q_OBJECT

public:
    using Responder = std::function<void(FakeCommControl &, const QByteArray &)>;

    explicit FakeCommControl(QObject *parent = nullptr);

    // Everything Output was given, joined, and each call on its own.
    QByteArray output() const { return m_output; }
    QList<QByteArray> writes() const { return m_writes; }
    void clearOutput();

    // Called after each Output, e.g. to queue a modem's answer.
    void setResponder(Responder responder) { m_responder = std::move(responder); }

    void queueInput(const QByteArray &data) { m_input += data; }
    void setCarrier(bool present) { m_carrier = present; }
    // Bytes OutBufferCount reports as not yet sent.
    void setPendingOutput(int count) { m_pendingOutput = count; }

    // Raises OnComm with any code, as the device would.
    void raiseEvent(int code) { raiseCommEvent(code); }

    // The next open fails with this error, as a missing or busy device does.
    void failNextOpen(int number, const QString &description);

    // Every DTR level driven onto the line while open, in order.
    QList<bool> dtrLevels() const { return m_dtrLevels; }
    int opens() const { return m_opens; }
    int closes() const { return m_closes; }

protected:
    void openDevice() override;
    void closeDevice() override;
    void applyLine(const CommLineSettings &) override {}
    void applyDtr(bool level) override { m_dtrLevels << level; }
    void writeDevice(const QByteArray &data) override;
    QByteArray readDevice() override;
    int inCount() override { return int(m_input.size()); }
    int outCount() override { return m_pendingOutput; }
    int purgeOutput() override { return std::exchange(m_pendingOutput, 0); }
    bool carrier() override { return m_carrier; }

private:
    QByteArray m_output;
    QList<QByteArray> m_writes;
    QByteArray m_input;
    Responder m_responder;
    bool m_carrier = false;
    int m_pendingOutput = 0;
    std::optional<std::pair<int, QString>> m_openFailure;
    QList<bool> m_dtrLevels;
    int m_opens = 0;
    int m_closes = 0;
};

} // namespace Platform
