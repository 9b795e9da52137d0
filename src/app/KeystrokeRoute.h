#pragma once
// Picks, at each send, the route that can reach the focused window of this
// session:
//  - an X11 session: XTest, as always;
//  - a Wayland session: the desktop's remote-desktop portal (GNOME, KDE) where
//    it answers, else the compositor's virtual keyboard (sway and its kin),
//    else XTest, which reaches XWayland windows only: the user is told once,
//    and it is remembered (toldFile).
// Each route parses the same key string; what the portal's answers mean for
// the user is said here, in a message box.
#include "platform/Platform.h"
#include "platform/portal/PortalKeystrokes.h"

#include <functional>

namespace kr {

enum class KeyRoute { XTest, Portal, VirtualKeyboard };

class KeystrokeRoute final : public IKeystrokes {
public:
    struct Routes {
        IKeystrokes* xtest = nullptr;
        IKeystrokes* portal = nullptr;
        IKeystrokes* virtualKeyboard = nullptr;
        std::function<bool()> waylandSession;
        std::function<bool()> portalAvailable;
        std::function<bool()> virtualKeyboardAvailable;
        std::function<PortalKeystrokes::Outcome()> portalOutcome;
        std::function<QString()> portalOffLayout; // the characters, with OffLayout
    };

    // toldFile exists once the user was told that only X11 windows get the
    // keys here; empty: told once per run.
    KeystrokeRoute(Routes routes, IMessageBox& messages, QString toldFile = {})
        : m_routes(std::move(routes)), m_messages(messages), m_toldFile(std::move(toldFile))
    {}

    // Returns false when the login may not have arrived, so the user can go
    // on from the main window: nothing was typed, or the user is told now
    // that only X11 windows could receive it.
    bool sendKeys(const QString& keys, bool wait) override;
    // The portal asks, in a Wayland session where it answers.
    bool asksFirst() override;

    // The route the last send took.
    KeyRoute lastRoute() const { return m_route; }

private:
    Routes m_routes;
    IMessageBox& m_messages;
    KeyRoute m_route = KeyRoute::XTest;
    QString m_toldFile;
    bool m_toldXWaylandOnly = false;

    bool toldXWaylandOnlyBefore();
};

// A Wayland session: $WAYLAND_DISPLAY names a compositor.
bool IsWaylandSession();

} // namespace kr
