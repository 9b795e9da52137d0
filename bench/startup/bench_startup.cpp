// Start of the program to its gate window shown, measured on an X server:
// the program is started from a temporary program folder whose database has a
// password (so the gate stays), and the X server is polled for a viewable
// top-level window titled "Form1". Run it under Xvfb (see the README).
#include "ShownWindow.h"
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <signal.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using benchsupport::quietErrors;

bool gateShown(Display* display)
{
    return benchsupport::shownWindow(display, "Form1", true) != 0;
}

void BM_StartToGateShown(benchmark::State& state)
{
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        state.SkipWithError("no X display (run under xvfb-run)");
        return;
    }
    XSetErrorHandler(quietErrors);
    const fs::path folder = fs::temp_directory_path() / ("keyrovia-startup-" + std::to_string(getpid()));
    fs::create_directories(folder);
    fs::copy_file(KEYROVIA_EXE, folder / "Keyrovia", fs::copy_options::overwrite_existing);
    fs::copy_file(KEYROVIA_PROTECTED_DB, folder / "BDMDP.MDB", fs::copy_options::overwrite_existing);
    const std::string exe = (folder / "Keyrovia").string();

    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const pid_t pid = fork();
        if (pid == 0) {
            setenv("QT_QPA_PLATFORM", "xcb", 1);
            setenv("KEYROVIA_VENDOR_HOST", "127.0.0.1:1", 1); // a refused port: nothing leaves the machine
            execl(exe.c_str(), exe.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        bool shown = false;
        while (!shown && std::chrono::steady_clock::now() - start < std::chrono::seconds(10)) {
            shown = gateShown(display);
            if (!shown)
                std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        const auto end = std::chrono::steady_clock::now();
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        if (!shown) {
            state.SkipWithError("the gate did not appear");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
        // Let the server forget the window before the next start.
        for (int i = 0; i < 200 && gateShown(display); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    fs::remove_all(folder);
    XCloseDisplay(display);
}
BENCHMARK(BM_StartToGateShown)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

} // namespace

BENCHMARK_MAIN();
