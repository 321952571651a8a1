// Every reader of TcpClocks (start-up, the chooser, the hosts file, Send, the
// all-clocks poll) takes the same rows as clocks and refuses the others alike.
#include "app/AppMain.h"
#include "link/HostsFile.h"
#include "link/TCPIP.h"
#include "link/frmSelTCPIPClk.h"
#include "polling/TCPIPPoll.h"
#include "polling/frmPollTCPIP.h"
#include "startup/Startup.h"
#include "tests/setup/FakeClockLink.h"
#include "tests/support/fixture/TevHome.h"

#include <QFile>
#include <QPushButton>
#include <QTableView>

#include <algorithm>

namespace {

// Clock 1 is the one clock; clocks 2 to 4 are refused with these boxes.
const char *const kRows[] = {"1, 127, 0, 0, 2", "2, 127, 0, NULL, 3", "3, 127, 'x1', 0, 4", "4, 127, 0, 0, 300"};
const QStringList kRefusals = {QStringLiteral("Clock #2: its octet3 \"\" is not a number."),
                               QStringLiteral("Clock #3: its octet2 \"x1\" is not a number."),
                               QStringLiteral("Clock #4: its octet4 \"300\" is not a number from 0 to 255.")};

std::vector<int> polled;
bool stopPoll = false;

// Nothing waiting at any clock; the second round stops the loop.
uint32_t countPoll(intptr_t, int32_t controller, int32_t terminal, const char *, char *)
{
    polled.push_back((controller - 1) * 32 + terminal);
    stopPoll = polled.size() > 1 && polled.back() == polled.front();
    return 0;
}

using ClockReaders = TevHome;

TEST_F(ClockReaders, EveryReaderTakesTheGoodRowAndShowsEachBadRowTheSameWay)
{
    installDefaultDatabase();
    prepareTcpLink(0);
    putSetting(QStringLiteral("Application"), QStringLiteral("Clock"), QStringLiteral("2"));
    ASSERT_EQ(AppMain::Main(), AppMain::StartResult::Running);
    for (const char *row : kRows)
        AppMain::state().MainDb.execute(
            QStringLiteral("INSERT INTO TcpClocks (ScreenID, octet1, octet2, octet3, octet4) VALUES (%1)").arg(row));
    writeFile(QStringLiteral("Data/TEVCMD.DLD"), "O00\x1e\r\n");
    FakeClockLink link;
    int &selected = TCPIP::state().SelTCPIPClock.ScreenID;
    const struct {
        const char *name;
        std::function<void()> run;  // over every row; empty: clock by clock
        std::function<bool(int clock)> took;
    } readers[] = {
        {"start-up", {}, [&selected](int clock) {
             TCPIP::state().TCPIPSettings.DefaultClock = QString::number(clock);
             TCPIP::LoadDefaultTCPIPClock();
             return selected == clock;
         }},
        {"chooser", {}, [&selected](int clock) {
             frmSelTCPIPClk form;
             form.TDBGrid1->selectRow(clock - 1);
             form.cmdSelClk[1]->click();
             return selected == clock;
         }},
        {"hosts file", [] {
             TCPIP::WriteHostsFile(AppMain::state().MainDb, TCPIP::HostsPath(), QString(), {"127", "0", "0", "1"});
         }, [](int clock) {
             QFile hosts(TCPIP::HostsPath());
             return hosts.open(QIODevice::ReadOnly) && hosts.readAll().contains("tevterm00" + QByteArray::number(clock));
         }},
        {"Send", [this, &link] {
             CmdWalk::Send(link, AppMain::state().MainDb, file(QStringLiteral("Data/TEVCMD.DLD")), 2, CmdWalk::Scope::All);
         }, [&link](int clock) { return !link.calls.filter(QStringLiteral("TCPIP %1 ").arg(clock)).empty(); }},
        {"all-clocks poll", [] {
             TCPIP::Api(TCPIP::Build::Tev32).PollTimeClock = countPoll;
             frmPollTCPIP display;
             TCPIPPoll::RunLoop(TCPIPPoll::Shape::AllClocks, TCPIP::Build::Tev32, display, {&stopPoll});
         }, [](int clock) { return std::ranges::count(polled, clock) > 0; }},
    };
    for (const auto &reader : readers) {
        Platform::Ui::clearShown();
        answerOk(int(kRefusals.size()));
        if (reader.run)
            reader.run();
        std::vector<int> took;
        for (int clock = 1; clock <= 4; ++clock) {
            selected = 0;
            if (reader.took(clock))
                took.push_back(clock);
        }
        EXPECT_EQ(took, std::vector<int>{1}) << reader.name;
        QStringList shown;
        for (const Platform::Ui::Shown &box : boxes())
            shown << box.text;
        EXPECT_EQ(shown, kRefusals) << reader.name;
    }
}

} // namespace
