#include "app/Application.h"
#include "app/LinuxPlatform.h"
#include "app/OneInstance.h"
#include "common/TextFiles.h"
#include "common/Version.h"
#include "platform/ProcessHardening.h"
#include "platform/ThreadFailure.h"
#include "platform/instance/LocalSingleInstance.h"
#include "settings/ProgramFolder.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    // Before anything holds a secret: no core file, no reading of our memory.
    kr::HardenProcess();
    kr::EndOnThreadFailure();
    // The gate and the main window stay on top, which only X11 offers: on a
    // Wayland desktop with XWayland our own windows go through XWayland (the
    // keys we type still reach Wayland windows, see KeystrokeRoute).
    if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") && !qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication application(argc, argv);
    // The windows' class (WM_CLASS) the desktop entry names, however the program was started.
    QApplication::setApplicationName(kr::appTitle());
    // Hidden windows keep the program alive: the window registry decides when it ends.
    QApplication::setQuitOnLastWindowClosed(false);
    kr::LinuxPlatform platform;
    // Installed system-wide: each user's folder is made at their first start,
    // before the single-instance guard names its socket after it.
    if (kr::ProgramFolderIsUserData())
        kr::PrepareProgramFolder(kr::AppDir(), *platform.services().database,
                                 QApplication::applicationDirPath() + QStringLiteral("/ICON.ico"));
    kr::KeyroviaApp keyrovia(platform.services());
    // A second start of the same program folder shows the running one instead.
    kr::LocalSingleInstance instance;
    if (!kr::ClaimProgramFolder(instance, keyrovia))
        return 0;
    keyrovia.start();
    return QApplication::exec();
}
