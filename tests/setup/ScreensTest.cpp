#include "tests/mainwindow/MainWindowFixture.h"

#include "app/Screen.h"
#include "setup/ClkSetup.h"
#include "setup/frmContPollMsg.h"
#include "setup/frmFuncKeyStp.h"
#include "setup/frmStdClkMsg.h"
#include "setup/frmStpClkParm.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>

namespace {

class SetupMenu : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        SerialClk::InitProtocolChars();
        AppMain::LoadClockParms();
        ClkSetup::InstallHooks();
    }

    // The screens in the main window, by their form's name.
    static QStringList screens(frmMDI *w)
    {
        QStringList names;
        for (QMdiSubWindow *sub : w->mdiArea->subWindowList())
            names << sub->widget()->objectName();
        return names;
    }
};

TEST_F(SetupMenu, EachItemOpensItsScreenOnceAndItsCloseRemovesIt)
{
    frmMDI *w = load(1, QStringLiteral("Kovra-Brix"));
    const struct {
        QAction *item;
        const char *form;
        const char *caption;
    } rows[] = {
        {w->mnuSetupClkParm, "frmStpClkParm", "TEV Clock - Setup"},
        {w->mnuSetupFuncKeys, "frmFuncKeyStp", "Function Keys Setup"},
        {w->mnuSetupStdMsgs, "frmStdClkMsg", "Clock Messages Setup"},
        {w->mnuSetupPollContMsg, "frmContPollMsg", "Poll Message Setup"},
    };
    for (const auto &row : rows) {
        ASSERT_TRUE(row.item->isEnabled()) << row.form;
        row.item->trigger();
        w->mdiArea->activatePreviousSubWindow();
        row.item->trigger();
        EXPECT_EQ(screens(w).count(QString::fromLatin1(row.form)), 1) << row.form;
        QMdiSubWindow *active = w->mdiArea->activeSubWindow();
        ASSERT_NE(active, nullptr);
        EXPECT_EQ(active->widget()->objectName(), QString::fromLatin1(row.form)) << "the second choice did not activate it";
        EXPECT_EQ(active->windowTitle(), QString::fromLatin1(row.caption));
    }
    EXPECT_EQ(screens(w).size(), 4);

    AppMain::OneScreen<frmStpClkParm>::existing()->cmdClose->click();
    AppMain::OneScreen<frmFuncKeyStp>::existing()->cmdClose->click();
    AppMain::OneScreen<frmStdClkMsg>::existing()->cmdClose->click();
    AppMain::OneScreen<frmContPollMsg>::existing()->cmdClose->click();
    flushDeletes();
    EXPECT_TRUE(screens(w).isEmpty());
    EXPECT_EQ(AppMain::OneScreen<frmStpClkParm>::existing(), nullptr);
}

} // namespace
