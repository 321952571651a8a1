#pragma once

#include <QHash>
#include <QSqlRecord>
#include <QSqlTableModel>

namespace Platform {
class Database;
}

// A clock table as its list edits it: the stored rows, then, when the list
// may add clocks, one empty line marked "*" that takes a new clock. What is
// typed into that line stays with the line until the clock is written whole,
// so moving along it never spreads one clock over several rows. Changes of
// stored rows are kept until they are written too.
class ClockListModel : public QSqlTableModel {
    Q_OBJECT
public:
    ClockListModel(const Platform::Database &db, const QString &table, bool newRowLine, QObject *parent);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // The column shows each stored value in the list by its name (stored "o" as "Odd").
    void setShownNames(int column, const QHash<QString, QString> &names);

    bool hasNewRowLine() const { return m_newRowLine; }
    bool isBlankRow(int row) const { return m_newRowLine && row == QSqlTableModel::rowCount(); }
    // A clock is being typed on the new-row line.
    bool newRowStarted() const { return !m_typed.isEmpty(); }
    // Starts a clock on the new-row line: it shows the table's defaults.
    void startNewRow();
    // Forgets the clock being typed on the new-row line.
    void discardNewRow();
    // The cursor leaves a clock typed on the new-row line: to another row, or
    // by Tab past its last cell.
    bool leavesNewRow(const QModelIndex &current, const QModelIndex &previous) const;
    // Tab past the last cell of a clock typed on the new-row line, which
    // wraps to the first cell of the same or another row: the clock is done
    // and the next one is typed on the new-row line.
    bool tabsPastNewRow(const QModelIndex &current, const QModelIndex &previous) const;
    // Writes the changed rows and the clock typed on the new-row line. When
    // the table refuses, the changes of stored rows are dropped, the clock
    // typed stays on the new-row line for correction, and `refusal` tells why.
    bool submitPending(QSqlError &refusal);
    // Drops the changes of stored rows; a clock being typed stays.
    void dropStoredChanges() { revertAll(); }
    // The clock being typed on the new-row line; empty when none is.
    const QSqlRecord &typedRow() const { return m_typed; }

private:
    void blankRowChanged();

    bool m_newRowLine;
    QSqlRecord m_defaults;   // a new clock's values before anything is typed
    QSqlRecord m_typed;      // empty while nothing is typed on the new-row line
    QHash<int, QHash<QString, QString>> m_names;
};
