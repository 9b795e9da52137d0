#include "app/Application.h"
#include "app/LinuxPlatform.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    // Hidden windows keep the program alive: the window registry decides when it ends.
    QApplication::setQuitOnLastWindowClosed(false);
    kr::LinuxPlatform platform;
    kr::KeyroviaApp keyrovia(platform.services());
    keyrovia.start();
    return QApplication::exec();
}
