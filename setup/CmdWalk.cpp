#include "setup/CmdWalk.h"

#include "app/AppMain.h"
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

int number(const QSqlRecord &row, const QString &field, const QString &clock)
{
    const int i = row.indexOf(field);
    bool ok = false;
    const int value = i < 0 || row.isNull(i) ? 0 : row.value(i).toString().trimmed().toInt(&ok);
    if (!ok)
        throw Platform::Error(Platform::ErrorNo::TypeMismatch,
                              QStringLiteral("Clock %1: its %2 \"%3\" is not a number.")
                                  .arg(clock, field, i < 0 || row.isNull(i) ? QString() : row.value(i).toString()));
    return value;
}

QString textOf(const QSqlRecord &row, const QString &field)
{
    const int i = row.indexOf(field);
    return i < 0 || row.isNull(i) ? QString() : row.value(i).toString();
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
    QString lastDialled;
    const Platform::Snapshot rows = db.snapshot(
        QStringLiteral("SELECT * FROM Clocks ORDER BY PhoneNo, Port, [Baud Rate], Parity, [Data Bits], [Stop Bits]"));
    const auto hangUp = [&link] {
        if (link.ModemConnected()) {
            link.HangUpModem();
            link.ClosePort();
        }
    };
    try {
    for (const QSqlRecord &row : rows.rows()) {
        if (stop && stop())
            break;
        const SerialClock c = SerialClockOfRow(row);
        const bool newNumber = !c.PhoneNo.isEmpty() && c.PhoneNo != lastDialled;
        if (newNumber && link.ModemConnected()) {
            link.HangUpModem();
            link.ClosePort();
        }
        if (!link.OpenPort(c.Port, c.Settings))
            continue;   // a clock whose port will not open is passed over
        if (newNumber) {
            link.DialModem(c.PhoneNo);
            lastDialled = c.PhoneNo;
        }
        link.DownloadFileSerial(path, c.CtrlAddr, c.TermAddr, c.ClockId);
    }
    } catch (const Platform::Error &) {
        hangUp();   // a walk never ends with a call left up
        throw;
    }
    hangUp();
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
        link.DownloadFileTCPIP(path, TcpClockOfRow(row));
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

TcpClock TcpClockNumbered(int screenId)
{
    TcpClock c;
    c.ScreenID = screenId;
    c.Clock = TCPIP::TerminalOf(screenId);
    c.Controller = TCPIP::ControllerOf(screenId);
    return c;
}

SerialClock SerialClockOfRow(const QSqlRecord &row)
{
    SerialClock c;
    c.ClockId = textOf(row, QStringLiteral("Clock Identifier"));
    c.TermAddr = number(row, QStringLiteral("Term Address"), c.ClockId);
    c.CtrlAddr = number(row, QStringLiteral("Controller Address"), c.ClockId);
    c.Port = number(row, QStringLiteral("Port"), c.ClockId);
    c.PhoneNo = textOf(row, QStringLiteral("PhoneNo"));
    c.Settings = textOf(row, QStringLiteral("Baud Rate")) + QLatin1Char(',') + textOf(row, QStringLiteral("Parity"))
                 + QLatin1Char(',') + textOf(row, QStringLiteral("Data Bits")) + QLatin1Char(',')
                 + textOf(row, QStringLiteral("Stop Bits"));
    return c;
}

TcpClock TcpClockOfRow(const QSqlRecord &row)
{
    const QString name = QStringLiteral("#") + textOf(row, QStringLiteral("ScreenID"));
    TcpClock c = TcpClockNumbered(number(row, QStringLiteral("ScreenID"), name));
    c.octet1 = number(row, QStringLiteral("octet1"), name);
    c.octet2 = number(row, QStringLiteral("octet2"), name);
    c.octet3 = number(row, QStringLiteral("octet3"), name);
    c.octet4 = number(row, QStringLiteral("octet4"), name);
    return c;
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
        // An unreadable clock row ends the walk; the clocks already sent keep their file.
        const Platform::ActiveError active(e);
        AppMain::ShowErrorMsg(QString(), e.description());
    }
}

} // namespace CmdWalk
