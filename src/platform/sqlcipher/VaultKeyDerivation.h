#pragma once
// The key derivations on Linux: Argon2id from the reference library (one thread
// per lane), PBKDF2-HMAC-SHA1 from OpenSSL exactly as SQLCipher computes it.
#include "platform/KeyDerivation.h"

#include <cstdint>

namespace kr {

struct Argon2Cost {
    std::uint32_t iterations;
    std::uint32_t memoryKiB;
    std::uint32_t lanes;
};

class VaultKeyDerivation final : public IKeyDerivation {
public:
    // The vault format: 64 MiB, 2 lanes, and the pass count that costs about
    // half a second on a 2-core machine. Changing any of them changes every key.
    static constexpr Argon2Cost VaultCost{18, 64 * 1024, 2};
    // What vaults of earlier versions were keyed with.
    static constexpr int OldIterations = 256000;

    // Another cost makes vaults that only this cost opens again (tests only).
    explicit VaultKeyDerivation(Argon2Cost cost = VaultCost) : m_cost(cost) {}

    KeyResult derive(KeyKind kind, const char* password, std::size_t passwordSize, const unsigned char* salt,
                     unsigned char* key) override;

private:
    Argon2Cost m_cost;
};

} // namespace kr
