// The program's serial link over a pseudo-terminal with the emulated clock:
// time per polled record (poll, data reply, host acknowledgement) and per
// downloaded line (select, data frame) against the pauses the link is
// designed to take, 2 x MachineSpeed x 10 ms each; then, with the pauses
// taken out, the link's own time and CPU time per record.
//
// Usage: serial_link_bench   (no arguments; under a minute)
#include "link/SerialClk.h"
#include "platform/clock.h"
#include "platform/comm/serialcomm.h"
#include "platform/ui.h"
#include "tests/support/serialclock/EmulatedSerialClock.h"

#include <QApplication>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>

namespace {

constexpr int kPort = 9;
constexpr int kController = 1;
constexpr int kTerminal = 1;
constexpr int kPausesPerStep = 2;
constexpr int kMachineSpeedUnitMs = 10;
// With the fast clock at this divisor a pause is a few nanoseconds.
constexpr int kNoPauses = 1000000;
const std::string kRecord = "011208261430000000000012345";

double cpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

struct Figures {
    double wallMs = 0;
    double cpuMs = 0;
};

template <class Step>
Figures perStep(int steps, Step step)
{
    const auto start = std::chrono::steady_clock::now();
    const double cpu = cpuSeconds();
    for (int i = 0; i < steps; ++i)
        step();
    const double wall = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    return {wall / steps, (cpuSeconds() - cpu) * 1000.0 / steps};
}

bool pollOneRecord(Platform::CommControl &comm)
{
    SerialClk::SendToPort(comm, SerialClk::BuildPollMsg(kController, kTerminal));
    const QByteArray reply = SerialClk::ReadPortReply(comm);
    SerialClk::SendToPort(comm, SerialClk::BuildAckMsg(kController, kTerminal));
    return reply.contains(kRecord.c_str());
}

void report(const char *what, int machineSpeed, const Figures &f)
{
    const double designed = kPausesPerStep * machineSpeed * kMachineSpeedUnitMs;
    std::printf("  %-18s MachineSpeed %2d: %7.2f ms (designed pauses %5.1f ms, %+6.1f%%), CPU %.3f ms\n", what,
                machineSpeed, f.wallMs, designed, (f.wallMs - designed) * 100.0 / designed, f.cpuMs);
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Platform::Ui::installScript();   // a failed send would otherwise wait for a click

    TevTest::EmulatedSerialClock clock(kController, kTerminal);
    clock.useAsPort(kPort);
    SerialClk::InitProtocolChars();
    SerialClk::state().CommParm.PollTimeOut = 400;
    Platform::SerialCommControl comm;
    if (!SerialClk::OpenPort(comm, kPort, QStringLiteral("9600,n,8,1"))) {
        std::fprintf(stderr, "cannot open the emulated clock's port\n");
        return 1;
    }

    std::printf("serial link over a pseudo-terminal, emulated clock, real clock\n");
    int lost = 0;
    for (const int speed : {5, 1}) {
        SerialClk::state().CommParm.MachineSpeed = qint16(speed);
        const int steps = speed == 5 ? 100 : 250;
        for (int i = 0; i < steps; ++i)
            clock.queueRecord(kRecord);
        report("polled record", speed, perStep(steps, [&] { lost += pollOneRecord(comm) ? 0 : 1; }));
        report("downloaded line", speed, perStep(steps, [&] {
                   lost += SerialClk::SendCommandWithRetry(comm, QByteArray("D00 Bench line"), kController, kTerminal) ? 0 : 1;
               }));
    }

    std::printf("pauses taken out (fast clock): the link's own cost\n");
    Platform::Clock::setFastClock(kNoPauses);
    const int steps = 3000;
    for (int i = 0; i < steps; ++i)
        clock.queueRecord(kRecord);
    const Figures own = perStep(steps, [&] { lost += pollOneRecord(comm) ? 0 : 1; });
    std::printf("  polled record: %.3f ms wall, %.3f ms CPU per record\n", own.wallMs, own.cpuMs);
    const Figures line = perStep(steps, [&] {
        lost += SerialClk::SendCommandWithRetry(comm, QByteArray("D00 Bench line"), kController, kTerminal) ? 0 : 1;
    });
    std::printf("  downloaded line: %.3f ms wall, %.3f ms CPU per line\n", line.wallMs, line.cpuMs);
    std::printf("exchanges without their answer: %d\n", lost);
    SerialClk::ClosePort(comm);
    return lost == 0 ? 0 : 1;
}
