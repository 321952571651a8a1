#pragma once

#include <QByteArray>
#include <QString>
#include <QWidget>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// "Send Command": one raw clock command to the selected clock, serial or TCP/IP.
class frmSendCmd : public QWidget {
    Q_OBJECT
public:
    frmSendCmd();

    QLabel *Label1;
    QLineEdit *txtCmd;
    QPushButton *cmdGS, *cmdRS, *cmdUS;
    QPushButton *cmdSend, *cmdClear, *cmdClose;
    QGroupBox *SSFrame1;
    QPlainTextEdit *txtResponse;

    void cmdSend_Click();
    void PrintChar(QChar character);

    // The box after a character is typed over its selection, and where the caret goes.
    struct Edit {
        QString text;
        int caret;
    };
    static Edit PrintChar(const QString &text, int selStart, int selLength, QChar character);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void SendCommandSerial(const QString &command, const QByteArray &bytes);
    void SendCommandTCPIP(const QByteArray &bytes);
};

namespace SerialClk {
// Connects the main window's Send Command to this screen.
void InstallSendCmdHook();
}
