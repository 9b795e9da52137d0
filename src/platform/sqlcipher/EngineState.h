#pragma once
// The engine's state for a run: the key derivation and the keys found with it,
// kept beside their password and salt, and the opens that use them.
#include "platform/sqlcipher/SqlCipherEngine.h"
#include "platform/sqlcipher/SqlCipherSupport.h"
#include "platform/sqlcipher/VaultKey.h"

#include <QByteArray>
#include <vector>

namespace kr {

struct SqlCipherEngine::Impl {
    explicit Impl(IKeyDerivation& keys) : derivation(keys) {}

    struct KeptKey {
        vault::Secret password;
        QByteArray salt;
        vault::Secret text; // SQLCipher's raw-key text
        bool old;           // derived the way earlier versions did
    };

    IKeyDerivation& derivation;
    std::vector<KeptKey> keys; // newest last
    FaultHook faultHook;

    bool stepFails(SqlCipherEngine::ChangeStep step) const { return faultHook && faultHook(step); }

    const KeptKey* findKey(const vault::Secret& password, const QByteArray& salt) const;
    void forgetSalt(const QByteArray& salt);
    void keep(const vault::Secret& password, const QByteArray& salt, vault::Secret text, bool old);

    DbStatus derive(KeyKind kind, const vault::Secret& password, const QByteArray& salt, vault::RawKey& key);

    // A new vault's key: a fresh salt and its derived key, as the text a new file takes.
    DbStatus newVaultKey(const vault::Secret& password, QByteArray& salt, vault::Secret& text);

    // open_v2 (never creating the file), the raw key, first read.
    DbStatus openWithKey(const QByteArray& path, const vault::Secret& key, sqlcipher::DbHandle& out);

    // One derivation per password and file: the key found is kept for the run.
    // A vault of ours is tried with Argon2id; a salt of earlier versions with
    // Argon2id, then their PBKDF2.
    DbStatus openKeyed(const QByteArray& path, const vault::Secret& password, sqlcipher::DbHandle& db,
                       bool& old);

    // The exclusive lock, taken at once; an open writes nothing.
    static DbStatus lockExclusively(sqlite3* db);

    // openKeyed, or a plain open for an empty password; then the lock if asked.
    DbStatus openHandle(const QByteArray& path, bool exclusive, const vault::Secret& password,
                        sqlcipher::DbHandle& out, bool& old);
};

} // namespace kr
