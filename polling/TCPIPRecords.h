#pragma once

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
// A record still growing past this goes as at a final end, so a clock that
// never sends an end mark cannot make the program hold without bound.
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
    Complete,  // ends with its own ETX, is a keep-alive, or is a plain punch that
               // ends with its stamp and the one character after it (ETX may be missing there)
    Fragment,  // a punch cut short (in its header, badge, stamp or fields): only its clock's next text can finish it
    Unjudged,  // another record type without an end mark, or a function key's punch
               // cut after its stamp: it ends when its clock stops adding to it
};
Shape Judge(const QByteArray &record);

enum class PieceKind {
    Record,          // logged, shown, stored, acknowledged
    KeepAlive,       // shown, stored, acknowledged; never logged
    Unacknowledged,  // text before a backslash with nothing held: logged and shown only
    Fragment,        // a punch cut short that a backslash followed, or that nothing more can finish:
                     // never logged or acknowledged, stored only, so buffer.log still shows it
    SentAgain,       // the record a clock sent again after its connection went: already on disk,
                     // so stored and acknowledged only
};

struct Piece {
    PieceKind kind = PieceKind::Record;
    QByteArray text;
    bool operator==(const Piece &) const = default;
};

// How a cut ends with the clock's last record.
enum class TextEnd {
    Open,   // more may come: only a complete record goes, the rest is held
    Quiet,  // the clock has been quiet a while: a record no rule can judge goes too
    Final,  // nothing more can come for it (the connection went, the loop ends,
            // the link is prepared again, the program quits): a fragment is discarded
};

// Cuts one receive of a clock (empty: only what is held). `held` is the
// clock's text not yet committed, starting with a backslash; it is updated
// to what is still held after this receive. The pieces come in the order
// they must be committed.
std::vector<Piece> CutReceive(std::optional<QByteArray> &held, const QByteArray &received,
                              TextEnd end = TextEnd::Open);

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

// A clock in acknowledgement mode keeps a record until the acknowledgement
// reaches it: when its connection goes just after the record went on disk,
// it sends the record again once it is back, and that copy must not be
// posted a second time. Both point into the clock's lasting state.
struct Resend {
    QByteArray *last = nullptr;      // set to each record of the clock that goes on disk
    QByteArray *expected = nullptr;  // the clock's next record, when equal to this, is the copy
};

// The pieces cut from receives of one or more clocks, committed together,
// so that a pass over many clocks writes each file once.
class Batch {
public:
    // Cuts a receive of clock `key` (see CutReceive) and keeps its pieces
    // with their lines. `held` is the clock's held text; it must stay where
    // it is until the batch is committed or given back.
    void add(int key, std::optional<QByteArray> &held, const QByteArray &received, const LineOptions &options,
             TextEnd end = TextEnd::Open, Resend resend = {});
    bool empty() const { return m_entries.empty(); }
    // Commits every piece kept and empties the batch. At an error nothing
    // more is acknowledged: each piece still to be acknowledged whose line
    // is not on disk goes back in front of its clock's held text, in order,
    // and the error goes on.
    void commit(const CommitTargets &to);
    // Puts every piece back in front of its clock's held text, uncommitted.
    void giveBack() { giveBackFrom(0, false); }

private:
    struct Entry {
        int key;
        std::optional<QByteArray> *held;
        Piece piece;
        QByteArray line;
        Resend resend;
    };
    void giveBackFrom(std::size_t first, bool linesOnDisk);

    std::vector<Entry> m_entries;
    QByteArrayList m_lines;  // what the commit writes, in order
};

// Appends a shown line to the terminal text; past the limit the text is
// emptied, the new line with it.
void AppendTermText(QString &termText, const QByteArray &line);

} // namespace TCPIPRecords
