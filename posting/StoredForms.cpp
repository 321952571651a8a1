#include "posting/StoredForms.h"

#include "platform/error.h"

namespace KovraDS {

namespace {

Platform::Error badForm(const QVariant &value, const QString &column, const char *form)
{
    return Platform::Error(Platform::ErrorNo::TypeMismatch,
                           QStringLiteral("The value '%1' of %2 is not a stored %3.")
                               .arg(value.toString(), column, QString::fromLatin1(form)));
}

bool digitsAt(const QString &text, std::initializer_list<int> positions)
{
    for (int i : positions) {
        if (!text.at(i).isDigit() || text.at(i).unicode() > 0x7F)
            return false;
    }
    return true;
}

} // namespace

QString DbDate(const QDate &date)
{
    return date.toString(QStringLiteral("yyyy-MM-dd"));
}

QString DbTime(const QTime &time)
{
    return QTime(time.hour(), time.minute()).toString(QStringLiteral("HH:mm:ss"));
}

QDate ReadDbDate(const QVariant &value, const QString &column)
{
    if (value.isNull())
        return QDate();
    const QString text = value.toString();
    if (value.typeId() != QMetaType::QString || text.size() != 10 || text[4] != QLatin1Char('-') ||
        text[7] != QLatin1Char('-') || !digitsAt(text, {0, 1, 2, 3, 5, 6, 8, 9}))
        throw badForm(value, column, "date");
    const QDate date(text.left(4).toInt(), text.mid(5, 2).toInt(), text.mid(8, 2).toInt());
    if (!date.isValid())
        throw badForm(value, column, "date");
    return date;
}

QTime ReadDbTime(const QVariant &value, const QString &column)
{
    if (value.isNull())
        return QTime();
    const QString text = value.toString();
    if (value.typeId() != QMetaType::QString || text.size() != 8 || text[2] != QLatin1Char(':') ||
        text[5] != QLatin1Char(':') || !digitsAt(text, {0, 1, 3, 4, 6, 7}))
        throw badForm(value, column, "time");
    const QTime time(text.left(2).toInt(), text.mid(3, 2).toInt(), text.mid(6, 2).toInt());
    if (!time.isValid())
        throw badForm(value, column, "time");
    return QTime(time.hour(), time.minute());
}

bool ReadDbBool(const QVariant &value)
{
    return !value.isNull() && value.toLongLong() != 0;
}

} // namespace KovraDS
