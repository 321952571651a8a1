// The serial clock list, the selection and the start-up default, on a copy of
// the clock database file.
#include "app/AppMain.h"
#include "app/frmMDI.h"
#include "app/frmSplash.h"
#include "link/SerialClk.h"
#include "link/frmSerialClkCommParm.h"
#include "link/frmSerialClkSelect.h"
#include "platform/comm/commcontrol.h"
#include "platform/comm/fakecomm.h"
#include "platform/ui.h"
#include "startup/Startup.h"
#include "tests/support/fixture/TevHome.h"

#include <QStyledItemDelegate>
#include <QCoreApplication>
#include <QPushButton>
#include <QSqlTableModel>
#include <QTableView>

#include <memory>

namespace {

const QString kRefused = QStringLiteral(
    "An error has occurred. \r\nPlease make sure all the following conditions are true:\r\n"
    "- The Clock field is not left blank.\r\n"
    "- The data entered for any of the fields does not exceed the size of the field.\r\n"
    "- No existing record has the same Clock identifier.");

class SerialClockList : public TevHome {
protected:
    void SetUp() override
    {
        TevHome::SetUp();
        installDefaultDatabase();
        openMainDb();
        SerialClk::InitProtocolChars();
        addClock(QStringLiteral("Gate"), 3, 9600, QStringLiteral("o"), 7, 2, QString());
        addClock(QStringLiteral("Dock"), 1, 4800, QStringLiteral("e"), 8, 1, QStringLiteral("5551234"));
    }

    void TearDown() override
    {
        delete list;
        delete select;
        TevHome::TearDown();
    }

    void addClock(const QString &id, int term, int baud, const QString &parity, int data, int stop, const QString &phone)
    {
        AppMain::state().MainDb.execute(
            QStringLiteral("INSERT INTO Clocks VALUES (?, ?, 1, 2, ?, ?, ?, ?, ?)"),
            {id, term, baud, parity, data, stop, phone});
    }

    int storedClocks() const
    {
        return AppMain::state().MainDb.snapshot(QStringLiteral("SELECT * FROM Clocks")).size();
    }

    int rowOf(QSqlTableModel *model, const QString &id) const
    {
        for (int r = 0; r < model->rowCount(); ++r) {
            if (model->data(model->index(r, 0)).toString() == id)
                return r;
        }
        return -1;
    }

    QStringList boxes() const
    {
        QStringList texts;
        for (const auto &s : Platform::Ui::shown()) {
            if (s.kind == QLatin1String("msgbox"))
                texts << s.text;
        }
        return texts;
    }

    bool startEdit(int row, int column)
    {
        const QModelIndex index = list->Data1->index(row, column);
        const std::unique_ptr<QWidget> editor(
            list->TDBGrid1->itemDelegate()->createEditor(list->TDBGrid1->viewport(), QStyleOptionViewItem(), index));
        return editor != nullptr;
    }

    void markRow(const QString &id)
    {
        const int row = rowOf(select->Data1, id);
        select->TDBGrid1->selectRow(row);
        select->TDBGrid1->setCurrentIndex(select->Data1->index(row, 0));
    }

    frmSerialClkCommParm *list = nullptr;
    frmSerialClkSelect *select = nullptr;
};

TEST_F(SerialClockList, OnlyTheSelectedClocksRowIsProtected)
{
    list = new frmSerialClkCommParm;
    const int gate = rowOf(list->Data1, QStringLiteral("Gate"));
    const int dock = rowOf(list->Data1, QStringLiteral("Dock"));
    EXPECT_TRUE(startEdit(gate, 3));

    SerialClk::state().SelClock.ClockId = QStringLiteral("Gate");
    answerOk(2);
    EXPECT_FALSE(startEdit(gate, 3));
    EXPECT_TRUE(startEdit(dock, 3));
    list->TDBGrid1->setCurrentIndex(list->Data1->index(gate, 0));
    list->DeleteRow();
    EXPECT_EQ(boxes(), (QStringList{QStringLiteral("You cannot edit the selected clock data!"),
                                    QStringLiteral("You cannot delete the selected clock!")}));
    EXPECT_EQ(storedClocks(), 2);
}

TEST_F(SerialClockList, NewRowShowsTheTableDefaultsAndABlankIdentifierStoresNothing)
{
    list = new frmSerialClkCommParm;
    list->AddRow();
    const int row = list->Data1->rowCount() - 1;
    const auto *delegate = static_cast<QStyledItemDelegate *>(list->TDBGrid1->itemDelegate());
    QStringList shown;
    for (int c = 1; c < 9; ++c)
        shown << delegate->displayText(list->Data1->index(row, c).data(), QLocale());
    EXPECT_EQ(shown, (QStringList{"1", "1", "2", "9600", "Odd", "7", "2", ""}));

    answerOk();
    EXPECT_FALSE(list->WritePendingRow());
    EXPECT_EQ(boxes(), QStringList{kRefused});
    EXPECT_EQ(Platform::Ui::shown().back().style, Platform::Ui::Style::Critical);
    EXPECT_EQ(storedClocks(), 2);
    EXPECT_EQ(list->Data1->rowCount(), 3) << "the two clocks and the new-row line";
    EXPECT_TRUE(list->Data1->newRowStarted()) << "the refused clock waits on its line to be mended";
}

TEST_F(SerialClockList, OnlyTheParityColumnShowsParityNames)
{
    addClock(QStringLiteral("e"), 2, 9600, QStringLiteral("n"), 8, 1, QStringLiteral("o"));
    list = new frmSerialClkCommParm;
    const int row = rowOf(list->Data1, QStringLiteral("e"));
    const auto *delegate = static_cast<QStyledItemDelegate *>(list->TDBGrid1->itemDelegate());
    const auto shown = [&](int column) { return delegate->displayText(list->Data1->index(row, column).data(), QLocale()); };
    EXPECT_EQ(QStringList({shown(0), shown(5), shown(8)}), QStringList({"e", "None", "o"}));
}

TEST_F(SerialClockList, DuplicateIdentifierIsRefusedWithTheSameBox)
{
    list = new frmSerialClkCommParm;
    list->AddRow();
    list->Data1->setData(list->Data1->index(list->Data1->rowCount() - 1, 0), QStringLiteral("gate"));
    answerOk();
    EXPECT_FALSE(list->WritePendingRow());
    EXPECT_EQ(boxes(), QStringList{kRefused});
    EXPECT_EQ(storedClocks(), 2);
}

TEST_F(SerialClockList, CompletedEditsAndNewRowsAreStoredAtOnce)
{
    list = new frmSerialClkCommParm;
    list->Data1->setData(list->Data1->index(rowOf(list->Data1, QStringLiteral("Dock")), 3), 7);
    QCoreApplication::processEvents();
    list->AddRow();
    list->Data1->setData(list->Data1->index(list->Data1->rowCount() - 1, 0), QStringLiteral("O'Hare"));
    list->TDBGrid1->setCurrentIndex(list->Data1->index(0, 0));
    QCoreApplication::processEvents();
    const auto rows = AppMain::state().MainDb.snapshot(
        QStringLiteral("SELECT Port FROM Clocks WHERE [Clock Identifier] IN ('Dock', 'O''Hare') ORDER BY 1"));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows.rows()[0].value(0).toInt(), 2);
    EXPECT_EQ(rows.rows()[1].value(0).toInt(), 7);
    EXPECT_TRUE(boxes().isEmpty());
}

TEST_F(SerialClockList, SelectTakesTheStoredSettingsAndSaveKeepsTheDefault)
{
    select = new frmSerialClkSelect;
    answerOk();
    select->cmdSelClk0->click();
    EXPECT_EQ(boxes(), QStringList{QStringLiteral("No clock selected!")});

    markRow(QStringLiteral("Dock"));
    select->cmdSelClk0->click();
    const SerialClk::SerialClockRec &c = SerialClk::state().SelClock;
    EXPECT_EQ(c.Settings, QStringLiteral("4800,e,8,1"));
    EXPECT_EQ(frmMDI::instance()->sbrStatus->panel(3), QStringLiteral("Clock: Dock Addr: 1 Phone: 5551234"));

    markRow(QStringLiteral("Gate"));
    select->cmdSelClk1->click();
    EXPECT_EQ(frmMDI::instance()->sbrStatus->panel(3), QStringLiteral("Clock: Gate Addr: 3"));
    const auto stored = AppMain::state().MainDb.snapshot(
        QStringLiteral("SELECT RegValue FROM Registry WHERE RegKey = 'COMM PARM' AND RegField = 'DefaultClock'"));
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored.rows()[0].value(0).toString(), QStringLiteral("Gate"));
}

TEST_F(SerialClockList, ClearLeavesNoClockClosesThePortAndKeepsTheDefault)
{
    frmMDI *w = frmMDI::instance();
    auto fake = std::make_unique<Platform::FakeCommControl>();
    Platform::FakeCommControl *comm = fake.get();
    w->setCommControl(std::move(fake));
    SerialClk::state().CommParm.DefaultClock = QStringLiteral("Gate");
    select = new frmSerialClkSelect;
    markRow(QStringLiteral("Gate"));
    select->cmdSelClk0->click();
    ASSERT_TRUE(SerialClk::OpenSelectedClockPort(*comm));

    select->cmdClear->click();
    EXPECT_TRUE(SerialClk::state().SelClock.ClockId.isEmpty());
    EXPECT_FALSE(comm->PortOpen());
    EXPECT_EQ(w->sbrStatus->panel(3), QStringLiteral("Clock: NONE"));
    EXPECT_EQ(SerialClk::state().CommParm.DefaultClock, QStringLiteral("Gate"));
    QCoreApplication::processEvents();
    select = nullptr;   // closed and gone
}

TEST_F(SerialClockList, SelectionScreenMarksTheSelectedClock)
{
    SerialClk::state().SelClock.ClockId = QStringLiteral("Dock");
    select = new frmSerialClkSelect;
    EXPECT_EQ(select->TDBGrid1->currentIndex().row(), rowOf(select->Data1, QStringLiteral("Dock")));
    EXPECT_TRUE(select->TDBGrid1->selectionModel()->hasSelection());
}

// The default clock was once pasted into the query: an apostrophe broke the
// start-up, and a deleted clock stayed the default for ever.
TEST_F(SerialClockList, StartUpFindsAnApostropheDefaultAndForgetsAStaleOne)
{
    addClock(QStringLiteral("O'Hare"), 9, 2400, QStringLiteral("n"), 8, 1, QString());
    putSetting(QStringLiteral("COMM PARM"), QStringLiteral("DefaultClock"), QStringLiteral("O'Hare"));
    putSetting(QStringLiteral("COMM PARM"), QStringLiteral("PollTimeOut"), QStringLiteral("250"));
    AppMain::state().MainDb.close();
    ASSERT_EQ(AppMain::Main(), AppMain::StartResult::Running);
    EXPECT_EQ(SerialClk::state().SelClock.Settings, QStringLiteral("2400,n,8,1"));
    EXPECT_EQ(SerialClk::state().CommParm.PollTimeOut, 250);
    EXPECT_EQ(frmMDI::existing()->sbrStatus->panel(3), QStringLiteral("Clock: O'Hare Addr: 9"));
    EXPECT_EQ(frmMDI::existing()->MSComm1->Settings(), QStringLiteral("2400,n,8,1"));
    EXPECT_TRUE(boxes().isEmpty());

    AppMain::state().MainDb.execute(QStringLiteral("DELETE FROM Clocks WHERE [Clock Identifier] = ?"), {"O'Hare"});
    SerialClk::LoadDefaultSerialClock();
    EXPECT_TRUE(SerialClk::state().SelClock.ClockId.isEmpty());
    EXPECT_EQ(frmMDI::existing()->sbrStatus->panel(3), QStringLiteral("Clock: NONE"));
    SerialClk::LoadCommSettings();
    EXPECT_TRUE(SerialClk::state().CommParm.DefaultClock.isEmpty());
}

} // namespace

namespace {

TEST_F(SerialClockList, EveryHookOfTheSerialLinkIsSetAndReachesItsScreenOrPort)
{
    resetMdiHooks();
    SerialClk::InstallHooks();
    MDIHooks &h = mdiHooks();
    EXPECT_TRUE(h.openPort && h.closePort && h.showModemDial && h.hangUpModem && h.showSerialClockList &&
                h.showSelectSerialClock && h.openSelectedClockPort && h.downloadFileSerial &&
                h.showBadgeScheduleCount);
    h.showSerialClockList();
    h.showSelectSerialClock();
    h.showModemDial();
    QStringList titles;
    for (QWidget *w : frmMDI::instance()->findChildren<QWidget *>()) {
        if (w->objectName().startsWith(QLatin1String("frm")))
            titles << w->windowTitle();
    }
    titles.sort();
    EXPECT_EQ(titles, (QStringList{"Communication Parameters", "Modem Connection", "Select Clock"}));

    auto fake = std::make_unique<Platform::FakeCommControl>();
    frmMDI::instance()->setCommControl(std::move(fake));
    SerialClk::state().SelClock.Port = 2;
    SerialClk::state().SelClock.Settings = QStringLiteral("9600,o,7,2");
    h.openPort();
    EXPECT_EQ(frmMDI::instance()->sbrStatus->panel(2), QStringLiteral("Settings: COM2,9600,o,7,2"));
    resetMdiHooks();
}

} // namespace
