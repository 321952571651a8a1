#include "polling/PollSerial.h"

#include "app/AppMain.h"
#include "libs/frame/LinkFrame.h"
#include "link/SerialClk.h"
#include "platform/comm/commcontrol.h"
#include "platform/error.h"
#include "setup/CmdFile.h"

#include <QFile>

namespace PollSerial {

namespace {

namespace LF = LinkFrame;

// The 9th character of the clock parameter command is the prompt display
// time-out in seconds; continuous polling wants the answers gone after one.
constexpr int kTimeOutPosition = 8;
const QString kOneSecond = QStringLiteral("1");
const QString kPromptNo = QStringLiteral("002");
// Set blanks the prompt the clock shows between punches.
const QString kBlankPrompt = QStringLiteral(" ");

QString Field(const QString &text)
{
    return text + QChar(LF::RS);
}

} // namespace

CmdFile::Result ContPollFile(bool set, const QString &clockParameters, const std::optional<QString> &prompt002)
{
    if (clockParameters.size() <= kTimeOutPosition)
        throw Platform::Error(Platform::ErrorNo::InvalidProcedureCall,
                              QStringLiteral("The clock parameter setting ClockParameters (\"%1\") is shorter than "
                                             "%2 characters: nothing was sent.")
                                  .arg(clockParameters)
                                  .arg(kTimeOutPosition + 1));
    CmdFile::Result file;
    file.lines << Field(QStringLiteral("O00")) << Field(QStringLiteral("D00 Downloading..."));
    const std::optional<QString> prompt = set ? kBlankPrompt : prompt002;
    if (prompt) {
        if (const std::optional<CmdFile::Refusal> refused = CmdFile::CheckPrompt(kPromptNo, *prompt))
            file.refused.push_back(*refused);
        else
            file.lines << CmdFile::PromptLine(kPromptNo, *prompt);
    }
    QString parameters = clockParameters;
    if (set)
        parameters.replace(kTimeOutPosition, 1, kOneSecond);
    if (const auto refused = CmdFile::CheckSetupString(QStringLiteral("ClockParameters"), parameters))
        file.refused.push_back(*refused);
    else
        file.lines << Field(parameters);
    file.lines << Field(QStringLiteral("D00 Download Complete!!")) + Field(QStringLiteral("003"));
    file.lines << Field(QStringLiteral("O10"));
    return file;
}

std::optional<QString> ContPollPrompt(const Platform::Database &db)
{
    QSqlQuery query = db.query(QStringLiteral("SELECT Prompt FROM ClkMsg WHERE PromptNo = ?"), {kPromptNo});
    if (!query.next())
        return std::nullopt;
    return query.value(0).toString();
}

QString WriteContPollFile(bool set)
{
    const AppMain::State &app = AppMain::state();
    const CmdFile::Result file = ContPollFile(set, app.ClkParm.ClockParameters,
                                              set ? std::nullopt : ContPollPrompt(app.MainDb));
    if (!file.refused.empty()) {
        // Refused as Build refuses a record: nothing written, the last file stays as it was.
        CmdFile::ShowRefused(file.refused);
        return QString();
    }
    const QString path = AppMain::AppFile(QStringLiteral("Data\\ClkCont.dld"));
    CmdFile::WriteFile(path, CmdFile::Encode(file.lines));
    return path;
}

void SendContPollFile(bool set, bool allClocks)
{
    QString path;
    try {
        path = WriteContPollFile(set);
    } catch (const Platform::Error &e) {
        ShowError(e);
        return;
    }
    if (path.isEmpty())
        return;
    Platform::CommControl &comm = SerialClk::MainComm();
    SerialClk::State &link = SerialClk::state();
    if (!allClocks) {
        if (!SerialClk::OpenSelectedClockPort(comm))
            return;  // the file stays until the next Set or Reset replaces it
        const SerialClk::SerialClockRec &clock = link.SelClock;
        SerialClk::DownloadFileSerial(comm, path, clock.CtrlAddr, clock.TermAddr, clock.ClockId);
    } else {
        try {
            SerialClk::WalkClocks(AppMain::state().MainDb, MainWindowPorts(), {},
                                  [&comm, &path](const SerialClk::SerialClockRec &clock) {
                                      SerialClk::DownloadFileSerial(comm, path, clock.CtrlAddr, clock.TermAddr,
                                                                    clock.ClockId);
                                  });
        } catch (const Platform::Error &e) {
            ShowError(e);
        }
    }
    QFile::remove(path);
}

} // namespace PollSerial
