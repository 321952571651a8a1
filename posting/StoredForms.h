#pragma once

#include "platform/db.h"

#include <QByteArrayView>
#include <QDate>
#include <QString>
#include <QTime>
#include <QVariant>

// The forms in which the product databases store dates, times and Booleans:
// dates TEXT YYYY-MM-DD, times TEXT HH:MM:SS, Booleans INTEGER 1/0. Every
// date and time is bound through these, never as a date object (whose
// stored text would equal nothing the products store).
namespace KovraDS {

QString DbDate(const QDate &date);
QString DbTime(const QTime &time);   // whole minutes: the seconds are 00

// The same texts as bytes, for binding in a loop without a QString between.
// Empty for an invalid date or time.
class StoredText {
public:
    operator QByteArrayView() const { return QByteArrayView(m_bytes, m_size); }

private:
    friend StoredText DbDateText(const QDate &date);
    friend StoredText DbTimeText(const QTime &time);
    char m_bytes[32] = {};
    qsizetype m_size = 0;
};
StoredText DbDateText(const QDate &date);
StoredText DbTimeText(const QTime &time);

// A stored value read back. Null is a null QDate/QTime; any other form than
// the stored one is an error, never guessed.
QDate ReadDbDate(const QVariant &value, const QString &column);
QTime ReadDbTime(const QVariant &value, const QString &column);
// The same for a column of an engine statement's current row.
QDate ReadDbDate(const Platform::Database::EngineStatement &row, int index, const QString &column);
QTime ReadDbTime(const Platform::Database::EngineStatement &row, int index, const QString &column);
// Non-zero is True; Null is False.
bool ReadDbBool(const QVariant &value);

} // namespace KovraDS
