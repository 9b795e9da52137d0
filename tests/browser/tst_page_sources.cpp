// The opt-in DevTools source against a stand-in endpoint on 127.0.0.1, and
// how BrowserPageAddress combines its sources.
#include "PageAddressDouble.h"
#include "ScriptedServer.h"
#include "platform/pageaddress/BrowserPageAddress.h"
#include "platform/pageaddress/DevToolsPageAddress.h"

#include <QElapsedTimer>
#include <QTest>

using namespace kr;
using namespace kr::test;

class PageSourcesTest : public QObject {
    Q_OBJECT
private slots:
    // Like Chromium, the stand-in ignores HTTP/1.0 and HTML-escapes titles.
    void readsTheFirstPage_data() {
        QTest::addColumn<QByteArray>("response"); // empty: silent
        QTest::addColumn<QString>("expected");
        const QByteArray list =
            "[{\"type\":\"service_worker\",\"url\":\"chrome-extension://x/sw.js\"},"
            "{\"type\":\"page\",\"url\":\"http://bob:pw@www.a.com/login\","
            "\"title\":\"&lt;b&gt; &amp; &quot;q&quot; &#39;s &amp;amp;\"},"
            "{\"type\":\"page\",\"url\":\"http://older.com/\",\"title\":\"Older\"}]";
        QTest::newRow("first page") << httpResponse("200 OK", list)
                                    << "\"http://www.a.com/login\",\"<b> & \"\"q\"\" 's &amp;\"";
        QTest::newRow("no page") << httpResponse("200 OK", "[{\"type\":\"iframe\",\"url\":\"x\"}]")
                                 << "";
        QTest::newRow("not json") << httpResponse("200 OK", "<html>") << "";
        QTest::newRow("not found") << httpResponse("404 Not Found", list) << "";
        QTest::newRow("cut short") << httpResponse("200 OK", list).chopped(20) << "";
        QTest::newRow("not http") << QByteArray("SSH-2.0-OpenSSH\r\n\r\n") << "";
        QTest::newRow("silent") << QByteArray() << "";
    }
    void readsTheFirstPage() {
        QFETCH(QByteArray, response);
        QFETCH(QString, expected);
        ScriptedServer endpoint(
            [&](const QByteArray& request) -> std::optional<QByteArray> {
                if (response.isEmpty()) {
                    return std::nullopt;
                }
                const bool asked = request.startsWith("GET /json/list HTTP/1.1\r\n") &&
                                   request.contains("\r\nHost: 127.0.0.1:");
                return asked ? response : QByteArray();
            },
            {});
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(DevToolsPageAddress(endpoint.port()).request(1000).value_or(""), expected);
        QVERIFY(timer.elapsed() < 3000);
    }

    void nothingListening() {
        const quint16 closedPort = ScriptedServer({}).port();
        QVERIFY(!DevToolsPageAddress(closedPort).request(1000));
    }

    void portSetting_data() {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<int>("port"); // 0: not configured
        QTest::newRow("port") << QByteArray(" 9222 ") << 9222;
        QTest::newRow("empty") << QByteArray("") << 0;
        QTest::newRow("zero") << QByteArray("0") << 0;
        QTest::newRow("too big") << QByteArray("65536") << 0;
        QTest::newRow("not a number") << QByteArray("localhost:9222") << 0;
    }
    void portSetting() {
        QFETCH(QByteArray, value);
        QFETCH(int, port);
        qputenv("KEYROVIA_DEVTOOLS_PORT", value);
        QCOMPARE(int(DevToolsPageAddress::configuredPort().value_or(0)), port);
        qunsetenv("KEYROVIA_DEVTOOLS_PORT");
    }

    void companionFirstThenDevTools_data() {
        QTest::addColumn<QString>("companion"); // empty: no answer
        QTest::addColumn<QString>("devTools");  // empty: no answer; "-": not configured
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("devToolsAsked");
        QTest::newRow("companion answers") << "\"c\""
                                           << "\"d\""
                                           << "\"c\"" << 0;
        QTest::newRow("falls back") << ""
                                    << "\"d\""
                                    << "\"d\"" << 1;
        QTest::newRow("neither") << ""
                                 << ""
                                 << "" << 1;
        QTest::newRow("not configured") << ""
                                        << "-"
                                        << "" << 0;
    }
    void companionFirstThenDevTools() {
        QFETCH(QString, companion);
        QFETCH(QString, devTools);
        QFETCH(QString, expected);
        QFETCH(int, devToolsAsked);
        auto first = std::make_unique<ScriptedPageAddress>();
        auto second = std::make_unique<ScriptedPageAddress>();
        first->push(companion.isEmpty() ? std::nullopt : std::optional(companion));
        second->push(devTools.isEmpty() ? std::nullopt : std::optional(devTools));
        ScriptedPageAddress& firstSeen = *first;
        ScriptedPageAddress& secondSeen = *second;
        BrowserPageAddress browser(std::move(first), devTools == "-" ? nullptr : std::move(second));
        QCOMPARE(browser.request(5000).value_or(""), expected);
        QVERIFY(firstSeen.requests() == 1 && firstSeen.timeouts[0] <= 5000);
        if (devTools != "-") {
            QCOMPARE(secondSeen.requests(), devToolsAsked);
            // Together they stay within the one time-out.
            QVERIFY(secondSeen.timeouts.value(0, 1) > 0 && secondSeen.timeouts.value(0) <= 5000);
        }
    }
};

QTEST_GUILESS_MAIN(PageSourcesTest)
#include "tst_page_sources.moc"
