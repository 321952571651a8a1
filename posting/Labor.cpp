// Labor tracking posting: the punches of a function key's posting file paired
// into start/end rows of that key's table.
#include "posting/Labor.h"

#include "app/AppMain.h"
#include "platform/error.h"
#include "platform/ui.h"
#include "posting/Pairing.h"
#include "posting/PostingFile.h"

#include <QFile>

#include <optional>

namespace KovraDS {

const std::array<LaborMember, 4> &laborMembers()
{
    static const std::array<LaborMember, 4> members{{
        {1, &State::F1Path, QStringLiteral("Labor Tracking"),
         {QStringLiteral("WorkOrderNo"), QStringLiteral("PartNo"), QStringLiteral("Job Code")},
         QStringLiteral("Labor tracking by work order data was imported successfully!"),
         QStringLiteral("Labor tracking by work order data was NOT imported successfully!")},
        {2, &State::F2Path, QStringLiteral("Labor Track2"),
         {QStringLiteral("PartNo"), QStringLiteral("Job Code")},
         QStringLiteral("Labor tracking by part records were imported successfully!"),
         QStringLiteral("Labor tracking by part records were NOT imported successfully!")},
        {3, &State::F3Path, QStringLiteral("Labor Track3"),
         {QStringLiteral("Job Code")},
         QStringLiteral("Labor tracking by job code records were imported successfully!"),
         QStringLiteral("Labor tracking by job code records were NOT imported successfully!")},
        // The failure text of this one names "job code" where its success text does not.
        {4, &State::F4Path, QStringLiteral("Labor Track4"),
         {QStringLiteral("WorkOrderNo"), QStringLiteral("Job Code")},
         QStringLiteral("Labor tracking by workorder/job records were imported successfully!"),
         QStringLiteral("Labor tracking by workorder/job code records were NOT imported successfully!")},
    }};
    return members;
}

bool PostLabor(const LaborMember &member)
{
    State &s = state();
    const QString path = s.*member.file;
    std::optional<Platform::Error> failure;
    {
        Platform::Ui::BusyCursor busy;
        try {
            PairingTable table;
            table.Table = member.table;
            table.StartDate = QStringLiteral("StartDate");
            table.StartTime = QStringLiteral("StartTime");
            table.EndDate = QStringLiteral("EndDate");
            table.EndTime = QStringLiteral("EndTime");
            table.OpenColumn = QStringLiteral("EndDate");
            table.KeyColumns = member.keyColumns;
            table.Week = false;
            table.Recalculate = false;
            // Prepared before the first write: a missing table or column writes nothing.
            Pairing pairing(s.TargetDb, table);
            const PostingRows rows = ReadPostingFile(path, int(member.keyColumns.size()));
            // Counted once the run stands: a failed run reads its file again next time.
            s.PassedOver += rows.PassedOver + PostRows(s.TargetDb, pairing, rows.Rows, Refusals::PassNewRowsOver);
            // Posted and committed: a file left behind would only be passed over as duplicates.
            QFile::remove(path);
        } catch (const Platform::Error &e) {
            failure = e;
        }
    }
    if (failure) {
        ShowPostingFailure(*failure, member.failureText, path);
        return false;
    }
    Platform::Ui::msgBox(member.successText, Platform::Ui::Style::OkOnly);
    return true;
}

bool PostLaborTracking()
{
    return PostLabor(laborMembers()[0]);
}

bool PostLaborTrack2()
{
    return PostLabor(laborMembers()[1]);
}

bool PostLaborTrack3()
{
    return PostLabor(laborMembers()[2]);
}

bool PostLaborTrack4()
{
    return PostLabor(laborMembers()[3]);
}

} // namespace KovraDS
