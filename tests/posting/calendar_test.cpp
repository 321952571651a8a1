// Pay weeks, rounding and the company settings loaders.
#include "platform/error.h"
#include "platform/ui.h"
#include "platform/winreg.h"
#include "posting/Sorb01.h"
#include "tests/posting/PostingFixture.h"

using namespace KovraDS;

using CalendarTest = PostingTest;

TEST_F(CalendarTest, RoundMinutesTiesToEvenAndUnitZeroKeepsMinutes)
{
    const struct {
        int unit;
        long in, out;
    } cases[] = {{5, 7, 5}, {5, 8, 10}, {5, 0, 0}, {5, -7, -5}, {10, 15, 20}, {10, 25, 20}, {10, 35, 40},
                 {0, 123456, 123456}, {1, 32767, 32767}};
    for (const auto &c : cases) {
        company().RoundTotal = c.unit;
        EXPECT_EQ(RoundMinutes(c.in), c.out) << c.unit << " " << c.in;
    }
    company().RoundTotal = 5;
    EXPECT_THROW(RoundMinutes(200000), Platform::Error);
    EXPECT_EQ(ElapsedMinutes(QDate(2004, 3, 9), QTime(22, 0), QDate(2004, 3, 10), QTime(6, 12)), 490);
    EXPECT_EQ(MinutesToHours(-61), -1);
    EXPECT_EQ(MinutesRemainder(-61), -1);
    EXPECT_EQ(MinutesRemainder(125), 5);
}

TEST_F(CalendarTest, WeekStartsOnEachWorkDayAndOnSundayBeforeAnyLoader)
{
    const QDate tuesday(2004, 3, 9);
    const int expectedDay[] = {7, 8, 9, 3, 4, 5, 6};  // March 2004, WorkDay 1 (Sunday) .. 7 (Saturday)
    for (int workDay = 1; workDay <= 7; ++workDay) {
        SetWorkDay(workDay);
        EXPECT_EQ(GetWeekStart(tuesday), QDate(2004, 3, expectedDay[workDay - 1])) << workDay;
    }
    company().WorkDay = 0;
    EXPECT_EQ(GetWeekStart(tuesday), QDate(2004, 3, 7));
    SetWorkDay(9);
    EXPECT_EQ(company().WorkDay, 2);
}

TEST_F(CalendarTest, WeekEndAndNumberFollowTheDayStart)
{
    EXPECT_EQ(GetWeekNumber(QDate(2004, 3, 9)), 11);
    EXPECT_EQ(GetWeekEnd(QDate(2004, 3, 9), QTime(8, 0)), QDate(2004, 3, 15));
    EXPECT_EQ(GetWeekNumber(QDate(2003, 12, 31)), 1);  // the week holding 1 January

    setCompany(2, QTime(6, 0), 5);
    const QDate monday(2004, 3, 8);
    EXPECT_EQ(GetWeekEnd(monday, QTime(5, 0)), monday);  // the week before ends that morning
    EXPECT_EQ(GetWeekNumber(monday, QTime(5, 0)), 10);
    EXPECT_EQ(GetWeekNumber(monday, QTime(6, 0)), 11);
    EXPECT_EQ(GetWeekNumber(QDate(2003, 12, 29), QTime(5, 0)), 52);  // the night of 28 December, not a week 0

    SetDayStartTime(QTime(0, 30, 40));
    EXPECT_EQ(company().DayStartTime, QTime(0, 30));
    EXPECT_EQ(company().DayStartHour, 0);
    EXPECT_TRUE(BeforeDayStart(QTime(0, 10)));
    EXPECT_FALSE(BeforeDayStart(QTime()));
}

TEST_F(CalendarTest, DayStartTakesTheFormsProductsStore)
{
    const struct {
        const char *text;
        QTime time;
    } good[] = {{"7:30", QTime(7, 30)}, {"07:30:45", QTime(7, 30)}, {"7:30 PM", QTime(19, 30)},
                {"12:00 AM", QTime(0, 0)}, {"12:15pm", QTime(12, 15)}, {"00:00", QTime(0, 0)},
                {"1899-12-30 06:00:00", QTime(6, 0)}};
    for (const auto &c : good)
        EXPECT_EQ(ParseDayStart(QString::fromLatin1(c.text)), c.time) << c.text;
    for (const char *bad : {"25:00", "7", "abc", "13:00 PM", "", "1899-13-30 06:00"})
        EXPECT_THROW(ParseDayStart(QString::fromLatin1(bad)), Platform::Error) << bad;
}

TEST_F(CalendarTest, VeskSettingsComeFromTheMachineSettingsWithTheirDefaults)
{
    const QString key = QStringLiteral("Software\\Velmor\\KOVRA VESK\\2.6.4\\Company Settings");
    LoadVeskCompanySettings();
    EXPECT_EQ(company().WorkDay, 2);
    EXPECT_EQ(company().DayStartTime, QTime(0, 0));
    EXPECT_EQ(company().GracePeriod, 0);
    EXPECT_EQ(company().RoundTotal, 5);

    Platform::WinReg::setValue(key, QStringLiteral("DayStartTime"), QStringLiteral("6:00 AM"));
    Platform::WinReg::setValue(key, QStringLiteral("RoundTotal"), QStringLiteral("not a number at all 99999999"));
    Platform::WinReg::setValue(key, QStringLiteral("WorkDay"), QStringLiteral("8"));
    company().RoundTotal = 15;
    LoadVeskCompanySettings();
    EXPECT_EQ(company().DayStartTime, QTime(6, 0));
    EXPECT_EQ(company().RoundTotal, 0);  // a text without a leading number is 0
    EXPECT_EQ(company().WorkDay, 2);
}

TEST_F(CalendarTest, ProductRegistryLoadersReportOrSkipABadValue)
{
    openProduct(ProductDb::Product::Brix);
    db().execute(QStringLiteral("INSERT INTO Registry VALUES ('Company', 'WorkDay', '3'), "
                                "('Company', 'DayStartTime', 'noon'), ('Company', 'RoundTotal', '10')"));
    company().GracePeriod = 7;
    Sorb01::LoadSorbSettings();  // the bad time is skipped, the rest read
    EXPECT_EQ(company().WorkDay, 3);
    EXPECT_EQ(company().DayStartTime, QTime(0, 0));
    EXPECT_EQ(company().GracePeriod, 15);
    EXPECT_EQ(company().RoundTotal, 10);
    EXPECT_TRUE(Platform::Ui::shown().empty());

    company().RoundTotal = 5;
    Platform::Ui::queueAnswer(Platform::Ui::Answer::Ok);
    LoadTargetCompanySettings();  // stops at the bad time and says so
    ASSERT_EQ(Platform::Ui::shown().size(), 2u);  // the beep and the box
    EXPECT_EQ(Platform::Ui::shown()[1].title, QStringLiteral("Kovra Error#: 13"));
    EXPECT_EQ(company().RoundTotal, 5);
}
