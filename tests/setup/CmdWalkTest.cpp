#include "SetupFixture.h"

#include "FakeClockLink.h"

#include "setup/CmdWalk.h"

namespace {

class SendWalk : public SetupTest {
protected:
    FakeClockLink link;
    QString path;

    void SetUp() override
    {
        SetupTest::SetUp();
        path = file(QStringLiteral("Data/TEVCMD.DLD"));
        writeFile(QStringLiteral("Data/TEVCMD.DLD"), QByteArray("O00\x1e\r\n"));
    }

    void clock(const char *id, int port, const char *phone, int term = 1, int ctrl = 1)
    {
        db().execute(QStringLiteral("INSERT INTO Clocks ([Clock Identifier], [Term Address], [Controller Address], "
                                    "Port, PhoneNo) VALUES (?, ?, ?, ?, ?)"),
                     {QString::fromLatin1(id), term, ctrl, port, QString::fromLatin1(phone)});
    }

    void tcp(int id, int o4)
    {
        db().execute(QStringLiteral("INSERT INTO TcpClocks (ScreenID, octet1, octet2, octet3, octet4) VALUES (?, 10, 0, 0, ?)"),
                     {id, o4});
    }

    void send(int interface, CmdWalk::Scope scope, const std::function<bool()> &stop = {})
    {
        CmdWalk::Send(link, db(), path, interface, scope, stop);
    }
};

TEST_F(SendWalk, SendBeforeAnyBuildContactsNoClock)
{
    QFile::remove(path);
    clock("A", 1, "");
    Platform::Ui::queueAnswer(Platform::Ui::Answer::Ok);
    send(0, CmdWalk::Scope::All);
    EXPECT_TRUE(link.calls.isEmpty());
    ASSERT_EQ(Platform::Ui::shown().size(), 1u);
    EXPECT_EQ(Platform::Ui::shown().front().text, QStringLiteral("You need to create the Command File first."));
}

TEST_F(SendWalk, TwoClocksOnOneNumberAreDialledOnceAndHungUpOnceAfterTheLast)
{
    clock("Direct", 1, "");
    clock("B", 2, "5551234", 2, 1);
    clock("C", 2, "5551234", 3, 2);
    send(0, CmdWalk::Scope::All);
    EXPECT_EQ(link.calls, QStringList({"OpenPort 1 9600,o,7,2", "DownloadFileSerial 1 1 Direct",
                                       "OpenPort 2 9600,o,7,2", "DialModem 5551234", "DownloadFileSerial 1 2 B",
                                       "OpenPort 2 9600,o,7,2", "DownloadFileSerial 2 3 C", "HangUpModem",
                                       "ClosePort"}));
}

TEST_F(SendWalk, ASecondNumberHangsUpTheFirstCallBeforeDialling)
{
    clock("B", 2, "5551234");
    clock("C", 3, "5559999");
    send(0, CmdWalk::Scope::All);
    EXPECT_EQ(link.calls, QStringList({"OpenPort 2 9600,o,7,2", "DialModem 5551234", "DownloadFileSerial 1 1 B",
                                       "HangUpModem", "ClosePort", "OpenPort 3 9600,o,7,2", "DialModem 5559999",
                                       "DownloadFileSerial 1 1 C", "HangUpModem", "ClosePort"}));
}

TEST_F(SendWalk, DirectClocksOnlyNeverDialButACallUpBeforeIsHungUpAtTheEnd)
{
    clock("A", 1, "");
    link.modem = true;
    link.portsThatFail = {1};
    send(0, CmdWalk::Scope::All);
    EXPECT_EQ(link.calls, QStringList({"OpenPort 1 9600,o,7,2", "HangUpModem", "ClosePort"}));
    EXPECT_TRUE(Platform::Ui::shown().empty()) << "a port that will not open is passed over silently";
}

TEST_F(SendWalk, UnreadableRowShowsItsTextAndTheWalkGoesOnToTheNextClock)
{
    clock("A", 2, "5551234");
    clock("B", 3, "5559999");
    db().execute(QStringLiteral("UPDATE Clocks SET [Term Address] = NULL WHERE [Clock Identifier] = 'B'"));
    clock("Z", 4, "5559999");
    Platform::Ui::queueAnswer(Platform::Ui::Answer::Ok);
    send(0, CmdWalk::Scope::All);
    EXPECT_EQ(link.calls, QStringList({"OpenPort 2 9600,o,7,2", "DialModem 5551234", "DownloadFileSerial 1 1 A",
                                       "HangUpModem", "ClosePort", "OpenPort 4 9600,o,7,2", "DialModem 5559999",
                                       "DownloadFileSerial 1 1 Z", "HangUpModem", "ClosePort"}));
    ASSERT_EQ(errorBoxes().size(), 1);
    EXPECT_EQ(errorBoxes().front(), QStringLiteral("Clock B: its Term Address \"\" is not a number."));
}

TEST_F(SendWalk, PortThatIsNoNumberIsUnreadableToo)
{
    clock("A", 1, "");
    db().execute(QStringLiteral("UPDATE Clocks SET Port = 'COM3'"));
    Platform::Ui::queueAnswer(Platform::Ui::Answer::Ok);
    send(0, CmdWalk::Scope::All);
    EXPECT_TRUE(link.calls.isEmpty());
    EXPECT_EQ(errorBoxes(), QStringList({"Clock A: its Port \"COM3\" is not a number."}));
}

TEST_F(SendWalk, SelectedSerialClockWhosePortWillNotOpenGetsNothing)
{
    link.selected = {QStringLiteral("Front"), 5, 2, QString(), QStringLiteral("9600,o,7,2"), 1};
    link.selectedPortOpens = false;
    send(0, CmdWalk::Scope::Selected);
    EXPECT_EQ(link.calls, QStringList({"OpenSelectedClockPort"}));
    link.selectedPortOpens = true;
    link.calls.clear();
    send(0, CmdWalk::Scope::Selected);
    EXPECT_EQ(link.calls, QStringList({"OpenSelectedClockPort", "DownloadFileSerial 2 5 Front"}));
}

TEST_F(SendWalk, TcpClockNumbersGiveTerminalAndController)
{
    for (int id : {1, 32, 33, 128})
        tcp(id, id);
    send(2, CmdWalk::Scope::All);
    EXPECT_EQ(link.calls, QStringList({"DownloadFileTCPIP 1 1/1 10.0.0.1", "DownloadFileTCPIP 32 32/1 10.0.0.32",
                                       "DownloadFileTCPIP 33 1/2 10.0.0.33", "DownloadFileTCPIP 128 32/4 10.0.0.128"}));
}

TEST_F(SendWalk, TcpAllWithAnEmptyTableSendsAndShowsNothing)
{
    send(1, CmdWalk::Scope::All);
    EXPECT_TRUE(link.calls.isEmpty());
    EXPECT_TRUE(Platform::Ui::shown().empty());
}

TEST_F(SendWalk, TcpSelectedAsksWhenNoneAndStopsQuietlyWhenStillNone)
{
    send(2, CmdWalk::Scope::Selected);
    EXPECT_EQ(link.calls, QStringList({"frmSelTCPIPClk"}));
    link.calls.clear();
    link.tcpChosenInModal = 33;
    send(2, CmdWalk::Scope::Selected);
    EXPECT_EQ(link.calls, QStringList({"frmSelTCPIPClk", "DownloadFileTCPIP 33 1/2 0.0.0.0"}));
}

TEST_F(SendWalk, UnreadableTcpRowIsShownAndTheWalkGoesOn)
{
    tcp(1, 1);
    tcp(2, 2);
    db().execute(QStringLiteral("UPDATE TcpClocks SET octet3 = NULL WHERE ScreenID = 2"));
    tcp(3, 3);
    Platform::Ui::queueAnswer(Platform::Ui::Answer::Ok);
    send(2, CmdWalk::Scope::All);
    EXPECT_EQ(link.calls, QStringList({"DownloadFileTCPIP 1 1/1 10.0.0.1", "DownloadFileTCPIP 3 3/1 10.0.0.3"}));
    EXPECT_EQ(errorBoxes(), QStringList({"Clock #2: its octet3 \"\" is not a number."}));
}

TEST_F(SendWalk, AStopRequestEndsTheWalkBeforeTheNextClock)
{
    tcp(1, 1);
    tcp(2, 2);
    bool stop = false;
    link.duringDownload = [&stop] { stop = true; };
    send(2, CmdWalk::Scope::All, [&stop] { return stop; });
    EXPECT_EQ(link.calls, QStringList({"DownloadFileTCPIP 1 1/1 10.0.0.1"}));
}

} // namespace
