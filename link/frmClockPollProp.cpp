#include "link/frmClockPollProp.h"

#include "app/AppMain.h"
#include "app/Screen.h"
#include "app/frmMDI.h"
#include "link/SerialClk.h"
#include "platform/ui.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

constexpr int kTopTwips = 200;
constexpr int kSpeedEntries = 50;
const QString kCommKey = QStringLiteral("COMM PARM");

QString fourPlaces(int value)
{
    return QStringLiteral("%1").arg(value, 4, 10, QLatin1Char('0'));
}

} // namespace

frmClockPollProp::frmClockPollProp()
{
    setObjectName(QStringLiteral("frmClockPollProp"));
    setWindowTitle(QStringLiteral("Poll / Delay Properties"));

    lblPollDelay = new QLabel(QStringLiteral("Poll Delay:"), this);
    lblPollDelayUnit = new QLabel(QStringLiteral("ms"), this);
    lblTimeOut = new QLabel(QStringLiteral("Timeout:"), this);
    lblTimeOutUnit = new QLabel(QStringLiteral("ms"), this);
    lblMachineSpeed = new QLabel(QStringLiteral("Machine Speed:"), this);
    const auto masked = [this](const char *name, QLabel *label) {
        auto *box = new QLineEdit(this);
        box->setObjectName(QString::fromLatin1(name));
        box->setInputMask(QStringLiteral("0000;_"));
        box->setMaximumWidth(80);
        label->setBuddy(box);
        return box;
    };
    mskPollingDelay = masked("mskPollingDelay", lblPollDelay);
    mskPollingTimeOut = masked("mskPollingTimeOut", lblTimeOut);
    cboMachineSpeed = new QComboBox(this);
    cboMachineSpeed->setObjectName(QStringLiteral("cboMachineSpeed"));
    lblMachineSpeed->setBuddy(cboMachineSpeed);
    cmdSave = new QPushButton(QStringLiteral("Save"), this);
    cmdSave->setObjectName(QStringLiteral("cmdSave"));
    cmdClose = new QPushButton(QStringLiteral("Close"), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));

    auto *grid = new QGridLayout;
    grid->addWidget(lblPollDelay, 0, 0);
    grid->addWidget(mskPollingDelay, 0, 1);
    grid->addWidget(lblPollDelayUnit, 0, 2);
    grid->addWidget(lblTimeOut, 1, 0);
    grid->addWidget(mskPollingTimeOut, 1, 1);
    grid->addWidget(lblTimeOutUnit, 1, 2);
    grid->addWidget(lblMachineSpeed, 2, 0);
    grid->addWidget(cboMachineSpeed, 2, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdSave);
    buttons->addWidget(cmdClose);
    auto *layout = new QGridLayout(this);
    layout->addLayout(grid, 0, 0);
    layout->addLayout(buttons, 1, 0);

    connect(cmdSave, &QPushButton::clicked, this, AppMain::Guarded([this] { cmdSave_Click(); }));
    connect(cmdClose, &QPushButton::clicked, this, AppMain::Guarded([this] { cmdClose_Click(); }));

    AppMain::Guard([this] { LoadPropertySettings(); });
}

int frmClockPollProp::MaskValue(const QString &text)
{
    QString digits;
    for (const QChar c : text) {
        if (c.isDigit())
            digits += c;
    }
    return digits.isEmpty() ? 0 : digits.toInt();
}

void frmClockPollProp::LoadPropertySettings()
{
    const SerialClk::CommParmRec &parm = SerialClk::state().CommParm;
    cboMachineSpeed->clear();
    for (int i = 1; i <= kSpeedEntries; ++i)
        cboMachineSpeed->addItem(QString::number(i));
    mskPollingDelay->setText(fourPlaces(parm.PollDelay));
    mskPollingTimeOut->setText(fourPlaces(parm.PollTimeOut));
    // A stored speed outside the list selects nothing.
    cboMachineSpeed->setCurrentIndex(parm.MachineSpeed >= 1 && parm.MachineSpeed <= kSpeedEntries ? parm.MachineSpeed - 1
                                                                                                   : -1);
}

bool frmClockPollProp::delayChanged() const
{
    return MaskValue(mskPollingDelay->text()) != SerialClk::state().CommParm.PollDelay;
}

bool frmClockPollProp::timeOutChanged() const
{
    return MaskValue(mskPollingTimeOut->text()) != SerialClk::state().CommParm.PollTimeOut;
}

bool frmClockPollProp::speedChanged() const
{
    // No entry selected is no choice of the user's: storing 0 would remove the pause after every send.
    const int index = cboMachineSpeed->currentIndex();
    return index >= 0 && index + 1 != SerialClk::state().CommParm.MachineSpeed;
}

void frmClockPollProp::cmdSave_Click()
{
    SerialClk::CommParmRec &parm = SerialClk::state().CommParm;
    if (delayChanged()) {
        parm.PollDelay = AppMain::CInt(MaskValue(mskPollingDelay->text()));
        AppMain::SaveRegValue(kCommKey, QStringLiteral("PollDelay"), QString::number(parm.PollDelay));
    }
    if (timeOutChanged()) {
        parm.PollTimeOut = AppMain::CInt(MaskValue(mskPollingTimeOut->text()));
        AppMain::SaveRegValue(kCommKey, QStringLiteral("PollTimeOut"), QString::number(parm.PollTimeOut));
    }
    if (speedChanged()) {
        parm.MachineSpeed = AppMain::CInt(cboMachineSpeed->currentIndex() + 1);
        AppMain::SaveRegValue(kCommKey, QStringLiteral("MachineSpeed"), QString::number(parm.MachineSpeed));
    }
}

void frmClockPollProp::cmdClose_Click()
{
    if (delayChanged() || timeOutChanged() || speedChanged()) {
        if (Platform::Ui::msgBox(QStringLiteral("Do you want to save the changes?"), Platform::Ui::Style::YesNo) ==
            Platform::Ui::Answer::Yes)
            cmdSave_Click();
    }
    AppMain::CloseScreen(this);
}

namespace SerialClk {

void InstallPollPropertiesHook()
{
    mdiHooks().showPollProperties = [] { AppMain::OneScreen<frmClockPollProp>::show(AppMain::TopEdge(kTopTwips)); };
}

} // namespace SerialClk
