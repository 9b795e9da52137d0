#include "app/KeystrokeRoute.h"

#include "platform/PrivateFile.h"

#include <QFileInfo>

namespace kr {

namespace {

QString portalMessage(PortalKeystrokes::Outcome outcome, const QString& offLayout)
{
    using Outcome = PortalKeystrokes::Outcome;
    switch (outcome) {
    case Outcome::Refused:
        return QStringLiteral(u"Le bureau a refusé l'envoi des touches : rien n'a été tapé.");
    case Outcome::TimedOut:
        return QStringLiteral(
            u"Le bureau n'a pas répondu à la demande d'envoi des touches dans les 30 secondes : "
            u"rien n'a été tapé.");
    case Outcome::OffLayout:
        return QStringLiteral(u"Le clavier de ce bureau ne peut pas taper ces caractères : %1\r\n"
                              u"Rien n'a été tapé.")
            .arg(offLayout);
    case Outcome::Closed:
        return QStringLiteral(u"Le bureau a interrompu l'envoi des touches : la saisie est incomplète.");
    default:
        return {};
    }
}

// Where the keys could not go, the user copies them with the details' buttons.
const QString UseCopyButtons =
    QStringLiteral(u"copiez le nom d'utilisateur et le mot de passe avec les boutons « C » de la fenêtre "
                   u"principale.");

} // namespace

bool IsWaylandSession()
{
    return !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

bool KeystrokeRoute::sendKeys(const QString& keys, bool wait)
{
    if (!m_routes.waylandSession()) {
        m_route = KeyRoute::XTest;
        return m_routes.xtest->sendKeys(keys, wait);
    }
    if (m_routes.portalAvailable()) {
        m_route = KeyRoute::Portal;
        const bool typed = m_routes.portal->sendKeys(keys, wait);
        const PortalKeystrokes::Outcome outcome = m_routes.portalOutcome();
        if (outcome != PortalKeystrokes::Outcome::Missing) {
            const QString message = portalMessage(outcome, m_routes.portalOffLayout());
            if (!message.isEmpty())
                m_messages.show(MsgExclamation, message);
            return typed;
        }
        // The portal went away between the question and the call: next route.
    }
    if (m_routes.virtualKeyboardAvailable()) {
        m_route = KeyRoute::VirtualKeyboard;
        return m_routes.virtualKeyboard->sendKeys(keys, wait);
    }
    // Typed first: a message box now would take the focus from the window
    // the keys are meant for.
    m_route = KeyRoute::XTest;
    if (!m_routes.xtest->sendKeys(keys, wait)) {
        m_messages.show(
            MsgExclamation,
            QStringLiteral(u"Ce bureau ne permet pas d'envoyer des touches, rien n'a été tapé : ") +
                UseCopyButtons);
        return false;
    }
    if (toldXWaylandOnlyBefore())
        return true;
    m_messages.show(
        MsgExclamation,
        QStringLiteral(u"Ce bureau n'envoie les touches qu'aux fenêtres X11 (XWayland) : une fenêtre Wayland "
                       u"n'a rien reçu. Pour elle, ") +
            UseCopyButtons + QStringLiteral(u"\r\nCe message ne s'affichera plus."));
    return false;
}

bool KeystrokeRoute::toldXWaylandOnlyBefore()
{
    if (m_toldXWaylandOnly || (!m_toldFile.isEmpty() && QFileInfo::exists(m_toldFile)))
        return true;
    m_toldXWaylandOnly = true;
    if (!m_toldFile.isEmpty())
        WritePrivateFile(m_toldFile, {});
    return false;
}

bool KeystrokeRoute::asksFirst()
{
    return m_routes.waylandSession() && m_routes.portalAvailable();
}

} // namespace kr
