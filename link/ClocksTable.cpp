#include "link/ClocksTable.h"

#include "app/AppMain.h"
#include "platform/db.h"

#include <QSqlError>
#include <QSqlTableModel>

namespace ClocksTable {

QSqlTableModel *open(QObject *parent, const char *const (&captions)[ColumnCount])
{
    auto *model = new QSqlTableModel(parent, AppMain::state().MainDb.handle());
    model->setTable(QStringLiteral("Clocks"));
    if (!model->select()) {
        const Platform::Error error = Platform::databaseError(model->lastError(), QStringLiteral("Clocks"));
        delete model;
        throw error;
    }
    for (int c = 0; c < ColumnCount; ++c)
        model->setHeaderData(c, Qt::Horizontal, QString::fromLatin1(captions[c]));
    return model;
}

} // namespace ClocksTable
