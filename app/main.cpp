#include "app/AppMain.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kovra-TEV"));
    return AppMain::Run();
}
