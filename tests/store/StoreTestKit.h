#pragma once
// Database files for the store tests, built through the engine under test.
#include "common/SiteRecord.h"
#include "platform/sqlcipher/SqlCipherEngine.h"

#include <QDir>
#include <QFile>
#include <QStringList>

#include <optional>
#include <sys/stat.h>
#include <vector>

namespace kr::test {

inline QString connectWith(const QString& password) {
    return QLatin1String(";pwd=") + password;
}

inline QString sqlText(const QString& value) {
    QString text = value;
    text.replace(QLatin1Char('\''), QLatin1String("''"));
    return QLatin1Char('\'') + text + QLatin1Char('\'');
}

// A 0-byte file: the engine makes it a database (plain or keyed) at the first write.
inline bool touch(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return false;
    return file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
}

// Runs the statements in one transaction on a fresh connection.
inline bool run(IDatabaseEngine& engine, const QString& path, const QString& password,
                const QStringList& statements) {
    std::unique_ptr<IDbConnection> connection;
    if (!engine.open(path, false, connectWith(password), connection).ok())
        return false;
    bool ok = connection->execute(QStringLiteral("BEGIN")).ok();
    for (const QString& statement : statements)
        ok = ok && connection->execute(statement).ok();
    ok = ok && connection->execute(QStringLiteral("COMMIT")).ok();
    connection->close();
    return ok;
}

inline QString insertRow(const SiteRecord& row) {
    return QLatin1String("INSERT INTO tblSite VALUES (") + sqlText(row.Site) + QLatin1Char(',') +
           sqlText(row.User) + QLatin1Char(',') + sqlText(row.Pass) + QLatin1Char(')');
}

// tblSite with the rows; an empty password gives a plain file.
inline bool makeDatabase(IDatabaseEngine& engine, const QString& path, const QString& password,
                         const std::vector<SiteRecord>& rows) {
    if (!touch(path))
        return false;
    QStringList statements{
        QStringLiteral("CREATE TABLE tblSite (Site TEXT, User TEXT, Pass TEXT)")};
    for (const SiteRecord& row : rows)
        statements << insertRow(row);
    return run(engine, path, password, statements);
}

inline std::vector<SiteRecord> sampleRows(int count) {
    std::vector<SiteRecord> rows;
    rows.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        rows.push_back({QStringLiteral("site%1.example").arg(i, 5, 10, QLatin1Char('0')),
                        QStringLiteral("user%1").arg(i), QStringLiteral("p'ss é %1").arg(i)});
    return rows;
}

// Every row in the order it was stored, or nothing when the file does not open.
inline std::optional<std::vector<DbRow>> readAll(IDatabaseEngine& engine, const QString& path,
                                                 const QString& password) {
    std::unique_ptr<IDbConnection> connection;
    if (!engine.open(path, false, connectWith(password), connection).ok())
        return std::nullopt;
    std::vector<DbRow> rows;
    const bool ok =
        connection
            ->select(QStringLiteral("SELECT Site,User,Pass FROM tblSite ORDER BY rowid"), rows)
            .ok();
    connection->close();
    if (!ok)
        return std::nullopt;
    return rows;
}

inline std::vector<DbRow> asDbRows(const std::vector<SiteRecord>& records) {
    std::vector<DbRow> rows;
    for (const SiteRecord& r : records)
        rows.push_back({r.Site, r.User, r.Pass});
    return rows;
}

inline int openNumber(IDatabaseEngine& engine, const QString& path, const QString& password,
                      bool exclusive = false) {
    std::unique_ptr<IDbConnection> connection;
    return engine.open(path, exclusive, connectWith(password), connection).number;
}

// Hidden files included: a password change must leave no temporary file behind.
inline QStringList folderEntries(const QString& dir) {
    return QDir(dir).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// Permission bits, or -1 when there is no file.
inline int fileMode(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return -1;
    return static_cast<int>(info.st_mode & 07777);
}

inline QByteArray fileHead(const QString& path, int size) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.read(size) : QByteArray();
}

} // namespace kr::test
