#pragma once

#include <QModelIndexList>
#include <QWidget>

#include <array>

class QPushButton;
class QTableView;
class TcpClockModel;

// Picks the TCP/IP clock the next operation addresses; Save also keeps it
// as the clock selected at start-up.
class frmSelTCPIPClk : public QWidget {
    Q_OBJECT
public:
    frmSelTCPIPClk();

    // Shown application-modal until it closes: for a command that needs a clock.
    static void ShowModal();

    QTableView *TDBGrid1;
    std::array<QPushButton *, 2> cmdSelClk{};  // 0 Save, 1 Select
    QPushButton *cmdClear, *cmdCancel;
    TcpClockModel *Data1 = nullptr;

    void HighlightSelectedClock();
    void cmdSelClk_Click(int index);
    void cmdClear_Click();
    void cmdCancel_Click();

private:
    void Form_Load();
    QModelIndexList markedRows() const;
};
