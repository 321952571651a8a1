#include "app/Screen.h"
#include "startup/Startup.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kovra-TEV"));
    QApplication::setWindowIcon(AppMain::ProgramIcon());
    return AppMain::Run();
}
