#include "app/frmMotDePass.h"

#include "app/AccessLog.h"
#include "app/SiteList.h"
#include "browser/AutoLogin.h"
#include "browser/PageSite.h"
#include "common/Strings.h"
#include "common/Version.h"
#include "platform/Platform.h"
#include "settings/ParametersTab.h"
#include "settings/ProgramFolder.h"
#include "store/DatabaseMessages.h"
#include "store/PasswordStore.h"
#include "ui/Controls.h"
#include "ui/LinkLabel.h"
#include "ui/WindowOrder.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <array>
#include <utility>
#include <vector>

namespace kr {

QString mainWindowTitle()
{
    return QStringLiteral("Keyrovia ") + versionText() + QStringLiteral(" - Http://") + vendorHost();
}

frmMotDePass::frmMotDePass(Platform& platform, PasswordStore& store, ProgramFolder& folder,
                           ParametersTab& parameters, QIcon icon)
    : m_platform(platform), m_store(store), m_folder(folder), m_parameters(parameters),
      m_icon(std::move(icon))
{
    m_parameters.attach(*this, [this]() -> ParameterControls& { return ui(); });
}

MotDePassControls& frmMotDePass::ui()
{
    Load();
    return m_ui;
}

int frmMotDePass::checkValue(const QCheckBox* box)
{
    return kr::checkValue(box);
}

void frmMotDePass::setCheckValue(QCheckBox* box, int value)
{
    kr::setCheckValue(box, value);
}

void frmMotDePass::openLoginsTab()
{
    MotDePassControls& c = ui();
    c.Tabblet->setTabEnabled(0, true);
    c.Tabblet->setCurrentIndex(0);
}

void frmMotDePass::closeLoginsTab()
{
    MotDePassControls& c = ui();
    c.Tabblet->setCurrentIndex(1);
    c.Tabblet->setTabEnabled(0, false);
    // The first thing to configure is the master password.
    c.txtParamMDP->setFocus();
}

void frmMotDePass::onLoad()
{
    emit loading();
    widget()->setWindowTitle(mainWindowTitle());
}

void frmMotDePass::onUnload()
{
    ClearAlwaysOnTop(widget());
    // The window goes with the last use of the passwords it shows; its owner
    // wipes the rest (ProgramPassword, SiteTable, the keys) once it is gone.
    for (QLineEdit* box : {m_ui.txtInfoMDP, m_ui.txtAddMDP, m_ui.txtParamMDP})
        wipeBox(box);
}

bool frmMotDePass::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            if (watched == m_ui.txtAddSite) {
                m_ui.txtAddUser->setFocus();
                return true;
            }
            if (watched == m_ui.txtAddUser) {
                m_ui.txtAddMDP->setFocus();
                return true;
            }
            if (watched == m_ui.txtAddMDP) {
                cmdAddSite_Click();
                return true;
            }
        }
    }
    return Form::eventFilter(watched, event);
}

// ---------------------------------------------------------------- list and details

bool frmMotDePass::LoadSiteList()
{
    MotDePassControls& c = ui();
    const QSignalBlocker block(c.lstSite);
    // The list shows SiteTable itself: no item per row, nothing copied.
    m_siteModel->beginReload();
    const DbStatus status = m_store.LoadSiteList();
    m_siteModel->endReload();
    c.lstSite->setCurrentRow(-1);
    return status.ok();
}

void frmMotDePass::showAddedSite(const SiteRecord& record)
{
    MotDePassControls& c = ui();
    const QSignalBlocker block(c.lstSite);
    PasswordStore& store = m_store;
    const int row = store.SitePosition(record.Site);
    m_siteModel->beginInsert(row);
    store.PutSiteRecord(row, record);
    m_siteModel->endInsert();
    c.lstSite->setCurrentRow(-1);
}

void frmMotDePass::dropDeletedSite(const QString& site)
{
    MotDePassControls& c = ui();
    const QSignalBlocker block(c.lstSite);
    PasswordStore& store = m_store;
    const auto [first, count] = store.SiteRows(site);
    if (count > 0) {
        m_siteModel->beginRemove(first, first + count - 1);
        store.DropSiteRows(first, count);
        m_siteModel->endRemove();
    }
    c.lstSite->setCurrentRow(-1);
}

void frmMotDePass::ShowSiteDetails(const QString& site)
{
    const auto& table = m_store.siteTable();
    const int i = FindSiteExact(table, site);
    if (i < 0)
        return;
    MotDePassControls& c = ui();
    setBoxText(c.txtInfoSite, table[static_cast<size_t>(i)].Site);
    setBoxText(c.txtInfoUser, table[static_cast<size_t>(i)].User);
    setBoxText(c.txtInfoMDP, table[static_cast<size_t>(i)].Pass);
}

void frmMotDePass::SelectSiteInList(const QString& site)
{
    MotDePassControls& c = ui();
    const QString wanted = site.toUpper();
    const auto& table = m_store.siteTable();
    for (int i = 0; i < static_cast<int>(table.size()); ++i) {
        if (table[static_cast<size_t>(i)].Site.toUpper() == wanted) {
            {
                const QSignalBlocker block(c.lstSite);
                c.lstSite->setCurrentRow(i);
            }
            lstSite_Click();
            return;
        }
    }
}

void frmMotDePass::lstSite_Click()
{
    const SiteListView* list = ui().lstSite;
    const int row = list->currentRow();
    if (row < 0)
        return;
    ShowSiteDetails(list->text(row));
}

// ---------------------------------------------------------------- adding and deleting

void frmMotDePass::showDatabaseError(const QString& what, const DbStatus& status)
{
    QString text = what + QStringLiteral("\r\nLa base de données ( BDMDP.MDB ) est inaccessible.");
    // In the user's words: the engine's own text is English.
    if (!status.ok())
        text += QStringLiteral("\r\n") +
                (m_folder.writable() ? DatabaseProblemText(status)
                                     : QStringLiteral("Le dossier du programme est en lecture seule."));
    m_platform.messageBox->show(MsgCritical, text, QString());
}

void frmMotDePass::cmdAddSite_Click()
{
    MotDePassControls& c = ui();
    IMessageBox& msg = *m_platform.messageBox;
    const QString typed = c.txtAddSite->text();
    for (const SiteRecord& r : m_store.siteTable()) {
        if (r.Site == typed) {
            msg.show(MsgCritical, QStringLiteral("Le Site Web Existe Deja"),
                     QStringLiteral("Site Web Existant"));
            return;
        }
    }
    // "www." alone would store an empty site: it is answered like an empty box.
    if (typed.isEmpty() || WithoutWwwPrefix(typed).isEmpty()) {
        msg.show(MsgCritical, QStringLiteral("Pas De Site Web Ou Nom"),
                 QStringLiteral("Érreur, Manque D'Information"));
        return;
    }
    if (c.txtAddUser->text().isEmpty()) {
        msg.show(MsgCritical, QStringLiteral("Pas de Nom D'utilisateur"),
                 QStringLiteral("Érreur, Manque D'Information"));
        return;
    }
    if (WithoutWwwPrefix(typed) != typed)
        setBoxText(c.txtAddSite, WithoutWwwPrefix(typed));
    m_folder.checkWritable(msg);
    const DbStatus inserted =
        m_store.InsertSiteRecord(c.txtAddSite->text(), c.txtAddUser->text(), c.txtAddMDP->text());
    if (!inserted.ok()) {
        // Nothing was stored: the typed texts stay for another try.
        showDatabaseError(QStringLiteral("Le mot de passe n'a pas été ajouté."), inserted);
        return;
    }
    // The new row goes to its place in the list; the whole list is read again
    // only when it was not a faithful copy of the file.
    if (m_store.siteTableLoaded())
        showAddedSite({c.txtAddSite->text(), c.txtAddUser->text(), c.txtAddMDP->text()});
    else if (!LoadSiteList())
        showDatabaseError(QStringLiteral("La liste n'a pas pu être relue."), m_store.lastLoadStatus());
    msg.show(MsgInformation, c.txtAddSite->text() + QStringLiteral("\r\nA Bien été Ajouter"),
             QStringLiteral("Ajout Avec Succes"));
    if (!isLoaded())
        return;
    c.txtAddSite->clear();
    c.txtAddUser->clear();
    c.txtAddMDP->clear();
    c.txtAddSite->setFocus();
}

void frmMotDePass::cmdDellSite_Click()
{
    MotDePassControls& c = ui();
    const int row = c.lstSite->currentRow();
    if (row < 0)
        return;
    const QString site = c.lstSite->text(row);
    const MsgAnswer answer = m_platform.messageBox->show(
        MsgYesNoExclamation, QStringLiteral("être Vous sur de supprimer :\r\n") + site,
        QStringLiteral("T Sur ?"));
    if (answer == MsgAnswer::No || !isLoaded())
        return;
    if (site == c.lblSite->text())
        return; // the vendor's own entry stays
    m_folder.checkWritable(*m_platform.messageBox);
    const DbStatus deleted = m_store.DeleteSiteRecords(site);
    if (!deleted.ok()) {
        showDatabaseError(QStringLiteral("Le mot de passe n'a pas été supprimé."), deleted);
        return;
    }
    if (m_store.siteTableLoaded())
        dropDeletedSite(site);
    else if (!LoadSiteList())
        showDatabaseError(QStringLiteral("La liste n'a pas pu être relue."), m_store.lastLoadStatus());
    c.txtInfoSite->clear();
    c.txtInfoUser->clear();
    c.txtInfoMDP->clear();
}

// ---------------------------------------------------------------- clipboard and masking

void frmMotDePass::cmdInfoCopyUSER_Click()
{
    IClipboard& clip = *m_platform.clipboard;
    clip.clear();
    clip.setText(ui().txtInfoUser->text(), false);
}

void frmMotDePass::cmdInfoCopyPass_Click()
{
    // The password leaves the clipboard again after ClipboardGuard::DefaultDelayMs.
    m_clipboardGuard.copySecret(*m_platform.clipboard, ui().txtInfoMDP->text());
}

void frmMotDePass::cmdAddCopyUser_Click()
{
    setBoxText(ui().txtAddUser, m_platform.clipboard->text().value_or(QString()));
}

void frmMotDePass::cmdAddCopyPass_Click()
{
    setBoxText(ui().txtAddMDP, m_platform.clipboard->text().value_or(QString()));
}

namespace {
void applyMask(QCheckBox* box, QLineEdit* text)
{
    text->setEchoMode(box->checkState() == Qt::Unchecked ? QLineEdit::Normal : QLineEdit::Password);
}
} // namespace

void frmMotDePass::chkInfoEtoile_Click()
{
    applyMask(ui().chkInfoEtoile, m_ui.txtInfoMDP);
}

void frmMotDePass::chkAddEtoile_Click()
{
    applyMask(ui().chkAddEtoile, m_ui.txtAddMDP);
}

// ---------------------------------------------------------------- access log

void frmMotDePass::setLogText(const QString& text)
{
    ui().txtLogz->setPlainText(toDisplayLineBreaks(text));
}

QString frmMotDePass::logText() const
{
    if (!m_ui.txtLogz)
        return {};
    return m_ui.txtLogz->toPlainText().replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
}

void frmMotDePass::cmdLogzEfface_Click()
{
    MotDePassControls& c = ui();
    if (c.txtLogz->toPlainText().isEmpty())
        return;
    const MsgAnswer answer = m_platform.messageBox->show(
        MsgYesNoExclamation, QStringLiteral("être Vous sur de supprimer le Logz ?"),
        QStringLiteral("T Sur ?"));
    if (answer == MsgAnswer::No || !isLoaded())
        return;
    m_folder.checkWritable(*m_platform.messageBox);
    if (!EraseLog()) {
        // The box keeps showing what the file still holds.
        m_platform.messageBox->show(
            MsgCritical, QStringLiteral("Impossible d'éffacer le fichier Logz.ini.\r\n") + logPath(),
            QString());
        return;
    }
    c.txtLogz->clear();
}

// ---------------------------------------------------------------- browser and automatic login

void frmMotDePass::RecupSiteIE()
{
    MotDePassControls& c = ui();
    if (IPageAddress* source = m_platform.pageAddress) {
        if (std::optional<QString> reply = source->request(5000))
            c.txtAddSite->setText(*reply);
    }
    c.txtAddSite->setText(HostBetweenSchemeAndPath(c.txtAddSite->text()));
    setBoxText(c.txtAddSite, WithoutWwwPrefix(c.txtAddSite->text()));
    SelectSiteInList(c.txtAddSite->text());
}

void frmMotDePass::cmdAutoSends_Click()
{
    MotDePassControls& c = ui();
    Hide();
    // Where the desktop asks the user first, it asks at once: its dialog takes
    // the focus and gives it back, so the keys follow the answer.
    if (m_platform.keystrokes && m_platform.keystrokes->asksFirst()) {
        timzAutoLoig_Timer();
        return;
    }
    c.timzAutoLoig->start();
}

void frmMotDePass::timzAutoLoig_Timer()
{
    MotDePassControls& c = ui();
    c.timzAutoLoig->stop();
    const QString keys = BuildLoginKeyString(c.txtInfoUser->text(), c.txtInfoMDP->text());
    Platform& p = m_platform;
    const bool typed = p.keystrokes && p.lockKeys && fSendKeys(*p.keystrokes, *p.lockKeys, keys, true);
    // When the login may not have arrived, the user goes on here, the login
    // still selected (its copy buttons), instead of unlocking again.
    if (!typed) {
        Show();
        return;
    }
    Unload();
}

void frmMotDePass::cmdLunch_Click()
{
    const QString site = ui().txtInfoSite->text();
    if (site.isEmpty())
        return;
    m_platform.shell->open(QStringLiteral("http://") + site);
}

void frmMotDePass::lblSite_Click()
{
    m_platform.shell->open(vendorHomePage());
}

} // namespace kr
