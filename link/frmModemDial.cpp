#include "link/frmModemDial.h"

#include "app/AppMain.h"
#include "app/LongOperation.h"
#include "app/Screen.h"
#include "app/frmMDI.h"
#include "link/SerialClk.h"
#include "platform/comm/commcontrol.h"
#include "platform/ui.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

frmModemDial::frmModemDial()
{
    setObjectName(QStringLiteral("frmModemDial"));
    setWindowTitle(QStringLiteral("Modem Connection"));

    auto *label = new QLabel(QStringLiteral("Initialization:"), this);
    label->setObjectName(QStringLiteral("Label1"));
    txtInitStr = new QLineEdit(SerialClk::state().CommParm.InitStr, this);
    txtInitStr->setObjectName(QStringLiteral("txtInitStr"));
    label->setBuddy(txtInitStr);
    cmdDial = new QPushButton(QStringLiteral("Dial"), this);
    cmdDial->setObjectName(QStringLiteral("cmdDial"));
    cmdSave = new QPushButton(QStringLiteral("Save"), this);
    cmdSave->setObjectName(QStringLiteral("cmdSave"));
    cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(cmdDial);
    buttons->addWidget(cmdSave);
    buttons->addWidget(cmdCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(txtInitStr);
    layout->addLayout(buttons);
    txtInitStr->setMinimumWidth(260);

    connect(cmdDial, &QPushButton::clicked, this, AppMain::Guarded([this] { cmdDial_Click(); }));
    connect(cmdSave, &QPushButton::clicked, this, AppMain::Guarded([this] { cmdSave_Click(); }));
    connect(cmdCancel, &QPushButton::clicked, this, AppMain::Guarded([this] { AppMain::CloseScreen(this); }));
}

void frmModemDial::cmdSave_Click()
{
    const QString text = txtInitStr->text();
    AppMain::SaveRegValue(QStringLiteral("COMM PARM"), QStringLiteral("InitStr"), text);
    SerialClk::state().CommParm.InitStr = text;
}

void frmModemDial::cmdDial_Click()
{
    SerialClk::BusyGuard guard(this);
    if (!guard)
        return;
    SerialClk::State &s = SerialClk::state();
    if (s.SelClock.ClockId.isEmpty())
        SerialClk::AskForClock();
    if (s.SelClock.ClockId.isEmpty())
        return;
    frmMDI *main = frmMDI::instance();
    Platform::CommControl &comm = *main->MSComm1;
    if (comm.PortOpen()) {
        if (s.ModemConnected)
            SerialClk::HangUpModem(comm);
        SerialClk::ClosePort(comm, main->sbrStatus);
    }
    if (!SerialClk::OpenPort(comm, s.SelClock.Port, s.SelClock.Settings, main->sbrStatus)) {
        Platform::Ui::msgBox(QStringLiteral("Unable to open the communication port."),
                             Platform::Ui::Style::OkOnly | Platform::Ui::Style::Information);
        return;
    }
    // The saved string, not an edit of the box that was never saved.
    if (!s.SelClock.PhoneNo.isEmpty())
        SerialClk::DialModem(comm, s.CommParm.InitStr, s.SelClock.PhoneNo, main->sbrStatus);
}

void frmModemDial::closeEvent(QCloseEvent *event)
{
    if (LongOperation::deferClose(this, event))
        return;
    event->accept();
}
