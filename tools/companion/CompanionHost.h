#pragma once
// The native messaging host: keeps the latest page the extension reports and
// answers Keyrovia's requests on a local socket until the browser closes the
// pipe.
#include "ToolbarButtons.h"
#include "platform/pageaddress/CompanionProtocol.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QString>

#include <vector>

namespace kr::companion {

class Host {
public:
    // socketDir: the private folder for the socket; empty means nowhere safe
    // to listen, and the host only drains the browser's messages.
    explicit Host(QString socketDir);
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    // Creates the folder (0700) and the socket (0600). false: no socket, the
    // reason already on stderr.
    bool listen();
    // Reads frames from inFd until it ends; answers requests meanwhile.
    // Returns when the input ends or a termination signal arrives.
    void run(int inFd);
    // Toolbar messages from the browser get their replies as frames on replyFd.
    void answerToolbar(ToolbarService* toolbar, int replyFd);

private:
    struct Client {
        int fd = -1;
        QByteArray in;
        QByteArray out;
        qsizetype sent = 0;
        QDeadlineTimer deadline;
    };

    void removeStaleSockets() const;
    void acceptClients();
    // false once the client is done with (answered, gone or misbehaving).
    bool serve(Client& client, short revents);
    QByteArray answer() const;
    bool readInput(int inFd);
    void reply(const QByteArray& json) const;

    QString m_socketDir;
    QString m_socketPath;
    int m_listenFd = -1;
    std::vector<Client> m_clients;
    FrameDecoder m_decoder;
    PageState m_page;
    QElapsedTimer m_sinceMessage; // since the last page report; invalid before
    ToolbarService* m_toolbar = nullptr;
    int m_replyFd = -1;
};

// Installs the signal handling run() relies on; call once before run().
void prepareSignals();

} // namespace kr::companion
