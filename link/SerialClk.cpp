// The serial clock protocol: frames, sending and receiving, the select-and-
// send transaction and reply texts.
#include "link/SerialClk.h"

#include "app/AppMain.h"
#include "libs/frame/LinkFrame.h"
#include "link/SerialClkDetail.h"
#include "platform/ansi.h"
#include "platform/clock.h"
#include "platform/comm/commcontrol.h"
#include "platform/error.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace SerialClk {

namespace {

constexpr int kReadAttempts = 4;
constexpr int kSelectTries = 4;
constexpr int kFrameTries = 4;
constexpr int kMachineSpeedUnitMs = 10;
// Once a reply has begun it may run on this many receive attempts' time.
constexpr int kReplyLengthAttempts = 4;
// Output that has not left this long after its bytes' time on the line is stuck.
constexpr double kDrainGraceSeconds = 2.0;
// How often a drain wait looks at the output count.
constexpr int kDrainSliceMs = 2;

LinkFrame::Lrc lrcOf(const QByteArray &bytes)
{
    return LinkFrame::FrameLrc(std::string_view(bytes.constData(), std::size_t(bytes.size())));
}

QByteArray fromStd(const std::string &bytes)
{
    return QByteArray(bytes.data(), qsizetype(bytes.size()));
}

void reportError(const Platform::Error &e)
{
    Platform::ActiveError active(e);
    AppMain::ShowErrorMsg(QString(), e.description());
}

} // namespace

const QString kNotResponding = QStringLiteral("Terminal is not responding.");
const QString kNotReady = QStringLiteral("Terminal is not ready to receive command.");

State &state()
{
    static State s;
    return s;
}

void resetState()
{
    state() = State{};
}

void InitProtocolChars()
{
    State &s = state();
    s.SOH = QChar(LinkFrame::SOH);
    s.STX = QChar(LinkFrame::STX);
    s.ETX = QChar(LinkFrame::ETX);
    s.EOT = QChar(LinkFrame::EOT);
    s.ENQ = QChar(LinkFrame::ENQ);
    s.ACK = QChar(LinkFrame::ACK);
    s.NAK = QChar(LinkFrame::NAK);
    s.GS = QChar(LinkFrame::GS);
    s.RS = QChar(LinkFrame::RS);
    s.US = QChar(LinkFrame::US);
    s.PollChar = QString(QChar(LinkFrame::PollChar));
    s.SelectChar = QString(QChar(LinkFrame::SelectChar));
}

// ---- frames ----

QByteArray BuildSelectMsg(int controller, int terminal)
{
    return fromStd(LinkFrame::BuildSelectMsg(controller, terminal));
}

QByteArray BuildPollMsg(int controller, int terminal)
{
    return fromStd(LinkFrame::BuildPollMsg(controller, terminal));
}

QByteArray BuildAckMsg(int controller, int terminal)
{
    return fromStd(LinkFrame::BuildAckMsg(controller, terminal));
}

QByteArray BuildDataFrame(int controller, int terminal, const QByteArray &text)
{
    return fromStd(LinkFrame::BuildDataFrame(controller, terminal,
                                             std::string_view(text.constData(), std::size_t(text.size()))));
}

QByteArray BuildDataFrame(int controller, int terminal, const QString &text)
{
    return BuildDataFrame(controller, terminal, Platform::Ansi::encode(text));
}

void CalcFrameLrc(const QByteArray &frame, int &l1, int &l2)
{
    const LinkFrame::Lrc lrc = lrcOf(frame);
    l1 = static_cast<unsigned char>(LinkFrame::LrcChar(lrc.high));
    l2 = static_cast<unsigned char>(LinkFrame::LrcChar(lrc.low));
}

// ---- waiting ----

void WaitForEvents(double deadline, int sliceMs)
{
    const ClockOperation::Yield yielding;
    const double remainingMs = std::ceil((deadline - Platform::Clock::seconds()) * 1000.0);
    const int wakeMs = int(std::clamp(remainingMs, 0.0, double(std::max(0, sliceMs))));
    // The timer only ends the wait; port input and any other event end it sooner.
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    wake.start(wakeMs);
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

// ---- sending and receiving ----

double LineSeconds(const Platform::CommControl &comm, int bytes)
{
    const Platform::CommLineSettings line = comm.lineSettings();
    const int parity = line.parity == Platform::CommLineSettings::Parity::None ? 0 : 1;
    const int stop = line.stopBits == Platform::CommLineSettings::StopBits::One ? 1 : 2;
    const int bitsPerByte = 1 + line.dataBits + parity + stop;
    return double(bytes) * bitsPerByte / std::max(1, line.baud);
}

void WaitForDrain(Platform::CommControl &comm, int bytes)
{
    const double limit = Platform::Clock::seconds() + LineSeconds(comm, bytes) + kDrainGraceSeconds;
    while (comm.OutBufferCount() != 0) {
        if (Platform::Clock::seconds() > limit)
            throw Platform::Error(Platform::CommErrorNo::DeviceIoError,
                                  QStringLiteral("The output did not leave the port (COM%1): the line is held")
                                      .arg(comm.CommPort()));
        WaitForEvents(limit, kDrainSliceMs);
    }
}

bool SendToPort(Platform::CommControl &comm, const QByteArray &frame)
{
    return SendFrame(comm, frame) == Delivery::Sent;
}

Delivery SendFrame(Platform::CommControl &comm, const QByteArray &frame)
{
    bool handed = false;
    try {
        // Nothing comes unasked: what waits is the tail of an earlier reply.
        if (comm.InBufferCount() > 0)
            comm.Input();
        handed = comm.PortOpen();  // a closed port takes nothing
        comm.Output(frame);
        WaitForDrain(comm, int(frame.size()));
    } catch (const Platform::Error &e) {
        reportError(e);
        if (!handed)
            return Delivery::NotSent;
        // A frame still whole in the queue never left; one that has begun to leave may still be taken.
        if (comm.PortOpen() && comm.ClearOutBuffer() >= frame.size())
            return Delivery::NotSent;
        return Delivery::MayHaveLeft;
    }
    Platform::Clock::sleep(state().CommParm.MachineSpeed * kMachineSpeedUnitMs);
    return Delivery::Sent;
}

QByteArray ReadPortReply(Platform::CommControl &comm)
{
    const double attempt = std::max(0, int(state().CommParm.PollTimeOut)) / 1000.0;
    bool arrived = false;
    for (int i = 0; i < kReadAttempts && !arrived; ++i) {
        const double deadline = Platform::Clock::seconds() + attempt;
        while (!(arrived = comm.InBufferCount() > 0) && Platform::Clock::seconds() <= deadline)
            WaitForEvents(deadline);
    }
    if (!arrived)
        return QByteArray();

    QByteArray reply = comm.Input();
    const double latest = Platform::Clock::seconds() + kReplyLengthAttempts * attempt;
    double lastByte = Platform::Clock::seconds();
    while (!reply.contains(LinkFrame::EOT)) {
        const double quietEnd = std::min(lastByte + attempt, latest);
        if (Platform::Clock::seconds() >= quietEnd)
            break;
        WaitForEvents(quietEnd);
        if (comm.InBufferCount() > 0) {
            reply += comm.Input();
            lastByte = Platform::Clock::seconds();
        }
    }
    return reply;
}

bool SendCommandWithRetry(Platform::CommControl &comm, const QByteArray &command, int controller, int terminal)
{
    BusyGuard guard;
    if (!guard)
        return false;
    QByteArray text = command;
    if (!text.endsWith(LinkFrame::RS))
        text += LinkFrame::RS;
    const QByteArray frame = BuildDataFrame(controller, terminal, text);
    const QByteArray select = BuildSelectMsg(controller, terminal);
    for (int attempt = 0; attempt < kFrameTries; ++attempt) {
        bool selected = false;
        for (int i = 0; i < kSelectTries && !selected; ++i)
            selected = SendToPort(comm, select) && ReplyHas(ReadPortReply(comm), state().ACK);
        if (!selected)
            return false;
        SendToPort(comm, frame);
        if (ReplyHas(ReadPortReply(comm), state().ACK))
            return true;
    }
    return false;
}

bool SendCommandWithRetry(Platform::CommControl &comm, const QString &command, int controller, int terminal)
{
    return SendCommandWithRetry(comm, Platform::Ansi::encode(command), controller, terminal);
}

// ---- reply texts ----

bool ReplyHas(const QByteArray &reply, const QString &protocolChar)
{
    return !protocolChar.isEmpty() && reply.contains(char(protocolChar.at(0).unicode()));
}

QString ResponseText(const QByteArray &reply, const QString &okText)
{
    if (reply.isEmpty())
        return kNotResponding;
    if (ReplyHas(reply, state().ACK))
        return okText;
    if (ReplyHas(reply, state().NAK))
        return kNotReady;
    return QString();
}

void ShowResponse(const QByteArray &reply, const QString &okText, QLineEdit *box)
{
    box->setText(ResponseText(reply, okText));
}

void ShowResponse(const QByteArray &reply, const QString &okText, QPlainTextEdit *box)
{
    box->setPlainText(ResponseText(reply, okText));
}

} // namespace SerialClk
