// The checks and single-punch postings of a continuous poll on the access-control product.
#include "app/frmMDI.h"
#include "posting/Sorb01.h"
#include "tests/posting/PostingFixture.h"

using namespace KovraDS;

class RealTimeTest : public PostingTest {
protected:
    void SetUp() override
    {
        PostingTest::SetUp();
        openProduct(ProductDb::Product::Sorb);
    }

    // Starts the checks; the product's defaults then hold (grace 15, day start 00:00).
    void start(bool members = false) { ASSERT_TRUE(Sorb01::StartRealTimeChecks(members)); }

    static QStringList table()
    {
        return rows(QStringLiteral("SELECT EmpID, TDate, Week, ClockIn, DateOut, ClockOut, TotalHrs, TotalMin "
                                   "FROM [Time Attendance] ORDER BY ID"));
    }
};

TEST_F(RealTimeTest, ScheduleWindowsGraceBreaksAndNightShifts)
{
    struct Case {
        const char *fault;
        int dayStart;          // hour
        QStringList days;      // "TheDay,Start,End,BreakStart,BreakEnd,Break2Start,Break2End", "-" Null
        const char *scheduleNo;
        QStringList punches;   // "yyyy-MM-dd hh:mm=result"; 2004-03-09 is a Tuesday (3)
    };
    const QString day = QStringLiteral("3,08:00,17:00,12:00,12:30,15:00,15:10");
    const Case cases[] = {
        {"grace widens both ends, inclusive", 0, {day}, "001",
         {"2004-03-09 07:45=0", "2004-03-09 07:44=1", "2004-03-09 17:15=0", "2004-03-09 17:16=1"}},
        {"breaks are inclusive, both of them", 0, {day}, "001",
         {"2004-03-09 12:00=2", "2004-03-09 12:30=2", "2004-03-09 12:31=0", "2004-03-09 15:05=2"}},
        {"no break without its start; never one without its end", 0, {"3,08:00,17:00,-,12:30,12:00,-"}, "001",
         {"2004-03-09 12:15=0"}},
        {"midnight start: no row today is not scheduled, a night row admits nothing", 0,
         {"2,22:00,06:00,-,-,-,-", "3,22:00,06:00,-,-,-,-"}, "001",
         {"2004-03-09 23:00=1", "2004-03-09 05:00=1", "2004-03-10 00:05=1"}},
        {"day start 06:00: the clock-out of yesterday's night row", 6, {"2,22:00,06:00,-,-,-,-"}, "001",
         {"2004-03-09 06:15=0", "2004-03-09 06:16=1", "2004-03-09 00:05=0", "2004-03-10 00:05=1"}},
        {"day start 06:00: Sunday looks at Saturday", 6, {"7,22:00,06:00,-,-,-,-"}, "001", {"2004-03-07 03:00=0"}},
        {"day start 06:00: today's night row from its start, yesterday's up to its end", 6,
         {"2,22:00,06:00,-,-,-,-", "3,22:00,06:00,-,-,-,-"}, "001",
         {"2004-03-09 21:45=0", "2004-03-09 23:59=0", "2004-03-09 05:00=0", "2004-03-09 21:44=1", "2004-03-09 06:16=1"}},
        {"day start 06:00: a day row is a day row; yesterday's day row is none", 6, {day, "4,08:00,17:00,-,-,-,-"},
         "001", {"2004-03-09 07:44=1", "2004-03-09 12:10=2", "2004-03-10 07:00=1", "2004-03-11 03:00=1"}},
        {"bounds across midnight", 0, {"3,00:05,23:50,-,-,-,-"}, "001", {"2004-03-09 00:00=0", "2004-03-09 23:59=0"}},
        {"Null window times count as no row", 6, {"3,-,17:00,-,-,-,-", "3,08:00,,-,-,-,-", "2,22:00,06:00,-,-,-,-"},
         "001", {"2004-03-09 00:05=0", "2004-03-09 09:00=1"}},
        {"a schedule number that is not three characters is not scheduled", 0, {day}, "", {"2004-03-09 09:00=1"}},
        {"... nor one of two", 0, {day}, "01", {"2004-03-09 09:00=1"}},
    };
    start();
    for (const Case &c : cases) {
        db().execute(QStringLiteral("DELETE FROM [Schedule Days]"));
        for (QString row : c.days) {
            row.replace(QRegularExpression(QStringLiteral("(\\d\\d:\\d\\d)")), QStringLiteral("\\1:00"));
            store(QStringLiteral("Schedule Days"),
                  QStringLiteral("ScheduleNo, TheDay, StartTime, EndTime, StartTimeR, EndTimeR, StartTimeR2, EndTimeR2"),
                  {QStringLiteral("001,") + row});
        }
        company().GracePeriod = 15;
        SetDayStartTime(QTime(c.dayStart, 0));
        for (const QString &punch : c.punches) {
            const QDateTime at = QDateTime::fromString(punch.left(16), QStringLiteral("yyyy-MM-dd HH:mm"));
            EXPECT_EQ(Sorb01::CheckSchedule(QString::fromLatin1(c.scheduleNo), at.date(), at.time()), punch.right(1).toInt())
                << c.fault << ": " << punch.toStdString();
        }
    }
}

TEST_F(RealTimeTest, EachMorningOfARunOfNightsClocksOut)
{
    start();
    SetDayStartTime(QTime(6, 0));
    for (int day = 2; day <= 4; ++day)  // Monday to Wednesday, 22:00 to 06:00
        store(QStringLiteral("Schedule Days"), QStringLiteral("ScheduleNo, TheDay, StartTime, EndTime"),
              {QStringLiteral("001,%1,22:00:00,06:00:00").arg(day)});
    for (const QString punch : {"2004-03-08 22:00", "2004-03-09 05:55", "2004-03-09 22:00", "2004-03-10 05:55"}) {
        const QDateTime at = QDateTime::fromString(punch, QStringLiteral("yyyy-MM-dd HH:mm"));
        EXPECT_EQ(Sorb01::CheckSchedule(QStringLiteral("001"), at.date(), at.time()), Sorb01::kInSchedule) << punch.toStdString();
        EXPECT_TRUE(Sorb01::PostSorbPunch(at.date(), at.time(), QStringLiteral("7")));
    }
    EXPECT_EQ(table(), (QStringList{"7 2004-03-08 11 22:00:00 2004-03-09 05:55:00 7 55",
                                    "7 2004-03-09 11 22:00:00 2004-03-10 05:55:00 7 55"}));
}

TEST_F(RealTimeTest, CardsOfActiveHoldersFirstRowWins)
{
    store(QStringLiteral("Employee"), QStringLiteral("ID, FirstName, ScheduleNo, Status, CardID"),
          {"1,Old,001,0,77", "2,Anna,002,1,77", "3,Bert,003,-1,77", "4,-,-,1,88", "5,Empty,001,1,"});
    store(QStringLiteral("Members"), QStringLiteral("ID, FirstName, Status, CardID"), {"9,Mia,1,77"});
    start();
    EXPECT_EQ(Sorb01::ValidateEmployeeCard(QStringLiteral("77")), QStringLiteral("002Anna")) << "inactive row skipped";
    EXPECT_EQ(Sorb01::ValidateEmployeeCard(QStringLiteral("99")), QStringLiteral("Not Valid"));
    EXPECT_EQ(Sorb01::ValidateEmployeeCard(QString()), QStringLiteral("Not Valid")) << "an empty badge matches no card";
    const std::optional<CardHolder> nulls = Sorb01::LookUpCard(QStringLiteral("88"), false);
    ASSERT_TRUE(nulls);
    EXPECT_EQ(nulls->ScheduleNo + u'|' + nulls->FirstName, QStringLiteral("|")) << "a Null name is no schedule number";
    EXPECT_THROW(Sorb01::ValidateMemberCard(QStringLiteral("77")), Platform::Error) << "never the other mode's query";
    start(true);
    EXPECT_EQ(Sorb01::ValidateMemberCard(QStringLiteral("77")), QStringLiteral("Mia"));
}

TEST_F(RealTimeTest, SinglePunchesPairAsTheBatchDoes)
{
    struct Case {
        const char *fault;
        int dayStart;
        QStringList stored;    // "EmpID,TDate,Week,ClockIn,DateOut,ClockOut,hrs,min"
        const char *punch;     // "yyyy-MM-dd hh:mm"
        QStringList expected;  // table()
    };
    const QString closed = QStringLiteral("7,2004-03-09,11,08:00:00,2004-03-09,12:00:00,4,0");
    const Case cases[] = {
        {"the IN of a stored row is there already", 0, {closed}, "2004-03-09 08:00", {"7 2004-03-09 11 08:00:00 2004-03-09 12:00:00 4 0"}},
        {"the OUT of a stored row is there already", 0, {closed}, "2004-03-09 12:00", {"7 2004-03-09 11 08:00:00 2004-03-09 12:00:00 4 0"}},
        {"a first punch opens a row", 0, {}, "2004-03-09 08:00", {"7 2004-03-09 11 08:00:00 - - 0 0"}},
        {"day start 06:00: Tuesday 05:30 closes Monday 22:00", 6, {"7,2004-03-08,11,22:00:00,-,-,0,0"}, "2004-03-09 05:30",
         {"7 2004-03-08 11 22:00:00 2004-03-09 05:30:00 7 30"}},
        {"day start 06:00: Tuesday 07:00 is another work day", 6, {"7,2004-03-08,11,22:00:00,-,-,0,0"}, "2004-03-09 07:00",
         {"7 2004-03-08 11 22:00:00 - - 0 0", "7 2004-03-09 11 07:00:00 - - 0 0"}},
        {"midnight day start pairs only within the date", 0, {"7,2004-03-08,11,22:00:00,-,-,0,0"}, "2004-03-09 05:30",
         {"7 2004-03-08 11 22:00:00 - - 0 0", "7 2004-03-09 11 05:30:00 - - 0 0"}},
        {"an earlier punch goes in front", 0, {"7,2004-03-09,11,10:00:00,-,-,0,0"}, "2004-03-09 09:00",
         {"7 2004-03-09 11 09:00:00 2004-03-09 10:00:00 1 0"}},
        {"the earliest of two open rows is paired", 0, {"7,2004-03-09,11,10:00:00,-,-,0,0", "7,2004-03-09,11,08:00:00,-,-,0,0"},
         "2004-03-09 11:00", {"7 2004-03-09 11 10:00:00 - - 0 0", "7 2004-03-09 11 08:00:00 2004-03-09 11:00:00 3 0"}},
    };
    start();
    for (const Case &c : cases) {
        db().execute(QStringLiteral("DELETE FROM [Time Attendance]"));
        SetDayStartTime(QTime(c.dayStart, 0));
        store(QStringLiteral("Time Attendance"), QStringLiteral("EmpID, TDate, Week, ClockIn, DateOut, ClockOut, TotalHrs, TotalMin"),
              c.stored);
        const QDateTime at = QDateTime::fromString(QString::fromLatin1(c.punch), QStringLiteral("yyyy-MM-dd HH:mm"));
        EXPECT_TRUE(Sorb01::PostSorbPunch(at.date(), at.time(), QStringLiteral("7"))) << c.fault;
        EXPECT_EQ(table(), c.expected) << c.fault;
    }
    EXPECT_TRUE(boxTexts().isEmpty());
}

TEST_F(RealTimeTest, RefusedOrIgnoredPunchIsFalseAndShown)
{
    start();
    db().execute(QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON [Time Attendance] WHEN NEW.EmpID = '7' "
                                "BEGIN SELECT RAISE(ABORT, 'card 7 refused'); END"));
    db().execute(QStringLiteral("CREATE TRIGGER ignore BEFORE INSERT ON [Time Attendance] WHEN NEW.EmpID = '8' "
                                "BEGIN SELECT RAISE(IGNORE); END"));
    const QDate day(2004, 3, 9);
    Platform::Ui::queueAnswer(Platform::Ui::Answer::Ok);
    Platform::Ui::queueAnswer(Platform::Ui::Answer::Ok);
    EXPECT_FALSE(Sorb01::PostSorbPunch(day, QTime(8, 0), QStringLiteral("7")));
    EXPECT_FALSE(Sorb01::PostSorbPunch(day, QTime(8, 0), QStringLiteral("8"))) << "an insert that added nothing";
    ASSERT_EQ(boxes().size(), 2u);
    for (const Platform::Ui::Shown &box : boxes()) {
        EXPECT_EQ(box.title, QStringLiteral("Employee was NOT clocked successfully!"));
        EXPECT_EQ(box.style, Platform::Ui::Style::Critical);
        EXPECT_TRUE(box.text.startsWith(QStringLiteral("Error Number: 3"))) << box.text.toStdString();
    }
    EXPECT_TRUE(boxes().front().text.contains(QStringLiteral("\ncard 7 refused")));
    EXPECT_TRUE(table().isEmpty());
    EXPECT_FALSE(db().inTransaction()) << "the punch's transaction is over";
    EXPECT_TRUE(Sorb01::PostSorbPunch(day, QTime(8, 0), QStringLiteral("9"))) << "the poll goes on";
}

TEST_F(RealTimeTest, MemberPunchesAreAddedEveryTimeAndFailSilently)
{
    start(true);
    const QDate day(2004, 3, 9);
    EXPECT_TRUE(Sorb01::PostMemberPunch(day, QTime(8, 0), QStringLiteral("5")));
    EXPECT_TRUE(Sorb01::PostMemberPunch(day, QTime(8, 0), QStringLiteral("5"))) << "no duplicate test";
    db().execute(QStringLiteral("CREATE TRIGGER ignore BEFORE INSERT ON [Time Attendance1] WHEN NEW.EmpID = '6' "
                                "BEGIN SELECT RAISE(IGNORE); END"));
    EXPECT_FALSE(Sorb01::PostMemberPunch(day, QTime(8, 0), QStringLiteral("6"))) << "an insert that added nothing";
    db().execute(QStringLiteral("DROP TABLE [Time Attendance1]"));
    EXPECT_FALSE(Sorb01::PostMemberPunch(day, QTime(8, 0), QStringLiteral("5")));
    EXPECT_TRUE(boxTexts().isEmpty());
}

TEST_F(RealTimeTest, MissingColumnOrDatabaseStopsTheStart)
{
    db().execute(QStringLiteral("ALTER TABLE [Schedule Days] DROP COLUMN EndTimeR2"));
    Platform::Ui::queueAnswer(Platform::Ui::Answer::Ok);
    EXPECT_FALSE(Sorb01::StartRealTimeChecks(false));
    EXPECT_FALSE(state().TargetDb.isOpen());
    EXPECT_TRUE(Sorb01::StartRealTimeChecks(true)) << "members never read the schedule";
    AppMain::settings().TargetDbPath = file(QStringLiteral("none.db"));
    Platform::Ui::queueAnswer(Platform::Ui::Answer::Ok);
    EXPECT_FALSE(Sorb01::StartRealTimeChecks(true));
    EXPECT_EQ(boxTexts().last(), QStringLiteral("Database file is not found!"));
    EXPECT_EQ(boxes().front().title, QStringLiteral("Kovra Error#: 3265"));
}

TEST_F(RealTimeTest, PolledRecordsGiveTheirPunch)
{
    const auto read = [](const char *record) {
        const std::optional<PolledPunch> p = Sorb01::ReadPolledPunch(QByteArray(record));
        return p ? p->Badge + u' ' + p->Date.toString(Qt::ISODate) + u' ' + p->Time.toString(QStringLiteral("HH:mm"))
                 : QStringLiteral("none");
    };
    EXPECT_EQ(read("\\A!\x1dP00\x1e\x1e" "1234\x1e\x1f" "0403090705331\x03"), QStringLiteral("1234 2004-03-09 07:05"));
    EXPECT_EQ(read("\\A!\x1dP01\x1e" "1234\x1e\x1f" "040309070533" "1W17\x1e\x03"), QStringLiteral("1234 2004-03-09 07:05"))
        << "a function-key punch by its badge, date and time";
    EXPECT_EQ(read("\\A!\x1dS00P\x1e" "1234\x1e\x1f" "0403090705331\x03"), QStringLiteral("none")) << "P, but no punch";
    EXPECT_EQ(read("\\A!\x1dP00\x1e" "1234\x1e\x1f" "0402300705331\x03"), QStringLiteral("none")) << "30 February";
}
