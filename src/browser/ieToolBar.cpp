#include "browser/ieToolBar.h"

#include "common/TextFiles.h"
#include "common/Version.h"

#include <QUuid>

#include <utility>

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

RegKey OpenKey(IRegistry& registry, RegKey root, const QString& path, long* status)
{
    RegKey handle = 0;
    const long opened = registry.openKey(root, path, kAllAccess, handle);
    if (status)
        *status = opened;
    return opened == RegOk ? handle : 0;
}

bool KeyExists(IRegistry& registry, RegKey root, const QString& path)
{
    const RegKey handle = OpenKey(registry, root, path);
    if (handle == 0)
        return false;
    registry.closeKey(handle);
    return true;
}

RegKey CreateKey(IRegistry& registry, RegKey root, const QString& path, long* status)
{
    RegKey handle = 0;
    const long created = registry.createKey(root, path, QStringLiteral("REG DWORD"), 0, kAllAccess, handle);
    if (status)
        *status = created;
    return created == RegOk ? handle : 0;
}

long SetKeyValue(IRegistry& registry, RegKey key, const QString& name, quint32 type, const QString& text)
{
    if (text.isEmpty())
        return RegOk;
    QByteArray data = text.toLocal8Bit();
    data.append('\0');
    return registry.setValue(key, name, type, data);
}

long AddProgzIE(IRegistry& registry, const QString& appDir, const QString& exec)
{
    const QString path = toolbarParentKey() + QLatin1Char('\\') + GetNewGUID();
    if (KeyExists(registry, HKEY_CURRENT_USER, path))
        return RegOk;
    // The statuses go back to the save, which tells the user why a button is missing.
    long status = RegOk;
    RegKey handle = CreateKey(registry, HKEY_CURRENT_USER, path, &status);
    if (handle == 0)
        return status;
    registry.closeKey(handle);
    handle = OpenKey(registry, HKEY_CURRENT_USER, path, &status);
    if (handle == 0)
        return status;
    const QString icon = ownIconPath(appDir);
    // Each write stands on its own: a failed one does not stop the others;
    // the first failure is what the caller hears of.
    const std::pair<QString, QString> values[] = {
        {QStringLiteral("Exec"), exec},
        {QStringLiteral("Icon"), icon},
        {QStringLiteral("HotIcon"), icon},
        {QStringLiteral("ButtonText"), QStringLiteral("Keyrovia")},
        {QStringLiteral("CLSID"), QLatin1String(kRunProgramButtonClsid)},
        {QStringLiteral("Default Visible"), QStringLiteral("yes")},
    };
    for (const auto& [name, text] : values) {
        const long written = SetKeyValue(registry, handle, name, REG_SZ, text);
        if (status == RegOk)
            status = written;
    }
    registry.closeKey(handle);
    return status;
}

long AddProgzIE(IRegistry& registry)
{
    // The button starts the executable that runs now, wherever the program's
    // files are kept (KEYROVIA_APP_DIR): the manager knows the button by its icon.
    return AddProgzIE(registry, AppDir(), executablePath());
}

QString toolbarFailureMessage(bool adding, long status, const QString& location)
{
    // Why, by status; %1 names the registry file.
    static const std::pair<long, const char*> reasons[] = {
        {RegSymbolicLink, "%1 (ou son dossier) est un lien symbolique ; Keyrovia ne suit pas de lien à cet "
                          "endroit."},
        {RegBadDb, "%1 est endommagé ou n'appartient pas à Keyrovia."},
        {RegAccessDenied, "%1 ou son dossier ne peut pas être modifié (droits d'accès)."},
        {RegBusy, "%1 est occupé par un autre programme."},
        {RegCantRead, "%1 ne peut pas être lu."},
        {RegCantWrite, "%1 ne peut pas être écrit."},
    };
    const QString file = location.isEmpty() ? QStringLiteral("le fichier du registre de Keyrovia")
                                            : QStringLiteral("le fichier ") + location;
    QString why = QStringLiteral("erreur %1 en utilisant %2.").arg(QString::number(status), file);
    for (const auto& [number, text] : reasons)
        if (number == status)
            why = QString::fromUtf8(text).arg(file);
    return (adding ? QStringLiteral("Le bouton de la barre d'outils n'a pas pu être ajouté au navigateur.")
                   : QStringLiteral("Le bouton de la barre d'outils n'a pas pu être retiré du navigateur.")) +
           QStringLiteral("\r\nRaison : ") + why;
}

} // namespace kr
