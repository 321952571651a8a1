#include "MainWindowFixture.h"
#include "app/LongOperation.h"

#include <QAction>
#include <QCloseEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QToolBar>

namespace {

using Platform::Ui::FileAnswer;

QAction *button(frmMDI *w, const char *key)
{
    for (QAction *a : w->Toolbar1->actions()) {
        if (a->data().toString() == QLatin1String(key))
            return a;
    }
    return nullptr;
}

TEST_F(MainWindowTest, SetTimeReachesOnlyTheLinkOfItsClockInterface)
{
    const std::pair<quint8, QStringList> cases[] = {
        {0, {QStringLiteral("showSetTime")}},
        {1, {QStringLiteral("setTimeTcpIpWin95")}},
        {2, {QStringLiteral("setTimeTcpIpWinNT")}},
        {3, {}},
        {255, {}},
    };
    recordHooks();
    for (const auto &[clock, expected] : cases) {
        calls.clear();
        frmMDI *w = load(clock);
        w->mnuCmdSetTime->trigger();
        EXPECT_EQ(calls, expected) << int(clock);
        destroy(w);
    }
}

TEST_F(MainWindowTest, AnyInterfaceButSerialOpensTheTcpIpScreens)
{
    recordHooks();
    const std::pair<quint8, QStringList> cases[] = {
        {0, {"showSerialClockList", "showSelectSerialClock", "showPollSerial"}},
        {1, {"showTcpIpClockList", "showSelectTcpIpClock", "showPollTcpIp"}},
        {3, {"showTcpIpClockList", "showSelectTcpIpClock", "showPollTcpIp"}},
    };
    for (const auto &[clock, expected] : cases) {
        calls.clear();
        frmMDI *w = load(clock);
        w->mnuCommClkCommParm->trigger();
        w->mnuCommSelectClk->trigger();
        w->mnuDataPollClock->trigger();
        EXPECT_EQ(calls, expected) << int(clock);
        destroy(w);
    }
}

TEST_F(MainWindowTest, EachToolbarButtonRunsTheCommandOfItsMenuItem)
{
    recordHooks();
    const std::pair<const char *, const char *> pairs[] = {
        {"Download", "mnuCmdDownloadCmdFile"},
        {"PollClk", "mnuDataPollClock"},
        {"SelectClk", "mnuCommSelectClk"},
        {"Import", "mnuDataImportData"},
    };
    for (quint8 clock : {quint8(0), quint8(1)}) {
        frmMDI *w = load(clock);
        for (const auto &[key, menuItem] : pairs) {
            SCOPED_TRACE(std::string(key) + " interface " + std::to_string(clock));
            Platform::Ui::clearShown();
            calls.clear();
            Platform::Ui::queueFile(FileAnswer{QString(), true});
            w->findChild<QAction *>(QString::fromLatin1(menuItem))->trigger();
            const QStringList fromMenu = calls;
            const auto menuShown = Platform::Ui::shown();
            calls.clear();
            Platform::Ui::clearShown();
            Platform::Ui::queueFile(FileAnswer{QString(), true});
            button(w, key)->trigger();
            EXPECT_EQ(calls, fromMenu);
            ASSERT_EQ(Platform::Ui::shown().size(), menuShown.size());
            for (std::size_t i = 0; i < menuShown.size(); ++i)
                EXPECT_EQ(Platform::Ui::shown()[i].title, menuShown[i].title);
            // Commands without a dialog leave their scripted cancel unused.
            Platform::Ui::removeScript();
            Platform::Ui::installScript();
        }
        destroy(w);
    }
    // The poll button polls.
    calls.clear();
    frmMDI *w = load(1);
    button(w, "PollClk")->trigger();
    EXPECT_EQ(calls, QStringList{QStringLiteral("showPollTcpIp")});
}

TEST_F(MainWindowTest, ExitButtonShutsDownLikeTheMenu)
{
    recordHooks();
    frmMDI *w = load(1);
    w->show();
    button(w, "Exit")->trigger();
    flushDeletes();
    EXPECT_EQ(frmMDI::existing(), nullptr);
    EXPECT_FALSE(AppMain::state().MainDb.isOpen());
    EXPECT_EQ(calls, QStringList{QStringLiteral("closeTcpIpLink")});
}

TEST_F(MainWindowTest, ShutdownClosesPortAndDatabasesAndLeavesTcpIpAloneForSerial)
{
    recordHooks();
    frmMDI *w = load(0);
    m_comm->setPortOpen(true);
    Platform::FakeCommControl *comm = m_comm;
    bool portClosedFirst = false;
    mdiHooks().closePort = [&] {
        portClosedFirst = AppMain::state().MainDb.isOpen();
        comm->setPortOpen(false);
    };
    w->close();
    flushDeletes();
    EXPECT_TRUE(portClosedFirst);
    EXPECT_FALSE(AppMain::state().MainDb.isOpen());
    EXPECT_TRUE(calls.isEmpty()) << calls.join(QLatin1Char(',')).toStdString();
}

TEST_F(MainWindowTest, DownloadAsksForACommandFileThenBranchesOnTheInterface)
{
    recordHooks();
    const QString cmdFile = touch(QStringLiteral("Data/TEVCMD.DLD"));

    // TCP/IP, no clock selected and none chosen: the command ends without a word.
    frmMDI *w = load(1);
    int selected = 0;
    mdiHooks().selectedTcpIpClock = [&] { return selected; };
    Platform::Ui::queueFile(FileAnswer{cmdFile, false});
    w->mnuCmdDownloadCmdFile->trigger();
    EXPECT_EQ(calls, QStringList{QStringLiteral("selectTcpIpClockModal")});
    ASSERT_EQ(Platform::Ui::shown().size(), 1u);
    EXPECT_EQ(Platform::Ui::shown()[0].title, QStringLiteral("TEV Clock Commands File"));
    EXPECT_EQ(Platform::Ui::shown()[0].initDir, AppMain::state().AppPath + QStringLiteral("Data/"));
    EXPECT_TRUE(Platform::Ui::shown()[0].text.startsWith(QStringLiteral("Download Files (*.dld)|*.dld")));

    // A clock chosen in the selection: the file goes to the TCP/IP download.
    calls.clear();
    mdiHooks().selectTcpIpClockModal = [&] { selected = 4; };
    Platform::Ui::queueFile(FileAnswer{cmdFile, false});
    w->mnuCmdDownloadCmdFile->trigger();
    EXPECT_EQ(calls, QStringList{QStringLiteral("downloadFileTcpIp:") + cmdFile});

    // A cancelled dialog ends the command.
    calls.clear();
    Platform::Ui::queueFile(FileAnswer{QString(), true});
    w->mnuCmdDownloadCmdFile->trigger();
    EXPECT_TRUE(calls.isEmpty());
    destroy(w);

    // Serial: the download runs only on a port that could be made ready.
    w = load(0);
    for (bool ready : {false, true}) {
        calls.clear();
        mdiHooks().openSelectedClockPort = [ready] { return ready; };
        Platform::Ui::queueFile(FileAnswer{cmdFile, false});
        w->mnuCmdDownloadCmdFile->trigger();
        EXPECT_EQ(calls, ready ? QStringList{QStringLiteral("downloadFileSerial:") + cmdFile} : QStringList{});
    }
}

TEST_F(MainWindowTest, ImportClockDataHandsTheChosenFileToPosting)
{
    recordHooks();
    const QString log = touch(QStringLiteral("Data/DATA1208.log"));
    frmMDI *w = load(0);
    Platform::Ui::queueFile(FileAnswer{log, false});
    w->mnuDataImportData->trigger();
    EXPECT_EQ(calls, QStringList{QStringLiteral("postPolledData:") + log});
    EXPECT_EQ(Platform::Ui::shown()[0].title, QStringLiteral("Clock Data File"));
    EXPECT_EQ(Platform::Ui::shown()[0].initDir, AppMain::state().AppPath);

    calls.clear();
    Platform::Ui::queueFile(FileAnswer{QString(), true});
    w->mnuDataImportData->trigger();
    EXPECT_TRUE(calls.isEmpty());

    // A running poll holds the target database: the import would close it under the poll.
    const LongOperation poll(w);
    answerOk();
    w->mnuDataImportData->trigger();
    EXPECT_TRUE(calls.isEmpty());
}

TEST_F(MainWindowTest, ImportDatabaseAsksAgainForAMissingFileAndImportsAnExistingOne)
{
    const QString source = file(QStringLiteral("Clock102.mdb"));
    ASSERT_TRUE(QFile::copy(file(QStringLiteral("Clock103.mdb")), source));
    frmMDI *w = load(0);
    Platform::Ui::queueFile(FileAnswer{file(QStringLiteral("nowhere/Clock102.mdb")), false});
    Platform::Ui::queueAnswer(Platform::Ui::Answer::Ok);
    Platform::Ui::queueFile(FileAnswer{source, false});
    Platform::Ui::queueAnswer(Platform::Ui::Answer::Ok);
    w->mnuDataImportDB->trigger();

    const auto &shown = Platform::Ui::shown();
    ASSERT_EQ(shown.size(), 4u);
    EXPECT_EQ(shown[0].kind, QStringLiteral("open"));
    EXPECT_EQ(shown[0].title, QStringLiteral("Find Kovra-TEV Database"));
    EXPECT_EQ(shown[0].text, QStringLiteral("Data Files (Clock102.mdb)|Clock102.mdb"));
    EXPECT_EQ(shown[1].text, QStringLiteral("File not found!"));
    EXPECT_EQ(shown[1].style, Platform::Ui::Style::Information);
    EXPECT_EQ(shown[2].kind, QStringLiteral("open"));
    EXPECT_EQ(shown[3].text, QStringLiteral("Database was imported successfully."));

    // A cancel ends the command without a message.
    Platform::Ui::clearShown();
    Platform::Ui::queueFile(FileAnswer{QString(), true});
    w->mnuDataImportDB->trigger();
    EXPECT_EQ(Platform::Ui::shown().size(), 1u);
}

TEST_F(MainWindowTest, HelpOpensThePresentHelpFileAndTheMakersPage)
{
    frmMDI *w = load(0);
    answerOk(2);
    w->mnuHelpContents->trigger();
    w->mnuHelpSearch->trigger();
    EXPECT_TRUE(Platform::Help::opened().isEmpty()) << "a missing help file opens nothing";
    const QString missing = QStringLiteral("Could not open ") + QDir::toNativeSeparators(AppMain::state().HelpFile);
    ASSERT_EQ(boxes().size(), 2u) << "and says so";
    EXPECT_EQ(boxes()[0].text, missing);
    EXPECT_EQ(boxes()[1].text, missing);

    touch(QStringLiteral("Kovra TEV.html"));
    const QString cache = touch(QStringLiteral("Kovra TEV.gid"));
    QFile::setPermissions(cache, QFile::ReadOwner);
    w->mnuHelpContents->trigger();
    EXPECT_FALSE(QFile::exists(cache)) << "the stale index cache goes first";
    w->mnuHelpSearch->trigger();
    w->mnuHelpKovraWeb->trigger();
    const QString helpUrl = QUrl::fromLocalFile(AppMain::state().HelpFile).toString();
    EXPECT_EQ(Platform::Help::opened(),
              (QStringList{helpUrl, helpUrl, QStringLiteral("http://www.example.com/kovra/")}));
}

TEST_F(MainWindowTest, HangUpHangsUpThenClosesThePort)
{
    recordHooks();
    frmMDI *w = load(0);
    m_comm->setPortOpen(true);
    mdiHooks().hangUpModem = [this] { calls << (m_comm->PortOpen() ? "hangUp:open" : "hangUp:closed"); };
    w->mnuCommHangUpModem->setEnabled(true);
    w->mnuCommHangUpModem->trigger();
    EXPECT_EQ(calls, QStringList{QStringLiteral("hangUp:open")});
    EXPECT_FALSE(m_comm->PortOpen());
}

} // namespace

namespace {

// A screen that records its own close, as a poll form closing its files would.
class ClosingScreen : public QWidget {
public:
    explicit ClosingScreen(QStringList &log) : m_log(log) {}

protected:
    void closeEvent(QCloseEvent *event) override
    {
        m_log << QStringLiteral("child closed, database %1").arg(AppMain::state().MainDb.isOpen() ? "open" : "closed");
        event->accept();
    }

private:
    QStringList &m_log;
};

TEST_F(MainWindowTest, ShutdownClosesTheScreensOpenInTheMainWindow)
{
    recordHooks();
    frmMDI *w = load(0);
    w->show();
    w->mdiArea->addSubWindow(new ClosingScreen(calls))->show();
    w->close();
    flushDeletes();
    EXPECT_EQ(frmMDI::existing(), nullptr);
    EXPECT_EQ(calls, QStringList{QStringLiteral("child closed, database open")})
        << "a screen's own unload still needs the clock database";
}

} // namespace
