// The TCP/IP poll end to end: the built link libraries in a temporary
// application folder, emulated clocks on loopback addresses, the day's log
// and POLL.txt on disk.
#include "app/AppMain.h"
#include "link/TCPIP.h"
#include "platform/clock.h"
#include "platform/ui.h"
#include "polling/PollFiles.h"
#include "polling/TCPIPPoll.h"
#include "polling/TCPIPRecords.h"
#include "polling/frmPollTCPIP.h"
#include "startup/Startup.h"
#include "tests/support/fixture/TevHome.h"

#include "LinkHome.h"
#include "TcpClock.h"

#include <QDir>
#include <QFile>
#include <QLabel>

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <thread>

namespace {

using TCPIP::Build;
using tevtest::TcpClock;
using Clock = std::chrono::steady_clock;

QByteArray bytes(const std::string &s) { return QByteArray(s.data(), static_cast<qsizetype>(s.size())); }

// The library calls the tests watch, wrapped in the build's table.
struct Spy {
    static inline decltype(&::PollTimeClock) poll = nullptr;
    static inline decltype(&::SendAckTimeClock) ack = nullptr;
    static inline decltype(&::AckRequired) mode = nullptr;
    static inline std::function<void(int n)> beforePoll;
    static inline std::function<uint32_t(int n, char *buffer)> answer;  // in the library's place when set
    static inline std::function<void()> beforeAck;
    static inline std::vector<int> polled;
    static inline uint32_t status = 0;  // of the last poll
    static inline std::vector<std::pair<int, int>> modeRequests;  // clock, on
};

uint32_t spyPoll(intptr_t h, int32_t c, int32_t t, const char *file, char *buffer)
{
    const int n = (c - 1) * 32 + t;
    if (Spy::beforePoll)
        Spy::beforePoll(n);
    Spy::polled.push_back(n);
    return Spy::status = Spy::answer ? Spy::answer(n, buffer) : Spy::poll(h, c, t, file, buffer);
}

uint32_t spyAck(intptr_t h, int32_t c, int32_t t)
{
    if (Spy::beforeAck)
        Spy::beforeAck();
    return Spy::ack(h, c, t);
}

uint32_t spyMode(intptr_t h, int32_t c, int32_t t, int32_t on)
{
    Spy::modeRequests.emplace_back((c - 1) * 32 + t, on);
    return Spy::mode(h, c, t, on);
}

struct Display : TCPIPPoll::PollDisplay {
    QString terminal, status;
    bool connected = false;
    void showTerminal(const QString &text) override { terminal = text; }
    void showStatus(const QString &text) override { status = text; }
    void showConnected(bool c) override { connected = c; }
};

class TcpPoll : public TevHome {
protected:
    void SetUp() override
    {
        TevHome::SetUp();
        installDefaultDatabase();
        port_ = prepareTcpLink();
        Spy::beforePoll = nullptr;
        Spy::answer = nullptr;
        Spy::beforeAck = nullptr;
        Spy::polled.clear();
        Spy::modeRequests.clear();
    }
    void TearDown() override
    {
        session_.reset();
        PollFiles::setOpener(nullptr);
        TevHome::TearDown();
    }

    void start(Build build = Build::Tev32, bool ack = true)
    {
        build_ = build;
        putSetting(QStringLiteral("Application"), QStringLiteral("Clock"),
                   build == Build::Tev95 ? QStringLiteral("1") : QStringLiteral("2"));
        putSetting(QStringLiteral("TCPIP"), QStringLiteral("TCPIPACK"), ack ? QStringLiteral("1") : QStringLiteral("0"));
        ASSERT_EQ(AppMain::Main(), AppMain::StartResult::Running);
        TCPIP::LinkApi &api = TCPIP::Api(build);
        Spy::poll = std::exchange(api.PollTimeClock, spyPoll);
        Spy::ack = std::exchange(api.SendAckTimeClock, spyAck);
        Spy::mode = std::exchange(api.AckRequired, spyMode);
        rawPoll(kUnused);  // starts listening
    }
    void addClocks(std::initializer_list<int> numbers)
    {
        for (int n : numbers)
            AppMain::state().MainDb.execute(
                QStringLiteral("INSERT INTO TcpClocks (ScreenID, octet1, octet2, octet3, octet4) VALUES (?, 127, 0, 0, ?)"),
                {n, n + 1});
    }
    // A poll of a clock number nobody uses takes the waiting connections.
    void rawPoll(int n)
    {
        std::vector<char> buffer(TCPIP::kRxBufSize + 1, ' ');
        Spy::poll(1, (n + 31) / 32, (n - 1) % 32 + 1, nullptr, buffer.data());
    }
    std::unique_ptr<TcpClock> connect(int n)
    {
        auto clock = std::make_unique<TcpClock>(tevtest::clockAddress(n), port_);
        EXPECT_TRUE(clock->connect());
        rawPoll(kUnused);
        return clock;
    }
    static TCPIP::TCPIPClockRec clockRec(int n)
    {
        return {n, TCPIP::TerminalOf(n), TCPIP::ControllerOf(n), 127, 0, 0, n + 1};
    }

    TCPIPPoll::Session &session()
    {
        if (!session_)
            session_ = std::make_unique<TCPIPPoll::Session>(build_, display_, TCPIPPoll::StopSignal{&stop_});
        return *session_;
    }
    // Steps clock n until `done` or three seconds; the last status.
    uint32_t stepUntil(int n, const std::function<bool(uint32_t)> &done)
    {
        const auto deadline = Clock::now() + std::chrono::seconds(3);
        uint32_t status;
        do
            status = session().step(clockRec(n));
        while (!done(status) && Clock::now() < deadline);
        return status;
    }
    bool bring(int n, int acks)
    {
        return stepUntil(n, [&](uint32_t) { return acks_ >= acks; }) != 2 && acks_ >= acks;
    }

    QByteArray dayLog() const { return read(PollFiles::DayLogPath(Platform::Clock::today())); }
    QByteArray pollFile() const { return read(PollFiles::PollFilePath()); }
    static QByteArray read(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // The OK of each box the case expects.
    static void answerBoxes(int n)
    {
        while (n-- > 0)
            Platform::Ui::queueAnswer(Platform::Ui::Answer::Ok);
    }
    static QStringList boxes()
    {
        QStringList texts;
        for (const auto &s : Platform::Ui::shown())
            if (s.kind == QLatin1String("msgbox"))
                texts << s.title + QLatin1Char('|') + s.text;
        return texts;
    }
    // Counts acknowledgements; at each, both files must hold every line up to
    // that record's (and may hold the later ones written with it).
    void checkFilesAtEachAck(const std::vector<QByteArray> &linesBefore)
    {
        Spy::beforeAck = [this, linesBefore] {
            ASSERT_LT(acks_, static_cast<int>(linesBefore.size()));
            const QByteArray log = dayLog();
            EXPECT_TRUE(log.startsWith(logged_ + linesBefore[acks_]) &&
                        (logged_ + linesBefore.back()).startsWith(log))
                << "acknowledgement " << acks_;
            EXPECT_EQ(pollFile(), dayLog());
            ++acks_;
        };
    }

    static constexpr int kUnused = 40;
    quint16 port_ = 0;
    Build build_ = Build::Tev32;
    bool stop_ = false;
    Display display_;
    std::unique_ptr<TCPIPPoll::Session> session_;
    int acks_ = 0;
    QByteArray logged_;  // what the day's log held before the case
};

const QByteArray kP1 = bytes(tevtest::punchRecord(1, "1234", "040309070500", 2, {"A", "", "B"}));
const QByteArray kKeepAlive = bytes(tevtest::keepAliveRecord(1));
const QByteArray kNonPunch = "\\A!\x1D" "BS01120045";
const QByteArray kP2 = bytes(tevtest::punchRecord(1, "\xE9\xFF" "77", "040309070600"));
const QByteArray kStream = kP1 + kKeepAlive + kNonPunch + kP2;
// The log after each of the four acknowledgements of kStream.
const std::vector<QByteArray> kLinesAtAck = {kP1 + "\r\n", kP1 + "\r\n", kP1 + "\r\n" + kNonPunch + "\r\n",
                                             kP1 + "\r\n" + kNonPunch + "\r\n" + kP2 + "\r\n"};
const QByteArray kStreamLines = kLinesAtAck.back();
// Cut after its stamp, or after the one character after it, the plain punch
// kP2 is whole already: it is logged as it stands, and what follows is no line.
std::vector<QByteArray> kP2CutAfterItsStamp(std::vector<QByteArray> lines, qsizetype missing)
{
    lines.back().replace(kP2, kP2.chopped(missing));
    return lines;
}

TEST_F(TcpPoll, StreamCutAtEveryOffsetLogsEachRecordOnceBeforeItsAcknowledgement)
{
    start();
    auto clock = connect(1);
    ASSERT_EQ(stepUntil(1, [](uint32_t s) { return s == 0; }), 0u);
    ASSERT_TRUE(clock->waitForMessages(1));  // the program's REQ
    ASSERT_TRUE(clock->ackMode());
    for (int cut = 1; cut < kStream.size(); ++cut) {
        SCOPED_TRACE(cut);
        acks_ = 0;
        logged_ = dayLog();
        const qsizetype missing = kStream.size() - cut;
        const auto lines = missing <= 2 ? kP2CutAfterItsStamp(kLinesAtAck, missing) : kLinesAtAck;
        checkFilesAtEachAck(lines);
        ASSERT_TRUE(clock->send(kStream.left(cut).toStdString()));
        stepUntil(1, [](uint32_t s) { return s == 3; });
        ASSERT_TRUE(clock->send(kStream.mid(cut).toStdString()));
        ASSERT_TRUE(bring(1, 4));
        EXPECT_EQ(dayLog(), logged_ + lines.back());
    }
    EXPECT_TRUE(clock->waitForMessages(1 + 4 * (kStream.size() - 1), std::chrono::seconds(10)));
    EXPECT_EQ(clock->messages().size(), 1 + 4u * (kStream.size() - 1));
}

TEST_F(TcpPoll, ByteAtATimeAndOneLongSendEachGiveEveryRecordOnce)
{
    start(Build::Tev95);
    auto clock = connect(1);
    stepUntil(1, [](uint32_t s) { return s == 0; });
    checkFilesAtEachAck(kP2CutAfterItsStamp(kLinesAtAck, 2));
    for (char b : kStream) {
        ASSERT_TRUE(clock->send(std::string(1, b)));
        stepUntil(1, [](uint32_t s) { return s == 3; });
    }
    ASSERT_TRUE(bring(1, 4));

    // Over 1,500 bytes in one send: the library takes them in several receives.
    acks_ = 0;
    logged_ = dayLog();
    QByteArray many, lines;
    std::vector<QByteArray> linesAtAck;
    for (int i = 0; many.size() <= 1600; ++i) {
        const QByteArray p = bytes(tevtest::punchRecord(1, std::to_string(1000 + i), "040309070500"));
        many += p;
        lines += p + "\r\n";
        linesAtAck.push_back(lines);
    }
    checkFilesAtEachAck(linesAtAck);
    ASSERT_TRUE(clock->send(many.toStdString()));
    ASSERT_TRUE(bring(1, static_cast<int>(linesAtAck.size())));
    EXPECT_EQ(dayLog(), logged_ + lines);
}

TEST_F(TcpPoll, ClockLostMidRecordSendsItAgainAndItIsLoggedOnce)
{
    start();
    auto clock = connect(1);
    answerBoxes(2);
    for (bool reset : {false, true}) {
        SCOPED_TRACE(reset ? "reset" : "close");
        // A punch of its own each time: the one before the loss would be taken for its copy.
        const QByteArray punch = reset ? kP2 : kP1;
        stepUntil(1, [](uint32_t s) { return s == 0; });
        ASSERT_TRUE(clock->send(punch.left(10).toStdString()));
        stepUntil(1, [](uint32_t s) { return s == 3; });
        reset ? clock->reset() : clock->disconnect();
        ASSERT_EQ(stepUntil(1, [](uint32_t s) { return s == 2; }), 2u);
        ASSERT_TRUE(clock->reconnect());
        ASSERT_EQ(stepUntil(1, [](uint32_t s) { return s == 0; }), 0u);
        ASSERT_TRUE(clock->waitForMessages(1));
        ASSERT_TRUE(clock->ackMode());
        acks_ = 0;
        logged_ = dayLog();
        checkFilesAtEachAck({punch + "\r\n"});
        ASSERT_TRUE(clock->send(punch.toStdString()));
        ASSERT_TRUE(bring(1, 1));
        EXPECT_EQ(dayLog(), logged_ + punch + "\r\n");
    }
    EXPECT_EQ(boxes(), QStringList(2, QStringLiteral("Kovra-TEV|Clock # 1 offline")));
}

// Clocks that end their punches without ETX, out of acknowledgement mode,
// each losing its connection in the middle of a punch and sending it whole
// once back (1 and 2 at once, 3 after the poll saw it go): every punch once
// in the day's log and POLL.txt, no fragment line. Stop is no loss: clock 1's
// record without an end mark and clock 2's cut punch stay with their clocks.
TEST_F(TcpPoll, PunchesWithoutEtxAcrossLostConnectionsAreLoggedOnceAndNoFragment)
{
    start(Build::Tev32, false);
    addClocks({1, 2, 3});
    std::vector<std::unique_ptr<TcpClock>> clocks;
    for (int n : {1, 2, 3})
        clocks.push_back(connect(n));
    const auto punch = [](int n, int k) {
        return bytes(tevtest::punchRecord(n, std::to_string(100 * n + k), "040309070500")).chopped(1);
    };
    const int cutAt[] = {0, 3, 9, 20};  // clock n's second punch cut in its header, badge, stamp
    const QByteArray leftAtEnd[] = {{}, kNonPunch, punch(2, 4).left(10), {}};
    int phase[4] = {}, after[4] = {}, polls = 0;
    answerBoxes(1);  // clock 3 offline
    Spy::beforePoll = [&](int n) {
        TcpClock &clock = *clocks[n - 1];
        stop_ = stop_ || ++polls > 5000;
        switch (phase[n]) {
        case 0:
            ASSERT_TRUE(clock.send((punch(n, 1) + punch(n, 2).left(cutAt[n])).toStdString()));
            phase[n] = 1;
            break;
        case 1:
            n == 1 ? clock.reset() : clock.disconnect();
            phase[n] = 2;
            if (n == 3)
                break;
            [[fallthrough]];
        case 2:
            if (n == 3 && TCPIP::state().PollClocks[3].Seen != TCPIP::ClockSeen::Offline)
                break;
            ASSERT_TRUE(clock.reconnect());
            ASSERT_TRUE(clock.send((punch(n, 2) + punch(n, 3) + leftAtEnd[n]).toStdString()));
            phase[n] = 3;
            break;
        default:
            ++after[n];
            stop_ = stop_ || std::min({after[1], after[2], after[3]}) >= 3;
        }
    };
    TCPIPPoll::RunLoop(TCPIPPoll::Shape::AllClocks, build_, display_, TCPIPPoll::StopSignal{&stop_});

    QByteArrayList expected;
    for (int n : {1, 2, 3})
        expected << punch(n, 1) << punch(n, 2) << punch(n, 3);
    QByteArrayList logged = dayLog().split('\n');
    logged.removeLast();
    for (QByteArray &line : logged)
        line.chop(1);
    std::sort(expected.begin(), expected.end());
    std::sort(logged.begin(), logged.end());
    EXPECT_EQ(logged, expected);
    EXPECT_EQ(pollFile(), dayLog());
    EXPECT_EQ(TCPIP::state().PollClocks[1].Text.Held, kNonPunch);
    EXPECT_EQ(TCPIP::state().PollClocks[2].Text.Held, leftAtEnd[2]);
}

TEST_F(TcpPoll, APunchSentAgainAfterItsConnectionWentIsOnDiskOnce)
{
    // A clock in acknowledgement mode whose connection goes just after a punch
    // cannot tell whether the acknowledgement reached it, and sends it again.
    start();
    addClocks({1});
    auto clock = connect(1);
    const QByteArray first = bytes(tevtest::punchRecord(1, "101", "040309070500"));
    const QByteArray second = bytes(tevtest::punchRecord(1, "102", "040309070600"));
    Spy::beforeAck = [this] { ++acks_; };
    ASSERT_TRUE(clock->send(first.toStdString()));
    ASSERT_TRUE(bring(1, 1));
    clock->disconnect();
    answerBoxes(1);  // clock 1 offline
    ASSERT_EQ(stepUntil(1, [](uint32_t s) { return s == 2; }), 2u);
    ASSERT_TRUE(clock->reconnect());
    ASSERT_TRUE(clock->send((first + second).toStdString()));
    ASSERT_TRUE(bring(1, 3)) << "the copy is acknowledged too, so the clock lets it go";
    session_.reset();
    EXPECT_EQ(dayLog().count(first), 1);
    EXPECT_EQ(dayLog().count(second), 1);
    EXPECT_EQ(pollFile(), dayLog());
}

TEST_F(TcpPoll, HeldRecordWithoutEndMarkIsCommittedOnceAfterHalfASecondOfQuiet)
{
    start();
    auto clock = connect(1);
    stepUntil(1, [](uint32_t s) { return s == 0; });
    logged_ = dayLog();
    checkFilesAtEachAck({kNonPunch + "\r\n"});
    ASSERT_TRUE(clock->send(kNonPunch.toStdString()));
    stepUntil(1, [](uint32_t s) { return s == 3; });
    const auto received = Clock::now();
    session().step(clockRec(1));
    EXPECT_EQ(acks_, 0) << "committed before the clock fell quiet";
    ASSERT_TRUE(bring(1, 1));
    EXPECT_GE(Clock::now() - received, std::chrono::milliseconds(450));
    EXPECT_EQ(dayLog(), logged_ + kNonPunch + "\r\n");
}

// Loops through RunLoop, steered from inside the wrapped poll call.
class TcpPollLoop : public TcpPoll, public ::testing::WithParamInterface<bool> {
protected:
    void run(TCPIPPoll::Shape shape)
    {
        TCPIPPoll::RunLoop(shape, build_, display_, TCPIPPoll::StopSignal{&stop_});
    }
    int lines() const { return static_cast<int>(dayLog().count("\r\n")); }
};

TEST_P(TcpPollLoop, AllClocksCollectedInTheFirstRoundWithOneRequestPerConnection)
{
    const bool ack = GetParam();
    start(Build::Tev32, ack);
    addClocks({1, 2, 3, 4});
    auto c1 = connect(1), c3 = connect(3), c4 = connect(4);
    const QByteArray three = bytes(tevtest::punchRecord(1, "1", "040309070500") +
                                   tevtest::punchRecord(1, "2", "040309070500") +
                                   tevtest::punchRecord(1, "3", "040309070500"));
    ASSERT_TRUE(c1->send(three.toStdString()));
    ASSERT_TRUE(c4->send(tevtest::punchRecord(4, "4", "040309070500")));
    answerBoxes(1);
    int round = 0, linesAfterFirstRound = -1, reconnectedIn = 0, last = 0;
    bool shownInLoop = false, portShownOffline = false;
    Spy::beforePoll = [&](int n) {
        const bool newRound = n == 1 && last != 1;
        last = n;
        // Clocks 1 and 4 stay connected from the first round on, whatever 2 and 3 do.
        if (round >= 2 && !display_.connected)
            portShownOffline = true;
        if (!newRound)
            return;
        ++round;
        if (round == 2) {
            linesAfterFirstRound = lines();
            c3->disconnect();
        }
        if (!reconnectedIn && !boxes().isEmpty()) {
            ASSERT_TRUE(c3->reconnect());
            reconnectedIn = round;
        }
        // The terminal shows the records while the loop runs, not only at its end.
        shownInLoop = !display_.terminal.isEmpty();
        if ((reconnectedIn && round >= reconnectedIn + 2 && shownInLoop) || round > 1000)
            stop_ = true;
    };
    run(TCPIPPoll::Shape::AllClocks);
    EXPECT_EQ(linesAfterFirstRound, 4);
    EXPECT_TRUE(shownInLoop);
    EXPECT_FALSE(portShownOffline);
    EXPECT_EQ(boxes(), QStringList(QStringLiteral("Kovra-TEV|Clock # 3 offline")));
    const std::vector<std::pair<int, int>> requests = {{1, ack}, {3, ack}, {4, ack}, {3, ack}};
    EXPECT_EQ(Spy::modeRequests, requests);
}

// What follows a punch cut short, in the table below.
enum class Then { MoreBytes, Quiet, StopThenPoll, NextRecord, Loss, Reconnection, Resend, FailedWriteThenResend };

QByteArray punchOf(int badge, int function = 0, const std::vector<std::string> &fields = {})
{
    return bytes(tevtest::punchRecord(1, std::to_string(badge), "040309070500", function, fields));
}

// What a clock sends: a punch in each layout the posting reads.
const struct Layout {
    const char *name;
    QByteArray (*stream)(int badge);
} kLayouts[] = {
    {"Etx", [](int b) { return punchOf(b); }},
    {"EndsWithItsStamp", [](int b) { return punchOf(b).chopped(2); }},
    {"EndsOneAfterItsStamp", [](int b) { return punchOf(b).chopped(1); }},
    {"MoreBeforeItsUs", [](int b) { return punchOf(b).chopped(1).replace("\x1F", "xyz\x1F"); }},
    {"FunctionKey", [](int b) { return punchOf(b, 2, {"A", "", "B"}); }},
    {"AfterAKeepAlive", [](int b) { return kKeepAlive + punchOf(b); }},
};

// Acknowledgement mode on and off x the layouts x a cut at every byte x what
// follows the cut: each punch once in the day's log and POLL.txt, whole, and
// no other line (no beginning of a keep-alive or of a cut punch). Each clock
// of a row takes one cut, so a row waits for a quiet clock once.
TEST_P(TcpPollLoop, EveryPunchOnDiskOnceAndWholeWhateverCutItAndWhateverFollows)
{
    port_ = prepareTcpLink(TCPIP::kMaxClocks);
    start(Build::Tev32, GetParam());
    std::vector<std::unique_ptr<TcpClock>> clocks(60);  // clock kUnused + cut takes the cut
    for (int cut = 1; cut < 60; ++cut)
        clocks[cut] = connect(kUnused + cut);
    // Steps the clock until it has received the text (a failed write is the row's own).
    const auto send = [&](int cut, const QByteArray &text) {
        ASSERT_TRUE(clocks[cut]->send(text.toStdString()));
        const auto deadline = Clock::now() + std::chrono::seconds(3);
        do {
            try {
                session().step(clockRec(kUnused + cut));
            } catch (const Platform::Error &) {
            }
        } while (Spy::status != 3 && Clock::now() < deadline);
        EXPECT_EQ(Spy::status, 3u) << cut;
    };
    const auto failWrites = [this](bool fail) {
        session_.reset();
        PollFiles::setOpener(!fail ? PollFiles::Opener{} : [](const char *path, int flags, mode_t mode) {
            return QByteArray(path).endsWith("POLL.txt") ? ::open("/dev/full", O_WRONLY) : ::open(path, flags, mode);
        });
    };
    int row = 0;
    for (const Layout &layout : kLayouts) {
        for (const Then then : {Then::MoreBytes, Then::Quiet, Then::StopThenPoll, Then::NextRecord, Then::Loss,
                                Then::Reconnection, Then::Resend, Then::FailedWriteThenResend}) {
            SCOPED_TRACE(std::string(layout.name) + " then " + std::to_string(static_cast<int>(then)));
            const QByteArray before = dayLog();
            ++row;
            const auto streamOf = [&](int cut) { return layout.stream(10000 + 100 * row + cut); };
            const auto nextOf = [&](int cut) { return punchOf(90000 + 100 * row + cut); };
            const auto cuts = streamOf(1).size();
            const auto eachCut = [&](const std::function<void(int cut, const QByteArray &stream)> &f) {
                for (int cut = 1; cut < cuts; ++cut)
                    f(cut, streamOf(cut));
            };
            failWrites(then == Then::FailedWriteThenResend);
            eachCut([&](int cut, const QByteArray &stream) { send(cut, stream.left(cut)); });
            if (then == Then::Quiet) {  // one wait for all the row's clocks
                std::this_thread::sleep_for(std::chrono::milliseconds(TCPIPRecords::kHeldQuietMs + 50));
                eachCut([&](int cut, const QByteArray &) { session().step(clockRec(kUnused + cut)); });
            } else if (then == Then::StopThenPoll) {  // each clock's loop stopped after its first step
                session_.reset();
                Spy::beforePoll = [this](int) { stop_ = true; };
                eachCut([&](int cut, const QByteArray &) {
                    TCPIP::state().CurTCPIPClock = clockRec(kUnused + cut);
                    TCPIPPoll::RunLoop(TCPIPPoll::Shape::SelectedClock, build_, display_, TCPIPPoll::StopSignal{&stop_});
                });
                Spy::beforePoll = nullptr;
            }
            answerBoxes(then == Then::Loss ? static_cast<int>(cuts) - 1 : 0);
            eachCut([&](int cut, const QByteArray &stream) {
                switch (then) {
                case Then::NextRecord: return send(cut, stream.mid(cut) + nextOf(cut));
                case Then::Loss:
                    clocks[cut]->disconnect();
                    ASSERT_EQ(stepUntil(kUnused + cut, [](uint32_t s) { return s == 2; }), 2u);
                    ASSERT_TRUE(clocks[cut]->connect());
                    return send(cut, stream);
                case Then::Reconnection: {  // the old connection still open when the new one comes: no loss seen
                    auto fresh = std::make_unique<TcpClock>(tevtest::clockAddress(kUnused + cut), port_);
                    const auto old = std::exchange(clocks[cut], std::move(fresh));
                    ASSERT_TRUE(clocks[cut]->connect());
                    return send(cut, stream);
                }
                default: return send(cut, stream.mid(cut));
                }
            });
            if (then == Then::FailedWriteThenResend)
                failWrites(false);
            if (then == Then::Resend || then == Then::FailedWriteThenResend)
                eachCut(send);
            // Each clock's next text, a keep-alive, ends what it sent before.
            eachCut([&](int cut, const QByteArray &) { send(cut, kKeepAlive); });
            QByteArrayList left = dayLog().mid(before.size()).split('\n');
            left.removeLast();
            eachCut([&](int cut, const QByteArray &stream) {
                SCOPED_TRACE(cut);
                const QByteArray punch = stream.mid(stream.lastIndexOf('\\'));
                // All the posting reads: a plain punch up to its stamp, a function key's up to its last field.
                const qsizetype posted = punch[6] == '0' ? punch.indexOf('\x1F') + 13 : punch.size() - 1;
                // Quiet after one of a function key's fields looks like a clock that ends its punch
                // without ETX: it goes as it stands, and the fields after it on a line of their own.
                if (then == Then::Quiet && punch[6] != '0' && stream[cut - 1] == '\x1E' &&
                    cut > stream.indexOf('\x1F') + 13 && cut < stream.size() - 1) {
                    EXPECT_EQ(left.removeAll(stream.left(cut) + '\r'), 1);
                    EXPECT_EQ(left.removeAll('\\' + stream.mid(cut) + '\r'), 1);
                } else {
                    EXPECT_EQ(left.removeIf([&](const QByteArray &l) {
                        return punch.startsWith(l.chopped(1)) && l.size() > posted;
                    }), 1);
                }
                EXPECT_EQ(left.removeAll(nextOf(cut) + '\r'), then == Then::NextRecord ? 1 : 0);
                const TCPIP::ClockText &text = TCPIP::state().PollClocks[kUnused + cut].Text;
                EXPECT_TRUE(!text.Held && text.Kept.isEmpty());
            });
            EXPECT_TRUE(left.isEmpty()) << left.join('\n').toStdString();
            EXPECT_EQ(pollFile(), dayLog());
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AckMode, TcpPollLoop, ::testing::Values(true, false));

class TcpPollBuild : public TcpPoll, public ::testing::WithParamInterface<Build> {};

TEST_P(TcpPollBuild, StopDuringTheFirstClockOfAllClocks)
{
    const Build build = GetParam();
    start(build);
    addClocks({1, 2, 3});
    Spy::beforePoll = [this](int) { stop_ = true; };
    TCPIPPoll::RunLoop(TCPIPPoll::Shape::AllClocks, build, display_, TCPIPPoll::StopSignal{&stop_});
    // tevtcp95 ends at once; tevtcp32 gives each later clock of the round one step.
    const std::vector<int> polled = build == Build::Tev95 ? std::vector<int>{1} : std::vector<int>{1, 2, 3};
    EXPECT_EQ(Spy::polled, polled);
}

INSTANTIATE_TEST_SUITE_P(Builds, TcpPollBuild, ::testing::Values(Build::Tev95, Build::Tev32));

TEST_F(TcpPoll, EmptyTableEndsAtOnceAndABusyClockGivesWayAfterEightSteps)
{
    start();
    TCPIPPoll::RunLoop(TCPIPPoll::Shape::AllClocks, build_, display_, TCPIPPoll::StopSignal{&stop_});
    EXPECT_TRUE(Spy::polled.empty());

    addClocks({1, 2});
    auto c1 = connect(1);
    stepUntil(1, [](uint32_t s) { return s == 0; });
    // Clock 1 has new punches at every one of its steps, clock 2 is never
    // connected. A receive as long as the library makes one keeps clock 1's
    // turn going, up to eight steps (stood in for: a socket cannot be made to
    // hold that much); one punch empties its socket and ends the turn.
    int sent = 0;
    const auto punch = [&] { return tevtest::punchRecord(1, std::to_string(100000 + ++sent), "040309070500"); };
    const std::size_t perBlock = TCPIPRecords::kMaxReceiveBytes / punch().size();
    ASSERT_EQ(perBlock * punch().size(), TCPIPRecords::kMaxReceiveBytes);
    for (const bool full : {true, false}) {
        Spy::polled.clear();
        stop_ = false;
        logged_ = dayLog();
        Spy::beforePoll = [&](int n) {
            stop_ = stop_ || n != 1;
            if (n == 1 && !full) {
                ASSERT_TRUE(c1->send(punch()));
            }
        };
        Spy::answer = nullptr;
        if (full) {
            Spy::answer = [&](int n, char *buffer) -> uint32_t {
                if (n != 1)
                    return 2;
                std::string block;
                for (std::size_t i = 0; i < perBlock; ++i)
                    block += punch();
                block += '\x03';  // the library's end, then the NUL of c_str()
                std::memcpy(buffer, block.c_str(), block.size() + 1);
                return 3;
            };
        }
        TCPIPPoll::RunLoop(TCPIPPoll::Shape::AllClocks, build_, display_, TCPIPPoll::StopSignal{&stop_});
        std::vector<int> polled(full ? 8 : 1, 1);
        polled.push_back(2);
        EXPECT_EQ(Spy::polled, polled);
        EXPECT_EQ(static_cast<std::size_t>(dayLog().mid(logged_.size()).count("\r\n")), full ? 8 * perBlock : 1);
    }
}

TEST_F(TcpPoll, UnknownCallerShowsItsAddressAndEndsTheLoop)
{
    start();
    addClocks({1});
    TcpClock stranger("127.0.0.99", port_);
    ASSERT_TRUE(stranger.connect());
    answerBoxes(1);
    TCPIPPoll::RunLoop(TCPIPPoll::Shape::AllClocks, build_, display_, TCPIPPoll::StopSignal{&stop_});
    EXPECT_EQ(boxes(), QStringList(QStringLiteral("Kovra Error#: 0|Unknown IP Address 127.0.0.99")));
}

TEST_F(TcpPoll, FilesThatCannotOpenAreShownAndNothingIsPolled)
{
    start();
    addClocks({1});
    answerBoxes(2);
    QDir(file(QStringLiteral("Data"))).removeRecursively();
    TCPIPPoll::RunLoop(TCPIPPoll::Shape::AllClocks, build_, display_, TCPIPPoll::StopSignal{&stop_});
    QDir(home()).mkpath(QStringLiteral("Data"));
    PollFiles::setOpener([](const char *path, int flags, mode_t mode) {
        if (QByteArray(path).endsWith(".log")) {
            errno = EACCES;
            return -1;
        }
        return ::open(path, flags, mode);
    });
    TCPIPPoll::RunLoop(TCPIPPoll::Shape::AllClocks, build_, display_, TCPIPPoll::StopSignal{&stop_});
    EXPECT_EQ(boxes(), (QStringList{QStringLiteral("Kovra Error#: 76|Path not found"),
                                    QStringLiteral("Kovra-TEV|Unable To Access Data Log File")}));
    EXPECT_TRUE(Spy::polled.empty());
}

TEST_F(TcpPoll, ClockNumbersOutsideTheRangeAreRefusedOnce)
{
    start();
    addClocks({0, 1, 129});
    answerBoxes(3);
    int polls = 0;
    Spy::beforePoll = [&](int) { stop_ = ++polls > 5; };
    TCPIPPoll::RunLoop(TCPIPPoll::Shape::AllClocks, build_, display_, TCPIPPoll::StopSignal{&stop_});
    EXPECT_EQ(Spy::polled, std::vector<int>(6, 1));
    TCPIP::state().CurTCPIPClock = {129, QStringLiteral("1"), QStringLiteral("5")};
    EXPECT_FALSE(TCPIPPoll::RunLoop(TCPIPPoll::Shape::SelectedClock, build_, display_, TCPIPPoll::StopSignal{&stop_}));
    EXPECT_EQ(boxes(), (QStringList{QStringLiteral("Kovra Error#: 0|Invalid clock number 0"),
                                    QStringLiteral("Kovra Error#: 0|Invalid clock number 129"),
                                    QStringLiteral("Kovra Error#: 0|Invalid clock number 129")}));
}

TEST_F(TcpPoll, FormPollsTheSelectedClockThirtySevenAsControllerTwoTerminalFive)
{
    start();
    TCPIP::state().SelTCPIPClock = clockRec(37);
    frmPollTCPIP form;
    QString status;
    Spy::beforePoll = [&](int) {
        status = form.lblPollStatus->text();
        form.cmdStopPoll_Click();
    };
    form.cmdPoll_Click();
    EXPECT_EQ(Spy::polled, std::vector<int>{37});
    EXPECT_EQ(status, QStringLiteral("Polling Clock#  37"));
    EXPECT_EQ(TCPIP::state().CurTCPIPClock.Controller, QStringLiteral("2"));
    EXPECT_EQ(TCPIP::state().CurTCPIPClock.Clock, QStringLiteral("5"));
}

// A box held open on clock 1 (its offline box) while clock 2's punch gets
// its tail and clock 3 loses its connection: the next calls, for clocks 2
// and 3, bring the tail and the loss, so clock 2's punch is logged whole and
// clock 3's, sent again once it is back, is not logged a second time.
TEST_F(TcpPoll, WhatComesWhileABoxIsOpenShowsInTheSameRound)
{
    start();
    addClocks({1, 2, 3});
    auto c1 = connect(1), c2 = connect(2), c3 = connect(3);
    const QByteArray p2 = punchOf(202), p3 = punchOf(303);
    ASSERT_TRUE(c2->send(p2.left(12).toStdString()) && c3->send(p3.toStdString()));
    answerBoxes(2);
    bool boxClosed = false, back = false;
    int polls = 0, after = 0;
    Platform::Ui::onShown([&](const Platform::Ui::Shown &box) {
        if (box.text == QLatin1String("Clock # 1 offline")) {
            EXPECT_TRUE(c2->send(p2.mid(12).toStdString()));
            c3->disconnect();
            std::this_thread::sleep_for(std::chrono::seconds(1));  // as long as a user takes
            boxClosed = true;
        }
    });
    Spy::beforePoll = [&](int n) {
        if (n == 1 && ++polls == 2)
            c1->disconnect();
        if (n == 1 && boxClosed && !back)
            back = c3->reconnect() && c3->send(p3.toStdString());
        stop_ = stop_ || (back && ++after > 9) || polls > 1000;
    };
    TCPIPPoll::RunLoop(TCPIPPoll::Shape::AllClocks, build_, display_, TCPIPPoll::StopSignal{&stop_});
    Platform::Ui::onShown(nullptr);
    EXPECT_TRUE(back);
    EXPECT_EQ(dayLog(), p3 + "\r\n" + p2 + "\r\n");
    EXPECT_EQ(pollFile(), dayLog());
    EXPECT_EQ(boxes(), (QStringList{QStringLiteral("Kovra-TEV|Clock # 1 offline"),
                                    QStringLiteral("Kovra-TEV|Clock # 3 offline")}));
}

} // namespace
