// The one-pass poll end to end: the poll form over the main window's real
// comm control on a pseudo-terminal, the emulated clock on its far side.
#include "app/AppMain.h"
#include "app/frmMDI.h"
#include "libs/frame/LinkFrame.h"
#include "link/SerialClk.h"
#include "platform/clock.h"
#include "platform/ui.h"
#include "polling/frmPollSerial.h"
#include "posting/KovraDS.h"
#include "tests/polling/PollHome.h"
#include "tests/support/serialclock/EmulatedSerialClock.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QTimer>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

#include <fcntl.h>
#include <termios.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>

namespace {

using Clock = TevTest::EmulatedSerialClock;
using Frame = Clock::Frame;
using Fault = Clock::Fault;
using PollSerial::LineState;
namespace LF = LinkFrame;

const std::string kPunch = "P0\x1e""1234\x1e\x1f""2612070830000";
const std::string kPunchWithFields = "P1\x1e""5678\x1e\x1f""2612071201000A\x1e\x1e""B\x1e";
const std::string kNotAPunch = "BS01120045";

QByteArray Bytes(const std::string &s)
{
    return QByteArray(s.data(), qsizetype(s.size()));
}

QByteArray Slurp(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The line a record is stored as: from "\" through EOT, then CR LF.
QByteArray StoredLine(const std::string &text, int controller = 1, int terminal = 1)
{
    return Bytes(LF::BuildDataFrame(controller, terminal, text)).mid(4) + "\r\n";
}

// The form, with the colours it shows recorded.
class PollForm : public frmPollSerial {
public:
    void showLineState(LineState state) override
    {
        states.push_back(state);
        frmPollSerial::showLineState(state);
    }
    std::vector<LineState> states;
};

class SerialPollOnce : public PollHome {
protected:
    void SetUp() override
    {
        PollHome::SetUp();
        AppMain::settings().TargetType = QStringLiteral("Text Files");
        // Posting's own hooks (the end steps close its database through one), then a
        // posting that takes a copy of POLL.txt as it stands.
        KovraDS::InstallHooks();
        mdiHooks().postPolledData = [this](const QString &f) {
            posted << Slurp(f);
            return true;
        };
    }

    void TearDown() override
    {
        form.reset();
        PollHome::TearDown();
    }

    Clock &addClock(int port, int terminal)
    {
        clocks.push_back(std::make_unique<Clock>(1, terminal));
        clocks.back()->useAsPort(unsigned(port));
        AppMain::state().MainDb.execute(
            QStringLiteral("INSERT INTO Clocks (\"Clock Identifier\", \"Term Address\", \"Port\", \"Baud Rate\", "
                           "Parity, \"Data Bits\", \"Stop Bits\") VALUES (?, ?, ?, 9600, 'n', 8, 1)"),
            {QStringLiteral("Clock %1/%2").arg(port).arg(terminal), terminal, port});
        return *clocks.back();
    }

    void selectClock(int port, int terminal)
    {
        selectSerialClock(QStringLiteral("Clock %1").arg(terminal), 1, terminal, port);
    }

    void poll(bool allClocks = false)
    {
        form = std::make_unique<PollForm>();
        (allClocks ? form->optAllClk : form->optSelClk)->setChecked(true);
        form->cmdPoll[0]->click();
    }

    QString log() const { return file(QStringLiteral("Data/DATA1207.log")); }
    QStringList boxes() const
    {
        QStringList shown;
        for (const auto &s : Platform::Ui::shown())
            if (s.kind == QLatin1String("msgbox"))
                shown << s.title + QLatin1Char('|') + s.text;
        return shown;
    }

    std::vector<std::unique_ptr<Clock>> clocks;
    std::unique_ptr<PollForm> form;
    QByteArrayList posted;
};

TEST_F(SerialPollOnce, EachRecordIsInBothFilesBeforeItsAcknowledgementReachesTheClock)
{
    Clock &clock = addClock(5, 1);
    selectClock(5, 1);
    for (const std::string &r : {kPunch, kPunchWithFields, kNotAPunch})
        clock.queueRecord(r);
    std::mutex seenLock;
    std::vector<std::pair<QByteArray, QByteArray>> atAck;
    clock.onAcknowledgement([&] {
        const auto files = std::make_pair(Slurp(log()), Slurp(file("Data/POLL.txt")));
        std::lock_guard lock(seenLock);
        atAck.push_back(files);
    });
    poll();

    const QByteArray lines[] = {StoredLine(kPunch), StoredLine(kPunchWithFields), StoredLine(kNotAPunch)};
    ASSERT_EQ(atAck.size(), 3u);
    QByteArray expected;
    for (int i = 0; i < 3; ++i) {
        expected += lines[i];
        EXPECT_EQ(atAck[i].first, expected) << "day's log at acknowledgement " << i;
        EXPECT_EQ(atAck[i].second, expected) << "POLL.txt at acknowledgement " << i;
    }
    EXPECT_EQ(Slurp(log()), expected);
    EXPECT_EQ(posted, QByteArrayList{expected});
    EXPECT_FALSE(QFile::exists(file("Data/POLL.txt"))) << "posted, so deleted";
    EXPECT_EQ(clock.receivedKinds(), (std::vector<Frame>{Frame::Poll, Frame::Ack, Frame::Poll, Frame::Ack,
                                                         Frame::Poll, Frame::Ack, Frame::Poll, Frame::Poll,
                                                         Frame::Poll}));

    const QStringList shown = form->txtTerm->toPlainText().split(QLatin1Char('\n'));
    EXPECT_EQ(shown.value(0).trimmed(), "1234,12/07/26,08:30");
    EXPECT_EQ(shown.value(1).trimmed(), "5678,A,B,12/07/26,12:01");
    EXPECT_TRUE(shown.value(2).contains(QStringLiteral("BS01120045"))) << shown.value(2).toStdString();
    EXPECT_EQ(form->states, (std::vector<LineState>{LineState::Delivered, LineState::Delivered,
                                                     LineState::Delivered, LineState::Idle}));
    EXPECT_EQ(form->txtTerm->palette().color(QPalette::Base), QColor(255, 255, 255));
    EXPECT_TRUE(form->cmdPoll[0]->isEnabled());
    EXPECT_FALSE(form->cmdStopPoll->isEnabled());
    EXPECT_TRUE(boxes().isEmpty()) << boxes().join('\n').toStdString();
}

// A record that arrives damaged is a failed try: storing and acknowledging
// it would let the clock delete a punch the PC holds only in part.
TEST_F(SerialPollOnce, DamagedRecordIsNeitherStoredNorAcknowledgedAndComesAgain)
{
    const Fault faults[] = {Fault::CutShort, Fault::BadCheck, Fault::NoEtx, Fault::NoEot, Fault::Babble};
    for (int i = 0; i < int(std::size(faults)); ++i) {
        SCOPED_TRACE(i);
        QFile::remove(log());
        // A port of its own each time: the link keeps an open port whose number and settings match.
        Clock &clock = addClock(5 + i, 1);
        selectClock(5 + i, 1);
        clock.queueRecord(kPunch);
        // Babble: the record itself comes whole, with noise after its EOT.
        clock.inject(Frame::Poll, faults[i]);
        poll();
        // A babbling clock hears the acknowledgement only when it falls quiet.
        for (int wait = 0; wait < 300 && clock.pendingRecords() > 0; ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_EQ(Slurp(log()), StoredLine(kPunch));
        const auto kinds = clock.receivedKinds();
        EXPECT_EQ(std::count(kinds.begin(), kinds.end(), Frame::Ack), 1);
        EXPECT_EQ(clock.pendingRecords(), 0u);
    }
}

TEST_F(SerialPollOnce, CloseDuringAPollStopsItThroughItsEndStepsThenCloses)
{
    Clock &clock = addClock(5, 1);
    selectClock(5, 1);
    for (int i = 0; i < 3; ++i)
        clock.queueRecord(kPunch);
    auto *shown = new PollForm;
    shown->setAttribute(Qt::WA_DeleteOnClose);
    QPointer<PollForm> guard(shown);
    shown->show();
    // A slow first answer: the close comes in while the poll waits for it.
    clock.injectLate(Frame::Poll, std::chrono::milliseconds(100));
    QTimer::singleShot(0, shown, [shown] { shown->cmdClose->click(); });
    shown->cmdPoll[0]->click();
    EXPECT_EQ(Slurp(log()), StoredLine(kPunch)) << "the record in hand is finished, no further one taken";
    EXPECT_EQ(clock.pendingRecords(), 2u);
    EXPECT_EQ(posted, QByteArrayList{StoredLine(kPunch)});
    for (int i = 0; i < 100 && guard; ++i)
        QCoreApplication::processEvents();
    EXPECT_TRUE(guard.isNull()) << "the form closes once the poll has unwound";
}

TEST_F(SerialPollOnce, SilentClockCostsThreeTriesAndWritesNothing)
{
    Clock &clock = addClock(5, 1);
    selectClock(5, 1);
    clock.queueRecord(kPunch);
    clock.inject(Frame::Poll, Fault::Silence, 3);
    KovraDS::state().TargetDb = Platform::Database::open(file("Clock103.mdb"));
    poll();
    EXPECT_FALSE(KovraDS::state().TargetDb.isOpen()) << "the end steps close the target database";
    EXPECT_EQ(clock.receivedKinds(), (std::vector<Frame>{Frame::Poll, Frame::Poll, Frame::Poll}));
    EXPECT_EQ(Slurp(log()), QByteArray());
    EXPECT_EQ(posted, QByteArrayList{QByteArray()});
    EXPECT_EQ(form->states, std::vector<LineState>{LineState::Idle});
}

TEST_F(SerialPollOnce, PunchTheDisplayCannotTakeApartIsStillStoredAndAcknowledged)
{
    Clock &clock = addClock(5, 1);
    selectClock(5, 1);
    clock.queueRecord("P0\x1e""1234");
    answerOk();
    poll();
    EXPECT_EQ(Slurp(log()), StoredLine("P0\x1e""1234"));
    EXPECT_EQ(clock.pendingRecords(), 0u);
    EXPECT_EQ(boxes(), QStringList{"Kovra Error#: 5|Invalid procedure call or argument"});
}

TEST_F(SerialPollOnce, PollFileThatCannotBeOpenedPollsNothing)
{
    Clock &clock = addClock(5, 1);
    selectClock(5, 1);
    clock.queueRecord(kPunch);
    PollFiles::setOpener([](const char *path, int flags, mode_t mode) {
        if (QByteArray(path).endsWith("POLL.txt")) {
            errno = EACCES;
            return -1;
        }
        return ::open(path, flags, mode);
    });
    answerOk(2);
    poll();
    ASSERT_TRUE(QDir(file("Data")).removeRecursively());
    form.reset();
    poll();
    EXPECT_EQ(boxes(), (QStringList{"Kovra Error#: 70|Permission denied", "Kovra Error#: 76|Path not found"}));
    EXPECT_TRUE(clock.received().empty()) << "a poll frame went out";
    EXPECT_TRUE(form->cmdPoll[0]->isEnabled());
    EXPECT_FALSE(form->cmdStopPoll->isEnabled());
}

// A record the disk refuses stays in the clock: no acknowledgement, one
// box, and the poll ends through its end steps.
TEST_F(SerialPollOnce, RecordThatCannotBeWrittenIsNotAcknowledged)
{
    Clock &clock = addClock(5, 1);
    selectClock(5, 1);
    clock.queueRecord(kPunch);
    clock.queueRecord(kPunchWithFields);
    PollFiles::setOpener([](const char *path, int flags, mode_t mode) {
        return QByteArray(path).endsWith("POLL.txt") ? ::open("/dev/full", O_WRONLY) : ::open(path, flags, mode);
    });
    answerOk();
    poll();
    EXPECT_EQ(boxes(), QStringList{"Kovra Error#: 61|Disk full"});
    EXPECT_EQ(clock.receivedKinds(), std::vector<Frame>{Frame::Poll});
    EXPECT_EQ(clock.pendingRecords(), 2u);
    EXPECT_TRUE(form->cmdPoll[0]->isEnabled()) << "back to idle";
}

// The line stops taking bytes right after the clock's record and frees once
// the poll has given up on the acknowledgement: discarded, it never leaves,
// and the record, which the clock sends again, is posted once, by the next poll.
TEST_F(SerialPollOnce, AcknowledgementStuckInThePortNeverLeavesAndItsRecordIsPostedOnce)
{
    Clock &clock = addClock(5, 1);
    selectClock(5, 1);
    clock.queueRecord(kPunch);
    clock.holdLineAfterNextRecord();
    answerOk();
    poll();
    EXPECT_EQ(boxes().size(), 1);
    (void)tcflow(clock.slaveFd(), TCOON);  // the line frees
    form.reset();
    poll();
    EXPECT_EQ(posted, (QByteArrayList{QByteArray(), StoredLine(kPunch)}));
    EXPECT_EQ(clock.receivedKinds(), (std::vector<Frame>{Frame::Poll, Frame::Poll, Frame::Ack, Frame::Poll,
                                                         Frame::Poll, Frame::Poll}));
}

TEST_F(SerialPollOnce, AllClocksPollsEveryRowOnItsOwnPort)
{
    addClock(1, 1).queueRecord(kPunch);
    addClock(2, 2).queueRecord(kPunchWithFields);
    poll(true);
    EXPECT_EQ(Slurp(log()), StoredLine(kPunch, 1, 1) + StoredLine(kPunchWithFields, 1, 2));
    EXPECT_EQ(clocks[0]->pendingRecords() + clocks[1]->pendingRecords(), 0u);
}

// An imported row without a port sorts first: each walk over the list shows
// it once and still reaches every clock after it.
TEST_F(SerialPollOnce, RowWithoutAPortIsShownOnceAndEveryWalkReachesTheClocksAfterIt)
{
    const QString imported = QStringLiteral("Kovra Error#: 13|Clock Imported: its Port \"\" is not a number.");
    const QString sent = QStringLiteral("Kovra-TEV|File downloaded successfully!");
    AppMain::state().ClkParm.ClockParameters = QStringLiteral("LPB0001063011");
    addClock(1, 1).queueRecord(kPunch);
    addClock(2, 2).queueRecord(kPunch);
    AppMain::state().MainDb.execute(
        QStringLiteral("INSERT INTO Clocks (\"Clock Identifier\", \"Term Address\", Port) VALUES ('Imported', 3, NULL)"));
    answerOk(5);
    poll(true);
    EXPECT_EQ(clocks[0]->pendingRecords() + clocks[1]->pendingRecords(), 0u);
    QStringList listed;  // the continuous poll's clocks
    for (const SerialClk::SerialClockRec &c : SerialClk::ReadClockRows(AppMain::state().MainDb))
        listed << c.ClockId;
    EXPECT_EQ(listed, QStringList({"Clock 1/1", "Clock 2/2"}));
    PollSerial::SendContPollFile(true, true);
    for (const auto &clock : clocks)
        EXPECT_TRUE(clock->acceptedTexts().size() && clock->acceptedTexts().back().ends_with("O10\x1e"));
    EXPECT_EQ(boxes(), (QStringList{imported, imported, imported, sent, sent}));
}

// Prompt 002 goes through the builder's check: an RS in it would split its record.
TEST_F(SerialPollOnce, ContinuousPollFileRefusesARecordTheBuilderRefusesAndKeepsTheOldFile)
{
    writeFile(QStringLiteral("Data/ClkCont.dld"), "earlier\r\n");
    AppMain::state().ClkParm.ClockParameters = QStringLiteral("LPB0001063011");
    AppMain::state().MainDb.execute(QStringLiteral("INSERT INTO ClkMsg (PromptNo, Prompt) VALUES ('002', ?)"),
                                    {QStringLiteral("Swipe\x1e" "Badge")});
    answerOk();
    EXPECT_EQ(PollSerial::WriteContPollFile(false), QString());
    EXPECT_EQ(boxes(), QStringList{QStringLiteral("Kovra-TEV|These records cannot be written to the command file:\n"
                                                  "Clock prompt 002: The text cannot be written: it holds the "
                                                  "control character U+001E.")});
    EXPECT_EQ(Slurp(file(QStringLiteral("Data/ClkCont.dld"))), "earlier\r\n");
}

} // namespace
