// Access-control batch posting: the punches of Data/F01.txt merged into the
// product's Time Attendance, re-pairing the stored pairs a late punch falls into.
#include "posting/SorbImport.h"

#include "app/ClockOperation.h"
#include "app/frmProgressBar.h"
#include "platform/error.h"
#include "platform/ui.h"
#include "posting/KovraDS.h"
#include "posting/Pairing.h"
#include "posting/Sorb01.h"
#include "posting/StoredForms.h"

#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QScopeGuard>
#include <QSqlQuery>

#include <algorithm>
#include <cmath>
#include <optional>
#include <tuple>

namespace Sorb01 {

namespace {

// The window shows only for files longer than this; short ones post too
// quickly to watch.
constexpr qint32 kRowsShownAbove = 10;

// The percentage last written, so the window is repainted only when it changes.
int lastPercent = -1;

void startPass(frmProgressBar *form, const QString &process, const QString &push)
{
    form->lblProcess->setText(process);
    form->lblPush->setText(push);
    lastPercent = -1;
}

} // namespace

int ProgressPercent(qint32 total, qint32 count)
{
    if (total <= 0)
        return 0;
    // The rounding mode in force is to nearest, halves to even.
    return int(std::nearbyint(double(count) * 100.0 / double(total)));
}

void UpdateProgressBar(qint32 total, const qint32 &count)
{
    const int percent = ProgressPercent(total, count);
    frmProgressBar *form = frmProgressBar::instance();
    form->SetPercent(percent);
    if (percent == lastPercent)
        return;
    lastPercent = percent;
    // The run holds the window thread; let the window paint, but take no
    // input in the middle of it. What else comes through (a close from the
    // window system, a timer) begins inside this yield and so meets the
    // posting's guard: a close waits for the run, a second posting is refused.
    if (form->isVisible()) {
        ClockOperation::Yield yield;
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
}

LaterPairs::LaterPairs(const Platform::Database &db)
    // Three indexed look-ups instead of the employee's whole history: the
    // pairs that end after the punch (a Null end is never later), and the
    // stored copies of the punch, as an IN or an OUT, where the walk stops.
    : m_find(db.prepare(QStringLiteral(
          "SELECT rowid, EmpID, TDate, ClockIn, DateOut, ClockOut, "
          "(TDate = ? AND ClockIn = ?) OR (DateOut = ? AND ClockOut = ?) FROM [Time Attendance] "
          "WHERE EmpID = ? AND (DateOut, ClockOut) > (?, ?) "
          "UNION SELECT rowid, EmpID, TDate, ClockIn, DateOut, ClockOut, 1 FROM [Time Attendance] "
          "WHERE EmpID = ? AND TDate = ? AND ClockIn = ? "
          "UNION SELECT rowid, EmpID, TDate, ClockIn, DateOut, ClockOut, 1 FROM [Time Attendance] "
          "WHERE EmpID = ? AND DateOut = ? AND ClockOut = ?"))),
      m_delete(db.prepare(QStringLiteral("DELETE FROM [Time Attendance] WHERE rowid = ?")))
{
}

int LaterPairs::take(const KovraDS::PostingRow &punch, std::vector<KovraDS::PostingRow> &staged)
{
    using KovraDS::ReadDbDate;
    using KovraDS::ReadDbTime;
    struct Row {
        QDate in;
        QTime clockIn;
        qint64 rowid;
        bool copy;
        QString empId;
        QDate out;
        QTime clockOut;
    };
    std::vector<Row> rows;
    const QString day = KovraDS::DbDate(punch.Date), at = KovraDS::DbTime(punch.Time);
    {
        QSqlQuery &q = m_find.run({day, at, day, at, punch.Badge, day, at, punch.Badge, day, at, punch.Badge, day, at});
        const auto done = qScopeGuard([&q] { q.finish(); });  // also after a date that cannot be read
        while (q.next()) {
            rows.push_back({ReadDbDate(q.value(2), QStringLiteral("TDate")), ReadDbTime(q.value(3), QStringLiteral("ClockIn")),
                            q.value(0).toLongLong(), q.value(6).toInt() != 0, q.value(1).toString(),
                            ReadDbDate(q.value(4), QStringLiteral("DateOut")), ReadDbTime(q.value(5), QStringLiteral("ClockOut"))});
        }
    }
    // The rows in the order the employee's history is walked: TDate, ClockIn,
    // then the order they were stored; a Null (null QDate, QTime) first.
    std::sort(rows.begin(), rows.end(), [](const Row &a, const Row &b) {
        return std::tie(a.in, a.clockIn, a.rowid) < std::tie(b.in, b.clockIn, b.rowid);
    });

    int taken = 0;
    for (const Row &r : rows) {
        if (r.copy)
            break;
        // A side without a date or time cannot be posted again: it is left out.
        for (const auto &[date, time] : {std::pair(r.in, r.clockIn), std::pair(r.out, r.clockOut)}) {
            if (date.isValid() && time.isValid())
                staged.push_back({r.empId, {}, date, time});
        }
        // A pair the product keeps (a trigger that drops the delete) would be posted twice.
        if (m_delete.execute({r.rowid}) != 1)
            throw Platform::Error(Platform::ErrorNo::DuplicateKey,
                                  QStringLiteral("Time Attendance kept a pair that was to be paired again."));
        ++taken;
    }
    return taken;
}

bool ImportSorbClockData()
{
    KovraDS::State &s = KovraDS::state();
    const Platform::Database &db = s.TargetDb;
    frmProgressBar *form = frmProgressBar::instance();
    std::optional<Platform::Error> failure;
    {
        Platform::Ui::BusyCursor busy;
        try {
            // One savepoint on the live table: the run is all or nothing, and
            // another writer waits for it instead of being overwritten.
            Platform::Database::Transaction run(db);
            LaterPairs later(db);
            KovraDS::PairingTable table;
            table.Table = QStringLiteral("Time Attendance");
            table.Recalculate = false;
            KovraDS::Pairing pairing(db, table);
            const KovraDS::PostingRows file = KovraDS::ReadPostingFile(s.F01Path);

            const qint32 total = qint32(file.Rows.size());
            if (total > kRowsShownAbove)
                form->show();
            startPass(form, QStringLiteral("Imported: "), QStringLiteral("Importing file"));
            std::vector<KovraDS::PostingRow> staged;
            qint32 count = 0;
            for (const KovraDS::PostingRow &punch : file.Rows) {
                ++count;
                UpdateProgressBar(total, count);
                try {
                    later.take(punch, staged);
                } catch (const Platform::Error &e) {
                    throw KovraDS::CardError(punch.Badge, e);
                }
            }

            staged.insert(staged.end(), file.Rows.begin(), file.Rows.end());
            KovraDS::SortPostingRows(staged);
            const qint32 stagedTotal = qint32(staged.size());
            count = 0;
            startPass(form, QStringLiteral("Processed: "), QStringLiteral("Processing data"));
            // The stored pairs pass 1 took out are in the staged punches only: a punch the product
            // refuses fails the whole run rather than lose them.
            KovraDS::PostRows(db, pairing, staged, KovraDS::Refusals::FailRun, [&] {
                ++count;
                UpdateProgressBar(stagedTotal, count);
            });
            form->hide();
            run.commit();
            // Counted once the run stands: a failed run reads its file again next time.
            s.PassedOver += file.PassedOver;
            QFile::remove(s.F01Path);
        } catch (const Platform::Error &e) {
            failure = e;
        }
    }
    if (failure) {
        form->hide();
        KovraDS::ShowPostingFailure(*failure, QStringLiteral("Clock data was NOT imported successfully!"), s.F01Path);
        return false;
    }
    Platform::Ui::msgBox(QStringLiteral("Clock data was imported successfully!"), Platform::Ui::Style::Information);
    return true;
}

} // namespace Sorb01
