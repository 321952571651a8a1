#include "posting/Sorb01.h"

#include "app/AppMain.h"
#include "platform/error.h"
#include "posting/Calendar.h"
#include "posting/KovraDS.h"

namespace Sorb01 {

void LoadSorbSettings()
{
    using namespace KovraDS;
    Platform::Snapshot rs;
    try {
        rs = AppMain::OpenRegKey(state().TargetDb, QStringLiteral("Company"));
    } catch (const Platform::Error &) {
        return;  // no Registry table: every setting keeps its value
    }
    // The schedule check of continuous polling needs the grace minutes too.
    ReadCompanySettings([&rs](const QString &name, const QString &fallback) {
        return AppMain::GetRegValue(rs, name, fallback);
    }, QStringLiteral("GracePeriod"), QStringLiteral("15"), true);
}

} // namespace Sorb01
