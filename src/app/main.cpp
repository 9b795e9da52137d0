#include "app/Application.h"
#include "app/LinuxPlatform.h"
#include "app/OneInstance.h"
#include "common/Version.h"
#include "platform/ProcessHardening.h"
#include "platform/instance/LocalSingleInstance.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    // Before anything holds a secret: no core file, no reading of our memory.
    kr::HardenProcess();
    QApplication application(argc, argv);
    // The windows' class (WM_CLASS) the desktop entry names, however the program was started.
    QApplication::setApplicationName(kr::appTitle());
    // Hidden windows keep the program alive: the window registry decides when it ends.
    QApplication::setQuitOnLastWindowClosed(false);
    kr::LinuxPlatform platform;
    kr::KeyroviaApp keyrovia(platform.services());
    // A second start of the same program folder shows the running one instead.
    kr::LocalSingleInstance instance;
    if (!kr::ClaimProgramFolder(instance, keyrovia))
        return 0;
    keyrovia.start();
    return QApplication::exec();
}
