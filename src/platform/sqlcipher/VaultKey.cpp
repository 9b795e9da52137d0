#include "platform/sqlcipher/VaultKey.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace kr::vault {
namespace {

// The first 16 bytes of a plain SQLite file; an encrypted one starts with its salt.
constexpr char PlainHeader[VaultSaltSize] = "SQLite format 3";
constexpr char SaltAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789._";
static_assert(sizeof(SaltAlphabet) - 1 == 64);

constexpr int PageSize = 1024;
constexpr int IvSize = 16;
constexpr int HmacSize = 20;
constexpr int ReservedSize = 48;
constexpr unsigned char HmacSaltMask = 0x3a;
constexpr int HmacKeyIterations = 2;
// Enough to find a whole page in a file damaged at its start, little for a wrong key.
constexpr int PagesLookedAt = 256;

// Reads up to size bytes from offset; the count read, or -1.
ssize_t readAt(int fd, char* buffer, std::size_t size, off_t offset)
{
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = ::pread(fd, buffer + got, size - got, offset + static_cast<off_t>(got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    return static_cast<ssize_t>(got);
}

} // namespace

Secret Secret::fromText(const QString& text)
{
    QByteArray utf8 = text.toUtf8();
    Secret secret(utf8.constData(), static_cast<std::size_t>(utf8.size()));
    OPENSSL_cleanse(utf8.data(), static_cast<std::size_t>(utf8.size()));
    return secret;
}

Secret::Secret(Secret&& other) noexcept : m_bytes(std::move(other.m_bytes))
{
    other.m_bytes.clear();
}

Secret& Secret::operator=(Secret&& other) noexcept
{
    if (this != &other) {
        wipe();
        m_bytes = std::move(other.m_bytes);
        other.m_bytes.clear();
    }
    return *this;
}

void Secret::wipe()
{
    if (!m_bytes.empty())
        OPENSSL_cleanse(m_bytes.data(), m_bytes.size());
    m_bytes.clear();
}

bool Secret::equals(const Secret& other) const
{
    return m_bytes.size() == other.m_bytes.size() && CRYPTO_memcmp(data(), other.data(), m_bytes.size()) == 0;
}

RawKey::~RawKey()
{
    OPENSSL_cleanse(bytes.data(), bytes.size());
}

FileStart readFileStart(const QByteArray& path)
{
    FileStart start;
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return start;
    char buffer[VaultSaltSize];
    const ssize_t got = readAt(fd, buffer, VaultSaltSize, 0);
    ::close(fd);
    if (got < 0)
        return start;
    if (got == 0)
        start.kind = FileStart::Empty;
    else if (got < static_cast<ssize_t>(VaultSaltSize))
        start.kind = FileStart::Short;
    else if (std::memcmp(buffer, PlainHeader, VaultSaltSize) == 0)
        start.kind = FileStart::Plain;
    else {
        start.kind = FileStart::Salted;
        start.salt = QByteArray(buffer, VaultSaltSize);
    }
    return start;
}

QByteArray freshSalt()
{
    unsigned char random[VaultSaltSize];
    if (RAND_bytes(random, sizeof random) != 1)
        return {};
    QByteArray salt(VaultSaltSize, Qt::Uninitialized);
    for (std::size_t i = 0; i < VaultSaltSize; ++i)
        salt[static_cast<qsizetype>(i)] = SaltAlphabet[random[i] & 63];
    return salt;
}

bool isVaultSalt(const QByteArray& salt)
{
    return salt.size() == static_cast<qsizetype>(VaultSaltSize) &&
           std::all_of(salt.begin(), salt.end(),
                       [](char c) { return c != '\0' && std::strchr(SaltAlphabet, c); });
}

bool isDamagedSalt(const QByteArray& salt)
{
    if (salt.size() != static_cast<qsizetype>(VaultSaltSize) || isVaultSalt(salt))
        return false;
    QByteArray distinct = salt;
    std::sort(distinct.begin(), distinct.end());
    const bool fewBytes = std::unique(distinct.begin(), distinct.end()) - distinct.begin() <= 4;
    const auto foreign = std::count_if(salt.begin(), salt.end(),
                                       [](char c) { return c != '\0' && !std::strchr(SaltAlphabet, c); });
    return fewBytes || foreign <= 1;
}

Secret keyText(const RawKey& key, const QByteArray& salt)
{
    static const char hex[] = "0123456789abcdef";
    std::vector<char> text;
    text.reserve(3 + 2 * (VaultKeySize + VaultSaltSize));
    text.push_back('x');
    text.push_back('\'');
    const auto append = [&](const unsigned char* bytes, std::size_t size) {
        for (std::size_t i = 0; i < size; ++i) {
            text.push_back(hex[bytes[i] >> 4]);
            text.push_back(hex[bytes[i] & 0xf]);
        }
    };
    append(key.bytes.data(), key.bytes.size());
    append(reinterpret_cast<const unsigned char*>(salt.constData()), static_cast<std::size_t>(salt.size()));
    text.push_back('\'');
    Secret secret(text.data(), text.size());
    OPENSSL_cleanse(text.data(), text.size());
    return secret;
}

bool laterPageAuthenticates(const QByteArray& path, const RawKey& key, const QByteArray& salt)
{
    if (salt.size() != static_cast<qsizetype>(VaultSaltSize))
        return false;
    unsigned char hmacSalt[VaultSaltSize];
    for (std::size_t i = 0; i < VaultSaltSize; ++i)
        hmacSalt[i] = static_cast<unsigned char>(salt[static_cast<qsizetype>(i)]) ^ HmacSaltMask;
    RawKey hmacKey;
    if (PKCS5_PBKDF2_HMAC_SHA1(reinterpret_cast<const char*>(key.bytes.data()), VaultKeySize, hmacSalt,
                               VaultSaltSize, HmacKeyIterations, VaultKeySize, hmacKey.bytes.data()) != 1)
        return false;
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool found = false;
    // The page as far as its code covers it, then the page number.
    constexpr int Covered = PageSize - ReservedSize + IvSize;
    unsigned char page[PageSize + 4];
    for (int number = 2; !found && number <= PagesLookedAt + 1; ++number) {
        if (readAt(fd, reinterpret_cast<char*>(page), PageSize, static_cast<off_t>(number - 1) * PageSize) !=
            PageSize)
            break;
        unsigned char stored[HmacSize];
        std::memcpy(stored, page + Covered, HmacSize);
        for (int i = 0; i < 4; ++i)
            page[Covered + i] = static_cast<unsigned char>((number >> (8 * i)) & 0xff);
        unsigned char code[EVP_MAX_MD_SIZE];
        unsigned int codeSize = 0;
        found = HMAC(EVP_sha1(), hmacKey.bytes.data(), VaultKeySize, page, Covered + 4, code, &codeSize) &&
                codeSize == HmacSize && CRYPTO_memcmp(code, stored, HmacSize) == 0;
    }
    ::close(fd);
    return found;
}

} // namespace kr::vault
