#pragma once

#include "app/Screen.h"

#include <QWidget>

class QFrame;
class QLabel;

// The progress window of a batch posting, which writes its labels.
class frmProgressBar : public QWidget, public AppMain::OneWindow<frmProgressBar> {
    Q_OBJECT
public:
    // At least two digits and " %": "05 %", "100 %".
    static QString PercentText(int percent);

    QFrame *tbFlood;
    QLabel *lblPush;
    QLabel *lblPercent;
    QLabel *lblProcess;

    // Writes the percentage and grows the bar in proportion to it.
    void SetPercent(int percent);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    friend class AppMain::OneWindow<frmProgressBar>;
    frmProgressBar();
    void Form_Load();
    void placeBar();

    int m_percent = 0;
};
