#include "VendorService.h"

#include "common/AnsiCodePage.h"

#include <QTcpSocket>
#include <QTimer>

namespace {

const QByteArray kVersionPath = "/Realisation/Keyrovia/Verssion.php";
const QByteArray kSuggestionPath = "/Realisation/Keyrovia/Suggestion.php";

QByteArray httpReply(const QByteArray& status, const QByteArray& body)
{
    return "HTTP/1.0 " + status +
           "\r\nContent-Type: text/html; charset=windows-1252\r\nConnection: close\r\n"
           "Content-Length: " +
           QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

} // namespace

QByteArray decodeMessage(const QByteArray& encoded)
{
    QByteArray out;
    out.reserve(encoded.size());
    for (qsizetype i = 0; i < encoded.size(); ++i) {
        if (encoded.at(i) == '%' && i + 2 < encoded.size()) {
            const QByteArray code = encoded.mid(i + 1, 2).toUpper();
            if (code == "0D" || code == "0A" || code == "20") {
                out.append(static_cast<char>(code.toInt(nullptr, 16)));
                i += 2;
                continue;
            }
        }
        out.append(encoded.at(i));
    }
    return out;
}

VendorRequest parseVendorRequest(const QByteArray& requestLine)
{
    VendorRequest r;
    const QList<QByteArray> parts = requestLine.split(' ');
    if (parts.size() != 3 || !parts.at(2).startsWith("HTTP/"))
        return r;
    QByteArray target = parts.at(1);
    if (target.toLower().startsWith("http://")) {
        const qsizetype slash = target.indexOf('/', 7);
        target = slash < 0 ? QByteArray("/") : target.mid(slash);
    }
    const qsizetype q = target.indexOf('?');
    const QByteArray path = q < 0 ? target : target.left(q);
    const QByteArray query = q < 0 ? QByteArray() : target.mid(q + 1);
    if (path == kVersionPath && parts.at(0) == "GET") {
        r.kind = VendorRequest::Version;
    } else if (path == kSuggestionPath && (parts.at(0) == "POST" || parts.at(0) == "GET") &&
               query.startsWith("Mess=")) {
        r.kind = VendorRequest::Suggestion;
        // The program does not encode "&" or "=": the whole rest is the message.
        r.message = kr::fromAnsi(decodeMessage(query.mid(5)));
    }
    return r;
}

QByteArray versionReply(const QString& version, const QString& information)
{
    QString info = information;
    info.replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
        .replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    const QByteArray body = "<html><body>\r\nVer=" + kr::toAnsi(version) +
                            "=EndVer\r\nInfo=" + kr::toAnsi(info) +
                            "=EndInfo\r\nFIN=1=FIN\r\n</body></html>\r\n";
    return httpReply("200 OK", body);
}

QByteArray suggestionReply(bool stored)
{
    return httpReply("200 OK",
                     stored ? QByteArray("MESS=SEND=ENDMESS\r\n") : QByteArray("MESS=ECHEC=ENDMESS\r\n"));
}

VendorService::VendorService(VendorServiceConfig config, QObject* parent)
    : QObject(parent), m_config(std::move(config)), m_store(m_config.databasePath)
{
    m_server.setMaxPendingConnections(m_config.maxConnections);
    connect(&m_server, &QTcpServer::newConnection, this, &VendorService::acceptPending);
}

bool VendorService::listen(const QHostAddress& address, quint16 port)
{
    return m_server.listen(address, port);
}

void VendorService::acceptPending()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        if (m_pending.size() >= m_config.maxConnections) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        m_pending.insert(socket, QByteArray());
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_pending.remove(socket);
            socket->deleteLater();
        });
        // No connection may hold a slot for ever (a silent service keeps its own).
        if (!m_config.silent) {
            auto* timer = new QTimer(socket);
            timer->setSingleShot(true);
            connect(timer, &QTimer::timeout, socket, [socket] { socket->abort(); });
            timer->start(m_config.connectionTimeoutMs);
        }
    }
}

void VendorService::readFrom(QTcpSocket* socket)
{
    auto it = m_pending.find(socket);
    if (it == m_pending.end())
        return;
    it->append(socket->readAll());
    if (m_config.silent) {
        it->clear();
        return;
    }
    if (it->size() > m_config.maxRequestBytes) {
        m_pending.erase(it);
        finish(socket, httpReply("413 Request Entity Too Large", "Too large\r\n"));
        return;
    }
    const qsizetype end = it->indexOf("\r\n\r\n");
    if (end < 0)
        return;
    const qsizetype lineEnd = it->indexOf("\r\n");
    const QByteArray requestLine = it->left(lineEnd);
    m_pending.erase(it);
    answer(socket, requestLine);
}

void VendorService::answer(QTcpSocket* socket, const QByteArray& requestLine)
{
    const VendorRequest r = parseVendorRequest(requestLine);
    QByteArray reply;
    switch (r.kind) {
    case VendorRequest::Version:
        reply = versionReply(m_config.announcedVersion, m_config.information);
        break;
    case VendorRequest::Suggestion:
        reply = suggestionReply(m_store.store(r.message, socket->peerAddress().toString()));
        break;
    case VendorRequest::Unknown:
        reply = httpReply("404 Not Found", "Not found\r\n");
        break;
    }
    // The request line only, never the message it carries.
    const qsizetype q = requestLine.indexOf('?');
    emit requestHandled(QString::fromLatin1(q < 0 ? requestLine : requestLine.left(q)));
    finish(socket, reply);
}

void VendorService::finish(QTcpSocket* socket, const QByteArray& reply)
{
    socket->disconnect(this);
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    socket->write(reply);
    socket->disconnectFromHost();
}
