#pragma once

#include <QDate>
#include <QString>
#include <QTime>

#include <functional>

namespace Platform {
class Database;
}

// The pay-week calendar and the company settings every posting shares.
namespace KovraDS {

struct CompanySettingsRec {
    int WorkDay = 0;            // first day of the pay week, 1 Sunday .. 7 Saturday; 0 before any loader ran
    QTime DayStartTime{0, 0};   // whole minutes; a punch before it belongs to the previous day
    double DayStartHour = 0;    // the whole hours of DayStartTime
    int RoundTotal = 0;         // rounding unit of worked minutes; 0 no rounding
    int GracePeriod = 0;        // minutes around scheduled start and end
};

CompanySettingsRec &company();

// ---- loaders (each overwrites what it reads and leaves the rest) ----
// Brix: the target database's Registry rows 'Company'; a failure is shown.
void LoadTargetCompanySettings();
// The same from another connection to the product.
void LoadTargetCompanySettings(const Platform::Database &db);
// Vesk: the machine settings "KOVRA VESK\2.6.4", "Company Settings"; a failing value keeps its old one.
void LoadVeskCompanySettings();

// Reads WorkDay, DayStartTime, the grace minutes and RoundTotal in that
// order through read(name, default). A value that fails stops the reading
// (the error reaches the caller), or with skipFailures keeps its old value.
using SettingReader = std::function<QString(const QString &name, const QString &fallback)>;
void ReadCompanySettings(const SettingReader &read, const QString &graceName, const QString &graceDefault,
                         bool skipFailures);

// A setting's text as stored: a 16-bit whole number (half to even, overflow
// outside the range), a work day (outside 1-7 it is 2), a day start time
// ("7:30", "07:30:15", "7:30 PM", "1899-12-30 07:30:00"; cut to whole minutes;
// anything else is a type mismatch).
int SettingInteger(const QString &text);
void SetWorkDay(int day);
QTime ParseDayStart(const QString &text);
void SetDayStartTime(const QTime &time);

// ---- calendar and minutes ----
int MinutesOfDay(const QTime &time);
// A multiple of RoundTotal, ties to even; a 16-bit overflow is Platform::Error 6.
long RoundMinutes(long minutes);
long ElapsedMinutes(const QDate &dateIn, const QTime &timeIn, const QDate &dateOut, const QTime &timeOut);
long MinutesToHours(long minutes);
long MinutesRemainder(long minutes);
// The first day of the pay week holding d.
QDate GetWeekStart(const QDate &d);
// The day on which the pay week of a punch at d, t ends (at DayStartTime).
// A null t is no time: it is never before the day start.
QDate GetWeekEnd(const QDate &d, const QTime &t = QTime());
// The pay-week number of d; with a t before the day start, that of the day before.
int GetWeekNumber(const QDate &d, const QTime &t = QTime());
// Whether t is before the day start, in whole minutes; a null t is not.
bool BeforeDayStart(const QTime &t);

} // namespace KovraDS
