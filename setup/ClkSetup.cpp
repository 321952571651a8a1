#include "setup/ClkSetup.h"

#include "app/Screen.h"
#include "app/frmMDI.h"
#include "setup/CmdWalk.h"
#include "setup/frmContPollMsg.h"
#include "setup/frmDldFile.h"
#include "setup/frmFuncKeyStp.h"
#include "setup/frmStdClkMsg.h"
#include "setup/frmStpClkParm.h"

namespace ClkSetup {

void InstallHooks()
{
    MDIHooks &h = mdiHooks();
    h.showClockParameters = [] { AppMain::OneScreen<frmStpClkParm>::show(AppMain::Centred); };
    h.showFunctionKeys = [] { AppMain::OneScreen<frmFuncKeyStp>::show(AppMain::Centred); };
    h.showClockMessages = [] { AppMain::OneScreen<frmStdClkMsg>::show(AppMain::Centred); };
    h.showContPollMessages = [] { AppMain::OneScreen<frmContPollMsg>::show(AppMain::Centred); };
    h.showCreateCmdFile = [] { AppMain::OneScreen<frmDldFile>::show(AppMain::Centred); };
    CmdWalk::InstallProgramLink();
}

} // namespace ClkSetup
