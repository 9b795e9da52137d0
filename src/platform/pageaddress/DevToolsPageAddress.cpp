#include "platform/pageaddress/DevToolsPageAddress.h"
#include "platform/pageaddress/PageReply.h"

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>

namespace kr {

namespace {

// A list of a few hundred tabs fits easily.
constexpr qsizetype kMaxResponseBytes = qsizetype{4} * 1024 * 1024;

int msLeft(const QDeadlineTimer& deadline)
{
    return int(std::max<qint64>(0, deadline.remainingTime()));
}

// Whether the response is complete yet and, once it is, whether it was a 200
// and its body.
struct HttpBody {
    bool complete = false;
    bool ok = false;
    QByteArray body;
};

HttpBody parseResponse(const QByteArray& data, bool closed)
{
    HttpBody result;
    const qsizetype headerEnd = data.indexOf("\r\n\r\n");
    if (headerEnd < 0) {
        result.complete = closed;
        return result;
    }
    const QList<QByteArray> lines = data.left(headerEnd).split('\n');
    const QList<QByteArray> status = lines.first().trimmed().split(' ');
    const bool ok = status.size() >= 2 && status.at(0).startsWith("HTTP/1.") && status.at(1) == "200";
    qsizetype contentLength = -1;
    for (const QByteArray& line : lines.mid(1)) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().toLower() == "content-length") {
            bool number = false;
            contentLength = line.mid(colon + 1).trimmed().toLongLong(&number);
            if (!number || contentLength < 0) {
                contentLength = -1;
            }
        }
    }
    const QByteArray body = data.mid(headerEnd + 4);
    if (contentLength >= 0 && body.size() >= contentLength) {
        result.complete = true;
        result.ok = ok;
        result.body = body.left(contentLength);
    } else if (closed) {
        // Without a length the end of the connection ends the body; with one,
        // a shorter body is a response cut short.
        result.complete = true;
        result.ok = ok && contentLength < 0;
        result.body = body;
    }
    return result;
}

} // namespace

DevToolsPageAddress::DevToolsPageAddress(quint16 port) : m_port(port) {}

std::optional<quint16> DevToolsPageAddress::configuredPort()
{
    bool number = false;
    const int port = qEnvironmentVariable("KEYROVIA_DEVTOOLS_PORT").trimmed().toInt(&number);
    if (!number || port < 1 || port > 65535) {
        return std::nullopt;
    }
    return quint16(port);
}

std::optional<QString> DevToolsPageAddress::request(int timeoutMs)
{
    if (timeoutMs <= 0) {
        return std::nullopt;
    }
    const QDeadlineTimer deadline(timeoutMs);
    QTcpSocket socket;
    // Only ever the loopback address: the endpoint is local by nature.
    socket.connectToHost(QHostAddress(QHostAddress::LocalHost), m_port);
    if (!socket.waitForConnected(msLeft(deadline))) {
        return std::nullopt;
    }
    // Chromium's endpoint drops HTTP/1.0 requests without a word.
    socket.write(QByteArrayLiteral("GET /json/list HTTP/1.1\r\nHost: 127.0.0.1:") +
                 QByteArray::number(m_port) + QByteArrayLiteral("\r\nConnection: close\r\n\r\n"));
    if (!socket.waitForBytesWritten(msLeft(deadline))) {
        return std::nullopt;
    }
    QByteArray data;
    for (;;) {
        data += socket.readAll();
        const bool closed = socket.state() != QAbstractSocket::ConnectedState;
        if (data.size() > kMaxResponseBytes) {
            return std::nullopt;
        }
        const HttpBody response = parseResponse(data, closed);
        if (response.complete) {
            return response.ok ? replyFromList(response.body) : std::nullopt;
        }
        if (msLeft(deadline) == 0) {
            return std::nullopt;
        }
        if (!socket.waitForReadyRead(msLeft(deadline)) && socket.state() == QAbstractSocket::ConnectedState) {
            return std::nullopt; // time-out
        }
    }
}

std::optional<QString> DevToolsPageAddress::replyFromList(const QByteArray& json)
{
    const QJsonDocument doc = QJsonDocument::fromJson(json);
    if (!doc.isArray()) {
        return std::nullopt;
    }
    const QJsonArray targets = doc.array();
    for (const auto& entry : targets) {
        const QJsonObject target = entry.toObject();
        if (target.value(QLatin1String("type")).toString() != QLatin1String("page")) {
            continue;
        }
        const QString url = target.value(QLatin1String("url")).toString();
        if (url.isEmpty()) {
            return std::nullopt;
        }
        // Only scheme and host are used: path, query and title stay in the browser.
        return page::quotedReply(page::siteOrigin(url), QString());
    }
    return std::nullopt;
}

} // namespace kr
