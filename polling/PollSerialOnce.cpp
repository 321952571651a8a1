#include "polling/PollSerial.h"

#include "app/AppMain.h"
#include "app/frmMDI.h"
#include "link/SerialClk.h"
#include "platform/comm/commcontrol.h"
#include "platform/error.h"

#include <memory>

namespace PollSerial {

void EndPoll(PollView &view, PollFiles::DataFiles &files)
{
    SerialClk::state().CancelSend = true;
    files.close();
    if (mdiHooks().closeTargetDb)
        mdiHooks().closeTargetDb();
    try {
        PollFiles::FinishPollFile(files.pollPath());
        PollFiles::FinishMemberPollFile();
    } catch (const Platform::Error &e) {
        ShowError(e);
    }
    view.returnToIdle();
}

ClockLine MainWindowLine()
{
    Platform::CommControl &comm = SerialClk::MainComm();
    const auto last = std::make_shared<SerialClk::Delivery>(SerialClk::Delivery::Sent);
    return ClockLine{[&comm, last](const QByteArray &frame) {
                         *last = SerialClk::SendFrame(comm, frame);
                         return *last == SerialClk::Delivery::Sent;
                     },
                     [&comm] { return SerialClk::ReadPortReply(comm); }, SerialClk::state().CommParm.PollDelay,
                     [last] { return *last == SerialClk::Delivery::NotSent; }};
}

PortOps MainWindowPorts()
{
    return PortOps{SerialClk::MainWindowPorts(), {}};
}

bool OpenPollFiles(PollView &view, PollFiles::DataFiles &files)
{
    // Nothing is polled unless both files are open: a record acknowledged
    // to its clock must be on disk.
    try {
        files.open();
    } catch (const Platform::Error &e) {
        ShowError(e);
        view.returnToIdle();
        return false;
    }
    view.clearTerminal();
    view.showStatus(QString());
    return true;
}

bool ReachSelectedClock(PollView &view)
{
    SerialClk::State &link = SerialClk::state();
    if (!link.ClockPortOpen && !SerialClk::OpenSelectedClockPort(SerialClk::MainComm()))
        return false;
    const SerialClk::SerialClockRec &clock = link.SelClock;
    view.showStatus(QStringLiteral("Polling Clock# ") + clock.ClockId + QStringLiteral(" Address: ") +
                    QString::number(clock.TermAddr));
    return true;
}

void PollSerialClocksOnce(PollView &view, PollFiles::DataFiles &files, bool allClocks)
{
    if (!OpenPollFiles(view, files))
        return;
    const ClockLine line = MainWindowLine();
    try {
        if (!allClocks) {
            if (!ReachSelectedClock(view)) {
                // Left to the user's Stop Poll, as before; the files are not left open.
                files.close();
                return;
            }
            const SerialClk::SerialClockRec &clock = SerialClk::state().SelClock;
            PollSerialClock(clock.CtrlAddr, clock.TermAddr, line, files, view);
        } else {
            PortOps ops = MainWindowPorts();
            ops.drain = [&](int controller, int terminal) { PollSerialClock(controller, terminal, line, files, view); };
            WalkClockRows(AppMain::state().MainDb, ops, view);
        }
    } catch (const Platform::Error &e) {
        // A failure of the clock list or the port ends the pass; what was stored still goes to posting.
        ShowError(e);
    }
    EndPoll(view, files);
}

} // namespace PollSerial
