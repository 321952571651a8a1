#pragma once

#include <QWidget>

#include <array>

class QLabel;
class QLineEdit;
class QPushButton;

// "Poll Message Setup": the four answers a continuously polled clock shows
// after it checks a punch. Update writes the ones that changed.
class frmContPollMsg : public QWidget {
    Q_OBJECT
public:
    frmContPollMsg();

    static constexpr int kRows = 4;

    std::array<QLabel *, kRows> lblPromptName{};
    std::array<QLineEdit *, kRows> txtPrompt{};
    QPushButton *cmdUpdate, *cmdClose;

    void LoadPollMessages();
    void RememberPollMessages();
    void cmdUpdate_Click();

private:
    std::array<bool, kRows> m_present{};   // ClkMsg has a row for the answer's number
};
