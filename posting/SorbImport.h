#pragma once

#include "platform/db.h"
#include "posting/PostingFile.h"

#include <vector>

// The access-control product's batch posting, the parts its tests and
// benchmark reach: ImportSorbClockData itself is declared in Sorb01.h.
namespace Sorb01 {

// count·100/total rounded half to even.
int ProgressPercent(qint32 total, qint32 count);

// The first pass: for a punch, the employee's stored pairs that end after
// it, walked in (TDate, ClockIn) order up to the first stored copy of the
// punch, are taken out of Time Attendance and added to the staged punches
// (IN, then OUT, of each), so the second pass pairs them again in time order.
class LaterPairs {
public:
    explicit LaterPairs(const Platform::Database &db);
    // Returns how many pairs were taken.
    int take(const KovraDS::PostingRow &punch, std::vector<KovraDS::PostingRow> &staged);

private:
    Platform::Database::Statement m_find;
    Platform::Database::Statement m_delete;
};

} // namespace Sorb01
