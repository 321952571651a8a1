#include "SetupFixture.h"

#include "setup/ClkMsgs.h"

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
