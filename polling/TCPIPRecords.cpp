#include "polling/TCPIPRecords.h"

#include "libs/frame/LinkFrame.h"
#include "platform/ansi.h"

#include <QHash>

#include <algorithm>
#include <cstring>

namespace TCPIPRecords {

namespace {

constexpr char Blank = ' ';
constexpr char NUL = '\0';
constexpr char KeepAliveText[] = "TEV KEEPALIVE";
constexpr int kKeepAliveAt = 5;  // the sixth character, counting the backslash as the first
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

bool IsKeepAliveText(QByteArrayView record)
{
    return record.sliced(std::min<qsizetype>(record.size(), kKeepAliveAt)).startsWith(KeepAliveText);
}

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
    return IsKeepAliveText(record);
}

namespace {

// The keep-alive text so far: the header, then " TEV KEEPALIVE".
bool IsKeepAliveStart(QByteArrayView record)
{
    static constexpr QByteArrayView kBody(" TEV KEEPALIVE");
    return record.size() <= kHeaderLength + kBody.size() &&
           (record.size() <= kHeaderLetterAt || record[kHeaderLetterAt] == kHeaderLetter) &&
           (record.size() <= kHeaderEndAt || record[kHeaderEndAt] == GS) &&
           kBody.startsWith(record.sliced(std::min<qsizetype>(record.size(), kHeaderLength)));
}

// How far a record follows the punch layout the posting reads: the header,
// "P", the function digit before the first RS, the badge ended by RS, the
// stamp after the first US, one character, the fields each ended by RS, ETX.
struct PunchLayout {
    enum Stage {
        NoPunch,      // another record
        BeforeStamp,  // cut before its stamp is whole
        NoStamp,      // what stands after its US is no stamp
        Stamped,
    } stage = NoPunch;
    bool plain = false;         // function digit 0: no fields
    qsizetype stampEnd = -1;    // Stamped: the index after the stamp
};

PunchLayout LayoutOf(QByteArrayView r)
{
    PunchLayout p;
    if (r.size() <= kHeaderLength || r[kHeaderLetterAt] != kHeaderLetter || r[kHeaderEndAt] != GS ||
        r[kHeaderLength] != LinkFrame::PollChar)
        return p;
    p.stage = PunchLayout::BeforeStamp;
    const qsizetype functionEnd = r.indexOf(RS, kHeaderLength + 1);
    if (functionEnd < 0 || r.indexOf(RS, functionEnd + 1) < 0)
        return p;
    p.plain = r[functionEnd - 1] == kPlainPunch;
    const qsizetype us = r.indexOf(US, functionEnd + 1);
    if (us < 0)
        return p;
    const QByteArrayView stamp = r.sliced(us + 1).first(std::min<qsizetype>(r.size() - us - 1, kStampLength));
    if (!std::all_of(stamp.begin(), stamp.end(), [](char c) { return c >= '0' && c <= '9'; }))
        p.stage = PunchLayout::NoStamp;
    else if (stamp.size() == kStampLength)
        p.stage = PunchLayout::Stamped;
    p.stampEnd = us + 1 + kStampLength;
    return p;
}

// What is posted of a punch: the record without the one character after its
// stamp and without its ETX; empty for any other record. Two punches with
// the same are one punch: it carries its stamp to the second.
QByteArray PunchKey(const QByteArray &record)
{
    const PunchLayout p = LayoutOf(record);
    if (p.stage != PunchLayout::Stamped)
        return {};
    const qsizetype end = record.endsWith(ETX) ? record.size() - 1 : record.size();
    return record.left(p.stampEnd) + record.mid(p.stampEnd + 1, end - p.stampEnd - 1);
}

// `rest` is only the end a record that went without its end mark could still
// have had coming: its ETX, or after a plain punch's stamp the one character and ETX.
bool IsEndOf(const QByteArray &open, const QByteArray &rest)
{
    if (open.isEmpty())
        return false;
    if (rest == QByteArrayView(&ETX, 1))
        return true;
    const PunchLayout p = LayoutOf(open);
    if (p.stage != PunchLayout::Stamped || !p.plain)
        return false;
    const qsizetype tail = open.size() - p.stampEnd + rest.size();
    return tail <= 2 && (tail < 2 || rest.back() == ETX);
}

// A record a backslash follows is the clock's whole record, as it stands.
// A keep-alive is never logged, not even its beginning. A punch its layout
// says is not whole was begun again when a longer copy of it follows, past
// any keep-alive (its clock came back on a new connection, which the poll
// need not have seen); nothing when that cannot be told before more comes.
std::optional<PieceKind> FollowedKind(const QByteArray &record, QByteArrayView after, TextEnd end)
{
    if (IsKeepAliveText(record))
        return PieceKind::KeepAlive;
    if (record.endsWith(ETX))
        return PieceKind::Record;
    if (IsKeepAliveStart(record))
        return PieceKind::Fragment;
    if (LayoutOf(record).stage == PunchLayout::NoPunch || Judge(record) == Shape::Complete)
        return PieceKind::Record;
    // Without its copy in view yet: as the last record of the text would be.
    const auto undecided = [end]() -> std::optional<PieceKind> {
        if (end == TextEnd::Open)
            return std::nullopt;
        return end == TextEnd::Final ? PieceKind::Fragment : PieceKind::Record;
    };
    for (qsizetype at = 0; at < after.size();) {
        const qsizetype next = after.indexOf(Backslash, at + 1);
        const QByteArrayView later = next < 0 ? after.sliced(at) : after.sliced(at, next - at);
        if (!IsKeepAliveText(later) && !(IsKeepAliveStart(later) && next >= 0)) {
            if (later.size() > record.size() && later.startsWith(record))
                return PieceKind::Fragment;
            const bool mayGrowInto = next < 0 && QByteArrayView(record).startsWith(later);
            return mayGrowInto ? undecided() : std::optional(PieceKind::Record);
        }
        if (next < 0)
            break;
        at = next;
    }
    return undecided();
}

PieceKind KeptKind(const QByteArray &kept)
{
    if (!kept.startsWith(Backslash))
        return PieceKind::Continuation;
    return IsKeepAlive(kept) ? PieceKind::KeepAlive : PieceKind::Record;
}

} // namespace

Shape Judge(const QByteArray &record)
{
    if (record.endsWith(ETX) || IsKeepAlive(record))
        return Shape::Complete;
    if (IsKeepAliveStart(record))
        return Shape::Beginning;
    const PunchLayout p = LayoutOf(record);
    switch (p.stage) {
    case PunchLayout::NoPunch:
    case PunchLayout::NoStamp:
        return Shape::Unjudged;
    case PunchLayout::BeforeStamp:
        return Shape::Beginning;
    case PunchLayout::Stamped:
        break;
    }
    // A plain punch is whole with its stamp; a function key's punch has its
    // fields to come, each ended by RS, and ETX after them.
    if (record.size() - p.stampEnd <= 1)
        return p.plain ? Shape::Complete : Shape::Beginning;
    return record.endsWith(RS) ? Shape::Unjudged : Shape::Beginning;
}

std::vector<Piece> CutReceive(TCPIP::ClockText &clock, const QByteArray &received, TextEnd end)
{
    std::vector<Piece> pieces;
    for (QByteArray &kept : clock.Kept)
        pieces.push_back(Piece{KeptKind(kept), std::move(kept)});
    clock.Kept.clear();

    const QByteArray text = clock.Held ? *clock.Held + received : received;
    clock.Held.reset();
    qsizetype at = text.indexOf(Backslash);
    if (at != 0 && !text.isEmpty()) {
        const QByteArray rest = at < 0 ? text : text.left(at);
        if (at < 0 && end == TextEnd::Open && rest.size() <= kMaxHeldBytes) {
            clock.Held = rest;
            return pieces;
        }
        if (!IsEndOf(clock.OpenRecord, rest))
            pieces.push_back(Piece{PieceKind::Continuation, rest});
    }
    if (at >= 0 || end == TextEnd::Final)
        clock.OpenRecord.clear();
    while (at >= 0) {
        const qsizetype next = text.indexOf(Backslash, at + 1);
        if (next >= 0) {
            const QByteArray record = text.mid(at, next - at);
            const std::optional<PieceKind> kind = FollowedKind(record, QByteArrayView(text).sliced(next), end);
            if (!kind && text.size() - at <= kMaxHeldBytes) {
                clock.Held = text.mid(at);
                break;
            }
            pieces.push_back(Piece{kind.value_or(PieceKind::Record), record});
            at = next;
            continue;
        }
        // The clock's last record so far.
        const QByteArray record = text.mid(at);
        const Shape shape = Judge(record);
        const bool settled = shape == Shape::Complete || record.size() > kMaxHeldBytes;
        if (!settled && end == TextEnd::Final) {
            pieces.push_back(Piece{PieceKind::Fragment, record});
        } else if (!settled && (end == TextEnd::Open || shape == Shape::Beginning)) {
            clock.Held = record;
        } else if (IsKeepAlive(record)) {
            pieces.push_back(Piece{PieceKind::KeepAlive, record});
        } else {
            pieces.push_back(Piece{PieceKind::Record, record});
            // Its end mark may still come on this connection.
            if (!record.endsWith(ETX) && end != TextEnd::Final)
                clock.OpenRecord = record;
        }
        break;
    }
    return pieces;
}

void Batch::add(int key, TCPIP::ClockText &clock, const QByteArray &received, const LineOptions &options,
                TextEnd end)
{
    for (Piece &piece : CutReceive(clock, received, end)) {
        QByteArray line;
        if (piece.kind == PieceKind::Continuation)
            line = LogLine(Backslash + piece.text, options);
        else if (piece.kind != PieceKind::Fragment)
            line = LogLine(piece.text, options);
        m_entries.push_back(Entry{key, &clock, std::move(piece), std::move(line)});
    }
}

void Batch::commit(const CommitTargets &to)
{
    // A punch equal to its clock's last punch on disk, or to one before it
    // here, is the clock's copy: found in order, whatever the connection did.
    QHash<TCPIP::ClockText *, QByteArray> lastPunch;
    QByteArrayList lines;
    for (Entry &e : m_entries) {
        if (e.piece.kind == PieceKind::Record) {
            const QByteArray key = PunchKey(e.piece.text);
            if (!key.isEmpty()) {
                const auto last = lastPunch.constFind(e.clock);
                if (key == (last != lastPunch.cend() ? *last : e.clock->LastPunch))
                    e.piece.kind = PieceKind::SentAgain;
                else
                    lastPunch.insert(e.clock, key);
            }
        }
        if (e.piece.kind == PieceKind::Record || e.piece.kind == PieceKind::Continuation)
            lines.push_back(e.line);
    }
    std::size_t i = 0;
    bool written = false;
    try {
        if (!lines.isEmpty())
            to.write(lines);
        written = true;
        for (auto it = lastPunch.cbegin(); it != lastPunch.cend(); ++it)
            it.key()->LastPunch = it.value();
        for (; i < m_entries.size(); ++i) {
            const Entry &e = m_entries[i];
            if (e.piece.kind != PieceKind::Fragment)
                to.show(e.line);
            if (e.piece.kind == PieceKind::Continuation)
                continue;
            to.store(e.key, BufferRecord(e.piece.text));
            if (e.piece.kind != PieceKind::Fragment)
                to.acknowledge(e.key);
        }
    } catch (...) {
        // Nothing of them is acknowledged: what is not on disk comes again at its clock's next step, in order.
        giveBackFrom(i, written);
        throw;
    }
    m_entries.clear();
}

void Batch::giveBackFrom(std::size_t first, bool linesOnDisk)
{
    // From the back, so each clock's pieces end up in their order in front of what it kept.
    for (std::size_t i = m_entries.size(); i-- > first;) {
        Entry &e = m_entries[i];
        const bool onDisk =
            linesOnDisk && (e.piece.kind == PieceKind::Record || e.piece.kind == PieceKind::Continuation);
        // A fragment is no line; only buffer.log misses it.
        if (!onDisk && e.piece.kind != PieceKind::Fragment)
            e.clock->Kept.prepend(std::move(e.piece.text));
    }
    m_entries.clear();
}

void AppendTermText(QString &termText, const QByteArray &line)
{
    termText += Platform::Ansi::decode(line);
    termText += QStringLiteral("\r\n");
    if (termText.size() > kTermTextMax)
        termText.clear();
}

} // namespace TCPIPRecords
