#include "polling/PollSerial.h"

#include "app/AppMain.h"
#include "libs/frame/LinkFrame.h"
#include "link/SerialClk.h"
#include "platform/ansi.h"
#include "platform/clock.h"
#include "platform/error.h"

#include <string_view>

namespace PollSerial {

namespace {

namespace LF = LinkFrame;

// Polls that get no record before the clock counts as empty or silent.
constexpr int kPollTries = 3;
// The clock needs a moment after its record before it takes the acknowledgement.
constexpr int kAckPauseMs = 10;
// SOH, controller, terminal, STX come before the record's "\".
constexpr int kFrameHeadLength = 4;
// ETX is followed by the two check characters and EOT.
constexpr int kFrameTailLength = 3;
constexpr int kStampLength = 12;
// The stamp is followed by one character before the extra fields.
constexpr int kExtrasOffset = kStampLength + 1;

// The text after the first `c`; all of it when there is none.
QString After(const QString &text, QChar c)
{
    return text.mid(text.indexOf(c) + 1);
}

bool IsSeparator(QChar c)
{
    return c == QChar(LF::US) || c == QChar(LF::RS) || c == QChar(LF::GS);
}

Platform::Error CannotTakeApart()
{
    return Platform::Error(Platform::ErrorNo::InvalidProcedureCall,
                           QStringLiteral("Invalid procedure call or argument"));
}

QByteArray Bytes(const std::string &frame)
{
    return QByteArray(frame.data(), qsizetype(frame.size()));
}

} // namespace

QString DisplayText(const QByteArray &frame)
{
    const QString reply = Platform::Ansi::decode(frame);
    if (!reply.contains(QLatin1Char(LF::PollChar)))
        return reply;
    try {
        return ParsePunchRecord(reply);
    } catch (const Platform::Error &e) {
        // Shown, and the record is kept and acknowledged all the same: it is on disk.
        ShowError(e);
        return QString();
    }
}

void ShowError(const Platform::Error &e)
{
    Platform::ActiveError active(e);
    AppMain::ShowErrorMsg(QString(), e.description());
}

QString ParsePunchRecord(const QString &reply)
{
    QString s = After(reply, QChar(LF::GS));
    if (!s.startsWith(QLatin1Char(LF::PollChar)))
        return QString();
    s = After(s, QChar(LF::RS));
    while (!s.isEmpty() && IsSeparator(s.front()))
        s.remove(0, 1);
    const qsizetype badgeEnd = s.indexOf(QChar(LF::RS));
    if (badgeEnd < 0)
        throw CannotTakeApart();
    const QString badge = s.left(badgeEnd);
    s = After(s, QChar(LF::US));
    const QString stamp = AppMain::FormatPunchDateUS(s.left(kStampLength));
    s = s.mid(kExtrasOffset);
    QString extras;
    if (!s.isEmpty()) {
        const qsizetype etx = s.indexOf(QChar(LF::ETX));
        if (etx < 0)
            throw CannotTakeApart();
        s.truncate(etx);
        // Each field ends with RS; text after the last RS is no field.
        for (qsizetype end = s.indexOf(QChar(LF::RS)); end >= 0; end = s.indexOf(QChar(LF::RS))) {
            if (end > 0)
                extras += QLatin1Char(',') + s.left(end);
            s.remove(0, end + 1);
        }
    }
    return badge + extras + QLatin1Char(',') + stamp;
}

std::optional<QByteArray> RecordFrame(const QByteArray &reply, int controller, int terminal)
{
    const char head[] = {LF::SOH, LF::AddressChar(controller), LF::AddressChar(terminal), LF::STX, '\\'};
    const qsizetype start = reply.indexOf(QByteArrayView(head, sizeof head));
    if (start < 0)
        return std::nullopt;
    const qsizetype etx = reply.indexOf(LF::ETX, start);
    if (etx < 0 || etx + kFrameTailLength >= reply.size() || reply[etx + kFrameTailLength] != LF::EOT)
        return std::nullopt;
    QByteArray frame = reply.mid(start, etx + kFrameTailLength + 1 - start);
    if (!LF::ReplyCheckGood(std::string_view(frame.constData(), size_t(frame.size()))))
        return std::nullopt;
    return frame;
}

QByteArray RecordLine(const QByteArray &frame)
{
    return frame.mid(kFrameHeadLength);
}

void PollSerialClock(int controller, int terminal, const ClockLine &line, PollFiles::DataFiles &files,
                     PollView &view)
{
    const QByteArray poll = Bytes(LF::BuildPollMsg(controller, terminal));
    const QByteArray ack = Bytes(LF::BuildAckMsg(controller, terminal));
    do {
        std::optional<QByteArray> frame;
        for (int tries = 0; tries < kPollTries && !frame; ++tries) {
            line.send(poll);
            Platform::Clock::sleep(line.pollDelayMs);
            frame = RecordFrame(line.read(), controller, terminal);
        }
        if (!frame) {
            view.showLineState(LineState::Idle);
            return;
        }
        // On disk before the clock is told it may delete the record.
        try {
            files.writeRecord(RecordLine(*frame));
        } catch (const Platform::Error &e) {
            ShowError(e);
            view.requestStop();
            return;
        }
        view.appendRecord(DisplayText(*frame));
        Platform::Clock::sleep(kAckPauseMs);
        if (!line.send(ack)) {
            // A clock that did not get it keeps the record and sends it again: posted from here too, it
            // would post twice. One that may have got it may have let it go: POLL.txt keeps it.
            if (line.notSent && line.notSent()) {
                try {
                    files.withdrawLastRecord();
                } catch (const Platform::Error &e) {
                    ShowError(e);
                }
            }
            view.requestStop();
            return;
        }
        view.showLineState(LineState::Delivered);
    } while (!view.stopRequested());
}

QString WalkCaption(const QString &prefix, const SerialClk::SerialClockRec &clock)
{
    QString caption = prefix + clock.ClockId + QStringLiteral(" Address: ") + QString::number(clock.TermAddr);
    if (!clock.PhoneNo.isEmpty())
        caption += QStringLiteral(" Phone: ") + clock.PhoneNo;
    return caption;
}

void WalkClockRows(const Platform::Database &db, const PortOps &ops, PollView &view)
{
    SerialClk::WalkClocks(
        db, ops, [&view] { return view.stopRequested(); },
        [&ops](const SerialClk::SerialClockRec &clock) { ops.drain(clock.CtrlAddr, clock.TermAddr); },
        [&view](const SerialClk::SerialClockRec &clock) {
            view.showStatus(WalkCaption(QStringLiteral("Polling Clock# "), clock));
        });
}

} // namespace PollSerial
