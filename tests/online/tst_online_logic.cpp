// The online services' text work: the vendor setting, both requests byte for
// byte, the version decision, the send-time filter and the encoding; and the
// reference vendor service on 127.0.0.1, reached through the program's own TCP
// client: replies, stored suggestions, bounds, and the client's events.
#include "MessageStore.h"
#include "VendorService.h"
#include "common/AnsiCodePage.h"
#include "online/SuggestText.h"
#include "online/UpdateCheck.h"
#include "online/VendorAddress.h"
#include "platform/QtTcpClient.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace kr;

namespace {

const ProgramVersion kOwn{1, 1, 0};

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

class TestOnlineLogic : public QObject {
    Q_OBJECT

private slots:
    void vendorSetting()
    {
        const std::tuple<QString, QString, int, QString> rows[] = {
            {"Quillmark.Example", "Quillmark.Example", 80, "quillmark.example"},
            {"127.0.0.1:8123", "127.0.0.1", 8123, "127.0.0.1:8123"},
            {"host:99999", "host:99999", 80, "host:99999"},
            {"::1", "::1", 80, "::1"}};
        for (const auto& [setting, host, port, urlHost] : rows) {
            const VendorAddress a = parseVendorAddress(setting);
            QCOMPARE(std::tuple(a.host, int(a.port), a.urlHost), std::tuple(host, port, urlHost));
        }
    }

    void replyDecision()
    {
        for (const char* v : {"1.1", "1.10", "1.1.9", "1.1.7"})
            QVERIFY2(isCurrentVersion(QString::fromLatin1(v), kOwn), v);
        for (const char* v : {"1.2", "2.0", "1.0", "1", "", " 1.1"})
            QVERIFY2(!isCurrentVersion(QString::fromLatin1(v), kOwn), v);
        const int mandatory = UpdateDecision::Mandatory;
        const int unusable = UpdateDecision::Unusable;
        const struct {
            QString reply;
            int kind;
            QString version = {}, info = {};
        } rows[] = {
            {"", UpdateDecision::NoReply},
            {"Ver=1.2=EndVer FIN=01=FIN", unusable},
            {"Ver=1.2=EndVer", unusable},
            {"FIN=1=FIN", mandatory},
            // The first occurrence wins, headers included.
            {"X-Note: Ver=2.0=EndVer\r\n\r\nVer=1.1=EndVer FIN=1=FIN FIN=0=FIN", mandatory, "2.0"},
            {QString::fromLatin1("\x01\x02\xff FIN=1=FIN\x7f Ver=1.1.5=EndVer"), UpdateDecision::Current}};
        for (const auto& r : rows) {
            const UpdateDecision d = decideUpdate(r.reply, kOwn);
            QCOMPARE(std::tuple(int(d.kind), d.newVersion, d.information),
                     std::tuple(r.kind, r.version, r.info));
        }
    }

    // Copy, backspace, paste, cut and undo pass every box, Enter only the message;
    // which characters each box takes is seen on the window.
    void keyFilters()
    {
        for (const int code : {3, 8, 22, 24, 26})
            QVERIFY2(keyPasses(code, emailKeyChars()), qPrintable(QString::number(code)));
        QVERIFY(keyPasses(13, infoKeyChars()));
        QVERIFY(!keyPasses(13, emailKeyChars()));
        QVERIFY(!keyPasses(1, infoKeyChars()));
    }

    void strForceChangeAndReplaceString()
    {
        const std::pair<QString, QString> filtered[] = {
            {"Bien, merci", "Bien merci"},
            {QString::fromUtf8("été: 100% @home!"), "t 100 home"},
            {"a\r\nb", "a\r\nb"},
            {"Nom : Jean    Email : j@x.fr\r\n\r\nTexte", "Nom  Jean    Email  jx.fr\r\n\r\nTexte"}};
        for (const auto& [in, out] : filtered) {
            QString s = in;
            QCOMPARE(StrForceChange(s), out);
            QCOMPARE(s, out);
        }
        QCOMPARE(ReplaceString("a b  c", " ", "%20"), "a%20b%20%20c");
        QCOMPARE(ReplaceString("a\r\n\r\nb\rc\nd", "\r\n", "%0D%0A"), "a%0D%0A%0D%0Ab\rc\nd");
        QCOMPARE(ReplaceString("aab", "ab", "b"), "b"); // searching again from the start finds the joint
        QCOMPARE(ReplaceString("x", "x", "xx"), "xx");
    }

    // Both requests, byte for byte: the host in lower case, one byte per
    // character in the Latin ANSI code page ("d\xe9cembre"), no leading zeros.
    void requests()
    {
        QCOMPARE(versionRequest(QStringLiteral("Quillmark.EXAMPLE:8080")),
                 QByteArray("GET http://quillmark.example:8080/Realisation/Keyrovia/Verssion.php HTTP/1.0\r\n"
                            "Accept: */*\r\nAccept: text/html\r\n\r\n"));
        const QString box =
            withHeaderLine(QStringLiteral("Jean"), QString(), QStringLiteral("Super programme"));
        const QString message = datedMessage(QDateTime(QDate(2026, 12, 5), QTime(14, 5, 33)),
                                             QLocale(QLocale::French, QLocale::France), box);
        QCOMPARE(suggestionRequest(QStringLiteral("Quillmark.Example"), encodeMessage(message)),
                 QByteArray("POST http://quillmark.example/Realisation/Keyrovia/Suggestion.php?Mess="
                            "Le%205%20d\xe9"
                            "cembre%202026%20%20a%20%2014%205%0D%0A%0D%0ANom%20:%20"
                            "Jean%20%20%20%20Email%20:%20%0D%0A%0D%0ASuper%20programme"
                            " HTTP/1.0\r\nAccept: */*\r\nAccept: text/html\r\n\r\n"));
        QCOMPARE(datedMessage(QDateTime(QDate(2027, 1, 3), QTime(0, 7)), QLocale(QLocale::English), "x"),
                 QStringLiteral("Le 3 January 2027  a  0 7\r\n\r\nx"));
    }

    void suggestionOutcome()
    {
        const std::pair<const char*, SuggestOutcome> rows[] = {
            {"", SuggestOutcome::Empty},
            {"HTTP/1.0 200 OK\r\n\r\nMESS=SEND=ENDMESS", SuggestOutcome::Sent},
            {"MESS=ECHEC=ENDMESS", SuggestOutcome::Refused},
            {"HTTP/1.0 500 Oops", SuggestOutcome::Other},
            {"MESS=KO=ENDMESS MESS=SEND=ENDMESS", SuggestOutcome::Other}}; // the first field wins
        for (const auto& [reply, outcome] : rows)
            QCOMPARE(int(suggestOutcome(QString::fromLatin1(reply))), int(outcome));
    }

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
        const UpdateDecision d = decideUpdate(fromAnsi(ex.reply), kOwn); // read as the program reads it
        QCOMPARE(std::tuple(d.newVersion, d.information),
                 std::tuple("1.2", QString::fromUtf8("Nouvelle\r\nversion améliorée")));
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
        QCOMPARE(outcomeOf(exchange(homeless.port(), suggestionRequest("h", "x"))),
                 int(SuggestOutcome::Refused));
    }

    void clientReportsRefusal()
    {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        const quint16 port = server.serverPort();
        server.close();
        const Exchange ex = exchange(port, "x");
        QVERIFY(!ex.error.isEmpty() && !ex.closed);
    }
};

QTEST_GUILESS_MAIN(TestOnlineLogic)
#include "tst_online_logic.moc"
