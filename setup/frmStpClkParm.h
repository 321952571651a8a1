#pragma once

#include "app/AppMain.h"

#include <QWidget>

#include <array>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;

// "TEV Clock - Setup": edits the eight clock setup strings in working copies;
// Save stores the ones that changed.
class frmStpClkParm : public QWidget {
    Q_OBJECT
public:
    frmStpClkParm();

    QTabWidget *SSTab1;
    QComboBox *cmbTimeElapsed, *cmbPromptTimeOut, *cmbMsgTimeOut;
    QComboBox *cboBadgeFilteringStartPos, *cboBadgeFilterNoOfChar;
    QCheckBox *chkFuncKeyPrompt, *chkIdlePrompt;
    std::array<QLineEdit *, 6> mskRelayTime{};
    QPushButton *cmdSave, *cmdClose, *cmdDefault;

    // The working copies.
    const AppMain::ClockParmRec &copies() const { return m_copy; }

    void ShowClockParameters();
    void ShowFunctionKeyParms();
    void ShowBadgeValidation();
    void ShowRelayTimes();
    void ShowBadgeFilter();
    void ShowClockDisplay();
    void ShowBadgeLen();
    void ShowMsgAck();

    void cmdSave_Click();
    void cmdDefault_Click();

private:
    QRadioButton *option(const char *name, const QString &caption, QButtonGroup *group);
    QComboBox *combo(const char *name, const QStringList &items);
    QCheckBox *check(const char *name, const QString &caption);
    QWidget *buildBadgeTab();
    QWidget *buildMessageTab();
    QWidget *buildGeneralTab();
    // Shows the choice of each option group whose value its position holds.
    void showOptions(const std::initializer_list<QButtonGroup *> &groups);
    void showCombo(QComboBox *combo, int position, int offset);
    void showCheck(QCheckBox *box, int position);
    void optionChosen(QRadioButton *option);
    void comboChosen(QComboBox *combo, int position, int offset);
    void checkChanged(QCheckBox *box, int position);
    void relayEdited(int i, const QString &text);

    AppMain::ClockParmRec m_copy;
    QButtonGroup *m_inputLength, *m_keyboard, *m_dateFormat, *m_idleBadge, *m_lastPunch, *m_hoursWorked,
        *m_outputLength, *m_msgAck, *m_validation;
    std::array<bool, 6> m_relayEdited{};
};
