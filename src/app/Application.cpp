#include "app/Application.h"

#include "about/ProgramIcon.h"
#include "about/frmAbout.h"
#include "browser/frmAddIe.h"
#include "browser/frmListIcon.h"
#include "common/TextFiles.h"
#include "online/Ajour.h"
#include "online/frmSuggest.h"
#include "settings/ParamIni.h"
#include "store/DatabaseMessages.h"
#include "ui/WindowOrder.h"

#include <QCoreApplication>
#include <QGuiApplication>

namespace kr {

KeyroviaApp::KeyroviaApp(Platform& platform)
    : m_platform(platform), m_store(*platform.database, AppDir() + QStringLiteral("BDMDP.MDB")),
      m_folder(AppDir()), m_icon(kr::programIcon()), m_gate(platform, m_store, m_icon),
      m_ajour(std::make_unique<Ajour>(platform, [this] { FermerMain(); }))
{
    // Every window and every message box carries the program's icon.
    QGuiApplication::setWindowIcon(m_icon);
    // The windows that put the main window's topmost state back when they close.
    auto mainWidget = [this]() -> QWidget* { return m_main->isLoaded() ? m_main->widget() : nullptr; };
    auto keepMainOnTop = [this] {
        return m_main->isLoaded() && frmMotDePass::checkValue(m_main->ui().chkParamTjsVisi) == 1;
    };
    m_about = std::make_unique<frmAbout>(platform, mainWidget, keepMainOnTop);
    m_suggest = std::make_unique<frmSuggest>(platform, mainWidget, keepMainOnTop);
    m_listIcon = std::make_unique<frmListIcon>(platform, mainWidget, keepMainOnTop);
    m_addIe = std::make_unique<frmAddIe>(mainWidget);
    m_parameters = std::make_unique<ParametersTab>(
        SettingsSaveParts{platform, m_store, *m_listIcon, *m_addIe, m_folder});
    m_main = std::make_unique<frmMotDePass>(platform, m_store, m_folder, *m_parameters, m_icon);
    connectWindows();
}

void KeyroviaApp::connectWindows()
{
    // Direct connections: each request runs to its end inside the click or key
    // that made it, in the same order as if the window had called it itself.
    auto wire = [](auto* sender, auto signal, auto slot) {
        QObject::connect(sender, signal, sender, slot, Qt::DirectConnection);
    };
    wire(&m_gate, &frmMDP::passwordAccepted, [this](const QString& password) {
        EnterMainWindow();
        if (!password.isEmpty())
            setParamPasswordBox(password);
    });
    wire(&m_gate, &frmMDP::quitRequested, [this] { unloadUpdateCheck(); });
    // The secrets go with the window that uses them, not with the process: an
    // update check may keep it alive for 10 s more.
    wire(&m_gate, &frmMDP::programEnding, [this] { m_store.forgetSecrets(); });
    wire(m_main.get(), &Form::unloaded, [this] { m_store.forgetSecrets(); });
    // Every load of the main window starts the update check first; the
    // window keeps itself hidden until it has something to say.
    wire(m_main.get(), &frmMotDePass::loading, [this] { m_ajour->Load(); });
    wire(m_main.get(), &frmMotDePass::aboutRequested, [this] { showAbout(); });
    wire(m_main.get(), &frmMotDePass::suggestionRequested, [this] { showSuggestion(); });
    // Saved parameters enter the main window again, on the logins tab.
    wire(m_parameters.get(), &ParametersTab::saved, [this] {
        EnterMainWindow();
        if (m_main->isLoaded())
            m_main->openLoginsTab();
    });
}

KeyroviaApp::~KeyroviaApp() = default;

void KeyroviaApp::start()
{
    m_gate.Show();
}

void KeyroviaApp::EnterMainWindow()
{
    kr::EnterMainWindow(*this, *m_platform.messageBox);
}

void KeyroviaApp::setParamPasswordBox(const QString& password)
{
    m_parameters->setParamPasswordBox(password);
}

void KeyroviaApp::showAbout()
{
    m_about->Show();
}

void KeyroviaApp::showSuggestion()
{
    m_suggest->Show();
}

void KeyroviaApp::unloadUpdateCheck()
{
    m_ajour->Unload();
}

void KeyroviaApp::FermerMain()
{
    m_about->Unload();
    m_addIe->Unload();
    m_listIcon->Unload();
    m_gate.Unload();
    m_main->Unload();
    m_suggest->Unload();
}

void KeyroviaApp::applyParameters()
{
    m_parameters->cmd_Applik_Param_Click();
}

void KeyroviaApp::setSettingBox(SettingKey key, int value)
{
    m_parameters->setSettingBox(key, value);
}

int KeyroviaApp::settingBox(SettingKey key)
{
    return m_parameters->settingBox(key);
}

void KeyroviaApp::showMainWindow()
{
    // A minimised main window (the tutorial is open) is left as it is: showing
    // it must not restore it over the tutorial.
    if (m_main->isLoaded() && m_main->widget()->isMinimized())
        return;
    m_main->Show();
}

void KeyroviaApp::unloadGate()
{
    m_gate.Unload();
}

bool KeyroviaApp::loadSiteList()
{
    if (m_main->LoadSiteList())
        return true;
    // Before the first-use flow: the user must not take a damaged file for a new start.
    m_platform.messageBox->show(MsgCritical, UnreadableListMessage(m_store.lastLoadStatus()),
                                UnreadableListTitle());
    return false;
}

void KeyroviaApp::checkDatabase()
{
    const DbStatus status = m_store.CheckDatabase();
    if (!status.ok())
        m_platform.messageBox->show(MsgCritical, UnreadableListMessage(status), UnreadableListTitle());
}

void KeyroviaApp::recupSiteIE()
{
    m_main->RecupSiteIE();
}

void KeyroviaApp::setMainWindowOnTop(bool onTop)
{
    m_parameters->setMainWindowOnTop(onTop);
}

void KeyroviaApp::setLogText(const QString& text)
{
    m_main->setLogText(text);
}

void KeyroviaApp::clearGateOnTop()
{
    if (m_gate.isLoaded())
        ClearAlwaysOnTop(m_gate.widget());
}

void KeyroviaApp::disablePasswordTab()
{
    m_main->closeLoginsTab();
}

} // namespace kr
