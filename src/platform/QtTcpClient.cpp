#include "platform/QtTcpClient.h"

#include <QTcpSocket>

namespace kr {

QtTcpClient::QtTcpClient() = default;

QtTcpClient::~QtTcpClient()
{
    close();
}

void QtTcpClient::connectToHost(const QString& host, quint16 port)
{
    close();
    m_socket = std::make_unique<QTcpSocket>();
    QTcpSocket* s = m_socket.get();
    // Whatever the peer sends, at most this much waits in memory between reads.
    s->setReadBufferSize(qint64{256} * 1024);
    QObject::connect(s, &QTcpSocket::connected, s, [this] {
        if (m_handlers.connected)
            m_handlers.connected();
    });
    QObject::connect(s, &QTcpSocket::readyRead, s, [this] {
        if (m_handlers.dataArrived)
            m_handlers.dataArrived();
    });
    QObject::connect(s, &QTcpSocket::disconnected, s, [this] { onDisconnected(); });
    QObject::connect(s, &QTcpSocket::errorOccurred, s, [this](QAbstractSocket::SocketError code) {
        // The peer's close is the end of the reply, reported by disconnected().
        if (code == QAbstractSocket::RemoteHostClosedError || !m_socket)
            return;
        const QString reason = m_socket->errorString();
        if (m_handlers.error)
            m_handlers.error(reason);
    });
    s->connectToHost(host, port);
}

void QtTcpClient::onDisconnected()
{
    // Bytes that came with the close are part of the reply.
    if (m_socket && m_socket->bytesAvailable() > 0 && m_handlers.dataArrived)
        m_handlers.dataArrived();
    if (m_socket && m_handlers.closedByPeer)
        m_handlers.closedByPeer();
}

void QtTcpClient::write(const QByteArray& bytes)
{
    if (m_socket)
        m_socket->write(bytes);
}

std::optional<QByteArray> QtTcpClient::readAll()
{
    if (!m_socket)
        return std::nullopt;
    QByteArray all;
    const qint64 waiting = m_socket->bytesAvailable();
    if (waiting <= 0)
        return all;
    all.resize(waiting);
    const qint64 got = m_socket->read(all.data(), waiting);
    if (got < 0)
        return std::nullopt;
    all.resize(got);
    return all;
}

void QtTcpClient::close()
{
    if (!m_socket)
        return;
    // No event of this socket may arrive after the close: the object goes away
    // once the current event has returned.
    QTcpSocket* s = m_socket.release();
    QObject::disconnect(s, nullptr, nullptr, nullptr);
    s->abort();
    s->deleteLater();
}

} // namespace kr
