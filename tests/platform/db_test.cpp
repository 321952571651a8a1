#include "platform/clock.h"
#include "platform/db.h"
#include "platform/error.h"

#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <type_traits>
#include <unistd.h>
#include <utility>

namespace {

// `for (auto &r : db.snapshot(...).rows())` must not walk the rows of a temporary gone at the loop's start.
static_assert(!std::is_reference_v<decltype(std::declval<Platform::Snapshot>().rows())>);

class DatabaseFiles : public ::testing::Test {
protected:
    QString path(const QString &name) const { return m_dir.filePath(name); }

    QString makeDatabase(const QString &name)
    {
        const QString file = path(name);
        QFile(file).open(QIODevice::WriteOnly);  // an empty file is an empty database
        Platform::Database db = Platform::Database::open(file);
        db.execute(QStringLiteral("CREATE TABLE t (k TEXT COLLATE NOCASE UNIQUE, v TEXT)"));
        return file;
    }

    int errorOpening(const QString &file)
    {
        try {
            Platform::Database::open(file);
        } catch (const Platform::Error &e) {
            return e.number();
        }
        return 0;
    }

    QTemporaryDir m_dir;
};

TEST_F(DatabaseFiles, MissingFileIs3024AndIsNotCreated)
{
    EXPECT_EQ(errorOpening(path(QStringLiteral("none.mdb"))), Platform::ErrorNo::DatabaseMissing);
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("none.mdb"))));
    EXPECT_EQ(errorOpening(QString()), Platform::ErrorNo::DatabaseMissing);
}

TEST_F(DatabaseFiles, FileThatIsNoDatabaseIs3049AtTheOpen)
{
    QFile text(path(QStringLiteral("text.mdb")));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write(QByteArray(3000, 'T'));
    text.close();
    EXPECT_EQ(errorOpening(path(QStringLiteral("text.mdb"))), Platform::ErrorNo::DatabaseCorrupt);
    EXPECT_EQ(QFile(path(QStringLiteral("text.mdb"))).size(), 3000);
}

TEST_F(DatabaseFiles, DamagedPageIs3049AtTheOpen)
{
    const QString file = makeDatabase(QStringLiteral("d.mdb"));
    {
        Platform::Database db = Platform::Database::open(file);
        for (int i = 0; i < 300; ++i)
            db.execute(QStringLiteral("INSERT INTO t VALUES (?, ?)"), {QString::number(i), QString(50, 'v')});
    }
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    f.seek(4096);  // the whole of page 2, the table's root
    f.write(QByteArray(4096, '\xFF'));
    f.close();
    EXPECT_EQ(errorOpening(file), Platform::ErrorNo::DatabaseCorrupt);
}

TEST_F(DatabaseFiles, PathsWithApostrophesBlanksAndUriCharactersOpen)
{
    QDir(m_dir.path()).mkpath(QStringLiteral("O'Hara #1 ?x%20"));
    const QString file = makeDatabase(QStringLiteral("O'Hara #1 ?x%20/Clock103.mdb"));
    EXPECT_EQ(errorOpening(file), 0);
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("O'Hara #1 "))));
}

TEST_F(DatabaseFiles, BoundValuesAreStoredAsTheyAreAndKeysIgnoreCase)
{
    Platform::Database db = Platform::Database::open(makeDatabase(QStringLiteral("b.mdb")));
    const QString hostile = QStringLiteral("x'); DROP TABLE t; --");
    db.execute(QStringLiteral("INSERT INTO t VALUES (?, ?)"), {QStringLiteral("Key"), hostile});
    db.execute(QStringLiteral("INSERT INTO t VALUES (?, ?)"), {QStringLiteral("empty"), QString()});
    db.execute(QStringLiteral("INSERT INTO t VALUES (?, ?)"), {QStringLiteral("null"), QVariant()});

    const auto rows = db.snapshot(QStringLiteral("SELECT v FROM t WHERE k = ?"), {QStringLiteral("KEY")});
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows.rows()[0].value(0).toString(), hostile);
    const auto empty = db.snapshot(QStringLiteral("SELECT v IS NULL, v FROM t WHERE k = 'empty'"));
    EXPECT_EQ(empty.rows()[0].value(0).toInt(), 0);
    const auto null = db.snapshot(QStringLiteral("SELECT v IS NULL FROM t WHERE k = 'null'"));
    EXPECT_EQ(null.rows()[0].value(0).toInt(), 1);

    try {
        db.execute(QStringLiteral("INSERT INTO t VALUES (?, ?)"), {QStringLiteral("kEy"), QStringLiteral("again")});
        FAIL() << "a duplicate key was stored";
    } catch (const Platform::Error &e) {
        EXPECT_EQ(e.number(), Platform::ErrorNo::DuplicateKey);
    }
    try {
        db.snapshot(QStringLiteral("SELECT * FROM missing"));
        FAIL();
    } catch (const Platform::Error &e) {
        EXPECT_EQ(e.number(), Platform::ErrorNo::TableNotFound);
    }
}

TEST_F(DatabaseFiles, TransactionLeftWithoutCommitIsRolledBack)
{
    Platform::Database db = Platform::Database::open(makeDatabase(QStringLiteral("t.mdb")));
    try {
        Platform::Database::Transaction transaction(db);
        db.execute(QStringLiteral("INSERT INTO t VALUES ('a', '1')"));
        throw Platform::Error(1, QStringLiteral("stop"));
    } catch (const Platform::Error &) {
    }
    EXPECT_TRUE(db.snapshot(QStringLiteral("SELECT * FROM t")).empty());
}

// A healthy file is offered for repair only when the engine calls it corrupt:
// a lock held elsewhere or a file that cannot be read is not damage.
TEST_F(DatabaseFiles, LockedFileIs3218AndAFolderIs3051NeitherIsCorrupt)
{
    const QString file = makeDatabase(QStringLiteral("locked.mdb"));
    Platform::Clock::setFastClock(50);  // the busy wait shortens with the test's pauses
    {
        Platform::Database other = Platform::Database::open(file);
        other.execute(QStringLiteral("BEGIN EXCLUSIVE"));
        try {
            Platform::Database::open(file);
            FAIL() << "a database held locked opened";
        } catch (const Platform::Error &e) {
            EXPECT_EQ(e.number(), Platform::ErrorNo::RecordLocked);
            EXPECT_EQ(e.description(), QStringLiteral("Could not update; currently locked."));
        }
        other.execute(QStringLiteral("ROLLBACK"));
    }
    Platform::Clock::setFastClock(1);
    EXPECT_EQ(errorOpening(file), 0);

    QDir(m_dir.path()).mkdir(QStringLiteral("folder.mdb"));
    try {
        Platform::Database::open(path(QStringLiteral("folder.mdb")));
        FAIL() << "a folder opened as a database";
    } catch (const Platform::Error &e) {
        EXPECT_EQ(e.number(), Platform::ErrorNo::FileLocked);
        EXPECT_TRUE(e.description().contains(QStringLiteral("unable to open"))) << e.description().toStdString();
    }
}

TEST_F(DatabaseFiles, SavepointRollbackUndoesOnlyItsOwnWork)
{
    Platform::Database db = Platform::Database::open(makeDatabase(QStringLiteral("s.mdb")));
    {
        Platform::Database::Transaction outer(db);
        db.execute(QStringLiteral("INSERT INTO t VALUES ('outer', '1')"));
        {
            Platform::Database::Transaction inner(db);
            EXPECT_TRUE(inner.nested());
            db.execute(QStringLiteral("INSERT INTO t VALUES ('inner', '2')"));
            inner.rollback();
        }
        {
            Platform::Database::Transaction kept(db);
            db.execute(QStringLiteral("INSERT INTO t VALUES ('kept', '3')"));
            kept.commit();
        }
        {
            // Left without a commit: the scope's end undoes it.
            Platform::Database::Transaction dropped(db);
            db.execute(QStringLiteral("INSERT INTO t VALUES ('dropped', '4')"));
        }
        EXPECT_TRUE(db.inTransaction());
        outer.commit();
    }
    EXPECT_FALSE(db.inTransaction());
    const auto rows = db.snapshot(QStringLiteral("SELECT k FROM t ORDER BY v"));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows.rows()[0].value(0).toString(), QStringLiteral("outer"));
    EXPECT_EQ(rows.rows()[1].value(0).toString(), QStringLiteral("kept"));

    // An outer rollback takes a released savepoint's work with it.
    {
        Platform::Database::Transaction outer(db);
        Platform::Database::Transaction inner(db);
        db.execute(QStringLiteral("INSERT INTO t VALUES ('late', '5')"));
        inner.commit();
        outer.rollback();
    }
    EXPECT_EQ(db.snapshot(QStringLiteral("SELECT k FROM t")).size(), 2u);
}

// The descriptors of this process open on a file.
int openDescriptors(const QString &file)
{
    const QByteArray target = QFile::encodeName(QFileInfo(file).canonicalFilePath());
    int count = 0;
    for (const QString &fd : QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::AllEntries | QDir::System)) {
        char link[4096];
        const ssize_t n = ::readlink(QFile::encodeName(QStringLiteral("/proc/self/fd/") + fd).constData(), link, sizeof link);
        count += n > 0 && QByteArray(link, n) == target;
    }
    return count;
}

TEST_F(DatabaseFiles, AnEngineStatementOutlivingItsDatabaseLetsTheFileGo)
{
    const QString file = makeDatabase(QStringLiteral("e.mdb"));
    Platform::Database db = Platform::Database::open(file);
    db.execute(QStringLiteral("INSERT INTO t VALUES ('Key', 'v')"));
    Platform::Database::EngineStatement read = db.prepareForEngine(QStringLiteral("SELECT v FROM t WHERE k = ?"));
    ASSERT_TRUE(read.bind(0, QByteArrayView("KEY")).next());
    EXPECT_EQ(read.text(0), QByteArrayView("v"));
    ASSERT_GT(openDescriptors(file), 0);
    db.close();
    EXPECT_EQ(openDescriptors(file), 0);
    EXPECT_THROW(read.next(), Platform::Error);
}

TEST(CurrentError, ScopesNestAndRestore)
{
    EXPECT_EQ(Platform::currentErrorNumber(), 0);
    {
        Platform::ActiveError outer(3024, QStringLiteral("outer"));
        {
            Platform::ActiveError inner(70, QStringLiteral("inner"));
            EXPECT_EQ(Platform::currentErrorNumber(), 70);
        }
        EXPECT_EQ(Platform::currentErrorNumber(), 3024);
        EXPECT_EQ(Platform::currentErrorDescription(), QStringLiteral("outer"));
    }
    EXPECT_EQ(Platform::currentErrorNumber(), 0);
}

} // namespace
