#include "settings/EnterMainWindow.h"

#include "common/TextFiles.h"
#include "platform/Platform.h"

namespace kr {
namespace {

void FirstUseFlow(MainWindowEntryHost& host, IMessageBox& messageBox)
{
    host.clearGateOnTop();
    messageBox.show(MsgInformation,
                    QStringLiteral("Ses Votre Premiere Utilisation\r\nVeiller Configurer Le Plugin"),
                    QStringLiteral("Configuration"));
    host.disablePasswordTab();
    host.showMainWindow();
    host.unloadGate();
}

} // namespace

bool EnterMainWindow(MainWindowEntryHost& host, IMessageBox& messageBox)
{
    const ReadResult file = ReadTextFile(paramIniPath());
    if (!file.ok) {
        host.checkDatabase();
        FirstUseFlow(host, messageBox);
        return false;
    }
    // Each box is set before the next value is read: a value that fails leaves
    // the boxes before it as they were set.
    for (const SettingKey key : {SettingKey::AfficherIE, SettingKey::TjsVisible, SettingKey::RecupAuto}) {
        const std::optional<int> value = ReadSettingValue(file.text, key);
        if (!value) {
            host.checkDatabase();
            FirstUseFlow(host, messageBox);
            return false;
        }
        host.setSettingBox(key, *value);
    }
    host.showMainWindow();
    host.unloadGate();
    if (!host.loadSiteList()) {
        FirstUseFlow(host, messageBox);
        return false;
    }
    if (host.settingBox(SettingKey::RecupAuto) == 1)
        host.recupSiteIE();
    host.setMainWindowOnTop(host.settingBox(SettingKey::TjsVisible) == 1);
    host.setLogText(ReadTextFile(AppDir() + QStringLiteral("Logz.ini")).text);
    return true;
}

} // namespace kr
