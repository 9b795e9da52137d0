#pragma once
// The vault's key derivation, counted, cheap by default, and able to run out of memory.
#include "platform/sqlcipher/VaultKeyDerivation.h"

namespace kr::test {

class CountingDerivation final : public IKeyDerivation {
public:
    KeyResult derive(KeyKind kind, const char* password, std::size_t passwordSize, const unsigned char* salt,
                     unsigned char* key) override
    {
        ++count;
        if (outOfMemory)
            return KeyResult::OutOfMemory;
        return VaultKeyDerivation(cost).derive(kind, password, passwordSize, salt, key);
    }

    Argon2Cost cost{1, 64, 1}; // a cost a test can pay many times; its vaults open only at this cost
    int count = 0;
    bool outOfMemory = false;
};

} // namespace kr::test
