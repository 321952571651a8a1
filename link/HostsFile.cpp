#include "link/HostsFile.h"

#include "app/AppMain.h"
#include "link/ClockRow.h"
#include "link/TCPIP.h"
#include "platform/db.h"
#include "platform/error.h"

#include <tevlink.h>

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace TCPIP {

namespace {

const QByteArray kLineEnd = QByteArrayLiteral("\r\n");
const QByteArray kHostGap(3, ' ');
const QByteArray kClockGap(4, ' ');
constexpr int kAliasDigits = 3;

// Every line of the file, whatever ended it: CR LF, LF or a lone CR. A last
// line without an end is a line too.
std::vector<QByteArray> splitLines(const QByteArray &bytes)
{
    std::vector<QByteArray> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c != '\r' && c != '\n')
            continue;
        lines.push_back(bytes.mid(start, i - start));
        if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < bytes.size())
        lines.push_back(bytes.mid(start));
    return lines;
}

QByteArray aliasNumber(qint64 n)
{
    QByteArray digits = QByteArray::number(n < 0 ? -n : n);
    if (digits.size() < kAliasDigits)
        digits.prepend(QByteArray(kAliasDigits - digits.size(), '0'));
    return n < 0 ? '-' + digits : digits;
}

QByteArray readAll(const QString &path)
{
    QFile in(path);
    if (!in.exists())
        throw Platform::Error(Platform::ErrorNo::FileNotFound, QStringLiteral("File not found: ") + path);
    if (!in.open(QIODevice::ReadOnly))
        throw Platform::Error(Platform::ErrorNo::PermissionDenied,
                              QStringLiteral("Permission denied: ") + path + QStringLiteral(" (") +
                                  in.errorString() + QLatin1Char(')'));
    return in.readAll();
}

} // namespace

QByteArray RewriteHosts(const QByteArray &old, const std::array<QString, 4> &boxes,
                        const std::vector<HostsClockRow> &rows)
{
    QByteArray out;
    for (const QByteArray &line : splitLines(old)) {
        if (line.contains(HostAliasStem) || line.contains(TerminalAliasPrefix))
            continue;
        out += line + kLineEnd;
    }
    QByteArrayList octets;
    for (const QString &box : boxes)
        octets << QString::number(AppMain::Val(box), 'g', 15).toLatin1();
    out += octets.join('.') + kHostGap + HostAlias + kLineEnd;
    for (const HostsClockRow &row : rows) {
        QByteArrayList address;
        for (qint64 octet : row.octets)
            address << QByteArray::number(octet);
        out += address.join('.') + kClockGap + TerminalAliasPrefix + aliasNumber(row.ScreenID) + kLineEnd;
    }
    return out;
}

void ReplaceFile(const QString &path, const QByteArray &bytes)
{
    // QSaveFile writes beside the link's target and keeps the old file's mode.
    QSaveFile out(path);
    const auto fail = [&out, &path] {
        throw Platform::Error(Platform::ErrorNo::PermissionDenied,
                              QStringLiteral("Permission denied: ") + path + QStringLiteral(" (") +
                                  out.errorString() + QLatin1Char(')'));
    };
    if (!out.open(QIODevice::WriteOnly))
        fail();
    if (out.write(bytes) != bytes.size())
        fail();
    if (!out.commit())
        fail();
}

void EnsureHostsFile(const QString &hostsPath, const QString &templatePath)
{
    if (QFileInfo::exists(hostsPath))
        return;
    ReplaceFile(hostsPath, readAll(templatePath));
}

void WriteHostsFile(const Platform::Database &db, const QString &hostsPath, const QString &templatePath,
                    const std::array<QString, 4> &boxes)
{
    // Everything is read before anything is written: a failure leaves the old file whole.
    const QByteArray old = readAll(QFileInfo::exists(hostsPath) ? hostsPath : templatePath);
    const Platform::Snapshot table = db.snapshot(
        QStringLiteral("SELECT ScreenID, octet1, octet2, octet3, octet4 FROM TcpClocks ORDER BY ScreenID"));
    std::vector<HostsClockRow> rows;
    for (const QSqlRecord &record : table.rows()) {
        // A row that is no clock gets no line: an address made up for it would name a stranger.
        const std::optional<TCPIPClockRec> clock = ClockRow::Readable([&record] { return ClockFromRow(record); });
        if (clock)
            rows.push_back({clock->ScreenID, {clock->octet1, clock->octet2, clock->octet3, clock->octet4}});
    }
    ReplaceFile(hostsPath, RewriteHosts(old, boxes, rows));
}

} // namespace TCPIP
