#pragma once

#include "platform/db.h"

#include <QString>

#include <array>

// The posting module: its settings, the posting files and the target product database.
namespace KovraDS {

struct TextFileSettingsRec {
    std::array<QString, 3> TextSourceFile;  // employee, schedule and message files
    quint8 TextRecordFormat = 0;            // 0 month first, else day first
    quint8 DailyTextFile = 0;               // non-zero: one text file per day
    QString TextFileName;
};

struct State {
    quint8 ClockInterface = 0;  // 0 serial, 1 tevtcp95, 2 tevtcp32
    QString TargetType;
    QString TargetDbPath;
    bool AutoImport = false;
    TextFileSettingsRec TextFileSettings;
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
