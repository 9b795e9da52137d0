#pragma once
// The database engine on SQLCipher 3.4.1: an empty password is a plain SQLite
// file, any other password an AES-256 encrypted one, keyed with Argon2id of the
// password and the file's salt (SQLCipher's raw-key form: it derives nothing).
// Vaults of earlier versions (SQLCipher's PBKDF2) still open and say so.
#include "platform/DatabaseEngine.h"
#include "platform/KeyDerivation.h"

#include <QString>
#include <functional>
#include <memory>
#include <optional>

namespace kr {

class SqlCipherEngine final : public IDatabaseEngine {
public:
    // How long an open or a statement waits for another process's lock.
    static constexpr int BusyTimeoutMs = 250;

    // The steps of a password change, in the order they run. The old file is
    // never touched before Rename, and a failure at any step puts it back.
    enum class ChangeStep {
        CreateTemp, // mkstemp a 0600 file beside the database
        Attach,     // attach it with the new key
        Export,     // copy every object and user_version into it
        Commit,
        Detach,
        SyncTemp,   // fsync the new file
        VerifyTemp, // open it afresh with the new password, compare row counts
        KeepOld,    // hard link to the old file, the way back
        Rename,     // the new file takes the database's name
        SyncFolder, // make the rename durable
        Confirm,    // the name now holds the verified file
        Finish,     // drop the way back
        // Not a step of a change that goes well: the roll-back's rename of the
        // old file back to its name, after a failure past Rename.
        RollBackRename,
    };
    static QString changeStepName(ChangeStep step);
    // The steps of a change that goes well.
    static constexpr int ChangeStepCount = static_cast<int>(ChangeStep::Finish) + 1;

    // Called before each step; returning true makes that step fail. For tests.
    using FaultHook = std::function<bool(ChangeStep)>;

    // Keys from the vault's own derivation, or from the one given (which must
    // outlive the engine).
    SqlCipherEngine();
    explicit SqlCipherEngine(IKeyDerivation& keys);
    ~SqlCipherEngine() override;
    SqlCipherEngine(const SqlCipherEngine&) = delete;
    SqlCipherEngine& operator=(const SqlCipherEngine&) = delete;

    // A connection must not outlive the engine that opened it.
    DbStatus open(const QString& path, bool exclusive, const QString& connect,
                  std::unique_ptr<IDbConnection>& connection) override;

    // Wipes the derived keys kept from earlier opens.
    void forgetKeys() override;
    void setFaultHook(FaultHook hook);

    // ";pwd=<password>" (or an empty text) -> the password; false when the text
    // has another shape.
    static bool passwordFromConnect(const QString& connect, QString& password);

    struct Impl;

private:
    std::unique_ptr<IKeyDerivation> m_ownKeys;
    std::unique_ptr<Impl> d;
};

} // namespace kr
