#pragma once
// An in-memory registry with the layer's rules (names without regard to
// letter case, subkeys in name order, values in writing order, deletion
// through a handle, 234/259 at the buffer limits and the end), a log of the
// changes, and a hook that makes chosen calls fail.
#include "platform/Registry.h"

#include <QStringList>
#include <functional>
#include <map>
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
    struct Key {
        quint64 serial = 0;
        QString path; // as first written
        QString keyClass;
        std::vector<Value> values;
    };

    // Called before each call with its name ("create", "open", "set", "enumKey",
    // "enumValue", "delete") and the full path of the key concerned; a status
    // other than 0 is returned by the call instead of doing it.
    std::function<long(const QString& call, const QString& path)> fault;
    // "create <path>", "set <path> <name>", "delete <path>": every change made.
    QStringList changes;

    // Test helpers, root HKEY_CURRENT_USER.
    bool hasKey(const QString& path) const { return m_keys.count({HKEY_CURRENT_USER, path.toUpper()}) > 0; }
    const Key* key(const QString& path) const
    {
        const auto it = m_keys.find({HKEY_CURRENT_USER, path.toUpper()});
        return it == m_keys.end() ? nullptr : &it->second;
    }
    QStringList subkeys(const QString& path) const { return childNames(HKEY_CURRENT_USER, path); }
    // Writes a key with string values directly, as another program would.
    void put(const QString& path, const std::vector<std::pair<QString, QByteArray>>& values)
    {
        RegKey k = 0;
        createKey(HKEY_CURRENT_USER, path, QString(), 0, 0x3F, k);
        for (const auto& [name, data] : values)
            setValue(k, name, REG_SZ, data);
        closeKey(k);
    }
    int openHandles() const { return int(m_handles.size()); }

    long createKey(RegKey key, const QString& subKey, const QString& keyClass, quint32, quint32 access,
                   RegKey& result) override
    {
        result = 0;
        Base base;
        QStringList segments;
        QString full;
        if (long s = target(key, subKey, QStringLiteral("create"), base, segments, full); s != RegOk)
            return s;
        QString path = base.path;
        const Key* last = base.key;
        for (const QString& name : segments) {
            const QString next = path.isEmpty() ? name : path + QLatin1Char('\\') + name;
            auto it = m_keys.find({base.root, next.toUpper()});
            if (it == m_keys.end()) {
                it = m_keys
                         .emplace(std::make_pair(base.root, next.toUpper()),
                                  Key{++m_serial, next, keyClass, {}})
                         .first;
                changes << QStringLiteral("create ") + next;
            }
            path = it->second.path;
            last = &it->second;
        }
        if (!last) {
            result = base.root;
            return RegOk;
        }
        result = newHandle(base.root, *last, access);
        return RegOk;
    }

    long openKey(RegKey key, const QString& subKey, quint32 access, RegKey& result) override
    {
        result = 0;
        Base base;
        QStringList segments;
        QString full;
        if (long s = target(key, subKey, QStringLiteral("open"), base, segments, full); s != RegOk)
            return s;
        if (full.isEmpty()) {
            result = base.root;
            return RegOk;
        }
        const auto it = m_keys.find({base.root, full.toUpper()});
        if (it == m_keys.end())
            return RegFileNotFound;
        result = newHandle(base.root, it->second, access);
        return RegOk;
    }

    long setValue(RegKey key, const QString& name, quint32 type, const QByteArray& data) override
    {
        Key* k = nullptr;
        if (long s = keyOf(key, KEY_SET_VALUE, QStringLiteral("set"), k); s != RegOk)
            return s;
        changes << QStringLiteral("set ") + k->path + QLatin1Char(' ') + name;
        for (Value& v : k->values) {
            if (v.name.toUpper() == name.toUpper()) {
                v.type = type;
                v.data = data;
                return RegOk;
            }
        }
        k->values.push_back({name, type, data});
        return RegOk;
    }

    long enumKey(RegKey key, quint32 index, int nameCapacity, QString& name) override
    {
        name.clear();
        Base base;
        if (long s = resolve(key, base); s != RegOk)
            return s;
        if (base.key && !(m_handles[key].access & KEY_ENUMERATE_SUB_KEYS))
            return RegAccessDenied;
        if (long s = failure(QStringLiteral("enumKey"), base.path); s != RegOk)
            return s;
        const QStringList names = childNames(base.root, base.path);
        if (index >= quint32(names.size()))
            return RegNoMoreItems;
        if (names[index].toLocal8Bit().size() >= nameCapacity)
            return RegMoreData;
        name = names[index];
        return RegOk;
    }

    long enumValue(RegKey key, quint32 index, int nameCapacity, int dataCapacity, QString& name,
                   quint32& type, QByteArray& data) override
    {
        name.clear();
        data.clear();
        type = 0;
        Key* k = nullptr;
        if (long s = keyOf(key, KEY_QUERY_VALUE, QStringLiteral("enumValue"), k); s != RegOk)
            return s;
        if (index >= k->values.size())
            return RegNoMoreItems;
        const Value& v = k->values[index];
        type = v.type;
        const bool nameFits = v.name.toLocal8Bit().size() < nameCapacity;
        const bool dataFits = v.data.size() <= dataCapacity;
        if (nameFits)
            name = v.name;
        if (dataFits)
            data = v.data;
        return nameFits && dataFits ? RegOk : RegMoreData;
    }

    long deleteKey(RegKey key, const QString& subKey) override
    {
        Base base;
        QStringList segments;
        QString full;
        if (long s = target(key, subKey, QString(), base, segments, full); s != RegOk)
            return s;
        if (full.isEmpty())
            return RegAccessDenied;
        if (long s = failure(QStringLiteral("delete"), full); s != RegOk)
            return s;
        const auto it = m_keys.find({base.root, full.toUpper()});
        if (it == m_keys.end())
            return RegFileNotFound;
        for (const auto& [id, k] : m_keys)
            if (id.first == base.root && parentOf(id.second) == full.toUpper())
                return RegAccessDenied;
        changes << QStringLiteral("delete ") + it->second.path;
        m_keys.erase(it);
        return RegOk;
    }

    long closeKey(RegKey key) override
    {
        if (key >= HKEY_CLASSES_ROOT && key <= HKEY_USERS)
            return RegOk;
        return m_handles.erase(key) ? RegOk : RegInvalidHandle;
    }

private:
    struct Open {
        RegKey root;
        QString folded;
        quint64 serial;
        quint32 access;
    };
    struct Base {
        RegKey root = 0;
        QString path; // empty for the root
        Key* key = nullptr;
    };

    static QString parentOf(const QString& folded)
    {
        const qsizetype slash = folded.lastIndexOf(QLatin1Char('\\'));
        return slash < 0 ? QString() : folded.left(slash);
    }
    // The key a handle and a subkey path name: its base, the path's names and the full path;
    // then the fault hook for `call`, when one is given.
    long target(RegKey key, const QString& subKey, const QString& call, Base& base, QStringList& segments,
                QString& full)
    {
        if (long s = resolve(key, base); s != RegOk)
            return s;
        segments = subKey.isEmpty() ? QStringList() : subKey.split(QLatin1Char('\\'));
        for (const QString& segment : segments)
            if (segment.isEmpty() || segment.size() > RegMaxKeyNameChars)
                return RegInvalidParameter;
        const QString tail = segments.join(QLatin1Char('\\'));
        full = segments.isEmpty()    ? base.path
               : base.path.isEmpty() ? tail
                                     : base.path + QLatin1Char('\\') + tail;
        return call.isEmpty() ? RegOk : failure(call, full);
    }
    // The names of the keys right below a key, in name order.
    QStringList childNames(RegKey root, const QString& path) const
    {
        QStringList names;
        for (const auto& [id, k] : m_keys)
            if (id.first == root && parentOf(id.second) == path.toUpper())
                names << k.path.mid(k.path.lastIndexOf(QLatin1Char('\\')) + 1);
        return names;
    }
    long failure(const QString& call, const QString& path) const { return fault ? fault(call, path) : RegOk; }

    RegKey newHandle(RegKey root, const Key& key, quint32 access)
    {
        m_next += 4;
        m_handles[m_next] = Open{root, key.path.toUpper(), key.serial, access};
        return m_next;
    }
    long resolve(RegKey key, Base& base)
    {
        if (key >= HKEY_CLASSES_ROOT && key <= HKEY_USERS) {
            base = {key, QString(), nullptr};
            return RegOk;
        }
        const auto h = m_handles.find(key);
        if (h == m_handles.end())
            return RegInvalidHandle;
        const auto it = m_keys.find({h->second.root, h->second.folded});
        if (it == m_keys.end() || it->second.serial != h->second.serial)
            return RegKeyDeleted;
        base = {h->second.root, it->second.path, &it->second};
        return RegOk;
    }
    long keyOf(RegKey key, quint32 right, const QString& call, Key*& k)
    {
        Base base;
        if (long s = resolve(key, base); s != RegOk)
            return s;
        if (!base.key)
            return RegAccessDenied; // the roots hold keys only
        if (!(m_handles[key].access & right))
            return RegAccessDenied;
        if (long s = failure(call, base.path); s != RegOk)
            return s;
        k = base.key;
        return RegOk;
    }

    std::map<std::pair<RegKey, QString>, Key> m_keys; // by root and upper-case path
    std::map<RegKey, Open> m_handles;
    quint64 m_serial = 0;
    RegKey m_next = 0x1000;
};

} // namespace kr::test
