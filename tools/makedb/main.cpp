// keyrovia-makedb <path>: puts an empty database (table tblSite, no password,
// mode 0600) at path when nothing is there. An existing file is never touched.
#include "platform/sqlcipher/SqlCipherEngine.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int fail(const char* what, const QByteArray& path, const QString& why)
{
    std::fprintf(stderr, "keyrovia-makedb: %s %s: %s\n", what, path.constData(),
                 why.toLocal8Bit().constData());
    return 1;
}

QString lastError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// The table is built in a private file beside the target, which then gets the
// target's name by link(): that never replaces an existing name, and the name
// never shows a half-built file.
int makeDatabase(const QByteArray& target)
{
    const QFileInfo info(QFile::decodeName(target));
    const QByteArray dir = QFile::encodeName(info.absolutePath());
    QByteArray temp = dir + "/." + QFile::encodeName(info.fileName()) + ".make-XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return fail("cannot create a file beside", target, lastError());
    const bool private0600 = ::fchmod(fd, S_IRUSR | S_IWUSR) == 0;
    const bool synced = private0600 && ::fsync(fd) == 0;
    ::close(fd);
    auto cleanUp = [&] {
        ::unlink(temp.constData());
        ::unlink((temp + "-journal").constData());
    };
    if (!synced) {
        const QString why = lastError();
        cleanUp();
        return fail("cannot prepare", temp, why);
    }

    {
        kr::SqlCipherEngine engine;
        std::unique_ptr<kr::IDbConnection> connection;
        kr::DbStatus status =
            engine.open(QFile::decodeName(temp), false, QStringLiteral(";pwd="), connection);
        if (status.ok())
            status =
                connection->execute(QStringLiteral("CREATE TABLE tblSite (Site TEXT, User TEXT, Pass TEXT)"));
        if (connection)
            connection->close();
        if (!status.ok()) {
            cleanUp();
            return fail("cannot build the table in", temp, status.description);
        }
    }

    const int tempFd = ::open(temp.constData(), O_RDONLY | O_CLOEXEC);
    const bool durable = tempFd >= 0 && ::fsync(tempFd) == 0;
    if (tempFd >= 0)
        ::close(tempFd);
    if (!durable) {
        const QString why = lastError();
        cleanUp();
        return fail("cannot write", temp, why);
    }

    if (::link(temp.constData(), target.constData()) != 0) {
        const int error = errno;
        cleanUp();
        if (error == EEXIST) {
            std::printf("%s exists, left as it is\n", target.constData());
            return 0;
        }
        errno = error;
        return fail("cannot create", target, lastError());
    }
    cleanUp();
    const int dirFd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    std::printf("%s created (empty, no password)\n", target.constData());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2 || argv[1][0] == '\0') {
        std::fprintf(stderr, "usage: keyrovia-makedb <path of the database file>\n");
        return 2;
    }
    const QByteArray target(argv[1]);
    // Anything at the name, even a dangling link, is left alone.
    struct stat existing {};
    if (::lstat(target.constData(), &existing) == 0) {
        std::printf("%s exists, left as it is\n", target.constData());
        return 0;
    }
    return makeDatabase(target);
}
