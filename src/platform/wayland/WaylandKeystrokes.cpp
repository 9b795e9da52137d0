#include "platform/wayland/WaylandKeystrokes.h"

#include "common/KeyString.h"
#include "platform/keys/KeySyms.h"

#include <QByteArray>
#include <chrono>
#include <cstring>
#include <map>
#include <thread>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include "virtual-keyboard-client.h"

namespace kr {

namespace {

// xkb keycodes 9..254: X programs behind XWayland cannot take keycodes above 255.
constexpr std::uint32_t FirstKeycode = 9;
constexpr std::uint32_t LastKeycode = 254;
// Real modifier bits of every xkb key map.
constexpr std::uint32_t ShiftMask = 0x1;
constexpr std::uint32_t ControlMask = 0x4;
constexpr std::uint32_t Mod1Mask = 0x8; // Alt

void sleepMs(int ms)
{
    if (ms > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::uint32_t nowMs()
{
    using namespace std::chrono;
    return std::uint32_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// The globals this typer needs, found on the registry.
struct Globals {
    wl_seat* seat = nullptr;
    zwp_virtual_keyboard_manager_v1* manager = nullptr;
};

void onGlobal(void* data, wl_registry* registry, std::uint32_t name, const char* interface, std::uint32_t)
{
    auto* globals = static_cast<Globals*>(data);
    if (!globals->seat && std::strcmp(interface, wl_seat_interface.name) == 0)
        globals->seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    else if (!globals->manager && std::strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name) == 0)
        globals->manager = static_cast<zwp_virtual_keyboard_manager_v1*>(
            wl_registry_bind(registry, name, &zwp_virtual_keyboard_manager_v1_interface, 1));
}

void onGlobalRemove(void*, wl_registry*, std::uint32_t) {}

const wl_registry_listener RegistryListener = {onGlobal, onGlobalRemove};

// The key map a wl_keyboard is handed when it is made: the one the seat gives
// every program now.
void onKeymap(void* data, wl_keyboard*, std::uint32_t format, int fd, std::uint32_t size)
{
    if (format == WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1 && size > 0) {
        void* map = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
        if (map != MAP_FAILED) {
            *static_cast<QByteArray*>(data) =
                QByteArray(static_cast<const char*>(map), qstrnlen(static_cast<const char*>(map), size));
            munmap(map, size);
        }
    }
    close(fd);
}
void onEnter(void*, wl_keyboard*, std::uint32_t, wl_surface*, wl_array*) {}
void onLeave(void*, wl_keyboard*, std::uint32_t, wl_surface*) {}
void onKey(void*, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) {}
void onModifiers(void*, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t,
                 std::uint32_t)
{}
void onRepeatInfo(void*, wl_keyboard*, std::int32_t, std::int32_t) {}

const wl_keyboard_listener KeyboardListener = {onKeymap, onEnter, onLeave, onKey, onModifiers, onRepeatInfo};

// One connection with its seat and manager, closed when it goes away.
class Connection {
public:
    Connection() : m_display(wl_display_connect(nullptr))
    {
        if (!m_display)
            return;
        m_registry = wl_display_get_registry(m_display);
        wl_registry_add_listener(m_registry, &RegistryListener, &m_globals);
        wl_display_roundtrip(m_display);
    }
    ~Connection()
    {
        if (m_keyboard)
            zwp_virtual_keyboard_v1_destroy(m_keyboard);
        if (m_globals.manager)
            zwp_virtual_keyboard_manager_v1_destroy(m_globals.manager);
        if (m_globals.seat)
            wl_seat_destroy(m_globals.seat);
        if (m_registry)
            wl_registry_destroy(m_registry);
        if (m_display) {
            wl_display_roundtrip(m_display);
            wl_display_disconnect(m_display);
        }
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool connected() const { return m_display != nullptr; }
    bool hasVirtualKeyboard() const { return m_globals.seat && m_globals.manager; }
    bool failed() const { return wl_display_get_error(m_display) != 0; }
    wl_display* display() const { return m_display; }

    // The key map the seat hands its programs now, empty when it hands none.
    QByteArray seatKeymap()
    {
        QByteArray text;
        wl_keyboard* seatKeyboard = wl_seat_get_keyboard(m_globals.seat);
        wl_keyboard_add_listener(seatKeyboard, &KeyboardListener, &text);
        wl_display_roundtrip(m_display);
        wl_keyboard_destroy(seatKeyboard);
        return text;
    }

    zwp_virtual_keyboard_v1* keyboard()
    {
        if (!m_keyboard)
            m_keyboard =
                zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(m_globals.manager, m_globals.seat);
        return m_keyboard;
    }

private:
    wl_display* m_display = nullptr;
    wl_registry* m_registry = nullptr;
    Globals m_globals;
    zwp_virtual_keyboard_v1* m_keyboard = nullptr;
};

// Keysyms given keycodes in the order they are first needed; one map holds
// at most LastKeycode - FirstKeycode + 1 of them.
class Keymap {
public:
    // The keycode of a keysym, 0 when the map is full.
    std::uint32_t place(std::uint32_t keysym)
    {
        const auto it = m_codes.find(keysym);
        if (it != m_codes.end())
            return it->second;
        const std::uint32_t code = FirstKeycode + std::uint32_t(m_codes.size());
        if (code > LastKeycode)
            return 0;
        m_codes.emplace(keysym, code);
        return code;
    }
    bool empty() const { return m_codes.empty(); }
    void clear() { m_codes.clear(); }

    QByteArray text() const
    {
        QByteArray keycodes, symbols;
        for (const auto& [sym, code] : m_codes) {
            keycodes += "<K" + QByteArray::number(code) + "> = " + QByteArray::number(code) + ";\n";
            symbols += "key <K" + QByteArray::number(code) + "> { [ " + KeysymName(sym) + " ] };\n";
        }
        return "xkb_keymap {\n"
               "xkb_keycodes \"keyrovia\" {\nminimum = 8;\nmaximum = 255;\n" +
               keycodes +
               "};\n"
               "xkb_types \"keyrovia\" { include \"complete\" };\n"
               "xkb_compatibility \"keyrovia\" { include \"complete\" };\n"
               "xkb_symbols \"keyrovia\" {\n" +
               symbols + "};\n};\n";
    }

private:
    std::map<std::uint32_t, std::uint32_t> m_codes;
};

// Hands a key map to the compositor through a sealed-size memory file.
bool upload(zwp_virtual_keyboard_v1* keyboard, const QByteArray& text)
{
    const int fd = memfd_create("keyrovia-keymap", MFD_CLOEXEC);
    if (fd < 0)
        return false;
    const std::size_t size = std::size_t(text.size()) + 1; // xkb text ends with its NUL
    bool ok = write(fd, text.constData(), size) == ssize_t(size);
    if (ok)
        zwp_virtual_keyboard_v1_keymap(keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd, std::uint32_t(size));
    close(fd);
    return ok;
}

// A key map that came from a layout rather than from a text: not one of this
// typer's (left by a run that ended while typing), and symbols on far more
// keys than a login has characters.
bool isLayout(xkb_context* context, const QByteArray& text)
{
    if (text.isEmpty() || text.contains("xkb_keycodes \"keyrovia\""))
        return false;
    xkb_keymap* keymap = xkb_keymap_new_from_buffer(context, text.constData(), std::size_t(text.size()),
                                                    XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS);
    if (!keymap)
        return false;
    int keys = 0;
    xkb_keymap_key_for_each(
        keymap,
        [](xkb_keymap* map, xkb_keycode_t key, void* count) {
            const xkb_keysym_t* syms = nullptr;
            if (xkb_keymap_key_get_syms_by_level(map, key, 0, 0, &syms) > 0)
                ++*static_cast<int*>(count);
        },
        &keys);
    xkb_keymap_unref(keymap);
    constexpr int LayoutKeys = 48;
    return keys >= LayoutKeys;
}

// The user's layout to put back once the text is typed: the one the seat
// handed its programs before, else the layout xkb names from the session
// ($XKB_DEFAULT_LAYOUT and its kin, as the compositor reads them).
QByteArray userLayout(const QByteArray& seatKeymap)
{
    xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    if (!context)
        return {};
    QByteArray text;
    if (isLayout(context, seatKeymap)) {
        text = seatKeymap;
    } else if (xkb_keymap* keymap =
                   xkb_keymap_new_from_names(context, nullptr, XKB_KEYMAP_COMPILE_NO_FLAGS)) {
        char* named = xkb_keymap_get_as_string(keymap, XKB_KEYMAP_FORMAT_TEXT_V1);
        text = named;
        free(named);
        xkb_keymap_unref(keymap);
    }
    xkb_context_unref(context);
    return text;
}

std::uint32_t modifierMask(std::uint8_t modifiers)
{
    return ((modifiers & ShiftModifier) ? ShiftMask : 0) | ((modifiers & CtrlModifier) ? ControlMask : 0) |
           ((modifiers & AltModifier) ? Mod1Mask : 0);
}

} // namespace

bool WaylandKeystrokes::available()
{
    Connection connection;
    return connection.connected() && connection.hasVirtualKeyboard();
}

bool WaylandKeystrokes::sendKeys(const QString& keys, bool wait)
{
    m_lastError.clear();
    const ParsedKeyString parsed = ParseKeyString(keys);
    if (!parsed.ok()) {
        m_lastError = QStringLiteral("malformed key string at %1: %2").arg(parsed.errorAt).arg(parsed.error);
        return false;
    }
    Connection connection;
    if (!connection.connected() || !connection.hasVirtualKeyboard()) {
        m_lastError = QStringLiteral("the compositor offers no virtual keyboard");
        return false;
    }
    // Read before the first key map of the text replaces it.
    const QByteArray layout = userLayout(connection.seatKeymap());
    zwp_virtual_keyboard_v1* keyboard = connection.keyboard();
    const std::vector<SymStroke> strokes = ToSymStrokes(parsed.actions).strokes;

    // Types strokes [from, to) with a key map holding exactly their symbols.
    Keymap keymap;
    auto typeRun = [&](std::size_t from, std::size_t to) {
        if (!upload(keyboard, keymap.text()))
            return false;
        zwp_virtual_keyboard_v1_modifiers(keyboard, 0, 0, 0, 0);
        wl_display_roundtrip(connection.display());
        sleepMs(m_timing.keymapSettleMs);
        for (std::size_t i = from; i < to; ++i) {
            const std::uint32_t key = keymap.place(strokes[i].keysym) - 8; // evdev codes
            const std::uint32_t mods = modifierMask(strokes[i].modifiers);
            if (mods)
                zwp_virtual_keyboard_v1_modifiers(keyboard, mods, 0, 0, 0);
            zwp_virtual_keyboard_v1_key(keyboard, nowMs(), key, WL_KEYBOARD_KEY_STATE_PRESSED);
            wl_display_flush(connection.display());
            sleepMs(m_timing.keyDelayMs);
            zwp_virtual_keyboard_v1_key(keyboard, nowMs(), key, WL_KEYBOARD_KEY_STATE_RELEASED);
            if (mods)
                zwp_virtual_keyboard_v1_modifiers(keyboard, 0, 0, 0, 0);
            if (wl_display_flush(connection.display()) < 0 && connection.failed())
                return false;
            sleepMs(m_timing.keyDelayMs);
        }
        return wl_display_roundtrip(connection.display()) >= 0;
    };

    std::size_t from = 0;
    for (std::size_t i = 0; i <= strokes.size(); ++i) {
        if (i < strokes.size() && keymap.place(strokes[i].keysym))
            continue;
        if (i > from && !typeRun(from, i)) {
            m_lastError = QStringLiteral("the compositor closed the connection while typing");
            return false;
        }
        keymap.clear();
        from = i;
        if (i < strokes.size())
            keymap.place(strokes[i].keysym);
    }
    // The last map typed with stays the seat's, handed to every program focused
    // later (XWayland makes it the X keyboard): it would tell them which
    // characters the password holds. The user's layout takes its place.
    if (layout.isEmpty() || !upload(keyboard, layout) || wl_display_roundtrip(connection.display()) < 0)
        m_lastError = QStringLiteral("the text was typed, but the user's layout could not be put back");
    if (wait)
        sleepMs(m_timing.waitSettleMs);
    return true;
}

} // namespace kr
