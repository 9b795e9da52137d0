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
    std::vector<SentKeys> sent;
    bool result = true;
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
        toggles.push_back(key);
        if (switchable)
            state(key) = !state(key);
    }
    // For onSend hooks: what sending did to a lock.
    void set(LockKey key, bool on) { state(key) = on; }
    bool& state(LockKey key)
    {
        switch (key) {
        case LockKey::Caps:
            return caps;
        case LockKey::Num:
            return num;
        case LockKey::Scroll:
            break;
        }
        return scroll;
    }
    static QString name(LockKey key)
    {
        switch (key) {
        case LockKey::Caps:
            return QStringLiteral("Caps");
        case LockKey::Num:
            return QStringLiteral("Num");
        case LockKey::Scroll:
            break;
        }
        return QStringLiteral("Scroll");
    }

    bool caps = false;
    bool num = false;
    bool scroll = false;
    bool switchable = true;
    std::vector<LockKey> toggles;
    QStringList calls;
};

} // namespace kr::test
