// Every screen as a payroll office first meets it in the main window: whole,
// nothing cut off, the keys reaching it.
#include "MainWindowFixture.h"

#include "app/Screen.h"
#include "link/TCPIP.h"
#include "link/frmSelTCPIPClk.h"

#include <QAbstractButton>
#include <QLabel>
#include <QAction>
#include <QHeaderView>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScreen>
#include <QTabWidget>
#include <QTableView>

#include <memory>

namespace {

struct ScreenRow {
    quint8 clockInterface;
    const char *menuItem;
    const char *form;
};

const ScreenRow kScreens[] = {
    {0, "mnuSetupAppSettings", "frmAppSettings"},   {0, "mnuSetupClkParm", "frmStpClkParm"},
    {0, "mnuSetupFuncKeys", "frmFuncKeyStp"},       {0, "mnuSetupStdMsgs", "frmStdClkMsg"},
    {0, "mnuSetupPollContMsg", "frmContPollMsg"},   {0, "mnuCommPollParm", "frmClockPollProp"},
    {0, "mnuCommClkCommParm", "frmSerialClkCommParm"}, {0, "mnuCommSelectClk", "frmSerialClkSelect"},
    {0, "mnuCommDialModem", "frmModemDial"},        {0, "mnuCmdCreateCmdFile", "frmDldFile"},
    {0, "mnuCmdSetTime", "frmSetTime"},             {0, "mnuCmdSendCmd", "frmSendCmd"},
    {0, "mnuDataPollClock", "frmPollSerial"},       {2, "mnuCommClkCommParm", "frmTCPIPClkCommParm"},
    {2, "mnuCommSelectClk", "frmSelTCPIPClk"},      {2, "mnuDataPollClock", "frmPollTCPIP"},
};

// The part of `w` the user sees, in the work area's coordinates.
QRect seen(const QWidget *w, const QWidget *area)
{
    return QRect(w->mapTo(area, QPoint(0, 0)), w->size());
}

// What of the screen lies outside the work area or is cut by its grid, one line each.
QStringList cutOff(QWidget *form, const QWidget *area)
{
    QStringList cut;
    const QRect room = area->rect();
    for (const QAbstractButton *b : form->findChildren<QAbstractButton *>()) {
        if (b->isVisible() && !room.contains(seen(b, area)))
            cut << QStringLiteral("button ") + (b->text().isEmpty() ? b->objectName() : b->text());
    }
    for (const QTableView *grid : form->findChildren<QTableView *>()) {
        if (!grid->isVisible())
            continue;
        const QHeaderView *columns = grid->horizontalHeader();
        for (int c = 0; c < columns->count(); ++c) {
            if (columns->isSectionHidden(c))
                continue;
            const QRect cell(columns->sectionViewportPosition(c), 0, columns->sectionSize(c), columns->height());
            const QRect shown(columns->viewport()->mapTo(area, cell.topLeft()), cell.size());
            if (!room.contains(shown) || !columns->viewport()->rect().contains(cell))
                cut << QStringLiteral("%1 column %2").arg(grid->objectName()).arg(c);
        }
    }
    return cut;
}

TEST_F(MainWindowTest, EveryScreenOpensWholeInsideTheWorkAreaWithTheFocusOnAControl)
{
    AppMain::InstallHooks();
    frmMDI *w = load(0);
    w->PlaceOnDesktop(QRect(0, 0, 1280, 1024));
    w->show();
    ASSERT_EQ(w->size(), frmMDI::kOpeningSize);
    QWidget *area = w->mdiArea->viewport();
    for (const ScreenRow &row : kScreens) {
        SCOPED_TRACE(row.form);
        AppMain::settings().ClockInterface = row.clockInterface;
        QAction *item = w->findChild<QAction *>(QString::fromLatin1(row.menuItem));
        item->setEnabled(true);
        item->trigger();
        QMdiSubWindow *sub = w->mdiArea->activeSubWindow();
        ASSERT_NE(sub, nullptr);
        QWidget *form = sub->widget();
        ASSERT_EQ(form->objectName(), QString::fromLatin1(row.form));
        EXPECT_TRUE(area->rect().contains(sub->geometry())) << "the screen is larger than the work area";
        QStringList cut;
        const auto tabs = form->findChildren<QTabWidget *>();
        for (int page = 0; page < (tabs.isEmpty() ? 1 : tabs.front()->count()); ++page) {
            if (!tabs.isEmpty())
                tabs.front()->setCurrentIndex(page);
            cut << cutOff(form, area);
        }
        EXPECT_TRUE(cut.isEmpty()) << cut.join(QStringLiteral(", ")).toStdString();
        ASSERT_NE(form->focusWidget(), nullptr) << "no control has the focus";
        EXPECT_TRUE(form->isAncestorOf(form->focusWidget()));
        sub->close();
        flushDeletes();
    }
}

TEST_F(MainWindowTest, TheModalClockSelectionOpensAsFromTheMenuCentredAcross)
{
    AppMain::InstallHooks();
    frmMDI *w = load(2);
    w->show();
    w->mnuCommSelectClk->trigger();
    const std::unique_ptr<frmSelTCPIPClk> modal(new frmSelTCPIPClk);
    AppMain::PlaceOnScreen(modal.get(), AppMain::TopEdge(TCPIP::kFormTopTwips));
    EXPECT_EQ(modal->size(), w->mdiArea->activeSubWindow()->widget()->size());
    EXPECT_NEAR(modal->geometry().center().x(), modal->screen()->geometry().center().x(), 1);
}

TEST_F(MainWindowTest, StatusPanelsShowTheLinkTextsWholeOnASmallDesktop)
{
    frmMDI *w = load(0);
    w->PlaceOnDesktop(QRect(0, 0, 800, 600));
    w->show();
    w->sbrStatus->setPanel(2, QStringLiteral("Settings: COM16,19200,o,8,2"));
    w->sbrStatus->setPanel(3, QStringLiteral("Clock: Front Door Addr: 32"));
    w->sbrStatus->setPanel(5, QStringLiteral("TCP/IP Clock: 128"));
    QCoreApplication::processEvents();
    for (int panel : {2, 3, 5}) {
        const auto *label = w->sbrStatus->findChild<QLabel *>(QStringLiteral("sbrStatusPanel%1").arg(panel));
        EXPECT_GE(label->contentsRect().width(), label->fontMetrics().horizontalAdvance(label->text())) << panel;
    }
}

} // namespace
