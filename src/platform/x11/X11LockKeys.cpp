#include "platform/x11/X11LockKeys.h"

#include "platform/x11/XSession.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace kr {

namespace {

KeySym keysymOf(LockKey key)
{
    switch (key) {
    case LockKey::Caps:
        return XK_Caps_Lock;
    case LockKey::Num:
        return XK_Num_Lock;
    case LockKey::Scroll:
        return XK_Scroll_Lock;
    }
    return NoSymbol;
}

const char* indicatorName(LockKey key)
{
    switch (key) {
    case LockKey::Caps:
        return "Caps Lock";
    case LockKey::Num:
        return "Num Lock";
    case LockKey::Scroll:
        return "Scroll Lock";
    }
    return "";
}

// Default indicator numbering, for servers without indicator names.
unsigned indicatorBit(LockKey key)
{
    switch (key) {
    case LockKey::Caps:
        return 0x1;
    case LockKey::Num:
        return 0x2;
    case LockKey::Scroll:
        return 0x4;
    }
    return 0;
}

// The real modifier the lock key locks; 0 when none is mapped to it, which is
// common for Scroll Lock.
unsigned modifierMask(Display* display, LockKey key)
{
    if (key == LockKey::Caps)
        return LockMask;
    return XkbKeysymToModifiers(display, keysymOf(key));
}

bool lockedModifier(Display* display, unsigned mask)
{
    XkbStateRec state{};
    if (XkbGetState(display, XkbUseCoreKbd, &state) != Success)
        return false;
    return (state.locked_mods & mask) != 0;
}

bool indicatorOn(Display* display, LockKey key)
{
    const Atom name = XInternAtom(display, indicatorName(key), False);
    int index = 0;
    Bool state = False;
    XkbIndicatorMapRec map{};
    Bool real = False;
    if (XkbGetNamedIndicator(display, name, &index, &state, &map, &real))
        return state;
    unsigned bits = 0;
    if (XkbGetIndicatorState(display, XkbUseCoreKbd, &bits) != Success)
        return false;
    return (bits & indicatorBit(key)) != 0;
}

bool currentState(Display* display, LockKey key)
{
    if (const unsigned mask = modifierMask(display, key))
        return lockedModifier(display, mask);
    return indicatorOn(display, key);
}

// Last resort: press and release the key itself, as a user would.
void pressKey(Display* display, LockKey key)
{
    const KeyCode code = XKeysymToKeycode(display, keysymOf(key));
    int unused = 0;
    if (!code || !XTestQueryExtension(display, &unused, &unused, &unused, &unused))
        return;
    XTestFakeKeyEvent(display, code, True, CurrentTime);
    XTestFakeKeyEvent(display, code, False, CurrentTime);
}

} // namespace

bool X11LockKeys::canSwitch()
{
    const x11::XSession session;
    return session && session.hasXkb();
}

bool X11LockKeys::isOn(LockKey key)
{
    const x11::XSession session;
    if (!session || !session.hasXkb())
        return false;
    return currentState(session.display(), key);
}

void X11LockKeys::toggle(LockKey key)
{
    const x11::XSession session;
    if (!session || !session.hasXkb())
        return;
    Display* display = session.display();
    const bool wasOn = currentState(display, key);
    if (const unsigned mask = modifierMask(display, key)) {
        XkbLockModifiers(display, XkbUseCoreKbd, mask, wasOn ? 0 : mask);
    } else {
        const Atom name = XInternAtom(display, indicatorName(key), False);
        XkbSetNamedIndicator(display, name, True, wasOn ? False : True, False, nullptr);
        XSync(display, False);
        if (indicatorOn(display, key) == wasOn)
            pressKey(display, key);
    }
    XSync(display, False);
}

} // namespace kr
