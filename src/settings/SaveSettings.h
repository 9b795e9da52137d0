#pragma once
#include "settings/ParamIni.h"

#include <QString>

namespace kr {

struct Platform;
class PasswordStore;
class frmListIcon;
class frmAddIe;
class ProgramFolder;

// What the parameters save needs of the main window's parameters tab.
class SettingsSaveHost {
public:
    virtual ~SettingsSaveHost() = default;
    // The text of the master-password box.
    virtual QString paramPassword() = 0;
    virtual void setParamPasswordBox(const QString& password) = 0;
    virtual int settingBox(SettingKey key) = 0;
    virtual void setMainWindowOnTop(bool onTop) = 0;
    virtual void minimiseMainWindow() = 0;
};

// The windows and services the save works with.
struct SettingsSaveParts {
    Platform& platform;
    PasswordStore& store;
    frmListIcon& manager;
    frmAddIe& tutorial;
    ProgramFolder& folder;
};

// "Appliquer": changes the database password, writes PARAM.ini, registers or
// removes the browser toolbar button as "Afficher" asks, sets the topmost
// state, confirms, and offers the tutorial when "Afficher" is ticked.
void SaveSettings(SettingsSaveHost& host, const SettingsSaveParts& parts);

} // namespace kr
