#include "polling/PollSerial.h"

#include "app/AppMain.h"
#include "libs/frame/LinkFrame.h"
#include "platform/clock.h"
#include "platform/ui.h"
#include "tests/support/fixture/TevHome.h"

#include <QFile>
#include <QStringList>

#include <deque>

#include <fcntl.h>

#include <gtest/gtest.h>

namespace {

namespace LF = LinkFrame;

QByteArray Frame(const std::string &text, int controller = 1, int terminal = 1)
{
    const std::string f = LF::BuildDataFrame(controller, terminal, text);
    return QByteArray(f.data(), qsizetype(f.size()));
}

const std::string kPunch = "P0\x1e""1234\x1e\x1f""2612070830000";

TEST(ParsePunchRecord, DisplayFormOfEachRecordKind)
{
    const struct {
        std::string text;
        const char *display;
    } cases[] = {
        {kPunch, "1234,12/07/26,08:30"},
        {kPunch + "A\x1e\x1e""B\x1e", "1234,A,B,12/07/26,08:30"},        // empty field dropped
        {kPunch + "A\x1e""tail", "1234,A,12/07/26,08:30"},                 // no RS after "tail": no field
        {"P0\x1e\x1f\x1e\x1d""77\x1e\x1f""2701010000000", "77,01/01/27,00:00"},  // separators before the badge
        {"BS01120045", ""},                                                 // not a punch
        {"XP\x1e""1\x1e\x1f""2612070830000", ""},                          // a P, but not first
    };
    for (const auto &c : cases)
        EXPECT_EQ(PollSerial::ParsePunchRecord(QString::fromLatin1(Frame(c.text))), c.display) << c.text;
}

TEST(ParsePunchRecord, PunchItCannotTakeApartIsAnError)
{
    for (const QString &reply : {QStringLiteral("\\A!\x1dP0\x1e""1234\x03"),                           // no RS after badge
                                 QStringLiteral("\\A!\x1dP0\x1e""1234\x1e\x1f""2612070830000A\x1e")}) {  // no ETX
        try {
            PollSerial::ParsePunchRecord(reply);
            FAIL() << reply.toStdString();
        } catch (const Platform::Error &e) {
            EXPECT_EQ(e.number(), 5);
        }
    }
}

// Only a whole, checked frame of the polled clock is a record: anything
// less, stored and acknowledged, would let the clock delete a punch the
// PC holds only in part.
TEST(RecordFrame, OnlyAWholeCheckedFrameOfThePolledClockIsARecord)
{
    const QByteArray good = Frame(kPunch, 2, 5);
    QByteArray badCheck = good;
    badCheck[badCheck.size() - 2] = char(badCheck[badCheck.size() - 2] ^ 1);
    QByteArray noEtx = good;
    noEtx.remove(noEtx.indexOf(LF::ETX), 1);
    const struct {
        const char *name;
        QByteArray reply;
        QByteArray frame;  // empty: no record
    } cases[] = {
        {"whole", good, good},
        {"babble after EOT", good + "bbbb", good},
        {"noise before", QByteArray("\x04\x04") + good, good},
        {"EOT alone", QByteArray(1, LF::EOT), {}},
        {"cut short", good.left(4) + LF::EOT, {}},
        {"cut before EOT", good.chopped(1), {}},
        {"cut after ETX", good.left(good.indexOf(LF::ETX) + 2), {}},
        {"bad check", badCheck, {}},
        {"no ETX", noEtx, {}},
        {"other terminal", Frame(kPunch, 2, 6), {}},
        {"other controller", Frame(kPunch, 3, 5), {}},
    };
    for (const auto &c : cases) {
        const auto frame = PollSerial::RecordFrame(c.reply, 2, 5);
        EXPECT_EQ(frame.value_or(QByteArray()), c.frame) << c.name;
    }
    EXPECT_EQ(PollSerial::RecordLine(good), good.mid(4));
    EXPECT_TRUE(PollSerial::RecordLine(good).startsWith('\\'));
}

class RecordingView : public PollSerial::PollView {
public:
    void showStatus(const QString &caption) override { statuses << caption; }
    void clearTerminal() override { terminal.clear(); }
    void appendRecord(const QString &text) override { terminal << text; }
    void showLineState(PollSerial::LineState state) override { states.push_back(state); }
    bool stopRequested() const override { return stop; }
    void requestStop() override { stop = true; }
    void returnToIdle() override {}

    QStringList statuses, terminal;
    std::vector<PollSerial::LineState> states;
    bool stop = false;
};

class ClockRowWalk : public TevHome {
protected:
    void SetUp() override
    {
        TevHome::SetUp();
        installDefaultDatabase();
        openMainDb();
        db().execute(QStringLiteral("DELETE FROM Clocks"));
    }
    const Platform::Database &db() { return AppMain::state().MainDb; }
    void addClock(const QString &id, int terminal, int port, const QVariant &phone)
    {
        db().execute(QStringLiteral("INSERT INTO Clocks (\"Clock Identifier\", \"Term Address\", \"Port\", "
                                    "PhoneNo) VALUES (?, ?, ?, ?)"),
                     {id, terminal, port, phone});
    }

    // Records each operation; a dial brings the call up, a hang-up ends it.
    PollSerial::PortOps recorder()
    {
        PollSerial::PortOps ops;
        ops.open = [this](int port, const QString &settings) {
            calls << QStringLiteral("open %1 %2").arg(port).arg(settings);
            return port != failingPort;
        };
        ops.dial = [this](const QString &phone) {
            calls << "dial " + phone;
            connected = true;
        };
        ops.hangUp = [this] {
            calls << "hangup";
            connected = false;
        };
        ops.close = [this] { calls << "close"; };
        ops.modemConnected = [this] { return connected; };
        ops.drain = [this](int controller, int terminal) {
            calls << QStringLiteral("drain %1/%2").arg(controller).arg(terminal);
            if (terminal == stopAfterTerminal)
                view.requestStop();
        };
        return ops;
    }

    QStringList calls;
    bool connected = false;
    int failingPort = -1;
    int stopAfterTerminal = -1;
    RecordingView view;
};

TEST_F(ClockRowWalk, DirectClocksFirstEachNumberDialledOnceHungUpBeforeTheNext)
{
    addClock("B1", 5, 4, "555-0199");
    addClock("A1", 3, 3, "555-0100");
    addClock("D1", 1, 1, "");
    addClock("A2", 4, 3, "555-0100");
    addClock("D2", 2, 2, QVariant());
    failingPort = 1;
    PollSerial::WalkClockRows(db(), recorder(), view);
    EXPECT_EQ(calls, (QStringList{"open 2 9600,o,7,2", "drain 1/2", "open 1 9600,o,7,2",
                                  "open 3 9600,o,7,2", "dial 555-0100", "drain 1/3", "open 3 9600,o,7,2",
                                  "drain 1/4", "hangup", "close", "open 4 9600,o,7,2", "dial 555-0199",
                                  "drain 1/5", "hangup", "close"}));
    EXPECT_EQ(view.statuses.value(3), "Polling Clock# A2 Address: 4 Phone: 555-0100");
    EXPECT_EQ(view.statuses.value(0), "Polling Clock# D2 Address: 2");
}

TEST_F(ClockRowWalk, StopBetweenRowsStillHangsUp)
{
    addClock("A1", 3, 3, "555-0100");
    addClock("A2", 4, 3, "555-0100");
    addClock("B1", 5, 4, "555-0199");
    stopAfterTerminal = 3;
    PollSerial::WalkClockRows(db(), recorder(), view);
    EXPECT_EQ(calls, (QStringList{"open 3 9600,o,7,2", "dial 555-0100", "drain 1/3", "hangup", "close"}));
}

// The drain over a scripted line: replies in order, "" once they run out.
class ClockDrain : public TevHome {
protected:
    void SetUp() override
    {
        TevHome::SetUp();
        AppMain::state().AppPath = home();
        Platform::Clock::setToday(QDate(2026, 12, 7));
        line.send = [this](const QByteArray &frame) {
            sent << frame;
            if (frame == ack)
                onDiskAtAck << QFile(file("Data/DATA1207.log")).size() + QFile(file("Data/POLL.txt")).size();
            return true;
        };
        line.read = [this] {
            if (replies.empty())
                return QByteArray();
            const QByteArray r = replies.front();
            replies.pop_front();
            return r;
        };
    }
    void TearDown() override
    {
        PollFiles::setOpener(nullptr);
        TevHome::TearDown();
    }
    void drain()
    {
        files.open();
        PollSerial::PollSerialClock(1, 1, line, files, view);
        files.close();
    }
    QByteArray log() const
    {
        QFile f(file("Data/DATA1207.log"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    const QByteArray poll = QByteArray("\x05!!P\x04");
    const QByteArray ack = QByteArray("\x01!!\x06\x04");
    PollSerial::ClockLine line;
    std::deque<QByteArray> replies;
    QByteArrayList sent;
    QList<qint64> onDiskAtAck;
    PollFiles::DataFiles files;
    RecordingView view;
};

TEST_F(ClockDrain, EachRecordIsOnDiskBeforeItsAcknowledgementAndThreeEmptyTriesEndTheDrain)
{
    const QByteArray records[] = {Frame(kPunch), Frame(kPunch + "A\x1e\x1e""B\x1e"), Frame("BS01120045")};
    for (const QByteArray &r : records)
        replies.push_back(r);
    replies.push_back(QByteArray(1, LF::EOT));
    drain();
    QByteArray expected;
    QList<qint64> sizes;
    for (const QByteArray &r : records) {
        expected += PollSerial::RecordLine(r) + "\r\n";
        sizes << 2 * expected.size();
    }
    EXPECT_EQ(log(), expected);
    EXPECT_EQ(onDiskAtAck, sizes) << "a record acknowledged before both files held it";
    EXPECT_EQ(sent, (QByteArrayList{poll, ack, poll, ack, poll, ack, poll, poll, poll}));
    EXPECT_EQ(view.terminal, (QStringList{"1234,12/07/26,08:30", "1234,A,B,12/07/26,08:30",
                                          QString::fromLatin1(records[2])}));
    using S = PollSerial::LineState;
    EXPECT_EQ(view.states, (std::vector<S>{S::Delivered, S::Delivered, S::Delivered, S::Idle}));
}

TEST_F(ClockDrain, DamagedReplyIsAFailedTryAndTheWholeRecordIsTakenOnce)
{
    replies = {Frame(kPunch).left(4) + LF::EOT, Frame(kPunch).chopped(1), Frame(kPunch)};
    drain();
    EXPECT_EQ(log(), PollSerial::RecordLine(Frame(kPunch)) + "\r\n");
    EXPECT_EQ(sent, (QByteArrayList{poll, poll, poll, ack, poll, poll, poll}));
}

TEST_F(ClockDrain, RecordThatCannotBeWrittenIsNeverAcknowledgedAndStopsThePoll)
{
    PollFiles::setOpener([](const char *path, int flags, mode_t mode) {
        return QByteArray(path).endsWith("POLL.txt") ? ::open("/dev/full", O_WRONLY) : ::open(path, flags, mode);
    });
    replies = {Frame(kPunch), Frame(kPunch)};
    answerOk();
    drain();
    EXPECT_EQ(sent, QByteArrayList{poll});
    EXPECT_TRUE(view.stop);
    ASSERT_EQ(Platform::Ui::shown().size(), 2u);  // the beep and one box
    EXPECT_EQ(Platform::Ui::shown().back().title, "Kovra Error#: 61");
}

// The clock keeps a record whose acknowledgement did not go out and sends
// it again at the next poll: posted from both, it would post twice.
TEST_F(ClockDrain, RecordWhoseAcknowledgementIsRefusedIsInPollFileOnceAfterItsResend)
{
    line.send = [this, send = line.send, refuse = true](const QByteArray &frame) mutable {
        return !(frame == ack && std::exchange(refuse, false)) && send(frame);
    };
    line.notSent = [] { return true; };
    for (int poll = 0; poll < 2; ++poll) {
        replies = {Frame(kPunch)};
        view.stop = false;
        drain();
    }
    QFile pollFile(file("Data/POLL.txt"));
    ASSERT_TRUE(pollFile.open(QIODevice::ReadOnly));
    EXPECT_EQ(pollFile.readAll(), PollSerial::RecordLine(Frame(kPunch)) + "\r\n");
    EXPECT_EQ(log(), (PollSerial::RecordLine(Frame(kPunch)) + "\r\n").repeated(2)) << "every record received";
}

// A clock that may have got the acknowledgement may have let the record go: POLL.txt keeps it.
TEST_F(ClockDrain, RecordWhoseAcknowledgementMayHaveLeftStaysInPollFile)
{
    line.send = [this, send = line.send](const QByteArray &frame) { return frame != ack && send(frame); };
    replies = {Frame(kPunch)};
    drain();
    QFile pollFile(file("Data/POLL.txt"));
    ASSERT_TRUE(pollFile.open(QIODevice::ReadOnly));
    EXPECT_EQ(pollFile.readAll(), PollSerial::RecordLine(Frame(kPunch)) + "\r\n");
}

TEST_F(ClockDrain, PunchTheDisplayCannotTakeApartIsStillStoredAndAcknowledged)
{
    replies = {Frame("P0\x1e""1234")};
    answerOk();
    drain();
    EXPECT_EQ(log(), PollSerial::RecordLine(Frame("P0\x1e""1234")) + "\r\n");
    EXPECT_EQ(sent.count(ack), 1);
    EXPECT_EQ(view.terminal, QStringList{QString()});
    EXPECT_EQ(Platform::Ui::shown().back().text, "Invalid procedure call or argument");
}

} // namespace
