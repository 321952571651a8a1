#include "app/AppMain.h"
#include "platform/error.h"
#include "tests/support/fixture/TevHome.h"

namespace {

class SettingsStore : public TevHome {
protected:
    void SetUp() override
    {
        TevHome::SetUp();
        installDefaultDatabase();
        openMainDb();
    }

    QString read(const QString &key, const QString &field, const QString &defaultValue = QStringLiteral("<default>"))
    {
        return AppMain::GetRegValue(AppMain::OpenRegKey(AppMain::state().MainDb, key), field, defaultValue);
    }

    std::size_t rowCount() const
    {
        return AppMain::state().MainDb.snapshot(QStringLiteral("SELECT * FROM Registry")).size();
    }
};

TEST_F(SettingsStore, ValuesWithApostrophesSeparatorsAndNothingRoundTrip)
{
    const QString values[] = {
        QStringLiteral("O'Hara's clock"),
        QStringLiteral("LPB040") + QChar(0x1E) + QStringLiteral("12") + QChar(0x1E),
        QStringLiteral("'; DELETE FROM Registry; --"),
        QString(),
        QStringLiteral("Fête à 5 €"),
    };
    for (const QString &value : values) {
        AppMain::SaveRegValue(QStringLiteral("Key's"), QStringLiteral("Field'1"), value);
        EXPECT_EQ(read(QStringLiteral("Key's"), QStringLiteral("Field'1")), value) << value.toStdString();
    }
    EXPECT_EQ(rowCount(), 1u);
}

TEST_F(SettingsStore, EmptyValueIsStoredNotTheDefault)
{
    AppMain::SaveRegValue(QStringLiteral("Application"), QStringLiteral("Data File"), QString());
    EXPECT_EQ(read(QStringLiteral("Application"), QStringLiteral("Data File")), QString());
}

TEST_F(SettingsStore, SavingTwiceOrInAnotherCaseKeepsOneRow)
{
    AppMain::SaveRegValue(QStringLiteral("COMM PARM"), QStringLiteral("PollDelay"), QStringLiteral("400"));
    AppMain::SaveRegValue(QStringLiteral("COMM PARM"), QStringLiteral("PollDelay"), QStringLiteral("500"));
    AppMain::SaveRegValue(QStringLiteral("comm parm"), QStringLiteral("POLLDELAY"), QStringLiteral("600"));

    EXPECT_EQ(rowCount(), 1u);
    EXPECT_EQ(read(QStringLiteral("Comm Parm"), QStringLiteral("polldelay")), QStringLiteral("600"));
}

TEST_F(SettingsStore, MissingFieldGivesTheDefaultAndWritesNothing)
{
    EXPECT_EQ(read(QStringLiteral("TCPIP"), QStringLiteral("TCPIPACK")), QStringLiteral("<default>"));
    EXPECT_EQ(read(QStringLiteral("TCPIP"), QStringLiteral("TCPIPACK")), QStringLiteral("<default>"));
    EXPECT_EQ(rowCount(), 0u);
}

TEST_F(SettingsStore, DeleteRemovesOnlyItsFieldAndMissingIsNoError)
{
    AppMain::SaveRegValue(QStringLiteral("Application"), QStringLiteral("TextSourceFile1"), QStringLiteral("a.txt"));
    AppMain::SaveRegValue(QStringLiteral("Application"), QStringLiteral("TextSourceFile2"), QStringLiteral("b.txt"));

    AppMain::DeleteRegValue(QStringLiteral("application"), QStringLiteral("textsourcefile1"));
    AppMain::DeleteRegValue(QStringLiteral("Application"), QStringLiteral("NoSuchField"));

    EXPECT_EQ(rowCount(), 1u);
    EXPECT_EQ(read(QStringLiteral("Application"), QStringLiteral("TextSourceFile2")), QStringLiteral("b.txt"));
}

TEST_F(SettingsStore, NullValueIsAnErrorForTheCaller)
{
    AppMain::state().MainDb.execute(
        QStringLiteral("INSERT INTO Registry (RegKey, RegField, RegValue) VALUES ('TCPIP', 'HostAddr1', NULL)"));
    try {
        read(QStringLiteral("TCPIP"), QStringLiteral("HostAddr1"));
        FAIL() << "a Null value was taken as text";
    } catch (const Platform::Error &e) {
        EXPECT_EQ(e.number(), Platform::ErrorNo::InvalidUseOfNull);
    }
}

TEST_F(SettingsStore, WithoutTheDatabaseASaveFailsLoudly)
{
    AppMain::state().MainDb.close();
    EXPECT_THROW(AppMain::SaveRegValue(QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")),
                 Platform::Error);
}

// A screen's Save stores several settings together: all of them or none.
TEST_F(SettingsStore, SavesInsideAScreensTransactionStandOrFallWithIt)
{
    const Platform::Database &db = AppMain::state().MainDb;
    {
        Platform::Database::Transaction save(db);
        AppMain::SaveRegValue(QStringLiteral("TCPIP"), QStringLiteral("TerminalID"), QStringLiteral("3"));
        AppMain::SaveRegValue(QStringLiteral("TCPIP"), QStringLiteral("TCPIPACK"), QStringLiteral("1"));
        EXPECT_TRUE(db.inTransaction()) << "a nested save ended the screen's transaction";
        save.commit();
    }
    EXPECT_EQ(read(QStringLiteral("TCPIP"), QStringLiteral("TerminalID")), QStringLiteral("3"));
    EXPECT_EQ(read(QStringLiteral("TCPIP"), QStringLiteral("TCPIPACK")), QStringLiteral("1"));

    try {
        Platform::Database::Transaction save(db);
        AppMain::SaveRegValue(QStringLiteral("TCPIP"), QStringLiteral("TerminalID"), QStringLiteral("9"));
        AppMain::SaveRegValue(QStringLiteral("TCPIP"), QStringLiteral("HostAddr1"), QStringLiteral("10.0.0.9"));
        throw Platform::Error(Platform::ErrorNo::InvalidProcedureCall, QStringLiteral("a later field is refused"));
    } catch (const Platform::Error &) {
    }
    EXPECT_FALSE(db.inTransaction());
    EXPECT_EQ(read(QStringLiteral("TCPIP"), QStringLiteral("TerminalID")), QStringLiteral("3"));
    EXPECT_EQ(read(QStringLiteral("TCPIP"), QStringLiteral("HostAddr1")), QStringLiteral("<default>"));
    EXPECT_EQ(rowCount(), 2u);
}

TEST(SettingText, BooleansAcceptWordsInAnyCaseAndNumbers)
{
    EXPECT_TRUE(AppMain::CBool(QStringLiteral("True")));
    EXPECT_TRUE(AppMain::CBool(QStringLiteral("TRUE")));
    EXPECT_FALSE(AppMain::CBool(QStringLiteral("false")));
    EXPECT_TRUE(AppMain::CBool(QStringLiteral("-1")));
    EXPECT_TRUE(AppMain::CBool(QStringLiteral("1")));
    EXPECT_FALSE(AppMain::CBool(QStringLiteral("0")));
    EXPECT_THROW(AppMain::CBool(QStringLiteral("yes")), Platform::Error);
}

TEST(SettingText, NumbersAreTheLeadingNumberOfTheText)
{
    EXPECT_EQ(AppMain::Val(QStringLiteral("12abc")), 12);
    EXPECT_EQ(AppMain::Val(QStringLiteral(" 1 2")), 12);
    EXPECT_EQ(AppMain::Val(QStringLiteral("")), 0);
    EXPECT_EQ(AppMain::Val(QStringLiteral("abc")), 0);
    EXPECT_EQ(AppMain::Val(QStringLiteral("-3.5x")), -3.5);
    EXPECT_EQ(AppMain::Val(QStringLiteral("1e2")), 100);
    EXPECT_EQ(AppMain::CByte(255), 255);
    EXPECT_EQ(AppMain::CByte(2.5), 2);  // half to even
    EXPECT_THROW(AppMain::CByte(256), Platform::Error);
    EXPECT_THROW(AppMain::CByte(-1), Platform::Error);
}

} // namespace
