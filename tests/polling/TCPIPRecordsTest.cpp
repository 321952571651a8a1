// Cutting what TCP/IP clocks send into records: each record committed once,
// when complete, in the order line, show, store, acknowledgement.
#include "platform/error.h"
#include "polling/TCPIPRecords.h"

#include "TcpClock.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace TCPIPRecords;

namespace {

// One receive of one clock cut and committed at once, as a step outside a pass does.
void TakeReceive(TCPIP::ClockText &clock, const QByteArray &received, const LineOptions &options,
                 const CommitTargets &to, TextEnd end = TextEnd::Open)
{
    Batch batch;
    batch.add(0, clock, received, options, end);
    batch.commit(to);
}

QByteArray bytes(const std::string &s) { return QByteArray(s.data(), static_cast<qsizetype>(s.size())); }

const QByteArray P1 = bytes(tevtest::punchRecord(1, "1234", "040309070500"));
const QByteArray P2 = bytes(tevtest::punchRecord(1, "5678", "040309070600", 2, {"A", "", "B"}));
const QByteArray K = bytes(tevtest::keepAliveRecord(1));
const QByteArray NonPunch = QByteArray("\\A!\x1D" "BS01120045");
const QByteArray Long = bytes(tevtest::punchRecord(1, "9", "040309070700", 1, {std::string(270, 'f')}));
const QByteArray Tiny = "\\A!\x03";
const QByteArray Big = "\\A!\x1D" + QByteArray(4092, 'x');
// A plain punch as a clock sends it without ETX, and a function key's punch cut after its stamp.
const QByteArray P0 = bytes(tevtest::punchRecord(1, "4321", "040309070800")).chopped(1);
const QByteArray P2Stamp = P2.left(P2.indexOf('\x1F') + 14);

QByteArray times(const QByteArray &b, int n)
{
    QByteArray out;
    for (int i = 0; i < n; ++i)
        out += b;
    return out;
}

std::vector<QByteArray> lines(std::initializer_list<QByteArray> l) { return l; }

// What the commits reached, in order.
struct Seen {
    std::vector<QByteArray> written;
    std::vector<QByteArray> shown;
    std::vector<QByteArray> stored;
    std::vector<std::string> order;
    int acks = 0;
    bool refuseWrite = false;
    int refuseStore = -1;  // the store that fails, counted from 0

    CommitTargets targets()
    {
        return CommitTargets{
            [this](const QByteArrayList &ls) {
                if (refuseWrite)
                    throw Platform::Error(70, QStringLiteral("Permission denied"));
                written.insert(written.end(), ls.begin(), ls.end());
                order.push_back("write");
            },
            [this](const QByteArray &l) {
                shown.push_back(l);
                order.push_back("show");
            },
            [this](int, const QByteArray &r) {
                if (refuseStore-- == 0)
                    throw Platform::Error(61, QStringLiteral("Disk full"));
                stored.push_back(r);
                order.push_back("store");
            },
            [this](int) {
                ++acks;
                order.push_back("ack");
            },
        };
    }
};

struct Row {
    const char *name;
    std::optional<QByteArray> held;
    std::vector<QByteArray> receives;
    std::vector<QByteArray> lines;
    int acks;
    std::optional<QByteArray> heldAfter;
    QByteArray lastStored;  // empty: nothing stored
    bool terminalId = false;
    TextEnd end = TextEnd::Open;  // then: the clock quiet, or its connection gone
    bool firstWriteFails = false;
};

} // namespace

TEST(TCPIPRecords, EachRecordCommittedOnceWhenComplete)
{
    const QByteArray stampedP1 = "\x01!!\x02\\A!" + P1.mid(3);
    std::vector<Row> rows = {
        {"TwoRecordsKeepTheirOwnEtx", {}, {P1 + P2}, lines({P1, P2}), 2, {}, P2},
        {"SplitPunchWaitsForItsEtx", {}, {P1.left(9), P1.mid(9)}, lines({P1}), 1, {}, P1},
        {"SplitAtEveryByteIsOneRecord", {}, {P1.left(1), P1.mid(1, 1), P1.mid(2)}, lines({P1}), 1, {}, P1},
        {"ThreePieceSplitJoinsAllThree", {}, {P2.left(5), P2.mid(5, 10), P2.mid(15)}, lines({P2}), 1, {}, P2},
        {"MiddlePieceWithoutBackslashIsKept", {}, {NonPunch.left(6), NonPunch.mid(6), P1},
         lines({NonPunch, P1}), 2, {}, P1},
        {"TextBeforeBackslashCompletesHeld", NonPunch, {"xy" + P2}, lines({NonPunch + "xy", P2}), 2, {}, P2},
        {"TextBeforeBackslashWithNothingHeld", {}, {"xy" + P1}, lines({"\\xy", P1}), 1, {}, P1},
        {"NoBackslashNothingHeldWaitsForOne", {}, {"xyz"}, {}, 0, "xyz", {}},
        {"RecordWithoutEndMarkIsHeld", {}, {NonPunch}, {}, 0, NonPunch, {}},
        {"KeepAliveShownStoredAckedNotLogged", {}, {K}, {}, 1, {}, K},
        {"SplitKeepAliveCompletesOnItsText", {}, {K.left(12), K.mid(12)}, {}, 1, {}, K},
        {"KeepAliveThenPunch", {}, {K + P1}, lines({P1}), 2, {}, P1},
        {"OverHundredRecordsInOneReceive", {}, {times(Tiny, 110)}, std::vector<QByteArray>(110, Tiny), 110, {}, Tiny},
        {"EtxInsideRecordStaysData", {}, {"\\A!\x1D" "ab\x03" "cd" + P1}, lines({"\\A!\x1D" "ab\x03" "cd", P1}), 2, {}, P1},
        {"LongRecordLoggedWholeStoredCut", {}, {Long}, lines({Long}), 1, {}, Long.left(256)},
        {"LoneBackslashIsAFragment", {}, {"\\" + P1}, lines({stampedP1}), 1, {}, P1, true},
        {"HeldAtCapStaysHeld", {}, {Big.left(1500), Big.mid(1500, 1500), Big.mid(3000)}, {}, 0, Big, {}},
        {"HeldPastCapCommittedAsItStands", Big, {"yy"}, lines({Big + "yy"}), 1, {}, Big + "yy"},
        {"PlainPunchWithoutEtxEndingAReceive", {}, {P0}, lines({P0}), 1, {}, P0},
        {"LoneEtxAfterItIsNoLine", {}, {P0, "\x03" + P1}, lines({P0, P1}), 2, {}, P1},
        {"FragmentABackslashFollowsIsNeverLogged", {}, {P0.left(12), P0}, lines({P0}), 1, {}, P0},
        {"FragmentWhenTheConnectionGoesIsOnlyStored", {}, {P0.left(20)}, {}, 0, {}, P0.left(20), false, TextEnd::Final},
        {"FragmentStaysHeldWhileItsClockIsQuiet", {}, {P0.left(20)}, {}, 0, P0.left(20), {}, false, TextEnd::Quiet},
        {"NonPunchGoesWhenItsClockFallsQuiet", {}, {NonPunch}, lines({NonPunch}), 1, {}, NonPunch, false, TextEnd::Quiet},
        {"NonPunchWithoutEndMarkIsOnlyStoredWhenTheConnectionGoes", {}, {NonPunch}, {}, 0, {}, NonPunch, false, TextEnd::Final},
        {"FunctionPunchCutAfterItsStampWaitsForItsFields", {}, {P2Stamp, P2.mid(P2Stamp.size())}, lines({P2}), 1, {}, P2},
        {"FailedWriteGivesBackTheTextBeforeTheFirstBackslashToo", {}, {"xy" + P1, P2}, lines({"\\xy", P1, P2}), 2,
         {}, P2, false, TextEnd::Open, true},
        {"FailedWriteKeepsTheRecordAndTheTailInOrder", {}, {P1 + P2 + P0.left(9), P0.mid(9)}, lines({P1, P2, P0}), 3,
         {}, P0, false, TextEnd::Open, true},
    };
    for (int cut = 1; cut < P0.size(); ++cut) {
        // Cut right after its stamp it is whole already; the one character after it ends nothing.
        const QByteArray line = cut == P0.size() - 1 ? P0.left(cut) : P0;
        rows.push_back({"PlainPunchWithoutEtxCutAtEveryOffset", {}, {P0.left(cut), P0.mid(cut)}, lines({line}), 1,
                        line == P0 ? std::nullopt : std::optional(P0.mid(cut)), line});
    }
    for (const Row &row : rows) {
        SCOPED_TRACE(std::string(row.name) + " " + std::to_string(row.receives.front().size()));
        TCPIP::ClockText clock;
        clock.Held = row.held;
        Seen seen;
        LineOptions options;
        options.TerminalID = row.terminalId;
        options.controller = 1;
        options.terminal = 1;
        for (std::size_t i = 0; i < row.receives.size(); ++i) {
            seen.refuseWrite = row.firstWriteFails && i == 0;
            try {
                TakeReceive(clock, row.receives[i], options, seen.targets());
            } catch (const Platform::Error &) {
                EXPECT_TRUE(seen.refuseWrite);
            }
        }
        seen.refuseWrite = false;
        if (row.end != TextEnd::Open)
            TakeReceive(clock, {}, options, seen.targets(), row.end);
        EXPECT_EQ(seen.written, row.lines);
        EXPECT_EQ(seen.acks, row.acks);
        EXPECT_EQ(clock.Held, row.heldAfter);
        EXPECT_TRUE(clock.Kept.isEmpty());
        if (row.lastStored.isEmpty()) {
            EXPECT_TRUE(seen.stored.empty());
        } else {
            ASSERT_FALSE(seen.stored.empty());
            EXPECT_EQ(seen.stored.back(), BufferRecord(row.lastStored));
        }
    }
}

TEST(TCPIPRecords, LineIsOnDiskBeforeItsAcknowledgement)
{
    TCPIP::ClockText clock;
    Seen seen;
    TakeReceive(clock, P1 + K, LineOptions{}, seen.targets());
    const std::vector<std::string> order = {"write", "show", "store", "ack", "show", "store", "ack"};
    EXPECT_EQ(seen.order, order);
}

TEST(TCPIPRecords, UnwritableRecordIsNotAcknowledgedAndStaysHeld)
{
    TCPIP::ClockText clock;
    Seen seen;
    seen.refuseWrite = true;
    EXPECT_THROW(TakeReceive(clock, P1 + P2, LineOptions{}, seen.targets()), Platform::Error);
    EXPECT_EQ(seen.acks, 0);
    EXPECT_EQ(clock.Kept, (QByteArrayList{P1, P2}));
}

// Two clocks' records written at once: a write that fails leaves all of
// them unacknowledged and held in order; a failure after it leaves alone the
// lines already on disk and keeps only what has none.
TEST(TCPIPRecords, BatchThatFailsKeepsWhatIsNotOnDiskInOrder)
{
    TCPIP::ClockText clock1, clock2;
    Seen seen;
    Batch batch;
    const auto add = [&](const QByteArray &r1, const QByteArray &r2) {
        batch.add(1, clock1, r1, LineOptions{});
        batch.add(2, clock2, r2, LineOptions{});
    };
    add(P1 + P2, K + P0.left(9));
    batch.add(1, clock1, P0, LineOptions{});
    seen.refuseWrite = true;
    EXPECT_THROW(batch.commit(seen.targets()), Platform::Error);
    EXPECT_EQ(seen.acks, 0);
    EXPECT_EQ(clock1.Kept, (QByteArrayList{P1, P2, P0}));
    EXPECT_EQ(clock2.Kept, QByteArrayList{K});
    EXPECT_EQ(clock2.Held, P0.left(9));

    seen.refuseWrite = false;
    seen.refuseStore = 1;  // P2's: P0 is on disk too, the keep-alive is not
    add({}, {});
    EXPECT_THROW(batch.commit(seen.targets()), Platform::Error);
    EXPECT_EQ(seen.written, lines({P1, P2, P0}));
    EXPECT_EQ(seen.acks, 1);
    EXPECT_TRUE(clock1.Kept.isEmpty());
    EXPECT_EQ(clock2.Kept, QByteArrayList{K});
    EXPECT_EQ(clock2.Held, P0.left(9));

    add({}, P0.mid(9));
    batch.commit(seen.targets());
    EXPECT_EQ(seen.written, lines({P1, P2, P0, P0}));
    EXPECT_EQ(seen.acks, 3);
    EXPECT_EQ(clock2.Held, std::nullopt);
}

TEST(TCPIPRecords, LinesStampedAsTheOptionsSay)
{
    const QByteArray r = "\\A%\x1DP00";
    LineOptions plain;
    LineOptions terminal{true, false, 2, 5, {}};
    LineOptions address{true, true, 2, 5, {10, 0, 0, 57}};
    EXPECT_EQ(LogLine(r, plain), r);
    EXPECT_EQ(LogLine(r, terminal), QByteArray("\x01\x22\x25\x02\\A\x25\x1DP00"));
    EXPECT_EQ(LogLine(r, address), "10.0.0.57   " + r);
    EXPECT_EQ(LogLine("\\A", terminal), QByteArray("\\A"));
    EXPECT_EQ(LogLine(QByteArray("\\A\xE9\xFF", 4), plain), QByteArray("\\A\xE9\xFF", 4));
}

TEST(TCPIPRecords, ReceivedBytesEndBeforeTheLibrarysEtxFoundFromTheEnd)
{
    struct Case {
        const char *name;
        QByteArray written;  // what the library put at the buffer's start
        QByteArray expected;
    };
    const std::vector<Case> cases = {
        {"Plain", QByteArray("abc\x03\0", 5), "abc"},
        {"ClocksOwnEtxAndNulStay", QByteArray("ab\x03\0\x03\0", 6), QByteArray("ab\x03\0", 4)},
        {"TrailingBlanksOfTheClockStay", QByteArray("ab  \x03\0", 6), "ab  "},
        {"NothingWaiting", QByteArray("\x04", 1), ""},
        {"NotConnected", QByteArray("\0", 1), ""},
        {"FullReceive", QByteArray(1500, 'z') + QByteArray("\x03\0", 2), QByteArray(1500, 'z')},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QByteArray buffer(kRxBufferChars, ' ');
        buffer.append('\0');
        buffer.replace(0, c.written.size(), c.written);
        EXPECT_EQ(ReceivedBytes(buffer.constData(), kRxBufferBytes), c.expected);
    }
}

TEST(TCPIPRecords, TerminalTextStartsAfreshPastItsLimit)
{
    QString text(2040, QLatin1Char('t'));
    AppendTermText(text, QByteArray(20, 'r'));
    EXPECT_TRUE(text.isEmpty());
    AppendTermText(text, QByteArray("\\A\xE9", 3));
    EXPECT_EQ(text, QStringLiteral("\\A\u00E9\r\n"));
}
