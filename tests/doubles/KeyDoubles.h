#pragma once
// Recording doubles of the keystroke service and the lock keys.
#include "platform/Platform.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

namespace kr::test {

struct SentKeys {
    QString keys;
    bool wait;
};

// Records every key string; returns `result`. onSend runs inside the call, so a
// test can make "sending" change lock states the way real typing could.
class RecordingKeystrokes final : public IKeystrokes {
public:
    bool sendKeys(const QString& keys, bool wait) override
    {
        sent.push_back({keys, wait});
        if (onSend)
            onSend(sent.back());
        return result;
    }
    bool asksFirst() override { return asks; }
    std::vector<SentKeys> sent;
    bool result = true;
    bool asks = false;
    std::function<void(const SentKeys&)> onSend;
};

// Three lock states. Toggles flip a state only when canSwitch is true, like the
// real service off X11; every call is logged in order ("isOn Caps",
// "toggle Num", ...) so tests can check what was read and switched.
class FakeLockKeys final : public ILockKeys {
public:
    bool canSwitch() override { return switchable; }
    bool isOn(LockKey key) override
    {
        calls << QStringLiteral("isOn ") + name(key);
        return state(key);
    }
    void toggle(LockKey key) override
    {
        calls << QStringLiteral("toggle ") + name(key);
        if (switchable)
            state(key) = !state(key);
    }
    // For onSend hooks: what sending did to a lock.
    void set(LockKey key, bool on) { state(key) = on; }
    bool& state(LockKey key) { return key == LockKey::Caps ? caps : key == LockKey::Num ? num : scroll; }
    static QString name(LockKey key)
    {
        return QLatin1String(key == LockKey::Caps ? "Caps" : key == LockKey::Num ? "Num" : "Scroll");
    }

    bool caps = false, num = false, scroll = false, switchable = true;
    QStringList calls;
};

} // namespace kr::test
