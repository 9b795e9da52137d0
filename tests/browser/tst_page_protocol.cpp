// The pure parts the host and the program share: the browser's frames and the
// quoted reply.
#include "TestKit.h"
#include "platform/pageaddress/CompanionProtocol.h"
#include "platform/pageaddress/PageReply.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace kr;
using kr::test::textRow;
using namespace kr::companion;

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
    void decodesFrames_data()
    {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<int>("chunk"); // 0: all at once
        QTest::addColumn<QStringList>("urls");
        QTest::addColumn<int>("skipped");
        const QByteArray two = message("http://a.com/") + message("http://bob:pw@b.com/");
        const QStringList both{"http://a.com/", "http://b.com/"};
        QTest::newRow("good") << two << 0 << both << 0;
        QTest::newRow("split byte by byte") << two << 1 << both << 0;
        QTest::newRow("split in odd chunks") << two << 7 << both << 0;
        QTest::newRow("garbage") << encodeFrame("not json") + encodeFrame("[\"http://x.com/\"]") +
                                        encodeFrame("{\"url\":5}") + two
                                 << 0 << both << 0;
        QTest::newRow("oversize") << encodeFrame(QByteArray(int(kMaxFrameBytes) + 1, '{')) + two << 4096
                                  << both << 1;
    }
    void decodesFrames()
    {
        QFETCH(QByteArray, stream);
        QFETCH(int, chunk);
        QFETCH(QStringList, urls);
        QFETCH(int, skipped);
        const qsizetype step = chunk ? chunk : stream.size();
        FrameDecoder decoder;
        QStringList seen;
        for (qsizetype pos = 0; pos < stream.size(); pos += step) {
            decoder.feed(stream.mid(pos, step));
            for (const QByteArray& frame : decoder.takeFrames())
                if (const std::optional<PageState> page = parseBrowserMessage(frame))
                    seen << page->url;
        }
        QCOMPARE(seen, urls);
        QCOMPARE(decoder.skippedFrames(), skipped);
    }

    // The user information ends at the last "@" of the authority; both parts
    // are cut to their bounds.
    void answerAges_data()
    {
        QTest::addColumn<QByteArray>("age");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("zero") << QByteArray("0") << true;
        QTest::newRow("2^53") << QByteArray("9007199254740992") << true;
        QTest::newRow("beyond 2^53") << QByteArray("9007199254740994") << false;
        QTest::newRow("1e300") << QByteArray("1e300") << false;
        QTest::newRow("negative") << QByteArray("-1") << false;
    }
    // Found by fuzzing: a huge age was converted to an integer before any check.
    void answerAges()
    {
        QFETCH(QByteArray, age);
        QFETCH(bool, accepted);
        const std::optional<Answer> answer = parseAnswer(R"({"v":1,"state":"none","age_ms":)" + age + "}");
        QCOMPARE(bool(answer), accepted);
        if (accepted)
            QCOMPARE(answer->ageMs, qint64(age.toDouble()));
    }

    // Whatever the browser reports, only scheme and host are kept.
    void keepsOnlySchemeAndHost_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("origin");
        textRow("path, query, fragment",
                {"https://www.bank.fr/login?otp=123456#t=x", "https://www.bank.fr/"});
        textRow("port and credentials", {"http://u:p@host:8080/a", "http://host:8080/"});
        textRow("no path", {"http://host", "http://host/"});
        textRow("query right after host", {"http://host?x=/y", "http://host/"});
        textRow("local file", {"file:///home/u/x.html", "file:///"});
        textRow("no authority", {"about:blank", "about:"});
    }
    void keepsOnlySchemeAndHost()
    {
        QFETCH(QString, address);
        QFETCH(QString, origin);
        QCOMPARE(page::siteOrigin(address), origin);
        const std::optional<PageState> state = parseBrowserMessage(
            QJsonDocument(QJsonObject{{"url", address}, {"title", "Mon compte"}}).toJson());
        QVERIFY(state);
        QCOMPARE(state->url, origin);
        QVERIFY(state->title.isEmpty());
    }

    void quotesTheReply_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, const QString& address, const QString& title,
                            const QString& expected) { QTest::newRow(name) << address << title << expected; };
        row("@ in the password", "http://bob:p@w@a.com", "t", "\"http://a.com\",\"t\"");
        row("@ after the host", "http://a.com/u@x?to=u@y", "t", "\"http://a.com/u@x?to=u@y\",\"t\"");
        row("huge", "http://u:p@a.com/" + QString(100000, u'p'), QString(100000, u'T'),
            "\"http://a.com/" + QString(page::kMaxAddressChars - 13, u'p') + "\",\"" +
                QString(page::kMaxTitleChars, u'T') + '"');
    }
    void quotesTheReply()
    {
        QFETCH(QString, address);
        QFETCH(QString, title);
        QFETCH(QString, expected);
        QCOMPARE(page::quotedReply(address, title), expected);
    }
};

QTEST_GUILESS_MAIN(PageProtocolTest)
#include "tst_page_protocol.moc"
