// Start-up: the application folder, the clock database, the settings every
// other module reads, the clock link, and the splash.
#include "startup/Startup.h"

#include "app/AppMain.h"
#include "app/Screen.h"
#include "app/frmMDI.h"
#include "app/frmSplash.h"
#include "link/SerialClk.h"
#include "link/TCPIP.h"
#include "link/frmClockPollProp.h"
#include "link/frmSendCmd.h"
#include "link/frmSetTime.h"
#include "platform/error.h"
#include "polling/frmPollSerial.h"
#include "polling/frmPollTCPIP.h"
#include "posting/KovraDS.h"
#include "posting/Sorb01.h"
#include "setup/ClkSetup.h"
#include "setup/ClockParms.h"
#include "startup/frmAppSettings.h"

#include <QApplication>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <vector>

namespace AppMain {

namespace {

const QStringList kDatabaseTargets = {kVeskTarget, kBrixTarget, kSorbTarget};

// The answers a continuously polled clock shows when no message overrides them.
const std::array<QString, 4> kDefaultClockReplies = {
    QStringLiteral("Punch Accepted!     Thanks "),
    QStringLiteral("Invalid ID!"),
    QStringLiteral("Not Scheduled!"),
    QStringLiteral("Break Time! Please clock in later."),
};

enum class Handled { Continue, End };

// The start-up trap: what a failed step means for the rest of the start.
Handled handleStartupError(const Platform::Error &e)
{
    Platform::ActiveError active(e);
    switch (e.number()) {
    case Platform::ErrorNo::DatabaseMissing:
    case Platform::ErrorNo::WorkgroupFileMissing:
        ShowErrorMsg(QString(), QStringLiteral("Cannot start the application. The database is missing. "));
        return Handled::End;
    case Platform::ErrorNo::DatabaseCorrupt: {
        const auto answer = Platform::Ui::msgBox(
            QStringLiteral("Cannot start the application.  The Clock database is corrupt. Do you want to repair it?"),
            Platform::Ui::Style::YesNo | Platform::Ui::Style::Critical);
        if (answer != Platform::Ui::Answer::Yes)
            return Handled::End;
        if (RepairDatabase(state().DbPath))
            return Handled::Continue;
        ShowErrorMsg(QString(), QStringLiteral("Repair database operation failed.  Application will End"));
        return Handled::End;
    }
    default:
        ShowErrorMsg(QString(), e.description());
        // Nothing after the open can work without the clock database.
        return state().MainDb.isOpen() ? Handled::Continue : Handled::End;
    }
}

// Runs steps under the start-up trap: a failed step is shown and the next
// runs. False when the trap ends the program.
bool runSteps(const std::vector<std::function<void()>> &steps)
{
    for (const auto &step : steps) {
        try {
            step();
        } catch (const Platform::Error &e) {
            if (handleStartupError(e) == Handled::End)
                return false;
        }
    }
    return true;
}

} // namespace

bool PrepareClockLink(quint8 clock, const StepRunner &run)
{
    if (clock == 0) {
        SerialClk::State &serial = SerialClk::state();
        const bool going = run({
            [] { SerialClk::LoadCommSettings(); },
            [] { SerialClk::LoadDefaultSerialClock(); },
            [&serial] {
                SerialClk::SetCommDefaults(*frmMDI::instance()->MSComm1, serial.SelClock.Port, serial.SelClock.Settings);
            },
        });
        serial.ClockPortOpen = false;
        return going;
    }
    if (clock == 1 || clock == 2) {
        // These stay off while the TCP/IP link is in use.
        std::vector<std::function<void()>> steps = {[] { frmMDI::instance()->DisableSerialOnlyMenus(); }};
        for (void (*call)() : TCPIP::StartSequence())
            steps.push_back(call);
        return run(steps);
    }
    return true;
}

int Run()
{
    int code = 1;
    Guard([&code] {
        if (Main() == StartResult::Running)
            code = QApplication::exec();
    });
    ReleaseModuleState();
    return code;
}

void ReleaseModuleState()
{
    // Forms first: a form's destructor may still reach a module's state. The
    // program's forms are named after themselves ("frmMDI"); Qt's own windows
    // are left to Qt.
    QList<QPointer<QWidget>> forms;
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (window->objectName().startsWith(QLatin1String("frm")))
            forms << window;
    }
    for (const QPointer<QWidget> &form : forms)
        delete form.data();
    // Each module's state, the link and poll modules before the shell whose
    // clock database they use.
    TCPIP::resetState();
    SerialClk::resetState();
    // The poll's statements before the product database they were prepared on.
    Sorb01::ReleaseRealTimeChecks();
    KovraDS::resetState();
    resetState();
}

void InstallHooks()
{
    SerialClk::InstallHooks();
    TCPIP::InstallHooks();
    SerialClk::InstallPollPropertiesHook();
    SerialClk::InstallSetTimeHook();
    SerialClk::InstallSendCmdHook();
    InstallAppSettingsHook();
    PollSerial::InstallHooks();
    TCPIPPoll::InstallHooks();
    ClkSetup::InstallHooks();
    KovraDS::InstallHooks();
}

StartResult Main()
{
    State &s = state();
    KovraDS::State &posting = KovraDS::state();
    InstallHooks();
    const std::vector<std::function<void()>> steps = {
        [&] {
            s.AppPath = GetAppPath();
            s.HelpFile = s.AppPath + QStringLiteral("Kovra TEV.html");
            // The link library finds its names in this file; a user's own choice wins.
            if (qEnvironmentVariableIsEmpty("TEV_HOSTS"))
                qputenv("TEV_HOSTS", (s.AppPath + QStringLiteral("hosts")).toLocal8Bit());
        },
        [&] {
            posting.F01Path = AppFile(QStringLiteral("Data\\F01.txt"));
            posting.F02Path = AppFile(QStringLiteral("Data\\F02.txt"));
            posting.F1Path = AppFile(QStringLiteral("Data\\F1.txt"));
            posting.F2Path = AppFile(QStringLiteral("Data\\F2.txt"));
            posting.F3Path = AppFile(QStringLiteral("Data\\F3.txt"));
            posting.F4Path = AppFile(QStringLiteral("Data\\F4.txt"));
            s.DbPath = AppFile(QStringLiteral("Clock103.mdb"));
        },
        [&] { s.MainDb = Platform::Database::open(s.DbPath); },
        [&] { LoadAppSettings(); },
        [&] { SerialClk::InitProtocolChars(); },
        [&] { LoadClockParms(); },
        [&] { s.ClockReplyMsgs = kDefaultClockReplies; },
    };
    // Then the link chosen by "Clock".
    if (!runSteps(steps) || !PrepareClockLink(s.Settings.ClockInterface, runSteps))
        return StartResult::Ended;
    frmSplash::instance()->show();
    return StartResult::Running;
}

void LoadAppSettings()
{
    AppSettingsRec &posting = settings();
    try {
        const Platform::Snapshot rs = OpenRegKey(state().MainDb, QStringLiteral("Application"));
        posting.ClockInterface = CByte(Val(GetRegValue(rs, QStringLiteral("Clock"), QStringLiteral("0"))));
        posting.TargetType = GetRegValue(rs, QStringLiteral("Data Source"), kTextFilesTarget);
        if (posting.TargetType == kTextFilesTarget) {
            TextFileSettingsRec &text = posting.TextFileSettings;
            for (int i = 0; i < 3; ++i)
                text.TextSourceFile[i] = GetRegValue(rs, QStringLiteral("TextSourceFile%1").arg(i + 1), QString());
            text.TextFileName = GetRegValue(rs, QStringLiteral("TextDestination"),
                                            AppFile(QStringLiteral("Data\\KovraTEV.txt")));
            text.DailyTextFile = CByte(Val(GetRegValue(rs, QStringLiteral("NoOfFiles"), QStringLiteral("1"))));
            text.TextRecordFormat = CByte(Val(GetRegValue(rs, QStringLiteral("DateFormat"), QStringLiteral("0"))));
        } else if (kDatabaseTargets.contains(posting.TargetType)) {
            posting.TargetDbPath = GetRegValue(rs, QStringLiteral("Data File"), QString());
            posting.AutoImport = Val(GetRegValue(rs, QStringLiteral("AutoImport"), QStringLiteral("1"))) != 0;
        }
    } catch (const Platform::Error &e) {
        Platform::ActiveError active(e);
        ShowErrorMsg(QString(), e.description());
    }
}

void LoadClockParms()
{
    ClockParmRec &parm = state().ClkParm;
    try {
        const Platform::Snapshot rs = OpenRegKey(state().MainDb, QStringLiteral("Clock PARM"));
        const auto read = [&rs](const char *field, const QString &builtIn) {
            return GetRegValue(rs, QString::fromLatin1(field), builtIn);
        };
        parm.ClockParameters = read("ClockParameters", ClkSetup::BuiltInClockParms(QString()).ClockParameters);
        // The badge filter's built-in count follows the input badge length just read.
        const ClockParmRec builtIn = ClkSetup::BuiltInClockParms(parm.ClockParameters);
        parm.BadgeLen = read("BadgeLen", builtIn.BadgeLen);
        parm.BadgeFilter = read("BadgeFilter", builtIn.BadgeFilter);
        parm.FunctionKeys = read("FunctionKeys", builtIn.FunctionKeys);
        parm.RelayTimeOut = read("RelayTimeOut", builtIn.RelayTimeOut);
        parm.ClockDisplay = read("ClockDisplay", builtIn.ClockDisplay);
        parm.MsgAck = read("MsgAck", builtIn.MsgAck);
        parm.BadgeValidation = read("BadgeValidation", builtIn.BadgeValidation);
    } catch (const Platform::Error &e) {
        Platform::ActiveError active(e);
        ShowErrorMsg(QString(), e.description());
    }
}

} // namespace AppMain
