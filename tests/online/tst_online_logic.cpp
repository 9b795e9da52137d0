// The online services' text work: the vendor setting, both requests byte for
// byte, the version decision, the send-time filter and the encoding.
#include "TestKit.h"
#include "online/SuggestText.h"
#include "online/UpdateCheck.h"
#include "online/VendorAddress.h"

#include <QtTest>

using namespace kr;
using kr::test::textRow;

namespace {
const ProgramVersion kOwn{1, 1, 0};
}

class TestOnlineLogic : public QObject {
    Q_OBJECT

private slots:
    void vendorSetting_data()
    {
        QTest::addColumn<QString>("setting");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("urlHost");
        QTest::newRow("plain") << "Quillmark.Example"
                               << "Quillmark.Example" << 80 << "quillmark.example";
        QTest::newRow("port") << "127.0.0.1:8123"
                              << "127.0.0.1" << 8123 << "127.0.0.1:8123";
        QTest::newRow("bad port") << "host:99999"
                                  << "host:99999" << 80 << "host:99999";
        QTest::newRow("ipv6") << "::1"
                              << "::1" << 80 << "::1";
    }
    void vendorSetting()
    {
        QFETCH(QString, setting);
        const VendorAddress a = parseVendorAddress(setting);
        QTEST(a.host, "host");
        QTEST(int(a.port), "port");
        QTEST(a.urlHost, "urlHost");
    }

    void versionRequestBytes()
    {
        QCOMPARE(versionRequest(QStringLiteral("Quillmark.EXAMPLE:8080")),
                 QByteArray("GET http://quillmark.example:8080/Realisation/Keyrovia/Verssion.php HTTP/1.0\r\n"
                            "Accept: */*\r\nAccept: text/html\r\n\r\n"));
    }

    void versionComparison_data()
    {
        QTest::addColumn<QString>("announced");
        QTest::addColumn<bool>("current");
        for (const char* v : {"1.1", "1.10", "1.1.9", "1.1.7"})
            QTest::newRow(v) << QString::fromLatin1(v) << true;
        for (const char* v : {"1.2", "2.0", "1.0", "1", "", " 1.1"})
            QTest::newRow(v[0] ? v : "empty") << QString::fromLatin1(v) << false;
    }
    void versionComparison()
    {
        QFETCH(QString, announced);
        QTEST(isCurrentVersion(announced, kOwn), "current");
    }

    void replyDecision_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("newVersion");
        QTest::addColumn<QString>("info");
        const auto row = [](const char* name, const QString& reply, int kind, const QString& version = "",
                            const QString& info = "") {
            QTest::newRow(name) << reply << kind << version << info;
        };
        const int mandatory = UpdateDecision::Mandatory;
        const int unusable = UpdateDecision::Unusable;
        row("empty", "", UpdateDecision::NoReply);
        row("current", "HTTP/1.0 200 OK\r\n\r\nVer=1.1=EndVer Info=x=EndInfo FIN=1=FIN",
            UpdateDecision::Current);
        row("newer, fields in any order", "FIN=1=FIN junk Info=Ligne 1\r\nLigne 2=EndInfo Ver=1.2=EndVer",
            mandatory, "1.2", "Ligne 1\r\nLigne 2");
        row("lower-case end mark", "Ver=1.2=EndVer fin=1=fin", unusable);
        row("end mark 01", "Ver=1.2=EndVer FIN=01=FIN", unusable);
        row("end mark blank 1", "Ver=1.2=EndVer FIN= 1=FIN", unusable);
        row("no end mark", "Ver=1.2=EndVer", unusable);
        row("no Ver field", "FIN=1=FIN", mandatory);
        row("first occurrence wins, headers included",
            "X-Note: Ver=2.0=EndVer\r\n\r\nVer=1.1=EndVer FIN=1=FIN FIN=0=FIN", mandatory, "2.0");
        row("binary junk", QString::fromLatin1("\x01\x02\xff FIN=1=FIN\x7f Ver=1.1.5=EndVer"),
            UpdateDecision::Current);
    }
    void replyDecision()
    {
        QFETCH(QString, reply);
        const UpdateDecision d = decideUpdate(reply, kOwn);
        QTEST(int(d.kind), "kind");
        QTEST(d.newVersion, "newVersion");
        QTEST(d.information, "info");
    }

    void keyFilters_data()
    {
        QTest::addColumn<QString>("set");
        QTest::addColumn<int>("code");
        QTest::addColumn<bool>("passes");
        for (int code : {3, 8, 22, 24, 26})
            QTest::addRow("control %d in e-mail", code) << "email" << code << true;
        QTest::newRow("comma in name") << "name" << int(',') << true;
        QTest::newRow("comma in e-mail") << "email" << int(',') << false;
        QTest::newRow("at in e-mail") << "email" << int('@') << true;
        QTest::newRow("at in message") << "info" << int('@') << false;
        QTest::newRow("Enter in message") << "info" << 13 << true;
        QTest::newRow("Enter in e-mail") << "email" << 13 << false;
        QTest::newRow("accent in message") << "info" << int(0xE9) << false;
        QTest::newRow("colon in name") << "name" << int(':') << false;
        QTest::newRow("Ctrl+A in message") << "info" << 1 << false;
    }
    void keyFilters()
    {
        QFETCH(QString, set);
        QFETCH(int, code);
        const QString chars = set == QLatin1String("name")    ? nameKeyChars()
                              : set == QLatin1String("email") ? emailKeyChars()
                                                              : infoKeyChars();
        QTEST(keyPasses(code, chars), "passes");
    }

    void strForceChange_data()
    {
        QTest::addColumn<QString>("in");
        QTest::addColumn<QString>("out");
        textRow("clean", {"Super programme.", "Super programme."});
        textRow("comma removed", {"Bien, merci", "Bien merci"});
        textRow("accents and symbols", {QString::fromUtf8("été: 100% @home!"), "t 100 home"});
        textRow("line breaks kept", {"a\r\nb", "a\r\nb"});
        textRow("second header line",
                {"Nom : Jean    Email : j@x.fr\r\n\r\nTexte", "Nom  Jean    Email  jx.fr\r\n\r\nTexte"});
    }
    void strForceChange()
    {
        QFETCH(QString, in);
        QString s = in;
        const QString returned = StrForceChange(s);
        QTEST(s, "out");
        QCOMPARE(returned, s);
    }

    void replaceString_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("search");
        QTest::addColumn<QString>("replacement");
        QTest::addColumn<QString>("out");
        textRow("blanks", {"a b  c", " ", "%20", "a%20b%20%20c"});
        textRow("CRLF", {"a\r\n\r\nb\rc\nd", "\r\n", "%0D%0A", "a%0D%0A%0D%0Ab\rc\nd"});
        // Searching again from the start finds what a joint makes.
        textRow("joint", {"aab", "ab", "b", "b"});
        textRow("self containing ends", {"x", "x", "xx", "xx"});
    }
    void replaceString()
    {
        QFETCH(QString, target);
        QFETCH(QString, search);
        QFETCH(QString, replacement);
        QTEST(ReplaceString(target, search, replacement), "out");
    }

    void workedExample()
    {
        const QString box =
            withHeaderLine(QStringLiteral("Jean"), QString(), QStringLiteral("Super programme"));
        const QString message = datedMessage(QDateTime(QDate(2026, 12, 5), QTime(14, 5, 33)),
                                             QLocale(QLocale::French, QLocale::France), box);
        const QString expected =
            QString::fromUtf8("Le%205%20décembre%202026%20%20a%20%2014%205%0D%0A%0D%0ANom%20:%20"
                              "Jean%20%20%20%20Email%20:%20%0D%0A%0D%0ASuper%20programme");
        QCOMPARE(encodeMessage(message), expected);
        // One byte per character in the Latin ANSI code page: "d\xe9cembre".
        QCOMPARE(suggestionRequest(QStringLiteral("Quillmark.Example"), expected),
                 QByteArray("POST http://quillmark.example/Realisation/Keyrovia/Suggestion.php?Mess="
                            "Le%205%20d\xe9"
                            "cembre%202026%20%20a%20%2014%205%0D%0A%0D%0ANom%20:%20"
                            "Jean%20%20%20%20Email%20:%20%0D%0A%0D%0ASuper%20programme"
                            " HTTP/1.0\r\nAccept: */*\r\nAccept: text/html\r\n\r\n"));
    }

    void datedMessageHasNoLeadingZeros()
    {
        const QString m = datedMessage(QDateTime(QDate(2027, 1, 3), QTime(0, 7)), QLocale(QLocale::English),
                                       QStringLiteral("x"));
        QCOMPARE(m, QStringLiteral("Le 3 January 2027  a  0 7\r\n\r\nx"));
    }

    void suggestionOutcome_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<int>("outcome");
        QTest::newRow("empty") << "" << int(SuggestOutcome::Empty);
        QTest::newRow("send") << "HTTP/1.0 200 OK\r\n\r\nMESS=SEND=ENDMESS" << int(SuggestOutcome::Sent);
        QTest::newRow("echec") << "MESS=ECHEC=ENDMESS" << int(SuggestOutcome::Refused);
        QTest::newRow("no field") << "HTTP/1.0 500 Oops" << int(SuggestOutcome::Other);
        QTest::newRow("other value") << "MESS=send=ENDMESS" << int(SuggestOutcome::Other);
        QTest::newRow("first field wins")
            << "MESS=KO=ENDMESS MESS=SEND=ENDMESS" << int(SuggestOutcome::Other);
    }
    void suggestionOutcome()
    {
        QFETCH(QString, reply);
        QTEST(int(suggestOutcome(reply)), "outcome");
    }

    void longMessageStaysQuick()
    {
        // The longest message the window sends, every character a blank or a
        // stranger: the filter and the encoding must not take quadratic time.
        QString s(kMaxSuggestionChars, QLatin1Char(' '));
        QString junk(kMaxSuggestionChars, QChar(0xE9));
        QCOMPARE(StrForceChange(junk), QString());
        QCOMPARE(encodeMessage(s).size(), 3 * kMaxSuggestionChars);
    }
};

QTEST_GUILESS_MAIN(TestOnlineLogic)
#include "tst_online_logic.moc"
