#include "E2eSupport.h"

#include "platform/sqlcipher/SqlCipherEngine.h"
#include "store/PasswordStore.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <X11/Xlib.h>

namespace kr::e2e {

bool closeWindow(const QString& id)
{
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return false;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = static_cast<Window>(id.toULong());
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    const Status sent = XSendEvent(display, event.xclient.window, False, NoEventMask, &event);
    XCloseDisplay(display);
    return sent != 0;
}

QString refusedVendor()
{
    static sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    static socklen_t size = sizeof address;
    static const int bound = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (address.sin_port == 0 && ::bind(bound, reinterpret_cast<sockaddr*>(&address), size) == 0)
        ::getsockname(bound, reinterpret_cast<sockaddr*>(&address), &size);
    return QStringLiteral("KEYROVIA_VENDOR_HOST=127.0.0.1:%1").arg(ntohs(address.sin_port));
}

ProgramFolder::ProgramFolder(const QString& builtProgram)
{
    QFile::copy(builtProgram, executable());
    QFile::setPermissions(executable(), QFile::permissions(builtProgram));
}

void ProgramFolder::start(QProcess& process, const QStringList& env) const
{
    QProcessEnvironment all = QProcessEnvironment::systemEnvironment();
    all.remove(QStringLiteral("KEYROVIA_APP_DIR"));
    for (const QString& entry : QStringList{"QT_QPA_PLATFORM=xcb", refusedVendor()} + env)
        all.insert(entry.section(QLatin1Char('='), 0, 0), entry.section(QLatin1Char('='), 1));
    process.setProcessEnvironment(all);
    process.setWorkingDirectory(QDir::tempPath());
    process.start(executable(), {});
    process.waitForStarted();
}

bool makeDatabase(const ProgramFolder& folder, const QString& password, const QList<QStringList>& logins)
{
    const QString path = folder.path(QStringLiteral("BDMDP.MDB"));
    if (QProcess::execute(QStringLiteral(KEYROVIA_MAKEDB), {path}) != 0)
        return false;
    SqlCipherEngine engine;
    PasswordStore store(engine, path);
    for (const QStringList& login : logins) {
        if (login.size() != 3 || !store.InsertSiteRecord(login[0], login[1], login[2]).ok())
            return false;
    }
    return password.isEmpty() || store.ChangeDatabasePassword(path, QString(), password);
}

} // namespace kr::e2e
