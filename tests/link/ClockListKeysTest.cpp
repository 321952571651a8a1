// The clock lists and choosers by keyboard alone, in real windows offscreen.
#include "app/AppMain.h"
#include "app/Screen.h"
#include "app/frmMDI.h"
#include "link/ClockListModel.h"
#include "link/SerialClk.h"
#include "link/TCPIP.h"
#include "link/frmSelTCPIPClk.h"
#include "link/frmSerialClkCommParm.h"
#include "link/frmSerialClkSelect.h"
#include "link/frmTCPIPClkCommParm.h"
#include "tests/support/fixture/TevHome.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTableView>
#include <QTimer>

namespace {

void press(QWidget *to, int key, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    QKeyEvent down(QEvent::KeyPress, key, mods);
    QCoreApplication::sendEvent(to, &down);
}

class ClockListKeys : public TevHome {
protected:
    void SetUp() override
    {
        TevHome::SetUp();
        installDefaultDatabase();
        openMainDb();
        AppMain::state().MainDb.execute(QStringLiteral("INSERT INTO Clocks ([Clock Identifier]) VALUES ('Gate'), ('Dock')"));
        AppMain::state().MainDb.execute(QStringLiteral("INSERT INTO TcpClocks (ScreenID, octet1, octet2, octet3, octet4) "
                                                       "VALUES (5, 10, 0, 0, 5), (6, 10, 0, 0, 6)"));
        frmMDI::instance()->show();
    }
};

TEST_F(ClockListKeys, CtrlTabLeavesTheGridEscapeClosesAndEnterChooses)
{
    const struct {
        std::function<QWidget *()> open;
        const char *after, *before;     // what Ctrl+Tab and Ctrl+Shift+Tab reach
        std::function<bool()> chosen;   // Enter on the second row chose it; empty: no chooser
    } screens[] = {
        {[] { return AppMain::OneScreen<frmSerialClkCommParm>::show(); }, "cmdRefresh", "cmdClose", {}},
        {[] { return AppMain::OneScreen<frmSerialClkSelect>::show(); }, "cmdSelClk0", "cmdClose",
         [] { return SerialClk::state().SelClock.ClockId == QLatin1String("Dock"); }},
        {[] { return AppMain::OneScreen<frmTCPIPClkCommParm>::show(); }, "hostaddress0", "qt_tabwidget_tabbar", {}},
        {[] { return AppMain::OneScreen<frmSelTCPIPClk>::show(); }, "cmdSelClk0", "cmdCancel",
         [] { return TCPIP::state().SelTCPIPClock.ScreenID == 6; }},
    };
    for (const auto &s : screens) {
        QPointer<QWidget> form = s.open();
        const std::string name = form->windowTitle().toStdString();
        auto *grid = form->findChild<QTableView *>();
        grid->setFocus();
        grid->setCurrentIndex(grid->model()->index(1, 0));
        press(grid, Qt::Key_Tab, Qt::ControlModifier);
        EXPECT_EQ(form->focusWidget()->objectName(), QString::fromLatin1(s.after)) << name;
        grid->setFocus();
        press(grid, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
        EXPECT_EQ(form->focusWidget()->objectName(), QString::fromLatin1(s.before)) << name;
        if (s.chosen) {
            press(grid, Qt::Key_Return);
            EXPECT_TRUE(s.chosen()) << name;
        }
        press(grid, Qt::Key_Escape);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(form.isNull()) << name << " is still open";
    }
    EXPECT_TRUE(boxes().empty());
}

// Shown modal by an exchange that needs a clock: Enter takes the row, Escape
// goes back to the exchange.
TEST_F(ClockListKeys, ModalSelectClockChoosesByEnterAndLetsGoByEscape)
{
    QTimer::singleShot(0, [] {
        auto *grid = QApplication::activeModalWidget()->findChild<QTableView *>();
        grid->setCurrentIndex(grid->model()->index(0, 0));
        press(grid, Qt::Key_Return);
        press(grid, Qt::Key_Escape);
    });
    // A chooser the keys cannot close fails the test instead of holding it.
    QObject guard;
    QTimer::singleShot(2000, &guard, [] {
        ADD_FAILURE() << "the modal chooser stayed open";
        QApplication::activeModalWidget()->close();
    });
    frmSerialClkSelect::ShowModal();
    EXPECT_EQ(SerialClk::state().SelClock.ClockId, QStringLiteral("Gate"));
}

// Tab past the new clock's last cell wraps to the first row, the selected
// clock's: the clock is stored and no box refuses an edit the user did not begin.
TEST_F(ClockListKeys, SecondSerialClockAddedWithTabIsStoredWithoutABox)
{
    SerialClk::state().SelClock.ClockId = QStringLiteral("Gate");
    AppMain::state().MainDb.execute(QStringLiteral("DELETE FROM Clocks WHERE [Clock Identifier] = 'Dock'"));
    frmSerialClkCommParm *form = AppMain::OneScreen<frmSerialClkCommParm>::show();
    form->TDBGrid1->setCurrentIndex(form->Data1->index(1, 0));
    press(form->TDBGrid1, Qt::Key_F2);
    static_cast<QLineEdit *>(form->focusWidget())->setText(QStringLiteral("Dock"));
    for (int cell = 0; cell < form->Data1->columnCount(); ++cell) {
        ASSERT_TRUE(form->TDBGrid1->isAncestorOf(form->focusWidget())) << "no editor in cell " << cell;
        press(form->focusWidget(), Qt::Key_Tab);
        QCoreApplication::processEvents();
    }
    EXPECT_TRUE(boxes().empty());
    EXPECT_EQ(AppMain::state().MainDb.snapshot(QStringLiteral("SELECT * FROM Clocks")).size(), 2u);
    EXPECT_TRUE(form->Data1->isBlankRow(form->TDBGrid1->currentIndex().row())) << "the cursor waits for the next clock";
}

} // namespace
