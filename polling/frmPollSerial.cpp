#include "polling/frmPollSerial.h"

#include "app/AppMain.h"
#include "app/LongOperation.h"
#include "app/Screen.h"
#include "app/frmMDI.h"
#include "link/SerialClk.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

const QColor kIdleColour(255, 255, 255);
const QColor kDeliveredColour(0, 255, 255);
// The form opens this far from the top of the main window.
constexpr int kTopEdgeTwips = 200;
constexpr int kTerminalMinWidth = 420;
constexpr int kTerminalMinHeight = 180;

QRadioButton *Option(const QString &name, const QString &caption, QWidget *parent)
{
    auto *option = new QRadioButton(caption, parent);
    option->setObjectName(name);
    return option;
}

QPushButton *Button(const QString &name, const QString &caption, QWidget *parent)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(name);
    return button;
}

} // namespace

frmPollSerial::frmPollSerial()
{
    setObjectName(QStringLiteral("frmPollSerial"));
    setWindowTitle(QStringLiteral("Poll Clock Data"));
    buildControls();
    Form_Load();
}

frmPollSerial::~frmPollSerial() = default;

void frmPollSerial::buildControls()
{
    Frame1 = new QGroupBox(QStringLiteral("Polling Options"), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    optpoll[1] = Option(QStringLiteral("optpoll1"), QStringLiteral("Automatic"), Frame1);
    optpoll[0] = Option(QStringLiteral("optpoll0"), QStringLiteral("Continuous"), Frame1);
    optpoll[1]->setChecked(true);
    auto *modes = new QVBoxLayout(Frame1);
    modes->addWidget(optpoll[1]);
    modes->addWidget(optpoll[0]);

    Frame5 = new QGroupBox(QStringLiteral("Clock"), this);
    Frame5->setObjectName(QStringLiteral("Frame5"));
    optAllClk = Option(QStringLiteral("optAllClk"), QStringLiteral("All clocks"), Frame5);
    optSelClk = Option(QStringLiteral("optSelClk"), QStringLiteral("Selected clock"), Frame5);
    optSelClk->setChecked(true);
    auto *clocks = new QVBoxLayout(Frame5);
    clocks->addWidget(optAllClk);
    clocks->addWidget(optSelClk);

    txtTerm = new QPlainTextEdit(this);
    txtTerm->setObjectName(QStringLiteral("txtTerm"));
    txtTerm->setReadOnly(true);
    txtTerm->setMinimumSize(kTerminalMinWidth, kTerminalMinHeight);
    txtTerm->setAutoFillBackground(true);
    QPalette palette = txtTerm->palette();
    palette.setColor(QPalette::Base, kIdleColour);
    txtTerm->setPalette(palette);

    lblPollStatus = new QLabel(this);
    lblPollStatus->setObjectName(QStringLiteral("lblPollStatus"));

    cmdPoll[0] = Button(QStringLiteral("cmdPoll0"), QStringLiteral("Poll Employee Data"), this);
    cmdPoll[1] = Button(QStringLiteral("cmdPoll1"), QStringLiteral("Poll Member Data"), this);
    cmdStopPoll = Button(QStringLiteral("cmdStopPoll"), QStringLiteral("Stop Poll"), this);
    cmdSetContPoll = Button(QStringLiteral("cmdSetContPoll"), QStringLiteral("Set Continuous Poll"), this);
    cmdResetContPoll = Button(QStringLiteral("cmdResetContPoll"), QStringLiteral("Reset Continuous Poll"), this);
    cmdClose = Button(QStringLiteral("cmdClose"), QStringLiteral("Close"), this);

    auto *options = new QHBoxLayout;
    options->addWidget(Frame1);
    options->addWidget(Frame5);
    auto *buttons = new QGridLayout;
    buttons->addWidget(cmdPoll[0], 0, 0);
    buttons->addWidget(cmdPoll[1], 0, 1);
    buttons->addWidget(cmdStopPoll, 0, 2);
    buttons->addWidget(cmdSetContPoll, 1, 0);
    buttons->addWidget(cmdResetContPoll, 1, 1);
    buttons->addWidget(cmdClose, 1, 2);
    auto *form = new QVBoxLayout(this);
    form->addLayout(options);
    form->addWidget(txtTerm, 1);
    form->addWidget(lblPollStatus);
    form->addLayout(buttons);

    // The order the controls are listed in: modes, clocks, terminal, buttons.
    const QWidget *order[] = {optpoll[1], optpoll[0], optAllClk, optSelClk, txtTerm, cmdPoll[0],
                              cmdPoll[1], cmdStopPoll, cmdSetContPoll, cmdResetContPoll, cmdClose};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(const_cast<QWidget *>(order[i - 1]), const_cast<QWidget *>(order[i]));

    for (int index : {0, 1})
        connect(cmdPoll[index], &QPushButton::clicked, this, AppMain::Guarded([this, index] { cmdPoll_Click(index); }));
    connect(cmdStopPoll, &QPushButton::clicked, this, AppMain::Guarded([this] { cmdStopPoll_Click(); }));
    connect(cmdSetContPoll, &QPushButton::clicked, this, AppMain::Guarded([this] { SetContPoll(); }));
    connect(cmdResetContPoll, &QPushButton::clicked, this, AppMain::Guarded([this] { ResetContPoll(); }));
    connect(cmdClose, &QPushButton::clicked, this, AppMain::Guarded([this] { cmdClose_Click(); }));
}

bool frmPollSerial::sorbTarget() const
{
    return AppMain::settings().TargetType == AppMain::kSorbTarget;
}

void frmPollSerial::Form_Load()
{
    StopPoll = false;
    cmdPoll[0]->setEnabled(true);
    // Continuous and member polling, and their set-up, serve the access-control target only.
    if (!sorbTarget()) {
        cmdPoll[1]->setEnabled(false);
        optpoll[0]->setEnabled(false);
        cmdSetContPoll->setEnabled(false);
        cmdResetContPoll->setEnabled(false);
    } else {
        optpoll[0]->setChecked(true);
    }
    cmdStopPoll->setEnabled(false);
    LoadPollPrompts();
}

void frmPollSerial::cmdPoll_Click(int index)
{
    if (optpoll[0]->isChecked())
        runPoll([this, index] { PollContinous(index); });
    else
        runPoll([this] { PollSerial::PollSerialClocksOnce(*this, m_files, optAllClk->isChecked()); });
}

void frmPollSerial::runPoll(const std::function<void()> &poll)
{
    SerialClk::BusyGuard guard(this, QStringLiteral("serial poll"));
    if (!guard)
        return;
    cmdPoll[0]->setEnabled(false);
    if (sorbTarget()) {
        cmdPoll[1]->setEnabled(false);
        cmdSetContPoll->setEnabled(false);
        cmdResetContPoll->setEnabled(false);
    }
    cmdStopPoll->setEnabled(true);
    StopPoll = false;
    m_poll = &guard;
    struct Release {
        SerialClk::BusyGuard *&poll;
        ~Release() { poll = nullptr; }
    } release{m_poll};
    poll();
}

void frmPollSerial::PollContinous(int index)
{
    PollSerial::PollContinous(*this, m_files, optAllClk->isChecked(), index != 0, PollAnswers);
}

void frmPollSerial::LoadPollPrompts()
{
    try {
        PollAnswers = PollSerial::LoadPollPrompts(AppMain::state().MainDb, AppMain::state().ClockReplyMsgs);
    } catch (const Platform::Error &e) {
        PollSerial::ShowError(e);
    }
}

void frmPollSerial::SetContPoll()
{
    PollSerial::SendContPollFile(true, optAllClk->isChecked());
}

void frmPollSerial::ResetContPoll()
{
    PollSerial::SendContPollFile(false, optAllClk->isChecked());
}

void frmPollSerial::cmdStopPoll_Click()
{
    setTerminalColour(kIdleColour);
    lblPollStatus->setText(QString());
    StopPoll = true;
    cmdPoll[0]->setEnabled(true);
    if (sorbTarget()) {
        cmdPoll[1]->setEnabled(true);
        cmdSetContPoll->setEnabled(true);
        cmdResetContPoll->setEnabled(true);
    }
    cmdStopPoll->setEnabled(false);
}

void frmPollSerial::cmdClose_Click()
{
    AppMain::CloseScreen(this);
}

void frmPollSerial::CloseDataFiles()
{
    m_files.close();
}

void frmPollSerial::closeEvent(QCloseEvent *event)
{
    // A running poll stops first and goes through its end steps; the form closes after it.
    if (LongOperation::deferClose(this, event)) {
        StopPoll = true;
        return;
    }
    cmdStopPoll_Click();
    CloseDataFiles();
    event->accept();
}

void frmPollSerial::setTerminalColour(const QColor &colour)
{
    if (txtTerm->palette().color(QPalette::Base) == colour)
        return;
    QPalette palette = txtTerm->palette();
    palette.setColor(QPalette::Base, colour);
    txtTerm->setPalette(palette);
}

void frmPollSerial::showStatus(const QString &caption)
{
    lblPollStatus->setText(caption);
}

void frmPollSerial::clearTerminal()
{
    txtTerm->clear();
}

void frmPollSerial::appendRecord(const QString &text)
{
    SerialClk::AppendTerminalText(txtTerm, text);
}

void frmPollSerial::showLineState(PollSerial::LineState state)
{
    setTerminalColour(state == PollSerial::LineState::Delivered ? kDeliveredColour : kIdleColour);
}

bool frmPollSerial::stopRequested() const
{
    return StopPoll || (m_poll && m_poll->stopRequested());
}

void frmPollSerial::requestStop()
{
    StopPoll = true;
}

void frmPollSerial::returnToIdle()
{
    cmdStopPoll_Click();
}

namespace PollSerial {

void InstallHooks()
{
    mdiHooks().showPollSerial = [] { AppMain::OneScreen<frmPollSerial>::show(AppMain::TopEdge(kTopEdgeTwips)); };
}

} // namespace PollSerial
