#pragma once
// Just enough of a WebSocket client to speak the DevTools protocol with one
// target of a local browser: evaluate an expression there and read back its
// value. Blocking, for tests only.
#include <QByteArray>
#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <QUrl>

#include <optional>

namespace kr::test {

// The DevTools targets of the browser on 127.0.0.1:port (GET /json/list).
inline QJsonArray devToolsTargets(quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress(QHostAddress::LocalHost), port);
    if (!socket.waitForConnected(5000))
        return {};
    socket.write("GET /json/list HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    QByteArray response;
    while (socket.waitForReadyRead(5000))
        response += socket.readAll();
    response += socket.readAll();
    const qsizetype body = response.indexOf("\r\n\r\n");
    return body < 0 ? QJsonArray() : QJsonDocument::fromJson(response.mid(body + 4)).array();
}

class DevToolsSocket {
public:
    // webSocketDebuggerUrl of a target of the browser on 127.0.0.1:port.
    bool open(const QString& address, quint16 port)
    {
        const QUrl url(address);
        m_socket.connectToHost(QHostAddress(QHostAddress::LocalHost), port);
        if (!m_socket.waitForConnected(5000))
            return false;
        QByteArray nonce(16, '\0');
        for (char& c : nonce)
            c = char(QRandomGenerator::global()->bounded(256));
        const QByteArray key = nonce.toBase64();
        m_socket.write("GET " + url.path().toUtf8() +
                       " HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\n"
                       "Connection: Upgrade\r\nSec-WebSocket-Key: " +
                       key + "\r\nSec-WebSocket-Version: 13\r\n\r\n");
        while (!m_in.contains("\r\n\r\n") && m_socket.waitForReadyRead(5000))
            m_in += m_socket.readAll();
        const qsizetype end = m_in.indexOf("\r\n\r\n");
        if (end < 0 || !m_in.startsWith("HTTP/1.1 101")) {
            qWarning("DevTools refused the WebSocket: %s", m_in.left(200).constData());
            return false;
        }
        m_in.remove(0, end + 4);
        return true;
    }

    // The value of a JavaScript expression (promises awaited), or nothing when
    // it threw or no answer came.
    std::optional<QJsonValue> evaluate(const QString& expression, int timeoutMs = 10000)
    {
        const int id = ++m_lastId;
        const QJsonObject params{{"expression", expression}, {"awaitPromise", true}, {"returnByValue", true}};
        sendText(QJsonDocument(QJsonObject{{"id", id}, {"method", "Runtime.evaluate"}, {"params", params}})
                     .toJson(QJsonDocument::Compact));
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < timeoutMs) {
            const std::optional<QByteArray> message = readMessage(timeoutMs - int(timer.elapsed()));
            if (!message)
                return std::nullopt;
            const QJsonObject reply = QJsonDocument::fromJson(*message).object();
            if (reply.value("id").toInt() != id)
                continue; // an event
            const QJsonObject result = reply.value("result").toObject();
            if (result.contains("exceptionDetails") || !result.contains("result"))
                return std::nullopt;
            return result.value("result").toObject().value("value");
        }
        return std::nullopt;
    }

private:
    void sendText(const QByteArray& payload)
    {
        QByteArray frame;
        frame.append(char(0x81)); // final frame, text
        if (payload.size() < 126) {
            frame.append(char(0x80 | payload.size()));
        } else {
            frame.append(char(0x80 | 126));
            frame.append(char((payload.size() >> 8) & 0xff));
            frame.append(char(payload.size() & 0xff));
        }
        const quint32 mask = QRandomGenerator::global()->generate();
        const char maskBytes[4] = {char(mask >> 24), char(mask >> 16), char(mask >> 8), char(mask)};
        frame.append(maskBytes, 4);
        for (qsizetype i = 0; i < payload.size(); ++i)
            frame.append(char(payload[i] ^ maskBytes[i % 4]));
        m_socket.write(frame);
        m_socket.waitForBytesWritten(5000);
    }

    bool need(qsizetype bytes, QElapsedTimer& timer, int timeoutMs)
    {
        while (m_in.size() < bytes) {
            if (timer.elapsed() >= timeoutMs || !m_socket.waitForReadyRead(int(timeoutMs - timer.elapsed())))
                return false;
            m_in += m_socket.readAll();
        }
        return true;
    }

    std::optional<QByteArray> readMessage(int timeoutMs)
    {
        QElapsedTimer timer;
        timer.start();
        QByteArray message;
        for (;;) {
            if (!need(2, timer, timeoutMs))
                return std::nullopt;
            const bool final = uchar(m_in[0]) & 0x80;
            qsizetype length = uchar(m_in[1]) & 0x7f;
            qsizetype header = 2;
            if (length == 126) {
                if (!need(4, timer, timeoutMs))
                    return std::nullopt;
                length = (qsizetype(uchar(m_in[2])) << 8) | uchar(m_in[3]);
                header = 4;
            } else if (length == 127) {
                if (!need(10, timer, timeoutMs))
                    return std::nullopt;
                length = 0;
                for (int i = 2; i < 10; ++i)
                    length = (length << 8) | uchar(m_in[i]);
                header = 10;
            }
            if (!need(header + length, timer, timeoutMs))
                return std::nullopt;
            message += m_in.mid(header, length);
            m_in.remove(0, header + length);
            if (final)
                return message;
        }
    }

    QTcpSocket m_socket;
    QByteArray m_in;
    int m_lastId = 0;
};

} // namespace kr::test
