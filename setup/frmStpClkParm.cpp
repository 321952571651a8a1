#include "setup/frmStpClkParm.h"

#include "app/Screen.h"
#include "setup/ClockParms.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QTabWidget>
#include <QVBoxLayout>

using ClkSetup::ParmField;

namespace {

constexpr int kStartPositions = 40;
constexpr int kFilterCounts = 12;

QStringList numberItems(int last)
{
    QStringList items;
    for (int n = 1; n <= last; ++n)
        items << QString::number(n);
    return items;
}

QStringList timeItems(const char *one, const char *many, int first, int last)
{
    QStringList items;
    for (int n = first; n <= last; ++n)
        items << (n == 1 ? QString::fromLatin1(one) : QStringLiteral("%1 %2").arg(n).arg(QLatin1String(many)));
    return items;
}

QGroupBox *frame(const QString &caption, const std::initializer_list<QWidget *> &children)
{
    auto *box = new QGroupBox(caption);
    auto *layout = new QVBoxLayout(box);
    for (QWidget *w : children)
        layout->addWidget(w);
    layout->addStretch(1);
    return box;
}

QWidget *labelled(const QString &caption, QWidget *control)
{
    auto *row = new QWidget;
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new QLabel(caption));
    layout->addWidget(control, 1);
    return row;
}

// An exclusive group that shows no choice: Qt's exclusive groups cannot uncheck their last button.
void selectNone(QButtonGroup *group)
{
    group->setExclusive(false);
    for (QAbstractButton *b : group->buttons())
        b->setChecked(false);
    group->setExclusive(true);
}

bool isDigit(const QString &c)
{
    return c.size() == 1 && c[0] >= QLatin1Char('0') && c[0] <= QLatin1Char('9');
}

} // namespace

frmStpClkParm::frmStpClkParm()
{
    setObjectName(QStringLiteral("frmStpClkParm"));
    setWindowTitle(QStringLiteral("TEV Clock - Setup"));

    m_inputLength = new QButtonGroup(this);
    m_keyboard = new QButtonGroup(this);
    m_dateFormat = new QButtonGroup(this);
    m_idleBadge = new QButtonGroup(this);
    m_lastPunch = new QButtonGroup(this);
    m_hoursWorked = new QButtonGroup(this);
    m_outputLength = new QButtonGroup(this);
    m_msgAck = new QButtonGroup(this);
    m_validation = new QButtonGroup(this);

    SSTab1 = new QTabWidget(this);
    SSTab1->setObjectName(QStringLiteral("SSTab1"));
    SSTab1->addTab(buildBadgeTab(), QStringLiteral("Badge"));
    SSTab1->addTab(buildMessageTab(), QStringLiteral("Message"));
    SSTab1->addTab(buildGeneralTab(), QStringLiteral("General"));

    cmdSave = new QPushButton(QStringLiteral("Save"), this);
    cmdSave->setObjectName(QStringLiteral("cmdSave"));
    cmdClose = new QPushButton(QStringLiteral("Close"), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    cmdDefault = new QPushButton(QStringLiteral("Default"), this);
    cmdDefault->setObjectName(QStringLiteral("cmdDefault"));
    connect(cmdSave, &QPushButton::clicked, this, AppMain::Guarded([this] { cmdSave_Click(); }));
    connect(cmdClose, &QPushButton::clicked, this, AppMain::Guarded([this] { AppMain::CloseScreen(this); }));
    connect(cmdDefault, &QPushButton::clicked, this, AppMain::Guarded([this] { cmdDefault_Click(); }));

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdSave);
    buttons->addWidget(cmdClose);
    buttons->addWidget(cmdDefault);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(SSTab1);
    layout->addLayout(buttons);

    // Opening: each step on its own, so one failure leaves only its controls unset.
    m_copy = AppMain::state().ClkParm;
    for (void (frmStpClkParm::*step)() :
         {&frmStpClkParm::ShowClockParameters, &frmStpClkParm::ShowFunctionKeyParms,
          &frmStpClkParm::ShowBadgeValidation, &frmStpClkParm::ShowRelayTimes, &frmStpClkParm::ShowBadgeFilter,
          &frmStpClkParm::ShowClockDisplay, &frmStpClkParm::ShowBadgeLen, &frmStpClkParm::ShowMsgAck})
        AppMain::Guard([this, step] { (this->*step)(); });
}

QRadioButton *frmStpClkParm::option(const char *name, const QString &caption, QButtonGroup *group)
{
    auto *button = new QRadioButton(caption);
    button->setObjectName(QString::fromLatin1(name));
    group->addButton(button);
    // However the option was chosen: mouse, keys or a screen reader.
    connect(button, &QRadioButton::toggled, this, AppMain::Guarded([this, button](bool on) {
                if (on)
                    optionChosen(button);
            }));
    return button;
}

QComboBox *frmStpClkParm::combo(const char *name, const QStringList &items)
{
    auto *box = new QComboBox;
    box->setObjectName(QString::fromLatin1(name));
    box->addItems(items);
    box->setCurrentIndex(-1);
    return box;
}

QCheckBox *frmStpClkParm::check(const char *name, const QString &caption)
{
    auto *box = new QCheckBox(caption);
    box->setObjectName(QString::fromLatin1(name));
    return box;
}

QWidget *frmStpClkParm::buildBadgeTab()
{
    cboBadgeFilteringStartPos = combo("cboBadgeFilteringStartPos", {});
    cboBadgeFilterNoOfChar = combo("cboBadgeFilterNoOfChar", {});
    cmbTimeElapsed = combo("cmbTimeElapsed", QStringList{QStringLiteral("Always")} + timeItems("", "Minutes", 2, 10));
    connect(cmbTimeElapsed, &QComboBox::activated, this, AppMain::Guarded([this] { comboChosen(cmbTimeElapsed, 8, 0); }));

    auto *tab = new QWidget;
    auto *grid = new QGridLayout(tab);
    grid->addWidget(frame(QStringLiteral("Input Length"), {option("optSixOnly", QStringLiteral("Six "), m_inputLength),
                                                           option("optAnyLen", QStringLiteral("Any length"), m_inputLength)}),
                    0, 0);
    grid->addWidget(frame(QStringLiteral("Output Length"),
                          {option("optBadgeLen6", QStringLiteral("Six"), m_outputLength),
                           option("optBadgeLen12", QStringLiteral("Twelve"), m_outputLength)}),
                    0, 1);
    grid->addWidget(frame(QStringLiteral("Badge Filtering"),
                          {labelled(QStringLiteral("Starting Position:"), cboBadgeFilteringStartPos),
                           labelled(QStringLiteral("Number of Characters:"), cboBadgeFilterNoOfChar)}),
                    0, 2);
    grid->addWidget(frame(QStringLiteral("Validation"), {option("optValidation", QStringLiteral("Enabled"), m_validation),
                                                         option("optNoValidation", QStringLiteral("Disabled"), m_validation)}),
                    1, 0);
    grid->addWidget(frame(QStringLiteral("Idle Prompt"),
                          {option("optIdleBadge(0)", QStringLiteral("Badge Disabled"), m_idleBadge),
                           option("optIdleBadge(1)", QStringLiteral("Badge Enabled"), m_idleBadge)}),
                    1, 1);
    grid->addWidget(frame(QStringLiteral("Keyboard Input"), {option("optAllowed", QStringLiteral("Enabled"), m_keyboard),
                                                             option("optNotAllowed", QStringLiteral("Disabled"), m_keyboard)}),
                    1, 2);
    grid->addWidget(frame(QStringLiteral("Multiple Badge Read"),
                          {labelled(QStringLiteral("Time elapse before next badge may be read:"), cmbTimeElapsed)}),
                    2, 0, 1, 3);
    return tab;
}

QWidget *frmStpClkParm::buildMessageTab()
{
    cmbPromptTimeOut = combo("cmbPromptTimeOut", timeItems("1 Second", "Seconds", 1, 9));
    cmbMsgTimeOut = combo("cmbMsgTimeOut", timeItems("1 Second", "Seconds", 1, 9));
    connect(cmbPromptTimeOut, &QComboBox::activated, this,
            AppMain::Guarded([this] { comboChosen(cmbPromptTimeOut, 9, 1); }));
    connect(cmbMsgTimeOut, &QComboBox::activated, this, AppMain::Guarded([this] { comboChosen(cmbMsgTimeOut, 10, 1); }));

    auto *tab = new QWidget;
    auto *layout = new QVBoxLayout(tab);
    layout->addWidget(frame(QStringLiteral("Prompt Display"), {labelled(QStringLiteral("Timeout:"), cmbPromptTimeOut)}));
    layout->addWidget(frame(QStringLiteral("Employee Message "),
                            {labelled(QStringLiteral(" Display Time:"), cmbMsgTimeOut), new QLabel(QStringLiteral("Acknowledgement:")),
                             option("ssoptNoMsgAck", QStringLiteral("Disable"), m_msgAck),
                             option("ssoptMsgTimeOut", QStringLiteral("Enable  (Time out)"), m_msgAck),
                             option("ssoptMsgWait", QStringLiteral("Enable  (Wait)"), m_msgAck)}));
    layout->addStretch(1);
    return tab;
}

QWidget *frmStpClkParm::buildGeneralTab()
{
    auto *relay = new QGroupBox(QStringLiteral("Relay Activation Time"));
    auto *relayForm = new QFormLayout(relay);
    const auto *digits = new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,4}")), this);
    for (int i = 0; i < ClkSetup::kRelayTimes; ++i) {
        QLineEdit *box = new QLineEdit;
        box->setObjectName(QStringLiteral("mskRelayTime(%1)").arg(i));
        box->setMaxLength(4);
        box->setValidator(digits);
        mskRelayTime[i] = box;
        connect(box, &QLineEdit::textEdited, this, AppMain::Guarded([this, i](const QString &t) { relayEdited(i, t); }));
        // A shorter entry shows as the clock will get it.
        connect(box, &QLineEdit::editingFinished, this, [this, i] {
            if (m_relayEdited[i])
                mskRelayTime[i]->setText(ClkSetup::PadRelayTime(mskRelayTime[i]->text()));
        });
        const QString caption = i == 0   ? QStringLiteral("Idle Function")
                                : i == 1 ? QStringLiteral("Function key F1")
                                         : QStringLiteral("Function Key F%1").arg(i);
        relayForm->addRow(caption, box);
    }

    chkFuncKeyPrompt = check("chkFuncKeyPrompt", QStringLiteral("Display during function key prompt"));
    chkIdlePrompt = check("chkIdlePrompt", QStringLiteral("Display during idle prompt"));
    connect(chkFuncKeyPrompt, &QCheckBox::stateChanged, this, AppMain::Guarded([this] { checkChanged(chkFuncKeyPrompt, 6); }));
    connect(chkIdlePrompt, &QCheckBox::stateChanged, this, AppMain::Guarded([this] { checkChanged(chkIdlePrompt, 7); }));

    auto *keys = frame(QStringLiteral("Function Keys"),
                       {frame(QStringLiteral("Last Punch Function Key"),
                              {option("optActiveLPunch", QStringLiteral("Active"), m_lastPunch),
                               option("optInActiveLPunch", QStringLiteral("Inactive"), m_lastPunch)}),
                        frame(QStringLiteral("Hours Worked"),
                              {option("optActiveHoursWorked", QStringLiteral("Active"), m_hoursWorked),
                               option("optInActiveHoursWorked", QStringLiteral("Inactive"), m_hoursWorked)})});
    auto *date = frame(QStringLiteral("Date/Time "),
                       {new QLabel(QStringLiteral("Display Format:")),
                        option("optAmericanDate", QStringLiteral("American (MM/DD/YY)"), m_dateFormat),
                        option("optEuropeanDate", QStringLiteral("European (DD/MM/YY)"), m_dateFormat), chkFuncKeyPrompt,
                        chkIdlePrompt});

    auto *tab = new QWidget;
    auto *layout = new QHBoxLayout(tab);
    layout->addWidget(keys);
    layout->addWidget(relay);
    layout->addWidget(date);
    return tab;
}

void frmStpClkParm::showOptions(const std::initializer_list<QButtonGroup *> &groups)
{
    for (QButtonGroup *group : groups) {
        QAbstractButton *chosen = nullptr;
        for (QAbstractButton *b : group->buttons()) {
            const ClkSetup::PositionChoice &c = ClkSetup::positionChoice(b->objectName());
            const QString value = QString::fromLatin1(c.value);
            if (ClkSetup::ReadPositions(ClkSetup::parmField(m_copy, c.field), c.position, value.size()) == value)
                chosen = b;
        }
        if (chosen)
            chosen->setChecked(true);
        else
            selectNone(group);
    }
}

void frmStpClkParm::showCombo(QComboBox *box, int position, int offset)
{
    const QString c = ClkSetup::ReadPositions(m_copy.ClockParameters, position, 1);
    const int index = isDigit(c) ? c.toInt() - offset : -1;
    box->setCurrentIndex(index >= 0 && index < box->count() ? index : -1);
}

void frmStpClkParm::showCheck(QCheckBox *box, int position)
{
    const QString c = ClkSetup::ReadPositions(m_copy.ClockDisplay, position, 1);
    // Any other character shows greyed and stays until the box is clicked.
    // Only a greyed box has the third state: a box shown ticked or unticked
    // (after Default too) goes to the other of the two at one click.
    const bool greyed = c != QLatin1String("1") && c != QLatin1String("0");
    box->setTristate(greyed);
    box->setCheckState(greyed ? Qt::PartiallyChecked : c == QLatin1String("1") ? Qt::Checked : Qt::Unchecked);
}

void frmStpClkParm::ShowClockParameters()
{
    showOptions({m_inputLength, m_keyboard, m_dateFormat, m_idleBadge});
    showCombo(cmbTimeElapsed, 8, 0);
    showCombo(cmbPromptTimeOut, 9, 1);
    showCombo(cmbMsgTimeOut, 10, 1);
}

void frmStpClkParm::ShowFunctionKeyParms()
{
    showOptions({m_lastPunch, m_hoursWorked});
}

void frmStpClkParm::ShowBadgeValidation()
{
    showOptions({m_validation});
}

void frmStpClkParm::ShowRelayTimes()
{
    for (int i = 0; i < ClkSetup::kRelayTimes; ++i) {
        const QString time = ClkSetup::ReadPositions(m_copy.RelayTimeOut, ClkSetup::relayPosition(i), 4);
        bool fourDigits = time.size() == 4;
        for (QChar c : time)
            fourDigits = fourDigits && c >= QLatin1Char('0') && c <= QLatin1Char('9');
        mskRelayTime[i]->setText(fourDigits ? time : QString());
        m_relayEdited[i] = false;
    }
}

void frmStpClkParm::ShowBadgeFilter()
{
    cboBadgeFilterNoOfChar->clear();
    cboBadgeFilterNoOfChar->addItems(numberItems(kFilterCounts));
    cboBadgeFilteringStartPos->clear();
    cboBadgeFilteringStartPos->addItems(numberItems(kStartPositions));
    const ClkSetup::BadgeFilterParts parts = ClkSetup::SplitBadgeFilter(m_copy.BadgeFilter);
    bool ok = false;
    const int start = parts.start.toInt(&ok);
    cboBadgeFilteringStartPos->setCurrentIndex(ok && start >= 0 && start < kStartPositions ? start : -1);
    const int count = parts.count.toInt(&ok);
    cboBadgeFilterNoOfChar->setCurrentIndex(ok && count >= 1 && count <= kFilterCounts ? count - 1 : -1);
}

void frmStpClkParm::ShowClockDisplay()
{
    showCheck(chkFuncKeyPrompt, 6);
    showCheck(chkIdlePrompt, 7);
}

void frmStpClkParm::ShowBadgeLen()
{
    showOptions({m_outputLength});
}

void frmStpClkParm::ShowMsgAck()
{
    showOptions({m_msgAck});
}

void frmStpClkParm::optionChosen(QRadioButton *option)
{
    const ClkSetup::PositionChoice &c = ClkSetup::positionChoice(option->objectName());
    ClkSetup::WritePositions(ClkSetup::parmField(m_copy, c.field), c.position, QString::fromLatin1(c.value));
}

void frmStpClkParm::comboChosen(QComboBox *box, int position, int offset)
{
    if (box->currentIndex() >= 0)
        ClkSetup::WritePositions(m_copy.ClockParameters, position, QString::number(box->currentIndex() + offset));
}

void frmStpClkParm::checkChanged(QCheckBox *box, int position)
{
    // Greyed shows a stored character other than 0 and 1: nothing to write
    // until the box is changed, which leaves the greyed state for good.
    if (box->checkState() == Qt::PartiallyChecked)
        return;
    box->setTristate(false);
    ClkSetup::WritePositions(m_copy.ClockDisplay, position, box->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
}

void frmStpClkParm::relayEdited(int i, const QString &text)
{
    m_relayEdited[i] = true;
    ClkSetup::WritePositions(m_copy.RelayTimeOut, ClkSetup::relayPosition(i), ClkSetup::PadRelayTime(text));
}

void frmStpClkParm::cmdDefault_Click()
{
    m_copy = ClkSetup::DefaultClockParms(m_copy);
    ShowClockParameters();
    ShowFunctionKeyParms();
    ShowRelayTimes();
    ShowBadgeLen();
    ShowClockDisplay();
    ShowMsgAck();
    ShowBadgeValidation();
}

void frmStpClkParm::cmdSave_Click()
{
    const int start = cboBadgeFilteringStartPos->currentIndex();
    const int count = cboBadgeFilterNoOfChar->currentIndex();
    // A list showing no number leaves the filter as it is stored.
    if (start >= 0 && count >= 0)
        m_copy.BadgeFilter = ClkSetup::BuildBadgeFilter(start + 1, count + 1);
    ClkSetup::SaveClockParms(m_copy);
}
