#pragma once
// The database engine behind the password store: one password-protected file,
// opened for one statement and closed again.
#include <QString>
#include <memory>
#include <optional>
#include <vector>

namespace kr {

// Error numbers of the classic engine that callers decide on.
enum DbErrorNumber : int {
    DbOk = 0,
    DbErrOutOfMemory = 7,         // no memory for the key derivation
    DbErrFileNotFound = 3024,     // the database file is missing
    DbErrNotValidPassword = 3031, // wrong password, or not a database of ours
    DbErrFileInUse = 3045,        // locked by another process
    DbErrNoPermission = 3051,     // the file cannot be read (no permission)
    DbErrUnrecognized = 3343,     // damaged or truncated file, or any other engine failure
    DbErrNoSuchTable = 3078,      // the table is missing (an empty file)
    DbErrMissingColumn = 3265,    // the table has lost one of its columns
};

struct DbStatus {
    int number = DbOk;
    QString description;
    bool ok() const { return number == DbOk; }
};

using DbRow = std::vector<std::optional<QString>>; // a Null field is std::nullopt

class IDbConnection {
public:
    virtual ~IDbConnection() = default;
    virtual DbStatus execute(const QString& statement) = 0;
    virtual DbStatus select(const QString& statement, std::vector<DbRow>& rows) = 0;
    // Replaces the file's password (either may be empty = no password). Needs an
    // exclusive open. The change is verified by reopening before it reports success;
    // the file that was open has then been replaced, so the connection is closed.
    virtual DbStatus changePassword(const QString& oldPassword, const QString& newPassword) = 0;
    // Whether the file is keyed the way earlier versions did (to be rewritten).
    virtual bool usesOldKey() const = 0;
    virtual void close() = 0;
};

class IDatabaseEngine {
public:
    virtual ~IDatabaseEngine() = default;
    // connect: ";pwd=" followed by the password. The open proves the password:
    // it fails with DbErrNotValidPassword when the password does not open the file.
    virtual DbStatus open(const QString& path, bool exclusive, const QString& connect,
                          std::unique_ptr<IDbConnection>& connection) = 0;
    // Wipes whatever the engine keeps from earlier opens (derived keys, passwords).
    virtual void forgetKeys() {}
};

} // namespace kr
