#pragma once
// The vault's keys as SQLCipher takes them, and what the start of a database
// file tells about its key. Passwords and keys are wiped when they go away and
// never copied.
#include "platform/KeyDerivation.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <vector>

namespace kr::vault {

class Secret {
public:
    Secret() = default;
    Secret(const char* data, std::size_t size) : m_bytes(data, data + size) {}
    static Secret fromText(const QString& text);
    Secret(Secret&& other) noexcept;
    Secret& operator=(Secret&& other) noexcept;
    Secret(const Secret&) = delete;
    Secret& operator=(const Secret&) = delete;
    ~Secret() { wipe(); }

    void wipe();
    // Never a null pointer: an empty key must reach SQLite as '' and not as NULL.
    const char* data() const { return m_bytes.empty() ? "" : m_bytes.data(); }
    int size() const { return static_cast<int>(m_bytes.size()); }
    bool empty() const { return m_bytes.empty(); }
    bool equals(const Secret& other) const;

private:
    std::vector<char> m_bytes;
};

// A derived key's bytes, wiped when they go away.
struct RawKey {
    std::array<unsigned char, VaultKeySize> bytes{};
    RawKey() = default;
    RawKey(const RawKey&) = delete;
    RawKey& operator=(const RawKey&) = delete;
    ~RawKey();
};

// What the first bytes of a database file say about its key.
struct FileStart {
    enum Kind {
        Unreadable, // missing, or not readable by us
        Empty,      // 0 bytes: the first write makes it a database
        Short,      // fewer bytes than a salt: damaged
        Plain,      // SQLite's own header: no password
        Salted,     // an encrypted file; salt holds its first 16 bytes
    };
    Kind kind = Unreadable;
    QByteArray salt;
};
FileStart readFileStart(const QByteArray& path);

// The salts this version writes: 16 characters of [A-Za-z0-9._] (96 random
// bits), so that a shell can hand them to a command as they are. Earlier
// versions' salts are random bytes and almost never of that shape.
QByteArray freshSalt();
bool isVaultSalt(const QByteArray& salt);

// A salt that neither this version nor an earlier one would have written: not
// of the alphabet above, and either made of at most 4 distinct bytes (zeroed,
// filled), or of the alphabet and NUL but for at most one byte (a vault salt
// hit by damage). A random salt of an earlier version has that shape with odds
// of about 1.5e-8 (the second kind; below 1e-20 for the first).
bool isDamagedSalt(const QByteArray& salt);

// SQLCipher's raw-key text: x'<64 hex digits>' (the file's own salt is used),
// or with the salt, x'<64 hex digits><32 hex digits>', which a new file takes.
Secret keyText(const RawKey& key, const QByteArray& salt = {});

// Whether some page after the first carries the authentication code that this
// key gives it: the file is then damaged at its start, and the key is right.
// SQLCipher 3's layout: 1024-byte pages ending in a 16-byte IV and a 20-byte
// HMAC-SHA1 (48 reserved bytes); the HMAC key is PBKDF2-HMAC-SHA1(key,
// salt ^ 0x3a, 2 iterations); the code covers the page up to and with its IV,
// then the page number (4 bytes, little-endian).
bool laterPageAuthenticates(const QByteArray& path, const RawKey& key, const QByteArray& salt);

} // namespace kr::vault
