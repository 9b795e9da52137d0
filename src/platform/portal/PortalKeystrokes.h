#pragma once
// Types key strings through the XDG desktop portal's RemoteDesktop interface,
// which GNOME and KDE Plasma implement and which reaches every window of the
// session, Wayland or XWayland.
//
// Each send opens a portal session (CreateSession, SelectDevices with the
// keyboard, Start), sends keysyms with NotifyKeyboardKeysym and closes the
// session. The desktop asks the user the first time; where the portal offers
// it (version 2), the permission is asked to persist and the restore token is
// kept, readable by the user only, so later sends type without asking.
#include "platform/Platform.h"
#include "platform/keys/KeySyms.h"

#include <QDBusConnection>
#include <QString>
#include <QVariantMap>
#include <functional>
#include <optional>
#include <vector>

namespace kr {

class PortalKeystrokes final : public IKeystrokes {
public:
    enum class Outcome {
        Typed,
        Malformed, // the key string: nothing asked, nothing typed
        Missing,   // no portal, or it has no keyboard to offer
        Refused,   // the user (or the desktop) said no
        TimedOut,  // no answer in time
        Closed,    // the session ended while typing
        OffLayout, // characters the desktop's layout lacks: nothing asked, nothing typed
    };
    struct Options {
        QString tokenFile;               // where the restore token lives; empty: none is kept
        int answerTimeoutMs = 30000;     // for each answer of the portal, the user's included
        int keyDelayMs = 1;              // after each key press and release
        ILockKeys* capsReader = nullptr; // reads Caps Lock as the desktop has it, when it can
        // The characters the desktop's layout lacks (the desktop drops their
        // keysyms without a word), empty when it has them all or cannot tell.
        std::function<QString(const SymStrokes&)> offLayout;
        // After the desktop's yes: its dialog, when it showed one, closes and
        // the focus goes back to the window the keys are for.
        int focusSettleMs = 300;
    };

    explicit PortalKeystrokes(Options options, QDBusConnection bus = QDBusConnection::sessionBus());

    // Whether the session bus has the portal with a keyboard to offer.
    static bool available(const QDBusConnection& bus = QDBusConnection::sessionBus());

    // Parses the whole string first. When Caps Lock reads as on, it is switched
    // off for the typing and on again after, so letters arrive as written.
    bool sendKeys(const QString& keys, bool wait) override;

    Outcome lastOutcome() const { return m_outcome; }
    // With OffLayout: the characters the layout lacks.
    QString offLayoutCharacters() const { return m_offLayout; }

private:
    Outcome converse(const SymStrokes& strokes, bool useToken);
    bool typeAll(const SymStrokes& strokes);
    void closeSession();
    std::optional<QVariantMap> request(const QString& method, QList<QVariant> args, QVariantMap options);
    bool key(std::uint32_t keysym, bool pressed);

    Options m_options;
    QDBusConnection m_bus;
    QString m_session;
    Outcome m_outcome = Outcome::Typed;
    QString m_offLayout;
    int m_requests = 0;
    uint m_version = 0;
    uint m_lastResponse = 0;
};

} // namespace kr
