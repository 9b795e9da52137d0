#include "settings/SaveSettings.h"

#include "browser/frmAddIe.h"
#include "browser/frmListIcon.h"
#include "browser/ieToolBar.h"
#include "common/TextFiles.h"
#include "platform/Platform.h"
#include "settings/ProgramFolder.h"
#include "store/PasswordStore.h"

#include <QCoreApplication>

namespace kr {
namespace {

void changePassword(SettingsSaveHost& host, const SettingsSaveParts& parts)
{
    // ProgramPassword follows the password that opens the file, whatever happened.
    const PasswordChangeVerdict verdict = parts.store.ChangeProgramPassword(host.paramPassword());
    if (!verdict.message().isEmpty()) {
        parts.platform.messageBox->show(MsgCritical, verdict.message(), QString());
        host.setParamPasswordBox(parts.store.programPassword()); // the box shows what is in force
    }
}

// Registers the program's button or removes it, as "Afficher" asks. Returns
// RegOk, or why the button could not be registered or removed.
long updateToolbarButton(int afficherIE, const SettingsSaveParts& parts)
{
    // Each save decides from its own scan: a button removed meanwhile (by a
    // second Keyrovia, or by hand) must not pass for present.
    IEButtonPresent = 0;
    frmListIcon& manager = parts.manager;
    // Shown and unloaded again before any event runs: it never gets on screen.
    manager.Show();
    long status = manager.scanStatus();
    if (afficherIE == 0 && IEButtonPresent == 1) {
        status = manager.DeliteProgzIE();
        IEButtonPresent = 0;
        manager.Unload();
    }
    if (afficherIE == 1 && IEButtonPresent == 0) {
        status = parts.platform.registry ? AddProgzIE(*parts.platform.registry) : RegOk;
        manager.Unload();
    }
    manager.Unload();
    return status;
}

} // namespace

void SaveSettings(SettingsSaveHost& host, const SettingsSaveParts& parts)
{
    // A folder that takes nothing is named first, not left to the failures below.
    parts.folder.checkWritable(*parts.platform.messageBox);
    changePassword(host, parts);

    ProgramSettings settings;
    settings.afficherIE = host.settingBox(SettingKey::AfficherIE);
    settings.tjsVisible = host.settingBox(SettingKey::TjsVisible);
    settings.recupAuto = host.settingBox(SettingKey::RecupAuto);
    const bool settingsSaved = WriteTextFile(paramIniPath(), SettingsFileText(settings));
    if (!settingsSaved) {
        parts.platform.messageBox->show(
            MsgCritical, QStringLiteral("Impossible d'écrire le fichier PARAM.ini.\r\n") + paramIniPath(),
            QString());
    }

    const long toolbar = updateToolbarButton(settings.afficherIE, parts);

    host.setMainWindowOnTop(settings.tjsVisible == 1);
    QCoreApplication::processEvents();
    IMessageBox& messages = *parts.platform.messageBox;
    // The confirmation stays, but never over a button that could not be made
    // or removed: the user hears why first, and gets no tutorial for it.
    if (toolbar != RegOk)
        messages.show(
            MsgExclamation,
            toolbarFailureMessage(settings.afficherIE == 1, toolbar,
                                  parts.platform.registry ? parts.platform.registry->location() : QString()),
            QStringLiteral("Bouton Du Navigateur"));
    // Confirmed only when the settings were written: the user has heard why they were not.
    if (settingsSaved)
        messages.show(MsgInformation, QStringLiteral("Configuration Enregistrer"),
                      QStringLiteral("Configuration Enregistrer'"));
    if (settings.afficherIE == 1 && toolbar == RegOk &&
        messages.show(MsgYesNoInformation,
                      QStringLiteral("Voullez Vous Voir le tuto Pour l'ajouter a Internet Explorer"),
                      QStringLiteral("Voir Tutorial ?")) == MsgAnswer::Yes) {
        parts.tutorial.Show();
        host.minimiseMainWindow();
    }
}

} // namespace kr
