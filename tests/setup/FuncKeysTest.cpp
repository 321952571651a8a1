#include "SetupFixture.h"

#include "setup/FuncKeys.h"

namespace {

class FuncKeyQuery : public SetupTest {
protected:
    ClkSetup::FuncKeyDef read(const QString &key)
    {
        Platform::Database::Statement q = ClkSetup::FuncNumQuery(db());
        return ClkSetup::ReadFuncKey(q, key);
    }
};

TEST_F(FuncKeyQuery, ShippedRowsComeInStoredOrderNotIndexOrder)
{
    const ClkSetup::FuncKeyDef f1 = read(QStringLiteral("F1"));
    ASSERT_TRUE(f1.mapped);
    EXPECT_EQ(f1.FunctionPrompt, QStringLiteral("WO/P/J"));
    ASSERT_EQ(f1.fields.size(), 3u);
    EXPECT_EQ(f1.fields[0].ApplicationField, QStringLiteral("WorkOrderNo"));
    EXPECT_EQ(f1.fields[1].ApplicationField, QStringLiteral("PartNo"));
    EXPECT_EQ(f1.fields[2].ApplicationField, QStringLiteral("JobCode"));
    EXPECT_EQ(ClkSetup::FuncKeyText(f1), QStringLiteral("-> Enter Work Order# (size :.0)\r\n"
                                                        "-> Enter Part# (size :.0)\r\n"
                                                        "-> Enter Job Code (size 6.0)\r\n"));
}

TEST_F(FuncKeyQuery, KeyWithoutFieldRowsIsMappedWithEmptyTextAndUnknownKeyIsNot)
{
    db().execute(QStringLiteral("DELETE FROM [Function Keys] WHERE AppFuncKey = 'F3'"));
    const ClkSetup::FuncKeyDef f3 = read(QStringLiteral("F3"));
    EXPECT_TRUE(f3.mapped);
    EXPECT_EQ(f3.FunctionPrompt, QStringLiteral("JOB   "));
    EXPECT_TRUE(f3.fields.empty());
    EXPECT_EQ(ClkSetup::FuncKeyText(f3), QString());

    const ClkSetup::FuncKeyDef f9 = read(QStringLiteral("F9"));
    EXPECT_FALSE(f9.mapped);
    EXPECT_EQ(ClkSetup::FuncKeyText(f9), QString());
}

TEST_F(FuncKeyQuery, UpdateRefusesATextTheClockCannotShowAndStoresNothingOfIt)
{
    const QStringList keys = dump(QStringLiteral("Function Keys"));
    const QStringList mappings = dump(QStringLiteral("Function Keys Mappings"));
    ClkSetup::FuncKeyEdit edit;
    edit.key = QStringLiteral("F1");
    edit.FunctionPrompt = QStringLiteral("NEW");
    edit.rows.push_back({QStringLiteral("WorkOrderNo"), QStringLiteral("<"), QStringLiteral("Order \u0416")});
    EXPECT_THROW(ClkSetup::UpdateFuncKey(db(), edit), Platform::Error);
    EXPECT_EQ(dump(QStringLiteral("Function Keys")), keys);
    EXPECT_EQ(dump(QStringLiteral("Function Keys Mappings")), mappings);
}

} // namespace
