#include "SetupFixture.h"

#include "setup/FuncKeys.h"
#include "setup/frmFuncKeyStp.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

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

namespace {

class FuncKeyScreen : public SetupTest {
protected:
    static void pick(frmFuncKeyStp *f, int key)
    {
        f->cboAppFuncKey->setCurrentIndex(key);
        emit f->cboAppFuncKey->activated(key);
    }

    static QString fieldRow(const QString &key, const QString &field)
    {
        const Platform::Snapshot s = db().snapshot(
            QStringLiteral("SELECT Prompt, [Field Length] FROM [Function Keys] WHERE AppFuncKey = ? AND [Application Field] = ?"),
            {key, field});
        return s.empty() ? QStringLiteral("<none>")
                         : s.rows()[0].value(0).toString() + QLatin1Char('|') + s.rows()[0].value(1).toString();
    }

    static QString functionPrompt(const QString &key)
    {
        return db().snapshot(QStringLiteral("SELECT [Function Prompt] FROM [Function Keys Mappings] WHERE AppFuncKey = ?"),
                             {key})
            .rows()[0]
            .value(0)
            .toString();
    }

    QStringList tables() const
    {
        return dump(QStringLiteral("Function Keys")) + dump(QStringLiteral("Function Keys Mappings"));
    }
};

TEST_F(FuncKeyScreen, OpensOnF1WithItsRowsInStoredOrderAndTheFourthHidden)
{
    frmFuncKeyStp f;
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Function Keys Setup"));
    EXPECT_EQ(f.cboAppFuncKey->currentText(), QStringLiteral("F1"));
    EXPECT_EQ(f.txtFuncPrompt->text(), QStringLiteral("WO/P/J"));
    EXPECT_EQ(f.cboDescription->currentText(), QStringLiteral("Labor Tracking by Workorder/Part/Job"));
    EXPECT_EQ(f.lblAppField[0]->text(), QStringLiteral("WorkOrderNo"));
    EXPECT_EQ(f.lblAppField[1]->text(), QStringLiteral("PartNo"));
    EXPECT_EQ(f.lblAppField[2]->text(), QStringLiteral("JobCode"));
    EXPECT_EQ(f.txtPrompt[0]->text(), QStringLiteral("Enter Work Order#"));
    EXPECT_EQ(f.cboFieldLen[0]->currentText(), QStringLiteral("10"));
    EXPECT_EQ(f.cboFieldLen[2]->currentText(), QStringLiteral("6"));
    EXPECT_FALSE(f.lblPromptNo[2]->isHidden());
    EXPECT_TRUE(f.lblPromptNo[3]->isHidden());
    EXPECT_TRUE(f.txtPrompt[3]->isHidden());
    EXPECT_EQ(f.cboFieldLen[0]->count(), 17);
    EXPECT_EQ(f.cboFieldLen[1]->count(), 15);
}

TEST_F(FuncKeyScreen, UpdateStoresCodesPaddedPromptAndApostrophesAsTyped)
{
    {
        frmFuncKeyStp f;
        f.cboFieldLen[0]->setCurrentIndex(f.cboFieldLen[0]->findText(QStringLiteral("Validated ID#")));
        f.cboFieldLen[1]->setCurrentIndex(11);   // 12
        f.txtPrompt[2]->setText(QStringLiteral("Job's code"));
        f.txtFuncPrompt->setText(QStringLiteral("JB"));
        f.cmdUpdate->click();
    }
    EXPECT_EQ(fieldRow(QStringLiteral("F1"), QStringLiteral("WorkOrderNo")), QStringLiteral("Enter Work Order#| "));
    EXPECT_EQ(fieldRow(QStringLiteral("F1"), QStringLiteral("PartNo")), QStringLiteral("Enter Part#|<"));
    EXPECT_EQ(fieldRow(QStringLiteral("F1"), QStringLiteral("JobCode")), QStringLiteral("Job's code|6"));
    EXPECT_EQ(functionPrompt(QStringLiteral("F1")), QStringLiteral("JB    "));
    EXPECT_EQ(functionPrompt(QStringLiteral("F2")), QStringLiteral("PRT/JB"));

    frmFuncKeyStp again;
    EXPECT_EQ(again.cboFieldLen[0]->currentText(), QStringLiteral("Validated ID#"));
    EXPECT_EQ(again.cboFieldLen[1]->currentText(), QStringLiteral("12"));
    EXPECT_EQ(again.txtPrompt[2]->text(), QStringLiteral("Job's code"));
    // Reloaded values count as unchanged: the blank code is compared as stored.
    const QStringList before = tables();
    again.cmdUpdate->click();
    EXPECT_EQ(tables(), before);
}

TEST_F(FuncKeyScreen, SwitchingKeysDropsUnsavedEditsAndUpdateWithoutChangeWritesNothing)
{
    const QStringList before = tables();
    frmFuncKeyStp f;
    f.txtPrompt[0]->setText(QStringLiteral("lost"));
    pick(&f, 1);
    EXPECT_EQ(f.txtFuncPrompt->text(), QStringLiteral("PRT/JB"));
    EXPECT_EQ(f.lblAppField[0]->text(), QStringLiteral("PartNo"));
    EXPECT_TRUE(f.lblPromptNo[2]->isHidden());
    pick(&f, 0);
    EXPECT_EQ(f.txtPrompt[0]->text(), QStringLiteral("Enter Work Order#"));
    f.cmdUpdate->click();
    EXPECT_EQ(tables(), before);
}

TEST_F(FuncKeyScreen, KeyWithoutFieldRowsShowsItsPromptWithNoBox)
{
    db().execute(QStringLiteral("DELETE FROM [Function Keys] WHERE AppFuncKey = 'F3'"));
    frmFuncKeyStp f;
    pick(&f, 2);
    EXPECT_TRUE(errorBoxes().isEmpty()) << errorBoxes().join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(f.txtFuncPrompt->text(), QStringLiteral("JOB   "));
    EXPECT_EQ(f.cboDescription->currentText(), QStringLiteral("Labor Tracking by Job"));
    for (int i = 0; i < frmFuncKeyStp::kRows; ++i)
        EXPECT_TRUE(f.lblPromptNo[i]->isHidden()) << i;

    // A real field row with no length code still gets the box.
    db().execute(QStringLiteral("UPDATE [Function Keys] SET [Field Length] = '' WHERE AppFuncKey = 'F4'"));
    Platform::Ui::queueAnswer(Platform::Ui::Answer::Ok);
    pick(&f, 3);
    EXPECT_EQ(errorBoxes().size(), 1);
}

TEST_F(FuncKeyScreen, FailedStatementShowsTheBoxAndTheNextUpdateTriesAgain)
{
    db().execute(QStringLiteral("CREATE TRIGGER refuse BEFORE UPDATE ON [Function Keys] "
                                "BEGIN SELECT RAISE(ABORT, 'field rows are locked'); END"));
    frmFuncKeyStp f;
    f.txtFuncPrompt->setText(QStringLiteral("NEWPRM"));
    f.txtPrompt[1]->setText(QStringLiteral("Part number"));
    Platform::Ui::queueAnswer(Platform::Ui::Answer::Ok);
    f.cmdUpdate->click();
    ASSERT_EQ(errorBoxes().size(), 1);
    EXPECT_TRUE(errorBoxes()[0].contains(QStringLiteral("field rows are locked")));
    EXPECT_EQ(functionPrompt(QStringLiteral("F1")), QStringLiteral("WO/P/J")) << "half an Update was kept";

    db().execute(QStringLiteral("DROP TRIGGER refuse"));
    f.cmdUpdate->click();
    EXPECT_EQ(functionPrompt(QStringLiteral("F1")), QStringLiteral("NEWPRM"));
    EXPECT_EQ(fieldRow(QStringLiteral("F1"), QStringLiteral("PartNo")), QStringLiteral("Part number|:"));
}

TEST_F(FuncKeyScreen, TextTheClockCannotShowIsRefusedWithTheBox)
{
    const QStringList before = tables();
    frmFuncKeyStp f;
    f.txtPrompt[0]->setText(QStringLiteral("\u0416ob"));
    f.txtFuncPrompt->setText(QStringLiteral("OK"));
    Platform::Ui::queueAnswer(Platform::Ui::Answer::Ok);
    f.cmdUpdate->click();
    ASSERT_EQ(errorBoxes().size(), 1);
    EXPECT_TRUE(errorBoxes()[0].contains(QStringLiteral("U+0416"))) << errorBoxes()[0].toStdString();
    EXPECT_EQ(tables(), before);
}

} // namespace
