#include <QApplication>
#include <QMainWindow>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.setObjectName(QStringLiteral("frmMDI"));
    window.setWindowTitle(QStringLiteral("Kovra-TEV"));
    window.show();
    return app.exec();
}
