#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <functional>
#include <optional>
#include <vector>

// What a TCP/IP poll step does with the bytes a clock sent: cuts them into
// records, decides which are complete, and builds the lines and the poll
// buffer file's records. No file, socket or widget here.
namespace TCPIPRecords {

constexpr char Backslash = '\\';
constexpr char ETX = 0x03;
constexpr char SOH = 0x01;
constexpr char STX = 0x02;

// The receive buffer handed to the library: 1,550 characters and a NUL.
constexpr int kRxBufferChars = 1550;
constexpr int kRxBufferBytes = kRxBufferChars + 1;
// buffer.log: one record of 256 bytes per clock number 1-128.
constexpr int kBufferRecordBytes = 256;
constexpr int kClockNumbers = 128;
// A record still growing past this is committed as it stands, so a clock
// that never sends an end mark cannot make the program hold without bound.
constexpr int kMaxHeldBytes = 4096;
// A held record without an end mark goes out once its clock has been quiet
// this long: the clock has nothing more to add to it.
constexpr int kHeldQuietMs = 500;
// The terminal box keeps at most this much text; past it, it starts afresh.
constexpr int kTermTextMax = 2048;

// The bytes the clock sent: those before the ETX and NUL the library puts
// after them, found from the end of the blank-filled buffer, so that a
// clock's own ETX or NUL stays data. Empty when the buffer holds no such end.
QByteArray ReceivedBytes(const char *rxBuf, int size);

// How lines are stamped (the 'TCPIP' settings and the current clock).
struct LineOptions {
    bool TerminalID = false;
    bool TCPIPAddress = false;
    int controller = 0;
    int terminal = 0;
    std::array<long, 4> octets{};
};

// The line written for a record, without its CR LF. Bytes are never converted.
QByteArray LogLine(const QByteArray &record, const LineOptions &options);

// Record n of buffer.log for a record: blank-filled or cut to 256 bytes.
QByteArray BufferRecord(const QByteArray &record);

// Characters 6 to 18 of the record read "TEV KEEPALIVE".
bool IsKeepAlive(const QByteArray &record);

// A record is complete on its own when it ends with its own ETX (a punch's
// end) or is a keep-alive; otherwise a following backslash completes it.
bool EndsOnItsOwn(const QByteArray &record);

enum class PieceKind {
    Record,          // logged, shown, stored, acknowledged
    KeepAlive,       // shown, stored, acknowledged; never logged
    Unacknowledged,  // text before a backslash with nothing held: logged and shown only
};

struct Piece {
    PieceKind kind = PieceKind::Record;
    QByteArray text;
    bool operator==(const Piece &) const = default;
};

// Cuts one receive of a clock. `held` is the clock's unfinished record,
// updated to what is left unfinished after this receive. The pieces are
// returned in the order they must be committed.
std::vector<Piece> CutReceive(std::optional<QByteArray> &held, const QByteArray &received);

// A complete record as a piece of its kind.
Piece CompleteRecord(const QByteArray &record);

// Where a committed piece goes, in this order: its line to the day's log
// and POLL.txt (flushed to the operating system), the terminal, buffer.log,
// and last the acknowledgement, so nothing acknowledged is missing on disk.
struct CommitTargets {
    std::function<void(const QByteArray &line)> write;
    std::function<void(const QByteArray &line)> show;
    std::function<void(const QByteArray &bufferRecord)> store;
    std::function<void()> acknowledge;
};

// Commits one piece. A record whose line cannot be written is not
// acknowledged and goes back into `held`; the error goes on.
void Commit(const Piece &piece, const LineOptions &options, const CommitTargets &to,
            std::optional<QByteArray> &held);

// Cuts a receive and commits its complete pieces, stopping at an error.
void TakeReceive(std::optional<QByteArray> &held, const QByteArray &received,
                 const LineOptions &options, const CommitTargets &to);

// Appends a shown line to the terminal text; past the limit the text is
// emptied, the new line with it.
void AppendTermText(QString &termText, const QByteArray &line);

} // namespace TCPIPRecords
