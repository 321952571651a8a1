// The program's own TCP/IP poll with 128 emulated clocks: the poll form's
// all-clocks loop (offscreen), acknowledgement mode on, each clock sending
// its next punch only after the PC acknowledged the last. Prints records
// per second and the send-to-acknowledgement time, checks the day's log
// holds each punch once, then the CPU the loop takes with 128 idle clocks.
//
// Usage: tcppoll_bench [records per clock] [idle seconds]
#include "app/AppMain.h"
#include "link/TCPIP.h"
#include "platform/clock.h"
#include "platform/ui.h"
#include "polling/PollFiles.h"
#include "polling/frmPollTCPIP.h"
#include "startup/Startup.h"

#include "LinkHome.h"
#include "TcpClock.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMetaObject>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>


#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

using namespace tevtest;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kClocks = 128;

int terminalOf(int n) { return (n - 1) % 32 + 1; }

double threadCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

double percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    return v[static_cast<std::size_t>(p * static_cast<double>(v.size() - 1))];
}

// The badge tells the clock and the punch: clock n's k-th punch is n * 100000 + k.
std::string badgeOf(int n, int k) { return std::to_string(n * 100000 + k); }

} // namespace

int main(int argc, char **argv)
{
    const int perClock = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int idleSeconds = argc > 2 ? std::atoi(argv[2]) : 10;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    QTemporaryDir home;
    const std::string dir = home.path().toStdString();
    QDir(home.path()).mkpath(QStringLiteral("Data"));
    QFile::copy(QStringLiteral(TEV_NEW_CLOCK_DB), home.filePath(QStringLiteral("Clock103.mdb")));
    QFile(home.filePath(QStringLiteral("Clock103.mdb"))).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    qputenv("TEV_HOME", home.path().toLocal8Bit());
    qputenv("TEV_REGISTRY_DIR", home.path().toLocal8Bit());
    linkLibraries(dir);
    const uint16_t port = prepareTcpLink(dir, kClocks);
    {
        Platform::Database db = Platform::Database::open(home.filePath(QStringLiteral("Clock103.mdb")));
        db.execute(QStringLiteral("INSERT INTO Registry (RegKey, RegField, RegValue) VALUES ('Application', 'Clock', '2')"));
        db.execute(QStringLiteral("INSERT INTO Registry (RegKey, RegField, RegValue) VALUES ('TCPIP', 'TCPIPACK', '1')"));
        for (int n = 1; n <= kClocks; ++n)
            db.execute(QStringLiteral("INSERT INTO TcpClocks (ScreenID, octet1, octet2, octet3, octet4) VALUES (?, 127, 0, 0, ?)"),
                       {n, n + 1});
    }
    Platform::Ui::installScript();  // an unexpected box must not wait for a user
    if (AppMain::Main() != AppMain::StartResult::Running) {
        std::fprintf(stderr, "start-up failed\n");
        return 1;
    }
    // POLL.txt is deleted unposted after each loop: posting is not measured here.
    AppMain::settings().TargetType = QStringLiteral("Kovra-Vesk");
    AppMain::settings().AutoImport = false;
    TCPIP::LinkApi &api = TCPIP::Api(TCPIP::Build::Tev32);
    std::vector<char> buffer(TCPIP::kRxBufSize + 1, ' ');
    const auto takeConnections = [&] { api.PollTimeClock(1, 4, 31, nullptr, buffer.data()); };
    takeConnections();  // starts listening

    std::vector<std::unique_ptr<TcpClock>> clocks;
    for (int n = 1; n <= kClocks; ++n) {
        clocks.push_back(std::make_unique<TcpClock>(clockAddress(n), port));
        if (!clocks.back()->connect()) {
            std::fprintf(stderr, "clock %d cannot connect\n", n);
            return 1;
        }
        takeConnections();
    }

    frmPollTCPIP form;
    form.optAllClk->setChecked(true);

    // Records.
    std::vector<double> latencies;
    std::thread clockSide([&] {
        latencies = sendAckPaced(clocks, perClock, [](int i, int k) {
            return punchRecord(terminalOf(i + 1), badgeOf(i + 1, k), "240102153000");
        });
        QMetaObject::invokeMethod(&form, [&form] { form.cmdStopPoll_Click(); }, Qt::QueuedConnection);
    });
    const auto start = Clock::now();
    form.cmdPoll_Click();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    clockSide.join();

    // The day's log: every punch once.
    QFile log(PollFiles::DayLogPath(Platform::Clock::today()));
    log.open(QIODevice::ReadOnly);
    std::set<std::string> seen;
    long lines = 0, doubled = 0;
    for (const QByteArray &line : log.readAll().split('\n')) {
        if (line.isEmpty())
            continue;
        ++lines;
        const QList<QByteArray> fields = line.split('\x1E');
        if (fields.size() < 2 || !seen.insert(fields[1].toStdString()).second)
            ++doubled;
    }
    const long total = static_cast<long>(kClocks) * perClock;
    long missing = 0;
    for (int n = 1; n <= kClocks; ++n)
        for (int k = 0; k < perClock; ++k)
            missing += seen.count(badgeOf(n, k)) == 0;

    std::printf("clocks                          %d\n", kClocks);
    std::printf("records acknowledged            %zu of %ld\n", latencies.size(), total);
    std::printf("day's log lines                 %ld (missing %ld, doubled or unreadable %ld)\n", lines, missing,
                doubled);
    std::printf("elapsed                         %.2f s\n", seconds);
    std::printf("records per second              %.0f\n", static_cast<double>(latencies.size()) / seconds);
    if (!latencies.empty()) {
        std::printf("send to acknowledgement median  %.3f ms\n", percentile(latencies, 0.5));
        std::printf("send to acknowledgement p99     %.3f ms\n", percentile(latencies, 0.99));
    }

    // Idle: every clock connected, nothing to send.
    QTimer::singleShot(idleSeconds * 1000, &form, [&form] { form.cmdStopPoll_Click(); });
    const double cpu0 = threadCpuSeconds();
    const auto idle0 = Clock::now();
    form.cmdPoll_Click();
    const double idleWall = std::chrono::duration<double>(Clock::now() - idle0).count();
    const double idleCpu = threadCpuSeconds() - cpu0;
    std::printf("idle loop, 128 clocks connected %.1f%% of a core (%.2f s CPU in %.1f s)\n",
                100.0 * idleCpu / idleWall, idleCpu, idleWall);

    TCPIP::CloseTCPIPLink();
    return missing == 0 && doubled == 0 && lines == total ? 0 : 1;
}
