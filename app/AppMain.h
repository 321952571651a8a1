#pragma once

#include "platform/db.h"
#include "platform/ui.h"

#include <QString>

#include <array>

class QWidget;

// The application shell's module: the state start-up sets, the settings
// store, the shared helpers, and import and repair of the clock database.
// Start-up itself knows every module and stands above them (startup/).
namespace AppMain {

// The eight clock-command strings of the 'Clock PARM' settings.
struct ClockParmRec {
    QString ClockParameters;
    QString FunctionKeys;
    QString RelayTimeOut;
    QString BadgeLen;
    QString ClockDisplay;
    QString MsgAck;
    QString BadgeValidation;
    QString BadgeFilter;
};

struct TextFileSettingsRec {
    std::array<QString, 3> TextSourceFile;  // employee, schedule and message files
    quint8 TextRecordFormat = 0;            // 0 month first, else day first
    quint8 DailyTextFile = 0;               // non-zero: one text file per day
    QString TextFileName;
};

// The targets the 'Data Source' setting names: text files, or the product
// whose database takes the punches.
inline const QString kTextFilesTarget = QStringLiteral("Text Files");
inline const QString kBrixTarget = QStringLiteral("Kovra-Brix");      // labor tracking
inline const QString kVeskTarget = QStringLiteral("Kovra-Vesk");      // time and attendance
inline const QString kSorbTarget = QStringLiteral("Kovra-Sorb 5.0");  // access control

// The 'Application' settings, loaded at start-up and rewritten by the
// settings screen while the program runs.
struct AppSettingsRec {
    quint8 ClockInterface = 0;  // 0 serial, 1 tevtcp95, 2 tevtcp32
    QString TargetType;
    QString TargetDbPath;
    bool AutoImport = false;
    TextFileSettingsRec TextFileSettings;
};

struct State {
    AppSettingsRec Settings;
    QString AppPath;   // the application folder, ending in '/'
    QString HelpFile;
    QString DbPath;
    Platform::Database MainDb;
    std::array<QString, 4> ClockReplyMsgs;
    ClockParmRec ClkParm;
};

State &state();
void resetState();
inline AppSettingsRec &settings() { return state().Settings; }

// ---- settings store ----
// The rows of one settings key, read once; fields are looked up in it.
Platform::Snapshot OpenRegKey(const Platform::Database &db, const QString &key);
QString GetRegValue(const Platform::Snapshot &rs, const QString &field, const QString &defaultValue);
void SaveRegValue(const QString &key, const QString &field, const QString &value);
void DeleteRegValue(const QString &key, const QString &field);

// ---- import and repair ----
void ImportDatabase(const QString &path);
bool RepairDatabase(const QString &path);

// ---- shared helpers ----
int FuncKeyCharToCode(const QString &text);
QString FuncKeyCodeToChar(int code);
QString FormatPunchDateUS(const QString &stamp);
QString FormatPunchDateEU(const QString &stamp);
QString GetAppPath();
void CenterForm(QWidget *form);
void ShowErrorMsg(const QString &code, const QString &text);
QString BrowseOpenFile(Platform::Ui::FileDialog &dialog, const QString &initDir, const QString &title, int kind);
QString BrowseSaveFile(Platform::Ui::FileDialog &dialog, const QString &title);
QString ExtractPath(const QString &path);

// A file name of the program (backslashes, any spelling of the data folder)
// under the application folder.
QString AppFile(const QString &relativeName);

// The leading number of a text, as the settings are read ("12abc" is 12, "" is 0).
double Val(const QString &text);
// A setting read as a Boolean: "True"/"False" in any case, or a number (non-zero is True).
bool CBool(const QString &text);
// A number as a byte, rounded half to even; outside 0-255 it is an overflow error.
quint8 CByte(double value);
// A number as a 16-bit integer, rounded half to even; outside -32768..32767 it is an overflow error.
qint16 CInt(double value);

} // namespace AppMain
