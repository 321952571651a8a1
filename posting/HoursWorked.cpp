#include "posting/HoursWorked.h"

#include "platform/error.h"
#include "posting/Calendar.h"
#include "posting/KovraDS.h"
#include "posting/StoredForms.h"

#include <QSqlQuery>
#include <QSqlRecord>

#include <cmath>

namespace KovraDS {

namespace {

constexpr long kStraightWeekMinutes = 40 * 60;

struct Group {
    QString EmpID;
    QDate TDate;
    QTime ClockIn;
    QVariant Week;
    long Minutes = 0;
};

} // namespace

HoursWorked::HoursWorked(const Platform::Database &db) : m_db(&db)
{
    const auto prepare = [&](const QString &sql) {
        m_statements << sql;
        return db.prepare(sql);
    };
    // Null totals count 0; Week is compared with IS so that a row without a week still finds its own.
    m_groups = prepare(QStringLiteral(
        "SELECT EmpID, TDate, ClockIn, Week, SUM(COALESCE(TotalHrs, 0) * 60 + COALESCE(TotalMin, 0)) "
        "FROM [Time Attendance] WHERE Recalculate <> 0 GROUP BY EmpID, TDate, ClockIn, Week "
        "ORDER BY EmpID, TDate, ClockIn, Week"));
    m_delete = prepare(QStringLiteral("DELETE FROM [Hours Worked] WHERE EmpID = ? AND Week IS ? AND TDate = ?"));
    m_weekTotal = prepare(QStringLiteral(
        "SELECT COUNT(*), SUM(COALESCE([Straight Hrs], 0) + COALESCE([OT Hrs], 0)) FROM [Hours Worked] "
        "WHERE EmpID = ? AND Week IS ? AND TDate BETWEEN ? AND ?"));
    m_add = prepare(QStringLiteral(
        "UPDATE [Hours Worked] SET [Straight Hrs] = COALESCE([Straight Hrs], 0) + ?, [OT Hrs] = COALESCE([OT Hrs], 0) + ? "
        "WHERE EmpID = ? AND Week IS ? AND TDate = ?"));
    m_insert = prepare(QStringLiteral(
        "INSERT INTO [Hours Worked] (EmpID, TDate, Week, [Straight Hrs], [OT Hrs], [DT Hrs]) VALUES (?, ?, ?, ?, ?, 0)"));
    m_clear = prepare(QStringLiteral(
        "UPDATE [Time Attendance] SET Recalculate = 0 WHERE EmpID = ? AND TDate = ? AND Week IS ?"));
}

void HoursWorked::recalculate()
{
    Platform::Database::Transaction tx(*m_db);
    std::vector<Group> groups;
    {
        QSqlQuery &q = m_groups.run();
        while (q.next()) {
            Group g;
            g.EmpID = q.value(0).toString();
            g.TDate = ReadDbDate(q.value(1), QStringLiteral("TDate"));
            if (!g.TDate.isValid())
                throw Platform::Error(Platform::ErrorNo::InvalidUseOfNull,
                                      QStringLiteral("A marked attendance row of %1 has no date.").arg(g.EmpID));
            g.ClockIn = ReadDbTime(q.value(2), QStringLiteral("ClockIn"));
            g.Week = q.value(3);
            g.Minutes = q.value(4).toLongLong();
            groups.push_back(std::move(g));
        }
        q.finish();
    }
    for (const Group &g : groups)
        m_delete.execute({g.EmpID, g.Week, DbDate(g.TDate)});

    for (const Group &g : groups) {
        QDate day1 = GetWeekStart(g.TDate);
        const QDate day7 = GetWeekEnd(g.TDate, g.ClockIn);
        if (day1 == day7)
            day1 = day1.addDays(-7);  // a clock-in before the day start on a week's first day
        QSqlQuery &total = m_weekTotal.run({g.EmpID, g.Week, DbDate(day1), DbDate(day7)});
        total.next();
        const bool hadRows = total.value(0).toLongLong() > 0;
        // Whole minutes, so that hours summed as fractions cannot miss the limit by a rounding error.
        const long week = std::lround(total.value(1).toDouble() * 60);
        total.finish();

        const long dayMinutes = g.Minutes;
        long straight = dayMinutes, overtime = 0;
        if (hadRows && week + dayMinutes >= kStraightWeekMinutes) {
            const long room = kStraightWeekMinutes - week;
            straight = room <= 0 ? 0 : std::min(room, dayMinutes);
            overtime = dayMinutes - straight;
        }
        const double s = straight / 60.0, o = overtime / 60.0;
        const QString date = DbDate(g.TDate);
        if (m_add.execute({s, o, g.EmpID, g.Week, date}) == 0)
            m_insert.execute({g.EmpID, date, g.Week, s, o});
        m_clear.execute({g.EmpID, date, g.Week});
    }
    tx.commit();
}

bool RecalcHoursWorked(std::optional<Platform::Error> *failure)
{
    try {
        HoursWorked(state().TargetDb).recalculate();
        return true;
    } catch (const Platform::Error &e) {
        if (failure)
            *failure = e;
        return false;
    }
}

} // namespace KovraDS
