// Access-control batch posting: late punches re-paired into Time Attendance.
#include "app/frmProgressBar.h"
#include "posting/Labor.h"
#include "posting/SorbImport.h"
#include "posting/StoredForms.h"
#include "posting/Sorb01.h"
#include "tests/posting/PostingFixture.h"

#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QTimer>

using namespace KovraDS;

namespace {

struct SorbCase {
    const char *fault;
    QTime dayStart;
    QStringList stored;    // "badge,TDate,Week,ClockIn,DateOut,ClockOut,hrs,min" ("-" Null)
    QStringList lines;     // Data/F01.txt
    QStringList expected;  // SorbTest::table() afterwards
    int passedOver;
};

const SorbCase kCases[] = {
    {"a late punch inside a stored pair splits it", QTime(0, 0), {"7,2004-03-09,11,08:00:00,2004-03-09,17:00:00,9,0"},
     {"7,03/09/04,12:00"},
     {"7 2004-03-09 11 08:00:00 2004-03-09 12:00:00 4 0", "7 2004-03-09 11 17:00:00 - - 0 0"}, 0},
    {"later days are re-paired, other employees untouched", QTime(0, 0),
     {"7,2004-03-10,11,08:00:00,2004-03-10,12:00:00,4,0", "8,2004-03-09,11,13:00:00,2004-03-09,14:00:00,1,0"},
     {"7,03/09/04,16:00"},
     {"7 2004-03-09 11 16:00:00 - - 0 0", "7 2004-03-10 11 08:00:00 2004-03-10 12:00:00 4 0",
      "8 2004-03-09 11 13:00:00 2004-03-09 14:00:00 1 0"}, 0},
    {"an open row later than the punch is put behind it", QTime(0, 0), {"7,2004-03-09,11,17:00:00,-,-,0,0"},
     {"7,03/09/04,08:00"}, {"7 2004-03-09 11 08:00:00 2004-03-09 17:00:00 9 0"}, 0},
    {"put in front across midnight, day start 06:00", QTime(6, 0), {"7,2004-03-09,11,02:00:00,-,-,0,0"},
     {"7,03/08/04,22:00"}, {"7 2004-03-08 11 22:00:00 2004-03-09 02:00:00 4 0"}, 0},
    {"bad date, bad time and empty badge are passed over", QTime(0, 0), {},
     {"7,13/45/04,08:00", "7,03/09/04,25:00", ",03/09/04,08:00", "7,03/09/04,08:00"},
     {"7 2004-03-09 11 08:00:00 - - 0 0"}, 3},
    {"a badge longer than 12 characters posts", QTime(0, 0), {}, {"12345678901234,03/09/04,08:00"},
     {"12345678901234 2004-03-09 11 08:00:00 - - 0 0"}, 0},
    {"a file without a valid row still succeeds", QTime(0, 0), {"7,2004-03-09,11,08:00:00,-,-,0,0"},
     {",03/09/04,09:00"}, {"7 2004-03-09 11 08:00:00 - - 0 0"}, 1},
    {"duplicates in the file and against the table post once", QTime(0, 0),
     {"7,2004-03-09,11,08:00:00,2004-03-09,12:00:00,4,0"},
     {"7,03/09/04,12:00", "7,03/09/04,12:00", "7,03/09/04,08:00", "8,03/09/04,09:00", "8,03/09/04,09:00"},
     {"7 2004-03-09 11 08:00:00 2004-03-09 12:00:00 4 0", "8 2004-03-09 11 09:00:00 - - 0 0"}, 0},
};

} // namespace

class SorbTest : public PostingTest {
protected:
    void SetUp() override
    {
        PostingTest::SetUp();
        openProduct(ProductDb::Product::Sorb);
    }

    void TearDown() override
    {
        delete static_cast<QObject *>(frmProgressBar::existing());
        PostingTest::TearDown();
    }

    static QStringList table(const QString &extra = QString())
    {
        return rows(QStringLiteral("SELECT %1EmpID, TDate, Week, ClockIn, DateOut, ClockOut, TotalHrs, TotalMin "
                                   "FROM [Time Attendance] ORDER BY EmpID, TDate, ClockIn")
                        .arg(extra));
    }

    static void store(const QStringList &stored)
    {
        PostingTest::store(QStringLiteral("Time Attendance"),
                           QStringLiteral("EmpID, TDate, Week, ClockIn, DateOut, ClockOut, TotalHrs, TotalMin"), stored);
    }

    bool import(const QStringList &lines)
    {
        writeFile(QStringLiteral("Data/F01.txt"), lines.join(QStringLiteral("\r\n")).toLatin1() + "\r\n");
        state().PassedOver = 0;
        Platform::Ui::clearShown();
        Platform::Ui::queueAnswer(Platform::Ui::Answer::Ok);  // the run's closing box
        return Sorb01::ImportSorbClockData();
    }
};

TEST_F(SorbTest, LatePunchesArePairedIntoTheirPlace)
{
    for (const SorbCase &c : kCases) {
        db().execute(QStringLiteral("DELETE FROM [Time Attendance]"));
        setCompany(2, c.dayStart, 5);
        store(c.stored);
        EXPECT_TRUE(import(c.lines)) << c.fault;
        EXPECT_EQ(table(), c.expected) << c.fault;
        EXPECT_EQ(state().PassedOver, c.passedOver) << c.fault;
        EXPECT_EQ(boxTexts(), QStringList{QStringLiteral("Clock data was imported successfully!")}) << c.fault;
        EXPECT_FALSE(QFile::exists(state().F01Path)) << c.fault;
    }
}

TEST_F(SorbTest, LatePunchesGiveTheSamePairsAsPunchesPostedInTimeOrder)
{
    // Three employees over a week, six distinct punches a day; two of each day arrive late.
    QStringList all, older, late;
    quint32 seed = 17;
    for (int emp = 1; emp <= 3; ++emp) {
        for (int day = 8; day <= 12; ++day) {
            QList<int> minutes;
            while (minutes.size() < 6) {
                seed = seed * 1103515245u + 12345u;
                const int m = 360 + int(seed >> 16) % 960;
                if (!minutes.contains(m))
                    minutes << m;
            }
            for (int i = 0; i < 6; ++i) {
                const QString line = QStringLiteral("%1,03/%2/04,%3").arg(emp).arg(day, 2, 10, QLatin1Char('0'))
                                         .arg(QTime(0, 0).addSecs(minutes[i] * 60).toString(QStringLiteral("HH:mm")));
                all << line;
                (i < 2 ? late : older) << line;  // four older punches a day: the history has only closed pairs
            }
        }
    }
    import(older);
    import(late);
    const QStringList afterLate = table();
    db().execute(QStringLiteral("DELETE FROM [Time Attendance]"));
    import(all);
    EXPECT_EQ(afterLate, table());
}

TEST_F(SorbTest, WalkStopsAtTheFirstStoredCopyAndUntouchedRowsKeepEveryColumn)
{
    db().execute(QStringLiteral("ALTER TABLE [Time Attendance] ADD COLUMN Note TEXT"));
    store({"7,2004-03-09,11,08:00:00,2004-03-09,12:00:00,4,0", "7,2004-03-09,11,10:00:00,2004-03-09,16:00:00,6,0",
           "7,2004-03-09,11,11:00:00,2004-03-09,18:00:00,7,0"});
    db().execute(QStringLiteral("UPDATE [Time Attendance] SET Note = 'kept'"));
    // 10:00 is the second row's IN: the first row is taken apart, the third (after the copy) is not.
    import({"7,03/09/04,10:00"});
    EXPECT_EQ(table(QStringLiteral("ID, Note, ")),
              (QStringList{"4 - 7 2004-03-09 11 08:00:00 2004-03-09 12:00:00 4 0",
                           "2 kept 7 2004-03-09 11 10:00:00 2004-03-09 16:00:00 6 0",
                           "3 kept 7 2004-03-09 11 11:00:00 2004-03-09 18:00:00 7 0"}));
}

TEST_F(SorbTest, FailureInTheSecondPassLeavesTheTableAsItWasAndKeepsTheFile)
{
    store({"7,2004-03-09,11,08:00:00,2004-03-09,17:00:00,9,0", "8,2004-03-09,11,08:00:00,-,-,0,0"});
    db().execute(QStringLiteral("CREATE TRIGGER fail BEFORE INSERT ON [Time Attendance] WHEN NEW.EmpID = '7' "
                                "BEGIN SELECT abs(-9223372036854775807 - 1); END"));
    const QStringList before = table(QStringLiteral("ID, ")), objects = rows(QStringLiteral("SELECT name FROM sqlite_master"));
    EXPECT_FALSE(import({"7,03/09/04,12:00", "8,03/09/04,12:00"}));
    EXPECT_EQ(table(QStringLiteral("ID, ")), before);
    EXPECT_EQ(rows(QStringLiteral("SELECT name FROM sqlite_master")), objects) << "no work table";
    EXPECT_TRUE(QFile::exists(state().F01Path));
    EXPECT_TRUE(boxTexts().value(0).startsWith(QStringLiteral("Clock data was NOT imported successfully!\nCard 7: ")));
    EXPECT_FALSE(frmProgressBar::instance()->isVisible());
}

TEST_F(SorbTest, ProgressShowsForMoreThanTenRowsInBothPasses)
{
    frmProgressBar *form = frmProgressBar::instance();
    QStringList seen;  // what the window showed whenever the run let it paint
    QTimer sample;
    QObject::connect(&sample, &QTimer::timeout, [&] {
        if (form->isVisible())
            seen << form->lblProcess->text() + u'|' + form->lblPush->text() + u'|' + form->lblPercent->text();
    });
    sample.start(0);
    for (const int rowsInFile : {10, 11}) {
        QStringList lines;
        for (int i = 0; i < rowsInFile; ++i)
            lines << QStringLiteral("%1,03/09/04,08:00").arg(i);
        seen.clear();
        ASSERT_TRUE(import(lines));
        EXPECT_FALSE(form->isVisible()) << "hidden at the end";
        EXPECT_EQ(form->lblProcess->text(), QStringLiteral("Processed: ")) << "labels set even when not shown";
        EXPECT_EQ(form->lblPush->text(), QStringLiteral("Processing data"));
        if (rowsInFile == 10) {
            EXPECT_TRUE(seen.isEmpty());
            continue;
        }
        ASSERT_FALSE(seen.isEmpty());
        EXPECT_EQ(seen.first(), QStringLiteral("Imported: |Importing file|09 %"));
        EXPECT_TRUE(seen.contains(QStringLiteral("Imported: |Importing file|100 %")));
        EXPECT_TRUE(seen.contains(QStringLiteral("Processed: |Processing data|09 %")));
        EXPECT_EQ(seen.last(), QStringLiteral("Processed: |Processing data|100 %"));
    }
    EXPECT_EQ(frmProgressBar::existing(), form) << "hidden, never closed";
    Sorb01::UpdateProgressBar(14, 1);
    EXPECT_EQ(form->lblPercent->text(), QStringLiteral("07 %"));
    EXPECT_EQ(Sorb01::ProgressPercent(8, 1), 12) << "12.5 to the even 12";
    EXPECT_EQ(Sorb01::ProgressPercent(8, 3), 38) << "37.5 to the even 38";
}

// A write the product refuses (a locked pay period) ends every posting with
// its box; nothing stored changes and the posting file stays for the next run.
TEST_F(PostingTest, ARefusedWriteFailsThePostingAndKeepsItsFile)
{
    const QString attendanceColumns = QStringLiteral("EmpID, TDate, Week, ClockIn, DateOut, ClockOut, TotalHrs, TotalMin");
    const QString locked = QStringLiteral("BEGIN SELECT RAISE(ABORT, 'pay period locked'); END");
    const auto sorb = [] { return Sorb01::ImportSorbClockData(); };
    const auto attendance = [] { return PostTimeAttendance(); };
    const auto labor = [] { return PostLabor(laborMembers()[2]); };
    const struct {
        const char *fault;
        ProductDb::Product product;
        QString table, columns, stored, trigger;
        QString State::*file;
        QByteArray line;
        std::function<bool()> post;
        QString cause;
    } cases[] = {
        {"batch insert", ProductDb::Product::Sorb, "Time Attendance", attendanceColumns,
         "7,2004-03-09,11,08:00:00,2004-03-09,17:00:00,9,0", "BEFORE INSERT ON [Time Attendance] " + locked,
         &State::F01Path, "7,03/09/04,12:00", sorb, "Card 7: pay period locked"},
        {"batch delete ignored", ProductDb::Product::Sorb, "Time Attendance", attendanceColumns,
         "7,2004-03-09,11,08:00:00,2004-03-09,17:00:00,9,0",
         "BEFORE DELETE ON [Time Attendance] BEGIN SELECT RAISE(IGNORE); END", &State::F01Path, "7,03/09/04,12:00",
         sorb, "Card 7: "},
        {"attendance close", ProductDb::Product::Vesk, "Time Attendance", attendanceColumns,
         "7,2004-03-09,11,08:00:00,-,-,0,0", "BEFORE UPDATE ON [Time Attendance] " + locked, &State::F01Path,
         "7,03/09/04,12:00", attendance, "Card 7: pay period locked"},
        {"put in front", ProductDb::Product::Vesk, "Time Attendance", attendanceColumns,
         "7,2004-03-09,11,13:00:00,-,-,0,0", "BEFORE UPDATE ON [Time Attendance] " + locked, &State::F01Path,
         "7,03/09/04,08:00", attendance, "Card 7: pay period locked"},
        {"labor close", ProductDb::Product::Brix, "Labor Track3",
         "EmpID, [Job Code], StartDate, StartTime, EndDate, EndTime, TotalHrs, TotalMin", "7,J1,2004-03-09,08:00:00,-,-,0,0",
         "BEFORE UPDATE ON [Labor Track3] " + locked, &State::F3Path, "7,J1,03/09/04,12:00", labor,
         "Card 7: pay period locked"},
    };
    for (const auto &c : cases) {
        openProduct(c.product);
        store(c.table, c.columns, {c.stored});
        db().execute(QStringLiteral("CREATE TRIGGER locked ") + c.trigger);
        const QStringList before = rows(QStringLiteral("SELECT * FROM [%1]").arg(c.table));
        writeFile(QFileInfo(state().*c.file).fileName().prepend(QStringLiteral("Data/")), c.line + "\r\n");
        Platform::Ui::clearShown();
        answerOk();
        EXPECT_FALSE(c.post()) << c.fault;
        EXPECT_EQ(rows(QStringLiteral("SELECT * FROM [%1]").arg(c.table)), before) << c.fault;
        EXPECT_TRUE(QFile::exists(state().*c.file)) << c.fault;
        ASSERT_EQ(boxTexts().size(), 1) << c.fault;
        const QStringList box = boxTexts().front().split(QLatin1Char('\n'));
        EXPECT_TRUE(box.value(0).endsWith(QStringLiteral("NOT imported successfully!"))) << c.fault;
        EXPECT_TRUE(box.value(1).startsWith(c.cause)) << c.fault;
        EXPECT_EQ(box.value(2), QStringLiteral("The clock records are kept in %1 and will be posted with the next import.")
                                    .arg(state().*c.file)) << c.fault;
    }
    delete static_cast<QObject *>(frmProgressBar::existing());
}

// The clock-out before the day start on the first day of week 1 belongs to
// the last week of the year before, where its clock-in is: the night closes
// there and its hours count in that week, in each of the three postings.
TEST_F(PostingTest, TheNightShiftAtTheTurnOfTheYearClosesInItsWeek)
{
    // 1 January 2018 was a Monday, the first day of week 1; 1 January 2020 a Wednesday.
    const struct {
        QDate in;
        int week;
    } nights[] = {{QDate(2017, 12, 31), 53}, {QDate(2019, 12, 29), 52}};
    const QString columns = QStringLiteral("SELECT EmpID, TDate, Week, ClockIn, DateOut, ClockOut, TotalHrs, TotalMin "
                                           "FROM [Time Attendance]");
    for (const auto &n : nights) {
        const QDate out = n.in.addDays(1);
        const QString closed = QStringLiteral("7 %1 %2 22:00:00 %3 05:00:00 7 0").arg(DbDate(n.in)).arg(n.week).arg(DbDate(out));
        const QByteArray file = "7," + n.in.toString(u"MM/dd/yy").toLatin1() + ",22:00\r\n7," +
                                out.toString(u"MM/dd/yy").toLatin1() + ",05:00\r\n";
        // With 38 hours in the week already, the night's 7 are 2 straight and 5 overtime.
        openProduct(ProductDb::Product::Vesk);
        setCompany(2, QTime(6, 0), 5);
        db().execute(QStringLiteral("INSERT INTO [Hours Worked] (EmpID, TDate, Week, [Straight Hrs], [OT Hrs], [DT Hrs]) "
                                    "VALUES ('7', ?, ?, 38, 0, 0)"), {DbDate(n.in.addDays(-2)), n.week});
        writeFile(QStringLiteral("Data/F01.txt"), file);
        answerOk();
        EXPECT_TRUE(PostTimeAttendance());
        EXPECT_EQ(rows(columns), QStringList{closed});
        EXPECT_EQ(hoursWorked().value(1), QStringLiteral("7 %1 %2 2 5").arg(DbDate(n.in)).arg(n.week));

        openProduct(ProductDb::Product::Sorb);
        writeFile(QStringLiteral("Data/F01.txt"), file);
        answerOk();
        EXPECT_TRUE(Sorb01::ImportSorbClockData());
        EXPECT_EQ(rows(columns), QStringList{closed}) << "batch";

        db().execute(QStringLiteral("DELETE FROM [Time Attendance]"));
        ASSERT_TRUE(Sorb01::StartRealTimeChecks(false));
        setCompany(2, QTime(6, 0), 5);
        EXPECT_TRUE(Sorb01::PostSorbPunch(n.in, QTime(22, 0), QStringLiteral("7")));
        EXPECT_TRUE(Sorb01::PostSorbPunch(out, QTime(5, 0), QStringLiteral("7")));
        EXPECT_EQ(rows(columns), QStringList{closed}) << "single punches";
        Sorb01::EndRealTimeChecks();
    }
}

// The run yields inside its transaction (its window paints): a posting begun
// in there would close the database under it, so it is refused.
TEST_F(SorbTest, APostingBegunWhileTheRunYieldsIsRefused)
{
    AppMain::settings().TargetType = QStringLiteral("Kovra-Sorb 5.0");
    QByteArray log;
    for (int badge = 1; badge <= 11; ++badge)  // more than ten: the window shows
        log += "P0\x1e" + QByteArray::number(badge) + "\x1e\x1f" "040309080000\x03\r\n";
    writeFile(QStringLiteral("Data/poll.log"), log);
    bool second = true;
    QTimer::singleShot(0, [&] { second = PostPolledData(file(QStringLiteral("Data/poll.log"))); });
    answerOk(2);  // the refusal, then the run's closing box
    EXPECT_TRUE(PostPolledData(file(QStringLiteral("Data/poll.log"))));
    EXPECT_FALSE(second);
    EXPECT_EQ(boxTexts(), (QStringList{"Clock data cannot be imported while a clock operation is running (posting).",
                                       "Clock data was imported successfully!"}));
    state().TargetDb = Platform::Database::open(productFile());
    EXPECT_EQ(table().size(), 11);
}
