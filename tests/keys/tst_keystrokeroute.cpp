// Which route the keys take in which session, and what the user is told.
#include "KeyDoubles.h"
#include "PlatformDoubles.h"
#include "app/KeystrokeRoute.h"

#include <QTest>

using namespace kr;
using Outcome = PortalKeystrokes::Outcome;

class TestKeystrokeRoute : public QObject {
    Q_OBJECT
private slots:
    void choice_data()
    {
        QTest::addColumn<bool>("wayland");
        QTest::addColumn<bool>("portal");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<bool>("virtualKeyboard");
        QTest::addColumn<int>("route");
        QTest::addColumn<QStringList>("messages"); // over two sends

        const int typed = int(Outcome::Typed);
        QTest::newRow("X11 session") << false << true << typed << true << int(KeyRoute::XTest) << QStringList();
        QTest::newRow("portal") << true << true << typed << true << int(KeyRoute::Portal) << QStringList();
        QTest::newRow("portal refused")
            << true << true << int(Outcome::Refused) << true << int(KeyRoute::Portal)
            << QStringList(2, QStringLiteral(u"Le bureau a refusé l'envoi des touches : rien n'a été tapé."));
        QTest::newRow("portal gone: virtual keyboard")
            << true << true << int(Outcome::Missing) << true << int(KeyRoute::VirtualKeyboard) << QStringList();
        QTest::newRow("virtual keyboard") << true << false << typed << true << int(KeyRoute::VirtualKeyboard)
                                          << QStringList();
        QTest::newRow("neither: XTest, told once")
            << true << false << typed << false << int(KeyRoute::XTest)
            << QStringList{QStringLiteral(u"Ce bureau ne permet pas d'envoyer des touches aux fenêtres Wayland : "
                                          u"seules les fenêtres X11 (XWayland) les reçoivent.")};
    }

    void choice()
    {
        QFETCH(bool, wayland);
        QFETCH(bool, portal);
        QFETCH(int, outcome);
        QFETCH(bool, virtualKeyboard);
        test::RecordingKeystrokes xtest, portalKeys, vkKeys;
        portalKeys.result = outcome == int(Outcome::Typed);
        test::RecordingMessageBox messages;
        std::vector<std::size_t> typedBeforeMessage;
        messages.onShow = [&](const test::ShownMessage& shown) {
            QCOMPARE(shown.style, int(MsgExclamation));
            typedBeforeMessage.push_back(xtest.sent.size() + portalKeys.sent.size());
        };
        KeystrokeRoute keys({&xtest, &portalKeys, &vkKeys, [=] { return wayland; }, [=] { return portal; },
                              [=] { return virtualKeyboard; }, [=] { return Outcome(outcome); },
                              [] { return QString(); }},
                             messages);
        QFETCH(int, route);
        for (int send = 1; send <= 2; ++send) {
            QCOMPARE(keys.sendKeys(QStringLiteral("u{TAB}p{ENTER}"), true), outcome != int(Outcome::Refused));
            QCOMPARE(int(keys.lastRoute()), route);
        }
        test::RecordingKeystrokes* chosen = route == int(KeyRoute::XTest)    ? &xtest
                                            : route == int(KeyRoute::Portal) ? &portalKeys
                                                                             : &vkKeys;
        QCOMPARE(int(chosen->sent.size()), 2);
        QStringList shown;
        for (const test::ShownMessage& m : messages.shown)
            shown << m.text;
        QTEST(shown, "messages");
        for (std::size_t i = 0; i < typedBeforeMessage.size(); ++i)
            QCOMPARE(typedBeforeMessage[i], i + 1); // told after the keys went out
    }
};

QTEST_GUILESS_MAIN(TestKeystrokeRoute)
#include "tst_keystrokeroute.moc"
