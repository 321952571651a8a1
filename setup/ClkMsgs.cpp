#include "setup/ClkMsgs.h"

#include "app/AppMain.h"
#include "platform/ansi.h"
#include "platform/error.h"

namespace ClkSetup {

namespace {

// Prompts 30-49 carry the labor-tracking function keys' field prompts.
constexpr int kFirstKeyPrompt = 30;
constexpr int kLastKeyPrompt = 49;
constexpr int kFirstAnswerPrompt = 100;

bool laborTracking(const QString &targetType)
{
    return targetType == AppMain::kBrixTarget;
}

} // namespace

QString ClockPromptFilter(const QString &targetType)
{
    if (laborTracking(targetType))
        return QStringLiteral("(CAST(PromptNo AS INTEGER) < 30 OR CAST(PromptNo AS INTEGER) > 49) "
                              "AND CAST(PromptNo AS INTEGER) < 100");
    return QStringLiteral("CAST(PromptNo AS INTEGER) < 100");
}

QString PromptQuery(const QString &targetType)
{
    if (laborTracking(targetType))
        return QStringLiteral("SELECT PromptName, PromptNo, Prompt FROM ClkMsg "
                              "WHERE CAST(PromptNo AS INTEGER) < 30 OR CAST(PromptNo AS INTEGER) > 49 "
                              "ORDER BY PromptNo");
    return QStringLiteral("SELECT PromptName, PromptNo, Prompt FROM ClkMsg ORDER BY PromptNo");
}

Platform::Snapshot LoadPrompts(const Platform::Database &db, const QString &targetType)
{
    return db.snapshot(PromptQuery(targetType));
}

void CheckClockPromptNo(const QString &promptNo, const QString &targetType)
{
    bool digits = promptNo.size() == 3;
    for (QChar c : promptNo)
        digits = digits && c >= QLatin1Char('0') && c <= QLatin1Char('9');
    const int n = digits ? promptNo.toInt() : -1;
    const bool keyPrompt = n >= kFirstKeyPrompt && n <= kLastKeyPrompt;
    if (!digits || n >= kFirstAnswerPrompt || (laborTracking(targetType) && keyPrompt)) {
        const QString range = laborTracking(targetType) ? QStringLiteral("000 to 029 or 050 to 099")
                                                        : QStringLiteral("000 to 099");
        throw Platform::Error(Platform::ErrorNo::InvalidProcedureCall,
                              QStringLiteral("The prompt number must be three digits, %1.").arg(range));
    }
}

const std::array<QString, kPollAnswers> &PollPromptNames()
{
    static const std::array<QString, kPollAnswers> names = {
        QStringLiteral("Punch Accepted"),
        QStringLiteral("Badge Not Found"),
        QStringLiteral("Not Scheduled"),
        QStringLiteral("Recess Time"),
    };
    return names;
}

QString PollPromptNo(int i)
{
    return QString::number(kFirstPollPrompt + i);
}

std::array<PollAnswer, kPollAnswers> LoadPollAnswers(const Platform::Database &db,
                                                     const std::array<QString, kPollAnswers> &defaults)
{
    std::array<PollAnswer, kPollAnswers> answers;
    Platform::Database::Statement query = db.prepare(QStringLiteral("SELECT Prompt FROM ClkMsg WHERE PromptNo = ?"));
    for (int i = 0; i < kPollAnswers; ++i) {
        QSqlQuery &q = query.run({PollPromptNo(i)});
        if (q.next())
            answers[i] = {q.value(0).toString(), true};
        else
            answers[i] = {defaults[i], false};
    }
    return answers;
}

void UpdatePollAnswers(const Platform::Database &db, const std::vector<PollAnswerEdit> &edits)
{
    for (const PollAnswerEdit &edit : edits)
        Platform::Ansi::checkTyped(edit.text);

    Platform::Database::Transaction transaction(db);
    for (const PollAnswerEdit &edit : edits) {
        if (edit.present)
            db.execute(QStringLiteral("UPDATE ClkMsg SET Prompt = ? WHERE PromptNo = ?"),
                       {edit.text, PollPromptNo(edit.index)});
        else
            db.execute(QStringLiteral("INSERT INTO ClkMsg (PromptName, PromptNo, Prompt) VALUES (?, ?, ?)"),
                       {PollPromptNames()[edit.index], PollPromptNo(edit.index), edit.text});
    }
    transaction.commit();
}

} // namespace ClkSetup
