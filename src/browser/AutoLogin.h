#pragma once
#include "platform/Platform.h"

#include <QString>

namespace kr {

// user name, Tab, password, Enter as a key string. Characters with a meaning in
// the key-string syntax are escaped so that they arrive as typed; texts without
// such characters give exactly user + "{TAB}" + pass + "{ENTER}".
QString BuildLoginKeyString(const QString& user, const QString& pass);

// Lock-key operations: the state is read afresh at every call; the toggles do
// nothing where lock keys cannot be switched.
bool IsCapsLockOn(ILockKeys& locks);
bool IsNumLockOn(ILockKeys& locks);
bool IsScrollLockOn(ILockKeys& locks);
void ToggleCapsLock(ILockKeys& locks);
void ToggleNumLock(ILockKeys& locks);
void ToggleScrollLock(ILockKeys& locks);

// Records Num, Caps and Scroll Lock, sends the keys, and switches back each
// lock that sending changed. Returns what the keystroke service returned.
bool mySendKeys(IKeystrokes& keys, ILockKeys& locks, const QString& sKeys, bool bWait = false);
bool fSendKeys(IKeystrokes& keys, ILockKeys& locks, const QString& sKeys, bool bWait = false);

} // namespace kr
