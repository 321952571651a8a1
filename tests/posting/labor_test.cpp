// Labor tracking: each function key's posting file paired into its own table.
#include "posting/Labor.h"
#include "tests/posting/PostingFixture.h"

#include <QFile>

using namespace KovraDS;

namespace {

struct LaborCase {
    const char *fault;
    int member;
    QTime dayStart;
    QStringList stored;    // rows already in the table: "badge,keys..,start date,time,end date,time,hrs,min" ("-" Null)
    QStringList lines;     // the posting file
    QStringList expected;  // the table afterwards, as LaborTest::table() lists it
};

const QTime kMidnight(0, 0), kSix(6, 0);

const LaborCase kCases[] = {
    {"first punch opens a row with no end", 3, kMidnight, {}, {"7,J1,03/09/04,08:00"},
     {"7 J1 2004-03-09 08:00:00 - - 0 0"}},
    {"a later punch closes, rounded to 5", 3, kMidnight, {}, {"7,J1,03/09/04,10:32", "7,J1,03/09/04,08:00"},
     {"7 J1 2004-03-09 08:00:00 2004-03-09 10:32:00 2 30"}},
    {"an earlier punch becomes the start", 3, kMidnight, {"7,J1,2004-03-09,13:00:00,-,-,0,0"}, {"7,J1,03/09/04,08:00"},
     {"7 J1 2004-03-09 08:00:00 2004-03-09 13:00:00 5 0"}},
    {"put in front across midnight within one work day", 3, kSix, {"7,J1,2004-03-10,02:00:00,-,-,0,0"},
     {"7,J1,03/09/04,22:00"}, {"7 J1 2004-03-09 22:00:00 2004-03-10 02:00:00 4 0"}},
    {"05:59 belongs to the day before, 06:00 starts a new one", 3, kSix,
     {"7,J1,2004-03-08,22:00:00,-,-,0,0", "8,J1,2004-03-08,22:00:00,-,-,0,0"},
     {"7,J1,03/09/04,05:59", "8,J1,03/09/04,06:00"},
     {"7 J1 2004-03-08 22:00:00 2004-03-09 05:59:00 8 0", "8 J1 2004-03-08 22:00:00 - - 0 0",
      "8 J1 2004-03-09 06:00:00 - - 0 0"}},
    {"a punch equal to a start or an end changes nothing", 3, kMidnight,
     {"7,J1,2004-03-09,08:00:00,2004-03-09,12:00:00,4,0"}, {"7,J1,03/09/04,08:00", "7,J1,03/09/04,12:00"},
     {"7 J1 2004-03-09 08:00:00 2004-03-09 12:00:00 4 0"}},
    {"work orders stay apart", 1, kMidnight, {},
     {"7,W1,P1,J1,03/09/04,08:00", "7,W2,P1,J1,03/09/04,09:00", "7,W1,P1,J1,03/09/04,10:00"},
     {"7 W1 P1 J1 2004-03-09 08:00:00 2004-03-09 10:00:00 2 0", "7 W2 P1 J1 2004-03-09 09:00:00 - - 0 0"}},
    {"part numbers stay apart", 2, kMidnight, {},
     {"7,P1,J1,03/09/04,08:00", "7,P2,J1,03/09/04,09:00", "7,P1,J1,03/09/04,10:00"},
     {"7 P1 J1 2004-03-09 08:00:00 2004-03-09 10:00:00 2 0", "7 P2 J1 2004-03-09 09:00:00 - - 0 0"}},
    {"work orders of member 4 stay apart", 4, kMidnight, {},
     {"7,W1,J1,03/09/04,08:00", "7,W2,J1,03/09/04,09:00", "7,W2,J1,03/09/04,11:00"},
     {"7 W1 J1 2004-03-09 08:00:00 - - 0 0", "7 W2 J1 2004-03-09 09:00:00 2004-03-09 11:00:00 2 0"}},
    {"of two open rows the earliest closes", 3, kMidnight,
     {"7,J1,2004-03-09,09:00:00,-,-,0,0", "7,J1,2004-03-09,08:00:00,-,-,0,0"}, {"7,J1,03/09/04,11:00"},
     {"7 J1 2004-03-09 08:00:00 2004-03-09 11:00:00 3 0", "7 J1 2004-03-09 09:00:00 - - 0 0"}},
};

} // namespace

class LaborTest : public PostingTest {
protected:
    void SetUp() override
    {
        PostingTest::SetUp();
        openProduct(ProductDb::Product::Brix);
    }

    static QString columns(const LaborMember &m)
    {
        QStringList keys;
        for (const QString &key : m.keyColumns)
            keys << QLatin1Char('[') + key + QLatin1Char(']');
        return QStringLiteral("EmpID, %1, StartDate, StartTime, EndDate, EndTime, TotalHrs, TotalMin").arg(keys.join(u", "));
    }

    static QStringList table(const LaborMember &m)
    {
        return rows(QStringLiteral("SELECT %1 FROM [%2] ORDER BY 1, 2, StartDate, StartTime").arg(columns(m), m.table));
    }

    void post(const LaborMember &m, const QStringList &lines)
    {
        writeFile(QStringLiteral("Data/F%1.txt").arg(m.number), lines.join(QStringLiteral("\r\n")).toLatin1() + "\r\n");
        Platform::Ui::queueAnswer(Platform::Ui::Answer::Ok);  // the run's closing box
        PostLabor(m);
    }
};

TEST_F(LaborTest, PunchesPairIntoStartEndRowsOfTheirKeys)
{
    for (const LaborCase &c : kCases) {
        const LaborMember &m = laborMembers()[c.member - 1];
        db().execute(QStringLiteral("DELETE FROM [%1]").arg(m.table));
        setCompany(2, c.dayStart, 5);
        store(m.table, columns(m), c.stored);
        Platform::Ui::clearShown();
        post(m, c.lines);
        EXPECT_EQ(table(m), c.expected) << c.fault;
        ASSERT_EQ(Platform::Ui::shown().size(), 1u) << c.fault;
        EXPECT_EQ(Platform::Ui::shown()[0].text, m.successText);
        EXPECT_EQ(Platform::Ui::shown()[0].style, Platform::Ui::Style::OkOnly) << "no icon";
        EXPECT_FALSE(QFile::exists(state().*m.file)) << c.fault;
    }
}

TEST_F(LaborTest, ShortRowAndEmptyKeyArePassedOverNotPostedUnderShiftedKeys)
{
    const LaborMember &m = laborMembers()[0];
    // The converter drops an empty field, so a punch without a part number arrives one field short.
    post(m, {"7,W1,J1,03/09/04,08:00", "8,W1,,J1,03/09/04,08:00", "9,W1,P1,J1,03/09/04,08:00"});
    EXPECT_EQ(table(m), QStringList{QStringLiteral("9 W1 P1 J1 2004-03-09 08:00:00 - - 0 0")});
    EXPECT_EQ(state().PassedOver, 2);
}

TEST_F(LaborTest, StatementFailingMidRunKeepsEarlierPunchesAndTheFileAndTheNextMemberRuns)
{
    const LaborMember &first = laborMembers()[0], &second = laborMembers()[1];
    db().execute(QStringLiteral("CREATE TRIGGER fail BEFORE INSERT ON [Labor Tracking] WHEN NEW.EmpID = '8' "
                                "BEGIN SELECT abs(-9223372036854775807 - 1); END"));
    writeFile(QStringLiteral("Data/F1.txt"), "9,W1,P1,J1,03/09/04,08:00\r\n8,W1,P1,J1,03/09/04,08:00\r\n"
                                             "7,W1,P1,J1,03/09/04,08:00\r\n");
    writeFile(QStringLiteral("Data/F2.txt"), "7,P1,J1,03/09/04,08:00\r\n");
    writeFile(QStringLiteral("Data/poll.log"), "");
    AppMain::settings().TargetType = QStringLiteral("Kovra-Brix");
    CloseTargetDb();
    Platform::Ui::queueAnswer(Platform::Ui::Answer::Ok);
    Platform::Ui::queueAnswer(Platform::Ui::Answer::Ok);
    PostPolledData(file(QStringLiteral("Data/poll.log")));

    ASSERT_TRUE(state().TargetDb.isOpen()) << "the labor path leaves the database open";
    EXPECT_EQ(table(first), QStringList{QStringLiteral("7 W1 P1 J1 2004-03-09 08:00:00 - - 0 0")});
    EXPECT_EQ(table(second), QStringList{QStringLiteral("7 P1 J1 2004-03-09 08:00:00 - - 0 0")});
    EXPECT_TRUE(QFile::exists(state().F1Path));
    EXPECT_FALSE(QFile::exists(state().F2Path));
    EXPECT_EQ(boxTexts().value(0).section(QLatin1Char('\n'), 0, 0), first.failureText);
    EXPECT_EQ(boxTexts().value(1), second.successText);
}
