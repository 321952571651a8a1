#pragma once

#include <QByteArray>
#include <QDate>
#include <QString>
#include <QTime>
#include <QtGlobal>

#include <optional>

struct CardHolder;   // app/frmMDI.h
struct PolledPunch;  // app/frmMDI.h

// The access-control product's module.
namespace Sorb01 {

// The company settings of the access-control product (its Registry rows
// 'Company'); a value that cannot be read keeps its old one, silently.
void LoadSorbSettings();

// Merges the attendance posting file into the product's Time Attendance,
// re-pairing the stored pairs its late punches fall into; true after a
// complete run. A failure leaves the table exactly as it was and the file.
bool ImportSorbClockData();

// Writes count of total as a percentage into the progress window.
void UpdateProgressBar(qint32 total, const qint32 &count);

// ---- real-time checks of a continuous poll ----

// Opens the product database, loads its company settings and prepares
// every statement the poll of that mode runs (the card look-up; for
// employees the schedule day and the punch pairing, for members the punch
// insert). False, after the reason was shown, when the database does not
// open or a table or column is missing: the poll must not start.
bool StartRealTimeChecks(bool members);
// Releases the statements and closes the product database.
void EndRealTimeChecks();
// Releases the statements only (the program's way out closes the database).
void ReleaseRealTimeChecks();

// The card look-up of one mode, prepared once for the whole poll: the first
// active row (by storage order) that carries the card.
void PrepareEmployeeCardQuery();
void PrepareMemberCardQuery();

// The active holder of a card in the prepared mode; none for an empty card.
// A Null schedule number or first name is empty.
std::optional<CardHolder> LookUpCard(const QString &card, bool members);
// "Not Valid", or the schedule number followed by the first name.
QString ValidateEmployeeCard(const QString &card);
// "Not Valid", or the first name.
QString ValidateMemberCard(const QString &card);

// The schedule check's answers.
constexpr int kInSchedule = 0;
constexpr int kNotScheduled = 1;
constexpr int kBreakTime = 2;
// Whether a punch lies in the day's window of the schedule (widened by the
// grace minutes) and outside its breaks. A schedule number that is not three
// characters (Null included) is not scheduled.
int CheckSchedule(const QString &scheduleNo, const QDate &date, const QTime &time);

// Pairs one employee punch into Time Attendance in one transaction. True
// when it was written, was there already, or equals its open pair's start;
// false after the failure box (nothing of the punch is kept).
bool PostSorbPunch(const QDate &date, const QTime &time, const QString &card);
// Adds one member punch to Time Attendance1; false, silently, when no row was added.
bool PostMemberPunch(const QDate &date, const QTime &time, const QString &card);
// Adds the member punches a continuous poll kept (a file of polled record
// lines) to Time Attendance1 in one transaction on the product database,
// then deletes the file (empties it when the folder refuses). A line without
// a readable punch is passed over and counted; a punch the table refuses is
// passed over, counted, named in a box and its line kept apart in
// RefusedMemberFilePath(). False after the failure box (the file kept whole,
// nothing of it posted, for the next poll's end) or when the target is not
// the access-control product.
bool PostKeptMemberPunches(const QString &file);
// Data/POLLMREF.txt: the lines of member punches the product refused.
QString RefusedMemberFilePath();

// The punch of a polled record (its bytes from the first backslash): badge
// as the clock sent it after any separators, date and time from the stamp.
// None for a record that is no punch or whose punch cannot be read.
std::optional<PolledPunch> ReadPolledPunch(const QByteArray &record);

} // namespace Sorb01
