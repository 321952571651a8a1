#include "setup/frmFuncKeyStp.h"

#include "app/AppMain.h"
#include "app/Screen.h"
#include "platform/error.h"
#include "setup/FuncKeys.h"

#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int kPlainLengths = 15;
// A value the list cannot show, as the old run time named it.
constexpr int kInvalidPropertyValue = 380;
const char *const kTag = "Tag";

QLabel *label(const QString &caption, const char *name = nullptr)
{
    auto *l = new QLabel(caption);
    if (name)
        l->setObjectName(QString::fromLatin1(name));
    return l;
}

} // namespace

frmFuncKeyStp::frmFuncKeyStp()
{
    setObjectName(QStringLiteral("frmFuncKeyStp"));
    setWindowTitle(QStringLiteral("Function Keys Setup"));

    cboAppFuncKey = new QComboBox;
    cboAppFuncKey->setObjectName(QStringLiteral("cboAppFuncKey"));
    cboAppFuncKey->installEventFilter(this);
    cboDescription = new QComboBox;
    cboDescription->setObjectName(QStringLiteral("cboDescription"));
    txtFuncPrompt = new QLineEdit;
    txtFuncPrompt->setObjectName(QStringLiteral("txtFuncPrompt"));
    txtFuncPrompt->setMaxLength(ClkSetup::kFunctionPromptLength);

    auto *top = new QGridLayout;
    top->addWidget(label(QStringLiteral("Clock Function Key:")), 0, 0);
    top->addWidget(cboAppFuncKey, 0, 1);
    top->addWidget(label(QStringLiteral(" Description:")), 1, 0);
    top->addWidget(cboDescription, 1, 1);
    top->addWidget(label(QStringLiteral(" Prompt:")), 2, 0);
    top->addWidget(txtFuncPrompt, 2, 1);

    auto *rows = new QGridLayout;
    rows->addWidget(label(QStringLiteral("Prompt#")), 0, 0);
    rows->addWidget(label(QStringLiteral("Prompt")), 0, 1);
    rows->addWidget(label(QStringLiteral("Field length")), 0, 2);
    rows->addWidget(label(QStringLiteral("Application Field")), 0, 3);
    for (int i = 0; i < kRows; ++i) {
        lblPromptNo[i] = label(QString::number(i + 1));
        lblPromptNo[i]->setObjectName(QStringLiteral("lblPromptNo(%1)").arg(i));
        txtPrompt[i] = new QLineEdit;
        txtPrompt[i]->setObjectName(QStringLiteral("txtPrompt(%1)").arg(i));
        txtPrompt[i]->setMaxLength(ClkSetup::kFieldPromptLength);
        txtPrompt[i]->setMinimumWidth(260);
        cboFieldLen[i] = new QComboBox;
        cboFieldLen[i]->setObjectName(QStringLiteral("cboFieldLen(%1)").arg(i));
        lblAppField[i] = label(QString());
        lblAppField[i]->setObjectName(QStringLiteral("lblAppField(%1)").arg(i));
        rows->addWidget(lblPromptNo[i], i + 1, 0);
        rows->addWidget(txtPrompt[i], i + 1, 1);
        rows->addWidget(cboFieldLen[i], i + 1, 2);
        rows->addWidget(lblAppField[i], i + 1, 3);
    }
    rows->setColumnStretch(1, 1);

    cmdUpdate = new QPushButton(QStringLiteral("Update"));
    cmdUpdate->setObjectName(QStringLiteral("cmdUpdate"));
    cmdClose = new QPushButton(QStringLiteral("Close"));
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdUpdate);
    buttons->addWidget(cmdClose);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(rows);
    layout->addLayout(buttons);

    connect(cboAppFuncKey, &QComboBox::activated, this, AppMain::Guarded([this] { cboAppFuncKey_Click(); }));
    connect(cmdUpdate, &QPushButton::clicked, this, AppMain::Guarded([this] { cmdUpdate_Click(); }));
    connect(cmdClose, &QPushButton::clicked, this, AppMain::Guarded([this] { AppMain::CloseScreen(this); }));

    FillFuncKeyLists();
    AppMain::Guard([this] { m_query = ClkSetup::FuncNumQuery(AppMain::state().MainDb); });
    ClearFuncKeyFields();
    cboAppFuncKey->setCurrentIndex(0);
    AppMain::Guard([this] { cboAppFuncKey_Click(); });
}

QString frmFuncKeyStp::tag(const QWidget *control)
{
    return control->property(kTag).toString();
}

void frmFuncKeyStp::setTag(QWidget *control, const QString &text)
{
    control->setProperty(kTag, text);
}

bool frmFuncKeyStp::changed(const QComboBox *control)
{
    return control->currentText() != tag(control);
}

bool frmFuncKeyStp::changed(const QLineEdit *control)
{
    return control->text() != tag(control);
}

void frmFuncKeyStp::FillFuncKeyLists()
{
    cboAppFuncKey->clear();
    cboAppFuncKey->addItems({QStringLiteral("F1"), QStringLiteral("F2"), QStringLiteral("F3"), QStringLiteral("F4")});
    cboDescription->clear();
    cboDescription->addItems(ClkSetup::FuncKeyDescriptions());
    for (QComboBox *box : cboFieldLen) {
        box->clear();
        for (int code = 1; code <= kPlainLengths; ++code)
            box->addItem(QString::number(code));
    }
    // Only the first field can be the badge the entry is validated against.
    cboFieldLen[0]->addItems({QStringLiteral("Validated ID#"), QStringLiteral("Validate ID#/Schedule")});
}

void frmFuncKeyStp::ClearFuncKeyFields()
{
    for (int i = 0; i < kRows; ++i) {
        txtPrompt[i]->clear();
        cboFieldLen[i]->setCurrentIndex(0);
        lblAppField[i]->clear();
    }
}

void frmFuncKeyStp::LoadFuncKeyMapping(const QString &key)
{
    AppMain::Guard([this, &key] {
        ShowFuncKeyRows(0, kRows - 1, true);
        const ClkSetup::FuncKeyDef def = ClkSetup::ReadFuncKey(m_query, key);
        if (!def.mapped)
            return;
        txtFuncPrompt->setText(def.FunctionPrompt);
        cboDescription->setCurrentIndex(cboAppFuncKey->currentIndex());
        int r = 0;
        for (const ClkSetup::FuncKeyField &field : def.fields) {
            if (r == kRows)
                throw Platform::Error(kInvalidPropertyValue,
                                      QStringLiteral("The key %1 has more than %2 fields.").arg(key).arg(kRows));
            txtPrompt[r]->setText(field.Prompt);
            const int index = AppMain::FuncKeyCharToCode(field.FieldLength) - 1;
            if (index < 0 || index >= cboFieldLen[r]->count())
                throw Platform::Error(kInvalidPropertyValue, QStringLiteral("Invalid property value"));
            cboFieldLen[r]->setCurrentIndex(index);
            lblAppField[r]->setText(field.ApplicationField);
            ++r;
        }
        if (r < kRows)
            ShowFuncKeyRows(r, kRows - 1, false);
    });
}

void frmFuncKeyStp::RememberFuncKeyValues()
{
    setTag(cboAppFuncKey, cboAppFuncKey->currentText());
    setTag(txtFuncPrompt, txtFuncPrompt->text());
    for (int i = 0; i < kRows; ++i) {
        setTag(txtPrompt[i], txtPrompt[i]->text());
        setTag(cboFieldLen[i], cboFieldLen[i]->currentText());
    }
}

void frmFuncKeyStp::ShowFuncKeyRows(int first, int last, bool visible)
{
    for (int i = first; i <= last; ++i) {
        for (QWidget *w : std::initializer_list<QWidget *>{txtPrompt[i], cboFieldLen[i], lblAppField[i], lblPromptNo[i]})
            w->setVisible(visible);
    }
}

void frmFuncKeyStp::cboAppFuncKey_Click()
{
    if (!changed(cboAppFuncKey))
        return;
    ClearFuncKeyFields();
    LoadFuncKeyMapping(cboAppFuncKey->currentText());
    RememberFuncKeyValues();
}

void frmFuncKeyStp::cmdUpdate_Click()
{
    ClkSetup::FuncKeyEdit edit;
    edit.key = cboAppFuncKey->currentText();
    if (changed(txtFuncPrompt))
        edit.FunctionPrompt = txtFuncPrompt->text();
    for (int i = 0; i < kRows; ++i) {
        if (lblPromptNo[i]->isHidden())
            continue;
        ClkSetup::FuncKeyRowEdit row{lblAppField[i]->text(), std::nullopt, std::nullopt};
        if (changed(cboFieldLen[i]))
            row.FieldLength = AppMain::FuncKeyCodeToChar(cboFieldLen[i]->currentIndex() + 1);
        if (changed(txtPrompt[i]))
            row.Prompt = txtPrompt[i]->text();
        if (row.FieldLength || row.Prompt)
            edit.rows.push_back(row);
    }
    if (edit.FunctionPrompt || !edit.rows.empty())
        ClkSetup::UpdateFuncKey(AppMain::state().MainDb, edit);
    RememberFuncKeyValues();
}

bool frmFuncKeyStp::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == cboAppFuncKey && event->type() == QEvent::FocusOut)
        AppMain::Guard([this] { cboAppFuncKey_Click(); });
    return QWidget::eventFilter(watched, event);
}
