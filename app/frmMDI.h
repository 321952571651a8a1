#pragma once

#include <QMainWindow>

// The main window. Its unload is the program's shutdown.
class frmMDI : public QMainWindow {
    Q_OBJECT
public:
    static frmMDI *instance();   // loads the window on first use
    static frmMDI *existing();   // nullptr until loaded

    void MDIForm_Unload();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    frmMDI();
    ~frmMDI() override;
};
