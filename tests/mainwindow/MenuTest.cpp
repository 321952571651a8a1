#include "MainWindowFixture.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QStackedWidget>
#include <QToolBar>

namespace {

struct MenuRow {
    const char *menu;      // top menu object name
    const char *name;      // item object name, "-" for a separator
    const char *caption;   // with its access key; for a separator nullptr
};

// Top menus in order, then every item of each in order.
const std::vector<std::pair<const char *, const char *>> kTopMenus = {
    {"mnuSetup", "&Setup"}, {"mnuComm", "&Communication"}, {"mnuCmd", "Co&mmands"},
    {"mnuData", "&Data"},   {"mnuHelp", "&Help"},
};

const std::vector<MenuRow> kMenuRows = {
    {"mnuSetup", "mnuSetupAppSettings", "&Application Settings"},
    {"mnuSetup", "-", nullptr},
    {"mnuSetup", "mnuSetupClkParm", "Clock &Parameters"},
    {"mnuSetup", "mnuSetupFuncKeys", "&Function Keys"},
    {"mnuSetup", "mnuSetupStdMsgs", "Clock &Messages"},
    {"mnuSetup", "mnuSetupPollContMsg", "Continuous Poll Messages"},
    {"mnuSetup", "-", nullptr},
    {"mnuSetup", "mnuSetupExit", "E&xit"},
    {"mnuComm", "mnuCommPollParm", "&Poll/Delay Parameters"},
    {"mnuComm", "-", nullptr},
    {"mnuComm", "mnuCommClkCommParm", "&Clock Communication Parameters"},
    {"mnuComm", "mnuCommSelectClk", "&Select Clock"},
    {"mnuComm", "-", nullptr},
    {"mnuComm", "mnuCommDialModem", "&Dial Modem"},
    {"mnuComm", "mnuCommHangUpModem", "&Hang Up Modem"},
    {"mnuCmd", "mnuCmdCreateCmdFile", "Create C&ommand File"},
    {"mnuCmd", "mnuCmdDownloadCmdFile", "Do&wnload Command File"},
    {"mnuCmd", "-", nullptr},
    {"mnuCmd", "mnuCmdGetBadgeSch", "&Get Badge/Schedule Size"},
    {"mnuCmd", "mnuCmdSetTime", "S&et Time"},
    {"mnuCmd", "mnuCmdSendCmd", "Send Comm&and"},
    {"mnuData", "mnuDataPollClock", "Po&ll Clock"},
    {"mnuData", "mnuDataImportData", "&Import Clock Data"},
    {"mnuData", "-", nullptr},
    {"mnuData", "mnuDataImportDB", "Import Database"},
    {"mnuHelp", "mnuHelpContents", "&Contents..."},
    {"mnuHelp", "mnuHelpSearch", "&Search..."},
    {"mnuHelp", "-", nullptr},
    {"mnuHelp", "mnuHelpKovraWeb", "Visit Kovra &Website"},
    {"mnuHelp", "-", nullptr},
    {"mnuHelp", "mnuHelpAbout", "&About Kovra-TEV..."},
};

struct ButtonRow {
    const char *caption;
    const char *key;
    const char *tooltip;
};

const std::vector<ButtonRow> kButtons = {
    {"Download", "Download", "Download TEV clock commands file"},
    {"Upload", "PollClk", "Poll clock"},
    {"Select", "SelectClk", "Select TEV Clock"},
    {"Import", "Import", "Import clock data file"},
    {"Exit", "Exit", "Exit Kovra-TEV"},
};

QAction *item(frmMDI *w, const char *name)
{
    return w->findChild<QAction *>(QString::fromLatin1(name));
}

TEST_F(MainWindowTest, MenusAndToolbarAreExactlyAsDesigned)
{
    frmMDI *w = load(0);
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Kovra-TEV"));

    const QList<QAction *> tops = w->menuBar()->actions();
    ASSERT_EQ(tops.size(), qsizetype(kTopMenus.size()));
    // Each built item as "menu|name|caption", to compare with the rows.
    std::vector<std::string> built;
    for (qsizetype i = 0; i < tops.size(); ++i) {
        QMenu *menu = tops[i]->menu();
        ASSERT_NE(menu, nullptr);
        EXPECT_EQ(menu->objectName().toStdString(), kTopMenus[i].first);
        EXPECT_EQ(menu->title().toStdString(), kTopMenus[i].second);
        for (QAction *a : menu->actions()) {
            const std::string name = a->isSeparator() ? "-" : a->objectName().toStdString();
            const std::string caption = a->isSeparator() ? "" : a->text().toStdString();
            built.push_back(std::string(kTopMenus[i].first) + "|" + name + "|" + caption);
        }
    }
    ASSERT_EQ(built.size(), kMenuRows.size());
    for (std::size_t i = 0; i < kMenuRows.size(); ++i) {
        const MenuRow &row = kMenuRows[i];
        EXPECT_EQ(built[i], std::string(row.menu) + "|" + row.name + "|" + (row.caption ? row.caption : ""))
            << "menu row " << i;
    }

    const QList<QAction *> buttons = w->Toolbar1->actions();
    ASSERT_EQ(buttons.size(), qsizetype(kButtons.size()));
    for (std::size_t i = 0; i < kButtons.size(); ++i) {
        SCOPED_TRACE(std::string("toolbar button ") + kButtons[i].key);
        EXPECT_EQ(buttons[i]->text().toStdString(), kButtons[i].caption);
        EXPECT_EQ(buttons[i]->data().toString().toStdString(), kButtons[i].key);
        EXPECT_EQ(buttons[i]->toolTip().toStdString(), kButtons[i].tooltip);
    }

    for (const char *picture : {"imgConnected", "imgNotConnected"})
        EXPECT_EQ(w->findChild<QWidget *>(QString::fromLatin1(picture))->toolTip(), QStringLiteral("Toggles Port"));
    ASSERT_NE(w->findChild<StatusPanels *>(QStringLiteral("sbrStatus")), nullptr);
    EXPECT_EQ(w->sbrStatus->panel(1), QStringLiteral("Status: "));
    for (int panel = 2; panel <= StatusPanels::kPanels; ++panel)
        EXPECT_EQ(w->sbrStatus->panel(panel), QString()) << panel;
    EXPECT_FALSE(w->Timer2->isActive());
    EXPECT_EQ(w->Timer2->interval(), 2000);
}

struct EnabledCase {
    quint8 clockInterface;
    const char *targetType;
    bool functionKeys;
    bool pollParameters;
};

TEST_F(MainWindowTest, LoadEnablesFunctionKeysOnlyForLaborAndPollParametersOnlyForSerial)
{
    const EnabledCase cases[] = {
        {0, "Kovra-Vesk", false, true},
        {0, "Kovra-Brix", true, true},
        {1, "Kovra-Brix", true, false},
        {1, "Text Files", false, false},
        {3, "Kovra-Vesk", false, false},
    };
    for (const EnabledCase &c : cases) {
        SCOPED_TRACE(std::to_string(c.clockInterface) + " " + c.targetType);
        frmMDI *w = load(c.clockInterface, QString::fromLatin1(c.targetType));
        EXPECT_EQ(w->mnuSetupFuncKeys->isEnabled(), c.functionKeys);
        EXPECT_EQ(w->mnuCommPollParm->isEnabled(), c.pollParameters);
        EXPECT_FALSE(w->mnuCommHangUpModem->isEnabled());
        // The load alone leaves the other serial-only items to start-up.
        EXPECT_TRUE(w->mnuCommDialModem->isEnabled());
        EXPECT_TRUE(w->mnuCmdGetBadgeSch->isEnabled());
        EXPECT_TRUE(w->Toolbar1->isEnabled());
        for (QAction *top : w->menuBar()->actions())
            EXPECT_TRUE(top->isEnabled()) << top->objectName().toStdString();
        EXPECT_EQ(w->picPort->currentWidget(), w->imgNotConnected);
        destroy(w);
    }
}

class StartUpMenusTest : public MainWindowTest {
protected:
    // A start-up from the settings stored in the database.
    void startWith(const QString &clock)
    {
        prepareTcpLink();
        AppMain::SaveRegValue(QStringLiteral("Application"), QStringLiteral("Clock"), clock);
        AppMain::state().MainDb.close();
        AppMain::resetState();
        KovraDS::resetState();
        ASSERT_EQ(AppMain::Main(), AppMain::StartResult::Running);
    }
};

TEST_F(StartUpMenusTest, TcpIpStartUpDisablesTheThreeSerialOnlyItems)
{
    for (const char *clock : {"1", "2"}) {
        SCOPED_TRACE(clock);
        startWith(QString::fromLatin1(clock));
        frmMDI *w = frmMDI::existing();
        ASSERT_NE(w, nullptr) << "start-up loads the main window to reach its menus";
        EXPECT_FALSE(w->isVisible());
        EXPECT_FALSE(w->mnuCommPollParm->isEnabled());
        EXPECT_FALSE(w->mnuCommDialModem->isEnabled());
        EXPECT_FALSE(w->mnuCmdGetBadgeSch->isEnabled());
        EXPECT_FALSE(w->mnuCommHangUpModem->isEnabled());
        for (const char *name : {"mnuCommClkCommParm", "mnuCommSelectClk", "mnuCmdSetTime", "mnuDataPollClock"})
            EXPECT_TRUE(item(w, name)->isEnabled()) << name;
        destroy(w);
        destroy(frmSplash::existing());
    }
}

TEST_F(StartUpMenusTest, UnknownClockInterfaceDisablesNothingAtStartUp)
{
    startWith(QStringLiteral("7"));
    EXPECT_EQ(frmMDI::existing(), nullptr);
    frmSplash::existing()->Timer1_Timer();
    frmMDI *w = frmMDI::existing();
    ASSERT_NE(w, nullptr);
    EXPECT_FALSE(w->mnuCommPollParm->isEnabled());   // the load's own rule
    EXPECT_TRUE(w->mnuCommDialModem->isEnabled());
    EXPECT_TRUE(w->mnuCmdGetBadgeSch->isEnabled());
}

} // namespace
