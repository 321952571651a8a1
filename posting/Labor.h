#pragma once

#include "posting/KovraDS.h"

#include <QString>
#include <QStringList>

#include <array>

// The labor postings: one per function key, each pairing the punches of its
// posting file into start/end rows of its own table.
namespace KovraDS {

struct LaborMember {
    int number;                // the function key, 1 to 4
    QString State::*file;      // its posting file, F1Path .. F4Path
    QString table;
    // The key columns in the table's order; a posting line carries their
    // values in the same order between the badge and the date.
    QStringList keyColumns;
    QString successText;
    QString failureText;

    // Badge, the keys, date and time.
    int fieldCount() const { return int(keyColumns.size()) + 3; }
};

const std::array<LaborMember, 4> &laborMembers();

// Posts one member's file (PostLaborTracking .. PostLaborTrack4 of
// KovraDS.h): true when the whole file was posted.
bool PostLabor(const LaborMember &member);

} // namespace KovraDS
