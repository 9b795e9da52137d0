// The desktop portal route against a recording stand-in of the portal on a
// private session bus: the conversation, the keysyms in order, the restore
// token, and what refusal, silence and a session closed mid-typing give.
#include "KeyDoubles.h"
#include "TestKit.h"
#include "platform/portal/PortalKeystrokes.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

using namespace kr;
using Outcome = PortalKeystrokes::Outcome;

namespace {

const QString Desktop = QStringLiteral("/org/freedesktop/portal/desktop");

// Answers as `setup` says: "v1" (no persistence), "refuse" or "silent" at
// Start, "close@N" (the session ends after N keys); takes the token "tok-0".
class StandInPortal final : public QDBusVirtualObject {
public:
    explicit StandInPortal(const QString& setup)
        : m_setup(setup), m_keysLeft(setup.contains(u'@') ? setup.section(u'@', 1, 1).left(1).toInt() : -1)
    {}
    // Read once its thread has ended.
    QString log() const { return m_log.join(u' '); }
    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& call, const QDBusConnection& bus) override
    {
        const QList<QVariant> args = call.arguments();
        if (call.interface() == QLatin1String("org.freedesktop.DBus.Properties")) {
            const bool v1 = m_setup.contains("v1") && args.value(1) == "version";
            return bus.send(call.createReply(QVariant::fromValue(QDBusVariant(v1 ? 1u : 3u))));
        }
        if (call.path() != Desktop) { // Close of a session or of a request
            m_log << (call.path().contains(QLatin1String("/session/")) ? "close-session" : "close-request");
            return bus.send(call.createReply());
        }
        if (call.member() == QLatin1String("NotifyKeyboardKeysym")) {
            if (m_keysLeft-- == 0)
                return bus.send(
                    call.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.Failed"), "closed"));
            m_log << (args.value(3).toUInt() ? "+" : "-") + QString::number(args.value(2).toInt(), 16);
            return bus.send(call.createReply());
        }
        const QVariantMap options = qdbus_cast<QVariantMap>(args.last());
        const QString path = Desktop + QStringLiteral("/request/") +
                             call.service().mid(1).replace(u'.', u'_') + u'/' +
                             options.value(QStringLiteral("handle_token")).toString();
        bus.send(call.createReply(QVariant::fromValue(QDBusObjectPath(path))));
        uint code = 0;
        QVariantMap results{{QStringLiteral("session_handle"), Desktop + QStringLiteral("/session/1/s")}};
        if (call.member() == QLatin1String("SelectDevices")) {
            QString line = "select types=" + options.value("types").toString();
            for (const char* key : {"persist_mode", "restore_token"})
                if (options.contains(QLatin1String(key)))
                    line += u' ' + QLatin1String(key) + u'=' + options.value(QLatin1String(key)).toString();
            m_log << line;
            const QString token = options.value(QStringLiteral("restore_token")).toString();
            code = token.isEmpty() || token == QLatin1String("tok-0") ? 0 : 2;
        } else if (call.member() == QLatin1String("Start")) {
            m_log << QStringLiteral("start");
            code = m_setup.contains("refuse") ? 1 : m_setup.contains("silent") ? 99 : 0;
            results = {{"devices", 1u}, {"restore_token", "tok-1"}};
        } else {
            m_log << QStringLiteral("create");
        }
        if (code == 99)
            return true;
        QDBusMessage response = QDBusMessage::createSignal(
            path, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"));
        return bus.send(response << code << results);
    }

private:
    QString m_setup;
    int m_keysLeft;
    QStringList m_log;
};

} // namespace

class TestPortal : public QObject {
    Q_OBJECT
private slots:
    void conversation_data()
    {
        QTest::addColumn<QString>("setup"); // the stand-in's, plus: absent, caps, stored=<token>, offlayout
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("log");
        QTest::addColumn<QString>("tokenAfter");

        const auto row = [](const char* name, const char* setup, Outcome outcome, const QString& log,
                            const char* tokenAfter = "") {
            QTest::newRow(name) << QString(setup) << int(outcome) << log << QString(tokenAfter);
        };
        const QString keys = "+61 -61 +2b -2b +ffe1 +62 -62 -ffe1 +ff0d -ff0d";
        const QString typed = "start " + keys + " close-session";
        const QString asks = "create select types=1 persist_mode=2 ";
        const Outcome ok = Outcome::Typed;
        row("first run: asked, token kept", "", ok, asks + typed, "tok-1");
        row("token reused", "stored=tok-0", ok, asks + "restore_token=tok-0 " + typed, "tok-1");
        row("stale token: asked once more", "stored=old", ok,
            asks + "restore_token=old close-session " + asks + typed, "tok-1");
        row("version 1: nothing kept", "v1", ok, "create select types=1 " + typed);
        row("caps lock on: off while typing", "caps", ok,
            asks + "start +ffe5 -ffe5 " + keys + " +ffe5 -ffe5 close-session", "tok-1");
        row("refused", "refuse", Outcome::Refused, asks + "start close-session");
        row("no answer", "silent", Outcome::TimedOut, asks + "start close-request close-session");
        row("closed while typing", "close@2", Outcome::Closed, asks + "start +61 -61 close-session", "tok-1");
        row("off the layout: nothing asked", "offlayout", Outcome::OffLayout, "");
        row("no portal", "absent", Outcome::Missing, "");
    }

    void conversation()
    {
        QFETCH(QString, setup);
        QProcess daemon;
        daemon.start(QStringLiteral("dbus-daemon"), {"--session", "--nofork", "--print-address"});
        QVERIFY2(daemon.waitForReadyRead(10000), "dbus-daemon did not start");
        const QString address = QString::fromUtf8(daemon.readLine().trimmed());

        StandInPortal portal(setup);
        QDBusConnection service = QDBusConnection::connectToBus(address, QStringLiteral("stand-in"));
        const bool present = !setup.contains(QLatin1String("absent"));
        if (present) {
            QVERIFY(service.registerVirtualObject(Desktop, &portal, QDBusConnection::SubPath));
            QVERIFY(service.registerService(QStringLiteral("org.freedesktop.portal.Desktop")));
        }
        // The typer blocks on its calls: the stand-in answers from a thread of its own.
        QThread thread;
        portal.moveToThread(&thread);
        thread.start();

        QTemporaryDir dir;
        const QString tokenFile = dir.path() + QStringLiteral("/portal-restore-token");
        if (setup.startsWith(QLatin1String("stored=")))
            QVERIFY(test::writeFile(tokenFile, setup.mid(7).toUtf8()));
        test::FakeLockKeys locks;
        locks.caps = setup == QLatin1String("caps");
        {
            QDBusConnection client = QDBusConnection::connectToBus(address, QStringLiteral("client"));
            QCOMPARE(PortalKeystrokes::available(client), present);
            const QString offLayout = setup == QLatin1String("offlayout") ? QStringLiteral("é") : QString();
            PortalKeystrokes typer(
                {tokenFile, 300, 0, &locks, [&](const SymStrokes&) { return offLayout; }, 0}, client);
            QVERIFY(!typer.sendKeys(QStringLiteral("a{"), true)); // malformed: not a word to the portal
            QFETCH(int, outcome);
            QCOMPARE(typer.sendKeys(QStringLiteral("a{+}+b{ENTER}"), true), outcome == int(Outcome::Typed));
            QCOMPARE(int(typer.lastOutcome()), outcome);
        }
        QDBusConnection::disconnectFromBus(QStringLiteral("client"));
        QDBusConnection::disconnectFromBus(QStringLiteral("stand-in"));
        thread.quit();
        thread.wait();
        daemon.kill();
        daemon.waitForFinished();

        QTEST(portal.log(), "log");
        QFETCH(QString, tokenAfter);
        if (!setup.startsWith(QLatin1String("stored=")) || !tokenAfter.isEmpty())
            QCOMPARE(QString::fromUtf8(test::fileBytes(tokenFile)), tokenAfter);
        if (!tokenAfter.isEmpty())
            QCOMPARE(QFile::permissions(tokenFile) & 0x0FFF, QFileDevice::ReadUser | QFileDevice::WriteUser);
    }
};

QTEST_GUILESS_MAIN(TestPortal)
#include "tst_portal.moc"
