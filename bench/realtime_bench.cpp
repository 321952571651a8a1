// The checks and posting of one punch in a continuous poll of the
// access-control product: card look-up, schedule check and single-punch
// posting (its own committed transaction), on a product file on disk with
// 10,000 employees and 100,000 stored Time Attendance rows. Prints the
// median, 99th percentile and maximum over 10,000 punches, of the whole
// step and of its two parts (the checks; the posting with its commit).
#include "app/AppMain.h"
#include "app/frmMDI.h"
#include "platform/db.h"
#include "platform/ui.h"
#include "posting/Calendar.h"
#include "posting/KovraDS.h"
#include "posting/Sorb01.h"
#include "posting/StoredForms.h"
#include "tests/support/productdb/ProductDb.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kEmployees = 10000;
constexpr int kStoredRows = 100000;
constexpr int kSchedules = 50;
constexpr int kPunches = 10000;
const QDate kFirstDay(2003, 1, 6);

void fill(const Platform::Database &db)
{
    Platform::Database::Transaction tx(db);
    auto employee = db.prepare(QStringLiteral(
        "INSERT INTO Employee (ID, FirstName, ScheduleNo, Status, CardID) VALUES (?, ?, ?, 1, ?)"));
    for (int e = 0; e < kEmployees; ++e) {
        employee.execute({QString::number(e), QStringLiteral("Name%1").arg(e),
                          QStringLiteral("%1").arg(e % kSchedules + 1, 3, 10, QLatin1Char('0')), QString::number(100000 + e)});
    }
    auto day = db.prepare(QStringLiteral("INSERT INTO [Schedule Days] (ScheduleNo, TheDay, StartTime, EndTime, "
                                         "StartTimeR, EndTimeR) VALUES (?, ?, '06:00:00', '22:00:00', '12:00:00', '12:30:00')"));
    for (int s = 1; s <= kSchedules; ++s) {
        for (int d = 1; d <= 7; ++d)
            day.execute({QStringLiteral("%1").arg(s, 3, 10, QLatin1Char('0')), d});
    }
    // Closed pairs, ten per employee, on the days before the punches.
    auto pair = db.prepare(QStringLiteral("INSERT INTO [Time Attendance] (EmpID, TDate, Week, ClockIn, DateOut, "
                                          "ClockOut, TotalHrs, TotalMin) VALUES (?, ?, 1, '08:00:00', ?, '16:00:00', 8, 0)"));
    for (int r = 0; r < kStoredRows; ++r) {
        const QString date = KovraDS::DbDate(kFirstDay.addDays(r / kEmployees));
        pair.execute({QString::number(100000 + r % kEmployees), date, date});
    }
    tx.commit();
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Platform::Ui::installScript();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("sorb.db"));
    ProductDb::create(path, ProductDb::Product::Sorb);
    fill(Platform::Database::open(path));
    AppMain::settings().TargetDbPath = path;
    if (!Sorb01::StartRealTimeChecks(false)) {
        std::fprintf(stderr, "the checks did not start\n");
        return 1;
    }

    // Half the employees, each twice (a pair opened, then closed or put in
    // front), one punch a minute from 08:00, on the day after the stored ones.
    const QDate day = kFirstDay.addDays(kStoredRows / kEmployees);
    std::vector<double> whole, checks, posting;
    whole.reserve(kPunches);
    int posted = 0;
    QElapsedTimer t;
    for (int p = 0; p < kPunches; ++p) {
        const QString card = QString::number(100000 + (p * 7919) % (kEmployees / 2));
        const QTime time = QTime(8, 0).addSecs(60 * (p % 600));
        t.start();
        const std::optional<CardHolder> holder = Sorb01::LookUpCard(card, false);
        const bool accepted = holder && Sorb01::CheckSchedule(holder->ScheduleNo, day, time) == Sorb01::kInSchedule;
        const qint64 checked = t.nsecsElapsed();
        if (accepted && Sorb01::PostSorbPunch(day, time, card)) {
            ++posted;
            posting.push_back(double(t.nsecsElapsed() - checked) / 1e6);
        }
        checks.push_back(double(checked) / 1e6);
        whole.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    Sorb01::EndRealTimeChecks();
    std::printf("file %s (%lld bytes), %d employees, %d stored rows\n", qPrintable(path),
                static_cast<long long>(QFileInfo(path).size()), kEmployees, kStoredRows);
    std::printf("%d punches, %d posted (the rest fell in a break)\n", kPunches, posted);
    std::printf("%-28s %10s %10s %10s\n", "", "median ms", "p99 ms", "max ms");
    for (auto [name, ms] : {std::pair("card + schedule + posting", &whole), std::pair("card + schedule", &checks),
                            std::pair("posting (one commit)", &posting)}) {
        std::sort(ms->begin(), ms->end());
        std::printf("%-28s %10.3f %10.3f %10.3f\n", name, (*ms)[ms->size() / 2], (*ms)[ms->size() * 99 / 100], ms->back());
    }
    return 0;
}
