// Key-string parsing and escaping, and the typer without a display.
#include "common/KeyString.h"
#include "platform/x11/X11Keystrokes.h"
#include "platform/x11/X11LockKeys.h"

#include <QScopeGuard>
#include <QTest>
#include <utility>

using namespace kr;

namespace {

const std::pair<KeyModifier, char> Signs[] = {{ShiftModifier, '+'}, {CtrlModifier, '^'}, {AltModifier, '%'}};

// One action as a short token: held modifiers as + ^ %, then the character or
// the key name in braces.
QStringList tokens(const QList<KeyAction>& actions)
{
    QStringList out;
    for (const KeyAction& a : actions) {
        QString t;
        for (const auto& [modifier, sign] : Signs)
            if (a.modifiers & modifier)
                t += QLatin1Char(sign);
        out << t + (a.kind == KeyAction::Kind::Key ? '{' + KeyName(a.key) + '}'
                                                   : QString::fromUcs4(&a.character, 1));
    }
    return out;
}

} // namespace

class TestKeyString : public QObject {
    Q_OBJECT

private slots:
    // Expected: one token per action, space-separated.
    void parses_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, const QString& keys, const QString& expected) {
            QTest::newRow(name) << keys << expected;
        };
        row("empty", "", "");
        row("login", "jo{TAB}pw~", "j o {TAB} p w {ENTER}");
        row("key names", "{esc}{Escape}{BKSP}{pgdn}{PRTSC}{F1}{f16}",
            "{ESC} {ESC} {BS} {PGDN} {PRTSC} {F1} {F16}");
        row("stacked modifiers", "%^+x%{F4}", "+^%x %{F4}");
        row("nested groups", "^(+(ab)c)d", "+^a +^b ^c d");
        row("group with keys", "+({TAB}~)", "+{TAB} +{ENTER}");
        row("repetitions", "{TAB 2}{a 2}{} 2}x{a 0}", "{TAB} {TAB} a a } } x");
        row("modifier on repetition", "+{LEFT 2}", "+{LEFT} +{LEFT}");
        row("largest repetition", "{a 9999}", QStringList(9999, "a").join(' '));
        row("escapes", "{+}{^}{%}{~}{(}{)}{[}{]}{{}{}}^{+}", "+ ^ % ~ ( ) [ ] { } ^+");
        row("outside the BMP", QStringLiteral(u"a{\U0001F600 2}"),
            QStringLiteral(u"a \U0001F600 \U0001F600"));
    }
    void parses()
    {
        QFETCH(QString, keys);
        QFETCH(QString, expected);
        const ParsedKeyString parsed = ParseKeyString(keys);
        QVERIFY2(parsed.ok(), qPrintable(parsed.error));
        QCOMPARE(tokens(parsed.actions).join(' '), expected);
    }

    void refusesMalformedWhole_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<int>("errorAt");
        QTest::newRow("unclosed brace") << "abc{TAB" << 3;
        QTest::newRow("empty braces") << "ab{}" << 2;
        QTest::newRow("lone close brace") << "a}b" << 1;
        QTest::newRow("unknown key") << "ok{NOPE}" << 3;
        QTest::newRow("count not a number") << "{TAB -1}" << 5;
        QTest::newRow("count too large") << "{TAB 10000}" << 5;
        QTest::newRow("dangling modifier") << "abc+" << 4;
        QTest::newRow("modifier twice") << "+^+a" << 2;
        QTest::newRow("unclosed group") << "x+(ab" << 2;
        QTest::newRow("lone close parenthesis") << "ab)" << 2;
        QTest::newRow("empty group") << "+()" << 1;
        QTest::newRow("bare bracket") << "a[b" << 1;
        QTest::newRow("too many keys") << QStringLiteral("{a 9999}").repeated(11) << 80;
    }
    void refusesMalformedWhole()
    {
        QFETCH(QString, keys);
        QFETCH(int, errorAt);
        const ParsedKeyString parsed = ParseKeyString(keys);
        QVERIFY(!parsed.ok());
        QVERIFY(parsed.actions.isEmpty());
        QCOMPARE(parsed.errorAt, errorAt);
        X11Keystrokes typer; // refused before any display is asked
        QVERIFY(!typer.sendKeys(keys, true));
        QVERIFY(typer.lastError().startsWith(QStringLiteral("malformed")));
    }

    // Escaped text, every character the grammar gives a meaning to among others, parses back to
    // exactly its characters, with no key or modifier.
    void escapedTextTypesExactly()
    {
        const QString text = QStringLiteral(u"+^%~(){}[] {{}}{ENTER 2}aZ\t\r\n\u00e9\u20ac\u0436"
                                            u"\U0001F600\U0001D11E")
                                 .repeated(30);
        const ParsedKeyString parsed = ParseKeyString(EscapeForKeyString(text));
        QVERIFY2(parsed.ok(), qPrintable(parsed.error));
        QList<KeyAction> expected;
        for (char32_t c : text.toUcs4())
            expected << KeyAction::ofCharacter(c);
        QVERIFY(parsed.actions == expected);
    }

    void noDisplay()
    {
        const QByteArray saved = qgetenv("DISPLAY");
        qunsetenv("DISPLAY");
        const auto restore =
            qScopeGuard([&] { saved.isNull() ? qunsetenv("DISPLAY") : qputenv("DISPLAY", saved); });
        X11Keystrokes typer;
        QVERIFY(!typer.sendKeys(QStringLiteral("abc{TAB}def{ENTER}"), true));
        QCOMPARE(typer.lastError(), QStringLiteral("no X display"));
        X11LockKeys locks;
        locks.toggle(LockKey::Caps);
        QVERIFY(!locks.canSwitch());
        QVERIFY(!locks.isOn(LockKey::Caps));
    }
};

QTEST_GUILESS_MAIN(TestKeyString)
#include "tst_keystring.moc"
