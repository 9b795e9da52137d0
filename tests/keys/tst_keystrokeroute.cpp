// Which route the keys take in which session, and what the user is told.
#include "KeyDoubles.h"
#include "PlatformDoubles.h"
#include "app/KeystrokeRoute.h"
#include "platform/PrivateFile.h"

#include <QTemporaryDir>
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

    // XTest alone on Wayland: told once per user; false when the login may not have arrived.
    void xtestOnly_data()
    {
        QTest::addColumn<bool>("xtestTypes");
        QTest::addColumn<bool>("toldBefore"); // in an earlier run
        QTest::addColumn<QList<bool>>("results");
        QTest::addColumn<int>("messages"); // each pointing to the copy buttons
        QTest::newRow("first time") << true << false << QList<bool>{false, true} << 1;
        QTest::newRow("told in an earlier run") << true << true << QList<bool>{true, true} << 0;
        QTest::newRow("nothing typed") << false << true << QList<bool>{false, false} << 2;
    }
    void xtestOnly()
    {
        QFETCH(bool, xtestTypes);
        QTemporaryDir config;
        const QString told = config.path() + QStringLiteral("/keyrovia/told");
        QFETCH(bool, toldBefore);
        QVERIFY(!toldBefore || WritePrivateFile(told, {}));
        test::RecordingKeystrokes xtest, unused;
        xtest.result = xtestTypes;
        test::RecordingMessageBox messages;
        auto no = [] { return false; };
        KeystrokeRoute keys({&xtest, &unused, &unused, [] { return true; }, no, no, {}, {}}, messages, told);
        const QList<bool> results{keys.sendKeys(QStringLiteral("u"), true),
                                  keys.sendKeys(QStringLiteral("u"), true)};
        QTEST(results, "results");
        QTEST(int(messages.shown.size()), "messages");
        QVERIFY(messages.shown.empty() || messages.shown.back().text.contains(QStringLiteral(u"« C »")));
        QCOMPARE(QFile::permissions(told) & 0x0FFF, QFileDevice::ReadUser | QFileDevice::WriteUser);
    }
};

QTEST_GUILESS_MAIN(TestKeystrokeRoute)
#include "tst_keystrokeroute.moc"
