#pragma once
// A scripted TCP client: the test plays the network's part (connected, data in
// pieces, the peer's close, errors, a failing read) and reads what was sent.
#include "platform/Platform.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <utility>
#include <vector>

namespace kr::test {

class ScriptedTcpClient final : public ITcpClient {
public:
    void setHandlers(Handlers h) override { handlers = std::move(h); }
    void connectToHost(const QString& h, quint16) override
    {
        host = h;
        open = true;
        pending.clear();
    }
    void write(const QByteArray& bytes) override { sent += bytes; }
    std::optional<QByteArray> readAll() override
    {
        return failReads ? std::nullopt : std::optional(std::exchange(pending, {}));
    }
    void close() override { open = false; }

    // The network's side. Each event reaches the program only while the
    // connection is open, as on a real socket.
    void connectNow() { fire(handlers.connected); }
    void peerCloses() { fire(handlers.closedByPeer); }
    void fail() { fire(std::bind(handlers.error, QStringLiteral("Connection refused"))); }
    void deliver(const QByteArray& piece)
    {
        pending += piece; // emptied at the next connection
        fire(handlers.dataArrived);
    }
    // A whole exchange: connected, the reply in pieces of pieceSize, closed.
    void answer(const QByteArray& reply, qsizetype pieceSize = 1 << 30)
    {
        connectNow();
        for (qsizetype i = 0; i < reply.size(); i += pieceSize)
            deliver(reply.mid(i, pieceSize));
        peerCloses();
    }

    Handlers handlers;
    QString host;
    bool open = false;
    bool failReads = false;
    QByteArray pending;
    QByteArray sent;

private:
    void fire(const std::function<void()>& event) const
    {
        if (open && event)
            event();
    }
};

// Hands out scripted clients and keeps a pointer to each (the program owns them).
class ScriptedTcpFactory final : public ITcpClientFactory {
public:
    std::unique_ptr<ITcpClient> create() override
    {
        auto client = std::make_unique<ScriptedTcpClient>();
        clients.push_back(client.get());
        return client;
    }
    ScriptedTcpClient* last() const { return clients.back(); }
    std::vector<ScriptedTcpClient*> clients;
};

} // namespace kr::test
