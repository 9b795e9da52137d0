#pragma once
// Types key strings into the focused X11 window with XTest, whatever program
// owns it. Characters the keyboard layout lacks are typed through a spare
// keycode that borrows their keysym for the moment and is given back after.
#include "platform/Platform.h"

#include <QList>

namespace kr {

struct KeyAction;
struct SymStrokes;

class X11Keystrokes final : public IKeystrokes {
public:
    struct Timing {
        int keyDelayMs = 3;     // between key press and release, and between keys
        int remapSettleMs = 50; // for other programs to fetch a changed key map
        int waitSettleMs = 30;  // after the server has the keys, before "wait" returns
    };

    X11Keystrokes() = default;
    explicit X11Keystrokes(Timing timing) : m_timing(timing) {}

    // Parses the whole string first: a malformed one types nothing. Opens its
    // own display connection for each call and types within the call; `wait`
    // adds a sync with the server and a short settle for the focused program.
    // Caps Lock is released while typing (XTest letters would come out
    // inverted) and locked again afterwards; borrowed keycodes are given back
    // even when typing stops half-way. In text, TAB types Tab; CR, LF and a
    // CRLF pair type one Enter; BS, ESC and DEL their keys; other control
    // characters and lone surrogates have no key and are left out.
    bool sendKeys(const QString& keys, bool wait) override;

    // Why the last sendKeys returned false (empty after a success).
    QString lastError() const { return m_lastError; }

private:
    bool type(const QList<KeyAction>& actions, bool wait);

    Timing m_timing;
    QString m_lastError;
};

// The characters of the strokes that no key of the X keyboard's current layout
// group types (on Wayland, XWayland's keyboard is the desktop's). Empty when
// every one has a key, or when there is no X display to ask.
QString CharactersOffLayout(const SymStrokes& strokes);

} // namespace kr
