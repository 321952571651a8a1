// The pairing engine on a product database file: punches in, rows out.
#include "platform/error.h"
#include "posting/HoursWorked.h"
#include "posting/Pairing.h"
#include "tests/posting/PostingFixture.h"

#include <QLocale>
#include <QRegularExpression>

using namespace KovraDS;

namespace {

PairingTable attendanceTable(bool employeeGuard = false)
{
    PairingTable t;
    t.Table = QStringLiteral("Time Attendance");
    t.EmployeeGuard = employeeGuard;
    return t;
}

} // namespace

class PairingTest : public PostingTest {
protected:
    void SetUp() override
    {
        PostingTest::SetUp();
        openProduct();
    }

    int post(const QStringList &lines, bool guard = false)
    {
        Pairing pairing(db(), attendanceTable(guard));
        return PostRows(db(), pairing, punches(lines), Refusals::PassNewRowsOver);
    }
};

TEST_F(PairingTest, PairsNeverCrossMidnightWhenTheDayStartsAtMidnight)
{
    post({QStringLiteral("7,03/08/04,22:00"), QStringLiteral("7,03/09/04,06:30")});
    EXPECT_EQ(attendance(), (QStringList{QStringLiteral("7 2004-03-08 11 22:00:00 - - 0 0 1"),
                                         QStringLiteral("7 2004-03-09 11 06:30:00 - - 0 0 1")}));
}

TEST_F(PairingTest, APunchBeforeTheDayStartClosesThePairOfTheDayBefore)
{
    setCompany(2, QTime(6, 0), 5);
    post({QStringLiteral("7,03/08/04,22:00"), QStringLiteral("7,03/09/04,05:00")});
    EXPECT_EQ(attendance(), QStringList{QStringLiteral("7 2004-03-08 11 22:00:00 2004-03-09 05:00:00 7 0 1")});
}

TEST_F(PairingTest, AnEarlierPunchPostedLaterIsPutInFront)
{
    setCompany(2, QTime(6, 0), 5);
    post({QStringLiteral("7,03/09/04,05:00")});
    post({QStringLiteral("7,03/08/04,22:00")});
    EXPECT_EQ(attendance(), QStringList{QStringLiteral("7 2004-03-08 11 22:00:00 2004-03-09 05:00:00 7 0 1")});

    setCompany(2, QTime(0, 0), 5);
    post({QStringLiteral("8,03/10/04,13:00")});
    post({QStringLiteral("8,03/10/04,08:00")});
    EXPECT_EQ(attendance().last(), QStringLiteral("8 2004-03-10 11 08:00:00 2004-03-10 13:00:00 5 0 1"));
}

TEST_F(PairingTest, OfTwoOpenPairsTheEarlierIsClosed)
{
    db().execute(QStringLiteral("INSERT INTO [Time Attendance] (EmpID, TDate, Week, ClockIn, TotalHrs, TotalMin, Recalculate) "
                                "VALUES ('7', '2004-03-09', 11, '09:00:00', 0, 0, 0), ('7', '2004-03-09', 11, '08:00:00', 0, 0, 0)"));
    post({QStringLiteral("7,03/09/04,12:00")});
    EXPECT_EQ(attendance(), (QStringList{QStringLiteral("7 2004-03-09 11 08:00:00 2004-03-09 12:00:00 4 0 1"),
                                         QStringLiteral("7 2004-03-09 11 09:00:00 - - 0 0 1")}));  // marked with its day
}

TEST_F(PairingTest, OnlyTheOpenPairOfThePunchsWeekIsClosed)
{
    // An open pair numbered in another week is not this punch's pair.
    db().execute(QStringLiteral("INSERT INTO [Time Attendance] (EmpID, TDate, Week, ClockIn, TotalHrs, TotalMin, Recalculate) "
                                "VALUES ('7', '2004-03-09', 3, '08:00:00', 0, 0, 0)"));
    post({QStringLiteral("7,03/09/04,12:00")});
    EXPECT_EQ(attendance().size(), 2);
}

TEST_F(PairingTest, RepostingAndSplittingAFileChangeNothing)
{
    const QStringList file = {QStringLiteral("A1,03/08/04,08:00"), QStringLiteral("a1,03/08/04,12:00"),
                              QStringLiteral("A1,03/08/04,13:00"), QStringLiteral("A1,03/08/04,17:10"),
                              QStringLiteral("00123,03/09/04,07:55"), QStringLiteral("00123,03/09/04,16:02")};
    post(file);
    const QStringList once = attendance();
    ASSERT_EQ(once.size(), 3);
    EXPECT_TRUE(once.first().startsWith(QStringLiteral("00123 ")));  // the badge as the clock sent it
    post(file);
    EXPECT_EQ(attendance(), once);

    db().execute(QStringLiteral("DELETE FROM [Time Attendance]"));
    post(file.mid(0, 3));
    post(file.mid(3));
    EXPECT_EQ(attendance(), once);

    // A day-first locale changes nothing stored.
    db().execute(QStringLiteral("DELETE FROM [Time Attendance]"));
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    post(file);
    QLocale::setDefault(previous);
    EXPECT_EQ(attendance(), once);

    const QRegularExpression date(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d$")), time(QStringLiteral("^\\d\\d:\\d\\d:00$"));
    for (const QString &row : rows(QStringLiteral("SELECT TDate, ClockIn, DateOut, ClockOut FROM [Time Attendance] "
                                                  "WHERE ClockOut IS NOT NULL"))) {
        const QStringList v = row.split(QLatin1Char(' '));
        EXPECT_TRUE(date.match(v[0]).hasMatch() && date.match(v[2]).hasMatch()) << row.toStdString();
        EXPECT_TRUE(time.match(v[1]).hasMatch() && time.match(v[3]).hasMatch()) << row.toStdString();
    }
}

TEST_F(PairingTest, AnUnknownEmployeeOpensNoPairButClosesOne)
{
    db().execute(QStringLiteral("INSERT INTO Employee (ID) VALUES ('7')"));
    db().execute(QStringLiteral("INSERT INTO [Time Attendance] (EmpID, TDate, Week, ClockIn, TotalHrs, TotalMin, Recalculate) "
                                "VALUES ('9', '2004-03-09', 11, '08:00:00', 0, 0, 0)"));
    post({QStringLiteral("7,03/09/04,08:00"), QStringLiteral("8,03/09/04,08:00"), QStringLiteral("9,03/09/04,09:00")},
         true);
    EXPECT_EQ(attendance(), (QStringList{QStringLiteral("7 2004-03-09 11 08:00:00 - - 0 0 1"),
                                         QStringLiteral("9 2004-03-09 11 08:00:00 2004-03-09 09:00:00 1 0 1")}));
}

TEST_F(PairingTest, APunchTheDatabaseRefusesIsPassedOverAndTheRestPosted)
{
    db().execute(QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON [Time Attendance] WHEN NEW.EmpID = 'X' "
                                "BEGIN SELECT RAISE(ABORT, 'refused'); END"));
    EXPECT_EQ(post({QStringLiteral("1,03/09/04,08:00"), QStringLiteral("X,03/09/04,08:00"),
                    QStringLiteral("Y,03/09/04,08:00")}),
              1);
    EXPECT_EQ(attendance().size(), 2);
}

TEST_F(PairingTest, AnotherErrorKeepsThePunchesBeforeIt)
{
    db().execute(QStringLiteral("INSERT INTO [Time Attendance] (EmpID, TDate, Week, ClockIn) "
                                "VALUES ('M', '2004-03-09', 11, '8:00')"));  // a time in another form
    EXPECT_THROW(post({QStringLiteral("A,03/09/04,08:00"), QStringLiteral("M,03/09/04,09:00"),
                       QStringLiteral("Z,03/09/04,08:00")}),
                 Platform::Error);
    EXPECT_EQ(rows(QStringLiteral("SELECT EmpID FROM [Time Attendance] ORDER BY EmpID")),
              (QStringList{QStringLiteral("A"), QStringLiteral("M")}));
}

TEST_F(PairingTest, AMissingColumnFailsBeforeAnythingIsWritten)
{
    db().execute(QStringLiteral("DROP INDEX AttendanceMarked"));
    db().execute(QStringLiteral("ALTER TABLE [Time Attendance] DROP COLUMN Recalculate"));
    try {
        Pairing pairing(db(), attendanceTable());
        FAIL() << "prepared without the column";
    } catch (const Platform::Error &e) {
        EXPECT_EQ(e.number(), Platform::ErrorNo::ItemNotFound);
    }
}

TEST_F(PairingTest, NoRunStatementScansTheAttendanceOrHoursTables)
{
    const QStringList statements =
        Pairing(db(), attendanceTable(true)).statements() + HoursWorked(db()).statements();
    ASSERT_EQ(statements.size(), 13);
    for (const QString &sql : statements) {
        QSqlQuery plan = db().query(QStringLiteral("EXPLAIN QUERY PLAN ") + sql, QVariantList(sql.count(QLatin1Char('?'))));
        while (plan.next()) {
            const QString step = plan.value(3).toString();
            const bool fullScan = step.contains(QLatin1String("SCAN")) &&
                                  (step.contains(QLatin1String("Time Attendance")) ||
                                   step.contains(QLatin1String("Hours Worked")) || step.contains(QLatin1String("Employee"))) &&
                                  !step.contains(QLatin1String("AttendanceMarked"));
            EXPECT_FALSE(fullScan) << sql.toStdString() << "\n  " << step.toStdString();
            // Searched by the employee alone, every punch would read all of his rows.
            EXPECT_FALSE(step.contains(QLatin1String("(EmpID=?)"))) << sql.toStdString() << "\n  " << step.toStdString();
        }
    }
}
