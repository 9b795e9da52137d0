#pragma once
// Narrow interfaces to the platform services the program uses. Window code only
// talks to these; src/platform holds the Linux implementations and tests use
// the recording doubles of tests/doubles.
#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

namespace kr {

// Message boxes, described by the classic style numbers:
// 16 OK + critical stop, 48 OK + exclamation, 52 Yes/No + exclamation,
// 64 OK + information, 68 Yes/No + information.
enum MsgStyle : int {
    MsgCritical = 16,
    MsgExclamation = 48,
    MsgYesNoExclamation = 52,
    MsgInformation = 64,
    MsgYesNoInformation = 68,
};
enum class MsgAnswer { Ok, Yes, No };

class IMessageBox {
public:
    virtual ~IMessageBox() = default;
    // Modal. An empty title shows the application title. Line breaks are CRLF.
    virtual MsgAnswer show(int style, const QString& text, const QString& title = QString()) = 0;
};

// Ends the process at once: no window's unload handling runs afterwards.
class IProcess {
public:
    virtual ~IProcess() = default;
    virtual void endNow() = 0;
};

class IClipboard {
public:
    virtual ~IClipboard() = default;
    virtual void clear() = 0;
    // secret: marks the text for clipboard managers as a password (not kept in history).
    virtual void setText(const QString& text, bool secret) = 0;
    // std::nullopt when the clipboard holds no text.
    virtual std::optional<QString> text() = 0;
};

// The desktop shell's "open" of an address in the default browser.
class IShell {
public:
    virtual ~IShell() = default;
    virtual void open(const QString& address) = 0;
};

class IClock {
public:
    virtual ~IClock() = default;
    virtual QDateTime now() = 0;
};

// Types a key string (brace syntax) into the window that has the keyboard focus.
class IKeystrokes {
public:
    virtual ~IKeystrokes() = default;
    // wait: return only once the keys have been processed. Returns false when the
    // string is malformed (nothing typed) or no display can take the keys.
    virtual bool sendKeys(const QString& keys, bool wait) = 0;
    // Whether the keys will go where the desktop asks the user's leave first
    // (its dialog takes the focus and gives it back): then they are sent at
    // once and follow the answer, without a wait for the focus to come back.
    virtual bool asksFirst() { return false; }
};

enum class LockKey { Caps, Num, Scroll };

class ILockKeys {
public:
    virtual ~ILockKeys() = default;
    // Whether lock keys can be switched here (an X11 display); otherwise the
    // toggles do nothing.
    virtual bool canSwitch() = 0;
    virtual bool isOn(LockKey key) = 0;
    virtual void toggle(LockKey key) = 0;
};

// The address of the page the user's browser shows.
class IPageAddress {
public:
    virtual ~IPageAddress() = default;
    // One request, waiting at most timeoutMs. The reply has the shape
    // "<address>","<title>"; std::nullopt when the browser does not answer.
    virtual std::optional<QString> request(int timeoutMs = 5000) = 0;
};

// One TCP client connection at a time, made in the background. Its outcome
// comes back through the handlers, on the user-interface thread; no handler
// runs from inside close(). The peer's close is not an error.
class ITcpClient {
public:
    struct Handlers {
        std::function<void()> connected;
        std::function<void()> dataArrived;
        std::function<void()> closedByPeer;
        std::function<void(const QString& reason)> error;
    };
    virtual ~ITcpClient() = default;
    virtual void setHandlers(Handlers handlers) = 0;
    // Closes any previous connection first.
    virtual void connectToHost(const QString& host, quint16 port) = 0;
    virtual void write(const QByteArray& bytes) = 0;
    // Everything waiting; std::nullopt when reading fails.
    virtual std::optional<QByteArray> readAll() = 0;
    // Harmless when nothing is open.
    virtual void close() = 0;
};

class ITcpClientFactory {
public:
    virtual ~ITcpClientFactory() = default;
    virtual std::unique_ptr<ITcpClient> create() = 0;
};

class IDatabaseEngine; // src/platform/DatabaseEngine.h
class IRegistry;       // src/platform/Registry.h

// Every platform service the program reaches, handed to the windows.
struct Platform {
    IMessageBox* messageBox = nullptr;
    IProcess* process = nullptr;
    IClipboard* clipboard = nullptr;
    IShell* shell = nullptr;
    IClock* clock = nullptr;
    IKeystrokes* keystrokes = nullptr;
    ILockKeys* lockKeys = nullptr;
    IPageAddress* pageAddress = nullptr;
    IDatabaseEngine* database = nullptr;
    IRegistry* registry = nullptr;
    ITcpClientFactory* tcp = nullptr;
};

} // namespace kr
