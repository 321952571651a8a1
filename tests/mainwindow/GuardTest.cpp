#include "MainWindowFixture.h"

#include "app/Screen.h"

#include <QCloseEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QToolBar>

#include <stdexcept>

namespace {

using Platform::Ui::Answer;

// An error that reaches the event loop would end the program: each way Qt
// calls in shows it and the program goes on.
TEST_F(MainWindowTest, AnErrorOutOfAMenuCommandOrAToolbarButtonIsShownAndTheProgramGoesOn)
{
    recordHooks();
    frmMDI *w = load(0);
    w->show();
    mdiHooks().showAppSettings = [] {
        throw Platform::Error(Platform::ErrorNo::TableNotFound, QStringLiteral("no such table: Clocks"));
    };
    mdiHooks().showSelectSerialClock = [] { throw std::runtime_error("out of handles"); };
    Platform::Ui::queueAnswer(Answer::Ok);
    Platform::Ui::queueAnswer(Answer::Ok);

    w->mnuSetupAppSettings->trigger();
    QAction *select = nullptr;
    for (QAction *a : w->Toolbar1->actions()) {
        if (a->data().toString() == QLatin1String("SelectClk"))
            select = a;
    }
    ASSERT_NE(select, nullptr);
    select->trigger();
    w->mnuSetupClkParm->trigger();

    const auto shown = boxes();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].title, QStringLiteral("Kovra Error#: 3078"));
    EXPECT_EQ(shown[0].text, QStringLiteral("no such table: Clocks"));
    EXPECT_EQ(shown[1].text, QStringLiteral("out of handles"));
    EXPECT_EQ(frmMDI::existing(), w);
    EXPECT_EQ(calls, QStringList{QStringLiteral("showClockParameters")}) << "the next command still runs";
}

TEST_F(MainWindowTest, AnErrorOutOfATimerTickIsShownAndTheLoopGoesOn)
{
    frmMDI *w = load(0);
    bool later = false;
    Platform::Ui::queueAnswer(Answer::Ok);
    QTimer::singleShot(0, w, AppMain::Guarded([] {
        throw Platform::Error(Platform::ErrorNo::RecordLocked, QStringLiteral("Could not update; currently locked."));
    }));
    QTimer::singleShot(5, w, [&later] { later = true; });

    EXPECT_TRUE(spinUntil([&later] { return later; }, 2000));
    const auto shown = boxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].title, QStringLiteral("Kovra Error#: 3218"));
}

TEST_F(MainWindowTest, AnErrorWhileShuttingDownIsShownAndTheShutdownFinishes)
{
    recordHooks();
    frmMDI *w = load(2);
    w->show();
    m_comm->setPortOpen(true);
    mdiHooks().closePort = [] {
        throw Platform::Error(Platform::ErrorNo::PermissionDenied, QStringLiteral("Permission denied"));
    };
    Platform::Ui::queueAnswer(Answer::Ok);

    w->close();
    flushDeletes();

    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].title, QStringLiteral("Kovra Error#: 70"));
    EXPECT_EQ(frmMDI::existing(), nullptr);
    EXPECT_FALSE(AppMain::state().MainDb.isOpen());
    EXPECT_EQ(calls, QStringList{QStringLiteral("closeTcpIpLink")}) << "the steps after the failed one still ran";
}

// A screen that asks before it goes: its refusal keeps the whole program.
class RefusingScreen : public QWidget {
public:
    RefusingScreen() { setObjectName(QStringLiteral("frmRefusing")); }
    bool refuse = true;

protected:
    void closeEvent(QCloseEvent *event) override
    {
        if (refuse)
            event->ignore();
        else
            event->accept();
    }
};

TEST_F(MainWindowTest, AScreenThatRefusesItsCloseKeepsTheProgramRunning)
{
    recordHooks();
    frmMDI *w = load(1);
    w->show();
    RefusingScreen *screen = AppMain::OneScreen<RefusingScreen>::show();

    w->close();
    flushDeletes();
    ASSERT_EQ(frmMDI::existing(), w);
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(AppMain::state().MainDb.isOpen());
    EXPECT_TRUE(calls.isEmpty()) << "no shutdown step ran";

    screen->refuse = false;
    w->close();
    flushDeletes();
    EXPECT_EQ(frmMDI::existing(), nullptr);
    EXPECT_EQ(AppMain::OneScreen<RefusingScreen>::existing(), nullptr);
    EXPECT_EQ(calls, QStringList{QStringLiteral("closeTcpIpLink")});
}

} // namespace
