// The access-control batch posting on a large Time Attendance: 1,000 late
// punches of 100 employees into 10^4, 10^5 and 10^6 stored rows. Prints the
// open (with its check), each pass, and the whole run.
#include "platform/db.h"
#include "platform/ui.h"
#include "posting/KovraDS.h"
#include "posting/Pairing.h"
#include "posting/SorbImport.h"
#include "posting/Sorb01.h"
#include "posting/StoredForms.h"
#include "tests/support/productdb/ProductDb.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

namespace {

constexpr int kEmployees = 100;
constexpr int kLatePerEmployee = 10;
const QDate kFirstDay(1990, 1, 1);

// Two closed pairs a day per employee, day after day, until the table holds rows rows.
void fill(const Platform::Database &db, int rows)
{
    Platform::Database::Transaction tx(db);
    auto insert = db.prepare(QStringLiteral("INSERT INTO [Time Attendance] (EmpID, TDate, Week, ClockIn, DateOut, "
                                            "ClockOut, TotalHrs, TotalMin) VALUES (?, ?, 1, ?, ?, ?, 4, 0)"));
    const int days = rows / kEmployees / 2;
    for (int e = 0; e < kEmployees; ++e) {
        for (int d = 0; d < days; ++d) {
            const QString day = KovraDS::DbDate(kFirstDay.addDays(d));
            insert.execute({QString::number(e), day, QStringLiteral("08:00:00"), day, QStringLiteral("12:00:00")});
            insert.execute({QString::number(e), day, QStringLiteral("13:00:00"), day, QStringLiteral("17:00:00")});
        }
    }
    tx.commit();
}

// Ten late punches per employee over the last five days of the history.
QByteArray latePunches(int rows)
{
    const QDate last = kFirstDay.addDays(rows / kEmployees / 2 - 1);
    QByteArray file;
    for (int e = 0; e < kEmployees; ++e) {
        for (int i = 0; i < kLatePerEmployee; ++i) {
            const QDate day = last.addDays(-(i / 2));
            file += QStringLiteral("%1,%2,%3\r\n")
                        .arg(e)
                        .arg(day.toString(QStringLiteral("MM/dd/yy")), i % 2 ? QStringLiteral("15:10") : QStringLiteral("10:20"))
                        .toLatin1();
        }
    }
    return file;
}

double ms(QElapsedTimer &t)
{
    const double result = double(t.nsecsElapsed()) / 1e6;
    t.restart();
    return result;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Platform::Ui::installScript();
    KovraDS::SetWorkDay(2);
    KovraDS::SetDayStartTime(QTime(0, 0));
    KovraDS::company().RoundTotal = 5;

    std::printf("%10s %10s %10s %10s %10s %8s\n", "rows", "open ms", "pass1 ms", "pass2 ms", "run ms", "posted");
    for (const int rows : {10000, 100000, 1000000}) {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("sorb.db"));
        ProductDb::create(path, ProductDb::Product::Sorb);
        fill(Platform::Database::open(path), rows);
        KovraDS::State &s = KovraDS::state();
        s.F01Path = dir.filePath(QStringLiteral("F01.txt"));
        const QByteArray punches = latePunches(rows);

        QElapsedTimer t;
        t.start();
        s.TargetDb = Platform::Database::open(path);
        const double open = ms(t);

        // The passes apart, as the run does them, then rolled back.
        double pass1 = 0, pass2 = 0;
        {
            QFile f(s.F01Path);
            f.open(QIODevice::WriteOnly);
            f.write(punches);
            f.close();
            t.restart();
            Platform::Database::Transaction tx(s.TargetDb);
            Sorb01::LaterPairs later(s.TargetDb);
            KovraDS::PairingTable table;
            table.Table = QStringLiteral("Time Attendance");
            table.Recalculate = false;
            KovraDS::Pairing pairing(s.TargetDb, table);
            const KovraDS::PostingRows file = KovraDS::ReadPostingFile(s.F01Path);
            std::vector<KovraDS::PostingRow> staged;
            for (const KovraDS::PostingRow &punch : file.Rows)
                later.take(punch, staged);
            staged.insert(staged.end(), file.Rows.begin(), file.Rows.end());
            KovraDS::SortPostingRows(staged);
            pass1 = ms(t);
            KovraDS::PostRows(s.TargetDb, pairing, staged, KovraDS::Refusals::FailRun);
            pass2 = ms(t);
        }

        t.restart();
        const bool posted = Sorb01::ImportSorbClockData();
        const double run = ms(t);
        std::printf("%10d %10.1f %10.1f %10.1f %10.1f %8s\n", rows, open, pass1, pass2, run, posted ? "yes" : "FAILED");
        s.TargetDb.close();
    }
    return 0;
}
