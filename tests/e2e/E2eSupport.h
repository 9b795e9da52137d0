#pragma once
// Driving the real program under Xvfb: a program folder of its own with its
// database and settings, the executable started from it (vendor site on a
// refused local port), xdotool to find windows and type, xprop to
// read what other programs see.
#include "TestKit.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <memory>

namespace kr::e2e {

using test::fileBytes;
using test::writeFile;

inline const QString kMain = QStringLiteral("^Keyrovia 1\\.1\\.0 - Http://");
inline const QString kGate = QStringLiteral("^Form1$");

// What a program printed, trimmed.
inline QString run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(15000);
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

inline QString xdotool(const QStringList& args)
{
    return run(QStringLiteral("xdotool"), args);
}

// Ids of the visible windows whose title matches the regular expression.
inline QStringList findWindows(const QString& titleRegex)
{
    const QString out = xdotool({"search", "--onlyvisible", "--name", titleRegex});
    return out.isEmpty() ? QStringList() : out.split(QLatin1Char('\n'));
}

inline QString waitForWindow(const QString& titleRegex, int timeoutMs = 15000)
{
    QStringList ids;
    const bool came = QTest::qWaitFor([&] { return !(ids = findWindows(titleRegex)).isEmpty(); }, timeoutMs);
    return came ? ids.constFirst() : QString();
}

// Xvfb has no window manager: the test hands the focus over itself.
inline void focus(const QString& id)
{
    xdotool({"windowfocus", "--sync", id});
    QThread::msleep(100);
}

inline void key(const QString& name, int times = 1)
{
    for (int i = 0; i < times; ++i)
        xdotool({"key", name});
}

// Waits for a window with that title, types the text there (if any) and
// presses Enter (OK, or the default Yes). False when no such window came.
inline bool answer(const QString& titleRegex, const QString& typed = {})
{
    const QString id = waitForWindow(titleRegex);
    if (id.isEmpty())
        return false;
    focus(id);
    if (!typed.isEmpty())
        xdotool({"type", "--delay", "20", typed});
    key(QStringLiteral("Return"));
    return true;
}

// From the site box: selects the first login of the list and presses
// "SenDKeys ( Envois Automatique )".
inline void sendFirstLogin()
{
    key(QStringLiteral("shift+Tab"), 10);
    key(QStringLiteral("space"));
    key(QStringLiteral("Tab"), 9);
    key(QStringLiteral("space"));
}

// Asks a window to close, as a title bar's close box does (WM_DELETE_WINDOW):
// the last of the program's windows gone, the program ends by itself.
bool closeWindow(const QString& id);

// What xprop says of a property of a window ({"-id", id}) or of the root ({"-root"}).
inline QString xprop(const QStringList& window, const QString& name)
{
    return run(QStringLiteral("xprop"), window + QStringList{name});
}

// KEYROVIA_VENDOR_HOST on a port of 127.0.0.1 that is bound but never listens.
QString refusedVendor();

// A program folder of its own: the executable copied into it, so the program
// finds its files beside itself.
class ProgramFolder {
public:
    explicit ProgramFolder(const QString& builtProgram);
    QString path(const QString& name = QString()) const { return m_dir.filePath(name); }
    QString executable() const { return path(QStringLiteral("Keyrovia")); }
    // Starts the program from its folder; env entries ("NAME=value") come last and win.
    void start(QProcess& process, const QStringList& env = {}) const;

private:
    QTemporaryDir m_dir;
};

// BDMDP.MDB made by keyrovia-makedb in the folder, then given the password
// (none when empty) and the logins (site, user, password).
bool makeDatabase(const ProgramFolder& folder, const QString& password = QString(),
                  const QList<QStringList>& logins = {});

// A folder with its database and, unless empty, PARAM.ini with those three
// settings (afficher, visible, automatique); null when something failed.
inline std::unique_ptr<ProgramFolder> programFolder(const QString& password = {},
                                                    const QList<QStringList>& logins = {},
                                                    const QList<int>& settings = {0, 0, 0})
{
    auto folder = std::make_unique<ProgramFolder>(QStringLiteral(KEYROVIA_EXE));
    if (!makeDatabase(*folder, password, logins))
        return {};
    if (!settings.isEmpty() &&
        !writeFile(folder->path("PARAM.ini"), test::paramIni(settings[0], settings[1], settings[2])))
        return {};
    return folder;
}

// Starts the program, passes the gate when there is a password, and returns
// the focused main window (empty when it did not come).
inline QString openMainWindow(const ProgramFolder& folder, QProcess& program, const QStringList& env = {},
                              const QString& password = {})
{
    folder.start(program, env);
    if (!password.isEmpty() && !answer(kGate, password))
        return {};
    const QString main = waitForWindow(kMain, 20000);
    if (!main.isEmpty()) {
        QThread::msleep(300); // the window takes the focus once it is mapped
        focus(main);
    }
    return main;
}

} // namespace kr::e2e
