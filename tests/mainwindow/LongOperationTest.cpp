#include "MainWindowFixture.h"

#include "app/LongOperation.h"

#include <QCloseEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QTimer>

namespace {

// A form that defers its close while its loop runs, as the poll forms do.
class LoopForm : public QWidget {
protected:
    void closeEvent(QCloseEvent *event) override
    {
        if (LongOperation::deferClose(this, event))
            return;
        event->accept();
    }
};

struct LoopEnd {
    bool ended = false;
    bool stoppedByFlag = false;
    bool formAliveAtEnd = false;
    bool dbOpenAtEnd = false;
};

// A stand-in for a poll loop: yields, closes its window mid-way, stops on the flag.
void runLoop(QWidget *form, QWidget *toClose, LoopEnd &end)
{
    QPointer<QWidget> guard(form);
    LongOperation op(form);
    for (int step = 0; step < 500 && !op.stopRequested(); ++step) {
        if (step == 3)
            toClose->close();
        QCoreApplication::processEvents();
    }
    end.ended = true;
    end.stoppedByFlag = op.stopRequested();
    end.formAliveAtEnd = guard && guard->isVisible();
    end.dbOpenAtEnd = AppMain::state().MainDb.isOpen();
}

TEST_F(MainWindowTest, ClosingAFormMidLoopStopsTheLoopAndClosesAfterItUnwinds)
{
    auto *form = new LoopForm;
    form->setAttribute(Qt::WA_DeleteOnClose);
    QPointer<QWidget> guard(form);
    form->show();
    LoopEnd end;
    QTimer::singleShot(0, form, [&] { runLoop(form, form, end); });
    EXPECT_TRUE(spinUntil([&] { return end.ended && !guard; }, 5000));
    EXPECT_TRUE(end.stoppedByFlag);
    EXPECT_TRUE(end.formAliveAtEnd) << "the form outlives its loop";
    EXPECT_TRUE(LongOperation::running().empty());
}

TEST_F(MainWindowTest, ClosingTheMainWindowMidLoopUnloadsOnlyAfterTheLoopUnwinds)
{
    recordHooks();
    frmMDI *w = load(2);
    w->show();
    auto *child = new QWidget;
    w->mdiArea->addSubWindow(child)->show();
    LoopEnd end;
    QTimer::singleShot(0, child, [&] { runLoop(child, w, end); });
    EXPECT_TRUE(spinUntil([&] { return end.ended && frmMDI::existing() == nullptr; }, 5000));
    EXPECT_TRUE(end.stoppedByFlag);
    EXPECT_TRUE(end.formAliveAtEnd);
    EXPECT_TRUE(end.dbOpenAtEnd) << "the database stays open for the loop";
    EXPECT_FALSE(AppMain::state().MainDb.isOpen());
    EXPECT_EQ(calls, QStringList{QStringLiteral("closeTcpIpLink")}) << "the shutdown runs once";
}

TEST_F(MainWindowTest, ClosingAnotherFormLeavesAForeignLoopRunning)
{
    LoopForm busy;
    LoopForm idle;
    busy.show();
    idle.show();
    LongOperation op(&busy);
    idle.close();
    EXPECT_FALSE(idle.isVisible());
    EXPECT_FALSE(op.stopRequested());
}

} // namespace
