#include "link/TcpClockModel.h"

#include "app/AppMain.h"
#include "platform/db.h"
#include "platform/error.h"

#include <QSqlError>
#include <QSqlField>
#include <QSqlIndex>
#include <QSqlRecord>

namespace {
const char *const kCaptions[] = {"Clock#", "Description", "IP", "Address", "", "", "Poll"};
}

TcpClockModel::TcpClockModel(const Platform::Database &db, bool editable, QObject *parent)
    : QSqlTableModel(parent, db.handle()), m_editable(editable)
{
    setTable(QStringLiteral("TcpClocks"));
    // The table has no declared key; the clock number is unique and names the row.
    QSqlIndex key(QString(), QStringLiteral("ScreenID"));
    key.append(record().field(ScreenID));
    setPrimaryKey(key);
    setEditStrategy(QSqlTableModel::OnManualSubmit);
    setSort(ScreenID, Qt::AscendingOrder);
    for (int c = ScreenID; c <= Poll; ++c)
        setHeaderData(c, Qt::Horizontal, QString::fromLatin1(kCaptions[c]));
    select();
}

int TcpClockModel::rowCount(const QModelIndex &parent) const
{
    return QSqlTableModel::rowCount(parent) + (m_editable && !parent.isValid() ? 1 : 0);
}

QVariant TcpClockModel::data(const QModelIndex &index, int role) const
{
    if (isBlankRow(index.row()))
        return index.column() == Poll && role == Qt::CheckStateRole ? QVariant(Qt::Unchecked) : QVariant();
    if (index.column() == Poll) {
        if (role == Qt::CheckStateRole)
            return QSqlTableModel::data(index).toInt() != 0 ? Qt::Checked : Qt::Unchecked;
        if (role == Qt::DisplayRole || role == Qt::EditRole)
            return QVariant();
    }
    return QSqlTableModel::data(index, role);
}

bool TcpClockModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!m_editable || !index.isValid())
        return false;
    QModelIndex target = index;
    if (isBlankRow(index.row())) {
        if (!insertRow(index.row()))
            return false;
        target = this->index(index.row(), index.column());
        setData(this->index(index.row(), Poll), 0, Qt::EditRole);
    }
    if (target.column() == Poll && role == Qt::CheckStateRole)
        return QSqlTableModel::setData(target, value.toInt() == Qt::Checked ? 1 : 0, Qt::EditRole);
    if (role != Qt::EditRole)
        return false;
    // An emptied cell is no value at all, so a blank Clock# meets its rule.
    const bool empty = value.toString().trimmed().isEmpty();
    return QSqlTableModel::setData(target, empty ? QVariant() : value, role);
}

Qt::ItemFlags TcpClockModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (!m_editable)
        return f;
    return index.column() == Poll ? f | Qt::ItemIsUserCheckable : f | Qt::ItemIsEditable;
}

QVariant TcpClockModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Vertical && role == Qt::DisplayRole)
        return isBlankRow(section) ? QStringLiteral("*") : QString();
    return QSqlTableModel::headerData(section, orientation, role);
}

QString TcpClockModel::messageFor(const QSqlError &error)
{
    const QString text = error.databaseText();
    if (text.contains(QLatin1String("NOT NULL")) && text.contains(QLatin1String("ScreenID")))
        return QStringLiteral("The Clock# field cannot be left blank!");
    if (text.contains(QLatin1String("UNIQUE")))
        return QStringLiteral("Cannot add or change record. An existing record has the same Clock#");
    return error.text();
}

bool TcpClockModel::writePending()
{
    if (!isDirty())
        return true;
    if (submitAll())
        return true;
    const QSqlError error = lastError();
    revertAll();
    const Platform::Error e = Platform::databaseError(error);
    Platform::ActiveError active(e);
    AppMain::ShowErrorMsg(QString(), messageFor(error));
    return false;
}
