#include "polling/PollSerial.h"

#include "app/AppMain.h"
#include "app/frmMDI.h"
#include "libs/frame/LinkFrame.h"
#include "link/SerialClk.h"
#include "platform/ansi.h"
#include "platform/comm/commcontrol.h"
#include "platform/error.h"

#include <QDir>
#include <QFile>

namespace PollSerial {

namespace {

namespace LF = LinkFrame;

// The 9th character of the clock parameter command is the prompt display
// time-out in seconds; continuous polling wants the answers gone after one.
constexpr int kTimeOutPosition = 8;
const QString kOneSecond = QStringLiteral("1");
const QString kPromptNo = QStringLiteral("002");

QByteArray Line(const QString &command)
{
    return Platform::Ansi::encode(command) + "\r\n";
}

QString Field(const QString &text)
{
    return text + QChar(LF::RS);
}

} // namespace

QByteArray ContPollFile(bool set, const QString &clockParameters, const std::optional<QString> &prompt002)
{
    if (clockParameters.size() <= kTimeOutPosition)
        throw Platform::Error(Platform::ErrorNo::InvalidProcedureCall,
                              QStringLiteral("The clock parameter setting ClockParameters (\"%1\") is shorter than "
                                             "%2 characters: nothing was sent.")
                                  .arg(clockParameters)
                                  .arg(kTimeOutPosition + 1));
    QByteArray file = Line(Field(QStringLiteral("O00"))) + Line(Field(QStringLiteral("D00 Downloading...")));
    if (set)
        file += Line(Field(QStringLiteral("LPC01") + kPromptNo) + Field(QStringLiteral(" ")));
    else if (prompt002)
        file += Line(Field(QStringLiteral("LPC01") + kPromptNo) + Field(*prompt002));
    QString parameters = clockParameters;
    if (set)
        parameters.replace(kTimeOutPosition, 1, kOneSecond);
    file += Line(Field(parameters));
    file += Line(Field(QStringLiteral("D00 Download Complete!!")) + Field(QStringLiteral("003")));
    file += Line(Field(QStringLiteral("O10")));
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
    const QByteArray content = ContPollFile(set, app.ClkParm.ClockParameters,
                                            set ? std::nullopt : ContPollPrompt(app.MainDb));
    const QString folder = AppMain::AppFile(QStringLiteral("Data"));
    if (!QDir().mkpath(folder))
        throw Platform::Error(Platform::ErrorNo::PathNotFound, QStringLiteral("Path not found"));
    const QString path = AppMain::AppFile(QStringLiteral("Data\\ClkCont.dld"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) != content.size() ||
        !file.flush())
        throw Platform::Error(Platform::ErrorNo::PathFileAccessError,
                              QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
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
    Platform::CommControl &comm = *frmMDI::instance()->MSComm1;
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
