#include "store/EmptyVault.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kr {

namespace {

EmptyVaultResult failed(QString* error, const char* what, const QByteArray& path, int number)
{
    *error =
        QStringLiteral("%1 %2: %3")
            .arg(QLatin1String(what), QFile::decodeName(path), QString::fromLocal8Bit(std::strerror(number)));
    return EmptyVaultResult::Failed;
}

bool syncFile(const QByteArray& path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    const bool synced = fd >= 0 && ::fsync(fd) == 0;
    if (fd >= 0)
        ::close(fd);
    return synced;
}

} // namespace

// The table is built in a private file beside the target, which then gets the
// target's name by link(): that never replaces an existing name, and the name
// never shows a half-built file.
EmptyVaultResult MakeEmptyVault(IDatabaseEngine& engine, const QString& path, QString* error)
{
    const QByteArray target = QFile::encodeName(path);
    struct stat existing {};
    if (::lstat(target.constData(), &existing) == 0)
        return EmptyVaultResult::Exists;

    const QFileInfo info(path);
    const QByteArray dir = QFile::encodeName(info.absolutePath());
    QByteArray temp = dir + "/." + QFile::encodeName(info.fileName()) + ".make-XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return failed(error, "cannot create a file beside", target, errno);
    const bool private0600 = ::fchmod(fd, S_IRUSR | S_IWUSR) == 0;
    const bool synced = private0600 && ::fsync(fd) == 0;
    const int prepareError = errno;
    ::close(fd);
    auto cleanUp = [&] {
        ::unlink(temp.constData());
        ::unlink((temp + "-journal").constData());
    };
    if (!synced) {
        cleanUp();
        return failed(error, "cannot prepare", temp, prepareError);
    }

    {
        std::unique_ptr<IDbConnection> connection;
        DbStatus status = engine.open(QFile::decodeName(temp), false, QStringLiteral(";pwd="), connection);
        if (status.ok())
            status =
                connection->execute(QStringLiteral("CREATE TABLE tblSite (Site TEXT, User TEXT, Pass TEXT)"));
        if (connection)
            connection->close();
        if (!status.ok()) {
            cleanUp();
            *error = QStringLiteral("cannot build the table in %1: %2")
                         .arg(QFile::decodeName(temp), status.description);
            return EmptyVaultResult::Failed;
        }
    }

    if (!syncFile(temp)) {
        const int number = errno;
        cleanUp();
        return failed(error, "cannot write", temp, number);
    }
    if (::link(temp.constData(), target.constData()) != 0) {
        const int number = errno;
        cleanUp();
        if (number == EEXIST)
            return EmptyVaultResult::Exists;
        return failed(error, "cannot create", target, number);
    }
    cleanUp();
    const int dirFd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return EmptyVaultResult::Created;
}

} // namespace kr
