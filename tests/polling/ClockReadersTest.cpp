// Every reader of TcpClocks takes the same rows as clocks and refuses the
// same rows with the same box: start-up, the chooser, the hosts file, the
// builder's Send and the all-clocks poll, over one table of rows.
#include "app/AppMain.h"
#include "link/HostsFile.h"
#include "link/TCPIP.h"
#include "link/frmSelTCPIPClk.h"
#include "polling/TCPIPPoll.h"
#include "startup/Startup.h"
#include "tests/setup/FakeClockLink.h"
#include "tests/support/fixture/TevHome.h"

#include <QFile>
#include <QPushButton>
#include <QTableView>

namespace {

const struct {
    int clock;
    const char *octets;   // as stored
    const char *refusal;  // the box, or nullptr for a clock
} kRows[] = {
    {1, "127, 0, 0, 2", nullptr},
    {2, "127, 0, NULL, 3", "Clock #2: its octet3 \"\" is not a number."},
    {3, "127, 'x1', 0, 4", "Clock #3: its octet2 \"x1\" is not a number."},
    {4, "127, 0, 0, 300", "Clock #4: its octet4 \"300\" is not a number from 0 to 255."},
};

std::vector<int> polled;
bool stopPoll = false;

// Nothing waiting at any clock; the second round stops the loop.
uint32_t countPoll(intptr_t, int32_t controller, int32_t terminal, const char *, char *)
{
    polled.push_back((controller - 1) * 32 + terminal);
    stopPoll = polled.size() > 1 && polled.back() == polled.front();
    return 0;
}

struct Silent : TCPIPPoll::PollDisplay {
    void showTerminal(const QString &) override {}
    void showStatus(const QString &) override {}
    void showConnected(bool) override {}
};

// The clocks `select` makes the selected one, row by row.
std::vector<int> selectedEach(const std::function<void(int clock)> &select)
{
    std::vector<int> taken;
    for (const auto &r : kRows) {
        TCPIP::state().SelTCPIPClock.ScreenID = 0;
        select(r.clock);
        if (TCPIP::state().SelTCPIPClock.ScreenID == r.clock)
            taken.push_back(r.clock);
    }
    return taken;
}

class ClockReaders : public TevHome {
protected:
    void SetUp() override
    {
        TevHome::SetUp();
        installDefaultDatabase();
        prepareTcpLink(0);
        putSetting(QStringLiteral("Application"), QStringLiteral("Clock"), QStringLiteral("2"));
        ASSERT_EQ(AppMain::Main(), AppMain::StartResult::Running);
        for (const auto &r : kRows)
            AppMain::state().MainDb.execute(QStringLiteral("INSERT INTO TcpClocks (ScreenID, octet1, octet2, octet3, "
                                                           "octet4) VALUES (%1, %2)").arg(r.clock).arg(r.octets));
    }
};

TEST_F(ClockReaders, EveryReaderTakesTheGoodRowAndShowsEachBadRowTheSameWay)
{
    const std::pair<const char *, std::function<std::vector<int>()>> readers[] = {
        {"start-up", [] {
             return selectedEach([](int clock) {
                 TCPIP::state().TCPIPSettings.DefaultClock = QString::number(clock);
                 TCPIP::LoadDefaultTCPIPClock();
             });
         }},
        {"chooser", [] {
             return selectedEach([](int clock) {
                 frmSelTCPIPClk form;
                 form.TDBGrid1->selectRow(clock - 1);
                 form.cmdSelClk[1]->click();
             });
         }},
        {"hosts file", [] {
             TCPIP::WriteHostsFile(AppMain::state().MainDb, TCPIP::HostsPath(), QString(), {"127", "0", "0", "1"});
             QFile hosts(TCPIP::HostsPath());
             const QByteArray text = hosts.open(QIODevice::ReadOnly) ? hosts.readAll() : QByteArray();
             std::vector<int> taken;
             for (const auto &r : kRows)
                 if (text.contains(TerminalAliasPrefix + QByteArray::number(r.clock).rightJustified(3, '0')))
                     taken.push_back(r.clock);
             return taken;
         }},
        {"Send", [this] {
             FakeClockLink link;
             writeFile(QStringLiteral("Data/TEVCMD.DLD"), "O00\x1e\r\n");
             CmdWalk::Send(link, AppMain::state().MainDb, file(QStringLiteral("Data/TEVCMD.DLD")), 2,
                           CmdWalk::Scope::All);
             std::vector<int> taken;
             for (const QString &call : link.calls)
                 taken.push_back(call.section(QLatin1Char(' '), 1, 1).toInt());
             return taken;
         }},
        {"all-clocks poll", [] {
             polled.clear();
             TCPIP::Api(TCPIP::Build::Tev32).PollTimeClock = countPoll;
             Silent display;
             TCPIPPoll::RunLoop(TCPIPPoll::Shape::AllClocks, TCPIP::Build::Tev32, display, {&stopPoll});
             return polled.empty() ? polled : std::vector<int>(polled.begin(), polled.end() - 1);
         }},
    };
    QStringList refusals;
    for (const auto &r : kRows)
        if (r.refusal)
            refusals << QString::fromLatin1(r.refusal);
    for (const auto &[name, read] : readers) {
        Platform::Ui::clearShown();
        answerOk(int(refusals.size()));
        EXPECT_EQ(read(), std::vector<int>{1}) << name;
        QStringList shown;
        for (const Platform::Ui::Shown &box : boxes())
            shown << box.text;
        EXPECT_EQ(shown, refusals) << name;
    }
}

} // namespace
