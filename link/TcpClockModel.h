#pragma once

#include <QSqlTableModel>

namespace Platform {
class Database;
}

// The rows of TcpClocks by clock number, with the lists' captions. The
// editable list shows a blank last row that adds a clock when typed into,
// and keeps changes until a row is complete (writePending).
class TcpClockModel : public QSqlTableModel {
    Q_OBJECT
public:
    enum Column { ScreenID, Description, Octet1, Octet2, Octet3, Octet4, Poll };

    TcpClockModel(const Platform::Database &db, bool editable, QObject *parent);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    bool isBlankRow(int row) const { return m_editable && row == QSqlTableModel::rowCount(); }
    // Writes the changed rows; on an engine error shows the list's message
    // for it and drops the change. False when it was refused.
    bool writePending();
    // The list's message for an engine error of a row write.
    static QString messageFor(const QSqlError &error);

private:
    bool m_editable;
};
