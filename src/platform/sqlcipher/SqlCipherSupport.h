#pragma once
// What the SQLCipher engine is built from: owned handles, SQLite's result codes
// turned into the error numbers callers decide on, and the file-level steps of
// a password change.
#include "platform/DatabaseEngine.h"

// The codec API (sqlite3_key, ATTACH ... KEY) only exists with this defined, and
// only in SQLCipher's header: a bare <sqlite3.h> is the system SQLite.
#define SQLITE_HAS_CODEC 1
#include <sqlcipher/sqlite3.h>

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace kr::sqlcipher {

struct DbCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using DbHandle = std::unique_ptr<sqlite3, DbCloser>;
struct StmtFinalizer {
    void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};
using Stmt = std::unique_ptr<sqlite3_stmt, StmtFinalizer>;

struct FileId {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileId&) const = default;
};

// An SQLite result code -> the error number callers decide on.
DbStatus statusFrom(int rc, sqlite3* db);
// A failed system call, with errno's text.
DbStatus errnoStatus(const char* what);
int exec(sqlite3* db, const QByteArray& sql);
// The first read of the file: where a wrong key shows (SQLITE_NOTADB).
int readSchema(sqlite3* db);
// Every page size is a multiple of the smallest one, so every whole file is too.
bool isTruncated(const QByteArray& path);
bool syncPath(const QByteArray& path, int flags);
std::optional<FileId> fileId(const QByteArray& path);
// Every table with its row count: what an export must carry over.
std::optional<std::vector<std::pair<QByteArray, qint64>>> tableCounts(sqlite3* db);
// Prepares exactly one statement; anything after it must be blanks or comments.
DbStatus prepareSingle(sqlite3* db, const QString& statement, Stmt& out);

} // namespace kr::sqlcipher
