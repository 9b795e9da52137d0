#pragma once
// Just enough of a WebSocket client to speak the DevTools protocol with one
// target of a local browser: evaluate an expression there and read back its
// value. Blocking, for tests only; the browser sends each message as one frame.
#include <QByteArray>
#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QUrl>

#include <optional>

namespace kr::test {

class DevToolsSocket {
public:
    // webSocketDebuggerUrl of a target of the browser on 127.0.0.1:port.
    bool open(const QString& address, quint16 port)
    {
        m_socket.connectToHost(QHostAddress(QHostAddress::LocalHost), port);
        if (!m_socket.waitForConnected(5000))
            return false;
        m_socket.write("GET " + QUrl(address).path().toUtf8() +
                       " HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                       "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n");
        while (!m_in.contains("\r\n\r\n") && m_socket.waitForReadyRead(5000))
            m_in += m_socket.readAll();
        const qsizetype end = m_in.indexOf("\r\n\r\n");
        if (end < 0 || !m_in.startsWith("HTTP/1.1 101"))
            return false;
        m_in.remove(0, end + 4);
        return true;
    }

    // The value of a JavaScript expression (promises awaited), or nothing when
    // it threw or no answer came.
    std::optional<QJsonValue> evaluate(const QString& expression, int timeoutMs = 10000)
    {
        const int id = ++m_lastId;
        const QJsonObject params{{"expression", expression}, {"awaitPromise", true}, {"returnByValue", true}};
        send(QJsonDocument(QJsonObject{{"id", id}, {"method", "Runtime.evaluate"}, {"params", params}})
                 .toJson(QJsonDocument::Compact));
        const QDeadlineTimer deadline(timeoutMs);
        while (const std::optional<QByteArray> message = read(deadline)) {
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
    // One final text frame, masked as a client's must be.
    void send(const QByteArray& payload)
    {
        QByteArray frame("\x81", 1);
        if (payload.size() < 126)
            frame += char(0x80 | payload.size());
        else
            frame += QByteArray("\xfe", 1) + char(payload.size() >> 8) + char(payload.size() & 0xff);
        const QByteArray mask("\x5a\x3c\x96\xe1", 4);
        frame += mask;
        for (qsizetype i = 0; i < payload.size(); ++i)
            frame += char(payload[i] ^ mask[i % 4]);
        m_socket.write(frame);
        m_socket.waitForBytesWritten(5000);
    }

    // The payload of the next frame (unmasked, a 7-, 16- or 64-bit length).
    std::optional<QByteArray> read(const QDeadlineTimer& deadline)
    {
        const auto need = [&](qsizetype bytes) {
            while (m_in.size() < bytes) {
                if (deadline.hasExpired() || !m_socket.waitForReadyRead(int(deadline.remainingTime())))
                    return false;
                m_in += m_socket.readAll();
            }
            return true;
        };
        if (!need(2))
            return std::nullopt;
        qsizetype length = uchar(m_in[1]) & 0x7f, header = 2;
        if (length >= 126) {
            header = length == 126 ? 4 : 10;
            if (!need(header))
                return std::nullopt;
            length = 0;
            for (qsizetype i = 2; i < header; ++i)
                length = (length << 8) | uchar(m_in[i]);
        }
        if (!need(header + length))
            return std::nullopt;
        const QByteArray message = m_in.mid(header, length);
        m_in.remove(0, header + length);
        return message;
    }

    QTcpSocket m_socket;
    QByteArray m_in;
    int m_lastId = 0;
};

} // namespace kr::test
