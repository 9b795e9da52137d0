// The opt-in DevTools source against a stand-in endpoint on 127.0.0.1.
#include "ScriptedServer.h"
#include "platform/pageaddress/DevToolsPageAddress.h"

#include <QElapsedTimer>
#include <QTest>

using namespace kr;
using namespace kr::test;

class PageSourcesTest : public QObject {
    Q_OBJECT
private slots:
    // Like Chromium, the stand-in answers only GET /json/list over HTTP/1.1
    // and HTML-escapes titles. Only scheme and host come back, no title.
    void readsTheFirstPage()
    {
        const QByteArray list = R"([{"type":"service_worker","url":"chrome-extension://x/sw.js"},)"
                                R"({"type":"page","url":"http://bob:pw@www.a.com/login",)"
                                R"("title":"&lt;b&gt; &amp; &quot;q&quot; &#39;s &amp;amp;"},)"
                                R"({"type":"page","url":"http://older.com/","title":"Older"}])";
        for (const auto& [response, expected] :
             {std::pair<QByteArray, QString>{httpResponse("200 OK", list), "\"http://www.a.com/\",\"\""},
              {httpResponse("200 OK", R"([{"type":"iframe","url":"x"}])"), ""},
              {httpResponse("200 OK", "<html>"), ""},
              {QByteArray(), ""}}) { // silent
            ScriptedServer endpoint([&](const QByteArray& request) -> std::optional<QByteArray> {
                if (response.isNull())
                    return std::nullopt;
                const bool asked = request.startsWith("GET /json/list HTTP/1.1\r\n") &&
                                   request.contains("\r\nHost: 127.0.0.1:");
                return asked ? response : QByteArray();
            });
            QElapsedTimer timer;
            timer.start();
            QCOMPARE(DevToolsPageAddress(endpoint.port()).request(1000).value_or(""), expected);
            QVERIFY(timer.elapsed() < 3000);
        }
        const quint16 closedPort = ScriptedServer({}).port();
        QVERIFY(!DevToolsPageAddress(closedPort).request(1000));
    }
};

QTEST_GUILESS_MAIN(PageSourcesTest)
#include "tst_page_sources.moc"
