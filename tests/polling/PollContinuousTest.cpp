// The continuous poll end to end: the poll form over the main window's comm
// control on a pseudo-terminal, the emulated clock on its far side, and
// the real-time checks of the posting module on a Sorb file.
#include "app/AppMain.h"
#include "app/frmMDI.h"
#include "libs/frame/LinkFrame.h"
#include "link/SerialClk.h"
#include "platform/clock.h"
#include "polling/frmPollSerial.h"
#include "posting/KovraDS.h"
#include "setup/frmDldFile.h"
#include "tests/polling/PollHome.h"
#include "tests/support/productdb/ProductDb.h"
#include "tests/support/serialclock/EmulatedSerialClock.h"

#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <fcntl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>

namespace {

using Clock = TevTest::EmulatedSerialClock;
using Frame = Clock::Frame;
namespace LF = LinkFrame;

QByteArray Slurp(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

std::string Punch(const std::string &badge, const std::string &hhmm = "0830")
{
    return "P0\x1e" + badge + "\x1e\x1f""261207" + hhmm + "000";
}

QByteArray StoredLine(const std::string &text)
{
    const std::string frame = LF::BuildDataFrame(1, 1, text);
    return QByteArray(frame.data(), qsizetype(frame.size())).mid(4) + "\r\n";
}

const std::string kClear = "D00  \x1e""001\x1e";

class ContinuousPoll : public PollHome {
protected:
    void SetUp() override
    {
        PollHome::SetUp();
        AppMain::state().ClockReplyMsgs = {"Punch Accepted!     Thanks ", "Invalid ID!", "Not Scheduled!",
                                           "Break Time! Please clock in later."};
        AppMain::settings().TargetType = QStringLiteral("Kovra-Sorb 5.0");
        AppMain::settings().TargetDbPath = file("Sorb.mdb");
        ProductDb::create(file("Sorb.mdb"), ProductDb::Product::Sorb);
        target = Platform::Database::open(file("Sorb.mdb"));
        // Mondays: 001 08:00-17:00; 002 from 09:00; 003 with a break 08:00-09:00.
        for (const QVariantList &day : {QVariantList{"001", 2, "08:00:00", "17:00:00", {}, {}},
                                        QVariantList{"002", 2, "09:00:00", "17:00:00", {}, {}},
                                        QVariantList{"003", 2, "06:00:00", "17:00:00", "08:00:00", "09:00:00"}})
            target.execute("INSERT INTO [Schedule Days] (ScheduleNo, TheDay, StartTime, EndTime, StartTimeR, EndTimeR) "
                           "VALUES (?, ?, ?, ?, ?, ?)", day);
        for (const QVariantList &e : {QVariantList{"1234", "Ann", "001"}, QVariantList{"2002", "Bo", "002"},
                                      QVariantList{"2003", "Cy", "003"}, QVariantList{"3000", "Di", {}},
                                      QVariantList{"4000", "Ed", "000"}, QVariantList{"5000", "Flo", "003"},
                                      QVariantList{"6000", QString::fromUtf8("Jiří"), "000"}})
            target.execute("INSERT INTO Employee (ID, CardID, FirstName, ScheduleNo, Status) VALUES (?, ?, ?, ?, 1)",
                           QVariantList{e[0]} + e);
        target.execute("INSERT INTO Members (ID, CardID, FirstName, Status) VALUES ('5000', '5000', 'Flo', 1)");
        KovraDS::InstallHooks();
        KovraDS::State &posting = KovraDS::state();
        for (auto [path, name] : {std::pair{&posting.F01Path, "F01"}, {&posting.F02Path, "F02"}, {&posting.F1Path, "F1"},
                                  {&posting.F2Path, "F2"}, {&posting.F3Path, "F3"}, {&posting.F4Path, "F4"}})
            *path = file(QStringLiteral("Data/%1.txt").arg(name));
        // What the poll asks of the checks.
        MDIHooks &h = mdiHooks();
        h.startRealTimeChecks = [this, start = h.startRealTimeChecks](bool m) {
            running.start();
            return started = start(m);
        };
        h.endRealTimeChecks = [this, end = h.endRealTimeChecks] { end(), ended = true; };
        h.checkSchedule = [this, check = h.checkSchedule](const QString &no, const QDate &d, const QTime &t) {
            return checked << no, check(no, d, t);
        };
    }
    void TearDown() override
    {
        form.reset();
        target.close();
        PollHome::TearDown();
    }

    Clock &useClock(int port)
    {
        clock = std::make_unique<Clock>(1, 1);
        clock->useAsPort(unsigned(port));
        SerialClk::SerialClockRec c{QStringLiteral("Front"), 1, 1, {}, QStringLiteral("9600,n,8,1"), qint16(port)};
        SerialClk::SelectClock(c);
        return *clock;
    }

    // Polls until the clock has nothing left and the step after its last record has begun.
    void poll(int index, bool allClocks = false)
    {
        form = std::make_unique<frmPollSerial>();
        (allClocks ? form->optAllClk : form->optSelClk)->setChecked(true);
        QTimer done;
        QObject::connect(&done, &QTimer::timeout, [this] {
            const auto kinds = clock ? clock->receivedKinds() : std::vector<Frame>{};
            const auto ack = std::find(kinds.rbegin(), kinds.rend(), Frame::Ack);
            if (!clock || (clock->pendingRecords() == 0 && ack != kinds.rend() &&
                           std::find(kinds.rbegin(), ack, Frame::Poll) != ack)) {
                // The lock is lifted before the end steps post what the poll kept.
                target.execute("DROP TRIGGER IF EXISTS Locked");
                form->cmdStopPoll->click();
            }
        });
        done.start(5);
        form->cmdPoll[index]->click();
    }
    QByteArray log() const { return Slurp(file("Data/DATA1207.log")); }
    std::vector<std::string> displayed() const
    {
        std::vector<std::string> texts;
        for (const std::string &t : clock->acceptedTexts())
            texts.push_back(t.substr(4));  // past the "\A" t GS header
        return texts;
    }

    Platform::Database target;
    bool started = false, ended = false;
    QElapsedTimer running;
    QStringList checked;
    std::unique_ptr<Clock> clock;
    std::unique_ptr<frmPollSerial> form;
};

// Every answer the clock can show, what is posted at once, and what the end
// steps post; at each acknowledgement the punch is
// already in the day's log.
TEST_F(ContinuousPoll, AcknowledgedPunchIsWrittenFirstThenCheckedAnsweredAndPosted)
{
    const std::string accepted = "D00 Punch Accepted!     Thanks  ";
    const struct {
        std::string record;
        int button;
        bool refused;  // by a trigger on Time Attendance
        std::vector<std::string> shown;
        QStringList checked;
        bool kept, logged;
    } cases[] = {
        {Punch("1234"), 0, true, {accepted + "Ann\x1e", kClear}, {"001"}, true, true},
        {Punch("1234", "1700"), 0, false, {accepted + "Ann\x1e", kClear, kClear}, {"001"}, false, true},
        {Punch("9999"), 0, false, {"D00 Invalid ID!\x1e", kClear}, {}, false, true},
        {Punch("2002"), 0, false, {"D00 Not Scheduled!\x1e", kClear}, {"002"}, false, true},
        {Punch("2003"), 0, false, {"D00 Break Time! Please clock in later.\x1e", kClear}, {"003"}, false, true},
        {Punch("3000"), 0, false, {"D00 Not Scheduled!\x1e", kClear}, {}, false, true},
        {Punch("4000"), 0, false, {accepted + "Ed\x1e", kClear, kClear}, {}, false, true},
        {Punch("5000"), 1, false, {accepted + "Flo\x1e", kClear, kClear}, {}, false, true},
        // The clock's code page has no "ř": its display shows "?", and the punch is answered and posted.
        {Punch("6000"), 0, false, {accepted + "Ji?\xED\x1e", kClear, kClear}, {}, false, true},
        {"BS01P2", 0, false, {}, {}, false, true},   // holds "P", no punch
        {"BS0112", 0, false, {}, {}, false, false},  // acknowledged only
    };
    AppMain::settings().AutoImport = true;
    for (int i = 0; i < int(std::size(cases)); ++i) {
        SCOPED_TRACE(i);
        const auto &c = cases[i];
        QFile::remove(file("Data/DATA1207.log"));
        checked.clear();
        useClock(5 + i).queueRecord(c.record);
        std::mutex lock;
        QByteArrayList logAtAck;
        clock->onAcknowledgement([&] {
            const QByteArray now = log();
            std::lock_guard hold(lock);
            logAtAck << now;
        });
        if (c.refused) {
            target.execute("CREATE TRIGGER Locked BEFORE INSERT ON [Time Attendance] BEGIN "
                           "SELECT RAISE(ABORT, 'payroll is locked'); END");
            Platform::Ui::queueAnswer(Platform::Ui::Answer::Ok);
            Platform::Ui::queueAnswer(Platform::Ui::Answer::Ok);
        }
        poll(c.button);
        const QByteArray line = c.logged ? StoredLine(c.record) : QByteArray();
        EXPECT_EQ(logAtAck, QByteArrayList{line});
        EXPECT_EQ(log(), line);
        EXPECT_EQ(displayed(), c.shown);
        const auto got = clock->received();
        const auto answer = std::find_if(got.begin(), got.end(), [](const auto &r) { return r.kind == Frame::Data; });
        if (answer != got.end() && answer + 1 != got.end()) {
            EXPECT_GE(answer[1].at - answer->at, std::chrono::milliseconds(1500 / Platform::Clock::fastClockDivisor()))
                << "the answer is cleared before it could be read";
        }
        EXPECT_EQ(checked, c.checked);
        EXPECT_TRUE(started && ended);
        EXPECT_EQ(Platform::Ui::unscriptedCount(), 0);
    }
    // The refused punch posted by the end steps; the accepted ones at once.
    QStringList rows;
    for (const QSqlRecord &r : target.snapshot("SELECT EmpID, TDate, ClockIn, ClockOut FROM [Time Attendance] UNION ALL "
                                               "SELECT EmpID, TDate, ClockIn, '-' FROM [Time Attendance1]").rows())
        rows << QStringList{r.value(0).toString(), r.value(1).toString(), r.value(2).toString(), r.value(3).toString()}.join(' ');
    EXPECT_EQ(rows, (QStringList{"1234 2026-12-07 08:30:00 17:00:00", "4000 2026-12-07 08:30:00 ",
                                 "6000 2026-12-07 08:30:00 ", "5000 2026-12-07 08:30:00 -"}));
    QStringList shown;
    for (const auto &b : boxes())
        shown << b.title + '|' + b.text;
    EXPECT_EQ(shown, (QStringList{"Employee was NOT clocked successfully!|Error Number: 3022\npayroll is locked",
                                  "Kovra-TEV|Clock data was imported successfully!"}));
}

// A member punch whose posting failed waits apart from the employees' punches
// and reaches the members' table at the end steps, never Time Attendance.
TEST_F(ContinuousPoll, KeptMemberPunchIsPostedToTheMembersAtTheEnd)
{
    AppMain::settings().AutoImport = true;
    useClock(5).queueRecord(Punch("5000"));
    target.execute("CREATE TRIGGER Locked BEFORE INSERT ON [Time Attendance1] BEGIN SELECT RAISE(ABORT, 'locked'); END");
    poll(1);
    EXPECT_EQ(displayed(), (std::vector<std::string>{"D00 Punch Accepted!     Thanks  Flo\x1e", kClear}));
    QStringList rows;
    for (const QSqlRecord &r : target.snapshot("SELECT 'E', EmpID FROM [Time Attendance] UNION ALL "
                                               "SELECT 'M', EmpID || ' ' || TDate || ' ' || ClockIn FROM [Time Attendance1]")
                                   .rows())
        rows << r.value(0).toString() + ' ' + r.value(1).toString();
    EXPECT_EQ(rows, QStringList{"M 5000 2026-12-07 08:30:00"});
    EXPECT_FALSE(QFile::exists(file("Data/POLLM.txt")));
}

// The command-file builder reads through a connection of its own: one closed and another opened between
// two punches take neither the poll's connection and statements nor the grace its schedule check uses
// (17:05 is in only with 15 minutes; a Vesk product's builder loads the company settings).
TEST_F(ContinuousPoll, BuilderOpenedAndClosedDuringThePollLeavesEveryPunchChecked)
{
    target.execute("CREATE TABLE Schedule (ScheduleNo TEXT, Description TEXT)");
    for (const char *column : {"DepartmentNo", "MsgNo", "SupervisorLevel"})
        target.execute(QStringLiteral("ALTER TABLE Employee ADD COLUMN %1 TEXT").arg(QLatin1String(column)));
    const auto openBuilder = [] {
        const QString sorb = std::exchange(AppMain::settings().TargetType, QStringLiteral("Kovra-Vesk"));
        auto builder = std::make_unique<frmDldFile>();
        AppMain::settings().TargetType = sorb;
        return builder;
    };
    std::unique_ptr<frmDldFile> builder = openBuilder();
    useClock(5).queueRecord(Punch("1234", "0830"));
    clock->queueRecord(Punch("1234", "1705"));
    mdiHooks().checkSchedule = [&, check = mdiHooks().checkSchedule](const QString &no, const QDate &d, const QTime &t) {
        if (checked.size() == 1)
            builder = openBuilder();
        return check(no, d, t);
    };
    poll(0);
    const std::string accepted = "D00 Punch Accepted!     Thanks  Ann\x1e";
    EXPECT_EQ(displayed(), (std::vector<std::string>{accepted, kClear, kClear, accepted, kClear, kClear}));
    EXPECT_EQ(target.snapshot("SELECT * FROM [Time Attendance] WHERE ClockOut = '17:05:00'").size(), 1u);
}

TEST_F(ContinuousPoll, UnwritableLogLeavesThePunchInTheClockAndEndsThePoll)
{
    useClock(5).queueRecord(Punch("1234"));
    PollFiles::setOpener([](const char *path, int flags, mode_t mode) {
        return QByteArray(path).endsWith(".log") ? ::open("/dev/full", O_WRONLY) : ::open(path, flags, mode);
    });
    Platform::Ui::queueAnswer(Platform::Ui::Answer::Ok);
    poll(0);
    EXPECT_EQ(boxes().back().text, "Disk full");
    EXPECT_EQ(clock->receivedKinds(), std::vector<Frame>{Frame::Poll});
    EXPECT_EQ(clock->pendingRecords(), 1u);
    EXPECT_TRUE(ended && form->cmdPoll[0]->isEnabled());
}

// Without its checks the poll would acknowledge punches it cannot check.
TEST_F(ContinuousPoll, WithoutTargetDatabaseOrChecksNothingIsAcknowledged)
{
    useClock(5).queueRecord(Punch("1234"));
    AppMain::settings().TargetDbPath = file("Missing.mdb");
    Platform::Ui::queueAnswer(Platform::Ui::Answer::Ok);
    poll(0);
    resetMdiHooks();
    Platform::Ui::queueAnswer(Platform::Ui::Answer::Ok);
    poll(0);
    EXPECT_TRUE(ended);
    EXPECT_TRUE(clock->received().empty());
    EXPECT_EQ(boxes().size(), 2u);
    EXPECT_TRUE(form->cmdPoll[0]->isEnabled());
}

TEST_F(ContinuousPoll, StopGetsThroughWithNoClocksInAllClocks)
{
    SerialClk::state().CommParm.PollDelay = 30000;  // a pass of 600 ms under the fast clock
    poll(0, true);
    EXPECT_LT(running.elapsed(), 600) << "Stop waited for the end of the pass";
    EXPECT_TRUE(ended && form->cmdPoll[0]->isEnabled());
}


// Data/ClkCont.dld byte for byte; Set keeps the stored settings, Reset sends them back.
TEST_F(ContinuousPoll, ContPollFileSetsAndResetsPrompt002AndTheDisplayTimeOut)
{
    const QByteArray head = "O00\x1e\r\nD00 Downloading...\x1e\r\n";
    const QByteArray tail = "D00 Download Complete!!\x1e""003\x1e\r\nO10\x1e\r\n";
    const struct {
        bool set;
        const char *prompt;
        QByteArray middle;
    } cases[] = {
        {true, nullptr, "LPC01002\x1e \x1e\r\nLPB0001013011\x1e\r\n"},
        {true, "Swipe", "LPC01002\x1e \x1e\r\nLPB0001013011\x1e\r\n"},
        {false, nullptr, "LPB0001063011\x1e\r\n"},
        {false, "Badge b\xc3\xbcro", "LPC01002\x1e""Badge b\xfcro\x1e\r\nLPB0001063011\x1e\r\n"},
    };
    const Platform::Database &db = AppMain::state().MainDb;
    AppMain::state().ClkParm.ClockParameters = QStringLiteral("LPB0001063011");
    for (const auto &c : cases) {
        db.execute(QStringLiteral("DELETE FROM ClkMsg WHERE PromptNo = '002'"));
        if (c.prompt)
            db.execute(QStringLiteral("INSERT INTO ClkMsg (PromptNo, Prompt) VALUES ('002', ?)"),
                       {QString::fromUtf8(c.prompt)});
        EXPECT_EQ(Slurp(PollSerial::WriteContPollFile(c.set)), head + c.middle + tail) << c.set << c.prompt;
    }
    // Sent to the selected clock line by line, then deleted.
    const QString path = file("Data/ClkCont.dld");
    useClock(5);
    form = std::make_unique<frmPollSerial>();
    Platform::Ui::queueAnswer(Platform::Ui::Answer::Ok);  // "File downloaded successfully!"
    form->cmdResetContPoll->click();
    std::vector<std::string> lines;
    for (const QByteArray &l : (head + std::end(cases)[-1].middle + tail).split('\n'))
        if (!l.isEmpty())
            lines.push_back(l.chopped(1).toStdString());
    EXPECT_EQ(displayed(), lines);
    EXPECT_FALSE(QFile::exists(path));
    // A parameter command without its time-out is refused: nothing written or sent.
    AppMain::state().ClkParm.ClockParameters = QStringLiteral("LPB00010");
    Platform::Ui::queueAnswer(Platform::Ui::Answer::Ok);
    form->cmdSetContPoll->click();
    EXPECT_TRUE(boxes().back().text.contains("ClockParameters")) << boxes().back().text.toStdString();
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_EQ(displayed().size(), lines.size());
}

} // namespace

namespace {

struct QuietView : PollSerial::PollView {
    void showStatus(const QString &) override {}
    void clearTerminal() override {}
    void appendRecord(const QString &) override {}
    void showLineState(PollSerial::LineState) override {}
    bool stopRequested() const override { return stop; }
    void requestStop() override { stop = true; }
    void returnToIdle() override {}
    bool stop = false;
};

// One step over a line that fails at a chosen point: a punch is posted once
// or kept for the posting after the poll, never both, never neither.
TEST_F(PollHome, StepThatFailsKeepsAPunchOnlyWhenItWasNotPosted)
{
    const std::string frame = LF::BuildDataFrame(1, 1, Punch("1234"));
    const QByteArray record = StoredLine(Punch("1234")).chopped(2);
    const struct {
        const char *fault;
        bool ackFails, ackSurelyNotSent, clearThrowsAfterPosting, stampUnreadable;
        int posts;
        bool kept, box;
    } cases[] = {
        {"a posted punch was kept for a second posting", false, false, true, false, 1, false, true},
        {"a punch the clock still holds was posted or kept", true, true, false, false, 0, false, false},
        {"a punch the clock may have let go went nowhere", true, false, false, false, 0, true, false},
        {"an acknowledged punch with a bad stamp went nowhere", false, false, false, true, 0, true, true},
    };
    for (const auto &c : cases) {
        int posts = 0, reads = 0;
        MDIHooks &h = mdiHooks();
        h.readPolledPunch = [&](const QByteArray &) {
            return c.stampUnreadable ? std::nullopt
                                     : std::optional<PolledPunch>(PolledPunch{"1234", QDate(2026, 12, 7), QTime(8, 30)});
        };
        h.lookUpCard = [](const QString &, bool) { return std::optional<CardHolder>(CardHolder{"000", "Ann"}); };
        h.postRealTimePunch = [&](const QDate &, const QTime &, const QString &, bool) { return ++posts > 0; };
        const QByteArray ack = SerialClk::BuildAckMsg(1, 1);
        PollSerial::ClockLine line{[&](const QByteArray &f) { return !(c.ackFails && f == ack); },
                                   [&]() -> QByteArray {
                                       if (++reads == 1)
                                           return QByteArray(frame.data(), qsizetype(frame.size()));
                                       if (c.clearThrowsAfterPosting && posts > 0)
                                           throw Platform::Error(Platform::ErrorNo::PathFileAccessError,
                                                                 QStringLiteral("Path/File access error"));
                                       return QByteArray(1, LF::ACK);
                                   },
                                   0, [&] { return c.ackSurelyNotSent; }};
        PollFiles::DataFiles files;
        files.open();
        QuietView view;
        if (c.box)
            answerOk();
        const QByteArray kept =
            PollSerial::PollValidateSerialClock(1, 1, "poll", false, line, files, {"A", "B", "C", "D"}, view);
        EXPECT_EQ(posts, c.posts) << c.fault;
        EXPECT_EQ(kept, c.kept ? record : QByteArray()) << c.fault;
        EXPECT_EQ(view.stop, c.ackFails) << c.fault;
        Platform::Ui::clearShown();
    }
}

} // namespace
