#pragma once

#include "platform/db.h"

#include <QString>

#include <array>
#include <vector>

// The clock prompts and the four poll answers in ClkMsg: which prompts each
// application type edits and sends, the rule for a prompt number, and the
// answers' load and Update. No widgets here.
namespace ClkSetup {

constexpr int kPromptLength = 40;

// The clock message grid's rows: prompts below 100; Kovra-Brix keeps 30-49
// for its function keys. A WHERE clause without values.
QString ClockPromptFilter(const QString &targetType);
// The builder's prompt list: every row, the answers 100-103 included, except
// 30-49 for Kovra-Brix; by PromptNo. Columns PromptName, PromptNo, Prompt.
QString PromptQuery(const QString &targetType);
Platform::Snapshot LoadPrompts(const Platform::Database &db, const QString &targetType);

// Throws with the reason when `promptNo` is not three digits of a prompt the grid edits.
void CheckClockPromptNo(const QString &promptNo, const QString &targetType);

// The poll answers, prompt numbers 100-103.
constexpr int kPollAnswers = 4;
constexpr int kFirstPollPrompt = 100;
const std::array<QString, kPollAnswers> &PollPromptNames();
QString PollPromptNo(int i);

struct PollAnswer {
    QString text;
    bool present = false;   // ClkMsg has a row for its number
};
// Answer i from ClkMsg, else defaults[i]; a row without a Prompt is the empty text.
std::array<PollAnswer, kPollAnswers> LoadPollAnswers(const Platform::Database &db,
                                                     const std::array<QString, kPollAnswers> &defaults);

struct PollAnswerEdit {
    int index = 0;
    QString text;
    bool present = false;
};
// Checks every text first, then inserts the missing rows and updates the
// present ones as one operation. Throws on failure, nothing written.
void UpdatePollAnswers(const Platform::Database &db, const std::vector<PollAnswerEdit> &edits);

} // namespace ClkSetup
