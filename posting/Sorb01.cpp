#include "posting/Sorb01.h"

#include "app/AppMain.h"
#include "app/frmMDI.h"
#include "platform/ansi.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/ui.h"
#include "posting/Calendar.h"
#include "posting/KovraDS.h"
#include "posting/Pairing.h"
#include "posting/PostingFile.h"
#include "posting/PunchParse.h"
#include "posting/StoredForms.h"

#include <QFile>
#include <QScopeGuard>
#include <QSqlQuery>

namespace Sorb01 {

namespace {

constexpr int kScheduleNoLength = 3;
constexpr int kDaysPerWeek = 7;
constexpr int kMinutesPerDay = 1440;
const QString kNotValid = QStringLiteral("Not Valid");
const QString kMemberInsert = QStringLiteral("INSERT INTO [Time Attendance1] (EmpID, TDate, ClockIn) VALUES (?, ?, ?)");

// What a continuous poll prepared when it started; valid while the product
// database it was prepared on stays open.
struct RealTime {
    bool Members = false;
    Platform::Database::Statement CardQuery;
    Platform::Database::Statement DayRow;
    Platform::Database::Statement MemberInsert;
    std::optional<KovraDS::Pairing> Pairing;
};

RealTime &realTime()
{
    static RealTime r;
    return r;
}

const Platform::Database &target()
{
    return KovraDS::state().TargetDb;
}

Platform::Error notPrepared(const char *what)
{
    return Platform::Error(Platform::ErrorNo::DatabaseEngine,
                           QStringLiteral("The %1 of the continuous poll is not prepared.").arg(QLatin1String(what)));
}

// A day's schedule in minutes of the day. A break whose end is missing never matches.
struct DaySchedule {
    int Start = 0;
    int End = 0;
    struct Break {
        int Start = 0;
        std::optional<int> End;
    };
    std::optional<Break> Breaks[2];
};

// A stored time in minutes; Null and empty text are no time.
std::optional<int> minutesOf(const QVariant &value, const QString &column)
{
    if (value.isNull() || value.toString().isEmpty())
        return std::nullopt;
    return KovraDS::MinutesOfDay(KovraDS::ReadDbTime(value, column));
}

std::optional<DaySchedule> daySchedule(const QString &scheduleNo, int day)
{
    RealTime &r = realTime();
    if (!r.DayRow.isValid())
        throw notPrepared("schedule look-up");
    QSqlQuery &q = r.DayRow.run({scheduleNo, day});
    // Let go also after a time that cannot be read: a read left open keeps the product from writing.
    const auto done = qScopeGuard([&q] { q.finish(); });
    if (!q.next())
        return std::nullopt;
    DaySchedule s;
    s.Start = *minutesOf(q.value(0), QStringLiteral("StartTime"));
    s.End = *minutesOf(q.value(1), QStringLiteral("EndTime"));
    const QString names[] = {QStringLiteral("StartTimeR"), QStringLiteral("EndTimeR"), QStringLiteral("StartTimeR2"),
                             QStringLiteral("EndTimeR2")};
    for (int i = 0; i < 2; ++i) {
        if (const std::optional<int> start = minutesOf(q.value(2 + 2 * i), names[2 * i]))
            s.Breaks[i] = DaySchedule::Break{*start, minutesOf(q.value(3 + 2 * i), names[2 * i + 1])};
    }
    return s;
}

// A day shift: inside the widened window, and then inside a break or not.
int dayShift(const DaySchedule &s, int at, int grace)
{
    if (at < s.Start - grace || at > s.End + grace)
        return kNotScheduled;
    for (const std::optional<DaySchedule::Break> &b : s.Breaks) {
        if (b && b->End && at >= b->Start && at <= *b->End)
            return kBreakTime;
    }
    return kInSchedule;
}

void prepareCardQuery(bool members)
{
    RealTime &r = realTime();
    r.CardQuery = Platform::Database::Statement();
    r.Members = members;
    r.CardQuery = target().prepare(
        members ? QStringLiteral("SELECT ID, FirstName FROM Members WHERE Status <> 0 AND CardID = :card "
                                 "ORDER BY rowid LIMIT 1")
                : QStringLiteral("SELECT ID, FirstName, ScheduleNo FROM Employee WHERE Status <> 0 AND CardID = :card "
                                 "ORDER BY rowid LIMIT 1"));
}

} // namespace

void LoadSorbSettings()
{
    using namespace KovraDS;
    Platform::Snapshot rs;
    try {
        rs = AppMain::OpenRegKey(state().TargetDb, QStringLiteral("Company"));
    } catch (const Platform::Error &) {
        return;  // no Registry table: every setting keeps its value
    }
    // The schedule check of continuous polling needs the grace minutes too.
    ReadCompanySettings([&rs](const QString &name, const QString &fallback) {
        return AppMain::GetRegValue(rs, name, fallback);
    }, QStringLiteral("GracePeriod"), QStringLiteral("15"), true);
}

bool StartRealTimeChecks(bool members)
{
    // The statements of an earlier poll go before their database is replaced.
    ReleaseRealTimeChecks();
    if (!KovraDS::OpenTargetDb())
        return false;
    LoadSorbSettings();
    try {
        RealTime &r = realTime();
        prepareCardQuery(members);
        if (members) {
            r.MemberInsert = target().prepare(kMemberInsert);
        } else {
            // A row without its window's start or end is no schedule for the day.
            r.DayRow = target().prepare(QStringLiteral(
                "SELECT StartTime, EndTime, StartTimeR, EndTimeR, StartTimeR2, EndTimeR2 FROM [Schedule Days] "
                "WHERE ScheduleNo = ? AND TheDay = ? AND StartTime <> '' AND EndTime <> '' ORDER BY rowid LIMIT 1"));
            KovraDS::PairingTable table;
            table.Table = QStringLiteral("Time Attendance");
            table.Recalculate = false;
            r.Pairing.emplace(target(), table);
        }
        return true;
    } catch (const Platform::Error &e) {
        EndRealTimeChecks();
        Platform::ActiveError active(e);
        AppMain::ShowErrorMsg(QString(), e.description());
        return false;
    }
}

void EndRealTimeChecks()
{
    ReleaseRealTimeChecks();
    KovraDS::CloseTargetDb();
}

void ReleaseRealTimeChecks()
{
    realTime() = RealTime{};
}

void PrepareEmployeeCardQuery()
{
    prepareCardQuery(false);
}

void PrepareMemberCardQuery()
{
    prepareCardQuery(true);
}

std::optional<CardHolder> LookUpCard(const QString &card, bool members)
{
    RealTime &r = realTime();
    if (!r.CardQuery.isValid() || r.Members != members)
        throw notPrepared(members ? "member card look-up" : "employee card look-up");
    // A holder without a card is no match for a badge without one.
    if (card.isEmpty())
        return std::nullopt;
    QSqlQuery &q = r.CardQuery.run({card});
    std::optional<CardHolder> holder;
    if (q.next())
        holder = CardHolder{members ? QString() : q.value(2).toString(), q.value(1).toString()};
    q.finish();
    return holder;
}

QString ValidateEmployeeCard(const QString &card)
{
    const std::optional<CardHolder> holder = LookUpCard(card, false);
    return holder ? holder->ScheduleNo + holder->FirstName : kNotValid;
}

QString ValidateMemberCard(const QString &card)
{
    const std::optional<CardHolder> holder = LookUpCard(card, true);
    return holder ? holder->FirstName : kNotValid;
}

int CheckSchedule(const QString &scheduleNo, const QDate &date, const QTime &time)
{
    if (scheduleNo.size() != kScheduleNoLength)
        return kNotScheduled;
    const int day = date.dayOfWeek() % kDaysPerWeek + 1;  // Sunday 1 .. Saturday 7
    const int at = KovraDS::MinutesOfDay(time);
    const int grace = KovraDS::company().GracePeriod;
    const int previousDay = day == 1 ? kDaysPerWeek : day - 1;
    // Before the day start the punch may end the shift that began the day
    // before: on consecutive nights today's row alone would refuse every
    // clock-out but the last.
    if (KovraDS::BeforeDayStart(time)) {
        if (const std::optional<DaySchedule> before = daySchedule(scheduleNo, previousDay)) {
            const int endsAfterMidnight = before->End + grace - (before->End > before->Start ? kMinutesPerDay : 0);
            if (at <= endsAfterMidnight)
                return kInSchedule;
        }
    }
    const std::optional<DaySchedule> today = daySchedule(scheduleNo, day);
    // With the day starting at midnight only the punch's own day counts,
    // and a row running past midnight admits nothing.
    if (KovraDS::MinutesOfDay(KovraDS::company().DayStartTime) == 0 || (today && today->End > today->Start))
        return today ? dayShift(*today, at, grace) : kNotScheduled;
    // A night shift that starts this day: from its start on, no end, no breaks.
    if (today)
        return at >= today->Start - grace ? kInSchedule : kNotScheduled;
    // No row today: the clock-out of a night shift that began the day before.
    const std::optional<DaySchedule> before = daySchedule(scheduleNo, previousDay);
    if (!before || before->End > before->Start)
        return kNotScheduled;
    return at <= before->End + grace ? kInSchedule : kNotScheduled;
}

bool PostSorbPunch(const QDate &date, const QTime &time, const QString &card)
{
    RealTime &r = realTime();
    try {
        if (!r.Pairing)
            throw notPrepared("punch posting");
        Platform::Database::Transaction punch(target());
        const KovraDS::PairingOutcome outcome = r.Pairing->post(card, {}, date, time);
        const bool standing = outcome == KovraDS::PairingOutcome::Duplicate || outcome == KovraDS::PairingOutcome::Unchanged;
        // A statement the table ignores (a trigger, a rule) raises nothing but writes nothing either.
        if (!standing && r.Pairing->rowsChanged() != 1)
            throw Platform::Error(Platform::ErrorNo::DatabaseEngine,
                                  QStringLiteral("Time Attendance took no row for card ") + card + QLatin1Char('.'));
        punch.commit();
        return true;
    } catch (const Platform::Error &e) {
        Platform::Ui::msgBox(QStringLiteral("Error Number: ") + QString::number(e.number()) + QLatin1Char('\n') +
                                 e.description(),
                             Platform::Ui::Style::Critical, QStringLiteral("Employee was NOT clocked successfully!"));
        return false;
    }
}

bool PostMemberPunch(const QDate &date, const QTime &time, const QString &card)
{
    RealTime &r = realTime();
    try {
        if (!r.MemberInsert.isValid())
            throw notPrepared("member punch posting");
        return r.MemberInsert.execute({card, KovraDS::DbDate(date), KovraDS::DbTime(time)}) == 1;
    } catch (const Platform::Error &) {
        return false;  // the record stays for the posting after the poll
    }
}

bool PostKeptMemberPunches(const QString &file)
{
    const QString nextPoll = QStringLiteral("at the end of the next poll");
    // Another target has no members' table: the punches wait for the product that has one.
    if (AppMain::settings().TargetType != AppMain::kSorbTarget || !KovraDS::OpenTargetDb({file}, nextPoll))
        return false;
    const QString refusedFile = RefusedMemberFilePath();
    int passedOver = 0;
    std::vector<PolledPunch> punches;
    std::vector<KovraDS::RefusedRow> refused;
    try {
        Platform::Database::Statement insert = target().prepare(kMemberInsert);
        const QByteArray bytes = KovraDS::ReadWholeFile(file);
        QByteArrayList lines;
        for (const QByteArrayView line : KovraDS::SplitLines(bytes)) {
            if (line.isEmpty())
                continue;
            if (const std::optional<PolledPunch> punch = ReadPolledPunch(line.toByteArray())) {
                punches.push_back(*punch);
                lines << line.toByteArray();
            } else {
                ++passedOver;
            }
        }
        // All or nothing but for the refused: Time Attendance1 has no duplicate test, so a run
        // kept whole after a failure must have posted nothing.
        Platform::Database::Transaction run(target());
        refused = KovraDS::PostEach(
            run, target(), punches.size(), [&punches](std::size_t i) { return punches[i].Badge; },
            [&](std::size_t i) {
                const PolledPunch &p = punches[i];
                if (insert.execute({p.Badge, KovraDS::DbDate(p.Date), KovraDS::DbTime(p.Time)}) != 1)
                    throw Platform::Error(Platform::ErrorNo::DuplicateKey, QStringLiteral("Time Attendance1 took no row."));
            },
            [](const Platform::Error &e) { return e.number() == Platform::ErrorNo::DuplicateKey; });
        // On disk before the commit: a refused punch never lives only in a file that goes.
        QByteArray kept;
        for (const KovraDS::RefusedRow &r : refused)
            kept += lines[qsizetype(r.Row)] + "\r\n";
        const qint64 keptBefore = KovraDS::FileLength(refusedFile);
        if (!kept.isEmpty())
            KovraDS::AppendToFile(refusedFile, kept);
        try {
            run.commit();
        } catch (const Platform::Error &) {
            if (!kept.isEmpty())
                QFile(refusedFile).resize(keptBefore);  // the next poll's end refuses them again
            throw;
        }
    } catch (const Platform::Error &e) {
        KovraDS::CloseTargetDb();
        KovraDS::ShowPostingFailure(e, QStringLiteral("Member punches were NOT posted successfully!"), file, nextPoll);
        return false;
    }
    KovraDS::CloseTargetDb();
    try {
        Platform::RetireFile(file);
    } catch (const Platform::Error &e) {
        Platform::ActiveError active(e);
        AppMain::ShowErrorMsg(QString(), e.description() + QStringLiteral(". Its member punches are posted: delete it "
                                                                          "before the next poll ends, or they will be "
                                                                          "posted again."));
    }
    if (!refused.empty()) {
        QString text = QStringLiteral("Time Attendance1 refused these member punches; they are passed over and their "
                                      "lines kept in %1:")
                           .arg(refusedFile);
        for (const KovraDS::RefusedRow &r : refused)
            text += QStringLiteral("\nCard %1: %2").arg(punches[r.Row].Badge, r.Cause.description());
        Platform::ActiveError active(refused.front().Cause);
        AppMain::ShowErrorMsg(QString(), text);
    }
    KovraDS::ShowPassedOver(passedOver + int(refused.size()));
    return true;
}

QString RefusedMemberFilePath()
{
    return AppMain::AppFile(QStringLiteral("DATA\\POLLMREF.txt"));
}

std::optional<PolledPunch> ReadPolledPunch(const QByteArray &record)
{
    KovraDS::PunchRecord punch;
    PolledPunch polled;
    if (KovraDS::ParsePollLine(record, true, punch) != KovraDS::PollLine::Punch ||
        !KovraDS::PunchInstant(punch, polled.Date, polled.Time))
        return std::nullopt;
    polled.Badge = Platform::Ansi::decode(punch.Badge);
    return polled;
}

} // namespace Sorb01
