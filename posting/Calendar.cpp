#include "posting/Calendar.h"

#include "app/AppMain.h"
#include "app/Registry.h"
#include "platform/error.h"
#include "posting/KovraDS.h"

#include <QRegularExpression>

#include <cmath>

namespace KovraDS {

namespace {

constexpr int kMinutesPerDay = 1440;
constexpr int kDaysPerWeek = 7;
constexpr int kDefaultWorkDay = 2;     // Monday
constexpr int kSunday = 1;             // the first day of the week when no loader ran
const QString kVeskKey = QStringLiteral("KOVRA VESK\\2.6.4");
const QString kVeskSection = QStringLiteral("Company Settings");

Platform::Error overflow()
{
    return Platform::Error(Platform::ErrorNo::Overflow, QStringLiteral("Overflow"));
}

bool fitsInteger(double value)
{
    return value >= -32768 && value <= 32767;
}

// Weekday of d counted from the first day of the pay week, 1 .. 7.
int weekdayFromWorkDay(const QDate &d)
{
    const int first = company().WorkDay >= 1 && company().WorkDay <= kDaysPerWeek ? company().WorkDay : kSunday;
    const int sundayFirst = d.dayOfWeek() % kDaysPerWeek + 1;  // Sunday 1 .. Saturday 7
    return (sundayFirst - first + kDaysPerWeek) % kDaysPerWeek + 1;
}

} // namespace

CompanySettingsRec &company()
{
    return state().Company;
}

int SettingInteger(const QString &text)
{
    const double rounded = std::nearbyint(AppMain::Val(text));
    if (!fitsInteger(rounded))
        throw overflow();
    return static_cast<int>(rounded);
}

void SetWorkDay(int day)
{
    company().WorkDay = day >= 1 && day <= kDaysPerWeek ? day : kDefaultWorkDay;
}

QTime ParseDayStart(const QString &text)
{
    // A date/time column stores the time on the base day ("1899-12-30 06:00:00"); the date part is dropped.
    static const QRegularExpression form(
        QStringLiteral("^\\s*(?:(\\d{4})-(\\d{2})-(\\d{2})[ T]\\s*)?(\\d{1,2}):(\\d{2})(?::(\\d{2}))?\\s*([AaPp][Mm])?\\s*$"));
    const QRegularExpressionMatch m = form.match(text);
    const bool dateValid = m.captured(1).isEmpty() ||
                           QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt()).isValid();
    if (m.hasMatch() && dateValid) {
        int hour = m.captured(4).toInt();
        const int minute = m.captured(5).toInt();
        const int second = m.captured(6).isEmpty() ? 0 : m.captured(6).toInt();
        bool valid = minute < 60 && second < 60;
        const QString half = m.captured(7).toUpper();
        if (!half.isEmpty()) {
            valid = valid && hour >= 1 && hour <= 12;
            hour = hour % 12 + (half == QLatin1String("PM") ? 12 : 0);
        }
        if (valid && hour < 24)
            return QTime(hour, minute);
    }
    throw Platform::Error(Platform::ErrorNo::TypeMismatch,
                          QStringLiteral("Type mismatch: '%1' is not a time of day.").arg(text));
}

void SetDayStartTime(const QTime &time)
{
    company().DayStartTime = QTime(time.hour(), time.minute());
    company().DayStartHour = MinutesOfDay(company().DayStartTime) / 60;
}

void ReadCompanySettings(const SettingReader &read, const QString &graceName, const QString &graceDefault,
                         bool skipFailures)
{
    const std::function<void()> steps[] = {
        [&] { SetWorkDay(SettingInteger(read(QStringLiteral("WorkDay"), QStringLiteral("2")))); },
        [&] { SetDayStartTime(ParseDayStart(read(QStringLiteral("DayStartTime"), QStringLiteral("00:00")))); },
        [&] { company().GracePeriod = SettingInteger(read(graceName, graceDefault)); },
        [&] { company().RoundTotal = SettingInteger(read(QStringLiteral("RoundTotal"), QStringLiteral("5"))); },
    };
    for (const auto &step : steps) {
        try {
            step();
        } catch (const Platform::Error &) {
            if (!skipFailures)
                throw;
        }
    }
}

void LoadTargetCompanySettings()
{
    LoadTargetCompanySettings(state().TargetDb);
}

void LoadTargetCompanySettings(const Platform::Database &db)
{
    try {
        const Platform::Snapshot rs = AppMain::OpenRegKey(db, QStringLiteral("Company"));
        ReadCompanySettings([&rs](const QString &name, const QString &fallback) {
            return AppMain::GetRegValue(rs, name, fallback);
        }, QStringLiteral("GracePeriod"), QStringLiteral("15"), false);
    } catch (const Platform::Error &e) {
        Platform::ActiveError active(e);
        AppMain::ShowErrorMsg(QString(), e.description());
    }
}

void LoadVeskCompanySettings()
{
    ReadCompanySettings([](const QString &name, const QString &fallback) {
        return Registry::ReadWinRegValue(kVeskKey, kVeskSection, name, fallback);
    }, QStringLiteral("GraceP"), QStringLiteral("0"), true);
}

int MinutesOfDay(const QTime &time)
{
    return time.isValid() ? time.hour() * 60 + time.minute() : 0;
}

long RoundMinutes(long minutes)
{
    const int unit = company().RoundTotal;
    if (unit == 0)
        return minutes;
    const double quotient = std::nearbyint(static_cast<double>(minutes) / unit);  // ties to even
    if (!fitsInteger(quotient) || !fitsInteger(quotient * unit))
        throw overflow();
    return static_cast<long>(quotient) * unit;
}

long ElapsedMinutes(const QDate &dateIn, const QTime &timeIn, const QDate &dateOut, const QTime &timeOut)
{
    const long days = dateIn.daysTo(dateOut);
    return RoundMinutes(days * kMinutesPerDay + MinutesOfDay(timeOut) - MinutesOfDay(timeIn));
}

long MinutesToHours(long minutes)
{
    return minutes / 60;  // C++ division truncates toward zero
}

long MinutesRemainder(long minutes)
{
    return minutes % 60;  // the sign of the minutes
}

bool BeforeDayStart(const QTime &t)
{
    return t.isValid() && MinutesOfDay(t) < MinutesOfDay(company().DayStartTime);
}

QDate GetWeekStart(const QDate &d)
{
    return d.addDays(1 - weekdayFromWorkDay(d));
}

QDate GetWeekEnd(const QDate &d, const QTime &t)
{
    const QDate day = BeforeDayStart(t) ? d.addDays(-1) : d;
    // The week is the 168 hours from the day start of its first day; DayStartHour < 24.
    return GetWeekStart(day).addDays(kDaysPerWeek);
}

int GetWeekNumber(const QDate &d, const QTime &t)
{
    // Before the day start it is the day before's work day, and so its week:
    // on the first day of week 1 that is the last week of the year before, not a week 0.
    if (BeforeDayStart(t))
        return GetWeekNumber(d.addDays(-1));
    const QDate w1 = GetWeekStart(QDate(d.year(), 1, 1));
    const QDate w2 = GetWeekStart(QDate(d.year() + 1, 1, 1));
    const QDate w = w2 <= d ? w2 : w1;
    return static_cast<int>(w.daysTo(d) / kDaysPerWeek) + 1;
}

} // namespace KovraDS
