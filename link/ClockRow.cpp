#include "link/ClockRow.h"

#include "app/AppMain.h"

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

int Number(const QSqlRecord &row, const QString &field, const QString &clock, int least, int most)
{
    const int value = Number(row, field, clock);
    if (value < least || value > most)
        throw Platform::Error(Platform::ErrorNo::Overflow,
                              QStringLiteral("Clock %1: its %2 \"%3\" is not a number from %4 to %5.")
                                  .arg(clock, field, Text(row, field))
                                  .arg(least)
                                  .arg(most));
    return value;
}

void ShowRefusal(const Platform::Error &e)
{
    const Platform::ActiveError active(e);
    AppMain::ShowErrorMsg(QString(), e.description());
}

} // namespace ClockRow
