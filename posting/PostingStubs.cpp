// Postings still to come: they post nothing, show nothing and leave their files.
#include "posting/KovraDS.h"
#include "posting/Sorb01.h"

namespace KovraDS {

bool PostLaborTracking() { return true; }
bool PostLaborTrack2() { return true; }
bool PostLaborTrack3() { return true; }
bool PostLaborTrack4() { return true; }

} // namespace KovraDS

namespace Sorb01 {

bool ImportSorbClockData() { return true; }

} // namespace Sorb01
