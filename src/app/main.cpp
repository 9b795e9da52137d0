#include "app/Application.h"
#include "app/LinuxPlatform.h"
#include "platform/ProcessHardening.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    // Before anything holds a secret: no core file, no reading of our memory.
    kr::HardenProcess();
    QApplication application(argc, argv);
    // Hidden windows keep the program alive: the window registry decides when it ends.
    QApplication::setQuitOnLastWindowClosed(false);
    kr::LinuxPlatform platform;
    kr::KeyroviaApp keyrovia(platform.services());
    keyrovia.start();
    return QApplication::exec();
}
