#include "platform/sqlcipher/SqlCipherEngine.h"

// The codec API (sqlite3_key, ATTACH ... KEY) only exists with this defined, and
// only in SQLCipher's header: a bare <sqlite3.h> is the system SQLite.
#define SQLITE_HAS_CODEC 1
#include <sqlcipher/sqlite3.h>

#include "platform/sqlcipher/VaultKey.h"
#include "platform/sqlcipher/VaultKeyDerivation.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace kr {
namespace {

using Step = SqlCipherEngine::ChangeStep;

using vault::FileStart;
using vault::RawKey;
using vault::Secret;

constexpr std::size_t MaxKeptKeys = 8;

const char* const StepNames[] = {"CreateTemp", "Attach",     "Export",        "Commit", "Detach",
                                 "SyncTemp",   "VerifyTemp", "KeepOld",       "Rename", "SyncFolder",
                                 "Confirm",    "Finish",     "RollBackRename"};
static_assert(std::size(StepNames) == SqlCipherEngine::ChangeStepCount + 1);

struct DbCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using DbHandle = std::unique_ptr<sqlite3, DbCloser>;
struct StmtFinalizer {
    void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};
using Stmt = std::unique_ptr<sqlite3_stmt, StmtFinalizer>;

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

struct FileId {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileId&) const = default;
};

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

} // namespace

struct SqlCipherEngine::Impl {
    explicit Impl(IKeyDerivation& keys) : derivation(keys) {}

    struct KeptKey {
        Secret password;
        QByteArray salt;
        Secret text; // SQLCipher's raw-key text
        bool old;    // derived the way earlier versions did
    };
    IKeyDerivation& derivation;
    std::vector<KeptKey> keys; // newest last
    FaultHook faultHook;

    bool stepFails(Step step) const { return faultHook && faultHook(step); }

    const KeptKey* findKey(const Secret& password, const QByteArray& salt) const
    {
        for (const KeptKey& kept : keys)
            if (kept.salt == salt && kept.password.equals(password))
                return &kept;
        return nullptr;
    }
    void forgetSalt(const QByteArray& salt)
    {
        std::erase_if(keys, [&](const KeptKey& kept) { return kept.salt == salt; });
    }
    void keep(const Secret& password, const QByteArray& salt, Secret text, bool old)
    {
        forgetSalt(salt);
        if (keys.size() >= MaxKeptKeys)
            keys.erase(keys.begin());
        keys.push_back(KeptKey{Secret(password.data(), static_cast<std::size_t>(password.size())), salt,
                               std::move(text), old});
    }

    DbStatus derive(KeyKind kind, const Secret& password, const QByteArray& salt, RawKey& key)
    {
        const KeyResult result =
            derivation.derive(kind, password.data(), static_cast<std::size_t>(password.size()),
                              reinterpret_cast<const unsigned char*>(salt.constData()), key.bytes.data());
        if (result == KeyResult::OutOfMemory)
            return {DbErrOutOfMemory, QStringLiteral("not enough memory for the key derivation")};
        if (result != KeyResult::Ok)
            return {DbErrUnrecognized, QStringLiteral("the key derivation failed")};
        return {};
    }

    // A new vault's key: a fresh salt and its derived key, as the text a new file takes.
    DbStatus newVaultKey(const Secret& password, QByteArray& salt, Secret& text)
    {
        salt = vault::freshSalt();
        if (salt.isEmpty())
            return {DbErrUnrecognized, QStringLiteral("no random salt")};
        RawKey key;
        const DbStatus status = derive(KeyKind::Vault, password, salt, key);
        if (status.ok())
            text = vault::keyText(key, salt);
        return status;
    }

    // open_v2 (never creating the file), the raw key, first read.
    DbStatus openWithKey(const QByteArray& path, const Secret& key, DbHandle& out)
    {
        sqlite3* raw = nullptr;
        int rc = sqlite3_open_v2(path.constData(), &raw, SQLITE_OPEN_READWRITE, nullptr);
        DbHandle db(raw);
        if (rc != SQLITE_OK)
            return statusFrom(rc, db.get());
        sqlite3_busy_timeout(db.get(), BusyTimeoutMs);
        if (!key.empty()) {
            rc = sqlite3_key(db.get(), key.data(), key.size());
            if (rc != SQLITE_OK)
                return statusFrom(rc, db.get());
        }
        rc = readSchema(db.get());
        // A database is whole pages; a cut-off file would otherwise pass for a wrong password.
        if ((rc & 0xff) == SQLITE_NOTADB && isTruncated(path))
            return {DbErrUnrecognized, QStringLiteral("the database file is truncated")};
        if (rc != SQLITE_OK)
            return statusFrom(rc, db.get());
        out = std::move(db);
        return {};
    }

    // One derivation per password and file: the key found is kept for the run.
    // A vault of ours is tried with Argon2id; a salt of earlier versions with
    // Argon2id, then their PBKDF2.
    DbStatus openKeyed(const QByteArray& path, const Secret& password, DbHandle& db, bool& old)
    {
        old = false;
        const FileStart start = vault::readFileStart(path);
        switch (start.kind) {
        case FileStart::Unreadable: {
            const DbStatus status = openWithKey(path, Secret(), db); // says why: missing, no permission
            db.reset();
            return status.ok() ? DbStatus{DbErrUnrecognized, QStringLiteral("the file cannot be read")} : status;
        }
        case FileStart::Short:
            return {DbErrUnrecognized, QStringLiteral("the database file is truncated")};
        case FileStart::Plain:
            return {DbErrNotValidPassword, QStringLiteral("a password for a file without one")};
        case FileStart::Empty: {
            QByteArray salt;
            Secret text;
            DbStatus status = newVaultKey(password, salt, text);
            if (status.ok())
                status = openWithKey(path, text, db);
            if (status.ok())
                keep(password, salt, std::move(text), false);
            return status;
        }
        case FileStart::Salted:
            break;
        }
        const QByteArray& salt = start.salt;
        if (isTruncated(path))
            return {DbErrUnrecognized, QStringLiteral("the database file is truncated")};
        if (const KeptKey* kept = findKey(password, salt)) {
            const DbStatus status = openWithKey(path, kept->text, db);
            old = kept->old;
            if (status.number != DbErrNotValidPassword)
                return status;
            old = false;
            forgetSalt(salt); // rekeyed elsewhere: derive afresh
        }
        RawKey vaultKey;
        DbStatus status = derive(KeyKind::Vault, password, salt, vaultKey);
        if (!status.ok())
            return status;
        Secret text = vault::keyText(vaultKey, salt);
        status = openWithKey(path, text, db);
        if (status.ok())
            keep(password, salt, std::move(text), false);
        if (status.number != DbErrNotValidPassword)
            return status;
        RawKey oldKey;
        const bool mayBeOld = !vault::isVaultSalt(salt);
        if (mayBeOld) {
            status = derive(KeyKind::Old, password, salt, oldKey);
            if (!status.ok())
                return status;
            text = vault::keyText(oldKey);
            status = openWithKey(path, text, db);
            old = status.ok();
            if (status.ok())
                keep(password, salt, std::move(text), true);
            if (status.number != DbErrNotValidPassword)
                return status;
        }
        // SQLCipher tells a damaged first page from a wrong key no better: the
        // other pages do.
        if (vault::laterPageAuthenticates(path, vaultKey, salt) ||
            (mayBeOld && vault::laterPageAuthenticates(path, oldKey, salt)))
            return {DbErrUnrecognized, QStringLiteral("the first page of the database file is damaged")};
        return status;
    }

    static DbStatus lockExclusively(sqlite3* db)
    {
        int rc = exec(db, "PRAGMA locking_mode = EXCLUSIVE;");
        if (rc == SQLITE_OK)
            rc = exec(db, "BEGIN EXCLUSIVE;");
        if (rc == SQLITE_OK)
            rc = exec(db, "ROLLBACK;"); // the lock stays; an open writes nothing
        if (rc != SQLITE_OK) {
            const DbStatus status = statusFrom(rc, db);
            if (!sqlite3_get_autocommit(db))
                exec(db, "ROLLBACK;");
            return status;
        }
        return {};
    }

    DbStatus openHandle(const QByteArray& path, bool exclusive, const Secret& password, DbHandle& out, bool& old)
    {
        DbHandle db;
        old = false;
        DbStatus status = password.empty() ? openWithKey(path, password, db) : openKeyed(path, password, db, old);
        if (status.ok() && exclusive)
            status = lockExclusively(db.get());
        if (status.ok())
            out = std::move(db);
        return status;
    }
};

namespace {

// The sqlcipher_export route: the new file is built and verified beside the old
// one and takes its name by rename, so a crash leaves either file whole. On
// failure the destructor puts everything back.
class PasswordChange {
public:
    // newKey: the raw-key text of the new file, empty for a file without password.
    PasswordChange(SqlCipherEngine::Impl& engine, sqlite3* db, const QString& path, const Secret& newKey)
        : m_engine(engine), m_db(db), m_path(QFile::encodeName(path)),
          m_dir(QFile::encodeName(QFileInfo(path).absolutePath())),
          m_base(QFile::encodeName(QFileInfo(path).fileName())), m_newKey(newKey)
    {}
    PasswordChange(const PasswordChange&) = delete;
    PasswordChange& operator=(const PasswordChange&) = delete;
    ~PasswordChange()
    {
        if (!m_done)
            rollBack();
    }

    DbStatus run()
    {
        DbStatus status;
        if (fails(Step::CreateTemp, status))
            return status;
        QByteArray name = m_dir + "/." + m_base + ".new-XXXXXX";
        const int fd = ::mkstemp(name.data());
        if (fd < 0)
            return errnoStatus("cannot create the new database file");
        m_temp = name;
        const bool private0600 = ::fchmod(fd, S_IRUSR | S_IWUSR) == 0;
        ::close(fd);
        if (!private0600)
            return errnoStatus("cannot protect the new database file");

        if (fails(Step::Attach, status) || !attach(status))
            return status;

        if (fails(Step::Export, status) || !sql("BEGIN EXCLUSIVE;", status) ||
            !sql("SELECT sqlcipher_export('newdb');", status))
            return status;
        int version = 0;
        if (!userVersion(version, status) ||
            !sql("PRAGMA newdb.user_version = " + QByteArray::number(version) + ";", status))
            return status;

        if (fails(Step::Commit, status) || !sql("COMMIT;", status))
            return status;
        if (fails(Step::Detach, status) || !sql("DETACH DATABASE newdb;", status))
            return status;
        m_attached = false;

        if (fails(Step::SyncTemp, status))
            return status;
        if (!syncPath(m_temp, O_RDONLY))
            return errnoStatus("cannot write the new database file to disk");

        if (fails(Step::VerifyTemp, status) || !verifyTemp(status))
            return status;

        if (fails(Step::KeepOld, status) || !keepOld(status))
            return status;

        if (fails(Step::Rename, status))
            return status;
        if (::rename(m_temp.constData(), m_path.constData()) != 0)
            return errnoStatus("cannot put the new database file in place");
        m_renamed = true;

        if (fails(Step::SyncFolder, status))
            return status;
        if (!syncPath(m_dir, O_RDONLY | O_DIRECTORY))
            return errnoStatus("cannot write the database folder to disk");

        // The verifying connection has held the new file locked since before
        // the rename, so nobody else can have written to it.
        if (fails(Step::Confirm, status))
            return status;
        if (fileId(m_path) != m_newId || readSchema(m_verify.get()) != SQLITE_OK)
            return {DbErrUnrecognized, QStringLiteral("the database file changed during the change")};

        if (fails(Step::Finish, status))
            return status;
        ::unlink(m_backup.constData());
        m_done = true;
        m_verify.reset();
        syncPath(m_dir, O_RDONLY | O_DIRECTORY);
        return {};
    }

private:
    bool fails(Step step, DbStatus& status) const
    {
        if (!m_engine.stepFails(step))
            return false;
        status = {DbErrUnrecognized,
                  QLatin1String("password change failed at ") + SqlCipherEngine::changeStepName(step)};
        return true;
    }

    bool sql(const QByteArray& text, DbStatus& status)
    {
        const int rc = exec(m_db, text);
        if (rc == SQLITE_OK)
            return true;
        status = statusFrom(rc, m_db);
        return false;
    }

    bool attach(DbStatus& status)
    {
        sqlite3_stmt* raw = nullptr;
        int rc = sqlite3_prepare_v2(m_db, "ATTACH DATABASE ?1 AS newdb KEY ?2;", -1, &raw, nullptr);
        Stmt stmt(raw);
        if (rc == SQLITE_OK)
            rc = sqlite3_bind_text(stmt.get(), 1, m_temp.constData(), static_cast<int>(m_temp.size()),
                                   SQLITE_TRANSIENT);
        // KEY '' attaches a plain file; a NULL key would mean "the main key".
        if (rc == SQLITE_OK)
            rc = sqlite3_bind_text(stmt.get(), 2, m_newKey.data(), m_newKey.size(), SQLITE_STATIC);
        if (rc == SQLITE_OK)
            rc = sqlite3_step(stmt.get());
        if (rc != SQLITE_DONE) {
            status = statusFrom(rc, m_db);
            return false;
        }
        stmt.reset();
        m_attached = true;
        return true;
    }

    bool userVersion(int& version, DbStatus& status)
    {
        sqlite3_stmt* raw = nullptr;
        int rc = sqlite3_prepare_v2(m_db, "PRAGMA main.user_version;", -1, &raw, nullptr);
        Stmt stmt(raw);
        if (rc == SQLITE_OK)
            rc = sqlite3_step(stmt.get());
        if (rc != SQLITE_ROW) {
            status = statusFrom(rc, m_db);
            return false;
        }
        version = sqlite3_column_int(stmt.get(), 0);
        return true;
    }

    bool verifyTemp(DbStatus& status)
    {
        status = m_engine.openWithKey(m_temp, m_newKey, m_verify);
        if (status.ok())
            status = SqlCipherEngine::Impl::lockExclusively(m_verify.get());
        if (!status.ok())
            return false;
        const auto before = tableCounts(m_db);
        const auto after = tableCounts(m_verify.get());
        const auto id = fileId(m_temp);
        if (!before || !after || *before != *after || !id) {
            status = {DbErrUnrecognized, QStringLiteral("the new database file does not match")};
            return false;
        }
        m_newId = *id;
        return true;
    }

    // A second name for the old file until the new one is confirmed.
    bool keepOld(DbStatus& status)
    {
        for (int attempt = 0; attempt < 32; ++attempt) {
            const QByteArray name = m_dir + "/." + m_base + ".old-" +
                                    QByteArray::number(QRandomGenerator::system()->generate(), 16);
            if (::link(m_path.constData(), name.constData()) == 0) {
                m_backup = name;
                return true;
            }
            if (errno != EEXIST)
                break;
        }
        status = errnoStatus("cannot keep the old database file");
        return false;
    }

    void rollBack()
    {
        if (!sqlite3_get_autocommit(m_db))
            exec(m_db, "ROLLBACK;");
        if (m_attached)
            exec(m_db, "DETACH DATABASE newdb;");
        m_verify.reset();
        if (m_renamed) {
            if (m_engine.stepFails(Step::RollBackRename) ||
                ::rename(m_backup.constData(), m_path.constData()) != 0)
                return; // the name keeps the verified new file, the old one its second name
            syncPath(m_dir, O_RDONLY | O_DIRECTORY);
            return;
        }
        if (!m_temp.isEmpty()) {
            ::unlink(m_temp.constData());
            ::unlink((m_temp + "-journal").constData());
        }
        if (!m_backup.isEmpty())
            ::unlink(m_backup.constData());
    }

    SqlCipherEngine::Impl& m_engine;
    sqlite3* m_db;
    const QByteArray m_path;
    const QByteArray m_dir;
    const QByteArray m_base;
    const Secret& m_newKey;
    QByteArray m_temp;
    QByteArray m_backup;
    DbHandle m_verify;
    FileId m_newId;
    bool m_attached = false;
    bool m_renamed = false;
    bool m_done = false;
};

class SqlCipherConnection final : public IDbConnection {
public:
    SqlCipherConnection(SqlCipherEngine::Impl& engine, QString path, bool exclusive, Secret password,
                        DbHandle db, bool oldKey)
        : m_engine(engine), m_path(std::move(path)), m_exclusive(exclusive), m_password(std::move(password)),
          m_db(std::move(db)), m_oldKey(oldKey)
    {}
    ~SqlCipherConnection() override { close(); }

    DbStatus execute(const QString& statement) override
    {
        if (!m_db)
            return closed();
        Stmt stmt;
        const DbStatus status = prepareSingle(m_db.get(), statement, stmt);
        if (!status.ok())
            return status;
        int rc;
        while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
        }
        return rc == SQLITE_DONE ? DbStatus{} : statusFrom(rc, m_db.get());
    }

    DbStatus select(const QString& statement, std::vector<DbRow>& rows) override
    {
        rows.clear();
        if (!m_db)
            return closed();
        Stmt stmt;
        const DbStatus status = prepareSingle(m_db.get(), statement, stmt);
        if (!status.ok())
            return status;
        const int columns = sqlite3_column_count(stmt.get());
        int rc;
        while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
            DbRow row;
            row.reserve(static_cast<std::size_t>(columns));
            for (int c = 0; c < columns; ++c) {
                if (sqlite3_column_type(stmt.get(), c) == SQLITE_NULL) {
                    row.emplace_back(std::nullopt);
                    continue;
                }
                const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt.get(), c));
                row.emplace_back(QString::fromUtf8(text, sqlite3_column_bytes(stmt.get(), c)));
            }
            rows.push_back(std::move(row));
        }
        if (rc != SQLITE_DONE) {
            rows.clear();
            return statusFrom(rc, m_db.get());
        }
        return {};
    }

    // On success the old file is gone and this connection with it: it is closed.
    DbStatus changePassword(const QString& oldPassword, const QString& newPassword) override
    {
        if (!m_db)
            return closed();
        if (!m_exclusive)
            return {DbErrUnrecognized, QStringLiteral("the password needs an exclusive open")};
        if (!Secret::fromText(oldPassword).equals(m_password))
            return {DbErrNotValidPassword, QStringLiteral("not a valid password")};
        const Secret next = Secret::fromText(newPassword);
        // Through a symbolic link the new file must replace the file, not the link.
        const QString file = QFileInfo(m_path).canonicalFilePath();
        if (file.isEmpty())
            return {DbErrFileNotFound, QStringLiteral("the database file is gone")};
        const QByteArray oldSalt = vault::readFileStart(QFile::encodeName(file)).salt;
        // The same password set again keeps its key and salt: nothing to derive.
        // Any other, and any vault of an earlier version, gets a fresh salt and key.
        const SqlCipherEngine::Impl::KeptKey* same =
            !next.empty() && !m_oldKey && next.equals(m_password) ? m_engine.findKey(next, oldSalt) : nullptr;
        QByteArray newSalt = same ? oldSalt : QByteArray();
        Secret fresh;
        if (!next.empty() && !same) {
            // Before anything is written: without memory for it nothing is.
            const DbStatus status = m_engine.newVaultKey(next, newSalt, fresh);
            if (!status.ok())
                return status;
        }
        DbStatus status;
        {
            PasswordChange change(m_engine, m_db.get(), file, same ? same->text : fresh);
            status = change.run();
        }
        if (!status.ok())
            return status;
        close();
        if (newSalt != oldSalt)
            m_engine.forgetSalt(oldSalt);
        if (!fresh.empty())
            m_engine.keep(next, newSalt, std::move(fresh), false);
        return {};
    }

    bool usesOldKey() const override { return m_oldKey; }

    void close() override
    {
        m_db.reset();
        m_password.wipe();
    }

private:
    static DbStatus closed() { return {DbErrUnrecognized, QStringLiteral("the database is closed")}; }

    SqlCipherEngine::Impl& m_engine;
    QString m_path;
    bool m_exclusive;
    Secret m_password;
    DbHandle m_db;
    bool m_oldKey;
};

} // namespace

SqlCipherEngine::SqlCipherEngine(IKeyDerivation& keys) : d(std::make_unique<Impl>(keys)) {}

SqlCipherEngine::SqlCipherEngine() : m_ownKeys(std::make_unique<VaultKeyDerivation>()), d(std::make_unique<Impl>(*m_ownKeys)) {}

SqlCipherEngine::~SqlCipherEngine() = default;

DbStatus SqlCipherEngine::open(const QString& path, bool exclusive, const QString& connect,
                               std::unique_ptr<IDbConnection>& connection)
{
    connection.reset();
    QString password;
    if (!passwordFromConnect(connect, password))
        return {DbErrUnrecognized, QStringLiteral("connect string not understood")};
    if (path.isEmpty())
        return {DbErrFileNotFound, QStringLiteral("no database file named")};
    Secret secret = Secret::fromText(password);
    password.fill(QChar(0));
    // Absolute, so that no name is read as ":memory:" or a URI.
    const QString fullPath = QFileInfo(path).absoluteFilePath();
    DbHandle db;
    bool oldKey = false;
    const DbStatus status = d->openHandle(QFile::encodeName(fullPath), exclusive, secret, db, oldKey);
    if (!status.ok())
        return status;
    connection = std::make_unique<SqlCipherConnection>(*d, fullPath, exclusive, std::move(secret), std::move(db),
                                                       oldKey);
    return {};
}

void SqlCipherEngine::forgetKeys()
{
    d->keys.clear();
}

void SqlCipherEngine::setFaultHook(FaultHook hook)
{
    d->faultHook = std::move(hook);
}

bool SqlCipherEngine::passwordFromConnect(const QString& connect, QString& password)
{
    const QLatin1String key(";pwd=");
    if (connect.isEmpty()) {
        password.clear();
        return true;
    }
    if (!connect.startsWith(key, Qt::CaseInsensitive))
        return false;
    password = connect.mid(key.size());
    return true;
}

QString SqlCipherEngine::changeStepName(ChangeStep step)
{
    return QString::fromLatin1(StepNames[static_cast<int>(step)]);
}

} // namespace kr
