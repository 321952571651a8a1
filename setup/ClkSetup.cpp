#include "setup/ClkSetup.h"

#include "app/Screen.h"
#include "app/frmMDI.h"
#include "setup/frmStpClkParm.h"

namespace ClkSetup {

void InstallHooks()
{
    MDIHooks &h = mdiHooks();
    h.showClockParameters = [] { AppMain::OneScreen<frmStpClkParm>::show(AppMain::Centred); };
}

} // namespace ClkSetup
