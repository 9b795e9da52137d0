#pragma once
// The master password -> the vault's 32-byte key. The one costly step of an
// unlock, behind its own seam so that its price can be counted and its failure
// (no memory for it) provoked.
#include <cstddef>
#include <cstdint>

namespace kr {

constexpr std::size_t VaultSaltSize = 16; // the bytes SQLCipher keeps at the start of the file
constexpr std::size_t VaultKeySize = 32;

enum class KeyKind {
    Vault, // Argon2id: every vault this version writes
    Old,   // SQLCipher's own PBKDF2-HMAC-SHA1, 256,000 iterations: vaults of earlier versions
};

enum class KeyResult { Ok, OutOfMemory, Failed };

class IKeyDerivation {
public:
    virtual ~IKeyDerivation() = default;
    // password: the UTF-8 bytes of the master password; salt: VaultSaltSize bytes;
    // key: receives VaultKeySize bytes (left unspecified on failure).
    virtual KeyResult derive(KeyKind kind, const char* password, std::size_t passwordSize,
                             const unsigned char* salt, unsigned char* key) = 0;
};

} // namespace kr
