#pragma once
// Database files for the store tests, built through the engine under test, and
// child processes that hold a file, die or change who they are.
#include "DerivationDouble.h"
#include "TestKit.h"
#include "common/SiteRecord.h"
#include "platform/sqlcipher/SqlCipherEngine.h"

#define SQLITE_HAS_CODEC 1
#include <sqlcipher/sqlite3.h>

#include <QDir>
#include <QFile>
#include <QStringList>

#include <algorithm>
#include <functional>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace kr::test {

inline QString connectWith(const QString& password)
{
    return QLatin1String(";pwd=") + password;
}

inline int openNumber(IDatabaseEngine& engine, const QString& path, const QString& password)
{
    std::unique_ptr<IDbConnection> connection;
    return engine.open(path, false, connectWith(password), connection).number;
}

// A 0-byte file: the engine makes it a database (plain or keyed) at the first write.
inline bool touch(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::NewOnly) &&
           file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
}

// tblSite with the rows, then the further statements, in one transaction.
inline QStringList tableStatements(const std::vector<SiteRecord>& rows, const QStringList& more = {})
{
    const auto text = [](QString value) { return value.replace(u'\'', QLatin1String("''")); };
    QStringList statements{"BEGIN", "CREATE TABLE tblSite (Site TEXT, User TEXT, Pass TEXT)"};
    for (const SiteRecord& r : rows)
        statements << QStringLiteral("INSERT INTO tblSite VALUES ('%1','%2','%3')")
                          .arg(text(r.Site), text(r.User), text(r.Pass));
    return statements << more << "COMMIT";
}

// An empty password gives a plain file.
inline bool makeDatabase(IDatabaseEngine& engine, const QString& path, const QString& password,
                         const std::vector<SiteRecord>& rows, const QStringList& more = {})
{
    const QStringList statements = tableStatements(rows, more);
    std::unique_ptr<IDbConnection> connection;
    if (!touch(path) || !engine.open(path, false, connectWith(password), connection).ok())
        return false;
    return std::all_of(statements.begin(), statements.end(),
                       [&](const QString& statement) { return connection->execute(statement).ok(); });
}

// A vault as earlier versions wrote it: SQLCipher's own key derivation of the
// password (PBKDF2-HMAC-SHA1, 256,000 iterations).
inline bool makeOldVault(const QString& path, const QString& password, const std::vector<SiteRecord>& rows)
{
    const QByteArray key = password.toUtf8();
    const QByteArray sql = "PRAGMA kdf_iter = 256000;" + tableStatements(rows).join(';').toUtf8() + ';';
    sqlite3* db = nullptr;
    const bool made = sqlite3_open_v2(QFile::encodeName(path).constData(), &db,
                                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) == SQLITE_OK &&
                      sqlite3_key(db, key.constData(), int(key.size())) == SQLITE_OK &&
                      sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close_v2(db);
    return made;
}

inline std::vector<SiteRecord> sampleRows(int count)
{
    std::vector<SiteRecord> rows;
    for (int i = 0; i < count; ++i)
        rows.push_back({QStringLiteral("site%1.example").arg(i, 5, 10, QLatin1Char('0')),
                        QStringLiteral("user%1").arg(i), QStringLiteral("p'ss é %1").arg(i)});
    return rows;
}

// Every row in the order it was stored (Null as "<null>"), or none when the file does not open.
inline std::vector<SiteRecord> readAll(IDatabaseEngine& engine, const QString& path, const QString& password)
{
    std::unique_ptr<IDbConnection> connection;
    std::vector<DbRow> rows;
    std::vector<SiteRecord> records;
    if (engine.open(path, false, connectWith(password), connection).ok())
        connection->select("SELECT Site,User,Pass FROM tblSite ORDER BY rowid", rows);
    for (const DbRow& row : rows)
        records.push_back({row[0].value_or("<null>"), row[1].value_or("<null>"), row[2].value_or("<null>")});
    return records;
}

// Hidden files included: a password change must leave no temporary file behind.
inline QStringList folderEntries(const QString& dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                               QDir::Name);
}

// Runs work in a child process, which ends with its return value. Returns once
// the child called ready (which it may do once) or ended.
inline pid_t forkChild(const std::function<int(const std::function<void()>& ready)>& work)
{
    int ends[2];
    if (::pipe(ends) != 0)
        return -1;
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(work([&] { (void)!::write(ends[1], "x", 1); }));
    ::close(ends[1]);
    char got = 0;
    (void)!::read(ends[0], &got, 1);
    ::close(ends[0]);
    return child;
}

// A child's exit code; -1 when it was killed.
inline int exitCodeOf(pid_t child)
{
    int status = 0;
    return ::waitpid(child, &status, 0) == child && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace kr::test
