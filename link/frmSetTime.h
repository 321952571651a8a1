#pragma once

#include <QByteArray>
#include <QString>
#include <QWidget>

#include <optional>

class QDateEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimeEdit;

// "Clock Date/Time": sets, reads back and sets the daylight-saving date of the selected serial clock.
class frmSetTime : public QWidget {
    Q_OBJECT
public:
    frmSetTime();

    QGroupBox *Frame1, *Frame2, *SSFrame2, *SSFrame1;
    QLabel *lblDate, *lblTime, *lblDaylight, *lblClockTime;
    QDateEdit *DTPDateSet;
    QTimeEdit *DTPTimeSet;
    QDateEdit *DTPDaylightSet;
    QPushButton *cmdSetTime, *cmdSetDate, *cmdGetTime, *cmdClose;
    QLineEdit *txtClockTime;
    QLineEdit *txtResponse;

    void SetTimeSerialClk();
    void GetTimeSerialClk();
    void SetDayLightSavSerialClk();

    // What the clock's answer to T10 shows: "mm/dd/yy   hh:mm AM"; none when
    // the reply is too short or holds no BT01.
    static std::optional<QString> ClockTimeText(const QByteArray &reply);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void cmdGetTime_Click();
    // The select that opens every exchange; false when it was not accepted.
    bool selectAccepted();
    void sendAndShow(const QByteArray &command, const QString &okText);
};

namespace SerialClk {
// Connects the main window's Set Time (serial) to this screen.
void InstallSetTimeHook();
}
