#include "setup/ClockParms.h"

#include "platform/error.h"

#include <QLatin1String>

namespace ClkSetup {

namespace {

const QString kClockParmsKey = QStringLiteral("Clock PARM");
const QString kCRLF = QStringLiteral("\r\n");

constexpr std::array<PositionChoice, 19> kChoices = {{
    {"optSixOnly", ParmField::ClockParameters, 6, "6"},
    {"optAnyLen", ParmField::ClockParameters, 6, "0"},
    {"optAllowed", ParmField::ClockParameters, 7, "1"},
    {"optNotAllowed", ParmField::ClockParameters, 7, "0"},
    {"optAmericanDate", ParmField::ClockParameters, 11, "0"},
    {"optEuropeanDate", ParmField::ClockParameters, 11, "1"},
    {"optIdleBadge(0)", ParmField::ClockParameters, 12, "0"},
    {"optIdleBadge(1)", ParmField::ClockParameters, 12, "1"},
    {"optActiveLPunch", ParmField::FunctionKeys, 6, "1"},
    {"optInActiveLPunch", ParmField::FunctionKeys, 6, "0"},
    {"optActiveHoursWorked", ParmField::FunctionKeys, 8, "1"},
    {"optInActiveHoursWorked", ParmField::FunctionKeys, 8, "0"},
    {"optBadgeLen6", ParmField::BadgeLen, 6, "0"},
    {"optBadgeLen12", ParmField::BadgeLen, 6, "1"},
    {"ssoptNoMsgAck", ParmField::MsgAck, 6, "00"},
    {"ssoptMsgTimeOut", ParmField::MsgAck, 6, "10"},
    {"ssoptMsgWait", ParmField::MsgAck, 6, "11"},
    {"optValidation", ParmField::BadgeValidation, 6, "1"},
    {"optNoValidation", ParmField::BadgeValidation, 6, "0"},
}};

// The order Save stores them in; the badge filter is rebuilt before its turn.
constexpr std::array<ParmField, 8> kSaveOrder = {
    ParmField::ClockParameters, ParmField::BadgeLen,     ParmField::BadgeFilter, ParmField::BadgeValidation,
    ParmField::FunctionKeys,    ParmField::RelayTimeOut, ParmField::ClockDisplay, ParmField::MsgAck,
};

QString fieldName(ParmField field)
{
    switch (field) {
    case ParmField::ClockParameters: return QStringLiteral("ClockParameters");
    case ParmField::FunctionKeys: return QStringLiteral("FunctionKeys");
    case ParmField::RelayTimeOut: return QStringLiteral("RelayTimeOut");
    case ParmField::BadgeLen: return QStringLiteral("BadgeLen");
    case ParmField::ClockDisplay: return QStringLiteral("ClockDisplay");
    case ParmField::MsgAck: return QStringLiteral("MsgAck");
    case ParmField::BadgeValidation: return QStringLiteral("BadgeValidation");
    case ParmField::BadgeFilter: return QStringLiteral("BadgeFilter");
    }
    return QString();
}

bool holds(const QString &text, int position, const char *digit)
{
    return ReadPositions(text, position, 1) == QLatin1String(digit);
}

QString pick(bool test, const char *yes, const char *no)
{
    return QString::fromLatin1(test ? yes : no);
}

// The badge read interval as a number; a character that is no code shows as it stands.
QString intervalText(const QString &code)
{
    try {
        return QString::number(AppMain::FuncKeyCharToCode(code));
    } catch (const Platform::Error &) {
        return code;
    }
}

} // namespace

QString &parmField(AppMain::ClockParmRec &rec, ParmField field)
{
    switch (field) {
    case ParmField::ClockParameters: return rec.ClockParameters;
    case ParmField::FunctionKeys: return rec.FunctionKeys;
    case ParmField::RelayTimeOut: return rec.RelayTimeOut;
    case ParmField::BadgeLen: return rec.BadgeLen;
    case ParmField::ClockDisplay: return rec.ClockDisplay;
    case ParmField::MsgAck: return rec.MsgAck;
    case ParmField::BadgeValidation: return rec.BadgeValidation;
    case ParmField::BadgeFilter: break;
    }
    return rec.BadgeFilter;
}

const QString &parmField(const AppMain::ClockParmRec &rec, ParmField field)
{
    return parmField(const_cast<AppMain::ClockParmRec &>(rec), field);
}

QString ReadPositions(const QString &text, int position, int count)
{
    if (position < 1 || position - 1 + count > text.size())
        return QString();
    return text.mid(position - 1, count);
}

bool WritePositions(QString &text, int position, const QString &chars)
{
    if (position < 1 || position - 1 + chars.size() > text.size())
        return false;
    text.replace(position - 1, chars.size(), chars);
    return true;
}

const std::array<PositionChoice, 19> &positionChoices()
{
    return kChoices;
}

const PositionChoice &positionChoice(const QString &control)
{
    for (const PositionChoice &c : kChoices) {
        if (control == QLatin1String(c.control))
            return c;
    }
    throw Platform::Error(Platform::ErrorNo::ItemNotFound, QStringLiteral("No setting is named %1.").arg(control));
}

QString PadRelayTime(const QString &typed)
{
    return typed.right(4).rightJustified(4, QLatin1Char('0'));
}

BadgeFilterParts SplitBadgeFilter(const QString &filter)
{
    const QString rest = filter.mid(5);
    const qsizetype rs = rest.indexOf(kRS);
    if (rs < 0)
        return {rest, QString()};
    return {rest.left(rs), rest.mid(rs + 1)};
}

QString BuildBadgeFilter(int startPosition, int count)
{
    return QStringLiteral("LPB04") + QString::number(startPosition - 1) + kRS + QString::number(count);
}

AppMain::ClockParmRec BuiltInClockParms(const QString &clockParameters)
{
    // Idle 0000, F1 5000, F2-F5 0000.
    const QString relayTimes[kRelayTimes] = {QStringLiteral("0000"), QStringLiteral("5000"), QStringLiteral("0000"),
                                             QStringLiteral("0000"), QStringLiteral("0000"), QStringLiteral("0000")};
    AppMain::ClockParmRec rec;
    rec.ClockParameters = QStringLiteral("LPB0001063011");
    rec.FunctionKeys = QStringLiteral("LPB021010");
    rec.RelayTimeOut = QStringLiteral("LPB03") + QStringList(std::begin(relayTimes), std::end(relayTimes)).join(kRS);
    rec.BadgeLen = QStringLiteral("LPB051");
    rec.ClockDisplay = QStringLiteral("LPB0601");
    rec.MsgAck = QStringLiteral("LMB0100");
    rec.BadgeValidation = QStringLiteral("LEB011000000000000");
    rec.BadgeFilter = QStringLiteral("LPB040") + kRS + (holds(clockParameters, 6, "6") ? QStringLiteral("6") : QStringLiteral("12"));
    return rec;
}

AppMain::ClockParmRec DefaultClockParms(const AppMain::ClockParmRec &current)
{
    AppMain::ClockParmRec rec = BuiltInClockParms(current.ClockParameters);
    rec.BadgeFilter = current.BadgeFilter;
    rec.RelayTimeOut = QStringLiteral("LPB035000");
    for (int i = 1; i < kRelayTimes; ++i)
        rec.RelayTimeOut += kRS + QStringLiteral("0000");
    return rec;
}

void SaveClockParms(const AppMain::ClockParmRec &copies)
{
    AppMain::ClockParmRec &stored = AppMain::state().ClkParm;
    for (ParmField field : kSaveOrder) {
        const QString &copy = parmField(copies, field);
        QString &current = parmField(stored, field);
        if (copy == current)
            continue;
        AppMain::SaveRegValue(kClockParmsKey, fieldName(field), copy);
        current = copy;
    }
}

SetupCaptions SetupCommandCaptions(const AppMain::ClockParmRec &parm)
{
    const QString &cp = parm.ClockParameters;
    SetupCaptions c;
    c.lblsetclockParm =
        QStringList{
            pick(holds(cp, 6, "6"), "-> Input Badge Length = 6", "-> Input Badge Length = Any"),
            pick(holds(parm.BadgeLen, 6, "0"), "-> Output badge length = 6", "-> Output badge length = 12"),
            pick(holds(cp, 7, "0"), "-> Keyboard input Not allowed", "-> Keyboard input allowed"),
            QStringLiteral("-> Time elapse before badge may be read again = ") + intervalText(ReadPositions(cp, 8, 1)),
            QStringLiteral("-> Prompt display timeout = ") + ReadPositions(cp, 9, 1),
            QStringLiteral("-> Message display time = ") + ReadPositions(cp, 10, 1),
            pick(holds(cp, 11, "1"), "-> European Date Display", "-> American Date Display"),
        }
            .join(kCRLF);

    const BadgeFilterParts filter = SplitBadgeFilter(parm.BadgeFilter);
    c.lblBadgeFilter =
        QStringLiteral("-> Starting from position ") + filter.start + QStringLiteral(" read ") + filter.count +
        QStringLiteral(" characters");

    c.lblBadgeValidation = pick(holds(parm.BadgeValidation, 6, "1"), "-> Validate", "-> Do Not validate");
    c.lblDisplayDateTime = pick(holds(parm.ClockDisplay, 6, "0"), "-> Function Keys = No", "-> Function Keys = Yes") +
                           kCRLF +
                           pick(holds(parm.ClockDisplay, 7, "0"), "-> Idle Prompt = No", "-> Idle Prompt = Yes");

    c.lblSetRelay = QStringLiteral("-> Idle Function = ") + ReadPositions(parm.RelayTimeOut, relayPosition(0), 4) + kCRLF;
    for (int k = 1; k < kRelayTimes; ++k)
        c.lblSetRelay += QStringLiteral("-> F%1 = ").arg(k) + ReadPositions(parm.RelayTimeOut, relayPosition(k), 4) + kCRLF;

    if (holds(parm.MsgAck, 6, "0"))
        c.chkMsgAck = QStringLiteral("Message Acknowledgement -> Disable");
    else if (holds(parm.MsgAck, 7, "0"))
        c.chkMsgAck = QStringLiteral("Message Acknowledgement -> Enable and timeout");
    else
        c.chkMsgAck = QStringLiteral("Message Acknowledgement -> Enable and wait");

    c.lblFuncKeys = pick(holds(parm.FunctionKeys, 6, "0"), "-> Last Punch function disabled",
                         "-> Last Punch function enabled") +
                    kCRLF +
                    pick(holds(parm.FunctionKeys, 8, "0"), "-> Week to date hours worked function disabled",
                         "-> Week to date hours worked function enabled");
    return c;
}

} // namespace ClkSetup
