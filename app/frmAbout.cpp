#include "app/frmAbout.h"

#include "app/AppMain.h"
#include "platform/ui.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#ifndef TEV_VERSION_MAJOR
#define TEV_VERSION_MAJOR 0
#endif
#ifndef TEV_VERSION_MINOR
#define TEV_VERSION_MINOR 0
#endif
#ifndef TEV_VERSION_REVISION
#define TEV_VERSION_REVISION 0
#endif

namespace {
constexpr int kIconSize = 48;
}

QString frmAbout::VersionText(int major, int minor, int revision)
{
    return QStringLiteral("Version %1.%2.%3").arg(major).arg(minor).arg(revision);
}

frmAbout::frmAbout()
{
    setObjectName(QStringLiteral("frmAbout"));
    setAttribute(Qt::WA_DeleteOnClose);

    picIcon = new QLabel(this);
    picIcon->setObjectName(QStringLiteral("picIcon"));
    picIcon->setPixmap(AppMain::ProgramIcon().pixmap(kIconSize, kIconSize));

    SSPanel1 = new QFrame(this);
    SSPanel1->setObjectName(QStringLiteral("SSPanel1"));
    SSPanel1->setFrameShape(QFrame::Panel);
    SSPanel1->setFrameShadow(QFrame::Sunken);
    lblTitle = new QLabel(SSPanel1);
    lblTitle->setObjectName(QStringLiteral("lblTitle"));
    QFont titleFont = lblTitle->font();
    titleFont.setPointSize(titleFont.pointSize() + 6);
    titleFont.setBold(true);
    lblTitle->setFont(titleFont);
    Line1 = new QFrame(SSPanel1);
    Line1->setObjectName(QStringLiteral("Line1"));
    Line1->setFrameShape(QFrame::HLine);
    Line1->setFrameShadow(QFrame::Sunken);
    lblVersion = new QLabel(SSPanel1);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    auto *panelLayout = new QVBoxLayout(SSPanel1);
    panelLayout->addWidget(lblTitle);
    panelLayout->addWidget(Line1);
    panelLayout->addWidget(lblVersion);

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, AppMain::Guarded([this] { cmdOK_Click(); }));

    auto *top = new QHBoxLayout;
    top->addWidget(picIcon, 0, Qt::AlignTop);
    top->addWidget(SSPanel1, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(cmdOK, 0, Qt::AlignRight);
    Form_Load();
}

void frmAbout::Form_Load()
{
    // Wide enough for its caption, which is set just below.
    setMinimumWidth(Platform::Ui::widthForTitle(this, QStringLiteral("About ") + Platform::Ui::AppTitle));
    adjustSize();
    AppMain::CenterForm(this);
    setWindowTitle(QStringLiteral("About ") + Platform::Ui::AppTitle);
    lblTitle->setText(Platform::Ui::AppTitle);
    lblVersion->setText(VersionText(TEV_VERSION_MAJOR, TEV_VERSION_MINOR, TEV_VERSION_REVISION));
}

void frmAbout::cmdOK_Click()
{
    close();
}
