#include "setup/frmContPollMsg.h"

#include "app/AppMain.h"
#include "app/Screen.h"
#include "setup/ClkMsgs.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
const char *const kTag = "Tag";
}

frmContPollMsg::frmContPollMsg()
{
    setObjectName(QStringLiteral("frmContPollMsg"));
    setWindowTitle(QStringLiteral("Poll Message Setup"));

    auto *grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("Prompt Name")), 0, 0);
    grid->addWidget(new QLabel(QStringLiteral("Prompt")), 0, 1);
    for (int i = 0; i < kRows; ++i) {
        lblPromptName[i] = new QLabel(ClkSetup::PollPromptNames()[i]);
        lblPromptName[i]->setObjectName(QStringLiteral("lblPromptName(%1)").arg(i));
        txtPrompt[i] = new QLineEdit;
        txtPrompt[i]->setObjectName(QStringLiteral("txtPrompt(%1)").arg(i));
        txtPrompt[i]->setMaxLength(ClkSetup::kPromptLength);
        txtPrompt[i]->setMinimumWidth(300);
        grid->addWidget(lblPromptName[i], i + 1, 0);
        grid->addWidget(txtPrompt[i], i + 1, 1);
    }

    cmdUpdate = new QPushButton(QStringLiteral("Update"));
    cmdUpdate->setObjectName(QStringLiteral("cmdUpdate"));
    cmdClose = new QPushButton(QStringLiteral("Close"));
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    connect(cmdUpdate, &QPushButton::clicked, this, AppMain::Guarded([this] { cmdUpdate_Click(); }));
    connect(cmdClose, &QPushButton::clicked, this, AppMain::Guarded([this] { AppMain::CloseScreen(this); }));
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdUpdate);
    buttons->addWidget(cmdClose);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);

    AppMain::Guard([this] { LoadPollMessages(); });
}

void frmContPollMsg::LoadPollMessages()
{
    const auto answers = ClkSetup::LoadPollAnswers(AppMain::state().MainDb, AppMain::state().ClockReplyMsgs);
    for (int i = 0; i < kRows; ++i) {
        txtPrompt[i]->setText(answers[i].text);
        // A default shown for a missing row counts as changed, so Update stores it. The
        // tag is what the box shows: a stored answer longer than the box holds is
        // cut on screen only, and written back only when the user changes it.
        txtPrompt[i]->setProperty(kTag, answers[i].present ? txtPrompt[i]->text() : QString());
        m_present[i] = answers[i].present;
    }
}

void frmContPollMsg::RememberPollMessages()
{
    for (QLineEdit *box : txtPrompt)
        box->setProperty(kTag, box->text());
}

void frmContPollMsg::cmdUpdate_Click()
{
    std::vector<ClkSetup::PollAnswerEdit> edits;
    for (int i = 0; i < kRows; ++i) {
        if (txtPrompt[i]->text() != txtPrompt[i]->property(kTag).toString())
            edits.push_back({i, txtPrompt[i]->text(), m_present[i]});
    }
    if (!edits.empty())
        ClkSetup::UpdatePollAnswers(AppMain::state().MainDb, edits);
    for (const ClkSetup::PollAnswerEdit &edit : edits)
        m_present[edit.index] = true;
    RememberPollMessages();
}
