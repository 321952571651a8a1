#pragma once

#include "app/Screen.h"

#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

// The progress and cancel window of a command-file download. It stays on top
// while the download runs; Cancel only sets the download's cancel flag.
class frmCancelSend : public QWidget, public AppMain::OneWindow<frmCancelSend> {
    Q_OBJECT
public:
    QLabel *Label1;
    QProgressBar *ProgressBar1;
    QPushButton *cmdCancel;
    QPlainTextEdit *bufferin;   // the TCP/IP download's progress text

    // Each download sets the window up for itself. A serial download shows
    // its text, its progress and Cancel.
    void SetUpForSerial(const QString &text);
    // A TCP/IP download cannot be cancelled: its progress text instead.
    void SetUpForTcpIp(const QString &text);
    // Shows the window and lets it be drawn before a download that holds the
    // thread without yielding: not a blank frame for the whole transfer.
    // User input waits meanwhile.
    void ShowBeforeBlocking();
    // The download is over: its flag set and the window out of the front,
    // before any box of the download, which would otherwise open behind it.
    static void EndDownload();

    void cmdCancel_Click();
    void Form_Activate();
    // Another window of the program took the activation: take it back while
    // the download may still be cancelled.
    void Form_Deactivate();

protected:
    void changeEvent(QEvent *event) override;
    // While a download runs the window stays: closing it counts as Cancel
    // (when the download can be cancelled), and the download hides it at its end.
    void closeEvent(QCloseEvent *event) override;

private:
    friend class AppMain::OneWindow<frmCancelSend>;
    frmCancelSend();
};
