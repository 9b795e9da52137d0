// The site of the browser's page (RecupSiteIE) and the automatic login, on the
// scripted page address, the recording keystrokes and the fake lock keys.
#include "AppFixture.h"
#include "KeyDoubles.h"
#include "PageAddressDouble.h"
#include "browser/AutoLogin.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

using namespace kr;
using namespace kr::test;

class TestBrowser : public QObject {
    Q_OBJECT

    ScriptedPageAddress page;
    RecordingKeystrokes keys;
    FakeLockKeys locks;
    std::unique_ptr<AppFixture> f;
    MotDePassControls* c = nullptr;

    void open(int recupAuto = 0)
    {
        f = std::make_unique<AppFixture>(&page, &keys, &locks);
        QVERIFY(f->openMain({{"example.test:8080", "port-user", "pp"},
                             {"Example.org", "org-user", "op"},
                             {"bank.test", "Jörg", "a+b^c%d~e(f)g{h}i[j]"}},
                            recupAuto));
        c = &f->ui();
    }

private slots:
    void init()
    {
        page = ScriptedPageAddress();
        keys = RecordingKeystrokes();
        locks = FakeLockKeys();
    }
    void cleanup() { f.reset(); }

    // Pressed twice, each time with the same answer: the same result, never a message.
    void reduction_data()
    {
        QTest::addColumn<std::optional<QString>>("reply");
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("shownUser"); // empty: nothing selected
        const auto r = [](const char* s) { return std::optional<QString>(QString::fromUtf8(s)); };
        const auto row = [](const char* name, const std::optional<QString>& reply, const QString& before,
                            const QString& box, const QString& shownUser) {
            QTest::newRow(name) << reply << before << box << shownUser;
        };
        row("www removed, case-insensitive selection", r("\"http://www.example.org/login\",\"Login\""), "",
            "example.org", "org-user");
        row("mixed-case prefix kept", r("\"http://Www.example.org/\",\"x\""), "", "Www.example.org", "");
        row("no slash after host runs into the title", r("\"http://bank.test\",\"Bank / login\""), "",
            "bank.test\",\"Bank ", "");
        row("no slash at all gives empty", r("\"http://bank.test\",\"Bank\""), "", "", "");
        row("silent browser: typed name reduced to empty", std::nullopt, "bank.test", "", "");
        row("silent browser: address in the box reduced", std::nullopt, "https://bank.test/x", "bank.test",
            "Jörg");
        row("garbage", r("\x01\x02garbage"), "", "", "");
    }
    void reduction()
    {
        QFETCH(std::optional<QString>, reply);
        QFETCH(QString, before);
        QFETCH(QString, box);
        QFETCH(QString, shownUser);
        page.replies = {reply, reply};
        open();
        for (int press = 0; press < 2; ++press) {
            if (press == 0 || !reply) // a browser's answer makes the box's text irrelevant
                c->txtAddSite->setText(before);
            QTest::mouseClick(c->cmdAddActualiser, Qt::LeftButton);
            QCOMPARE(c->txtAddSite->text(), box);
            QCOMPARE(c->txtInfoUser->text(), shownUser);
            QCOMPARE(c->lstSite->currentRow() >= 0, !shownUser.isEmpty());
        }
        QCOMPARE(page.timeouts, (QList<int>{5000, 5000}));
        QVERIFY(f->messages.shown.empty());
    }

    // "Automatique" ticked: the page's site is taken at the start, its port kept.
    void automaticAtStartWhenTicked()
    {
        page.replies = {QStringLiteral("\"http://www.example.test:8080/login\",\"Login\"")};
        open(1);
        QCOMPARE(page.timeouts, QList<int>{5000});
        QCOMPARE(c->txtInfoUser->text(), QStringLiteral("port-user"));
    }

    // The lock keys are read before sending and switched back only when sending changed them.
    void locksPutBack_data()
    {
        QTest::addColumn<bool>("switchable");
        QTest::addColumn<bool>("sendingChangesCaps");
        QTest::addColumn<QStringList>("toggles");
        QTest::newRow("nothing changed: nothing switched") << true << false << QStringList{};
        QTest::newRow("caps changed: switched back") << true << true << QStringList{"toggle Caps"};
        QTest::newRow("no X11: never switched") << false << true << QStringList{};
    }
    void locksPutBack()
    {
        QFETCH(bool, switchable);
        QFETCH(bool, sendingChangesCaps);
        QFETCH(QStringList, toggles);
        locks.switchable = switchable;
        locks.num = true;
        if (sendingChangesCaps)
            keys.onSend = [this](const SentKeys&) { locks.set(LockKey::Caps, !locks.caps); };
        mySendKeys(keys, locks, QStringLiteral("x"), true);
        QCOMPARE(locks.calls.mid(0, 3), (QStringList{"isOn Num", "isOn Caps", "isOn Scroll"}));
        QCOMPARE(locks.calls.filter(QStringLiteral("toggle")), toggles);
        QVERIFY(locks.num);
        QCOMPARE(locks.caps, sendingChangesCaps && !switchable);
    }

    // Asking desktops get the keys at the click; a login not typed brings the main window back.
    void autoSendsTypesTheSelectedLoginThenCloses_data()
    {
        QTest::addColumn<bool>("asks");
        QTest::addColumn<bool>("typed");
        QTest::newRow("typed after 2 s") << false << true;
        QTest::newRow("asks, typed at once") << true << true;
        QTest::newRow("asks, refused") << true << false;
        QTest::newRow("nothing typed") << false << false;
    }
    void autoSendsTypesTheSelectedLoginThenCloses()
    {
        QFETCH(bool, asks);
        QFETCH(bool, typed);
        keys.asks = asks;
        keys.result = typed;
        open();
        f->app->mainWindow().SelectSiteInList(QStringLiteral("bank.test"));
        QTest::mouseClick(c->cmdAutoSends, Qt::LeftButton);
        if (!asks) // hidden at once
            QVERIFY(!f->app->mainWindow().widget()->isVisible() && c->timzAutoLoig->isActive());
        QCOMPARE(keys.sent.size(), size_t(asks));
        QTRY_COMPARE_WITH_TIMEOUT(keys.sent.size(), size_t(1), 4000);
        QTRY_COMPARE(f->programEnded, int(typed));
        QCOMPARE(f->app->mainWindow().isLoaded() && f->app->mainWindow().widget()->isVisible(), !typed);
        if (!typed)
            QCOMPARE(c->txtInfoSite->text(), QStringLiteral("bank.test"));
        QVERIFY(keys.sent[0].wait);
        // Every character with a meaning in a key string is braced.
        QCOMPARE(keys.sent[0].keys,
                 QStringLiteral("Jörg{TAB}a{+}b{^}c{%}d{~}e{(}f{)}g{{}h{}}i{[}j{]}{ENTER}"));
    }
};

QTEST_MAIN(TestBrowser)
#include "tst_browser.moc"
