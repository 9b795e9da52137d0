// The pure parts the host and the program share (the browser's frames and the
// quoted reply), and the opt-in DevTools source against a stand-in endpoint.
#include "ScriptedServer.h"
#include "platform/pageaddress/CompanionProtocol.h"
#include "platform/pageaddress/DevToolsPageAddress.h"
#include "platform/pageaddress/PageReply.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace kr;
using namespace kr::companion;
using namespace kr::test;

namespace {

QByteArray message(const QString& url)
{
    return encodeFrame(QJsonDocument(QJsonObject{{"url", url}, {"title", "t"}}).toJson());
}

} // namespace

class PageProtocolTest : public QObject {
    Q_OBJECT
private slots:
    // The addresses of the pages the browser's byte stream reports, fed in chunks.
    void decodesFrames()
    {
        const QByteArray two = message("http://a.com/") + message("http://bob:pw@b.com/");
        const struct {
            QByteArray stream;
            int chunk; // 0: all at once
            int skipped;
        } rows[] = {
            {two, 0, 0},
            {two, 1, 0},
            {encodeFrame("not json") + encodeFrame("[\"http://x.com/\"]") + encodeFrame("{\"url\":5}") + two,
             0, 0},
            {encodeFrame(QByteArray(int(kMaxFrameBytes) + 1, '{')) + two, 4096, 1}};
        for (const auto& r : rows) {
            const qsizetype step = r.chunk ? r.chunk : r.stream.size();
            FrameDecoder decoder;
            QStringList seen;
            for (qsizetype pos = 0; pos < r.stream.size(); pos += step) {
                decoder.feed(r.stream.mid(pos, step));
                for (const QByteArray& frame : decoder.takeFrames())
                    if (const std::optional<PageState> page = parseBrowserMessage(frame))
                        seen << page->url;
            }
            QCOMPARE(seen, QStringList({"http://a.com/", "http://b.com/"}));
            QCOMPARE(decoder.skippedFrames(), r.skipped);
        }
    }

    // Found by fuzzing: a huge age was converted to an integer before any check.
    void answerAges()
    {
        for (const auto& [age, accepted] : {std::pair<QByteArray, bool>{"0", true},
                                            {"9007199254740992", true}, // 2^53
                                            {"9007199254740994", false},
                                            {"1e300", false},
                                            {"-1", false}}) {
            const std::optional<Answer> answer =
                parseAnswer(R"({"v":1,"state":"none","age_ms":)" + age + "}");
            QCOMPARE(bool(answer), accepted);
            QCOMPARE(answer ? answer->ageMs : -1, accepted ? qint64(age.toDouble()) : -1);
        }
    }

    // Whatever the browser reports, only scheme and host are kept, never the title.
    void keepsOnlySchemeAndHost()
    {
        for (const auto& [address, origin] : {std::pair<QString, QString>{"http://host", "http://host/"},
                                              {"http://host?x=/y", "http://host/"},
                                              {"file:///home/u/x.html", "file:///"},
                                              {"about:blank", "about:"}})
            QCOMPARE(page::siteOrigin(address), origin);
        const std::optional<PageState> state = parseBrowserMessage(
            QJsonDocument(QJsonObject{{"url", "http://u:p@h:8/a"}, {"title", "T"}}).toJson());
        QVERIFY(state && state->url == "http://h:8/" && state->title.isEmpty());
    }

    // The user information ends at the last "@" of the authority; both parts
    // are cut to their bounds.
    void quotesTheReply()
    {
        QCOMPARE(page::quotedReply("http://bob:p@w@a.com", "t"), "\"http://a.com\",\"t\"");
        QCOMPARE(page::quotedReply("http://a.com/u@x?to=u@y", "t"), "\"http://a.com/u@x?to=u@y\",\"t\"");
        QCOMPARE(page::quotedReply("http://u:p@a.com/" + QString(100000, u'p'), QString(100000, u'T')),
                 "\"http://a.com/" + QString(page::kMaxAddressChars - 13, u'p') + "\",\"" +
                     QString(page::kMaxTitleChars, u'T') + '"');
    }

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

QTEST_GUILESS_MAIN(PageProtocolTest)
#include "tst_page_protocol.moc"
