#include "posting/StoredForms.h"

#include "platform/error.h"

#include <algorithm>

namespace KovraDS {

namespace {

constexpr int kLastFourDigitYear = 9999;

Platform::Error badForm(const QVariant &value, const QString &column, const char *form)
{
    return Platform::Error(Platform::ErrorNo::TypeMismatch,
                           QStringLiteral("The value '%1' of %2 is not a stored %3.")
                               .arg(value.toString(), column, QString::fromLatin1(form)));
}

int code(QChar c)
{
    return c.unicode();
}

int code(char c)
{
    return static_cast<unsigned char>(c);
}

// The number of two ASCII digits at i, or -1.
template <typename Text>
int twoDigits(const Text &text, qsizetype i)
{
    const int a = code(text[i]), b = code(text[i + 1]);
    if (a < '0' || a > '9' || b < '0' || b > '9')
        return -1;
    return (a - '0') * 10 + (b - '0');
}

// YYYY-MM-DD: the date, or an invalid one.
template <typename Text>
QDate parseDate(const Text &text)
{
    if (text.size() != 10 || code(text[4]) != '-' || code(text[7]) != '-')
        return QDate();
    const int century = twoDigits(text, 0), year = twoDigits(text, 2), month = twoDigits(text, 5), day = twoDigits(text, 8);
    if (century < 0 || year < 0 || month < 0 || day < 0)
        return QDate();
    return QDate(century * 100 + year, month, day);
}

// HH:MM:SS: the time in whole minutes, or an invalid one.
template <typename Text>
QTime parseTime(const Text &text)
{
    if (text.size() != 8 || code(text[2]) != ':' || code(text[5]) != ':')
        return QTime();
    const int hour = twoDigits(text, 0), minute = twoDigits(text, 3), second = twoDigits(text, 6);
    if (hour < 0 || minute < 0 || second < 0 || !QTime::isValid(hour, minute, second))
        return QTime();
    return QTime(hour, minute);
}

void putDigits(char *out, int value, int digits)
{
    for (int i = digits - 1; i >= 0; --i, value /= 10)
        out[i] = char('0' + value % 10);
}

} // namespace

StoredText DbDateText(const QDate &date)
{
    StoredText text;
    int year = 0, month = 0, day = 0;
    date.getDate(&year, &month, &day);
    if (!date.isValid())
        return text;
    if (year < 1 || year > kLastFourDigitYear) {
        // Outside four digits the text is whatever the date's own form gives.
        const QByteArray other = date.toString(QStringLiteral("yyyy-MM-dd")).toLatin1().left(sizeof text.m_bytes);
        std::copy(other.begin(), other.end(), text.m_bytes);
        text.m_size = other.size();
        return text;
    }
    putDigits(text.m_bytes, year, 4);
    text.m_bytes[4] = '-';
    putDigits(text.m_bytes + 5, month, 2);
    text.m_bytes[7] = '-';
    putDigits(text.m_bytes + 8, day, 2);
    text.m_size = 10;
    return text;
}

StoredText DbTimeText(const QTime &time)
{
    StoredText text;
    if (!time.isValid())
        return text;
    putDigits(text.m_bytes, time.hour(), 2);
    text.m_bytes[2] = ':';
    putDigits(text.m_bytes + 3, time.minute(), 2);
    std::copy_n(":00", 3, text.m_bytes + 5);
    text.m_size = 8;
    return text;
}

QString DbDate(const QDate &date)
{
    if (!date.isValid())
        return QString();
    return QString::fromLatin1(QByteArrayView(DbDateText(date)));
}

QString DbTime(const QTime &time)
{
    if (!time.isValid())
        return QString();
    return QString::fromLatin1(QByteArrayView(DbTimeText(time)));
}

QDate ReadDbDate(const QVariant &value, const QString &column)
{
    if (value.isNull())
        return QDate();
    const QDate date = value.typeId() == QMetaType::QString ? parseDate(value.toString()) : QDate();
    if (!date.isValid())
        throw badForm(value, column, "date");
    return date;
}

QTime ReadDbTime(const QVariant &value, const QString &column)
{
    if (value.isNull())
        return QTime();
    const QTime time = value.typeId() == QMetaType::QString ? parseTime(value.toString()) : QTime();
    if (!time.isValid())
        throw badForm(value, column, "time");
    return time;
}

// A text in the stored form is read in place; anything else (Null, another form) as a value.
QDate ReadDbDate(const Platform::Database::EngineStatement &row, int index, const QString &column)
{
    if (const QDate date = row.isText(index) ? parseDate(row.text(index)) : QDate(); date.isValid())
        return date;
    return ReadDbDate(row.value(index), column);
}

QTime ReadDbTime(const Platform::Database::EngineStatement &row, int index, const QString &column)
{
    if (const QTime time = row.isText(index) ? parseTime(row.text(index)) : QTime(); time.isValid())
        return time;
    return ReadDbTime(row.value(index), column);
}

bool ReadDbBool(const QVariant &value)
{
    return !value.isNull() && value.toLongLong() != 0;
}

} // namespace KovraDS
