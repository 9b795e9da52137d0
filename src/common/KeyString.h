#pragma once
// Key strings in the classic brace syntax, parsed into key actions before
// anything is typed, so a malformed string is refused as a whole.
//
//   abc         the characters themselves
//   {TAB} {F5}  a named key (names are case-insensitive, see NamedKey)
//   {TAB 3}     a key repeated; also for characters: {a 3}, {+ 2}
//   + ^ %       Shift, Ctrl, Alt held for the next key or a group: +a, ^+(abc)
//   ~           the Enter key
//   {+} {^} {%} {~} {(} {)} {[} {]} {{} {}}   the characters themselves
//
// Refused: unbalanced braces or parentheses, a bare "}", unknown key names, a
// count that is not 0-9999 decimal digits, a modifier with no key after it or
// given twice in a row ("++a"), empty parentheses, and bare "[" or "]" (the
// classic runtime reserves them; refusing them is safer than guessing).
//
// Control characters stay characters here; the typer decides how to type them
// (CR, LF and CRLF each give one Enter, TAB a Tab).
#include <QList>
#include <QString>
#include <cstdint>

namespace kr {

enum class NamedKey : std::uint8_t {
    Tab,
    Enter,
    Escape,
    Backspace,
    Delete,
    Insert,
    Home,
    End,
    PageUp,
    PageDown,
    Up,
    Down,
    Left,
    Right,
    CapsLock,
    NumLock,
    ScrollLock,
    Break,
    Help,
    PrintScreen,
    Clear,
    Add,
    Subtract,
    Multiply,
    Divide,
    F1,
    F2,
    F3,
    F4,
    F5,
    F6,
    F7,
    F8,
    F9,
    F10,
    F11,
    F12,
    F13,
    F14,
    F15,
    F16,
};

// Modifiers held while a key is typed (bit set).
enum KeyModifier : std::uint8_t {
    NoModifier = 0,
    ShiftModifier = 0x1,
    CtrlModifier = 0x2,
    AltModifier = 0x4,
};

struct KeyAction {
    enum class Kind : std::uint8_t { Character, Key };
    Kind kind = Kind::Character;
    char32_t character = 0;       // Kind::Character: one code point (a lone surrogate stays one unit)
    NamedKey key = NamedKey::Tab; // Kind::Key
    std::uint8_t modifiers = NoModifier;

    static KeyAction ofCharacter(char32_t c, std::uint8_t mods = NoModifier)
    {
        return {Kind::Character, c, NamedKey::Tab, mods};
    }
    static KeyAction ofKey(NamedKey k, std::uint8_t mods = NoModifier) { return {Kind::Key, 0, k, mods}; }
    bool operator==(const KeyAction&) const = default;
};

struct ParsedKeyString {
    QList<KeyAction> actions;
    QString error;          // empty when the string is well-formed
    qsizetype errorAt = -1; // UTF-16 index where the fault was found
    bool ok() const { return error.isEmpty(); }
};

// Most actions one key string may produce; more is refused as malformed
// ({a 9999} twenty times is not a login).
inline constexpr qsizetype MaxKeyActions = 100000;

ParsedKeyString ParseKeyString(const QString& keys);

// Puts every character with a meaning in the syntax (+ ^ % ~ ( ) { } [ ]) in
// braces, so that the text is typed exactly as given; other text is unchanged.
QString EscapeForKeyString(const QString& text);

// The brace name of a key as a key string writes it ("TAB", "F5", ...).
QString KeyName(NamedKey key);

} // namespace kr
