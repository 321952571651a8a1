// Hours worked rebuilt from the marked attendance rows: 40 straight hours a week.
#include "posting/HoursWorked.h"
#include "tests/posting/PostingFixture.h"

using namespace KovraDS;

class HoursWorkedTest : public PostingTest {
protected:
    void SetUp() override
    {
        PostingTest::SetUp();
        openProduct();
    }

    // A marked pair of week 11 (Monday 8 March 2004 on).
    static void worked(const QString &emp, int day, const QString &in, const QVariant &hours, const QVariant &minutes)
    {
        db().execute(QStringLiteral("INSERT INTO [Time Attendance] (EmpID, TDate, Week, ClockIn, TotalHrs, TotalMin, "
                                    "Recalculate) VALUES (?, ?, 11, ?, ?, ?, 1)"),
                     {emp, QStringLiteral("2004-03-%1").arg(day, 2, 10, QLatin1Char('0')),
                      in.isEmpty() ? QVariant() : QVariant(in), hours, minutes});
    }

    static void earlier(const QString &emp, int day, double straight, double overtime)
    {
        db().execute(QStringLiteral("INSERT INTO [Hours Worked] (EmpID, TDate, Week, [Straight Hrs], [OT Hrs], [DT Hrs]) "
                                    "VALUES (?, ?, 11, ?, ?, 0)"),
                     {emp, QStringLiteral("2004-03-%1").arg(day, 2, 10, QLatin1Char('0')), straight, overtime});
    }
};

TEST_F(HoursWorkedTest, TheDayPastFortyHoursIsSplitIntoStraightAndOvertime)
{
    earlier(QStringLiteral("A"), 8, 38, 0);  // 38 + 5
    worked(QStringLiteral("A"), 9, QStringLiteral("08:00:00"), 5, 0);
    earlier(QStringLiteral("B"), 8, 40, 2);  // 40 or more already
    worked(QStringLiteral("B"), 9, QStringLiteral("08:00:00"), 3, 30);
    earlier(QStringLiteral("C"), 8, 35, 0);  // exactly 40
    worked(QStringLiteral("C"), 9, QStringLiteral("08:00:00"), 5, 0);
    ASSERT_TRUE(RecalcHoursWorked());
    EXPECT_EQ(hoursWorked(), (QStringList{
                                 QStringLiteral("A 2004-03-08 11 38 0"), QStringLiteral("A 2004-03-09 11 2 3"),
                                 QStringLiteral("B 2004-03-08 11 40 2"), QStringLiteral("B 2004-03-09 11 0 3.5"),
                                 QStringLiteral("C 2004-03-08 11 35 0"), QStringLiteral("C 2004-03-09 11 5 0"),
                             }));
    EXPECT_EQ(rows(QStringLiteral("SELECT COUNT(*) FROM [Time Attendance] WHERE Recalculate <> 0")),
              QStringList{QStringLiteral("0")});
}

TEST_F(HoursWorkedTest, FortyHoursMadeOfOddMinutesHaveNoOvertime)
{
    // 7:00 + 7:00 + 7:00 + 9:05 + 9:55: summed as fractions of hours these miss 40 by a rounding error.
    worked(QStringLiteral("A"), 8, QStringLiteral("08:00:00"), 7, 0);
    worked(QStringLiteral("A"), 9, QStringLiteral("08:00:00"), 7, 0);
    worked(QStringLiteral("A"), 10, QStringLiteral("08:00:00"), 7, 0);
    worked(QStringLiteral("A"), 11, QStringLiteral("08:00:00"), 9, 5);
    worked(QStringLiteral("A"), 12, QStringLiteral("08:00:00"), 9, 55);
    worked(QStringLiteral("A"), 13, QStringLiteral("08:00:00"), 1, 0);
    ASSERT_TRUE(RecalcHoursWorked());
    EXPECT_EQ(rows(QStringLiteral("SELECT ROUND(SUM([Straight Hrs]), 6), SUM([OT Hrs]) FROM [Hours Worked]")),
              QStringList{QStringLiteral("40 1")});
}

TEST_F(HoursWorkedTest, TwoPairsOfADayMakeOneRowAndNullsCountZero)
{
    worked(QStringLiteral("A"), 9, QStringLiteral("08:00:00"), 4, 0);
    worked(QStringLiteral("A"), 9, QStringLiteral("13:00:00"), 3, 30);
    worked(QStringLiteral("N"), 9, QString(), QVariant(), QVariant());  // no clock-in, no totals
    ASSERT_TRUE(RecalcHoursWorked());
    EXPECT_EQ(hoursWorked(), (QStringList{QStringLiteral("A 2004-03-09 11 7.5 0"), QStringLiteral("N 2004-03-09 11 0 0")}));
}

TEST_F(HoursWorkedTest, AFailureMidRunLeavesHoursWorkedAndTheMarksAsTheyWere)
{
    earlier(QStringLiteral("A"), 9, 99, 0);  // stale: would be deleted and rebuilt
    worked(QStringLiteral("A"), 9, QStringLiteral("08:00:00"), 8, 0);
    worked(QStringLiteral("Z"), 9, QStringLiteral("08:00:00"), 8, 0);
    db().execute(QStringLiteral("CREATE TRIGGER fail BEFORE INSERT ON [Hours Worked] WHEN NEW.EmpID = 'Z' "
                                "BEGIN SELECT RAISE(ABORT, 'disk trouble'); END"));
    std::optional<Platform::Error> failure;
    EXPECT_FALSE(RecalcHoursWorked(&failure));
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(hoursWorked(), QStringList{QStringLiteral("A 2004-03-09 11 99 0")});
    EXPECT_EQ(rows(QStringLiteral("SELECT COUNT(*) FROM [Time Attendance] WHERE Recalculate <> 0")),
              QStringList{QStringLiteral("2")});
}

TEST_F(HoursWorkedTest, EachWeekOfABadgeInAnyCaseIsRebuiltOnItsOwnAndADayWithoutAWeekToo)
{
    earlier(QStringLiteral("a"), 8, 38, 0);
    earlier(QStringLiteral("A"), 10, 99, 0);  // stale: its day is marked again
    worked(QStringLiteral("A"), 10, QStringLiteral("08:00:00"), 5, 0);
    worked(QStringLiteral("a"), 11, QStringLiteral("08:00:00"), 4, 0);
    store(QStringLiteral("Time Attendance"), QStringLiteral("EmpID,TDate,Week,ClockIn,TotalHrs,TotalMin,Recalculate"),
          {QStringLiteral("a,2004-03-15,12,08:00:00,5,0,1"), QStringLiteral("N,2004-03-09,-,08:00:00,3,0,1")});
    ASSERT_TRUE(RecalcHoursWorked());
    EXPECT_EQ(hoursWorked(), (QStringList{
                                 QStringLiteral("a 2004-03-08 11 38 0"), QStringLiteral("A 2004-03-10 11 2 3"),
                                 QStringLiteral("a 2004-03-11 11 0 4"), QStringLiteral("a 2004-03-15 12 5 0"),
                                 QStringLiteral("N 2004-03-09 - 3 0"),
                             }));
    EXPECT_EQ(rows(QStringLiteral("SELECT COUNT(*) FROM [Time Attendance] WHERE Recalculate <> 0")),
              QStringList{QStringLiteral("0")});
}
