#pragma once
#include "common/Form.h"

#include <QPointer>

#include <QLineEdit>
#include <QPushButton>

namespace kr {

class KeyroviaApp;

// The master-password gate: the program's start-up window.
class frmMDP final : public Form {
    Q_OBJECT
public:
    explicit frmMDP(KeyroviaApp& app);

    QLineEdit* txtMdp()
    {
        widget();
        return m_txtMdp;
    }
    QPushButton* cmdQuit()
    {
        widget();
        return m_cmdQuit;
    }

    // Tests the candidate against the database and acts on the outcome.
    void CheckProgramPassword(const QString& password);

    void Form_Activate();
    void cmdQuit_Click();

protected:
    std::unique_ptr<QWidget> createWidget() override;
    void onDestroyed() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    KeyroviaApp& m_app;
    QPointer<QLineEdit> m_txtMdp;
    QPointer<QPushButton> m_cmdQuit;
    bool m_activated = false;
};

} // namespace kr
