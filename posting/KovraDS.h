#pragma once

#include "platform/db.h"
#include "posting/Calendar.h"

#include <QDate>
#include <QSet>
#include <QString>
#include <QStringList>

// The posting module: its settings, the posting files and the target product database.
namespace KovraDS {

// The 'Application' settings (ClockInterface, TargetType, ...) live in the
// shell, AppMain::settings(), since the link and poll code read them too.
struct State {
    Platform::Database TargetDb;
    QString F01Path, F02Path, F1Path, F2Path, F3Path, F4Path;
    CompanySettingsRec Company;
    // Records of the current posting that were passed over (unreadable,
    // empty badge, bad date or time, refused by the database).
    int PassedOver = 0;
    // The day the text target's daily name uses; null is the real today (tests set it).
    QDate Today;
    // Product database files checked page by page in this run (path and file id).
    QSet<QString> CheckedTargetFiles;
};

State &state();
void resetState();

// Sets the main window's hooks this module answers (Data > Import Clock Data,
// the checks and postings of a continuous poll).
void InstallHooks();

// Posts a file of poll log lines to the configured target. True when every
// punch record reached the text target or a posting file, or was passed
// over; false keeps the caller's poll file.
bool PostPolledData(const QString &pollFile);

// The box of a posting run that failed: its failure text and the cause,
// and, while the run's posting file holds records, that they are kept there
// and when they will be posted.
void ShowPostingFailure(const Platform::Error &e, const QString &failureText, const QString &postingFile,
                        const QString &postedWhen = QStringLiteral("with the next import"));

// "n clock record(s) could not be imported.", when n is above 0.
void ShowPassedOver(int count);

// Opens the product database named by the settings; a failure is shown and
// leaves the database that was open, if any. The first open of a file in a
// run checks every page; posting reopens it after every poll, so later opens
// of the same file check only that it opens as a database. keptIn: the
// posting files whose records wait when it fails; the box says which hold
// records and when they will be posted.
bool OpenTargetDb(const QStringList &keptIn = {}, const QString &postedWhen = QStringLiteral("with the next import"));
void CloseTargetDb();
// The same open into a connection of the caller's own (a screen that reads
// the product while a poll or a posting uses TargetDb).
bool OpenTargetFile(Platform::Database &db);

// The text target's file name for today.
QString TextTargetFile();

// ---- attendance ----
bool PostTimeAttendance();                              // Brix: F01
bool PostVeskTimeAttendance(const QString &fileName);   // Vesk: a file of the data folder

// ---- labor (one posting file each) ----
bool PostLaborTracking();
bool PostLaborTrack2();
bool PostLaborTrack3();
bool PostLaborTrack4();

} // namespace KovraDS
