#include "CompanionHost.h"

#include <QDir>
#include <QFile>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

namespace kr::companion {

namespace {

// One request at a time is the normal case; this many is plenty.
constexpr size_t kMaxClients = 32;
// A client that does not finish its exchange in this time is dropped.
constexpr int kClientTimeoutMs = 2000;

volatile sig_atomic_t g_stop = 0;
sigset_t g_waitMask;

void onStopSignal(int)
{
    g_stop = 1;
}

// No address ever goes to stderr; only what went wrong, and only once.
void complain(const char* what)
{
    std::fprintf(stderr, "keyrovia-companion: %s\n", what);
}

bool fillAddress(sockaddr_un& address, const QString& path)
{
    const QByteArray encoded = QFile::encodeName(path);
    if (encoded.size() >= qsizetype(sizeof address.sun_path)) {
        return false;
    }
    address = {};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, encoded.constData(), size_t(encoded.size()));
    return true;
}

// Makes the folder if needed; an existing one must be ours, and is made
// private if it was not.
bool preparePrivateFolder(const QString& dir)
{
    const QByteArray encoded = QFile::encodeName(dir);
    if (::mkdir(encoded.constData(), 0700) != 0 && errno != EEXIST) {
        return false;
    }
    struct stat st {};
    if (::lstat(encoded.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) {
        return false;
    }
    if ((st.st_mode & 077) != 0 && ::chmod(encoded.constData(), 0700) != 0) {
        return false;
    }
    return isPrivateDirectory(dir);
}

} // namespace

void prepareSignals()
{
    struct sigaction stop {};
    stop.sa_handler = onStopSignal;
    sigemptyset(&stop.sa_mask);
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        ::sigaction(sig, &stop, nullptr);
    }
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGPIPE, &ignore, nullptr);

    // The stop signals are only let through while waiting in ppoll, so none
    // slips in between the flag test and the wait.
    sigset_t blocked;
    sigemptyset(&blocked);
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        sigaddset(&blocked, sig);
    }
    ::sigprocmask(SIG_BLOCK, &blocked, &g_waitMask);
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        sigdelset(&g_waitMask, sig);
    }
}

Host::Host(QString socketDir) : m_socketDir(std::move(socketDir)) {}

Host::~Host()
{
    for (Client& client : m_clients) {
        ::close(client.fd);
    }
    if (m_listenFd >= 0) {
        ::close(m_listenFd);
        ::unlink(QFile::encodeName(m_socketPath).constData());
    }
}

bool Host::listen()
{
    if (m_socketDir.isEmpty()) {
        complain("XDG_RUNTIME_DIR is not set; Keyrovia cannot reach this browser");
        return false;
    }
    if (!preparePrivateFolder(m_socketDir)) {
        complain("the socket folder is not private; Keyrovia cannot reach this browser");
        return false;
    }
    removeStaleSockets();

    m_socketPath = m_socketDir + u'/' + socketFileName(::getpid());
    sockaddr_un address{};
    if (!fillAddress(address, m_socketPath)) {
        complain("the socket path is too long");
        return false;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        complain("cannot create a socket");
        return false;
    }
    ::unlink(address.sun_path); // a leftover of an earlier process with our pid
    // Created 0600 from the start, not narrowed afterwards.
    const mode_t previousMask = ::umask(0177);
    const int bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    ::umask(previousMask);
    if (bound != 0 || ::chmod(address.sun_path, 0600) != 0 || ::listen(fd, 16) != 0) {
        complain("cannot listen on the socket");
        ::close(fd);
        if (bound == 0) {
            ::unlink(address.sun_path);
        }
        return false;
    }
    m_listenFd = fd;
    return true;
}

// Sockets of hosts that died without cleaning up refuse connections; they
// would only cost every request a failed connect.
void Host::removeStaleSockets() const
{
    const QByteArray encodedDir = QFile::encodeName(m_socketDir);
    DIR* listing = ::opendir(encodedDir.constData());
    if (listing == nullptr) {
        return;
    }
    while (const dirent* entry = ::readdir(listing)) {
        const QString name = QFile::decodeName(entry->d_name);
        sockaddr_un address{};
        if (!isSocketFileName(name) || !fillAddress(address, m_socketDir + u'/' + name)) {
            continue;
        }
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            break;
        }
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 &&
            errno == ECONNREFUSED) {
            ::unlink(address.sun_path);
        }
        ::close(fd);
    }
    ::closedir(listing);
}

void Host::acceptClients()
{
    for (;;) {
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            return;
        }
        ucred peer{};
        socklen_t size = sizeof peer;
        const bool sameUser =
            ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.uid == ::geteuid();
        if (!sameUser || m_clients.size() >= kMaxClients) {
            ::close(fd);
            continue;
        }
        Client client;
        client.fd = fd;
        client.deadline = QDeadlineTimer(kClientTimeoutMs);
        m_clients.push_back(std::move(client));
    }
}

QByteArray Host::answer() const
{
    Answer answer;
    answer.page = m_page;
    answer.ageMs = m_sinceMessage.isValid() ? m_sinceMessage.elapsed() : -1;
    return encodeAnswer(answer);
}

bool Host::serve(Client& client, short revents)
{
    if (client.out.isEmpty()) {
        if (!(revents & (POLLIN | POLLHUP | POLLERR))) {
            return true;
        }
        char buffer[kMaxRequestBytes];
        const ssize_t n = ::recv(client.fd, buffer, sizeof buffer, 0);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            return true;
        }
        if (n <= 0) {
            return false;
        }
        client.in.append(buffer, n);
        const qsizetype end = client.in.indexOf('\n');
        if (end < 0) {
            return client.in.size() < kMaxRequestBytes;
        }
        if (client.in.left(end + 1) != QByteArray(kRequestLine)) {
            return false;
        }
        client.out = answer();
    }
    const ssize_t n = ::send(client.fd, client.out.constData() + client.sent,
                             size_t(client.out.size() - client.sent), MSG_NOSIGNAL);
    if (n < 0) {
        return errno == EAGAIN || errno == EINTR;
    }
    client.sent += n;
    return client.sent < client.out.size();
}

bool Host::readInput(int inFd)
{
    char buffer[65536];
    const ssize_t n = ::read(inFd, buffer, sizeof buffer);
    if (n < 0) {
        return errno == EINTR || errno == EAGAIN;
    }
    if (n == 0) {
        return false; // the browser closed the pipe: it is gone
    }
    m_decoder.feed(buffer, n);
    for (const QByteArray& frame : m_decoder.takeFrames()) {
        if (m_toolbar) {
            if (const auto answer = m_toolbar->handle(frame)) {
                reply(*answer);
                continue;
            }
        }
        // Anything but a page message is ignored; the last good one stays.
        const auto page = parseBrowserMessage(frame);
        if (!page) {
            continue;
        }
        if (page->titleOnly && m_page.kind == PageState::Page && page->url == m_page.url) {
            m_page.title = page->title; // the page renamed itself; the age stays
            continue;
        }
        m_page = *page;
        m_page.titleOnly = false;
        m_sinceMessage.start();
    }
    return true;
}

void Host::answerToolbar(ToolbarService* toolbar, int replyFd)
{
    m_toolbar = toolbar;
    m_replyFd = replyFd;
}

// The browser reads the pipe all the time; a closed one ends the host anyway.
void Host::reply(const QByteArray& json) const
{
    const QByteArray frame = encodeFrame(json);
    qsizetype done = 0;
    while (m_replyFd >= 0 && done < frame.size()) {
        const ssize_t n = ::write(m_replyFd, frame.constData() + done, size_t(frame.size() - done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return;
        }
        done += n;
    }
}

void Host::run(int inFd)
{
    std::vector<pollfd> polled;
    bool inputOpen = true;
    while (inputOpen && !g_stop) {
        polled.clear();
        polled.push_back({inFd, POLLIN, 0});
        if (m_listenFd >= 0) {
            polled.push_back({m_listenFd, POLLIN, 0});
        }
        qint64 waitMs = -1;
        for (const Client& client : m_clients) {
            polled.push_back({client.fd, short(client.out.isEmpty() ? POLLIN : POLLOUT), 0});
            const qint64 left = std::max<qint64>(0, client.deadline.remainingTime());
            waitMs = waitMs < 0 ? left : std::min(waitMs, left);
        }
        timespec timeout{};
        timeout.tv_sec = time_t(waitMs / 1000);
        timeout.tv_nsec = long(waitMs % 1000) * 1000000L;
        const int ready =
            ::ppoll(polled.data(), nfds_t(polled.size()), waitMs < 0 ? nullptr : &timeout, &g_waitMask);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            complain("waiting failed");
            return;
        }
        // Clients first: the vector of clients changes below.
        const size_t firstClient = m_listenFd >= 0 ? 2 : 1;
        std::vector<Client> kept;
        kept.reserve(m_clients.size());
        for (size_t i = 0; i < m_clients.size(); ++i) {
            Client& client = m_clients[i];
            const short revents = polled[firstClient + i].revents;
            const bool more = !client.deadline.hasExpired() && (revents == 0 || serve(client, revents));
            if (more) {
                kept.push_back(std::move(client));
            } else {
                ::close(client.fd);
            }
        }
        m_clients = std::move(kept);
        if (m_listenFd >= 0 && (polled[1].revents & POLLIN)) {
            acceptClients();
        }
        if (polled[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            inputOpen = readInput(inFd);
        } else if (polled[0].revents & POLLNVAL) {
            inputOpen = false;
        }
    }
}

} // namespace kr::companion
