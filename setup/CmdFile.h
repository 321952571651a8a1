#pragma once

#include "app/AppMain.h"
#include "platform/error.h"
#include "setup/FuncKeys.h"

#include <QByteArray>
#include <QDate>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>
#include <vector>

// The clock command file: what the builder window chose, turned into the
// file's lines. Every record is checked before anything is written, so the
// clocks never get a file that silently lacks part of what was ticked.
namespace CmdFile {

struct Prompt {
    QString PromptNo;   // as stored; written only when it is three digits
    QString Prompt;
};

struct Message {
    QString number;     // as the source holds it; written with three digits
    QString text;
};

// One day row of a schedule, as the source gives it.
struct ScheduleDay {
    QVariant TheDay;
    QVariant StartTime;
    QVariant EndTime;
};

struct Schedule {
    QString number;     // three characters, written as it is
    QString description;
    bool found = false; // the source has the schedule at all
    std::vector<ScheduleDay> days;   // in TheDay order
};

struct FuncKey {
    QString caption;    // "F1".."F4"; its last character is the key digit
    ClkSetup::FuncKeyDef def;
};

struct Employee {
    QString number;
    QString firstName;
    QString lastName;
    QString tag;        // schedule (3), message (3), supervisor level
    QString unfit = {}; // why a stored number cannot take its three places; empty when both can
};

struct Content {
    AppMain::ClockParmRec parm;
    bool setClockParm = false;
    bool badgeFilter = false;
    bool funcKeysParm = false;
    bool setRelay = false;
    bool displayDate = false;
    bool msgAck = false;
    bool badgeValidation = false;
    std::vector<Prompt> prompts;       // in selection order
    bool eraseEmpMsgs = false;
    std::vector<Message> messages;     // in list order
    bool eraseSch = false;
    QDate today;
    std::vector<Schedule> schedules;   // ticked, in tree order
    int grace = 0;                     // minutes; 0 on the text path
    bool funcKeySection = false;       // Kovra-Brix
    std::vector<FuncKey> funcKeys;     // ticked keys, F1 first
    bool eraseEmp = false;
    std::vector<Employee> employees;   // ticked, in tree order
};

// A record that cannot be written as its layout demands.
struct Refusal {
    QString record;
    QString reason;
};

struct Result {
    QStringList lines;                 // without CR LF
    std::vector<Refusal> refused;
};

Result Compose(const Content &content);

// The encoded file: each line in Windows-1252 followed by CR LF.
QByteArray Encode(const QStringList &lines);

// Writes the whole file beside the old one and puts it in place only when
// complete; the old file stays as it was on any failure (Platform::Error).
void WriteFile(const QString &path, const QByteArray &bytes);

// Build's writing step: refused records give the one box (exclamation, OK)
// and nothing is written; a failed write gives the error box. True when the
// file holds `content`.
bool Build(const Content &content, const QString &path);

// The error box of a build that wrote nothing, for the error `e`; the box
// gives `cause` on its own line when there is one.
void ShowNotBuilt(const Platform::Error &e, const QString &cause = QString());

// The one box text naming the refused records (at most 20, then "and N more").
QString RefusalText(const std::vector<Refusal> &refused);
// That box (exclamation, OK): Build's, and any other command file's.
void ShowRefused(const std::vector<Refusal> &refused);

// The builder's check of one record, for every command file the program
// writes: a prompt ("LPC01", its number of three digits, RS, its text of at
// most 40 characters, RS) and a setup string (as stored, its own RS
// separators in it) hold nothing that would add a field or a line.
std::optional<Refusal> CheckPrompt(const QString &promptNo, const QString &prompt);
std::optional<Refusal> CheckSetupString(const QString &name, const QString &value);
QString PromptLine(const QString &promptNo, const QString &prompt);

// Sunday of the week of `day` (on a Sunday, that day).
QDate WeekSunday(const QDate &day);
// Today for LSB01; tests set the day.
QDate Today();
void SetTodayForTests(std::optional<QDate> day);

// Minutes after midnight of a stored time: "HH:MM[:SS]" or "h:MM AM/PM",
// a date part in front ignored; nullopt when it cannot be read.
std::optional<int> MinutesOfDay(const QVariant &value);

// Picture "000" of a number of one to three digits; a longer one whole.
// nullopt when the text is not digits.
std::optional<QString> ThreeDigits(const QString &number);

constexpr int kMaxListed = 20;

} // namespace CmdFile
