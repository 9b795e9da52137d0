#include "settings/ParametersTab.h"

#include "platform/Platform.h"
#include "ui/Controls.h"
#include "ui/Form.h"
#include "ui/WindowOrder.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>

namespace kr {

ParametersTab::ParametersTab(const SettingsSaveParts& parts) : m_parts(parts) {}

void ParametersTab::attach(Form& window, ControlsAccess access)
{
    m_window = &window;
    m_access = std::move(access);
}

QGroupBox* ParametersTab::build(QWidget* tab, ParameterControls& c)
{
    auto* fraParam = named(new QGroupBox(QStringLiteral("Paramettres"), tab), QStringLiteral("fraParam"));
    auto* param = new QGridLayout(fraParam);
    param->addWidget(label(fraParam, QStringLiteral("Afficher Dans Internet Explorer : "),
                           QStringLiteral("lblOuvrirDema"),
                           QStringLiteral("Ajouter l'icone a internet explorer")),
                     0, 0);
    c.chkParamVisiIE =
        named(new TwoStateCheckBox(QStringLiteral("Afficher"), fraParam), QStringLiteral("chkParamVisiIE"));
    param->addWidget(c.chkParamVisiIE, 0, 1);
    param->addWidget(label(fraParam, QStringLiteral("Récupérer Le Site Web Auto :"), QStringLiteral("Label8"),
                           QStringLiteral("Récupérer automatiquement le site de IE")),
                     1, 0);
    c.chkParamRecupIE = named(new TwoStateCheckBox(QStringLiteral("Automatique"), fraParam),
                              QStringLiteral("chkParamRecupIE"));
    param->addWidget(c.chkParamRecupIE, 1, 1);
    param->addWidget(label(fraParam, QStringLiteral("Toujours en premier plan :"), QStringLiteral("Label5"),
                           QStringLiteral("La fenetre va toujours être visible.")),
                     2, 0);
    c.chkParamTjsVisi = named(new TwoStateCheckBox(QStringLiteral("Visible"), fraParam),
                              QStringLiteral("chkParamTjsVisi"), QStringLiteral("Toujours visible."));
    param->addWidget(c.chkParamTjsVisi, 2, 1);
    for (QCheckBox* box : {c.chkParamVisiIE, c.chkParamRecupIE, c.chkParamTjsVisi})
        box->setCheckState(Qt::Checked);
    param->addWidget(label(fraParam, QStringLiteral("Mot De Passe d'acces :"), QStringLiteral("lblMdp")), 3,
                     0);
    c.txtParamMDP = passwordBox(fraParam, QStringLiteral("txtParamMDP"));
    c.txtParamMDP->setToolTip(QStringLiteral("Mot de passe pour l'accès au programme."));
    param->addWidget(c.txtParamMDP, 3, 1);
    auto* paramButtons = new QHBoxLayout;
    c.cmd_Param_Default =
        named(new QPushButton(QStringLiteral("Paramètre Par Défault"), fraParam),
              QStringLiteral("cmd_Param_Default"), QStringLiteral("Applique les paramètres par défault."));
    c.cmd_Applik_Param =
        named(new QPushButton(QStringLiteral("Appliquer"), fraParam), QStringLiteral("cmd_Applik_Param"),
              QStringLiteral("Appliquer les paramètres."));
    paramButtons->addWidget(c.cmd_Param_Default);
    paramButtons->addWidget(c.cmd_Applik_Param);
    param->addLayout(paramButtons, 4, 0, 1, 2);
    connect(c.cmd_Applik_Param, &QPushButton::clicked, this, &ParametersTab::cmd_Applik_Param_Click);
    connect(c.cmd_Param_Default, &QPushButton::clicked, this, &ParametersTab::cmd_Param_Default_Click);
    return fraParam;
}

void ParametersTab::cmd_Applik_Param_Click()
{
    if (!m_window->isLoaded())
        return;
    if (m_access().txtParamMDP->text().isEmpty()) {
        const MsgAnswer answer = m_parts.platform.messageBox->show(
            MsgYesNoExclamation,
            QStringLiteral("Vous N'avez pas mi de mot de passe\r\nNimporte qui qui a acces a cet "
                           "ordinateur pourra voir vos MDP\r\nÊtes vous sur de pas mettre de mot de passe ?"),
            QStringLiteral("T Sur ?"));
        if (answer == MsgAnswer::No)
            return;
    }
    SaveSettings(*this, m_parts);
    if (m_window->isLoaded())
        emit saved();
}

void ParametersTab::cmd_Param_Default_Click()
{
    ParameterControls& c = m_access();
    c.txtParamMDP->clear();
    c.chkParamVisiIE->setCheckState(Qt::Checked);
    c.chkParamTjsVisi->setCheckState(Qt::Checked);
    c.chkParamRecupIE->setCheckState(Qt::Checked);
}

QCheckBox* ParametersTab::settingCheckBox(SettingKey key)
{
    ParameterControls& c = m_access();
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

void ParametersTab::setSettingBox(SettingKey key, int value)
{
    setCheckValue(settingCheckBox(key), value);
}

int ParametersTab::settingBox(SettingKey key)
{
    return checkValue(settingCheckBox(key));
}

QString ParametersTab::paramPassword()
{
    return m_access().txtParamMDP->text();
}

void ParametersTab::setParamPasswordBox(const QString& password)
{
    if (m_window->isLoaded())
        setBoxText(m_access().txtParamMDP, password);
}

void ParametersTab::setMainWindowOnTop(bool onTop)
{
    if (m_window->isLoaded())
        SetTopmost(m_window->widget(), onTop);
}

void ParametersTab::minimiseMainWindow()
{
    if (!m_window->isLoaded())
        return;
    QWidget* window = m_window->widget();
    window->setWindowState(window->windowState() | Qt::WindowMinimized);
}

} // namespace kr
