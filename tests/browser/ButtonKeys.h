#pragma once
// Toolbar button keys in a registry, as the program's registration writes them.
#include "TestKit.h"
#include "platform/Registry.h"

#include <QList>
#include <QPair>

namespace kr::test {

// The class that makes a button run a program.
inline const QString kRunProgram = QStringLiteral("{1FBA04EE-3024-11d2-8F1F-0000F87ABD16}");

using TextValues = QList<QPair<QString, QString>>;

inline TextValues buttonValues(const QString& exec, const QString& icon, const QString& clsid = kRunProgram)
{
    return {{"Exec", exec},    {"Icon", icon},
            {"HotIcon", icon}, {"ButtonText", "Keyrovia"},
            {"CLSID", clsid},  {"Default Visible", "yes"}};
}

// One key under the extensions key holding those text values.
inline bool writeButtonKey(IRegistry& registry, const QString& guid, const TextValues& values)
{
    RegKey key = 0;
    if (registry.createKey(HKEY_CURRENT_USER, kExtensionsKey + '\\' + guid, "REG DWORD", 0, 0x3F, key) !=
        RegOk)
        return false;
    bool written = true;
    for (const auto& [name, data] : values)
        written = registry.setValue(key, name, REG_SZ, sz(data)) == RegOk && written;
    registry.closeKey(key);
    return written;
}

inline bool deleteButtonKey(IRegistry& registry, const QString& guid)
{
    RegKey parent = 0;
    if (registry.openKey(HKEY_CURRENT_USER, kExtensionsKey, 0x3F, parent) != RegOk)
        return false;
    const bool deleted = registry.deleteKey(parent, guid) == RegOk;
    registry.closeKey(parent);
    return deleted;
}

} // namespace kr::test
