#include "posting/Pairing.h"

#include "platform/error.h"
#include "posting/Calendar.h"
#include "posting/PostingFile.h"
#include "posting/StoredForms.h"

#include <QScopeGuard>

#include <cstdlib>

namespace KovraDS {

namespace {

constexpr int kMinutesPerDay = 1440;

QString quoted(const QString &name)
{
    return QLatin1Char('[') + name + QLatin1Char(']');
}

QString keyTest(const PairingTable &t)
{
    QString sql = QStringLiteral("EmpID = ?");
    for (const QString &column : t.KeyColumns)
        sql += QStringLiteral(" AND ") + quoted(column) + QStringLiteral(" = ?");
    return sql;
}

} // namespace

Pairing::Pairing(const Platform::Database &db, PairingTable table) : m_table(std::move(table))
{
    const auto prepare = [&](const QString &sql) {
        m_statements << sql;
        return db.prepareForEngine(sql);
    };
    const PairingTable &t = m_table;
    const QString name = quoted(t.Table);
    const QString sd = quoted(t.StartDate), st = quoted(t.StartTime), ed = quoted(t.EndDate), et = quoted(t.EndTime);
    const QString keys = keyTest(t);
    const QString week = t.Week ? QStringLiteral(" AND Week = ?") : QString();
    const QString mark = t.Recalculate ? QStringLiteral(", Recalculate = 1") : QString();

    // Two look-ups, each on its own index: one OR would search only by employee and read all of his rows.
    m_duplicate = prepare(QStringLiteral("SELECT EXISTS (SELECT 1 FROM %1 WHERE %2 AND %3 = ? AND %4 = ?) OR "
                                         "EXISTS (SELECT 1 FROM %1 WHERE %2 AND %5 = ? AND %6 = ?)")
                              .arg(name, keys, sd, st, ed, et));
    // The open pairs of a work day: from the day start on its first date to the day start on the next.
    m_openPair = prepare(QStringLiteral("SELECT rowid, %3, %4 FROM %1 WHERE %2 AND %3 BETWEEN ? AND ? AND "
                                           "((%3 = ? AND %4 >= ?) OR (%3 = ? AND %4 < ?))%5 AND %6 IS NULL "
                                           "ORDER BY %3, %4 LIMIT 1")
                                .arg(name, keys, sd, st, week, quoted(t.OpenColumn)));
    m_close = prepare(QStringLiteral("UPDATE %1 SET %2 = ?, %3 = ?, TotalHrs = ?, TotalMin = ?%4 WHERE rowid = ?")
                             .arg(name, ed, et, mark));
    m_putInFront = prepare(QStringLiteral("UPDATE %1 SET %2 = ?, %3 = ?, %4 = ?, %5 = ?, TotalHrs = ?, TotalMin = ?%6 "
                                             "WHERE rowid = ?")
                                  .arg(name, ed, sd, et, st, mark));
    QString columns = QStringLiteral("EmpID");
    QString values = QStringLiteral("?");
    for (const QString &column : t.KeyColumns) {
        columns += QStringLiteral(", ") + quoted(column);
        values += QStringLiteral(", ?");
    }
    columns += QStringLiteral(", ") + sd + (t.Week ? QStringLiteral(", Week") : QString()) + QStringLiteral(", ") + st +
               QStringLiteral(", TotalHrs, TotalMin") + (t.Recalculate ? QStringLiteral(", Recalculate") : QString());
    values += (t.Week ? QStringLiteral(", ?, ?, ?") : QStringLiteral(", ?, ?")) + QStringLiteral(", 0, 0") +
              (t.Recalculate ? QStringLiteral(", 1") : QString());
    m_insert = prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)").arg(name, columns, values));
    if (t.Recalculate)
        m_mark = prepare(QStringLiteral("UPDATE %1 SET Recalculate = 1 WHERE EmpID = ? AND %2 BETWEEN ? AND ? AND Week = ?")
                                .arg(name, sd));
    if (t.EmployeeGuard)
        m_employee = prepare(QStringLiteral("SELECT 1 FROM Employee WHERE ID = ? LIMIT 1"));
}

int Pairing::bindKeys(Statement &statement, int at) const
{
    statement.bind(at++, m_badge);
    for (const QByteArray &key : m_keys)
        statement.bind(at++, key);
    return at;
}

PairingOutcome Pairing::post(const QString &empId, const QStringList &keys, const QDate &date, const QTime &time)
{
    const PairingTable &t = m_table;
    m_changed = 0;
    m_attempted = PairingOutcome::Unchanged;
    if (keys.size() != t.KeyColumns.size())
        throw Platform::Error(Platform::ErrorNo::InvalidProcedureCall,
                              QStringLiteral("A punch for %1 carries %2 key values.").arg(t.Table).arg(keys.size()));
    m_badge = empId.toUtf8();
    m_keys.clear();
    for (const QString &key : keys)
        m_keys.append(key.toUtf8());
    const StoredText day = DbDateText(date), at = DbTimeText(time);

    int i = bindKeys(m_duplicate, 0);
    m_duplicate.bind(i, day).bind(i + 1, at);
    i = bindKeys(m_duplicate, i + 2);
    m_duplicate.bind(i, day).bind(i + 1, at);
    const bool duplicate = m_duplicate.next() && m_duplicate.integer(0) != 0;
    m_duplicate.reset();
    if (duplicate)
        return PairingOutcome::Duplicate;

    const QDate weekEnd = GetWeekEnd(date, time);
    const qint64 week = date == weekEnd ? GetWeekNumber(date, time) : GetWeekNumber(date);

    // A punch before the day start belongs to the work day that began the date before.
    const QDate first = BeforeDayStart(time) ? date.addDays(-1) : date;
    const StoredText from = DbDateText(first), to = DbDateText(first.addDays(1));
    const StoredText dayStart = DbTimeText(company().DayStartTime);
    i = bindKeys(m_openPair, 0);
    m_openPair.bind(i, from).bind(i + 1, to).bind(i + 2, from).bind(i + 3, dayStart).bind(i + 4, to).bind(i + 5, dayStart);
    if (t.Week)
        m_openPair.bind(i + 6, week);
    if (!m_openPair.next()) {
        m_openPair.reset();
        if (t.EmployeeGuard) {
            const bool known = m_employee.bind(0, m_badge).next();
            m_employee.reset();
            if (!known)
                return PairingOutcome::UnknownEmployee;
        }
        i = bindKeys(m_insert, 0);
        m_insert.bind(i++, day);
        if (t.Week)
            m_insert.bind(i++, week);
        m_insert.bind(i, at);
        m_attempted = PairingOutcome::Opened;
        m_changed = m_insert.execute();
        return PairingOutcome::Opened;
    }
    qint64 row = 0;
    QDate inDate;
    QTime inTime;
    {
        // The pair's row is let go also when its start is in a form that cannot be read.
        const auto done = qScopeGuard([this] { m_openPair.reset(); });
        row = m_openPair.integer(0);
        inDate = ReadDbDate(m_openPair, 1, t.StartDate);
        inTime = ReadDbTime(m_openPair, 2, t.StartTime);
    }

    const long days = inDate.daysTo(date);
    const int minutes = MinutesOfDay(time) - MinutesOfDay(inTime);
    QDate markFrom;
    PairingOutcome outcome;
    if (days > 0 || (days == 0 && minutes > 0)) {
        const long worked = ElapsedMinutes(inDate, inTime, date, time);
        m_attempted = PairingOutcome::Closed;
        m_close.bind(0, day).bind(1, at).bind(2, qint64(MinutesToHours(worked))).bind(3, qint64(MinutesRemainder(worked)));
        m_changed = m_close.bind(4, row).execute();
        markFrom = inDate;
        outcome = PairingOutcome::Closed;
    } else if (days < 0 || minutes < 0) {
        // The punch becomes the start; the old start becomes the end.
        const long worked = RoundMinutes(std::labs(days) * kMinutesPerDay + MinutesOfDay(inTime) - MinutesOfDay(time));
        m_attempted = PairingOutcome::PutInFront;
        m_putInFront.bind(0, DbDateText(inDate)).bind(1, day).bind(2, DbTimeText(inTime)).bind(3, at);
        m_putInFront.bind(4, qint64(MinutesToHours(worked))).bind(5, qint64(MinutesRemainder(worked)));
        m_changed = m_putInFront.bind(6, row).execute();
        markFrom = date;
        outcome = PairingOutcome::PutInFront;
    } else {
        return PairingOutcome::Unchanged;
    }
    if (t.Recalculate)
        m_mark.bind(0, m_badge).bind(1, DbDateText(markFrom)).bind(2, DbDateText(weekEnd)).bind(3, week).execute();
    return outcome;
}

Platform::Error CardError(const QString &card, const Platform::Error &e)
{
    return Platform::Error(e.number(), QStringLiteral("Card %1: %2").arg(card, e.description()));
}

int PostRows(const Platform::Database &db, Pairing &pairing, const std::vector<PostingRow> &rows, Refusals refusals,
             const std::function<void()> &beforeEach)
{
    const auto write = [&](std::size_t i) {
        const PostingRow &row = rows[i];
        pairing.post(row.Badge, row.Keys, row.Date, row.Time);
        // A write the table ignored (a trigger that drops it) is refused as well.
        if (pairing.attempted() != PairingOutcome::Unchanged && pairing.rowsChanged() != 1)
            throw Platform::Error(Platform::ErrorNo::DuplicateKey,
                                  pairing.table().Table + QStringLiteral(" took no row for the punch."));
    };
    // Only a new pair can be passed over: a pair left unclosed or unswapped would pair the next punches wrongly.
    const auto passOver = [&](const Platform::Error &e) {
        return e.number() == Platform::ErrorNo::DuplicateKey && refusals == Refusals::PassNewRowsOver &&
               pairing.attempted() == PairingOutcome::Opened;
    };
    Platform::Database::Transaction run(db);
    std::size_t refused = 0;
    try {
        refused = PostEach(run, db, rows.size(), [&rows](std::size_t i) { return rows[i].Badge; }, write, passOver,
                           beforeEach)
                      .size();
    } catch (const Platform::Error &) {
        if (!run.lost())
            run.commit();  // the punches before the failed one stay posted
        throw;
    }
    run.commit();
    return int(refused);
}

std::vector<RefusedRow> PostEach(Platform::Database::Transaction &run, const Platform::Database &db, std::size_t count,
                                 const std::function<QString(std::size_t)> &card,
                                 const std::function<void(std::size_t)> &write,
                                 const std::function<bool(const Platform::Error &)> &passOver,
                                 const std::function<void()> &beforeEach)
{
    std::vector<RefusedRow> refused;
    const auto post = [&](std::size_t i) {
        Platform::Database::Transaction row(db);
        write(i);
        row.commit();
    };
    for (std::size_t i = 0; i < count; ++i) {
        if (beforeEach)
            beforeEach();
        try {
            post(i);
        } catch (const Platform::Error &e) {
            const bool pass = passOver(e);
            if (run.lost()) {
                if (run.nested())
                    throw CardError(card(i), e);  // the caller's whole run is undone with it
                run.restart();
                for (std::size_t j = 0, r = 0; j < i; ++j) {
                    if (r < refused.size() && refused[r].Row == j) {
                        ++r;
                        continue;
                    }
                    try {
                        post(j);
                    } catch (const Platform::Error &again) {
                        throw CardError(card(j), again);
                    }
                }
            }
            if (!pass)
                throw CardError(card(i), e);
            refused.push_back({i, e});
        }
    }
    return refused;
}

} // namespace KovraDS
