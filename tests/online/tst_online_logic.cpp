// The online services' text work: the vendor setting, both requests byte for
// byte, the version decision, the send-time filter and the encoding.
#include "online/ReplyBuffer.h"
#include "online/SuggestText.h"
#include "online/UpdateCheck.h"
#include "online/VendorAddress.h"

#include <QtTest>

using namespace kr;

namespace {
const ProgramVersion kOwn{1, 1, 0};
}

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
            {"HTTP/1.0 200 OK\r\n\r\nVer=1.1=EndVer Info=x=EndInfo FIN=1=FIN", UpdateDecision::Current},
            {"FIN=1=FIN junk Info=Ligne 1\r\nLigne 2=EndInfo Ver=1.2=EndVer", mandatory, "1.2",
             "Ligne 1\r\nLigne 2"},
            {"Ver=1.2=EndVer fin=1=fin", unusable},
            {"Ver=1.2=EndVer FIN=01=FIN", unusable},
            {"Ver=1.2=EndVer FIN= 1=FIN", unusable},
            {"Ver=1.2=EndVer", unusable},
            {"FIN=1=FIN", mandatory},
            // The first occurrence wins, headers included.
            {"X-Note: Ver=2.0=EndVer\r\n\r\nVer=1.1=EndVer FIN=1=FIN FIN=0=FIN", mandatory, "2.0"},
            {QString::fromLatin1("\x01\x02\xff FIN=1=FIN\x7f Ver=1.1.5=EndVer"), UpdateDecision::Current}};
        for (const auto& r : rows) {
            const UpdateDecision d = decideUpdate(r.reply, kOwn);
            QCOMPARE(std::tuple(int(d.kind), d.newVersion, d.information), std::tuple(r.kind, r.version, r.info));
        }
    }

    void keyFilters()
    {
        const struct {
            QString chars;
            int code;
            bool passes;
        } rows[] = {
            {emailKeyChars(), 3, true},    {emailKeyChars(), 8, true},   {emailKeyChars(), 22, true},
            {emailKeyChars(), 24, true},   {emailKeyChars(), 26, true},  {nameKeyChars(), ',', true},
            {emailKeyChars(), ',', false}, {emailKeyChars(), '@', true}, {infoKeyChars(), '@', false},
            {infoKeyChars(), 13, true},    {emailKeyChars(), 13, false}, {infoKeyChars(), 0xE9, false},
            {nameKeyChars(), ':', false},  {infoKeyChars(), 1, false}};
        for (const auto& r : rows)
            QVERIFY2(keyPasses(r.code, r.chars) == r.passes, qPrintable(QString::number(r.code)));
    }

    void strForceChangeAndReplaceString()
    {
        const std::pair<QString, QString> filtered[] = {
            {"Super programme.", "Super programme."},
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
            {"MESS=send=ENDMESS", SuggestOutcome::Other},
            {"MESS=KO=ENDMESS MESS=SEND=ENDMESS", SuggestOutcome::Other}}; // the first field wins
        for (const auto& [reply, outcome] : rows)
            QCOMPARE(int(suggestOutcome(QString::fromLatin1(reply))), int(outcome));
    }

    // A reply past its bound is dropped whole, and so is all that follows until cleared.
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

QTEST_GUILESS_MAIN(TestOnlineLogic)
#include "tst_online_logic.moc"
