#pragma once

#include "platform/db.h"
#include "setup/CmdFile.h"
#include "setup/CmdSources.h"

#include <QWidget>

#include <array>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QSqlQueryModel;
class QTabWidget;
class QTableView;
class QTreeWidget;
class QTreeWidgetItem;

namespace CmdWalk {
class ClockLink;
}

// "Create/Download Commands File": what may go into the clock command file,
// Build, and Send to the selected clock or to every clock.
class frmDldFile : public QWidget {
    Q_OBJECT
public:
    frmDldFile();
    ~frmDldFile() override;

    // Item data of the trees and the list: the fields, never the shown text.
    enum Role { Number = Qt::UserRole, FirstName, LastName, Tag, Shown, Unfit };

    QTabWidget *SSTab1;
    QCheckBox *chkSetClockParm, *chkBadgeFilter, *chkSetRelay, *chkDisplayDate, *chkBadgeValidation;
    QLabel *lblsetclockParm, *lblBadgeFilter, *lblSetRelay, *lblDisplayDateTime, *lblBadgeValidation;
    QTableView *tdbClkMsg;
    QSqlQueryModel *dtaClkMsg;
    QPushButton *cmdSelAllClkMsg, *cmdClearClkMsg;
    QCheckBox *chkFuncKeys;
    QLabel *lblFuncKeys;
    std::array<QCheckBox *, 4> chkFunc;
    std::array<QLabel *, 4> lblFuncDef;
    QCheckBox *chkEraseEmp, *chkEmpSch, *chkEmpMsg;
    QComboBox *cboEmpGroups;
    QTreeWidget *TreeView1;
    QLineEdit *txtTotalEmp;
    QCheckBox *chkEraseSch;
    QTreeWidget *TreeView2;
    QPushButton *cmdSelectAllSch, *cmdDeselectallSch;
    QCheckBox *chkEraseEmpMsgs, *chkMsgAck;
    QListWidget *lstEmpMsgs;
    QPushButton *cmdSelEmpMsgs, *cmdClearEmpMsgs;
    QRadioButton *optSelClk, *optAllClk;
    QPushButton *cmdBldFile, *cmdSend, *cmdClose;

    QString CmdFilePath;
    std::array<bool, 3> SourceFileFound{};
    bool TargetDbOpen = false;

    // The prompt grid's selected rows in the order they were chosen.
    const std::vector<int> &promptSelection() const { return m_promptOrder; }

    void SelEmpSch();
    void SelEmpMsgs();
    // What Build writes, read from the window as it stands.
    CmdFile::Content content();
    void Build();
    void Send();
    bool walking() const { return m_walking; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void load();
    void loadTextSources();
    void loadProduct();
    void addMessages(const std::vector<CmdSources::MessageItem> &list);
    void disableFuncKeys();
    void regroup();
    void treeTicked(QTreeWidgetItem *item);
    void scheduleTicked(QTreeWidgetItem *item);
    void tabShown(int index);
    void setTicked(QTreeWidget *tree, bool ticked);
    void selectAllPrompts();
    void clearPrompts();
    void promptSelectionChanged();
    std::vector<bool> selectedPromptRows() const;
    const Platform::Database &source() const;

    CmdSources::Kind m_kind = CmdSources::Kind::None;
    Platform::Database m_product;  // the product database, from load to unload
    std::vector<CmdSources::ScheduleItem> m_schedules;
    Platform::Database::Statement m_funcQuery;
    int m_grace = 0;
    std::vector<int> m_promptOrder;
    bool m_walking = false;
};
