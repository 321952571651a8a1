#pragma once

#include "link/ClockListModel.h"

namespace Platform {
class Database;
}

// The rows of TcpClocks by clock number, with the lists' captions. The
// editable list shows the new-row line and keeps changes until they are
// written (writePending).
class TcpClockModel : public ClockListModel {
    Q_OBJECT
public:
    enum Column { ScreenID, Description, Octet1, Octet2, Octet3, Octet4, Poll };
    // The widest octet: every column of the lists has room for it.
    static inline const QString kWidestOctet = QStringLiteral("255");

    TcpClockModel(const Platform::Database &db, bool editable, QObject *parent);

    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Writes the changed rows and the new clock. A clock without its whole
    // address, or one the table refuses, shows the list's message for it;
    // the changes of stored rows are dropped, a new clock stays on its line.
    // False when it was refused.
    bool writePending();
    // True, after its box, when `typed` cannot go into the cell `index`: an
    // octet is a number from 0 to 255, and a stored clock's is never emptied.
    bool refusesOctet(const QModelIndex &index, const QString &typed) const;

private:
    static void refuseBlankFields();
    // The list's message for an engine error of a row write.
    static QString messageFor(const QSqlError &error);
};
