#include "platform/sqlcipher/VaultKeyDerivation.h"

#include <argon2.h>
#include <openssl/evp.h>

namespace kr {

KeyResult VaultKeyDerivation::derive(KeyKind kind, const char* password, std::size_t passwordSize,
                                     const unsigned char* salt, unsigned char* key)
{
    if (kind == KeyKind::Old) {
        return PKCS5_PBKDF2_HMAC_SHA1(password, static_cast<int>(passwordSize), salt, VaultSaltSize,
                                      OldIterations, VaultKeySize, key) == 1
                   ? KeyResult::Ok
                   : KeyResult::Failed;
    }
    // The library neither keeps nor changes the password; it wipes its own memory.
    argon2_context context{};
    context.out = key;
    context.outlen = VaultKeySize;
    context.pwd = reinterpret_cast<std::uint8_t*>(const_cast<char*>(password));
    context.pwdlen = static_cast<std::uint32_t>(passwordSize);
    context.salt = const_cast<std::uint8_t*>(salt);
    context.saltlen = VaultSaltSize;
    context.t_cost = m_cost.iterations;
    context.m_cost = m_cost.memoryKiB;
    context.lanes = m_cost.lanes;
    context.threads = m_cost.lanes;
    context.version = ARGON2_VERSION_13;
    context.flags = ARGON2_DEFAULT_FLAGS;
    int rc = argon2_ctx(&context, Argon2_id);
    if (rc == ARGON2_THREAD_FAIL) {
        // The lanes give the same key on one thread, only slower.
        context.threads = 1;
        rc = argon2_ctx(&context, Argon2_id);
    }
    if (rc == ARGON2_MEMORY_ALLOCATION_ERROR)
        return KeyResult::OutOfMemory;
    return rc == ARGON2_OK ? KeyResult::Ok : KeyResult::Failed;
}

} // namespace kr
