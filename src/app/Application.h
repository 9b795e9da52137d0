#pragma once
#include "app/Gate.h"
#include "app/MainWindow.h"
#include "platform/Platform.h"
#include "settings/EnterMainWindow.h"
#include "store/PasswordStore.h"

#include <QIcon>
#include <functional>
#include <memory>

namespace kr {

class frmAbout;
class Ajour;
class frmSuggest;

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
    frmMDP& gate() { return m_gate; }
    frmMotDePass& mainWindow() { return m_main; }
    frmAbout& about() { return *m_about; }
    Ajour& updateCheck() { return *m_ajour; }
    frmSuggest& suggestion() { return *m_suggest; }
    QIcon programIcon() const { return m_icon; }

    void EnterMainWindow();
    void setParamPasswordBox(const QString& password);
    void showAbout();
    void showSuggestion();
    void applyParameters();
    // The update check lives in its own window; the gate's quit button closes it.
    void unloadUpdateCheck();
    // Unloads every window but the update window, each with its own unload
    // handling: About, toolbar tutorial, toolbar manager, gate, main window,
    // suggestion.
    void FermerMain();
    // The toolbar tutorial and manager windows plug in here: each hook unloads
    // its window when it is loaded.
    void setUnloadToolbarTutorial(std::function<void()> hook) { m_unloadToolbarTutorial = std::move(hook); }
    void setUnloadToolbarManager(std::function<void()> hook) { m_unloadToolbarManager = std::move(hook); }

    // MainWindowEntryHost
    void setSettingBox(SettingKey key, int value) override;
    int settingBox(SettingKey key) override;
    void showMainWindow() override;
    void unloadGate() override;
    bool loadSiteList() override;
    void recupSiteIE() override;
    void setMainWindowOnTop(bool onTop) override;
    void setLogText(const QString& text) override;
    void clearGateOnTop() override;
    void disablePasswordTab() override;

private:
    void SaveSettings();
    QCheckBox* settingCheckBox(SettingKey key);

    Platform& m_platform;
    PasswordStore m_store;
    QIcon m_icon;
    frmMDP m_gate;
    frmMotDePass m_main;
    std::unique_ptr<frmAbout> m_about;
    std::unique_ptr<frmSuggest> m_suggest;
    std::unique_ptr<Ajour> m_ajour;
    std::function<void()> m_unloadToolbarTutorial;
    std::function<void()> m_unloadToolbarManager;
};

} // namespace kr
