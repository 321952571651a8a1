#pragma once

#include "link/TCPIP.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QString>

#include <array>
#include <functional>
#include <optional>
#include <vector>

// What a TCP/IP poll step does with the bytes a clock sent: cuts them into
// records, judges which are complete, and builds the lines and the poll
// buffer file's records. No file, socket or widget here.
namespace TCPIPRecords {

constexpr char Backslash = '\\';
constexpr char ETX = 0x03;
constexpr char SOH = 0x01;
constexpr char STX = 0x02;

// The receive buffer handed to the library: 1,550 characters and a NUL.
constexpr int kRxBufferChars = 1550;
constexpr int kRxBufferBytes = kRxBufferChars + 1;
// The most the library receives in one call.
constexpr int kMaxReceiveBytes = 1500;
// buffer.log: one record of 256 bytes per clock number 1-128.
constexpr int kBufferRecordBytes = 256;
constexpr int kClockNumbers = 128;
// A record still growing past this goes as it stands, so a clock that never
// sends an end mark cannot make the program hold without bound.
constexpr int kMaxHeldBytes = 4096;
// A held record no rule can judge goes out once its clock has been quiet
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

// What the layout of a record says of it without what follows.
enum class Shape {
    Complete,   // ends with its own ETX, is a keep-alive, or is a plain punch
                // whose stamp ends it, with or without the one character after it
    Beginning,  // the keep-alive text so far, or a punch cut inside its layout
                // (header, badge, before or in its stamp, a function key's punch
                // before its fields or in one): only its clock's next text ends it
    Unjudged,   // anything else without an end mark: it ends when its clock stops adding to it
};
Shape Judge(const QByteArray &record);

enum class PieceKind {
    Record,        // logged, shown, stored, acknowledged
    KeepAlive,     // shown, stored, acknowledged; never logged
    Continuation,  // text in front of a backslash that ends nothing held: logged
                   // and shown after a backslash, never acknowledged or stored
    Fragment,      // never logged or acknowledged, stored only, so buffer.log still shows it
    SentAgain,     // a clock's copy of its last punch on disk (the commit finds it):
                   // shown, stored and acknowledged, not logged again
};

struct Piece {
    PieceKind kind = PieceKind::Record;
    QByteArray text;  // a Continuation's without the backslash its line gets
    bool operator==(const Piece &) const = default;
};

// How a cut ends with what a clock sent.
enum class TextEnd {
    Open,   // its connection is live: more may come
    Quiet,  // the clock has been quiet a while: a record no rule can judge goes too
    Final,  // its connection went (or the link is prepared again, or the program
            // quits): what is not complete by its layout is not written
};

// The one rule every step, Stop, loss, new link and quit keep:
// - On a live connection nothing the clock sent is dropped. A record complete
//   by its layout goes in the step that receives it; the text before the
//   clock's next backslash is its whole record and goes as it stands, except
//   a beginning of a keep-alive (never logged, whole or in part) and a punch
//   cut inside its layout whose copy follows it (the clock began it again).
//   A record no rule can judge goes when its clock falls quiet; a beginning
//   waits for its clock's next text.
// - Stop is no end: what is held stays with its clock into the next loop.
// - At a lost connection what is not complete by its layout is not written
//   (stored only): the clock sends it again on its next connection.
// - Records a failed write gave back go first, as they were cut, and nothing
//   the clock sends later joins them.
// - Text in front of the first backslash that ends nothing held is the rest of
//   the clock's last record: nothing when it is only the end that record's
//   layout still allowed (the character after a stamp, ETX), else its own line.
// - A punch equal to its clock's last punch on disk, as the posting reads it,
//   is its copy, whatever happened to the connection (the commit decides, in order).
// `clock` keeps the clock's text between receives; the pieces come in the
// order they must be committed. `received` may be empty: only what is held.
std::vector<Piece> CutReceive(TCPIP::ClockText &clock, const QByteArray &received, TextEnd end = TextEnd::Open);

// Where committed pieces go: the lines of a commit, all at once, to the
// day's log and POLL.txt (flushed to the operating system); then each piece
// in order to the terminal, buffer.log, and last its acknowledgement, so
// nothing acknowledged is missing on disk. `key` is the piece's clock.
struct CommitTargets {
    std::function<void(const QByteArrayList &lines)> write;
    std::function<void(const QByteArray &line)> show;
    std::function<void(int key, const QByteArray &bufferRecord)> store;
    std::function<void(int key)> acknowledge;
};

// The pieces cut from receives of one or more clocks, committed together,
// so that a pass over many clocks writes each file once.
class Batch {
public:
    // Cuts a receive of clock `key` (see CutReceive) and keeps its pieces
    // with their lines. `clock` must stay where it is until the batch is
    // committed or given back.
    void add(int key, TCPIP::ClockText &clock, const QByteArray &received, const LineOptions &options,
             TextEnd end = TextEnd::Open);
    bool empty() const { return m_entries.empty(); }
    // Commits every piece kept and empties the batch. At an error nothing
    // more is acknowledged: each piece still to be acknowledged whose line
    // is not on disk goes back to its clock's kept records, in order, and
    // the error goes on.
    void commit(const CommitTargets &to);
    // Gives every piece back to its clock, uncommitted.
    void giveBack() { giveBackFrom(0, false); }

private:
    struct Entry {
        int key;
        TCPIP::ClockText *clock;
        Piece piece;
        QByteArray line;
    };
    void giveBackFrom(std::size_t first, bool linesOnDisk);

    std::vector<Entry> m_entries;
};

// Appends a shown line to the terminal text; past the limit the text is
// emptied, the new line with it.
void AppendTermText(QString &termText, const QByteArray &line);

} // namespace TCPIPRecords
