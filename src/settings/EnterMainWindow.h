#pragma once
#include "settings/ParamIni.h"

#include <QString>

namespace kr {

class IMessageBox;

// What entering the main window needs of the windows. The application
// implements it on the gate and the main window; tests use a recording host.
class MainWindowEntryHost {
public:
    virtual ~MainWindowEntryHost() = default;
    // Touching a setting box loads the main window when needed.
    virtual void setSettingBox(SettingKey key, int value) = 0;
    virtual int settingBox(SettingKey key) = 0;
    virtual void showMainWindow() = 0;
    virtual void unloadGate() = 0;
    // Rebuilds the list of logins; false when the database could not be read.
    virtual bool loadSiteList() = 0;
    virtual void recupSiteIE() = 0;
    virtual void setMainWindowOnTop(bool onTop) = 0;
    virtual void setLogText(const QString& text) = 0;
    // Before the first-use flow that a settings file left out: tells the user
    // when the database is damaged, so that it is not taken for a new start.
    virtual void checkDatabase() {}
    virtual void clearGateOnTop() = 0;
    virtual void disablePasswordTab() = 0;
};

// Applies PARAM.ini, shows the main window, closes the gate, loads the list,
// reads the browser's site and shows the access log. When the settings cannot
// be loaded (above all at the first use), runs the first-use flow instead.
// Returns false when the first-use flow ran.
bool EnterMainWindow(MainWindowEntryHost& host, IMessageBox& messageBox);

} // namespace kr
