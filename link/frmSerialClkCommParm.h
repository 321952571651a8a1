#pragma once

#include "link/ClockListModel.h"

#include <QWidget>

class QPushButton;
class QTableView;

// Communication > Clock Communication Parameters: the editable list of the
// serial clocks. Each completed row is written at once; the selected clock's
// row can be neither edited nor deleted.
class frmSerialClkCommParm : public QWidget {
    Q_OBJECT
public:
    frmSerialClkCommParm();
    ~frmSerialClkCommParm() override;

    ClockListModel *Data1 = nullptr;
    QTableView *TDBGrid1 = nullptr;
    QPushButton *cmdRefresh = nullptr;
    QPushButton *cmdClose = nullptr;

    void cmdRefresh_Click();
    // Starts a clock on the new-row line, showing the table's defaults.
    void AddRow();
    // The current row, unless it is the selected clock's.
    void DeleteRow();
    // Writes a pending edit or addition; a refusal shows the five-line box,
    // stores nothing and reads the grid again. False when refused.
    bool WritePendingRow();
    void TDBGrid1_HeadClick(int column);
    // The row is the selected clock's: it is neither edited nor deleted.
    bool IsSelectedClock(int row) const;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    QString clockOfRow(int row) const;
};
