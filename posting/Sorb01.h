#pragma once

#include <QtGlobal>

// The access-control product's module.
namespace Sorb01 {

// The company settings of the access-control product (its Registry rows
// 'Company'); a value that cannot be read keeps its old one, silently.
void LoadSorbSettings();

// Merges the attendance posting file into the product's Time Attendance,
// re-pairing the stored pairs its late punches fall into; true after a
// complete run. A failure leaves the table exactly as it was and the file.
bool ImportSorbClockData();

// Writes count of total as a percentage into the progress window.
void UpdateProgressBar(qint32 total, const qint32 &count);

} // namespace Sorb01
