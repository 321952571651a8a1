#include "link/ClockListModel.h"

#include "platform/db.h"

#include <QSqlError>
#include <QSqlField>

ClockListModel::ClockListModel(const Platform::Database &db, const QString &table, bool newRowLine, QObject *parent)
    : QSqlTableModel(parent, db.handle()), m_newRowLine(newRowLine)
{
    setTable(table);
    setEditStrategy(QSqlTableModel::OnManualSubmit);
    m_defaults = record();
    if (!newRowLine)
        return;
    // The table's own column defaults, so a new clock shows what storing it gives.
    const Platform::Snapshot columns = db.snapshot(QStringLiteral("PRAGMA table_info(%1)").arg(Platform::QuotedName(table)));
    for (const QSqlRecord &column : columns.rows()) {
        const QVariant value = column.value(QStringLiteral("dflt_value"));
        const QString name = column.value(QStringLiteral("name")).toString();
        if (value.isNull() || m_defaults.indexOf(name) < 0)
            continue;
        QString text = value.toString();
        if (text.size() >= 2 && text.startsWith(QLatin1Char('\'')) && text.endsWith(QLatin1Char('\'')))
            text = text.mid(1, text.size() - 2).replace(QStringLiteral("''"), QStringLiteral("'"));
        m_defaults.setValue(name, text);
        m_defaults.setGenerated(name, true);
    }
}

int ClockListModel::rowCount(const QModelIndex &parent) const
{
    return QSqlTableModel::rowCount(parent) + (m_newRowLine && !parent.isValid() ? 1 : 0);
}

QVariant ClockListModel::data(const QModelIndex &index, int role) const
{
    QVariant value;
    if (!isBlankRow(index.row()))
        value = QSqlTableModel::data(index, role);
    else if ((role == Qt::DisplayRole || role == Qt::EditRole) && !m_typed.isEmpty())
        value = m_typed.value(index.column());
    if (role == Qt::DisplayRole && m_names.contains(index.column()))
        return m_names[index.column()].value(value.toString(), value.toString());
    return value;
}

void ClockListModel::setShownNames(int column, const QHash<QString, QString> &names)
{
    m_names[column] = names;
}

bool ClockListModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!index.isValid() || !isBlankRow(index.row()))
        return QSqlTableModel::setData(index, value, role);
    if (role != Qt::EditRole)
        return false;
    if (m_typed.isEmpty())
        startNewRow();
    m_typed.setValue(index.column(), value);
    m_typed.setGenerated(index.column(), true);
    emit dataChanged(index, index);
    return true;
}

Qt::ItemFlags ClockListModel::flags(const QModelIndex &index) const
{
    if (isBlankRow(index.row()))
        return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
    return QSqlTableModel::flags(index);
}

QVariant ClockListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Vertical && isBlankRow(section))
        return role == Qt::DisplayRole ? QVariant(QStringLiteral("*")) : QVariant();
    return QSqlTableModel::headerData(section, orientation, role);
}

void ClockListModel::startNewRow()
{
    if (!m_newRowLine || !m_typed.isEmpty())
        return;
    m_typed = m_defaults;
    blankRowChanged();
}

void ClockListModel::discardNewRow()
{
    if (m_typed.isEmpty())
        return;
    m_typed = QSqlRecord();
    blankRowChanged();
}

bool ClockListModel::leavesNewRow(const QModelIndex &current, const QModelIndex &previous) const
{
    if (!newRowStarted() || !isBlankRow(previous.row()))
        return false;
    return current.row() != previous.row() || tabsPastNewRow(current, previous);
}

bool ClockListModel::tabsPastNewRow(const QModelIndex &current, const QModelIndex &previous) const
{
    return newRowStarted() && isBlankRow(previous.row()) && previous.column() == columnCount() - 1 &&
           current.column() == 0;
}

void ClockListModel::blankRowChanged()
{
    const int row = QSqlTableModel::rowCount();
    emit dataChanged(index(row, 0), index(row, columnCount() - 1));
}

bool ClockListModel::submitPending(QSqlError &refusal)
{
    const QSqlRecord typed = m_typed;
    if (!typed.isEmpty()) {
        m_typed = QSqlRecord();
        // Into the stored rows, ahead of the new-row line; written with the other changes.
        insertRecord(QSqlTableModel::rowCount(), typed);
    }
    if (!isDirty() || submitAll())
        return true;
    refusal = lastError();
    revertAll();
    // What was typed is not lost to a refusal: it waits on its line to be mended.
    m_typed = typed;
    blankRowChanged();
    return false;
}
