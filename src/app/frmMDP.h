#pragma once
#include "ui/Form.h"

#include <QIcon>
#include <QPointer>

#include <QLineEdit>
#include <QPushButton>

namespace kr {

struct Platform;
class PasswordStore;

// The controls of the gate, by their names.
struct MDPControls {
    QPointer<QLineEdit> txtMdp;
    QPointer<QPushButton> cmdQuit;
};

// The master-password gate: the program's start-up window. It tells its owner
// what the user asked for through its signals.
class frmMDP final : public FormOf<MDPControls> {
    Q_OBJECT
public:
    frmMDP(Platform& platform, PasswordStore& store, QIcon icon);

    QLineEdit* txtMdp()
    {
        widget();
        return m_ui.txtMdp;
    }
    QPushButton* cmdQuit()
    {
        widget();
        return m_ui.cmdQuit;
    }

    // Tests the candidate against the database and acts on the outcome.
    void CheckProgramPassword(const QString& password);

    void Form_Activate();
    void cmdQuit_Click();

signals:
    // The password opened the database: the main window comes next.
    void passwordAccepted(const QString& password);
    // The quit button, before the gate unloads.
    void quitRequested();
    // The gate unloads without a password accepted: the program ends.
    void programEnding();

protected:
    std::unique_ptr<QWidget> createWidget() override;
    void onUnload() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Platform& m_platform;
    PasswordStore& m_store;
    QIcon m_icon;
    bool m_activated = false;
    bool m_accepted = false;
};

} // namespace kr
