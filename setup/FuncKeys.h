#pragma once

#include "platform/db.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// The labor-tracking function keys F1-F4: their one query, what it gives for
// a key, the builder's text of a key and the setup window's Update. No widgets here.
namespace ClkSetup {

// One field row of a key, in the order the rows were stored.
struct FuncKeyField {
    QString PromptNo;
    QString Prompt;
    QString FieldLength;        // the one-character code, untrimmed (" " is Validated ID#)
    QString DecimalPoint;
    QString ApplicationField;
};

struct FuncKeyDef {
    bool mapped = false;        // the key has a row in [Function Keys Mappings]
    QString FunctionPrompt;
    std::vector<FuncKeyField> fields;  // empty for a key with a mapping row and no field rows
};

// The query of one key, for the setup window and the command-file builder
// alike: prepared once, run with the key's name. Rows come in stored order.
Platform::Database::Statement FuncNumQuery(const Platform::Database &db);
FuncKeyDef ReadFuncKey(Platform::Database::Statement &query, const QString &key);

// The builder's text of one key: a line "-> prompt (size L.D)" and CR LF per
// field row; empty for a key without field rows or without a mapping.
QString FuncKeyText(const FuncKeyDef &def);

// The fixed descriptions of F1-F4, by list position.
const QStringList &FuncKeyDescriptions();
// Function prompts are exactly this long: padded with blanks or cut.
constexpr int kFunctionPromptLength = 6;
constexpr int kFieldPromptLength = 40;

// What Update writes for one key: only the values that changed.
struct FuncKeyRowEdit {
    QString ApplicationField;
    std::optional<QString> FieldLength;   // the code character
    std::optional<QString> Prompt;
};
struct FuncKeyEdit {
    QString key;
    std::optional<QString> FunctionPrompt;
    std::vector<FuncKeyRowEdit> rows;
};

// Checks every typed text first (nothing is written when one is refused),
// then writes the changes of one key as one operation. Throws on failure.
void UpdateFuncKey(const Platform::Database &db, const FuncKeyEdit &edit);

} // namespace ClkSetup
