// Key-string parsing and escaping, and the typer's behaviour without a display.
#include "platform/x11/KeyString.h"
#include "platform/x11/X11Keystrokes.h"
#include "platform/x11/X11LockKeys.h"

#include <QRandomGenerator>
#include <QTest>

using namespace kr;

namespace {

// One action as a short token: held modifiers in the order + ^ %, then the
// character (controls as U+XXXX) or the key name in braces.
QString token(const KeyAction& a) {
    QString t;
    if (a.modifiers & ShiftModifier)
        t += QLatin1Char('+');
    if (a.modifiers & CtrlModifier)
        t += QLatin1Char('^');
    if (a.modifiers & AltModifier)
        t += QLatin1Char('%');
    if (a.kind == KeyAction::Kind::Key)
        return t + QLatin1Char('{') + KeyName(a.key) + QLatin1Char('}');
    if (a.character < 0x20)
        return t + QStringLiteral("U+%1").arg(uint(a.character), 4, 16, QLatin1Char('0'));
    if (a.character > 0xffff)
        return t + QString::fromUcs4(&a.character, 1);
    return t + QChar(char16_t(a.character));
}

QStringList tokens(const QList<KeyAction>& actions) {
    QStringList out;
    for (const KeyAction& a : actions)
        out << token(a);
    return out;
}

// The text that plain character actions type; a key or a modifier spoils it.
std::optional<QString> typedText(const QList<KeyAction>& actions) {
    QString out;
    for (const KeyAction& a : actions) {
        if (a.kind != KeyAction::Kind::Character || a.modifiers != NoModifier)
            return std::nullopt;
        if (a.character > 0xffff)
            out += QString::fromUcs4(&a.character, 1);
        else
            out += QChar(char16_t(a.character)); // lone surrogates stay as they were
    }
    return out;
}

QString hostileText(int length, quint32 seed) {
    // Syntax characters, line breaks, Latin-1, other scripts and a non-BMP emoji.
    const QString alphabet =
        QStringLiteral(u"+^%~(){}[] aZ9\t\r\n\u00e9\u00df\u20ac\u0436\U0001F600");
    QRandomGenerator random(seed);
    QString out;
    while (out.size() < length) {
        const qsizetype i = random.bounded(alphabet.size());
        if (alphabet.at(i).isLowSurrogate())
            continue;
        out += alphabet.at(i);
        if (alphabet.at(i).isHighSurrogate())
            out += alphabet.at(i + 1);
    }
    return out;
}

} // namespace

class TestKeyString : public QObject {
    Q_OBJECT

private slots:
    void parses_data();
    void parses();
    void everyKeyName_data();
    void everyKeyName();
    void refusesMalformedWhole_data();
    void refusesMalformedWhole();
    void escapes_data();
    void escapes();
    void escapedTextTypesExactly_data();
    void escapedTextTypesExactly();
    void noDisplay_data();
    void noDisplay();
};

void TestKeyString::parses_data() {
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("empty") << QString() << QStringList();
    QTest::newRow("plain") << "ab c" << QStringList{"a", "b", " ", "c"};
    QTest::newRow("login") << "jo{TAB}pw{ENTER}"
                           << QStringList{"j", "o", "{TAB}", "p", "w", "{ENTER}"};
    QTest::newRow("tilde is Enter") << "a~" << QStringList{"a", "{ENTER}"};
    QTest::newRow("shift") << "+ab" << QStringList{"+a", "b"};
    QTest::newRow("ctrl") << "^c" << QStringList{"^c"};
    QTest::newRow("alt") << "%{F4}" << QStringList{"%{F4}"};
    QTest::newRow("stacked") << "%^+x" << QStringList{"+^%x"};
    QTest::newRow("modifier on Enter") << "+~" << QStringList{"+{ENTER}"};
    QTest::newRow("group") << "+(ab)c" << QStringList{"+a", "+b", "c"};
    QTest::newRow("nested groups") << "^(+(ab)c)d" << QStringList{"+^a", "+^b", "^c", "d"};
    QTest::newRow("plain group") << "(ab)" << QStringList{"a", "b"};
    QTest::newRow("group with keys") << "+({TAB}~)" << QStringList{"+{TAB}", "+{ENTER}"};
    QTest::newRow("key repeated") << "{TAB 3}" << QStringList{"{TAB}", "{TAB}", "{TAB}"};
    QTest::newRow("character repeated") << "{a 2}b" << QStringList{"a", "a", "b"};
    QTest::newRow("escape repeated") << "{+ 2}" << QStringList{"+", "+"};
    QTest::newRow("brace repeated") << "{} 2}" << QStringList{"}", "}"};
    QTest::newRow("space repeated") << "{  2}" << QStringList{" ", " "};
    QTest::newRow("modifier on repetition") << "+{LEFT 2}" << QStringList{"+{LEFT}", "+{LEFT}"};
    QTest::newRow("count zero") << "x{a 0}y" << QStringList{"x", "y"};
    QTest::newRow("count with leading zeros") << "{b 0002}" << QStringList{"b", "b"};
    QTest::newRow("group of nothing typed") << "+({a 0})b" << QStringList{"b"};
    QTest::newRow("escapes") << "{+}{^}{%}{~}{(}{)}{[}{]}{{}{}}"
                             << QStringList{"+", "^", "%", "~", "(", ")", "[", "]", "{", "}"};
    QTest::newRow("escape under modifier") << "^{+}" << QStringList{"^+"};
    QTest::newRow("space in braces") << "{ }" << QStringList{" "};
    QTest::newRow("letter in braces") << "{a}" << QStringList{"a"};
    QTest::newRow("names ignore case")
        << "{enter}{Tab 2}" << QStringList{"{ENTER}", "{TAB}", "{TAB}"};
    QTest::newRow("outside the BMP")
        << QStringLiteral(u"a\U0001F600{\U0001F600 2}")
        << QStringList{"a", QStringLiteral(u"\U0001F600"), QStringLiteral(u"\U0001F600"),
                       QStringLiteral(u"\U0001F600")};
    QTest::newRow("line breaks stay characters")
        << "a\r\nb\t" << QStringList{"a", "U+000d", "U+000a", "b", "U+0009"};
    QTest::newRow("largest repetition") << "{a 9999}{BS 9999}" << [] {
        QStringList l;
        for (int i = 0; i < 9999; ++i)
            l << "a";
        for (int i = 0; i < 9999; ++i)
            l << "{BS}";
        return l;
    }();
}

void TestKeyString::parses() {
    QFETCH(QString, keys);
    QFETCH(QStringList, expected);
    const ParsedKeyString parsed = ParseKeyString(keys);
    QVERIFY2(parsed.ok(), qPrintable(parsed.error));
    QCOMPARE(tokens(parsed.actions), expected);
}

void TestKeyString::everyKeyName_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<NamedKey>("key");
    const QList<QPair<const char*, NamedKey>> names{
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
    };
    for (const auto& [name, key] : names)
        QTest::newRow(name) << QString::fromLatin1(name) << key;
    for (int n = 1; n <= 16; ++n) {
        const QString name = QStringLiteral("F%1").arg(n);
        QTest::newRow(qPrintable(name)) << name << NamedKey(int(NamedKey::F1) + n - 1);
    }
}

void TestKeyString::everyKeyName() {
    QFETCH(QString, name);
    QFETCH(NamedKey, key);
    for (const QString& written : {name, name.toLower()}) {
        const ParsedKeyString parsed =
            ParseKeyString(QLatin1Char('{') + written + QLatin1Char('}'));
        QVERIFY2(parsed.ok(), qPrintable(written + ": " + parsed.error));
        QCOMPARE(parsed.actions, QList<KeyAction>{KeyAction::ofKey(key)});
    }
    // The name the typer's messages use reads back as the same key.
    QCOMPARE(ParseKeyString("{" + KeyName(key) + " 2}").actions,
             (QList<KeyAction>{KeyAction::ofKey(key), KeyAction::ofKey(key)}));
}

void TestKeyString::refusesMalformedWhole_data() {
    QTest::addColumn<QString>("keys");
    QTest::addColumn<int>("errorAt");

    QTest::newRow("lone open brace") << "{" << 0;
    QTest::newRow("unclosed brace") << "abc{TAB" << 3;
    QTest::newRow("empty braces") << "ab{}" << 2;
    QTest::newRow("lone close brace") << "a}b" << 1;
    QTest::newRow("close brace after key") << "{TAB}}" << 5;
    QTest::newRow("unknown key") << "ok{NOPE}" << 3;
    QTest::newRow("F17") << "{F17}" << 1;
    QTest::newRow("F0") << "{F0}" << 1;
    QTest::newRow("two letters") << "{ab}" << 1;
    QTest::newRow("count not a number") << "{TAB x}" << 5;
    QTest::newRow("negative count") << "{TAB -1}" << 5;
    QTest::newRow("count too large") << "{TAB 10000}" << 5;
    QTest::newRow("empty count") << "{TAB }" << 5;
    QTest::newRow("two counts") << "{TAB 1 2}" << 1;
    QTest::newRow("count without key") << "{ 3}" << 1;
    QTest::newRow("dangling shift") << "abc+" << 4;
    QTest::newRow("dangling ctrl") << "^" << 1;
    QTest::newRow("dangling alt") << "x%" << 2;
    QTest::newRow("modifier twice") << "++a" << 1;
    QTest::newRow("modifier twice apart") << "+^+a" << 2;
    QTest::newRow("modifier before close") << "(a+)" << 3;
    QTest::newRow("unclosed group") << "x+(ab" << 2;
    QTest::newRow("unclosed outer group") << "((a)" << 0;
    QTest::newRow("lone close parenthesis") << "ab)" << 2;
    QTest::newRow("empty group") << "+()" << 1;
    QTest::newRow("plain empty group") << "a()" << 1;
    QTest::newRow("bare open bracket") << "a[b" << 1;
    QTest::newRow("bare close bracket") << "]" << 0;
    QTest::newRow("too many keys") << QString(QStringLiteral("{a 9999}")).repeated(11) << 80;
}

void TestKeyString::refusesMalformedWhole() {
    QFETCH(QString, keys);
    QFETCH(int, errorAt);
    const ParsedKeyString parsed = ParseKeyString(keys);
    QVERIFY(!parsed.ok());
    QVERIFY(parsed.actions.isEmpty());
    QCOMPARE(parsed.errorAt, errorAt);

    // Nothing may reach a display either.
    X11Keystrokes typer;
    QVERIFY(!typer.sendKeys(keys, true));
    QVERIFY(typer.lastError().startsWith(QStringLiteral("malformed")));
}

void TestKeyString::escapes_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("escaped");

    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("plain") << "Jorg.User-1 !@#$&*_=|:;\"'<>,.?/\\`"
                           << "Jorg.User-1 !@#$&*_=|:;\"'<>,.?/\\`";
    QTest::newRow("accents and scripts") << QStringLiteral(u"\u00e9\u00df\u20ac\u0436\U0001F600")
                                         << QStringLiteral(u"\u00e9\u00df\u20ac\u0436\U0001F600");
    QTest::newRow("line breaks") << "a\r\nb"
                                 << "a\r\nb";
    QTest::newRow("hostile") << "a+b^c%d~e(f)g{h}i[j]"
                             << "a{+}b{^}c{%}d{~}e{(}f{)}g{{}h{}}i{[}j{]}";
    QTest::newRow("key name as text") << "{TAB}"
                                      << "{{}TAB{}}";
}

void TestKeyString::escapes() {
    QFETCH(QString, text);
    QFETCH(QString, escaped);
    QCOMPARE(EscapeForKeyString(text), escaped);
}

void TestKeyString::escapedTextTypesExactly_data() {
    QTest::addColumn<QString>("text");

    QTest::newRow("hostile") << "a+b^c%d~e(f)g{h}i[j]";
    for (QChar c : QStringLiteral("+^%~(){}[]"))
        QTest::newRow(qPrintable(QStringLiteral("alone ") + c)) << QString(c);
    QTest::newRow("braces inside out") << "}{}}{{";
    QTest::newRow("brace with count") << "{} 3}";
    QTest::newRow("key name") << "{ENTER 2}";
    QTest::newRow("modifiers in a row") << "+^%+^%~~";
    QTest::newRow("outside the BMP") << QStringLiteral(u"\U0001F600+\U0001D11E{");
    QTest::newRow("lone surrogates") << QString(QChar(0xd800)) + "+" + QChar(0xdc00);
    QTest::newRow("line breaks") << "line one\r\nline two\nthree\r";
    QTest::newRow("spaces") << "  { }  ";
    for (quint32 seed = 1; seed <= 5; ++seed)
        QTest::newRow(qPrintable(QStringLiteral("1000 characters #%1").arg(seed)))
            << hostileText(1000, seed);
}

void TestKeyString::escapedTextTypesExactly() {
    QFETCH(QString, text);
    const ParsedKeyString parsed = ParseKeyString(EscapeForKeyString(text));
    QVERIFY2(parsed.ok(), qPrintable(parsed.error));
    const std::optional<QString> typed = typedText(parsed.actions);
    QVERIFY2(typed, "a key or a modifier among the actions");
    QCOMPARE(*typed, text);
}

void TestKeyString::noDisplay_data() {
    QTest::addColumn<QByteArray>("display");
    QTest::newRow("DISPLAY unset") << QByteArray();
    QTest::newRow("no such server") << QByteArray(":93");
}

void TestKeyString::noDisplay() {
    QFETCH(QByteArray, display);
    const QByteArray saved = qgetenv("DISPLAY");
    const bool hadDisplay = qEnvironmentVariableIsSet("DISPLAY");
    if (display.isNull())
        qunsetenv("DISPLAY");
    else
        qputenv("DISPLAY", display);

    X11Keystrokes typer;
    const bool sent = typer.sendKeys(QStringLiteral("abc{TAB}def{ENTER}"), true);
    const QString why = typer.lastError();
    X11LockKeys locks;
    const bool canSwitch = locks.canSwitch();
    const bool anyOn =
        locks.isOn(LockKey::Caps) || locks.isOn(LockKey::Num) || locks.isOn(LockKey::Scroll);
    locks.toggle(LockKey::Caps);
    locks.toggle(LockKey::Scroll);

    if (hadDisplay)
        qputenv("DISPLAY", saved);
    else
        qunsetenv("DISPLAY");

    QVERIFY(!sent);
    QCOMPARE(why, QStringLiteral("no X display"));
    QVERIFY(!canSwitch);
    QVERIFY(!anyOn);
}

QTEST_GUILESS_MAIN(TestKeyString)
#include "tst_keystring.moc"
