#include "platform/x11/XSession.h"

#include <X11/XKBlib.h>
#include <X11/extensions/XTest.h>

namespace kr::x11 {

namespace {

// Each call fails on its own results; an X error must not end the program.
int ignoreError(Display*, XErrorEvent*)
{
    return 0;
}

} // namespace

XSession::XSession()
{
    m_display = XOpenDisplay(nullptr);
    if (!m_display)
        return;
    m_previousHandler = XSetErrorHandler(ignoreError);
    int major = XkbMajorVersion;
    int minor = XkbMinorVersion;
    m_xkb = XkbUseExtension(m_display, &major, &minor);
    int unused = 0;
    m_xtest = XTestQueryExtension(m_display, &unused, &unused, &unused, &unused);
}

XSession::~XSession()
{
    if (!m_display)
        return;
    XSync(m_display, False); // errors of our last requests arrive while we still ignore them
    XCloseDisplay(m_display);
    XSetErrorHandler(m_previousHandler);
}

} // namespace kr::x11
