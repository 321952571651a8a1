#include "link/frmSendCmd.h"

#include "app/AppMain.h"
#include "app/LongOperation.h"
#include "app/Screen.h"
#include "app/frmMDI.h"
#include "link/SerialClk.h"
#include "link/TCPIP.h"
#include "platform/ansi.h"
#include "platform/error.h"
#include "platform/ui.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int kTopTwips = 100;

// Commands whose answer is fetched with a poll after the clock took them.
bool answersWithData(const QString &command)
{
    const QString head = command.left(3);
    return head == QLatin1String("S00") || head == QLatin1String("S01") || head == QLatin1String("T10");
}

} // namespace

frmSendCmd::frmSendCmd()
{
    setObjectName(QStringLiteral("frmSendCmd"));
    setWindowTitle(QStringLiteral("Send Command"));

    Label1 = new QLabel(QStringLiteral("Enter command in the box below:"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    txtCmd = new QLineEdit(this);
    txtCmd->setObjectName(QStringLiteral("txtCmd"));
    Label1->setBuddy(txtCmd);
    const auto button = [this](const char *name, const char *caption) {
        auto *b = new QPushButton(QString::fromLatin1(caption), this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        return b;
    };
    cmdGS = button("cmdGS", "GS");
    cmdRS = button("cmdRS", "RS");
    cmdUS = button("cmdUS", "US");
    cmdSend = button("cmdSend", "Send");
    cmdClear = button("cmdClear", "Clear");
    cmdClose = button("cmdClose", "Close");
    SSFrame1 = new QGroupBox(QStringLiteral("Terminal Response"), this);
    SSFrame1->setObjectName(QStringLiteral("SSFrame1"));
    txtResponse = new QPlainTextEdit(SSFrame1);
    txtResponse->setObjectName(QStringLiteral("txtResponse"));
    txtResponse->setReadOnly(true);
    auto *frameLayout = new QVBoxLayout(SSFrame1);
    frameLayout->addWidget(txtResponse);

    auto *separators = new QHBoxLayout;
    separators->addWidget(cmdGS);
    separators->addWidget(cmdRS);
    separators->addWidget(cmdUS);
    separators->addStretch();
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdSend);
    buttons->addWidget(cmdClear);
    buttons->addWidget(cmdClose);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(txtCmd);
    layout->addLayout(separators);
    layout->addLayout(buttons);
    layout->addWidget(SSFrame1);
    resize(460, 320);

    const SerialClk::State &s = SerialClk::state();
    connect(cmdGS, &QPushButton::clicked, this, AppMain::Guarded([this, &s] { PrintChar(s.GS.at(0)); }));
    connect(cmdRS, &QPushButton::clicked, this, AppMain::Guarded([this, &s] { PrintChar(s.RS.at(0)); }));
    connect(cmdUS, &QPushButton::clicked, this, AppMain::Guarded([this, &s] { PrintChar(s.US.at(0)); }));
    connect(cmdSend, &QPushButton::clicked, this, AppMain::Guarded([this] { cmdSend_Click(); }));
    connect(txtCmd, &QLineEdit::returnPressed, this, AppMain::Guarded([this] { cmdSend_Click(); }));
    connect(cmdClear, &QPushButton::clicked, this, AppMain::Guarded([this] {
                txtCmd->clear();
                txtResponse->clear();
            }));
    connect(cmdClose, &QPushButton::clicked, this, AppMain::Guarded([this] { AppMain::CloseScreen(this); }));
}

frmSendCmd::Edit frmSendCmd::PrintChar(const QString &text, int selStart, int selLength, QChar character)
{
    const int start = qBound(0, selStart, int(text.size()));
    const int length = qBound(0, selLength, int(text.size()) - start);
    return Edit{text.left(start) + character + text.mid(start + length), start + 1};
}

void frmSendCmd::PrintChar(QChar character)
{
    const int start = txtCmd->hasSelectedText() ? txtCmd->selectionStart() : txtCmd->cursorPosition();
    const int length = txtCmd->hasSelectedText() ? int(txtCmd->selectedText().size()) : 0;
    const Edit edit = PrintChar(txtCmd->text(), start, length, character);
    txtCmd->clear();
    txtCmd->setText(edit.text);
    txtCmd->setFocus();
    txtCmd->setCursorPosition(edit.caret);
}

void frmSendCmd::cmdSend_Click()
{
    QString command = txtCmd->text();
    if (command.isEmpty()) {
        Platform::Ui::msgBox(QStringLiteral("Please enter a command."));
        return;
    }
    const QString &RS = SerialClk::state().RS;
    if (!command.endsWith(RS))
        command += RS;
    // A character the clock's code page cannot carry is refused before anything goes out.
    QByteArray bytes;
    try {
        bytes = Platform::Ansi::encode(command);
    } catch (const Platform::Error &e) {
        Platform::ActiveError active(e);
        AppMain::ShowErrorMsg(QString(), e.description());
        return;
    }
    if (AppMain::settings().ClockInterface == 0)
        SendCommandSerial(command, bytes);
    else
        SendCommandTCPIP(bytes);
}

void frmSendCmd::SendCommandSerial(const QString &command, const QByteArray &bytes)
{
    SerialClk::BusyGuard exchange(this, QStringLiteral("send command"));
    if (!exchange)
        return;
    SerialClk::State &s = SerialClk::state();
    Platform::CommControl &comm = *frmMDI::instance()->MSComm1;
    txtResponse->clear();
    if (!s.ClockPortOpen && !SerialClk::OpenSelectedClockPort(comm))
        return;
    const int ctrl = s.SelClock.CtrlAddr;
    const int term = s.SelClock.TermAddr;

    if (!SerialClk::SendToPort(comm, SerialClk::BuildSelectMsg(ctrl, term)))
        return;
    QByteArray reply = SerialClk::ReadPortReply(comm);
    if (reply.isEmpty()) {
        txtResponse->setPlainText(SerialClk::kNotResponding);
        return;
    }
    if (SerialClk::ReplyHas(reply, s.NAK)) {
        txtResponse->setPlainText(SerialClk::kNotReady);
        return;
    }
    if (!SerialClk::SendToPort(comm, SerialClk::BuildDataFrame(ctrl, term, bytes)))
        return;
    reply = SerialClk::ReadPortReply(comm);
    if (reply.isEmpty()) {
        txtResponse->setPlainText(SerialClk::kNotResponding);
        return;
    }
    if (SerialClk::ReplyHas(reply, s.NAK)) {
        txtResponse->setPlainText(SerialClk::kNotReady);
        return;
    }
    if (!SerialClk::ReplyHas(reply, s.ACK)) {
        txtResponse->setPlainText(Platform::Ansi::decode(reply));
        return;
    }
    if (!answersWithData(command)) {
        txtResponse->setPlainText(QStringLiteral("Terminal received command."));
        return;
    }
    SerialClk::SendToPort(comm, SerialClk::BuildPollMsg(ctrl, term));
    reply = SerialClk::ReadPortReply(comm);
    if (!reply.contains('\\')) {
        txtResponse->setPlainText(SerialClk::kNotResponding);
        return;
    }
    SerialClk::AppendTerminalText(txtResponse, Platform::Ansi::decode(reply));
    SerialClk::SendToPort(comm, SerialClk::BuildAckMsg(ctrl, term));
}

void frmSendCmd::SendCommandTCPIP(const QByteArray &bytes)
{
    const std::optional<TCPIP::Build> build = TCPIP::ChosenBuild();
    if (!build)
        return;
    MDIHooks &hooks = mdiHooks();
    // With no clock chosen yet, ask for one as the TCP/IP set time does.
    if (hooks.selectedTcpIpClock && hooks.selectedTcpIpClock() < 1 && hooks.selectTcpIpClockModal)
        hooks.selectTcpIpClockModal();
    if (!hooks.selectedTcpIpClock || hooks.selectedTcpIpClock() < 1)
        return;
    // A send that cannot be made (no library, a clock record that is no number) is a failure too.
    uint32_t result = 1;
    try {
        TCPIP::State &link = TCPIP::state();
        const TCPIP::TCPIPClockRec &clock = link.SelTCPIPClock;
        bool controllerOk = false, clockOk = false;
        const int controller = clock.Controller.trimmed().toInt(&controllerOk);
        const int terminal = clock.Clock.trimmed().toInt(&clockOk);
        if (controllerOk && clockOk) {
            link.LinkHandleArg = link.LinkHandle;
            result = TCPIP::Api(*build).SendMsgTimeClock(link.LinkHandleArg, controller, terminal, bytes.constData());
        }
    } catch (const Platform::Error &) {
        result = 1;
    }
    if (result > 0)
        txtResponse->setPlainText(QStringLiteral("Unable to send command!"));
}

void frmSendCmd::closeEvent(QCloseEvent *event)
{
    if (LongOperation::deferClose(this, event))
        return;
    event->accept();
}

namespace SerialClk {

void InstallSendCmdHook()
{
    mdiHooks().showSendCmd = [] { AppMain::OneScreen<frmSendCmd>::show(AppMain::TopEdge(kTopTwips)); };
}

} // namespace SerialClk
