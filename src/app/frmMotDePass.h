#pragma once
#include "app/ClipboardGuard.h"
#include "platform/DatabaseEngine.h"
#include "settings/ParametersTab.h"
#include "ui/Form.h"

#include <QIcon>
#include <QPointer>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QTimer;

namespace kr {

struct Platform;
class PasswordStore;
class ProgramFolder;
class SiteListModel;
class SiteListView;
struct SiteRecord;

// The controls of the main window, by their names.
struct MotDePassControls : ParameterControls {
    QTabWidget* Tabblet = nullptr;
    // Tab "Mot De Passe"
    SiteListView* lstSite = nullptr;
    QLineEdit* txtInfoSite = nullptr;
    QLineEdit* txtInfoUser = nullptr;
    QLineEdit* txtInfoMDP = nullptr;
    QCheckBox* chkInfoEtoile = nullptr;
    QPushButton* cmdInfoCopyUSER = nullptr;
    QPushButton* cmdInfoCopyPass = nullptr;
    QPushButton* cmdAutoSends = nullptr;
    QPushButton* cmdLunch = nullptr;
    QTimer* timzAutoLoig = nullptr;
    QLineEdit* txtAddSite = nullptr;
    QLineEdit* txtAddUser = nullptr;
    QLineEdit* txtAddMDP = nullptr;
    QCheckBox* chkAddEtoile = nullptr;
    QPushButton* cmdAddCopyUser = nullptr;
    QPushButton* cmdAddCopyPass = nullptr;
    QPushButton* cmdAddActualiser = nullptr;
    QPushButton* cmdAddSite = nullptr;
    QPushButton* cmdDellSite = nullptr;
    // Tab "Configuration"
    QPlainTextEdit* txtLogz = nullptr;
    QPushButton* cmdLogzEfface = nullptr;
    QLabel* imaIcon = nullptr;
    QPushButton* cmdAbout = nullptr;
    QPushButton* cmdSuggest = nullptr;
    QLabel* lblSite = nullptr;
};

// The working window: list of logins, details, adding and deleting, access log
// and parameters. What belongs to other windows it asks for through its signals.
class frmMotDePass final : public FormOf<MotDePassControls> {
    Q_OBJECT
public:
    frmMotDePass(Platform& platform, PasswordStore& store, ProgramFolder& folder, ParametersTab& parameters,
                 QIcon icon);

    // Touching the controls loads the window.
    MotDePassControls& ui();

    // Check-box states 0, 1 and 2 (greyed).
    static int checkValue(const QCheckBox* box);
    static void setCheckValue(QCheckBox* box, int value);

    // The logins tab, opened after the parameters are saved, closed until the
    // first parameters are.
    void openLoginsTab();
    void closeLoginsTab();

    // List and details
    bool LoadSiteList();
    // Puts a login just stored into SiteTable and the list, at its place.
    void showAddedSite(const SiteRecord& record);
    // Takes the rows of a site just deleted from the file out of SiteTable and the list.
    void dropDeletedSite(const QString& site);
    void ShowSiteDetails(const QString& site);
    void SelectSiteInList(const QString& site);
    void lstSite_Click();

    // Adding and deleting
    void cmdAddSite_Click();
    void cmdDellSite_Click();

    // Clipboard and masking
    void cmdInfoCopyUSER_Click();
    void cmdInfoCopyPass_Click();
    void cmdAddCopyUser_Click();
    void cmdAddCopyPass_Click();
    void chkInfoEtoile_Click();
    void chkAddEtoile_Click();

    // Access log
    void setLogText(const QString& text);
    QString logText() const;
    void cmdLogzEfface_Click();

    // Browser and automatic login
    void RecupSiteIE();
    void cmdAutoSends_Click();
    void timzAutoLoig_Timer();
    void cmdLunch_Click();

    void lblSite_Click();

    ClipboardGuard& clipboardGuard() { return m_clipboardGuard; }

signals:
    // First thing at every load: the place where the update check starts.
    void loading();
    void aboutRequested();
    void suggestionRequested();

protected:
    std::unique_ptr<QWidget> createWidget() override;
    void onLoad() override;
    void onUnload() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The window's builder: each tab, then the controls' handlers.
    QWidget* buildLoginsTab(QWidget* window);
    QWidget* buildConfigurationTab();
    void connectHandlers();
    void showDatabaseError(const QString& what, const DbStatus& status);

    Platform& m_platform;
    PasswordStore& m_store;
    ProgramFolder& m_folder;
    ParametersTab& m_parameters;
    QIcon m_icon;
    ClipboardGuard m_clipboardGuard;
    SiteListModel* m_siteModel = nullptr; // owned by the list
};

QString mainWindowTitle();

} // namespace kr
