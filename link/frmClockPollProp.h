#pragma once

#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// "Poll / Delay Properties": the serial link's three timing values.
class frmClockPollProp : public QWidget {
    Q_OBJECT
public:
    frmClockPollProp();

    QLabel *lblPollDelay, *lblPollDelayUnit, *lblTimeOut, *lblTimeOutUnit, *lblMachineSpeed;
    QLineEdit *mskPollingDelay;
    QLineEdit *mskPollingTimeOut;
    QComboBox *cboMachineSpeed;
    QPushButton *cmdSave;
    QPushButton *cmdClose;

    void LoadPropertySettings();
    void cmdSave_Click();
    void cmdClose_Click();

    // A four-place box as a number: its digits, an empty box 0.
    static int MaskValue(const QString &text);

private:
    bool delayChanged() const;
    bool timeOutChanged() const;
    bool speedChanged() const;
};

namespace SerialClk {
// Connects the main window's Poll/Delay Parameters to this screen.
void InstallPollPropertiesHook();
}
