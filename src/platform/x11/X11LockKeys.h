#pragma once
// Caps, Num and Scroll Lock on an X11 display, through XKB.
#include "platform/Platform.h"

namespace kr {

class X11LockKeys final : public ILockKeys {
public:
    // True only with an X display that has XKB.
    bool canSwitch() override;
    // False without a display.
    bool isOn(LockKey key) override;
    // Caps and Num lock their modifier; Scroll Lock locks its modifier when
    // one is mapped to it and otherwise switches the "Scroll Lock" indicator.
    // Does nothing without a display.
    void toggle(LockKey key) override;
};

} // namespace kr
