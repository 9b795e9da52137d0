// A later start of a running program's folder to the running window brought
// to the front. The program runs from a temporary folder whose database has a
// password, so its gate waits; each iteration starts the same executable again
// and times it until it has ended, which it does once the running program has
// answered that its gate is in front. Run it under Xvfb (see the README).
// With the argument 1 neither $XDG_RUNTIME_DIR nor Qt's fallback folder can be
// used: the later start finds the folder locked and ends without a window.
#include "ShownWindow.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <pwd.h>
#include <signal.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// runtime names a folder, or a file (unusable) that is also Qt's fallback under TMPDIR.
pid_t startProgram(const std::string& exe, const fs::path& runtime)
{
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        setenv("TMPDIR", runtime.parent_path().c_str(), 1);
        setenv("KEYROVIA_VENDOR_HOST", "127.0.0.1:1", 1); // refused: nothing leaves the machine
        execl(exe.c_str(), exe.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

void BM_LaterStartToWindowInFront(benchmark::State& state)
{
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        state.SkipWithError("no X display (run under xvfb-run)");
        return;
    }
    XSetErrorHandler(benchsupport::quietErrors);
    const fs::path base = fs::temp_directory_path() / ("keyrovia-second-" + std::to_string(getpid()));
    const bool usable = state.range(0) == 0;
    const fs::path folder = base / "program";
    const fs::path runtime =
        usable ? base / "runtime" : base / (std::string("runtime-") + getpwuid(geteuid())->pw_name);
    fs::create_directories(folder);
    if (usable) {
        fs::create_directories(runtime);
        fs::permissions(runtime, fs::perms::owner_all);
    } else {
        std::ofstream{runtime}; // a file where the folder should be
    }
    fs::copy_file(KEYROVIA_EXE, folder / "Keyrovia", fs::copy_options::overwrite_existing);
    fs::copy_file(KEYROVIA_PROTECTED_DB, folder / "BDMDP.MDB", fs::copy_options::overwrite_existing);
    const std::string exe = (folder / "Keyrovia").string();

    const pid_t running = startProgram(exe, runtime);
    const auto begin = std::chrono::steady_clock::now();
    while (!benchsupport::shownWindow(display, "Form1", true) &&
           std::chrono::steady_clock::now() - begin < std::chrono::seconds(15))
        std::this_thread::sleep_for(std::chrono::milliseconds(5));

    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const pid_t later = startProgram(exe, runtime);
        int status = 0;
        waitpid(later, &status, 0);
        const auto end = std::chrono::steady_clock::now();
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || waitpid(running, nullptr, WNOHANG) != 0) {
            state.SkipWithError("the later start did not hand over to the running program");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    }
    kill(running, SIGKILL);
    waitpid(running, nullptr, 0);
    fs::remove_all(base);
    XCloseDisplay(display);
}
BENCHMARK(BM_LaterStartToWindowInFront)
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);

} // namespace

BENCHMARK_MAIN();
