#include "browser/AutoLogin.h"

#include "common/KeyString.h"

namespace kr {

QString BuildLoginKeyString(const QString& user, const QString& pass)
{
    return EscapeForKeyString(user) + QStringLiteral("{TAB}") + EscapeForKeyString(pass) +
           QStringLiteral("{ENTER}");
}

bool IsCapsLockOn(ILockKeys& locks)
{
    return locks.isOn(LockKey::Caps);
}
bool IsNumLockOn(ILockKeys& locks)
{
    return locks.isOn(LockKey::Num);
}
bool IsScrollLockOn(ILockKeys& locks)
{
    return locks.isOn(LockKey::Scroll);
}

namespace {
void toggleIfSwitchable(ILockKeys& locks, LockKey key)
{
    if (locks.canSwitch())
        locks.toggle(key);
}
} // namespace

void ToggleCapsLock(ILockKeys& locks)
{
    toggleIfSwitchable(locks, LockKey::Caps);
}
void ToggleNumLock(ILockKeys& locks)
{
    toggleIfSwitchable(locks, LockKey::Num);
}
void ToggleScrollLock(ILockKeys& locks)
{
    toggleIfSwitchable(locks, LockKey::Scroll);
}

bool mySendKeys(IKeystrokes& keys, ILockKeys& locks, const QString& sKeys, bool bWait)
{
    const bool numWas = IsNumLockOn(locks);
    const bool capsWas = IsCapsLockOn(locks);
    const bool scrollWas = IsScrollLockOn(locks);
    const bool sent = keys.sendKeys(sKeys, bWait);
    if (IsNumLockOn(locks) != numWas)
        ToggleNumLock(locks);
    if (IsCapsLockOn(locks) != capsWas)
        ToggleCapsLock(locks);
    if (IsScrollLockOn(locks) != scrollWas)
        ToggleScrollLock(locks);
    return sent;
}

bool fSendKeys(IKeystrokes& keys, ILockKeys& locks, const QString& sKeys, bool bWait)
{
    return mySendKeys(keys, locks, sKeys, bWait);
}

} // namespace kr
