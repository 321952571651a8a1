#include "polling/PollFiles.h"

#include "app/AppMain.h"
#include "app/frmMDI.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "tests/support/fixture/TevHome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <sys/resource.h>

#include <gtest/gtest.h>

namespace {

using PollFiles::Finish;

QByteArray slurp(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

int refuseOpen(const char *, int, mode_t)
{
    errno = EACCES;
    return -1;
}

class PollFilesTest : public TevHome {
protected:
    void SetUp() override
    {
        TevHome::SetUp();
        AppMain::state().AppPath = home();
        resetMdiHooks();
    }
    void TearDown() override
    {
        PollFiles::setOpener(nullptr);
        resetMdiHooks();
        TevHome::TearDown();
    }
};

TEST_F(PollFilesTest, DayLogIsNamedByMonthThenDayOfTheGivenDate)
{
    EXPECT_EQ(PollFiles::DayLogPath(QDate(2026, 12, 7)), file("Data/DATA1207.log"));
    EXPECT_EQ(PollFiles::DayLogPath(QDate(2027, 1, 1)), file("Data/DATA0101.log"));
    EXPECT_EQ(PollFiles::PollFilePath(), file("Data/POLL.txt"));
}

// Control characters, the check characters and bytes above 127 pass as
// they came from the clock: a text conversion would corrupt the audit trail.
TEST_F(PollFilesTest, LineIsWrittenByteForByteWithCrLf)
{
    const QByteArray line("\\A!\x1dP1234\x1e\x1f""261207083000\xe9\x03\x36:\x04", 26);
    PollFiles::AppendFile f;
    f.open(file("Data/x.log"));
    f.writeLine(line);
    f.writeLine(QByteArray());
    EXPECT_EQ(slurp(file("Data/x.log")), line + "\r\n\r\n");
}

TEST_F(PollFilesTest, RecordsOfAPollAcrossMidnightStayInItsStartingDay)
{
    Platform::Clock::setToday(QDate(2026, 12, 7));
    PollFiles::DataFiles files;
    files.open();
    Platform::Clock::setToday(QDate(2026, 12, 8));
    files.writeRecord("\\A!\x1dP1\x03\x30\x30\x04");
    files.close();
    EXPECT_EQ(slurp(file("Data/DATA1207.log")), QByteArray("\\A!\x1dP1\x03\x30\x30\x04\r\n"));
    EXPECT_FALSE(QFile::exists(file("Data/DATA1208.log")));
    EXPECT_EQ(slurp(file("Data/POLL.txt")), slurp(file("Data/DATA1207.log")));
}

TEST_F(PollFilesTest, TwoPollsAppendToOneLogAndPollFileHoldsOnlyItsOwn)
{
    Platform::Clock::setToday(QDate(2026, 12, 7));
    for (const char *record : {"first", "second"}) {
        PollFiles::DataFiles files;
        files.open();
        files.writeRecord(record);
        files.close();
        EXPECT_EQ(slurp(files.pollPath()), QByteArray(record) + "\r\n");
        EXPECT_EQ(PollFiles::FinishPollFile(files.pollPath(), false, {}), Finish::Discarded);
    }
    EXPECT_EQ(slurp(file("Data/DATA1207.log")), QByteArray("first\r\nsecond\r\n"));
}

TEST_F(PollFilesTest, OpenFailuresCarryTheirNumberAndLeaveNothingOpen)
{
    ASSERT_TRUE(QDir(file("Data")).removeRecursively());
    PollFiles::DataFiles files;
    try {
        files.open();
        FAIL() << "opened without a data folder";
    } catch (const Platform::Error &e) {
        EXPECT_EQ(e.number(), 76);
        EXPECT_EQ(e.description(), "Path not found");
    }
    EXPECT_FALSE(QDir(file("Data")).exists()) << "the poll files must not create the folder";

    // The day's log opens, POLL.txt is refused: the log is closed again.
    QDir(home()).mkdir("Data");
    static int opens;
    opens = 0;
    PollFiles::setOpener([](const char *path, int flags, mode_t mode) {
        if (++opens == 2) {
            errno = EROFS;
            return -1;
        }
        return ::open(path, flags, mode);
    });
    try {
        files.open();
        FAIL() << "POLL.txt opened though refused";
    } catch (const Platform::Error &e) {
        EXPECT_EQ(e.number(), 70);
        EXPECT_EQ(e.description(), "Permission denied");
    }
    EXPECT_FALSE(files.log().isOpen());
    EXPECT_FALSE(files.poll().isOpen());
}

TEST_F(PollFilesTest, ErrnoMapsToTheFileErrorNumbers)
{
    const struct {
        int err;
        int number;
        const char *text;
    } cases[] = {
        {ENOENT, 76, "Path not found"},    {ENOTDIR, 76, "Path not found"},
        {EACCES, 70, "Permission denied"}, {EPERM, 70, "Permission denied"},
        {EROFS, 70, "Permission denied"},  {ENOSPC, 61, "Disk full"},
        {EIO, 75, "Path/File access error"}, {EISDIR, 75, "Path/File access error"},
    };
    for (const auto &c : cases) {
        const Platform::Error e = Platform::FileError(c.err);
        EXPECT_EQ(e.number(), c.number) << c.err;
        EXPECT_EQ(e.description(), c.text) << c.err;
    }
}

TEST_F(PollFilesTest, WriteToAFullDiskIsAnErrorNotALostLine)
{
    if (!QFile::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    PollFiles::AppendFile f;
    f.open("/dev/full");
    try {
        f.writeLine("record");
        FAIL() << "a line the disk refused was reported written";
    } catch (const Platform::Error &e) {
        EXPECT_EQ(e.number(), 61);
    }
}

TEST_F(PollFilesTest, RecordsTheDiskTookOnlyInPartLeaveNeitherFileWithAPiece)
{
    // A file size limit stands in for a disk that fills up in the middle of a write.
    QDir(home()).mkdir("Data");
    const QByteArrayList records{"\\A!\x1dP0\x1e" "101\x1e\x1f" "0403090705000", "\\A!\x1dP0\x1e" "102\x1e\x1f" "0403090706000"};
    const qint64 batch = records.join("\r\n").size() + 2;
    const QString pollPath = PollFiles::PollFilePath(), logPath = PollFiles::DayLogPath(Platform::Clock::today());
    const auto size = [](const QString &path) { return QFileInfo(path).size(); };
    struct rlimit unlimited {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &unlimited), 0);
    const auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
    const struct {
        const char *name;
        qint64 pollBefore;  // POLL.txt's length before: the limit falls inside its write or the log's
        qint64 limit;
    } cases[] = {
        {"the day's log fills up", 0, batch / 2},
        {"POLL.txt fills up", batch, batch + batch / 2},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(logPath);
        QFile::remove(pollPath);
        if (c.pollBefore > 0)
            PollFiles::AppendLine(pollPath, QByteArray(c.pollBefore - 2, 'x'));
        PollFiles::DataFiles files;
        files.open();
        struct rlimit limited = unlimited;
        limited.rlim_cur = static_cast<rlim_t>(c.limit);
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
        EXPECT_THROW(files.writeRecords(records), Platform::Error);
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &unlimited), 0);
        EXPECT_EQ(size(logPath), 0);
        EXPECT_EQ(size(pollPath), c.pollBefore);
    }
    std::signal(SIGXFSZ, oldSignal);
}

TEST_F(PollFilesTest, RefusedOpenIsPermissionDeniedEvenForRoot)
{
    PollFiles::setOpener(refuseOpen);
    try {
        PollFiles::AppendLine(file("Data/x.log"), "r");
        FAIL();
    } catch (const Platform::Error &e) {
        EXPECT_EQ(e.number(), 70);
    }
}

// POLL.txt is deleted only when its records went where they belong; a
// failed posting keeps it for the next one.
TEST_F(PollFilesTest, EndStepsDeleteOnlyWhatWasPostedOrNotToBePosted)
{
    const struct {
        const char *target;
        bool autoImport;
        int hook;  // 0 none connected, 1 posting fails, 2 posting succeeds
        Finish expected;
    } cases[] = {
        {"Text Files", false, 2, Finish::Posted},     {"Text Files", false, 1, Finish::Kept},
        {"Text Files", false, 0, Finish::Kept},       {"Text Files", true, 2, Finish::Posted},
        {"Kovra-Vesk", true, 2, Finish::Posted},      {"Kovra-Vesk", true, 1, Finish::Kept},
        {"Kovra-Vesk", false, 1, Finish::Discarded},  {"Kovra-Brix", false, 0, Finish::Discarded},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.target) + (c.autoImport ? " auto" : "") + (c.hook ? " hook" : ""));
        AppMain::settings().TargetType = c.target;
        AppMain::settings().AutoImport = c.autoImport;
        QStringList posted;
        mdiHooks().postPolledData = nullptr;
        if (c.hook)
            mdiHooks().postPolledData = [&, ok = c.hook == 2](const QString &f) {
                posted << f;
                return ok;
            };
        const QString poll = file("Data/POLL.txt");
        QFile::remove(poll);
        PollFiles::AppendLine(poll, "rec");
        EXPECT_EQ(PollFiles::FinishPollFile(poll), c.expected);
        EXPECT_EQ(QFile::exists(poll), c.expected == Finish::Kept);
        EXPECT_EQ(posted, c.hook && c.expected != Finish::Discarded ? QStringList{poll} : QStringList{});
    }
    EXPECT_EQ(PollFiles::FinishPollFile(file("Data/none.txt")), Finish::NoFile);
}

TEST_F(PollFilesTest, PollAfterAFailedPostingAppendsAndTheNextPostingTakesBoth)
{
    QByteArrayList seen;
    const auto poster = [&](bool ok) {
        return [&, ok](const QString &f) {
            seen << slurp(f);
            return ok;
        };
    };
    PollFiles::DataFiles files;
    files.open();
    files.writeRecord("one");
    files.close();
    EXPECT_EQ(PollFiles::FinishPollFile(files.pollPath(), true, poster(false)), Finish::Kept);
    files.open();
    files.writeRecord("two");
    files.close();
    EXPECT_EQ(PollFiles::FinishPollFile(files.pollPath(), true, poster(true)), Finish::Posted);
    EXPECT_EQ(seen, (QByteArrayList{"one\r\n", "one\r\ntwo\r\n"}));
    EXPECT_FALSE(QFile::exists(files.pollPath()));
}

} // namespace
