#include "platform/instance/FileLock.h"

#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kr {

namespace {

constexpr int kRetryMs = 20;

} // namespace

FileLock::Outcome FileLock::lockFile(const QString& path, int waitMs)
{
    unlock();
    const QByteArray name = QFile::encodeName(path);
    m_fd = ::open(name.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (m_fd < 0 && errno == ELOOP && ::unlink(name.constData()) == 0) // a link, not a lock
        m_fd = ::open(name.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    struct stat info {};
    if (m_fd < 0 || ::fstat(m_fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        unlock();
        return Outcome::Unusable;
    }
    return take(waitMs);
}

FileLock::Outcome FileLock::lockFolder(const QString& dir)
{
    unlock();
    m_fd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_fd < 0)
        return Outcome::Unusable;
    return take(0);
}

FileLock::Outcome FileLock::take(int waitMs)
{
    QElapsedTimer waited;
    waited.start();
    while (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        if (error != EWOULDBLOCK && error != EINTR) {
            unlock();
            return Outcome::Unusable;
        }
        if (waited.elapsed() >= waitMs) {
            unlock();
            return Outcome::Held;
        }
        QThread::msleep(kRetryMs);
    }
    return Outcome::Locked;
}

void FileLock::unlock()
{
    if (m_fd >= 0)
        ::close(m_fd); // closing the last descriptor lets the lock go
    m_fd = -1;
}

} // namespace kr
