// The main window's builder: its two tabs and the handlers of its controls.
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
#include <vector>

namespace kr {

namespace {

QPushButton* smallButton(QWidget* parent, const QString& text, const QString& name, const QString& toolTip)
{
    auto* b = named(new QPushButton(text, parent), name, toolTip);
    b->setFixedWidth(28);
    return b;
}

struct RowButton {
    QString text;
    QString name;
    QString toolTip;
};

struct LoginRows {
    QGridLayout* grid = nullptr;
    std::array<QLineEdit*, 3> boxes{};
    std::array<QPushButton*, 3> buttons{};
    QCheckBox* star = nullptr;
};

// "Site :", "User :" and "Pass :" rows named lbl<part>Site / txt<part>Site ...,
// the password masked, a small button right of each box and a ticked "*" box.
LoginRows loginRows(QGroupBox* frame, const QString& part, const QString& passName,
                    const std::vector<RowButton>& buttons, const QString& starName)
{
    LoginRows rows;
    rows.grid = new QGridLayout(frame);
    const std::array<QString, 3> captions = {QStringLiteral("Site :"), QStringLiteral("User :"),
                                             QStringLiteral("Pass :")};
    const std::array<QString, 3> names = {QStringLiteral("Site"), QStringLiteral("User"), passName};
    for (int i = 0; i < 3; ++i) {
        rows.grid->addWidget(label(frame, captions[i], QStringLiteral("lbl") + part + names[i]), i, 0);
        const QString boxName = QStringLiteral("txt") + part + names[i];
        rows.boxes[i] = i == 2 ? passwordBox(frame, boxName) : named(new QLineEdit(frame), boxName);
        rows.grid->addWidget(rows.boxes[i], i, 1);
        const RowButton& button = buttons.at(static_cast<size_t>(i));
        rows.buttons[i] = smallButton(frame, button.text, button.name, button.toolTip);
        rows.grid->addWidget(rows.buttons[i], i, 2);
    }
    rows.star =
        named(new QCheckBox(QStringLiteral("*"), frame), starName, QStringLiteral("Cacher par des *"));
    rows.star->setChecked(true);
    rows.grid->addWidget(rows.star, 2, 3);
    return rows;
}

} // namespace

std::unique_ptr<QWidget> frmMotDePass::createWidget()
{
    m_ui = MotDePassControls{};
    auto w = std::make_unique<QWidget>();
    w->setObjectName(QStringLiteral("frmMotDePass"));
    w->setWindowIcon(m_icon);
    auto* outer = new QVBoxLayout(w.get());
    outer->setContentsMargins(6, 6, 6, 6);
    auto* tabs = named(new QTabWidget(w.get()), QStringLiteral("Tabblet"));
    m_ui.Tabblet = tabs;
    outer->addWidget(tabs);

    tabs->addTab(buildLoginsTab(w.get()), QStringLiteral("Mot De Passe"));
    tabs->addTab(buildConfigurationTab(), QStringLiteral("Configuration"));
    connectHandlers();

    // Tab moves down the list column, then the details, then the add form.
    const QList<QWidget*> tabChain = {m_ui.lstSite,        m_ui.cmdDellSite,     m_ui.txtInfoSite,
                                      m_ui.cmdLunch,       m_ui.txtInfoUser,     m_ui.cmdInfoCopyUSER,
                                      m_ui.txtInfoMDP,     m_ui.cmdInfoCopyPass, m_ui.chkInfoEtoile,
                                      m_ui.cmdAutoSends,   m_ui.txtAddSite,      m_ui.cmdAddActualiser,
                                      m_ui.txtAddUser,     m_ui.cmdAddCopyUser,  m_ui.txtAddMDP,
                                      m_ui.cmdAddCopyPass, m_ui.chkAddEtoile,    m_ui.cmdAddSite};
    for (qsizetype i = 1; i < tabChain.size(); ++i)
        QWidget::setTabOrder(tabChain[i - 1], tabChain[i]);
    // Ready for a new login (or the site the browser shows) from the start.
    m_ui.txtAddSite->setFocus();

    w->adjustSize();
    w->setFixedSize(w->sizeHint()); // fixed, non-resizable border
    return w;
}

QWidget* frmMotDePass::buildLoginsTab(QWidget* window)
{
    auto* tab0 = new QWidget;
    auto* grid0 = new QGridLayout(tab0);
    auto* fraLstSite =
        named(new QGroupBox(QStringLiteral("Site Web ( Ou Progz )"), tab0), QStringLiteral("fraLstSite"));
    auto* lstLayout = new QVBoxLayout(fraLstSite);
    m_ui.lstSite = named(new SiteListView(fraLstSite), QStringLiteral("lstSite"));
    m_ui.lstSite->setFont(QFont(QStringLiteral("Arial")));
    m_siteModel = new SiteListModel(m_store.siteTable(), m_ui.lstSite);
    m_ui.lstSite->setModel(m_siteModel);
    m_ui.lstSite->setMinimumWidth(200);
    lstLayout->addWidget(m_ui.lstSite);
    m_ui.cmdDellSite =
        named(new QPushButton(QStringLiteral("Supprimer"), fraLstSite), QStringLiteral("cmdDellSite"));
    lstLayout->addWidget(m_ui.cmdDellSite);
    grid0->addWidget(fraLstSite, 0, 0, 2, 1);

    // The details frame and the add frame share one shape: Site, User and Pass
    // rows with a small button each, a "*" box masking the password, and a wide
    // button below.
    const QString copyTip = QStringLiteral("Copier Dans Le Presse Papier");
    const QString pasteTip = QStringLiteral("Coller Du Presse Papier");
    auto* fraInfo = named(new QGroupBox(QStringLiteral("Information"), tab0), QStringLiteral("fraInfo"));
    const LoginRows info = loginRows(fraInfo, QStringLiteral("Info"), QStringLiteral("MDP"),
                                     {{QStringLiteral("L"), QStringLiteral("cmdLunch"), copyTip},
                                      {QStringLiteral("C"), QStringLiteral("cmdInfoCopyUSER"), copyTip},
                                      {QStringLiteral("C"), QStringLiteral("cmdInfoCopyPass"), copyTip}},
                                     QStringLiteral("chkInfoEtoile"));
    m_ui.txtInfoSite = info.boxes[0];
    m_ui.txtInfoUser = info.boxes[1];
    m_ui.txtInfoMDP = info.boxes[2];
    m_ui.cmdLunch = info.buttons[0];
    m_ui.cmdInfoCopyUSER = info.buttons[1];
    m_ui.cmdInfoCopyPass = info.buttons[2];
    m_ui.chkInfoEtoile = info.star;
    m_ui.cmdAutoSends = named(new QPushButton(QStringLiteral("SenDKeys ( Envois Automatique )"), fraInfo),
                              QStringLiteral("cmdAutoSends"),
                              QStringLiteral("Envois des info sur la fenetre qui a le focus"));
    info.grid->addWidget(m_ui.cmdAutoSends, 3, 0, 1, 4);
    m_ui.timzAutoLoig = new QTimer(window);
    m_ui.timzAutoLoig->setObjectName(QStringLiteral("timzAutoLoig"));
    m_ui.timzAutoLoig->setInterval(2000);
    m_ui.timzAutoLoig->setSingleShot(true); // the tick closes the window: it never ticks twice
    grid0->addWidget(fraInfo, 0, 1);

    auto* fraAddSite = named(new QGroupBox(QStringLiteral("Ajout d'un Nouveau Mot De Passe"), tab0),
                             QStringLiteral("fraAddSite"));
    const LoginRows add = loginRows(
        fraAddSite, QStringLiteral("Add"), QStringLiteral("MDP"),
        {{QStringLiteral("A"), QStringLiteral("cmdAddActualiser"), QStringLiteral("Actuliser de IE")},
         {QStringLiteral("C"), QStringLiteral("cmdAddCopyUser"), pasteTip},
         {QStringLiteral("C"), QStringLiteral("cmdAddCopyPass"), pasteTip}},
        QStringLiteral("chkAddEtoile"));
    m_ui.txtAddSite = add.boxes[0];
    m_ui.txtAddUser = add.boxes[1];
    m_ui.txtAddMDP = add.boxes[2];
    m_ui.cmdAddActualiser = add.buttons[0];
    m_ui.cmdAddCopyUser = add.buttons[1];
    m_ui.cmdAddCopyPass = add.buttons[2];
    m_ui.chkAddEtoile = add.star;
    m_ui.cmdAddSite =
        named(new QPushButton(QStringLiteral("Ajouter"), fraAddSite), QStringLiteral("cmdAddSite"));
    add.grid->addWidget(m_ui.cmdAddSite, 3, 0, 1, 4);
    grid0->addWidget(fraAddSite, 1, 1);
    return tab0;
}

QWidget* frmMotDePass::buildConfigurationTab()
{
    auto* tab1 = new QWidget;
    auto* grid1 = new QGridLayout(tab1);
    auto* frmLogz =
        named(new QGroupBox(QStringLiteral("Logs Des tentatives d'acces"), tab1), QStringLiteral("frmLogz"));
    auto* logLayout = new QHBoxLayout(frmLogz);
    m_ui.txtLogz = named(new QPlainTextEdit(frmLogz), QStringLiteral("txtLogz"));
    m_ui.txtLogz->setReadOnly(true);
    m_ui.txtLogz->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Several lines wrapped at the box's width: a vertical scroll bar only.
    m_ui.txtLogz->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_ui.txtLogz->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    m_ui.txtLogz->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_ui.txtLogz->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    logLayout->addWidget(m_ui.txtLogz);
    m_ui.cmdLogzEfface = named(new QPushButton(QStringLiteral("Éffacer"), frmLogz),
                               QStringLiteral("cmdLogzEfface"), QStringLiteral("Éffacer le logs."));
    logLayout->addWidget(m_ui.cmdLogzEfface, 0, Qt::AlignTop);
    grid1->addWidget(frmLogz, 0, 0, 1, 2);

    grid1->addWidget(m_parameters.build(tab1, m_ui), 1, 0);

    auto* side = new QVBoxLayout;
    m_ui.imaIcon = named(new QLabel(tab1), QStringLiteral("imaIcon"));
    m_ui.imaIcon->setPixmap(m_icon.pixmap(48, 48));
    m_ui.imaIcon->setAlignment(Qt::AlignCenter);
    side->addWidget(m_ui.imaIcon);
    m_ui.cmdAbout = named(new QPushButton(QStringLiteral("A Propos De.."), tab1), QStringLiteral("cmdAbout"));
    m_ui.cmdSuggest =
        named(new QPushButton(QStringLiteral("Suggestion"), tab1), QStringLiteral("cmdSuggest"));
    side->addWidget(m_ui.cmdAbout);
    side->addWidget(m_ui.cmdSuggest);
    side->addStretch();
    grid1->addLayout(side, 1, 1);
    auto* site = named(new LinkLabel(vendorHost(), tab1), QStringLiteral("lblSite"),
                       QStringLiteral("Aller Sur Le Site Web"));
    connect(site, &LinkLabel::clicked, this, &frmMotDePass::lblSite_Click);
    m_ui.lblSite = site;
    grid1->addWidget(m_ui.lblSite, 2, 0, 1, 2);
    return tab1;
}

void frmMotDePass::connectHandlers()
{
    connect(m_ui.lstSite, &SiteListView::rowClicked, this, [this] { lstSite_Click(); });
    // Keyboard selection counts as a click, as in a classic list box.
    connect(m_ui.lstSite, &SiteListView::selectionMoved, this, [this] { lstSite_Click(); });
    connect(m_ui.chkInfoEtoile, &QCheckBox::clicked, this, &frmMotDePass::chkInfoEtoile_Click);
    connect(m_ui.chkAddEtoile, &QCheckBox::clicked, this, &frmMotDePass::chkAddEtoile_Click);
    connect(m_ui.cmdInfoCopyUSER, &QPushButton::clicked, this, &frmMotDePass::cmdInfoCopyUSER_Click);
    connect(m_ui.cmdInfoCopyPass, &QPushButton::clicked, this, &frmMotDePass::cmdInfoCopyPass_Click);
    connect(m_ui.cmdAddCopyUser, &QPushButton::clicked, this, &frmMotDePass::cmdAddCopyUser_Click);
    connect(m_ui.cmdAddCopyPass, &QPushButton::clicked, this, &frmMotDePass::cmdAddCopyPass_Click);
    connect(m_ui.cmdAddSite, &QPushButton::clicked, this, &frmMotDePass::cmdAddSite_Click);
    connect(m_ui.cmdDellSite, &QPushButton::clicked, this, &frmMotDePass::cmdDellSite_Click);
    connect(m_ui.cmdLogzEfface, &QPushButton::clicked, this, &frmMotDePass::cmdLogzEfface_Click);
    connect(m_ui.txtLogz, &QPlainTextEdit::textChanged, this, [this] {
        // The newest entries stay in view whenever the box is filled.
        m_ui.txtLogz->moveCursor(QTextCursor::End);
        m_ui.txtLogz->verticalScrollBar()->setValue(m_ui.txtLogz->verticalScrollBar()->maximum());
    });
    connect(m_ui.cmdAddActualiser, &QPushButton::clicked, this, &frmMotDePass::RecupSiteIE);
    connect(m_ui.cmdAutoSends, &QPushButton::clicked, this, &frmMotDePass::cmdAutoSends_Click);
    connect(m_ui.timzAutoLoig, &QTimer::timeout, this, &frmMotDePass::timzAutoLoig_Timer);
    connect(m_ui.cmdLunch, &QPushButton::clicked, this, &frmMotDePass::cmdLunch_Click);
    connect(m_ui.cmdAbout, &QPushButton::clicked, this, &frmMotDePass::aboutRequested);
    connect(m_ui.cmdSuggest, &QPushButton::clicked, this, &frmMotDePass::suggestionRequested);
    for (QLineEdit* box : {m_ui.txtAddSite, m_ui.txtAddUser, m_ui.txtAddMDP})
        box->installEventFilter(this);
}

} // namespace kr
