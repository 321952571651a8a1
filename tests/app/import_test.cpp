#include "app/AppMain.h"
#include "platform/ui.h"
#include "tests/support/fixture/TevHome.h"

#include <QDir>
#include <QFile>

namespace {

using Platform::Ui::Answer;

class Import : public TevHome {
protected:
    void SetUp() override
    {
        TevHome::SetUp();
        installDefaultDatabase();
        openMainDb();
    }

    // An older clock database with rows of its own in every table.
    QString makeSource(const QString &folder, bool withTcpClocks = true)
    {
        QDir().mkpath(file(folder));
        const QString path = file(folder + QStringLiteral("/Clock102.mdb"));
        QFile::copy(QStringLiteral(TEV_NEW_CLOCK_DB), path);
        QFile(path).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        Platform::Database src = Platform::Database::open(path);
        src.execute(QStringLiteral("INSERT INTO Registry VALUES ('Application', 'Clock', '2')"));
        src.execute(QStringLiteral("INSERT INTO Clocks (\"Clock Identifier\", PhoneNo) VALUES ('Front door', '')"));
        src.execute(QStringLiteral("INSERT INTO Clocks (\"Clock Identifier\", PhoneNo) VALUES ('Dock', '555')"));
        src.execute(QStringLiteral("INSERT INTO ClkMsg VALUES ('Welcome', '002', 'Hello')"));
        src.execute(QStringLiteral("INSERT INTO TcpClocks (ScreenID, Description, octet1, octet2, octet3, octet4) "
                                   "VALUES (7, 'Gate', 10, 0, 0, 7)"));
        if (!withTcpClocks)
            src.execute(QStringLiteral("DROP TABLE TcpClocks"));
        return path;
    }

    std::size_t count(const QString &table) const
    {
        return AppMain::state().MainDb.snapshot(QStringLiteral("SELECT * FROM \"%1\"").arg(table)).size();
    }
};

TEST_F(Import, NewRowsAreAddedAndKeysAlreadyThereSkipped)
{
    AppMain::state().MainDb.execute(
        QStringLiteral("INSERT INTO Clocks (\"Clock Identifier\", PhoneNo) VALUES ('front DOOR', 'mine')"));
    const QString source = makeSource(QStringLiteral("old"));

    Platform::Ui::queueAnswer(Answer::Ok);

    AppMain::ImportDatabase(source);

    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].text, QStringLiteral("Database was imported successfully."));
    EXPECT_EQ(boxes()[0].style, 64);
    EXPECT_EQ(count(QStringLiteral("Clocks")), 2u);
    const auto front = AppMain::state().MainDb.snapshot(
        QStringLiteral("SELECT PhoneNo FROM Clocks WHERE \"Clock Identifier\" = 'Front Door'"));
    EXPECT_EQ(front.rows().front().value(0).toString(), QStringLiteral("mine"));
    EXPECT_EQ(count(QStringLiteral("Registry")), 1u);
    EXPECT_EQ(count(QStringLiteral("ClkMsg")), 1u);
    EXPECT_EQ(count(QStringLiteral("TcpClocks")), 1u);
    EXPECT_EQ(count(QStringLiteral("Function Keys")), 8u);  // the same shipped rows, not doubled
}

TEST_F(Import, OlderTablesMissingAColumnGetItsDefaultAndExtraColumnsStayBehind)
{
    const QString source = makeSource(QStringLiteral("old"));
    {
        Platform::Database src = Platform::Database::open(source);
        src.execute(QStringLiteral("ALTER TABLE Clocks DROP COLUMN PhoneNo"));
        src.execute(QStringLiteral("ALTER TABLE TcpClocks DROP COLUMN poll"));
        src.execute(QStringLiteral("ALTER TABLE ClkMsg ADD COLUMN Retired TEXT DEFAULT 'gone'"));
    }
    Platform::Ui::queueAnswer(Answer::Ok);

    AppMain::ImportDatabase(source);

    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].text, QStringLiteral("Database was imported successfully."));
    const auto clocks = AppMain::state().MainDb.snapshot(
        QStringLiteral("SELECT \"Clock Identifier\", PhoneNo, \"Baud Rate\" FROM Clocks ORDER BY 1"));
    ASSERT_EQ(clocks.size(), 2u);
    for (const auto &row : clocks.rows()) {
        EXPECT_EQ(row.value(1).toString(), QString()) << "a dial would ring the column's name";
        EXPECT_EQ(row.value(2).toInt(), 9600);
    }
    EXPECT_EQ(clocks.rows()[0].value(0).toString(), QStringLiteral("Dock"));
    const auto tcp = AppMain::state().MainDb.snapshot(QStringLiteral("SELECT Description, octet4, poll FROM TcpClocks"));
    ASSERT_EQ(tcp.size(), 1u);
    EXPECT_EQ(tcp.rows()[0].value(0).toString(), QStringLiteral("Gate"));
    EXPECT_EQ(tcp.rows()[0].value(1).toInt(), 7);
    EXPECT_EQ(tcp.rows()[0].value(2).toInt(), 0);
    const auto msg = AppMain::state().MainDb.snapshot(QStringLiteral("SELECT PromptName, PromptNo, Prompt FROM ClkMsg"));
    ASSERT_EQ(msg.size(), 1u);
    EXPECT_EQ(msg.rows()[0].value(2).toString(), QStringLiteral("Hello"));
}

TEST_F(Import, SecondImportOfTheSameFileChangesNothing)
{
    const QString source = makeSource(QStringLiteral("old"));
    Platform::Ui::queueAnswer(Answer::Ok);
    AppMain::ImportDatabase(source);
    const auto before = AppMain::state().MainDb.snapshot(QStringLiteral("SELECT * FROM Clocks")).size();

    Platform::Ui::queueAnswer(Answer::Ok);

    AppMain::ImportDatabase(source);

    EXPECT_EQ(AppMain::state().MainDb.snapshot(QStringLiteral("SELECT * FROM Clocks")).size(), before);
    EXPECT_EQ(count(QStringLiteral("Registry")), 1u);
    EXPECT_EQ(count(QStringLiteral("Function Keys Mappings")), 4u);
}

TEST_F(Import, MissingTableStopsWithTheErrorAndKeepsTheTablesBefore)
{
    const QString source = makeSource(QStringLiteral("old"), false);

    Platform::Ui::queueAnswer(Answer::Ok);

    AppMain::ImportDatabase(source);

    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_TRUE(boxes()[0].title.startsWith(QStringLiteral("Kovra Error#: ")));
    EXPECT_TRUE(boxes()[0].text.contains(QStringLiteral("TcpClocks")));
    EXPECT_EQ(count(QStringLiteral("Clocks")), 2u);
    EXPECT_EQ(count(QStringLiteral("ClkMsg")), 1u);
    // Nothing stays attached to the main database.
    const Platform::Snapshot attached = AppMain::state().MainDb.snapshot(QStringLiteral("PRAGMA database_list"));
    for (const auto &row : attached.rows())
        EXPECT_NE(row.value(1).toString(), QStringLiteral("src"));
}

TEST_F(Import, PathWithApostropheAndBlanksIsImported)
{
    const QString source = makeSource(QStringLiteral("O'Brien's old clocks"));

    Platform::Ui::queueAnswer(Answer::Ok);

    AppMain::ImportDatabase(source);

    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].text, QStringLiteral("Database was imported successfully."));
    EXPECT_EQ(count(QStringLiteral("Clocks")), 2u);
}

TEST_F(Import, MissingOrDamagedSourceShowsTheErrorAndCreatesNothing)
{
    Platform::Ui::queueAnswer(Answer::Ok);
    AppMain::ImportDatabase(file(QStringLiteral("nowhere/Clock102.mdb")));
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].title, QStringLiteral("Kovra Error#: 3024"));
    EXPECT_FALSE(QFile::exists(file(QStringLiteral("nowhere/Clock102.mdb"))));

    writeFile(QStringLiteral("Clock102.mdb"), QByteArray(2048, 'z'));
    Platform::Ui::queueAnswer(Answer::Ok);
    AppMain::ImportDatabase(file(QStringLiteral("Clock102.mdb")));
    ASSERT_EQ(boxes().size(), 2u);
    EXPECT_EQ(boxes()[1].title, QStringLiteral("Kovra Error#: 3049"));
}

} // namespace
