#pragma once
// The browser toolbar button: one key under the browser's per-user extensions
// key, in the layout of a button that runs a program, and the small registry
// calls the button manager (frmListIcon) uses as well.
#include "platform/Registry.h"

#include <QString>

namespace kr {

// The key under which the browser finds its toolbar buttons (under HKEY_CURRENT_USER).
QString toolbarParentKey();
// The class of a toolbar button that runs a program.
inline constexpr const char* kRunProgramButtonClsid = "{1FBA04EE-3024-11d2-8F1F-0000F87ABD16}";
// What "Icon" and "HotIcon" hold for this program: appDir + "ICON.ico".
QString ownIconPath(const QString& appDir);

// Registers one new button: a new key named after a new GUID, with the values
// "Exec" (exec), "Icon", "HotIcon" (appDir + "ICON.ico"), "ButtonText",
// "CLSID" and "Default Visible". Returns RegOk, or the first failure (the
// values after a failed write are still written).
long AddProgzIE(IRegistry& registry, const QString& appDir, const QString& exec);
// The same for the running program: AppDir, and the executable that runs.
long AddProgzIE(IRegistry& registry);
// What the user is told when the button could not be added or removed
// (a registry status other than RegOk), location: IRegistry::location().
QString toolbarFailureMessage(bool adding, long status, const QString& location);

// A new GUID in registry text form: braces, upper-case hex, 38 characters;
// empty when none can be made.
QString GetNewGUID();

// Opens the path under root with access 0x3F; 0 when it cannot be opened.
// The registry's own status goes to *status when one is given.
RegKey OpenKey(IRegistry& registry, RegKey root, const QString& path, long* status = nullptr);
bool KeyExists(IRegistry& registry, RegKey root, const QString& path);
// Creates the key with the missing keys above it, or opens it; 0 on failure.
// The registry's own status goes to *status when one is given.
RegKey CreateKey(IRegistry& registry, RegKey root, const QString& path, long* status = nullptr);
// Writes text + NUL as the named value; an empty text writes nothing and gives 0.
long SetKeyValue(IRegistry& registry, RegKey key, const QString& name, quint32 type, const QString& text);

} // namespace kr
