#include "browser/ieToolBar.h"

#include "common/TextFiles.h"
#include "common/Version.h"

#include <QUuid>

namespace kr {
namespace {

// query value, set value, create subkey, enumerate subkeys, notify, create link
constexpr quint32 kAllAccess = KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_ENUMERATE_SUB_KEYS |
                               KEY_NOTIFY | KEY_CREATE_LINK;

} // namespace

QString toolbarParentKey()
{
    return QStringLiteral("Software\\Microsoft\\Internet Explorer\\Extensions");
}

QString ownIconPath(const QString& appDir)
{
    return appDir + QStringLiteral("ICON.ico");
}

QString GetNewGUID()
{
    const QUuid id = QUuid::createUuid();
    if (id.isNull())
        return QString();
    return id.toString(QUuid::WithBraces).toUpper();
}

RegKey OpenKey(IRegistry& registry, RegKey root, const QString& path)
{
    RegKey handle = 0;
    if (registry.openKey(root, path, kAllAccess, handle) != RegOk)
        return 0;
    return handle;
}

bool KeyExists(IRegistry& registry, RegKey root, const QString& path)
{
    const RegKey handle = OpenKey(registry, root, path);
    if (handle == 0)
        return false;
    registry.closeKey(handle);
    return true;
}

RegKey CreateKey(IRegistry& registry, RegKey root, const QString& path)
{
    RegKey handle = 0;
    if (registry.createKey(root, path, QStringLiteral("REG DWORD"), 0, kAllAccess, handle) != RegOk)
        return 0;
    return handle;
}

long SetKeyValue(IRegistry& registry, RegKey key, const QString& name, quint32 type, const QString& text)
{
    if (text.isEmpty())
        return RegOk;
    QByteArray data = text.toLocal8Bit();
    data.append('\0');
    return registry.setValue(key, name, type, data);
}

void AddProgzIE(IRegistry& registry, const QString& appDir, const QString& exeName)
{
    const QString path = toolbarParentKey() + QLatin1Char('\\') + GetNewGUID();
    if (KeyExists(registry, HKEY_CURRENT_USER, path))
        return;
    RegKey handle = CreateKey(registry, HKEY_CURRENT_USER, path);
    if (handle == 0)
        return;
    registry.closeKey(handle);
    handle = OpenKey(registry, HKEY_CURRENT_USER, path);
    if (handle == 0)
        return;
    const QString icon = ownIconPath(appDir);
    // Each write stands on its own: a failed one does not stop the others.
    SetKeyValue(registry, handle, QStringLiteral("Exec"), REG_SZ, appDir + exeName);
    SetKeyValue(registry, handle, QStringLiteral("Icon"), REG_SZ, icon);
    SetKeyValue(registry, handle, QStringLiteral("HotIcon"), REG_SZ, icon);
    SetKeyValue(registry, handle, QStringLiteral("ButtonText"), REG_SZ, QStringLiteral("Keyrovia"));
    SetKeyValue(registry, handle, QStringLiteral("CLSID"), REG_SZ, QLatin1String(kRunProgramButtonClsid));
    SetKeyValue(registry, handle, QStringLiteral("Default Visible"), REG_SZ, QStringLiteral("yes"));
    registry.closeKey(handle);
}

void AddProgzIE(IRegistry& registry)
{
    AddProgzIE(registry, AppDir(), executableName());
}

} // namespace kr
