#include "link/frmCancelSend.h"

#include "app/LongOperation.h"
#include "link/SerialClk.h"

#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

namespace {
// The window manager maps a new window within this; a slower one gets the text a moment later.
constexpr int kExposeWaitMs = 500;
constexpr int kExposePollMs = 5;
}

frmCancelSend::frmCancelSend() : QWidget(nullptr, Qt::Dialog | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("frmCancelSend"));
    setAttribute(Qt::WA_DeleteOnClose);

    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setWordWrap(true);
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    bufferin = new QPlainTextEdit(this);
    bufferin->setObjectName(QStringLiteral("bufferin"));
    bufferin->setReadOnly(true);
    bufferin->hide();
    cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    connect(cmdCancel, &QPushButton::clicked, this, AppMain::Guarded([this] { cmdCancel_Click(); }));

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(ProgressBar1);
    layout->addWidget(bufferin);
    layout->addWidget(cmdCancel, 0, Qt::AlignHCenter);
    resize(420, 150);
    SetUpForSerial(QString());
}

void frmCancelSend::SetUpForSerial(const QString &text)
{
    setWindowTitle(QStringLiteral("Cancel Send/Receive "));
    Label1->setText(text);
    Label1->show();
    ProgressBar1->show();
    cmdCancel->show();
    bufferin->hide();
}

void frmCancelSend::SetUpForTcpIp(const QString &text)
{
    setWindowTitle(QStringLiteral("Command File Download"));
    Label1->hide();
    ProgressBar1->hide();
    cmdCancel->hide();
    bufferin->setPlainText(text);
    bufferin->show();
}

void frmCancelSend::ShowBeforeBlocking()
{
    show();
    QElapsedTimer waited;
    waited.start();
    while (windowHandle() && !windowHandle()->isExposed() && waited.elapsed() < kExposeWaitMs) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        QThread::msleep(kExposePollMs);
    }
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void frmCancelSend::EndDownload()
{
    SerialClk::state().CancelSend = true;
    if (frmCancelSend *form = existing())
        form->hide();
}

void frmCancelSend::cmdCancel_Click()
{
    SerialClk::state().CancelSend = true;
}

void frmCancelSend::Form_Activate()
{
    // Topmost comes from the window flags; raising keeps it above the program's own windows.
    raise();
}

void frmCancelSend::Form_Deactivate()
{
    if (SerialClk::state().CancelSend)
        return;
    show();
    raise();
    activateWindow();
}

void frmCancelSend::closeEvent(QCloseEvent *event)
{
    AppMain::Guard([&] {
        if (!SerialClk::state().CancelSend) {
            if (cmdCancel->isVisibleTo(this))
                cmdCancel_Click();
            event->ignore();
            return;
        }
        if (LongOperation::deferClose(this, event))
            return;
        event->accept();
    });
}

void frmCancelSend::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() != QEvent::ActivationChange)
        return;
    if (isActiveWindow()) {
        Form_Activate();
        return;
    }
    // Only a window of this program taking the activation counts; another
    // program's window leaves no active window here. Queued so the activation
    // now under way finishes first.
    if (!QApplication::activeWindow())
        return;
    QPointer<frmCancelSend> self(this);
    QTimer::singleShot(0, this, AppMain::Guarded([self] {
        if (self)
            self->Form_Deactivate();
    }));
}
