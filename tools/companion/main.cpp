// keyrovia-companion: the browser extension's native messaging host.
//
// Started by the browser (Chromium/Chrome pass the extension's origin,
// Firefox the manifest path and the add-on id; anything else is refused):
//   keyrovia-companion chrome-extension://.../
// Installed once per user, after which the extension can reach it:
//   keyrovia-companion --install [--user-data-dir DIR]
//   keyrovia-companion --uninstall [--user-data-dir DIR]
// Removes the toolbar buttons of the Keyrovia beside it, when that is uninstalled:
//   keyrovia-companion --remove-buttons
#include "CompanionHost.h"
#include "HostManifests.h"
#include "ToolbarButtons.h"
#include "platform/ProcessHardening.h"
#include "platform/registry/SqliteRegistry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

using namespace kr::companion;

namespace {

const char kUsage[] = "Usage: keyrovia-companion --install [--user-data-dir DIR]\n"
                      "       keyrovia-companion --uninstall [--user-data-dir DIR]\n"
                      "       keyrovia-companion --remove-buttons\n"
                      "\n"
                      "Registers this program with Chromium, Chrome and Firefox for the current user,\n"
                      "so that the Keyrovia browser extension can tell Keyrovia which page is shown\n"
                      "and show Keyrovia's toolbar button.\n"
                      "--user-data-dir registers it for the one Chromium profile folder DIR instead.\n"
                      "--remove-buttons removes the toolbar buttons of the Keyrovia in this folder.\n"
                      "Browsers start it themselves; there is no need to run it otherwise.\n";

QString ownPath()
{
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
}

// The browser names the extension that asked for us; only our own may talk to us.
bool startedForOurExtension(int argc, char** argv)
{
    const QByteArray chromium = QByteArray("chrome-extension://") + kr::companion::kChromiumExtensionId + '/';
    if (argc >= 2 && chromium == argv[1]) {
        return true;
    }
    return argc >= 3 && QByteArray(kr::companion::kFirefoxExtensionId) == argv[2];
}

int hostMode()
{
    // The browser reads our stdout as frames. We send none, but a stray print
    // from anywhere would break the stream, so fd 1 goes to stderr. The pipe
    // itself stays open: the browser takes its end as the host quitting.
    const int frames = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    ::dup2(STDERR_FILENO, STDOUT_FILENO);

    prepareSignals();
    Host host(socketDirectory());
    ToolbarService toolbar([] { return std::make_unique<kr::SqliteRegistry>(); });
    host.answerToolbar(&toolbar, frames);
    host.listen(); // without a socket, still drain the browser until it ends
    host.run(STDIN_FILENO);
    if (frames >= 0) {
        ::close(frames);
    }
    return 0;
}

int manifestMode(bool install, const QString& userDataDir)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QString hostPath = ownPath();
    if (hostPath.isEmpty()) {
        err << "keyrovia-companion: cannot tell where this program is\n";
        return 1;
    }
    const QString home = QDir::homePath();
    QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (configHome.isEmpty() || !QDir::isAbsolutePath(configHome)) {
        configHome = home + QLatin1String("/.config");
    }
    const auto files = hostManifests(hostPath, home, configHome,
                                     userDataDir.isEmpty() ? QString() : QDir(userDataDir).absolutePath());
    if (!install) {
        for (const QString& path : removeManifests(files)) {
            out << "Removed " << path << '\n';
        }
        return 0;
    }
    const auto wanted = installedBrowsers(files);
    QString error;
    if (!writeManifests(wanted, &error)) {
        err << "keyrovia-companion: " << error << '\n';
        return 1;
    }
    for (const auto& file : wanted) {
        out << "Wrote " << file.path << '\n';
    }
    const QString extensions = QFileInfo(hostPath).absolutePath() + QLatin1String("/browser-extension");
    out << "\nNow load the extension once in each browser:\n"
        << "  Chromium/Chrome: chrome://extensions, Developer mode, \"Load unpacked\", folder\n"
        << "    " << extensions << "/chromium\n"
        << "  Firefox: about:debugging, This Firefox, \"Load Temporary Add-on\", file\n"
        << "    " << extensions << "/firefox/manifest.json\n"
        << "\nThen put Keyrovia's button on the toolbar: click the extensions menu (the puzzle\n"
        << "icon) right of the address bar, then the pin beside \"Keyrovia\".\n";
    return 0;
}

// The buttons the program beside us registered carry its icon, as its own
// settings find them.
int removeButtonsMode()
{
    const QString hostPath = ownPath();
    if (hostPath.isEmpty()) {
        std::fputs("keyrovia-companion: cannot tell where this program is\n", stderr);
        return 1;
    }
    kr::SqliteRegistry registry;
    const int removed = removeButtonsWithIcon(registry, QFileInfo(hostPath).absolutePath() + "/ICON.ico");
    if (removed < 0) {
        std::fprintf(stderr, "keyrovia-companion: cannot change %s\n", qPrintable(registry.location()));
        return 1;
    }
    std::printf("Removed %d button(s)\n", removed);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    // The host holds the address of the page shown, which may carry tokens.
    kr::HardenProcess();
    if (argc >= 2) {
        const QByteArray mode = argv[1];
        if (mode == "--install" || mode == "--uninstall") {
            QString userDataDir;
            if (argc == 4 && QByteArray(argv[2]) == "--user-data-dir") {
                userDataDir = QFile::decodeName(argv[3]);
            } else if (argc != 2) {
                std::fputs(kUsage, stderr);
                return 2;
            }
            return manifestMode(mode == "--install", userDataDir);
        }
        if (mode == "--remove-buttons" && argc == 2) {
            return removeButtonsMode();
        }
        if (mode == "--help" || mode == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
    }
    if (!startedForOurExtension(argc, argv)) {
        std::fputs("keyrovia-companion: not started by the Keyrovia extension\n", stderr);
        return 1;
    }
    return hostMode();
}
