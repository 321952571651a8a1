#pragma once

#include "polling/PollFiles.h"
#include "polling/PollSerial.h"

#include <QWidget>

#include <array>
#include <functional>
#include <memory>

class QCloseEvent;
class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

namespace SerialClk {
class BusyGuard;
}

// "Poll Clock Data" for serial clocks: the one-pass poll of the selected
// clock or of every clock, the continuous poll's controls, and the files
// the poll writes.
class frmPollSerial : public QWidget, public PollSerial::PollView {
    Q_OBJECT
public:
    frmPollSerial();
    ~frmPollSerial() override;

    QGroupBox *Frame1 = nullptr;
    std::array<QRadioButton *, 2> optpoll{};  // 0 "Continuous", 1 "Automatic"
    QGroupBox *Frame5 = nullptr;
    QRadioButton *optAllClk = nullptr;
    QRadioButton *optSelClk = nullptr;
    QPlainTextEdit *txtTerm = nullptr;
    QLabel *lblPollStatus = nullptr;
    std::array<QPushButton *, 2> cmdPoll{};   // 0 employee data, 1 member data
    QPushButton *cmdStopPoll = nullptr;
    QPushButton *cmdSetContPoll = nullptr;
    QPushButton *cmdResetContPoll = nullptr;
    QPushButton *cmdClose = nullptr;

    bool StopPoll = false;
    // The clock answers of the continuous poll, read when the form loads.
    PollSerial::PollAnswers PollAnswers;

    void cmdPoll_Click(int index);
    void cmdStopPoll_Click();
    void cmdClose_Click();
    void CloseDataFiles();
    // index 0: employee cards; any other: member cards.
    void PollContinous(int index);
    void LoadPollPrompts();
    void SetContPoll();
    void ResetContPoll();
    const PollFiles::DataFiles &dataFiles() const { return m_files; }

    // PollSerial::PollView
    void showStatus(const QString &caption) override;
    void clearTerminal() override;
    void appendRecord(const QString &text) override;
    void showLineState(PollSerial::LineState state) override;
    bool stopRequested() const override;
    void requestStop() override;
    void returnToIdle() override;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls();
    void Form_Load();
    bool sorbTarget() const;
    void setTerminalColour(const QColor &colour);
    // Runs a poll with the buttons in the polling state.
    void runPoll(const std::function<void()> &poll);

    PollFiles::DataFiles m_files;
    // Held while a poll runs: a close of this form stops it first.
    SerialClk::BusyGuard *m_poll = nullptr;
};

// Connects the main window's serial poll command to this form.
namespace PollSerial {
void InstallHooks();
}
