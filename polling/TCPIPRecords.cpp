#include "polling/TCPIPRecords.h"

#include "libs/frame/LinkFrame.h"
#include "platform/ansi.h"

#include <algorithm>
#include <cstring>

namespace TCPIPRecords {

namespace {

constexpr char Blank = ' ';
constexpr char NUL = '\0';
constexpr char KeepAliveText[] = "TEV KEEPALIVE";
constexpr int kKeepAliveAt = 5;  // the sixth character, counting the backslash as the first
constexpr int kKeepAliveLength = sizeof KeepAliveText - 1;
// The terminal stamp replaces the record's third character.
constexpr int kStampAt = 2;
// A record's header: the backslash, "A", the terminal character and GS.
constexpr char kHeaderLetter = 'A';
constexpr int kHeaderLetterAt = 1;
constexpr int kHeaderEndAt = 3;
constexpr int kHeaderLength = 4;
constexpr int kStampLength = 12;  // YYMMDDhhmmss
constexpr char kPlainPunch = '0';   // the function digit of a punch without fields
using LinkFrame::GS;
using LinkFrame::RS;
using LinkFrame::US;
constexpr char kAddressGap[] = "   ";
constexpr int kBlankBlock = 64;

} // namespace

QByteArray ReceivedBytes(const char *rxBuf, int size)
{
    int end = size;
    // The buffer's own NUL after its 1,550 characters, then the blanks the
    // library did not reach, most of them a block at a time.
    if (end > 0 && rxBuf[end - 1] == NUL)
        --end;
    static const QByteArray blanks(kBlankBlock, Blank);
    while (end >= kBlankBlock && std::memcmp(rxBuf + end - kBlankBlock, blanks.constData(), kBlankBlock) == 0)
        end -= kBlankBlock;
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

Shape Judge(const QByteArray &record)
{
    if (record.endsWith(ETX) || IsKeepAlive(record))
        return Shape::Complete;
    // Cut inside its header (or right after it) it may still become a punch.
    if (record.size() <= kHeaderLength) {
        const bool headerSoFar = (record.size() <= kHeaderLetterAt || record[kHeaderLetterAt] == kHeaderLetter) &&
                                 (record.size() <= kHeaderEndAt || record[kHeaderEndAt] == GS);
        return headerSoFar ? Shape::Fragment : Shape::Unjudged;
    }
    if (record[kHeaderLetterAt] != kHeaderLetter || record[kHeaderEndAt] != GS ||
        record[kHeaderLength] != LinkFrame::PollChar)
        return Shape::Unjudged;
    // A punch: its function digit, RS, the badge, RS, US, the stamp and one character.
    const qsizetype functionEnd = record.indexOf(RS, kHeaderLength);
    const qsizetype badgeEnd = functionEnd < 0 ? -1 : record.indexOf(RS, functionEnd + 1);
    if (badgeEnd < 0 || record.size() != badgeEnd + 2 + kStampLength + 1 || record[badgeEnd + 1] != US)
        return Shape::Fragment;
    const QByteArray stamp = record.mid(badgeEnd + 2, kStampLength);
    if (!std::all_of(stamp.begin(), stamp.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return Shape::Fragment;
    // A function key's fields follow its stamp and end with ETX: cut there, it
    // is not known to be whole.
    return record[functionEnd - 1] == kPlainPunch ? Shape::Complete : Shape::Unjudged;
}

std::vector<Piece> CutReceive(std::optional<QByteArray> &held, const QByteArray &received, TextEnd end)
{
    std::vector<Piece> pieces;
    QByteArray text;
    if (held) {
        // The clock's next text before a backslash belongs to what it left held.
        text = *held + received;
        held.reset();
    } else {
        const qsizetype first = received.indexOf(Backslash);
        if (first < 0)
            return pieces;
        // The rest of a record this program never held (it came before the
        // link was prepared, or its beginning was discarded): kept in the
        // files for the record, but never acknowledged. A lone ETX is the end
        // of a punch already committed without it.
        if (first > 0 && received.left(first) != QByteArray(1, ETX))
            pieces.push_back(Piece{PieceKind::Unacknowledged, Backslash + received.left(first)});
        text = received.mid(first);
    }
    for (qsizetype at = 0; at < text.size();) {
        const qsizetype next = text.indexOf(Backslash, at + 1);
        const QByteArray record = text.mid(at, next < 0 ? -1 : next - at);
        const Shape shape = Judge(record);
        // The last record waits for more unless it is complete, the clock has
        // fallen quiet on a record no rule judges, or nothing more can come.
        const bool waits = next < 0 && shape != Shape::Complete && record.size() <= kMaxHeldBytes &&
                           (end == TextEnd::Open || (end == TextEnd::Quiet && shape == Shape::Fragment));
        if (waits) {
            held = record;
            break;
        }
        // A fragment a backslash follows was started again, or given up: its
        // acknowledgement would take the clock's whole record unwritten.
        if (shape == Shape::Fragment)
            pieces.push_back(Piece{PieceKind::Fragment, record});
        else
            pieces.push_back(Piece{IsKeepAlive(record) ? PieceKind::KeepAlive : PieceKind::Record, record});
        if (next < 0)
            break;
        at = next;
    }
    return pieces;
}

void Batch::add(int key, std::optional<QByteArray> &held, const QByteArray &received, const LineOptions &options,
                TextEnd end, Resend resend)
{
    for (Piece &piece : CutReceive(held, received, end)) {
        if (piece.kind == PieceKind::Record && resend.expected && !resend.expected->isEmpty()) {
            // Only the clock's first record after it came back can be the copy.
            if (piece.text == *resend.expected)
                piece.kind = PieceKind::SentAgain;
            resend.expected->clear();
        }
        QByteArray line;
        if (piece.kind != PieceKind::Fragment && piece.kind != PieceKind::SentAgain)
            line = LogLine(piece.text, options);
        if (piece.kind == PieceKind::Record || piece.kind == PieceKind::Unacknowledged)
            m_lines.push_back(line);
        m_entries.push_back(Entry{key, &held, std::move(piece), std::move(line), resend});
    }
}

void Batch::commit(const CommitTargets &to)
{
    std::size_t i = 0;
    bool written = false;
    try {
        if (!m_lines.isEmpty())
            to.write(m_lines);
        written = true;
        for (; i < m_entries.size(); ++i) {
            const Entry &e = m_entries[i];
            if (e.piece.kind != PieceKind::Fragment && e.piece.kind != PieceKind::SentAgain)
                to.show(e.line);
            if (e.piece.kind == PieceKind::Unacknowledged)
                continue;
            to.store(e.key, BufferRecord(e.piece.text));
            if (e.piece.kind != PieceKind::Fragment)
                to.acknowledge(e.key);
            if (e.piece.kind == PieceKind::Record && e.resend.last)
                *e.resend.last = e.piece.text;
        }
    } catch (...) {
        // Nothing of them is acknowledged: what is not on disk comes again at its clock's next step, in order.
        giveBackFrom(i, written);
        throw;
    }
    m_entries.clear();
    m_lines.clear();
}

void Batch::giveBackFrom(std::size_t first, bool linesOnDisk)
{
    // From the back, so each clock's pieces end up in their order in front of its held text.
    for (std::size_t i = m_entries.size(); i-- > first;) {
        const Entry &e = m_entries[i];
        const bool onDisk = linesOnDisk && e.piece.kind == PieceKind::Record;
        if (e.piece.kind != PieceKind::Unacknowledged && !onDisk)
            *e.held = e.piece.text + e.held->value_or(QByteArray());
        // Given back, the copy must still be known for one when it is cut again.
        if (e.piece.kind == PieceKind::SentAgain && e.resend.expected)
            *e.resend.expected = e.piece.text;
    }
    m_entries.clear();
    m_lines.clear();
}

void AppendTermText(QString &termText, const QByteArray &line)
{
    termText += Platform::Ansi::decode(line);
    termText += QStringLiteral("\r\n");
    if (termText.size() > kTermTextMax)
        termText.clear();
}

} // namespace TCPIPRecords
