// The reference vendor service on 127.0.0.1, reached through the program's own
// TCP client: replies, stored suggestions, bounds, and the client's events.
#include "MessageStore.h"
#include "VendorService.h"
#include "common/AnsiCodePage.h"
#include "online/ReplyBuffer.h"
#include "online/SuggestText.h"
#include "online/UpdateCheck.h"
#include "platform/QtTcpClient.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace kr;

namespace {

struct Exchange {
    QByteArray reply;
    bool closed = false;
    QString error;
};

// One request through QtTcpClient, until the peer closes or an error comes.
Exchange exchange(quint16 port, const QByteArray& request, int timeoutMs = 5000)
{
    Exchange ex;
    QtTcpClient client;
    client.setHandlers({[&] { client.write(request); },
                        [&] {
                            if (auto piece = client.readAll())
                                ex.reply += *piece;
                        },
                        [&] { ex.closed = true; }, [&](const QString& reason) { ex.error = reason; }});
    client.connectToHost(QStringLiteral("127.0.0.1"), port);
    QDeadlineTimer deadline(timeoutMs);
    while (!ex.closed && ex.error.isEmpty() && !deadline.hasExpired())
        QTest::qWait(10);
    return ex;
}

} // namespace

class TestVendorService : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void versionServiceAnswersInTheProgramsFormat()
    {
        VendorServiceConfig config;
        config.announcedVersion = QStringLiteral("1.2");
        config.information = QString::fromUtf8("Nouvelle\nversion améliorée");
        config.databasePath = dir.filePath(QStringLiteral("v.db"));
        VendorService service(config);
        QVERIFY(service.listen(QHostAddress::LocalHost, 0));
        const Exchange ex = exchange(service.port(), versionRequest(QStringLiteral("127.0.0.1:1")));
        QVERIFY(ex.closed);
        QVERIFY2(ex.error.isEmpty(), qPrintable(ex.error)); // the close is no error
        const UpdateDecision d = decideUpdate(fromAnsi(ex.reply), ProgramVersion{1, 1, 0});
        QCOMPARE(int(d.kind), int(UpdateDecision::Mandatory));
        QCOMPARE(d.newVersion, QStringLiteral("1.2"));
        QCOMPARE(d.information, QString::fromUtf8("Nouvelle\r\nversion améliorée"));
    }

    void suggestionIsStoredDecoded()
    {
        VendorServiceConfig config;
        config.databasePath = dir.filePath(QStringLiteral("s.db"));
        VendorService service(config);
        QVERIFY(service.listen(QHostAddress::LocalHost, 0));
        const QString message =
            QString::fromUtf8("Le 5 décembre 2026  a  14 5\r\n\r\nNom : Jean    Email : \r\n\r\n"
                              "100% d'accord & merci");
        const Exchange ex =
            exchange(service.port(), suggestionRequest(QStringLiteral("h"), encodeMessage(message)));
        QCOMPARE(int(suggestOutcome(QString::fromUtf8(ex.reply))), int(SuggestOutcome::Sent));
        QCOMPARE(MessageStore::messages(config.databasePath), QStringList{message});
        QCOMPARE(QFile::permissions(config.databasePath) & 0x0077, QFileDevice::Permissions());
    }

    void refusalWhenItCannotStore()
    {
        VendorServiceConfig config;
        config.databasePath = dir.filePath(QStringLiteral("missing/folder/s.db"));
        VendorService service(config);
        QVERIFY(service.listen(QHostAddress::LocalHost, 0));
        const Exchange ex =
            exchange(service.port(), suggestionRequest(QStringLiteral("h"), QStringLiteral("x")));
        QCOMPARE(int(suggestOutcome(QString::fromUtf8(ex.reply))), int(SuggestOutcome::Refused));
    }

    void boundsAndUnknownPaths_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("status");
        QTest::newRow("unknown path") << QByteArray("GET /index.html HTTP/1.0\r\n\r\n") << QByteArray("404");
        QTest::newRow("too large") << (QByteArray("GET /") + QByteArray(300 * 1024, 'a'))
                                   << QByteArray("413");
    }
    void boundsAndUnknownPaths()
    {
        QFETCH(QByteArray, request);
        VendorServiceConfig config;
        config.databasePath = dir.filePath(QStringLiteral("b.db"));
        VendorService service(config);
        QVERIFY(service.listen(QHostAddress::LocalHost, 0));
        const Exchange ex = exchange(service.port(), request);
        QFETCH(QByteArray, status);
        QVERIFY2(ex.reply.startsWith("HTTP/1.0 " + status), ex.reply.left(40).constData());
    }

    void idleConnectionIsDropped()
    {
        VendorServiceConfig config;
        config.databasePath = dir.filePath(QStringLiteral("t.db"));
        config.connectionTimeoutMs = 200;
        VendorService service(config);
        QVERIFY(service.listen(QHostAddress::LocalHost, 0));
        const Exchange ex = exchange(service.port(), "GET /Realisation", 3000);
        QVERIFY(ex.reply.isEmpty());
        QVERIFY(ex.closed || !ex.error.isEmpty());
    }

    void refusedPortIsAnError()
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        const quint16 port = probe.serverPort();
        probe.close();
        const Exchange ex = exchange(port, "x");
        QVERIFY(!ex.error.isEmpty());
        QVERIFY(!ex.closed);
    }

    void resetConnectionEndsTheExchange()
    {
        QTcpServer resetter;
        QVERIFY(resetter.listen(QHostAddress::LocalHost, 0));
        connect(&resetter, &QTcpServer::newConnection, this, [&] {
            QTcpSocket* s = resetter.nextPendingConnection();
            connect(s, &QTcpSocket::readyRead, s, [s] {
                s->write("FIN=1");
                s->abort();
            });
        });
        const Exchange ex = exchange(resetter.serverPort(), versionRequest(QStringLiteral("h")), 3000);
        QVERIFY(ex.closed || !ex.error.isEmpty());
    }

    void replyBufferIsBounded()
    {
        ReplyBuffer b(10);
        QVERIFY(b.append("12345"));
        QVERIFY(!b.append("123456"));
        QVERIFY(b.overflowed());
        QVERIFY(b.isEmpty());
        QVERIFY(!b.append("1"));
        b.clear();
        QVERIFY(b.append("1"));
    }
};

QTEST_GUILESS_MAIN(TestVendorService)
#include "tst_vendor_service.moc"
