#pragma once

#include "app/Screen.h"

#include <QWidget>

class QLabel;
class QTimer;

// Shown while the program starts; one second later it opens the main window.
class frmSplash : public QWidget, public AppMain::OneWindow<frmSplash> {
    Q_OBJECT
public:
    void Timer1_Timer();

protected:
    // Closed before its tick, the splash goes on with start-up as the tick would.
    void closeEvent(QCloseEvent *event) override;

private:
    friend class AppMain::OneWindow<frmSplash>;
    frmSplash();

    QLabel *Image1;
    QTimer *Timer1;
};
