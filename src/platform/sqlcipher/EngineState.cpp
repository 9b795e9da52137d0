#include "platform/sqlcipher/EngineState.h"

#include <utility>

namespace kr {
namespace {

using namespace sqlcipher;
using vault::FileStart;
using vault::RawKey;
using vault::Secret;

constexpr std::size_t MaxKeptKeys = 8;

} // namespace

const SqlCipherEngine::Impl::KeptKey* SqlCipherEngine::Impl::findKey(const Secret& password,
                                                                     const QByteArray& salt) const
{
    for (const KeptKey& kept : keys)
        if (kept.salt == salt && kept.password.equals(password))
            return &kept;
    return nullptr;
}

void SqlCipherEngine::Impl::forgetSalt(const QByteArray& salt)
{
    std::erase_if(keys, [&](const KeptKey& kept) { return kept.salt == salt; });
}

void SqlCipherEngine::Impl::keep(const Secret& password, const QByteArray& salt, Secret text, bool old)
{
    forgetSalt(salt);
    if (keys.size() >= MaxKeptKeys)
        keys.erase(keys.begin());
    keys.push_back(KeptKey{Secret(password.data(), static_cast<std::size_t>(password.size())), salt,
                           std::move(text), old});
}

DbStatus SqlCipherEngine::Impl::derive(KeyKind kind, const Secret& password, const QByteArray& salt,
                                       RawKey& key)
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

DbStatus SqlCipherEngine::Impl::newVaultKey(const Secret& password, QByteArray& salt, Secret& text)
{
    salt = vault::freshSalt();
    if (salt.isEmpty())
        return {DbErrUnrecognized, QStringLiteral("no random salt")};
    RawKey key;
    DbStatus status = derive(KeyKind::Vault, password, salt, key);
    if (status.ok())
        text = vault::keyText(key, salt);
    return status;
}

DbStatus SqlCipherEngine::Impl::openWithKey(const QByteArray& path, const Secret& key, DbHandle& out)
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

DbStatus SqlCipherEngine::Impl::openKeyed(const QByteArray& path, const Secret& password, DbHandle& db,
                                          bool& old)
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
        DbStatus status = openWithKey(path, kept->text, db);
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
    // other pages do, or a salt that no version could have written (a zeroed
    // first page) on a file of whole pages.
    if (vault::isDamagedSalt(salt) || vault::laterPageAuthenticates(path, vaultKey, salt) ||
        (mayBeOld && vault::laterPageAuthenticates(path, oldKey, salt)))
        return {DbErrUnrecognized, QStringLiteral("the first page of the database file is damaged")};
    return status;
}

DbStatus SqlCipherEngine::Impl::lockExclusively(sqlite3* db)
{
    int rc = exec(db, "PRAGMA locking_mode = EXCLUSIVE;");
    if (rc == SQLITE_OK)
        rc = exec(db, "BEGIN EXCLUSIVE;");
    if (rc == SQLITE_OK)
        rc = exec(db, "ROLLBACK;"); // the lock stays; an open writes nothing
    if (rc != SQLITE_OK) {
        DbStatus status = statusFrom(rc, db);
        if (!sqlite3_get_autocommit(db))
            exec(db, "ROLLBACK;");
        return status;
    }
    return {};
}

DbStatus SqlCipherEngine::Impl::openHandle(const QByteArray& path, bool exclusive, const Secret& password,
                                           DbHandle& out, bool& old)
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

} // namespace kr
