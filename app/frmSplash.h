#pragma once

#include <QWidget>

class QLabel;
class QTimer;

// Shown while the program starts; one second later it opens the main window.
class frmSplash : public QWidget {
    Q_OBJECT
public:
    static frmSplash *instance();
    static frmSplash *existing();

    void Timer1_Timer();

private:
    frmSplash();
    ~frmSplash() override;

    QLabel *Image1;
    QTimer *Timer1;
};
