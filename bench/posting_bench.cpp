// Posting a day's file of punches into a time-and-attendance database of a
// given size: the time of each phase of a run, beside the floor (the same
// look-ups and writes as plain prepared SQLite statements in one transaction,
// on a copy of the same table), and the time of the poll-file converter.
//
//   build/bench/posting_bench [punches per employee [table rows]]
#include "platform/db.h"
#include "posting/Calendar.h"
#include "posting/HoursWorked.h"
#include "posting/Pairing.h"
#include "posting/PostingFile.h"
#include "posting/StoredForms.h"
#include "tests/support/productdb/ProductDb.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr int kEmployees = 1000;

QString employee(int i)
{
    return QStringLiteral("E%1").arg(i, 4, 10, QLatin1Char('0'));
}

// Closed pairs (and their hours-worked days) of earlier years, spread over the employees.
void fillHistory(const Platform::Database &db, int rows)
{
    Platform::Database::Transaction tx(db);
    auto pair = db.prepare(QStringLiteral(
        "INSERT INTO [Time Attendance] (EmpID, TDate, Week, ClockIn, DateOut, ClockOut, TotalHrs, TotalMin, Recalculate) "
        "VALUES (?, ?, ?, '08:00:00', ?, '16:00:00', 8, 0, 0)"));
    auto day = db.prepare(QStringLiteral(
        "INSERT INTO [Hours Worked] (EmpID, TDate, Week, [Straight Hrs], [OT Hrs], [DT Hrs]) VALUES (?, ?, ?, 8, 0, 0)"));
    const QDate first(2000, 1, 3);
    for (int i = 0; i < rows; ++i) {
        const QString emp = employee(i % kEmployees);
        const QDate date = first.addDays(i / kEmployees);
        const QString text = KovraDS::DbDate(date);
        const int week = KovraDS::GetWeekNumber(date);
        pair.execute({emp, text, week, text});
        day.execute({emp, text, week});
    }
    auto staff = db.prepare(QStringLiteral("INSERT INTO Employee (ID, Status) VALUES (?, 1)"));
    for (int e = 0; e < kEmployees; ++e)
        staff.execute({employee(e)});
    tx.commit();
}

// In and out on consecutive days of 2004, day by day as the clocks record them.
QByteArray postingFile(int punchesPerEmployee)
{
    QByteArray out;
    const QDate first(2004, 3, 1);
    for (int p = 0; p < punchesPerEmployee; ++p) {
        const QDate date = first.addDays(p / 2);
        const QByteArray day = date.toString(QStringLiteral("MM/dd/yy")).toLatin1();
        for (int e = 0; e < kEmployees; ++e) {
            const QByteArray time = p % 2 == 0 ? QByteArray("08:0") + QByteArray::number(e % 10)
                                               : QByteArray("16:") + QByteArray::number(10 + e % 50);
            out += employee(e).toLatin1() + ',' + day + ',' + time + "\r\n";
        }
    }
    return out;
}

QByteArray pollFile(int lines)
{
    QByteArray out;
    for (int i = 0; i < lines; ++i)
        out += "\\A!\x1dP0\x1e" + employee(i % kEmployees).toLatin1() + "\x1e\x1f" "040309" +
               QByteArray::number(100000 + i % 100000).right(4) + "00\x03\r\n";
    return out;
}

// The floor's statement, prepared once; a failing call ends the benchmark.
class Raw {
public:
    Raw(sqlite3 *db, const char *sql) : m_db(db) { check(sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr)); }
    ~Raw() { sqlite3_finalize(m_stmt); }
    Raw(const Raw &) = delete;
    Raw &operator=(const Raw &) = delete;

    Raw &text(int i, const QByteArray &value)
    {
        ready();
        check(sqlite3_bind_text(m_stmt, i, value.constData(), int(value.size()), SQLITE_STATIC));
        return *this;
    }
    Raw &integer(int i, sqlite3_int64 value)
    {
        ready();
        check(sqlite3_bind_int64(m_stmt, i, value));
        return *this;
    }
    // Steps once: true on a row, which stays readable until the next run.
    bool step()
    {
        ready();
        m_stepped = true;
        const int rc = sqlite3_step(m_stmt);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE)
            check(rc);
        return rc == SQLITE_ROW;
    }
    sqlite3_int64 column(int i) const { return sqlite3_column_int64(m_stmt, i); }
    const char *columnText(int i) const { return reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, i)); }

private:
    void ready()
    {
        if (m_stepped)
            sqlite3_reset(m_stmt);
        m_stepped = false;
    }
    void check(int rc) const
    {
        if (rc != SQLITE_OK) {
            std::fprintf(stderr, "floor: %s\n", sqlite3_errmsg(m_db));
            std::exit(1);
        }
    }
    sqlite3 *m_db;
    sqlite3_stmt *m_stmt = nullptr;
    bool m_stepped = false;
};

QByteArray dateText(const QDate &d)
{
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", d.year(), d.month(), d.day());
    return QByteArray(text);
}

QByteArray timeText(int minutes)
{
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:00", minutes / 60, minutes % 60);
    return QByteArray(text);
}

int minutesOf(const QTime &t)
{
    return t.hour() * 60 + t.minute();
}

// The attendance posting's look-ups and writes for each punch: the duplicate
// test, the open pair of its work day, then the close with the employee's
// marks, or the employee test and the new pair. No savepoints, nothing else.
double floorRun(const QString &path, const std::vector<KovraDS::PostingRow> &rows)
{
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "floor: cannot open %s\n", qPrintable(path));
        std::exit(1);
    }
    QElapsedTimer t;
    t.start();
    {
        Raw duplicate(db, "SELECT EXISTS (SELECT 1 FROM [Time Attendance] WHERE EmpID = ?1 AND TDate = ?2 AND ClockIn = ?3) "
                          "OR EXISTS (SELECT 1 FROM [Time Attendance] WHERE EmpID = ?1 AND DateOut = ?2 AND ClockOut = ?3)");
        Raw open(db, "SELECT rowid, TDate, ClockIn FROM [Time Attendance] WHERE EmpID = ?1 AND TDate BETWEEN ?2 AND ?3 AND "
                     "((TDate = ?2 AND ClockIn >= ?4) OR (TDate = ?3 AND ClockIn < ?4)) AND Week = ?5 AND ClockOut IS NULL "
                     "ORDER BY TDate, ClockIn LIMIT 1");
        Raw close(db, "UPDATE [Time Attendance] SET DateOut = ?, ClockOut = ?, TotalHrs = ?, TotalMin = ?, Recalculate = 1 "
                      "WHERE rowid = ?");
        Raw mark(db, "UPDATE [Time Attendance] SET Recalculate = 1 WHERE EmpID = ? AND TDate BETWEEN ? AND ? AND Week = ?");
        Raw employee(db, "SELECT 1 FROM Employee WHERE ID = ? LIMIT 1");
        Raw insert(db, "INSERT INTO [Time Attendance] (EmpID, TDate, Week, ClockIn, TotalHrs, TotalMin, Recalculate) "
                       "VALUES (?, ?, ?, ?, 0, 0, 1)");
        Raw begin(db, "BEGIN"), commit(db, "COMMIT");
        const QByteArray dayStart = timeText(minutesOf(KovraDS::company().DayStartTime));
        begin.step();
        for (const KovraDS::PostingRow &row : rows) {
            const QByteArray badge = row.Badge.toUtf8(), day = dateText(row.Date), at = timeText(minutesOf(row.Time));
            if (duplicate.text(1, badge).text(2, day).text(3, at).step() && duplicate.column(0) != 0)
                continue;
            const QDate weekEnd = KovraDS::GetWeekEnd(row.Date, row.Time);
            const int week = row.Date == weekEnd ? KovraDS::GetWeekNumber(row.Date, row.Time) : KovraDS::GetWeekNumber(row.Date);
            const QDate first = KovraDS::BeforeDayStart(row.Time) ? row.Date.addDays(-1) : row.Date;
            const QByteArray from = dateText(first), to = dateText(first.addDays(1));
            if (!open.text(1, badge).text(2, from).text(3, to).text(4, dayStart).integer(5, week).step()) {
                if (employee.text(1, badge).step())
                    insert.text(1, badge).text(2, day).integer(3, week).text(4, at).step();
                continue;
            }
            // The bench's punches only ever close their pair.
            const sqlite3_int64 rowid = open.column(0);
            int y, m, d, hh, mm;
            std::sscanf(open.columnText(1), "%d-%d-%d", &y, &m, &d);
            std::sscanf(open.columnText(2), "%d:%d", &hh, &mm);
            const QDate inDate(y, m, d);
            const long worked = KovraDS::ElapsedMinutes(inDate, QTime(hh, mm), row.Date, row.Time);
            close.text(1, day).text(2, at).integer(3, worked / 60).integer(4, worked % 60).integer(5, rowid).step();
            mark.text(1, badge).text(2, dateText(inDate)).text(3, dateText(weekEnd)).integer(4, week).step();
        }
        commit.step();
    }
    const double s = t.nsecsElapsed() / 1e9;
    sqlite3_close(db);
    return s;
}

// What a posting left in the table, to see that the floor did the same.
QString tableSum(const QString &path)
{
    const Platform::Database db = Platform::Database::open(path, true, Platform::Database::Check::OpensOnly);
    QSqlQuery q = db.query(QStringLiteral(
        "SELECT count(*), count(ClockOut), total(TotalHrs * 60 + TotalMin), total(Recalculate) FROM [Time Attendance]"));
    q.next();
    return QStringLiteral("%1/%2/%3/%4").arg(q.value(0).toString(), q.value(1).toString(), q.value(2).toString(),
                                             q.value(3).toString());
}

double seconds(QElapsedTimer &t)
{
    const double s = t.nsecsElapsed() / 1e9;
    t.restart();
    return s;
}

void run(const QString &folder, int history, int punchesPerEmployee)
{
    const QString path = folder + QStringLiteral("/vesk.db");
    const QString f01 = folder + QStringLiteral("/F01.txt");
    const QString floorPath = folder + QStringLiteral("/floor.db");
    ProductDb::create(path, ProductDb::Product::Vesk);
    fillHistory(Platform::Database::open(path), history);
    QFile::remove(floorPath);
    QFile::copy(path, floorPath);
    QFile::remove(f01);
    KovraDS::AppendToFile(f01, postingFile(punchesPerEmployee));

    QElapsedTimer t;
    t.start();
    const Platform::Database db = Platform::Database::open(path);
    const double open = seconds(t);
    const KovraDS::PostingRows rows = KovraDS::ReadPostingFile(f01);
    const double read = seconds(t);
    KovraDS::PairingTable table;
    table.Table = QStringLiteral("Time Attendance");
    table.EmployeeGuard = true;
    KovraDS::Pairing pairing(db, table);
    KovraDS::HoursWorked hours(db);
    KovraDS::PostRows(db, pairing, rows.Rows, KovraDS::Refusals::PassNewRowsOver);
    const double pair = seconds(t);
    const QString posted = tableSum(path);
    t.restart();
    hours.recalculate();
    const double recalc = seconds(t);
    const double floor = floorRun(floorPath, rows.Rows);
    std::printf("%9d %9zu %8.3f %8.3f %8.3f %8.3f %8.3f %8.3f %8.1f\n", history, rows.Rows.size(), open, read, pair,
                recalc, open + read + pair + recalc, floor, pair / floor);
    if (const QString floorTable = tableSum(floorPath); floorTable != posted)
        std::printf("  the floor left %s, the posting %s (rows/closed/minutes/marked)\n", qPrintable(floorTable),
                    qPrintable(posted));
    QFile::remove(floorPath);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int perEmployee = argc > 1 ? std::atoi(argv[1]) : 100;
    QTemporaryDir folder;
    KovraDS::SetWorkDay(2);
    KovraDS::SetDayStartTime(QTime(0, 0));
    KovraDS::company().RoundTotal = 5;

    std::printf("attendance posting, %d employees (seconds)\n", kEmployees);
    std::printf("%9s %9s %8s %8s %8s %8s %8s %8s %8s\n", "TA rows", "punches", "open", "read", "pairing", "recalc",
                "total", "floor", "x floor");
    if (argc > 2) {  // one table only, for a profiler
        run(folder.path(), std::atoi(argv[2]), perEmployee);
        return 0;
    }
    for (int history : {0, 10000, 100000, 1000000})
        run(folder.path(), history, perEmployee);
    run(folder.path(), 1000000, perEmployee / 10);

    const QString poll = folder.path() + QStringLiteral("/POLL.txt");
    const QString f01 = folder.path() + QStringLiteral("/F01.txt");
    QFile::remove(f01);
    KovraDS::AppendToFile(poll, pollFile(100000));
    QElapsedTimer t;
    t.start();
    KovraDS::AppendToFile(f01, KovraDS::ConvertPollLines(KovraDS::ReadWholeFile(poll), KovraDS::LineKind::Posting));
    std::printf("converter: 100000 poll lines to posting lines in %.3f s\n", seconds(t));
    return 0;
}
