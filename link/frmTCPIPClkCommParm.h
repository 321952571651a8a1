#pragma once

#include <QWidget>

#include <array>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTableView;
class TcpClockModel;

// The TCP/IP clock list, this PC's address and the TCP/IP options. Save also
// rewrites the hosts file.
class frmTCPIPClkCommParm : public QWidget {
    Q_OBJECT
public:
    frmTCPIPClkCommParm();

    QTabWidget *SSTab1;
    QTableView *TDBGrid1;
    QLabel *Label1;
    std::array<QLineEdit *, 4> hostaddress{};
    QGroupBox *Frame1;
    QCheckBox *chkTCPIPAddressing, *chkTerminalIDStamp, *chkEnableTCPIPACK;
    QPushButton *cmdSave, *cmdRefresh, *cmdClose;
    TcpClockModel *Data1 = nullptr;

    void cmdSave_Click();
    void cmdRefresh_Click();
    void cmdClose_Click();
    // The hosts file from the boxes as they stand and every clock row.
    void Hostfile();
    // The row's delete, unless it is the selected clock.
    void TDBGrid1_Delete();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void Form_Load();

    bool m_placingCursor = false;  // the list puts the cursor back itself
};
