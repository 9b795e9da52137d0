#pragma once
// A stand-in server on its own thread, for clients that block the test's
// thread. Per connection it reads one request (to the empty line for HTTP,
// one line otherwise) and sends what the responder returns; std::nullopt
// leaves the connection open and silent until the server goes.
#include <QByteArray>
#include <QFile>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <optional>
#include <thread>
#include <vector>

namespace kr::test {

class ScriptedServer {
public:
    using Responder = std::function<std::optional<QByteArray>(const QByteArray& request)>;

    // TCP on a free port of 127.0.0.1, or a Unix socket at unixPath.
    explicit ScriptedServer(Responder responder, const QString& unixPath = {})
        : m_responder(std::move(responder))
    {
        sockaddr_in tcp{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        sockaddr_un local{AF_UNIX, {}};
        const QByteArray path = QFile::encodeName(unixPath);
        std::memcpy(local.sun_path, path.constData(), size_t(path.size()));
        const bool isTcp = unixPath.isEmpty();
        auto* address = isTcp ? reinterpret_cast<sockaddr*>(&tcp) : reinterpret_cast<sockaddr*>(&local);
        socklen_t size = isTcp ? sizeof tcp : sizeof local;
        m_listen = ::socket(isTcp ? AF_INET : AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        ::bind(m_listen, address, size);
        ::getsockname(m_listen, address, &size);
        m_port = isTcp ? ntohs(tcp.sin_port) : 0;
        ::listen(m_listen, 16);
        m_thread = std::thread([this] { serve(); });
    }
    ~ScriptedServer()
    {
        m_stop = true;
        m_thread.join();
        ::close(m_listen);
    }

    quint16 port() const { return m_port; }
    int requests() const { return m_requests; }

private:
    // Waits for fd; false once the server stops.
    bool ready(int fd)
    {
        pollfd polled{fd, POLLIN, 0};
        while (!m_stop && ::poll(&polled, 1, 50) == 0) {
        }
        return !m_stop;
    }

    void serve()
    {
        std::vector<int> held;
        while (ready(m_listen)) {
            const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
            QByteArray request;
            char buffer[4096];
            ssize_t n = 0;
            while (fd >= 0 && ready(fd) && (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0) {
                request.append(buffer, n);
                if (request.contains(request.contains("HTTP/1.") ? "\r\n\r\n" : "\n"))
                    break;
            }
            m_requests += n > 0 ? 1 : 0;
            if (const auto reply = n > 0 ? m_responder(request) : std::nullopt) {
                (void)::send(fd, reply->constData(), size_t(reply->size()), MSG_NOSIGNAL);
                ::close(fd);
            } else if (fd >= 0) {
                held.push_back(fd);
            }
        }
        for (int fd : held)
            ::close(fd);
    }

    Responder m_responder;
    int m_listen = -1;
    quint16 m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_requests{0};
    std::thread m_thread;
};

inline QByteArray httpResponse(const QByteArray& status, const QByteArray& body,
                               const QByteArray& type = "application/json")
{
    return "HTTP/1.1 " + status + "\r\nContent-Type: " + type +
           "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

} // namespace kr::test
