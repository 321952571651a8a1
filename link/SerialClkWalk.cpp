// The serial clock list: a row read as a clock, and the walk over the clocks
// on the one port that the polls and the command-file download share.
#include "link/SerialClk.h"

#include "app/AppMain.h"
#include "link/ClockRow.h"
#include "platform/db.h"
#include "platform/error.h"

#include <QSqlRecord>

namespace SerialClk {

namespace {

Platform::Snapshot ClockRowsInWalkOrder(const Platform::Database &db)
{
    return db.snapshot(
        QStringLiteral("SELECT * FROM Clocks ORDER BY PhoneNo, Port, [Baud Rate], Parity, [Data Bits], [Stop Bits]"));
}

} // namespace

SerialClockRec ClockFromRow(const QSqlRecord &row)
{
    SerialClockRec clock;
    clock.ClockId = ClockRow::Text(row, QStringLiteral("Clock Identifier"));
    const auto number = [&](const QString &field) {
        return AppMain::CInt(ClockRow::Number(row, field, clock.ClockId));
    };
    clock.TermAddr = number(QStringLiteral("Term Address"));
    clock.CtrlAddr = number(QStringLiteral("Controller Address"));
    clock.Port = number(QStringLiteral("Port"));
    clock.PhoneNo = ClockRow::Text(row, QStringLiteral("PhoneNo"));
    clock.Settings = ClockRow::Text(row, QStringLiteral("Baud Rate")) + QLatin1Char(',') +
                     ClockRow::Text(row, QStringLiteral("Parity")) + QLatin1Char(',') +
                     ClockRow::Text(row, QStringLiteral("Data Bits")) + QLatin1Char(',') +
                     ClockRow::Text(row, QStringLiteral("Stop Bits"));
    return clock;
}

std::vector<SerialClockRec> ReadClockRows(const Platform::Database &db)
{
    const Platform::Snapshot rows = ClockRowsInWalkOrder(db);
    std::vector<SerialClockRec> clocks;
    clocks.reserve(rows.size());
    for (const QSqlRecord &row : rows.rows()) {
        if (const auto clock = ClockRow::Readable([&row] { return ClockFromRow(row); }))
            clocks.push_back(*clock);
    }
    return clocks;
}

bool ClockWalk::reach(const SerialClockRec &clock)
{
    const bool newNumber = !clock.PhoneNo.isEmpty() && clock.PhoneNo != m_lastDialled;
    if (newNumber && m_ports.modemConnected()) {
        m_ports.hangUp();
        m_ports.close();
    }
    if (!m_ports.open(clock.Port, clock.Settings))
        return false;
    if (newNumber) {
        m_ports.dial(clock.PhoneNo);
        m_lastDialled = clock.PhoneNo;
    }
    return true;
}

void ClockWalk::end()
{
    if (m_ports.modemConnected()) {
        m_ports.hangUp();
        m_ports.close();
    }
}

void WalkClocks(const Platform::Database &db, const WalkPorts &ports, const std::function<bool()> &stop,
                const std::function<void(const SerialClockRec &)> &reached,
                const std::function<void(const SerialClockRec &)> &coming)
{
    const Platform::Snapshot rows = ClockRowsInWalkOrder(db);
    ClockWalk walk(ports);
    try {
        for (const QSqlRecord &row : rows.rows()) {
            if (stop && stop())
                break;
            // A row that is no clock (an imported one) is shown and passed over.
            const std::optional<SerialClockRec> clock = ClockRow::Readable([&row] { return ClockFromRow(row); });
            if (!clock)
                continue;
            if (coming)
                coming(*clock);
            if (walk.reach(*clock))
                reached(*clock);
        }
    } catch (const Platform::Error &) {
        walk.end();   // a walk never ends with a call left up
        throw;
    }
    walk.end();
}

} // namespace SerialClk
