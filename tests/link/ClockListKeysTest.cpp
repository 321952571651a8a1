// The clock lists and choosers by keyboard alone, in real windows offscreen:
// Ctrl+Tab leaves a grid, Escape closes, Enter chooses, and Tab along a new
// clock stays out of the selected clock's row.
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

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTableView>
#include <QTimer>

#include <functional>

namespace {

void press(QWidget *to, int key, Qt::KeyboardModifiers mods = Qt::NoModifier, const QString &text = QString())
{
    QKeyEvent down(QEvent::KeyPress, key, mods, text);
    QCoreApplication::sendEvent(to, &down);
    QKeyEvent up(QEvent::KeyRelease, key, mods, text);
    QCoreApplication::sendEvent(to, &up);
}

class ClockListKeys : public TevHome {
protected:
    void SetUp() override
    {
        TevHome::SetUp();
        installDefaultDatabase();
        openMainDb();
        SerialClk::InitProtocolChars();
        const Platform::Database &db = AppMain::state().MainDb;
        db.execute(QStringLiteral("INSERT INTO Clocks ([Clock Identifier]) VALUES ('Gate'), ('Dock')"));
        db.execute(QStringLiteral("INSERT INTO TcpClocks (ScreenID, octet1, octet2, octet3, octet4) VALUES "
                                  "(5, 10, 0, 0, 5), (6, 10, 0, 0, 6)"));
        SerialClk::InstallHooks();
        TCPIP::InstallHooks();
        frmMDI::instance()->show();
    }
    void TearDown() override
    {
        resetMdiHooks();
        TevHome::TearDown();
    }
    static QString focusName(QWidget *form)
    {
        QWidget *w = form->focusWidget();
        return w ? w->objectName() : QString();
    }
    static void settle() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
};

struct Screen {
    const char *name;
    std::function<QWidget *()> open;
    const char *after, *before;   // the controls Ctrl+Tab and Ctrl+Shift+Tab reach
    std::function<bool()> chosen;   // Enter on the second row chose it; empty: no chooser
};

const std::vector<Screen> &screens()
{
    static const std::vector<Screen> list = {
        {"Communication Parameters",
         [] { return AppMain::OneScreen<frmSerialClkCommParm>::show(); }, "cmdRefresh", "cmdClose", {}},
        {"Select Clock", [] { return AppMain::OneScreen<frmSerialClkSelect>::show(); }, "cmdSelClk0", "cmdClose",
         [] { return SerialClk::state().SelClock.ClockId == QLatin1String("Dock"); }},
        {"TCP/IP Clocks", [] { return AppMain::OneScreen<frmTCPIPClkCommParm>::show(); }, "hostaddress0",
         "qt_tabwidget_tabbar", {}},
        {"Select TCP/IP Clock", [] { return AppMain::OneScreen<frmSelTCPIPClk>::show(); }, "cmdSelClk0", "cmdCancel",
         [] { return TCPIP::state().SelTCPIPClock.ScreenID == 6; }},
    };
    return list;
}

TEST_F(ClockListKeys, CtrlTabLeavesTheGridEscapeClosesAndEnterChooses)
{
    for (const Screen &s : screens()) {
        QWidget *form = s.open();
        ASSERT_EQ(form->windowTitle(), QString::fromLatin1(s.name));
        auto *grid = form->findChild<QTableView *>(QStringLiteral("TDBGrid1"));
        grid->setFocus();
        grid->setCurrentIndex(grid->model()->index(1, 0));
        press(grid, Qt::Key_Tab, Qt::ControlModifier);
        EXPECT_EQ(focusName(form), QString::fromLatin1(s.after)) << s.name;
        grid->setFocus();
        press(grid, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
        EXPECT_EQ(focusName(form), QString::fromLatin1(s.before)) << s.name;
        if (s.chosen) {
            press(grid, Qt::Key_Return);
            EXPECT_TRUE(s.chosen()) << s.name;
            settle();
        }
        QPointer<QWidget> shown = form;
        if (shown) {
            grid->setFocus();
            press(grid, Qt::Key_Escape);
            settle();
        }
        EXPECT_TRUE(shown.isNull()) << s.name << " is still open";
    }
    EXPECT_TRUE(boxes().empty());
}

// Shown modal by an exchange that needs a clock: the same keys, and Escape
// returns to the exchange without a clock.
TEST_F(ClockListKeys, ModalSelectClockChoosesByEnterAndLetsGoByEscape)
{
    for (const int key : {Qt::Key_Return, Qt::Key_Escape}) {
        SerialClk::ClearSelectedClock();
        QTimer::singleShot(0, [key] {
            QWidget *modal = QApplication::activeModalWidget();
            ASSERT_NE(modal, nullptr);
            auto *grid = modal->findChild<QTableView *>(QStringLiteral("TDBGrid1"));
            grid->setCurrentIndex(grid->model()->index(0, 0));
            press(grid, key);
            if (key == Qt::Key_Return)
                press(grid, Qt::Key_Escape);
        });
        // A chooser the keys cannot close must fail the test, not hold it.
        QTimer stuck;
        stuck.setSingleShot(true);
        QObject::connect(&stuck, &QTimer::timeout, [] {
            ADD_FAILURE() << "the modal chooser stayed open";
            QApplication::activeModalWidget()->close();
        });
        stuck.start(2000);
        frmSerialClkSelect::ShowModal();
        EXPECT_EQ(SerialClk::state().SelClock.ClockId, key == Qt::Key_Return ? QStringLiteral("Gate") : QString());
    }
}

// Tab past the new clock's last cell wraps to the first row, the selected
// clock's: the clock is stored and no edit of the selected clock is refused,
// since the user began none.
TEST_F(ClockListKeys, SecondSerialClockAddedWithTabIsStoredWithoutABox)
{
    SerialClk::state().SelClock.ClockId = QStringLiteral("Gate");
    AppMain::state().MainDb.execute(QStringLiteral("DELETE FROM Clocks WHERE [Clock Identifier] = 'Dock'"));
    frmSerialClkCommParm *form = AppMain::OneScreen<frmSerialClkCommParm>::show();
    QTableView *grid = form->TDBGrid1;
    grid->setCurrentIndex(form->Data1->index(1, 0));
    press(grid, Qt::Key_F2);
    for (int cell = 0; cell < form->Data1->columnCount(); ++cell) {
        QWidget *editor = form->focusWidget();
        ASSERT_TRUE(editor && grid->isAncestorOf(editor)) << "no editor in cell " << cell;
        if (cell == 0)
            static_cast<QLineEdit *>(editor)->setText(QStringLiteral("Dock"));
        press(editor, Qt::Key_Tab);
        QCoreApplication::processEvents();
    }
    QCoreApplication::processEvents();
    EXPECT_TRUE(boxes().empty());
    EXPECT_EQ(AppMain::state().MainDb.snapshot(QStringLiteral("SELECT * FROM Clocks")).size(), 2u);
    EXPECT_TRUE(form->Data1->isBlankRow(grid->currentIndex().row())) << "the cursor waits for the next clock";
}

} // namespace
