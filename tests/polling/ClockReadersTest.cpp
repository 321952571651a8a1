// Every reader of TcpClocks takes the same rows as clocks and refuses the
// same rows with the same box: start-up, the chooser, the hosts file, the
// builder's Send and the all-clocks poll, over one table of rows.
#include "app/AppMain.h"
#include "link/TCPIP.h"
#include "link/HostsFile.h"
#include "link/frmSelTCPIPClk.h"
#include "platform/ui.h"
#include "polling/TCPIPPoll.h"
#include "startup/Startup.h"
#include "tests/setup/FakeClockLink.h"
#include "tests/support/fixture/TevHome.h"

#include <QFile>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QTableView>

#include <algorithm>
#include <functional>

namespace {

struct Row {
    int clock;
    const char *octets;   // the four values as stored, NULL for none
    const char *refusal;  // the box's text; nullptr when the row is a clock
};

const Row kRows[] = {
    {1, "127, 0, 0, 2", nullptr},
    {2, "127, 0, NULL, 3", "Clock #2: its octet3 \"\" is not a number."},
    {3, "127, 'x1', 0, 4", "Clock #3: its octet2 \"x1\" is not a number."},
    {4, "127, 0, 0, 300", "Clock #4: its octet4 \"300\" is not a number from 0 to 255."},
};

std::vector<int> polled;
bool stopPoll = false;

uint32_t countPoll(intptr_t, int32_t controller, int32_t terminal, const char *, char *)
{
    const int n = (controller - 1) * 32 + terminal;
    stopPoll = !polled.empty() && n == polled.front();  // the second round
    polled.push_back(n);
    return 0;
}

struct Silent : TCPIPPoll::PollDisplay {
    void showTerminal(const QString &) override {}
    void showStatus(const QString &) override {}
    void showConnected(bool) override {}
};

class ClockReaders : public TevHome {
protected:
    void SetUp() override
    {
        TevHome::SetUp();
        installDefaultDatabase();
        prepareTcpLink(0);
        putSetting(QStringLiteral("Application"), QStringLiteral("Clock"), QStringLiteral("2"));
        ASSERT_EQ(AppMain::Main(), AppMain::StartResult::Running);
        for (const Row &r : kRows)
            AppMain::state().MainDb.execute(QStringLiteral("INSERT INTO TcpClocks (ScreenID, octet1, octet2, octet3, "
                                                           "octet4) VALUES (%1, %2)").arg(r.clock).arg(QString::fromLatin1(r.octets)));
        Platform::Ui::clearShown();
    }
};

// Each reader gives the clocks it took.
using Reader = std::function<std::vector<int>()>;

std::vector<int> selectedEachTime(const std::function<void(int clock)> &select)
{
    std::vector<int> taken;
    for (const Row &r : kRows) {
        TCPIP::state().SelTCPIPClock.ScreenID = 0;
        select(r.clock);
        if (TCPIP::state().SelTCPIPClock.ScreenID == r.clock)
            taken.push_back(r.clock);
    }
    return taken;
}

TEST_F(ClockReaders, EveryReaderTakesTheGoodRowAndShowsEachBadRowTheSameWay)
{
    const struct {
        const char *name;
        Reader read;
    } readers[] = {
        {"start-up", [] {
             return selectedEachTime([](int clock) {
                 TCPIP::state().TCPIPSettings.DefaultClock = QString::number(clock);
                 TCPIP::LoadDefaultTCPIPClock();
             });
         }},
        {"chooser", [] {
             return selectedEachTime([](int clock) {
                 auto *form = new frmSelTCPIPClk;
                 form->TDBGrid1->selectRow(clock - 1);
                 form->cmdSelClk[1]->click();
                 delete form;
             });
         }},
        {"hosts file", [this] {
             TCPIP::WriteHostsFile(AppMain::state().MainDb, TCPIP::HostsPath(), QString(), {"127", "0", "0", "1"});
             QFile hosts(TCPIP::HostsPath());
             EXPECT_TRUE(hosts.open(QIODevice::ReadOnly));
             const QByteArray text = hosts.readAll();
             std::vector<int> taken;
             for (const Row &r : kRows)
                 if (text.contains(QByteArray(TerminalAliasPrefix) + QByteArray::number(r.clock).rightJustified(3, '0')))
                     taken.push_back(r.clock);
             return taken;
         }},
        {"Send", [this] {
             FakeClockLink link;
             const QString path = file(QStringLiteral("Data/TEVCMD.DLD"));
             writeFile(QStringLiteral("Data/TEVCMD.DLD"), "O00\x1e\r\n");
             CmdWalk::Send(link, AppMain::state().MainDb, path, 2, CmdWalk::Scope::All);
             std::vector<int> taken;
             for (const QString &call : link.calls)
                 taken.push_back(call.section(QLatin1Char(' '), 1, 1).toInt());
             return taken;
         }},
        {"all-clocks poll", [] {
             polled.clear();
             stopPoll = false;
             TCPIP::Api(TCPIP::Build::Tev32).PollTimeClock = countPoll;
             Silent display;
             TCPIPPoll::RunLoop(TCPIPPoll::Shape::AllClocks, TCPIP::Build::Tev32, display,
                                TCPIPPoll::StopSignal{&stopPoll});
             if (polled.empty())
                 return std::vector<int>{};
             return std::vector<int>(polled.begin(), std::find(polled.begin() + 1, polled.end(), polled.front()));
         }},
    };
    QStringList refusals;
    for (const Row &r : kRows)
        if (r.refusal)
            refusals << QString::fromLatin1(r.refusal);
    for (const auto &reader : readers) {
        Platform::Ui::clearShown();
        answerOk(int(refusals.size()));
        EXPECT_EQ(reader.read(), std::vector<int>{1}) << reader.name;
        QStringList shown;
        for (const Platform::Ui::Shown &box : boxes())
            shown << box.text;
        EXPECT_EQ(shown, refusals) << reader.name;
    }
}

} // namespace
