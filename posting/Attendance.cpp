// Attendance posting: the posting file's punches paired into Time Attendance,
// then the hours worked of the changed days rebuilt.
#include "app/AppMain.h"
#include "platform/error.h"
#include "platform/ui.h"
#include "posting/HoursWorked.h"
#include "posting/KovraDS.h"
#include "posting/Pairing.h"
#include "posting/PostingFile.h"

#include <QFile>

#include <optional>

namespace KovraDS {

namespace {

bool postAttendance(const QString &path, bool employeeGuard)
{
    const Platform::Database &db = state().TargetDb;
    std::optional<Platform::Error> failure, recalcFailure;
    {
        Platform::Ui::BusyCursor busy;
        try {
            PairingTable table;
            table.Table = QStringLiteral("Time Attendance");
            table.EmployeeGuard = employeeGuard;
            // Everything is prepared before the first write: a missing table or column writes nothing.
            Pairing pairing(db, table);
            // A product without hours worked still takes its punches; only the recalculation fails.
            std::optional<HoursWorked> hours;
            try {
                hours.emplace(db);
            } catch (const Platform::Error &e) {
                recalcFailure = e;
            }
            const PostingRows rows = ReadPostingFile(path);
            // Counted once the run stands: a failed run reads its file again next time.
            state().PassedOver += rows.PassedOver + PostRows(db, pairing, rows.Rows, Refusals::PassNewRowsOver);
            // Posted and committed: a file left behind would only be passed over as duplicates.
            QFile::remove(path);
            try {
                if (hours)
                    hours->recalculate();
            } catch (const Platform::Error &e) {
                recalcFailure = e;
            }
        } catch (const Platform::Error &e) {
            failure = e;
        }
    }
    if (failure) {
        ShowPostingFailure(*failure, QStringLiteral("Clock data was NOT imported successfully!"), path);
        return false;
    }
    if (recalcFailure) {
        Platform::ActiveError active(*recalcFailure);
        AppMain::ShowErrorMsg(QString(),
                              QStringLiteral("Hours worked could not be recalculated.\n") + recalcFailure->description());
        return true;
    }
    Platform::Ui::msgBox(QStringLiteral("Clock data was imported successfully!"), Platform::Ui::Style::Information);
    return true;
}

} // namespace

bool PostTimeAttendance()
{
    return postAttendance(state().F01Path, false);
}

bool PostVeskTimeAttendance(const QString &fileName)
{
    return postAttendance(AppMain::AppFile(QStringLiteral("Data\\") + fileName), true);
}

} // namespace KovraDS
