#include "link/frmSerialClkCommParm.h"

#include "app/AppMain.h"
#include "app/Screen.h"
#include "link/ClockListDelegate.h"
#include "link/ClockListModel.h"
#include "link/ClocksTable.h"
#include "link/SerialClk.h"
#include "platform/db.h"
#include "platform/ui.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QSqlError>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <vector>

namespace {

using namespace ClocksTable;

const char *const kCaptions[ColumnCount] = {"Clock",    "Address",   "Controller", "Port",  "Baud Rate",
                                            "Parity",   "Data Bits", "Stop Bits",  "Phone#"};

struct Choice {
    QString shown;
    QVariant stored;
};

std::vector<Choice> numbers(int from, int to)
{
    std::vector<Choice> list;
    for (int n = from; n <= to; ++n)
        list.push_back({QString::number(n), n});
    return list;
}

std::vector<Choice> numbers(std::initializer_list<int> values)
{
    std::vector<Choice> list;
    for (int n : values)
        list.push_back({QString::number(n), n});
    return list;
}

const std::vector<Choice> kParities = {{QStringLiteral("Odd"), QStringLiteral("o")},
                                       {QStringLiteral("Even"), QStringLiteral("e")},
                                       {QStringLiteral("Mark"), QStringLiteral("m")},
                                       {QStringLiteral("Space"), QStringLiteral("s")},
                                       {QStringLiteral("None"), QStringLiteral("n")}};

// The values each column's drop-down offers; empty for the free-text columns.
std::vector<Choice> choicesOf(int column)
{
    switch (column) {
    case TermAddr: return numbers(1, 32);
    case CtrlAddr: return numbers(1, 8);
    case Port: return numbers(1, 16);
    case Baud: return numbers({1200, 2400, 4800, 9600, 19200});
    case Parity: return kParities;
    case DataBits: return numbers({7, 8});
    case StopBits: return numbers({1, 2});
    default: return {};
    }
}

constexpr int kTermAddrVisible = 8;
constexpr int kOtherVisible = 5;

const QString kRefusedRow = QStringLiteral(
    "An error has occurred. \r\n"
    "Please make sure all the following conditions are true:\r\n"
    "- The Clock field is not left blank.\r\n"
    "- The data entered for any of the fields does not exceed the size of the field.\r\n"
    "- No existing record has the same Clock identifier.");

// Drop-downs of the offered values; parity stored as its letter.
class SerialClockDelegate : public ClockListDelegate {
public:
    explicit SerialClockDelegate(frmSerialClkCommParm *form)
        : ClockListDelegate([form](int row) { return form->IsSelectedClock(row); }, form)
    {
    }

protected:
    QWidget *cellEditor(QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        const std::vector<Choice> choices = choicesOf(index.column());
        if (choices.empty())
            return QStyledItemDelegate::createEditor(parent, option, index);
        auto *combo = new QComboBox(parent);
        for (const Choice &c : choices)
            combo->addItem(c.shown, c.stored);
        combo->setMaxVisibleItems(index.column() == TermAddr ? kTermAddrVisible : kOtherVisible);
        return combo;
    }

public:
    void setEditorData(QWidget *editor, const QModelIndex &index) const override
    {
        if (auto *combo = qobject_cast<QComboBox *>(editor)) {
            const QString stored = index.data(Qt::EditRole).toString();
            for (int i = 0; i < combo->count(); ++i) {
                if (combo->itemData(i).toString() == stored)
                    combo->setCurrentIndex(i);
            }
            return;
        }
        QStyledItemDelegate::setEditorData(editor, index);
    }

    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override
    {
        if (auto *combo = qobject_cast<QComboBox *>(editor)) {
            model->setData(index, combo->currentData());
            return;
        }
        ClockListDelegate::setModelData(editor, model, index);
    }
};

} // namespace

frmSerialClkCommParm::frmSerialClkCommParm()
{
    setObjectName(QStringLiteral("frmSerialClkCommParm"));
    setWindowTitle(QStringLiteral("Communication Parameters"));

    TDBGrid1 = new QTableView(this);
    TDBGrid1->setObjectName(QStringLiteral("TDBGrid1"));
    TDBGrid1->setItemDelegate(new SerialClockDelegate(this));
    TDBGrid1->setSelectionBehavior(QAbstractItemView::SelectItems);
    TDBGrid1->horizontalHeader()->setSectionsClickable(true);
    TDBGrid1->setContextMenuPolicy(Qt::ActionsContextMenu);
    auto *addRow = new QAction(QStringLiteral("Add Clock"), TDBGrid1);
    addRow->setObjectName(QStringLiteral("actAddRow"));
    addRow->setShortcut(QKeySequence(Qt::Key_Insert));
    addRow->setShortcutContext(Qt::WidgetShortcut);
    auto *deleteRow = new QAction(QStringLiteral("Delete Clock"), TDBGrid1);
    deleteRow->setObjectName(QStringLiteral("actDeleteRow"));
    deleteRow->setShortcut(QKeySequence(QKeySequence::Delete));
    deleteRow->setShortcutContext(Qt::WidgetShortcut);
    TDBGrid1->addActions({addRow, deleteRow});

    cmdRefresh = new QPushButton(QStringLiteral("Refresh"), this);
    cmdRefresh->setObjectName(QStringLiteral("cmdRefresh"));
    cmdClose = new QPushButton(QStringLiteral("Close"), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdRefresh);
    buttons->addWidget(cmdClose);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(TDBGrid1);
    layout->addLayout(buttons);
    resize(720, 300);

    AppMain::GridScreenKeys(this, TDBGrid1, cmdClose);
    connect(cmdRefresh, &QPushButton::clicked, this, AppMain::Guarded([this] { cmdRefresh_Click(); }));
    connect(cmdClose, &QPushButton::clicked, this, AppMain::Guarded([this] { AppMain::CloseScreen(this); }));
    connect(addRow, &QAction::triggered, this, AppMain::Guarded([this] { AddRow(); }));
    connect(deleteRow, &QAction::triggered, this, AppMain::Guarded([this] { DeleteRow(); }));
    connect(TDBGrid1->horizontalHeader(), &QHeaderView::sectionClicked, this,
            AppMain::Guarded([this](int column) { TDBGrid1_HeadClick(column); }));

    try {
        Data1 = ClocksTable::open(this, kCaptions, true);
        QHash<QString, QString> parityNames;
        for (const Choice &c : kParities)
            parityNames.insert(c.stored.toString(), c.shown);
        Data1->setShownNames(Parity, parityNames);
        TDBGrid1->setModel(Data1);
        AppMain::ShowAllColumns(TDBGrid1);
        // The typed columns grow with what is typed into them.
        for (int column : {int(ClockId), int(PhoneNo)})
            TDBGrid1->horizontalHeader()->setSectionResizeMode(column, QHeaderView::ResizeToContents);
        // A completed edit of a stored row is written at once; a new clock
        // when the user leaves its line, so its cells can be filled first.
        connect(Data1, &QSqlTableModel::dataChanged, this, [this](const QModelIndex &topLeft) {
            if (!Data1->isBlankRow(topLeft.row()))
                QTimer::singleShot(0, this, AppMain::Guarded([this] { WritePendingRow(); }));
        });
        // Tab past its last cell stores it too, and the cursor waits on the
        // new-row line for the next; a clock refused waits there to be mended.
        connect(TDBGrid1->selectionModel(), &QItemSelectionModel::currentChanged, this,
                [this](const QModelIndex &current, const QModelIndex &previous) {
                    if (!Data1->leavesNewRow(current, previous))
                        return;
                    const bool nextClock = Data1->tabsPastNewRow(current, previous);
                    QTimer::singleShot(0, this, AppMain::Guarded([this, nextClock] {
                        const bool written = WritePendingRow();
                        if (nextClock || !written)
                            TDBGrid1->setCurrentIndex(Data1->index(Data1->rowCount() - 1, ClockId));
                    }));
                });
    } catch (const Platform::Error &e) {
        Platform::ActiveError active(e);
        AppMain::ShowErrorMsg(QString(), e.description());
    }
}

frmSerialClkCommParm::~frmSerialClkCommParm() = default;

QString frmSerialClkCommParm::clockOfRow(int row) const
{
    return Data1 ? Data1->data(Data1->index(row, ClockId)).toString() : QString();
}

bool frmSerialClkCommParm::IsSelectedClock(int row) const
{
    const QString selected = SerialClk::state().SelClock.ClockId;
    // Identifiers are unique without regard to case.
    return !selected.isEmpty() && !Data1->isBlankRow(row) &&
           clockOfRow(row).compare(selected, Qt::CaseInsensitive) == 0;
}

void frmSerialClkCommParm::cmdRefresh_Click()
{
    if (!Data1)
        return;
    WritePendingRow();
    Data1->select();
}

void frmSerialClkCommParm::AddRow()
{
    if (!Data1 || !WritePendingRow())
        return;
    const QModelIndex clock = Data1->index(Data1->rowCount() - 1, ClockId);
    Data1->startNewRow();
    TDBGrid1->setCurrentIndex(clock);
    TDBGrid1->edit(clock);
}

void frmSerialClkCommParm::DeleteRow()
{
    const int row = TDBGrid1->currentIndex().row();
    if (!Data1 || row < 0)
        return;
    if (IsSelectedClock(row)) {
        Platform::Ui::msgBox(QStringLiteral("You cannot delete the selected clock!"));
        return;
    }
    if (Data1->isBlankRow(row)) {
        Data1->discardNewRow();
        return;
    }
    if (!WritePendingRow())
        return;
    Data1->removeRow(row);
    WritePendingRow();
}

bool frmSerialClkCommParm::WritePendingRow()
{
    QSqlError refusal;
    if (!Data1 || Data1->submitPending(refusal))
        return true;
    Data1->select();
    Platform::Ui::msgBox(kRefusedRow, Platform::Ui::Style::OkOnly | Platform::Ui::Style::Critical);
    return false;
}

void frmSerialClkCommParm::TDBGrid1_HeadClick(int column)
{
    if (!Data1)
        return;
    WritePendingRow();
    Data1->setSort(column, Qt::AscendingOrder);
    Data1->select();
}

void frmSerialClkCommParm::closeEvent(QCloseEvent *event)
{
    AppMain::Guard([this] { WritePendingRow(); });
    event->accept();
}
