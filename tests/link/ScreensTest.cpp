// The set time, send command and poll timing screens: serial exchanges over a
// pseudo-terminal with the emulated clock on its far side, settings on the
// application folder's database.
#include "app/AppMain.h"
#include "app/Screen.h"
#include "app/frmMDI.h"
#include "libs/frame/LinkFrame.h"
#include "link/SerialClk.h"
#include "link/TCPIP.h"
#include "link/frmClockPollProp.h"
#include "link/frmSendCmd.h"
#include "link/frmSetTime.h"
#include "platform/comm/serialcomm.h"
#include "platform/ui.h"
#include "polling/frmPollSerial.h"
#include "polling/frmPollTCPIP.h"
#include "startup/frmAppSettings.h"
#include "tests/support/fixture/TevHome.h"
#include "tests/support/serialclock/EmulatedSerialClock.h"

#include "LinkHome.h"
#include "TcpClock.h"

#include <QAction>
#include <QComboBox>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QCoreApplication>
#include <QDateEdit>
#include <QLocale>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimeEdit>
#include <QTimer>

#include <functional>
#include <thread>

namespace {

using Clock = TevTest::EmulatedSerialClock;
using Frame = Clock::Frame;
namespace LF = LinkFrame;
using Answer = Platform::Ui::Answer;

constexpr int kPort = 6;
constexpr int kController = 1;
constexpr int kTerminal = 2;

std::string ackOf() { return LF::ExpectedClockAck(kController, kTerminal); }
std::string nakOf() { return {LF::SOH, LF::AddressChar(kController), LF::AddressChar(kTerminal), LF::NAK, LF::EOT}; }
// A data reply of the clock, framed as it sends one.
std::string dataReply(const std::string &text)
{
    return LF::BuildDataFrame(kController, kTerminal, text);
}

class LinkScreens : public TevHome {
protected:
    void SetUp() override
    {
        TevHome::SetUp();
        installDefaultDatabase();
        openMainDb();
        SerialClk::InitProtocolChars();
        SerialClk::state().CommParm.PollTimeOut = 40;
        clock.useAsPort(kPort);
        selectSerialClock(QStringLiteral("Gate"), kController, kTerminal, kPort);
        frmMDI::instance()->setCommControl(std::make_unique<Platform::SerialCommControl>());
    }

    void TearDown() override
    {
        if (frmMDI::existing() && frmMDI::existing()->MSComm1->PortOpen())
            frmMDI::existing()->MSComm1->setPortOpen(false);
        TevHome::TearDown();
    }

    std::vector<std::string> taken() const
    {
        std::vector<std::string> texts;
        for (const std::string &t : clock.acceptedTexts())
            texts.push_back(t.substr(LF::MessageHeader(kTerminal).size()));
        return texts;
    }
    bool polled() const
    {
        const auto k = clock.receivedKinds();
        return std::find(k.begin(), k.end(), Frame::Poll) != k.end();
    }
    bool acked() const
    {
        const auto k = clock.receivedKinds();
        return std::find(k.begin(), k.end(), Frame::Ack) != k.end();
    }
    // The acknowledgement is the screen's last write: the clock's thread may
    // still be reading it when the click returns.
    bool ackArrives() const
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while (!acked() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return acked();
    }

    Clock clock{kController, kTerminal};
    const std::string RS{LF::RS};
};

TEST_F(LinkScreens, SetTimeSendsThePickersNotTheClockOfTheClick)
{
    // A locale whose short time shows no seconds still sends them.
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    frmSetTime form;
    QLocale::setDefault(QLocale::c());
    form.DTPDateSet->setDate(QDate(2026, 12, 7));
    form.DTPTimeSet->setTime(QTime(14, 5, 9));
    form.cmdSetTime->click();
    form.DTPDaylightSet->setDate(QDate(2027, 3, 31));
    form.cmdSetDate->click();
    EXPECT_EQ(taken(), (std::vector<std::string>{"T00261207140509" + RS, "T20270331" + RS}));
    EXPECT_EQ(form.txtResponse->text(), QStringLiteral("Daylight saving date is set!"));
}

TEST_F(LinkScreens, SetTimeStopsAtASelectThatIsNotAPlainAck)
{
    frmSetTime form;
    clock.injectReply(Frame::Select, nakOf() + ackOf());
    form.cmdSetTime->click();
    EXPECT_EQ(form.txtResponse->text(), SerialClk::kNotReady);
    clock.injectReply(Frame::Select, "?");
    form.cmdSetTime->click();
    EXPECT_TRUE(form.txtResponse->text().isEmpty());
    EXPECT_TRUE(taken().empty());
}

TEST_F(LinkScreens, GetTimeShowsAndAcknowledgesOnlyABt01Reply)
{
    frmSetTime form;
    clock.injectReply(Frame::Poll, dataReply("BT01261207140509"));
    Platform::Ui::queueAnswer(Answer::Ok);
    form.cmdGetTime->click();
    EXPECT_EQ(form.txtClockTime->text(), QStringLiteral("12/07/26   02:05 PM"));
    EXPECT_TRUE(ackArrives());

    clock.injectReply(Frame::Poll, dataReply("BS01120045"));
    Platform::Ui::queueAnswer(Answer::Ok);
    const auto before = clock.receivedKinds().size();
    form.cmdGetTime->click();
    EXPECT_EQ(form.txtClockTime->text(), QStringLiteral("12/07/26   02:05 PM"));
    EXPECT_EQ(clock.receivedKinds().back(), Frame::Poll);
    EXPECT_EQ(clock.receivedKinds().size(), before + 3);
}

TEST_F(LinkScreens, GetTimeRefusedOrCancelledSendsNoPoll)
{
    frmSetTime form;
    Platform::Ui::queueAnswer(Answer::Cancel);
    form.cmdGetTime->click();
    EXPECT_TRUE(clock.received().empty());
    clock.injectReply(Frame::Data, nakOf());
    Platform::Ui::queueAnswer(Answer::Ok);
    form.cmdGetTime->click();
    EXPECT_FALSE(polled());
    EXPECT_TRUE(form.txtResponse->text().isEmpty());
}

TEST(ClockTimeText, TwelveHourClockInEnglishAndDigitsAsTheyCame)
{
    const struct {
        const char *reply;
        const char *shown;
    } rows[] = {
        {"xBT01261207140509", "12/07/26   02:05 PM"},
        {"BT01270101000500", "01/01/27   12:05 AM"},
        {"BT01270101120000", "01/01/27   12:00 PM"},
        {"BT01270101256100", "01/01/27   25:61:00"},
    };
    for (const auto &row : rows)
        EXPECT_EQ(frmSetTime::ClockTimeText(row.reply).value_or(QStringLiteral("-")), QString::fromLatin1(row.shown))
            << row.reply;
    EXPECT_FALSE(frmSetTime::ClockTimeText("BT0").has_value());
    EXPECT_FALSE(frmSetTime::ClockTimeText("BS01120045").has_value());
}

TEST_F(LinkScreens, SendCommandPollsOnlyForDataCommandsAndShowsTheWholeReply)
{
    frmSendCmd form;
    const std::string reply = dataReply("BS01120045");
    clock.injectReply(Frame::Poll, reply);
    form.txtCmd->setText(QStringLiteral("S01"));
    form.cmdRS->click();
    form.cmdSend->click();
    // The box keeps the line end as a paragraph break.
    EXPECT_EQ(form.txtResponse->toPlainText(), QString::fromLatin1(reply.c_str()) + QLatin1Char('\n'));
    EXPECT_TRUE(ackArrives());
    EXPECT_EQ(taken(), std::vector<std::string>{"S01" + RS});

    form.txtCmd->setText(QStringLiteral("t10"));
    form.cmdSend->click();
    EXPECT_EQ(form.txtResponse->toPlainText(), QStringLiteral("Terminal received command."));
    const auto kinds = clock.receivedKinds();
    EXPECT_EQ(std::count(kinds.begin(), kinds.end(), Frame::Poll), 1);
}

TEST_F(LinkScreens, SendCommandRepliesWithoutAckOrBackslash)
{
    frmSendCmd form;
    form.txtCmd->setText(QStringLiteral("X1"));
    clock.injectReply(Frame::Select, "?");     // no ACK, no NAK: still goes on
    clock.injectReply(Frame::Data, "odd");
    form.cmdSend->click();
    EXPECT_EQ(form.txtResponse->toPlainText(), QStringLiteral("odd"));

    form.txtCmd->setText(QStringLiteral("T10"));
    clock.injectReply(Frame::Poll, "no record");
    form.cmdSend->click();
    EXPECT_EQ(form.txtResponse->toPlainText(), SerialClk::kNotResponding);
    EXPECT_FALSE(acked());
}

TEST_F(LinkScreens, SendCommandRefusesACharacterTheClockCannotCarry)
{
    frmSendCmd form;
    form.txtCmd->setText(QStringLiteral("D00 \u0416"));
    Platform::Ui::queueAnswer(Answer::Ok);
    Platform::Ui::queueAnswer(Answer::Ok);
    form.cmdSend->click();
    EXPECT_TRUE(clock.received().empty());
    ASSERT_EQ(Platform::Ui::shown().size(), 2u);  // the beep and the box
    EXPECT_TRUE(Platform::Ui::shown().back().text.contains(QChar(0x416)));

    AppMain::settings().ClockInterface = 2;        // the same on the TCP/IP route
    form.cmdSend->click();
    EXPECT_EQ(Platform::Ui::shown().size(), 4u);
}

TEST(PrintChar, ReplacesTheSelectionAndPutsTheCaretAfterIt)
{
    const struct {
        const char *text;
        int start, length;
        const char *result;
        int caret;
    } rows[] = {
        {"", 0, 0, "#", 1}, {"ab", 2, 0, "ab#", 3}, {"abcd", 1, 2, "a#d", 2}, {"abcd", 0, 4, "#", 1},
    };
    for (const auto &row : rows) {
        const auto edit = frmSendCmd::PrintChar(QString::fromLatin1(row.text), row.start, row.length, QLatin1Char('#'));
        EXPECT_EQ(edit.text, QString::fromLatin1(row.result)) << row.text;
        EXPECT_EQ(edit.caret, row.caret) << row.text;
    }
}

TEST_F(LinkScreens, SendCommandOverTcpIpWithoutALibraryIsReported)
{
    AppMain::settings().ClockInterface = 1;
    TCPIP::state().SelTCPIPClock.ScreenID = 3;
    TCPIP::state().SelTCPIPClock.Controller = QStringLiteral("1");
    TCPIP::state().SelTCPIPClock.Clock = QStringLiteral("3");
    mdiHooks().selectedTcpIpClock = [] { return TCPIP::state().SelTCPIPClock.ScreenID; };
    frmSendCmd form;
    form.txtCmd->setText(QStringLiteral("D00 Hi"));
    form.cmdSend->click();
    EXPECT_EQ(form.txtResponse->toPlainText(), QStringLiteral("Unable to send command!"));
}

TEST_F(LinkScreens, SendCommandOverTcpIpReachesTheClockAndLeavesTheBoxAlone)
{
    const quint16 port = prepareTcpLink();
    AppMain::settings().ClockInterface = 2;
    TCPIP::InitTCPIPLink();
    tevtest::TcpClock clock(tevtest::clockAddress(3), port);
    std::vector<char> buffer(TCPIP::kRxBufSize + 1, ' ');
    const auto poll = [&] { return TCPIP::Api(TCPIP::Build::Tev32).PollTimeClock(1, 1, 3, nullptr, buffer.data()); };
    poll();
    ASSERT_TRUE(clock.connect());
    for (int i = 0; i < 500 && poll() == 2; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    TCPIP::state().SelTCPIPClock = {3, QStringLiteral("3"), QStringLiteral("1"), 127, 0, 0, 4};
    mdiHooks().selectedTcpIpClock = [] { return TCPIP::state().SelTCPIPClock.ScreenID; };

    frmSendCmd form;
    form.txtResponse->setPlainText(QStringLiteral("earlier"));
    form.txtCmd->setText(QStringLiteral("D00 Hi"));
    form.cmdSend->click();
    ASSERT_TRUE(clock.waitForMessages(1));
    EXPECT_EQ(clock.messages().back().text, "D00 Hi" + RS);
    EXPECT_EQ(form.txtResponse->toPlainText(), QStringLiteral("earlier"));
}

TEST_F(LinkScreens, MenuItemsOpenEachScreenOnceInTheMainWindow)
{
    SerialClk::InstallPollPropertiesHook();
    SerialClk::InstallSetTimeHook();
    SerialClk::InstallSendCmdHook();
    AppMain::InstallAppSettingsHook();
    frmMDI *mdi = frmMDI::instance();
    for (QAction *item : {mdi->mnuCommPollParm, mdi->mnuCmdSetTime, mdi->mnuCmdSendCmd, mdi->mnuSetupAppSettings,
                          mdi->mnuCmdSendCmd})
        item->trigger();
    QStringList titles;
    for (QMdiSubWindow *sub : mdi->mdiArea->subWindowList())
        titles << sub->windowTitle();
    titles.sort();
    EXPECT_EQ(titles, (QStringList{QStringLiteral("Application Settings"), QStringLiteral("Clock Date/Time"),
                                   QStringLiteral("Poll / Delay Properties"), QStringLiteral("Send Command")}));
    EXPECT_EQ(mdi->mdiArea->activeSubWindow()->windowTitle(), QStringLiteral("Send Command"));
    resetMdiHooks();
}

TEST_F(LinkScreens, PollTimingStoresOnlyWhatChanged)
{
    const QStringList before = registryRows();
    auto *form = AppMain::OneScreen<frmClockPollProp>::show();
    EXPECT_EQ(form->mskPollingDelay->text(), QStringLiteral("0400"));
    EXPECT_EQ(form->mskPollingTimeOut->text(), QStringLiteral("0040"));
    EXPECT_EQ(form->cboMachineSpeed->currentText(), QStringLiteral("5"));
    form->cmdSave->click();
    EXPECT_EQ(registryRows(), before);

    form->mskPollingTimeOut->setText(QStringLiteral("0800"));
    form->cmdSave->click();
    EXPECT_EQ(registryRows(), QStringList(before) << QStringLiteral("COMM PARM/PollTimeOut=800"));

    form->cboMachineSpeed->setCurrentIndex(9);
    form->mskPollingDelay->setText(QString());
    Platform::Ui::queueAnswer(Answer::Yes);
    form->cmdClose->click();
    EXPECT_EQ(SerialClk::state().CommParm.MachineSpeed, 10);
    EXPECT_EQ(SerialClk::state().CommParm.PollDelay, 0);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(AppMain::OneScreen<frmClockPollProp>::existing(), nullptr);
}

TEST_F(LinkScreens, PollTimingWithAStoredSpeedOffTheListAsksNothing)
{
    SerialClk::state().CommParm.MachineSpeed = 60;
    auto *form = AppMain::OneScreen<frmClockPollProp>::show();
    EXPECT_EQ(form->cboMachineSpeed->currentIndex(), -1);
    const QStringList before = registryRows();
    form->cmdClose->click();   // no question scripted: none may be asked
    EXPECT_EQ(registryRows(), before);
    EXPECT_EQ(SerialClk::state().CommParm.MachineSpeed, 60);
}

// The clock-operation guard with real operations: a TCP/IP poll through the
// built library, serial operations with the emulated clock. Inside each, the
// callers that would pull its link away are refused with a box, and the
// operation goes on to its end.
TEST_F(LinkScreens, CallersThatWouldPullTheLinkAreRefusedAndTheOperationGoesOn)
{
    prepareTcpLink();
    writeFile(QStringLiteral("Data/TEVCMD.DLD"), "D00 One\x1e\r\nD00 Two\x1e\r\n");
    Platform::CommControl &comm = *frmMDI::instance()->MSComm1;
    // What the clock took from the first `from` on.
    const auto since = [this](std::size_t from) {
        const std::vector<std::string> all = taken();
        return std::vector<std::string>(all.begin() + std::ptrdiff_t(from), all.end());
    };
    AppMain::state().MainDb.execute(
        QStringLiteral("INSERT INTO TcpClocks (ScreenID, octet1, octet2, octet3, octet4) VALUES (1, 127, 0, 0, 2)"));
    using Frame = TevTest::EmulatedSerialClock::Frame;
    const struct {
        const char *name;
        quint8 clockInterface;
        Frame late;  // the clock answers it late, so the operation waits and yields
        int extraBoxes;
        std::function<bool(std::size_t taken)> run;  // true when it went on to its end
    } holders[] = {
        {"TCP/IP poll", 2, Frame::Other, 0, [](std::size_t) {
             TCPIP::InitTCPIPLink();
             frmPollTCPIP form;
             form.optAllClk->setChecked(true);
             QTimer::singleShot(50, &form, [&form] { form.cmdStopPoll->click(); });
             form.cmdPoll->click();
             return TCPIP::IsLoaded(TCPIP::Build::Tev32) && form.cmdPoll->isEnabled();
         }},
        {"serial poll", 0, Frame::Poll, 0, [&, this](std::size_t) {
             clock.queueRecord("P0\x1e" "1234\x1e\x1f" "2612070830000");
             clock.queueRecord("P0\x1e" "5678\x1e\x1f" "2612070831000");
             frmPollSerial form;
             form.optpoll[1]->setChecked(true);
             form.cmdPoll[0]->click();
             return clock.pendingRecords() == 0;
         }},
        {"download", 0, Frame::Select, 1, [&, this](std::size_t n) {
             SerialClk::OpenSelectedClockPort(comm);
             SerialClk::DownloadFileSerial(comm, file(QStringLiteral("Data/TEVCMD.DLD")), 1, 2, QStringLiteral("Gate"));
             return since(n) == std::vector<std::string>{"D00 One\x1e", "D00 Two\x1e"};
         }},
        {"set time", 0, Frame::Select, 0, [&](std::size_t n) {
             frmSetTime form;
             form.cmdSetTime->click();
             return since(n).size() == 1 && since(n)[0].starts_with("T00");
         }},
        {"send command", 0, Frame::Select, 0, [&](std::size_t n) {
             frmSendCmd form;
             form.txtCmd->setText(QStringLiteral("D00 Hi"));
             form.cmdSend->click();
             return since(n) == std::vector<std::string>{"D00 Hi\x1e"};
         }},
        {"serial exchange", 0, Frame::Select, 0, [&](std::size_t) {
             SerialClk::OpenSelectedClockPort(comm);
             return SerialClk::SendCommandWithRetry(comm, QStringLiteral("T20270331"), 1, 2);
         }},
    };
    for (const auto &holder : holders) {
        SCOPED_TRACE(holder.name);
        AppMain::settings().ClockInterface = holder.clockInterface;
        frmAppSettings settings;
        const QStringList rowsBefore = registryRows();
        answerOk(5 + holder.extraBoxes);
        clock.injectLate(holder.late, std::chrono::milliseconds(30));
        QTimer::singleShot(0, [&settings, holder] {
            settings.optAppClock[holder.clockInterface == 0 ? 1 : 0]->click();
            settings.cmdSave->click();
            TCPIP::DownloadFileTCPIP(QStringLiteral("Data/TEVCMD.DLD"));
            frmMDI::instance()->mnuCmdDownloadCmdFile->trigger();  // refused before its file dialog
            TCPIP::SetTimeTCPIPWinNT();
            frmMDI::instance()->mnuDataImportData->trigger();
        });
        EXPECT_TRUE(holder.run(clock.acceptedTexts().size()));
        const QString running = QStringLiteral(" while a clock operation is running (%1).").arg(holder.name);
        const QStringList refusals = {
            QStringLiteral("The settings are not saved: the clock interface cannot change") + running,
            QStringLiteral("The file cannot be downloaded") + running,
            QStringLiteral("The file cannot be downloaded") + running,
            QStringLiteral("The time cannot be set") + running,
            QStringLiteral("Clock data cannot be imported") + running,
        };
        QStringList shown;
        for (const auto &box : boxes())
            shown << box.text;
        EXPECT_EQ(shown.mid(0, 5).join(QLatin1Char('\n')).toStdString(), refusals.join(QLatin1Char('\n')).toStdString());
        EXPECT_EQ(AppMain::settings().ClockInterface, holder.clockInterface);
        EXPECT_EQ(registryRows(), rowsBefore);
        Platform::Ui::clearShown();
        if (comm.PortOpen())
            comm.setPortOpen(false);
        SerialClk::state().ClockPortOpen = false;
    }
}

} // namespace
