#pragma once
// The registry layer on Linux: one SQLite file per root in a private folder
// (by default $XDG_CONFIG_HOME/keyrovia/HKEY_CURRENT_USER.sqlite, folder 0700,
// files 0600). The folder and the file are never followed when they are
// symbolic links (every call answers RegSymbolicLink), and the mode of
// nothing the layer did not create is changed. Every change is one transaction, so a crash or a second
// process writing at the same time never leaves half a key; other programs (the browser companion, sqlite3)
// can read the file. A damaged file, or one that is not ours, is never written: every call on it answers
// RegBadDb.
#include "platform/Registry.h"

#include <QString>
#include <memory>

namespace kr {

class SqliteRegistry final : public IRegistry {
public:
    // folder: where the files of the roots live; created (0700) at the first write.
    explicit SqliteRegistry(QString folder = defaultFolder());
    ~SqliteRegistry() override;
    SqliteRegistry(const SqliteRegistry&) = delete;
    SqliteRegistry& operator=(const SqliteRegistry&) = delete;

    // $XDG_CONFIG_HOME/keyrovia, or ~/.config/keyrovia when that is unset or relative.
    static QString defaultFolder();
    // "HKEY_CURRENT_USER" and so on; empty for a handle that is no root.
    static QString rootName(RegKey root);
    // The file that holds a root's keys.
    QString fileOf(RegKey root) const;

    // How long a call waits for another process's transaction.
    static constexpr int BusyTimeoutMs = 3000;
    // Values larger than this are refused (RegInvalidParameter).
    static constexpr int MaxValueBytes = 1024 * 1024;

    long createKey(RegKey key, const QString& subKey, const QString& keyClass, quint32 options,
                   quint32 access, RegKey& result) override;
    long openKey(RegKey key, const QString& subKey, quint32 access, RegKey& result) override;
    long setValue(RegKey key, const QString& valueName, quint32 type, const QByteArray& data) override;
    long enumKey(RegKey key, quint32 index, int nameCapacity, QString& name) override;
    long enumValue(RegKey key, quint32 index, int nameCapacity, int dataCapacity, QString& name,
                   quint32& type, QByteArray& data) override;
    long deleteKey(RegKey key, const QString& subKey) override;
    long closeKey(RegKey key) override;
    QString location() const override;

    struct Impl;

private:
    std::unique_ptr<Impl> d;
};

} // namespace kr
