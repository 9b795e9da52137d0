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
        QTest::addColumn<QString>("session"); // W: Wayland, P: a portal, V: a virtual keyboard
        QTest::addColumn<int>("outcome");     // the portal's
        QTest::addColumn<int>("route");
        QTest::addColumn<QStringList>("messages"); // over two sends
        const int typed = int(Outcome::Typed);
        QTest::newRow("X11 session") << "PV" << typed << int(KeyRoute::XTest) << QStringList();
        QTest::newRow("portal") << "WPV" << typed << int(KeyRoute::Portal) << QStringList();
        QTest::newRow("portal refused")
            << "WPV" << int(Outcome::Refused) << int(KeyRoute::Portal)
            << QStringList(2, QStringLiteral(u"Le bureau a refusé l'envoi des touches : rien n'a été tapé."));
        QTest::newRow("portal gone") << "WPV" << int(Outcome::Missing) << int(KeyRoute::VirtualKeyboard)
                                     << QStringList();
        QTest::newRow("neither: XTest, told once")
            << "W" << typed << int(KeyRoute::XTest)
            << QStringList{
                   QStringLiteral(u"Ce bureau ne permet pas d'envoyer des touches aux fenêtres Wayland : "
                                  u"seules les fenêtres X11 (XWayland) les reçoivent.")};
    }

    void choice()
    {
        QFETCH(QString, session);
        QFETCH(int, outcome);
        QFETCH(int, route);
        test::RecordingKeystrokes routes[3]; // XTest, portal, virtual keyboard, as KeyRoute counts
        routes[1].result = outcome == int(Outcome::Typed);
        test::RecordingMessageBox messages;
        QStringList shown;
        messages.onShow = [&](const test::ShownMessage& m) {
            QCOMPARE(m.style, int(MsgExclamation));
            QCOMPARE(routes[route].sent.size(),
                     std::size_t(shown.size() + 1)); // told after the keys went out
            shown << m.text;
        };
        KeystrokeRoute keys({&routes[0], &routes[1], &routes[2], [&] { return session.contains(u'W'); },
                             [&] { return session.contains(u'P'); }, [&] { return session.contains(u'V'); },
                             [=] { return Outcome(outcome); }, [] { return QString(); }},
                            messages);
        for (int send = 1; send <= 2; ++send) {
            QCOMPARE(keys.sendKeys(QStringLiteral("u{TAB}p{ENTER}"), true), outcome != int(Outcome::Refused));
            QCOMPARE(int(keys.lastRoute()), route);
        }
        QCOMPARE(routes[route].sent.size(), std::size_t(2));
        QTEST(shown, "messages");
    }
};

QTEST_GUILESS_MAIN(TestKeystrokeRoute)
#include "tst_keystrokeroute.moc"
