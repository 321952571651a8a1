#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

// The About box of the Help menu.
class frmAbout : public QDialog {
    Q_OBJECT
public:
    static frmAbout *instance();
    static frmAbout *existing();

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
    frmAbout();
    ~frmAbout() override;
    void Form_Load();
};
