#include "platform/sqlcipher/SqlCipherSupport.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kr::sqlcipher {

// An SQLite result code -> the error number callers decide on.
DbStatus statusFrom(int rc, sqlite3* db)
{
    const QString message = QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
    switch (rc & 0xff) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE:
        return {};
    case SQLITE_NOTADB:
        return {DbErrNotValidPassword, message};
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return {DbErrFileInUse, message};
    case SQLITE_CANTOPEN:
        if (db && sqlite3_system_errno(db) == ENOENT)
            return {DbErrFileNotFound, message};
        if (db && (sqlite3_system_errno(db) == EACCES || sqlite3_system_errno(db) == EPERM))
            return {DbErrNoPermission, message};
        break;
    case SQLITE_PERM:
    case SQLITE_READONLY:
        return {DbErrNoPermission, message};
    case SQLITE_ERROR:
        if (message.startsWith(QLatin1String("no such table")))
            return {DbErrNoSuchTable, message};
        if (message.startsWith(QLatin1String("no such column")))
            return {DbErrMissingColumn, message};
        break;
    default:
        break;
    }
    return {DbErrUnrecognized, message};
}

DbStatus errnoStatus(const char* what)
{
    const int error = errno;
    return {DbErrUnrecognized,
            QString::fromUtf8(what) + QLatin1String(": ") + QString::fromLocal8Bit(strerror(error))};
}

int exec(sqlite3* db, const QByteArray& sql)
{
    return sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr);
}

// The first read of the file: where a wrong key shows (SQLITE_NOTADB).
int readSchema(sqlite3* db)
{
    sqlite3_stmt* raw = nullptr;
    int rc = sqlite3_prepare_v2(db, "SELECT count(*) FROM sqlite_master;", -1, &raw, nullptr);
    Stmt stmt(raw);
    if (rc != SQLITE_OK)
        return rc;
    rc = sqlite3_step(stmt.get());
    return rc == SQLITE_ROW ? SQLITE_OK : rc;
}

// Every page size is a multiple of the smallest one, so every whole file is too.
bool isTruncated(const QByteArray& path)
{
    constexpr off_t SmallestPage = 512;
    struct stat info {};
    return ::stat(path.constData(), &info) == 0 && info.st_size % SmallestPage != 0;
}

bool syncPath(const QByteArray& path, int flags)
{
    const int fd = ::open(path.constData(), flags | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

std::optional<FileId> fileId(const QByteArray& path)
{
    struct stat info {};
    if (::stat(path.constData(), &info) != 0)
        return std::nullopt;
    return FileId{info.st_dev, info.st_ino};
}

// Every table with its row count: what an export must carry over.
std::optional<std::vector<std::pair<QByteArray, qint64>>> tableCounts(sqlite3* db)
{
    std::vector<std::pair<QByteArray, qint64>> counts;
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT name FROM main.sqlite_master WHERE type='table' ORDER BY name;", -1,
                           &raw, nullptr) != SQLITE_OK)
        return std::nullopt;
    Stmt names(raw);
    int rc;
    while ((rc = sqlite3_step(names.get())) == SQLITE_ROW) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(names.get(), 0));
        counts.emplace_back(QByteArray(text, sqlite3_column_bytes(names.get(), 0)), 0);
    }
    if (rc != SQLITE_DONE)
        return std::nullopt;
    for (auto& [name, count] : counts) {
        QByteArray quoted = name;
        quoted.replace('"', "\"\"");
        const QByteArray sql = "SELECT count(*) FROM main.\"" + quoted + "\";";
        sqlite3_stmt* rawCount = nullptr;
        if (sqlite3_prepare_v2(db, sql.constData(), -1, &rawCount, nullptr) != SQLITE_OK)
            return std::nullopt;
        Stmt stmt(rawCount);
        if (sqlite3_step(stmt.get()) != SQLITE_ROW)
            return std::nullopt;
        count = sqlite3_column_int64(stmt.get(), 0);
    }
    return counts;
}

// Prepares exactly one statement; anything after it must be blanks or comments.
DbStatus prepareSingle(sqlite3* db, const QString& statement, Stmt& out)
{
    const QByteArray sql = statement.toUtf8();
    const char* end = sql.constData() + sql.size();
    const char* tail = nullptr;
    sqlite3_stmt* raw = nullptr;
    int rc = sqlite3_prepare_v2(db, sql.constData(), static_cast<int>(sql.size()), &raw, &tail);
    Stmt stmt(raw);
    if (rc != SQLITE_OK)
        return statusFrom(rc, db);
    if (!stmt)
        return {DbErrUnrecognized, QStringLiteral("no statement")};
    if (tail && tail < end) {
        sqlite3_stmt* rawNext = nullptr;
        rc = sqlite3_prepare_v2(db, tail, static_cast<int>(end - tail), &rawNext, nullptr);
        Stmt next(rawNext);
        if (rc != SQLITE_OK || next)
            return {DbErrUnrecognized, QStringLiteral("more than one statement")};
    }
    out = std::move(stmt);
    return {};
}

} // namespace kr::sqlcipher
