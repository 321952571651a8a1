// A serial clock played on the master side of a pseudo-terminal, byte for
// byte: it answers selects, polls, data frames and acknowledgements for its
// own controller and terminal address, hands out queued punch records until
// they are acknowledged, and misbehaves on request.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace TevTest {

class EmulatedSerialClock {
public:
    enum class Frame { Select, Poll, Data, Ack, Nak, Other };

    enum class Fault {
        Silence,       // no answer at all
        Nak,           // SOH a t NAK EOT instead of the answer
        BadCheck,      // the answer's second check character is wrong
        CutShort,      // the answer's first four bytes, then EOT
        NoEtx,         // the answer without its ETX
        NoEot,         // the answer without its closing EOT
        WrongAddress,  // the acknowledgement of the next terminal
        Babble,        // the answer, then a byte every few ms for two seconds
    };

    struct Received {
        Frame kind;
        std::string bytes;
        std::chrono::steady_clock::time_point at;  // when the frame was whole
    };

    EmulatedSerialClock(int controller, int terminal);
    ~EmulatedSerialClock();
    EmulatedSerialClock(const EmulatedSerialClock &) = delete;
    EmulatedSerialClock &operator=(const EmulatedSerialClock &) = delete;

    // The slave side: the device a port is opened on.
    const std::string &devicePath() const { return m_devicePath; }
    // A descriptor of the slave side held open for the clock's life; its
    // settings are those the port was given.
    int slaveFd() const { return m_slave; }
    // Points TEV_COMn at this clock.
    void useAsPort(unsigned comport) const;

    // A record handed out at each poll until the host acknowledges it; the
    // text follows the "\A" t GS header inside the record frame.
    void queueRecord(const std::string &record);
    std::size_t pendingRecords() const;

    // After `after` normal answers, the next `times` frames of this kind get
    // the fault instead of the normal answer.
    void inject(Frame kind, Fault fault, int times = 1, int after = 0);
    // The same with these bytes for an answer.
    void injectReply(Frame kind, const std::string &bytes, int times = 1, int after = 0);
    // The normal answer, sent this long after the frame (the clock hears
    // nothing meanwhile; frames wait on the line).
    void injectLate(Frame kind, std::chrono::milliseconds delay, int times = 1, int after = 0);
    // Answers go out one byte per write, with pauses shorter than the
    // quiet gap that ends a reply.
    void splitWrites(bool on);

    // After it hands out its next record the line stops taking the host's
    // bytes (the port's output is suspended): the host's next frame stays in
    // its output queue until the host discards it or lets the line go again.
    void holdLineAfterNextRecord();

    // Called in the clock's own thread when the host acknowledges a record
    // of this clock, once the record has left the queue.
    void onAcknowledgement(std::function<void()> hook);

    std::vector<Received> received() const;
    std::vector<Frame> receivedKinds() const;
    // The bytes between STX and ETX of every data frame the clock acknowledged.
    std::vector<std::string> acceptedTexts() const;
    // Waits until at least `count` frames have arrived.
    bool waitForFrames(std::size_t count,
                       std::chrono::milliseconds timeout = std::chrono::milliseconds(3000)) const;

private:
    struct Scripted {
        Frame kind;
        bool custom;
        Fault fault;
        std::string bytes;
        int times;
        int after;
        std::chrono::milliseconds delay{0};
    };

    void run();
    void handleFrame(const std::string &frame);
    std::string normalAnswer(Frame kind, const std::string &frame);
    std::string applyFault(Fault fault, const std::string &answer, char headAddress) const;
    bool scriptedAnswer(Frame kind, const std::string &normal, char headAddress,
                        std::string &answer, bool &babble, std::chrono::milliseconds &delay);
    void send(const std::string &bytes, bool babble, std::chrono::milliseconds delay);

    const int m_controller;
    const int m_terminal;
    int m_master = -1;
    int m_slave = -1;
    int m_wake[2] = {-1, -1};
    std::string m_devicePath;

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_arrived;
    std::deque<std::string> m_records;
    std::vector<Scripted> m_script;
    std::vector<Received> m_received;
    std::vector<std::string> m_accepted;
    bool m_split = false;
    bool m_holdAfterRecord = false;
    std::function<void()> m_onAck;

    std::thread m_thread;
};

} // namespace TevTest
