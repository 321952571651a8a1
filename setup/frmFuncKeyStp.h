#pragma once

#include "platform/db.h"

#include <QWidget>

#include <array>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// "Function Keys Setup": the labor-tracking function keys F1-F4, their
// prompt and up to four field rows each. Update writes what changed.
class frmFuncKeyStp : public QWidget {
    Q_OBJECT
public:
    frmFuncKeyStp();

    static constexpr int kRows = 4;

    QComboBox *cboAppFuncKey, *cboDescription;
    QLineEdit *txtFuncPrompt;
    std::array<QLabel *, kRows> lblPromptNo{};
    std::array<QLineEdit *, kRows> txtPrompt{};
    std::array<QComboBox *, kRows> cboFieldLen{};
    std::array<QLabel *, kRows> lblAppField{};
    QPushButton *cmdUpdate, *cmdClose;

    void FillFuncKeyLists();
    void ClearFuncKeyFields();
    void LoadFuncKeyMapping(const QString &key);
    void RememberFuncKeyValues();
    void ShowFuncKeyRows(int first, int last, bool visible);

    // The key switch: a click on the key list, or the list losing the focus.
    void cboAppFuncKey_Click();
    void cmdUpdate_Click();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    static QString tag(const QWidget *control);
    static void setTag(QWidget *control, const QString &text);
    static bool changed(const QComboBox *control);
    static bool changed(const QLineEdit *control);

    Platform::Database::Statement m_query;
};
