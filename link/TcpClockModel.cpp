#include "link/TcpClockModel.h"

#include "app/AppMain.h"
#include "platform/db.h"
#include "platform/error.h"
#include "platform/ui.h"

#include <QSqlError>
#include <QSqlField>
#include <QSqlIndex>
#include <QSqlRecord>

namespace {
const char *const kCaptions[] = {"Clock#", "Description", "IP", "Address", "", "", "Poll"};
constexpr int kHighestOctet = 255;

bool ValidOctet(const QVariant &value)
{
    bool number = false;
    const int octet = value.toString().trimmed().toInt(&number);
    return number && octet >= 0 && octet <= kHighestOctet;
}
} // namespace

TcpClockModel::TcpClockModel(const Platform::Database &db, bool editable, QObject *parent)
    : ClockListModel(db, QStringLiteral("TcpClocks"), editable, parent)
{
    // The table has no declared key; the clock number is unique and names the row.
    QSqlIndex key(QString(), QStringLiteral("ScreenID"));
    key.append(record().field(ScreenID));
    setPrimaryKey(key);
    setSort(ScreenID, Qt::AscendingOrder);
    for (int c = ScreenID; c <= Poll; ++c)
        setHeaderData(c, Qt::Horizontal, QString::fromLatin1(kCaptions[c]));
    select();
}

QVariant TcpClockModel::data(const QModelIndex &index, int role) const
{
    if (index.column() == Poll) {
        if (role == Qt::CheckStateRole)
            return ClockListModel::data(index, Qt::EditRole).toInt() != 0 ? Qt::Checked : Qt::Unchecked;
        if (role == Qt::DisplayRole || role == Qt::EditRole)
            return QVariant();
    }
    return ClockListModel::data(index, role);
}

bool TcpClockModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!hasNewRowLine() || !index.isValid())
        return false;
    if (index.column() == Poll && role == Qt::CheckStateRole)
        return ClockListModel::setData(index, value.toInt() == Qt::Checked ? 1 : 0, Qt::EditRole);
    if (role != Qt::EditRole)
        return false;
    // An emptied cell is no value at all, so a blank Clock# meets its rule.
    const bool empty = value.toString().trimmed().isEmpty();
    if (!empty && index.column() >= Octet1 && index.column() <= Octet4 && !ValidOctet(value)) {
        // It would go into the hosts file as an address no clock can have.
        Platform::Ui::msgBox(QStringLiteral("An octet of the IP address must be a number from 0 to 255!"),
                             Platform::Ui::Style::Exclamation);
        return false;
    }
    return ClockListModel::setData(index, empty ? QVariant() : value, role);
}

Qt::ItemFlags TcpClockModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    // Only the list that may add clocks edits them.
    if (!hasNewRowLine())
        return f;
    return index.column() == Poll ? f | Qt::ItemIsUserCheckable : f | Qt::ItemIsEditable;
}

QVariant TcpClockModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Vertical && role == Qt::DisplayRole)
        return isBlankRow(section) ? QStringLiteral("*") : QString();
    return ClockListModel::headerData(section, orientation, role);
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
    QSqlError error;
    if (submitPending(error))
        return true;
    const Platform::Error e = Platform::databaseError(error);
    Platform::ActiveError active(e);
    AppMain::ShowErrorMsg(QString(), messageFor(error));
    return false;
}
