#include "polling/frmPollTCPIP.h"

#include "app/AppMain.h"
#include "app/ClockOperation.h"
#include "app/LongOperation.h"
#include "app/Screen.h"
#include "app/frmMDI.h"
#include "link/TCPIP.h"
#include "polling/PollFiles.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTextCursor>
#include <QVBoxLayout>

namespace {

// The terminal turns cyan while it shows records and white again at Stop.
const QColor kTerminalShowing(0, 255, 255);
const QColor kTerminalIdle(255, 255, 255);
constexpr int kTopEdgeTwips = 200;

QPushButton *button(QWidget *parent, const char *name, const QString &caption, QStyle::StandardPixmap icon)
{
    auto *b = new QPushButton(parent->style()->standardIcon(icon), caption, parent);
    b->setObjectName(QLatin1String(name));
    b->setFont(QFont(QStringLiteral("Times New Roman")));
    return b;
}

} // namespace

frmPollTCPIP::frmPollTCPIP()
{
    setObjectName(QStringLiteral("frmPollTCPIP"));
    setWindowTitle(QStringLiteral("Poll Clock Data"));

    Frame5 = new QGroupBox(QStringLiteral("Clock"), this);
    Frame5->setObjectName(QStringLiteral("Frame5"));
    optSelClk = new QRadioButton(QStringLiteral("Selected clock"), Frame5);
    optSelClk->setObjectName(QStringLiteral("optSelClk"));
    optAllClk = new QRadioButton(QStringLiteral("All clocks"), Frame5);
    optAllClk->setObjectName(QStringLiteral("optAllClk"));
    optSelClk->setChecked(true);
    auto *options = new QHBoxLayout(Frame5);
    options->addWidget(optSelClk);
    options->addWidget(optAllClk);
    options->addStretch();

    txtTerm = new QPlainTextEdit(this);
    txtTerm->setObjectName(QStringLiteral("txtTerm"));
    txtTerm->setReadOnly(true);
    setTerminalColour(kTerminalIdle);
    lblPollStatus = new QLabel(this);
    lblPollStatus->setObjectName(QStringLiteral("lblPollStatus"));

    cmdPoll = button(this, "cmdPoll", QStringLiteral("Poll"), QStyle::SP_MediaPlay);
    cmdStopPoll = button(this, "cmdStopPoll", QStringLiteral("Stop"), QStyle::SP_MediaStop);
    cmdClose = button(this, "cmdClose", QStringLiteral("Close"), QStyle::SP_DialogCloseButton);
    connect(cmdPoll, &QPushButton::clicked, this, AppMain::Guarded([this] { cmdPoll_Click(); }));
    connect(cmdStopPoll, &QPushButton::clicked, this, AppMain::Guarded([this] { cmdStopPoll_Click(); }));
    connect(cmdClose, &QPushButton::clicked, this, AppMain::Guarded([this] { cmdClose_Click(); }));

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdPoll);
    buttons->addWidget(cmdStopPoll);
    buttons->addWidget(cmdClose);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Frame5);
    layout->addWidget(txtTerm, 1);
    layout->addWidget(lblPollStatus);
    layout->addLayout(buttons);

    setTabOrder(optSelClk, optAllClk);
    setTabOrder(optAllClk, txtTerm);
    setTabOrder(txtTerm, cmdPoll);
    setTabOrder(cmdPoll, cmdStopPoll);
    setTabOrder(cmdStopPoll, cmdClose);

    // Form_Load
    StopPoll = false;
    cmdPoll->setEnabled(true);
    cmdStopPoll->setEnabled(false);
    resize(520, 360);
}

void frmPollTCPIP::cmdPoll_Click()
{
    bool started = false;
    {
        // Stop enables Poll while the stopped loop still gives clocks their last step; a second loop
        // started inside it would end the poll file under the first.
        const ClockOperation operation(QStringLiteral("TCP/IP poll"), this);
        if (!operation)
            return;
        cmdPoll->setEnabled(false);
        cmdStopPoll->setEnabled(true);
        StopPoll = false;

        TCPIP::State &s = TCPIP::state();
        TCPIPPoll::Shape shape = TCPIPPoll::Shape::AllClocks;
        if (optSelClk->isChecked()) {
            if (s.SelTCPIPClock.ScreenID < 1 && mdiHooks().selectTcpIpClockModal)
                mdiHooks().selectTcpIpClockModal();
            // No choice: the buttons stay as they are until Stop.
            if (s.SelTCPIPClock.ScreenID < 1)
                return;
            s.CurTCPIPClock = s.SelTCPIPClock;
            shape = TCPIPPoll::Shape::SelectedClock;
        }
        started = TCPIPPoll::RunLoop(shape, TCPIP::TransferBuild(), *this, {&StopPoll, &operation});
    }
    if (started)
        PollFiles::FinishPollFile(PollFiles::PollFilePath());
}

void frmPollTCPIP::cmdStopPoll_Click()
{
    setTerminalColour(kTerminalIdle);
    lblPollStatus->setText(QString());
    StopPoll = true;
    cmdPoll->setEnabled(true);
    cmdStopPoll->setEnabled(false);
}

void frmPollTCPIP::cmdClose_Click()
{
    AppMain::CloseScreen(this);
}

void frmPollTCPIP::closeEvent(QCloseEvent *event)
{
    if (LongOperation::deferClose(this, event))
        return;
    cmdStopPoll_Click();
    event->accept();
}

void frmPollTCPIP::showTerminal(const QString &text)
{
    txtTerm->setPlainText(text);
    txtTerm->moveCursor(QTextCursor::End);  // the latest record in view
    setTerminalColour(kTerminalShowing);
}

void frmPollTCPIP::showStatus(const QString &text)
{
    lblPollStatus->setText(text);
}

void frmPollTCPIP::showConnected(bool connected)
{
    if (frmMDI *w = frmMDI::existing())
        w->ShowPortState(connected);
}

void frmPollTCPIP::setTerminalColour(const QColor &colour)
{
    QPalette p = txtTerm->palette();
    if (p.color(QPalette::Base) == colour)
        return;
    p.setColor(QPalette::Base, colour);
    txtTerm->setPalette(p);
}

namespace TCPIPPoll {

void InstallHooks()
{
    mdiHooks().settleTcpIpRecords = [] { AppMain::Guard(TCPIPPoll::SettleHeldRecords); };
    mdiHooks().showPollTcpIp = [] {
        AppMain::Guard([] { AppMain::OneScreen<frmPollTCPIP>::show(AppMain::TopEdge(kTopEdgeTwips)); });
    };
}

} // namespace TCPIPPoll
