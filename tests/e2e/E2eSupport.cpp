#include "E2eSupport.h"

#include "platform/sqlcipher/SqlCipherEngine.h"
#include "store/PasswordStore.h"

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

bool makeDatabase(const ProgramFolder& folder, const QString& password, const QList<QStringList>& logins)
{
    const QString path = folder.path(QStringLiteral("BDMDP.MDB"));
    int code = -1;
    run(QStringLiteral(KEYROVIA_MAKEDB), {path}, 15000, &code);
    if (code != 0)
        return false;
    SqlCipherEngine engine;
    PasswordStore store(engine, path);
    for (const QStringList& login : logins) {
        if (login.size() != 3 || !store.InsertSiteRecord(login[0], login[1], login[2]).ok())
            return false;
    }
    return password.isEmpty() || store.ChangeDatabasePassword(path, QString(), password);
}

bool writeSettings(const ProgramFolder& folder, int afficherIE, int tjsVisible, int recupAuto)
{
    return writeFile(folder.path(QStringLiteral("PARAM.ini")),
                     test::paramIni(afficherIE, tjsVisible, recupAuto));
}

} // namespace kr::e2e
