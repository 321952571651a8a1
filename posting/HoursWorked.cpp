#include "posting/HoursWorked.h"

#include "platform/error.h"
#include "posting/Calendar.h"
#include "posting/KovraDS.h"
#include "posting/StoredForms.h"

#include <QScopeGuard>

#include <algorithm>
#include <cmath>
#include <tuple>

namespace KovraDS {

// The marked pairs of one employee, day, clock-in and week: the unit whose
// hours are split and added to its day.
struct HoursWorked::Group {
    QByteArray EmpID;  // as bound; a Null employee binds as the empty text
    qint64 Employee = 0;  // groups of one employee, as the table compares EmpID, share it
    QDate TDate;
    QTime ClockIn;
    QVariant Week;
    long Minutes = 0;
    std::size_t Order = 0;  // its place among all groups: new days are written in this order
};

// A day row this run adds, with the group that made it.
struct HoursWorked::NewDay {
    const Group *Maker;
    double Straight, Overtime;
};

namespace {

constexpr long kStraightWeekMinutes = 40 * 60;
constexpr int kDaysPerWeek = 7;

// A row of the employee's week in Hours Worked. Its hours are the values the
// database itself adds (COALESCE(x, 0) + 0), summed in the order it sums them.
struct DayRow {
    QByteArray TDate;
    double Straight = 0, Overtime = 0;
    const HoursWorked::Group *Maker = nullptr;  // a row this run adds
};

// Rows by their stored date text, as the table orders them (byte by byte).
struct DayOrder {
    bool operator()(const DayRow &r, QByteArrayView day) const { return QByteArrayView(r.TDate) < day; }
    bool operator()(QByteArrayView day, const DayRow &r) const { return day < QByteArrayView(r.TDate); }
};

// Week is compared with IS: Null finds Null.
bool sameWeek(const QVariant &a, const QVariant &b)
{
    if (a.isNull() || b.isNull())
        return a.isNull() && b.isNull();
    return a.typeId() == b.typeId() && a == b;
}

// The days whose hours count against a group's 40: its week's first day to the day the week ends.
std::pair<QDate, QDate> countedDays(const HoursWorked::Group &g)
{
    QDate day1 = GetWeekStart(g.TDate);
    const QDate day7 = GetWeekEnd(g.TDate, g.ClockIn);
    if (day1 == day7)
        day1 = day1.addDays(-kDaysPerWeek);  // a clock-in before the day start on a week's first day
    return {day1, day7};
}

} // namespace

HoursWorked::HoursWorked(const Platform::Database &db) : m_db(&db)
{
    const auto prepare = [&](const QString &sql) {
        m_statements << sql;
        return db.prepareForEngine(sql);
    };
    // Null totals count 0; Week is compared with IS so that a row without a week still finds its own.
    // The rank tells employees apart by the column's own collation, with or without case.
    m_groups = prepare(QStringLiteral(
        "SELECT EmpID, TDate, ClockIn, Week, SUM(COALESCE(TotalHrs, 0) * 60 + COALESCE(TotalMin, 0)), "
        "dense_rank() OVER (ORDER BY EmpID) "
        "FROM [Time Attendance] WHERE Recalculate <> 0 GROUP BY EmpID, TDate, ClockIn, Week "
        "ORDER BY EmpID, TDate, ClockIn, Week"));
    m_week = prepare(QStringLiteral(
        "SELECT TDate, COALESCE([Straight Hrs], 0) + 0, COALESCE([OT Hrs], 0) + 0 FROM [Hours Worked] "
        "WHERE EmpID = ? AND Week IS ? AND TDate BETWEEN ? AND ? ORDER BY TDate, rowid"));
    m_delete = prepare(QStringLiteral("DELETE FROM [Hours Worked] WHERE EmpID = ? AND Week IS ? AND TDate = ?"));
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
    const auto finished = qScopeGuard([this] { m_groups.reset(); });  // also after a row that cannot be read
    while (m_groups.next()) {
        Group g;
        g.EmpID = m_groups.text(0).toByteArray();
        g.TDate = ReadDbDate(m_groups, 1, QStringLiteral("TDate"));
        if (!g.TDate.isValid())
            throw Platform::Error(Platform::ErrorNo::InvalidUseOfNull,
                                  QStringLiteral("A marked attendance row of %1 has no date.").arg(QString::fromUtf8(g.EmpID)));
        g.ClockIn = ReadDbTime(m_groups, 2, QStringLiteral("ClockIn"));
        g.Week = m_groups.value(3);
        g.Minutes = long(m_groups.value(4).toLongLong());
        g.Employee = m_groups.integer(5);
        g.Order = groups.size();
        groups.push_back(std::move(g));
    }

    // An employee's groups come together; each of his week numbers is done in one pass.
    std::vector<NewDay> newDays;
    for (auto employee = groups.begin(); employee != groups.end();) {
        const auto end = std::find_if(employee, groups.end(),
                                      [&](const Group &g) { return g.Employee != employee->Employee; });
        std::vector<const Group *> pending;
        for (auto g = employee; g != end; ++g)
            pending.push_back(&*g);
        while (!pending.empty()) {
            const QVariant number = pending.front()->Week;
            std::vector<const Group *> week;
            std::erase_if(pending, [&](const Group *g) {
                const bool same = sameWeek(g->Week, number);
                if (same)
                    week.push_back(g);
                return same;
            });
            recalculateWeek(week, newDays);
        }
        employee = end;
    }
    // The new rows in the order their days were first met, as one insert each.
    std::sort(newDays.begin(), newDays.end(), [](const NewDay &a, const NewDay &b) { return a.Maker->Order < b.Maker->Order; });
    for (const NewDay &d : newDays) {
        m_insert.bind(0, d.Maker->EmpID).bind(1, DbDateText(d.Maker->TDate)).bindValue(2, d.Maker->Week);
        m_insert.bind(3, d.Straight).bind(4, d.Overtime).execute();
    }
    tx.commit();
}

void HoursWorked::recalculateWeek(const std::vector<const Group *> &week, std::vector<NewDay> &newDays)
{
    const Group &first = *week.front();
    QDate from, to;
    std::tie(from, to) = countedDays(first);
    for (const Group *g : week) {
        const auto [day1, day7] = countedDays(*g);
        from = std::min(from, day1);
        to = std::max(to, day7);
    }
    const auto read = [&] {
        std::vector<DayRow> rows;
        m_week.bind(0, first.EmpID).bindValue(1, first.Week).bind(2, DbDateText(from)).bind(3, DbDateText(to));
        while (m_week.next())
            rows.push_back({m_week.text(0).toByteArray(), m_week.real(1), m_week.real(2)});
        m_week.reset();
        return rows;
    };
    std::vector<DayRow> rows = read();  // in date order: the day's rows and a range of days are found by halving
    const auto dayRows = [&rows](QByteArrayView day) {
        return std::equal_range(rows.begin(), rows.end(), day, DayOrder());
    };

    // The marked days are rebuilt from nothing. A row the table keeps (a trigger that drops the
    // delete) takes the day's hours on top of its own, so the week goes on from what the table holds.
    std::vector<QByteArray> days;
    bool kept = false;
    for (const Group *g : week) {
        const QByteArray day = QByteArrayView(DbDateText(g->TDate)).toByteArray();
        if (std::find(days.begin(), days.end(), day) != days.end())
            continue;
        days.push_back(day);
        const auto [begin, end] = dayRows(day);
        if (begin != end && m_delete.bind(0, g->EmpID).bindValue(1, g->Week).bind(2, day).execute() != end - begin)
            kept = true;
    }
    if (kept) {
        rows = read();
    } else {
        for (const QByteArray &day : days) {
            const auto [begin, end] = dayRows(day);
            rows.erase(begin, end);
        }
    }

    for (const Group *g : week) {
        const auto [day1, day7] = countedDays(*g);
        double total = 0;
        const auto counted = std::lower_bound(rows.begin(), rows.end(), QByteArrayView(DbDateText(day1)), DayOrder());
        const auto countedEnd = std::upper_bound(counted, rows.end(), QByteArrayView(DbDateText(day7)), DayOrder());
        for (auto r = counted; r != countedEnd; ++r)
            total += r->Straight + r->Overtime;
        const bool hadRows = counted != countedEnd;
        // Whole minutes, so that hours summed as fractions cannot miss the limit by a rounding error.
        const long weekMinutes = std::lround(total * 60);
        const long dayMinutes = g->Minutes;
        long straight = dayMinutes, overtime = 0;
        if (hadRows && weekMinutes + dayMinutes >= kStraightWeekMinutes) {
            const long room = kStraightWeekMinutes - weekMinutes;
            straight = room <= 0 ? 0 : std::min(room, dayMinutes);
            overtime = dayMinutes - straight;
        }
        const double s = straight / 60.0, o = overtime / 60.0;
        const QByteArray day = QByteArrayView(DbDateText(g->TDate)).toByteArray();
        const auto [begin, end] = dayRows(day);
        if (begin == end) {
            rows.insert(end, DayRow{day, s, o, g});
            continue;
        }
        for (auto r = begin; r != end; ++r) {
            r->Straight += s;
            r->Overtime += o;
        }
        if (!begin->Maker)  // rows the table kept: the database adds to them as well
            m_add.bind(0, s).bind(1, o).bind(2, g->EmpID).bindValue(3, g->Week).bind(4, day).execute();
    }
    for (const DayRow &r : rows) {
        if (r.Maker)
            newDays.push_back({r.Maker, r.Straight, r.Overtime});
    }
    // The marks of each rebuilt day go with it.
    for (const QByteArray &day : days) {
        const Group *g = *std::find_if(week.begin(), week.end(), [&](const Group *w) {
            return QByteArrayView(DbDateText(w->TDate)) == QByteArrayView(day);
        });
        m_clear.bind(0, g->EmpID).bind(1, day).bindValue(2, g->Week).execute();
    }
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
