#include "platform/x11/X11Keystrokes.h"

#include "common/KeyString.h"
#include "platform/keys/KeySyms.h"
#include "platform/x11/XSession.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <optional>
#include <thread>
#include <unordered_map>
#include <vector>

// X headers last: they define macros (None, Bool, KeyPress...) that Qt's headers use as names.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <xkbcommon/xkbcommon.h>

namespace kr {

namespace {

void sleepMs(int ms)
{
    if (ms > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Where a keysym sits: the keycode, the modifiers that select its level, and
// the layout group it is in (-1: any group, for a borrowed keycode).
struct KeyPlace {
    KeyCode code = 0;
    unsigned mods = 0;
    int group = -1;
};

// The keyboard as the server has it when typing starts.
class Layout {
public:
    explicit Layout(Display* display)
    {
        m_xkb = XkbGetMap(display, XkbKeyTypesMask | XkbKeySymsMask | XkbModifierMapMask, XkbUseCoreKbd);
        XkbStateRec state{};
        if (!m_xkb || XkbGetState(display, XkbUseCoreKbd, &state) != Success)
            return;
        m_group = state.group;
        m_lockedMods = state.locked_mods;
        index();
        m_ok = true;
    }
    ~Layout()
    {
        if (m_xkb)
            XkbFreeKeyboard(m_xkb, 0, True);
    }
    Layout(const Layout&) = delete;
    Layout& operator=(const Layout&) = delete;

    bool ok() const { return m_ok; }
    int group() const { return m_group; }
    bool capsLocked() const { return m_lockedMods & LockMask; }
    unsigned level3Mask() const { return m_level3Mask; }

    std::optional<KeyPlace> byKeysym(KeySym sym) const { return lookup(m_bySym, sym); }
    std::optional<KeyPlace> byCharacter(char32_t c) const { return lookup(m_byChar, c); }

    // Keycodes without symbols or modifiers, highest first: they can lend
    // themselves to characters the layout lacks.
    const std::vector<KeyCode>& spareKeycodes() const { return m_spare; }

    // The keycode of a modifier key such as Shift_L, 0 when there is none.
    KeyCode modifierKey(KeySym sym) const
    {
        const auto place = byKeysym(sym);
        return place && place->mods == 0 ? place->code : 0;
    }

private:
    template <typename Map, typename Key> static std::optional<KeyPlace> lookup(const Map& map, Key key)
    {
        const auto it = map.find(key);
        if (it == map.end())
            return std::nullopt;
        return it->second;
    }

    int effectiveGroup(KeyCode code, int group) const
    {
        const int count = XkbKeyNumGroups(m_xkb, code);
        if (group < count)
            return group;
        const unsigned info = XkbKeyGroupInfo(m_xkb, code);
        switch (XkbOutOfRangeGroupAction(info)) {
        case XkbRedirectIntoRange: {
            const int g = XkbOutOfRangeGroupNumber(info);
            return g < count ? g : 0;
        }
        case XkbClampIntoRange:
            return count - 1;
        default:
            return group % count;
        }
    }

    static int levelFor(const XkbKeyTypeRec* type, unsigned mods)
    {
        for (int i = 0; i < type->map_count; ++i) {
            const XkbKTMapEntryRec& entry = type->map[i];
            if (entry.active && entry.mods.mask == mods)
                return entry.level;
        }
        return 0;
    }

    void index()
    {
        const int minCode = m_xkb->min_key_code;
        const int maxCode = m_xkb->max_key_code;
        int groups = 0;
        for (int code = minCode; code <= maxCode; ++code) {
            groups = std::max<int>(groups, XkbKeyNumGroups(m_xkb, code));
            if (XkbKeyNumGroups(m_xkb, code) == 0 && m_xkb->map->modmap[code] == 0)
                m_spare.push_back(static_cast<KeyCode>(code));
        }
        std::reverse(m_spare.begin(), m_spare.end());

        // Level three is reached by holding ISO_Level3_Shift (AltGr).
        for (int code = minCode; code <= maxCode && !m_level3Mask; ++code) {
            for (int g = 0; g < XkbKeyNumGroups(m_xkb, code); ++g) {
                if (XkbKeySymEntry(m_xkb, code, 0, g) == XK_ISO_Level3_Shift && m_xkb->map->modmap[code]) {
                    m_level3Mask = m_xkb->map->modmap[code];
                    break;
                }
            }
        }

        // Fewest modifiers first, the active group before the others, lower
        // keycodes first: the first place found for a symbol is the one used.
        std::vector<unsigned> masks{0, ShiftMask};
        if (m_level3Mask)
            masks.insert(masks.end(), {m_level3Mask, ShiftMask | m_level3Mask});
        const unsigned lockedOthers = m_lockedMods & ~LockMask; // Caps is released while typing
        for (int pass = -1; pass < groups; ++pass) {
            if (pass == m_group)
                continue;
            for (unsigned mask : masks) {
                for (int code = minCode; code <= maxCode; ++code) {
                    const int count = XkbKeyNumGroups(m_xkb, code);
                    if (count == 0 || (pass >= count))
                        continue;
                    const int g = pass < 0 ? effectiveGroup(code, m_group) : pass;
                    const XkbKeyTypeRec* type = XkbKeyKeyType(m_xkb, code, g);
                    // Shift on a key that ignores it would still reach the
                    // program (Shift+Tab is a back-tab): only press what counts.
                    if (mask & ~type->mods.mask)
                        continue;
                    const int level = levelFor(type, (mask | lockedOthers) & type->mods.mask);
                    const KeySym sym = XkbKeySymEntry(m_xkb, code, level, g);
                    if (sym == NoSymbol)
                        continue;
                    const KeyPlace place{static_cast<KeyCode>(code), mask, pass < 0 ? m_group : pass};
                    m_bySym.try_emplace(sym, place);
                    const char32_t ucs = xkb_keysym_to_utf32(static_cast<xkb_keysym_t>(sym));
                    if (ucs && IsTypeableText(ucs) && !IsKeypadKey(sym))
                        m_byChar.try_emplace(ucs, place);
                }
            }
        }
    }

    XkbDescPtr m_xkb = nullptr;
    bool m_ok = false;
    int m_group = 0;
    unsigned m_lockedMods = 0;
    unsigned m_level3Mask = 0;
    std::vector<KeyCode> m_spare;
    std::unordered_map<KeySym, KeyPlace> m_bySym;
    std::unordered_map<char32_t, KeyPlace> m_byChar;
};

// One key to type: where it is (or the keysym to borrow a keycode for), and
// the modifiers the key string asks to hold.
struct Stroke {
    std::optional<KeyPlace> place;
    KeySym borrow = NoSymbol;
    std::uint8_t modifiers = NoModifier;
};

// Types strokes and puts everything it changed back when it goes away:
// borrowed keycodes, the locked group, Caps Lock.
class Typer {
public:
    Typer(Display* display, const Layout& layout, const X11Keystrokes::Timing& timing)
        : m_display(display), m_layout(layout), m_timing(timing), m_group(layout.group()),
          m_capsWanted(layout.capsLocked())
    {
        XTestGrabControl(m_display, True);
        if (m_capsWanted)
            XkbLockModifiers(m_display, XkbUseCoreKbd, LockMask, 0);
    }

    ~Typer()
    {
        XSync(m_display, False);
        if (!m_saved.empty()) {
            // Programs read keys with the key map they hold: let them finish
            // the borrowed keys before the map changes under them.
            sleepMs(m_timing.remapSettleMs);
            for (auto& [code, row] : m_saved)
                XChangeKeyboardMapping(m_display, code, m_savedWidth, row.data(), 1);
        }
        if (m_group != m_layout.group())
            XkbLockGroup(m_display, XkbUseCoreKbd, m_layout.group());
        if (m_capsWanted)
            XkbLockModifiers(m_display, XkbUseCoreKbd, LockMask, LockMask);
        XSync(m_display, False);
    }
    Typer(const Typer&) = delete;
    Typer& operator=(const Typer&) = delete;

    // {CAPSLOCK} in a key string switches the lock once typing is over; letters
    // typed before that still come out as written.
    void switchCapsAtEnd() { m_capsWanted = !m_capsWanted; }

    void type(const std::vector<Stroke>& strokes, KeyCode shift, KeyCode control, KeyCode alt, KeyCode level3)
    {
        for (std::size_t i = 0; i < strokes.size(); ++i) {
            const Stroke& stroke = strokes[i];
            KeyPlace place;
            if (stroke.place) {
                place = *stroke.place;
            } else {
                if (!m_borrowed.contains(stroke.borrow))
                    borrowFor(strokes, i);
                place.code = m_borrowed.at(stroke.borrow);
                m_typedBorrowed = true;
            }

            if (place.group >= 0 && place.group != m_group) {
                XkbLockGroup(m_display, XkbUseCoreKbd, place.group);
                m_group = place.group;
            }
            std::vector<KeyCode> held;
            if ((stroke.modifiers & ShiftModifier) || (place.mods & ShiftMask))
                held.push_back(shift);
            if (stroke.modifiers & CtrlModifier)
                held.push_back(control);
            if (stroke.modifiers & AltModifier)
                held.push_back(alt);
            if (m_layout.level3Mask() && (place.mods & m_layout.level3Mask()))
                held.push_back(level3);

            for (KeyCode code : held)
                XTestFakeKeyEvent(m_display, code, True, CurrentTime);
            XTestFakeKeyEvent(m_display, place.code, True, CurrentTime);
            XFlush(m_display);
            sleepMs(m_timing.keyDelayMs);
            XTestFakeKeyEvent(m_display, place.code, False, CurrentTime);
            std::for_each(held.rbegin(), held.rend(),
                          [this](KeyCode code) { XTestFakeKeyEvent(m_display, code, False, CurrentTime); });
            XFlush(m_display);
            sleepMs(m_timing.keyDelayMs);
        }
    }

private:
    // Lends the spare keycodes to the next symbols that need one, starting at
    // stroke `from`, as many as there are spares.
    void borrowFor(const std::vector<Stroke>& strokes, std::size_t from)
    {
        const std::vector<KeyCode>& spare = m_layout.spareKeycodes();
        if (m_typedBorrowed) {
            XSync(m_display, False);
            sleepMs(m_timing.remapSettleMs);
        }
        m_borrowed.clear();
        m_typedBorrowed = false;
        for (std::size_t i = from; i < strokes.size() && m_borrowed.size() < spare.size(); ++i) {
            const KeySym sym = strokes[i].borrow;
            if (strokes[i].place || m_borrowed.contains(sym))
                continue;
            const KeyCode code = spare[m_borrowed.size()];
            save(code);
            KeySym row[2] = {sym, sym};
            XChangeKeyboardMapping(m_display, code, 2, row, 1);
            m_borrowed.emplace(sym, code);
        }
        XSync(m_display, False);
        sleepMs(m_timing.remapSettleMs);
    }

    void save(KeyCode code)
    {
        if (m_saved.contains(code))
            return;
        int width = 0;
        KeySym* syms = XGetKeyboardMapping(m_display, code, 1, &width);
        if (!syms)
            return;
        if (m_saved.empty())
            m_savedWidth = width;
        std::vector<KeySym> row(syms, syms + width);
        row.resize(m_savedWidth, NoSymbol);
        m_saved.emplace(code, std::move(row));
        XFree(syms);
    }

    Display* m_display;
    const Layout& m_layout;
    const X11Keystrokes::Timing& m_timing;
    int m_group;
    bool m_capsWanted;
    bool m_typedBorrowed = false;
    std::unordered_map<KeySym, KeyCode> m_borrowed;
    std::map<KeyCode, std::vector<KeySym>> m_saved;
    int m_savedWidth = 0;
};

} // namespace

bool X11Keystrokes::sendKeys(const QString& keys, bool wait)
{
    m_lastError.clear();
    const ParsedKeyString parsed = ParseKeyString(keys);
    if (!parsed.ok()) {
        m_lastError = QStringLiteral("malformed key string at %1: %2").arg(parsed.errorAt).arg(parsed.error);
        return false;
    }
    return type(parsed.actions, wait);
}

bool X11Keystrokes::type(const QList<KeyAction>& actions, bool wait)
{
    x11::XSession session;
    if (!session) {
        m_lastError = QStringLiteral("no X display");
        return false;
    }
    if (!session.hasXTest() || !session.hasXkb()) {
        m_lastError = QStringLiteral("the X server lacks XTEST or XKB");
        return false;
    }
    Display* display = session.display();
    const Layout layout(display);
    if (!layout.ok()) {
        m_lastError = QStringLiteral("cannot read the keyboard layout");
        return false;
    }

    const KeyCode shift =
        layout.modifierKey(XK_Shift_L) ? layout.modifierKey(XK_Shift_L) : layout.modifierKey(XK_Shift_R);
    const KeyCode control = layout.modifierKey(XK_Control_L) ? layout.modifierKey(XK_Control_L)
                                                             : layout.modifierKey(XK_Control_R);
    const KeyCode alt =
        layout.modifierKey(XK_Alt_L) ? layout.modifierKey(XK_Alt_L) : layout.modifierKey(XK_Meta_L);
    const KeyCode level3 = layout.modifierKey(XK_ISO_Level3_Shift);

    // Everything is placed before the first key goes out, so a string that
    // cannot be typed types nothing.
    const SymStrokes syms = ToSymStrokes(actions);
    std::vector<Stroke> strokes;
    strokes.reserve(syms.strokes.size());
    bool needsSpare = false;
    for (const SymStroke& sym : syms.strokes) {
        Stroke stroke;
        stroke.modifiers = sym.modifiers;
        stroke.borrow = sym.keysym;
        stroke.place = sym.character ? layout.byCharacter(sym.character) : layout.byKeysym(sym.keysym);
        if (!stroke.place)
            needsSpare = true;
        if (((stroke.modifiers & ShiftModifier) || (stroke.place && stroke.place->mods & ShiftMask)) &&
            !shift) {
            m_lastError = QStringLiteral("the keyboard has no Shift key");
            return false;
        }
        if (((stroke.modifiers & CtrlModifier) && !control) || ((stroke.modifiers & AltModifier) && !alt)) {
            m_lastError = QStringLiteral("the keyboard has no Control or Alt key");
            return false;
        }
        strokes.push_back(stroke);
    }
    if (needsSpare && layout.spareKeycodes().empty()) {
        m_lastError = QStringLiteral("no free keycode for characters the layout lacks");
        return false;
    }

    {
        Typer typer(display, layout, m_timing);
        if (syms.capsSwitches % 2)
            typer.switchCapsAtEnd();
        typer.type(strokes, shift, control, alt, level3);
        if (wait)
            XSync(display, False);
    }
    if (wait)
        sleepMs(m_timing.waitSettleMs);
    return true;
}

QString CharactersOffLayout(const SymStrokes& strokes)
{
    x11::XSession session;
    if (!session || !session.hasXkb())
        return {};
    const Layout layout(session.display());
    if (!layout.ok())
        return {};
    QString missing;
    for (const SymStroke& stroke : strokes.strokes) {
        const auto place =
            stroke.character ? layout.byCharacter(stroke.character) : layout.byKeysym(stroke.keysym);
        if (!place || place->group != layout.group()) {
            const QString text = stroke.character ? QString::fromUcs4(&stroke.character, 1) : QString();
            if (!missing.contains(text))
                missing += text;
        }
    }
    return missing;
}

} // namespace kr
