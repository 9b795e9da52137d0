#include "app/KeystrokeRoute.h"

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
    const bool typed = m_routes.xtest->sendKeys(keys, wait);
    if (!m_toldXWaylandOnly) {
        m_toldXWaylandOnly = true;
        m_messages.show(
            MsgExclamation,
            QStringLiteral(u"Ce bureau ne permet pas d'envoyer des touches aux fenêtres Wayland : "
                           u"seules les fenêtres X11 (XWayland) les reçoivent."));
    }
    return typed;
}

} // namespace kr
