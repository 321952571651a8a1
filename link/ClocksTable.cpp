#include "link/ClocksTable.h"

#include "app/AppMain.h"
#include "link/ClockListModel.h"
#include "platform/db.h"

#include <QSqlError>

namespace ClocksTable {

ClockListModel *open(QObject *parent, const char *const (&captions)[ColumnCount], bool newRowLine)
{
    auto *model = new ClockListModel(AppMain::state().MainDb, QStringLiteral("Clocks"), newRowLine, parent);
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
