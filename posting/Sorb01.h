#pragma once

// The access-control product's module.
namespace Sorb01 {

// The company settings of the access-control product (its Registry rows
// 'Company'); a value that cannot be read keeps its old one, silently.
void LoadSorbSettings();

// Re-pairs the attendance posting file into the product's attendance table.
bool ImportSorbClockData();

} // namespace Sorb01
