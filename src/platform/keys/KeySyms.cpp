#include "platform/keys/KeySyms.h"

#include <QByteArray>
#include <xkbcommon/xkbcommon.h>

namespace kr {

namespace {

bool isControl(char32_t c)
{
    return c < 0x20 || (c >= 0x7f && c < 0xa0);
}

// Control characters become the keys that produce them; those without a key
// give 0 and are left out.
std::uint32_t keysymForControl(char32_t c)
{
    switch (c) {
    case U'\t':
        return XKB_KEY_Tab;
    case U'\r':
    case U'\n':
        return XKB_KEY_Return;
    case U'\b':
        return XKB_KEY_BackSpace;
    case 0x1b:
        return XKB_KEY_Escape;
    case 0x7f:
        return XKB_KEY_Delete;
    default:
        return 0;
    }
}

std::uint32_t keysymForKey(NamedKey key)
{
    switch (key) {
    case NamedKey::Tab:
        return XKB_KEY_Tab;
    case NamedKey::Enter:
        return XKB_KEY_Return;
    case NamedKey::Escape:
        return XKB_KEY_Escape;
    case NamedKey::Backspace:
        return XKB_KEY_BackSpace;
    case NamedKey::Delete:
        return XKB_KEY_Delete;
    case NamedKey::Insert:
        return XKB_KEY_Insert;
    case NamedKey::Home:
        return XKB_KEY_Home;
    case NamedKey::End:
        return XKB_KEY_End;
    case NamedKey::PageUp:
        return XKB_KEY_Prior;
    case NamedKey::PageDown:
        return XKB_KEY_Next;
    case NamedKey::Up:
        return XKB_KEY_Up;
    case NamedKey::Down:
        return XKB_KEY_Down;
    case NamedKey::Left:
        return XKB_KEY_Left;
    case NamedKey::Right:
        return XKB_KEY_Right;
    case NamedKey::CapsLock:
        return XKB_KEY_Caps_Lock;
    case NamedKey::NumLock:
        return XKB_KEY_Num_Lock;
    case NamedKey::ScrollLock:
        return XKB_KEY_Scroll_Lock;
    case NamedKey::Break:
        return XKB_KEY_Break;
    case NamedKey::Help:
        return XKB_KEY_Help;
    case NamedKey::PrintScreen:
        return XKB_KEY_Print;
    case NamedKey::Clear:
        return XKB_KEY_Clear;
    case NamedKey::Add:
        return XKB_KEY_KP_Add;
    case NamedKey::Subtract:
        return XKB_KEY_KP_Subtract;
    case NamedKey::Multiply:
        return XKB_KEY_KP_Multiply;
    case NamedKey::Divide:
        return XKB_KEY_KP_Divide;
    default:
        break;
    }
    const int n = static_cast<int>(key) - static_cast<int>(NamedKey::F1);
    if (n >= 0 && n < 16)
        return XKB_KEY_F1 + std::uint32_t(n);
    return 0;
}

} // namespace

bool IsTypeableText(char32_t c)
{
    return !isControl(c) && !(c >= 0xd800 && c <= 0xdfff) && c <= 0x10ffff;
}

std::uint32_t KeysymForCodePoint(char32_t c)
{
    if ((c >= 0x20 && c <= 0x7e) || (c >= 0xa0 && c <= 0xff))
        return c;
    return 0x01000000 | c;
}

SymStrokes ToSymStrokes(const QList<KeyAction>& actions)
{
    SymStrokes out;
    out.strokes.reserve(std::size_t(actions.size()));
    char32_t previous = 0;
    for (const KeyAction& action : actions) {
        SymStroke stroke;
        stroke.modifiers = action.modifiers;
        if (action.kind == KeyAction::Kind::Key) {
            previous = 0;
            if (action.key == NamedKey::CapsLock) {
                ++out.capsSwitches;
                continue;
            }
            stroke.keysym = keysymForKey(action.key);
        } else {
            const char32_t c = action.character;
            const bool crlf = c == U'\n' && previous == U'\r';
            previous = c;
            if (crlf)
                continue; // a CRLF line break is one Enter
            if (isControl(c)) {
                stroke.keysym = keysymForControl(c);
            } else if (IsTypeableText(c)) {
                stroke.keysym = KeysymForCodePoint(c);
                stroke.character = c;
            }
            if (stroke.keysym == 0)
                continue;
        }
        out.strokes.push_back(stroke);
    }
    return out;
}

QByteArray KeysymName(std::uint32_t keysym)
{
    char name[64] = {};
    const int n = xkb_keysym_get_name(keysym, name, sizeof name);
    return n > 0 ? QByteArray(name, n) : QByteArray();
}

} // namespace kr
