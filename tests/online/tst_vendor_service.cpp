// The reference vendor service on 127.0.0.1, reached through the program's own
// TCP client: replies, stored suggestions, bounds, and the client's events.
#include "MessageStore.h"
#include "VendorService.h"
#include "common/AnsiCodePage.h"
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
Exchange exchange(quint16 port, const QByteArray& request)
{
    Exchange ex;
    QtTcpClient client;
    client.setHandlers({[&] { client.write(request); }, [&] { ex.reply += client.readAll().value_or(""); },
                        [&] { ex.closed = true; }, [&](const QString& reason) { ex.error = reason; }});
    client.connectToHost(QStringLiteral("127.0.0.1"), port);
    QDeadlineTimer deadline(5000);
    while (!ex.closed && ex.error.isEmpty() && !deadline.hasExpired())
        QTest::qWait(10);
    return ex;
}

int outcomeOf(const Exchange& ex)
{
    return int(suggestOutcome(fromAnsi(ex.reply)));
}

} // namespace

class TestVendorService : public QObject {
    Q_OBJECT

private slots:
    void serviceAnswers()
    {
        QTemporaryDir dir;
        VendorServiceConfig c;
        c.databasePath = dir.filePath(QStringLiteral("s.db"));
        c.announcedVersion = QStringLiteral("1.2");
        c.information = QString::fromUtf8("Nouvelle\nversion améliorée");
        c.connectionTimeoutMs = 1500;
        VendorService service(c);
        QVERIFY(service.listen(QHostAddress::LocalHost, 0));
        Exchange ex = exchange(service.port(), versionRequest(QStringLiteral("127.0.0.1:1")));
        QVERIFY2(ex.closed && ex.error.isEmpty(), qPrintable(ex.error)); // the close is no error
        const UpdateDecision d = decideUpdate(fromAnsi(ex.reply), ProgramVersion{1, 1, 0});
        QCOMPARE(int(d.kind), int(UpdateDecision::Mandatory));
        QCOMPARE(d.newVersion, QStringLiteral("1.2"));
        QCOMPARE(d.information, QString::fromUtf8("Nouvelle\r\nversion améliorée"));
        // A suggestion is stored decoded, in a file for the owner only.
        const QString message = QString::fromUtf8("Le 5 décembre 2026  a  14 5\r\n\r\nNom : Jean    Email : "
                                                  "\r\n\r\n100% d'accord & merci");
        ex = exchange(service.port(), suggestionRequest(QStringLiteral("h"), encodeMessage(message)));
        QCOMPARE(outcomeOf(ex), int(SuggestOutcome::Sent));
        QCOMPARE(MessageStore::messages(c.databasePath), QStringList{message});
        QCOMPARE(QFile::permissions(c.databasePath) & 0x0077, QFileDevice::Permissions());
        // Unknown paths, oversized requests, idle connections: each ends with its status or none.
        const std::pair<QByteArray, QByteArray> rows[] = {
            {"GET /index.html HTTP/1.0\r\n\r\n", "HTTP/1.0 404"},
            {"GET /" + QByteArray(300 * 1024, 'a'), "HTTP/1.0 413"},
            {"GET /Realisation", ""}};
        for (const auto& [request, status] : rows) {
            ex = exchange(service.port(), request);
            QCOMPARE(ex.reply.left(12), status);
            QVERIFY(ex.closed || !ex.error.isEmpty());
        }
        // Where it cannot store, it refuses.
        c.databasePath = dir.filePath(QStringLiteral("missing/folder/s.db"));
        VendorService homeless(c);
        QVERIFY(homeless.listen(QHostAddress::LocalHost, 0));
        QCOMPARE(outcomeOf(exchange(homeless.port(), suggestionRequest("h", "x"))), int(SuggestOutcome::Refused));
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
        ex = exchange(server.serverPort(), versionRequest(QStringLiteral("h")));
        QVERIFY(ex.closed || !ex.error.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestVendorService)
#include "tst_vendor_service.moc"
