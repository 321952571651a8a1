#pragma once

#include "app/Screen.h"

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

// The About box of the Help menu.
class frmAbout : public QDialog, public AppMain::OneWindow<frmAbout> {
    Q_OBJECT
public:
    // "Version " and the three parts in decimal without leading zeros.
    static QString VersionText(int major, int minor, int revision);

    QLabel *picIcon;
    QLabel *lblTitle;
    QLabel *lblVersion;
    QFrame *SSPanel1;
    QFrame *Line1;
    QPushButton *cmdOK;

    void cmdOK_Click();

private:
    friend class AppMain::OneWindow<frmAbout>;
    frmAbout();
    void Form_Load();
};
