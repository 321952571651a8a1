#include "link/frmSerialClkCommParm.h"

#include "app/AppMain.h"
#include "app/Screen.h"
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
#include <QSqlField>
#include <QSqlRecord>
#include <QSqlTableModel>
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

// Drop-downs of the offered values; parity shown by name, stored as its letter.
class ClockListDelegate : public QStyledItemDelegate {
public:
    explicit ClockListDelegate(frmSerialClkCommParm *form) : QStyledItemDelegate(form), m_form(form) {}

    QString displayText(const QVariant &value, const QLocale &locale) const override
    {
        for (const Choice &c : kParities) {
            if (value.toString() == c.stored.toString())
                return c.shown;
        }
        return QStyledItemDelegate::displayText(value, locale);
    }

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        if (m_form->RefuseEdit(index.row()))
            return nullptr;
        const std::vector<Choice> choices = choicesOf(index.column());
        if (choices.empty())
            return QStyledItemDelegate::createEditor(parent, option, index);
        auto *combo = new QComboBox(parent);
        for (const Choice &c : choices)
            combo->addItem(c.shown, c.stored);
        combo->setMaxVisibleItems(index.column() == TermAddr ? kTermAddrVisible : kOtherVisible);
        return combo;
    }

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
        QStyledItemDelegate::setModelData(editor, model, index);
    }

private:
    frmSerialClkCommParm *m_form;
};

// The table's own column defaults, so a new row shows what storing it gives.
std::vector<std::pair<QString, QVariant>> tableDefaults()
{
    std::vector<std::pair<QString, QVariant>> defaults;
    const Platform::Snapshot columns = AppMain::state().MainDb.snapshot(QStringLiteral("PRAGMA table_info(\"Clocks\")"));
    for (const QSqlRecord &column : columns.rows()) {
        const QVariant value = column.value(QStringLiteral("dflt_value"));
        if (value.isNull())
            continue;
        QString text = value.toString();
        if (text.size() >= 2 && text.startsWith(QLatin1Char('\'')) && text.endsWith(QLatin1Char('\'')))
            text = text.mid(1, text.size() - 2).replace(QStringLiteral("''"), QStringLiteral("'"));
        defaults.emplace_back(column.value(QStringLiteral("name")).toString(), text);
    }
    return defaults;
}

} // namespace

frmSerialClkCommParm::frmSerialClkCommParm()
{
    setObjectName(QStringLiteral("frmSerialClkCommParm"));
    setWindowTitle(QStringLiteral("Communication Parameters"));

    TDBGrid1 = new QTableView(this);
    TDBGrid1->setObjectName(QStringLiteral("TDBGrid1"));
    TDBGrid1->setItemDelegate(new ClockListDelegate(this));
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

    connect(cmdRefresh, &QPushButton::clicked, this, AppMain::Guarded([this] { cmdRefresh_Click(); }));
    connect(cmdClose, &QPushButton::clicked, this, AppMain::Guarded([this] { AppMain::CloseScreen(this); }));
    connect(addRow, &QAction::triggered, this, AppMain::Guarded([this] { AddRow(); }));
    connect(deleteRow, &QAction::triggered, this, AppMain::Guarded([this] { DeleteRow(); }));
    connect(TDBGrid1->horizontalHeader(), &QHeaderView::sectionClicked, this,
            AppMain::Guarded([this](int column) { TDBGrid1_HeadClick(column); }));

    try {
        Data1 = ClocksTable::open(this, kCaptions);
        Data1->setEditStrategy(QSqlTableModel::OnManualSubmit);
        TDBGrid1->setModel(Data1);
        const auto defaults = tableDefaults();
        connect(Data1, &QSqlTableModel::primeInsert, this, [defaults](int, QSqlRecord &record) {
            for (const auto &[name, value] : defaults) {
                record.setValue(name, value);
                record.setGenerated(name, true);
            }
        });
        // A completed edit of a stored row is written at once; a new row
        // when the user leaves it, so its cells can be filled first.
        connect(Data1, &QSqlTableModel::dataChanged, this, [this](const QModelIndex &topLeft) {
            if (topLeft.row() != m_newRow)
                QTimer::singleShot(0, this, AppMain::Guarded([this] { WritePendingRow(); }));
        });
        connect(TDBGrid1->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
                [this](const QModelIndex &, const QModelIndex &previous) {
                    if (m_newRow >= 0 && previous.row() == m_newRow)
                        QTimer::singleShot(0, this, AppMain::Guarded([this] { WritePendingRow(); }));
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

bool frmSerialClkCommParm::isSelectedClock(int row) const
{
    const QString selected = SerialClk::state().SelClock.ClockId;
    // Identifiers are unique without regard to case.
    return !selected.isEmpty() && row != m_newRow && clockOfRow(row).compare(selected, Qt::CaseInsensitive) == 0;
}

bool frmSerialClkCommParm::RefuseEdit(int row)
{
    if (!isSelectedClock(row))
        return false;
    Platform::Ui::msgBox(QStringLiteral("You cannot edit the selected clock data!"));
    return true;
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
    const int row = Data1->rowCount();
    if (!Data1->insertRow(row))
        return;
    m_newRow = row;
    TDBGrid1->setCurrentIndex(Data1->index(row, ClockId));
    TDBGrid1->edit(Data1->index(row, ClockId));
}

void frmSerialClkCommParm::DeleteRow()
{
    const int row = TDBGrid1->currentIndex().row();
    if (!Data1 || row < 0)
        return;
    if (isSelectedClock(row)) {
        Platform::Ui::msgBox(QStringLiteral("You cannot delete the selected clock!"));
        return;
    }
    if (row == m_newRow) {
        Data1->revertAll();
        m_newRow = -1;
        return;
    }
    if (!WritePendingRow())
        return;
    Data1->removeRow(row);
    WritePendingRow();
}

bool frmSerialClkCommParm::WritePendingRow()
{
    if (!Data1 || !Data1->isDirty())
        return true;
    if (Data1->submitAll()) {
        m_newRow = -1;
        return true;
    }
    Data1->revertAll();
    m_newRow = -1;
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
