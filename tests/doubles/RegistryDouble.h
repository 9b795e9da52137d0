#pragma once
// The registry layer on its real files in a folder of its own, with a log of
// the changes, a hook that makes chosen calls fail, and a look at the keys.
#include "platform/registry/SqliteRegistry.h"

#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <map>
#include <memory>
#include <utility>
#include <vector>

namespace kr::test {

class MemoryRegistry final : public IRegistry {
public:
    struct Value {
        QString name;
        quint32 type = 0;
        QByteArray data;
    };
    // Called before each call with its name ("create", "open", "set", "enumKey",
    // "enumValue", "delete") and the full path of the key concerned; a status
    // other than 0 is returned by the call instead of doing it.
    std::function<long(const QString& call, const QString& path)> fault;
    // "create <path>", "set <path> <name>", "delete <path>": every change made.
    QStringList changes;

    // Test helpers, root HKEY_CURRENT_USER.
    bool hasKey(const QString& path) const
    {
        RegKey k = 0;
        return m_store->openKey(HKEY_CURRENT_USER, path, 0x3F, k) == RegOk && m_store->closeKey(k) == RegOk;
    }
    // The key's values as the store holds them now; none when it is not there.
    std::vector<Value> values(const QString& path) const
    {
        RegKey k = 0;
        std::vector<Value> found;
        Value v;
        m_store->openKey(HKEY_CURRENT_USER, path, 0x3F, k);
        for (quint32 i = 0; k && m_store->enumValue(k, i, 1 << 20, 1 << 20, v.name, v.type, v.data) == RegOk;
             ++i)
            found.push_back(v);
        m_store->closeKey(k);
        return found;
    }
    QStringList subkeys(const QString& path) const
    {
        RegKey k = 0;
        QStringList names;
        QString name;
        m_store->openKey(HKEY_CURRENT_USER, path, 0x3F, k);
        for (quint32 i = 0; k && m_store->enumKey(k, i, 1 << 20, name) == RegOk; ++i)
            names << name;
        m_store->closeKey(k);
        return names;
    }
    // Writes a key with string values directly, as another program would.
    void put(const QString& path, const std::vector<std::pair<QString, QByteArray>>& values)
    {
        RegKey k = 0;
        createKey(HKEY_CURRENT_USER, path, QString(), 0, 0x3F, k);
        for (const auto& [name, data] : values)
            setValue(k, name, REG_SZ, data);
        closeKey(k);
    }
    int openHandles() const { return int(m_paths.size()); }

    long createKey(RegKey key, const QString& subKey, const QString& keyClass, quint32 options,
                   quint32 access, RegKey& result) override
    {
        const QString path = pathOf(key, subKey);
        RegKey there = 0;
        const bool isNew = m_store->openKey(key, subKey, 0, there) == RegFileNotFound;
        m_store->closeKey(there);
        result = 0;
        const long status = guarded("create", path, [&] {
            return m_store->createKey(key, subKey, keyClass, options, access, result);
        });
        if (status == RegOk && isNew)
            changes << QStringLiteral("create ") + path;
        return opened(status, path, result);
    }
    long openKey(RegKey key, const QString& subKey, quint32 access, RegKey& result) override
    {
        result = 0;
        const QString path = pathOf(key, subKey);
        const long status =
            guarded("open", path, [&] { return m_store->openKey(key, subKey, access, result); });
        return opened(status, path, result);
    }
    long setValue(RegKey key, const QString& name, quint32 type, const QByteArray& data) override
    {
        const long status =
            guarded("set", pathOf(key, {}), [&] { return m_store->setValue(key, name, type, data); });
        if (status == RegOk)
            changes << QStringLiteral("set ") + pathOf(key, {}) + u' ' + name;
        return status;
    }
    long enumKey(RegKey key, quint32 index, int nameCapacity, QString& name) override
    {
        name.clear();
        return guarded("enumKey", pathOf(key, {}),
                       [&] { return m_store->enumKey(key, index, nameCapacity, name); });
    }
    long enumValue(RegKey key, quint32 index, int nameCapacity, int dataCapacity, QString& name,
                   quint32& type, QByteArray& data) override
    {
        name.clear();
        data.clear();
        return guarded("enumValue", pathOf(key, {}), [&] {
            return m_store->enumValue(key, index, nameCapacity, dataCapacity, name, type, data);
        });
    }
    long deleteKey(RegKey key, const QString& subKey) override
    {
        const QString path = pathOf(key, subKey);
        const long status = guarded(path.isEmpty() ? nullptr : "delete", path,
                                    [&] { return m_store->deleteKey(key, subKey); });
        if (status == RegOk)
            changes << QStringLiteral("delete ") + path;
        return status;
    }
    long closeKey(RegKey key) override
    {
        m_paths.erase(key);
        return m_store->closeKey(key);
    }

private:
    QString pathOf(RegKey key, const QString& subKey) const
    {
        const auto it = m_paths.find(key);
        const QString base = it == m_paths.end() ? QString() : it->second;
        return base.isEmpty() || subKey.isEmpty() ? base + subKey : base + u'\\' + subKey;
    }
    // The hook's status for the call, or else what the real call answers.
    template <typename Call> long guarded(const char* call, const QString& path, Call&& real)
    {
        const long status = fault && call ? fault(QLatin1String(call), path) : RegOk;
        return status != RegOk ? status : real();
    }
    long opened(long status, const QString& path, RegKey result)
    {
        if (status == RegOk && !path.isEmpty())
            m_paths[result] = path;
        return status;
    }

    std::unique_ptr<QTemporaryDir> m_dir = std::make_unique<QTemporaryDir>();
    std::unique_ptr<SqliteRegistry> m_store = std::make_unique<SqliteRegistry>(m_dir->path());
    std::map<RegKey, QString> m_paths; // open handles and the path they were opened with
};

} // namespace kr::test
