// The toolbar button's click to Keyrovia's gate shown, measured on an X
// server: the companion host gets the extension's launch message for a
// registered button whose "Exec" is the program in a temporary folder (its
// database has a password, so the gate stays), and the X server is polled for
// a viewable top-level window titled "Form1". Run it under Xvfb (README).
#include "platform/pageaddress/CompanionProtocol.h"
#include "platform/registry/SqliteRegistry.h"

#include "ShownWindow.h"
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <signal.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
const char kGuid[] = "{5B7C9D1E-2F30-4142-8354-657687980A1B}";

// The gate's window, or 0 while it is not shown.
Window shownGate(Display* display)
{
    return benchsupport::shownWindow(display, "Form1", true);
}

pid_t windowPid(Display* display, Window window)
{
    Atom type = 0;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    pid_t pid = 0;
    if (XGetWindowProperty(display, window, XInternAtom(display, "_NET_WM_PID", False), 0, 1, False,
                           XA_CARDINAL, &type, &format, &items, &after, &data) == Success &&
        data && items == 1)
        pid = pid_t(*reinterpret_cast<unsigned long*>(data));
    if (data)
        XFree(data);
    return pid;
}

using benchsupport::quietErrors;

void BM_ClickToGateShown(benchmark::State& state)
{
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        state.SkipWithError("no X display (run under xvfb-run)");
        return;
    }
    XSetErrorHandler(quietErrors);
    const fs::path root = fs::temp_directory_path() / ("keyrovia-button-" + std::to_string(getpid()));
    const fs::path program = root / "program", config = root / "config", runtime = root / "runtime";
    fs::create_directories(program);
    fs::create_directories(config);
    fs::create_directories(runtime);
    ::chmod(runtime.c_str(), 0700);
    fs::copy_file(KEYROVIA_EXE, program / "Keyrovia", fs::copy_options::overwrite_existing);
    fs::copy_file(KEYROVIA_PROTECTED_DB, program / "BDMDP.MDB", fs::copy_options::overwrite_existing);
    {
        kr::SqliteRegistry registry(QString::fromStdString((config / "keyrovia").string()));
        kr::RegKey key = 0;
        registry.createKey(kr::HKEY_CURRENT_USER,
                           QStringLiteral("Software\\Microsoft\\Internet Explorer\\Extensions\\") +
                               QLatin1String(kGuid),
                           QStringLiteral("REG DWORD"), 0, 0x3F, key);
        registry.setValue(key, QStringLiteral("Exec"), kr::REG_SZ,
                          QByteArray::fromStdString((program / "Keyrovia").string()) + '\0');
        registry.setValue(key, QStringLiteral("CLSID"), kr::REG_SZ,
                          QByteArray("{1FBA04EE-3024-11d2-8F1F-0000F87ABD16}") + '\0');
        registry.closeKey(key);
    }

    int toHost[2];
    if (::pipe(toHost) != 0) {
        state.SkipWithError("no pipe");
        return;
    }
    const pid_t host = fork();
    if (host == 0) {
        setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        setenv("KEYROVIA_VENDOR_HOST", "127.0.0.1:1", 1); // a refused local port
        unsetenv("KEYROVIA_APP_DIR");
        dup2(toHost[0], 0);
        const int devNull = ::open("/dev/null", O_WRONLY);
        dup2(devNull, 1); // the replies are not looked at
        ::close(toHost[0]);
        ::close(toHost[1]);
        // The browser names the extension that starts the host; the host runs for ours only.
        const std::string origin =
            std::string("chrome-extension://") + kr::companion::kChromiumExtensionId + "/";
        execl(KEYROVIA_COMPANION, KEYROVIA_COMPANION, origin.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    ::close(toHost[0]);
    const QByteArray click =
        kr::companion::encodeFrame(QByteArray(R"({"type":"launch","key":")") + kGuid + "\"}");

    // One click, timed to the gate shown; the program is ended afterwards.
    const auto clickOnce = [&]() -> double {
        std::this_thread::sleep_for(std::chrono::milliseconds(1100)); // one start a second
        const auto start = std::chrono::steady_clock::now();
        if (::write(toHost[1], click.constData(), size_t(click.size())) != click.size())
            return -1;
        Window gate = 0;
        while (!gate && std::chrono::steady_clock::now() - start < std::chrono::seconds(10)) {
            gate = shownGate(display);
            if (!gate)
                std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (!gate)
            return -1;
        const pid_t pid = windowPid(display, gate);
        if (pid > 0)
            ::kill(pid, SIGKILL);
        while (shownGate(display))
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return seconds;
    };

    clickOnce(); // warm: the program's files are in the page cache
    for (auto _ : state) {
        const double seconds = clickOnce();
        if (seconds < 0) {
            state.SkipWithError("the gate did not show");
            break;
        }
        state.SetIterationTime(seconds);
    }
    ::close(toHost[1]);
    ::kill(host, SIGTERM);
    waitpid(host, nullptr, 0);
    XCloseDisplay(display);
    fs::remove_all(root);
}

} // namespace

BENCHMARK(BM_ClickToGateShown)
    ->UseManualTime()
    ->Iterations(10)
    ->Repetitions(2)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
