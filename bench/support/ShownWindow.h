#pragma once
// Looking for a program's top-level window on the X server, for the benchmarks
// that time a window until it is shown.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstring>

namespace benchsupport {

// The first viewable top-level window whose title starts with titlePrefix
// (the whole title when exact), or 0 while there is none.
inline Window shownWindow(Display* display, const char* titlePrefix, bool exact)
{
    Window root = DefaultRootWindow(display), parent = 0, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, root, &root, &parent, &children, &count))
        return 0;
    Window found = 0;
    for (unsigned int i = 0; i < count && !found; ++i) {
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(display, children[i], &attributes) || attributes.map_state != IsViewable)
            continue;
        char* name = nullptr;
        if (XFetchName(display, children[i], &name) && name) {
            const bool match = exact ? std::strcmp(name, titlePrefix) == 0
                                     : std::strncmp(name, titlePrefix, std::strlen(titlePrefix)) == 0;
            if (match)
                found = children[i];
            XFree(name);
        }
    }
    if (children)
        XFree(children);
    return found;
}

// A window may vanish while we look at it: such errors are expected.
inline int quietErrors(Display*, XErrorEvent*)
{
    return 0;
}

} // namespace benchsupport
