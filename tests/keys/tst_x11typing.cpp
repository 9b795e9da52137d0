// The real typer and lock keys against a real X server (Xvfb), typing into a
// login form that runs as another process.
#include "ReceiverProcess.h"
#include "platform/x11/KeyString.h"
#include "platform/x11/X11Keystrokes.h"
#include "platform/x11/X11LockKeys.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <thread>
#include <vector>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>

using namespace kr;

Q_DECLARE_METATYPE(kr::LockKey)

namespace {

const QString Login = QStringLiteral(u"J\u00f6rg.Us\u00e9r-1");
const QString Password =
    QStringLiteral(u"Aa1 !@#$%^&*()_+{}[]|:;\"'<>,.?/~\\`-=\u00e9\u00df\u20ac\u0436");

QString loginKeys(const QString& user, const QString& password) {
    return EscapeForKeyString(user) + QStringLiteral("{TAB}") + EscapeForKeyString(password) +
           QStringLiteral("{ENTER}");
}

// The login form, started, on screen and holding the keyboard focus.
class Receiver : public test::ReceiverProcess {
public:
    explicit Receiver(const QTemporaryDir& dir)
        : ReceiverProcess(QStringLiteral(KR_KEY_RECEIVER), dir.path()) {}
};

// The whole core keyboard map, to see that borrowed keycodes were given back.
std::vector<KeySym> keyboardMapping() {
    std::vector<KeySym> out;
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return out;
    int minCode = 0;
    int maxCode = 0;
    XDisplayKeycodes(display, &minCode, &maxCode);
    int width = 0;
    KeySym* syms = XGetKeyboardMapping(display, KeyCode(minCode), maxCode - minCode + 1, &width);
    out.assign(syms, syms + (maxCode - minCode + 1) * width);
    out.push_back(KeySym(width));
    XFree(syms);
    XCloseDisplay(display);
    return out;
}

struct LockStates {
    bool caps, num, scroll;
    bool operator==(const LockStates&) const = default;
};

LockStates lockStates() {
    X11LockKeys locks;
    return {locks.isOn(LockKey::Caps), locks.isOn(LockKey::Num), locks.isOn(LockKey::Scroll)};
}

char* toString(const LockStates& s) {
    return qstrdup(
        QStringLiteral("caps %1 num %2 scroll %3").arg(s.caps).arg(s.num).arg(s.scroll).toLatin1());
}

// The active layout group; -1 without a display.
int layoutGroup() {
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return -1;
    XkbStateRec state{};
    XkbGetState(display, XkbUseCoreKbd, &state);
    XCloseDisplay(display);
    return state.group;
}

void lockLayoutGroup(int group) {
    if (Display* display = XOpenDisplay(nullptr)) {
        XkbLockGroup(display, XkbUseCoreKbd, group);
        XSync(display, False);
        XCloseDisplay(display);
    }
}

void setLock(LockKey key, bool on) {
    X11LockKeys locks;
    if (locks.isOn(key) != on)
        locks.toggle(key);
}

} // namespace

class TestX11Typing : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void lockKeysSwitch_data();
    void lockKeysSwitch();
    void scrollLockAsModifier();
    void typesLoginExactly();
    void keyStringKeys_data();
    void keyStringKeys();
    void locksEndAsTheyBegan_data();
    void locksEndAsTheyBegan();
    void borrowedKeycodesGivenBack();
    void malformedTypesNothing();
    void unusualLogins_data();
    void unusualLogins();
    void focusedWindowClosesMidway();
    void twoLayoutGroups_data();
    void twoLayoutGroups();

private:
    QTemporaryDir m_dir;
};

void TestX11Typing::initTestCase() {
    QVERIFY(m_dir.isValid());
    QVERIFY2(qEnvironmentVariableIsSet("DISPLAY"), "run under xvfb-run");
    QVERIFY(X11LockKeys().canSwitch());
}

// Before Scroll Lock has a modifier: it is switched through its indicator.
void TestX11Typing::lockKeysSwitch_data() {
    QTest::addColumn<LockKey>("key");
    QTest::newRow("Caps") << LockKey::Caps;
    QTest::newRow("Num") << LockKey::Num;
    QTest::newRow("Scroll by indicator") << LockKey::Scroll;
}

void TestX11Typing::lockKeysSwitch() {
    QFETCH(LockKey, key);
    X11LockKeys locks;
    const LockStates before = lockStates();
    const bool was = locks.isOn(key);
    locks.toggle(key);
    QCOMPARE(locks.isOn(key), !was);
    locks.toggle(key);
    QCOMPARE(locks.isOn(key), was);
    QCOMPARE(lockStates(), before);
}

void TestX11Typing::scrollLockAsModifier() {
    QCOMPARE(QProcess::execute(QStringLiteral("xmodmap"),
                               {QStringLiteral("-e"), QStringLiteral("add mod3 = Scroll_Lock")}),
             0);
    X11LockKeys locks;
    QVERIFY(!locks.isOn(LockKey::Scroll));
    locks.toggle(LockKey::Scroll);
    QVERIFY(locks.isOn(LockKey::Scroll));
    QCOMPARE(lockStates(), (LockStates{false, false, true}));
    locks.toggle(LockKey::Scroll);
    QVERIFY(!locks.isOn(LockKey::Scroll));
}

void TestX11Typing::typesLoginExactly() {
    for (int run = 1; run <= 10; ++run) {
        Receiver receiver(m_dir);
        QVERIFY(receiver.start());
        X11Keystrokes typer;
        QVERIFY2(typer.sendKeys(loginKeys(Login, Password), true), qPrintable(typer.lastError()));
        const std::optional<test::Received> got = receiver.result();
        QVERIFY2(got, qPrintable(QStringLiteral("run %1: nothing received").arg(run)));
        QCOMPARE(got->user, Login);
        QCOMPARE(got->password, Password);
    }
}

void TestX11Typing::keyStringKeys_data() {
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");

    QTest::newRow("left") << "ac{LEFT}b{TAB}p{ENTER}"
                          << "abc"
                          << "p";
    QTest::newRow("backspace and repeat") << "abx{BS}c{TAB}{p 3}~"
                                          << "abc"
                                          << "ppp";
    QTest::newRow("home and end") << "bc{HOME}a{END}d{TAB}q~"
                                  << "abcd"
                                  << "q";
    QTest::newRow("delete") << "abc{LEFT 2}{DEL}{TAB}x~"
                            << "ac"
                            << "x";
    QTest::newRow("shift group") << "+(abc)d{TAB}+x{ENTER}"
                                 << "ABCd"
                                 << "X";
    QTest::newRow("ctrl selects all") << "old^az{TAB}p~"
                                      << "z"
                                      << "p";
    QTest::newRow("escapes") << "{+}{^}{%}{~}{(}{)}{[}{]}{{}{}}{TAB}~"
                             << "+^%~()[]{}"
                             << "";
    QTest::newRow("tab character") << "u\tp\r"
                                   << "u"
                                   << "p";
}

void TestX11Typing::keyStringKeys() {
    QFETCH(QString, keys);
    QFETCH(QString, user);
    QFETCH(QString, password);
    Receiver receiver(m_dir);
    QVERIFY(receiver.start());
    X11Keystrokes typer;
    QVERIFY2(typer.sendKeys(keys, true), qPrintable(typer.lastError()));
    const std::optional<test::Received> got = receiver.result();
    QVERIFY(got);
    QCOMPARE(got->user, user);
    QCOMPARE(got->password, password);
}

void TestX11Typing::locksEndAsTheyBegan_data() {
    QTest::addColumn<LockKey>("key");
    QTest::addColumn<bool>("on");
    QTest::newRow("Caps on") << LockKey::Caps << true;
    QTest::newRow("Caps off") << LockKey::Caps << false;
    QTest::newRow("Num on") << LockKey::Num << true;
    QTest::newRow("Num off") << LockKey::Num << false;
    QTest::newRow("Scroll on") << LockKey::Scroll << true;
    QTest::newRow("Scroll off") << LockKey::Scroll << false;
}

void TestX11Typing::locksEndAsTheyBegan() {
    QFETCH(LockKey, key);
    QFETCH(bool, on);
    setLock(key, on);
    const LockStates before = lockStates();
    QCOMPARE(X11LockKeys().isOn(key), on);

    Receiver receiver(m_dir);
    QVERIFY(receiver.start());
    X11Keystrokes typer;
    QVERIFY(typer.sendKeys(loginKeys(Login, Password), true));
    const std::optional<test::Received> got = receiver.result();
    const LockStates after = lockStates();
    setLock(key, false);

    QVERIFY(got);
    QCOMPARE(got->user, Login);
    QCOMPARE(got->password, Password);
    QCOMPARE(after, before);
}

// More characters missing from the layout than it has spare keycodes, so they
// go out in several batches.
void TestX11Typing::borrowedKeycodesGivenBack() {
    const QString greek =
        QStringLiteral(u"\u03b1\u03b2\u03b3\u03b4\u03b5\u03b6\u03b7\u03b8\u03b9\u03ba");
    const QString cyrillic =
        QStringLiteral(u"\u0436\u0434\u0444\u0449\u044e\u044f\u0411\u0416\u0424");
    const QString other = QStringLiteral(u"\u00e9\u00df\u20ac\u00e7\u0153\u2603");
    const QString user = greek + QStringLiteral("a") + cyrillic;
    const QString password = other + greek.left(3) + QStringLiteral("Z");

    const std::vector<KeySym> before = keyboardMapping();
    QVERIFY(!before.empty());
    Receiver receiver(m_dir);
    QVERIFY(receiver.start());
    X11Keystrokes typer;
    QVERIFY(typer.sendKeys(loginKeys(user, password), true));
    const std::optional<test::Received> got = receiver.result();
    QVERIFY(got);
    QCOMPARE(got->user, user);
    QCOMPARE(got->password, password);
    QVERIFY(keyboardMapping() == before);
}

void TestX11Typing::malformedTypesNothing() {
    Receiver receiver(m_dir);
    QVERIFY(receiver.start());
    X11Keystrokes typer;
    QVERIFY(!typer.sendKeys(QStringLiteral("abc{TAB}def{ENTER}{"), true));
    QVERIFY(!typer.sendKeys(QStringLiteral("abc{TAB}def[x]{ENTER}"), true));
    QVERIFY(typer.sendKeys(QStringLiteral("x{TAB}y{ENTER}"), true));
    const std::optional<test::Received> got = receiver.result();
    QVERIFY(got);
    QCOMPARE(got->user, QStringLiteral("x"));
    QCOMPARE(got->password, QStringLiteral("y"));
}

void TestX11Typing::unusualLogins_data() {
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::newRow("empty login") << QString() << QString();
    QTest::newRow("outside the BMP")
        << QStringLiteral(u"a\U0001F600b") << QStringLiteral(u"\U0001D11E\U0001F511x");
    QTest::newRow("only spaces") << "   "
                                 << " ";
}

void TestX11Typing::unusualLogins() {
    QFETCH(QString, user);
    QFETCH(QString, password);
    const std::vector<KeySym> before = keyboardMapping();
    Receiver receiver(m_dir);
    QVERIFY(receiver.start());
    X11Keystrokes typer;
    QVERIFY(typer.sendKeys(loginKeys(user, password), true));
    const std::optional<test::Received> got = receiver.result();
    QVERIFY(got);
    QCOMPARE(got->user, user);
    QCOMPARE(got->password, password);
    QVERIFY(keyboardMapping() == before);
}

// The form goes away while the keys are still being typed (some of them
// through borrowed keycodes): no crash, and the key map is still given back.
void TestX11Typing::focusedWindowClosesMidway() {
    const std::vector<KeySym> before = keyboardMapping();
    const LockStates locksBefore = lockStates();
    Receiver receiver(m_dir);
    QVERIFY(receiver.start());

    QString text;
    for (int i = 0; i < 40; ++i)
        text += QStringLiteral(u"abc\u00e9\u0436\u20ac");
    bool sent = false;
    std::thread typing([&] { sent = X11Keystrokes().sendKeys(EscapeForKeyString(text), true); });
    QTest::qSleep(300);
    receiver.kill();
    typing.join();

    QVERIFY(sent);
    QVERIFY(keyboardMapping() == before);
    QCOMPARE(lockStates(), locksBefore);
}

// Characters of the layout group that is not active are typed from that
// group, and the active group is back afterwards.
void TestX11Typing::twoLayoutGroups_data() {
    QTest::addColumn<int>("group");
    QTest::newRow("us active") << 0;
    QTest::newRow("ru active") << 1;
}

void TestX11Typing::twoLayoutGroups() {
    QFETCH(int, group);
    QCOMPARE(QProcess::execute(QStringLiteral("setxkbmap"),
                               {QStringLiteral("-layout"), QStringLiteral("us,ru")}),
             0);
    lockLayoutGroup(group);
    QCOMPARE(layoutGroup(), group);
    const std::vector<KeySym> before = keyboardMapping();
    const QString user = QStringLiteral(u"JoЖанна.Bé");
    const QString password = QStringLiteral(u"парольAz1!ё");

    Receiver receiver(m_dir);
    QVERIFY(receiver.start());
    X11Keystrokes typer;
    QVERIFY(typer.sendKeys(loginKeys(user, password), true));
    const std::optional<test::Received> got = receiver.result();
    const int groupAfter = layoutGroup();
    const bool mapBack = keyboardMapping() == before;
    QProcess::execute(QStringLiteral("setxkbmap"),
                      {QStringLiteral("-layout"), QStringLiteral("us")});

    QVERIFY(got);
    QCOMPARE(got->user, user);
    QCOMPARE(got->password, password);
    QCOMPARE(groupAfter, group);
    QVERIFY(mapBack);
}

QTEST_GUILESS_MAIN(TestX11Typing)
#include "tst_x11typing.moc"
