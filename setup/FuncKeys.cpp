#include "setup/FuncKeys.h"

#include "platform/ansi.h"

namespace ClkSetup {

namespace {

// Without the ORDER BY SQLite walks the (AppFuncKey, Application Field) index
// and the shipped F1 rows come back as JobCode, PartNo, WorkOrderNo: the
// window and the command file must both show them in stored order.
const QString kFuncNumQuery = QStringLiteral(
    "SELECT [Function Keys Mappings].[Function Prompt], [Function Keys].PromptNo, [Function Keys].Prompt, "
    "[Function Keys].[Field Length], [Function Keys].[Decimal Point], [Function Keys].[Application Field], "
    "[Function Keys].rowid "
    "FROM [Function Keys Mappings] LEFT JOIN [Function Keys] "
    "ON [Function Keys Mappings].AppFuncKey = [Function Keys].AppFuncKey "
    "WHERE [Function Keys Mappings].AppFuncKey = ? "
    "ORDER BY [Function Keys].rowid");

enum Column { FunctionPrompt, PromptNo, Prompt, FieldLength, DecimalPoint, ApplicationField, FieldRowId };

} // namespace

Platform::Database::Statement FuncNumQuery(const Platform::Database &db)
{
    return db.prepare(kFuncNumQuery);
}

FuncKeyDef ReadFuncKey(Platform::Database::Statement &query, const QString &key)
{
    FuncKeyDef def;
    QSqlQuery &q = query.run({key});
    while (q.next()) {
        def.mapped = true;
        def.FunctionPrompt = q.value(FunctionPrompt).toString();
        // The join's one row for a key without field rows has no field row behind it.
        if (q.value(FieldRowId).isNull())
            continue;
        def.fields.push_back({q.value(PromptNo).toString(), q.value(Prompt).toString(), q.value(FieldLength).toString(),
                              q.value(DecimalPoint).toString(), q.value(ApplicationField).toString()});
    }
    q.finish();
    return def;
}

QString FuncKeyText(const FuncKeyDef &def)
{
    QString text;
    for (const FuncKeyField &f : def.fields)
        text += QStringLiteral("-> ") + f.Prompt + QStringLiteral(" (size ") + f.FieldLength + QLatin1Char('.') +
                f.DecimalPoint + QStringLiteral(")\r\n");
    return text;
}

const QStringList &FuncKeyDescriptions()
{
    static const QStringList descriptions = {
        QStringLiteral("Labor Tracking by Workorder/Part/Job"),
        QStringLiteral("Labor Tracking by Part/Job"),
        QStringLiteral("Labor Tracking by Job"),
        QStringLiteral("Labor Tracking by Workorder/Job"),
    };
    return descriptions;
}

void UpdateFuncKey(const Platform::Database &db, const FuncKeyEdit &edit)
{
    if (edit.FunctionPrompt)
        Platform::Ansi::checkTyped(*edit.FunctionPrompt);
    for (const FuncKeyRowEdit &row : edit.rows) {
        if (row.Prompt)
            Platform::Ansi::checkTyped(*row.Prompt);
    }

    Platform::Database::Transaction transaction(db);
    if (edit.FunctionPrompt) {
        const QString prompt =
            edit.FunctionPrompt->left(kFunctionPromptLength).leftJustified(kFunctionPromptLength, QLatin1Char(' '));
        db.execute(QStringLiteral("UPDATE [Function Keys Mappings] SET [Function Prompt] = ? WHERE AppFuncKey = ?"),
                   {prompt, edit.key});
    }
    for (const FuncKeyRowEdit &row : edit.rows) {
        if (row.FieldLength)
            db.execute(QStringLiteral("UPDATE [Function Keys] SET [Field Length] = ? "
                                      "WHERE AppFuncKey = ? AND [Application Field] = ?"),
                       {*row.FieldLength, edit.key, row.ApplicationField});
        if (row.Prompt)
            db.execute(QStringLiteral("UPDATE [Function Keys] SET Prompt = ? "
                                      "WHERE AppFuncKey = ? AND [Application Field] = ?"),
                       {*row.Prompt, edit.key, row.ApplicationField});
    }
    transaction.commit();
}

} // namespace ClkSetup
