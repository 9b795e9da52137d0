#include "app/frmMDP.h"

#include "app/AccessLog.h"
#include "platform/DatabaseEngine.h"
#include "platform/Platform.h"
#include "store/DatabaseMessages.h"
#include "store/PasswordStore.h"
#include "ui/Controls.h"
#include "ui/WindowOrder.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <utility>

namespace kr {

frmMDP::frmMDP(Platform& platform, PasswordStore& store, QIcon icon)
    : m_platform(platform), m_store(store), m_icon(std::move(icon))
{}

std::unique_ptr<QWidget> frmMDP::createWidget()
{
    auto w = std::make_unique<QWidget>();
    w->setObjectName(QStringLiteral("frmMDP"));
    w->setWindowTitle(QStringLiteral("Form1"));
    w->setWindowIcon(m_icon);
    w->setAutoFillBackground(true);
    QPalette pal = w->palette();
    pal.setColor(QPalette::Window, QColor(255, 0, 0));
    w->setPalette(pal);

    auto* layout = new QHBoxLayout(w.get());
    layout->setContentsMargins(12, 12, 12, 12);
    m_ui.txtMdp = passwordBox(w.get(), QStringLiteral("txtMdp"));
    m_ui.txtMdp->setMinimumWidth(180);
    m_ui.txtMdp->installEventFilter(this);
    m_ui.cmdQuit = new QPushButton(QStringLiteral("X"), w.get());
    m_ui.cmdQuit->setObjectName(QStringLiteral("cmdQuit"));
    m_ui.cmdQuit->setFixedWidth(32);
    layout->addWidget(m_ui.txtMdp);
    layout->addWidget(m_ui.cmdQuit);
    connect(m_ui.cmdQuit, &QPushButton::clicked, this, &frmMDP::cmdQuit_Click);
    w->setFixedSize(w->sizeHint());
    w->installEventFilter(this);
    m_activated = false;
    m_accepted = false;
    return w;
}

bool frmMDP::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_ui.txtMdp && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            CheckProgramPassword(m_ui.txtMdp->text());
            return true; // the key goes no further
        }
    }
    if (isLoaded() && watched == widget() && event->type() == QEvent::Show && !m_activated) {
        // The gate is the only window at start: its first activation runs once.
        m_activated = true;
        QTimer::singleShot(0, this, &frmMDP::Form_Activate);
    }
    return Form::eventFilter(watched, event);
}

void frmMDP::Form_Activate()
{
    if (!isLoaded())
        return;
    SetAlwaysOnTop(widget());
    // Started from the browser's toolbar button, the gate comes in front of
    // the browser that has the focus.
    widget()->raise();
    widget()->activateWindow();
    m_ui.txtMdp->setFocus();
    CheckProgramPassword(m_ui.txtMdp->text());
}

void frmMDP::CheckProgramPassword(const QString& password)
{
    Platform& p = m_platform;
    DbStatus status;
    const int error = m_store.CheckProgramPassword(password, &status);
    if (error == DbOk) {
        // The typed text lives on as ProgramPassword: the gate must not wipe it.
        m_accepted = true;
        emit passwordAccepted(password);
        return;
    }
    if (password.isEmpty()) {
        if (error == DbErrFileNotFound) {
            p.messageBox->show(MsgCritical,
                               QStringLiteral("Le fichier de base de donner ( BDMDP.MDB ) est "
                                              "innacésible\r\nLe programme va se fermer"),
                               QStringLiteral("Fichier Introuvable"));
            p.process->endNow();
        }
        return; // the gate waits for typing
    }
    if (error != DbErrNotValidPassword) {
        // The password could not be tried: it may well be the right one, so it
        // is not written to the log. The user learns why the file cannot be used.
        p.messageBox->show(MsgCritical, GateDatabaseMessage(status), GateDatabaseTitle());
        Unload();
        p.process->endNow();
        return;
    }
    AppendLogEntry(refusedPasswordEntry(p.clock->now()));
    QCoreApplication::processEvents();
    Unload();
    p.process->endNow();
}

void frmMDP::onUnload()
{
    if (m_accepted)
        return;
    // Refused, quit or closed: what was typed goes before the program ends.
    wipeBox(m_ui.txtMdp);
    emit programEnding();
}

void frmMDP::cmdQuit_Click()
{
    // A log that cannot be written does not keep the user in.
    AppendLogEntry(gateLeftEntry(m_platform.clock->now()));
    emit quitRequested();
    Unload();
}

} // namespace kr
