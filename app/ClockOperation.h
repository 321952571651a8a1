#pragma once

#include <QString>

#include <memory>

class LongOperation;
class QWidget;

// The one answer to "is a clock operation running?". Every operation that
// uses a clock link holds one for as long as it runs: a poll of either
// link, a download, a set time, a send command, a serial exchange, a
// posting run. Beginning another from an event that a running one let
// through (its yield to the event queue, a modal box) is refused; the
// running operation's own nested calls come in between those yields and
// go through. Callers that would pull a link from under an operation (a
// change of the clock interface, an import) ask running() and refuse.
class ClockOperation {
public:
    // what: how a refusal names it ("TCP/IP poll"). form: the window whose
    // close asks it to stop (nullptr: only the main window's close).
    explicit ClockOperation(const QString &what, QWidget *form = nullptr);
    ~ClockOperation();
    ClockOperation(const ClockOperation &) = delete;
    ClockOperation &operator=(const ClockOperation &) = delete;

    // False when it was refused: the caller does nothing.
    explicit operator bool() const { return m_acquired; }
    // A close of the served form, or of the main window, waits for the
    // outermost operation: it unwinds when this is set.
    bool stopRequested() const;

    static bool running();
    // The name of the operation running, empty when none is or it has none.
    static QString runningName();
    // The code now runs inside an event a running operation let through.
    static bool reentered();

    // The box: "<refused> while a clock operation is running (<name>)."
    static void showRefusal(const QString &refused);
    // When an operation runs: its box, and true.
    static bool refuseWhileRunning(const QString &refused);

    // Held while a running operation hands the thread to the event queue:
    // whatever begins in there began outside the operation.
    class Yield {
    public:
        Yield();
        ~Yield();
        Yield(const Yield &) = delete;
        Yield &operator=(const Yield &) = delete;
    };
    // How deep in event handling the code runs: the yields of operations
    // and the modal loops (message boxes, a clock choice).
    static int eventDepth();

private:
    bool m_acquired = false;
    std::unique_ptr<LongOperation> m_own;  // the outermost holds the loop's registration
    const LongOperation *m_serving = nullptr;
};
