#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <vector>

namespace Platform {
class Database;
}

// The hosts file the link library reads its names from: the PC by its host
// alias, each clock by the terminal prefix and its number.
namespace TCPIP {

struct HostsClockRow {
    qint64 ScreenID = 0;
    std::array<qint64, 4> octets{};
};

// The new content: the old lines that name neither the host stem nor the
// terminal prefix, byte for byte; the host line from the four address boxes;
// one line per clock. Every line ends in CR LF.
QByteArray RewriteHosts(const QByteArray &old, const std::array<QString, 4> &boxes,
                        const std::vector<HostsClockRow> &rows);

// Replaces a file's content all at once: a new file is written beside it
// (beside the link's target when it is a symbolic link) and renamed over it,
// with the old file's mode. On failure the old file is left as it was.
void ReplaceFile(const QString &path, const QByteArray &bytes);

// At start-up: a missing hosts file is made from the template.
void EnsureHostsFile(const QString &hostsPath, const QString &templatePath);

// The rewrite after the clock list is saved, from the boxes and every row of
// TcpClocks; a row that is no clock shows its box and gets no line.
void WriteHostsFile(const Platform::Database &db, const QString &hostsPath, const QString &templatePath,
                    const std::array<QString, 4> &boxes);

} // namespace TCPIP
