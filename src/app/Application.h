#pragma once
#include "app/frmMDP.h"
#include "app/frmMotDePass.h"
#include "platform/Platform.h"
#include "settings/EnterMainWindow.h"
#include "settings/ParametersTab.h"
#include "settings/ProgramFolder.h"
#include "store/PasswordStore.h"

#include <QIcon>
#include <functional>
#include <memory>

namespace kr {

class frmAbout;
class Ajour;
class frmSuggest;
class frmAddIe;
class frmListIcon;

// Owns the window objects, the password store and the platform services for
// one run of the program.
class KeyroviaApp final : public MainWindowEntryHost {
public:
    explicit KeyroviaApp(Platform& platform);
    ~KeyroviaApp() override;

    // Shows the gate: the program's start-up window.
    void start();

    Platform& platform() { return m_platform; }
    PasswordStore& store() { return m_store; }
    ProgramFolder& programFolder() { return m_folder; }
    frmMDP& gate() { return m_gate; }
    frmMotDePass& mainWindow() { return *m_main; }
    frmAbout& about() { return *m_about; }
    Ajour& updateCheck() { return *m_ajour; }
    frmSuggest& suggestion() { return *m_suggest; }
    frmListIcon& listIcon() { return *m_listIcon; }
    frmAddIe& addIe() { return *m_addIe; }
    QIcon programIcon() const { return m_icon; }

    void EnterMainWindow();
    void showAbout();
    void showSuggestion();
    void applyParameters();
    // The update check lives in its own window; the gate's quit button closes it.
    void unloadUpdateCheck();
    // Unloads every window but the update window, each with its own unload
    // handling: About, toolbar tutorial, toolbar manager, gate, main window,
    // suggestion.
    void FermerMain();

    // MainWindowEntryHost
    void setSettingBox(SettingKey key, int value) override;
    int settingBox(SettingKey key) override;
    void showMainWindow() override;
    void unloadGate() override;
    bool loadSiteList() override;
    void checkDatabase() override;
    void recupSiteIE() override;
    void setMainWindowOnTop(bool onTop) override;
    void setLogText(const QString& text) override;
    void clearGateOnTop() override;
    void disablePasswordTab() override;

    void setParamPasswordBox(const QString& password);

private:
    // The windows' requests, wired to the windows and services that answer them.
    void connectWindows();

    Platform& m_platform;
    PasswordStore m_store;
    ProgramFolder m_folder;
    QIcon m_icon;
    frmMDP m_gate;
    // Built once the toolbar windows it saves with exist.
    std::unique_ptr<ParametersTab> m_parameters;
    std::unique_ptr<frmMotDePass> m_main;
    std::unique_ptr<frmAbout> m_about;
    std::unique_ptr<frmSuggest> m_suggest;
    std::unique_ptr<Ajour> m_ajour;
    std::unique_ptr<frmListIcon> m_listIcon;
    std::unique_ptr<frmAddIe> m_addIe;
};

} // namespace kr
