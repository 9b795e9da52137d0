// The desktop portal route against a recording stand-in of the portal on a
// private session bus: the conversation, the keysyms in order, the restore
// token, and what refusal, silence and a session closed mid-typing give.
#include "KeyDoubles.h"
#include "platform/portal/PortalKeystrokes.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QMutex>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

using namespace kr;
using Outcome = PortalKeystrokes::Outcome;

namespace {

const QString Desktop = QStringLiteral("/org/freedesktop/portal/desktop");

class StandInPortal final : public QDBusVirtualObject {
public:
    uint version = 2;
    uint startAnswer = 0;  // the Start request's response code; 99: no answer at all
    QString acceptedToken; // SelectDevices with another restore token fails (2)
    int keysBeforeClose = -1;

    QString log()
    {
        QMutexLocker lock(&m_mutex);
        return m_log.join(u' ');
    }
    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& call, const QDBusConnection& bus) override
    {
        const QString member = call.member();
        const QList<QVariant> args = call.arguments();
        if (call.interface() == QLatin1String("org.freedesktop.DBus.Properties")) {
            const uint value = args.value(1).toString() == QLatin1String("version") ? version : 3u;
            bus.send(call.createReply(QVariant::fromValue(QDBusVariant(value))));
            return true;
        }
        if (call.path() != Desktop) { // Close of a session or of a request
            record(call.path().contains(QLatin1String("/session/")) ? "close-session" : "close-request");
            bus.send(call.createReply());
            return true;
        }
        if (member == QLatin1String("NotifyKeyboardKeysym")) {
            if (keysBeforeClose-- == 0) {
                bus.send(call.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.Failed"), "closed"));
                return true;
            }
            record((args.value(3).toUInt() ? "+" : "-") + QByteArray::number(args.value(2).toInt(), 16));
            bus.send(call.createReply());
            return true;
        }
        const QVariantMap options = qdbus_cast<QVariantMap>(args.last());
        const QString path = Desktop + QStringLiteral("/request/") +
                             call.service().mid(1).replace(u'.', u'_') + u'/' +
                             options.value(QStringLiteral("handle_token")).toString();
        bus.send(call.createReply(QVariant::fromValue(QDBusObjectPath(path))));
        uint code = 0;
        QVariantMap results;
        if (member == QLatin1String("CreateSession")) {
            record("create");
            results.insert(QStringLiteral("session_handle"), Desktop + QStringLiteral("/session/1/s"));
        } else if (member == QLatin1String("SelectDevices")) {
            const QString token = options.value(QStringLiteral("restore_token")).toString();
            QByteArray line = "select types=" + QByteArray::number(options.value(QStringLiteral("types")).toUInt());
            if (options.contains(QStringLiteral("persist_mode")))
                line += " persist=" + QByteArray::number(options.value(QStringLiteral("persist_mode")).toUInt());
            if (!token.isEmpty())
                line += " token=" + token.toUtf8();
            record(line);
            code = token.isEmpty() || token == acceptedToken ? 0 : 2;
        } else {
            record("start");
            code = startAnswer;
            results.insert(QStringLiteral("devices"), 1u);
            results.insert(QStringLiteral("restore_token"), QStringLiteral("tok-1"));
        }
        if (code != 99) {
            QDBusMessage response = QDBusMessage::createSignal(path, QStringLiteral("org.freedesktop.portal.Request"),
                                                               QStringLiteral("Response"));
            response << code << results;
            bus.send(response);
        }
        return true;
    }

private:
    void record(const QByteArray& line)
    {
        QMutexLocker lock(&m_mutex);
        m_log << QString::fromUtf8(line);
    }
    QMutex m_mutex;
    QStringList m_log;
};

// A session bus of the test's own, ended with the test.
struct PrivateBus {
    QProcess daemon;
    QString address;
    PrivateBus()
    {
        daemon.start(QStringLiteral("dbus-daemon"), {"--session", "--nofork", "--print-address"});
        if (daemon.waitForReadyRead(10000))
            address = QString::fromUtf8(daemon.readLine().trimmed());
    }
    ~PrivateBus()
    {
        daemon.kill();
        daemon.waitForFinished();
    }
};

} // namespace

class TestPortal : public QObject {
    Q_OBJECT
private slots:
    void conversation_data()
    {
        QTest::addColumn<bool>("present");
        QTest::addColumn<uint>("version");
        QTest::addColumn<uint>("startAnswer");
        QTest::addColumn<int>("keysBeforeClose");
        QTest::addColumn<QString>("storedToken");
        QTest::addColumn<bool>("capsOn");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("log");
        QTest::addColumn<QString>("tokenAfter");
        QTest::addColumn<QString>("offLayout");

        const QString keys = QStringLiteral("+61 -61 +2b -2b +ffe1 +62 -62 -ffe1 +ff0d -ff0d");
        const QString typed = QStringLiteral("start ") + keys + QStringLiteral(" close-session");
        const QString asks = QStringLiteral("create select types=1 persist=2 ");
        QTest::newRow("first run: asked, token kept")
            << true << 2u << 0u << -1 << "" << false << int(Outcome::Typed) << asks + typed << "tok-1" << QString();
        QTest::newRow("token reused") << true << 2u << 0u << -1 << "tok-0" << false << int(Outcome::Typed)
                                      << "create select types=1 persist=2 token=tok-0 " + typed << "tok-1" << QString();
        QTest::newRow("stale token: asked once more")
            << true << 2u << 0u << -1 << "old" << false << int(Outcome::Typed)
            << "create select types=1 persist=2 token=old close-session " + asks + typed << "tok-1" << QString();
        QTest::newRow("version 1: nothing kept") << true << 1u << 0u << -1 << "" << false << int(Outcome::Typed)
                                                 << "create select types=1 " + typed << "" << QString();
        QTest::newRow("caps lock on: off while typing")
            << true << 2u << 0u << -1 << "" << true << int(Outcome::Typed)
            << asks + "start +ffe5 -ffe5 " + keys + " +ffe5 -ffe5 close-session" << "tok-1" << QString();
        QTest::newRow("refused") << true << 2u << 1u << -1 << "" << false << int(Outcome::Refused)
                                 << asks + "start close-session" << "" << QString();
        QTest::newRow("no answer") << true << 2u << 99u << -1 << "" << false << int(Outcome::TimedOut)
                                   << asks + "start close-request close-session" << "" << QString();
        QTest::newRow("closed while typing") << true << 2u << 0u << 2 << "" << false << int(Outcome::Closed)
                                             << asks + "start +61 -61 close-session" << "tok-1" << QString();
        QTest::newRow("characters off the desktop's layout: nothing asked")
            << true << 2u << 0u << -1 << "" << false << int(Outcome::OffLayout) << "" << "" << QStringLiteral("é");
        QTest::newRow("no portal") << false << 2u << 0u << -1 << "" << false << int(Outcome::Missing) << ""
                                   << "" << QString();
    }

    void conversation()
    {
        QFETCH(bool, present);
        QFETCH(int, keysBeforeClose);
        QFETCH(QString, storedToken);
        QFETCH(bool, capsOn);
        PrivateBus bus;
        QVERIFY2(!bus.address.isEmpty(), "dbus-daemon did not start");

        QThread thread;
        StandInPortal portal;
        QFETCH(uint, version);
        QFETCH(uint, startAnswer);
        portal.version = version;
        portal.startAnswer = startAnswer;
        portal.acceptedToken = QStringLiteral("tok-0");
        portal.keysBeforeClose = keysBeforeClose;
        QDBusConnection service = QDBusConnection::connectToBus(bus.address, QStringLiteral("stand-in"));
        if (present) {
            QVERIFY(service.registerVirtualObject(Desktop, &portal, QDBusConnection::SubPath));
            QVERIFY(service.registerService(QStringLiteral("org.freedesktop.portal.Desktop")));
        }
        // The typer blocks on its calls: the stand-in answers from a thread of its own.
        portal.moveToThread(&thread);
        thread.start();

        QTemporaryDir dir;
        const QString tokenFile = dir.path() + QStringLiteral("/keyrovia/portal-restore-token");
        if (!storedToken.isEmpty()) {
            QDir().mkpath(dir.path() + QStringLiteral("/keyrovia"));
            QFile file(tokenFile);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(storedToken.toUtf8()) > 0);
        }
        test::FakeLockKeys locks;
        locks.caps = capsOn;
        {
            QDBusConnection client = QDBusConnection::connectToBus(bus.address, QStringLiteral("client"));
            QCOMPARE(PortalKeystrokes::available(client), present);
            QFETCH(QString, offLayout);
            PortalKeystrokes typer({tokenFile, 300, 0, &locks, [&](const SymStrokes&) { return offLayout; }}, client);
            QVERIFY(!typer.sendKeys(QStringLiteral("a{"), true)); // malformed: not a word to the portal
            QFETCH(int, outcome);
            QCOMPARE(typer.sendKeys(QStringLiteral("a{+}+b{ENTER}"), true), outcome == int(Outcome::Typed));
            QCOMPARE(int(typer.lastOutcome()), outcome);
        }
        QDBusConnection::disconnectFromBus(QStringLiteral("client"));
        QDBusConnection::disconnectFromBus(QStringLiteral("stand-in"));
        thread.quit();
        thread.wait();

        QTEST(portal.log(), "log");
        QFile kept(tokenFile);
        QFETCH(QString, tokenAfter);
        QCOMPARE(kept.open(QIODevice::ReadOnly) ? QString::fromUtf8(kept.readAll()) : QString(), tokenAfter);
        if (!tokenAfter.isEmpty())
            QCOMPARE(kept.permissions(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser |
                                             QFileDevice::WriteUser);
    }
};

QTEST_GUILESS_MAIN(TestPortal)
#include "tst_portal.moc"
