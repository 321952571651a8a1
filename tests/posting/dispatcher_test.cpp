// Posting a clock data file to each target, as Data > Import Clock Data does.
#include "app/frmMDI.h"
#include "platform/comm/fakecomm.h"
#include "platform/ui.h"
#include "tests/posting/PostingFixture.h"

#include <QAction>
#include <QFile>

using namespace KovraDS;
using Platform::Ui::Shown;

namespace {

QByteArray punch(const QByteArray &badge, const QByteArray &stamp)
{
    return "P0\x1e" + badge + "\x1e\x1f" + stamp + "\x03\r\n";
}

// Employees 7 and 8 on Tuesday 9 March 2004: 7 in and out, 8 in.
const QByteArray kDay = punch("7", "040309080000") + punch("7", "040309120000") + punch("8", "040309081500");

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
    EXPECT_EQ(boxes(), QStringList{QStringLiteral("Kovra Error#: 3024|Database file is not found!|16")});
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
    EXPECT_EQ(boxes(), QStringList{QStringLiteral("Kovra Error#: 3078|Hours worked could not be recalculated.|16")});
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
