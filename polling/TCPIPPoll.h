#pragma once

#include "link/TCPIP.h"
#include "polling/TCPIPRecords.h"

#include <QElapsedTimer>
#include <QString>
#include <QTimer>

#include <array>
#include <chrono>
#include <memory>
#include <vector>

class ClockOperation;

// The TCP/IP poll: one step per clock (ask the link library what the clock
// sent, keep its connection and acknowledgement mode, commit its records)
// and the loops that repeat it for the selected clock or for all clocks.
// Nothing here needs a widget: the form is reached through PollDisplay.
namespace TCPIPPoll {

// What the loops show; the poll form implements it.
class PollDisplay {
public:
    virtual ~PollDisplay() = default;
    // txtTerm shows the module's terminal text (and turns cyan).
    virtual void showTerminal(const QString &text) = 0;
    virtual void showStatus(const QString &text) = 0;  // lblPollStatus
    virtual void showConnected(bool connected) = 0;     // the main window's picPort
};

// The loop's end signal: the form's StopPoll, and its close while the loop runs.
struct StopSignal {
    bool *StopPoll = nullptr;
    const ClockOperation *operation = nullptr;
    bool isSet() const;
    void set() const { *StopPoll = true; }
};

// A clock of a loop, with the numbers the library takes worked out once.
struct LoopClock {
    LoopClock(const TCPIP::TCPIPClockRec &clock);  // implicit: a step may be given the record itself
    TCPIP::TCPIPClockRec rec;
    int32_t controller = 0;
    int32_t terminal = 0;
};

// One loop's files and what its steps share. Opening it opens the day's
// log, POLL.txt and buffer.log (errors thrown); they close with it, and
// the terminal then shows what it has not shown yet.
class Session {
public:
    Session(TCPIP::Build build, PollDisplay &display, StopSignal stop);
    ~Session();
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    // The clocks of the loop: the port picture shows connected while any is.
    void setClocks(std::vector<LoopClock> clocks);
    const std::vector<LoopClock> &clocks() const { return m_clocks; }
    // One poll step for a clock; returns the library's status. The records
    // it completes are committed before it returns, or within a pass with
    // the pass's others.
    uint32_t step(const LoopClock &clock);
    // The last step's receive was as long as the library makes one: the
    // clock may have more waiting.
    bool moreWaiting() const { return m_moreWaiting; }
    // A pass's steps commit their records together: one write per file, then
    // the acknowledgements, at the end of the pass or before the event queue
    // runs, whichever comes first.
    void beginPass();
    void endPass();
    // The clock of clocks() the all-clocks pass is at. CurTCPIPClock and the
    // status line follow when the window is next served: set at every clock
    // of a pass they would cost more than the pass.
    void setCurrent(const LoopClock &clock) { m_current = &clock; }
    // After a pass (or a step of the single-clock loop): the next follows at
    // once when it brought data, else after a wait that grows while passes stay empty.
    void rest(bool brought);
    // The link prepared again or the program quitting: what the clocks still
    // hold is settled as at a lost connection.
    void settleHeld();

private:
    struct Files;
    struct Address {
        int32_t controller = 0;
        int32_t terminal = 0;
    };
    uint32_t poll(const LoopClock &clock);
    void commit();
    void beforeEvents();
    void showCurrent();
    void yield();
    void unknownCaller();
    void switchToConnected(qint32 n, int32_t c, int32_t t);
    void wentOffline(const LoopClock &clock);
    void take(const LoopClock &clock, const QByteArray &received, TCPIPRecords::TextEnd end);
    void settle(const LoopClock &clock);
    void showConnected();
    void refreshTerminal();

    TCPIP::LinkApi &m_api;
    PollDisplay &m_display;
    StopSignal m_stop;
    std::unique_ptr<Files> m_files;
    TCPIPRecords::Batch m_batch;
    TCPIPRecords::CommitTargets m_targets;
    std::array<Address, TCPIP::kMaxClocks + 1> m_address{};  // of each clock with records in the batch
    bool m_passOpen = false;
    bool m_moreWaiting = false;
    std::vector<LoopClock> m_clocks;
    int m_shownConnected = -1;
    const LoopClock *m_current = nullptr;
    const LoopClock *m_shownCurrent = nullptr;
    bool m_terminalDirty = false;
    QElapsedTimer m_sinceTerminal;
    QElapsedTimer m_sinceYield;
    std::chrono::microseconds m_rest{};  // the last wait after an empty pass
    QTimer m_restTimer;
};

enum class Shape { SelectedClock, AllClocks };

// Clock numbers the poll serves: the per-clock state and buffer.log have
// one place for each.
bool ValidClockNumber(qint32 n);

// "Polling Clock# " and the number after one blank.
QString PollingText(qint32 n);

// One of the four loops. SelectedClock polls CurTCPIPClock; AllClocks
// walks the rows of TcpClocks by ScreenID, round after round, until Stop.
// Opens and closes the day's log, POLL.txt and buffer.log; errors are shown
// here and end the loop. False when it did not start (a clock number
// outside 1-128), so there are no end steps to run.
bool RunLoop(Shape shape, TCPIP::Build build, PollDisplay &display, StopSignal stop);

// What clocks still hold when the link is prepared again or the program
// quits, settled through the loaded build (files opened for it; an error
// is shown).
void SettleHeldRecords();

} // namespace TCPIPPoll
