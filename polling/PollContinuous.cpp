#include "polling/PollSerial.h"

#include "app/AppMain.h"
#include "app/ClockOperation.h"
#include "app/frmMDI.h"
#include "libs/frame/LinkFrame.h"
#include "link/SerialClk.h"
#include "link/SerialClkDetail.h"
#include "platform/ansi.h"
#include "platform/clock.h"
#include "platform/error.h"
#include "setup/ClkMsgs.h"

#include <QCoreApplication>

namespace PollSerial {

namespace {

namespace LF = LinkFrame;

enum Answer { Accepted = 0, InvalidId = 1, NotScheduled = 2, BreakTime = 3 };

// Schedule check results.
constexpr int kOutsideSchedule = 1;
constexpr int kInBreak = 2;
// An employee's schedule number is three characters; this one has no schedule to keep.
constexpr int kScheduleNoLength = 3;
const QString kAnyTime = QStringLiteral("000");

// The clock needs a moment after its record before it takes the acknowledgement.
constexpr int kAckPauseMs = 10;
// The answer stays on the display this long before it is cleared.
constexpr int kAnswerShownMs = 1500;

const QString kAllClocksCaption = QStringLiteral("Polling Clock:   ");
const QString kChecksMissing =
    QStringLiteral("The access-control checks are not available: the continuous poll was not started.");

QString DisplayCommand(const QString &answer)
{
    return QStringLiteral("D00 ") + answer + QChar(LF::RS);
}

// "D00", two blanks, RS, "001", RS: the display back to its prompt.
QString ClearDisplayCommand()
{
    return QStringLiteral("D00  ") + QChar(LF::RS) + QStringLiteral("001") + QChar(LF::RS);
}

// A punch record: its text after the frame header starts with the punch mark.
bool IsPunchRecord(const QByteArray &record)
{
    const qsizetype gs = record.indexOf(LF::GS);
    return gs >= 0 && record.mid(gs + 1).startsWith(LF::PollChar);
}

bool ChecksConnected(const MDIHooks &h)
{
    return h.startRealTimeChecks && h.endRealTimeChecks && h.readPolledPunch && h.lookUpCard && h.checkSchedule &&
           h.postRealTimePunch;
}

// Opens the target and prepares every statement before the first poll, so
// nothing is acknowledged that could not be checked.
bool StartChecks(bool members)
{
    const MDIHooks &hooks = mdiHooks();
    if (AppMain::settings().TargetType != AppMain::kSorbTarget || !ChecksConnected(hooks)) {
        AppMain::ShowErrorMsg(QString(), kChecksMissing);
        return false;
    }
    try {
        return hooks.startRealTimeChecks(members);
    } catch (const Platform::Error &e) {
        ShowError(e);
        return false;
    }
}

void EndChecks()
{
    if (const auto &end = mdiHooks().endRealTimeChecks) {
        try {
            end();
        } catch (const Platform::Error &e) {
            ShowError(e);
        }
    }
}

// The answer to a punch; true when it is accepted.
bool CheckPunch(const PolledPunch &punch, bool members, const PollAnswers &answers, QString &answer)
{
    const MDIHooks &hooks = mdiHooks();
    const std::optional<CardHolder> holder = hooks.lookUpCard(punch.Badge, members);
    if (!holder) {
        answer = answers[InvalidId];
        return false;
    }
    if (!members && holder->ScheduleNo != kAnyTime) {
        // A missing or malformed schedule number cannot be checked: no schedule, no entry.
        const int result = holder->ScheduleNo.size() != kScheduleNoLength
                               ? kOutsideSchedule
                               : hooks.checkSchedule(holder->ScheduleNo, punch.Date, punch.Time);
        if (result == kInBreak || result == kOutsideSchedule) {
            answer = answers[result == kInBreak ? BreakTime : NotScheduled];
            return false;
        }
    }
    answer = answers[Accepted] + QLatin1Char(' ') + holder->FirstName;
    return true;
}

// A record still to be posted goes to POLL.txt, a member's to POLLM.txt;
// one that cannot be written there is in the day's log, and the poll stops
// so the user sees it.
void Keep(const QByteArray &record, bool members, PollFiles::DataFiles &files, PollView &view)
{
    if (record.isEmpty())
        return;
    try {
        if (members)
            PollFiles::AppendLine(PollFiles::MemberPollFilePath(), record);
        else
            files.poll().writeLine(record);
    } catch (const Platform::Error &e) {
        ShowError(e);
        view.requestStop();
    }
}

// A clock that answers at once never lets the line's waits run the event
// queue: each step yields once, so Stop Poll and Close get through.
void Yield()
{
    const ClockOperation::Yield yielding;
    QCoreApplication::processEvents();
}

// The pause of a pass over an empty clock list, with the window live so Stop gets through.
void IdlePass(int ms, const PollView &view)
{
    const double deadline = Platform::Clock::seconds() + ms / 1000.0 / Platform::Clock::fastClockDivisor();
    do
        SerialClk::WaitForEvents(deadline);
    while (!view.stopRequested() && Platform::Clock::seconds() < deadline);
}

} // namespace

PollAnswers LoadPollPrompts(const Platform::Database &db, const PollAnswers &defaults)
{
    PollAnswers texts = defaults;
    const auto loaded = ClkSetup::LoadPollAnswers(db, defaults);
    for (std::size_t i = 0; i < texts.size(); ++i)
        texts[i] = loaded[i].text;
    return texts;
}

void SendClockMessage(const QString &text, int controller, int terminal, const ClockLine &line)
{
    if (!line.send(SerialClk::BuildSelectMsg(controller, terminal)))
        return;
    const QByteArray reply = line.read();
    if (reply.isEmpty() || reply.contains(LF::NAK))
        return;
    if (line.send(SerialClk::BuildDataFrame(controller, terminal, Platform::Ansi::encodeForDisplay(text))))
        line.read();
}

QByteArray PollValidateSerialClock(int controller, int terminal, const QByteArray &pollMessage, bool members,
                                   const ClockLine &line, PollFiles::DataFiles &files, const PollAnswers &answers,
                                   PollView &view)
{
    const MDIHooks &hooks = mdiHooks();
    QByteArray record;  // each step starts without one
    try {
        if (!line.send(pollMessage)) {
            // The port refused the poll (its box was shown): polling on would show it again and again.
            view.requestStop();
            return {};
        }
        Platform::Clock::sleep(line.pollDelayMs);
        const std::optional<QByteArray> frame = RecordFrame(line.read(), controller, terminal);
        if (!frame)
            return {};
        const QByteArray recordLine = RecordLine(*frame);
        const bool punch = recordLine.contains(LF::PollChar);
        if (punch) {
            // On disk before the clock is told it may delete the punch.
            try {
                files.log().writeLine(recordLine);
            } catch (const Platform::Error &e) {
                ShowError(e);
                view.requestStop();
                return {};
            }
            record = recordLine;
        }
        Platform::Clock::sleep(kAckPauseMs);
        if (!line.send(SerialClk::BuildAckMsg(controller, terminal))) {
            // A clock that did not get it keeps the punch and sends it again: checking or posting it now
            // would post it twice. One that may have got it may have let it go: POLL.txt keeps it.
            view.requestStop();
            return line.notSent && line.notSent() ? QByteArray() : record;
        }
        view.showLineState(LineState::Delivered);
        if (!punch)
            return {};

        view.appendRecord(DisplayText(*frame));
        const std::optional<PolledPunch> fields = hooks.readPolledPunch(record);
        if (!fields) {
            if (!IsPunchRecord(record))
                return {};  // holds "P" but is no punch: in the day's log, nothing to check
            // A punch whose stamp cannot be read (a clock with a reset date): the clock has let it go,
            // so it goes to POLL.txt for the posting after the poll rather than nowhere.
            throw Platform::Error(Platform::ErrorNo::TypeMismatch,
                                  QStringLiteral("The punch's date or time cannot be read; it is kept for the posting."));
        }

        QString answer;
        const bool accepted = CheckPunch(*fields, members, answers, answer);
        if (!accepted)
            record.clear();  // the day's log is its only trace
        SendClockMessage(DisplayCommand(answer), controller, terminal, line);
        Platform::Clock::sleep(kAnswerShownMs);
        SendClockMessage(ClearDisplayCommand(), controller, terminal, line);
        if (!accepted)
            return {};
        if (hooks.postRealTimePunch(fields->Date, fields->Time, fields->Badge, members)) {
            record.clear();  // posted: a failure of the second clear must not keep it for a second posting
            SendClockMessage(ClearDisplayCommand(), controller, terminal, line);
        }
    } catch (const Platform::Error &e) {
        // A punch in the day's log and not posted goes to POLL.txt, for the posting after the poll.
        ShowError(e);
    }
    return record;
}

void PollContinous(PollView &view, PollFiles::DataFiles &files, bool allClocks, bool members,
                   const PollAnswers &answers)
{
    if (!OpenPollFiles(view, files))
        return;
    if (!StartChecks(members)) {
        EndChecks();
        EndPoll(view, files);
        return;
    }
    const ClockLine line = MainWindowLine();
    try {
        if (!allClocks) {
            if (!ReachSelectedClock(view)) {
                // Left to the user's Stop Poll, as the one-pass poll does; nothing stays open.
                EndChecks();
                files.close();
                return;
            }
            const SerialClk::SerialClockRec clock = SerialClk::state().SelClock;
            const QByteArray poll = SerialClk::BuildPollMsg(clock.CtrlAddr, clock.TermAddr);
            while (!view.stopRequested()) {
                Keep(PollValidateSerialClock(clock.CtrlAddr, clock.TermAddr, poll, members, line, files, answers, view),
                     members, files, view);
                Yield();
            }
        } else {
            // Read once: the walk does not go back to the clock database while it runs.
            const std::vector<SerialClk::SerialClockRec> clocks = SerialClk::ReadClockRows(AppMain::state().MainDb);
            const PortOps ops = MainWindowPorts();
            SerialClk::ClockWalk walk(ops);
            while (!view.stopRequested()) {
                if (clocks.empty())
                    IdlePass(line.pollDelayMs, view);
                for (const SerialClk::SerialClockRec &clock : clocks) {
                    try {
                        view.showStatus(WalkCaption(kAllClocksCaption, clock));
                        if (walk.reach(clock)) {
                            const QByteArray poll = SerialClk::BuildPollMsg(clock.CtrlAddr, clock.TermAddr);
                            Keep(PollValidateSerialClock(clock.CtrlAddr, clock.TermAddr, poll, members, line, files,
                                                         answers, view),
                                 members, files, view);
                        }
                    } catch (const Platform::Error &e) {
                        // One clock's failure is shown; the walk goes on with the next.
                        ShowError(e);
                    }
                    Platform::Clock::sleep(line.pollDelayMs);
                    Yield();
                    if (view.stopRequested())
                        break;
                }
            }
            walk.end();
        }
    } catch (const Platform::Error &e) {
        ShowError(e);
    }
    EndChecks();
    EndPoll(view, files);
}

} // namespace PollSerial
