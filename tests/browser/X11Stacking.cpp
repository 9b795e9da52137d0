// Position of a top-level window in the X server's stacking order (higher is
// in front); -1 when it is no child of the root.
#include <X11/Xlib.h>

int stackingIndex(unsigned long window)
{
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return -1;
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    int index = -1;
    if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) {
        for (unsigned int i = 0; i < count; ++i)
            if (children[i] == window)
                index = int(i);
        XFree(children);
    }
    XCloseDisplay(display);
    return index;
}
