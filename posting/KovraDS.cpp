#include "posting/KovraDS.h"

#include "app/AppMain.h"
#include "platform/error.h"

namespace KovraDS {

State &state()
{
    static State s;
    return s;
}

void resetState()
{
    state() = State{};
}

bool OpenTargetDb()
{
    try {
        state().TargetDb = Platform::Database::open(AppMain::settings().TargetDbPath);
        return true;
    } catch (const Platform::Error &e) {
        Platform::ActiveError active(e);
        if (e.number() == Platform::ErrorNo::DatabaseMissing)
            AppMain::ShowErrorMsg(QString(), QStringLiteral("Database file is not found!"));
        else
            AppMain::ShowErrorMsg(QString(), e.description());
        return false;
    }
}

void CloseTargetDb()
{
    state().TargetDb.close();
}

} // namespace KovraDS
