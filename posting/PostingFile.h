#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDate>
#include <QString>
#include <QStringList>
#include <QTime>

#include <vector>

// The posting files: poll log lines converted into text-target lines or
// posting lines, and posting lines read back for the database postings.
namespace KovraDS {

enum class LineKind { TextUS, TextEU, Posting };

// The converted lines (each ended by CR LF) of a poll log's bytes. A punch
// record that cannot be read is passed over and counted in state().PassedOver.
QByteArray ConvertPollLines(QByteArrayView pollBytes, LineKind kind);

// Append the converted lines of sourceFile to destFile. False after a source
// that cannot be read or a destination that cannot be written, which has
// been reported (nothing of the source is written then).
bool ConvertLogToTextUS(const QString &sourceFile, const QString &destFile);
bool ConvertLogToTextEU(const QString &sourceFile, const QString &destFile);
bool ConvertPunchLog(const QString &sourceFile, const QString &destFile);

// Files as the postings read and write them; failures are Platform::Error
// (53 missing, 70 not readable or writable).
QByteArray ReadWholeFile(const QString &path);
// Appends and flushes to the system before returning.
void AppendToFile(const QString &path, const QByteArray &bytes);
qint64 FileLength(const QString &path);  // 0 for a missing file

struct PostingRow {
    QString Badge;      // as the clock sent it ("00123" stays)
    QStringList Keys;   // the fields between badge and date (labor key values)
    QDate Date;
    QTime Time;         // whole minutes
};

struct PostingRows {
    std::vector<PostingRow> Rows;
    int PassedOver = 0;  // rows with an empty badge, a bad date or time, or another field count
};

// One posting line: badge, keyCount fields (none empty), MM/DD/YY (20yy), hh:mm[:ss].
bool ParsePostingLine(QByteArrayView line, int keyCount, PostingRow &row);

// A whole posting file, LF or CR LF, in posting order. Empty lines are no rows.
PostingRows ReadPostingFile(const QString &path, int keyCount = 0);

// Posting order: badge without case, the keys (as the database compares
// them, without case), date, time, then the order the rows came in.
void SortPostingRows(std::vector<PostingRow> &rows);

} // namespace KovraDS
