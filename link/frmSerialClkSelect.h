#pragma once

#include <QWidget>

class QPushButton;
class QSqlTableModel;
class QTableView;

// Communication > Select Clock: picks the serial clock every exchange uses,
// and on Save keeps it as the start-up default.
class frmSerialClkSelect : public QWidget {
    Q_OBJECT
public:
    frmSerialClkSelect();
    ~frmSerialClkSelect() override;

    // The screen on its own, application-modal until it closes: how an
    // exchange that needs a clock asks for one.
    static void ShowModal();

    QSqlTableModel *Data1 = nullptr;
    QTableView *TDBGrid1 = nullptr;
    QPushButton *cmdSelClk0 = nullptr;   // "Select"
    QPushButton *cmdSelClk1 = nullptr;   // "Save"
    QPushButton *cmdClear = nullptr;
    QPushButton *cmdClose = nullptr;

    // Marks the selected clock's row and makes it current.
    void HighlightSelectedClock();
    // Index 0 Select, 1 Save.
    void cmdSelClk_Click(int index);
    void cmdClear_Click();

protected:
    // While its exchange waits the screen stays; it closes once that unwinds.
    void closeEvent(QCloseEvent *event) override;

private:
    bool hasMarkedRow() const;
    bool mustRelease() const;
    // Leaving the clock that was selected: its call and port go first.
    void releaseSelectedClock();
};
