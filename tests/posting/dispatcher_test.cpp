// Posting clock data to each target, as Import Clock Data and the poll ends do, also when the product or the folder refuses.
#include "app/frmMDI.h"
#include "platform/comm/fakecomm.h"
#include "platform/files.h"
#include "platform/ui.h"
#include "polling/PollFiles.h"
#include "posting/HoursWorked.h"
#include "posting/Sorb01.h"
#include "tests/posting/PostingFixture.h"

#include <QAction>
#include <QFile>
#include <QScopeGuard>

#include <cerrno>

#include <sys/stat.h>

using namespace KovraDS;
using Platform::Ui::Shown;

namespace {

QByteArray punch(const QByteArray &badge, const QByteArray &stamp)
{
    return "P0\x1e" + badge + "\x1e\x1f" + stamp + "\x03\r\n";
}

// Employees 7 and 8 on Tuesday 9 March 2004: 7 in and out, 8 in.
const QByteArray kDay = punch("7", "040309080000") + punch("7", "040309120000") + punch("8", "040309081500");

// A member punch of 9 March 2004 as a continuous poll keeps it in POLLM.txt.
QByteArray memberLine(const QByteArray &card, const QByteArray &hhmm)
{
    return "\\A!\x1dP00\x1e" + card + "\x1e\x1f" "040309" + hhmm + "001\x03\r\n";
}

} // namespace

class DispatcherTest : public PostingTest {
protected:
    void SetUp() override
    {
        PostingTest::SetUp();
        installDefaultDatabase();
        openMainDb();
        InstallHooks();
    }

    void target(const QString &type, ProductDb::Product product = ProductDb::Product::Vesk)
    {
        AppMain::settings().TargetType = type;
        openProduct(product);
        db().execute(QStringLiteral("INSERT INTO Employee (ID) VALUES ('7'), ('8')"));
        CloseTargetDb();
    }

    QString poll(const QByteArray &bytes)
    {
        writeFile(QStringLiteral("Data/DATA0309.log"), bytes);
        return file(QStringLiteral("Data/DATA0309.log"));
    }

    QByteArray read(const QString &name) const
    {
        QFile f(file(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
    }

    static QStringList boxes()
    {
        QStringList out;
        for (const Shown &s : Platform::Ui::shown()) {
            if (s.kind == QLatin1String("msgbox"))
                out << QStringLiteral("%1|%2|%3").arg(s.title, s.text).arg(s.style);
        }
        return out;
    }

    static QStringList productRows(const QString &sql)
    {
        KovraDS::state().TargetDb = Platform::Database::open(AppMain::settings().TargetDbPath);
        return rows(sql);
    }
};

TEST_F(DispatcherTest, ImportClockDataPostsAttendanceAndHoursWorked)
{
    target(QStringLiteral("Kovra-Vesk"));
    frmMDI *w = frmMDI::instance();
    w->setCommControl(std::make_unique<Platform::FakeCommControl>());
    Platform::Ui::queueFile(Platform::Ui::FileAnswer{poll(kDay), false});
    Platform::Ui::queueAnswer(Platform::Ui::Answer::Ok);
    w->mnuDataImportData->trigger();

    EXPECT_EQ(boxes(), QStringList{QStringLiteral("Kovra-TEV|Clock data was imported successfully!|64")});
    EXPECT_FALSE(QFile::exists(state().F01Path));
    EXPECT_FALSE(state().TargetDb.isOpen());
    EXPECT_EQ(productRows(QStringLiteral("SELECT EmpID, ClockIn, ClockOut, TotalHrs, Recalculate FROM [Time Attendance] "
                                         "ORDER BY EmpID")),
              (QStringList{QStringLiteral("7 08:00:00 12:00:00 4 0"), QStringLiteral("8 08:15:00 - 0 0")}));
    EXPECT_EQ(hoursWorked(), (QStringList{QStringLiteral("7 2004-03-09 11 4 0"), QStringLiteral("8 2004-03-09 11 0 0")}));
}

TEST_F(DispatcherTest, UnreadableRecordsArePassedOverAndCountedInOneBox)
{
    Platform::Ui::queueAnswer(Platform::Ui::Answer::Ok);
    Platform::Ui::queueAnswer(Platform::Ui::Answer::Ok);
    target(QStringLiteral("Kovra-Vesk"));
    const QByteArray lines = punch("7", "040309080000") + punch("7", "0403") + "P0\x1e\x1e" "7\x1e\x1f" "040309090000\r\n" +
                             punch("7", "040309120000");
    EXPECT_TRUE(PostPolledData(poll(lines)));
    EXPECT_EQ(boxes(), (QStringList{QStringLiteral("Kovra-TEV|Clock data was imported successfully!|64"),
                                    QStringLiteral("Kovra-TEV|2 clock record(s) could not be imported.|48")}));
    EXPECT_EQ(productRows(QStringLiteral("SELECT ClockIn, ClockOut FROM [Time Attendance]")),
              QStringList{QStringLiteral("08:00:00 12:00:00")});
}

TEST_F(DispatcherTest, ADatabaseThatCannotBeOpenedKeepsThePostingFile)
{
    target(QStringLiteral("Kovra-Vesk"));
    AppMain::settings().TargetDbPath = file(QStringLiteral("gone.db"));
    Platform::Ui::queueAnswer(Platform::Ui::Answer::Ok);
    EXPECT_TRUE(PostPolledData(poll(kDay)));
    EXPECT_EQ(boxes(), QStringList{"Kovra Error#: 3024|Database file is not found!\nThe clock records are kept in " +
                                   state().F01Path + " and will be posted with the next import.|16"});
    EXPECT_EQ(read(QStringLiteral("Data/F01.txt")),
              QByteArray("7,03/09/04,08:00\r\n7,03/09/04,12:00\r\n8,03/09/04,08:15\r\n"));
}

TEST_F(DispatcherTest, AMissingTableFailsTheRunWithNothingWritten)
{
    target(QStringLiteral("Kovra-Vesk"));
    Platform::Database::open(productFile()).execute(QStringLiteral("DROP TABLE Employee"));
    Platform::Ui::queueAnswer(Platform::Ui::Answer::Ok);
    EXPECT_TRUE(PostPolledData(poll(kDay)));
    ASSERT_EQ(boxes().size(), 1);
    EXPECT_TRUE(boxes()[0].startsWith(QStringLiteral("Kovra Error#: 3078|Clock data was NOT imported successfully!\n")));
    EXPECT_TRUE(boxes()[0].contains(QStringLiteral("kept in ") + state().F01Path));
    EXPECT_EQ(productRows(QStringLiteral("SELECT COUNT(*) FROM [Time Attendance]")), QStringList{QStringLiteral("0")});
    EXPECT_EQ(read(QStringLiteral("Data/F01.txt")).count('\n'), 3);
}

TEST_F(DispatcherTest, WithoutHoursWorkedThePunchesArePostedAndTheRecalculationFails)
{
    target(QStringLiteral("Kovra-Vesk"));
    Platform::Database::open(productFile()).execute(QStringLiteral("DROP TABLE [Hours Worked]"));
    Platform::Ui::queueAnswer(Platform::Ui::Answer::Ok);
    EXPECT_TRUE(PostPolledData(poll(kDay)));
    EXPECT_EQ(boxes(), QStringList{"Kovra Error#: 3078|Hours worked could not be recalculated.\nno such table: Hours Worked|16"});
    EXPECT_EQ(productRows(QStringLiteral("SELECT COUNT(*) FROM [Time Attendance]")), QStringList{QStringLiteral("2")});
    EXPECT_FALSE(QFile::exists(state().F01Path));
}

TEST_F(DispatcherTest, AFileThatCannotBeReadStopsThePosting)
{
    AppMain::settings().TargetType = QStringLiteral("Kovra-Sorb 5.0");
    Platform::Ui::queueAnswer(Platform::Ui::Answer::Ok);
    EXPECT_FALSE(PostPolledData(file(QStringLiteral("Data/none.log"))));
    EXPECT_EQ(boxes(), QStringList{QStringLiteral("Kovra-TEV|An error occurred when extracting data from clock transaction|0")});
    EXPECT_FALSE(QFile::exists(state().F01Path));
}

TEST_F(DispatcherTest, LaborPunchesAreAppendedToWhatAFailedRunLeft)
{
    target(QStringLiteral("Kovra-Brix"), ProductDb::Product::Brix);
    writeFile(QStringLiteral("Data/F1.txt"), "5,W,P,J,03/08/04,08:00\r\n");
    writeFile(QStringLiteral("Data/KovraTEV.txt"), "0,99,03/01/04,07:00\r\n");  // a text target's, not ours
    const QByteArray keyed = "P1\x1e" "7\x1e\x1f" "0403091000000W1\x1eP1\x1eJ1\x1e\x03\r\n";
    Platform::Ui::queueAnswer(Platform::Ui::Answer::Ok);  // attendance
    Platform::Ui::queueAnswer(Platform::Ui::Answer::Ok);  // labor
    EXPECT_TRUE(PostPolledData(poll(kDay + keyed)));
    // Both the kept punch and the new one reached the table; the file went after the posting.
    EXPECT_EQ(rows(QStringLiteral("SELECT EmpID, WorkOrderNo, StartDate FROM [Labor Tracking] ORDER BY EmpID")),
              (QStringList{QStringLiteral("5 W 2004-03-08"), QStringLiteral("7 W1 2004-03-09")}));
    EXPECT_FALSE(QFile::exists(state().F1Path));
    EXPECT_FALSE(QFile::exists(state().F01Path));
    EXPECT_EQ(read(QStringLiteral("Data/KovraTEV.txt")), QByteArray("0,99,03/01/04,07:00\r\n"));
    EXPECT_TRUE(state().TargetDb.isOpen());
    EXPECT_EQ(rows(QStringLiteral("SELECT COUNT(*) FROM [Time Attendance]")), QStringList{QStringLiteral("2")});
}

TEST_F(DispatcherTest, TextTargetNamesAndLines)
{
    state().Today = QDate(2026, 11, 5);
    AppMain::TextFileSettingsRec &text = AppMain::settings().TextFileSettings;
    const struct {
        const char *name;
        quint8 daily;
        QString expected;
    } cases[] = {
        {"", 0, file(QStringLiteral("Data/KovraTEV.txt"))},
        {"", 1, file(QStringLiteral("Data/KovraTEV1105.txt"))},
        {"/out/clock.data.txt", 0, QStringLiteral("/out/clock.data.txt")},
        {"/out/clock.data.txt", 1, QStringLiteral("/out/clock1105.data.txt")},
        {"/out/clock", 1, QStringLiteral("/out/clock1105")},
    };
    for (const auto &c : cases) {
        text.TextFileName = QString::fromLatin1(c.name);
        text.DailyTextFile = c.daily;
        EXPECT_EQ(TextTargetFile(), c.expected) << c.name;
    }

    AppMain::settings().TargetType = QStringLiteral("Text Files");
    text.TextFileName = file(QStringLiteral("Data/out.txt"));
    text.DailyTextFile = 0;
    const QString log = poll(punch("7", "040309080000"));
    EXPECT_TRUE(PostPolledData(log));
    text.TextRecordFormat = 1;
    EXPECT_TRUE(PostPolledData(log));
    EXPECT_EQ(read(QStringLiteral("Data/out.txt")), QByteArray("0,7,03/09/04,08:00\r\n0,7,09/03/04,08:00\r\n"));
    EXPECT_TRUE(boxes().isEmpty());
}

// Another program reads the product past the busy time-out while TEV commits: the commit is rolled back,
// the punches stay where they were, the product can use its file and the next posting posts them once.
TEST_F(DispatcherTest, AFailedCommitLocksNothingAndTheNextPostingPostsOnce)
{
    using enum ProductDb::Product;
    const QByteArray plain = punch("7", "040309080000"), keyed = "P1\x1e" "7\x1e\x1f" "0403091000000W1\x1eP1\x1eJ1\x1e\x03\r\n";
    const QString in = "SELECT group_concat(ClockIn) FROM [Time Attendance]", f01 = "kept in " + state().F01Path;
    const struct {
        const char *kind;
        ProductDb::Product product;
        QByteArray punches;  // none: one punch of a continuous poll
        QString kept, query, posted;
    } kinds[] = {
        {"attendance run", Brix, plain, f01, in, "08:00:00"},
        {"labor", Brix, keyed, "kept in " + state().F1Path, "SELECT group_concat(StartTime) FROM [Labor Tracking]", "10:00:00"},
        {"access-control batch", Sorb, plain, f01, in, "08:00:00"},
        // The punch is stored already: only its day's hours are left to write.
        {"hours worked", Brix, plain, {}, "SELECT group_concat([Straight Hrs]) FROM [Hours Worked]", "4.0"},
        {"real-time punch", Sorb, {}, {}, in, "08:00:00"},
    };
    for (const auto &k : kinds) {
        SCOPED_TRACE(k.kind);
        Platform::Ui::clearShown();
        target(k.product == Sorb ? "Kovra-Sorb 5.0" : "Kovra-Brix", k.product);
        const Platform::Database reader = Platform::Database::open(productFile());
        if (QByteArray(k.kind) == "hours worked")
            reader.execute("INSERT INTO [Time Attendance] VALUES (1, '7', '2004-03-09', 11, '08:00:00', '2004-03-09', "
                           "'12:00:00', 4, 0, 1)");
        ASSERT_TRUE(!k.punches.isEmpty() || Sorb01::StartRealTimeChecks(false));
        const auto post = [&] {
            k.punches.isEmpty() ? Sorb01::PostSorbPunch(QDate(2004, 3, 9), QTime(8, 0), "7") : PostPolledData(poll(k.punches));
        };
        QSqlQuery read = reader.query("SELECT * FROM sqlite_master");  // not read to its end: it holds the file
        answerOk();
        post();
        read.finish();
        const QString box = boxTexts().value(0);
        EXPECT_TRUE(box.contains("Cannot commit: database is locked") && box.contains(k.kept)) << box.toStdString();
        EXPECT_NO_THROW(reader.execute("INSERT INTO Employee (ID) VALUES ('x')")) << "the product is locked out of its file";
        answerOk(k.punches.isEmpty() ? 0 : 1);
        post();
        EXPECT_EQ(reader.snapshot(k.query).rows()[0].value(0).toString(), k.posted);
    }
}

// A schedule time not in the stored form fails the check; its read is let go all the same.
TEST_F(DispatcherTest, AMalformedScheduleTimeLeavesTheProductWritable)
{
    target("Kovra-Sorb 5.0", ProductDb::Product::Sorb);
    ASSERT_TRUE(Sorb01::StartRealTimeChecks(false));
    store("Schedule Days", "ScheduleNo, TheDay, StartTime, EndTime", {"001,2,08:00,17:00", "001,3,08:00,17:00"});
    for (const int dayStart : {0, 6}) {  // Tuesday's row; before a 06:00 day start, Monday's too
        SetDayStartTime(QTime(dayStart, 0));
        EXPECT_THROW(Sorb01::CheckSchedule("001", QDate(2004, 3, 9), QTime(5, 0)), Platform::Error);
        EXPECT_NO_THROW(Platform::Database::open(productFile()).execute("INSERT INTO Employee (ID) VALUES ('x')")) << dayStart;
    }
}

// POLLM.txt and the text target's POLL.txt that cannot be deleted are
// emptied once posted: three poll ends post each punch once.
TEST_F(DispatcherTest, KeptFilesThatCannotBeDeletedPostEachPunchOnce)
{
    target("Kovra-Sorb 5.0", ProductDb::Product::Sorb);
    AppMain::settings().TextFileSettings.TextFileName = file("out.txt");  // outside the folder, which takes no new file
    const QString pollFile = PollFiles::PollFilePath(), members = PollFiles::MemberPollFilePath();
    writeFile("Data/POLL.txt", {});
    writeFile("Data/POLLM.txt", {});
    // The folder takes writes and refuses deletes: by its mode, and in the file layer for root, whom modes do not stop.
    const QByteArray data = QFile::encodeName(file("Data"));
    ::chmod(data.constData(), 0555);
    Platform::setRemover([](const char *) { return errno = EACCES, -1; });
    const auto restore = qScopeGuard([&] { ::chmod(data.constData(), 0755); Platform::setRemover(nullptr); });
    for (const QByteArray hhmm : {"0800", "0900", "1000"}) {
        PollFiles::AppendLine(members, memberLine("5", hhmm).chopped(2));
        EXPECT_TRUE(Sorb01::PostKeptMemberPunches(members));
        AppMain::settings().TargetType = "Text Files";
        PollFiles::AppendLine(pollFile, punch("7", "040309" + hhmm + "00").chopped(2));
        EXPECT_EQ(PollFiles::FinishPollFile(pollFile, true, PollFiles::PostPolledData), PollFiles::Finish::Posted);
        AppMain::settings().TargetType = "Kovra-Sorb 5.0";
    }
    EXPECT_EQ(read("out.txt"), QByteArray("0,7,03/09/04,08:00\r\n0,7,03/09/04,09:00\r\n0,7,03/09/04,10:00\r\n"));
    EXPECT_EQ(productRows("SELECT ClockIn FROM [Time Attendance1]"), (QStringList{"08:00:00", "09:00:00", "10:00:00"}));
}

// Member cards refused by ABORT and by ROLLBACK are passed over, counted, named
// and kept apart; the others are posted, and no later poll end tries them again.
TEST_F(DispatcherTest, RefusedMemberCardsAreKeptApartAndTheOthersPosted)
{
    target("Kovra-Sorb 5.0", ProductDb::Product::Sorb);
    Platform::Database::open(productFile()).execute(
        "CREATE TRIGGER refuse BEFORE INSERT ON [Time Attendance1] BEGIN SELECT RAISE(ABORT, 'weekdays only') "
        "WHERE NEW.EmpID = '77'; SELECT RAISE(ROLLBACK, 'banned') WHERE NEW.EmpID = '78'; END");
    writeFile("Data/POLLM.txt", memberLine("5", "0800") + memberLine("77", "0801") + memberLine("6", "0802") +
                                    memberLine("78", "0803") + memberLine("9", "0804"));
    answerOk(2);
    EXPECT_TRUE(Sorb01::PostKeptMemberPunches(PollFiles::MemberPollFilePath()));
    EXPECT_EQ(boxes(), (QStringList{"Kovra Error#: 3022|Time Attendance1 refused these member punches; they are passed over and "
                                    "their lines kept in " + Sorb01::RefusedMemberFilePath() +
                                        ":\nCard 77: weekdays only\nCard 78: banned|16",
                                    "Kovra-TEV|2 clock record(s) could not be imported.|48"}));
    EXPECT_EQ(read("Data/POLLMREF.txt"), memberLine("77", "0801") + memberLine("78", "0803"));
    EXPECT_EQ(productRows("SELECT EmpID FROM [Time Attendance1]"), (QStringList{"5", "6", "9"}));
    EXPECT_FALSE(QFile::exists(PollFiles::MemberPollFilePath()));
}

// A trigger's RAISE(ROLLBACK) undoes the whole transaction: a refused new pair is passed over and counted as
// under ABORT, a refused close fails the run with the product's own text; the punches before either stay posted.
TEST_F(DispatcherTest, RollbackByATriggerIsARefusalLikeAbort)
{
    const auto post = [this](const QString &event, const QString &when, int boxes) {
        Platform::Ui::clearShown();
        target("Kovra-Vesk");
        const QString trigger = QStringLiteral("CREATE TRIGGER closed BEFORE %1 ON [Time Attendance] WHEN NEW.%2 "
                                               "BEGIN SELECT RAISE(ROLLBACK, 'payroll is closed'); END");
        Platform::Database::open(productFile()).execute(trigger.arg(event, when));
        answerOk(boxes);
        PostPolledData(poll(kDay + punch("8", "040309170000")));
        return boxTexts().join('|');
    };
    EXPECT_EQ(post("INSERT", "ClockIn = '08:15:00'", 2),
              "Clock data was imported successfully!|1 clock record(s) could not be imported.");
    EXPECT_EQ(productRows("SELECT EmpID, ClockOut FROM [Time Attendance]"), (QStringList{"7 12:00:00", "8 -"}));
    EXPECT_EQ(post("UPDATE", "EmpID = '7'", 1),
              "Clock data was NOT imported successfully!\nCard 7: payroll is closed\nThe clock records are kept in " +
                  state().F01Path + " and will be posted with the next import.");
    EXPECT_EQ(productRows("SELECT EmpID, ClockOut FROM [Time Attendance]"), QStringList{"7 -"});
}

// With a case-sensitive EmpID, A7 and a7 are two employees, each with his own hours.
TEST_F(DispatcherTest, BadgesThatDifferInCaseKeepTheirOwnHours)
{
    writeFile("product.db", {});
    state().TargetDb = Platform::Database::open(productFile());
    for (QString sql : ProductDb::schema(ProductDb::Product::Vesk))
        db().execute(sql.replace("EmpID TEXT COLLATE NOCASE", "EmpID TEXT"));
    store("Time Attendance", "EmpID, TDate, Week, ClockIn, TotalHrs, TotalMin, Recalculate",
          {"A7,2004-03-09,11,08:00:00,4,0,1", "a7,2004-03-09,11,09:00:00,8,0,1"});
    HoursWorked(db()).recalculate();
    EXPECT_EQ(hoursWorked(), (QStringList{"A7 2004-03-09 11 4 0", "a7 2004-03-09 11 8 0"}));
}
