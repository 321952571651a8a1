#include "SetupFixture.h"

#include "setup/CmdFile.h"
#include "setup/FuncKeys.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <functional>

namespace {

// Lines written with '|' for RS, joined with CR LF: the bytes the clock gets.
QByteArray golden(const QStringList &lines)
{
    QByteArray bytes;
    for (QString line : lines)
        bytes += line.replace(QLatin1Char('|'), QChar(0x1E)).toLatin1() + "\r\n";
    return bytes;
}

CmdFile::Content minimal()
{
    CmdFile::Content c;
    c.parm = {QStringLiteral("LPB0001063011"), QStringLiteral("LPB021010"),
              QStringLiteral("LPB030000\x1e" "5000\x1e" "0000\x1e" "0000\x1e" "0000\x1e" "0000"),
              QStringLiteral("LPB050"), QStringLiteral("LPB0601"), QStringLiteral("LMB0100"),
              QStringLiteral("LEB011000000000000"), QStringLiteral("LPB040\x1e" "12")};
    c.today = QDate(2025, 3, 12);   // a Wednesday: LSB01 250309
    return c;
}

const QStringList kHead{QStringLiteral("O00|"), QStringLiteral("D00 Downloading...|")};
const QStringList kTail{QStringLiteral("D00 Download Complete!!|003|"), QStringLiteral("O10|")};

QStringList cmdLines(const QStringList &setup, const QString &lsb, const QStringList &after = {})
{
    return kHead + setup + QStringList{QStringLiteral("LSB01%1|").arg(lsb)} + after + kTail;
}

CmdFile::ScheduleDay day(int d, const char *from, const char *to)
{
    return {d, QString::fromLatin1(from), QString::fromLatin1(to)};
}

struct Golden {
    const char *name;
    std::function<void(CmdFile::Content &)> set;
    QStringList expected;
};

const std::vector<Golden> &goldenCases()
{
    static const std::vector<Golden> cases = {
        {"NothingTickedGivesTheFiveLines", [](CmdFile::Content &) {}, cmdLines({}, "250309")},
        {"BuiltOnASundayNamesThatSunday", [](CmdFile::Content &c) { c.today = QDate(2025, 3, 9); },
         cmdLines({}, "250309")},
        {"BuiltOnASaturdayNamesSixDaysEarlier", [](CmdFile::Content &c) { c.today = QDate(2025, 3, 15); },
         cmdLines({}, "250309")},
        {"NewYearsDayBelongsToTheOldYearsSunday", [](CmdFile::Content &c) { c.today = QDate(2025, 1, 1); },
         cmdLines({}, "241229")},
        {"ClockParametersAloneWritesTwoLinesInOrder", [](CmdFile::Content &c) { c.setClockParm = true; },
         cmdLines({"LPB0001063011|", "LPB050|"}, "250309")},
        {"BadgeFilterAlone", [](CmdFile::Content &c) { c.badgeFilter = true; }, cmdLines({"LPB040|12|"}, "250309")},
        {"FunctionKeysAlone", [](CmdFile::Content &c) { c.funcKeysParm = true; }, cmdLines({"LPB021010|"}, "250309")},
        {"RelayAloneKeepsItsInnerSeparators", [](CmdFile::Content &c) { c.setRelay = true; },
         cmdLines({"LPB030000|5000|0000|0000|0000|0000|"}, "250309")},
        {"DisplayAlone", [](CmdFile::Content &c) { c.displayDate = true; }, cmdLines({"LPB0601|"}, "250309")},
        {"AcknowledgementAlone", [](CmdFile::Content &c) { c.msgAck = true; }, cmdLines({"LMB0100|"}, "250309")},
        {"ValidationAlone", [](CmdFile::Content &c) { c.badgeValidation = true; },
         cmdLines({"LEB011000000000000|"}, "250309")},
        {"AllSetupBoxesInTheClocksOrder",
         [](CmdFile::Content &c) {
             c.setClockParm = c.badgeFilter = c.funcKeysParm = c.setRelay = c.displayDate = c.msgAck =
                 c.badgeValidation = true;
         },
         cmdLines({"LPB0001063011|", "LPB050|", "LPB040|12|", "LPB021010|", "LPB030000|5000|0000|0000|0000|0000|",
               "LPB0601|", "LMB0100|", "LEB011000000000000|"},
              "250309")},
        {"PromptsInSelectionOrderNotNumberOrder",
         [](CmdFile::Content &c) {
             c.prompts = {{QStringLiteral("007"), QStringLiteral("Seven")}, {QStringLiteral("002"), QString()}};
         },
         cmdLines({"LPC01007|Seven|", "LPC01002||"}, "250309")},
        {"MessagesAsNumbersEraseFirst",
         [](CmdFile::Content &c) {
             c.eraseEmpMsgs = true;
             c.messages = {{QStringLiteral("5"), QStringLiteral("Hi there")},
                           {QStringLiteral("0005"), QStringLiteral("Again")},
                           {QStringLiteral("1234"), QStringLiteral("Long")},
                           {QStringLiteral("010"), QString()}};
         },
         cmdLines({"LME01|", "LMC01005|Hi there|", "LMC01005|Again|", "LMC011234|Long|", "LMC01010||"}, "250309")},
        {"EmployeeExampleSixDigitBadge",
         [](CmdFile::Content &c) {
             c.eraseEmp = true;
             c.employees = {{QStringLiteral("42"), QStringLiteral("Ann"), QStringLiteral("Lee"),
                             QStringLiteral("0010021")}};
         },
         cmdLines({}, "250309", {"LEE01|", "LEC01000042         Ann00100210000|"})},
        {"BadgeWithZerosInFrontFitsItsField", [](CmdFile::Content &c) { c.employees = {{"0000042", "Ann", "Lee", "0010021"}}; },
         cmdLines({}, "250309", {"LEC01000042         Ann00100210000|"})},
        {"EmployeeExampleTwelveDigitBadge",
         [](CmdFile::Content &c) {
             c.parm.BadgeLen = QStringLiteral("LPB051");
             c.employees = {{QStringLiteral("42"), QStringLiteral("Ann"), QStringLiteral("Lee"),
                             QStringLiteral("0010021")}};
         },
         cmdLines({}, "250309", {"LEC01000000000042         Ann00100210000|"})},
        {"EmptyTwoWordAndLongFirstNames",
         [](CmdFile::Content &c) {
             c.employees = {{QStringLiteral("1"), QString(), QStringLiteral("Roe"), QStringLiteral("000000")},
                            {QStringLiteral("2"), QStringLiteral("Mary Ann"), QStringLiteral("Lee"),
                             QStringLiteral("0010023")},
                            {QStringLiteral(" 3 "), QStringLiteral("Bartholomewss"), QString(),
                             QStringLiteral("002000")}};
         },
         cmdLines({}, "250309",
              {"LEC01000001            0000000000|", "LEC01000002        Mary00100230000|",
               "LEC01000003Bartholomews0020000000|"})},
        {"ScheduleWorkedValuesWithGrace",
         [](CmdFile::Content &c) {
             c.eraseSch = true;
             c.grace = 15;
             c.schedules = {{QStringLiteral("001"), QString(), true,
                             {day(1, "00:05", "08:00"), day(2, "08:00", "17:00"), day(7, "10:00 PM", "6:00 AM")}}};
         },
         {"O00|", "D00 Downloading...|", "LSE01|", "LSB01250309|", "LSC01001 0000000495|",
          "LSC01001 0190502475|", "LSC01001 0994510455|", "D00 Download Complete!!|003|", "O10|"}},
        {"ScheduleWorkedValuesWithoutGraceAndADatePart",
         [](CmdFile::Content &c) {
             c.schedules = {{QStringLiteral("001"), QString(), true,
                             {day(2, "1899-12-30 08:00:00", "08:00"), day(6, "22:00", "06:00:00"),
                              day(7, "22:00", "06:00")}},
                            {QStringLiteral("009"), QString(), false, {}}};
         },
         cmdLines({}, "250309", {"LSC01001 0192003360|", "LSC01001 0852009000|", "LSC01001 0996010440|"})},
        {"FunctionKeyWithoutFieldRowsAndOneUnmapped",
         [](CmdFile::Content &c) {
             c.funcKeySection = true;
             c.funcKeys = {{QStringLiteral("F2"), {true, QStringLiteral("Lunch"), {}}},
                           {QStringLiteral("F4"), {false, QString(), {}}}};
         },
         cmdLines({}, "250309", {"LFE02|", "LFB02Lunch 00000000|", "LFE04|"})},
        {"FunctionKeysOutsideKovraBrixWriteNothing",
         [](CmdFile::Content &c) { c.funcKeys = {{QStringLiteral("F2"), {true, QStringLiteral("Lunch"), {}}}}; },
         cmdLines({}, "250309")},
        {"LongFieldSpecificationKeptWhole",
         [](CmdFile::Content &c) {
             c.funcKeySection = true;
             ClkSetup::FuncKeyField f{QStringLiteral("031"), QStringLiteral("P"), QStringLiteral(":"),
                                      QStringLiteral("2"), QString()};
             c.funcKeys = {{QStringLiteral("F3"), {true, QStringLiteral("ABCDEFGH"), {f, f, f, f, f}}}};
         },
         cmdLines({}, "250309",
              {"LFE03|", "LPC01031|P|", "LPC01031|P|", "LPC01031|P|", "LPC01031|P|", "LPC01031|P|",
               "LFB03ABCDEF:2:2:2:2:2|"})},
    };
    return cases;
}

class CmdFileGolden : public ::testing::TestWithParam<std::size_t> {};

TEST_P(CmdFileGolden, WritesTheExpectedBytes)
{
    const Golden &g = goldenCases()[GetParam()];
    CmdFile::Content c = minimal();
    g.set(c);
    const CmdFile::Result r = CmdFile::Compose(c);
    ASSERT_TRUE(r.refused.empty()) << r.refused.front().record.toStdString() << ": "
                                   << r.refused.front().reason.toStdString();
    EXPECT_EQ(CmdFile::Encode(r.lines), golden(g.expected)) << g.name;
}

INSTANTIATE_TEST_SUITE_P(Table, CmdFileGolden, ::testing::Range<std::size_t>(0, goldenCases().size()),
                         [](const auto &info) { return std::string(goldenCases()[info.param].name); });

// Each record the layout cannot carry, and the line the box gives for it.
struct Refused {
    std::string name;
    std::function<void(CmdFile::Content &)> set;
    std::string listed;
};

// RS, GS, US, CR and LF inside each text a record carries: only the record's
// own separators may stand between its fields.
void addControlCharacterCases(std::vector<Refused> &cases)
{
    using Put = std::function<void(CmdFile::Content &, const QString &)>;
    const struct {
        const char *name, *record;
        Put put;
    } fields[] = {
        {"Prompt", "Clock prompt 005", [](auto &c, const QString &t) { c.prompts = {{QStringLiteral("005"), t}}; }},
        {"Message", "Message 5", [](auto &c, const QString &t) { c.messages = {{QStringLiteral("5"), t}}; }},
        {"FirstName", "Employee 42 (%1 Lee)", [](auto &c, const QString &t) { c.employees = {{"42", t, "Lee", "0010021"}}; }},
        {"SupervisorLevel", "Employee 42 (Ann Lee)",
         [](auto &c, const QString &t) { c.employees = {{"42", "Ann", "Lee", QStringLiteral("001002") + t}}; }},
    };
    for (const auto &[name, code] : {std::pair{"RS", 0x1E}, {"GS", 0x1D}, {"US", 0x1F}, {"CR", 0x0D}, {"LF", 0x0A}}) {
        const QString text = QStringLiteral("Ann") + QChar(code) + QLatin1Char('x');
        const QString hex = QStringLiteral("%1").arg(code, 4, 16, QLatin1Char('0')).toUpper();
        for (const auto &f : fields) {
            const QString record = QString::fromLatin1(f.record).replace(QStringLiteral("%1"), text);
            cases.push_back({std::string(name) + "In" + f.name, [put = f.put, text](auto &c) { put(c, text); },
                             (record + QStringLiteral(": The text cannot be written: it holds the control character U+")
                              + hex + QLatin1Char('.')).toStdString()});
        }
    }
}

const std::vector<Refused> &refusedCases()
{
    auto emp = [](const char *number, const char *first, const char *tag) {
        return CmdFile::Employee{QString::fromUtf8(number), QString::fromUtf8(first), QStringLiteral("Lee"),
                                 QString::fromUtf8(tag)};
    };
    static const std::vector<Refused> cases = [&] {
        std::vector<Refused> table = {
        {"BadgeLongerThanItsField", [=](CmdFile::Content &c) { c.employees = {emp("1234567", "Ann", "0010021")}; },
         "Employee 1234567 (Ann Lee): the badge is not 1 to 6 digits"},
        {"BadgeNotDigits", [=](CmdFile::Content &c) { c.employees = {emp("A42", "Ann", "0010021")}; },
         "Employee A42 (Ann Lee): the badge is not 1 to 6 digits"},
        {"EmptyBadge", [=](CmdFile::Content &c) { c.employees = {emp("", "Ann", "0010021")}; },
         "Employee  (Ann Lee): the badge is not 1 to 6 digits"},
        {"TagNumberOfTwoDigits", [=](CmdFile::Content &c) { c.employees = {emp("42", "Ann", "01002")}; },
         "Employee 42 (Ann Lee): its schedule or message number is not three digits"},
        {"EmployeeNameTheClockCannotShow", [=](CmdFile::Content &c) { c.employees = {emp("42", "Жанна", "0010021")}; },
         "Employee 42 (Жанна Lee): The text cannot be written: the character \"Ж\" (U+0416) has no place in the "
         "clock's character set."},
        {"EmployeeLevelWithATab", [=](CmdFile::Content &c) { c.employees = {emp("42", "Ann", "001002\t")}; },
         "Employee 42 (Ann Lee): The text cannot be written: it holds the control character U+0009."},
        {"MessageNumberNotDigits",
         [](CmdFile::Content &c) { c.messages = {{QStringLiteral("5a"), QStringLiteral("x")}}; },
         "Message 5a: its number is not digits"},
        {"MessageWithALineBreak",
         [](CmdFile::Content &c) { c.messages = {{QStringLiteral("5"), QStringLiteral("a\nb")}}; },
         "Message 5: The text cannot be written: it holds the control character U+000A."},
        {"PromptOverFortyCharacters",
         [](CmdFile::Content &c) { c.prompts = {{QStringLiteral("005"), QString(41, QLatin1Char('x'))}}; },
         "Clock prompt 005: the prompt is longer than 40 characters"},
        {"PromptWithAnEuroSignIsFineButNotAKanji",
         [](CmdFile::Content &c) {
             c.prompts = {{QStringLiteral("005"), QStringLiteral("€5")}, {QStringLiteral("006"), QStringLiteral("漢")}};
         },
         "Clock prompt 006: The text cannot be written: the character \"漢\" (U+6F22) has no place in the clock's "
         "character set."},
        {"DayOutsideTheWeek",
         [](CmdFile::Content &c) { c.schedules = {{QStringLiteral("001"), QString(), true, {day(8, "08:00", "09:00")}}}; },
         "Schedule 001: day \"8\" is not a day from 1 to 7"},
        {"UnreadableTime",
         [](CmdFile::Content &c) { c.schedules = {{QStringLiteral("001"), QString(), true, {day(2, "8 o'clock", "09:00")}}}; },
         "Schedule 001: day 2 has a time that cannot be read"},
        {"EmptyTime",
         [](CmdFile::Content &c) {
             c.schedules = {{QStringLiteral("001"), QString(), true, {{2, QVariant(), QStringLiteral("09:00")}}}};
         },
         "Schedule 001: day 2 has a time that cannot be read"},
        {"ScheduleWithoutDayRows",
         [](CmdFile::Content &c) { c.schedules = {{QStringLiteral("004"), QString(), true, {}}}; },
         "Schedule 004: it has no day rows"},
        {"FunctionKeyPromptWithAControlCharacter",
         [](CmdFile::Content &c) {
             c.funcKeySection = true;
             c.funcKeys = {{QStringLiteral("F1"),
                            {true, QStringLiteral("WO"),
                             {{QStringLiteral("031"), QStringLiteral("a\x01"), QStringLiteral("6"), QStringLiteral("0"),
                               QString()}}}}};
         },
         "Function key F1: The text cannot be written: it holds the control character U+0001."},
        {"SetupStringThatCannotBeEncoded",
         [](CmdFile::Content &c) {
             c.msgAck = true;
             c.parm.MsgAck = QStringLiteral("LMB01Ω");
         },
         "Setup string MsgAck: it holds a character the clock's character set lacks"},
        {"SetupStringWithALineBreak", [](CmdFile::Content &c) { c.displayDate = true; c.parm.ClockDisplay = "LPB06\n1"; },
         "Setup string ClockDisplay: The text cannot be written: it holds the control character U+000A."},
        {"BadgeWithAZeroInFrontStillTooLong", [=](CmdFile::Content &c) { c.employees = {emp("01234567", "Ann", "0010021")}; },
         "Employee 01234567 (Ann Lee): the badge is not 1 to 6 digits"},
        {"ScheduleNumberNotDigits", [](CmdFile::Content &c) { c.schedules = {{"AB1", QString(), true, {day(2, "08:00", "09:00")}}}; },
         "Schedule AB1: its number is not three digits"},
        {"GraceBelowZeroPutsTheStartAfterTheEnd", [](CmdFile::Content &c) {
             c.grace = -20;   // day 2 narrows to ten minutes, day 3 past nothing
             c.schedules = {{"001", QString(), true, {day(2, "08:00", "08:50"), day(3, "08:00", "08:30")}}};
         },
         "Schedule 001: day 3 starts after it ends with a grace of -20 minutes"},
        };
        addControlCharacterCases(table);
        // A prompt number goes into LPC01 as stored: three digits or nothing, in both sections.
        for (const char *no : {"5", "0005", ""}) {
            const std::string why = "its prompt number \"" + std::string(no) + "\" is not three digits";
            const std::string name = *no ? no : "Empty";
            table.push_back({"ClockPromptNumber" + name, [no](CmdFile::Content &c) { c.prompts = {{no, "Hi"}}; },
                             "Clock prompt " + std::string(no) + ": " + why});
            table.push_back({"FunctionKeyPromptNumber" + name, [no](CmdFile::Content &c) {
                                 c.funcKeySection = true;
                                 c.funcKeys = {{"F1", {true, "WO", {{no, "Job", "6", "0", {}}}}}};
                             }, "Function key F1: " + why});
        }
        return table;
    }();
    return cases;
}

class CmdFileRefused : public TevHome, public ::testing::WithParamInterface<std::size_t> {};

TEST_P(CmdFileRefused, ListsTheRecordAndLeavesThePreviousFileByteIdentical)
{
    const Refused &rc = refusedCases()[GetParam()];
    const QString path = file(QStringLiteral("Data/TEVCMD.DLD"));
    writeFile(QStringLiteral("Data/TEVCMD.DLD"), QByteArray("previous\r\nfile\x1e\r\n"));

    CmdFile::Content c = minimal();
    rc.set(c);
    answerOk();
    EXPECT_FALSE(CmdFile::Build(c, path));

    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("previous\r\nfile\x1e\r\n"));
    ASSERT_EQ(Platform::Ui::shown().size(), 1u);
    const Platform::Ui::Shown &box = Platform::Ui::shown().front();
    EXPECT_EQ(box.style, Platform::Ui::Style::OkOnly | Platform::Ui::Style::Exclamation);
    EXPECT_EQ(box.text, QStringLiteral("These records cannot be written to the command file:\n") + QString::fromStdString(rc.listed));
}

INSTANTIATE_TEST_SUITE_P(Table, CmdFileRefused, ::testing::Range<std::size_t>(0, refusedCases().size()),
                         [](const auto &info) { return refusedCases()[info.param].name; });

TEST(CmdFileBox, ListsTwentyRecordsThenHowManyMore)
{
    std::vector<CmdFile::Refusal> refused;
    for (int i = 0; i < 23; ++i)
        refused.push_back({QStringLiteral("Schedule %1").arg(i), QStringLiteral("why")});
    const QStringList lines = CmdFile::RefusalText(refused).split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 22);
    EXPECT_EQ(lines[20], QStringLiteral("Schedule 19: why"));
    EXPECT_EQ(lines[21], QStringLiteral("and 3 more"));
}

TEST(CmdFileBox, EveryBadScheduleIsListedNotOnlyTheFirst)
{
    CmdFile::Content c = minimal();
    c.schedules = {{QStringLiteral("001"), QString(), true, {}},
                   {QStringLiteral("002"), QString(), true, {day(2, "08:00", "17:00")}},
                   {QStringLiteral("003"), QString(), true, {day(9, "08:00", "17:00")}}};
    const CmdFile::Result r = CmdFile::Compose(c);
    ASSERT_EQ(r.refused.size(), 2u);
    EXPECT_EQ(r.refused[0].record, QStringLiteral("Schedule 001"));
    EXPECT_EQ(r.refused[1].record, QStringLiteral("Schedule 003"));
}

class CmdFileWrite : public TevHome {};

TEST_F(CmdFileWrite, ReplacesTheWholeFileAndMakesTheDataFolder)
{
    const QString path = file(QStringLiteral("Data/TEVCMD.DLD"));
    QDir(home()).rmdir(QStringLiteral("Data"));
    CmdFile::WriteFile(path, QByteArray(2000, 'x'));
    ASSERT_TRUE(CmdFile::Build(minimal(), path));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), golden(cmdLines({}, "250309")));
}

TEST_F(CmdFileWrite, AFailedWriteShowsTheBuildErrorAndReportsNoSuccess)
{
    // A folder in the file's place cannot be replaced by the finished file.
    const QString path = file(QStringLiteral("Data/TEVCMD.DLD"));
    ASSERT_TRUE(QDir().mkpath(path));
    answerOk();
    EXPECT_FALSE(CmdFile::Build(minimal(), path));
    ASSERT_FALSE(Platform::Ui::shown().empty());
    EXPECT_EQ(Platform::Ui::shown().back().text,
              QStringLiteral("Clock commands file \"TEVCMD.DLD\" was not built successfully!"));
    EXPECT_TRUE(QFileInfo(path).isDir());
}

TEST(CmdFileTimes, ReadsTheStoredForms)
{
    EXPECT_EQ(CmdFile::MinutesOfDay(QStringLiteral("12:00 AM")), 0);
    EXPECT_EQ(CmdFile::MinutesOfDay(QStringLiteral("12:30 pm")), 750);
    EXPECT_EQ(CmdFile::MinutesOfDay(QStringLiteral("7:05:59")), 425);
    EXPECT_EQ(CmdFile::MinutesOfDay(QStringLiteral("12/30/1899 6:00 PM")), 1080);
    EXPECT_EQ(CmdFile::MinutesOfDay(QTime(23, 59)), 1439);
    EXPECT_EQ(CmdFile::MinutesOfDay(QStringLiteral("24:00")), std::nullopt);
    EXPECT_EQ(CmdFile::MinutesOfDay(QStringLiteral("13:00 PM")), std::nullopt);
    EXPECT_EQ(CmdFile::MinutesOfDay(QStringLiteral("08:60")), std::nullopt);
    EXPECT_EQ(CmdFile::MinutesOfDay(QStringLiteral("x08:00")), std::nullopt);
}

class CmdFileShipped : public SetupTest {};

TEST_F(CmdFileShipped, ShippedF1WritesItsPromptsAndFieldSpecification)
{
    Platform::Database::Statement q = ClkSetup::FuncNumQuery(db());
    CmdFile::Content c = minimal();
    c.funcKeySection = true;
    c.funcKeys = {{QStringLiteral("F1"), ClkSetup::ReadFuncKey(q, QStringLiteral("F1"))}};
    const CmdFile::Result r = CmdFile::Compose(c);
    ASSERT_TRUE(r.refused.empty());
    const QStringList lines = r.lines.mid(3, 5);
    EXPECT_EQ(CmdFile::Encode(lines), golden({"LFE01|", "LPC01030|Enter Work Order#|", "LPC01031|Enter Part#|",
                                              "LPC01032|Enter Job Code|", "LFB01WO/P/J:0:06000|"}));
}

} // namespace
