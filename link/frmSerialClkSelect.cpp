#include "link/frmSerialClkSelect.h"

#include "app/AppMain.h"
#include "app/LongOperation.h"
#include "app/Screen.h"
#include "app/frmMDI.h"
#include "link/ClockListModel.h"
#include "link/ClocksTable.h"
#include "link/SerialClk.h"
#include "platform/comm/commcontrol.h"
#include "platform/db.h"
#include "platform/ui.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QSqlError>
#include <QSqlRecord>
#include <QSqlTableModel>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>

namespace {

using namespace ClocksTable;

// The three settings columns have no caption: with the baud rate they read
// as one text, "9600, Odd, 7,2".
const char *const kCaptions[ColumnCount] = {"Clock", "Address", "Controller", "Port", "Settings", "", "", "", "Phone#"};

struct Shown {
    int column;
    const char *stored;
    const char *shown;
};

const Shown kShown[] = {
    {Parity, "o", ", Odd"}, {Parity, "e", ", Even"}, {Parity, "n", ", None"}, {DataBits, "7", ", 7"},
    {DataBits, "8", ", 8"}, {StopBits, "1", ",1"},   {StopBits, "2", ",2"},
};

class SettingsTextDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        const QString stored = index.data(Qt::EditRole).toString();
        for (const Shown &s : kShown) {
            if (s.column == index.column() && stored == QLatin1String(s.stored))
                option->text = QString::fromLatin1(s.shown);
        }
    }
};

} // namespace

frmSerialClkSelect::frmSerialClkSelect()
{
    setObjectName(QStringLiteral("frmSerialClkSelect"));
    setWindowTitle(QStringLiteral("Select Clock"));

    TDBGrid1 = new QTableView(this);
    TDBGrid1->setObjectName(QStringLiteral("TDBGrid1"));
    TDBGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    TDBGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    TDBGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    TDBGrid1->setItemDelegate(new SettingsTextDelegate(TDBGrid1));

    const auto button = [this](const char *name, const char *caption) {
        auto *b = new QPushButton(QString::fromLatin1(caption), this);
        b->setObjectName(QString::fromLatin1(name));
        return b;
    };
    cmdSelClk0 = button("cmdSelClk0", "Select");
    cmdSelClk1 = button("cmdSelClk1", "Save");
    cmdClear = button("cmdClear", "Clear");
    cmdClose = button("cmdClose", "Close");
    auto *buttons = new QHBoxLayout;
    for (QPushButton *b : {cmdSelClk0, cmdSelClk1, cmdClear, cmdClose})
        buttons->addWidget(b);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(TDBGrid1);
    layout->addLayout(buttons);
    resize(640, 280);

    AppMain::GridScreenKeys(this, TDBGrid1, cmdClose, cmdSelClk0);
    connect(cmdSelClk0, &QPushButton::clicked, this, AppMain::Guarded([this] { cmdSelClk_Click(0); }));
    connect(cmdSelClk1, &QPushButton::clicked, this, AppMain::Guarded([this] { cmdSelClk_Click(1); }));
    connect(cmdClear, &QPushButton::clicked, this, AppMain::Guarded([this] { cmdClear_Click(); }));
    connect(cmdClose, &QPushButton::clicked, this, AppMain::Guarded([this] { AppMain::CloseScreen(this); }));

    try {
        Data1 = ClocksTable::open(this, kCaptions);
        TDBGrid1->setModel(Data1);
        AppMain::ShowAllColumns(TDBGrid1);
        HighlightSelectedClock();
    } catch (const Platform::Error &e) {
        Platform::ActiveError active(e);
        AppMain::ShowErrorMsg(QString(), e.description());
    }
}

frmSerialClkSelect::~frmSerialClkSelect() = default;

void frmSerialClkSelect::ShowModal()
{
    AppMain::ShowModal(new frmSerialClkSelect, AppMain::Centred);
}

void frmSerialClkSelect::HighlightSelectedClock()
{
    const QString selected = SerialClk::state().SelClock.ClockId;
    if (!Data1 || selected.isEmpty())
        return;
    for (int row = 0; row < Data1->rowCount(); ++row) {
        if (Data1->data(Data1->index(row, ClockId)).toString() == selected) {
            TDBGrid1->selectRow(row);
            TDBGrid1->setCurrentIndex(Data1->index(row, ClockId));
            return;
        }
    }
}

bool frmSerialClkSelect::hasMarkedRow() const
{
    return TDBGrid1->selectionModel() && TDBGrid1->selectionModel()->hasSelection();
}

bool frmSerialClkSelect::mustRelease() const
{
    return !SerialClk::state().SelClock.ClockId.isEmpty() && frmMDI::instance()->MSComm1->PortOpen();
}

void frmSerialClkSelect::releaseSelectedClock()
{
    SerialClk::State &s = SerialClk::state();
    frmMDI *main = frmMDI::instance();
    if (!mustRelease())
        return;
    if (s.ModemConnected)
        SerialClk::HangUpModem(*main->MSComm1);
    SerialClk::ClosePort(*main->MSComm1, main->sbrStatus);
}

void frmSerialClkSelect::cmdSelClk_Click(int index)
{
    if (!hasMarkedRow()) {
        Platform::Ui::msgBox(QStringLiteral("No clock selected!"),
                             Platform::Ui::Style::OkOnly | Platform::Ui::Style::Exclamation);
        return;
    }
    // Hanging up and closing must not pull the port from under an exchange.
    // Asked for a clock by an exchange, there is nothing to release.
    SerialClk::BusyGuard guard(this);
    if (!guard && mustRelease())
        return;
    releaseSelectedClock();
    int row = TDBGrid1->currentIndex().row();
    if (row < 0)
        row = TDBGrid1->selectionModel()->selectedRows().value(0).row();
    const SerialClk::SerialClockRec clock = SerialClk::ClockFromRow(Data1->record(row));
    SerialClk::SelectClock(clock);
    frmMDI::instance()->sbrStatus->setPanel(3, SerialClk::ClockPanelText(clock));
    if (index == 1) {
        SerialClk::state().CommParm.DefaultClock = clock.ClockId;
        AppMain::SaveRegValue(QStringLiteral("COMM PARM"), QStringLiteral("DefaultClock"), clock.ClockId);
    }
}

void frmSerialClkSelect::cmdClear_Click()
{
    if (!hasMarkedRow())
        return;
    SerialClk::BusyGuard guard(this);
    if (!guard && mustRelease())
        return;
    TDBGrid1->clearSelection();
    releaseSelectedClock();
    SerialClk::ClearSelectedClock();
    frmMDI::instance()->sbrStatus->setPanel(3, SerialClk::ClockPanelText(SerialClk::state().SelClock));
    AppMain::CloseScreen(this);
}

void frmSerialClkSelect::closeEvent(QCloseEvent *event)
{
    if (LongOperation::deferClose(this, event))
        return;
    event->accept();
}
