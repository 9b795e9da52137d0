#pragma once
// One short-lived connection to the X server, private to this folder. Each
// send or lock-key call opens its own, so nothing depends on Qt's connection
// and a dead server only fails the call at hand.
#include <X11/Xlib.h>

namespace kr::x11 {

class XSession {
public:
    // Opens $DISPLAY. While it lives, X protocol errors are ignored instead of
    // reaching Xlib's default handler, which would end the process (BadWindow
    // when the focused window goes away, BadValue from a refused mapping).
    XSession();
    ~XSession();
    XSession(const XSession&) = delete;
    XSession& operator=(const XSession&) = delete;

    Display* display() const { return m_display; }
    explicit operator bool() const { return m_display != nullptr; }
    // XKB was found and its client library matches the server.
    bool hasXkb() const { return m_xkb; }
    // XTEST is there to fake key events.
    bool hasXTest() const { return m_xtest; }

private:
    Display* m_display = nullptr;
    XErrorHandler m_previousHandler = nullptr;
    bool m_xkb = false;
    bool m_xtest = false;
};

} // namespace kr::x11
