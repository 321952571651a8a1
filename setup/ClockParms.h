#pragma once

#include "app/AppMain.h"

#include <QChar>
#include <QString>

#include <array>
#include <optional>

// The eight clock setup strings: the characters each setting occupies, the
// badge filter's two numbers, Default, Save and the plain-word captions the
// command-file builder shows. No widgets here.
namespace ClkSetup {

inline constexpr QChar kRS = QChar(0x1E);

enum class ParmField {
    ClockParameters,
    FunctionKeys,
    RelayTimeOut,
    BadgeLen,
    ClockDisplay,
    MsgAck,
    BadgeValidation,
    BadgeFilter,
};

QString &parmField(AppMain::ClockParmRec &rec, ParmField field);
const QString &parmField(const AppMain::ClockParmRec &rec, ParmField field);

// The characters at `position` (counted from 1, the first after the command
// code is 6); empty when the string ends before the last of them.
QString ReadPositions(const QString &text, int position, int count);
// Replaces the characters at `position` with `chars`. A string that ends
// before the last of them is left as it is: no string ever changes length.
bool WritePositions(QString &text, int position, const QString &chars);

// One choice of an option control: the characters it writes at its position.
struct PositionChoice {
    const char *control;   // objectName
    ParmField field;
    int position;
    const char *value;
};
const std::array<PositionChoice, 19> &positionChoices();
const PositionChoice &positionChoice(const QString &control);

// Relay time i (0 idle, 1-5 F1-F5) sits at 6 + 5i, four characters.
constexpr int kRelayTimes = 6;
constexpr int relayPosition(int i) { return 6 + 5 * i; }
// A typed relay time as the clock takes it: four digits, zero-padded on the left.
QString PadRelayTime(const QString &typed);

// The badge filter: start offset S (0-based) and character count N.
struct BadgeFilterParts {
    QString start;   // the digits as stored
    QString count;
};
BadgeFilterParts SplitBadgeFilter(const QString &filter);
// "LPB04", the starting position - 1, RS, the count.
QString BuildBadgeFilter(int startPosition, int count);

// The built-in strings, which the settings' loader takes for a string not
// stored. The badge filter counts 6 characters when character 6 of
// `clockParameters` is "6" (badges of six), else 12.
AppMain::ClockParmRec BuiltInClockParms(const QString &clockParameters);
// What Default sets: the built-in strings but for the relay times (idle 5000,
// the keys 0000); the badge filter stays as it is.
AppMain::ClockParmRec DefaultClockParms(const AppMain::ClockParmRec &current);

// Stores each working copy that differs from ClkParm, in the order the
// clock reads them, updating ClkParm field by field. A refused write throws:
// the strings stored before it stay stored, that one and the later ones keep
// their old values.
void SaveClockParms(const AppMain::ClockParmRec &copies);

// The builder's captions of the setup strings.
struct SetupCaptions {
    QString lblsetclockParm;
    QString lblBadgeFilter;
    QString lblBadgeValidation;
    QString lblDisplayDateTime;
    QString lblSetRelay;
    QString chkMsgAck;
    QString lblFuncKeys;
};
SetupCaptions SetupCommandCaptions(const AppMain::ClockParmRec &parm);

} // namespace ClkSetup
