#pragma once

#include "platform/db.h"
#include "setup/CmdFile.h"

#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>
#include <vector>

// Where the builder's employees, schedules and messages come from: the
// product databases (SQLite files) or the three text files, each read into a
// TEMP table of the main connection. No widgets here.
namespace CmdSources {

enum class Kind { None, Text, Vesk, Brix };
Kind KindOf(const QString &targetType);

// A comma-separated file: fields in double quotes may hold commas and ""
// for a quote; lines end in CR LF or LF; UTF-8 when the whole file is valid
// UTF-8 (a BOM skipped), else Windows-1252. Values trimmed, except what
// stands inside quotes; empty is NULL.
std::vector<std::vector<QVariant>> ReadCsv(const QByteArray &bytes);

// Schedule and message numbers in their three places: digits without the
// zeros in front, then zeros in front to three ("0007" gives "007"); nullopt
// when more than three digits remain; what is not digits as it is; NULL and
// empty give "000".
std::optional<QString> Pad3(const QVariant &stored);

// Loads a text file as TEMP table `table`. With `required`, the first line
// names the columns (any case or order) and each required one must be there;
// otherwise the columns are by position (`positional` names, further ones
// ignored) and the first line is a header only when its first field is not a
// number. Columns named in `padded` get Pad3. Throws Platform::Error naming
// what is missing.
void LoadTextTable(const Platform::Database &db, const QString &table, const QString &path,
                   const QStringList &required, const QStringList &positional, const QStringList &padded);
void DropTextTable(const Platform::Database &db, const QString &table);

// The text sources' columns.
const QStringList &EmployeeColumns();
const QStringList &ScheduleColumns();

// Copies a text source into the Data folder through a temporary file and a
// rename; nothing when the source is the copy. Throws Platform::Error.
void CopyIntoData(const QString &source, const QString &copy);

struct EmpGroup {
    QString text;
    bool expanded = false;
    std::vector<CmdFile::Employee> employees;
};

struct ScheduleItem {
    QString number;     // as stored: the query's value
    QString shown;      // three digits when the stored number is 1-3 digits
    QString text;       // the node's text
};

struct MessageItem {
    QString number;     // as stored
    QString text;
    QString shown;      // the list entry
};

// The employee groupings: 0 "Employee", 1 "Department", 2 "Schedule",
// added to `groups` as they are read; a failure throws Platform::Error and
// leaves the groups read before it.
// `scheduleFile`: for text sources, whether the schedule file is loaded.
void EmployeeGroups(const Platform::Database &db, Kind kind, int grouping, bool scheduleFile,
                    std::vector<EmpGroup> &groups);
std::vector<ScheduleItem> Schedules(const Platform::Database &db, Kind kind);
// The day rows of each item's schedule by TheDay, in the items' order;
// `found` false when the source has no such schedule.
std::vector<CmdFile::Schedule> ScheduleRows(const Platform::Database &db, Kind kind,
                                            const std::vector<ScheduleItem> &items);
// The product's messages from ClkMsgs, else Message (never both); text
// sources from the TEMP table ClkMsgs.
std::vector<MessageItem> Messages(const Platform::Database &db, const QString &table);
// "ClkMsgs" when the product database has it, else "Message"; empty when it
// has neither.
QString ProductMessageTable(const Platform::Database &db);

// Reads the product's company settings (from db, an open connection to it)
// and gives the grace minutes that widen its schedule windows; 0 for every
// other source. The shared company settings keep their values.
int LoadGracePeriod(const Platform::Database &db, Kind kind);

} // namespace CmdSources
