#include "link/ClockRow.h"

#include "platform/error.h"

#include <QSqlRecord>
#include <QVariant>

namespace ClockRow {

QString Text(const QSqlRecord &row, const QString &field)
{
    const int i = row.indexOf(field);
    return i < 0 || row.isNull(i) ? QString() : row.value(i).toString();
}

int Number(const QSqlRecord &row, const QString &field, const QString &clock)
{
    const QString text = Text(row, field);
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (!ok)
        throw Platform::Error(Platform::ErrorNo::TypeMismatch,
                              QStringLiteral("Clock %1: its %2 \"%3\" is not a number.").arg(clock, field, text));
    return value;
}

} // namespace ClockRow
