#include "platform/pageaddress/CompanionPageAddress.h"
#include "platform/pageaddress/CompanionProtocol.h"
#include "platform/pageaddress/PageReply.h"

#include <QDeadlineTimer>
#include <QFile>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

namespace kr {

namespace {

// More hosts than this means something is wrong; the rest are not asked.
constexpr int kMaxHosts = 16;
// Once one host has answered, the others get this much longer: a live host
// answers within a millisecond, a hung one must not hold the user up.
constexpr int kGraceAfterFirstAnswerMs = 250;

class Exchange {
public:
    explicit Exchange(const QByteArray& path)
    {
        m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (m_fd < 0) {
            return;
        }
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
        // A Unix socket connects at once or not at all (a dead host's
        // leftover file refuses, a full backlog says EAGAIN).
        if (::connect(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
            !peerIsThisUser()) {
            finish();
            return;
        }
        m_open = true;
    }
    ~Exchange() { finish(); }
    Exchange(const Exchange&) = delete;
    Exchange& operator=(const Exchange&) = delete;
    Exchange(Exchange&& other) noexcept
        : m_fd(std::exchange(other.m_fd, -1)), m_open(std::exchange(other.m_open, false)),
          m_sent(other.m_sent), m_in(std::move(other.m_in)), m_answer(std::move(other.m_answer))
    {}

    bool open() const { return m_open; }
    int fd() const { return m_fd; }
    short events() const { return m_sent < kRequestSize ? POLLOUT : POLLIN; }
    const std::optional<companion::Answer>& answer() const { return m_answer; }

    // Does what the socket is ready for.
    void step(short revents)
    {
        if (revents & POLLOUT) {
            const ssize_t n =
                ::send(m_fd, companion::kRequestLine + m_sent, size_t(kRequestSize - m_sent), MSG_NOSIGNAL);
            if (n < 0 && errno != EAGAIN && errno != EINTR) {
                finish();
            } else if (n > 0) {
                m_sent += n;
            }
            return;
        }
        if (revents & (POLLIN | POLLHUP | POLLERR)) {
            char buffer[16384];
            const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
                return;
            }
            if (n <= 0) {
                finish(); // closed before a whole line: no answer
                return;
            }
            m_in.append(buffer, n);
            const qsizetype end = m_in.indexOf('\n');
            if (end >= 0) {
                m_answer = companion::parseAnswer(m_in.left(end));
                finish();
            } else if (m_in.size() > companion::kMaxAnswerBytes) {
                finish();
            }
        }
    }

private:
    static constexpr ssize_t kRequestSize = sizeof companion::kRequestLine - 1;

    // The folder is private already; this also keeps out a socket that
    // another user managed to leave there.
    bool peerIsThisUser() const
    {
        ucred peer{};
        socklen_t size = sizeof peer;
        return ::getsockopt(m_fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.uid == ::geteuid();
    }

    void finish()
    {
        if (m_fd >= 0) {
            ::close(m_fd);
            m_fd = -1;
        }
        m_open = false;
    }

    int m_fd = -1;
    bool m_open = false;
    ssize_t m_sent = 0;
    QByteArray m_in;
    std::optional<companion::Answer> m_answer;
};

std::vector<QByteArray> socketPaths(const QString& dir)
{
    std::vector<QByteArray> paths;
    const QByteArray encodedDir = QFile::encodeName(dir);
    DIR* listing = ::opendir(encodedDir.constData());
    if (listing == nullptr) {
        return paths;
    }
    while (const dirent* entry = ::readdir(listing)) {
        const QString name = QFile::decodeName(entry->d_name);
        const QString path = dir + u'/' + name;
        if (companion::isSocketFileName(name) && companion::fitsSocketAddress(path)) {
            paths.push_back(QFile::encodeName(path));
            if (paths.size() == size_t(kMaxHosts)) {
                break;
            }
        }
    }
    ::closedir(listing);
    return paths;
}

} // namespace

CompanionPageAddress::CompanionPageAddress() : CompanionPageAddress(companion::socketDirectory()) {}

CompanionPageAddress::CompanionPageAddress(QString socketDir) : m_socketDir(std::move(socketDir)) {}

std::optional<QString> CompanionPageAddress::request(int timeoutMs)
{
    if (timeoutMs <= 0 || m_socketDir.isEmpty()) {
        return std::nullopt;
    }
    QDeadlineTimer deadline(timeoutMs);
    if (!companion::isPrivateDirectory(m_socketDir)) {
        return std::nullopt;
    }

    std::vector<Exchange> exchanges;
    for (const QByteArray& path : socketPaths(m_socketDir)) {
        Exchange exchange(path);
        if (exchange.open()) {
            exchanges.push_back(std::move(exchange));
        }
    }

    bool graceStarted = false;
    std::vector<pollfd> polled;
    std::vector<Exchange*> owners;
    for (;;) {
        polled.clear();
        owners.clear();
        for (Exchange& exchange : exchanges) {
            if (exchange.open()) {
                polled.push_back({exchange.fd(), exchange.events(), 0});
                owners.push_back(&exchange);
            } else if (exchange.answer() && !graceStarted) {
                graceStarted = true;
                deadline = std::min(deadline, QDeadlineTimer(kGraceAfterFirstAnswerMs));
            }
        }
        const qint64 remaining = deadline.remainingTime();
        if (polled.empty() || remaining <= 0) {
            break;
        }
        const int ready = ::poll(polled.data(), nfds_t(polled.size()), int(remaining));
        if (ready < 0 && errno != EINTR) {
            break;
        }
        for (size_t i = 0; i < polled.size(); ++i) {
            if (polled[i].revents != 0) {
                owners[i]->step(polled[i].revents);
            }
        }
    }

    // The browser that spoke last decides, even when it says "no page".
    const companion::Answer* freshest = nullptr;
    for (const Exchange& exchange : exchanges) {
        const auto& answer = exchange.answer();
        if (answer && answer->ageMs >= 0 && (!freshest || answer->ageMs < freshest->ageMs)) {
            freshest = &*answer;
        }
    }
    if (!freshest || freshest->page.kind != companion::PageState::Page) {
        return std::nullopt;
    }
    // Only scheme and host are used: nothing more is handed on, whatever the host sent.
    return page::quotedReply(page::siteOrigin(freshest->page.url), QString());
}

} // namespace kr
