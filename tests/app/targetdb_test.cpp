#include "app/AppMain.h"
#include "platform/ui.h"
#include "posting/KovraDS.h"
#include "tests/support/fixture/TevHome.h"

#include <QFile>

namespace {

using Platform::Ui::Answer;

class TargetDb : public TevHome {
protected:
    // A product database whose table spans many pages after the schema.
    QString makeTarget(const QString &name)
    {
        const QString path = file(name);
        QFile(path).open(QIODevice::WriteOnly);
        Platform::Database db = Platform::Database::open(path);
        db.execute(QStringLiteral("CREATE TABLE Registry (RegKey TEXT, RegField TEXT, RegValue TEXT)"));
        db.execute(QStringLiteral("CREATE TABLE Punches (Badge TEXT, Stamp TEXT)"));
        Platform::Database::Transaction fill(db);
        for (int i = 0; i < 500; ++i)
            db.execute(QStringLiteral("INSERT INTO Punches VALUES (?, ?)"), {QString::number(i), QString(60, 'p')});
        fill.commit();
        return path;
    }

    // Overwrites a page of the punch table, well after the header and the schema.
    void damageDataPage(const QString &path)
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_GT(f.size(), 8 * 4096);
        f.seek(6 * 4096);
        f.write(QByteArray(4096, '\xA5'));
    }

    bool open(const QString &path)
    {
        AppMain::settings().TargetDbPath = path;
        return KovraDS::OpenTargetDb();
    }

    const std::vector<Platform::Ui::Shown> &shown() const { return Platform::Ui::shown(); }
};

TEST_F(TargetDb, MissingFileSaysNotFoundAndDamagedFileShowsTheEngineError)
{
    Platform::Ui::queueAnswer(Answer::Ok);
    EXPECT_FALSE(open(file(QStringLiteral("none.mdb"))));
    ASSERT_FALSE(shown().empty());
    EXPECT_EQ(shown().back().text, QStringLiteral("Database file is not found!"));
    EXPECT_EQ(shown().back().title, QStringLiteral("Kovra Error#: 3024"));
    EXPECT_FALSE(QFile::exists(file(QStringLiteral("none.mdb"))));

    const QString damaged = makeTarget(QStringLiteral("damaged.mdb"));
    damageDataPage(damaged);
    Platform::Ui::queueAnswer(Answer::Ok);
    EXPECT_FALSE(open(damaged));
    EXPECT_EQ(shown().back().title, QStringLiteral("Kovra Error#: 3049"));
    EXPECT_FALSE(KovraDS::state().TargetDb.isOpen());
}

// Posting reopens the product database after every poll; a full check of a
// large file each time would hold the window for seconds.
TEST_F(TargetDb, ReopeningTheSameFileChecksOnlyThatItOpens)
{
    const QString path = makeTarget(QStringLiteral("Vesk.mdb"));
    ASSERT_TRUE(open(path));
    KovraDS::CloseTargetDb();
    EXPECT_FALSE(KovraDS::state().TargetDb.isOpen());
    // Damage only a full check finds: the header and the schema are intact.
    damageDataPage(path);

    EXPECT_TRUE(open(path)) << "the second open ran the full check again";
    EXPECT_TRUE(KovraDS::state().TargetDb.isOpen());
    KovraDS::CloseTargetDb();

    // Another file, even a copy of the same bytes, is checked in full.
    ASSERT_TRUE(QFile::copy(path, file(QStringLiteral("Copy.mdb"))));
    Platform::Ui::queueAnswer(Answer::Ok);
    EXPECT_FALSE(open(file(QStringLiteral("Copy.mdb"))));
    EXPECT_EQ(shown().back().title, QStringLiteral("Kovra Error#: 3049"));

    // A file that no longer opens as a database is still refused on a reopen.
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        f.write(QByteArray(100, 'x'));
    }
    Platform::Ui::queueAnswer(Answer::Ok);
    EXPECT_FALSE(open(path));
    EXPECT_EQ(shown().back().title, QStringLiteral("Kovra Error#: 3049"));
}

TEST_F(TargetDb, AFailedOpenLeavesTheOpenDatabaseUsable)
{
    const QString path = makeTarget(QStringLiteral("Brix.mdb"));
    ASSERT_TRUE(open(path));

    Platform::Ui::queueAnswer(Answer::Ok);
    EXPECT_FALSE(open(file(QStringLiteral("elsewhere.mdb"))));

    ASSERT_TRUE(KovraDS::state().TargetDb.isOpen());
    EXPECT_EQ(KovraDS::state().TargetDb.path(), path);
    EXPECT_EQ(KovraDS::state().TargetDb.snapshot(QStringLiteral("SELECT * FROM Punches")).size(), 500u);
}

} // namespace
