#include "common/KeyString.h"

#include <algorithm>
#include <utility>

namespace kr {

namespace {

struct KeyNameEntry {
    const char* name;
    NamedKey key;
};

// The first name of a key is the one KeyName() gives back.
constexpr KeyNameEntry KeyNames[] = {
    {"TAB", NamedKey::Tab},
    {"ENTER", NamedKey::Enter},
    {"ESC", NamedKey::Escape},
    {"ESCAPE", NamedKey::Escape},
    {"BS", NamedKey::Backspace},
    {"BKSP", NamedKey::Backspace},
    {"BACKSPACE", NamedKey::Backspace},
    {"DEL", NamedKey::Delete},
    {"DELETE", NamedKey::Delete},
    {"INS", NamedKey::Insert},
    {"INSERT", NamedKey::Insert},
    {"HOME", NamedKey::Home},
    {"END", NamedKey::End},
    {"PGUP", NamedKey::PageUp},
    {"PGDN", NamedKey::PageDown},
    {"UP", NamedKey::Up},
    {"DOWN", NamedKey::Down},
    {"LEFT", NamedKey::Left},
    {"RIGHT", NamedKey::Right},
    {"CAPSLOCK", NamedKey::CapsLock},
    {"NUMLOCK", NamedKey::NumLock},
    {"SCROLLLOCK", NamedKey::ScrollLock},
    {"BREAK", NamedKey::Break},
    {"HELP", NamedKey::Help},
    {"PRTSC", NamedKey::PrintScreen},
    {"CLEAR", NamedKey::Clear},
    {"ADD", NamedKey::Add},
    {"SUBTRACT", NamedKey::Subtract},
    {"MULTIPLY", NamedKey::Multiply},
    {"DIVIDE", NamedKey::Divide},
    {"F1", NamedKey::F1},
    {"F2", NamedKey::F2},
    {"F3", NamedKey::F3},
    {"F4", NamedKey::F4},
    {"F5", NamedKey::F5},
    {"F6", NamedKey::F6},
    {"F7", NamedKey::F7},
    {"F8", NamedKey::F8},
    {"F9", NamedKey::F9},
    {"F10", NamedKey::F10},
    {"F11", NamedKey::F11},
    {"F12", NamedKey::F12},
    {"F13", NamedKey::F13},
    {"F14", NamedKey::F14},
    {"F15", NamedKey::F15},
    {"F16", NamedKey::F16},
};

bool lookupKeyName(const QString& name, NamedKey* key)
{
    const auto found = std::ranges::find_if(KeyNames, [&name](const auto& entry) {
        return name.compare(QLatin1String(entry.name), Qt::CaseInsensitive) == 0;
    });
    if (found == std::ranges::end(KeyNames))
        return false;
    *key = found->key;
    return true;
}

// Length in UTF-16 units of the code point at i (2 for a surrogate pair).
qsizetype codePointLength(const QString& s, qsizetype i)
{
    if (s.at(i).isHighSurrogate() && i + 1 < s.size() && s.at(i + 1).isLowSurrogate())
        return 2;
    return 1;
}

char32_t codePointAt(const QString& s, qsizetype i)
{
    if (codePointLength(s, i) == 2)
        return QChar::surrogateToUcs4(s.at(i), s.at(i + 1));
    return s.at(i).unicode();
}

std::uint8_t modifierOf(QChar c)
{
    switch (c.unicode()) {
    case '+':
        return ShiftModifier;
    case '^':
        return CtrlModifier;
    case '%':
        return AltModifier;
    default:
        return NoModifier;
    }
}

class Parser {
public:
    explicit Parser(const QString& keys) : s(keys) {}

    ParsedKeyString run()
    {
        while (i < s.size() && result.ok())
            step();
        if (!result.ok())
            return finish();
        if (pending != NoModifier)
            return fail(s.size(), QStringLiteral("modifier without a key at the end"));
        if (!groups.empty())
            return fail(groups.back().openedAt, QStringLiteral("unclosed parenthesis"));
        return finish();
    }

private:
    struct Group {
        std::uint8_t modifiers;
        qsizetype openedAt;
        bool hasKey;
    };

    void step()
    {
        const QChar c = s.at(i);
        if (const std::uint8_t mod = modifierOf(c)) {
            if (pending & mod) {
                setError(i, QStringLiteral("modifier given twice"));
                return;
            }
            pending |= mod;
            ++i;
            return;
        }
        switch (c.unicode()) {
        case '(':
            groups.push_back({held(), i, false});
            pending = NoModifier;
            ++i;
            return;
        case ')':
            closeGroup();
            return;
        case '~':
            push(KeyAction::ofKey(NamedKey::Enter, held()), 1, i);
            ++i;
            return;
        case '{':
            braces();
            return;
        case '}':
            setError(i, QStringLiteral("\"}\" without \"{\""));
            return;
        case '[':
        case ']':
            setError(i, QStringLiteral("bracket outside braces"));
            return;
        default:
            push(KeyAction::ofCharacter(codePointAt(s, i), held()), 1, i);
            i += codePointLength(s, i);
            return;
        }
    }

    void closeGroup()
    {
        if (pending != NoModifier) {
            setError(i, QStringLiteral("modifier without a key before \")\""));
            return;
        }
        if (groups.empty()) {
            setError(i, QStringLiteral("\")\" without \"(\""));
            return;
        }
        if (!groups.back().hasKey) {
            setError(groups.back().openedAt, QStringLiteral("empty parentheses"));
            return;
        }
        groups.pop_back();
        if (!groups.empty())
            groups.back().hasKey = true;
        ++i;
    }

    // "{...}": the first character after "{" always belongs to the content,
    // which is how "{}}" names the closing brace.
    void braces()
    {
        const qsizetype open = i;
        const qsizetype close = i + 2 <= s.size() ? s.indexOf(QLatin1Char('}'), i + 2) : -1;
        if (open + 1 >= s.size() || close < 0) {
            setError(open, QStringLiteral("unclosed brace"));
            return;
        }
        const QString content = s.mid(open + 1, close - open - 1);
        i = close + 1;

        if (codePointLength(content, 0) == content.size()) {
            push(KeyAction::ofCharacter(codePointAt(content, 0), held()), 1, open);
            return;
        }

        QString name = content;
        int count = 1;
        const qsizetype space = content.lastIndexOf(QLatin1Char(' '));
        if (space > 0) {
            name = content.left(space);
            const QString digits = content.mid(space + 1);
            if (!parseCount(digits, &count)) {
                setError(open + 1 + space + 1, QStringLiteral("bad count \"%1\"").arg(digits));
                return;
            }
        }

        if (codePointLength(name, 0) == name.size()) {
            push(KeyAction::ofCharacter(codePointAt(name, 0), held()), count, open);
            return;
        }
        NamedKey key;
        if (!lookupKeyName(name, &key)) {
            setError(open + 1, QStringLiteral("unknown key \"%1\"").arg(name));
            return;
        }
        push(KeyAction::ofKey(key, held()), count, open);
    }

    static bool parseCount(const QString& digits, int* count)
    {
        if (digits.isEmpty() || digits.size() > 4)
            return false;
        int value = 0;
        for (QChar d : digits) {
            if (d < QLatin1Char('0') || d > QLatin1Char('9'))
                return false;
            value = value * 10 + (d.unicode() - '0');
        }
        *count = value;
        return true;
    }

    std::uint8_t held() const
    {
        const std::uint8_t outer = groups.empty() ? std::uint8_t(NoModifier) : groups.back().modifiers;
        return outer | pending;
    }

    void push(const KeyAction& action, int count, qsizetype at)
    {
        pending = NoModifier;
        if (!groups.empty())
            groups.back().hasKey = true; // "({a 0})" is well-formed, just types nothing
        if (result.actions.size() + count > MaxKeyActions) {
            setError(at, QStringLiteral("more than %1 keys").arg(MaxKeyActions));
            return;
        }
        for (int n = 0; n < count; ++n)
            result.actions.append(action);
    }

    void setError(qsizetype at, const QString& message)
    {
        if (result.ok()) {
            result.error = message;
            result.errorAt = at;
        }
    }

    ParsedKeyString fail(qsizetype at, const QString& message)
    {
        setError(at, message);
        return finish();
    }

    ParsedKeyString finish()
    {
        if (!result.ok())
            result.actions.clear(); // refused as a whole
        return std::move(result);
    }

    const QString& s;
    qsizetype i = 0;
    std::uint8_t pending = NoModifier;
    QList<Group> groups;
    ParsedKeyString result;
};

bool hasSyntaxMeaning(QChar c)
{
    switch (c.unicode()) {
    case '+':
    case '^':
    case '%':
    case '~':
    case '(':
    case ')':
    case '{':
    case '}':
    case '[':
    case ']':
        return true;
    default:
        return false;
    }
}

} // namespace

ParsedKeyString ParseKeyString(const QString& keys)
{
    return Parser(keys).run();
}

QString EscapeForKeyString(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        if (hasSyntaxMeaning(c)) {
            out += QLatin1Char('{');
            out += c;
            out += QLatin1Char('}');
        } else {
            out += c;
        }
    }
    return out;
}

QString KeyName(NamedKey key)
{
    for (const auto& entry : KeyNames) {
        if (entry.key == key)
            return QString::fromLatin1(entry.name);
    }
    return QString();
}

} // namespace kr
