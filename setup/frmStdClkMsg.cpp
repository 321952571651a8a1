#include "setup/frmStdClkMsg.h"

#include "app/AppMain.h"
#include "app/Screen.h"
#include "platform/ansi.h"
#include "platform/db.h"
#include "platform/error.h"
#include "setup/ClkMsgs.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlError>
#include <QSqlField>
#include <QSqlIndex>
#include <QSqlRecord>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>

namespace {

constexpr int kPromptNoLength = 3;

void showError(const Platform::Error &e)
{
    Platform::ActiveError active(e);
    AppMain::ShowErrorMsg(QString(), e.description());
}

// Editors that cannot take more than the column holds.
class ClkMsgDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QWidget *editor = QStyledItemDelegate::createEditor(parent, option, index);
        if (auto *line = qobject_cast<QLineEdit *>(editor)) {
            if (index.column() == ClkMsgModel::PromptNo)
                line->setMaxLength(kPromptNoLength);
            else if (index.column() == ClkMsgModel::Prompt)
                line->setMaxLength(ClkSetup::kPromptLength);
        }
        return editor;
    }
};

} // namespace

ClkMsgModel::ClkMsgModel(QObject *parent, const QSqlDatabase &db, const QString &targetType)
    : QSqlTableModel(parent, db), m_targetType(targetType)
{
    setObjectName(QStringLiteral("Data1"));
    setTable(QStringLiteral("ClkMsg"));
    if (lastError().isValid())
        throw Platform::databaseError(lastError());
    // The prompt number is unique: it names the row an edit changes.
    QSqlIndex key(QString(), QStringLiteral("PromptNo"));
    key.append(record().field(PromptNo));
    setPrimaryKey(key);
    setEditStrategy(OnFieldChange);
    setFilter(ClkSetup::ClockPromptFilter(targetType));
    setSort(PromptNo, Qt::AscendingOrder);
    setHeaderData(PromptName, Qt::Horizontal, QStringLiteral("Prompt Name"));
    setHeaderData(PromptNo, Qt::Horizontal, QStringLiteral("Prompt#"));
    setHeaderData(Prompt, Qt::Horizontal, QStringLiteral("Prompt"));
    if (!select())
        throw Platform::databaseError(lastError());
    while (canFetchMore())
        fetchMore();
}

int ClkMsgModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : QSqlTableModel::rowCount(parent) + 1;
}

QVariant ClkMsgModel::data(const QModelIndex &index, int role) const
{
    if (index.isValid() && index.row() == newRow()) {
        if (role == Qt::DisplayRole || role == Qt::EditRole)
            return m_new[index.column()];
        return QVariant();
    }
    return QSqlTableModel::data(index, role);
}

Qt::ItemFlags ClkMsgModel::flags(const QModelIndex &index) const
{
    if (index.isValid() && index.row() == newRow())
        return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
    return QSqlTableModel::flags(index);
}

QVariant ClkMsgModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Vertical && section == newRow())
        return role == Qt::DisplayRole ? QVariant(QStringLiteral("*")) : QVariant();
    return QSqlTableModel::headerData(section, orientation, role);
}

void ClkMsgModel::check(int column, const QString &value) const
{
    Platform::Ansi::checkTyped(value);
    if (column == PromptNo)
        ClkSetup::CheckClockPromptNo(value, m_targetType);
    if (column == Prompt && value.size() > ClkSetup::kPromptLength)
        throw Platform::Error(Platform::ErrorNo::InvalidProcedureCall,
                              QStringLiteral("A prompt holds at most %1 characters.").arg(ClkSetup::kPromptLength));
}

bool ClkMsgModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!index.isValid() || role != Qt::EditRole)
        return QSqlTableModel::setData(index, value, role);
    try {
        check(index.column(), value.toString());
    } catch (const Platform::Error &e) {
        showError(e);
        return false;
    }
    if (index.row() == newRow()) {
        m_new[index.column()] = value.toString();
        emit dataChanged(index, index);
        return index.column() == PromptNo ? storeNewRow() : true;
    }
    if (QSqlTableModel::setData(index, value, role))
        return true;
    // The table refused it (a prompt number already taken): say so, show the stored row again.
    const Platform::Error e = Platform::databaseError(lastError());
    revertRow(index.row());
    showError(e);
    return false;
}

bool ClkMsgModel::storeNewRow()
{
    try {
        AppMain::state().MainDb.execute(
            QStringLiteral("INSERT INTO ClkMsg (PromptName, PromptNo, Prompt) VALUES (?, ?, ?)"),
            {m_new[PromptName], m_new[PromptNo], m_new[Prompt]});
    } catch (const Platform::Error &e) {
        m_new[PromptNo].clear();
        const QModelIndex at = index(newRow(), PromptNo);
        emit dataChanged(at, at);
        showError(e);
        return false;
    }
    m_new = {};
    select();
    while (canFetchMore())
        fetchMore();
    return true;
}

frmStdClkMsg::frmStdClkMsg()
{
    setObjectName(QStringLiteral("frmStdClkMsg"));
    setWindowTitle(QStringLiteral("Clock Messages Setup"));

    TDBGrid1 = new QTableView;
    TDBGrid1->setObjectName(QStringLiteral("TDBGrid1"));
    TDBGrid1->setItemDelegate(new ClkMsgDelegate(TDBGrid1));
    cmdClose = new QPushButton(QStringLiteral("Close"));
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    connect(cmdClose, &QPushButton::clicked, this, AppMain::Guarded([this] { AppMain::CloseScreen(this); }));

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdClose);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(TDBGrid1);
    layout->addLayout(buttons);
    // Room for the three columns: the main window sizes a screen to what it asks for.
    TDBGrid1->setMinimumSize(560, 300);

    AppMain::Guard([this] {
        auto *model = new ClkMsgModel(this, AppMain::state().MainDb.handle(), AppMain::settings().TargetType);
        Data1 = model;
        TDBGrid1->setModel(model);
        TDBGrid1->horizontalHeader()->setSectionResizeMode(ClkMsgModel::Prompt, QHeaderView::Stretch);
    });
}
