// Property rules shared by every comm control, checked on the fake, and the
// fake's own behaviour that the program's tests rely on.
#include "platform/comm/fakecomm.h"
#include "platform/comm/serialcomm.h"
#include "platform/error.h"

#include <gtest/gtest.h>

#include <sys/ioctl.h>

namespace {

using Platform::CommLineSettings;
using P = CommLineSettings::Parity;
using S = CommLineSettings::StopBits;
namespace CommErrorNo = Platform::CommErrorNo;

// Runs f and returns the number of the Platform::Error it throws (0 if none).
template <typename F>
int errorNumberOf(F &&f, QString *description = nullptr)
{
    try {
        f();
    } catch (const Platform::Error &e) {
        if (description)
            *description = e.description();
        return e.number();
    }
    return 0;
}

struct GoodSettings {
    const char *text;
    CommLineSettings expected;
};

TEST(CommSettings, EveryParityAndStopBitFormIsUnderstood)
{
    const GoodSettings cases[] = {
        {"9600,o,7,2", {9600, P::Odd, 7, S::Two}},
        {"4800,e,8,1", {4800, P::Even, 8, S::One}},
        {"19200,n,8,1", {19200, P::None, 8, S::One}},
        {"1200,m,7,1", {1200, P::Mark, 7, S::One}},
        {"2400,s,7,2", {2400, P::Space, 7, S::Two}},
        {"9600,O,7,2", {9600, P::Odd, 7, S::Two}},
        {"9600,M,8,1", {9600, P::Mark, 8, S::One}},
        {"9600,S,8,1", {9600, P::Space, 8, S::One}},
        {"300,N,5,1.5", {300, P::None, 5, S::OneAndHalf}},
        {"110,e,6,2", {110, P::Even, 6, S::Two}},
        {" 9600 , o , 7 , 2 ", {9600, P::Odd, 7, S::Two}},
        {"115200,n,8,1", {115200, P::None, 8, S::One}},
    };
    for (const GoodSettings &c : cases) {
        try {
            EXPECT_EQ(Platform::parseCommSettings(QString::fromLatin1(c.text)), c.expected) << c.text;
        } catch (const Platform::Error &e) {
            ADD_FAILURE() << c.text << " refused: " << e.what();
        }
    }
}

struct BadSettings {
    const char *text;
    const char *mentions;   // the part of the text the error must name
};

TEST(CommSettings, MalformedTextIsRefusedNamingTheBadPart)
{
    const BadSettings cases[] = {
        {"", "baud,parity,data bits,stop bits"},
        {"9600,o,7", "baud,parity,data bits,stop bits"},
        {"9600,o,7,2,1", "baud,parity,data bits,stop bits"},
        {"9600;o;7;2", "baud,parity,data bits,stop bits"},
        {"fast,o,7,2", "baud rate \"fast\""},
        {"-9600,o,7,2", "baud rate \"-9600\""},
        {"0,o,7,2", "baud rate \"0\""},
        {"9601,o,7,2", "baud rate \"9601\""},
        {",o,7,2", "baud rate \"\""},
        {"9600,x,7,2", "parity \"x\""},
        {"9600,odd,7,2", "parity \"odd\""},
        {"9600,,7,2", "parity \"\""},
        {"9600,o,4,2", "data bits \"4\""},
        {"9600,o,9,1", "data bits \"9\""},
        {"9600,o,7.0,1", "data bits \"7.0\""},
        {"9600,o,7,0", "stop bits \"0\""},
        {"9600,o,7,3", "stop bits \"3\""},
        {"9600,o,7,1.0", "stop bits \"1.0\""},
        {"9600,o,8,1.5", "1.5 stop bits need 5 data bits"},
        {"9600,n,5,2", "5 data bits"},
    };
    for (const BadSettings &c : cases) {
        QString description;
        const int number = errorNumberOf([&] { Platform::parseCommSettings(QString::fromLatin1(c.text)); },
                                         &description);
        EXPECT_EQ(number, CommErrorNo::InvalidPropertyValue) << c.text;
        EXPECT_TRUE(description.contains(QString::fromLatin1(c.mentions)))
            << c.text << " gave: " << description.toStdString();
    }
}

TEST(CommControlProperties, SettingsReadBackAsSetSoOpenPortCanCompareThem)
{
    Platform::FakeCommControl comm;
    comm.setSettings(QStringLiteral("9600,O,7,2"));
    EXPECT_EQ(comm.Settings(), QStringLiteral("9600,O,7,2"));
}

TEST(CommControlProperties, RefusedSettingsLeaveThePreviousInForce)
{
    Platform::FakeCommControl comm;
    comm.setSettings(QStringLiteral("4800,e,8,1"));
    EXPECT_EQ(errorNumberOf([&] { comm.setSettings(QStringLiteral("4800,q,8,1")); }),
              CommErrorNo::InvalidPropertyValue);
    EXPECT_EQ(comm.Settings(), QStringLiteral("4800,e,8,1"));
    EXPECT_EQ(comm.lineSettings().parity, P::Even);
}

TEST(CommControlProperties, PortNumberOutOfRangeIsInvalidPortNumber)
{
    Platform::FakeCommControl comm;
    comm.setCommPort(2);
    for (int bad : {0, -1, Platform::CommControl::kMaxPort + 1})
        EXPECT_EQ(errorNumberOf([&] { comm.setCommPort(bad); }), CommErrorNo::InvalidPortNumber) << bad;
    EXPECT_EQ(comm.CommPort(), 2);
    comm.setCommPort(Platform::CommControl::kMaxPort);
    EXPECT_EQ(comm.CommPort(), Platform::CommControl::kMaxPort);
}

TEST(CommControlProperties, PortNumberCannotChangeUnderAnOpenPort)
{
    Platform::FakeCommControl comm;
    comm.setCommPort(3);
    comm.setPortOpen(true);
    EXPECT_EQ(errorNumberOf([&] { comm.setCommPort(4); }), CommErrorNo::NotValidWhileOpen);
    EXPECT_EQ(comm.CommPort(), 3);
}

TEST(CommControlProperties, OpeningAnOpenPortIsPortAlreadyOpenAndClosingAClosedOneIsHarmless)
{
    Platform::FakeCommControl comm;
    comm.setPortOpen(false);
    EXPECT_EQ(comm.closes(), 0);
    comm.setPortOpen(true);
    EXPECT_EQ(errorNumberOf([&] { comm.setPortOpen(true); }), CommErrorNo::PortAlreadyOpen);
    EXPECT_TRUE(comm.PortOpen());
    EXPECT_EQ(comm.opens(), 1);
}

TEST(CommControlProperties, ClosedPortRefusesInputAndOutputButCountsNothing)
{
    Platform::FakeCommControl comm;
    comm.queueInput("abc");
    comm.setCarrier(true);
    comm.setPendingOutput(5);
    EXPECT_EQ(errorNumberOf([&] { comm.Output("x"); }), CommErrorNo::PortNotOpen);
    EXPECT_EQ(errorNumberOf([&] { comm.Input(); }), CommErrorNo::PortNotOpen);
    EXPECT_EQ(comm.InBufferCount(), 0);
    EXPECT_EQ(comm.OutBufferCount(), 0);
    EXPECT_FALSE(comm.CDHolding());
    EXPECT_TRUE(comm.output().isEmpty());
}

TEST(CommControlProperties, FailedOpenLeavesThePortClosedWithTheDevicesError)
{
    Platform::FakeCommControl comm;
    comm.failNextOpen(CommErrorNo::InvalidPortNumber, QStringLiteral("No such file or directory"));
    QString description;
    EXPECT_EQ(errorNumberOf([&] { comm.setPortOpen(true); }, &description), CommErrorNo::InvalidPortNumber);
    EXPECT_EQ(description, QStringLiteral("No such file or directory"));
    EXPECT_FALSE(comm.PortOpen());
    comm.setPortOpen(true);   // only the next open fails
    EXPECT_TRUE(comm.PortOpen());
}

TEST(CommControlProperties, DtrFollowsDtrEnableOnOpenAndWhileOpenOnly)
{
    Platform::FakeCommControl comm;
    EXPECT_TRUE(comm.DTREnable());
    comm.setDTREnable(false);          // closed: remembered, not driven
    EXPECT_TRUE(comm.dtrLevels().isEmpty());
    comm.setPortOpen(true);
    comm.setDTREnable(true);
    comm.setDTREnable(false);
    EXPECT_EQ(comm.dtrLevels(), (QList<bool>{false, true, false}));
}

TEST(FakeCommControl, InputHandsOutEverythingQueuedOnce)
{
    Platform::FakeCommControl comm;
    comm.setPortOpen(true);
    comm.queueInput(QByteArray("\x06", 1));
    comm.queueInput(QByteArray("\x01!!\x02", 4));
    EXPECT_EQ(comm.InBufferCount(), 5);
    EXPECT_EQ(comm.Input(), QByteArray("\x06\x01!!\x02", 5));
    EXPECT_EQ(comm.InBufferCount(), 0);
    EXPECT_TRUE(comm.Input().isEmpty());
}

TEST(FakeCommControl, ResponderAnswersEachOutput)
{
    Platform::FakeCommControl comm;
    comm.setPortOpen(true);
    comm.setResponder([](Platform::FakeCommControl &c, const QByteArray &sent) {
        if (sent.startsWith("AT"))
            c.queueInput("OK\r\n");
    });
    comm.Output("ATZ\r");
    comm.Output(QByteArray("\x05!!S\x04", 5));
    EXPECT_EQ(comm.writes(), (QList<QByteArray>{"ATZ\r", QByteArray("\x05!!S\x04", 5)}));
    EXPECT_EQ(comm.Input(), QByteArray("OK\r\n"));
}

TEST(FakeCommControl, RaisedEventReachesOnCommAndCommEvent)
{
    Platform::FakeCommControl comm;
    QList<int> seen;
    QObject::connect(&comm, &Platform::CommControl::OnComm, [&](int code) {
        seen << code;
        EXPECT_EQ(comm.CommEvent(), code);   // set before the handler runs
    });
    EXPECT_EQ(comm.CommEvent(), 0);
    for (int code : {1, 2, 5, 1009, 4242})
        comm.raiseEvent(code);
    EXPECT_EQ(seen, (QList<int>{1, 2, 5, 1009, 4242}));
}

// The events the 100 ms watch raises between two readings of a device.
struct LineChange {
    const char *what;
    Platform::CommLineSample before, after;
    QList<int> events;
};

Platform::CommLineSample lines(int bits)
{
    Platform::CommLineSample s;
    s.haveLines = true;
    s.lines = bits;
    return s;
}

Platform::CommLineSample counts(int cts, int dsr, int ring, int cd, int brk, int frame, int overrun,
                                int bufOverrun, int parity)
{
    Platform::CommLineSample s;
    s.haveCounts = true;
    s.cts = cts;
    s.dsr = dsr;
    s.ring = ring;
    s.cd = cd;
    s.breaks = brk;
    s.frame = frame;
    s.overrun = overrun;
    s.bufferOverrun = bufOverrun;
    s.parity = parity;
    return s;
}

TEST(CommLineWatch, EachLineAndCounterChangeRaisesItsOwnCode)
{
    using namespace Platform;
    const CommLineSample none;
    const LineChange cases[] = {
        {"nothing changed", lines(TIOCM_CTS | TIOCM_CD), lines(TIOCM_CTS | TIOCM_CD), {}},
        {"CTS dropped", lines(TIOCM_CTS), lines(0), {CommEvCts}},
        {"DSR rose", lines(0), lines(TIOCM_DSR), {CommEvDsr}},
        {"carrier rose", lines(0), lines(TIOCM_CD), {CommEvCd}},
        {"ring began", lines(0), lines(TIOCM_RNG), {CommEvRing}},
        {"ring ended is not a ring", lines(TIOCM_RNG), lines(0), {}},
        {"DTR and RTS are ours", lines(0), lines(TIOCM_DTR | TIOCM_RTS), {}},
        {"all three lines", lines(0), lines(TIOCM_CTS | TIOCM_DSR | TIOCM_CD),
         {CommEvCts, CommEvDsr, CommEvCd}},
        {"break", counts(0, 0, 0, 0, 0, 0, 0, 0, 0), counts(0, 0, 0, 0, 1, 0, 0, 0, 0), {CommErBreak}},
        {"framing", counts(0, 0, 0, 0, 0, 3, 0, 0, 0), counts(0, 0, 0, 0, 0, 4, 0, 0, 0), {CommErFrame}},
        {"overrun", counts(0, 0, 0, 0, 0, 0, 0, 0, 0), counts(0, 0, 0, 0, 0, 0, 2, 0, 0), {CommErOverrun}},
        {"receive buffer overflow", counts(0, 0, 0, 0, 0, 0, 0, 0, 0), counts(0, 0, 0, 0, 0, 0, 0, 1, 0),
         {CommErRxOver}},
        {"parity", counts(0, 0, 0, 0, 0, 0, 0, 0, 7), counts(0, 0, 0, 0, 0, 0, 0, 0, 8), {CommErRxParity}},
        {"carrier blinked between readings", counts(0, 0, 0, 2, 0, 0, 0, 0, 0), counts(0, 0, 0, 4, 0, 0, 0, 0, 0),
         {CommEvCd}},
        {"ring counted", counts(0, 0, 0, 0, 0, 0, 0, 0, 0), counts(0, 0, 1, 0, 0, 0, 0, 0, 0), {CommEvRing}},
        {"everything at once", counts(0, 0, 0, 0, 0, 0, 0, 0, 0), counts(1, 1, 1, 1, 1, 1, 1, 1, 1),
         {CommEvCts, CommEvDsr, CommEvCd, CommEvRing, CommErBreak, CommErFrame, CommErOverrun, CommErRxOver,
          CommErRxParity}},
        {"device without modem ioctls", none, none, {}},
        {"lines readable only afterwards", none, lines(TIOCM_CD), {}},
        {"counters readable only before", counts(0, 0, 0, 0, 5, 0, 0, 0, 0), none, {}},
    };
    for (const LineChange &c : cases)
        EXPECT_EQ(commEventsBetween(c.before, c.after), c.events) << c.what;
}

} // namespace
