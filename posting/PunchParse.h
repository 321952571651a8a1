#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDate>
#include <QList>
#include <QTime>

// The punch records of poll log lines and the two line layouts the posting
// converters write from them. Everything stays in the file's own bytes
// (Windows-1252): fields are copied, never re-encoded.
namespace KovraDS {

struct PunchRecord {
    char FunctionDigit = 0;     // '0' plain punch, '1'-'4' the function key whose fields follow
    QByteArray Badge;           // as the clock sent it; may be empty
    QByteArray Stamp;           // YYMMDDhhmm followed by the seconds when the clock sent them
    QList<QByteArray> Extras;   // the non-empty extra fields, in record order
};

enum class PollLine {
    Punch,       // a punch record, read into the record
    Other,       // no punch record after the frame header (status, empty line): nothing to post
    Unreadable,  // a punch record that cannot be read: passed over and counted
};

// One poll log line, without its line end. The text converters skip US, RS
// and GS in front of the badge (skipLeadingSeparators); the posting-file
// converter takes what follows the first RS as the badge as it stands.
PollLine ParsePollLine(QByteArrayView line, bool skipLeadingSeparators, PunchRecord &record);

// The instant of a record's stamp: two-digit years are this century's,
// the seconds are dropped. False when the date or the time does not exist.
bool PunchInstant(const PunchRecord &record, QDate &date, QTime &time);

// "digit,badge[,extra...],date,time": date mm/dd/yy, or dd/mm/yy when dayFirst.
QByteArray PunchTextLine(const PunchRecord &record, bool dayFirst);
// "badge[,extra...],mm/dd/yy,hh:mm": the line the database postings read.
QByteArray PostingLine(const PunchRecord &record);

// The lines of a file's bytes, LF or CR LF; a last line without its end counts.
QList<QByteArrayView> SplitLines(QByteArrayView bytes);

} // namespace KovraDS
