#pragma once

#include "polling/TCPIPPoll.h"

#include <QWidget>

class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

// Poll Clock Data: collects the punches of the selected TCP/IP clock or of
// all of them until Stop, then hands POLL.txt to posting.
class frmPollTCPIP : public QWidget, public TCPIPPoll::PollDisplay {
    Q_OBJECT
public:
    frmPollTCPIP();

    QGroupBox *Frame5;
    QRadioButton *optSelClk;
    QRadioButton *optAllClk;
    QPlainTextEdit *txtTerm;
    QLabel *lblPollStatus;
    QPushButton *cmdPoll;
    QPushButton *cmdStopPoll;
    QPushButton *cmdClose;

    bool StopPoll = false;

    void cmdPoll_Click();
    void cmdStopPoll_Click();
    void cmdClose_Click();

    // PollDisplay
    void showTerminal(const QString &text) override;
    void showStatus(const QString &text) override;
    void showConnected(bool connected) override;

protected:
    // Closing while a loop runs stops it; the form closes once it has unwound.
    void closeEvent(QCloseEvent *event) override;

private:
    void setTerminalColour(const QColor &colour);
};

namespace TCPIPPoll {
// Connects the main window's TCP/IP poll command to this form.
void InstallHooks();
}
