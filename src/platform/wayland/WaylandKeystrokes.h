#pragma once
// Types key strings on wlroots compositors (sway and its kin) through a
// virtual keyboard of their own (zwp_virtual_keyboard_v1), which reaches the
// focused window whether it is a Wayland or an XWayland one.
//
// The keyboard's key map is made for the text: every symbol the string needs
// gets a key of its own, on the first level, so no Shift and no layout is
// involved and characters no physical layout has (é ß € ж, emoji) arrive as
// they are. The virtual keyboard keeps its own modifier and lock state, which
// this typer holds at "nothing locked": the user's Caps, Num and Scroll Lock
// can neither change the text nor be changed by it. Once the text is typed,
// the user's layout replaces the text's key map, which the seat would
// otherwise keep handing to every program focused later.
#include "platform/Platform.h"

#include <QString>

namespace kr {

class WaylandKeystrokes final : public IKeystrokes {
public:
    struct Timing {
        int keyDelayMs = 2;    // after each key press and release
        int keymapSettleMs = 20; // for the focused program to take a new key map
        int waitSettleMs = 30; // after the compositor has the keys, before "wait" returns
    };

    WaylandKeystrokes() = default;
    explicit WaylandKeystrokes(Timing timing) : m_timing(timing) {}

    // Whether $WAYLAND_DISPLAY answers and offers the virtual-keyboard protocol.
    static bool available();

    // Parses the whole string first: a malformed one types nothing. Opens its
    // own connection for each call. {CAPSLOCK} in the string is left out: the
    // virtual keyboard's lock state is its own and reaches no other keyboard.
    bool sendKeys(const QString& keys, bool wait) override;

    QString lastError() const { return m_lastError; }

private:
    Timing m_timing;
    QString m_lastError;
};

} // namespace kr
