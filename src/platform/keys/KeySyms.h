#pragma once
// Parsed key actions turned into keysyms, what every typing route sends: XTest
// places them on the X layout, the virtual keyboard builds its key map from
// them and the desktop portal takes them as they are.
#include "common/KeyString.h"

#include <QList>
#include <cstdint>
#include <vector>

namespace kr {

struct SymStroke {
    std::uint32_t keysym = 0;
    std::uint8_t modifiers = NoModifier; // held as the key string asks (KeyModifier bits)
    char32_t character = 0;              // the text it stands for; 0 for keys and control characters
};

struct SymStrokes {
    std::vector<SymStroke> strokes;
    // {CAPSLOCK} in the string: an odd count switches Caps Lock once typing is
    // over, instead of a key press that would turn the rest of the text over.
    int capsSwitches = 0;
};

// TAB types Tab; CR, LF and a CRLF pair one Enter; BS, ESC and DEL their keys;
// other control characters and lone surrogates have no key and are left out.
SymStrokes ToSymStrokes(const QList<KeyAction>& actions);

// The keysym of a text character: Latin-1 keysyms are the code points, the
// others 0x01000000 + code point.
std::uint32_t KeysymForCodePoint(char32_t c);

// A character that is text: neither a control character nor a lone surrogate.
bool IsTypeableText(char32_t c);

// The name xkb gives a keysym ("a", "Tab", "U20AC"), for key maps written as text.
QByteArray KeysymName(std::uint32_t keysym);

} // namespace kr
