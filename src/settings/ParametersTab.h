#pragma once
#include "settings/SaveSettings.h"

#include <QObject>
#include <functional>

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;

namespace kr {

class Form;

// The controls of the parameters frame, by their names.
struct ParameterControls {
    QLineEdit* txtParamMDP = nullptr;
    QCheckBox* chkParamRecupIE = nullptr;
    QCheckBox* chkParamTjsVisi = nullptr;
    QCheckBox* chkParamVisiIE = nullptr;
    QPushButton* cmd_Applik_Param = nullptr;
    QPushButton* cmd_Param_Default = nullptr;
};

// The main window's parameters: the frame "Paramettres" built inside the tab
// the main window hands over, its two buttons, and the save behind "Appliquer".
class ParametersTab final : public QObject, public SettingsSaveHost {
    Q_OBJECT
public:
    // Reaches the controls, loading the main window when needed.
    using ControlsAccess = std::function<ParameterControls&()>;

    explicit ParametersTab(const SettingsSaveParts& parts);

    // The window that holds the frame, and the way to its controls.
    void attach(Form& window, ControlsAccess access);
    // Builds the frame in tab, fills controls, and connects the two buttons.
    QGroupBox* build(QWidget* tab, ParameterControls& controls);

    // "Appliquer": asks before saving with no password, saves, then announces it.
    void cmd_Applik_Param_Click();
    void cmd_Param_Default_Click();

    void setSettingBox(SettingKey key, int value);

    // SettingsSaveHost
    QString paramPassword() override;
    void setParamPasswordBox(const QString& password) override;
    int settingBox(SettingKey key) override;
    void setMainWindowOnTop(bool onTop) override;
    void minimiseMainWindow() override;

signals:
    // The settings were saved and the main window is still there.
    void saved();

private:
    QCheckBox* settingCheckBox(SettingKey key);

    SettingsSaveParts m_parts;
    Form* m_window = nullptr;
    ControlsAccess m_access;
};

} // namespace kr
