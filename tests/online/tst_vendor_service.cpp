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

// The same through a service of its own, with a database in the test's folder.
Exchange serve(VendorServiceConfig config, const QByteArray& request, int timeoutMs = 5000)
{
    VendorService service(config);
    return service.listen(QHostAddress::LocalHost, 0) ? exchange(service.port(), request, timeoutMs)
                                                      : Exchange{{}, false, QStringLiteral("no service")};
}

} // namespace

class TestVendorService : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    VendorServiceConfig config(const char* database)
    {
        VendorServiceConfig c;
        c.databasePath = dir.filePath(QLatin1String(database));
        return c;
    }

private slots:
    void versionServiceAnswersInTheProgramsFormat()
    {
        VendorServiceConfig c = config("v.db");
        c.announcedVersion = QStringLiteral("1.2");
        c.information = QString::fromUtf8("Nouvelle\nversion améliorée");
        const Exchange ex = serve(c, versionRequest(QStringLiteral("127.0.0.1:1")));
        QVERIFY(ex.closed);
        QVERIFY2(ex.error.isEmpty(), qPrintable(ex.error)); // the close is no error
        const UpdateDecision d = decideUpdate(fromAnsi(ex.reply), ProgramVersion{1, 1, 0});
        QCOMPARE(int(d.kind), int(UpdateDecision::Mandatory));
        QCOMPARE(d.newVersion, QStringLiteral("1.2"));
        QCOMPARE(d.information, QString::fromUtf8("Nouvelle\r\nversion améliorée"));
    }

    void suggestionIsStoredDecoded()
    {
        const VendorServiceConfig c = config("s.db");
        const QString message =
            QString::fromUtf8("Le 5 décembre 2026  a  14 5\r\n\r\nNom : Jean    Email : \r\n\r\n"
                              "100% d'accord & merci");
        const Exchange ex = serve(c, suggestionRequest(QStringLiteral("h"), encodeMessage(message)));
        QCOMPARE(int(suggestOutcome(QString::fromUtf8(ex.reply))), int(SuggestOutcome::Sent));
        QCOMPARE(MessageStore::messages(c.databasePath), QStringList{message});
        QCOMPARE(QFile::permissions(c.databasePath) & 0x0077, QFileDevice::Permissions());
        // Where it cannot store, it refuses.
        const Exchange refused = serve(config("missing/folder/s.db"), suggestionRequest("h", "x"));
        QCOMPARE(int(suggestOutcome(QString::fromUtf8(refused.reply))), int(SuggestOutcome::Refused));
    }

    void boundsUnknownPathsAndIdleConnections()
    {
        Exchange ex = serve(config("b.db"), "GET /index.html HTTP/1.0\r\n\r\n");
        QVERIFY2(ex.reply.startsWith("HTTP/1.0 404"), ex.reply.left(40).constData());
        ex = serve(config("b.db"), QByteArray("GET /") + QByteArray(300 * 1024, 'a'));
        QVERIFY2(ex.reply.startsWith("HTTP/1.0 413"), ex.reply.left(40).constData());
        VendorServiceConfig c = config("t.db");
        c.connectionTimeoutMs = 200;
        ex = serve(c, "GET /Realisation", 3000);
        QVERIFY(ex.reply.isEmpty());
        QVERIFY(ex.closed || !ex.error.isEmpty());
    }

    void clientEndsOnRefusalAndReset()
    {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        const quint16 port = server.serverPort();
        server.close();
        Exchange ex = exchange(port, "x");
        QVERIFY(!ex.error.isEmpty() && !ex.closed);
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        connect(&server, &QTcpServer::newConnection, this, [&] {
            QTcpSocket* s = server.nextPendingConnection();
            connect(s, &QTcpSocket::readyRead, s, [s] {
                s->write("FIN=1");
                s->abort();
            });
        });
        ex = exchange(server.serverPort(), versionRequest(QStringLiteral("h")), 3000);
        QVERIFY(ex.closed || !ex.error.isEmpty());
    }

    void replyBufferIsBounded()
    {
        ReplyBuffer b(10);
        QVERIFY(b.append("12345"));
        QVERIFY(!b.append("123456"));
        QVERIFY(b.overflowed() && b.isEmpty());
        QVERIFY(!b.append("1"));
        b.clear();
        QVERIFY(b.append("1"));
    }
};

QTEST_GUILESS_MAIN(TestVendorService)
#include "tst_vendor_service.moc"
