#include "platform/sqlcipher/SqlCipherEngine.h"

#include "platform/sqlcipher/EngineState.h"
#include "platform/sqlcipher/SqlCipherSupport.h"
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

using namespace sqlcipher;
using vault::FileStart;
using vault::RawKey;
using vault::Secret;

const char* const StepNames[] = {"CreateTemp", "Attach",     "Export",        "Commit", "Detach",
                                 "SyncTemp",   "VerifyTemp", "KeepOld",       "Rename", "SyncFolder",
                                 "Confirm",    "Finish",     "RollBackRename"};
static_assert(std::size(StepNames) == SqlCipherEngine::ChangeStepCount + 1);

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
        DbStatus status = prepareSingle(m_db.get(), statement, stmt);
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
        DbStatus status = prepareSingle(m_db.get(), statement, stmt);
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
            DbStatus status = m_engine.newVaultKey(next, newSalt, fresh);
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

SqlCipherEngine::SqlCipherEngine()
    : m_ownKeys(std::make_unique<VaultKeyDerivation>()), d(std::make_unique<Impl>(*m_ownKeys))
{}

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
    DbStatus status = d->openHandle(QFile::encodeName(fullPath), exclusive, secret, db, oldKey);
    if (!status.ok())
        return status;
    connection = std::make_unique<SqlCipherConnection>(*d, fullPath, exclusive, std::move(secret),
                                                       std::move(db), oldKey);
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
