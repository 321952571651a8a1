#pragma once

#include <QWidget>

class QLineEdit;
class QPushButton;

// Communication > Dial Modem: the modem's initialisation string, and a dial
// of the selected clock.
class frmModemDial : public QWidget {
    Q_OBJECT
public:
    frmModemDial();

    QLineEdit *txtInitStr;
    QPushButton *cmdDial;
    QPushButton *cmdSave;
    QPushButton *cmdCancel;

    void cmdDial_Click();
    void cmdSave_Click();

protected:
    // While its dial waits the screen stays; it closes once that unwinds.
    void closeEvent(QCloseEvent *event) override;
};
