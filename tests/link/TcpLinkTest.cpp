// The TCP/IP link layer end to end: the built libraries loaded from the
// application folder, emulated clocks on loopback addresses.
#include "app/AppMain.h"
#include "app/frmMDI.h"
#include "link/SerialClk.h"
#include "link/TCPIP.h"
#include "link/frmCancelSend.h"
#include "platform/clock.h"
#include "startup/Startup.h"
#include "tests/support/fixture/TevHome.h"

#include "LinkHome.h"
#include "TcpClock.h"

#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QRegularExpression>

#include <chrono>
#include <thread>

namespace {

using TCPIP::Build;
using tevtest::TcpClock;

class TcpLink : public TevHome {
protected:
    void SetUp() override
    {
        TevHome::SetUp();
        installDefaultDatabase();
    }
    void TearDown() override
    {
        delete static_cast<QObject *>(frmCancelSend::existing());
        resetMdiHooks();
        TevHome::TearDown();
    }

    void start(const char *clock)
    {
        putSetting(QStringLiteral("Application"), QStringLiteral("Clock"), QString::fromLatin1(clock));
        ASSERT_EQ(AppMain::Main(), AppMain::StartResult::Running);
    }
    void addClock(int n)
    {
        Platform::Database db = Platform::Database::open(file(QStringLiteral("Clock103.mdb")));
        db.execute(QStringLiteral("INSERT INTO TcpClocks (ScreenID, octet1, octet2, octet3, octet4) "
                                  "VALUES (?, 127, 0, 0, ?)"),
                   {n, n + 1});
    }

    uint32_t poll(Build build, int n)
    {
        std::vector<char> buffer(TCPIP::kRxBufSize + 1, ' ');
        return TCPIP::Api(build).PollTimeClock(1, (n + 31) / 32, (n - 1) % 32 + 1, nullptr, buffer.data());
    }
    // The first poll listens; then the clock connects and is polled until taken.
    uint32_t accept(Build build, TcpClock &clock, int n)
    {
        poll(build, n);
        if (!clock.connect())
            return 99;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        uint32_t status = poll(build, n);
        while (status == 2 && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            status = poll(build, n);
        }
        return status;
    }

    static QStringList boxes()
    {
        QStringList texts;
        for (const auto &s : Platform::Ui::shown()) {
            if (s.kind == QLatin1String("msgbox"))
                texts << s.title + QLatin1Char('|') + s.text;
        }
        return texts;
    }
    static QString panel5() { return frmMDI::instance()->sbrStatus->panel(5); }
};

const QString kAppTitle = QStringLiteral("Kovra-TEV|");

TEST_F(TcpLink, StartUpWithClockTwoStartsTheLinkAndAClockIsTaken)
{
    const quint16 port = prepareTcpLink();
    start("2");
    EXPECT_TRUE(TCPIP::IsLoaded(Build::Tev32));
    EXPECT_FALSE(TCPIP::IsLoaded(Build::Tev95));
    TcpClock clock(tevtest::clockAddress(3), port);
    EXPECT_EQ(accept(Build::Tev32, clock, 3), 0u);
    EXPECT_EQ(boxes(), QStringList());
    EXPECT_EQ(panel5(), QStringLiteral("TCP/IP Clock: NONE"));
    EXPECT_EQ(QFileInfo(file(QStringLiteral("buffer.log"))).size(), 128 * 256);
}

TEST_F(TcpLink, SetTimeSendsTheTimeOrSaysTheClockIsNotResponding)
{
    const quint16 port = prepareTcpLink();
    addClock(5);
    putSetting(QStringLiteral("TCPIP"), QStringLiteral("DefaultClock"), QStringLiteral("5"));
    start("2");
    ASSERT_EQ(panel5(), QStringLiteral("TCP/IP Clock: 5"));
    TcpClock clock(tevtest::clockAddress(5), port);
    ASSERT_EQ(accept(Build::Tev32, clock, 5), 0u);

    answerOk(2);
    mdiHooks().setTimeTcpIpWinNT();
    ASSERT_TRUE(clock.waitForMessages(1));
    ASSERT_EQ(clock.messages().size(), 1u);
    EXPECT_TRUE(clock.messages()[0].framed);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^T00\\d{12}$"))
                    .match(QString::fromStdString(clock.messages()[0].text))
                    .hasMatch())
        << clock.messages()[0].text;

    TCPIP::state().SelTCPIPClock = {6, QStringLiteral("6"), QStringLiteral("1")};
    mdiHooks().setTimeTcpIpWinNT();
    EXPECT_EQ(boxes(), QStringList({kAppTitle + QStringLiteral("Time is set!"),
                                    kAppTitle + QStringLiteral("Terminal is not responding.")}));
}

TEST_F(TcpLink, SetTimeWithoutAClockAsksOnceAndStopsQuietly)
{
    prepareTcpLink();
    start("2");
    int asked = 0;
    mdiHooks().selectTcpIpClockModal = [&asked] { ++asked; };
    mdiHooks().setTimeTcpIpWinNT();
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(boxes(), QStringList());
}

TEST_F(TcpLink, DownloadToADisconnectedClockKeepsTheFileAsItsCopyAndTheCopyItself)
{
    prepareTcpLink();
    start("2");
    const QByteArray commands("O00\x1e\r\nD00 Hello\x1e\r\nO10\x1e\r\n");
    // A file name is passed in the file system's encoding, not as Windows-1252 text.
    const QString path = file(QStringLiteral("Data/caf\u00e9.dld"));
    writeFile(QStringLiteral("Data/caf\u00e9.dld"), commands);
    static std::string passedName;
    static decltype(&::DownloadTimeClock) real;
    real = TCPIP::Api(Build::Tev32).DownloadTimeClock;
    TCPIP::Api(Build::Tev32).DownloadTimeClock = [](intptr_t h, int32_t c, int32_t t, const char *f) {
        passedName = f;
        return real(h, c, t, f);
    };
    TCPIP::state().CurTCPIPClock = {7, QStringLiteral("7"), QStringLiteral("1")};
    const QStringList before = QDir(home()).entryList(QDir::Files);

    answerOk(2);
    TCPIP::DownloadFileTCPIP(path);
    EXPECT_EQ(passedName, QFile::encodeName(path).toStdString());
    const QString failed = kAppTitle + QStringLiteral("Transmission Error!\r\n Clock # 7");
    EXPECT_EQ(boxes(), QStringList({failed}));
    QFile copy(file(QStringLiteral("7.dld")));
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.readAll(), commands);
    copy.close();
    EXPECT_TRUE(SerialClk::state().CancelSend);
    EXPECT_FALSE(frmCancelSend::existing()->isVisible());
    EXPECT_EQ(frmCancelSend::existing()->windowTitle(), QStringLiteral("Command File Download"));

    Platform::Ui::clearShown();
    TCPIP::DownloadFileTCPIP(file(QStringLiteral("7.dld")));
    EXPECT_EQ(boxes(), QStringList({failed}));
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.readAll(), commands);
    QStringList after = QDir(home()).entryList(QDir::Files);
    QStringList expected = before + QStringList{QStringLiteral("7.dld")};
    after.sort();
    expected.sort();
    EXPECT_EQ(after, expected) << "no file left beside";
}

TEST_F(TcpLink, LibraryErrorInADownloadIsShownInTheWindowAndHandledAsNotSent)
{
    openMainDb();
    AppMain::settings().ClockInterface = 2;
    writeFile(QStringLiteral("Data/a.dld"), "O00\r\n");
    TCPIP::state().CurTCPIPClock = {7, QStringLiteral("7"), QStringLiteral("1")};

    answerOk();
    TCPIP::DownloadFileTCPIP(file(QStringLiteral("Data/a.dld")));
    const QString text = frmCancelSend::existing()->bufferin->toPlainText();
    EXPECT_TRUE(text.startsWith(QStringLiteral("File not found: libtevtcp32.so "))) << text.toStdString();
    EXPECT_TRUE(text.endsWith(QStringLiteral("\nDownloading to Clock # 7..."))) << text.toStdString();
    EXPECT_EQ(boxes(), QStringList({kAppTitle + QStringLiteral("Transmission Error!\r\n Clock # 7")}));
    EXPECT_TRUE(QFile::exists(file(QStringLiteral("7.dld"))));
    EXPECT_TRUE(SerialClk::state().CancelSend) << "the window would keep coming back";
    EXPECT_FALSE(frmCancelSend::existing()->isVisible());
}

TEST_F(TcpLink, SwitchingBuildsHandsThePortToTheNewBuild)
{
    const quint16 port = prepareTcpLink();
    start("2");
    TcpClock first(tevtest::clockAddress(1), port);
    ASSERT_EQ(accept(Build::Tev32, first, 1), 0u);

    AppMain::settings().ClockInterface = 1;
    TCPIP::InitTCPIPLink();
    EXPECT_FALSE(TCPIP::IsLoaded(Build::Tev32)) << "both builds would hold the port";
    EXPECT_FALSE(first.pump(std::chrono::milliseconds(500))) << "the old build's connection stays open";
    TcpClock second(tevtest::clockAddress(2), port);
    EXPECT_EQ(accept(Build::Tev95, second, 2), 0u);

    AppMain::settings().ClockInterface = 2;
    TCPIP::InitTCPIPLink();
    EXPECT_FALSE(TCPIP::IsLoaded(Build::Tev95));
    TcpClock third(tevtest::clockAddress(3), port);
    EXPECT_EQ(accept(Build::Tev32, third, 3), 0u);

    TCPIP::ReleaseLinks();
    EXPECT_FALSE(TCPIP::IsLoaded(Build::Tev32));
    EXPECT_FALSE(third.pump(std::chrono::milliseconds(500)));
}

TEST_F(TcpLink, MissingLibraryIsShownAndStartUpGoesOn)
{
    writeFile(QStringLiteral("hosts.template"), "127.0.0.1 localhost\r\n");
    qputenv("TEV_HOSTS", file(QStringLiteral("hosts")).toLocal8Bit());
    answerOk();
    start("2");
    EXPECT_EQ(boxes(), QStringList({QStringLiteral("Kovra Error#: 53|File not found: libtevtcp32.so")}));
    EXPECT_EQ(panel5(), QStringLiteral("TCP/IP Clock: NONE")) << "the step after the failed one ran";
    QFile hosts(file(QStringLiteral("hosts")));
    ASSERT_TRUE(hosts.open(QIODevice::ReadOnly));
    EXPECT_EQ(hosts.readAll(), QByteArray("127.0.0.1 localhost\r\n"));
}

TEST_F(TcpLink, BrokenLibrariesGiveTheirOwnErrors)
{
    struct Case {
        const char *what;
        int number;
        QString text;
    };
    const Case cases[] = {
        {"missing", 53, QStringLiteral("File not found: libtevtcp32.so")},
        {"garbage", 48, QString()},
        {"serial", 453, QStringLiteral("Can't find DLL entry point AckRequired in libtevtcp32.so")},
    };
    AppMain::settings().ClockInterface = 2;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const QString lib = file(QStringLiteral("libtevtcp32.so"));
        QFile::remove(lib);
        if (QByteArray(c.what) == "garbage")
            writeFile(QStringLiteral("libtevtcp32.so"), "not a library");
        if (QByteArray(c.what) == "serial")
            QFile::link(QStringLiteral(TEV_APP_DIR_DEFAULT "/libtevpol32.so"), lib);
        try {
            TCPIP::OpenTCPIPLink();
            ADD_FAILURE() << "no error";
        } catch (const Platform::Error &e) {
            EXPECT_EQ(e.number(), c.number);
            if (!c.text.isEmpty())
                EXPECT_EQ(e.description(), c.text);
            else
                EXPECT_FALSE(e.description().isEmpty());
        }
        EXPECT_FALSE(TCPIP::IsLoaded(Build::Tev32));
    }
}

TEST_F(TcpLink, ClockZeroAndThreeLoadNoLibrary)
{
    prepareTcpLink();
    for (const char *clock : {"0", "3"}) {
        SCOPED_TRACE(clock);
        Platform::Database::open(file(QStringLiteral("Clock103.mdb")))
            .execute(QStringLiteral("DELETE FROM Registry WHERE RegKey = 'Application'"));
        start(clock);
        TCPIP::OpenTCPIPLink();
        TCPIP::CloseTCPIPLink();
        TCPIP::SetTimeTCPIPWinNT();
        EXPECT_FALSE(TCPIP::IsLoaded(Build::Tev32));
        EXPECT_FALSE(TCPIP::IsLoaded(Build::Tev95));
    }
    EXPECT_EQ(boxes(), QStringList());
}

TEST_F(TcpLink, CloseEndsTheClocksStreamAndWaitsTwoFastSeconds)
{
    const quint16 port = prepareTcpLink();
    start("2");
    TcpClock clock(tevtest::clockAddress(1), port);
    ASSERT_EQ(accept(Build::Tev32, clock, 1), 0u);
    const double began = Platform::Clock::seconds();
    mdiHooks().closeTcpIpLink();
    const double took = Platform::Clock::seconds() - began;
    EXPECT_GE(took, 2.0 / Platform::Clock::fastClockDivisor());
    EXPECT_LT(took, 1.0);
    EXPECT_FALSE(clock.pump(std::chrono::milliseconds(500)));
    EXPECT_TRUE(clock.peerClosed());
}

// Start-up's reading of the 'TCPIP' settings and the default clock.
TEST_F(TcpLink, SettingsAndDefaultClockAreReadAsStored)
{
    struct Case {
        const char *defaultClock;
        qint32 screenId;
        const char *terminal, *controller, *panel, *stored;
    };
    const Case cases[] = {
        {"", 0, "", "", "NONE", nullptr},
        {"12", 12, "12", "1", "12", "12"},
        {"33", 33, "1", "2", "33", "33"},
        {"40", -1, "", "", "NONE", "-1"},
    };
    addClock(12);
    addClock(33);
    openMainDb();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.defaultClock);
        TCPIP::resetState();
        AppMain::state().MainDb.execute(QStringLiteral("DELETE FROM Registry WHERE RegKey = 'TCPIP'"));
        if (*c.defaultClock)
            AppMain::SaveRegValue(QStringLiteral("TCPIP"), QStringLiteral("DefaultClock"),
                                  QString::fromLatin1(c.defaultClock));
        TCPIP::LoadTCPIPSettings();
        TCPIP::LoadDefaultTCPIPClock();
        const TCPIP::TCPIPClockRec &sel = TCPIP::state().SelTCPIPClock;
        EXPECT_EQ(sel.ScreenID, c.screenId);
        EXPECT_EQ(sel.Clock, QString::fromLatin1(c.terminal));
        EXPECT_EQ(sel.Controller, QString::fromLatin1(c.controller));
        if (c.screenId > 0) {
            EXPECT_EQ(sel.octet4, c.screenId + 1);
        }
        EXPECT_EQ(panel5(), QStringLiteral("TCP/IP Clock: ") + QString::fromLatin1(c.panel));
        const auto rows = AppMain::state().MainDb.snapshot(
            QStringLiteral("SELECT RegValue FROM Registry WHERE RegKey = 'TCPIP' AND RegField = 'DefaultClock'"));
        EXPECT_EQ(rows.empty() ? QString() : rows.rows().front().value(0).toString(),
                  c.stored ? QString::fromLatin1(c.stored) : QString());
    }

    const std::pair<const char *, bool> flags[] = {{"True", true}, {"false", false}, {"1", true}, {"0", false}};
    for (const auto &[text, value] : flags) {
        SCOPED_TRACE(text);
        AppMain::state().MainDb.execute(QStringLiteral("DELETE FROM Registry WHERE RegKey = 'TCPIP'"));
        for (const char *name : {"TCPIPAddress", "TerminalID", "TCPIPACK"})
            AppMain::SaveRegValue(QStringLiteral("TCPIP"), QString::fromLatin1(name), QString::fromLatin1(text));
        AppMain::SaveRegValue(QStringLiteral("TCPIP"), QStringLiteral("HostAddr1"), QStringLiteral("192"));
        TCPIP::LoadTCPIPSettings();
        const TCPIP::TCPIPSettingsRec &t = TCPIP::state().TCPIPSettings;
        EXPECT_EQ(t.TCPIPAddress, value);
        EXPECT_EQ(t.TerminalID, value);
        EXPECT_EQ(t.TCPIPACK, value);
        EXPECT_EQ(t.HostAddr, (std::array<QString, 4>{"192", "0", "0", "0"}));
    }
}

TEST_F(TcpLink, UnreadableFlagIsShownAndStartUpGoesOn)
{
    prepareTcpLink();
    putSetting(QStringLiteral("TCPIP"), QStringLiteral("TCPIPACK"), QStringLiteral("x"));
    answerOk();
    start("2");
    EXPECT_EQ(boxes(), QStringList({QStringLiteral("Kovra Error#: 13|Type mismatch")}));
    EXPECT_TRUE(TCPIP::IsLoaded(Build::Tev32)) << "the link starts after the failed step";
    EXPECT_EQ(panel5(), QStringLiteral("TCP/IP Clock: NONE"));
}

} // namespace
