#include "app/AppMain.h"
#include "app/frmMDI.h"
#include "app/frmSplash.h"
#include "link/SerialClk.h"
#include "platform/ui.h"
#include "posting/KovraDS.h"
#include "startup/Startup.h"
#include "tests/support/fixture/TevHome.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

namespace {

using Platform::Ui::Answer;

class StartUp : public TevHome {
protected:
    // Fills Registry with enough rows that its key index spans pages, then
    // overwrites the index's root page: the rows survive, the index does not.
    void damageRegistryIndex()
    {
        {
            Platform::Database db = Platform::Database::open(file(QStringLiteral("Clock103.mdb")));
            for (int i = 0; i < 400; ++i)
                db.execute(QStringLiteral("INSERT INTO Registry VALUES ('Filler', ?, ?)"),
                           {QStringLiteral("Field%1").arg(i), QString(40, QLatin1Char('x'))});
        }
        putSetting(QStringLiteral("Application"), QStringLiteral("Clock"), QStringLiteral("7"));
        int pageSize = 0;
        int rootPage = 0;
        {
            Platform::Database db = Platform::Database::open(file(QStringLiteral("Clock103.mdb")));
            pageSize = db.snapshot(QStringLiteral("PRAGMA page_size")).rows().front().value(0).toInt();
            rootPage = db.snapshot(QStringLiteral("SELECT rootpage FROM sqlite_master WHERE name = "
                                                  "'sqlite_autoindex_Registry_1'"))
                           .rows()
                           .front()
                           .value(0)
                           .toInt();
        }
        ASSERT_GT(rootPage, 1);
        QFile f(file(QStringLiteral("Clock103.mdb")));
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.seek(qint64(rootPage - 1) * pageSize));
        f.write(QByteArray(pageSize, '\x5A'));
    }
};

TEST_F(StartUp, MissingDatabaseEndsWithItsMessageAndCreatesNothing)
{
    Platform::Ui::queueAnswer(Answer::Ok);
    EXPECT_EQ(AppMain::Main(), AppMain::StartResult::Ended);

    const auto shown = boxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].title, QStringLiteral("Kovra Error#: 3024"));
    EXPECT_EQ(shown[0].text, QStringLiteral("Cannot start the application. The database is missing. "));
    EXPECT_EQ(shown[0].style, 16);
    EXPECT_EQ(frmSplash::existing(), nullptr);
    EXPECT_EQ(frmMDI::existing(), nullptr);
    EXPECT_FALSE(QFile::exists(file(QStringLiteral("Clock103.mdb"))));
}

TEST_F(StartUp, CorruptDatabaseAnsweredNoEndsSilentlyAndKeepsTheFile)
{
    writeFile(QStringLiteral("Clock103.mdb"), QByteArray(4096, '\x11'));
    Platform::Ui::queueAnswer(Answer::No);

    EXPECT_EQ(AppMain::Main(), AppMain::StartResult::Ended);

    const auto shown = boxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, QStringLiteral("Cannot start the application.  The Clock database is corrupt. "
                                            "Do you want to repair it?"));
    EXPECT_EQ(shown[0].style & 0x0F, Platform::Ui::Style::YesNo);
    EXPECT_EQ(QFile(file(QStringLiteral("Clock103.mdb"))).size(), 4096);
    EXPECT_EQ(frmSplash::existing(), nullptr);
}

TEST_F(StartUp, RepairOfADamagedIndexKeepsTheSettingsAndStartsTheProgram)
{
    installDefaultDatabase();
    damageRegistryIndex();
    Platform::Ui::queueAnswer(Answer::Yes);  // repair?
    Platform::Ui::queueAnswer(Answer::Ok);   // repaired

    EXPECT_EQ(AppMain::Main(), AppMain::StartResult::Running);

    const auto shown = boxes();
    ASSERT_EQ(shown.size(), 2u) << shown[1].title.toStdString() << ": " << shown[1].text.toStdString();
    EXPECT_EQ(shown[1].text, QStringLiteral("Database was repaired successfully."));
    EXPECT_EQ(AppMain::settings().ClockInterface, 7);  // read from the repaired file
    EXPECT_NE(frmSplash::existing(), nullptr);
    EXPECT_TRUE(QFile::exists(file(QStringLiteral("Clock103.mdb.damaged"))));
    const Platform::Snapshot fillers = AppMain::OpenRegKey(AppMain::state().MainDb, QStringLiteral("Filler"));
    EXPECT_EQ(fillers.size(), 400u);
    EXPECT_EQ(AppMain::GetRegValue(fillers, QStringLiteral("field399"), QString()), QString(40, QLatin1Char('x')));
}

TEST_F(StartUp, SecondRepairKeepsTheFirstDamagedFileToo)
{
    installDefaultDatabase();
    writeFile(QStringLiteral("Clock103.mdb.damaged"), QByteArrayLiteral("earlier"));
    damageRegistryIndex();
    Platform::Ui::queueAnswer(Answer::Yes);
    Platform::Ui::queueAnswer(Answer::Ok);  // repaired

    EXPECT_EQ(AppMain::Main(), AppMain::StartResult::Running);

    QFile earlier(file(QStringLiteral("Clock103.mdb.damaged")));
    ASSERT_TRUE(earlier.open(QIODevice::ReadOnly));
    EXPECT_EQ(earlier.readAll(), QByteArrayLiteral("earlier"));
    EXPECT_TRUE(QFile::exists(file(QStringLiteral("Clock103.mdb.damaged.2"))));
}

TEST_F(StartUp, RepairOfRandomBytesFailsEndsAndKeepsTheFile)
{
    QByteArray noise(8192, '\0');
    QRandomGenerator generator(42);
    for (char &b : noise)
        b = static_cast<char>(generator.bounded(256));
    writeFile(QStringLiteral("Clock103.mdb"), noise);
    Platform::Ui::queueAnswer(Answer::Yes);
    Platform::Ui::queueAnswer(Answer::Ok);  // the repair's error
    Platform::Ui::queueAnswer(Answer::Ok);  // the end

    EXPECT_EQ(AppMain::Main(), AppMain::StartResult::Ended);

    const auto shown = boxes();
    ASSERT_EQ(shown.size(), 3u);  // the question, the repair's own error, the end
    EXPECT_EQ(shown[2].text, QStringLiteral("Repair database operation failed.  Application will End"));
    EXPECT_EQ(shown[2].title, QStringLiteral("Kovra Error#: 3049"));
    QFile kept(file(QStringLiteral("Clock103.mdb")));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), noise);
    EXPECT_FALSE(QFile::exists(file(QStringLiteral("Clock103.mdb.repair"))));
    EXPECT_EQ(frmSplash::existing(), nullptr);
}

TEST_F(StartUp, EmptySettingsGiveEveryDefaultAndWriteNothing)
{
    installDefaultDatabase();

    EXPECT_EQ(AppMain::Main(), AppMain::StartResult::Running);

    const AppMain::AppSettingsRec &posting = AppMain::settings();
    EXPECT_EQ(posting.ClockInterface, 0);
    EXPECT_EQ(posting.TargetType, QStringLiteral("Text Files"));
    EXPECT_EQ(posting.TextFileSettings.TextFileName, file(QStringLiteral("Data/KovraTEV.txt")));
    EXPECT_EQ(posting.TextFileSettings.DailyTextFile, 1);
    EXPECT_EQ(posting.TextFileSettings.TextRecordFormat, 0);
    EXPECT_EQ(KovraDS::state().F01Path, file(QStringLiteral("Data/F01.txt")));
    EXPECT_EQ(KovraDS::state().F4Path, file(QStringLiteral("Data/F4.txt")));

    const AppMain::State &s = AppMain::state();
    const QString RS = QString(QChar(0x1E));
    EXPECT_EQ(s.ClkParm.ClockParameters, QStringLiteral("LPB0001063011"));
    EXPECT_EQ(s.ClkParm.BadgeLen, QStringLiteral("LPB051"));
    EXPECT_EQ(s.ClkParm.BadgeFilter, QStringLiteral("LPB040") + RS + QStringLiteral("12"));
    EXPECT_EQ(s.ClkParm.FunctionKeys, QStringLiteral("LPB021010"));
    EXPECT_EQ(s.ClkParm.RelayTimeOut, QStringLiteral("LPB030000") + RS + QStringLiteral("5000") + RS +
                                          QStringLiteral("0000") + RS + QStringLiteral("0000") + RS +
                                          QStringLiteral("0000") + RS + QStringLiteral("0000"));
    EXPECT_EQ(s.ClkParm.ClockDisplay, QStringLiteral("LPB0601"));
    EXPECT_EQ(s.ClkParm.MsgAck, QStringLiteral("LMB0100"));
    EXPECT_EQ(s.ClkParm.BadgeValidation, QStringLiteral("LEB011000000000000"));
    EXPECT_EQ(s.ClockReplyMsgs[0], QStringLiteral("Punch Accepted!     Thanks "));
    EXPECT_EQ(s.ClockReplyMsgs[3], QStringLiteral("Break Time! Please clock in later."));
    EXPECT_EQ(SerialClk::state().NAK, QString(QChar(0x15)));

    EXPECT_TRUE(s.MainDb.snapshot(QStringLiteral("SELECT * FROM Registry")).empty());
    EXPECT_TRUE(Platform::Ui::shown().empty());
    EXPECT_EQ(qEnvironmentVariable("TEV_HOSTS"), file(QStringLiteral("hosts")));
}

TEST_F(StartUp, ClockSevenPreparesNoLinkAndStarts)
{
    installDefaultDatabase();
    putSetting(QStringLiteral("Application"), QStringLiteral("Clock"), QStringLiteral("7"));

    EXPECT_EQ(AppMain::Main(), AppMain::StartResult::Running);
    EXPECT_EQ(AppMain::settings().ClockInterface, 7);
    EXPECT_EQ(AppMain::settings().TargetType, QStringLiteral("Text Files"));
}

TEST_F(StartUp, ClockThreeHundredOverflowsAndStopsReadingTheApplicationKey)
{
    installDefaultDatabase();
    putSetting(QStringLiteral("Application"), QStringLiteral("Clock"), QStringLiteral("300"));
    putSetting(QStringLiteral("Application"), QStringLiteral("Data Source"), QStringLiteral("Kovra-Vesk"));
    Platform::Ui::queueAnswer(Answer::Ok);

    EXPECT_EQ(AppMain::Main(), AppMain::StartResult::Running);

    const auto shown = boxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].title, QStringLiteral("Kovra Error#: 6"));
    EXPECT_EQ(shown[0].text, QStringLiteral("Overflow"));
    EXPECT_TRUE(AppMain::settings().TargetType.isEmpty());
    // The clock parameters are still loaded: start-up goes on.
    EXPECT_EQ(AppMain::state().ClkParm.MsgAck, QStringLiteral("LMB0100"));
}

TEST_F(StartUp, DatabaseTargetReadsItsFileAndAutoImport)
{
    installDefaultDatabase();
    putSetting(QStringLiteral("Application"), QStringLiteral("Data Source"), QStringLiteral("Kovra-Sorb 5.0"));
    putSetting(QStringLiteral("Application"), QStringLiteral("Data File"), QStringLiteral("/srv/o'hara.mdb"));
    putSetting(QStringLiteral("Application"), QStringLiteral("AutoImport"), QStringLiteral("0"));

    EXPECT_EQ(AppMain::Main(), AppMain::StartResult::Running);
    EXPECT_EQ(AppMain::settings().TargetDbPath, QStringLiteral("/srv/o'hara.mdb"));
    EXPECT_FALSE(AppMain::settings().AutoImport);
    EXPECT_TRUE(AppMain::settings().TextFileSettings.TextFileName.isEmpty());
}

TEST_F(StartUp, BadgeFilterDefaultFollowsTheSixthCharacterOfClockParameters)
{
    installDefaultDatabase();
    putSetting(QStringLiteral("Clock PARM"), QStringLiteral("ClockParameters"), QStringLiteral("LPB006106301"));

    EXPECT_EQ(AppMain::Main(), AppMain::StartResult::Running);
    EXPECT_EQ(AppMain::state().ClkParm.BadgeFilter, QStringLiteral("LPB040") + QChar(0x1E) + QStringLiteral("6"));
}

TEST_F(StartUp, StoredBadgeFilterWinsOverBothDefaults)
{
    installDefaultDatabase();
    putSetting(QStringLiteral("Clock PARM"), QStringLiteral("ClockParameters"), QStringLiteral("LPB006106301"));
    putSetting(QStringLiteral("Clock PARM"), QStringLiteral("BadgeFilter"), QStringLiteral("LPB0409"));

    EXPECT_EQ(AppMain::Main(), AppMain::StartResult::Running);
    EXPECT_EQ(AppMain::state().ClkParm.BadgeFilter, QStringLiteral("LPB0409"));
}

TEST_F(StartUp, AFolderInPlaceOfTheDatabaseIsUnreadableAndEndsWithoutRepair)
{
    // Neither missing nor damaged: the default branch of the start-up trap.
    QDir(home()).mkdir(QStringLiteral("Clock103.mdb"));
    Platform::Ui::queueAnswer(Answer::Ok);

    EXPECT_EQ(AppMain::Main(), AppMain::StartResult::Ended);

    const auto shown = boxes();
    ASSERT_EQ(shown.size(), 1u) << "no repair may be offered";
    EXPECT_EQ(shown[0].title, QStringLiteral("Kovra Error#: 3051"));
    EXPECT_TRUE(shown[0].text.contains(QStringLiteral("unable to open"))) << shown[0].text.toStdString();
    EXPECT_EQ(frmSplash::existing(), nullptr);
    EXPECT_TRUE(QFileInfo(file(QStringLiteral("Clock103.mdb"))).isDir());
    EXPECT_FALSE(QFile::exists(file(QStringLiteral("Clock103.mdb.damaged"))));
}

TEST_F(StartUp, ADatabaseLockedByAnotherConnectionIsNotRepairedAndStaysAsItWas)
{
    installDefaultDatabase();
    putSetting(QStringLiteral("Application"), QStringLiteral("Clock"), QStringLiteral("7"));
    const QString path = file(QStringLiteral("Clock103.mdb"));
    const QByteArray before = [&] {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    Platform::Database other = Platform::Database::open(path);
    other.execute(QStringLiteral("BEGIN EXCLUSIVE"));
    Platform::Ui::queueAnswer(Answer::Ok);

    EXPECT_EQ(AppMain::Main(), AppMain::StartResult::Ended);
    other.execute(QStringLiteral("ROLLBACK"));

    const auto shown = boxes();
    ASSERT_EQ(shown.size(), 1u) << "no repair may be offered";
    EXPECT_EQ(shown[0].title, QStringLiteral("Kovra Error#: 3218"));
    EXPECT_EQ(shown[0].text, QStringLiteral("Could not update; currently locked."));
    EXPECT_EQ(frmSplash::existing(), nullptr);
    EXPECT_FALSE(QFile::exists(file(QStringLiteral("Clock103.mdb.damaged"))));
    QFile after(path);
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_EQ(after.readAll(), before);
}

TEST_F(StartUp, SplashClosedBeforeItsTickStillOpensTheMainWindow)
{
    installDefaultDatabase();
    ASSERT_EQ(AppMain::Main(), AppMain::StartResult::Running);
    ASSERT_NE(frmSplash::existing(), nullptr);

    frmSplash::existing()->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    EXPECT_EQ(frmSplash::existing(), nullptr);
    ASSERT_NE(frmMDI::existing(), nullptr) << "a process without a window keeps the database open";
    EXPECT_TRUE(frmMDI::existing()->isVisible());
}

TEST_F(StartUp, SplashOpensTheMainWindowAfterItsTick)
{
    installDefaultDatabase();
    ASSERT_EQ(AppMain::Main(), AppMain::StartResult::Running);
    ASSERT_NE(frmSplash::existing(), nullptr);

    frmSplash::existing()->Timer1_Timer();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    EXPECT_EQ(frmSplash::existing(), nullptr);
    ASSERT_NE(frmMDI::existing(), nullptr);
    EXPECT_TRUE(frmMDI::existing()->isVisible());
}

} // namespace
