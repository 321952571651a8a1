// The port and the modem over the fake comm control: what only a fake can
// play (a modem's answers, a carrier, output that never drains).
#include "app/frmMDI.h"
#include "link/SerialClk.h"
#include "platform/comm/fakecomm.h"
#include "platform/ui.h"
#include "tests/support/fixture/TevHome.h"

#include <QAction>
#include <QPlainTextEdit>
#include <QStackedWidget>

namespace {

using Fake = Platform::FakeCommControl;

const QString kNine = QStringLiteral("9600,o,7,2");
const QString kFour = QStringLiteral("4800,e,8,1");

class SerialPort : public TevHome {
protected:
    void SetUp() override
    {
        TevHome::SetUp();
        SerialClk::InitProtocolChars();
        window = frmMDI::instance();
        auto fake = std::make_unique<Fake>();
        comm = fake.get();
        window->setCommControl(std::move(fake));
        bar = window->sbrStatus;
    }

    // The modem answers each command with the text the test gives for it.
    void modemAnswers(std::function<QByteArray(const QByteArray &)> answer)
    {
        comm->setResponder([answer](Fake &f, const QByteArray &sent) { f.queueInput(answer(sent)); });
    }

    SerialClk::SerialClockRec clockOn(int port, const QString &settings, const QString &phone = QString())
    {
        SerialClk::SerialClockRec c;
        c.ClockId = QStringLiteral("C%1").arg(port);
        c.CtrlAddr = 1;
        c.TermAddr = 1;
        c.Port = qint16(port);
        c.Settings = settings;
        c.PhoneNo = phone;
        return c;
    }

    bool portPictureOpen() const { return window->picPort->currentWidget() == window->imgConnected; }

    frmMDI *window = nullptr;
    Fake *comm = nullptr;
    StatusPanels *bar = nullptr;
};

TEST_F(SerialPort, SamePortAndSettingsKeepTheOpenPortSilently)
{
    ASSERT_TRUE(SerialClk::OpenPort(*comm, 3, kNine, bar));
    bar->setPanel(1, QStringLiteral("mark"));
    EXPECT_TRUE(SerialClk::OpenPort(*comm, 3, kNine, bar));
    EXPECT_EQ(comm->opens(), 1);
    EXPECT_EQ(comm->closes(), 0);
    EXPECT_EQ(bar->panel(1), QStringLiteral("mark"));
}

TEST_F(SerialPort, OtherSettingsCloseThePortBeforeOpeningIt)
{
    ASSERT_TRUE(SerialClk::OpenPort(*comm, 3, kNine, bar));
    comm->failNextOpen(Platform::CommErrorNo::DeviceUnavailable, QStringLiteral("busy"));
    EXPECT_FALSE(SerialClk::OpenPort(*comm, 4, kFour, bar));
    EXPECT_EQ(bar->panel(1), QStringLiteral("Status: Port is closed"));
    EXPECT_EQ(bar->panel(2), QStringLiteral("Port: COM3,") + kNine);
    EXPECT_FALSE(portPictureOpen());

    EXPECT_TRUE(SerialClk::OpenPort(*comm, 4, kFour, bar));
    EXPECT_EQ(bar->panel(1), QStringLiteral("Status: Port is Open"));
    EXPECT_EQ(bar->panel(2), QStringLiteral("Settings: COM4,") + kFour);
    EXPECT_TRUE(portPictureOpen());
}

TEST_F(SerialPort, WithoutAStatusBarThePanelsAndPictureStayAsTheyWere)
{
    bar->setPanel(1, QStringLiteral("one"));
    bar->setPanel(2, QStringLiteral("two"));
    EXPECT_TRUE(SerialClk::OpenPort(*comm, 3, kNine));
    EXPECT_EQ(bar->panel(1), QStringLiteral("one"));
    EXPECT_EQ(bar->panel(2), QStringLiteral("two"));
    EXPECT_FALSE(portPictureOpen());
}

// Output that never leaves: the old port must not be reported as reopened.
TEST_F(SerialPort, PortThatWillNotCloseIsNeverReportedReopened)
{
    ASSERT_TRUE(SerialClk::OpenPort(*comm, 3, kNine, bar));
    comm->setPendingOutput(64);
    Platform::Ui::queueAnswer(Platform::Ui::Answer::Ok);
    EXPECT_FALSE(SerialClk::OpenPort(*comm, 4, kFour, bar));
    EXPECT_TRUE(comm->PortOpen());
    EXPECT_EQ(comm->CommPort(), 3);
    EXPECT_FALSE(SerialClk::SendToPort(*comm, QByteArray("x")));
    EXPECT_EQ(Platform::Ui::shown().back().kind, QStringLiteral("msgbox"));
}

// A frame that does not drain is discarded, so it cannot leave once the
// line frees; it surely did not reach the clock only when none of it had left.
TEST_F(SerialPort, FrameThatDoesNotDrainIsDiscardedAndUnsentOnlyWhenWhole)
{
    ASSERT_TRUE(SerialClk::OpenPort(*comm, 3, kNine));
    const QByteArray ack = SerialClk::BuildAckMsg(1, 1);
    using D = SerialClk::Delivery;
    for (const auto &[stuck, delivery] : {std::pair{5, D::NotSent}, std::pair{3, D::MayHaveLeft}}) {
        comm->setResponder([n = stuck](Fake &f, const QByteArray &) { f.setPendingOutput(n); });
        Platform::Ui::queueAnswer(Platform::Ui::Answer::Ok);
        EXPECT_EQ(SerialClk::SendFrame(*comm, ack), delivery) << stuck;
        EXPECT_EQ(comm->OutBufferCount(), 0) << stuck;
    }
}

TEST_F(SerialPort, ModemCommandTellsOkErrorAndSilenceApart)
{
    ASSERT_TRUE(SerialClk::OpenPort(*comm, 3, kNine));
    modemAnswers([](const QByteArray &) { return QByteArray("ATZ\r\r\nOK\r\n"); });
    EXPECT_EQ(SerialClk::ModemCommand(*comm, QStringLiteral("ATZ")), 0);
    modemAnswers([](const QByteArray &) { return QByteArray("\r\nERROR\r\n"); });
    EXPECT_EQ(SerialClk::ModemCommand(*comm, QStringLiteral("ATX9")), 1);
    comm->setResponder({});
    EXPECT_EQ(SerialClk::ModemCommand(*comm, QStringLiteral("ATZ")), 2);
    EXPECT_EQ(comm->writes().last(), QByteArray("ATZ\r"));
}

TEST_F(SerialPort, DialAnsweredOkCountsTheCallUp)
{
    ASSERT_TRUE(SerialClk::OpenPort(*comm, 3, kNine));
    modemAnswers([](const QByteArray &) { return QByteArray("OK\r\n"); });
    EXPECT_TRUE(SerialClk::DialModem(*comm, QStringLiteral("ATZ"), QStringLiteral("5551234"), bar));
    EXPECT_EQ(comm->writes().last(), QByteArray("ATDT5551234\r"));
    EXPECT_EQ(bar->panel(1), QStringLiteral("Status: Dialing 5551234..."));
    EXPECT_TRUE(SerialClk::state().ModemConnected);
    EXPECT_TRUE(window->mnuCommHangUpModem->isEnabled());
    EXPECT_FALSE(window->mnuCommDialModem->isEnabled());
}

TEST_F(SerialPort, DialHearingACarrierShowsTheModemsAnswer)
{
    ASSERT_TRUE(SerialClk::OpenPort(*comm, 3, kNine));
    modemAnswers([this](const QByteArray &sent) {
        if (!sent.startsWith("ATDT"))
            return QByteArray("OK\r\n");
        comm->setCarrier(true);
        return QByteArray("CONNECT 9600\r\n");
    });
    EXPECT_TRUE(SerialClk::DialModem(*comm, QStringLiteral("ATZ"), QStringLiteral("1"), bar));
    EXPECT_EQ(bar->panel(1), QStringLiteral("Status: CONNECT 9600\r\n"));
}

// The dial wait once had no end: a busy line held the program for ever.
TEST_F(SerialPort, DialEndsOnNoCarrierAndOnItsBoundWithoutACall)
{
    ASSERT_TRUE(SerialClk::OpenPort(*comm, 3, kNine));
    modemAnswers([](const QByteArray &sent) {
        return sent.startsWith("ATDT") ? QByteArray("\r\nNO CARRIER\r\n") : QByteArray("OK\r\n");
    });
    EXPECT_FALSE(SerialClk::DialModem(*comm, QStringLiteral("ATZ"), QStringLiteral("1"), bar));
    EXPECT_EQ(bar->panel(1), QStringLiteral("Status: \r\nNO CARRIER\r\n"));

    SerialClk::state().DialWaitSeconds = 0.2;
    modemAnswers([](const QByteArray &sent) { return sent.startsWith("ATDT") ? QByteArray() : QByteArray("OK\r\n"); });
    EXPECT_FALSE(SerialClk::DialModem(*comm, QStringLiteral("ATZ"), QStringLiteral("1"), bar));
    EXPECT_FALSE(SerialClk::state().ModemConnected);
    EXPECT_TRUE(window->mnuCommDialModem->isEnabled());
    EXPECT_FALSE(window->mnuCommHangUpModem->isEnabled());
}

TEST_F(SerialPort, HangUpPulsesDtrRestoresItAndSwitchesTheMenus)
{
    ASSERT_TRUE(SerialClk::OpenPort(*comm, 3, kNine));
    comm->setDTREnable(false);
    SerialClk::state().ModemConnected = true;
    SerialClk::HangUpModem(*comm);
    EXPECT_EQ(comm->writes().last(), QByteArray("ATH"));
    const QList<bool> levels = comm->dtrLevels();
    ASSERT_GE(levels.size(), 3);
    EXPECT_EQ(levels.mid(levels.size() - 3), (QList<bool>{true, false, false}));
    EXPECT_FALSE(comm->DTREnable());
    EXPECT_FALSE(SerialClk::state().ModemConnected);
    EXPECT_TRUE(window->mnuCommDialModem->isEnabled());
    EXPECT_FALSE(window->mnuCommHangUpModem->isEnabled());
}

// A stale flag once sent the next exchange to a closed port or the old clock's line.
TEST_F(SerialPort, ClockPortOpenClearsAtEveryCloseAndEveryNewClock)
{
    bool &flag = SerialClk::state().ClockPortOpen;
    SerialClk::SelectClock(clockOn(3, kNine));
    ASSERT_TRUE(SerialClk::OpenSelectedClockPort(*comm));
    EXPECT_TRUE(flag);
    EXPECT_TRUE(SerialClk::ClosePort(*comm, bar));
    EXPECT_FALSE(flag);

    ASSERT_TRUE(SerialClk::OpenSelectedClockPort(*comm));
    EXPECT_TRUE(SerialClk::OpenPort(*comm, 4, kFour));
    EXPECT_FALSE(flag);

    ASSERT_TRUE(SerialClk::OpenSelectedClockPort(*comm));
    SerialClk::SelectClock(clockOn(4, kFour));
    EXPECT_FALSE(flag);
    ASSERT_TRUE(SerialClk::OpenSelectedClockPort(*comm));
    SerialClk::ClearSelectedClock();
    EXPECT_FALSE(flag);
}

TEST_F(SerialPort, NoClockChosenMeansNoPortAndNoDial)
{
    int asked = 0;
    SerialClk::state().ChooseClock = [&] { ++asked; };
    EXPECT_FALSE(SerialClk::OpenSelectedClockPort(*comm));
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(comm->PortOpen());

    SerialClk::state().ChooseClock = [this] { SerialClk::SelectClock(clockOn(3, kNine)); };
    SerialClk::ClearSelectedClock();
    EXPECT_TRUE(SerialClk::OpenSelectedClockPort(*comm));
    EXPECT_TRUE(comm->writes().isEmpty());
}

TEST_F(SerialPort, ModemClockIsDialledOnceWhileTheCallIsUp)
{
    modemAnswers([](const QByteArray &) { return QByteArray("OK\r\n"); });
    SerialClk::SelectClock(clockOn(3, kNine, QStringLiteral("5551234")));
    ASSERT_TRUE(SerialClk::OpenSelectedClockPort(*comm));
    ASSERT_TRUE(SerialClk::OpenSelectedClockPort(*comm));
    EXPECT_EQ(comm->writes().count(QByteArray("ATDT5551234\r")), 1);
}

TEST_F(SerialPort, UnopenablePortIsReported)
{
    SerialClk::SelectClock(clockOn(3, kNine));
    comm->failNextOpen(Platform::CommErrorNo::InvalidPortNumber, QStringLiteral("none"));
    Platform::Ui::queueAnswer(Platform::Ui::Answer::Ok);
    EXPECT_FALSE(SerialClk::OpenSelectedClockPort(*comm));
    EXPECT_EQ(Platform::Ui::shown().back().text, QStringLiteral("Unable to open the communication port."));
}

struct TerminalCase {
    const char *name;
    QString before;
    QString added;
    QString after;
};

TEST(TerminalText, LongTextsAndBackspacesAreHandledLikeATerminal)
{
    const QString full(16000 - 2, QLatin1Char('x'));   // with its line end: 16000
    const QChar bs(8);
    const TerminalCase cases[] = {
        {"exactly 16000 kept", full + "\n", "y", full + "\ny\n"},
        {"16001 loses 4096", full + "z\n", "y", QString(16000 - 2 - 4096, QLatin1Char('x')) + "z\ny\n"},
        {"backspace takes the character before", "", QString("ab") + bs + "c", "ac\n"},
        {"leading backspace replaces the last character", "12", QString(bs) + "3", "13\n"},
        {"backspace in an empty box is dropped", "", QString(bs) + bs + "q", "q\n"},
    };
    for (const TerminalCase &c : cases) {
        QPlainTextEdit box;
        box.setPlainText(c.before);
        SerialClk::AppendTerminalText(&box, c.added);
        EXPECT_EQ(box.toPlainText(), c.after) << c.name;
        EXPECT_EQ(box.textCursor().position(), box.toPlainText().size()) << c.name;
    }
}

} // namespace

namespace {

// The program addresses terminal 32 as 0x40 everywhere, unlike the polling library.
TEST(SerialFrames, FramesCarryTheAddressesAndCheckCharactersByteForByte)
{
    SerialClk::InitProtocolChars();
    const struct {
        const char *name;
        QByteArray frame;
        QByteArray bytes;
    } cases[] = {
        {"select", SerialClk::BuildSelectMsg(8, 32), QByteArray("\x05\x28\x40S\x04")},
        {"poll", SerialClk::BuildPollMsg(1, 1), QByteArray("\x05!!P\x04")},
        {"host ack", SerialClk::BuildAckMsg(1, 2), QByteArray("\x01!\x22\x06\x04")},
        {"data", SerialClk::BuildDataFrame(1, 1, QStringLiteral("T10\x1E")),
         QByteArray("\x01!!\x02\\A!\x1DT10\x1E\x03") + "6:\x04"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.frame, c.bytes) << c.name;
    int l1 = 0, l2 = 0;
    SerialClk::CalcFrameLrc(QByteArray("\x01!!\x02\\A!\x1DT10\x1E\x03"), l1, l2);
    EXPECT_EQ(QString(QChar(l1)) + QChar(l2), QStringLiteral("6:"));
}

} // namespace
