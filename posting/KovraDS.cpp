// The posting dispatcher: poll log lines to the text target or to the
// posting files and the product database's postings.
#include "posting/KovraDS.h"

#include "app/AppMain.h"
#include "app/ClockOperation.h"
#include "app/frmMDI.h"
#include "platform/error.h"
#include "platform/ui.h"
#include "posting/PostingFile.h"
#include "posting/PunchParse.h"
#include "posting/Sorb01.h"

#include <QFileInfo>

#include <array>
#include <functional>

#include <sys/stat.h>

namespace KovraDS {

namespace {


QDate today()
{
    return state().Today.isValid() ? state().Today : QDate::currentDate();
}

bool postText(const QString &pollFile)
{
    const QString target = TextTargetFile();
    return AppMain::settings().TextFileSettings.TextRecordFormat == 0 ? ConvertLogToTextUS(pollFile, target)
                                                                       : ConvertLogToTextEU(pollFile, target);
}

// Labor: the punches split by function key into F01 (plain punches) and F1-F4,
// appended to what a failed run left there. Month-first dates whatever the text setting says.
bool postLabor(const QString &pollFile)
{
    State &s = state();
    QByteArray lines;
    try {
        Platform::Ui::BusyCursor busy;
        lines = ConvertPollLines(ReadWholeFile(pollFile), LineKind::TextUS);
    } catch (const Platform::Error &e) {
        Platform::ActiveError active(e);
        AppMain::ShowErrorMsg(QString(), e.description());
        return false;
    }
    const std::array<QString *, 5> files = {&s.F01Path, &s.F1Path, &s.F2Path, &s.F3Path, &s.F4Path};
    std::array<QByteArray, 5> split;
    for (const QByteArrayView line : SplitLines(lines)) {
        const int key = line.isEmpty() ? -1 : line.front() - '0';
        if (key >= 0 && key < static_cast<int>(split.size()))
            split[key] += line.sliced(std::min<qsizetype>(2, line.size())).toByteArray() + "\r\n";
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (!split[i].isEmpty())
            AppendToFile(*files[i], split[i]);
    }
    if (!OpenTargetDb({s.F01Path, s.F1Path, s.F2Path, s.F3Path, s.F4Path}))
        return true;  // the punches wait in the posting files for the next run
    LoadTargetCompanySettings();
    const std::array<std::function<bool()>, 5> postings = {PostTimeAttendance, PostLaborTracking, PostLaborTrack2,
                                                           PostLaborTrack3, PostLaborTrack4};
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (FileLength(*files[i]) > 0)
            postings[i]();
    }
    return true;  // the database stays open on this path
}

bool postAttendanceFile(const QString &pollFile, const std::function<void()> &loadSettings,
                        const std::function<bool()> &post)
{
    if (!ConvertPunchLog(pollFile, state().F01Path))
        return false;
    if (FileLength(state().F01Path) > 0 && OpenTargetDb({state().F01Path})) {
        loadSettings();
        post();
        CloseTargetDb();
    }
    return true;
}

// The file behind a path: a file put back from a backup under the same name
// is another file and is checked again.
QString fileIdentity(const QString &path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    struct stat info {};
    if (canonical.isEmpty() || ::stat(QFile::encodeName(canonical).constData(), &info) != 0)
        return QString();
    return QStringLiteral("%1:%2:%3").arg(canonical).arg(info.st_dev).arg(info.st_ino);
}

// Where the records of a run that could not post wait, and when they will be posted.
QString keptNote(const QStringList &files, const QString &postedWhen)
{
    QStringList holding;
    for (const QString &file : files) {
        if (FileLength(file) > 0)
            holding << file;
    }
    if (holding.isEmpty())
        return QString();
    return QStringLiteral("\nThe clock records are kept in %1 and will be posted %2.")
        .arg(holding.join(QStringLiteral(", ")), postedWhen);
}

} // namespace

State &state()
{
    static State s;
    return s;
}

void resetState()
{
    state() = State{};
}

void InstallHooks()
{
    MDIHooks &hooks = mdiHooks();
    hooks.postPolledData = [](const QString &file) { return PostPolledData(file); };
    hooks.closeTargetDb = [] {
        if (state().TargetDb.isOpen())
            CloseTargetDb();
    };
    // The access-control checks of a continuous poll.
    hooks.startRealTimeChecks = Sorb01::StartRealTimeChecks;
    hooks.endRealTimeChecks = Sorb01::EndRealTimeChecks;
    hooks.readPolledPunch = Sorb01::ReadPolledPunch;
    hooks.lookUpCard = Sorb01::LookUpCard;
    hooks.checkSchedule = Sorb01::CheckSchedule;
    hooks.postRealTimePunch = [](const QDate &date, const QTime &time, const QString &card, bool members) {
        return members ? Sorb01::PostMemberPunch(date, time, card) : Sorb01::PostSorbPunch(date, time, card);
    };
    hooks.postMemberPunches = Sorb01::PostKeptMemberPunches;
}

QString TextTargetFile()
{
    const AppMain::TextFileSettingsRec &text = AppMain::settings().TextFileSettings;
    const QString mmdd = today().toString(QStringLiteral("MMdd"));
    if (text.TextFileName.isEmpty()) {
        return AppMain::AppFile(text.DailyTextFile == 0 ? QStringLiteral("Data\\KovraTEV.txt")
                                                        : QStringLiteral("Data\\KovraTEV") + mmdd + QStringLiteral(".txt"));
    }
    if (text.DailyTextFile == 0)
        return text.TextFileName;
    const QString folder = AppMain::ExtractPath(text.TextFileName);
    const QString name = text.TextFileName.mid(folder.size());
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    if (dot < 0)
        return folder + name + mmdd;  // no extension to put the date before
    return folder + name.left(dot) + mmdd + name.mid(dot);
}

bool PostPolledData(const QString &pollFile)
{
    // The access-control run yields inside its transaction: nothing may
    // close the database or post into it before the posting is over.
    const ClockOperation operation(QStringLiteral("posting"));
    if (!operation) {
        ClockOperation::showRefusal(QStringLiteral("Clock data cannot be imported"));
        return false;
    }
    State &s = state();
    s.PassedOver = 0;
    bool reached = false;
    try {
        const QString type = AppMain::settings().TargetType;
        if (type == AppMain::kTextFilesTarget)
            reached = postText(pollFile);
        else if (type == AppMain::kBrixTarget)
            reached = postLabor(pollFile);
        else if (type == AppMain::kVeskTarget)
            reached = postAttendanceFile(pollFile, LoadVeskCompanySettings,
                                         [] { return PostVeskTimeAttendance(QStringLiteral("F01.txt")); });
        else if (type == AppMain::kSorbTarget)
            reached = postAttendanceFile(pollFile, Sorb01::LoadSorbSettings, Sorb01::ImportSorbClockData);
        // Any other target posts nothing, so the punches have reached nothing.
    } catch (const Platform::Error &e) {
        Platform::ActiveError active(e);
        AppMain::ShowErrorMsg(QString(), e.description());
    }
    ShowPassedOver(s.PassedOver);
    return reached;
}

void ShowPassedOver(int count)
{
    if (count > 0)
        Platform::Ui::msgBox(QStringLiteral("%1 clock record(s) could not be imported.").arg(count),
                             Platform::Ui::Style::Exclamation);
}

void ShowPostingFailure(const Platform::Error &e, const QString &failureText, const QString &postingFile,
                        const QString &postedWhen)
{
    Platform::ActiveError active(e);
    AppMain::ShowErrorMsg(QString(), failureText + QLatin1Char('\n') + e.description() + keptNote({postingFile}, postedWhen));
}

namespace {

bool openTarget(Platform::Database &db, const QStringList &keptIn, const QString &postedWhen)
{
    try {
        const QString &path = AppMain::settings().TargetDbPath;
        const QString identity = fileIdentity(path);
        const bool checked = !identity.isEmpty() && state().CheckedTargetFiles.contains(identity);
        db = Platform::Database::open(path, false,
                                      checked ? Platform::Database::Check::OpensOnly : Platform::Database::Check::Full);
        if (!identity.isEmpty())
            state().CheckedTargetFiles.insert(identity);
        return true;
    } catch (const Platform::Error &e) {
        Platform::ActiveError active(e);
        const QString text = e.number() == Platform::ErrorNo::DatabaseMissing ? QStringLiteral("Database file is not found!")
                                                                              : e.description();
        AppMain::ShowErrorMsg(QString(), text + keptNote(keptIn, postedWhen));
        return false;
    }
}

} // namespace

bool OpenTargetDb(const QStringList &keptIn, const QString &postedWhen)
{
    return openTarget(state().TargetDb, keptIn, postedWhen);
}

bool OpenTargetFile(Platform::Database &db)
{
    return openTarget(db, {}, {});
}

void CloseTargetDb()
{
    state().TargetDb.close();
}

} // namespace KovraDS
