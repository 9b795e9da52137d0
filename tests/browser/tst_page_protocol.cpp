// The pure parts the host and the program share: credentials, the quoted
// reply, the browser's frames, and the extension's identity.
#include "platform/pageaddress/CompanionProtocol.h"
#include "platform/pageaddress/PageReply.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace kr;
using namespace kr::companion;

class PageProtocolTest : public QObject {
    Q_OBJECT
private slots:
    void stripsCredentials_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("expected");
        QTest::newRow("user and password") << "http://bob:pw@www.a.com/x"
                                           << "http://www.a.com/x";
        QTest::newRow("user, port") << "https://bob@a.com:8443/"
                                    << "https://a.com:8443/";
        QTest::newRow("@ in the password") << "http://bob:p@w@a.com/x"
                                           << "http://a.com/x";
        QTest::newRow("no path") << "http://bob:pw@a.com"
                                 << "http://a.com";
        QTest::newRow("@ in the path") << "http://a.com/u@x"
                                       << "http://a.com/u@x";
        QTest::newRow("@ in the query") << "http://a.com?to=u@x"
                                        << "http://a.com?to=u@x";
        QTest::newRow("no authority") << "mailto:bob@a.com"
                                      << "mailto:bob@a.com";
    }
    void stripsCredentials() {
        QFETCH(QString, address);
        QFETCH(QString, expected);
        QCOMPARE(page::withoutCredentials(address), expected);
    }

    void quotesTheReply_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain") << "http://www.a.com/login"
                               << "Log in"
                               << "\"http://www.a.com/login\",\"Log in\"";
        QTest::newRow("quotes in the title") << "https://a.com/"
                                             << "Say \"hi\""
                                             << "\"https://a.com/\",\"Say \"\"hi\"\"\"";
        QTest::newRow("quote in the address") << "http://a.com/a\"b"
                                              << "t"
                                              << "\"http://a.com/a%22b\",\"t\"";
        QTest::newRow("line breaks") << "http://a.com/\n"
                                     << "a\r\nb"
                                     << "\"http://a.com/%0A\",\"a  b\"";
        QTest::newRow("credentials") << "http://bob:pw@a.com/"
                                     << ""
                                     << "\"http://a.com/\",\"\"";
    }
    void quotesTheReply() {
        QFETCH(QString, address);
        QFETCH(QString, title);
        QFETCH(QString, expected);
        QCOMPARE(page::quotedReply(address, title), expected);
    }

    void boundsAddressAndTitle() {
        const QString reply = page::quotedReply("http://bob:pw@a.com/" + QString(100000, u'p'),
                                                QString(100000, u'T'));
        QCOMPARE(reply.size(), page::kMaxAddressChars + page::kMaxTitleChars + 5);
        QVERIFY(reply.startsWith("\"http://a.com/ppp"));
        // A cut never leaves half a surrogate pair behind.
        const QString emoji = QString(page::kMaxTitleChars - 1, u'x') + QString::fromUtf8("😀");
        QCOMPARE(page::cleanTitle(emoji).size(), page::kMaxTitleChars - 1);
    }

    void decodesFrames_data() {
        QTest::addColumn<int>("chunk"); // 0: all at once
        QTest::newRow("all at once") << 0;
        QTest::newRow("byte by byte") << 1;
        QTest::newRow("odd chunks") << 7;
    }
    void decodesFrames() {
        QFETCH(int, chunk);
        const QByteArray stream = encodeFrame("{\"url\":\"a\"}") + encodeFrame("") +
                                  encodeFrame(QByteArray(int(kMaxFrameBytes) + 1, 'x')) +
                                  encodeFrame("{\"url\":\"b\"}");
        FrameDecoder decoder;
        std::vector<QByteArray> frames;
        for (qsizetype pos = 0; pos < stream.size(); pos += chunk ? chunk : stream.size()) {
            decoder.feed(stream.mid(pos, chunk ? chunk : stream.size()));
            for (QByteArray& frame : decoder.takeFrames()) {
                frames.push_back(std::move(frame));
            }
        }
        // The oversize frame is skipped and the stream stays in step.
        const std::vector<QByteArray> expected{"{\"url\":\"a\"}", "", "{\"url\":\"b\"}"};
        QVERIFY(frames == expected);
        QCOMPARE(decoder.skippedFrames(), 1);
    }

    // The host manifests name the extension by the ID that Chromium derives
    // from the manifest's key, and the extension names the host.
    void extensionAndHostAgree() {
        QFile chromium(KEYROVIA_EXTENSION_SOURCE "/chromium/manifest.json");
        QFile firefox(KEYROVIA_EXTENSION_SOURCE "/firefox/manifest.json");
        QFile script(KEYROVIA_EXTENSION_SOURCE "/background.js");
        QVERIFY(chromium.open(QIODevice::ReadOnly) && firefox.open(QIODevice::ReadOnly) &&
                script.open(QIODevice::ReadOnly));
        const QByteArray key = QByteArray::fromBase64(
            QJsonDocument::fromJson(chromium.readAll())["key"].toString().toLatin1());
        QByteArray id = QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex().left(32);
        for (char& c : id) {
            c = char('a' + QByteArray("0123456789abcdef").indexOf(c));
        }
        QCOMPARE(id, QByteArray(kChromiumExtensionId));
        const QJsonDocument gecko = QJsonDocument::fromJson(firefox.readAll());
        QCOMPARE(gecko["browser_specific_settings"]["gecko"]["id"].toString(),
                 QString(kFirefoxExtensionId));
        QVERIFY(script.readAll().contains(QByteArray("'") + kHostName + "'"));
    }
};

QTEST_GUILESS_MAIN(PageProtocolTest)
#include "tst_page_protocol.moc"
