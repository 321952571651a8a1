// The serial link end to end: the real comm control on a pseudo-terminal,
// the emulated clock on its far side.
#include "app/AppMain.h"
#include "libs/frame/LinkFrame.h"
#include "link/SerialClk.h"
#include "link/TCPIP.h"
#include "link/frmCancelSend.h"
#include "platform/comm/serialcomm.h"
#include "platform/ui.h"
#include "tests/support/fixture/TevHome.h"
#include "tests/support/serialclock/EmulatedSerialClock.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <thread>

namespace {

using Clock = TevTest::EmulatedSerialClock;
using Frame = Clock::Frame;
namespace LF = LinkFrame;
using namespace std::chrono_literals;

constexpr int kPort = 5;
constexpr int kPollTimeOutMs = 40;
constexpr int kController = 1;
constexpr int kTerminal = 3;

class SerialExchange : public TevHome {
protected:
    void SetUp() override
    {
        TevHome::SetUp();
        SerialClk::InitProtocolChars();
        SerialClk::state().CommParm.PollTimeOut = kPollTimeOutMs;
        clock.useAsPort(kPort);
        selectSerialClock(QStringLiteral("Front door"), kController, kTerminal, kPort);
    }

    void TearDown() override
    {
        if (comm.PortOpen())
            comm.setPortOpen(false);
        delete static_cast<QWidget *>(frmCancelSend::existing());
        TevHome::TearDown();
    }

    bool send(const std::string &command)
    {
        if (!comm.PortOpen()) {
            EXPECT_TRUE(SerialClk::OpenSelectedClockPort(comm));
        }
        return SerialClk::SendCommandWithRetry(comm, QByteArray::fromStdString(command), kController, kTerminal);
    }

    // What the clock took, each as it stands after the "\A" t GS header.
    std::vector<std::string> taken() const
    {
        std::vector<std::string> texts;
        for (const std::string &t : clock.acceptedTexts())
            texts.push_back(t.substr(LF::MessageHeader(kTerminal).size()));
        return texts;
    }

    std::vector<Frame> kinds(std::initializer_list<std::pair<Frame, int>> runs) const
    {
        std::vector<Frame> all;
        for (const auto &[kind, times] : runs)
            all.insert(all.end(), std::size_t(times), kind);
        return all;
    }

    QStringList boxes() const
    {
        QStringList texts;
        for (const Platform::Ui::Shown &s : Platform::Ui::shown()) {
            if (s.kind == QLatin1String("msgbox"))
                texts << s.text;
        }
        return texts;
    }

    void download(const QByteArray &content)
    {
        writeFile(QStringLiteral("Data/cmd.dld"), content);
        ASSERT_TRUE(SerialClk::OpenSelectedClockPort(comm));
        SerialClk::DownloadFileSerial(comm, file(QStringLiteral("Data/cmd.dld")), kController, kTerminal,
                                      QStringLiteral("Front door"));
        EXPECT_TRUE(SerialClk::state().CancelSend);
        EXPECT_FALSE(frmCancelSend::instance()->isVisible());
    }

    Clock clock{kController, kTerminal};
    Platform::SerialCommControl comm;
    const std::string RS{LF::RS};
};

TEST_F(SerialExchange, SilentClockCostsFourSelectsAndNoDataFrame)
{
    clock.inject(Frame::Select, Clock::Fault::Silence, 4);
    EXPECT_FALSE(send("T10"));
    EXPECT_EQ(clock.receivedKinds(), kinds({{Frame::Select, 4}}));
}

TEST_F(SerialExchange, FrameNakedEveryTimeFailsAfterFourSelectsAndFourFrames)
{
    clock.inject(Frame::Data, Clock::Fault::Nak, 4);
    EXPECT_FALSE(send("T10"));
    std::vector<Frame> expected;
    for (int i = 0; i < 4; ++i)
        expected.insert(expected.end(), {Frame::Select, Frame::Data});
    EXPECT_EQ(clock.receivedKinds(), expected);
}

TEST_F(SerialExchange, NakFollowedByAckInOneAnswerIsAccepted)
{
    const std::string nak{LF::SOH, LF::AddressChar(kController), LF::AddressChar(kTerminal), LF::NAK, LF::EOT};
    clock.injectReply(Frame::Data, nak + LF::ExpectedClockAck(kController, kTerminal));
    EXPECT_TRUE(send("T10"));
    EXPECT_EQ(clock.receivedKinds(), kinds({{Frame::Select, 1}, {Frame::Data, 1}}));
}

TEST_F(SerialExchange, RecordSeparatorIsAddedOnlyWhenMissing)
{
    EXPECT_TRUE(send("T10"));
    EXPECT_TRUE(send("T10" + RS));
    EXPECT_TRUE(send(""));
    EXPECT_EQ(taken(), (std::vector<std::string>{"T10" + RS, "T10" + RS, RS}));
}

// A reply that trickles in must be read whole: its tail taken as the next
// frame's answer once counted a refused line as accepted.
TEST_F(SerialExchange, RepliesSplitIntoSingleBytesAreReadWhole)
{
    clock.splitWrites(true);
    clock.inject(Frame::Data, Clock::Fault::Nak, 4);
    EXPECT_FALSE(send("T10"));
    EXPECT_TRUE(taken().empty());
    EXPECT_EQ(clock.receivedKinds().size(), 8u);
}

TEST_F(SerialExchange, LateAnswerOfOneCallIsNotTakenByTheNext)
{
    const auto late = std::chrono::milliseconds(4 * kPollTimeOutMs) + 60ms;
    clock.inject(Frame::Select, Clock::Fault::Silence, 3);
    clock.injectLate(Frame::Select, late);
    EXPECT_FALSE(send("T10"));
    ASSERT_TRUE(clock.waitForFrames(4));
    std::this_thread::sleep_for(late);   // the acknowledgement now waits in the port

    clock.inject(Frame::Select, Clock::Fault::Nak, 4);
    EXPECT_FALSE(send("T10"));
    EXPECT_EQ(clock.receivedKinds(), kinds({{Frame::Select, 8}}));
}

TEST_F(SerialExchange, DownloadSendsEveryKindOfLineInOrder)
{
    Platform::Ui::queueAnswer(Platform::Ui::Answer::Ok);
    download("O00\r\nLPC01001\nD00 Hi\r\r\n" + QByteArray(1, LF::RS) + "\r\nO10");
    EXPECT_EQ(taken(), (std::vector<std::string>{"O00" + RS, "LPC01001" + RS, "D00 Hi" + RS, RS, RS, "O10" + RS}));
    EXPECT_EQ(boxes(), QStringList{QStringLiteral("File downloaded successfully!")});
    const QProgressBar *bar = frmCancelSend::instance()->ProgressBar1;
    EXPECT_EQ(bar->maximum(), 29);
    EXPECT_LE(bar->value(), bar->maximum());
}

TEST_F(SerialExchange, DownloadRefusedAtLineThreeKeepsTheFirstTwoAndSendsNoClose)
{
    clock.inject(Frame::Data, Clock::Fault::Nak, 4, 2);
    Platform::Ui::queueAnswer(Platform::Ui::Answer::Ok);
    download("L1\r\nL2\r\nL3\r\nL4\r\n");
    EXPECT_EQ(taken(), (std::vector<std::string>{"L1" + RS, "L2" + RS}));
    EXPECT_EQ(boxes(), QStringList{QStringLiteral("Terminal is not responding.")});
    EXPECT_EQ(Platform::Ui::shown().back().style, Platform::Ui::Style::Information);
}

TEST_F(SerialExchange, CancelDuringALineLetsItFinishThenClosesTheClock)
{
    clock.injectLate(Frame::Data, 80ms);
    // Pressed 20 ms after the download's first yield, just before L1, while the clock holds back its answer.
    QObject::connect(
        frmCancelSend::instance()->ProgressBar1, &QProgressBar::valueChanged, qApp,
        [] {
            QTimer::singleShot(0, [] {
                QTimer::singleShot(20, [] { frmCancelSend::instance()->cmdCancel->click(); });
            });
        },
        Qt::SingleShotConnection);
    download("L1\r\nL2\r\nL3\r\n");
    EXPECT_EQ(taken(), (std::vector<std::string>{"L1" + RS, "O10" + RS}));
    EXPECT_TRUE(boxes().isEmpty());
}

// A result box opening behind the cancel window made the program look hung;
// a serial download after a TCP/IP one could not be cancelled.
TEST_F(SerialExchange, EachDownloadSetsUpTheCancelWindowAndClearsItAwayBeforeItsBox)
{
    installDefaultDatabase();
    openMainDb();
    AppMain::settings().ClockInterface = 2;   // no link library here: the TCP/IP download fails at once
    writeFile(QStringLiteral("Data/cmd.dld"), "L1\r\nL2\r\n");
    QStringList windowAtBox;
    Platform::Ui::onShown([&windowAtBox](const Platform::Ui::Shown &shown) {
        if (shown.kind == QLatin1String("msgbox"))
            windowAtBox << shown.text.section(QLatin1Char('\r'), 0, 0) + (frmCancelSend::instance()->isVisible()
                                                                             ? QStringLiteral(": window shown")
                                                                             : QStringLiteral(": window gone"));
    });
    TCPIP::state().CurTCPIPClock = {7, QStringLiteral("7"), QStringLiteral("1")};
    answerOk(2);
    TCPIP::DownloadFileTCPIP(file(QStringLiteral("Data/cmd.dld")));

    QStringList during;   // the window as the serial download starts its progress
    QObject::connect(
        frmCancelSend::instance()->ProgressBar1, &QProgressBar::valueChanged, qApp,
        [&during] {
            const frmCancelSend *f = frmCancelSend::instance();
            during << f->windowTitle() << f->Label1->text();
            for (const QWidget *w : std::initializer_list<const QWidget *>{f->Label1, f->ProgressBar1, f->cmdCancel, f->bufferin})
                during << (w->isVisibleTo(f) ? QStringLiteral("shown") : QStringLiteral("hidden"));
        },
        Qt::SingleShotConnection);
    download("L1\r\nL2\r\n");
    EXPECT_EQ(during.join(QLatin1Char('|')).toStdString(),
              "Cancel Send/Receive |Downloading configuration file to clock: Front door ...|shown|shown|shown|hidden");
    EXPECT_EQ(windowAtBox.join(QLatin1Char('|')).toStdString(),
              "Transmission Error!: window gone|File downloaded successfully!: window gone");
}

TEST_F(SerialExchange, CancelReachesADownloadToAClockThatAnswersAtOnce)
{
    writeFile(QStringLiteral("Data/cmd.dld"), "L1\r\nL2\r\nL3\r\n");
    ASSERT_TRUE(SerialClk::OpenSelectedClockPort(comm));
    QTimer::singleShot(0, [] { frmCancelSend::instance()->cmdCancel->click(); });
    SerialClk::DownloadFileSerial(comm, file(QStringLiteral("Data/cmd.dld")), kController, kTerminal, "x");
    EXPECT_EQ(taken(), (std::vector<std::string>{"O10" + RS})) << "the Cancel waiting before the first line";
}

TEST_F(SerialExchange, EmptyFileIsADownloadThatSucceeds)
{
    Platform::Ui::queueAnswer(Platform::Ui::Answer::Ok);
    download(QByteArray());
    EXPECT_TRUE(clock.received().empty());
    EXPECT_EQ(boxes(), QStringList{QStringLiteral("File downloaded successfully!")});
}

TEST_F(SerialExchange, MissingFileIsReportedAndTheDownloadEndsTidily)
{
    Platform::Ui::queueAnswer(Platform::Ui::Answer::Ok);
    ASSERT_TRUE(SerialClk::OpenSelectedClockPort(comm));
    SerialClk::DownloadFileSerial(comm, file(QStringLiteral("Data/none.dld")), kController, kTerminal, "x");
    EXPECT_TRUE(SerialClk::state().CancelSend);
    EXPECT_FALSE(frmCancelSend::instance()->isVisible());
    ASSERT_EQ(Platform::Ui::shown().size(), 2u);   // beep and box
    EXPECT_EQ(Platform::Ui::shown().back().title, QStringLiteral("Kovra Error#: 53"));
}

TEST_F(SerialExchange, BadgeCountShowsBothNumbersThenAcknowledges)
{
    clock.queueRecord("BS01120045");
    Platform::Ui::queueAnswer(Platform::Ui::Answer::Ok);
    SerialClk::ShowBadgeScheduleCount(comm);
    EXPECT_EQ(boxes(), QStringList{QStringLiteral("No of Badges = 120\r\nNo of Schedules = 045")});
    ASSERT_TRUE(clock.waitForFrames(4));
    EXPECT_EQ(clock.receivedKinds(), (std::vector<Frame>{Frame::Select, Frame::Data, Frame::Poll, Frame::Ack}));
    EXPECT_EQ(taken(), std::vector<std::string>{"S01" + RS});
    EXPECT_EQ(clock.pendingRecords(), 0u);
}

TEST_F(SerialExchange, BadgeCountWithoutItsAnswerIsNeitherShownNorAcknowledged)
{
    clock.queueRecord("BT01261207140509");
    SerialClk::ShowBadgeScheduleCount(comm);
    EXPECT_TRUE(boxes().isEmpty());
    EXPECT_EQ(clock.receivedKinds(), (std::vector<Frame>{Frame::Select, Frame::Data, Frame::Poll}));
    EXPECT_EQ(clock.pendingRecords(), 1u);
}

// A second command from another event while one waits would interleave two
// exchanges on one line.
TEST_F(SerialExchange, ExchangeBegunWhileAnotherWaitsIsIgnored)
{
    clock.injectLate(Frame::Data, 80ms);
    bool inner = true;
    QTimer::singleShot(20, [&] { inner = SerialClk::SendCommandWithRetry(comm, QByteArray("X"), kController, kTerminal); });
    EXPECT_TRUE(send("T10"));
    EXPECT_FALSE(inner);
    EXPECT_EQ(taken(), std::vector<std::string>{"T10" + RS});
}

} // namespace
