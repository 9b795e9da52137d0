#include "app/Application.h"

#include "about/ProgramIcon.h"
#include "about/frmAbout.h"
#include "browser/frmAddIe.h"
#include "browser/frmListIcon.h"
#include "common/TextFiles.h"
#include "common/WindowOrder.h"
#include "online/Ajour.h"
#include "online/frmSuggest.h"
#include "settings/ParamIni.h"
#include "store/DatabaseMessages.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLineEdit>
#include <QTabWidget>

namespace kr {

KeyroviaApp::KeyroviaApp(Platform& platform)
    : m_platform(platform), m_store(*platform.database, AppDir() + QStringLiteral("BDMDP.MDB")),
      m_folder(AppDir()), m_icon(kr::programIcon()), m_gate(platform, m_store, m_icon),
      m_main(platform, m_store, m_folder, m_icon),
      m_ajour(std::make_unique<Ajour>(platform, [this] { FermerMain(); }))
{
    // Every window and every message box carries the program's icon.
    QGuiApplication::setWindowIcon(m_icon);
    // The windows that put the main window's topmost state back when they close.
    auto mainWidget = [this]() -> QWidget* { return m_main.isLoaded() ? m_main.widget() : nullptr; };
    auto keepMainOnTop = [this] {
        return m_main.isLoaded() && frmMotDePass::checkValue(m_main.ui().chkParamTjsVisi) == 1;
    };
    m_about = std::make_unique<frmAbout>(platform, mainWidget, keepMainOnTop);
    m_suggest = std::make_unique<frmSuggest>(platform, mainWidget, keepMainOnTop);
    m_listIcon = std::make_unique<frmListIcon>(platform, mainWidget, keepMainOnTop);
    m_addIe = std::make_unique<frmAddIe>(mainWidget);
    connectWindows();
}

void KeyroviaApp::connectWindows()
{
    // Direct connections: each request runs to its end inside the click or key
    // that made it, in the same order as if the window had called it itself.
    const auto now = Qt::DirectConnection;
    QObject::connect(
        &m_gate, &frmMDP::passwordAccepted, &m_gate,
        [this](const QString& password) {
            EnterMainWindow();
            if (!password.isEmpty())
                setParamPasswordBox(password);
        },
        now);
    QObject::connect(
        &m_gate, &frmMDP::quitRequested, &m_gate, [this] { unloadUpdateCheck(); }, now);
    // Every load of the main window starts the update check first; the
    // window keeps itself hidden until it has something to say.
    QObject::connect(
        &m_main, &frmMotDePass::loading, &m_main, [this] { m_ajour->Load(); }, now);
    QObject::connect(
        &m_main, &frmMotDePass::aboutRequested, &m_main, [this] { showAbout(); }, now);
    QObject::connect(
        &m_main, &frmMotDePass::suggestionRequested, &m_main, [this] { showSuggestion(); }, now);
    QObject::connect(
        &m_main, &frmMotDePass::applyRequested, &m_main, [this] { applyParameters(); }, now);
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
    if (m_main.isLoaded())
        m_main.ui().txtParamMDP->setText(password);
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
    m_main.Unload();
    m_suggest->Unload();
}

void KeyroviaApp::applyParameters()
{
    if (!m_main.isLoaded())
        return;
    MotDePassControls& c = m_main.ui();
    if (c.txtParamMDP->text().isEmpty()) {
        const MsgAnswer answer = m_platform.messageBox->show(
            MsgYesNoExclamation,
            QStringLiteral("Vous N'avez pas mi de mot de passe\r\nNimporte qui qui a acces a cet "
                           "ordinateur pourra voir vos MDP\r\nÊtes vous sur de pas mettre de mot de passe ?"),
            QStringLiteral("T Sur ?"));
        if (answer == MsgAnswer::No)
            return;
    }
    SaveSettings(*this, SettingsSaveParts{m_platform, m_store, *m_listIcon, *m_addIe, m_folder});
    if (!m_main.isLoaded())
        return;
    EnterMainWindow();
    if (!m_main.isLoaded())
        return;
    m_main.ui().Tabblet->setTabEnabled(0, true);
    m_main.ui().Tabblet->setCurrentIndex(0);
}

QString KeyroviaApp::paramPassword()
{
    return m_main.ui().txtParamMDP->text();
}

void KeyroviaApp::minimiseMainWindow()
{
    if (m_main.isLoaded())
        m_main.widget()->setWindowState(m_main.widget()->windowState() | Qt::WindowMinimized);
}

QCheckBox* KeyroviaApp::settingCheckBox(SettingKey key)
{
    MotDePassControls& c = m_main.ui();
    switch (key) {
    case SettingKey::AfficherIE:
        return c.chkParamVisiIE;
    case SettingKey::TjsVisible:
        return c.chkParamTjsVisi;
    case SettingKey::RecupAuto:
        return c.chkParamRecupIE;
    }
    return nullptr;
}

void KeyroviaApp::setSettingBox(SettingKey key, int value)
{
    frmMotDePass::setCheckValue(settingCheckBox(key), value);
}

int KeyroviaApp::settingBox(SettingKey key)
{
    return frmMotDePass::checkValue(settingCheckBox(key));
}

void KeyroviaApp::showMainWindow()
{
    // A minimised main window (the tutorial is open) is left as it is: showing
    // it must not restore it over the tutorial.
    if (m_main.isLoaded() && m_main.widget()->isMinimized())
        return;
    m_main.Show();
}

void KeyroviaApp::unloadGate()
{
    m_gate.Unload();
}

bool KeyroviaApp::loadSiteList()
{
    if (m_main.LoadSiteList())
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
    m_main.RecupSiteIE();
}

void KeyroviaApp::setMainWindowOnTop(bool onTop)
{
    if (m_main.isLoaded())
        SetTopmost(m_main.widget(), onTop);
}

void KeyroviaApp::setLogText(const QString& text)
{
    m_main.setLogText(text);
}

void KeyroviaApp::clearGateOnTop()
{
    if (m_gate.isLoaded())
        ClearAlwaysOnTop(m_gate.widget());
}

void KeyroviaApp::disablePasswordTab()
{
    QTabWidget* tabs = m_main.ui().Tabblet;
    tabs->setCurrentIndex(1);
    tabs->setTabEnabled(0, false);
    // The first thing to configure is the master password.
    m_main.ui().txtParamMDP->setFocus();
}

} // namespace kr
