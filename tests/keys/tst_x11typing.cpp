// The real typer and lock keys against a real X server (Xvfb), typing into a
// login form that runs as another process.
#include "ReceiverProcess.h"
#include "common/KeyString.h"
#include "platform/keys/KeySyms.h"
#include "platform/x11/X11Keystrokes.h"
#include "platform/x11/X11LockKeys.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <vector>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>

using namespace kr;

namespace {

const QString Login = QStringLiteral(u"J\u00f6rg.Us\u00e9r-1");
const QString Password = QStringLiteral(u"Aa1 !@#$%^&*()_+{}[]|:;\"'<>,.?/~\\`-=\u00e9\u00df\u20ac\u0436");

// What typing must leave as it found: the core key map (borrowed keycodes
// given back), the active layout group and the lock keys.
struct Keyboard {
    std::vector<KeySym> map;
    int group = -1;
    std::vector<bool> locks;
    bool operator==(const Keyboard&) const = default;
};

Keyboard keyboard()
{
    Keyboard out;
    X11LockKeys locks;
    out.locks = {locks.isOn(LockKey::Caps), locks.isOn(LockKey::Num), locks.isOn(LockKey::Scroll)};
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return out;
    int minCode = 0, maxCode = 0, width = 0;
    XDisplayKeycodes(display, &minCode, &maxCode);
    KeySym* syms = XGetKeyboardMapping(display, KeyCode(minCode), maxCode - minCode + 1, &width);
    out.map.assign(syms, syms + (maxCode - minCode + 1) * width);
    out.map.push_back(KeySym(width));
    XFree(syms);
    XkbStateRec state{};
    XkbGetState(display, XkbUseCoreKbd, &state);
    out.group = state.group;
    XCloseDisplay(display);
    return out;
}

} // namespace

class TestX11Typing : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        QVERIFY2(qEnvironmentVariableIsSet("DISPLAY"), "run under xvfb-run");
        QVERIFY(X11LockKeys().canSwitch());
    }

    // What the desktop portal would drop: characters off the current group.
    void charactersOffLayout()
    {
        const ParsedKeyString parsed = ParseKeyString(QStringLiteral(u"aé{TAB}€Zé"));
        QCOMPARE(CharactersOffLayout(ToSymStrokes(parsed.actions)), QStringLiteral(u"é€"));
    }

    // Without keys, the user and the password are typed as a login. setup: a lock
    // key switched on meanwhile, or the active group of a us,ru layout: characters
    // of the other group are typed from it, and every lock and group ends as it began.
    void typesExactly_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("keys");
        const auto row = [](const char* name, const QString& user, const QString& password,
                            const QString& keys = {}, const QString& setup = {}) {
            QTest::newRow(name) << setup << user << password << keys;
        };
        row("login", Login, Password);
        row("empty login", "", "");
        row("outside the BMP", QStringLiteral(u"a\U0001F600b"), QStringLiteral(u"\U0001D11E\U0001F511x"));
        // More characters missing from the layout than it has spare keycodes.
        row("borrowed keycodes in batches",
            QStringLiteral(u"\u03b1\u03b2\u03b3\u03b4\u03b5\u03b6\u03b7\u03b8\u03b9\u03ba"
                           u"a\u0436\u0434\u0444\u0449\u044e\u044f\u0411\u0416\u0424"),
            QStringLiteral(u"\u00e9\u00df\u20ac\u00e7\u0153\u2603\u03b1\u03b2\u03b3Z"));
        row("editing keys", "xbce", "ppp", "ac{LEFT}b{HOME}x{DEL}{END}d{BS}e{TAB}{p 3}~");
        row("modifiers", "zBCd", "X", "old^az+(bc)d{TAB}+x~");
        row("line breaks", "u", "p", "u\tp\r");
        for (const char* lock : {"Caps", "Num", "Scroll"})
            QTest::addRow("%s lock on", lock) << QString(lock) << Login << Password << QString();
        const QString user = QStringLiteral(u"Jo\u0416\u0430\u043d\u043d\u0430.B\u00e9");
        const QString password = QStringLiteral(u"\u043f\u0430\u0440\u043e\u043b\u044cAz1!\u0451");
        row("us,ru: us active", user, password, {}, "0");
        row("us,ru: ru active", user, password, {}, "1");
    }
    void typesExactly()
    {
        QFETCH(QString, setup);
        QFETCH(QString, user);
        QFETCH(QString, password);
        QFETCH(QString, keys);
        const LockKey lock = setup == "Caps"  ? LockKey::Caps
                             : setup == "Num" ? LockKey::Num
                                              : LockKey::Scroll;
        const bool group = setup == "0" || setup == "1";
        if (group) {
            QCOMPARE(QProcess::execute("setxkbmap", {"-layout", "us,ru"}), 0);
            if (Display* display = XOpenDisplay(nullptr)) {
                XkbLockGroup(display, XkbUseCoreKbd, setup.toInt());
                XCloseDisplay(display);
            }
            QCOMPARE(keyboard().group, setup.toInt());
        } else if (!setup.isEmpty()) {
            X11LockKeys().toggle(lock);
            QVERIFY(X11LockKeys().isOn(lock));
        }
        // Into a fresh form, after a malformed string that must type nothing at all.
        const Keyboard before = keyboard();
        test::ReceiverProcess form(QStringLiteral(KR_KEY_RECEIVER), m_dir.path());
        QVERIFY(form.start());
        X11Keystrokes typer;
        QVERIFY(!typer.sendKeys(QStringLiteral("abc{TAB}def{"), true));
        if (keys.isEmpty())
            keys = EscapeForKeyString(user) + "{TAB}" + EscapeForKeyString(password) + "{ENTER}";
        QVERIFY2(typer.sendKeys(keys, true), qPrintable(typer.lastError()));
        const std::optional<test::Received> got = form.result();
        QVERIFY(got);
        QCOMPARE(got->user, user);
        QCOMPARE(got->password, password);
        QVERIFY(keyboard() == before);
        if (group)
            QProcess::execute("setxkbmap", {"-layout", "us"});
        else if (!setup.isEmpty())
            X11LockKeys().toggle(lock);
        QVERIFY(!X11LockKeys().isOn(lock));
    }
};

QTEST_GUILESS_MAIN(TestX11Typing)
#include "tst_x11typing.moc"
