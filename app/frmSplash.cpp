#include "app/frmSplash.h"

#include "app/AppMain.h"
#include "app/frmMDI.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr int kSplashMs = 1000;

QPixmap splashPicture()
{
    QPixmap picture(420, 220);
    picture.fill(QColor(0x1F, 0x3A, 0x5F));
    QPainter painter(&picture);
    painter.setPen(Qt::white);
    QFont title = painter.font();
    title.setPointSize(28);
    title.setBold(true);
    painter.setFont(title);
    painter.drawText(QRect(0, 40, 420, 70), Qt::AlignCenter, QStringLiteral("Kovra-TEV"));
    QFont line = painter.font();
    line.setPointSize(11);
    line.setBold(false);
    painter.setFont(line);
    painter.drawText(QRect(0, 120, 420, 30), Qt::AlignCenter, QStringLiteral("Badge time clock manager"));
    painter.drawText(QRect(0, 170, 420, 30), Qt::AlignCenter, QStringLiteral("Starting..."));
    return picture;
}

} // namespace

frmSplash::frmSplash() : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("frmSplash"));
    setAttribute(Qt::WA_DeleteOnClose);
    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(splashPicture());
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Image1);
    adjustSize();
    AppMain::CenterForm(this);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(kSplashMs);
    connect(Timer1, &QTimer::timeout, this, AppMain::Guarded([this] { Timer1_Timer(); }));
    Timer1->start();
}

void frmSplash::Timer1_Timer()
{
    Timer1->stop();
    frmMDI *main = frmMDI::instance();
    close();
    main->show();
}

void frmSplash::closeEvent(QCloseEvent *event)
{
    // A close before the tick would otherwise leave a process with no window
    // and the clock database open. The main window shows before the splash
    // goes, so the program never runs without a window.
    if (Timer1->isActive()) {
        Timer1->stop();
        AppMain::Guard([] { frmMDI::instance()->show(); });
    }
    event->accept();
}
