// Posting clock data to each target, as Data > Import Clock Data and the poll ends do, also into a
// product that another program holds or whose triggers refuse rows, and from a folder that refuses deletes.
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

#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

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

QByteArray &refusingPrefix()
{
    static QByteArray prefix;
    return prefix;
}

// The data folder refuses deletes and takes writes: by its permissions, or
// as root, whom they do not stop, through the file layer's seam.
struct UndeletableData {
    explicit UndeletableData(const QString &folder) : path(QFile::encodeName(folder))
    {
        refusingPrefix() = path + '/';
        if (::geteuid() != 0)
            ::chmod(path.constData(), 0555);
        else
            Platform::setRemover([](const char *p) {
                return QByteArray(p).startsWith(refusingPrefix()) ? (errno = EACCES, -1) : ::unlink(p);
            });
    }
    ~UndeletableData()
    {
        ::chmod(path.constData(), 0755);
        Platform::setRemover(nullptr);
    }
    QByteArray path;
};

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

    // The first column of a query, through a connection of the test's own.
    QStringList ownRows(const QString &sql) const
    {
        QStringList out;
        for (const QSqlRecord &r : Platform::Database::open(productFile()).snapshot(sql).rows())
            out << r.value(0).toString();
        return out;
    }

    // Whether another program can read and write the product file.
    bool writable() const
    {
        try {
            Platform::Database::open(productFile()).execute(QStringLiteral("INSERT INTO Employee (ID) VALUES ('x')"));
            return true;
        } catch (const Platform::Error &) {
            return false;
        }
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
    EXPECT_EQ(boxes(), QStringList{QStringLiteral("Kovra Error#: 3024|Database file is not found!\nThe clock records are "
                                                  "kept in %1 and will be posted with the next import.|16")
                                       .arg(state().F01Path)});
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
    EXPECT_EQ(boxes(), QStringList{QStringLiteral("Kovra Error#: 3078|Hours worked could not be recalculated.\n"
                                                  "no such table: Hours Worked|16")});
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

// Another program reads the product past the busy time-out while TEV
// commits: the commit is rolled back, the punches stay where they were, the
// product can use its file and the next posting posts them once.
TEST_F(DispatcherTest, AFailedCommitLocksNothingAndTheNextPostingPostsOnce)
{
    const QByteArray plain = punch("7", "040309080000"), keyed = "P1\x1e" "7\x1e\x1f" "0403091000000W1\x1eP1\x1eJ1\x1e\x03\r\n";
    const QString attendance = QStringLiteral("SELECT EmpID || ' ' || ClockIn FROM [Time Attendance]");
    const struct {
        const char *kind, *target;
        ProductDb::Product product;
        QByteArray punches;  // empty: one punch of a continuous poll
        const char *keptIn;
        QString posted, row;
    } kinds[] = {
        {"real-time punch", "Kovra-Sorb 5.0", ProductDb::Product::Sorb, {}, nullptr, attendance, "7 08:00:00"},
        {"attendance run", "Kovra-Brix", ProductDb::Product::Brix, plain, "F01", attendance, "7 08:00:00"},
        {"labor", "Kovra-Brix", ProductDb::Product::Brix, keyed, "F1",
         "SELECT EmpID || ' ' || StartTime FROM [Labor Tracking]", "7 10:00:00"},
        {"access-control batch", "Kovra-Sorb 5.0", ProductDb::Product::Sorb, plain, "F01", attendance, "7 08:00:00"},
        // The punch is stored already: only its day's hours are left to write.
        {"hours worked", "Kovra-Brix", ProductDb::Product::Brix, plain, nullptr,
         "SELECT EmpID || ' ' || [Straight Hrs] FROM [Hours Worked]", "7 4.0"},
    };
    for (const auto &k : kinds) {
        SCOPED_TRACE(k.kind);
        Sorb01::EndRealTimeChecks();
        QFile::remove(state().F01Path);
        QFile::remove(state().F1Path);
        Platform::Ui::clearShown();
        target(QString::fromLatin1(k.target), k.product);
        if (k.keptIn == nullptr && !k.punches.isEmpty())
            Platform::Database::open(productFile()).execute(QStringLiteral(
                "INSERT INTO [Time Attendance] (EmpID, TDate, Week, ClockIn, DateOut, ClockOut, TotalHrs, TotalMin, "
                "Recalculate) VALUES ('7', '2004-03-09', 11, '08:00:00', '2004-03-09', '12:00:00', 4, 0, 1)"));
        if (k.punches.isEmpty()) {
            ASSERT_TRUE(Sorb01::StartRealTimeChecks(false));
        }
        const auto post = [&] {
            return k.punches.isEmpty() ? Sorb01::PostSorbPunch(QDate(2004, 3, 9), QTime(8, 0), QStringLiteral("7"))
                                       : PostPolledData(poll(k.punches));
        };
        const Platform::Database reader = Platform::Database::open(productFile());
        reader.execute(QStringLiteral("BEGIN"));
        reader.snapshot(QStringLiteral("SELECT count(*) FROM sqlite_master"));
        answerOk();
        post();
        reader.execute(QStringLiteral("COMMIT"));
        ASSERT_EQ(boxTexts().size(), 1);
        EXPECT_TRUE(boxTexts()[0].contains(QStringLiteral("Cannot commit: database is locked"))) << boxTexts()[0].toStdString();
        if (k.keptIn) {
            EXPECT_TRUE(boxTexts()[0].contains(QStringLiteral("kept in %1.txt").arg(file("Data/") + k.keptIn)));
        }
        EXPECT_TRUE(writable()) << "the product is locked out of its own file";
        EXPECT_EQ(ownRows(k.posted), QStringList{});

        Platform::Ui::clearShown();
        answerOk(k.punches.isEmpty() ? 0 : 1);
        post();
        EXPECT_FALSE(boxTexts().join(u'|').contains(QStringLiteral("NOT"))) << boxTexts().join(u'|').toStdString();
        EXPECT_EQ(ownRows(k.posted), QStringList{k.row});
    }
}

// A schedule time not in the stored form fails the check; its read is let go all the same.
TEST_F(DispatcherTest, AMalformedScheduleTimeLeavesTheProductWritable)
{
    target(QStringLiteral("Kovra-Sorb 5.0"), ProductDb::Product::Sorb);
    ASSERT_TRUE(Sorb01::StartRealTimeChecks(false));
    store(QStringLiteral("Schedule Days"), QStringLiteral("ScheduleNo, TheDay, StartTime, EndTime"),
          {QStringLiteral("001,2,08:00,17:00"), QStringLiteral("001,3,08:00,17:00")});
    for (const int dayStart : {0, 6}) {  // Tuesday's row; before a 06:00 day start, Monday's too
        SetDayStartTime(QTime(dayStart, 0));
        EXPECT_THROW(Sorb01::CheckSchedule(QStringLiteral("001"), QDate(2004, 3, 9), QTime(5, 0)), Platform::Error);
        EXPECT_TRUE(writable()) << dayStart;
    }
}

// POLLM.txt and the text target's POLL.txt that cannot be deleted are
// emptied once posted: three poll ends post each punch once.
TEST_F(DispatcherTest, KeptFilesThatCannotBeDeletedPostEachPunchOnce)
{
    target(QStringLiteral("Kovra-Sorb 5.0"), ProductDb::Product::Sorb);
    AppMain::settings().TextFileSettings.TextFileName = file(QStringLiteral("out.txt"));
    const QString pollFile = PollFiles::PollFilePath(), members = PollFiles::MemberPollFilePath();
    writeFile(QStringLiteral("Data/POLL.txt"), {});
    writeFile(QStringLiteral("Data/POLLM.txt"), {});
    const UndeletableData refusing(file(QStringLiteral("Data")));
    for (const QByteArray hhmm : {"0800", "0900", "1000"}) {
        PollFiles::AppendLine(members, memberLine("5", hhmm).chopped(2));
        EXPECT_TRUE(Sorb01::PostKeptMemberPunches(members));
        AppMain::settings().TargetType = QStringLiteral("Text Files");
        PollFiles::AppendLine(pollFile, punch("7", "040309" + hhmm + "00").chopped(2));
        EXPECT_EQ(PollFiles::FinishPollFile(pollFile, true, PollFiles::PostPolledData), PollFiles::Finish::Posted);
        AppMain::settings().TargetType = QStringLiteral("Kovra-Sorb 5.0");
    }
    EXPECT_EQ(read(QStringLiteral("out.txt")), QByteArray("0,7,03/09/04,08:00\r\n0,7,03/09/04,09:00\r\n0,7,03/09/04,10:00\r\n"));
    EXPECT_EQ(ownRows(QStringLiteral("SELECT ClockIn FROM [Time Attendance1] ORDER BY ID")),
              (QStringList{"08:00:00", "09:00:00", "10:00:00"}));
    EXPECT_TRUE(boxTexts().isEmpty());
}

// Member cards refused by ABORT and by ROLLBACK are passed over, counted,
// named and kept apart; the others are posted, and no later poll end tries them again.
TEST_F(DispatcherTest, RefusedMemberCardsAreKeptApartAndTheOthersPosted)
{
    target(QStringLiteral("Kovra-Sorb 5.0"), ProductDb::Product::Sorb);
    const Platform::Database product = Platform::Database::open(productFile());
    for (const char *refusal : {"'77' BEGIN SELECT RAISE(ABORT, 'weekdays only')", "'78' BEGIN SELECT RAISE(ROLLBACK, 'banned')"})
        product.execute(QStringLiteral("CREATE TRIGGER [%1] BEFORE INSERT ON [Time Attendance1] WHEN NEW.EmpID = %2; END")
                            .arg(QString::fromLatin1(refusal).left(4), QLatin1String(refusal)));
    const QString members = PollFiles::MemberPollFilePath(), refused = Sorb01::RefusedMemberFilePath();
    writeFile(QStringLiteral("Data/POLLM.txt"), memberLine("5", "0800") + memberLine("77", "0801") + memberLine("6", "0802") +
                                                    memberLine("78", "0803") + memberLine("9", "0804"));
    answerOk(2);
    EXPECT_TRUE(Sorb01::PostKeptMemberPunches(members));
    EXPECT_EQ(boxes(), (QStringList{"Kovra Error#: 3022|Time Attendance1 refused these member punches; they are passed over "
                                    "and their lines kept in " + refused + ":\nCard 77: weekdays only\nCard 78: banned|16",
                                    "Kovra-TEV|2 clock record(s) could not be imported.|48"}));
    EXPECT_EQ(read(QStringLiteral("Data/POLLMREF.txt")), memberLine("77", "0801") + memberLine("78", "0803"));

    writeFile(QStringLiteral("Data/POLLM.txt"), memberLine("8", "0900"));
    EXPECT_TRUE(Sorb01::PostKeptMemberPunches(members));
    EXPECT_EQ(ownRows(QStringLiteral("SELECT EmpID FROM [Time Attendance1] ORDER BY ID")), (QStringList{"5", "6", "9", "8"}));
}

// A trigger's RAISE(ROLLBACK) undoes the whole transaction: a refused new
// pair is passed over and counted as under ABORT, a refused close fails the
// run with the product's own text, and the punches before either stay posted.
TEST_F(DispatcherTest, RollbackByATriggerIsARefusalLikeAbort)
{
    const struct {
        const char *trigger;
        QStringList boxes, rows;
    } cases[] = {
        {"INSERT ON [Time Attendance] WHEN NEW.EmpID = '8'",
         {"Clock data was imported successfully!", "1 clock record(s) could not be imported."}, {"7 08:00:00", "9 08:30:00"}},
        {"UPDATE ON [Time Attendance] WHEN NEW.EmpID = '9'",
         {"Clock data was NOT imported successfully!\nCard 9: payroll is closed\nThe clock records are kept in " +
          state().F01Path + " and will be posted with the next import."},
         {"7 08:00:00", "8 08:15:00", "9 08:30:00"}},
    };
    for (const auto &c : cases) {
        Platform::Ui::clearShown();
        QFile::remove(state().F01Path);
        target(QStringLiteral("Kovra-Vesk"));
        const Platform::Database product = Platform::Database::open(productFile());
        product.execute(QStringLiteral("INSERT INTO Employee (ID) VALUES ('9')"));
        product.execute(QStringLiteral("CREATE TRIGGER closed BEFORE %1 BEGIN SELECT RAISE(ROLLBACK, 'payroll is closed'); END")
                            .arg(QLatin1String(c.trigger)));
        answerOk(int(c.boxes.size()));
        PostPolledData(poll(kDay + punch("9", "040309083000") + punch("9", "040309170000")));
        EXPECT_EQ(boxTexts(), c.boxes) << c.trigger;
        EXPECT_EQ(ownRows(QStringLiteral("SELECT EmpID || ' ' || ClockIn FROM [Time Attendance] ORDER BY EmpID")), c.rows);
    }
}

// With a case-sensitive EmpID, A7 and a7 are two employees, each with his own hours.
TEST_F(DispatcherTest, BadgesThatDifferInCaseKeepTheirOwnHours)
{
    writeFile(QStringLiteral("product.db"), {});
    state().TargetDb = Platform::Database::open(productFile());
    for (QString sql : ProductDb::schema(ProductDb::Product::Vesk))
        db().execute(sql.replace(QStringLiteral("EmpID TEXT COLLATE NOCASE"), QStringLiteral("EmpID TEXT")));
    store(QStringLiteral("Time Attendance"), QStringLiteral("EmpID, TDate, Week, ClockIn, TotalHrs, TotalMin, Recalculate"),
          {QStringLiteral("A7,2004-03-09,11,08:00:00,4,0,1"), QStringLiteral("a7,2004-03-09,11,09:00:00,8,0,1")});
    HoursWorked(db()).recalculate();
    EXPECT_EQ(hoursWorked(), (QStringList{"A7 2004-03-09 11 4 0", "a7 2004-03-09 11 8 0"}));
}
