// The TCP/IP clock list and the clock selection, offscreen with scripted boxes.
#include "app/AppMain.h"
#include "app/Screen.h"
#include "app/frmMDI.h"
#include "link/TCPIP.h"
#include "link/TcpClockModel.h"
#include "link/frmSelTCPIPClk.h"
#include "link/frmTCPIPClkCommParm.h"
#include "tests/support/fixture/TevHome.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFile>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

namespace {

using List = AppMain::OneScreen<frmTCPIPClkCommParm>;
using Pick = AppMain::OneScreen<frmSelTCPIPClk>;

class TcpForms : public TevHome {
protected:
    void SetUp() override
    {
        TevHome::SetUp();
        installDefaultDatabase();
        openMainDb();
        qputenv("TEV_HOSTS", file(QStringLiteral("hosts")).toLocal8Bit());
        writeFile(QStringLiteral("hosts"), "127.0.0.1 localhost\r\n");
        TCPIP::InstallHooks();
    }
    void TearDown() override
    {
        resetMdiHooks();
        TevHome::TearDown();
    }

    void addClock(int n)
    {
        AppMain::state().MainDb.execute(
            QStringLiteral("INSERT INTO TcpClocks (ScreenID, octet1, octet2, octet3, octet4) VALUES (?, 10, 0, 0, ?)"),
            {n, n});
    }
    QString setting(const char *field) const
    {
        const auto rows = AppMain::state().MainDb.snapshot(
            QStringLiteral("SELECT RegValue FROM Registry WHERE RegKey = 'TCPIP' AND RegField = ?"),
            {QString::fromLatin1(field)});
        return rows.empty() ? QStringLiteral("<none>") : rows.rows().front().value(0).toString();
    }
    QStringList clockNumbers() const
    {
        QStringList numbers;
        for (const auto &row : AppMain::state().MainDb.snapshot(QStringLiteral("SELECT ScreenID FROM TcpClocks ORDER BY 1")).rows())
            numbers << row.value(0).toString();
        return numbers;
    }
    QByteArray hosts() const
    {
        QFile f(file(QStringLiteral("hosts")));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static QStringList boxes()
    {
        QStringList texts;
        for (const auto &s : Platform::Ui::shown()) {
            if (s.kind == QLatin1String("msgbox"))
                texts << QStringLiteral("%1|%2|%3").arg(s.title, s.text).arg(s.style);
        }
        Platform::Ui::clearShown();
        return texts;
    }
    static void settle() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
    static int rowOf(QTableView *grid, int clock)
    {
        for (int r = 0; r < grid->model()->rowCount(); ++r)
            if (grid->model()->index(r, 0).data().toString() == QString::number(clock))
                return r;
        return -1;
    }
    static QString panel5() { return frmMDI::instance()->sbrStatus->panel(5); }
};

TEST_F(TcpForms, SaveWritesTheHostsFileEvenFromZeroBoxesThenRefusesTheAddress)
{
    mdiHooks().showTcpIpClockList();
    frmTCPIPClkCommParm *form = List::existing();
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->hostaddress[2]->text(), QStringLiteral("000"));
    form->chkTerminalIDStamp->setChecked(true);
    answerOk();
    form->cmdSave->click();
    EXPECT_EQ(hosts(), "127.0.0.1 localhost\r\n0.0.0.0   tevhost001\r\n");
    EXPECT_EQ(boxes(), QStringList{QStringLiteral("Kovra-TEV|Invalid host address!|16")});
    EXPECT_EQ(setting("TCPIPAddress"), QStringLiteral("False"));
    EXPECT_EQ(setting("TerminalID"), QStringLiteral("True"));
    EXPECT_EQ(setting("TCPIPACK"), QStringLiteral("False"));
    EXPECT_EQ(setting("HostAddr1"), QStringLiteral("<none>"));
}

TEST_F(TcpForms, TypedOctetsAreStoredAsTypedAndShownAgain)
{
    addClock(7);
    frmTCPIPClkCommParm *form = List::show(AppMain::TopEdge(100));
    const char *typed[] = {"192", "168", "001", "020"};
    for (int i = 0; i < 4; ++i)
        form->hostaddress[i]->setText(QString::fromLatin1(typed[i]));
    form->chkEnableTCPIPACK->setChecked(true);
    form->cmdSave->click();
    EXPECT_EQ(boxes(), QStringList());
    EXPECT_EQ(hosts(), "127.0.0.1 localhost\r\n192.168.1.20   tevhost001\r\n10.0.0.7    tevterm007\r\n");
    EXPECT_EQ(setting("HostAddr3"), QStringLiteral("001"));
    EXPECT_EQ(setting("TCPIPACK"), QStringLiteral("True"));
    EXPECT_TRUE(TCPIP::state().TCPIPSettings.TCPIPACK);

    form->cmdClose->click();
    settle();
    ASSERT_EQ(List::existing(), nullptr);
    form = List::show();
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(form->hostaddress[i]->text(), QString::fromLatin1(typed[i]));
    EXPECT_TRUE(form->chkEnableTCPIPACK->isChecked());
    EXPECT_FALSE(form->chkTCPIPAddressing->isChecked());
}

TEST_F(TcpForms, GridWritesACompletedRowAndRefusesDuplicateAndBlankClockNumbers)
{
    addClock(5);
    frmTCPIPClkCommParm *form = List::show();
    QAbstractItemModel *model = form->TDBGrid1->model();
    ASSERT_EQ(model->rowCount(), 2) << "one clock and the blank row";

    form->TDBGrid1->setCurrentIndex(model->index(1, TcpClockModel::ScreenID));
    const auto typeClock = [model](const QVariant &number) {
        model->setData(model->index(model->rowCount() - 1, TcpClockModel::ScreenID), number);
        for (int c = TcpClockModel::Octet1; c <= TcpClockModel::Octet4; ++c)
            model->setData(model->index(model->rowCount() - 1, c), 10);
    };
    typeClock(9);
    form->TDBGrid1->setCurrentIndex(model->index(0, TcpClockModel::ScreenID));
    EXPECT_EQ(clockNumbers(), QStringList({"5", "9"})) << "leaving the row writes it";

    answerOk(2);
    typeClock(5);
    form->Data1->writePending();
    EXPECT_TRUE(form->Data1->newRowStarted()) << "the refused clock waits on its line";
    typeClock(QString());
    form->Data1->writePending();
    EXPECT_EQ(boxes(),
              QStringList({QStringLiteral("Kovra Error#: 3022|Cannot add or change record. An existing record "
                                          "has the same Clock#|16"),
                           QStringLiteral("Kovra Error#: 3022|The Clock# field cannot be left blank!|16")}));
    EXPECT_EQ(clockNumbers(), QStringList({"5", "9"}));
    EXPECT_EQ(model->rowCount(), 3) << "the refused clock stays on the new-row line";

    // An address no clock can have never reaches the hosts file.
    answerOk(2);
    EXPECT_FALSE(model->setData(model->index(0, TcpClockModel::Octet2), 256));
    EXPECT_FALSE(model->setData(model->index(0, TcpClockModel::Octet3), QStringLiteral("1a")));
    EXPECT_TRUE(model->setData(model->index(0, TcpClockModel::Octet4), 255));
    EXPECT_EQ(boxes(), QStringList(2, QStringLiteral("Kovra-TEV|An octet of the IP address must be a number "
                                                             "from 0 to 255!|48")));
}

// A key pressed and released on `to`; a printable key brings its text.
void press(QWidget *to, int key, const QString &text = QString())
{
    QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(to, &down);
    QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(to, &up);
}

// The grid's open cell editor.
QLineEdit *cellEditor(QTableView *grid)
{
    for (QLineEdit *editor : grid->viewport()->findChildren<QLineEdit *>()) {
        if (editor->isVisible())
            return editor;
    }
    return nullptr;
}

// Types each cell into the editor the grid opens, then Tab on to the next cell.
void typeCells(QTableView *grid, const QStringList &cells)
{
    press(grid, Qt::Key_F2);
    for (const QString &cell : cells) {
        QLineEdit *editor = cellEditor(grid);
        ASSERT_NE(editor, nullptr) << cell.toStdString();
        for (const QChar c : cell)
            press(editor, c.toUpper().unicode(), QString(c));
        press(editor, Qt::Key_Tab);
    }
}

TEST_F(TcpForms, AClockTypedAlongItsRowIsOneClockAndOneWithoutNumberIsRefusedAtClose)
{
    addClock(5);
    frmMDI::instance()->show();
    frmTCPIPClkCommParm *form = List::show();
    QTableView *grid = form->TDBGrid1;
    grid->setCurrentIndex(grid->model()->index(1, TcpClockModel::ScreenID));
    typeCells(grid, {QStringLiteral("9"), QStringLiteral("Front door"), QStringLiteral("10"), QStringLiteral("1"),
                     QStringLiteral("0"), QStringLiteral("7")});
    EXPECT_EQ(grid->model()->rowCount(), 2) << "the clock stays on its line while it is typed";
    grid->setCurrentIndex(grid->model()->index(0, TcpClockModel::ScreenID));
    const auto rows = AppMain::state().MainDb.snapshot(QStringLiteral("SELECT * FROM TcpClocks WHERE ScreenID = 9"));
    ASSERT_EQ(rows.size(), 1u);
    QStringList stored;
    for (int c = TcpClockModel::ScreenID; c <= TcpClockModel::Octet4; ++c)
        stored << rows.rows().front().value(c).toString();
    EXPECT_EQ(stored.join(QLatin1Char('|')).toStdString(), "9|Front door|10|1|0|7");
    EXPECT_EQ(clockNumbers(), QStringList({"5", "9"}));

    grid->setCurrentIndex(grid->model()->index(grid->model()->rowCount() - 1, TcpClockModel::Description));
    typeCells(grid, {QStringLiteral("Dock")});
    answerOk();
    form->cmdClose->click();
    EXPECT_EQ(boxes(), QStringList{QStringLiteral("Kovra Error#: 3022|The Clock# field cannot be left blank!|16")});
    EXPECT_EQ(clockNumbers(), QStringList({"5", "9"}));
}

// An octet out of range, or a stored one emptied, is refused at Tab and stays
// in edit with what was typed; a new clock without its whole address is
// refused when the cursor leaves it and waits on its line.
TEST_F(TcpForms, BlankAndRefusedOctetsAreNeverStoredAndTheCellStaysInEdit)
{
    addClock(5);
    frmMDI::instance()->show();
    QTableView *grid = List::show()->TDBGrid1;
    const QString blank = QStringLiteral("Kovra Error#: 3315|Field(s) cannot be left blank!|16");
    const QString range = QStringLiteral("Kovra-TEV|An octet of the IP address must be a number from 0 to 255!|48");
    for (const auto &[typed, box] : {std::pair{QStringLiteral("300"), range}, std::pair{QString(), blank}}) {
        grid->setCurrentIndex(grid->model()->index(0, TcpClockModel::Octet2));
        press(grid, Qt::Key_F2);
        QLineEdit *editor = cellEditor(grid);
        ASSERT_NE(editor, nullptr);
        editor->setText(typed);
        answerOk();
        press(editor, Qt::Key_Tab);
        EXPECT_EQ(boxes(), QStringList{box});
        ASSERT_EQ(cellEditor(grid), editor) << typed.toStdString();
        EXPECT_EQ(editor->text(), typed);
        press(editor, Qt::Key_Escape);
    }
    grid->setCurrentIndex(grid->model()->index(1, TcpClockModel::ScreenID));
    typeCells(grid, {QStringLiteral("9"), QStringLiteral("Gate"), QStringLiteral("10"), QStringLiteral("1")});
    answerOk();
    grid->setCurrentIndex(grid->model()->index(0, TcpClockModel::ScreenID));
    EXPECT_EQ(boxes(), QStringList{blank});
    EXPECT_EQ(clockNumbers(), QStringList{"5"});
    EXPECT_EQ(AppMain::state().MainDb.snapshot(QStringLiteral("SELECT * FROM TcpClocks WHERE octet2 = 0")).size(), 1u);
    EXPECT_EQ(grid->model()->index(1, TcpClockModel::Description).data(), QStringLiteral("Gate")) << "kept on its line";
}

// Ticked with Space like any check box; on the selected clock's row refused like any edit.
TEST_F(TcpForms, PollBoxOfAStoredClockIsTickedAndKeptUnlessTheClockIsSelected)
{
    addClock(5);
    addClock(6);
    TCPIP::state().SelTCPIPClock.ScreenID = 6;
    frmTCPIPClkCommParm *form = List::show();
    answerOk();
    for (int clock : {5, 6}) {
        form->TDBGrid1->setCurrentIndex(form->TDBGrid1->model()->index(rowOf(form->TDBGrid1, clock), TcpClockModel::Poll));
        press(form->TDBGrid1, Qt::Key_Space, QStringLiteral(" "));
    }
    form->cmdClose->click();
    EXPECT_EQ(AppMain::state().MainDb.snapshot(QStringLiteral("SELECT group_concat(ScreenID) FROM TcpClocks WHERE poll = 1"))
                  .rows()[0].value(0).toString(), QStringLiteral("5"));
    EXPECT_EQ(boxes(), QStringList{QStringLiteral("Kovra-TEV|You cannot edit the selected clock data!|0")});
}

TEST_F(TcpForms, SelectedClocksRowIsRefusedForEditAndDelete)
{
    addClock(5);
    addClock(6);
    TCPIP::state().SelTCPIPClock.ScreenID = 5;
    frmTCPIPClkCommParm *form = List::show();
    QTableView *grid = form->TDBGrid1;
    answerOk(2);
    const QModelIndex five = grid->model()->index(rowOf(grid, 5), TcpClockModel::Description);
    grid->setCurrentIndex(five);
    grid->edit(five);
    EXPECT_TRUE(grid->viewport()->findChildren<QLineEdit *>().isEmpty()) << "an editor opened on the selected clock";
    form->TDBGrid1_Delete();
    EXPECT_EQ(boxes(), QStringList({QStringLiteral("Kovra-TEV|You cannot edit the selected clock data!|0"),
                                    QStringLiteral("Kovra-TEV|You cannot delete the selected clock!|0")}));
    EXPECT_EQ(clockNumbers(), QStringList({"5", "6"}));

    grid->setCurrentIndex(grid->model()->index(rowOf(grid, 6), TcpClockModel::Description));
    form->TDBGrid1_Delete();
    EXPECT_EQ(clockNumbers(), QStringList({"5"}));
    EXPECT_EQ(boxes(), QStringList());
}

TEST_F(TcpForms, SelectClosesClearStaysSaveStoresTheDefault)
{
    addClock(12);
    addClock(33);
    mdiHooks().showSelectTcpIpClock();
    frmSelTCPIPClk *form = Pick::existing();
    ASSERT_NE(form, nullptr);
    answerOk();
    form->cmdSelClk[1]->click();
    EXPECT_EQ(boxes(), QStringList{QStringLiteral("Kovra-TEV|No clock selected!|48")});
    EXPECT_EQ(Pick::existing(), form);

    form->TDBGrid1->selectRow(rowOf(form->TDBGrid1, 33));
    form->cmdSelClk[1]->click();
    settle();
    EXPECT_EQ(Pick::existing(), nullptr);
    const TCPIP::TCPIPClockRec &sel = TCPIP::state().SelTCPIPClock;
    EXPECT_EQ(sel.ScreenID, 33);
    EXPECT_EQ(sel.Clock, QStringLiteral("1"));
    EXPECT_EQ(sel.Controller, QStringLiteral("2"));
    EXPECT_EQ(sel.octet4, 33);
    EXPECT_EQ(panel5(), QStringLiteral("TCP/IP Clock: 33"));
    EXPECT_EQ(setting("DefaultClock"), QStringLiteral("<none>")) << "Select stores nothing";

    form = Pick::show();
    ASSERT_EQ(form->TDBGrid1->selectionModel()->selectedRows().size(), 1);
    EXPECT_EQ(form->TDBGrid1->selectionModel()->selectedRows().front().row(), rowOf(form->TDBGrid1, 33));
    form->cmdClear->click();
    EXPECT_EQ(Pick::existing(), form);
    EXPECT_EQ(sel.ScreenID, 0);
    EXPECT_EQ(panel5(), QStringLiteral("TCP/IP Clock: NONE"));

    form->TDBGrid1->selectRow(rowOf(form->TDBGrid1, 12));
    form->cmdSelClk[0]->click();
    settle();
    EXPECT_EQ(Pick::existing(), nullptr);
    EXPECT_EQ(setting("DefaultClock"), QStringLiteral("12"));
    EXPECT_EQ(TCPIP::state().TCPIPSettings.DefaultClock, QStringLiteral("12"));
    EXPECT_EQ(boxes(), QStringList());
}

// Without its table the grid has no model: the open shows why, and the
// buttons act on nothing instead of reaching a selection that is not there.
TEST_F(TcpForms, ChooserOverAnUnreadableClockTableShowsTheErrorAndItsButtonsActOnNothing)
{
    AppMain::state().MainDb.execute(QStringLiteral("DROP TABLE TcpClocks"));
    answerOk(3);
    frmSelTCPIPClk *form = Pick::show();
    form->cmdSelClk[1]->click();
    form->cmdSelClk[0]->click();
    form->cmdClear->click();
    const QStringList shown = boxes();
    ASSERT_EQ(shown.size(), 3);
    EXPECT_TRUE(shown[0].contains(QStringLiteral("TcpClocks"))) << shown[0].toStdString();
    EXPECT_EQ(shown.mid(1), QStringList(2, QStringLiteral("Kovra-TEV|No clock selected!|48")));
    EXPECT_EQ(TCPIP::state().SelTCPIPClock.ScreenID, 0);
}

} // namespace
