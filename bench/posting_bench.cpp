// Posting a day's file of punches into a time-and-attendance database of a
// given size: the time of each phase of a run, and of the poll-file converter.
//
//   build/bench/posting_bench [punches per employee]
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

#include <cstdio>
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
    ProductDb::create(path, ProductDb::Product::Vesk);
    fillHistory(Platform::Database::open(path), history);
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
    hours.recalculate();
    const double recalc = seconds(t);
    std::printf("%9d %9zu %8.3f %8.3f %8.3f %8.3f %8.3f\n", history, rows.Rows.size(), open, read, pair, recalc,
                open + read + pair + recalc);
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
    std::printf("%9s %9s %8s %8s %8s %8s %8s\n", "TA rows", "punches", "open", "read", "pairing", "recalc", "total");
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
