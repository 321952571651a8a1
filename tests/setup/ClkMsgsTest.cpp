#include "SetupFixture.h"

#include "setup/ClkMsgs.h"
#include "setup/frmContPollMsg.h"
#include "setup/frmStdClkMsg.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

class ClockMessages : public SetupTest {
protected:
    void addPrompts(const QList<int> &numbers)
    {
        for (int n : numbers)
            db().execute(QStringLiteral("INSERT INTO ClkMsg (PromptName, PromptNo, Prompt) VALUES (?, ?, ?)"),
                         {QStringLiteral("p%1").arg(n), QStringLiteral("%1").arg(n, 3, 10, QLatin1Char('0')),
                          QStringLiteral("Prompt %1").arg(n)});
    }

    static QStringList numbers(const Platform::Snapshot &rows)
    {
        QStringList list;
        for (const QSqlRecord &r : rows.rows())
            list << r.value(QStringLiteral("PromptNo")).toString();
        return list;
    }
};

TEST_F(ClockMessages, BuilderListsEveryPromptButTheFunctionKeyRangeOnlyForLaborTracking)
{
    addPrompts({103, 0, 29, 30, 49, 50, 99, 100});
    EXPECT_EQ(numbers(ClkSetup::LoadPrompts(db(), QStringLiteral("Kovra-Brix"))),
              QStringList({"000", "029", "050", "099", "100", "103"}));
    for (const char *type : {"Kovra-Vesk", "Kovra-Sorb 5.0", "Text Files"})
        EXPECT_EQ(numbers(ClkSetup::LoadPrompts(db(), QString::fromLatin1(type))),
                  QStringList({"000", "029", "030", "049", "050", "099", "100", "103"}))
            << type;
}

TEST_F(ClockMessages, PromptNumberMustBeThreeDigitsOfAGridPrompt)
{
    const struct {
        const char *no;
        bool brix;
        bool ok;
    } rows[] = {
        {"000", false, true}, {"099", false, true}, {"035", false, true}, {"035", true, false},
        {"029", true, true},  {"050", true, true},  {"5", false, false},   {"05", false, false},
        {"100", false, false}, {"0005", false, false}, {"a12", false, false}, {"", false, false},
    };
    for (const auto &row : rows) {
        const QString type = row.brix ? QStringLiteral("Kovra-Brix") : QStringLiteral("Kovra-Vesk");
        bool ok = true;
        try {
            ClkSetup::CheckClockPromptNo(QString::fromLatin1(row.no), type);
        } catch (const Platform::Error &) {
            ok = false;
        }
        EXPECT_EQ(ok, row.ok) << row.no << " " << type.toStdString();
    }
}

TEST_F(ClockMessages, PollAnswersWithoutARowTakeTheDefaultsAndUpdateInsertsThemByteExact)
{
    const std::array<QString, 4> defaults = {QStringLiteral("Punch Accepted!     Thanks "), QStringLiteral("Invalid ID!"),
                                             QStringLiteral("Not Scheduled!"),
                                             QStringLiteral("Break Time! Please clock in later.")};
    const auto answers = ClkSetup::LoadPollAnswers(db(), defaults);
    std::vector<ClkSetup::PollAnswerEdit> edits;
    for (int i = 0; i < 4; ++i) {
        EXPECT_FALSE(answers[i].present);
        EXPECT_EQ(answers[i].text, defaults[i]);
        edits.push_back({i, answers[i].text, answers[i].present});
    }
    ClkSetup::UpdatePollAnswers(db(), edits);
    EXPECT_EQ(dump(QStringLiteral("ClkMsg")),
              QStringList({"Punch Accepted|100|Punch Accepted!     Thanks ", "Badge Not Found|101|Invalid ID!",
                           "Not Scheduled|102|Not Scheduled!", "Recess Time|103|Break Time! Please clock in later."}));
}

} // namespace

namespace {

class MessageScreens : public ClockMessages {
protected:
    static QStringList gridNumbers(const frmStdClkMsg &f)
    {
        QStringList list;
        for (int r = 0; r < f.Data1->newRow(); ++r)
            list << f.Data1->index(r, ClkMsgModel::PromptNo).data().toString();
        return list;
    }

    static bool edit(frmStdClkMsg &f, int row, int column, const QString &value)
    {
        return f.Data1->setData(f.Data1->index(row, column), value);
    }
};

TEST_F(MessageScreens, PollAnswersStartFromTheDefaultsAndUpdateStoresThemOnce)
{
    AppMain::state().ClockReplyMsgs = {QStringLiteral("Punch Accepted!     Thanks "), QStringLiteral("Invalid ID!"),
                                       QStringLiteral("Not Scheduled!"),
                                       QStringLiteral("Break Time! Please clock in later.")};
    {
        frmContPollMsg f;
        EXPECT_EQ(f.windowTitle(), QStringLiteral("Poll Message Setup"));
        EXPECT_EQ(f.lblPromptName[1]->text(), QStringLiteral("Badge Not Found"));
        EXPECT_EQ(f.txtPrompt[0]->text(), QStringLiteral("Punch Accepted!     Thanks "));
        f.cmdUpdate->click();
    }
    const QStringList stored = {"Punch Accepted|100|Punch Accepted!     Thanks ", "Badge Not Found|101|Invalid ID!",
                                "Not Scheduled|102|Not Scheduled!",
                                "Recess Time|103|Break Time! Please clock in later."};
    EXPECT_EQ(dump(QStringLiteral("ClkMsg")), stored);
    {
        frmContPollMsg f;
        f.cmdUpdate->click();
        EXPECT_EQ(dump(QStringLiteral("ClkMsg")), stored) << "Update without change wrote";
        f.txtPrompt[2]->clear();
        f.txtPrompt[3]->setText(QStringLiteral("Pause d'\u00e9t\u00e9"));
        f.cmdUpdate->click();
    }
    frmContPollMsg f;
    EXPECT_EQ(f.txtPrompt[2]->text(), QString());
    EXPECT_EQ(f.txtPrompt[3]->text(), QStringLiteral("Pause d'\u00e9t\u00e9"));
    f.txtPrompt[2]->setText(QStringLiteral("Not now"));
    f.cmdUpdate->click();
    EXPECT_EQ(dump(QStringLiteral("ClkMsg")).size(), 4) << "an emptied answer got a second row";
}

TEST_F(MessageScreens, AnswerWithoutAPromptShowsEmptyAndTheRestStillLoad)
{
    db().execute(QStringLiteral("INSERT INTO ClkMsg (PromptName, PromptNo, Prompt) VALUES ('a', '100', NULL), "
                                "('b', '101', 'Who?'), ('c', '103', 'Rest')"));
    AppMain::state().ClockReplyMsgs = {QStringLiteral("d0"), QStringLiteral("d1"), QStringLiteral("d2"),
                                       QStringLiteral("d3")};
    frmContPollMsg f;
    EXPECT_TRUE(errorBoxes().isEmpty());
    EXPECT_EQ(f.txtPrompt[0]->text(), QString());
    EXPECT_EQ(f.txtPrompt[1]->text(), QStringLiteral("Who?"));
    EXPECT_EQ(f.txtPrompt[2]->text(), QStringLiteral("d2"));
    EXPECT_EQ(f.txtPrompt[3]->text(), QStringLiteral("Rest"));
}

// The box holds 40 characters: an older, longer answer is cut on the screen only.
TEST_F(MessageScreens, LongAnswerTheUserDidNotTouchIsLeftAsStoredWhenAnotherIsUpdated)
{
    const QString longAnswer = QStringLiteral("Punch Accepted! Thank you, have a good shift");
    db().execute(QStringLiteral("INSERT INTO ClkMsg VALUES ('a', '100', ?), ('b', '101', 'Who?')"), {longAnswer});
    frmContPollMsg f;
    f.txtPrompt[1]->setText(QStringLiteral("Unknown card"));
    f.cmdUpdate->click();
    EXPECT_EQ(dump(QStringLiteral("ClkMsg")).mid(0, 2), QStringList({"a|100|" + longAnswer, "b|101|Unknown card"}));
}

TEST_F(MessageScreens, GridShowsThePromptsOfTheApplicationType)
{
    addPrompts({103, 0, 29, 30, 49, 50, 99, 100});
    AppMain::settings().TargetType = QStringLiteral("Kovra-Brix");
    {
        frmStdClkMsg f;
        EXPECT_EQ(f.windowTitle(), QStringLiteral("Clock Messages Setup"));
        EXPECT_EQ(f.Data1->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Prompt#"));
        EXPECT_EQ(gridNumbers(f), QStringList({"000", "029", "050", "099"}));
    }
    AppMain::settings().TargetType = QStringLiteral("Kovra-Vesk");
    frmStdClkMsg f;
    EXPECT_EQ(gridNumbers(f), QStringList({"000", "029", "030", "049", "050", "099"}));
}

TEST_F(MessageScreens, GridStoresEditsAndNewPromptsAndUndoesWhatTheTableRefuses)
{
    addPrompts({1, 2});
    AppMain::settings().TargetType = QStringLiteral("Kovra-Brix");
    frmStdClkMsg f;
    ASSERT_TRUE(edit(f, 0, ClkMsgModel::Prompt, QStringLiteral("Swipe it's badge")));
    EXPECT_EQ(dump(QStringLiteral("ClkMsg"))[0], QStringLiteral("p1|001|Swipe it's badge"));

    // The last row takes a new prompt once it has its number.
    const int added = f.Data1->newRow();
    EXPECT_TRUE(edit(f, added, ClkMsgModel::Prompt, QStringLiteral("Welcome")));
    EXPECT_EQ(dump(QStringLiteral("ClkMsg")).size(), 2);
    EXPECT_TRUE(edit(f, added, ClkMsgModel::PromptNo, QStringLiteral("055")));
    EXPECT_EQ(dump(QStringLiteral("ClkMsg")).last(), QStringLiteral("|055|Welcome"));
    EXPECT_EQ(gridNumbers(f), QStringList({"001", "002", "055"}));

    const QStringList before = dump(QStringLiteral("ClkMsg"));
    const struct {
        int column;
        QString value;
        const char *why;
    } refused[] = {
        {ClkMsgModel::PromptNo, QStringLiteral("002"), "UNIQUE"},
        {ClkMsgModel::PromptNo, QStringLiteral("5"), "three digits"},
        {ClkMsgModel::PromptNo, QStringLiteral("035"), "050 to 099"},
        {ClkMsgModel::Prompt, QString(41, QLatin1Char('x')), "40"},
        {ClkMsgModel::Prompt, QStringLiteral("tab\there"), "U+0009"},
    };
    for (const auto &r : refused) {
        Platform::Ui::clearShown();
        Platform::Ui::queueAnswer(Platform::Ui::Answer::Ok);
        EXPECT_FALSE(edit(f, 0, r.column, r.value)) << r.value.toStdString();
        ASSERT_EQ(errorBoxes().size(), 1) << r.value.toStdString();
        EXPECT_TRUE(errorBoxes()[0].contains(QLatin1String(r.why))) << errorBoxes()[0].toStdString();
        EXPECT_EQ(f.Data1->index(0, r.column).data().toString(), before[0].split('|')[r.column]) << "not reverted";
    }
    Platform::Ui::queueAnswer(Platform::Ui::Answer::Ok);
    EXPECT_FALSE(edit(f, f.Data1->newRow(), ClkMsgModel::PromptNo, QStringLiteral("001")));
    EXPECT_EQ(dump(QStringLiteral("ClkMsg")), before);
}

} // namespace
