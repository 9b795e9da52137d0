#pragma once
#include "platform/SingleInstance.h"

namespace kr::test {

// Keeps what the program claimed with; currentWindow() is what a later start would bring up.
struct SingleInstanceDouble final : ISingleInstance {
    bool claim(const QString& programDir, CurrentWindow window) override
    {
        claimedDir = programDir;
        currentWindow = std::move(window);
        return true;
    }
    QString claimedDir;
    CurrentWindow currentWindow;
};

} // namespace kr::test
