#pragma once
// Driving the real program under Xvfb: a temporary program folder, the
// executable started from it, and xdotool to find windows and type.
#include "TestKit.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

namespace kr::e2e {

// The main window's title.
inline const QString kMain = QStringLiteral("^Keyrovia 1\\.1\\.0 - Http://");

inline QString run(const QString& program, const QStringList& args, int timeoutMs = 15000,
                   int* exitCode = nullptr)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
    }
    if (exitCode)
        *exitCode = p.exitCode();
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

inline QString xdotool(const QStringList& args, int timeoutMs = 15000)
{
    return run(QStringLiteral("xdotool"), args, timeoutMs);
}

// Window ids whose title matches the regular expression, visible ones only.
inline QStringList findWindows(const QString& titleRegex)
{
    const QString out = xdotool(
        {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"), titleRegex});
    return out.isEmpty() ? QStringList() : out.split(QLatin1Char('\n'));
}

inline QString waitForWindow(const QString& titleRegex, int timeoutMs = 15000)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < timeoutMs) {
        const QStringList ids = findWindows(titleRegex);
        if (!ids.isEmpty())
            return ids.constFirst();
        QThread::msleep(50);
    }
    return {};
}

inline bool waitForNoWindow(const QString& titleRegex, int timeoutMs = 10000)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < timeoutMs) {
        if (findWindows(titleRegex).isEmpty())
            return true;
        QThread::msleep(50);
    }
    return false;
}

// Focuses a window (Xvfb has no window manager) and types into it.
inline void focus(const QString& id)
{
    xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), id});
    QThread::msleep(100);
}

inline void type(const QString& text)
{
    xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("20"), text});
}

// Asks a window to close, as a title bar's close box does (WM_DELETE_WINDOW).
bool closeWindow(const QString& id);

inline void key(const QString& keys)
{
    xdotool({QStringLiteral("key"), keys});
}

// Waits for a message box with that title and answers it with Enter (OK, or
// the default Yes), or with another key (Escape: No). False when no such box came.
inline bool answerWithEnter(const QString& titleRegex, const QString& answer = QStringLiteral("Return"))
{
    const QString id = waitForWindow(titleRegex);
    if (id.isEmpty())
        return false;
    focus(id);
    key(answer);
    return true;
}

using test::fileBytes;
using test::writeFile;

// A program folder of its own: the executable copied into it, so the program
// finds its files beside itself.
class ProgramFolder {
public:
    explicit ProgramFolder(const QString& builtProgram)
    {
        m_exe = m_dir.filePath(QStringLiteral("Keyrovia"));
        QFile::copy(builtProgram, m_exe);
        QFile::setPermissions(m_exe, QFile::permissions(builtProgram));
    }
    QString path(const QString& name = QString()) const
    {
        return name.isEmpty() ? m_dir.path() : m_dir.filePath(name);
    }
    QString executable() const { return m_exe; }

    // Starts the program from its folder, with a clean environment for it.
    void start(QProcess& process, const QStringList& extraEnv = {}) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("KEYROVIA_APP_DIR"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        // Nothing beyond the machine: a refused local port unless the test brings a service.
        env.insert(QStringLiteral("KEYROVIA_VENDOR_HOST"), QStringLiteral("127.0.0.1:1"));
        for (const QString& kv : extraEnv) {
            const qsizetype eq = kv.indexOf(QLatin1Char('='));
            env.insert(kv.left(eq), kv.mid(eq + 1));
        }
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(QDir::tempPath());
        process.start(m_exe, {});
        process.waitForStarted();
    }

private:
    QTemporaryDir m_dir;
    QString m_exe;
};

// BDMDP.MDB made by keyrovia-makedb in the folder, then given the password
// (none when empty) and the logins (site, user, password).
bool makeDatabase(const ProgramFolder& folder, const QString& password = QString(),
                  const QList<QStringList>& logins = {});

// What xprop says of a property of a window ({"-id", id}) or of the root ({"-root"}).
inline QString xprop(const QStringList& window, const QString& name)
{
    return run(QStringLiteral("xprop"), window + QStringList{name});
}

// Debian's openbox on the test's display, for the tests that judge window states.
class WindowManager {
public:
    WindowManager()
    {
        m_openbox.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
        for (int i = 0; i < 200 && !running(); ++i)
            QThread::msleep(50);
    }
    ~WindowManager()
    {
        m_openbox.terminate();
        m_openbox.waitForFinished();
    }
    bool running() const
    {
        return xprop({QStringLiteral("-root")}, QStringLiteral("_NET_SUPPORTING_WM_CHECK"))
            .contains("window id");
    }

private:
    QProcess m_openbox;
};

// The state the window manager keeps for a window: "Normal", "Iconic", "Withdrawn".
inline QString wmState(const QString& id)
{
    const QString out = xprop({QStringLiteral("-id"), id}, QStringLiteral("WM_STATE"));
    return out.section(QStringLiteral("window state: "), 1).section(QLatin1Char('\n'), 0, 0).trimmed();
}

inline bool waitForWmState(const QString& id, const QString& state, int timeoutMs = 10000)
{
    QElapsedTimer t;
    t.start();
    while (wmState(id) != state && t.elapsed() < timeoutMs)
        QThread::msleep(50);
    return wmState(id) == state;
}

// Whether the window carries an icon of its own (_NET_WM_ICON).
inline bool hasIcon(const QString& id)
{
    return xprop({QStringLiteral("-id"), id}, QStringLiteral("_NET_WM_ICON")).contains("Icon (");
}

// PARAM.ini with the three settings.
bool writeSettings(const ProgramFolder& folder, int afficherIE, int tjsVisible, int recupAuto);

} // namespace kr::e2e
