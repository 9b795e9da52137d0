#pragma once
#include "platform/Platform.h"

#include <memory>

class QTcpSocket;

namespace kr {

// ITcpClient on QTcpSocket. Each connection gets a fresh socket, so events of
// a closed one can never reach the handlers.
class QtTcpClient final : public ITcpClient {
public:
    QtTcpClient();
    ~QtTcpClient() override;
    void setHandlers(Handlers handlers) override { m_handlers = std::move(handlers); }
    void connectToHost(const QString& host, quint16 port) override;
    void write(const QByteArray& bytes) override;
    std::optional<QByteArray> readAll() override;
    void close() override;

private:
    void onDisconnected();

    Handlers m_handlers;
    std::unique_ptr<QTcpSocket> m_socket;
};

class QtTcpClientFactory final : public ITcpClientFactory {
public:
    std::unique_ptr<ITcpClient> create() override { return std::make_unique<QtTcpClient>(); }
};

} // namespace kr
