#include "store/ChangeLeftovers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kr {
namespace {

// The bytes SQLite locks on (pending, reserved and the shared range).
constexpr off_t LockBytesStart = 0x40000000;
constexpr off_t LockBytesLength = 512;

bool lockedElsewhere(const QByteArray& path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return true; // cannot tell: leave everything as it is
    struct flock probe {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    probe.l_start = LockBytesStart;
    probe.l_len = LockBytesLength;
    const bool locked = ::fcntl(fd, F_GETLK, &probe) != 0 || probe.l_type != F_UNLCK;
    ::close(fd);
    return locked;
}

bool hasJournalToRecover(const QString& databasePath)
{
    const QFileInfo journal(databasePath + QStringLiteral("-journal"));
    return journal.exists() && journal.size() > 0;
}

bool isSuperJournal(const QString& databaseName, const QString& fileName)
{
    return fileName.startsWith(databaseName + QStringLiteral("-mj"));
}

} // namespace

bool IsChangeLeftover(const QString& databaseName, const QString& fileName)
{
    const QString name = QRegularExpression::escape(databaseName);
    static const QString patterns = QStringLiteral(
        "^(\\.%1\\.new-[A-Za-z0-9]{6}(-journal)?|\\.%1\\.old-[0-9a-f]{1,8}|%1-mj[0-9A-Fa-f]{6,12})$");
    const QRegularExpression pattern(patterns.arg(name));
    return pattern.match(fileName).hasMatch();
}

QStringList RemoveChangeLeftovers(const QString& databasePath)
{
    QStringList removed;
    const QFileInfo database(databasePath);
    struct stat dbInfo {};
    const QByteArray dbPath = QFile::encodeName(database.absoluteFilePath());
    // Without a whole database file in place a leftover may be all there is.
    if (::stat(dbPath.constData(), &dbInfo) != 0 || !S_ISREG(dbInfo.st_mode) || lockedElsewhere(dbPath))
        return removed;
    const bool keepSuperJournals = hasJournalToRecover(database.absoluteFilePath());
    const QString dbName = database.fileName();
    const QDir folder = database.absoluteDir();
    const QStringList names =
        folder.entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& name : names) {
        if (!IsChangeLeftover(dbName, name) || (keepSuperJournals && isSuperJournal(dbName, name)))
            continue;
        const QByteArray path = QFile::encodeName(folder.filePath(name));
        struct stat info {};
        if (::lstat(path.constData(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid())
            continue;
        // A second name of the database's own file goes too, but not if the
        // database's name is a symbolic link to it.
        if (QFileInfo(database.absoluteFilePath()).canonicalFilePath() ==
            QFileInfo(folder.filePath(name)).canonicalFilePath())
            continue;
        if (::unlink(path.constData()) == 0)
            removed << name;
    }
    return removed;
}

} // namespace kr
