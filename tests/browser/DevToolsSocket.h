#pragma once
// The DevTools protocol with one target of a local browser, over Qt's
// WebSocket client: evaluate an expression there and read back its value.
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <QWebSocket>

#include <optional>

namespace kr::test {

class DevToolsSocket {
public:
    // webSocketDebuggerUrl of a target of the browser on 127.0.0.1.
    bool open(const QString& address)
    {
        QObject::connect(&m_socket, &QWebSocket::textMessageReceived, [this](const QString& message) {
            const QJsonObject reply = QJsonDocument::fromJson(message.toUtf8()).object();
            if (reply.value("id").toInt() == m_lastId)
                m_reply = reply.value("result").toObject();
        });
        m_socket.open(QUrl(address));
        return QTest::qWaitFor([this] { return m_socket.state() == QAbstractSocket::ConnectedState; }, 5000);
    }

    // The value of a JavaScript expression (promises awaited), or nothing when
    // it threw or no answer came.
    std::optional<QJsonValue> evaluate(const QString& expression, int timeoutMs = 10000)
    {
        const QJsonObject params{{"expression", expression}, {"awaitPromise", true}, {"returnByValue", true}};
        const QJsonObject call{{"id", ++m_lastId}, {"method", "Runtime.evaluate"}, {"params", params}};
        m_reply.reset();
        m_socket.sendTextMessage(QString::fromUtf8(QJsonDocument(call).toJson(QJsonDocument::Compact)));
        if (!QTest::qWaitFor([this] { return m_reply.has_value(); }, timeoutMs) ||
            m_reply->contains("exceptionDetails") || !m_reply->contains("result"))
            return std::nullopt;
        return m_reply->value("result").toObject().value("value");
    }

private:
    QWebSocket m_socket;
    std::optional<QJsonObject> m_reply;
    int m_lastId = 0;
};

} // namespace kr::test
