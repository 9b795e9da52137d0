// The update check against the real program on an X server (run it under Xvfb):
//  - start of the program to the main window shown, with a version service that
//    answers, one that never answers, and none at all (refused port): the check
//    runs in the background, so the three must not differ;
//  - the server's close of a reply that announces another version to the update
//    window mapped on the X server.
// The program folder holds a database without password, so the gate passes at once.
#include <QByteArray>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include "ShownWindow.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <signal.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using benchsupport::quietErrors;

bool mainWindowShown(Display* display)
{
    return benchsupport::shownWindow(display, "Keyrovia 1.1.0 - ", false) != 0;
}

// A program folder of its own: the executable, an empty database, settings.
struct Folder {
    Folder()
    {
        path = fs::temp_directory_path() / ("keyrovia-online-" + std::to_string(getpid()));
        fs::create_directories(path);
        fs::copy_file(KEYROVIA_EXE, path / "Keyrovia", fs::copy_options::overwrite_existing);
        const std::string makedb =
            std::string(KEYROVIA_MAKEDB) + " '" + (path / "BDMDP.MDB").string() + "' >/dev/null";
        ok = std::system(makedb.c_str()) == 0;
        std::ofstream(path / "PARAM.ini", std::ios::binary)
            << "%AFFICHERIE%=0=%ENDAFFICHERIE%\r\n%TJSVISIBLE%=0=%ENDTJSVISIBLE%\r\n%RECUPAUTO%=0=%"
               "ENDRECUPAUTO%\r\n\r\n";
        fs::create_directories(path / "config");
    }
    ~Folder() { fs::remove_all(path); }

    pid_t start(const std::string& vendor) const
    {
        const std::string exe = (path / "Keyrovia").string();
        const std::string config = (path / "config").string();
        const pid_t pid = fork();
        if (pid == 0) {
            setenv("QT_QPA_PLATFORM", "xcb", 1);
            setenv("KEYROVIA_VENDOR_HOST", vendor.c_str(), 1);
            setenv("XDG_CONFIG_HOME", config.c_str(), 1);
            execl(exe.c_str(), exe.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        return pid;
    }

    fs::path path;
    bool ok = false;
};

void stop(pid_t pid)
{
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

const QByteArray kCurrent = "HTTP/1.0 200 OK\r\n\r\nVer=1.1=EndVer Info=Rien=EndInfo FIN=1=FIN\r\n";
const QByteArray kNewer = "HTTP/1.0 200 OK\r\n\r\nVer=1.2=EndVer Info=Mise a jour=EndInfo FIN=1=FIN\r\n";

// Accepts the program's check and reads its request; nullptr when none came.
std::unique_ptr<QTcpSocket> acceptCheck(QTcpServer& server, int timeoutMs)
{
    if (!server.waitForNewConnection(timeoutMs))
        return nullptr;
    std::unique_ptr<QTcpSocket> socket(server.nextPendingConnection());
    QByteArray request;
    while (!request.contains("\r\n\r\n") && socket->waitForReadyRead(timeoutMs))
        request += socket->readAll();
    return socket;
}

enum Service { Answering = 0, Silent = 1, Unreachable = 2 };

void BM_StartToMainWindow(benchmark::State& state)
{
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        state.SkipWithError("no X display (run under xvfb-run)");
        return;
    }
    XSetErrorHandler(quietErrors);
    Folder folder;
    const auto service = static_cast<Service>(state.range(0));
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    quint16 port = server.serverPort();
    if (service == Unreachable)
        server.close(); // nothing listens there any more: the connection is refused
    const std::string vendor = "127.0.0.1:" + std::to_string(port);

    for (auto _ : state) {
        const auto start = Clock::now();
        const pid_t pid = folder.start(vendor);
        bool shown = false;
        std::unique_ptr<QTcpSocket> check;
        while (!shown && Clock::now() - start < std::chrono::seconds(10)) {
            shown = mainWindowShown(display);
            if (!shown)
                std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        const auto end = Clock::now();
        if (service != Unreachable) {
            // The check did reach the service; the answering one replies "current".
            check = acceptCheck(server, 5000);
            if (check && service == Answering) {
                check->write(kCurrent);
                check->waitForBytesWritten(1000);
                check->disconnectFromHost();
            }
        }
        stop(pid);
        if (!shown || (service != Unreachable && !check)) {
            state.SkipWithError("the main window or the check did not come");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
        for (int i = 0; i < 200 && mainWindowShown(display); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    XCloseDisplay(display);
}
BENCHMARK(BM_StartToMainWindow)
    ->ArgName("service_answering0_silent1_unreachable2")
    ->Arg(Answering)
    ->Arg(Silent)
    ->Arg(Unreachable)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(15);

// Waits for the next top-level window mapped on the X server.
bool waitForMap(Display* display, std::chrono::milliseconds timeout)
{
    const auto until = Clock::now() + timeout;
    while (Clock::now() < until) {
        while (XPending(display)) {
            XEvent e;
            XNextEvent(display, &e);
            if (e.type == MapNotify && e.xmap.event == DefaultRootWindow(display))
                return true;
        }
        pollfd pfd{ConnectionNumber(display), POLLIN, 0};
        poll(&pfd, 1, 5);
    }
    return false;
}

void BM_ServerCloseToUpdateWindow(benchmark::State& state)
{
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        state.SkipWithError("no X display (run under xvfb-run)");
        return;
    }
    XSetErrorHandler(quietErrors);
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    Folder folder;
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    const std::string vendor = "127.0.0.1:" + std::to_string(server.serverPort());

    for (auto _ : state) {
        const pid_t pid = folder.start(vendor);
        std::unique_ptr<QTcpSocket> check = acceptCheck(server, 10000);
        // The main window is up before the reply goes out.
        const auto started = Clock::now();
        while (!mainWindowShown(display) && Clock::now() - started < std::chrono::seconds(10))
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        XSync(display, False);
        while (XPending(display)) {
            XEvent e;
            XNextEvent(display, &e);
        }
        bool shown = false;
        Clock::time_point closed;
        if (check) {
            check->write(kNewer);
            check->waitForBytesWritten(1000);
            closed = Clock::now();
            check->disconnectFromHost();
            shown = waitForMap(display, std::chrono::milliseconds(5000));
        }
        const auto end = Clock::now();
        stop(pid);
        if (!shown) {
            state.SkipWithError("the update window did not appear");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(end - closed).count());
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    XCloseDisplay(display);
}
BENCHMARK(BM_ServerCloseToUpdateWindow)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(15);

} // namespace

BENCHMARK_MAIN();
