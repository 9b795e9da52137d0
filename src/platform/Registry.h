#pragma once
// The registry layer: per-root keys addressed by backslash paths, named values,
// enumeration by a running index, deletion through a handle. The calls and
// their status numbers are those of the classic registry API, so that the code
// above it reads the same as on the platform the program comes from.
#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace kr {

// A registry handle: 32 bits, 0 = no handle. The predefined roots are handles
// that are always open.
using RegKey = quint32;
inline constexpr RegKey HKEY_CLASSES_ROOT = 0x80000000u;
inline constexpr RegKey HKEY_CURRENT_USER = 0x80000001u;
inline constexpr RegKey HKEY_LOCAL_MACHINE = 0x80000002u;
inline constexpr RegKey HKEY_USERS = 0x80000003u;

// Status numbers (0 = success).
enum RegStatus : long {
    RegOk = 0,
    RegFileNotFound = 2, // no such key, or no such value
    RegAccessDenied = 5, // the handle lacks the right, the store is not writable,
                         // or the key to delete still has subkeys
    RegInvalidHandle = 6,
    RegInvalidParameter = 87, // an empty or over-long name, an empty path segment
    RegBusy = 170,            // another process kept the store locked too long
    RegSymbolicLink = 681,    // the store's file or folder is a symbolic link: never followed
    RegMoreData = 234,        // the name or the data does not fit the caller's buffer
    RegNoMoreItems = 259,     // enumeration past the last item
    RegBadDb = 1009,          // the store's file is damaged or is not ours
    RegCantRead = 1012,
    RegCantWrite = 1013,
    RegKeyDeleted = 1018, // the key behind the handle was deleted meanwhile
};

// Access rights of a handle.
enum RegAccess : quint32 {
    KEY_QUERY_VALUE = 0x01,
    KEY_SET_VALUE = 0x02,
    KEY_CREATE_SUB_KEY = 0x04,
    KEY_ENUMERATE_SUB_KEYS = 0x08,
    KEY_NOTIFY = 0x10,
    KEY_CREATE_LINK = 0x20,
};

// Value types.
inline constexpr quint32 REG_SZ = 1;

// Key names are at most this long (in characters).
inline constexpr int RegMaxKeyNameChars = 255;

class IRegistry {
public:
    virtual ~IRegistry() = default;

    // Creates subKey under key (a root or an open handle) together with every
    // missing key above it on the path, or opens it when it exists. keyClass is
    // kept with a new key. An empty subKey opens key itself again.
    virtual long createKey(RegKey key, const QString& subKey, const QString& keyClass, quint32 options,
                           quint32 access, RegKey& result) = 0;
    // Opens an existing key; result is 0 on failure.
    virtual long openKey(RegKey key, const QString& subKey, quint32 access, RegKey& result) = 0;
    // Writes a named value (an empty name is the key's default value). data is
    // stored as given: a string value holds its text in the system's 8-bit
    // encoding followed by the terminating NUL.
    virtual long setValue(RegKey key, const QString& valueName, quint32 type, const QByteArray& data) = 0;
    // The name of the subkey at index, subkeys ordered by name without regard to
    // letter case. nameCapacity counts the terminating NUL, like a buffer size:
    // a longer name gives RegMoreData and an empty name. RegNoMoreItems past the end.
    virtual long enumKey(RegKey key, quint32 index, int nameCapacity, QString& name) = 0;
    // The value at index, values in the order they were first written. A name
    // longer than nameCapacity - 1 characters, or data longer than dataCapacity
    // bytes, gives RegMoreData with what fits (a name or data that does not fit
    // comes back empty).
    virtual long enumValue(RegKey key, quint32 index, int nameCapacity, int dataCapacity, QString& name,
                           quint32& type, QByteArray& data) = 0;
    // Deletes subKey of key with all its values; an empty subKey deletes the key
    // behind the handle itself. A key that still has subkeys is not deleted.
    virtual long deleteKey(RegKey key, const QString& subKey) = 0;
    virtual long closeKey(RegKey key) = 0;
    // Where the keys of HKEY_CURRENT_USER are kept, for the user's messages;
    // empty when they are nowhere the user could look.
    virtual QString location() const { return QString(); }
};

} // namespace kr
