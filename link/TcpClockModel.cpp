#include "link/TcpClockModel.h"

#include "app/AppMain.h"
#include "link/TCPIP.h"
#include "platform/db.h"
#include "platform/error.h"
#include "platform/ui.h"

#include <QSqlError>
#include <QSqlField>
#include <QSqlIndex>
#include <QSqlRecord>

namespace {
const char *const kCaptions[] = {"Clock#", "Description", "IP", "Address", "", "", "Poll"};
const QString kBlankFields = QStringLiteral("Field(s) cannot be left blank!");
// The engine's number for a field that may not be left blank.
constexpr int kBlankFieldError = 3315;

bool isOctet(int column)
{
    return column >= TcpClockModel::Octet1 && column <= TcpClockModel::Octet4;
}

bool blankOctet(const QSqlRecord &row)
{
    for (int c = TcpClockModel::Octet1; c <= TcpClockModel::Octet4; ++c) {
        if (row.isNull(c) || row.value(c).toString().trimmed().isEmpty())
            return true;
    }
    return false;
}
} // namespace

bool TcpClockModel::refusesOctet(const QModelIndex &index, const QString &typed) const
{
    if (!isOctet(index.column()))
        return false;
    if (typed.trimmed().isEmpty()) {
        // A new clock's octets are filled in any order; its write checks them all.
        if (isBlankRow(index.row()))
            return false;
        refuseBlankFields();
        return true;
    }
    bool number = false;
    const int octet = typed.trimmed().toInt(&number);
    if (number && octet >= 0 && octet <= TCPIP::kHighestOctet)
        return false;
    // It would go into the hosts file as an address no clock can have.
    Platform::Ui::msgBox(QStringLiteral("An octet of the IP address must be a number from 0 to 255!"),
                         Platform::Ui::Style::Exclamation);
    return true;
}

void TcpClockModel::refuseBlankFields()
{
    const Platform::ActiveError active(kBlankFieldError, kBlankFields);
    AppMain::ShowErrorMsg(QString(), kBlankFields);
}

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
    // An emptied cell is no value at all, so a blank Clock# or octet meets its rule.
    const bool empty = value.toString().trimmed().isEmpty();
    if (refusesOctet(index, value.toString()))
        return false;
    return ClockListModel::setData(index, empty ? QVariant() : value, role);
}

Qt::ItemFlags TcpClockModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    // Only the list that may add clocks edits them.
    if (!hasNewRowLine())
        return f;
    // The check box is ticked through setData, which takes only what may be edited.
    return index.column() == Poll ? f | Qt::ItemIsUserCheckable | Qt::ItemIsEditable : f | Qt::ItemIsEditable;
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
    // The table has no rule for the octets: a new clock without its whole
    // address is refused here, a stored one's octet is never emptied (setData).
    // One without a number is the table's to refuse, for that first.
    const QSqlRecord &typed = typedRow();
    if (!typed.isEmpty() && !typed.isNull(ScreenID) && blankOctet(typed)) {
        dropStoredChanges();
        refuseBlankFields();
        return false;
    }
    QSqlError error;
    if (submitPending(error))
        return true;
    const Platform::Error e = Platform::databaseError(error);
    Platform::ActiveError active(e);
    AppMain::ShowErrorMsg(QString(), messageFor(error));
    return false;
}
