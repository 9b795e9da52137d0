#pragma once
// One way into the real program for every end-to-end test: a program folder
// of its own with its database and settings, the program started from it
// (vendor site on a refused local port), the gate passed, the main window
// focused.
#include "E2eSupport.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <memory>

namespace kr::e2e {

inline const QString kGate = QStringLiteral("^Form1$");

inline void keys(const QString& name, int times)
{
    for (int i = 0; i < times; ++i)
        key(name);
}

// The clipboard as another program reads it.
inline QString clipboard()
{
    return run(QStringLiteral("xclip"),
               {QStringLiteral("-o"), QStringLiteral("-selection"), QStringLiteral("clipboard")});
}

// KEYROVIA_VENDOR_HOST on a port of 127.0.0.1 that is bound but never listens: refused.
inline QString refusedVendor()
{
    static sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    static socklen_t size = sizeof address;
    static const int bound = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (address.sin_port == 0 && ::bind(bound, reinterpret_cast<sockaddr*>(&address), size) == 0)
        ::getsockname(bound, reinterpret_cast<sockaddr*>(&address), &size);
    return QStringLiteral("KEYROVIA_VENDOR_HOST=127.0.0.1:%1").arg(ntohs(address.sin_port));
}

// A program folder with BDMDP.MDB (password, logins) and, unless empty, PARAM.ini
// with those three settings; null when something failed.
inline std::unique_ptr<ProgramFolder> programFolder(const QString& password = {},
                                                    const QList<QStringList>& logins = {},
                                                    const QList<int>& settings = {0, 0, 0})
{
    auto folder = std::make_unique<ProgramFolder>(QStringLiteral(KEYROVIA_EXE));
    if (!makeDatabase(*folder, password, logins) ||
        (!settings.isEmpty() && !writeSettings(*folder, settings[0], settings[1], settings[2])))
        return {};
    return folder;
}

inline void launch(const ProgramFolder& folder, QProcess& program, const QStringList& env = {})
{
    folder.start(program, QStringList{refusedVendor()} + env);
}

// Waits for the gate, types the password there and presses Enter.
inline bool passGate(const QString& password)
{
    const QString gate = waitForWindow(kGate);
    if (gate.isEmpty())
        return false;
    focus(gate);
    type(password);
    key(QStringLiteral("Return"));
    return true;
}

// Starts the program, passes the gate when there is a password, and returns
// the focused main window (empty when it did not come).
inline QString openMainWindow(const ProgramFolder& folder, QProcess& program, const QStringList& env = {},
                              const QString& password = {})
{
    launch(folder, program, env);
    if (!password.isEmpty() && !passGate(password))
        return {};
    const QString main = waitForWindow(kMain, 20000);
    if (!main.isEmpty()) {
        QThread::msleep(300); // the window takes the focus once it is mapped
        focus(main);
    }
    return main;
}

// Closes the main window: the last window gone, the program ends by itself.
inline bool closeAndWait(const QString& main, QProcess& program)
{
    return closeWindow(main) && program.waitForFinished(10000);
}

} // namespace kr::e2e
