#include "platform/portal/PortalKeystrokes.h"

#include "common/KeyString.h"
#include "platform/PrivateFile.h"

#include <QDBusInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDBusVariant>
#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <chrono>
#include <thread>

#include <xkbcommon/xkbcommon-keysyms.h>

namespace kr {

namespace {

const QString PortalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString PortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString RemoteDesktop = QStringLiteral("org.freedesktop.portal.RemoteDesktop");
constexpr uint KeyboardDevice = 1;
constexpr uint PersistUntilRevoked = 2;

// Waits for the Response signal of one portal request.
class ResponseWaiter final : public QObject {
    Q_OBJECT
public:
    std::optional<uint> code;
    QVariantMap results;
    QEventLoop loop;

public slots:
    void onResponse(uint response, const QVariantMap& values)
    {
        code = response;
        results = values;
        loop.quit();
    }
};

QDBusMessage portalCall(const QString& method, const QList<QVariant>& args)
{
    QDBusMessage call = QDBusMessage::createMethodCall(PortalService, PortalPath, RemoteDesktop, method);
    call.setArguments(args);
    return call;
}

void sleepMs(int ms)
{
    if (ms > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::uint32_t modifierKeysym(std::uint8_t modifier)
{
    switch (modifier) {
    case ShiftModifier:
        return XKB_KEY_Shift_L;
    case CtrlModifier:
        return XKB_KEY_Control_L;
    default:
        return XKB_KEY_Alt_L;
    }
}

} // namespace

PortalKeystrokes::PortalKeystrokes(Options options, QDBusConnection bus)
    : m_options(std::move(options)), m_bus(std::move(bus))
{}

bool PortalKeystrokes::available(const QDBusConnection& bus)
{
    if (!bus.isConnected())
        return false;
    QDBusMessage get = QDBusMessage::createMethodCall(
        PortalService, PortalPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get.setArguments({RemoteDesktop, QStringLiteral("AvailableDeviceTypes")});
    const QDBusMessage reply = bus.call(get, QDBus::Block, 5000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return false;
    return reply.arguments().first().value<QDBusVariant>().variant().toUInt() & KeyboardDevice;
}

bool PortalKeystrokes::sendKeys(const QString& keys, bool wait)
{
    Q_UNUSED(wait) // every key is a method call the desktop has answered
    const ParsedKeyString parsed = ParseKeyString(keys);
    if (!parsed.ok()) {
        m_outcome = Outcome::Malformed;
        return false;
    }
    const SymStrokes strokes = ToSymStrokes(parsed.actions);
    m_offLayout = m_options.offLayout ? m_options.offLayout(strokes) : QString();
    if (!m_offLayout.isEmpty()) {
        m_outcome = Outcome::OffLayout;
        return false;
    }
    m_outcome = converse(strokes, true);
    return m_outcome == Outcome::Typed;
}

PortalKeystrokes::Outcome PortalKeystrokes::converse(const SymStrokes& strokes, bool useToken)
{
    m_session.clear();
    QDBusMessage getVersion = QDBusMessage::createMethodCall(
        PortalService, PortalPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    getVersion.setArguments({RemoteDesktop, QStringLiteral("version")});
    const QDBusMessage version = m_bus.call(getVersion, QDBus::Block, m_options.answerTimeoutMs);
    if (version.type() != QDBusMessage::ReplyMessage || version.arguments().isEmpty())
        return Outcome::Missing;
    m_version = version.arguments().first().value<QDBusVariant>().variant().toUInt();

    const auto created = request(QStringLiteral("CreateSession"), {},
                                 {{QStringLiteral("session_handle_token"), QStringLiteral("keyrovia")}});
    if (!created)
        return m_outcome;
    m_session = created->value(QStringLiteral("session_handle")).toString();

    QString token;
    if (useToken && !m_options.tokenFile.isEmpty()) {
        QFile file(m_options.tokenFile);
        if (file.open(QIODevice::ReadOnly))
            token = QString::fromUtf8(file.readAll().trimmed());
    }
    QVariantMap select{{QStringLiteral("types"), KeyboardDevice}};
    if (m_version >= 2 && !m_options.tokenFile.isEmpty()) {
        select.insert(QStringLiteral("persist_mode"), PersistUntilRevoked);
        if (!token.isEmpty())
            select.insert(QStringLiteral("restore_token"), token);
    }
    const auto selected = request(QStringLiteral("SelectDevices"), {QDBusObjectPath(m_session)}, select);
    const auto started =
        selected ? request(QStringLiteral("Start"), {QDBusObjectPath(m_session), QString()}, {}) : selected;
    if (!started) {
        const Outcome failed = m_outcome;
        closeSession();
        // A token the desktop no longer takes fails the request (2, not the
        // user's 1): forget it and ask the user once more.
        if (failed == Outcome::Refused && m_lastResponse == 2 && !token.isEmpty()) {
            QFile::remove(m_options.tokenFile);
            return converse(strokes, false);
        }
        return failed;
    }
    if (!(started->value(QStringLiteral("devices")).toUInt() & KeyboardDevice)) {
        closeSession();
        return Outcome::Refused;
    }
    const QString newToken = started->value(QStringLiteral("restore_token")).toString();
    if (m_version >= 2 && !newToken.isEmpty() && !m_options.tokenFile.isEmpty())
        WritePrivateFile(m_options.tokenFile, newToken.toUtf8());
    sleepMs(m_options.focusSettleMs);
    const bool typed = typeAll(strokes);
    closeSession();
    return typed ? Outcome::Typed : Outcome::Closed;
}

std::optional<QVariantMap> PortalKeystrokes::request(const QString& method, QList<QVariant> args,
                                                     QVariantMap options)
{
    // The request's object path is known before the call, so the answer
    // cannot come before anyone listens for it.
    const QString handle = QStringLiteral("keyrovia%1").arg(++m_requests);
    const QString sender = m_bus.baseService().mid(1).replace(QLatin1Char('.'), QLatin1Char('_'));
    const QString path = PortalPath + QStringLiteral("/request/") + sender + QLatin1Char('/') + handle;
    options.insert(QStringLiteral("handle_token"), handle);
    args.append(options);

    ResponseWaiter waiter;
    const QString requestIface = QStringLiteral("org.freedesktop.portal.Request");
    m_bus.connect(QString(), path, requestIface, QStringLiteral("Response"), &waiter,
                  SLOT(onResponse(uint, QVariantMap)));
    const QDBusMessage reply = m_bus.call(portalCall(method, args), QDBus::Block, m_options.answerTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        m_bus.disconnect(QString(), path, requestIface, QStringLiteral("Response"), &waiter,
                         SLOT(onResponse(uint, QVariantMap)));
        m_outcome = reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.NoReply")
                        ? Outcome::TimedOut
                        : Outcome::Missing;
        return std::nullopt;
    }
    if (!waiter.code) {
        QTimer::singleShot(m_options.answerTimeoutMs, &waiter.loop, &QEventLoop::quit);
        waiter.loop.exec();
    }
    m_bus.disconnect(QString(), path, requestIface, QStringLiteral("Response"), &waiter,
                     SLOT(onResponse(uint, QVariantMap)));
    if (!waiter.code) {
        m_bus.call(QDBusMessage::createMethodCall(PortalService, path, requestIface, QStringLiteral("Close")),
                   QDBus::Block, 2000);
        m_outcome = Outcome::TimedOut;
        return std::nullopt;
    }
    m_lastResponse = *waiter.code;
    if (*waiter.code != 0) {
        m_outcome = Outcome::Refused;
        return std::nullopt;
    }
    return waiter.results;
}

bool PortalKeystrokes::key(std::uint32_t keysym, bool pressed)
{
    const QDBusMessage reply = m_bus.call(
        portalCall(QStringLiteral("NotifyKeyboardKeysym"),
                   {QDBusObjectPath(m_session), QVariantMap(), int(keysym), uint(pressed ? 1 : 0)}),
        QDBus::Block, m_options.answerTimeoutMs);
    sleepMs(m_options.keyDelayMs);
    return reply.type() == QDBusMessage::ReplyMessage;
}

bool PortalKeystrokes::typeAll(const SymStrokes& strokes)
{
    // The desktop's Caps Lock would turn letters over: off while typing, then
    // on again. {CAPSLOCK} in the string switches it once at the end.
    const bool capsOn = m_options.capsReader && m_options.capsReader->isOn(LockKey::Caps);
    const bool capsAtEnd = capsOn != (strokes.capsSwitches % 2 != 0);
    auto tapCaps = [this] { return key(XKB_KEY_Caps_Lock, true) && key(XKB_KEY_Caps_Lock, false); };
    if (capsOn && !tapCaps())
        return false;
    for (const SymStroke& stroke : strokes.strokes) {
        bool ok = true;
        for (std::uint8_t m : {ShiftModifier, CtrlModifier, AltModifier})
            if (stroke.modifiers & m)
                ok = ok && key(modifierKeysym(m), true);
        ok = ok && key(stroke.keysym, true) && key(stroke.keysym, false);
        for (std::uint8_t m : {AltModifier, CtrlModifier, ShiftModifier})
            if (stroke.modifiers & m)
                ok = key(modifierKeysym(m), false) && ok;
        if (!ok)
            return false;
    }
    return capsAtEnd ? tapCaps() : true;
}

void PortalKeystrokes::closeSession()
{
    if (m_session.isEmpty())
        return;
    m_bus.call(QDBusMessage::createMethodCall(PortalService, m_session,
                                              QStringLiteral("org.freedesktop.portal.Session"),
                                              QStringLiteral("Close")),
               QDBus::Block, 2000);
    m_session.clear();
}

} // namespace kr

#include "PortalKeystrokes.moc"
