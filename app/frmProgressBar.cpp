#include "app/frmProgressBar.h"

#include "app/AppMain.h"

#include <QFrame>
#include <QLabel>
#include <QVBoxLayout>

#include <algorithm>

namespace {
constexpr int kBarWidth = 320;
constexpr int kBarHeight = 24;
}

QString frmProgressBar::PercentText(int percent)
{
    return QStringLiteral("%1 %").arg(percent, 2, 10, QLatin1Char('0'));
}

frmProgressBar::frmProgressBar() : QWidget(nullptr, Qt::Dialog)
{
    setObjectName(QStringLiteral("frmProgressBar"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QString());

    lblProcess = new QLabel(QStringLiteral("Imported:"), this);
    lblProcess->setObjectName(QStringLiteral("lblProcess"));
    tbFlood = new QFrame(this);
    tbFlood->setObjectName(QStringLiteral("tbFlood"));
    tbFlood->setFixedSize(kBarWidth, kBarHeight);
    // The filled part is lblPush; lblPercent rides at its end.
    lblPush = new QLabel(QStringLiteral("Importing file"), tbFlood);
    lblPush->setObjectName(QStringLiteral("lblPush"));
    lblPush->setAutoFillBackground(true);
    lblPercent = new QLabel(QStringLiteral("0 %"), tbFlood);
    lblPercent->setObjectName(QStringLiteral("lblPercent"));

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lblProcess);
    layout->addWidget(tbFlood);
    Form_Load();
}

void frmProgressBar::Form_Load()
{
    adjustSize();
    AppMain::CenterForm(this);
    tbFlood->setFrameStyle(QFrame::Box | QFrame::Plain);
    tbFlood->setLineWidth(1);
    QPalette fill = lblPush->palette();
    fill.setColor(QPalette::Window, palette().color(QPalette::Highlight));
    fill.setColor(QPalette::WindowText, palette().color(QPalette::HighlightedText));
    lblPush->setPalette(fill);
    placeBar();
}

void frmProgressBar::SetPercent(int percent)
{
    m_percent = std::clamp(percent, 0, 100);
    lblPercent->setText(PercentText(percent));
    placeBar();
}

void frmProgressBar::placeBar()
{
    const QRect inside = tbFlood->contentsRect();
    const int filled = inside.width() * m_percent / 100;
    lblPush->setGeometry(inside.x(), inside.y(), filled, inside.height());
    lblPercent->adjustSize();
    const int x = std::min(inside.x() + filled + 2, inside.right() - lblPercent->width());
    lblPercent->move(std::max(inside.x(), x), inside.y() + (inside.height() - lblPercent->height()) / 2);
    lblPercent->raise();
}

void frmProgressBar::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    placeBar();
}
