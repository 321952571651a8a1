#include "polling/TCPIPRecords.h"

#include "platform/ansi.h"

namespace TCPIPRecords {

namespace {

constexpr char Blank = ' ';
constexpr char NUL = '\0';
constexpr char KeepAliveText[] = "TEV KEEPALIVE";
constexpr int kKeepAliveAt = 5;  // the sixth character, counting the backslash as the first
constexpr int kKeepAliveLength = sizeof KeepAliveText - 1;
// The terminal stamp replaces the record's third character.
constexpr int kStampAt = 2;
constexpr char kAddressGap[] = "   ";

} // namespace

QByteArray ReceivedBytes(const char *rxBuf, int size)
{
    int end = size;
    // The buffer's own NUL after its 1,550 characters, then the blanks the
    // library did not reach.
    if (end > 0 && rxBuf[end - 1] == NUL)
        --end;
    while (end > 0 && rxBuf[end - 1] == Blank)
        --end;
    if (end < 2 || rxBuf[end - 1] != NUL || rxBuf[end - 2] != ETX)
        return {};
    return QByteArray(rxBuf, end - 2);
}

QByteArray LogLine(const QByteArray &record, const LineOptions &options)
{
    if (options.TCPIPAddress) {
        QByteArray line;
        for (std::size_t i = 0; i < options.octets.size(); ++i) {
            if (i > 0)
                line += '.';
            line += QByteArray::number(static_cast<qlonglong>(options.octets[i]));
        }
        return line + kAddressGap + record;
    }
    // A record too short to carry the stamp goes unstamped rather than cut.
    if (!options.TerminalID || record.size() <= kStampAt)
        return record;
    const char terminal = static_cast<char>(options.terminal + 32);
    QByteArray line;
    line += SOH;
    line += static_cast<char>(options.controller + 32);
    line += terminal;
    line += STX;
    line += record.left(kStampAt);
    line += terminal;
    line += record.mid(kStampAt + 1);
    return line;
}

QByteArray BufferRecord(const QByteArray &record)
{
    QByteArray out = record.left(kBufferRecordBytes);
    out.append(kBufferRecordBytes - out.size(), Blank);
    return out;
}

bool IsKeepAlive(const QByteArray &record)
{
    return record.mid(kKeepAliveAt, kKeepAliveLength) == KeepAliveText;
}

bool EndsOnItsOwn(const QByteArray &record)
{
    return record.endsWith(ETX) || IsKeepAlive(record);
}

Piece CompleteRecord(const QByteArray &record)
{
    return Piece{IsKeepAlive(record) ? PieceKind::KeepAlive : PieceKind::Record, record};
}

std::vector<Piece> CutReceive(std::optional<QByteArray> &held, const QByteArray &received)
{
    std::vector<Piece> pieces;
    const qsizetype first = received.indexOf(Backslash);
    const QByteArray before = first < 0 ? received : received.left(first);

    if (held) {
        // The clock's next text before a backslash belongs to its held record.
        held->append(before);
        if (first >= 0 || EndsOnItsOwn(*held) || held->size() > kMaxHeldBytes) {
            pieces.push_back(CompleteRecord(*held));
            held.reset();
        }
    } else if (first > 0) {
        // The rest of a record this program never held (it came before the
        // link was prepared, or its beginning was dropped): kept in the
        // files for the record, but never acknowledged.
        pieces.push_back(Piece{PieceKind::Unacknowledged, Backslash + before});
    }
    if (first < 0)
        return pieces;

    qsizetype at = first;
    for (;;) {
        const qsizetype next = received.indexOf(Backslash, at + 1);
        if (next < 0)
            break;
        pieces.push_back(CompleteRecord(received.mid(at, next - at)));
        at = next;
    }
    QByteArray last = received.mid(at);
    if (EndsOnItsOwn(last) || last.size() > kMaxHeldBytes)
        pieces.push_back(CompleteRecord(last));
    else
        held = std::move(last);
    return pieces;
}

void Commit(const Piece &piece, const LineOptions &options, const CommitTargets &to,
            std::optional<QByteArray> &held)
{
    const QByteArray line = LogLine(piece.text, options);
    if (piece.kind != PieceKind::KeepAlive) {
        try {
            to.write(line);
        } catch (...) {
            if (piece.kind != PieceKind::Unacknowledged)
                held = piece.text;
            throw;
        }
    }
    to.show(line);
    if (piece.kind == PieceKind::Unacknowledged)
        return;
    to.store(BufferRecord(piece.text));
    to.acknowledge();
}

void TakeReceive(std::optional<QByteArray> &held, const QByteArray &received,
                 const LineOptions &options, const CommitTargets &to)
{
    for (const Piece &piece : CutReceive(held, received))
        Commit(piece, options, to, held);
}

void AppendTermText(QString &termText, const QByteArray &line)
{
    termText += Platform::Ansi::decode(line);
    termText += QStringLiteral("\r\n");
    if (termText.size() > kTermTextMax)
        termText.clear();
}

} // namespace TCPIPRecords
