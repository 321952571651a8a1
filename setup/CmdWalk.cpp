#include "setup/CmdWalk.h"

#include "app/AppMain.h"
#include "link/ClockRow.h"
#include "link/TCPIP.h"
#include "platform/error.h"
#include "platform/ui.h"

#include <QFileInfo>
#include <QSqlRecord>

namespace CmdWalk {

namespace {

ClockLink *&current()
{
    static ClockLink *link = nullptr;
    return link;
}

void serialWalk(ClockLink &link, const Platform::Database &db, const QString &path, Scope scope,
                const std::function<bool()> &stop)
{
    if (scope == Scope::Selected) {
        if (link.OpenSelectedClockPort()) {
            const SerialClock c = link.SelClock();
            link.DownloadFileSerial(path, c.CtrlAddr, c.TermAddr, c.ClockId);
        }
        return;
    }
    if (scope != Scope::All)
        return;
    SerialClk::WalkPorts ports;
    ports.open = [&link](int port, const QString &settings) { return link.OpenPort(port, settings); };
    ports.dial = [&link](const QString &phone) { link.DialModem(phone); };
    ports.hangUp = [&link] { link.HangUpModem(); };
    ports.close = [&link] { link.ClosePort(); };
    ports.modemConnected = [&link] { return link.ModemConnected(); };
    SerialClk::WalkClocks(db, ports, stop, [&](const SerialClock &c) {
        link.DownloadFileSerial(path, c.CtrlAddr, c.TermAddr, c.ClockId);
    });
}

void tcpWalk(ClockLink &link, const Platform::Database &db, const QString &path, Scope scope,
             const std::function<bool()> &stop)
{
    if (scope == Scope::Selected) {
        if (link.SelTCPIPClock().ScreenID < 1) {
            link.SelectTCPIPClockModal();
            if (link.SelTCPIPClock().ScreenID < 1)
                return;
        }
        link.DownloadFileTCPIP(path, link.SelTCPIPClock());
        return;
    }
    if (scope != Scope::All)
        return;
    const Platform::Snapshot rows = db.snapshot(QStringLiteral("SELECT * FROM TcpClocks ORDER BY rowid"));
    for (const QSqlRecord &row : rows.rows()) {
        if (stop && stop())
            break;
        if (const auto clock = ClockRow::Readable([&row] { return TCPIP::ClockFromRow(row); }))
            link.DownloadFileTCPIP(path, *clock);
    }
}

} // namespace

ClockLink &Link()
{
    if (!current())
        throw Platform::Error(Platform::ErrorNo::InvalidProcedureCall, QStringLiteral("No clock link is installed."));
    return *current();
}

void SetLink(ClockLink *link)
{
    current() = link;
}

void Send(ClockLink &link, const Platform::Database &mainDb, const QString &path, int clockInterface, Scope scope,
          const std::function<bool()> &stop)
{
    if (!QFileInfo::exists(path)) {
        Platform::Ui::msgBox(QStringLiteral("You need to create the Command File first."));
        return;
    }
    try {
        if (clockInterface != 0)
            tcpWalk(link, mainDb, path, scope, stop);
        else
            serialWalk(link, mainDb, path, scope, stop);
    } catch (const Platform::Error &e) {
        // The clock table cannot be read at all; the clocks already sent keep their file.
        const Platform::ActiveError active(e);
        AppMain::ShowErrorMsg(QString(), e.description());
    }
}

} // namespace CmdWalk
