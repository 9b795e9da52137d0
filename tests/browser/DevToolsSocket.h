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
        m_socket.write("GET " + QUrl(address).path().toUtf8() +
                       " HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                       "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n");
        const QDeadlineTimer deadline(5000);
        while (!m_in.contains("\r\n\r\n") && need(m_in.size() + 1, deadline)) {
        }
        const qsizetype end = m_in.indexOf("\r\n\r\n");
        const bool upgraded = end >= 0 && m_in.startsWith("HTTP/1.1 101");
        m_in.remove(0, upgraded ? end + 4 : 0);
        return upgraded;
    }

    // The value of a JavaScript expression (promises awaited), or nothing when
    // it threw or no answer came.
    std::optional<QJsonValue> evaluate(const QString& expression, int timeoutMs = 10000)
    {
        const int id = ++m_lastId;
        const QJsonObject params{{"expression", expression}, {"awaitPromise", true}, {"returnByValue", true}};
        const QByteArray payload =
            QJsonDocument(QJsonObject{{"id", id}, {"method", "Runtime.evaluate"}, {"params", params}})
                .toJson(QJsonDocument::Compact);
        // One final text frame, masked as a client's must be (the mask is zero).
        QByteArray frame("\x81", 1);
        if (payload.size() < 126)
            frame += char(0x80 | payload.size());
        else
            frame += QByteArray("\xfe", 1) + char(payload.size() >> 8) + char(payload.size() & 0xff);
        m_socket.write(frame + QByteArray(4, '\0') + payload);
        const QDeadlineTimer deadline(timeoutMs);
        // Each reply frame: unmasked, with a 7-, 16- or 64-bit length; events are skipped.
        while (need(2, deadline)) {
            qsizetype length = uchar(m_in[1]) & 0x7f;
            const qsizetype header = length < 126 ? 2 : length == 126 ? 4 : 10;
            if (!need(header, deadline))
                break;
            for (qsizetype i = 2; i < header; ++i)
                length = (i == 2 ? 0 : length << 8) | uchar(m_in[i]);
            if (!need(header + length, deadline))
                break;
            const QJsonObject reply = QJsonDocument::fromJson(m_in.mid(header, length)).object();
            m_in.remove(0, header + length);
            if (reply.value("id").toInt() != id)
                continue;
            const QJsonObject result = reply.value("result").toObject();
            if (result.contains("exceptionDetails") || !result.contains("result"))
                break;
            return result.value("result").toObject().value("value");
        }
        return std::nullopt;
    }

private:
    // Reads until m_in holds that many bytes; false when the deadline passes first.
    bool need(qsizetype bytes, const QDeadlineTimer& deadline)
    {
        while (m_in.size() < bytes) {
            if (deadline.hasExpired() || !m_socket.waitForReadyRead(int(deadline.remainingTime())))
                return false;
            m_in += m_socket.readAll();
        }
        return true;
    }

    QTcpSocket m_socket;
    QByteArray m_in;
    int m_lastId = 0;
};

} // namespace kr::test
