#include "platform/x11/XSession.h"

#include <X11/XKBlib.h>
#include <X11/extensions/XTest.h>

namespace kr::x11 {

namespace {

std::atomic<int> g_errors{0};

int countError(Display*, XErrorEvent*)
{
    ++g_errors;
    return 0;
}

} // namespace

XSession::XSession()
{
    m_display = XOpenDisplay(nullptr);
    if (!m_display)
        return;
    m_previousHandler = XSetErrorHandler(countError);
    m_errorsAtStart = g_errors.load();
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
    XSync(m_display, False); // errors of our last requests arrive while we still count them
    XCloseDisplay(m_display);
    XSetErrorHandler(m_previousHandler);
}

int XSession::errorCount() const
{
    return g_errors.load() - m_errorsAtStart;
}

} // namespace kr::x11
