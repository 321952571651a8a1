#include "app/frmMDI.h"

#include "app/AppMain.h"
#include "posting/KovraDS.h"

#include <QApplication>
#include <QCloseEvent>

namespace {
frmMDI *mainWindow = nullptr;
}

frmMDI *frmMDI::instance()
{
    if (!mainWindow)
        mainWindow = new frmMDI;
    return mainWindow;
}

frmMDI *frmMDI::existing()
{
    return mainWindow;
}

frmMDI::frmMDI()
{
    setObjectName(QStringLiteral("frmMDI"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Kovra-TEV"));
    resize(800, 600);
}

frmMDI::~frmMDI()
{
    mainWindow = nullptr;
}

void frmMDI::closeEvent(QCloseEvent *event)
{
    MDIForm_Unload();
    event->accept();
}

void frmMDI::MDIForm_Unload()
{
    AppMain::state().MainDb.close();
    KovraDS::CloseTargetDb();
    QApplication::quit();
}
