#include "app/LinuxPlatform.h"

#include "app/KeystrokeRoute.h"
#include "platform/QtServices.h"
#include "platform/QtTcpClient.h"
#include "platform/pageaddress/BrowserPageAddress.h"
#include "platform/registry/SqliteRegistry.h"
#include "platform/sqlcipher/SqlCipherEngine.h"
#include "platform/wayland/WaylandKeystrokes.h"
#include "platform/x11/X11Keystrokes.h"
#include "platform/x11/X11LockKeys.h"

namespace kr {

struct LinuxPlatform::Impl {
    QtMessageBox messageBox;
    ImmediateExit process;
    QtClipboard clipboard;
    DesktopShell shell;
    SystemClock clock;
    X11LockKeys lockKeys;
    X11Keystrokes xtest;
    WaylandKeystrokes virtualKeyboard;
    // The desktop's Caps Lock and layout are read where XWayland shows them.
    PortalKeystrokes portal{{SqliteRegistry::defaultFolder() + QStringLiteral("/portal-restore-token"), 30000,
                             1, &lockKeys, CharactersOffLayout, 300}};
    KeystrokeRoute keystrokes{{&xtest, &portal, &virtualKeyboard, IsWaylandSession,
                               [] { return PortalKeystrokes::available(); }, WaylandKeystrokes::available,
                               [this] { return portal.lastOutcome(); },
                               [this] { return portal.offLayoutCharacters(); }},
                              messageBox,
                              SqliteRegistry::defaultFolder() + QStringLiteral("/told-xwayland-only")};
    BrowserPageAddress pageAddress;
    SqlCipherEngine database;
    SqliteRegistry registry;
    QtTcpClientFactory tcp;
};

LinuxPlatform::LinuxPlatform() : m_impl(std::make_unique<Impl>())
{
    m_platform.messageBox = &m_impl->messageBox;
    m_platform.process = &m_impl->process;
    m_platform.clipboard = &m_impl->clipboard;
    m_platform.shell = &m_impl->shell;
    m_platform.clock = &m_impl->clock;
    m_platform.keystrokes = &m_impl->keystrokes;
    m_platform.lockKeys = &m_impl->lockKeys;
    m_platform.pageAddress = &m_impl->pageAddress;
    m_platform.database = &m_impl->database;
    m_platform.registry = &m_impl->registry;
    m_platform.tcp = &m_impl->tcp;
}

LinuxPlatform::~LinuxPlatform() = default;

} // namespace kr
