// The continuous poll end to end: the poll form over the main window's comm
// control on a pseudo-terminal, the emulated clock on its far side, and
// the real-time checks through the main window's hooks.
#include "app/AppMain.h"
#include "app/frmMDI.h"
#include "libs/frame/LinkFrame.h"
#include "link/SerialClk.h"
#include "platform/ansi.h"
#include "platform/clock.h"
#include "polling/frmPollSerial.h"
#include "tests/polling/PollHome.h"
#include "tests/support/serialclock/EmulatedSerialClock.h"

#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <fcntl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
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

std::string Punch(const std::string &badge)
{
    return "P0\x1e" + badge + "\x1e\x1f""2612070830000";
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
        installFakeChecks();
    }
    void TearDown() override
    {
        form.reset();
        PollHome::TearDown();
    }

    // Schedule "001" admits, "002" is outside, "003" in a break.
    void installFakeChecks()
    {
        MDIHooks &h = mdiHooks();
        h.startRealTimeChecks = [this](bool) { return started = targetOpens; };
        h.endRealTimeChecks = [this] { ended = true; };
        h.readPolledPunch = [](const QByteArray &record) -> std::optional<PolledPunch> {
            const QStringList f = PollSerial::ParsePunchRecord(Platform::Ansi::decode(record)).split(',');
            if (f.size() != 3)
                return std::nullopt;
            return PolledPunch{f[0], QDate::fromString(f[1], "MM/dd/yy").addYears(100), QTime::fromString(f[2])};
        };
        h.lookUpCard = [this](const QString &card, bool) -> std::optional<CardHolder> {
            const auto it = holders.find(card);
            return it == holders.end() ? std::nullopt : std::optional<CardHolder>(it->second);
        };
        h.checkSchedule = [this](const QString &no, const QDate &, const QTime &) {
            checked << no;
            return no.toInt() - 1;
        };
        h.postRealTimePunch = [this](const QDate &d, const QTime &t, const QString &card, bool members) {
            posted << QStringLiteral("%1 %2 %3 %4").arg(d.toString(Qt::ISODate), t.toString(), card).arg(members);
            return postingWorks;
        };
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
                           std::find(kinds.rbegin(), ack, Frame::Poll) != ack))
                form->cmdStopPoll->click();
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

    std::map<QString, CardHolder> holders{{"1234", {"001", "Ann"}}, {"2002", {"002", "Bo"}},
                                          {"2003", {"003", "Cy"}}, {"3000", {QString(), "Di"}},
                                          {"4000", {"000", "Ed"}}, {"5000", {"003", "Flo"}}};
    bool targetOpens = true, started = false, ended = false, postingWorks = true;
    QStringList checked, posted;
    std::unique_ptr<Clock> clock;
    std::unique_ptr<frmPollSerial> form;
};

// Every answer the clock can show, what is posted, and what reaches POLL.txt
// for the posting after the poll; at each acknowledgement the punch is
// already in the day's log.
TEST_F(ContinuousPoll, AcknowledgedPunchIsWrittenFirstThenCheckedAnsweredAndPosted)
{
    const std::string accepted = "D00 Punch Accepted!     Thanks  ";
    const struct {
        std::string record;
        int button;
        bool postingWorks;
        std::vector<std::string> shown;
        QStringList checked;
        bool posted, kept, logged;
    } cases[] = {
        {Punch("1234"), 0, true, {accepted + "Ann\x1e", kClear, kClear}, {"001"}, true, false, true},
        {Punch("1234"), 0, false, {accepted + "Ann\x1e", kClear}, {"001"}, true, true, true},
        {Punch("9999"), 0, true, {"D00 Invalid ID!\x1e", kClear}, {}, false, false, true},
        {Punch("2002"), 0, true, {"D00 Not Scheduled!\x1e", kClear}, {"002"}, false, false, true},
        {Punch("2003"), 0, true, {"D00 Break Time! Please clock in later.\x1e", kClear}, {"003"}, false, false, true},
        {Punch("3000"), 0, true, {"D00 Not Scheduled!\x1e", kClear}, {}, false, false, true},
        {Punch("4000"), 0, true, {accepted + "Ed\x1e", kClear, kClear}, {}, true, false, true},
        {Punch("5000"), 1, true, {accepted + "Flo\x1e", kClear, kClear}, {}, true, false, true},
        {"BS01P2", 0, true, {}, {}, false, false, true},   // holds "P", no punch
        {"BS0112", 0, true, {}, {}, false, false, false},  // acknowledged only
    };
    for (int i = 0; i < int(std::size(cases)); ++i) {
        SCOPED_TRACE(i);
        const auto &c = cases[i];
        QFile::remove(file("Data/DATA1207.log"));
        checked.clear();
        const qsizetype postedBefore = posted.size();
        postingWorks = c.postingWorks;
        useClock(5 + i).queueRecord(c.record);
        std::mutex lock;
        QByteArrayList logAtAck;
        clock->onAcknowledgement([&] {
            const QByteArray now = log();
            std::lock_guard hold(lock);
            logAtAck << now;
        });
        QByteArrayList keptAtEnd;
        mdiHooks().postPolledData = [&](const QString &f) { return keptAtEnd << Slurp(f), true; };
        AppMain::settings().AutoImport = true;
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
        EXPECT_EQ(posted.size() - postedBefore, c.posted ? 1 : 0);
        EXPECT_EQ(keptAtEnd, QByteArrayList{c.kept ? line : QByteArray()});
        EXPECT_TRUE(started && ended);
        EXPECT_EQ(Platform::Ui::unscriptedCount(), 0);
    }
    EXPECT_EQ(posted, (QStringList{"2026-12-07 08:30:00 1234 0", "2026-12-07 08:30:00 1234 0",
                               "2026-12-07 08:30:00 4000 0", "2026-12-07 08:30:00 5000 1"}));
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
    targetOpens = false;
    poll(0);
    resetMdiHooks();
    Platform::Ui::queueAnswer(Platform::Ui::Answer::Ok);
    poll(0);
    EXPECT_TRUE(ended);
    EXPECT_TRUE(clock->received().empty());
    EXPECT_EQ(boxes().size(), 1u);
    EXPECT_TRUE(form->cmdPoll[0]->isEnabled());
}

TEST_F(ContinuousPoll, StopGetsThroughWithNoClocksInAllClocks)
{
    SerialClk::state().CommParm.PollDelay = 30000;  // a pass of 600 ms under the fast clock
    QElapsedTimer passes;
    passes.start();
    poll(0, true);
    EXPECT_LT(passes.elapsed(), 600) << "Stop waited for the end of the pass";
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
