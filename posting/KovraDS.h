#pragma once

#include "platform/db.h"

#include <QString>


// The posting module: its settings, the posting files and the target product database.
namespace KovraDS {

// The 'Application' settings (ClockInterface, TargetType, ...) live in the
// shell, AppMain::settings(), since the link and poll code read them too.
struct State {
    Platform::Database TargetDb;
    QString F01Path, F02Path, F1Path, F2Path, F3Path, F4Path;
};

State &state();
void resetState();

// Opens the product database named by the settings; a failure is shown and
// leaves the database that was open, if any.
bool OpenTargetDb();
void CloseTargetDb();

} // namespace KovraDS
